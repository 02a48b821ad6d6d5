// The install pass's journal: runs ended from outside (TerminateProcess, or SIGKILL to the Wine process) at every
// point of the pass, of its roll-back and of the undoing at the next start; damaged and tampered journals.
#include <windows.h>

#include <gtest/gtest.h>

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
const char kFolder[] = "<folder>";
using Snapshot = std::map<std::string, std::string>;  // files by name with their bytes; folders ("name\") as kFolder

// Replaced, added, nested replaced, added in a new nested folder; keep.txt is current.
const Snapshot kOld = {{"a.txt", "old a"}, {"keep.txt", "keep"}, {"sub\\", kFolder}, {"sub\\b.txt", "old b"}};
const Snapshot kNew = {{"a.txt", "new a"},   {"keep.txt", "keep"},          {"n.txt", "new n"},      {"sub\\", kFolder},
                       {"sub\\b.txt", "new b"}, {"sub\\deep\\", kFolder}, {"sub\\deep\\c.txt", "new c"}};
// The pass's stop points: before and after each move (a: 2 moves, n: 1, b: 2, c: 1), then the removal of the two
// set-aside copies once the pass is committed (from point 12 on).
constexpr int kPassPoints = 16;
constexpr int kCommitPoint = 12;

enum class Kill { kTerminate, kSigkill };

// The child's stop point (counted from 0 over the whole run) that it is held at, the point before which it deletes
// the last file's download so that the pass fails and rolls back, and the points passed so far.
int childStopAt = -1, childSpoilAt = -1, childPoints = 0;

// Holds the child (in the installation folder) at the chosen point, telling so in "Temp\\stopped.txt".
void HoldAtChosenPoint() {
  if (childPoints == childSpoilAt) DeleteFileW(L"Temp\\sub\\deep\\c.txt");
  if (childPoints++ == childStopAt) {
    WriteFileBytes(L"Temp\\stopped.txt", "held");
    Sleep(INFINITE);
  }
}

// Tells in "Temp\\installing.txt" of `folder` that the install pass begins.
struct Report final : UpdateReport {
  explicit Report(std::wstring at) : folder(std::move(at)) {}
  void Progress(uint32_t, uint32_t) override {}
  bool InstallStarting() override { return WriteFileBytes(folder + L"\\Temp\\installing.txt", "begun"); }
  void InstallEnded() override {}
  void Finished(const wchar_t* error) override { result = error ? Utf8(error) : "close"; }
  std::wstring folder;
  std::string result;
};

// Ends `child`, whose command line ends with the unique `mark`, as `kill` says; waits (at most 30 s) until it is gone.
// Wine starts pkill as the Linux program it is, with no handle to wait on. (Wine opens "/proc/self" in the wineserver:
// the pid read there is the server's, and killing it hangs every process of the prefix.)
bool End(HANDLE child, const std::wstring& mark, Kill kill) {
  std::wstring line = L"pkill -9 -f -- " + mark;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const bool signalled = kill == Kill::kSigkill && CreateProcessW(L"Z:\\usr\\bin\\pkill", &line[0], nullptr, nullptr,
                                                                   FALSE, 0, nullptr, nullptr, &startup, &process);
  const ScopedHandle thread(process.hThread), pkill(process.hProcess);
  if (!signalled) TerminateProcess(child, 9);
  const bool ended = WaitForSingleObject(child, 30000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(child, 9);
  return ended && (kill == Kill::kSigkill) == signalled;
}

class InstallJournalTest : public ::testing::Test {
protected:
  InstallJournalTest() { Publish(kNew); }
  void Publish(const Snapshot& release) {
    std::vector<ReleaseFile> files;
    for (const auto& file : release) {
      if (file.second != kFolder) files.push_back({file.first, file.second, ""});
    }
    PublishRelease(m_server, m_install.Path(), files, "1.0.0.1");
  }
  std::wstring Installed(const std::string& name) const { return m_install.File(Wide(name).c_str()); }
  String Folder() const { return InstallationFolderOf(Installed(Utf8(kClientName)).c_str()); }
  // The release `old` as it was before any pass, every file and folder of `release` that it lacks gone.
  void InstallOld(const Snapshot& old = kOld, const Snapshot& release = kNew) {
    RemoveFolderTree(Installed("Temp"));
    for (auto file = release.rbegin(); file != release.rend(); ++file) {
      (file->second == kFolder ? RemoveDirectoryW : DeleteFileW)(Installed(file->first).c_str());
    }
    for (const auto& file : old) ASSERT_TRUE(file.second == kFolder || WriteFileBytes(Installed(file.first), file.second));
  }
  // Every file and folder of the installation but the run's own: manifests and "Temp" (the child's markers too).
  Snapshot Files() const {
    return TreeOf(m_install.Path(), [](const std::string& name) {
      return name == "Temp" || name == "baseinfo.xconfig" || name.rfind("update.xconfig", 0) == 0;
    });
  }
  // The journal or a set-aside copy still in "Temp".
  bool LeftOvers() const {
    for (const auto& file : TreeOf(Installed("Temp"))) {
      if (file.first.find("install.journal") != std::string::npos || file.first.find(".previous") != std::string::npos) {
        return true;
      }
    }
    return false;
  }
  // Starts the run in a process of its own; returns it once it wrote `marker` (within a minute), else none and says
  // why in m_why.
  ScopedHandle StartRun(const char* marker, int stopAt = -1, int spoilAt = -1) {
    DeleteFileW(Installed(marker).c_str());
    m_why.clear();
    m_mark = L"held-run:" + std::to_wstring(stopAt) + L":" + std::to_wstring(spoilAt) + L":" +
             std::to_wstring(std::random_device()());
    ScopedHandle child(StartChild("held_update_run", m_install.Path(), L"", m_mark));
    for (int waited = 0; child.IsValid() && waited < 60000; waited += 2) {
      if (!ReadFileBytes(Installed(marker)).empty()) return child;
      if (WaitForSingleObject(child.Get(), 2) == WAIT_OBJECT_0) break;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(child.Get(), &code);
    if (!child.IsValid()) m_why = "the run did not start";
    else if (code == STILL_ACTIVE) m_why = "no marker within a minute";
    else m_why = "the run ended with " + std::to_string(code) + "; XT.log: " + ContentOf(Installed("XT.log"));
    End(child.Get(), m_mark, Kill::kTerminate);
    return ScopedHandle();
  }
  // Holds a run at stop point `stopAt` and ends it there; false when it ended without reaching that point.
  bool KilledAt(int stopAt, int spoilAt = -1, Kill kill = Kill::kTerminate) {
    const ScopedHandle child = StartRun("Temp\\stopped.txt", stopAt, spoilAt);
    if (child.IsValid() && !End(child.Get(), m_mark, kill)) m_why = "the kill did not end the run";
    return child.IsValid() && m_why.empty();
  }
  std::string RunInProcess() {
    Report report(m_install.Path());
    RunUpdate(Installed(Utf8(kClientName)).c_str(), L"1.0.0.0", report);
    return report.result;
  }
  ServerScope m_server;
  TempFolder m_install;
  std::wstring m_mark;  // the last child's
  std::string m_why;    // why the last child was not held at its point
};
}  // namespace

CHILD_SCENARIO(held_update_run) {
  StartLibraryOnce(L"DefaultAlloc");
  wchar_t folder[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, folder);
  swscanf(wcsstr(GetCommandLineW(), L"held-run:"), L"held-run:%d:%d", &childStopAt, &childSpoilAt);
  SetInstallPointHook(HoldAtChosenPoint);
  Report report(folder);
  RunUpdate((report.folder + L"\\" + kClientName).c_str(), L"1.0.0.0", report);
  return report.result == "close" ? 0 : 1;
}

// Ended at every point of the pass, of its roll-back, and of the undoing that the next start does, by either kill:
// the start after leaves exactly the old release (or the new one, once the pass was committed), folders included,
// and a run then installs the new one; nothing of the pass stays in "Temp".
TEST_F(InstallJournalTest, EndedAtEveryPointTheNextStartRestoresTheOldRelease) {
  // Ended at stopAt; the pass fails before spoilAt and rolls back; a second run ended while undoing at undoStopAt.
  struct Row { int stopAt, spoilAt, undoStopAt; };  // -1: none
  std::vector<Row> rows;
  for (int point = 0; point < kPassPoints; ++point) rows.push_back({point, -1, -1});
  // Spoiled before c.txt moves in: the roll-back takes points 11 to 23, sub\deep removed at 21 and 22.
  for (int point = 11; point <= 23; ++point) rows.push_back({point, 10, -1});
  // Then a second run ended at every point of its undoing: after c.txt moved in (point 11) that takes points 0 to 14,
  // sub\deep at 12 and 13; in the roll-back before n.txt goes (15), points 0 to 8; once committed (12), 0 to 3.
  for (const Row& first : {Row{11, -1, 14}, Row{15, 10, 8}, Row{12, -1, 3}}) {
    for (int point = 0; point <= first.undoStopAt; ++point) rows.push_back({first.stopAt, first.spoilAt, point});
  }
  for (const Kill kill : {Kill::kTerminate, Kill::kSigkill}) {
    for (const Row& row : rows) {
      const std::string at = (kill == Kill::kSigkill ? "SIGKILL " : "TerminateProcess ") + std::to_string(row.stopAt) +
                             " spoil " + std::to_string(row.spoilAt) + " undo " + std::to_string(row.undoStopAt);
      InstallOld();
      ASSERT_TRUE(KilledAt(row.stopAt, row.spoilAt, kill)) << at << ": " << m_why;
      ASSERT_TRUE(row.undoStopAt < 0 || KilledAt(row.undoStopAt, -1, kill)) << at << ", the undo: " << m_why;
      EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted) << at;
      EXPECT_EQ(Files(), row.spoilAt < 0 && row.stopAt >= kCommitPoint ? kNew : kOld) << at;
      EXPECT_FALSE(LeftOvers()) << at;
      EXPECT_EQ(RunInProcess(), "close") << at;
      EXPECT_EQ(Files(), kNew) << at;
      EXPECT_FALSE(LeftOvers()) << at;
    }
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
  const std::wstring journal = Installed("Temp\\install.journal");
  // Ended once committed, the journal then cut within its commit record or damaged just before it (13-byte move
  // records): the pass is undone. Ended after two moves, its plan damaged: nothing is moved, the journal goes.
  const struct { int killAt, cut, flip; bool undone; } damages[] = {
      {12, 3, 0, true}, {12, 0, -22, true}, {5, 0, 18, false}};
  for (const auto& damage : damages) {
    InstallOld();
    ASSERT_TRUE(KilledAt(damage.killAt));
    const Snapshot killed = Files();
    std::string bytes = ReadFileBytes(journal);
    bytes.resize(bytes.size() - damage.cut);
    if (damage.flip) bytes[damage.flip > 0 ? damage.flip : bytes.size() + damage.flip] ^= 1;
    ASSERT_TRUE(WriteFileBytes(journal, bytes));
    EXPECT_EQ(CompleteInterruptedInstall(Folder()), JournalOutcome::kCompleted) << damage.flip;
    EXPECT_EQ(Files(), damage.undone ? kOld : killed) << damage.flip;
    EXPECT_TRUE(damage.undone ? !LeftOvers() : ContentOf(journal) == "<missing>") << damage.flip;
  }
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
    ScopedHandle held(CreateFileW(Installed("n.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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

// JOURNAL_RANDOM_KILLS=N (default 2): N runs of a release of 60 files, in nested new folders too, are ended at a
// random moment within twice their install pass's length, by either kill in turn; every next start leaves the old
// release or, when the pass had been committed, the new one. Prints the outcome counts.
TEST_F(InstallJournalTest, RandomKillsDuringThePass) {
  wchar_t runs[16] = L"2";
  GetEnvironmentVariableW(L"JOURNAL_RANDOM_KILLS", runs, 16);
  Snapshot old = {{"d\\", kFolder}, {"d\\e1\\", kFolder}, {"d\\e3\\", kFolder}}, released = old;
  for (int i = 0; i < 60; ++i) {  // in d\e0\ and d\e2\ new files only
    const std::string folder = i % 3 == 0 ? "" : i % 3 == 1 ? "d\\" : "d\\e" + std::to_string(i % 4) + "\\";
    released[folder + "f" + std::to_string(i)] = "new " + std::to_string(i);
    if (i % 2) old[folder + "f" + std::to_string(i)] = "old " + std::to_string(i);
    released[folder] = kFolder;
  }
  released.erase("");
  Publish(released);
  // One run unended measures the pass.
  InstallOld(old, released);
  ScopedHandle measured = StartRun("Temp\\installing.txt");
  const ULONGLONG start = GetTickCount64();
  ASSERT_TRUE(measured.IsValid() && WaitForSingleObject(measured.Get(), 60000) == WAIT_OBJECT_0);
  const double passMs = static_cast<double>(GetTickCount64() - start);
  ASSERT_EQ(Files(), released);
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> moment(0, passMs * 2);
  std::map<std::string, int> outcomes;
  for (int run = 0; run < _wtoi(runs); ++run) {
    InstallOld(old, released);
    ScopedHandle child = StartRun("Temp\\installing.txt");
    ASSERT_TRUE(child.IsValid()) << run;
    Sleep(static_cast<DWORD>(moment(random)));
    ASSERT_TRUE(End(child.Get(), m_mark, run % 2 ? Kill::kSigkill : Kill::kTerminate)) << run;
    const bool journal = GetFileAttributesW(Installed("Temp\\install.journal").c_str()) != INVALID_FILE_ATTRIBUTES;
    const JournalOutcome outcome = CompleteInterruptedInstall(Folder());
    const Snapshot after = Files();
    const std::string kind = outcome == JournalOutcome::kKept ? "JOURNAL KEPT" : after == released ? "new release complete"
                             : after != old ? "MIXED" : journal ? "old release restored" : "ended before the journal existed";
    ++outcomes[kind + (run % 2 ? " (SIGKILL)" : " (TerminateProcess)")];
    EXPECT_TRUE(kind.find("release") != std::string::npos || kind.find("ended") == 0) << run << ": " << kind;
    EXPECT_EQ(RunInProcess(), "close") << run;
    EXPECT_EQ(Files(), released) << run;
    EXPECT_FALSE(LeftOvers()) << run;
  }
  std::cout << "pass of 60 files: " << passMs << " ms; kills in [0, " << passMs * 2 << "] ms after it starts\n";
  for (const auto& outcome : outcomes) std::cout << outcome.second << " x " << outcome.first << "\n";
}
