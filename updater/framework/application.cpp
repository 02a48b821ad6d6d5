#include "framework/application.h"

namespace {
// Zero-initialised, so that it is valid before the global application object
// is constructed.
CWinApp* g_application;
}  // namespace

CWinApp::CWinApp() { g_application = this; }

CWinApp::~CWinApp() {
  if (g_application == this) g_application = nullptr;
}

CWinApp* CWinApp::Current() { return g_application; }

int CWinApp::Run() {
  InitInstance();
  return ExitInstance();
}
