#include "tests/child_process.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "base/system/scoped_handle.h"

namespace fs = std::filesystem;

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
  m_path = (fs::temp_directory_path() / ("updater-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                          std::to_string(InterlockedIncrement(&counter))))
               .wstring();
  // Wine reuses process ids: a folder of this name may be left from an interrupted run.
  RemoveFolderTree(m_path);
  fs::create_directory(m_path);
}

TempFolder::~TempFolder() { RemoveFolderTree(m_path); }

void* StartChild(const char* name, const std::wstring& folder, const std::wstring& program, const std::wstring& mark) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path = program.empty() ? std::wstring(self) : program;
  std::wstring command = L"\"" + path + L"\" --child " + std::wstring(name, name + strlen(name));
  if (!mark.empty()) command += L" " + mark;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

uint32_t RunChild(const char* name, const TempFolder& folder) {
  ScopedHandle process(StartChild(name, folder.Path()));
  DWORD exitCode = 0xBADC0DE;
  if (process.IsValid() && WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.Get(), &exitCode);
  }
  return exitCode;
}

std::string ReadFileBytes(const std::wstring& path, bool* exists) {
  std::ifstream file(fs::path(path), std::ios::binary);
  if (exists) *exists = file.is_open();
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string ContentOf(const std::wstring& path) {
  bool exists = false;
  std::string bytes = ReadFileBytes(path, &exists);
  return exists ? bytes : "<missing>";
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::error_code ignored;
  fs::create_directories(fs::path(path).parent_path(), ignored);
  std::ofstream file(fs::path(path), std::ios::binary | std::ios::trunc);
  return file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush().good();
}

void RemoveFolderTree(const std::wstring& path) {
  std::error_code ignored;
  for (fs::recursive_directory_iterator it(path, ignored), end; it != end; it.increment(ignored)) {
    SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);  // read-only files too
  }
  fs::remove_all(path, ignored);
}

std::map<std::string, std::string> TreeOf(const std::wstring& folder,
                                          const std::function<bool(const std::string&)>& leaveOut) {
  std::map<std::string, std::string> tree;
  std::error_code none;
  for (fs::recursive_directory_iterator it(folder, none), end; it != end; it.increment(none)) {
    const std::string name = it->path().lexically_relative(folder).u8string();
    if (leaveOut && leaveOut(name)) {
      it.disable_recursion_pending();
    } else if (it->is_directory()) {
      tree[name + "\\"] = "<folder>";
    } else {
      tree[name] = ContentOf(it->path().wstring());
    }
  }
  return tree;
}
