// The update worker's rules on texts: versions, paths, manifest file names and
// progress figures. Platform-free (they also build natively for the sanitizers).
#pragma once

#include <cstdint>

#include "base/text/wide_string.h"

// The text before the last separator, whichever of "\" and "/" lies further
// right, without the separator; empty when there is none.
String GetDirectoryOfPath(const String& path);

// 1 when the manifest's version calls for an update, 0 otherwise. Texts of
// different lengths always call for one, whichever version is larger. Equal
// lengths are compared part by part (parts split at every ".", each read as a
// 32-bit decimal integer the C run-time's way, compared unsigned): the first
// differing part decides, 1 when the client's is the smaller.
int CompareVersions(const String& clientVersion, const String& manifestVersion);

// Whether the remote version is newer, as the self-update check decides: at
// every character position up to the shorter text's length, the number that
// starts there in each text (DecimalToInt32) is compared, signed; the first
// position where they differ decides. Equal over the shorter length (a text
// that begins the other, or an empty one) counts as not newer.
bool CompareVersionsByPosition(const wchar_t* localVersion, const wchar_t* remoteVersion);

// The C run-time's decimal text-to-integer rule: leading white space, an
// optional sign, then digits up to the first non-digit; no digits give 0. Out
// of range values saturate at the 32-bit limits.
int32_t DecimalToInt32(const wchar_t* text);

// Whether a manifest file name may be joined to the installation folder, the
// one rule for the update run and for the tool that publishes releases. False
// for: an empty name; an absolute one (a leading "\" or "/"); a ":" anywhere
// (drive letters, stream names); a component of dots only with two or more of
// them, spaces allowed (".." and what Windows reads as ".."), under either
// separator; a reserved DOS device name as any component (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 and their superscript-digit forms, any
// letter case, with any extension, trailing dots or spaces); a last
// component of dots and spaces only (or none: a trailing separator), which
// names a folder; and characters that no Windows file name may hold (control
// characters and any of " < > | ? *), since such a file can never be installed.
bool IsSafeRelativeName(const wchar_t* name);

// The key under which Windows finds the file `name` (a name the rule above
// accepts) when letter case is set aside: "/" read as "\", trailing dots and
// spaces of every component dropped. Two names with keys equal ignoring case
// name one file.
String NameKey(const wchar_t* name);

// `name` for a URL path: "\" as "/", every character but A-Z a-z 0-9 - . _ ~
// and "/" percent-encoded as UTF-8 bytes (a "%" in a name is a name's "%").
String UrlPathOfName(const wchar_t* name);

// Whether two digests' texts are equal, hexadecimal letters in either case.
bool SameDigest(const wchar_t* a, const wchar_t* b);

// `text` when it has at most `limit` characters (at least 16); otherwise its
// beginning and end with "..." between, `limit` characters in all, so that a
// message names the file however long its name is.
String ShortenedMiddle(const String& text, uint32_t limit);

// A name or path as the run's messages show it: ShortenedMiddle to 300
// characters.
String MessageName(const String& text);

// Progress figures that fit a window message: done and total shifted right
// together until the total fits in 31 bits, so their ratio stays right.
struct ProgressFigures {
  uint32_t done;
  uint32_t total;
};
ProgressFigures ScaleProgress(uint64_t done, uint64_t total);

// Orders two dotted versions part by part as unsigned numbers (a part is its
// leading decimal digits, saturating at 2^32 - 1; missing parts count as 0):
// negative when `a` is older than `b`, 0 when equal, positive when newer.
int CompareVersionNumbers(const wchar_t* a, const wchar_t* b);
