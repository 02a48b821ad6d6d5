#include "tests/program_fixture.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "tests/test_support.h"

const wchar_t kClientName[] = L"Castwright PC.exe";

std::wstring Built(const char* unixPath) {
  std::wstring path = L"Z:" + Wide(unixPath);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

std::string TextOfWindow(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 10000, &copied);
  return Utf8(text);
}

HWND DialogOf(const ScopedHandle& process, uint32_t timeoutMs) {
  HWND found = nullptr;
  WaitFor([&] {
    for (found = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); found;
         found = FindWindowExW(nullptr, found, L"#32770", nullptr)) {
      DWORD processId = 0;
      GetWindowThreadProcessId(found, &processId);
      if (processId == GetProcessId(process.Get()) && IsWindowVisible(found)) return true;
    }
    return false;
  }, timeoutMs);
  return found;
}

bool WaitFor(const std::function<bool()>& condition, uint32_t timeoutMs) {
  for (const DWORD start = GetTickCount(); !condition(); Sleep(10)) {
    if (GetTickCount() - start > timeoutMs) return false;
  }
  return true;
}

ProgramTest::ProgramTest() {
  std::wstring name = L"UpdaterTestEnd" + std::to_wstring(GetCurrentProcessId());
  m_endEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  SetEnvironmentVariableW(L"STANDIN_END_EVENT", name.c_str());
}

// Ends the stand-in clients through their event, any other process of the installation by force.
ProgramTest::~ProgramTest() {
  SetEvent(m_endEvent.Get());
  SetEnvironmentVariableW(L"STANDIN_END_EVENT", nullptr);
  const std::wstring folder = m_install.Path() + L"\\";
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    if (!process.IsValid() || !QueryFullProcessImageNameW(process.Get(), 0, path, &size) ||
        _wcsnicmp(path, folder.c_str(), folder.size()) != 0) {
      continue;
    }
    if (WaitForSingleObject(process.Get(), 10000) == WAIT_TIMEOUT) {
      TerminateProcess(process.Get(), 1);
      WaitForSingleObject(process.Get(), 10000);
    }
  }
}

void ProgramTest::Install(const char* unixPath, const wchar_t* name) const {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(Installed(name)).parent_path(), error);
  ASSERT_TRUE(CopyFileW(Built(unixPath).c_str(), Installed(name).c_str(), FALSE)) << unixPath;
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
  EXPECT_TRUE(WaitFor([&] { return !m_server.FileRequests().empty(); })) << "the worker did not reach the download";
  return dialog;
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
  EXPECT_EQ(start.substr(std::max<size_t>(start.size(), 16) - 16), " -withoutupdater") << start;
}

ScopedHandle ProgramTest::StartClient(const std::wstring& arguments, const wchar_t* name) {
  const size_t before = ClientStarts(name).size();
  ScopedHandle client = Start(name, arguments, std::filesystem::path(Installed(name)).parent_path().wstring());
  EXPECT_TRUE(WaitFor([&] { return ClientStarts(name).size() > before; })) << "the client did not start";
  return client;
}

uint32_t ProgramTest::ExitCodeOf(const ScopedHandle& process, uint32_t timeoutMs) {
  DWORD exitCode = 0xDEAD;
  if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.Get(), &exitCode);
  return exitCode;
}

std::vector<std::string> ProgramTest::Lines(const std::wstring& name) const {
  std::vector<std::string> lines;
  std::istringstream text(ReadFileBytes(Installed(name)));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ProgramTest::ClientStarts(const wchar_t* name) const {
  return Lines((std::filesystem::path(name).parent_path() / L"client-starts.txt").wstring());
}
