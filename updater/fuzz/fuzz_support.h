// What the updater's fuzz targets share: invariant checks, the allocator, and
// random XConfig trees whose names and values hold what the format treats specially.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/memory/default_alloc.h"
#include "base/xconfig/xconfig.h"

// Aborts when `condition` fails: the fuzzer reports the input that broke `what`.
inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

// Installs the allocator that library objects come from, for the whole run.
inline void UseDefaultAlloc() {
  static DefaultAlloc alloc;
  SetCurrentAlloc(&alloc);
}

namespace awkward_tree {
// Syntax, escapes, trimmed and blank characters, a byte-order mark, non-ASCII; when unwritable units are
// wanted also a lone high surrogate, a lone low surrogate and a zero. kPlain also stands for a surrogate pair.
constexpr wchar_t kUnits[] = {L'a', L'Z', L'0', L'.', L' ', L'\t', L'\r', L'\n', L',', L':', L'{', L'}', L'"', L'\\',
                              L'/', L'n', L't', 0x3000, 0x4E02, 0xFEFF, 0xE9, 0x4E2D, 0x7F, 0x01, 0xD800, 0xDC00, 0};
constexpr uint32_t kPlain = sizeof kUnits / sizeof kUnits[0] - 3;

// Builds a tree below `root` from the bytes `next` gives (-1 at the end), at most `maxItems` items nested at
// most `maxDepth` deep.
template <typename NextByte>
void Build(XElement* root, NextByte next, uint32_t maxItems, uint32_t maxDepth, bool unwritable) {
  bool ended = false;
  auto take = [&]() -> uint32_t {
    const int byte = ended ? -1 : next();
    ended = byte < 0;
    return ended ? 0 : static_cast<uint32_t>(byte);
  };
  auto text = [&]() {
    std::vector<wchar_t> units;
    for (uint32_t length = take() % 9; length > 0 && !ended; --length) {
      const uint32_t choice = take() % (unwritable ? kPlain + 4 : kPlain + 1);
      if (choice == kPlain) units.insert(units.end(), {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)});
      if (choice != kPlain) units.push_back(kUnits[choice > kPlain ? choice - 1 : choice]);
    }
    return String(units.data(), static_cast<uint32_t>(units.size()));
  };
  XElement* current = root;
  for (uint32_t items = 0, depth = 0; items < maxItems && !ended; ++items) {
    const uint32_t op = take() % 8;
    if (op == 0 && depth > 0) {
      current = current->Parent();
      --depth;
    } else if (op == 1 && depth < maxDepth) {
      current = current->AddElement(text());
      ++depth;
    } else {
      String name = text();
      current->AddItem(new XDataItem(name, text()));
    }
  }
}

// Whether the writer may refuse `text`: a zero, an unpaired surrogate, or "\" before a quote.
inline bool MayBeUnwritable(const String& text) {
  const wchar_t* units = text.Text();
  for (uint32_t i = 0, n = text.Length(); i < n; ++i) {
    const unsigned half = units[i] & 0xFC00;
    const bool paired = half == 0xD800 && i + 1 < n && (units[i + 1] & 0xFC00) == 0xDC00;
    const bool slashQuote = units[i] == L'\\' && i + 1 < n && units[i + 1] == L'"';
    if (!units[i] || slashQuote || ((half == 0xD800 || half == 0xDC00) && !paired)) return true;
    i += paired;
  }
  return false;
}

// Whether anything below `element` may be refused, or nests deeper than the reader accepts.
inline bool TreeMayBeUnwritable(const XElement* element, uint32_t depth = 0) {
  const List<XBaseItem*>& children = element->Children();
  bool refusable = depth > XConfig::kMaxDepth;
  for (uint32_t i = 0; i < children.Num() && !refusable; ++i) {
    const XBaseItem* child = children[i];
    refusable = MayBeUnwritable(child->Name()) ||
                (child->Kind() == XBaseItem::kElement
                     ? TreeMayBeUnwritable(static_cast<const XElement*>(child), depth + 1)
                     : MayBeUnwritable(static_cast<const XDataItem*>(child)->Value()));
  }
  return refusable;
}
}  // namespace awkward_tree
