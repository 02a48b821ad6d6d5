// The install pass's journal: the plan of the pass and each completed move,
// kept on disk in the installation's "Temp" folder so that a pass cut off by
// a killed process or a power cut can be undone at the next start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/system/scoped_handle.h"
#include "base/text/wide_string.h"

#if defined(UPDATER_INSTALL_POINTS)
// Test builds only: `hook` (none: nothing) is called before and after every
// move or removal that the install pass, its roll-back or the undoing of a
// journal makes, so that a test can hold the process there and end it.
using InstallPointHook = void (*)();
void SetInstallPointHook(InstallPointHook hook);
void PassInstallPoint();
#else
// The product's build: nothing, and nothing to link. Internal, so that the
// test build's objects and these may share a program.
namespace {
inline void PassInstallPoint() {}
}  // namespace
#endif

// One planned step: the manifest name of the file and whether an installed
// file was there to be set aside. The step's index is its place in the plan.
struct JournalStep {
  String name;
  bool hadInstalled;
};

// Where step `index` of name `name` touches files, for the installation at
// `folderPath` (full, no trailing "\"): long full paths, checked to lie inside
// the installation ("local") and its "Temp" ("temp", "setAside").
struct StepPaths {
  String local;
  String temp;
  String setAside;
};
// False (and `paths` unspecified) when a path leaves its folder or is too long.
bool PathsOfStep(const String& folderPath, const String& name, uint32_t index, StepPaths* paths);

// Whether the folder `folder` may hold set-aside copies (a file ending in
// ".previous"): false only when a search finds none there or the folder does
// not exist. One search of the folder, where asking for each set-aside path
// would look up a missing name, which walks the whole folder on file systems
// that compare names ignoring case by reading the folder (Wine's).
bool MayHoldSetAsideCopies(const String& folder);

// After a pass was undone: removes the folders that held the new file of
// `paths` (no installed file was there before), innermost first, while they
// are empty, and never the installation folder `folderPath` itself. Folders
// already gone are passed over, so that a second call finishes the first.
void RemoveEmptyFoldersOf(const String& folderPath, const StepPaths& paths);

// The journal's path for the installation at `folderPath`.
String InstallJournalPath(const String& folderPath);

// Writes a journal. The plan (Begin) and the commit record are on the disk
// (flushed) before the call returns; the records of single steps are written
// but not flushed: undoing a pass decides by the files on disk, not by them,
// and the next flush (the commit's) takes them along. Each record carries its
// length and a checksum, so a reader takes every complete record and nothing
// of one cut short.
class InstallJournal {
public:
  enum Record : uint8_t { kSetAside = 'A', kMovedIn = 'M', kCommitted = 'C' };
  // Creates the journal at `path` (replacing any) with the plan of `count`
  // steps. False when it cannot be written in full; nothing stays open then.
  bool Begin(const String& path, const JournalStep* steps, size_t count);
  // Appends that step `index` has reached `record` (flushed for kCommitted
  // only); false when not written.
  bool Add(Record record, uint32_t index);
  // Closes and deletes the journal; false when it is still there.
  bool Remove();

private:
  // Writes `size` bytes of records at the end; false when not all written.
  bool Write(const uint8_t* bytes, size_t size);
  ScopedHandle m_file;
  String m_path;
};

enum class JournalOutcome {
  kNone,       // no journal
  kCompleted,  // the pass was undone (or, when committed, finished) and the journal removed
  kKept,       // a file could not be put back: the journal stays for the next start
};

// Completes an unfinished journal of the installation at `folderPath`: every
// file that the interrupted pass changed is put back, every new file removed,
// and the folders made for new files that are empty now, then the journal
// and the set-aside copies are removed. A journal whose plan is incomplete
// (nothing was moved yet) or which names a path outside the installation is
// removed without moving anything. Every outcome but kNone is written to the
// log.
JournalOutcome CompleteInterruptedInstall(const String& folderPath);
