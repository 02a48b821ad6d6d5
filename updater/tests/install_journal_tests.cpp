// The install pass's journal: runs ended from outside at every point of the pass, of its roll-back and of the
// undoing at the next start; damaged and tampered journals.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/full_path.h"
#include "app/install_journal.h"
#include "app/update_worker.h"
#include "base/memory/library.h"
#include "base/system/scoped_handle.h"
#include "tests/child_process.h"
#include "tests/published_release.h"
#include "tests/test_support.h"
#include "tests/update_server.h"

namespace {
const wchar_t kClientName[] = L"Castwright PC.exe";
// Read by the child scenario only: the InstallPoint call (counted from 0 over the whole run) that it is held at,
// and the call before which it deletes the last file's download so that the pass fails and rolls back.
const wchar_t kStopVariable[] = L"JOURNAL_TEST_STOP_AT";
const wchar_t kSpoilVariable[] = L"JOURNAL_TEST_SPOIL_AT";

using Snapshot = std::map<std::string, std::string>;

// Replaced, added, nested replaced, added in a new nested folder; keep.txt is current.
const Snapshot kOld = {{"a.txt", "old a"}, {"keep.txt", "keep"}, {"sub\\b.txt", "old b"}};
const Snapshot kNew = {{"a.txt", "new a"},     {"keep.txt", "keep"},           {"n.txt", "new n"},
                       {"sub\\b.txt", "new b"}, {"sub\\deep\\c.txt", "new c"}};
// The pass's InstallPoint calls: before and after each move (a: 2 moves, n: 1, b: 2, c: 1).
constexpr int kPassPoints = 12;

int Variable(const wchar_t* name) {
  wchar_t value[16] = {};
  return GetEnvironmentVariableW(name, value, 16) ? _wtoi(value) : -1;
}

// Runs the update and holds it at the chosen point, telling so by "stopped.txt".
class HeldReport final : public UpdateReport {
public:
  explicit HeldReport(std::wstring folder) : m_folder(std::move(folder)) {}
  void Progress(uint32_t, uint32_t) override {}
  bool InstallStarting() override { return WriteFileBytes(m_folder + L"\\installing.txt", ""); }
  void InstallEnded() override {}
  void Finished(const wchar_t* error) override { result = error ? Utf8(error) : "close"; }
  void InstallPoint(uint32_t) override {
    if (m_calls == Variable(kSpoilVariable)) DeleteFileW((m_folder + L"\\Temp\\sub\\deep\\c.txt").c_str());
    if (m_calls++ == Variable(kStopVariable)) {
      WriteFileBytes(m_folder + L"\\stopped.txt", "");
      Sleep(INFINITE);
    }
  }
  std::string result;

private:
  std::wstring m_folder;
  int m_calls = 0;
};

class InstallJournalTest : public ::testing::Test {
protected:
  InstallJournalTest() {
    std::vector<ReleaseFile> files;
    for (const auto& file : kNew) files.push_back({file.first, file.second, ""});
    PublishRelease(m_server, m_install.Path(), files, "1.0.0.1");
  }
  std::wstring Installed(const wchar_t* name) const { return m_install.File(name); }
  std::wstring ClientPath() const { return Installed(kClientName); }
  String Folder() const { return InstallationFolderOf(ClientPath().c_str()); }
  // The release as it was before any pass: new files and "Temp" gone.
  void InstallOld() {
    RemoveFolderTree(Installed(L"Temp"));
    RemoveFolderTree(Installed(L"sub"));
    DeleteFileW(Installed(L"n.txt").c_str());
    for (const auto& file : kOld) ASSERT_TRUE(WriteFileBytes(Installed(Wide(file.first.c_str()).c_str()), file.second));
  }
  // Every file of the installation but the run's own (manifest, "Temp") and the child's marker.
  Snapshot Files(const std::wstring& below = L"") const {
    Snapshot files;
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileW((m_install.Path() + L"\\" + below + L"*").c_str(), &found));
    if (!search.IsValid()) return files;
    do {
      const std::wstring name = below + found.cFileName;
      if (name.back() == L'.' || name == L"Temp" || name.rfind(L"update.xconfig", 0) == 0 ||
          name == L"baseinfo.xconfig" || name == L"stopped.txt" || name == L"installing.txt") {
        continue;
      }
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const auto& file : Files(name + L"\\")) files.insert(file);
      } else {
        files[Utf8(name.c_str())] = ContentOf(m_install.File(name.c_str()));
      }
    } while (FindNextFileW(search.Get(), &found));
    return files;
  }
  // The journal or a set-aside copy still in "Temp".
  bool LeftOvers() const {
    WIN32_FIND_DATAW found;
    ScopedFind search(FindFirstFileW(Installed(L"Temp\\*.previous").c_str(), &found));
    std::wstring deeper = Installed(L"Temp\\sub\\*.previous");
    ScopedFind nested(FindFirstFileW(deeper.c_str(), &found));
    return search.IsValid() || nested.IsValid() ||
           GetFileAttributesW(Installed(L"Temp\\install.journal").c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // Starts the run in a process of its own, held at InstallPoint call `stopAt`; ends it from outside once held.
  // False when the run ended without reaching that call.
  bool KilledAt(int stopAt, int spoilAt = -1) {
    DeleteFileW(Installed(L"stopped.txt").c_str());
    SetEnvironmentVariableW(kStopVariable, std::to_wstring(stopAt).c_str());
    SetEnvironmentVariableW(kSpoilVariable, std::to_wstring(spoilAt).c_str());
    ScopedHandle child(StartChild("held_update_run", m_install.Path()));
    SetEnvironmentVariableW(kStopVariable, nullptr);
    SetEnvironmentVariableW(kSpoilVariable, nullptr);
    if (!child.IsValid()) return false;
    for (int waited = 0; waited < 60000; waited += 10) {
      if (GetFileAttributesW(Installed(L"stopped.txt").c_str()) != INVALID_FILE_ATTRIBUTES) {
        TerminateProcess(child.Get(), 9);
        return WaitForSingleObject(child.Get(), 30000) == WAIT_OBJECT_0;
      }
      if (WaitForSingleObject(child.Get(), 10) == WAIT_OBJECT_0) return false;
    }
    TerminateProcess(child.Get(), 9);
    return false;
  }
  std::string RunInProcess() {
    HeldReport report(m_install.Path());
    RunUpdate(ClientPath().c_str(), L"1.0.0.0", report);
    return report.result;
  }
  ServerScope m_server;
  TempFolder m_install;
};
}  // namespace

CHILD_SCENARIO(held_update_run) {
  StartLibraryOnce(L"DefaultAlloc");
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  HeldReport report(folder);
  RunUpdate((std::wstring(folder) + L"\\" + kClientName).c_str(), L"1.0.0.0", report);
  return report.result == "close" ? 0 : 1;
}

// Ended at every point of the pass, of its roll-back, and of the undoing that the next start does: the start after
// leaves exactly the old release, and a run then installs the new one; nothing of the pass stays in "Temp".
TEST_F(InstallJournalTest, EndedAtEveryPointTheNextStartRestoresTheOldRelease) {
  struct Kill {
    int stopAt;
    int spoilAt;      // the pass fails before this call and rolls back; -1: it does not
    int undoStopAt;   // a second run is ended while undoing, at this call; -1: not
  };
  std::vector<Kill> kills;
  for (int point = 0; point < kPassPoints; ++point) kills.push_back({point, -1, -1});
  // Spoiled before c.txt moves in: the roll-back takes calls 11 to 20.
  for (int point = 10; point <= 20; ++point) kills.push_back({point, 10, -1});
  // Ended after b.txt moved in (call 9): undoing it takes calls 0 to 9 of the next start.
  for (int point = 0; point < 10; ++point) kills.push_back({9, -1, point});
  for (const Kill& kill : kills) {
    const std::string row = "stop " + std::to_string(kill.stopAt) + " spoil " + std::to_string(kill.spoilAt) +
                            " undo stop " + std::to_string(kill.undoStopAt);
    InstallOld();
    ASSERT_EQ(Files(), kOld) << row;
    ASSERT_TRUE(KilledAt(kill.stopAt, kill.spoilAt)) << row;
    if (kill.undoStopAt >= 0) {
      ASSERT_TRUE(KilledAt(kill.undoStopAt)) << row;
    }
    EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted) << row;
    EXPECT_EQ(Files(), kOld) << row;
    EXPECT_FALSE(LeftOvers()) << row;
    EXPECT_EQ(RunInProcess(), "close") << row;
    EXPECT_EQ(Files(), kNew) << row;
    EXPECT_FALSE(LeftOvers()) << row;
  }
  // The pass has no point beyond those: held there, a run installs the release and ends by itself.
  InstallOld();
  EXPECT_FALSE(KilledAt(kPassPoints));
  EXPECT_EQ(Files(), kNew);
  EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kNone);
}

// A journal cut short is read up to its last complete record; one damaged in its plan moves nothing; one naming a
// file outside the installation is not followed; a file that cannot be put back keeps the journal and fails the run.
TEST_F(InstallJournalTest, DamagedTamperedAndBlockedJournals) {
  const std::wstring journal = Installed(L"Temp\\install.journal");
  InstallOld();
  ASSERT_TRUE(KilledAt(7));  // b.txt set aside and recorded: the last record
  const std::string written = ReadFileBytes(journal);
  ASSERT_TRUE(WriteFileBytes(journal, written.substr(0, written.size() - 3)));
  EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted);
  EXPECT_EQ(Files(), kOld);
  EXPECT_FALSE(LeftOvers());

  InstallOld();
  ASSERT_TRUE(KilledAt(5));  // a.txt and n.txt new
  const Snapshot killed = Files();
  std::string damaged = ReadFileBytes(journal);
  damaged[12] ^= 1;  // inside the first planned step
  ASSERT_TRUE(WriteFileBytes(journal, damaged));
  EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted);
  EXPECT_EQ(Files(), killed);
  EXPECT_EQ(ContentOf(journal), "<missing>");

  // Paths are checked as the run checks them; nothing outside is touched.
  const std::wstring outside = m_install.Path() + L"-outside.txt";
  ASSERT_TRUE(WriteFileBytes(outside, "outside"));
  for (const wchar_t* name : {L"..\\x-outside.txt", L"Temp\\..\\..\\x-outside.txt", L"C:\\x-outside.txt"}) {
    std::wstring relative = name;
    relative.replace(relative.find(L"x-"), 1, m_install.Path().substr(m_install.Path().rfind(L'\\') + 1));
    {
      InstallJournal tampered;
      const JournalStep steps[] = {{L"a.txt", true}, {relative.c_str(), false}};
      ASSERT_TRUE(tampered.Begin(journal.c_str(), steps, 2));
      ASSERT_TRUE(tampered.Add(InstallJournal::kMovedIn, 1));
    }
    EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted) << Utf8(name);
    EXPECT_EQ(ContentOf(outside), "outside") << Utf8(name);
    EXPECT_EQ(ContentOf(journal), "<missing>") << Utf8(name);
  }
  DeleteFileW(outside.c_str());

  // The moved-in new file is held open without sharing: kept, and the run fails before fetching anything.
  InstallOld();
  ASSERT_TRUE(KilledAt(5));
  {
    ScopedHandle held(CreateFileW(Installed(L"n.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kKept);
    const size_t requests = m_server.Requests().size();
    EXPECT_EQ(RunInProcess(), "undo interrupted update fail");
    EXPECT_EQ(m_server.Requests().size(), requests);
  }
  EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted);
  EXPECT_EQ(Files(), kOld);
  EXPECT_FALSE(LeftOvers());
}

// Not in CI: with JOURNAL_RANDOM_KILLS=N, N runs of a release of 60 files are ended at a random moment of their
// install pass; every next start leaves the old release or, when the pass had finished, the new one. Prints the
// outcome counts.
TEST_F(InstallJournalTest, RandomKillsDuringThePass) {
  const int runs = Variable(L"JOURNAL_RANDOM_KILLS");
  if (runs <= 0) GTEST_SKIP() << "set JOURNAL_RANDOM_KILLS to run";
  Snapshot old, released;
  std::vector<ReleaseFile> files;
  for (int i = 0; i < 60; ++i) {
    const std::string name = (i % 3 ? "d\\" : "") + std::string("f") + std::to_string(i) + ".bin";
    released[name] = "new " + std::to_string(i);
    if (i % 2) old[name] = "old " + std::to_string(i);
    files.push_back({name, released[name], ""});
  }
  PublishRelease(m_server, m_install.Path(), files, "1.0.0.1");
  auto installOld = [&] {
    RemoveFolderTree(Installed(L"Temp"));
    RemoveFolderTree(Installed(L"d"));
    for (const auto& file : released) DeleteFileW(Installed(Wide(file.first.c_str()).c_str()).c_str());
    for (const auto& file : old) WriteFileBytes(Installed(Wide(file.first.c_str()).c_str()), file.second);
  };
  // One run unended measures the pass.
  installOld();
  auto runKilledAfter = [&](double passMs, double* measured) {
    DeleteFileW(Installed(L"installing.txt").c_str());
    ScopedHandle child(StartChild("held_update_run", m_install.Path()));
    while (GetFileAttributesW(Installed(L"installing.txt").c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (WaitForSingleObject(child.Get(), 1) == WAIT_OBJECT_0) return;
    }
    const auto start = std::chrono::steady_clock::now();
    if (passMs < 0) {
      WaitForSingleObject(child.Get(), INFINITE);
      *measured = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      return;
    }
    while (std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() < passMs) {
    }
    TerminateProcess(child.Get(), 9);
    WaitForSingleObject(child.Get(), INFINITE);
  };
  double passMs = 0;
  runKilledAfter(-1, &passMs);
  ASSERT_EQ(Files(), released);
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> moment(0, passMs * 1.2);
  std::map<std::string, int> outcomes;
  for (int run = 0; run < runs; ++run) {
    installOld();
    runKilledAfter(moment(random), nullptr);
    const bool journal = GetFileAttributesW(Installed(L"Temp\\install.journal").c_str()) != INVALID_FILE_ATTRIBUTES;
    const JournalOutcome outcome = CompleteInterruptedInstall(Folder());
    const Snapshot after = Files();
    std::string kind = after == old ? "old release" : after == released ? "new release" : "MIXED";
    kind += journal ? (outcome == JournalOutcome::kCompleted ? " after completing a journal" : " JOURNAL KEPT")
                    : " without a journal";
    ++outcomes[kind];
    EXPECT_NE(kind.find("release "), std::string::npos) << run;
    EXPECT_TRUE(after == old || after == released) << run;
    EXPECT_EQ(RunInProcess(), "close") << run;
    EXPECT_EQ(Files(), released) << run;
    EXPECT_FALSE(LeftOvers()) << run;
  }
  std::cout << "pass of 60 files: " << passMs << " ms; kills in [0, " << passMs * 1.2 << "] ms after it starts\n";
  for (const auto& outcome : outcomes) std::cout << outcome.second << " x " << outcome.first << "\n";
}
