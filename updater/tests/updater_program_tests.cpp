// Updater.exe runs under Wine on a display, against the local update server, beside the stand-in client.
#include <windows.h>

#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace {
const std::string kOldVersion = OLD_CLIENT_VERSION;
const std::string kNewVersion = NEW_CLIENT_VERSION;

class UpdaterRun : public ProgramTest {
protected:
  UpdaterRun() { Install(UpdaterProgram(), L"Updater.exe"); }
};
}  // namespace

TEST_F(UpdaterRun, CommandLinesWithoutAClientPathEndAtOnce) {
  Install(OldClientProgram());
  ScopedHandle client = StartClient();
  EXPECT_EQ(ExitCodeOf(Start(L"Updater.exe", L"-path \"\""), 30000), 0u);
  // Before anything else: the client runs on, nothing was fetched or written.
  EXPECT_EQ(WaitForSingleObject(client.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_FALSE(Exists(L"XT.log"));
  EXPECT_FALSE(Exists(L"update.xconfig"));
}

// A client without version information is always updated.
TEST_F(UpdaterRun, WholeRunReplacesTheInstallationAndRestartsTheClient) {
  Install(UnversionedClientProgram());
  ASSERT_TRUE(WriteFileBytes(Installed(L"data\\readme.txt"), "old readme"));
  const std::string newClient = ReadFileBytes(NewClientProgram());
  Publish({{"Castwright PC.exe", newClient, ""}, {"data/readme.txt", "new readme", ""}, {"data/added.txt", "added", ""}},
          kOldVersion);
  ScopedHandle client = StartClient();
  EXPECT_EQ(ExitCodeOf(StartUpdater()), 0u);
  // The running client was ended by the updater (exit code 0), then replaced.
  EXPECT_EQ(ExitCodeOf(client, 0), 0u);
  EXPECT_TRUE(Content(kClientName) == newClient);
  EXPECT_EQ(Content(L"data\\readme.txt"), "new readme");
  EXPECT_EQ(Content(L"data\\added.txt"), "added");
  ExpectClientRestarted(1);
  // Shut down cleanly: no leak report, no error.
  EXPECT_FALSE(Exists(L"XT.log")) << Content(L"XT.log");
}

// The key built into the program: an unsigned release fails at the manifest, before any file is fetched.
TEST_F(UpdaterRun, KeyedProgramRefusesUnsignedReleases) {
  Install(SignedUpdaterProgram(), L"Updater.exe");
  Install(OldClientProgram());
  Publish({{"a.txt", "new a", ""}}, kNewVersion);
  ScopedHandle updater = StartUpdater();
  HWND dialog = DialogOf(updater);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(GetDlgItem(dialog, kFinishButton)) != FALSE; })) << "no failed look";
  EXPECT_EQ(TextOfWindow(GetDlgItem(dialog, kErrorText)), "verify manifest signature fail");
  EXPECT_EQ(Content(L"a.txt"), "<missing>");
  for (const RecordedRequest& request : m_server.Requests()) EXPECT_EQ(request.path.find("/files/"), std::string::npos);
}

// Without its picture the Finish button has no size, Escape and Enter do nothing, a close restarts the client.
TEST_F(UpdaterRun, FailedRunWithoutTheButtonPictureRestartsTheClientOnACloseRequest) {
  Install(OldClientProgram());
  ScopedHandle updater;
  ScopedHandle client;
  HWND dialog = RunIntoAFailure(&updater, &client);
  RECT button;
  GetWindowRect(GetDlgItem(dialog, kFinishButton), &button);
  EXPECT_EQ(button.right - button.left + button.bottom - button.top, 0);
  for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
    PostMessageW(dialog, WM_KEYDOWN, key, 0);
    PostMessageW(dialog, WM_KEYUP, key, 0);
  }
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  ExpectClientRestarted(1);
}

// A close request while the install pass waits for a held file: the pass fails on it and restores before the end.
TEST_F(UpdaterRun, CloseRequestDuringTheInstallPassWaitsForItsRollBack) {
  Install(OldClientProgram());
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.txt"), "old a"));
  ASSERT_TRUE(WriteFileBytes(Installed(L"b.txt"), "old b"));
  Publish({{"a.txt", "new a", ""}, {"b.txt", "new b", ""}}, kNewVersion);
  ScopedHandle lock(
      CreateFileW(Installed(L"b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ScopedHandle updater = StartUpdater();
  HWND dialog = DialogOf(updater);
  // a.txt set aside: the pass is on, and waits for b.txt (six attempts, 500 ms apart).
  EXPECT_TRUE(WaitFor([&] { return Exists(L"Temp\\a.txt.0.previous"); })) << "no install pass";
  DWORD_PTR ignored = 0;
  EXPECT_TRUE(SendMessageTimeoutW(dialog, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored));
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  lock.Reset();
  EXPECT_EQ(Content(L"a.txt") + Content(L"b.txt"), "old aold b");
  EXPECT_FALSE(Exists(L"Temp\\a.txt.0.previous"));
  ExpectClientRestarted(0);
  EXPECT_NE(Content(L"XT.log").find("Close requested during the install pass"), std::string::npos);
}
