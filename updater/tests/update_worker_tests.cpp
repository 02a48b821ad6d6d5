// The update run on the test's thread against the local update server: its reports and the files it leaves.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/manifest_signature.h"
#include "app/update_worker.h"
#include "base/memory/alloc.h"
#include "base/memory/library.h"
#include "base/system/scoped_handle.h"
#include "tests/child_process.h"
#include "tests/published_release.h"
#include "tests/test_support.h"
#include "tests/update_server.h"

namespace fs = std::filesystem;

namespace {
using Messages = std::vector<std::string>;
const wchar_t kClientName[] = L"Castwright PC.exe";
const char kClientVersion[] = "1.0.0.0";
const char kNewVersion[] = "1.0.0.1";

// The library's allocator while it lives, counting the blocks in use: a run
// must give back all it took before its final report, after which the
// receiver may stop the library.
class CountingAlloc final : public Alloc {
public:
  CountingAlloc() : m_inner(SetCurrentAlloc(this)) {}
  ~CountingAlloc() override { SetCurrentAlloc(m_inner); }
  void* Allocate(uint32_t size) override {
    ++held;
    return m_inner->Allocate(size);
  }
  void* Reallocate(void* block, uint32_t size) override {
    held += !block ? 1 : size == 0 ? -1 : 0;
    return m_inner->Reallocate(block, size);
  }
  void Free(void* block) override {
    if (block) --held;
    m_inner->Free(block);
  }
  void ReleaseAll() override {}
  std::atomic<long> held{0};

private:
  Alloc* m_inner;
};

// Every report of a run as text; the install pass starts unless refused.
// Blocks of the library still in use at the final report are reported too.
class RecordingReport final : public UpdateReport {
public:
  explicit RecordingReport(bool refuseInstall = false) : m_refuseInstall(refuseInstall) {}
  void Progress(uint32_t done, uint32_t total) override {
    messages.push_back((GetCurrentThreadId() == m_thread ? "progress " : "off-thread progress ") +
                       std::to_string(done) + "/" + std::to_string(total));
  }
  bool InstallStarting() override {
    messages.push_back(m_refuseInstall ? "install refused" : "install");
    return !m_refuseInstall;
  }
  void InstallEnded() override { messages.push_back("installed"); }
  void Finished(const wchar_t* error) override {
    messages.push_back(error ? "failed " + Utf8(error) : "close");
    if (m_blocks && m_blocks->held != 0) {
      messages.push_back(std::to_string(m_blocks->held) + " blocks of the library in use");
    }
  }
  // Runs the update of `clientPath` with `key`, its texts made before the count starts.
  Messages Run(const std::wstring& clientPath, const ManifestKey& key) {
    const String path(clientPath.c_str());
    const String version(Wide(kClientVersion).c_str());
    m_blocks.emplace();
    RunUpdate(path, version, key, *this);
    m_blocks.reset();
    return messages;
  }
  Messages messages;

private:
  bool m_refuseInstall;
  const DWORD m_thread = GetCurrentThreadId();  // the run's
  std::optional<CountingAlloc> m_blocks;  // during Run
};

Messages RunAndRecord(const std::wstring& clientPath, bool refuseInstall = false) {
  return RecordingReport(refuseInstall).Run(clientPath, BuiltInManifestKey());
}

class UpdateWorker : public ::testing::Test {
protected:
  void Publish(const std::vector<ReleaseFile>& files, const char* version = kNewVersion,
               const ReleaseOptions* signing = nullptr) {
    PublishRelease(m_server, m_install.Path(), files, version, signing);
  }
  Messages RunWorker(bool refuseInstall = false) { return RunAndRecord(Installed(kClientName), refuseInstall); }
  // A run of a program with the build tree's test key built in.
  Messages RunSigned() {
    const std::string pem = TestPublicKey();
    ManifestKey key;
    key.pem = pem.data();
    key.size = pem.size();
    return RecordingReport().Run(Installed(kClientName), key);
  }
  std::wstring Installed(const wchar_t* name) const { return m_install.File(name); }
  std::string Content(const wchar_t* name) const { return ContentOf(Installed(name)); }
  std::string FileUrl(const char* name) const { return Utf8(m_server.Url(L"files/" + Wide(name)).c_str()); }
  // Every file and folder of the installation but manifests and "Temp", with its content.
  std::map<std::string, std::string> InstalledFiles() const {
    return TreeOf(m_install.Path(), [](const std::string& name) {
      return name == "Temp" || name.rfind("update.xconfig", 0) == 0;
    });
  }
  // Whether a set-aside copy is left anywhere in the installation.
  bool SetAsideFilesLeft() const {
    for (const auto& file : TreeOf(m_install.Path())) {
      if (fs::path(file.first).extension() == ".previous") return true;
    }
    return false;
  }
  ServerScope m_server;
  TempFolder m_install;
};
}  // namespace

TEST_F(UpdateWorker, EqualVersionsEndAtOnceAndUnusableManifestsFail) {
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.txt"), "installed"));
  ASSERT_TRUE(WriteFileBytes(Installed(L"update.xconfig"), "left by an earlier run"));
  Publish({{"a.txt", "released", ""}}, "1.0.0.0");
  EXPECT_EQ(RunWorker(), Messages{"close"});
  EXPECT_EQ(Content(L"a.txt"), "installed");
  EXPECT_EQ(Content(L"update.xconfig").rfind("BaseInfo", 0), 0u);  // fetched anew
  m_server.AddFault("update.xconfig status 404 times=1");
  EXPECT_EQ(RunWorker(), Messages{"failed download update config fail."});
  EXPECT_EQ(Content(L"update.xconfig"), "<missing>");
  m_server.AddFile(L"update.xconfig", "BaseInfo : {\nVersion : 2\n}\n");  // no FileList
  EXPECT_EQ(RunWorker(), Messages{"failed parseConfig fail"});
  EXPECT_TRUE(m_server.FileRequests().empty());
}

TEST_F(UpdateWorker, InstallsOutdatedAndMissingFilesAfterVerifyingAll) {
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.bin"), "outdated"));
  ASSERT_TRUE(WriteFileBytes(Installed(L"current.bin"), "current"));
  // A set-aside copy that an earlier pass could not remove stands where this one sets a.bin aside;
  // a.bin is read-only, and so is its set-aside copy, which the pass removes all the same.
  ASSERT_TRUE(WriteFileBytes(Installed(L"Temp\\a.bin.0.previous"), "left over"));
  ASSERT_TRUE(SetFileAttributesW(Installed(L"a.bin").c_str(), FILE_ATTRIBUTE_READONLY));
  Publish({{"a.bin", std::string(100, 'a'), ""},
           {"current.bin", "current", ""},
           {"sub/deeper/b.bin", std::string(200, 'b'), ""},
           {"win\\c.bin", std::string(300, 'c'), ""}});
  // Verified as they come, the first file last; reported on the run's thread, the figures rising.
  m_server.AddFile(L"_faults.txt", "files/a.bin delay 1 times=1\nfiles/sub/deeper/b.bin delay 0.5 times=1\n");
  EXPECT_EQ(RunWorker(),
            (Messages{"progress 300/600", "progress 500/600", "progress 600/600", "install", "installed", "close"}));
  EXPECT_EQ(Content(L"a.bin"), std::string(100, 'a'));
  EXPECT_EQ(Content(L"current.bin"), "current");
  EXPECT_EQ(Content(L"sub\\deeper\\b.bin"), std::string(200, 'b'));
  EXPECT_EQ(Content(L"win\\c.bin"), std::string(300, 'c'));
  // Only what was outdated or missing was fetched, every "\" sent as "/".
  std::vector<std::string> requested = m_server.FileRequests();
  std::sort(requested.begin(), requested.end());
  EXPECT_EQ(requested, (std::vector<std::string>{"a.bin", "sub/deeper/b.bin", "win/c.bin"}));
  for (const RecordedRequest& request : m_server.Requests()) EXPECT_EQ(request.Header("User-Agent"), "KVR-Updater");
  DWORD attributes = GetFileAttributesW(Installed(L"Temp\\sub\\deeper").c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(Content(L"Temp\\a.bin"), "<missing>");
  EXPECT_FALSE(SetAsideFilesLeft());
  // Kept alive: no more connections than transfers at once.
  std::vector<ReleaseFile> many;
  for (int i = 0; i < 12; ++i) many.push_back({"m" + std::to_string(i), std::string(1000, 'm'), ""});
  Publish(many);
  const size_t before = m_server.Requests().size();
  ASSERT_EQ(RunWorker().back(), "close");
  std::set<unsigned> connections;
  const std::vector<RecordedRequest> requests = m_server.Requests();
  for (size_t i = before; i < requests.size(); ++i) connections.insert(requests[i].connection);
  EXPECT_LE(connections.size(), 4u);
  // Sizes beyond 32 bits (5 GiB each) keep their ratio.
  Publish({{"d.bin", "d", "5368709120"}, {"e.bin", "e", "5368709120"}});
  EXPECT_EQ(RunWorker(), (Messages{"progress 671088640/1342177280", "progress 1342177280/1342177280", "install",
                                   "installed", "close"}));
}

// A failure is told at once: it stops the slow transfer beside it; nothing is installed, nothing left in "Temp".
TEST_F(UpdateWorker, FailedFetchOrDigestStopsTheRunBeforeAnythingIsInstalled) {
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.bin"), "outdated"));
  Publish({{"a.bin", std::string(9900, 'a'), ""}, {"b.bin", std::string(200, 'b'), ""}});
  const std::string served = std::string(199, 'b') + static_cast<char>('b' ^ 0xFF);
  const std::string url = FileUrl("b.bin");
  struct Case {
    const char* fault;
    std::string error;
  };
  // 304 stores nothing: there is nothing to verify. A body cut short every time fails after 6 attempts, however
  // far each resumed one came.
  for (const Case& c : {Case{"status 404 times=1", "download file " + url + " fail"},
                        Case{"status 304 times=1", "hash file " + url + " fail"},
                        Case{"cut 0.5", "download file " + url + " fail"},
                        Case{"corrupt times=1", "file " + url + " hash not equal \nhash1:" + Sha1Hex(served) +
                                                    " \nhash2:" + Sha1Hex(std::string(200, 'b'))}}) {
    m_server.AddFile(L"_faults.txt", "files/a.bin slow 500\nfiles/b.bin " + std::string(c.fault) + "\n");  // a: 20 s
    const DWORD start = GetTickCount();
    EXPECT_EQ(RunWorker(), (Messages{"failed " + c.error})) << c.fault;
    EXPECT_LT(GetTickCount() - start, 8000u) << c.fault;
    EXPECT_EQ(Content(L"a.bin") + Content(L"b.bin"), "outdated<missing>");
    EXPECT_EQ(Content(L"Temp\\a.bin") + Content(L"Temp\\b.bin"), "<missing><missing>");
  }
}

// A file that cannot be set aside or moved in fails the pass, which restores every changed file.
TEST_F(UpdateWorker, FailedInstallPassRestoresEveryChangedFileAndARefusedOneChangesNothing) {
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) ASSERT_TRUE(WriteFileBytes(Installed(name), "old"));
  Publish({{"a.txt", "new a", ""}, {"d.txt", "new d", ""}, {"b.txt", "new b", ""}, {"c.txt", "new c", ""}});
  // Open sharing reads only: b.txt can be hashed, not moved.
  ScopedHandle held(CreateFileW(Installed(L"b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                nullptr));
  ASSERT_TRUE(held.IsValid());
  Messages messages = RunWorker();
  held.Reset();
  ASSERT_EQ(messages.size(), 7u);
  EXPECT_EQ(messages[3], "progress 20/20");
  // The pass has ended, every changed file restored, before the failure is told.
  EXPECT_EQ(messages[5], "installed");
  EXPECT_EQ(messages[6], "failed 001 delete file " + Utf8(Installed(L"b.txt").c_str()) + " failed\nerror code: 32");
  for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"}) EXPECT_EQ(Content(name), "old") << Utf8(name);
  EXPECT_EQ(Content(L"d.txt"), "<missing>");
  EXPECT_FALSE(SetAsideFilesLeft());
  // A refused pass changes nothing.
  Publish({{"a.txt", "new a", ""}});
  EXPECT_EQ(RunWorker(true), (Messages{"progress 5/5", "install refused"}));
  EXPECT_EQ(Content(L"a.txt"), "old");
  EXPECT_FALSE(SetAsideFilesLeft());
  // "sub" is a file, so nothing can be moved to "sub/x.txt".
  ASSERT_TRUE(WriteFileBytes(Installed(L"sub"), "a file"));
  Publish({{"a.txt", "new a", ""}, {"sub/x.txt", "new x", ""}});
  messages = RunWorker();
  ASSERT_EQ(messages.size(), 5u);
  const std::string expected = "failed move " + Utf8(Installed(L"Temp\\sub/x.txt").c_str()) + " to " +
                               Utf8(Installed(L"sub/x.txt").c_str()) + " fail\nerror code: ";
  EXPECT_EQ(messages[4].substr(0, expected.size()), expected) << messages[4];
  EXPECT_NE(messages[4].substr(expected.size()), "0");
  EXPECT_EQ(Content(L"a.txt"), "old");
  EXPECT_EQ(Content(L"sub"), "a file");
}

// The run for a client in the current folder, by the copy of this program there; its reports in "messages.txt".
CHILD_SCENARIO(update_run_beside_the_program) {
  StartLibraryOnce(L"DefaultAlloc");
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  std::string lines;
  for (const std::string& message : RunAndRecord(std::wstring(folder) + L"\\" + kClientName)) lines += message + "\n";
  return WriteFileBytes(std::wstring(folder) + L"\\messages.txt", lines) ? 0 : 1;
}

TEST_F(UpdateWorker, TheRunningUpdaterIsNeitherFetchedNorReplaced) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_TRUE(CopyFileW(self, Installed(L"Updater.exe").c_str(), FALSE));
  const std::string program = Content(L"Updater.exe");
  Publish({{"Updater.exe", std::string(1000, 'u'), ""}, {"a.txt", std::string(100, 'a'), ""}});
  ScopedHandle child(StartChild("update_run_beside_the_program", m_install.Path(), Installed(L"Updater.exe")));
  ASSERT_TRUE(child.IsValid());
  ASSERT_EQ(WaitForSingleObject(child.Get(), 60000), WAIT_OBJECT_0);
  // Its size is not counted: the run reaches 100 %.
  EXPECT_EQ(Content(L"messages.txt"), "progress 100/100\ninstall\ninstalled\nclose\n");
  EXPECT_TRUE(Content(L"Updater.exe") == program);
  EXPECT_EQ(Content(L"a.txt"), std::string(100, 'a'));
  EXPECT_EQ(m_server.FileRequests(), std::vector<std::string>{"a.txt"});
}

// A program with a key built in: every forgery fails at its own step, before
// anything of the installation changes.
TEST_F(UpdateWorker, SignedReleasesRefuseEveryForgery) {
  const std::wstring served = m_server.Folder() + L"\\update.xconfig";
  auto rewrite = [&](const std::wstring& path, const std::function<std::string(std::string)>& change) {
    ASSERT_TRUE(WriteFileBytes(path, change(ReadFileBytes(path))));
  };
  const std::vector<ReleaseFile> files = {{"a.bin", "new a", ""}, {"b.bin", "new b", ""}};
  struct Scenario {
    const char* name;
    ReleaseOptions signing;
    std::function<void()> tamper;
    std::string failure;  // empty: the run succeeds
    size_t fetched;       // files requested
  };
  const Scenario scenarios[] = {
      {"changed after signing", {}, [&] { rewrite(served, [](std::string m) { return m + "\n"; }); },
       "verify manifest signature fail", 0},
      {"signature missing", {nullptr, "", {}}, [] {}, "verify manifest signature fail", 0},
      {"signature truncated", {}, [&] { rewrite(served + L".sig", [](std::string s) { return s.substr(0, 200); }); },
       "verify manifest signature fail", 0},
      {"another key", {"stranger", "", {}}, [] {}, "verify manifest signature fail", 0},
      {"no Sha256", {"signing", "", {"b.bin"}}, [] {}, "invalid file hash b.bin", 0},
      {"older release replayed", {}, [] {}, "manifest version 0.9.9.9 is older than the installed 1.0.0.0", 0},
      {"expired", {"signing", "2020-02-29T23:59:59Z", {}}, [] {}, "manifest expired 2020-02-29T23:59:59Z", 0},
      {"file swapped", {}, [&] { m_server.AddFile(L"files/b.bin", "bad b"); },
       "file " + FileUrl("b.bin") + " hash not equal \nhash1:" + Sha256Hex("bad b") +
           " \nhash2:" + Sha256Hex("new b"),
       2},
      {"good", {"signing", "2099-12-31T23:59:59Z", {}}, [] {}, "", 2},
  };
  for (const Scenario& s : scenarios) {
    ASSERT_TRUE(WriteFileBytes(Installed(L"a.bin"), "old a"));
    DeleteFileW(Installed(L"b.bin").c_str());
    Publish(files, std::string(s.name) != "older release replayed" ? kNewVersion : "0.9.9.9", &s.signing);
    DeleteFileW(Installed(L"update.xconfig").c_str());
    DeleteFileW(Installed(L"update.xconfig.sig").c_str());
    const auto before = InstalledFiles();
    s.tamper();
    const size_t requests = m_server.FileRequests().size();
    Messages messages = RunSigned();
    // A failed file stops the transfers beside it: the other one may not have been asked for.
    const size_t fetched = m_server.FileRequests().size() - requests;
    EXPECT_TRUE(s.failure.empty() ? fetched == s.fetched : fetched <= s.fetched) << s.name << " " << fetched;
    if (!s.failure.empty()) {
      EXPECT_EQ(messages.back(), "failed " + s.failure) << s.name;
      EXPECT_EQ(Content(L"a.bin"), "old a") << s.name;
      EXPECT_TRUE(InstalledFiles() == before) << s.name;
    } else {
      EXPECT_EQ(messages.back(), "close") << s.name;
      EXPECT_EQ(Content(L"a.bin") + Content(L"b.bin"), "new anew b") << s.name;
    }
  }
  // Without a key a present "Sha256" decides, not "Hash".
  ReleaseOptions unsigned_{nullptr, "", {}};
  Publish(files, kNewVersion, &unsigned_);
  rewrite(served, [](std::string m) { return m.replace(m.find(Sha1Hex("new a")), 40, std::string(40, '0')); });
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.bin"), "old a"));
  EXPECT_EQ(RunWorker().back(), "close");
  EXPECT_EQ(Content(L"a.bin"), "new a");
}

// From nginx over HTTPS: a signed run succeeds, with the text files that nginx
// compresses decoded; a certificate of an unknown authority, an expired one,
// one for another host and a redirect to http each fail at the manifest.
TEST_F(UpdateWorker, SignedRunsOverHttpsFromNginx) {
  std::string notes;
  for (int line = 0; line < 200; ++line) notes += "release note line " + std::to_string(line) + "\n";
  for (const char* server : {"good", "unknown", "expired", "wronghost", "to-http"}) {
    ASSERT_TRUE(WriteFileBytes(Installed(L"a.bin"), "old a"));
    ReleaseOptions options;
    options.https = server;
    Publish({{"a.bin", "new a", ""}, {"notes.txt", notes, ""}}, kNewVersion, &options);
    const size_t plainRequests = m_server.Requests().size();
    Messages messages = RunSigned();
    if (server[0] == 'g') {
      EXPECT_EQ(messages.back(), "close") << messages.back();
      EXPECT_EQ(Content(L"a.bin"), "new a");
      EXPECT_TRUE(Content(L"notes.txt") == notes) << "notes.txt not decoded";
    } else {
      EXPECT_EQ(messages, Messages{"failed download update config fail."}) << server;
      EXPECT_EQ(Content(L"a.bin"), "old a") << server;
      // Not even the redirect's target was asked.
      EXPECT_EQ(m_server.Requests().size(), plainRequests) << server;
    }
    DeleteFileW(Installed(L"notes.txt").c_str());
  }
}
