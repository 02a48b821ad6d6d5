// The entry of a program built on the framework; linked into the program
// itself (the C run-time's start-up looks for it after the libraries).
#include "framework/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CWinApp* application = CWinApp::Current();
  return application ? application->Run() : 1;
}
