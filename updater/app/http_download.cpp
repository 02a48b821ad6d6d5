#include "app/http_download.h"

#include <windows.h>
#include <winhttp.h>

#include <zlib.h>

#include <cwchar>

#include "app/retry.h"
#include "app/scoped_internet.h"
#include "base/memory/alloc.h"
#include "base/system/xfile.h"

namespace {
constexpr wchar_t kUserAgent[] = L"KVR-Updater";
constexpr wchar_t kExtraHeader[] = L"Accept-Encoding: gzip, deflate";
constexpr DWORD kHostChars = 256;
constexpr DWORD kPathChars = 1024;
constexpr DWORD kStatusBytes = 16;
// Each round asks for what WinHTTP has at hand (a few KiB under Wine) and
// gathers it here, so that the file is written in large blocks.
constexpr DWORD kReadBufferBytes = 256 * 1024;
constexpr DWORD kInflateBlockBytes = 16384;
// A read that may wait this little less than the last time-out set keeps
// it: setting the option on every read costs more than the bound gains.
constexpr DWORD kTimeoutSlackMs = 100;

// The length the response announced, or -1 without one (a body that runs to
// the end of the connection or comes in chunks).
int64_t AnnouncedLength(HINTERNET request) {
  wchar_t text[24] = {};
  DWORD size = sizeof text;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return -1;
  }
  wchar_t* end = nullptr;
  unsigned long long length = std::wcstoull(text, &end, 10);
  return end != text && *end == 0 ? static_cast<int64_t>(length) : -1;
}

// Where the part that a 206 response carries starts ("bytes N-M/T"), or -1
// when it does not say.
int64_t PartStart(HINTERNET request) {
  wchar_t text[80] = {};
  DWORD size = sizeof text;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_RANGE, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX) ||
      std::wcsncmp(text, L"bytes ", 6) != 0 || text[6] < L'0' || text[6] > L'9') {
    return -1;
  }
  wchar_t* end = nullptr;
  unsigned long long start = std::wcstoull(text + 6, &end, 10);
  return *end == L'-' ? static_cast<int64_t>(start) : -1;
}

// The size of the file at `path`; 0 when it cannot be read.
uint64_t FileSizeOf(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool StopRequested(const void* stop) { return stop && static_cast<const TransferStop*>(stop)->Requested(); }

enum class Encoding { kNone, kCompressed, kOther };

// The content encoding of the response body: none (or "identity"), gzip or
// deflate (both a zlib stream), or anything else.
Encoding EncodingOf(HINTERNET request) {
  wchar_t text[64] = {};
  DWORD size = sizeof text;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? Encoding::kOther : Encoding::kNone;
  }
  auto is = [&](const wchar_t* name) { return CompareStringOrdinal(text, -1, name, -1, TRUE) == CSTR_EQUAL; };
  if (text[0] == 0 || is(L"identity")) return Encoding::kNone;
  return is(L"gzip") || is(L"x-gzip") || is(L"deflate") ? Encoding::kCompressed : Encoding::kOther;
}

// Stores body bytes in a file, inflating a compressed body first, and never
// more than `maxBytes` of the file's own bytes.
class BodySink {
public:
  BodySink(XFile* file, bool compressed, uint64_t maxBytes) : m_file(file), m_maxBytes(maxBytes) {
    if (!compressed) return;
    m_stream.zalloc = [](voidpf, uInt items, uInt size) -> voidpf { return MemAlloc(uint64_t{items} * size); };
    m_stream.zfree = [](voidpf, voidpf block) { MemFree(block); };
    // 15 + 32: a gzip or a zlib header, whichever comes.
    m_inflating = inflateInit2(&m_stream, 15 + 32) == Z_OK;
    m_broken = !m_inflating;
  }
  ~BodySink() {
    if (m_inflating) inflateEnd(&m_stream);
  }
  BodySink(const BodySink&) = delete;
  BodySink& operator=(const BodySink&) = delete;

  // False when the bytes cannot be stored: a failed write, broken compressed
  // data, or more than the bound.
  bool Put(char* data, uint32_t size) {
    if (m_broken) return false;
    if (!m_inflating) return Store(data, size);
    m_stream.next_in = reinterpret_cast<Bytef*>(data);
    m_stream.avail_in = size;
    char out[kInflateBlockBytes];
    while (m_stream.avail_in > 0 && !m_ended) {
      m_stream.next_out = reinterpret_cast<Bytef*>(out);
      m_stream.avail_out = sizeof out;
      const int result = inflate(&m_stream, Z_NO_FLUSH);
      if (result == Z_STREAM_END) m_ended = true;
      if ((result != Z_OK && result != Z_STREAM_END) ||
          !Store(out, static_cast<uint32_t>(sizeof out - m_stream.avail_out))) {
        m_broken = true;
        return false;
      }
    }
    return true;
  }

  // Whether the body is complete as far as its own form tells: a compressed
  // one must have reached the end of its stream.
  bool Complete() const { return !m_broken && (!m_inflating || m_ended); }

private:
  bool Store(const char* data, uint32_t size) {
    if (size == 0) return true;
    return size <= m_maxBytes - m_file->byteCount && m_file->Write(data, size) != 0;
  }

  XFile* m_file;
  uint64_t m_maxBytes;
  z_stream m_stream{};
  bool m_inflating = false;
  bool m_ended = false;
  bool m_broken = false;
};

void SetTimeout(HINTERNET request, DWORD option, DWORD milliseconds) {
  WinHttpSetOption(request, option, &milliseconds, sizeof milliseconds);
}

// Streams the response body of `request` into `destination`: a new file,
// or the end of the existing one when `append`. A body that stops early
// leaves what came on disk and gives false: the connection may close before
// the announced length without an error from WinHTTP. The announced length
// of a compressed body is that of the compressed bytes.
bool StoreBody(HINTERNET request, char* buffer, const wchar_t* destination, bool append, bool compressed,
               const TransferLimits& limits, const TransferStop* stop) {
  const int64_t announced = AnnouncedLength(request);
  uint64_t received = 0;
  XFile file{};
  if (!(append ? file.Append(destination) : file.Create(destination, false))) return false;
  BodySink sink(&file, compressed, limits.maxBytes);
  DWORD held = 0;  // bytes gathered in the buffer, not yet stored
  // The current window of the speed bound: its end, and the bytes it still
  // needs. A window that got its bytes starts the next one.
  DWORD windowEnd = GetTickCount() + limits.slowWindowMs;
  uint64_t windowNeeds = limits.slowBytes;
  DWORD timeoutSet = 0;
  for (;;) {
    const int32_t left = static_cast<int32_t>(windowEnd - GetTickCount());
    if (left <= 0 || StopRequested(stop)) break;
    // A stalled transfer waits no longer than the window has left.
    if (timeoutSet == 0 || static_cast<DWORD>(left) + kTimeoutSlackMs < timeoutSet) {
      timeoutSet = static_cast<DWORD>(left);
      SetTimeout(request, WINHTTP_OPTION_RECEIVE_TIMEOUT, timeoutSet);
    }
    DWORD available = 0;
    DWORD got = 0;
    // Never ask for more than is at hand: a read waits until it has all it
    // asked for, which a slow body must not make it do.
    const DWORD room = kReadBufferBytes - held;
    if (!WinHttpQueryDataAvailable(request, &available) ||
        !WinHttpReadData(request, buffer + held, available < room ? available : room, &got)) {
      break;
    }
    received += got;
    held += got;
    if ((got == 0 || held == kReadBufferBytes) && held > 0) {
      if (!sink.Put(buffer, held)) break;
      held = 0;
    }
    if (got == 0) {
      file.Close();
      return sink.Complete() && (announced < 0 || received == static_cast<uint64_t>(announced));
    }
    if (got >= windowNeeds) {
      windowEnd = GetTickCount() + limits.slowWindowMs;
      windowNeeds = limits.slowBytes;
      timeoutSet = 0;
    } else {
      windowNeeds -= got;
    }
  }
  // What came stays on disk: a later attempt may go on from there.
  if (held > 0) sink.Put(buffer, held);
  file.Close();
  return false;
}
}  // namespace

void InternetHandleTraits::Free(Type handle) { WinHttpCloseHandle(handle); }

HttpSession::HttpSession()
    : m_session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0)) {}

HttpSession::~HttpSession() { FreeSpareBuffers(); }

void HttpSession::FreeSpareBuffers() {
  for (std::atomic<char*>& spare : m_spareBuffers) MemFree(spare.exchange(nullptr));
}

char* HttpSession::TakeReadBuffer() {
  for (std::atomic<char*>& spare : m_spareBuffers) {
    if (char* buffer = spare.exchange(nullptr)) return buffer;
  }
  return static_cast<char*>(MemAlloc(kReadBufferBytes));
}

void HttpSession::GiveBackReadBuffer(char* buffer) {
  for (std::atomic<char*>& spare : m_spareBuffers) {
    char* none = nullptr;
    if (spare.compare_exchange_strong(none, buffer)) return;
  }
  MemFree(buffer);
}

bool HttpSession::Download(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                           const TransferLimits& limits, const TransferStop* stop) {
  Stored stored = Stored::kNothing;
  return Attempt(url, destination, status, limits, stop, 0, &stored);
}

bool HttpSession::DownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                                    const TransferLimits& limits, const TransferStop* stop) {
  bool resumable = false;
  for (int attempt = 1;; ++attempt) {
    Stored stored = Stored::kNothing;
    const uint64_t resumeFrom = resumable ? FileSizeOf(destination) : 0;
    if (Attempt(url, destination, status, limits, stop, resumeFrom, &stored)) return true;
    if (stored != Stored::kNothing) resumable = stored == Stored::kResumable;
    if (attempt == kRetryAttempts || StopRequested(stop)) return false;
    PauseBeforeRetry(StopRequested, stop);
  }
}

bool HttpSession::Attempt(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                          const TransferLimits& limits, const TransferStop* stop, uint64_t resumeFrom,
                          Stored* stored) {
  wchar_t host[kHostChars + 1] = {};
  wchar_t path[kPathChars + 1] = {};
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = kHostChars + 1;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kPathChars + 1;
  // A URL that does not split (or whose host or path overflow the buffers)
  // would otherwise go to an empty or cut-off address.
  if (!url || !WinHttpCrackUrl(url, 0, 0, &parts)) return false;
  if (!m_session.IsValid() || StopRequested(stop)) return false;
  // A connection handle names the host; the session keeps the connections.
  ScopedInternetHandle connection(WinHttpConnect(m_session.Get(), host, parts.nPort, 0));
  if (!connection.IsValid()) return false;

  const wchar_t* acceptTypes[] = {L"*/*", nullptr};
  // An https URL keeps TLS on any port; port 443 means TLS even for http.
  DWORD flags = WINHTTP_FLAG_REFRESH;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS || parts.nPort == INTERNET_DEFAULT_HTTPS_PORT) {
    flags |= WINHTTP_FLAG_SECURE;
  }
  ScopedInternetHandle request(
      WinHttpOpenRequest(connection.Get(), L"GET", path, nullptr, WINHTTP_NO_REFERER, acceptTypes, flags));
  if (!request.IsValid()) return false;
  const DWORD timeout = limits.headTimeoutMs;
  WinHttpSetTimeouts(request.Get(), static_cast<int>(timeout), static_cast<int>(timeout), static_cast<int>(timeout),
                     static_cast<int>(timeout));
  SetTimeout(request.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, timeout);
  // The body is decoded here (StoreBody): WinHTTP's own decoding is missing
  // before Windows 8.1 and under Wine.
  WinHttpAddRequestHeaders(request.Get(), kExtraHeader, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  if (resumeFrom > 0) {
    wchar_t range[48] = L"Range: bytes=";
    wchar_t digits[21];
    wchar_t* first = digits + 20;
    *first = 0;
    for (uint64_t rest = resumeFrom; rest > 0; rest /= 10) *--first = static_cast<wchar_t>(L'0' + rest % 10);
    std::wcscat(std::wcscat(range, first), L"-");
    WinHttpAddRequestHeaders(request.Get(), range, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  }
  if (!WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    return false;
  }
  bool received = WinHttpReceiveResponse(request.Get(), nullptr);

  wchar_t statusText[kStatusBytes / sizeof(wchar_t)] = {};
  DWORD statusSize = kStatusBytes;
  if (!WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE, WINHTTP_HEADER_NAME_BY_INDEX, statusText,
                           &statusSize, WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  *status = static_cast<uint32_t>(std::wcstoul(statusText, nullptr, 10));
  if (!received) return true;
  const Encoding encoding = EncodingOf(request.Get());
  // The rest of a body resumes only where the stored bytes end, as they are.
  const bool append = resumeFrom > 0 && *status == HTTP_STATUS_PARTIAL_CONTENT;
  if (append && (encoding != Encoding::kNone || PartStart(request.Get()) != static_cast<int64_t>(resumeFrom))) {
    *stored = Stored::kOther;  // the next attempt starts over
    return false;
  }
  if (!append && *status != HTTP_STATUS_OK) return true;
  // Bytes in an encoding that is not decoded here are not the file.
  if (encoding == Encoding::kOther) return false;
  *stored = encoding == Encoding::kNone ? Stored::kResumable : Stored::kOther;
  char* buffer = TakeReadBuffer();
  const bool whole = StoreBody(request.Get(), buffer, destination, append, encoding == Encoding::kCompressed, limits, stop);
  GiveBackReadBuffer(buffer);
  if (!whole) return false;
  *status = HTTP_STATUS_OK;  // the file is whole
  return true;
}

bool HttpDownloadToFile(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                        const TransferLimits& limits) {
  return HttpSession().Download(url, destination, status, limits);
}

bool HttpDownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status,
                           const TransferLimits& limits) {
  return HttpSession().DownloadWithRetry(url, destination, status, limits);
}
