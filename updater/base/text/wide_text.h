// Functions on zero-terminated 16-bit text, shared by both builds: the native
// build has a 16-bit wchar_t (-fshort-wchar) but glibc's wide functions assume a
// 32-bit one, so the library never calls them.
#pragma once

#include <cstdint>

static_assert(sizeof(wchar_t) == 2, "the library needs a 16-bit wchar_t");

// Number of characters before the terminator; 0 for none.
uint32_t WLength(const wchar_t* text);
// Copies `source` with its terminator to `dest`; returns `dest`.
wchar_t* WCopy(wchar_t* dest, const wchar_t* source);
// Appends `source` with its terminator behind the text in `dest`; returns `dest`.
wchar_t* WAppend(wchar_t* dest, const wchar_t* source);

// Compares code unit by code unit, unsigned: -1, 0 or 1. Either side none: -1.
int WCompare(const wchar_t* a, const wchar_t* b);
// As WCompare, with only the letters A to Z folded to a to z on both sides.
int WCompareNoCase(const wchar_t* a, const wchar_t* b);

// First position of `ch` in `text`, or none (also for none text).
const wchar_t* WFindChar(const wchar_t* text, wchar_t ch);
// First position where `what` occurs in `text` (case-sensitive), or none; none
// if either is none. An empty `what` is found at the start.
const wchar_t* WFind(const wchar_t* text, const wchar_t* what);

// Removes space, tab and U+4E02 from both ends in place, moving the rest to the
// front; returns `text` (none stays none).
wchar_t* WTrim(wchar_t* text);
// Narrows the range [*begin, *end) past space, tab and U+4E02 at both ends.
void WTrimRange(const wchar_t** begin, const wchar_t** end);

// Reads an unsigned number as the C run-time's wcstoul does: leading white
// space, an optional sign (a minus negates the result modulo 2^32), then digits
// of `base` (2 to 36). Base 0 picks the base from the prefix: "0x"/"0X"
// hexadecimal, a leading 0 octal, decimal otherwise; base 16 also accepts the
// "0x" prefix. Stops at the first character that does not fit; no digits give
// 0, overflow gives 0xFFFFFFFF. None gives 0.
uint32_t WToUnsigned(const wchar_t* text, int base);

// Converts zero-terminated UTF-8 to a new zero-terminated wide buffer from the
// current allocator, which the caller frees with MemFree. Malformed sequences
// become U+FFFD. None gives none.
wchar_t* Utf8ToWide(const char* utf8);
// As Utf8ToWide; also stores the number of characters (terminator excluded).
wchar_t* Utf8ToWide(const char* utf8, uint32_t* length);
