// The update worker: the thread that performs one update run, from fetching
// the manifest to installing the verified files, and reports to the dialog by
// window messages.
#pragma once

#include <windows.h>

#include "base/text/wide_string.h"

// Sent after each file has been downloaded and verified: wParam done bytes,
// lParam total bytes, both scaled down together to fit in 31 bits.
constexpr UINT WM_UPDATE_PROGRESS = WM_USER + 100;
// Sent when the run stops with an error: wParam is a BSTR holding the error
// text, which the receiver frees with SysFreeString; lParam 0. The worker
// ends right after. On success the worker sends WM_CLOSE (0, 0) instead.
constexpr UINT WM_UPDATE_FAILED = WM_USER + 101;
// Brackets the install pass, the only part of a run that must not be cut off:
// wParam 1 before the first installed file is touched, wParam 0 once every
// file is in place or every changed one restored; lParam 0. The answer to
// wParam 1 decides: nonzero lets the pass start, 0 (the receiver is closing,
// or its window is gone) ends the run at once without any further message.
// Between the two the receiver must keep the process alive. After wParam 0
// the run's final message follows.
constexpr UINT WM_UPDATE_INSTALLING = WM_USER + 102;

// What the worker reads from the dialog that starts it. The dialog fixes all
// three before the thread exists and never changes them afterwards.
class UpdateWorkerHost {
public:
  // Full path of the client executable; its folder is the installation folder.
  virtual const String& ClientPath() const = 0;
  // The client's product version text, empty when it has none.
  virtual const String& ClientVersion() const = 0;
  // The window that receives the run's messages, all sent synchronously.
  virtual HWND UpdateWindow() const = 0;

protected:
  ~UpdateWorkerHost() = default;
};

// Thread start routine of one update run; `host` is the UpdateWorkerHost (pass
// it as that type). Copies its inputs at once, then: deletes and fetches the
// manifest, compares versions, checks every file name, hashes the installed
// files, downloads and verifies every outdated one into "Temp", and only then
// installs them, restoring every changed file if one cannot be replaced. Ends
// with exactly one WM_CLOSE or WM_UPDATE_FAILED, unless the receiver refused
// the install pass. Nothing of the library's memory is in use any more when
// the final message is sent, so the receiver may stop the library as soon as
// it has it. Always returns 0.
DWORD WINAPI UpdateThreadProc(LPVOID host);
