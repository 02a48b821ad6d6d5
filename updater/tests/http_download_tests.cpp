#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "app/http_download.h"
#include "tests/child_process.h"
#include "tests/published_release.h"
#include "tests/update_server.h"

namespace {
// Bytes that differ from position to position, so that a lost or repeated block shows.
std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  uint32_t state = 2463534242u;
  for (char& ch : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    ch = static_cast<char>(state);
  }
  return bytes;
}

// A loopback port that accepts one connection and keeps the first bytes sent, never answering.
class FirstBytesListener {
public:
  FirstBytesListener() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(m_socket, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    listen(m_socket, 1);
  }
  ~FirstBytesListener() { closesocket(m_socket); }
  std::wstring Url(const wchar_t* scheme) const {
    return std::wstring(scheme) + L"://127.0.0.1:" + std::to_wstring(m_port) + L"/file.bin";
  }
  // Runs `client` on a thread of its own and returns the first bytes of its connection.
  template <typename Client>
  std::string FirstBytesOf(Client client) {
    std::thread thread(client);
    std::string bytes;
    SOCKET connection = accept(m_socket, nullptr, nullptr);
    if (connection != INVALID_SOCKET) {
      char buffer[4] = {};
      int got = recv(connection, buffer, sizeof buffer, MSG_WAITALL);
      if (got > 0) bytes.assign(buffer, static_cast<size_t>(got));
      closesocket(connection);
    }
    thread.join();
    return bytes;
  }

private:
  SOCKET m_socket = INVALID_SOCKET;
  unsigned m_port = 0;
};
}  // namespace

TEST(HttpDownload, SendsTheFixedRequestAndStoresTheWholeBody) {
  ServerScope server;
  TempFolder folder;
  // Larger than the read buffer many times over: read in rounds, none overrunning it.
  const std::string body = PatternBytes(3 * 1024 * 1024 + 17);
  server.AddFile(L"dir/file.bin", body);
  const std::wstring target = folder.File(L"file.bin");
  ASSERT_TRUE(WriteFileBytes(target, "older and longer content than nothing"));
  uint32_t status = 0;
  ASSERT_TRUE(HttpDownloadToFile(server.Url(L"dir/file.bin?v=2").c_str(), target.c_str(), &status));
  EXPECT_EQ(status, 200u);
  EXPECT_TRUE(ReadFileBytes(target) == body);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const RecordedRequest& request = requests[0];
  EXPECT_EQ(request.method, "GET");  // plain HTTP: a TLS handshake would be recorded as "TLS"
  EXPECT_NE(request.path.find("/dir/file.bin?v=2"), std::string::npos) << request.path;
  EXPECT_EQ(request.Header("User-Agent"), "KVR-Updater");
  EXPECT_EQ(request.Header("Accept"), "*/*");
  EXPECT_EQ(request.Header("Accept-Encoding"), "gzip, deflate");
  EXPECT_EQ(request.Header("Pragma"), "no-cache");
  bool referred = true;
  request.Header("Referer", &referred);
  EXPECT_FALSE(referred);
}

TEST(HttpDownload, StatusOtherThan200WritesNothing) {
  ServerScope server;
  TempFolder folder;
  server.AddFile(L"empty.bin", "");
  server.AddFault("not-modified.bin status 304");
  server.AddFault("missing.bin status 404");
  const std::wstring target = folder.File(L"target.bin");
  uint32_t status = 0;
  ASSERT_TRUE(WriteFileBytes(target, "installed"));
  EXPECT_TRUE(HttpDownloadToFile(server.Url(L"empty.bin").c_str(), target.c_str(), &status));
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(ContentOf(target), "");
  for (const wchar_t* name : {L"not-modified.bin", L"missing.bin"}) {
    ASSERT_TRUE(WriteFileBytes(target, "installed"));
    EXPECT_TRUE(HttpDownloadWithRetry(server.Url(name).c_str(), target.c_str(), &status));
    EXPECT_EQ(status, name[0] == L'n' ? 304u : 404u);
    EXPECT_EQ(ReadFileBytes(target), "installed");
  }
  // A status is an answer: the retry wrapper asked once for each.
  EXPECT_EQ(server.Requests().size(), 3u);
  EXPECT_TRUE(HttpDownloadToFile(server.Url(L"missing.bin").c_str(), folder.File(L"new.bin").c_str(), &status));
  EXPECT_EQ(ContentOf(folder.File(L"new.bin")), "<missing>");
}

TEST(HttpDownload, RetriesFailedExchangesSixTimesHalfASecondApart) {
  ServerScope server;
  TempFolder folder;
  server.AddFile(L"dropped.bin", "never delivered");
  server.AddFault("dropped.bin drop");
  server.AddFile(L"flaky.bin", "third time lucky");
  server.AddFault("flaky.bin drop times=2");
  uint32_t status = 0;
  EXPECT_FALSE(HttpDownloadWithRetry(server.Url(L"dropped.bin").c_str(), folder.File(L"a").c_str(), &status));
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 6u);
  for (size_t i = 1; i < requests.size(); ++i) EXPECT_GE(requests[i].time - requests[i - 1].time, 0.45) << i;
  EXPECT_TRUE(HttpDownloadWithRetry(server.Url(L"flaky.bin").c_str(), folder.File(L"b").c_str(), &status));
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(ReadFileBytes(folder.File(L"b")), "third time lucky");
  EXPECT_EQ(server.Requests().size(), 6u + 3u);
}

TEST(HttpDownload, FailuresBeforeAndAfterTheStatus) {
  ServerScope server;
  TempFolder folder;
  uint32_t status = 0;
  // Refused unsent: URLs that do not fit, and a port nobody listens on.
  EXPECT_FALSE(HttpDownloadToFile(server.Url(std::wstring(1100, L'a')).c_str(), folder.File(L"f").c_str(), &status));
  EXPECT_FALSE(HttpDownloadToFile(L"not a url", folder.File(L"f").c_str(), &status));
  EXPECT_FALSE(HttpDownloadToFile(nullptr, folder.File(L"f").c_str(), &status));
  EXPECT_TRUE(server.Requests().empty());
  std::wstring refused = FirstBytesListener().Url(L"http");
  EXPECT_FALSE(HttpDownloadToFile(refused.c_str(), folder.File(L"f").c_str(), &status));
  EXPECT_EQ(ContentOf(folder.File(L"f")), "<missing>");
  // The status came, the file cannot be created.
  server.AddFile(L"file.bin", "content");
  EXPECT_FALSE(HttpDownloadToFile(server.Url(L"file.bin").c_str(), folder.File(L"no-such-folder\\file.bin").c_str(),
                                  &status));
  EXPECT_EQ(status, 200u);
  // A body cut off by the server: what came stays, the download failed.
  server.AddFile(L"cut.bin", PatternBytes(100000));
  server.AddFault("cut.bin truncate 1000");
  EXPECT_FALSE(HttpDownloadToFile(server.Url(L"cut.bin").c_str(), folder.File(L"cut.bin").c_str(), &status));
  EXPECT_EQ(ReadFileBytes(folder.File(L"cut.bin")), PatternBytes(1000));
}

// One session keeps its connection for the next file; a body cut short goes on from the bytes stored where the
// server honours Range (206) and starts over where it answers 200.
TEST(HttpDownload, SessionsReuseConnectionsAndResumeCutBodies) {
  ServerScope server;
  TempFolder folder;
  const std::string body = PatternBytes(200000);
  HttpSession session;
  uint32_t status = 0;
  for (const wchar_t* name : {L"a.bin", L"b.bin", L"c.bin"}) {
    server.AddFile(name, body);
    ASSERT_TRUE(session.Download(server.Url(name).c_str(), folder.File(name).c_str(), &status));
  }
  EXPECT_EQ(server.Requests().front().connection, server.Requests().back().connection);
  server.AddFault("b.bin norange");
  for (const char* name : {"a.bin", "b.bin"}) {
    server.AddFault(std::string(name) + " cut 0.9 times=1");
    const std::wstring target = folder.File(Wide(name).c_str());
    ASSERT_TRUE(session.DownloadWithRetry(server.Url(Wide(name)).c_str(), target.c_str(), &status)) << name;
    EXPECT_EQ(status, 200u);
    EXPECT_TRUE(ReadFileBytes(target) == body) << name;
    EXPECT_EQ(server.Requests().back().Header("Range"), "bytes=180000-") << name;
  }
}

TEST(HttpDownload, TlsFollowsTheSchemeOnAnyPort) {
  TempFolder folder;
  const std::wstring target = folder.File(L"file.bin");
  uint32_t status = 0;
  for (const wchar_t* scheme : {L"http", L"https"}) {
    FirstBytesListener listener;
    const std::wstring url = listener.Url(scheme);
    // A TLS handshake record starts with content type 22, protocol major version 3.
    EXPECT_EQ(listener.FirstBytesOf([&] { HttpDownloadToFile(url.c_str(), target.c_str(), &status); }).substr(0, 2),
              scheme[4] == L's' ? "\x16\x03" : "GE");
  }
}
