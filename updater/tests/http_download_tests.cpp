// The HTTP client against the local update server, and against a hostile one: compressed bodies, bodies longer than
// declared, slow and stalled transfers, late response heads.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "app/http_download.h"
#include "tests/child_process.h"
#include "tests/published_release.h"
#include "tests/test_support.h"
#include "tests/update_server.h"

namespace {
// Bytes that differ from position to position, so that a lost or repeated block shows.
std::string PatternBytes(size_t size) {
  std::minstd_rand random;
  std::string bytes(size, '\0');
  for (char& ch : bytes) ch = static_cast<char>(random() >> 8);
  return bytes;
}

// A text that compresses well, as the types a server compresses by default.
std::string TextBody() {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of a manifest\n";
  return text;
}
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

// A status other than 200 writes nothing; failures before the status, and after it.
TEST(HttpDownload, StatusOtherThan200WritesNothingAndFailuresBeforeAndAfterIt) {
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
  // Refused unsent: URLs that do not fit, and a port nobody listens on.
  EXPECT_FALSE(HttpDownloadToFile(server.Url(std::wstring(1100, L'a')).c_str(), folder.File(L"f").c_str(), &status));
  EXPECT_FALSE(HttpDownloadToFile(L"not a url", folder.File(L"f").c_str(), &status));
  EXPECT_FALSE(HttpDownloadToFile(nullptr, folder.File(L"f").c_str(), &status));
  EXPECT_EQ(server.Requests().size(), 4u);
  EXPECT_FALSE(HttpDownloadToFile(L"http://127.0.0.1:1/file.bin", folder.File(L"f").c_str(), &status));
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

// Compressed bodies are stored decoded; a body beyond its bound is not stored beyond it.
TEST(TransferBounds, CompressedAndOverlongBodies) {
  ServerScope server;
  TempFolder folder;
  const std::wstring destination = folder.File(L"file");
  uint32_t status = 0;
  server.AddFile(L"text.txt", TextBody());
  for (const char* encoding : {"gzip", "deflate"}) {
    server.AddFault(std::string("text.txt ") + encoding + " times=1");
    EXPECT_TRUE(HttpDownloadToFile(server.Url(L"text.txt").c_str(), destination.c_str(), &status)) << encoding;
    EXPECT_EQ(status, 200u);
    EXPECT_TRUE(ReadFileBytes(destination) == TextBody()) << encoding;
  }
  server.AddFile(L"big.bin", std::string(100000, 'b'));
  TransferLimits limits;
  limits.maxBytes = 63;
  EXPECT_FALSE(HttpDownloadToFile(server.Url(L"big.bin").c_str(), destination.c_str(), &status, limits));
  EXPECT_LE(ReadFileBytes(destination).size(), 63u);
  limits.maxBytes = 100000;
  EXPECT_TRUE(HttpDownloadToFile(server.Url(L"big.bin").c_str(), destination.c_str(), &status, limits));
  EXPECT_EQ(ReadFileBytes(destination).size(), 100000u);
}

// The limits shortened: a head within 2 s, at least 1 KiB a second over 2 s windows. A failure comes when the bound
// is broken, not when the server ends.
TEST(TransferBounds, SlowTransfersAndLateHeadsFailTheAttempt) {
  ServerScope server;
  TempFolder folder;
  server.AddFile(L"a.bin", std::string(20000, 'a'));
  TransferLimits limits;
  limits.headTimeoutMs = limits.slowWindowMs = 2000;
  limits.slowBytes = 2048;
  // Below 1 KiB/s: fails at the end of the first window; fast enough, though it takes 5 s; the head after 4 s, 1 s.
  for (const auto& c : {std::make_pair("slow 600", false), std::make_pair("slow 4000", true),
                        std::make_pair("delay 4", false), std::make_pair("delay 1", true)}) {
    server.AddFault(std::string("a.bin ") + c.first + " times=1");
    const DWORD start = GetTickCount();
    uint32_t status = 0;
    const std::wstring destination = folder.File(L"a.bin");
    EXPECT_EQ(HttpDownloadToFile(server.Url(L"a.bin").c_str(), destination.c_str(), &status, limits), c.second)
        << c.first;
    if (c.second) {
      EXPECT_EQ(ReadFileBytes(destination).size(), 20000u) << c.first;
    } else {
      EXPECT_LT(GetTickCount() - start, 3500u) << c.first;
    }
  }
}
