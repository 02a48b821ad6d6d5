// The window messages by which the update dialog hears of its update run: the
// dialog's report object (see UpdateReport) sends them to the dialog, each
// synchronously, from the worker's thread.
#pragma once

#include <windows.h>

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
