// Updater.exe runs under Wine on a display, against the local update server,
// with the stand-in client installed beside it.
#include <windows.h>

#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace {
const std::string kOldVersion = OLD_CLIENT_VERSION;
const std::string kNewVersion = NEW_CLIENT_VERSION;
constexpr int kFinishButton = 1000;
constexpr int kErrorText = 1001;

// The text of a window of another process.
std::string TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &copied);
  return Utf8(text);
}

class UpdaterRun : public ProgramTest {
protected:
  UpdaterRun() {
    Install(UpdaterProgram(), L"Updater.exe");
    Install(OldClientProgram());
    // Without its picture the failed look's button has no size to click.
    InstallButtonPicture();
  }

  // Starts the installed updater in the installation folder, as the client's
  // UpdateWeb starts it.
  ScopedHandle RunUpdater(const std::wstring& arguments) const { return Start(L"Updater.exe", arguments); }
  std::wstring ClientPathArgument() const { return L"-path \"" + Installed(kClientName) + L"\""; }

  bool Exists(const wchar_t* name) const { return GetFileAttributesW(Installed(name).c_str()) != INVALID_FILE_ATTRIBUTES; }

  // Expects start number `before` + 1 of the client: the installed client with
  // "-withoutupdater", in the installation folder.
  void ExpectClientRestarted(size_t before) const {
    ASSERT_TRUE(WaitFor([&] { return ClientStarts().size() > before; })) << "the client was not started again";
    const std::string start = ClientStarts()[before];
    EXPECT_EQ(start.substr(0, start.find('|')), Utf8(m_install.Path().c_str())) << start;
    EXPECT_NE(start.find(Utf8(Installed(kClientName).c_str())), std::string::npos) << start;
    const std::string argument = " -withoutupdater";
    EXPECT_EQ(start.substr(start.size() - argument.size()), argument) << start;
  }

  // Publishes a release whose only file cannot be fetched, runs the updater
  // with a client running, and waits for the failed look. Returns the
  // updater's dialog.
  HWND RunIntoAFailure(ScopedHandle* updater, ScopedHandle* client) {
    Publish({{"a.txt", "new a", ""}}, kNewVersion);
    m_server.AddFault("files/a.txt status 404");
    *client = StartClient();
    *updater = RunUpdater(ClientPathArgument());
    HWND dialog = DialogOf(*updater);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(GetDlgItem(dialog, kFinishButton)) != FALSE; }))
        << "no failed look";
    EXPECT_EQ(TextOf(GetDlgItem(dialog, kErrorText)), "download file " + Utf8(m_server.Url(L"files/a.txt").c_str()) + " fail");
    return dialog;
  }

  // Starts a run whose install pass is held up by b.txt, which the test
  // keeps open sharing reads only, and sends a close request while the pass
  // waits for it. Returns the updater; `lock` holds b.txt.
  ScopedHandle CloseDuringTheInstallPass(ScopedHandle* lock) {
    EXPECT_TRUE(WriteFileBytes(Installed(L"a.txt"), "old a"));
    EXPECT_TRUE(WriteFileBytes(Installed(L"b.txt"), "old b"));
    Publish({{"a.txt", "new a", ""}, {"b.txt", "new b", ""}}, kNewVersion);
    lock->Reset(CreateFileW(Installed(L"b.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr));
    ScopedHandle updater = RunUpdater(ClientPathArgument());
    HWND dialog = DialogOf(updater);
    // a.txt set aside: the pass is on, and waits for b.txt (six attempts, 500 ms apart).
    EXPECT_TRUE(WaitFor([&] { return Exists(L"Temp\\a.txt.0.previous"); })) << "no install pass";
    // Sent, so that the close handler has run when the call returns.
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(SendMessageTimeoutW(dialog, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 10000, &ignored));
    return updater;
  }
};
}  // namespace

TEST_F(UpdaterRun, CommandLinesWithoutAClientPathEndAtOnce) {
  ScopedHandle client = StartClient();
  for (const std::wstring& arguments :
       {std::wstring(), std::wstring(L"-withoutupdater"), std::wstring(L"-path"), ClientPathArgument() + L" -path",
        std::wstring(L"-path \"\"")}) {
    ScopedHandle updater = RunUpdater(arguments);
    EXPECT_EQ(ExitCodeOf(updater, 30000), 0u) << Utf8(arguments.c_str());
  }
  // Before anything else: the client runs on, nothing was fetched or written.
  EXPECT_EQ(WaitForSingleObject(client.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(m_server.Requests().empty());
  EXPECT_FALSE(Exists(L"XT.log"));
  EXPECT_FALSE(Exists(L"update.xconfig"));
}

TEST_F(UpdaterRun, WholeRunReplacesTheInstallationAndRestartsTheClient) {
  ASSERT_TRUE(WriteFileBytes(Installed(L"data\\readme.txt"), "old readme"));
  const std::string newClient = ReadFileBytes(NewClientProgram());
  Publish({{"Castwright PC.exe", newClient, ""}, {"data/readme.txt", "new readme", ""}, {"data/added.txt", "added", ""}},
          kNewVersion);
  ScopedHandle client = StartClient();
  ScopedHandle updater = RunUpdater(ClientPathArgument());
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  // The running client was ended by the updater (exit code 0), then replaced.
  EXPECT_EQ(ExitCodeOf(client, 0), 0u);
  EXPECT_TRUE(Content(kClientName) == newClient);
  EXPECT_EQ(Content(L"data\\readme.txt"), "new readme");
  EXPECT_EQ(Content(L"data\\added.txt"), "added");
  ExpectClientRestarted(1);
  // Shut down cleanly: no leak report, no error.
  EXPECT_FALSE(Exists(L"XT.log")) << Content(L"XT.log");
}

// The key built into the program: a signed release installs, the same
// release unsigned fails at the manifest with nothing fetched.
TEST_F(UpdaterRun, KeyedProgramInstallsOnlySignedReleases) {
  Install(SignedUpdaterProgram(), L"Updater.exe");
  ReleaseOptions signing;
  Publish({{"a.txt", "new a", ""}}, kNewVersion, &signing);
  ScopedHandle updater = RunUpdater(ClientPathArgument());
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  EXPECT_EQ(Content(L"a.txt"), "new a");
  ExpectClientRestarted(0);

  Publish({{"a.txt", "newer a", ""}}, kNewVersion);
  const size_t requests = m_server.Requests().size();
  updater = RunUpdater(ClientPathArgument());
  HWND dialog = DialogOf(updater);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(GetDlgItem(dialog, kFinishButton)) != FALSE; })) << "no failed look";
  EXPECT_EQ(TextOf(GetDlgItem(dialog, kErrorText)), "verify manifest signature fail");
  EXPECT_EQ(Content(L"a.txt"), "new a");
  // The manifest and the missing signature were asked for, no file.
  const std::vector<RecordedRequest> all = m_server.Requests();
  for (size_t i = requests; i < all.size(); ++i) EXPECT_EQ(all[i].path.find("/files/"), std::string::npos);
}

TEST_F(UpdaterRun, ClientPathOptionInCapitalsAndTheLastOneWins) {
  TempFolder other;
  ASSERT_TRUE(CopyFileW(OldClientProgram().c_str(), other.File(kClientName).c_str(), FALSE));
  // The installed version is current: nothing to fetch, the client restarts.
  Publish({{"a.txt", "new a", ""}}, kOldVersion);
  ScopedHandle updater =
      RunUpdater(L"-PATH \"" + other.File(kClientName) + L"\" -Path \"" + Installed(kClientName) + L"\"");
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  ExpectClientRestarted(0);
  EXPECT_FALSE(Exists(L"a.txt"));
  EXPECT_TRUE(ReadFileBytes(other.File(L"client-starts.txt")).empty());
}

TEST_F(UpdaterRun, ClientWithoutVersionInformationIsUpdated) {
  Install(UnversionedClientProgram());
  // A client of this version would need nothing; one without a version does.
  Publish({{"a.txt", "new a", ""}}, kOldVersion);
  ScopedHandle updater = RunUpdater(ClientPathArgument());
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  EXPECT_EQ(Content(L"a.txt"), "new a");
  ExpectClientRestarted(0);
}

TEST_F(UpdaterRun, FailedRunKeepsItsWindowUntilItsButtonEndsTheProgram) {
  ScopedHandle updater;
  ScopedHandle client;
  HWND dialog = RunIntoAFailure(&updater, &client);
  PostMessageW(GetDlgItem(dialog, kFinishButton), BM_CLICK, 0, 0);
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  // The client was ended at the start and is not started again.
  EXPECT_EQ(ExitCodeOf(client, 0), 0u);
  EXPECT_FALSE(IsRunning(kClientName));
  EXPECT_EQ(ClientStarts().size(), 1u);
}

TEST_F(UpdaterRun, CloseRequestAfterAFailureRestartsTheClientWhileEscapeAndEnterDoNothing) {
  ScopedHandle updater;
  ScopedHandle client;
  HWND dialog = RunIntoAFailure(&updater, &client);
  // Were either key to end the dialog, the close request would find no window.
  for (WPARAM key : {VK_ESCAPE, VK_RETURN}) {
    PostMessageW(dialog, WM_KEYDOWN, key, 0);
    PostMessageW(dialog, WM_KEYUP, key, 0);
  }
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  ExpectClientRestarted(1);
}

TEST_F(UpdaterRun, CloseRequestDuringADownloadEndsAtOnce) {
  ScopedHandle updater;
  HWND dialog = StartHeldRun(&updater);
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  // Long before the file would come.
  EXPECT_EQ(ExitCodeOf(updater, 20000), 0u);
  ExpectClientRestarted(0);
  EXPECT_EQ(Content(L"a.txt"), "old a");
  // The library was left running for the worker: no leak report about its memory.
  EXPECT_FALSE(Exists(L"XT.log")) << Content(L"XT.log");
}

TEST_F(UpdaterRun, CloseRequestDuringTheInstallPassWaitsForItsRollBack) {
  ScopedHandle lock;
  ScopedHandle updater = CloseDuringTheInstallPass(&lock);
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  lock.Reset();
  // The pass failed on b.txt and restored a.txt before the program ended.
  EXPECT_EQ(Content(L"a.txt"), "old a");
  EXPECT_EQ(Content(L"b.txt"), "old b");
  EXPECT_FALSE(Exists(L"Temp\\a.txt.0.previous"));
  ExpectClientRestarted(0);
  EXPECT_NE(Content(L"XT.log").find("Close requested during the install pass"), std::string::npos);
}

TEST_F(UpdaterRun, CloseRequestDuringTheInstallPassWaitsForItsEnd) {
  ScopedHandle lock;
  ScopedHandle updater = CloseDuringTheInstallPass(&lock);
  // b.txt comes free while the pass still tries it.
  lock.Reset();
  EXPECT_EQ(ExitCodeOf(updater), 0u);
  EXPECT_EQ(Content(L"a.txt"), "new a");
  EXPECT_EQ(Content(L"b.txt"), "new b");
  EXPECT_FALSE(Exists(L"Temp\\a.txt.0.previous"));
  ExpectClientRestarted(0);
  // The request was kept: a close that ended the program at once would go
  // unseen here whenever b.txt came free before the process ended.
  EXPECT_NE(Content(L"XT.log").find("Close requested during the install pass"), std::string::npos);
}
