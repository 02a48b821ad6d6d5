// UpdateWeb as the client calls it: in the stand-in client's own process.
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "app/full_path.h"
#include "app/install_journal.h"
#include "app/self_update.h"
#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace {
const std::string kOldVersion = OLD_CLIENT_VERSION;
const std::string kNewVersion = NEW_CLIENT_VERSION;

class SelfUpdate : public ProgramTest {
protected:
  SelfUpdate() { Install(OLD_CLIENT_EXE); }
  // Starts the client with `arguments`; the records of its UpdateWeb calls ("<result> <allocator> <address>").
  std::vector<std::string> CallUpdateWeb(const std::wstring& arguments = L"--call-updateweb") {
    ScopedHandle client = StartClient(arguments);
    EXPECT_TRUE(WaitFor([&] { return !Lines(L"updateweb.txt").empty() && Lines(L"updateweb.txt").back() == "called"; }))
        << "UpdateWeb did not return";
    std::vector<std::string> records = Lines(L"updateweb.txt");
    DeleteFileW(Installed(L"updateweb.txt").c_str());
    if (!records.empty()) records.pop_back();
    return records;
  }
  // The result of a single UpdateWeb call: "true" or "false".
  std::string CallResult() {
    std::vector<std::string> records = CallUpdateWeb();
    return records.size() == 1 ? records[0].substr(0, records[0].find(' '))
                               : std::to_string(records.size()) + " records";
  }
  // A stand-in client as the updater, so that a started copy records how it was started.
  void InstallRecordingUpdater() const { Install(UNVERSIONED_CLIENT_EXE, L"Updater.exe"); }
};
}  // namespace

TEST_F(SelfUpdate, NewerVersionStartsTheCopyWithTheClientPath) {
  InstallRecordingUpdater();
  ASSERT_TRUE(WriteFileBytes(Installed(L"Updater_new.exe"), "left by an earlier check"));
  Publish({}, kNewVersion);
  EXPECT_EQ(CallResult(), "false");
  // The copy was refreshed and started with -path "<client>" in the client's folder.
  EXPECT_TRUE(Content(L"Updater_new.exe") == Content(L"Updater.exe"));
  ASSERT_TRUE(WaitFor([&] { return ClientStarts().size() == 2; }));
  const std::string start = ClientStarts()[1];
  EXPECT_EQ(start.substr(0, start.find('|')), Utf8(m_install.Path().c_str()));
  const std::string arguments = " -path \"" + Utf8(Installed(kClientName).c_str()) + "\"";
  EXPECT_EQ(start.substr(std::max(start.size(), arguments.size()) - arguments.size()), arguments) << start;
  EXPECT_NE(start.find("Updater_new.exe"), std::string::npos) << start;
  EXPECT_EQ(Content(L"update.xconfig").rfind("BaseInfo", 0), 0u);  // the manifest stays beside the client
}

// An install pass ended half-way (a.txt replaced, n.txt added) is undone before the version check.
TEST_F(SelfUpdate, InterruptedInstallIsUndoneFirst) {
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.txt"), "new a"));
  ASSERT_TRUE(WriteFileBytes(Installed(L"Temp\\a.txt.0.previous"), "old a"));
  ASSERT_TRUE(WriteFileBytes(Installed(L"n.txt"), "new n"));
  {
    InstallJournal journal;
    const JournalStep steps[] = {{L"a.txt", true}, {L"n.txt", false}};
    const String folder = InstallationFolderOf(Installed(kClientName).c_str());
    ASSERT_TRUE(journal.Begin(InstallJournalPath(folder), steps, 2));
    ASSERT_TRUE(journal.Add(InstallJournal::kSetAside, 0) && journal.Add(InstallJournal::kMovedIn, 0));
  }
  Publish({}, kOldVersion);
  // Two calls in one process: the library is started once, on FastAlloc.
  std::vector<std::string> records = CallUpdateWeb(L"--call-updateweb --call-updateweb");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].rfind("true FastAlloc ", 0), 0u) << records[0];
  EXPECT_EQ(records[1], records[0]);
  EXPECT_EQ(Content(L"a.txt"), "old a");
  for (const wchar_t* name : {L"n.txt", L"Temp\\a.txt.0.previous", L"Temp\\install.journal"}) {
    EXPECT_FALSE(Exists(name)) << Utf8(name);
  }
  // Started before, as the updater's own start does, the library stays as it is.
  records = CallUpdateWeb(L"--start-library DebugAlloc --call-updateweb");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].rfind("true DebugAlloc ", 0), 0u) << records[0];
}

TEST_F(SelfUpdate, CopyThatCannotStartStillAnswersFalse) {
  ASSERT_TRUE(WriteFileBytes(Installed(L"Updater.exe"), "not a program"));
  Publish({}, kNewVersion);
  ScopedHandle client = StartClient(L"--call-updateweb");
  // The shell's message box about the failed start holds the call until it is answered.
  HWND box = DialogOf(client);
  ASSERT_NE(box, nullptr);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return Lines(L"updateweb.txt").size() == 2; }));
  EXPECT_EQ(Lines(L"updateweb.txt")[0].rfind("false ", 0), 0u);
  EXPECT_EQ(Content(L"Updater_new.exe"), "not a program");
}

TEST_F(SelfUpdate, AnswersTrueWithoutACopyWhenNoneIsNeededOrPossible) {
  Publish({}, kNewVersion);
  EXPECT_EQ(CallResult(), "true");  // no updater to copy
  EXPECT_EQ(Content(L"Updater_new.exe"), "<missing>");
  InstallRecordingUpdater();
  for (const std::string& version : {kOldVersion, kOldVersion.substr(0, kOldVersion.rfind('.'))}) {
    Publish({}, version);
    EXPECT_EQ(CallResult(), "true") << version;
  }
  ASSERT_TRUE(WriteFileBytes(Installed(L"Updater_new.exe"), "left by an earlier check"));
  Publish({}, kNewVersion);
  m_server.AddFault("update.xconfig drop");
  EXPECT_EQ(CallResult(), "true");
  EXPECT_EQ(m_server.Requests().size(), 1u + 2u + 6u);  // manifests only
  EXPECT_TRUE(Content(L"Updater_new.exe") == Content(L"Updater.exe"));
  EXPECT_EQ(ClientStarts().size(), 4u);  // the clients only, no copy
}

// With a key built in, UpdateWeb starts the copy for a good signed release only: not for an unsigned one, a replayed
// older one, or one with an entry the run could not check (the manifest's own checks are the worker's tests').
TEST_F(SelfUpdate, SignedCheckStartsNothingForAForgery) {
  Install(SIGNED_OLD_CLIENT_EXE);
  InstallRecordingUpdater();
  const std::pair<ReleaseOptions, std::string> scenarios[] = {
      {{nullptr, "", {}}, kNewVersion}, {{}, "1.2.3.3"}, {{"signing", "", {"a.txt"}}, kNewVersion}};
  for (const auto& s : scenarios) {
    Publish({{"a.txt", "new a", ""}}, s.second, &s.first);
    EXPECT_EQ(CallResult(), "true") << s.second;
  }
  EXPECT_EQ(ClientStarts().size(), std::size(scenarios));  // the client only, once a call
  ReleaseOptions good;
  Publish({{"a.txt", "new a", ""}}, kNewVersion, &good);
  EXPECT_EQ(CallResult(), "false");
  EXPECT_TRUE(WaitFor([&] { return ClientStarts().size() == std::size(scenarios) + 2; }));
}

TEST(ProductVersionText, FromTheFixedVersionInformation) {
  for (const auto& c : {std::make_pair(Built(OLD_CLIENT_EXE), kOldVersion),
                        std::make_pair(Built(NEW_CLIENT_EXE), kNewVersion),
                        std::make_pair(Built(UNVERSIONED_CLIENT_EXE), std::string("untouched")),
                        std::make_pair(std::wstring(L"Z:\\no\\such\\file.exe"), std::string("untouched"))}) {
    String text(L"untouched");
    GetProductVersionText(c.first.c_str(), &text);
    EXPECT_EQ(Utf8(text.Text()), c.second) << Utf8(c.first.c_str());
  }
}
