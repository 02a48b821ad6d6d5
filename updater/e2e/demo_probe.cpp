// demo_probe: what the demo asks of the Windows side, run under Wine beside
// the programs it looks at.
//
//   demo_probe capture PROGRAM OUT.png [--failed]   picture of PROGRAM's dialog
//   demo_probe finish PROGRAM                       press the dialog's button, wait for PROGRAM
//                                                   to end, print its exit code
//   demo_probe wait-exit PROGRAM                    wait for PROGRAM to end, print its exit code
//   demo_probe end-folder FOLDER                    end every program in FOLDER, print how many
//   demo_probe product-version FILE                 print FILE's product version
//
// PROGRAM is an executable file name ("Updater_new.exe"); its first running
// process with a visible dialog is meant. `capture` waits for that dialog
// (with --failed: for its button, which only the failed look shows) and until
// the window has nothing left to paint, then until the screen shows the same
// picture twice in a row, and saves the window's screen rectangle as PNG
// through GDI+'s encoder. It prints "x y width height" of the rectangle, with
// --failed then the failure text on a line of its own (UTF-8). Every wait
// gives up after 30 s. Exit status: 0 done, 1 what was waited for did not come
// (or the file has no version), 2 bad command line or an error.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/self_update.h"
#include "base/memory/library.h"
#include "base/system/scoped_handle.h"
#include "tests/pixels.h"

namespace {
constexpr DWORD kTimeoutMs = 30000;
constexpr int kFinishButton = 1000;
constexpr int kErrorText = 1001;

// Writes `text` and a line feed to the standard output as UTF-8.
void PrintLine(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
  utf8 += '\n';
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

// Waits until `condition` holds, looking every 20 ms; false after the time-out.
bool WaitFor(const std::function<bool()>& condition) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > kTimeoutMs) return false;
    Sleep(20);
  }
  return true;
}

// The identifiers of the running processes whose executable file name is
// `program`, ignoring case.
std::vector<DWORD> ProcessesNamed(const wchar_t* program) {
  std::vector<DWORD> found;
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    if (CompareStringOrdinal(entry.szExeFile, -1, program, -1, TRUE) == CSTR_EQUAL) found.push_back(entry.th32ProcessID);
  }
  return found;
}

// The first visible dialog window of a process named `program`; none yet if
// there is none.
HWND DialogOf(const wchar_t* program) {
  const std::vector<DWORD> processes = ProcessesNamed(program);
  for (HWND window = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); window;
       window = FindWindowExW(nullptr, window, L"#32770", nullptr)) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (IsWindowVisible(window) && std::find(processes.begin(), processes.end(), processId) != processes.end()) {
      return window;
    }
  }
  return nullptr;
}

HWND WaitForDialog(const wchar_t* program) {
  HWND dialog = nullptr;
  if (!WaitFor([&] { return (dialog = DialogOf(program)) != nullptr; })) {
    std::fwprintf(stderr, L"demo_probe: no dialog of %ls within %lu s\n", program, kTimeoutMs / 1000);
  }
  return dialog;
}

// Whether neither the window nor any of its controls waits to be painted.
bool NothingToPaint(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return false;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetUpdateRect(child, nullptr, FALSE)) return false;
  }
  return true;
}

int Capture(const wchar_t* program, const wchar_t* out, bool failed) {
  HWND dialog = WaitForDialog(program);
  if (!dialog) return 1;
  if (failed && !WaitFor([&] { return IsWindowVisible(GetDlgItem(dialog, kFinishButton)) != FALSE; })) {
    std::fwprintf(stderr, L"demo_probe: %ls did not show its failed look within %lu s\n", program, kTimeoutMs / 1000);
    return 1;
  }
  // The picture is what the user sees: nothing is made to paint. Once the
  // window and its controls have painted all they had to, their surface
  // reaches the display; the screen then shows the same picture twice.
  if (!WaitFor([&] { return NothingToPaint(dialog); })) {
    std::fwprintf(stderr, L"demo_probe: the window of %ls did not finish painting within %lu s\n", program,
                  kTimeoutMs / 1000);
    return 1;
  }
  RECT rect{};
  Pixels picture;
  bool steady = WaitFor([&] {
    if (!GetWindowRect(dialog, &rect) || rect.right <= rect.left || rect.bottom <= rect.top) return false;
    Pixels grabbed = CaptureScreen(rect);
    bool same = !grabbed.IsEmpty() && grabbed == picture;
    picture = std::move(grabbed);
    if (!same) Sleep(80);
    return same;
  });
  if (!steady) {
    std::fwprintf(stderr, L"demo_probe: the window of %ls did not hold still within %lu s\n", program,
                  kTimeoutMs / 1000);
    return 1;
  }
  if (!picture.SavePng(out)) {
    std::fwprintf(stderr, L"demo_probe: cannot write %ls\n", out);
    return 2;
  }
  PrintLine(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
            std::to_wstring(rect.right - rect.left) + L" " + std::to_wstring(rect.bottom - rect.top));
  if (failed) {
    wchar_t text[1024] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, kErrorText), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, kTimeoutMs, &copied);
    PrintLine(text);
  }
  return 0;
}

// Waits for `process` to end and prints its exit code.
int ReportExit(HANDLE process, const wchar_t* program) {
  if (WaitForSingleObject(process, kTimeoutMs) != WAIT_OBJECT_0) {
    std::fwprintf(stderr, L"demo_probe: %ls did not end within %lu s\n", program, kTimeoutMs / 1000);
    return 1;
  }
  DWORD exitCode = 0;
  GetExitCodeProcess(process, &exitCode);
  PrintLine(L"exit code " + std::to_wstring(exitCode));
  return 0;
}

int Finish(const wchar_t* program) {
  HWND dialog = WaitForDialog(program);
  if (!dialog) return 1;
  DWORD processId = 0;
  GetWindowThreadProcessId(dialog, &processId);
  // Held from before the press: the program ends at once.
  ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  // What a click on the button sends its dialog, whatever size the button has.
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFinishButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, kFinishButton)));
  return process.IsValid() ? ReportExit(process.Get(), program) : 0;
}

int WaitExit(const wchar_t* program) {
  std::vector<DWORD> processes = ProcessesNamed(program);
  if (processes.empty()) {
    std::fwprintf(stderr, L"demo_probe: %ls is not running\n", program);
    return 1;
  }
  ScopedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processes[0]));
  return process.IsValid() ? ReportExit(process.Get(), program) : 1;
}

// The full program path of a process; empty when it cannot be read.
std::wstring ProgramOf(HANDLE process) {
  wchar_t path[MAX_PATH * 2];
  DWORD size = MAX_PATH * 2;
  return QueryFullProcessImageNameW(process, 0, path, &size) ? std::wstring(path, size) : std::wstring();
}

int EndFolder(const wchar_t* folder) {
  std::wstring prefix = folder;
  if (prefix.empty() || prefix.back() != L'\\') prefix += L'\\';
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int ended = 0;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE,
                                     entry.th32ProcessID));
    if (!process.IsValid()) continue;
    std::wstring program = ProgramOf(process.Get());
    if (program.size() <= prefix.size() ||
        CompareStringOrdinal(program.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                             static_cast<int>(prefix.size()), TRUE) != CSTR_EQUAL) {
      continue;
    }
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), kTimeoutMs);
    ++ended;
  }
  PrintLine(std::to_wstring(ended));
  return 0;
}

int ProductVersion(const wchar_t* file) {
  StartLibraryOnce(L"DefaultAlloc");
  String version;
  GetProductVersionText(file, &version);
  if (version.IsEmpty()) {
    std::fwprintf(stderr, L"demo_probe: %ls has no product version\n", file);
    return 1;
  }
  PrintLine(version.Text());
  return 0;
}

int Usage() {
  std::fwprintf(stderr,
                L"usage: demo_probe capture PROGRAM OUT.png [--failed] | finish PROGRAM | wait-exit PROGRAM |\n"
                L"       end-folder FOLDER | product-version FILE\n");
  return 2;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  const std::wstring command = argv[1];
  if (command == L"capture" && (argc == 4 || (argc == 5 && std::wstring(argv[4]) == L"--failed"))) {
    return Capture(argv[2], argv[3], argc == 5);
  }
  if (argc != 3) return Usage();
  if (command == L"finish") return Finish(argv[2]);
  if (command == L"wait-exit") return WaitExit(argv[2]);
  if (command == L"end-folder") return EndFolder(argv[2]);
  if (command == L"product-version") return ProductVersion(argv[2]);
  return Usage();
}
