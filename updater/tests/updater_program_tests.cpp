// Updater.exe runs under Wine on a display, against the local update server, beside the stand-in client; ending
// the client of the "-path" by its image path.
#include <windows.h>

#include "app/process_control.h"
#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace {
class UpdaterRun : public ProgramTest {
protected:
  UpdaterRun() { Install(UPDATER_EXE, L"Updater.exe"); }
};

using ProcessControl = ProgramTest;

bool HasEnded(const ScopedHandle& process) { return WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0; }
}  // namespace

// A client without version information is always updated. A command line without a client path ends the program
// before anything else: the client runs on, nothing is fetched or written.
TEST_F(UpdaterRun, WholeRunReplacesTheInstallationAndRestartsTheClient) {
  Install(UNVERSIONED_CLIENT_EXE);
  ASSERT_TRUE(WriteFileBytes(Installed(L"data\\readme.txt"), "old readme"));
  const std::string newClient = ReadFileBytes(Built(NEW_CLIENT_EXE));
  Publish({{"Castwright PC.exe", newClient, ""}, {"data/readme.txt", "new readme", ""}, {"data/added.txt", "added", ""}},
          OLD_CLIENT_VERSION);
  ScopedHandle client = StartClient();
  EXPECT_EQ(ExitCodeOf(Start(L"Updater.exe", L"-path \"\""), 30000), 0u);
  EXPECT_FALSE(HasEnded(client));
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_FALSE(Exists(L"XT.log") || Exists(L"update.xconfig"));
  EXPECT_EQ(ExitCodeOf(StartUpdater()), 0u);
  // The running client was ended by the updater (exit code 0), then replaced.
  EXPECT_EQ(ExitCodeOf(client, 0), 0u);
  EXPECT_TRUE(Content(kClientName) == newClient);
  EXPECT_EQ(Content(L"data\\readme.txt") + Content(L"data\\added.txt"), "new readmeadded");
  ExpectClientRestarted(1);
  // Shut down cleanly: no leak report, no error.
  EXPECT_FALSE(Exists(L"XT.log")) << Content(L"XT.log");
}

// Without its picture the Finish button has no size, Escape and Enter do nothing, a close restarts the client.
TEST_F(UpdaterRun, FailedRunWithoutTheButtonPictureRestartsTheClientOnACloseRequest) {
  Install(OLD_CLIENT_EXE);
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
  Install(OLD_CLIENT_EXE);
  ASSERT_TRUE(WriteFileBytes(Installed(L"a.txt"), "old a"));
  ASSERT_TRUE(WriteFileBytes(Installed(L"b.txt"), "old b"));
  Publish({{"a.txt", "new a", ""}, {"b.txt", "new b", ""}}, NEW_CLIENT_VERSION);
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

TEST_F(ProcessControl, EndsOneClientOfThePathAtEachCall) {
  Install(OLD_CLIENT_EXE);
  ScopedHandle first = StartClient();
  ScopedHandle second = StartClient();
  // A client of the same name in another folder is another installation's.
  Install(OLD_CLIENT_EXE, L"other\\Castwright PC.exe");
  ScopedHandle other = StartClient(L"", L"other\\Castwright PC.exe");
  // The path as "-path" may spell it: other letter case, a trailing dot, "..".
  std::wstring path = Installed(L"other\\..\\CASTWRIGHT PC.EXE.");
  for (int ended = 1; ended <= 2; ++ended) {
    ASSERT_TRUE(TerminateClientProcess(path.c_str())) << ended;
    // Exactly one more (its wait for the end cannot be checked: Wine ends it within TerminateProcess).
    EXPECT_EQ(HasEnded(first) + HasEnded(second), ended);
  }
  for (const ScopedHandle* process : {&first, &second}) EXPECT_EQ(ExitCodeOf(*process, 0), 0u);
  EXPECT_FALSE(TerminateClientProcess(path.c_str()));
  EXPECT_FALSE(HasEnded(other));
}
