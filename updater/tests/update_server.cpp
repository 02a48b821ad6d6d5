#include "tests/update_server.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "tests/child_process.h"

namespace {
// The server root: "e2e-root" beside the test program.
std::wstring ServerRoot() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.rfind(L'\\') + 1) + L"e2e-root";
}
}  // namespace

std::string RecordedRequest::Header(const std::string& name, bool* found) const {
  for (const auto& header : headers) {
    if (_stricmp(header.first.c_str(), name.c_str()) == 0) {
      if (found) *found = true;
      return header.second;
    }
  }
  if (found) *found = false;
  return std::string();
}

ServerScope::ServerScope() {
  std::wstring root = ServerRoot();
  m_port = static_cast<unsigned>(std::atoi(ReadFileBytes(root + L"\\port").c_str()));
  EXPECT_NE(m_port, 0u) << "no update server: run the tests through ctest, which starts it";
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "scope";
  m_name = std::wstring(name.begin(), name.end()) + L"-" + std::to_wstring(GetCurrentProcessId());
  m_folder = root + L"\\" + m_name;
  RemoveFolderTree(m_folder);
  CreateDirectoryW(m_folder.c_str(), nullptr);
}

ServerScope::~ServerScope() {
  if (!m_folder.empty()) RemoveFolderTree(m_folder);
}

std::wstring ServerScope::Url(const std::wstring& relative) const {
  return L"http://127.0.0.1:" + std::to_wstring(m_port) + L"/" + m_name + L"/" + relative;
}

std::wstring ServerScope::HttpsUrl(const std::wstring& relative, const std::string& server) const {
  const bool redirect = server == "to-http";
  std::istringstream ports(ReadFileBytes(ServerRoot() + L"\\https-ports"));
  std::string name;
  unsigned port = 0;
  while (ports >> name >> port && name != (redirect ? "good" : server)) {
  }
  EXPECT_EQ(name, redirect ? "good" : server) << "no HTTPS server: run the tests through ctest, which starts it";
  return L"https://localhost:" + std::to_wstring(port) + (redirect ? L"/to-http/" : L"/") + m_name + L"/" + relative;
}

void ServerScope::AddFile(const std::wstring& relative, const std::string& bytes) const {
  std::wstring path = m_folder + L"\\" + relative;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  EXPECT_TRUE(WriteFileBytes(path, bytes));
}

void ServerScope::AddFault(const std::string& line) const {
  std::string faults = ReadFileBytes(m_folder + L"\\_faults.txt") + line + "\n";
  EXPECT_TRUE(WriteFileBytes(m_folder + L"\\_faults.txt", faults));
}

std::vector<RecordedRequest> ServerScope::Requests() const {
  std::vector<RecordedRequest> requests;
  std::istringstream log(ReadFileBytes(m_folder + L"\\_requests.log"));
  std::string line;
  while (std::getline(log, line)) {
    if (line.rfind("@ ", 0) == 0) {
      RecordedRequest request;
      std::istringstream head(line.substr(2));
      head >> request.time >> request.method >> request.path >> request.connection;
      requests.push_back(request);
    } else if (!line.empty() && !requests.empty()) {
      size_t colon = line.find(": ");
      if (colon != std::string::npos) requests.back().headers.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
  }
  return requests;
}

std::vector<std::string> ServerScope::FileRequests() const {
  std::vector<std::string> paths;
  for (const RecordedRequest& request : Requests()) {
    const size_t files = request.path.find("/files/");
    if (files != std::string::npos) paths.push_back(request.path.substr(files + 7));
  }
  return paths;
}
