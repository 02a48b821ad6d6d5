// CWinApp: the program's application object.
#pragma once

#include <windows.h>

// The program defines one object of a class derived from CWinApp (a global);
// the program's entry finds it and runs it. The application runs its windows
// modally inside InitInstance, so nothing runs between InitInstance and
// ExitInstance.
class CWinApp {
public:
  // Makes this object the program's application object.
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The application object, or none.
  static CWinApp* Current();

  // InitInstance, then ExitInstance, whose result becomes the exit code
  // (whatever InitInstance returned).
  int Run();

  // Sets the program up and runs it; false reports that it could not start.
  virtual BOOL InitInstance() { return TRUE; }
  // Shuts the program down; returns the process exit code.
  virtual int ExitInstance() { return 0; }
};
