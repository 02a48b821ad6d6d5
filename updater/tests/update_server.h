// The tests' side of the local update server (tests/update_server.py),
// which the test run starts on a free loopback port: its root folder is
// "e2e-root" beside the test program (or UPDATER_E2E_ROOT, a Unix path), its
// port in the file "port" there.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One request as the server recorded it.
struct RecordedRequest {
  double time = 0;     // seconds, server clock
  std::string method;  // "GET", or "TLS" for a TLS handshake on the plain port
  std::string path;    // as sent, query included
  std::vector<std::pair<std::string, std::string>> headers;

  // Value of the header `name` (compared ignoring case); `found` tells whether
  // it was sent.
  std::string Header(const std::string& name, bool* found = nullptr) const;
};

// A folder of the test's own below the server's root, removed with its
// contents at the end: files placed there are served below Url(), faults
// apply to its paths only, and its requests are recorded apart.
class ServerScope {
public:
  ServerScope();
  ~ServerScope();
  ServerScope(const ServerScope&) = delete;
  ServerScope& operator=(const ServerScope&) = delete;

  // The URL of `relative` ("a/b.txt"); the scope's base URL, ending in "/", for "".
  std::wstring Url(const std::wstring& relative = L"") const;
  // Places a file (folders are created as needed).
  void AddFile(const std::wstring& relative, const std::string& bytes) const;
  // Adds a fault line: "PATH KIND [VALUE] [times=N]" (see update_server.py).
  void AddFault(const std::string& line) const;
  // The requests of this scope so far, in arrival order.
  std::vector<RecordedRequest> Requests() const;

  const std::wstring& Folder() const { return m_folder; }

private:
  std::wstring m_folder;
  std::wstring m_name;
  unsigned m_port = 0;
};
