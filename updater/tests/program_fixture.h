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
  // Copies the program at `program` into the installation folder as `name`.
  void Install(const std::wstring& program, const wchar_t* name = kClientName) const;
  // Copies the built button picture into the installation's "res" folder.
  void InstallButtonPicture() const;
  // Publishes a release for the installation (see PublishRelease).
  void Publish(const std::vector<ReleaseFile>& files, const std::string& version,
               const ReleaseOptions* signing = nullptr) const {
    PublishRelease(m_server, m_install.Path(), files, version, signing);
  }
  // Publishes a.txt ("old a" installed) held back by the server, starts the updater; its dialog once the worker waits.
  HWND StartHeldRun(ScopedHandle* updater);
  // Starts the installed updater for the installed client, as UpdateWeb does.
  ScopedHandle StartUpdater() const;
  // Publishes a file that cannot be fetched, starts the client and the updater; the dialog once it shows the failure.
  HWND RunIntoAFailure(ScopedHandle* updater, ScopedHandle* client);
  // Expects client start number `before` + 1: the installed client with "-withoutupdater" in its folder.
  void ExpectClientRestarted(size_t before) const;
  // Starts the installed program `name` through the shell in `folder` (the installation when empty).
  ScopedHandle Start(const wchar_t* name, const std::wstring& arguments, const std::wstring& folder = L"") const;
  // Starts the installed client and waits until it has recorded its start.
  ScopedHandle StartClient(const std::wstring& arguments = L"");
  // The exit code of `process` once it ends within `timeoutMs`; 0xDEAD otherwise.
  static uint32_t ExitCodeOf(const ScopedHandle& process, uint32_t timeoutMs = 60000);
  std::wstring Installed(const std::wstring& name) const { return m_install.File(name.c_str()); }
  bool Exists(const wchar_t* name) const { return GetFileAttributesW(Installed(name).c_str()) != INVALID_FILE_ATTRIBUTES; }
  std::string Content(const std::wstring& name) const { return ContentOf(Installed(name)); }
  // The lines of an installed text file (the stand-in client's records).
  std::vector<std::string> Lines(const std::wstring& name) const;
  // The client's recorded starts, each "<current folder>|<command line>".
  std::vector<std::string> ClientStarts() const { return Lines(L"client-starts.txt"); }
  ServerScope m_server;
  TempFolder m_install;

private:
  // Ends the stand-in clients through their event, any other process of the installation by force.
  void EndInstallationProcesses() const;
  ScopedHandle m_endEvent;
};
