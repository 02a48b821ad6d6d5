// The self-update entry that the client calls in its own process, and the
// version check behind it. Every path derives from the calling process's main
// executable (the client), whose folder is the installation folder.
#pragma once

#include "base/text/wide_string.h"

// Exported by name (ordinal 1) from Updater.exe. Starts the utility library
// with "FastAlloc" unless it is started already (and never stops it), copies
// "Updater.exe" to "Updater_new.exe" in the client's folder, and asks the
// update server whether a newer client exists (CheckForUpdate). If one does
// and the copy exists, starts the copy through the shell with
// -path "<client path>" in the client's folder and returns false (also when
// the start fails). True when nothing is to be installed: no newer version,
// no readable manifest, or no copy to start. Blocks for the whole check.
extern "C" bool __cdecl UpdateWeb();

// Sets `*updateNeeded`: true when the manifest named by "baseinfo.xconfig"
// (its "UpdaterConfigeUrl", the default address when that is empty or
// missing) was fetched as "update.xconfig", read, and its "Version" is newer
// by CompareVersionsByPosition than the client's product version; false
// otherwise. The previous "update.xconfig" is deleted first. With a key built
// in (BuiltInManifestKey) the manifest must be signed by it and not expired,
// and its version must be newer by CompareVersionNumbers.
void CheckForUpdate(bool* updateNeeded);

// The full path of the calling process's main executable, however long;
// empty when it cannot be read. Also what the updater calls its own path.
String MainProgramPath();

// Sets `*text` to the product version of the program file at `path` as
// "%d.%d.%d.%d" (the four 16-bit halves, most significant first); leaves it
// unchanged when the file has no readable version information.
void GetProductVersionText(const wchar_t* path, String* text);
