// Stand-in for the client program "Castwright PC.exe" in the tests and the demo.
//
//   "Castwright PC.exe" [--start-library NAME] [--call-updateweb]... [--lifetime-ms N] [anything else]
//
// Every start appends one line, "<current folder>|<command line>", to
// "client-starts.txt" beside the program. --start-library starts the utility
// library with that allocator first, as the updater's own start-up does. Each
// --call-updateweb calls UpdateWeb in this process (the program links its
// code) and appends "<true|false> <allocator class> <allocator address>" to
// "updateweb.txt" beside the program, then "called" to the same file once
// all calls are done. Then the program keeps running until it is ended: by
// TerminateProcess (exit code as given), by the named event in the
// environment variable STANDIN_END_EVENT (exit code 2), or after its lifetime,
// 60 s unless --lifetime-ms says otherwise (exit code 3), so that no test
// leaves it behind.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/self_update.h"
#include "base/memory/alloc.h"
#include "base/memory/default_alloc.h"
#include "base/memory/fast_alloc.h"
#include "base/memory/library.h"
#include "base/system/scoped_handle.h"

namespace {
std::wstring BesideProgram(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring beside = path;
  return beside.substr(0, beside.rfind(L'\\') + 1) + name;
}

// Appends `line` and a line feed as UTF-8 in one write, so that lines of
// several instances do not mix.
void AppendLine(const wchar_t* file, const std::wstring& line) {
  std::wstring text = line + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
  // A reader that shares reads only (a test polling the file) holds it off
  // for a moment: try again rather than lose the line.
  ScopedHandle out;
  for (int attempt = 0; attempt < 500 && !out.IsValid(); ++attempt) {
    out.Reset(CreateFileW(BesideProgram(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.IsValid() && GetLastError() != ERROR_SHARING_VIOLATION) break;
    if (!out.IsValid()) Sleep(10);
  }
  DWORD written = 0;
  if (out.IsValid()) WriteFile(out.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

const wchar_t* AllocatorClass(Alloc* alloc) {
  if (!alloc) return L"none";
  if (dynamic_cast<DebugAlloc*>(alloc)) return L"DebugAlloc";
  if (dynamic_cast<FastAlloc*>(alloc)) return L"FastAlloc";
  if (dynamic_cast<DefaultAlloc*>(alloc)) return L"DefaultAlloc";
  return L"other";
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  AppendLine(L"client-starts.txt", std::wstring(folder) + L"|" + GetCommandLineW());

  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  ScopedLocalMemory arguments(argv);
  DWORD lifetimeMs = 60000;
  int calls = 0;
  for (int i = 1; argv && i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"--start-library" && i + 1 < argc) StartLibraryOnce(argv[++i]);
    if (arg == L"--lifetime-ms" && i + 1 < argc) lifetimeMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    if (arg != L"--call-updateweb") continue;
    bool result = UpdateWeb();
    wchar_t address[32];
    std::swprintf(address, 32, L"%p", static_cast<void*>(CurrentAlloc()));
    AppendLine(L"updateweb.txt",
               std::wstring(result ? L"true " : L"false ") + AllocatorClass(CurrentAlloc()) + L" " + address);
    ++calls;
  }
  if (calls > 0) AppendLine(L"updateweb.txt", L"called");

  wchar_t eventName[MAX_PATH] = {};
  ScopedHandle end;
  if (GetEnvironmentVariableW(L"STANDIN_END_EVENT", eventName, MAX_PATH) > 0) {
    end.Reset(OpenEventW(SYNCHRONIZE, FALSE, eventName));
  }
  if (end.IsValid()) return WaitForSingleObject(end.Get(), lifetimeMs) == WAIT_OBJECT_0 ? 2 : 3;
  Sleep(lifetimeMs);
  return 3;
}
