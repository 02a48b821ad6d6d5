// The HTTP client of the update engine: one GET whose body goes to a file.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/scoped_internet.h"

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

// Asked before each attempt of a transfer, between its reads and during the
// pause before a retry: once it answers true the transfer ends at once (its
// request closed, so its connection is not reused) and fails. May be asked on
// any thread that runs a transfer.
class TransferStop {
public:
  virtual bool Requested() const = 0;

protected:
  ~TransferStop() = default;
};

// Transfers of an update run at the same time, each on a thread and a
// connection of its own (DownloadQueue).
constexpr uint32_t kParallelDownloads = 4;

// One WinHTTP session for many transfers: the connections it opens stay alive
// and later requests to the same host and port reuse them. Transfers may run
// on several threads at once. Every transfer fails when the session could not
// be opened.
class HttpSession {
public:
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // Fetches `url` with GET and stores the body in `destination`.
  //
  // True when the exchange finished; `*status` is then the HTTP status. Only
  // a 200 creates (or replaces) the destination, which then holds the
  // complete body, a gzip or deflate body (as "Accept-Encoding: gzip,
  // deflate" offers) decoded. Any other status leaves the destination as it
  // was: the caller decides which statuses it accepts. False when the URL
  // cannot be split, the exchange or the file writing fails, the body ends
  // short of the length the response announced or of its compressed stream's
  // end, comes in another encoding, breaks one of `limits`, or `stop` was
  // requested; `*status` may or may not have been set, and a body cut off
  // part-way stays on disk as far as it came. An "https" URL and any URL with
  // port 443 go over TLS.
  bool Download(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                const TransferLimits& limits = TransferLimits(), const TransferStop* stop = nullptr);

  // Download, repeated after 500 ms while it returns false, 6 attempts at
  // most (fewer once `stop` is requested); returns the last attempt's result.
  // A true result is never repeated, whatever its status. An attempt that
  // breaks off an uncompressed 200 or 206 body resumes: the next one asks
  // for the rest ("Range: bytes=N-", N the bytes on disk) and appends a 206
  // whose Content-Range starts at N, reported as 200 once the file is whole;
  // a 200 starts the file over; any other status is returned as it is.
  bool DownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                         const TransferLimits& limits = TransferLimits(), const TransferStop* stop = nullptr);

  // Frees the read buffers kept for later transfers (memory of the library's
  // allocator), while no transfer runs; later transfers take new ones.
  void FreeSpareBuffers();

private:
  // What an attempt left in the destination: nothing new, the start of the
  // resource's own bytes (a later attempt may go on from its end), or bytes
  // that cannot be continued.
  enum class Stored { kNothing, kResumable, kOther };
  bool Attempt(const wchar_t* url, const wchar_t* destination, uint32_t* status, const TransferLimits& limits,
               const TransferStop* stop, uint64_t resumeFrom, Stored* stored);
  // A body's read buffer: a spare one when there is one, else a new one.
  // Given back, it is kept as a spare while a place is free, else freed.
  // A buffer of that size comes from the system each time, which costs more
  // than the transfer of a small file while other threads run.
  char* TakeReadBuffer();
  void GiveBackReadBuffer(char* buffer);

  ScopedInternetHandle m_session;
  // One place for each transfer of a run at the same time; more transfers
  // than that work too.
  std::atomic<char*> m_spareBuffers[kParallelDownloads] = {};
};

// HttpSession().Download: one transfer on a session of its own. Any thread.
bool HttpDownloadToFile(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                        const TransferLimits& limits = TransferLimits());

// The statuses the updater takes a fetched body with: 200, and 304 (the
// cached copy is current).
inline bool IsAcceptedStatus(uint32_t status) { return status == 200 || status == 304; }

// HttpSession().DownloadWithRetry: resumed transfers included. Any thread.
bool HttpDownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                           const TransferLimits& limits = TransferLimits());
