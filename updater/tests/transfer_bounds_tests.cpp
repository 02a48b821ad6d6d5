// The HTTP client against a hostile server: compressed bodies, bodies
// longer than declared, slow and stalled transfers, late response heads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/http_download.h"
#include "tests/child_process.h"
#include "tests/update_server.h"

namespace {
// A text that compresses well, as the types a server compresses by default.
std::string TextBody() {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of a manifest\n";
  return text;
}

// The product's limits, shortened for a test: a head within 2 s, at least
// 1 KiB a second over 2 s windows.
TransferLimits ShortLimits() {
  TransferLimits limits;
  limits.headTimeoutMs = 2000;
  limits.slowWindowMs = 2000;
  limits.slowBytes = 2048;
  return limits;
}
}  // namespace

TEST(TransferBounds, CompressedBodiesAreStoredDecoded) {
  ServerScope server;
  TempFolder folder;
  server.AddFile(L"text.txt", TextBody());
  for (const char* encoding : {"gzip", "deflate"}) {
    server.AddFault(std::string("text.txt ") + encoding + " times=1");
    uint32_t status = 0;
    const std::wstring destination = folder.File(L"text.txt");
    EXPECT_TRUE(HttpDownloadToFile(server.Url(L"text.txt").c_str(), destination.c_str(), &status)) << encoding;
    EXPECT_EQ(status, 200u);
    EXPECT_TRUE(ReadFileBytes(destination) == TextBody()) << encoding;
  }
  // Compression was offered, since it is decoded.
  EXPECT_EQ(server.Requests().back().Header("Accept-Encoding"), "gzip, deflate");
}

TEST(TransferBounds, BodiesBeyondTheirBoundFailTheAttempt) {
  ServerScope server;
  TempFolder folder;
  server.AddFile(L"big.bin", std::string(100000, 'b'));
  const std::wstring destination = folder.File(L"big.bin");
  TransferLimits limits;
  limits.maxBytes = 63;
  uint32_t status = 0;
  EXPECT_FALSE(HttpDownloadToFile(server.Url(L"big.bin").c_str(), destination.c_str(), &status, limits));
  // Not stored beyond the bound.
  EXPECT_LE(ReadFileBytes(destination).size(), 63u);
  limits.maxBytes = 100000;
  EXPECT_TRUE(HttpDownloadToFile(server.Url(L"big.bin").c_str(), destination.c_str(), &status, limits));
  EXPECT_EQ(ReadFileBytes(destination).size(), 100000u);
}

TEST(TransferBounds, SlowTransfersAndLateHeadsFailTheAttempt) {
  ServerScope server;
  TempFolder folder;
  server.AddFile(L"a.bin", std::string(20000, 'a'));
  struct Case {
    const char* fault;
    bool done;
  };
  for (const Case& c : {Case{"slow 600", false},   // below 1 KiB/s: fails at the end of the first window
                        Case{"slow 4000", true},   // fast enough, though it takes 5 s
                        Case{"delay 4", false},    // the head comes after 4 s
                        Case{"delay 1", true}}) {
    server.AddFault(std::string("a.bin ") + c.fault + " times=1");
    const DWORD start = GetTickCount();
    uint32_t status = 0;
    const std::wstring destination = folder.File(L"a.bin");
    EXPECT_EQ(HttpDownloadToFile(server.Url(L"a.bin").c_str(), destination.c_str(), &status, ShortLimits()), c.done)
        << c.fault;
    const DWORD took = GetTickCount() - start;
    // A failure comes when the bound is broken, not when the server ends.
    if (c.done) {
      EXPECT_EQ(ReadFileBytes(destination).size(), 20000u) << c.fault;
    } else {
      EXPECT_LT(took, 3500u) << c.fault;
    }
  }
}
