#include "app/process_control.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include "app/full_path.h"
#include "base/memory/alloc.h"
#include "base/system/scoped_handle.h"

namespace {
// How long the end of a process is waited for: a process that is told to end
// may hold its files a moment longer.
constexpr DWORD kEndWaitMs = 5000;

// The full program path of a running process; empty when it cannot be read.
String ProgramOf(HANDLE process) {
  for (DWORD chars = MAX_PATH;; chars *= 2) {
    auto* buffer = static_cast<wchar_t*>(MemAlloc(uint64_t{chars} * sizeof(wchar_t)));
    DWORD size = chars;
    const bool read = QueryFullProcessImageNameW(process, 0, buffer, &size) != FALSE;
    const bool tooShort = !read && GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    const String path = read ? String(buffer, size) : String();
    MemFree(buffer);
    if (!tooShort || chars >= 32768) return path;
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

bool SamePath(const String& a, const String& b) {
  return !a.IsEmpty() && CompareStringOrdinal(a, static_cast<int>(a.Length()), b, static_cast<int>(b.Length()),
                                              TRUE) == CSTR_EQUAL;
}
}  // namespace

bool TerminateClientProcess(const wchar_t* clientPath) {
  if (!clientPath || !*clientPath) return false;
  const String wanted = FullPathOf(clientPath);
  const wchar_t* wantedName = FileNameOf(Text(wanted));
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (wanted.IsEmpty() || !snapshot.IsValid()) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    // The name first: most processes need not be opened at all.
    if (CompareStringOrdinal(entry.szExeFile, -1, wantedName, -1, TRUE) != CSTR_EQUAL) continue;
    ScopedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
    // A client of another installation, or one that cannot be told apart, runs on.
    if (!process.IsValid() || !SamePath(FullPathOf(ProgramOf(process.Get())), wanted)) continue;
    if (TerminateProcess(process.Get(), 0)) WaitForSingleObject(process.Get(), kEndWaitMs);
    return true;
  }
  return false;
}

void LaunchClient(const wchar_t* clientPath) {
  ShellExecuteW(nullptr, L"open", clientPath, L"-withoutupdater", L"", SW_SHOW);
}
