// The HTTP client of the update engine: one GET whose body goes to a file.
#pragma once

#include <cstdint>

// Bounds of one transfer. The defaults are the product's; tests shorten them.
struct TransferLimits {
  // Body bytes stored at most: a body that runs on past it fails the attempt.
  uint64_t maxBytes = UINT64_MAX;
  // Connecting, sending, and waiting for the whole response head: each fails
  // the attempt after this long.
  uint32_t headTimeoutMs = 60000;
  // The body must come at slowBytes per slowWindowMs at least (1 KiB/s over
  // 60 s): a transfer that stays slower for a whole window fails the attempt,
  // and so does one that stalls that long.
  uint32_t slowWindowMs = 60000;
  uint32_t slowBytes = 60 * 1024;
};

// Fetches `url` with GET and stores the body in `destination`.
//
// True when the exchange finished; `*status` is then the HTTP status. Only a
// 200 creates (or replaces) the destination, which then holds the complete
// body, a gzip or deflate body (as "Accept-Encoding: gzip, deflate" offers)
// decoded. Any other status leaves the destination as it was: the caller
// decides which statuses it accepts. False when the URL cannot be split, the
// exchange or the file writing fails, the body ends short of the length the
// response announced or of its compressed stream's end, comes in another
// encoding or breaks one of `limits`; `*status`
// may or may not have been set, and a body cut off part-way stays on disk as
// far as it came. An "https" URL and any URL with port 443 go over
// TLS. No state is kept between calls; any thread.
bool HttpDownloadToFile(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                        const TransferLimits& limits = TransferLimits());

// The statuses the updater takes a fetched body with: 200, and 304 (the
// cached copy is current).
inline bool IsAcceptedStatus(uint32_t status) { return status == 200 || status == 304; }

// HttpDownloadToFile, repeated after 500 ms while it returns false, 6 attempts
// at most; returns the last attempt's result. A true result is never repeated,
// whatever its status.
bool HttpDownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                           const TransferLimits& limits = TransferLimits());
