// Writer of the XConfig text format: turns a tree back into text that the
// reader (XConfig::OpenText) reads as the same tree.
//
// Names and values are written bare where the reader takes them back
// character for character, and quoted with escapes otherwise (colons in names,
// leading or trailing blanks, leading quotes and braces, control characters,
// empty texts). Every element is written in line mode: "name : {" on one line,
// its children one per line indented by a tab per level, "}" on a line of its
// own. Lines end with CR LF. The text is UTF-8 without a byte-order mark.
// Platform-free.
#pragma once

#include <cstdint>
#include <string>

#include "base/memory/alloc.h"
#include "base/xconfig/xconfig.h"

// Bytes from the current allocator.
using Utf8Text = std::basic_string<char, std::char_traits<char>, LibraryAllocator<char>>;

// Appends `length` UTF-16 units of `text` to `out` as UTF-8. False at the
// first unpaired surrogate, which UTF-8 cannot carry; what stood before it has
// been appended then.
bool AppendUtf8(const wchar_t* text, uint32_t length, Utf8Text* out);

// Decodes zero-terminated `utf8` into `text`. False, leaving `text` alone,
// unless it is valid UTF-8 (which a file name on Linux need not be).
bool DecodeUtf8Exactly(const char* utf8, String* text);

// Appends the children of `root` (not the root itself, whose name the reader
// sets) to `out` as XConfig text. False when the tree holds something that the
// format cannot carry: a zero character or an unpaired surrogate in a name or
// value, a text that must be quoted and holds a backslash directly before a
// double quote (the reader ends a quoted string at a quote after two
// backslashes, so that pair has no escaped form), or elements nested deeper
// than XConfig::kMaxDepth. Then `out` is as it was, and `unwritable`, when given,
// points at the first item whose name or value could not be written (none
// for the nesting).
bool WriteXConfigText(const XElement* root, Utf8Text* out, const XBaseItem** unwritable = nullptr);

// True when both elements hold the same children in the same order: the same
// kinds, names and values, code unit for code unit, down the whole tree. The
// names of `a` and `b` themselves are not compared.
bool SameXTree(const XElement* a, const XElement* b);
