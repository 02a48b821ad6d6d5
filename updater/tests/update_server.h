// The tests' side of the local update server (update_server.py): root "e2e-root" beside the program, port in "port".
#pragma once

#include <string>
#include <utility>
#include <vector>

// One request as the server recorded it.
struct RecordedRequest {
  double time = 0;     // seconds, server clock
  std::string method;  // "GET", or "TLS" for a TLS handshake on the plain port
  std::string path;    // as sent, query included
  unsigned connection = 0;  // the server's number of the connection it came on
  std::vector<std::pair<std::string, std::string>> headers;
  // Value of the header `name` (ignoring case); `found` tells whether it was sent.
  std::string Header(const std::string& name, bool* found = nullptr) const;
};

// A folder of the test's own on the server: its files served below Url(), its faults and requests apart.
class ServerScope {
public:
  ServerScope();
  ~ServerScope();
  ServerScope(const ServerScope&) = delete;
  ServerScope& operator=(const ServerScope&) = delete;
  // The URL of `relative` ("a/b.txt"); the scope's base URL, ending in "/", for "".
  std::wstring Url(const std::wstring& relative = L"") const;
  // The same file served over HTTPS by nginx (tests/https_server.py): through the server `server` ("good",
  // "expired", "wronghost", "unknown"), or "to-http" for the good one's redirect to Url(relative).
  std::wstring HttpsUrl(const std::wstring& relative, const std::string& server) const;
  // Places a file (folders are created as needed).
  void AddFile(const std::wstring& relative, const std::string& bytes) const;
  // Adds a fault line: "PATH KIND [VALUE] [times=N]" (see update_server.py).
  void AddFault(const std::string& line) const;
  // The requests of this scope so far, in arrival order.
  std::vector<RecordedRequest> Requests() const;
  // The paths below "files/" of the requests so far, as sent.
  std::vector<std::string> FileRequests() const;
  const std::wstring& Folder() const { return m_folder; }

private:
  std::wstring m_folder;
  std::wstring m_name;
  unsigned m_port = 0;
};
