#include "app/process_control.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>

#include "base/system/scoped_handle.h"

namespace {
// How long the end of a process is waited for: a process that is told to end
// may hold its files a moment longer.
constexpr DWORD kEndWaitMs = 5000;
}  // namespace

namespace {
// The full path Windows makes of `path`; empty when it has none.
std::wstring FullPathOf(const wchar_t* path) {
  const DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return std::wstring();
  std::wstring full(needed, L'\0');
  const DWORD got = GetFullPathNameW(path, needed, &full[0], nullptr);
  full.resize(got < needed ? got : 0);
  return full;
}

// The full program path of a running process; empty when it cannot be read.
std::wstring ProgramOf(HANDLE process) {
  for (DWORD chars = MAX_PATH;; chars *= 2) {
    std::wstring path(chars, L'\0');
    DWORD size = chars;
    if (QueryFullProcessImageNameW(process, 0, &path[0], &size)) return path.substr(0, size);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || chars >= 32768) return std::wstring();
  }
}

// The file name of a path, after its last separator.
const wchar_t* FileNameOf(const wchar_t* path) {
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  return name;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                            static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}
}  // namespace

bool TerminateClientProcess(const wchar_t* clientPath) {
  if (!clientPath || !*clientPath) return false;
  const std::wstring wanted = FullPathOf(clientPath);
  const wchar_t* wantedName = FileNameOf(wanted.c_str());
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (wanted.empty() || !snapshot.IsValid()) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    // The name first: most processes need not be opened at all.
    if (CompareStringOrdinal(entry.szExeFile, -1, wantedName, -1, TRUE) != CSTR_EQUAL) continue;
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    // A client of another installation, or one that cannot be told apart, runs on.
    if (!process.IsValid() || !SamePath(FullPathOf(ProgramOf(process.Get()).c_str()), wanted)) continue;
    if (TerminateProcess(process.Get(), 0)) WaitForSingleObject(process.Get(), kEndWaitMs);
    return true;
  }
  return false;
}

void LaunchClient(const wchar_t* clientPath) {
  ShellExecuteW(nullptr, L"open", clientPath, L"-withoutupdater", L"", SW_SHOW);
}
