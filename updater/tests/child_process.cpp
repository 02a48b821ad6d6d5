#include "tests/child_process.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/system/scoped_handle.h"

namespace {
LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

std::map<std::string, ChildScenario>& Scenarios() {
  static std::map<std::string, ChildScenario> scenarios;
  return scenarios;
}
}  // namespace

ChildScenarioRegistrar::ChildScenarioRegistrar(const char* name, ChildScenario scenario) {
  Scenarios()[name] = scenario;
}

void EndOnCrash() {
  // Wine ignores the error mode and would start winedbg; the filter ends the process at once.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(EndWithExceptionCode);
}

int RunChildScenario(const char* name) {
  EndOnCrash();
  auto found = Scenarios().find(name);
  return found == Scenarios().end() ? 125 : found->second();
}

TempFolder::TempFolder() {
  static LONG counter;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  m_path = std::wstring(temp) + L"updater-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter));
  // Wine reuses process ids: a folder of this name may be left from an interrupted run.
  RemoveFolderTree(m_path);
  CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveFolderTree(m_path); }

void* StartChild(const char* name, const std::wstring& folder, const std::wstring& program, const std::wstring& mark) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = program.empty() ? std::wstring(self) : program;
  std::wstring command = L"\"" + path + L"\" --child " + std::wstring(name, name + strlen(name));
  if (!mark.empty()) command += L" " + mark;
  std::vector<wchar_t> commandLine(command.begin(), command.end());
  commandLine.push_back(0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

uint32_t RunChild(const char* name, const TempFolder& folder) {
  ScopedHandle process(StartChild(name, folder.Path()));
  if (!process.IsValid()) return 0xBADC0DE;
  WaitForSingleObject(process.Get(), INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(process.Get(), &exitCode);
  return exitCode;
}

std::string ReadFileBytes(const std::wstring& path, bool* exists) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (exists) *exists = file.IsValid();
  std::string bytes;
  if (!file.IsValid()) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

std::string ContentOf(const std::wstring& path) {
  bool exists = false;
  std::string bytes = ReadFileBytes(path, &exists);
  return exists ? bytes : "<missing>";
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file.IsValid() && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void RemoveFolderTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}
