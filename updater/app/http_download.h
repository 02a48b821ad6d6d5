// The HTTP client of the update engine: one GET whose body goes to a file.
#pragma once

#include <cstdint>

// Fetches `url` with GET and stores the body in `destination`.
//
// True when the exchange finished; `*status` is then the HTTP status. Only a
// 200 creates (or replaces) the destination, which then holds the complete
// body as received (no content decoding). Any other status leaves the
// destination as it was: the caller decides which statuses it accepts.
// False when the URL cannot be split, the exchange or the file writing fails,
// or the body ends short of the length the response announced; `*status`
// may or may not have been set, and a body cut off part-way stays on disk as
// far as it came. An "https" URL and any URL with port 443 go over
// TLS. No state is kept between calls; any thread.
bool HttpDownloadToFile(const wchar_t* url, const wchar_t* destination, uint32_t* status);

// HttpDownloadToFile, repeated after 500 ms while it returns false, 6 attempts
// at most; returns the last attempt's result. A true result is never repeated,
// whatever its status.
bool HttpDownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status);
