// The release tool's side of the update manifest (app/manifest.h writes it):
// the release's files, named by their relative paths with "\" separators, in
// code-unit order, and the rules for what a release may say. Platform-free, so
// every build writes the same bytes for the same release.
#pragma once

#include <cstdint>
#include <vector>

#include "app/manifest.h"
#include "base/memory/alloc.h"
#include "base/text/wide_string.h"
#include "base/xconfig/xconfig_writer.h"

using StringArray = std::vector<String, LibraryAllocator<String>>;

// What a release says besides its files (its base URL ends with "/").
using ReleaseInfo = ManifestInfo;

// One file of a release.
struct ReleaseFile {
  String name;  // relative path, "\" separators
  String hash;    // SHA-1: 40 lower-case hexadecimal digits
  String sha256;  // SHA-256: 64 lower-case hexadecimal digits
  uint64_t size = 0;
};
using ReleaseFileArray = std::vector<ReleaseFile, LibraryAllocator<ReleaseFile>>;

// Code-unit order of two texts, the order of the manifest's files.
bool TextBefore(const String& a, const String& b);

// Whether `text` is dotted decimal numbers ("1", "1.4.0.12"): digits and
// single dots, neither first nor last.
bool IsDottedVersion(const String& text);

// Whether `url` can be a base URL: "http://" or "https://" (any letter case)
// and a host, without blanks or control characters.
bool IsBaseUrl(const String& url);

// `url` with a final "/" added when missing.
String WithFinalSlash(const String& url);

// Reads an optional minus and decimal digits that fit a signed 32-bit number.
bool ParseInt32(const String& text, int32_t* value);

// Whether `text` is `digits` lower-case hexadecimal digits (40 for SHA-1, 64
// for SHA-256), as the manifest writes digests.
bool IsDigestText(const String& text, uint32_t digits = 40);

// Sorts by name (TextBefore).
void SortReleaseFiles(ReleaseFileArray* files);

// Appends a message to `problems` for every name that the updater rejects
// (see IsSafeRelativeName) and for every group of names that differ only in
// the letter case of A to Z, which would be one file on Windows. True when
// there was none.
bool CheckReleaseNames(const ReleaseFileArray& files, StringArray* problems);

// Appends the manifest of `info` and `files` (in their order) to `out`. False,
// with `error` naming the text, when a name or value cannot be written.
bool WriteReleaseManifest(const ReleaseInfo& info, const ReleaseFileArray& files, Utf8Text* out, String* error);
