#include "ui/updater_application.h"

#include <commctrl.h>
#include <objidl.h>  // GDI+ needs it; the lean Windows headers leave it out
#include <gdiplus.h>

#include "base/memory/library.h"
#include "base/system/log.h"
#include "ui/updater_dialog.h"

CUpdaterApp theApp;

BOOL CUpdaterApp::InitInstance() {
  // A crash ends the program with a line in the log instead of waiting for a
  // debugger that nobody attaches.
  EndProcessOnUnhandledException();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  StartLibraryOnce(L"DebugAlloc");

  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Gdiplus::Ok) {
    MessageBoxW(nullptr, L"Initialize GDI+ library failed", L"Error", MB_ICONERROR);
  }

  CUpdaterDlg dialog;
  dialog.DoModal();
  m_workerStillRunning = dialog.IsWorkerRunning();
  return TRUE;
}

int CUpdaterApp::ExitInstance() {
  if (m_gdiplusToken) Gdiplus::GdiplusShutdown(m_gdiplusToken);
  // Stopping the library destroys the allocator that a running worker still
  // uses; the end of the process reclaims everything anyway.
  if (!m_workerStillRunning) StopLibrary();
  return 0;
}
