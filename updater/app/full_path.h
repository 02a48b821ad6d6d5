// Paths as Windows resolves them, and the few questions the run asks of a path.
#pragma once

#include <vector>

#include "base/memory/alloc.h"
#include "base/text/wide_string.h"

using PathArray = std::vector<String, LibraryAllocator<String>>;

// The full path that Windows makes of `path`: the current folder or drive
// prefixed where needed, "." and ".." applied, "/" read as "\", trailing dots
// and spaces of the last component dropped, a device name as "\\.\NAME".
// Empty when Windows makes none (an empty or overlong path). Any length.
String FullPathOf(const String& path);

// Whether the full path `path` lies below the full path `folder` (which has
// no trailing "\"), letter case aside.
bool LiesIn(const String& path, const String& folder);

// The full path `full` in the form that every wide file function takes at
// any length and without further rewriting: "\\?\C:\..." or "\\?\UNC\...".
String LongPathOf(const String& full);

// The installation folder of the client at `clientPath` as a full path
// without a trailing "\" (the root of the current drive when the path has no
// folder); empty when Windows makes no full path of it.
String InstallationFolderOf(const String& clientPath);

// Whether anything (file, folder or device) answers to `path`.
bool Exists(const String& path);

// Whether `path` names a folder.
bool IsFolder(const String& path);

// Deletes the file at `path`, read-only or not; false with the last error set
// when it cannot.
bool RemoveFile(const String& path);

// Creates the folders from the folder `root` (a full path) down to the one
// that holds `path` (a long full path below it), one at a time; `made`, when
// given, records the new ones. Stops at the first that cannot be made,
// unreported: what is then written into the folder fails with its own text.
void CreateFoldersDownTo(const String& root, const String& path, PathArray* made);
