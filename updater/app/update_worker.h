// The update worker: performs one update run, from fetching the manifest to
// installing the verified files, and reports to an UpdateReport as it goes.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/update_report.h"
#include "base/text/wide_string.h"

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
