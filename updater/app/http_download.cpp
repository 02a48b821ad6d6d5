#include "app/http_download.h"

#include <windows.h>
#include <winhttp.h>

#include <cwchar>

#include "app/retry.h"
#include "app/scoped_internet.h"
#include "base/system/xfile.h"

namespace {
constexpr wchar_t kUserAgent[] = L"KVR-Updater";
constexpr wchar_t kExtraHeader[] = L"Accept-Encoding: gzip, deflate";
constexpr DWORD kHostChars = 256;
constexpr DWORD kPathChars = 1024;
constexpr DWORD kStatusBytes = 16;
constexpr DWORD kReadBufferBytes = 16384;

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

// Streams the response body of `request` into a new `destination`. A body
// that stops early leaves what came on disk and gives false: the connection
// may close before the announced length without an error from WinHTTP.
bool StoreBody(HINTERNET request, const wchar_t* destination) {
  const int64_t announced = AnnouncedLength(request);
  XFile file{};
  if (!file.Create(destination, false)) return false;
  char buffer[kReadBufferBytes];
  for (;;) {
    DWORD available = 0;
    DWORD got = 0;
    // Never ask for more than the buffer holds: the rest stays available for
    // the next round.
    if (!WinHttpQueryDataAvailable(request, &available) ||
        !WinHttpReadData(request, buffer, available < kReadBufferBytes ? available : kReadBufferBytes, &got)) {
      file.Close();
      return false;
    }
    if (got == 0) break;
    if (file.Write(buffer, got) == 0) {
      file.Close();
      return false;
    }
  }
  file.Close();
  return announced < 0 || file.byteCount == static_cast<uint64_t>(announced);
}
}  // namespace

void InternetHandleTraits::Free(Type handle) { WinHttpCloseHandle(handle); }

bool HttpDownloadToFile(const wchar_t* url, const wchar_t* destination, uint32_t* status) {
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

  ScopedInternetHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.IsValid()) return false;
  ScopedInternetHandle connection(WinHttpConnect(session.Get(), host, parts.nPort, 0));
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
  WinHttpAddRequestHeaders(request.Get(), kExtraHeader, static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
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
  if (!received || *status != HTTP_STATUS_OK) return true;
  return StoreBody(request.Get(), destination);
}

bool HttpDownloadWithRetry(const wchar_t* url, const wchar_t* destination, uint32_t* status) {
  return WithRetry([&] { return HttpDownloadToFile(url, destination, status); });
}
