#include "tests/program_fixture.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <sstream>

#include "tests/test_support.h"

namespace {
// A path of the build, as Wine sees it: Unix paths lie on drive Z:.
std::wstring FromUnix(const char* path) {
  std::wstring windows = L"Z:";
  for (const char* p = path; *p; ++p) windows += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return windows;
}

// The full program path of a running process; empty when it cannot be read.
std::wstring ProgramOf(HANDLE process) {
  wchar_t path[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  return QueryFullProcessImageNameW(process, 0, path, &size) ? std::wstring(path, size) : std::wstring();
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (processId != search->processId || !IsWindowVisible(window) || wcscmp(className, L"#32770") != 0) return TRUE;
  search->found = window;
  return FALSE;
}

// Calls `visit` for every running process with a handle that can wait for, end and name it.
void ForEachProcess(const std::function<void(HANDLE)>& visit) {
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    if (process.IsValid()) visit(process.Get());
  }
}
}  // namespace

const wchar_t kClientName[] = L"Castwright PC.exe";

std::wstring UpdaterProgram() { return FromUnix(UPDATER_EXE); }
std::wstring OldClientProgram() { return FromUnix(OLD_CLIENT_EXE); }
std::wstring NewClientProgram() { return FromUnix(NEW_CLIENT_EXE); }
std::wstring UnversionedClientProgram() { return FromUnix(UNVERSIONED_CLIENT_EXE); }
std::wstring SignedUpdaterProgram() { return FromUnix(SIGNED_UPDATER_EXE); }
std::wstring SignedOldClientProgram() { return FromUnix(SIGNED_OLD_CLIENT_EXE); }
std::wstring BuiltPicture(const wchar_t* name) { return FromUnix(UPDATER_PICTURES "/") + name; }

std::string TextOfWindow(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &copied);
  return Utf8(text);
}

HWND DialogOf(const ScopedHandle& process, uint32_t timeoutMs) {
  WindowSearch search{GetProcessId(process.Get()), nullptr};
  WaitFor([&] { return !EnumWindows(FindVisibleDialog, reinterpret_cast<LPARAM>(&search)) && search.found; },
          timeoutMs);
  return search.found;
}

bool WaitFor(const std::function<bool()>& condition, uint32_t timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

ProgramTest::ProgramTest() {
  // Every stand-in client of this test ends when this event is set.
  std::wstring name = L"UpdaterTestEnd" + std::to_wstring(GetCurrentProcessId());
  m_endEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  SetEnvironmentVariableW(L"STANDIN_END_EVENT", name.c_str());
}

ProgramTest::~ProgramTest() {
  EndInstallationProcesses();
  SetEnvironmentVariableW(L"STANDIN_END_EVENT", nullptr);
}

void ProgramTest::EndInstallationProcesses() const {
  SetEvent(m_endEvent.Get());
  const std::wstring folder = m_install.Path() + L"\\";
  ForEachProcess([&](HANDLE process) {
    if (_wcsnicmp(ProgramOf(process).c_str(), folder.c_str(), folder.size()) != 0) return;
    if (WaitForSingleObject(process, 10000) == WAIT_TIMEOUT) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 10000);
    }
  });
}

void ProgramTest::Install(const std::wstring& program, const wchar_t* name) const {
  ASSERT_TRUE(CopyFileW(program.c_str(), Installed(name).c_str(), FALSE)) << Utf8(program.c_str());
}

void ProgramTest::InstallButtonPicture() const {
  CreateDirectoryW(Installed(L"res").c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(BuiltPicture(L"res\\login_normal.png").c_str(), Installed(L"res\\login_normal.png").c_str(),
                        FALSE));
}

ScopedHandle ProgramTest::Start(const wchar_t* name, const std::wstring& arguments, const std::wstring& folder) const {
  // Through the shell, as the programs start each other: the updater asks for administrator rights.
  const std::wstring program = Installed(name);
  const std::wstring workingFolder = folder.empty() ? m_install.Path() : folder;
  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  // No error box: a test that cannot start a program fails instead of hanging.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"open";
  execute.lpFile = program.c_str();
  execute.lpParameters = arguments.c_str();
  execute.lpDirectory = workingFolder.c_str();
  execute.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&execute) || !execute.hProcess) {
    ADD_FAILURE() << "cannot start " << Utf8(program.c_str()) << ": " << GetLastError();
    return ScopedHandle();
  }
  return ScopedHandle(execute.hProcess);
}

HWND ProgramTest::StartHeldRun(ScopedHandle* updater) {
  EXPECT_TRUE(WriteFileBytes(Installed(L"a.txt"), "old a"));
  Publish({{"a.txt", "new a", ""}}, NEW_CLIENT_VERSION);
  m_server.AddFault("files/a.txt delay 120");
  *updater = StartUpdater();
  HWND dialog = DialogOf(*updater);
  EXPECT_TRUE(WaitFor([&] {
    for (const RecordedRequest& request : m_server.Requests()) {
      if (request.path.find("files/a.txt") != std::string::npos) return true;
    }
    return false;
  })) << "the worker did not reach the download";
  return dialog;
}

ScopedHandle ProgramTest::StartUpdater() const {
  return Start(L"Updater.exe", L"-path \"" + Installed(kClientName) + L"\"");
}

HWND ProgramTest::RunIntoAFailure(ScopedHandle* updater, ScopedHandle* client) {
  Publish({{"a.txt", "new a", ""}}, NEW_CLIENT_VERSION);
  m_server.AddFault("files/a.txt status 404");
  *client = StartClient();
  *updater = StartUpdater();
  HWND dialog = DialogOf(*updater);
  EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(GetDlgItem(dialog, kFinishButton)) != FALSE; })) << "no failed look";
  EXPECT_EQ(TextOfWindow(GetDlgItem(dialog, kErrorText)),
            "download file " + Utf8(m_server.Url(L"files/a.txt").c_str()) + " fail");
  return dialog;
}

void ProgramTest::ExpectClientRestarted(size_t before) const {
  ASSERT_TRUE(WaitFor([&] { return ClientStarts().size() > before; })) << "the client was not started again";
  const std::string start = ClientStarts()[before];
  EXPECT_EQ(start.substr(0, start.find('|')), Utf8(m_install.Path().c_str())) << start;
  EXPECT_NE(start.find(Utf8(Installed(kClientName).c_str())), std::string::npos) << start;
  const std::string argument = " -withoutupdater";
  EXPECT_EQ(start.substr(start.size() - argument.size()), argument) << start;
}

ScopedHandle ProgramTest::StartClient(const std::wstring& arguments) {
  const size_t before = ClientStarts().size();
  ScopedHandle client = Start(kClientName, arguments);
  EXPECT_TRUE(WaitFor([&] { return ClientStarts().size() > before; })) << "the client did not start";
  return client;
}

uint32_t ProgramTest::ExitCodeOf(const ScopedHandle& process, uint32_t timeoutMs) {
  if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) return 0xDEAD;
  DWORD exitCode = 0xDEAD;
  GetExitCodeProcess(process.Get(), &exitCode);
  return exitCode;
}

std::vector<std::string> ProgramTest::Lines(const std::wstring& name) const {
  std::vector<std::string> lines;
  std::istringstream text(ReadFileBytes(Installed(name)));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}
