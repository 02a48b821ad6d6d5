// The update worker: performs one update run, from fetching the manifest to
// installing the verified files, and reports to an UpdateReport as it goes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/text/wide_string.h"

// The receiver of one run's reports. Every report is made on the run's thread
// and returns once it has been handled, in this order: Progress after each
// verified file, then InstallStarting and InstallEnded around the install
// pass (when files are to be installed), then Finished.
class UpdateReport {
public:
  virtual ~UpdateReport() = default;

  // After each file has been downloaded and verified: done and total bytes,
  // both scaled down together to fit in 31 bits.
  virtual void Progress(uint32_t done, uint32_t total) = 0;
  // Before the first installed file is touched. True lets the install pass
  // start; false (the receiver is closing) ends the run at once, without any
  // further report. Until InstallEnded the receiver must keep the process
  // alive: the pass is the only part of a run that must not be cut off.
  virtual bool InstallStarting() = 0;
  // Once every file is in place or every changed file restored. The final
  // report follows.
  virtual void InstallEnded() = 0;
  // The end of the run: `error` is its error text, none when it succeeded.
  // Made exactly once, unless the install pass was refused. Nothing of the
  // library's memory is in use any more (the text lies elsewhere and lives
  // for the call only), so the receiver may stop the library once it has it.
  virtual void Finished(const wchar_t* error) = 0;
};

// What the thread routine reads from the side that starts a run. That side
// fixes both texts before the thread exists and never changes them afterwards.
class UpdateWorkerHost {
public:
  // Full path of the client executable; its folder is the installation folder.
  virtual const String& ClientPath() const = 0;
  // The client's product version text, empty when it has none.
  virtual const String& ClientVersion() const = 0;
  // A new receiver for the reports of the run that starts now. The run owns
  // it and destroys it after its last report, so that it may outlive the
  // host (which can end while a download is still running).
  virtual UpdateReport* NewUpdateReport() const = 0;

protected:
  ~UpdateWorkerHost() = default;
};

// One update run for the client at `clientPath` of version `clientVersion`
// (both copied at once), on the calling thread. First completes the journal
// of a pass that an ended process left (CompleteInterruptedInstall); when
// that journal must be kept, the run fails at once. Then deletes and fetches the
// manifest, compares versions, checks every file name, hashes the installed
// files, downloads and verifies every outdated one into "Temp", and only then
// installs them under a journal, restoring every changed file if one cannot
// be replaced.
// Reports to `report`, which must outlive the run.
// With the public key built into this program (BuiltInManifestKey), if any.
void RunUpdate(const String& clientPath, const String& clientVersion, UpdateReport& report);

// RunUpdate with the manifest key `key` (none: unsigned). With a key the
// manifest's signature must match before anything of it is read, an expired
// or older manifest is refused, and every file is compared by its "Sha256";
// without one, by "Sha256" where an entry has it and "Hash" otherwise.
struct ManifestKey;
void RunUpdate(const String& clientPath, const String& clientVersion, const ManifestKey& key, UpdateReport& report);

// Thread start routine of one update run; `host` is the UpdateWorkerHost
// (pass it as that type). Takes the host's texts and a new report from it at
// once, then runs RunUpdate. Always returns 0.
DWORD WINAPI UpdateThreadProc(LPVOID host);
