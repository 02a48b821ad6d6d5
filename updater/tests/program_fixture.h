// The process-level fixture: an installation folder, the update server, and every process started, ended at the end.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/system/scoped_handle.h"
#include "tests/child_process.h"
#include "tests/published_release.h"
#include "tests/update_server.h"

// A file of the build as a Windows path (the build knows it as a Unix path, which Wine puts on drive Z:); e.g.
// Built(UPDATER_EXE), or Built(UPDATER_PICTURES "/res/login_normal.png") for a picture made beside Updater.exe.
std::wstring Built(const char* unixPath);

// The name of the client executable, which the updater ends before a run.
extern const wchar_t kClientName[];
// The dialog's controls that the failed look shows.
constexpr int kFinishButton = 1000;
constexpr int kErrorText = 1001;

// The text of a window of another process.
std::string TextOfWindow(HWND window);

// The visible dialog window (a message box, too) of `process`; none if it does not show within `timeoutMs`.
HWND DialogOf(const ScopedHandle& process, uint32_t timeoutMs = 30000);

// Waits until `condition` holds, looking every 10 ms; false after `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, uint32_t timeoutMs = 30000);

class ProgramTest : public ::testing::Test {
protected:
  ProgramTest();
  ~ProgramTest() override;
  // Copies the built file `unixPath` into the installation folder as `name`.
  void Install(const char* unixPath, const wchar_t* name = kClientName) const;
  // Publishes a release for the installation (see PublishRelease).
  void Publish(const std::vector<ReleaseFile>& files, const std::string& version,
               const ReleaseOptions* signing = nullptr) const {
    PublishRelease(m_server, m_install.Path(), files, version, signing);
  }
  // Publishes a.txt ("old a" installed) held back by the server, starts the updater; its dialog once the worker waits.
  HWND StartHeldRun(ScopedHandle* updater);
  // Starts the installed updater for the installed client, as UpdateWeb does.
  ScopedHandle StartUpdater() const { return Start(L"Updater.exe", L"-path \"" + Installed(kClientName) + L"\""); }
  // Publishes a file that cannot be fetched, starts the client and the updater; the dialog once it shows the failure.
  HWND RunIntoAFailure(ScopedHandle* updater, ScopedHandle* client);
  // Expects client start number `before` + 1: the installed client with "-withoutupdater" in its folder.
  void ExpectClientRestarted(size_t before) const;
  // Starts the installed program `name` through the shell in `folder` (the installation when empty).
  ScopedHandle Start(const wchar_t* name, const std::wstring& arguments, const std::wstring& folder = L"") const;
  // Starts the installed client `name` and waits until it has recorded its start.
  ScopedHandle StartClient(const std::wstring& arguments = L"", const wchar_t* name = kClientName);
  // The exit code of `process` once it ends within `timeoutMs`; 0xDEAD otherwise.
  static uint32_t ExitCodeOf(const ScopedHandle& process, uint32_t timeoutMs = 60000);
  std::wstring Installed(const std::wstring& name) const { return m_install.File(name.c_str()); }
  bool Exists(const wchar_t* name) const { return GetFileAttributesW(Installed(name).c_str()) != INVALID_FILE_ATTRIBUTES; }
  std::string Content(const std::wstring& name) const { return ContentOf(Installed(name)); }
  // The lines of an installed text file (the stand-in client's records).
  std::vector<std::string> Lines(const std::wstring& name) const;
  // The recorded starts of the client `name`, each "<current folder>|<command line>".
  std::vector<std::string> ClientStarts(const wchar_t* name = kClientName) const;
  ServerScope m_server;
  TempFolder m_install;

private:
  ScopedHandle m_endEvent;  // ends every stand-in client of the test when set
};
