// Random XConfig trees for the writer's round trip, drawn from a fuzzer's
// input: names and values of the characters the format treats specially.
#pragma once

#include <cstdint>
#include <vector>

#include "base/xconfig/xconfig.h"

namespace awkward_tree {

// Syntax, escapes, trimmed and blank characters, a byte-order mark, non-ASCII.
constexpr wchar_t kUnits[] = {L'a', L'Z', L'0', L'.', L' ', L'\t', L'\r', L'\n', L',', L':', L'{', L'}',
                              L'"', L'\\', L'/', L'n', L't', 0x3000, 0x4E02, 0xFEFF, 0x00E9, 0x4E2D,
                              0x7F, 0x01};
constexpr uint32_t kUnitCount = sizeof kUnits / sizeof kUnits[0];

// Beyond kUnits: a surrogate pair, and when unwritable units are wanted a
// lone high surrogate, a lone low surrogate and a zero.
constexpr uint32_t kPairChoice = kUnitCount;
constexpr uint32_t kPlainChoices = kUnitCount + 1;
constexpr uint32_t kAllChoices = kUnitCount + 4;

// Builds a tree below `root` from the bytes `next` gives (-1 at the end), at
// most `maxItems` items nested at most `maxDepth` deep.
template <typename NextByte>
void Build(XElement* root, NextByte next, uint32_t maxItems, uint32_t maxDepth, bool unwritable) {
  bool ended = false;
  auto take = [&]() -> uint32_t {
    int byte = ended ? -1 : next();
    if (byte < 0) ended = true;
    return byte < 0 ? 0 : static_cast<uint32_t>(byte);
  };
  auto text = [&]() {
    std::vector<wchar_t> units;
    for (uint32_t length = take() % 9; length > 0 && !ended; --length) {
      uint32_t choice = take() % (unwritable ? kAllChoices : kPlainChoices);
      if (choice < kUnitCount) {
        units.push_back(kUnits[choice]);
      } else if (choice == kPairChoice) {
        units.push_back(static_cast<wchar_t>(0xD83D));
        units.push_back(static_cast<wchar_t>(0xDE00));
      } else {
        static const wchar_t kOdd[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDC00), 0};
        units.push_back(kOdd[choice - kPairChoice - 1]);
      }
    }
    return String(units.data(), static_cast<uint32_t>(units.size()));
  };

  XElement* current = root;
  uint32_t depth = 0;
  for (uint32_t items = 0; items < maxItems && !ended; ++items) {
    uint32_t op = take() % 8;
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
  const wchar_t* p = text.Text();
  for (uint32_t i = 0; i < text.Length(); ++i) {
    uint16_t unit = static_cast<uint16_t>(p[i]);
    bool high = unit >= 0xD800 && unit <= 0xDBFF;
    bool nextLow = i + 1 < text.Length() && static_cast<uint16_t>(p[i + 1]) >= 0xDC00 &&
                   static_cast<uint16_t>(p[i + 1]) <= 0xDFFF;
    if (unit == 0 || (high && !nextLow) || (unit >= 0xDC00 && unit <= 0xDFFF) ||
        (p[i] == L'\\' && i + 1 < text.Length() && p[i + 1] == L'"')) {
      return true;
    }
    if (high) ++i;  // the pair's low half
  }
  return false;
}

// Whether anything below `element` may be refused, or nests deeper than the reader accepts.
inline bool TreeMayBeUnwritable(const XElement* element, uint32_t depth = 0) {
  if (depth > XConfig::kMaxDepth) return true;
  const List<XBaseItem*>& children = element->Children();
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    if (MayBeUnwritable(child->Name())) return true;
    if (child->Kind() == XBaseItem::kElement) {
      if (TreeMayBeUnwritable(static_cast<const XElement*>(child), depth + 1)) return true;
    } else if (MayBeUnwritable(static_cast<const XDataItem*>(child)->Value())) {
      return true;
    }
  }
  return false;
}

}  // namespace awkward_tree
