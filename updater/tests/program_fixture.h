// The fixture of the process-level tests: an installation folder with the
// built programs in it, the local update server, and the processes a test
// starts (directly or through the programs), all ended when the test ends.
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

// The built programs, as Windows paths (the build knows them as Unix paths).
std::wstring UpdaterProgram();
std::wstring OldClientProgram();
std::wstring NewClientProgram();
std::wstring UnversionedClientProgram();
// Updater.exe and the old client with the build tree's test key built in.
std::wstring SignedUpdaterProgram();
std::wstring SignedOldClientProgram();
// A picture that the build made beside Updater.exe, e.g. "res\login_normal.png".
std::wstring BuiltPicture(const wchar_t* name);

// The name of the client executable, which the updater ends before a run.
extern const wchar_t kClientName[];

// The visible dialog window (a message box, too) of `process`; none if it
// does not show within `timeoutMs`.
HWND DialogOf(const ScopedHandle& process, uint32_t timeoutMs = 30000);

// Waits until `condition` holds, looking every 10 ms; false after `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, uint32_t timeoutMs = 30000);

class ProgramTest : public ::testing::Test {
protected:
  ProgramTest();
  ~ProgramTest() override;

  // Copies the program at `program` into the installation folder as `name`.
  void Install(const std::wstring& program, const wchar_t* name = kClientName) const;
  // Copies the button picture that the build made beside Updater.exe into
  // the installation's "res" folder, where the updater looks for it.
  void InstallButtonPicture() const;
  // Publishes a release for the installation (see PublishRelease).
  void Publish(const std::vector<ReleaseFile>& files, const std::string& version,
               const ReleaseOptions* signing = nullptr) const {
    PublishRelease(m_server, m_install.Path(), files, version, signing);
  }
  // Publishes a release whose only file, a.txt ("old a" installed), the
  // server holds back for a minute, starts the updater for the installed
  // client as `updater` and returns its dialog once the worker waits for it.
  HWND StartHeldRun(ScopedHandle* updater);

  // Starts the installed program `name` through the shell with `arguments`,
  // in `folder` (the installation folder when empty). Returns its process.
  ScopedHandle Start(const wchar_t* name, const std::wstring& arguments, const std::wstring& folder = L"") const;
  // Starts the installed client and waits until it has recorded its start.
  ScopedHandle StartClient(const std::wstring& arguments = L"");
  // Waits up to `timeoutMs` for `process` to end and returns its exit code;
  // 0xDEAD when it did not end in time.
  static uint32_t ExitCodeOf(const ScopedHandle& process, uint32_t timeoutMs = 60000);

  std::wstring Installed(const std::wstring& name) const { return m_install.File(name.c_str()); }
  // The content of an installed file; "<missing>" when it cannot be read.
  std::string Content(const std::wstring& name) const;
  // The lines of an installed text file (the stand-in client's records).
  std::vector<std::string> Lines(const std::wstring& name) const;
  // The client starts recorded beside the installed client, each as
  // "<current folder>|<command line>".
  std::vector<std::string> ClientStarts() const { return Lines(L"client-starts.txt"); }
  // Whether a process of the installation (one whose program lies in its
  // folder) named `name` is running.
  bool IsRunning(const wchar_t* name) const;

  ServerScope m_server;
  TempFolder m_install;

private:
  // Ends every process of the installation: the stand-in clients through
  // their end event, any other (an updater left in its failed look) by force.
  void EndInstallationProcesses() const;

  ScopedHandle m_endEvent;
};
