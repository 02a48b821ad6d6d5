// The install pass of an update run: the verified downloads in "Temp" take
// the place of the installed files, under a journal.
#pragma once

#include "app/manifest.h"
#include "base/text/wide_string.h"

// Replaces the installed files of the installation at `folderPath` (full, no
// trailing "\\") with `files`, the queued entries whose verified downloads
// lie in its "Temp". Each file replaced is first moved aside and kept until
// the pass ends, so that a failure can put every changed file back: the
// installation is never left half old, half new. The plan and every
// completed move are on disk (the journal) before the next move, so that the
// next start can do the same after the process was ended. True when every
// file is in place; false with `*error` the run's text, after the changed
// files were put back (or, where one could not be, with the journal kept for
// the next start).
bool InstallFiles(const String& folderPath, const FileEntryArray& files, String* error);
