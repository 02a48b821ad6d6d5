// The files of a release folder, through the platform: walking folders,
// reading, hashing and replacing files. One implementation per platform
// (release_files_posix.cpp, release_files_win.cpp); messages are plain English
// naming the path and the system's reason.
#pragma once

#include <cstdint>

#include "base/text/wide_string.h"
#include "base/xconfig/xconfig_writer.h"
#include "release/release_manifest.h"

class ExcludeRules;

// "`action` `path`: " and the system's reason for the last failed call, as
// in "cannot read release/a.dll: Permission denied".
String SystemFailure(const wchar_t* action, const String& path);

// What a path names.
enum class PathKind { kMissing, kFile, kFolder, kOther };

// What `path` names; kMissing also when it cannot be examined.
PathKind KindOfPath(const String& path);

// The path of the manifest name `relativeName` (either separator) below
// `folder`, in the platform's form.
String JoinPath(const String& folder, const String& relativeName);

// Appends the relative name of every regular file below `folder` to `names`
// ("\" separators, in no particular order), leaving out what `exclude`
// excludes, the file at `skip` (none or empty: nothing) and its signature
// beside it (`skip` + ".sig"), which is how the manifest never lists itself. Links are followed. False, with `error` set, at
// the first folder that cannot be read, entry that is neither a file nor a
// folder, name that cannot be carried in a manifest (not valid UTF-8, or
// holding a "\" where that is no separator), or nesting deeper than
// kMaxFolderDepth levels (a link loop).
bool ListFolderFiles(const String& folder, const ExcludeRules& exclude, const String& skip, StringArray* names,
                     String* error);
constexpr uint32_t kMaxFolderDepth = 128;

// The key under which the platform's file system finds `relativeName`:
// separators unified, and on Windows the letter case folded, so that two
// names with one key name one file there.
String FileNameKey(const String& relativeName);

// Reads the whole file at `path` into `bytes`. False, with `error` set, when it
// cannot be opened or read.
bool ReadWholeFile(const String& path, Utf8Text* bytes, String* error);

// Replaces the file at `path` with `bytes` (creating it when missing) through a
// new file beside it that is renamed over it once complete, so the file is
// either the old one or the new one, never half written. False, with `error`
// set and `path` untouched, when anything fails.
bool ReplaceFileWith(const String& path, const Utf8Text& bytes, String* error);

// Removes the file at `path`. False, with `error` set, when it cannot.
bool RemoveFile(const String& path, String* error);
