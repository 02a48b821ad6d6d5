// CUpdaterApp: the application object of Updater.exe.
#pragma once

#include <windows.h>

#include "framework/application.h"

// Ends the process on a crash (see EndProcessOnUnhandledException),
// registers the common controls, starts the utility library with "DebugAlloc"
// (unless it is started already) and GDI+, and runs the update dialog
// modally; the end shuts GDI+ and the library down again and exits with 0.
class CUpdaterApp : public CWinApp {
public:
  BOOL InitInstance() override;
  int ExitInstance() override;

private:
  ULONG_PTR m_gdiplusToken = 0;
  // The dialog ended while the worker still ran (a close request during a
  // download): the library stays up for it until the process ends.
  bool m_workerStillRunning = false;
};
