// libFuzzer target: parses any bytes as an XConfig document, checks the tree's
// invariants, writes it back and reads that text (the same tree must come
// back), and reads it as an update manifest. Built natively with
// AddressSanitizer and UndefinedBehaviorSanitizer, so memory errors, leaks on
// the failure paths and undefined behaviour are found as well as broken
// invariants (which abort).
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/manifest.h"
#include "base/text/wide_text.h"
#include "base/xconfig/xconfig.h"
#include "base/xconfig/xconfig_writer.h"
#include "fuzz/awkward_tree.h"
#include "fuzz/fuzz_support.h"

namespace {
// Lookups scan the children from the start, so only this many of each
// element's children are looked up by name: the checks stay linear.
constexpr uint32_t kLookedUp = 16;

// The position among all children of the element `found`, which must be one.
uint32_t PositionOf(const XElement* element, const XBaseItem* found) {
  const List<XBaseItem*>& children = element->Children();
  for (uint32_t i = 0; i < children.Num(); ++i) {
    if (children[i] == found) return i;
  }
  Check(false, "a child of its element");
  return 0;
}

bool SameName(const XBaseItem* item, const wchar_t* name) {
  const wchar_t* own = item->Name().Text();
  return WCompareNoCase(own ? own : L"", name ? name : L"") == 0;
}

void CheckElement(const XElement* element, const XConfig& config, uint32_t depth, uint32_t seed) {
  Check(depth <= XConfig::kMaxDepth, "nesting deeper than the limit");
  Check(element->Config() == &config, "element of another document");
  const List<XBaseItem*>& children = element->Children();
  uint32_t elements = 0;
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    const wchar_t* name = child->Name().Text();
    if (child->Kind() == XBaseItem::kElement) {
      const XElement* sub = static_cast<const XElement*>(child);
      Check(sub->Parent() == element, "parent link");
      Check(element->ElementAt(elements++) == sub, "ElementAt in order");
      if (i < kLookedUp) {
        // The first element of this name stands at or before this one.
        const XElement* first = element->FindElement(name ? name : L"");
        Check(first && PositionOf(element, first) <= i && SameName(first, name), "FindElement");
      }
      CheckElement(sub, config, depth + 1, seed * 31 + i);
    } else {
      Check(child->Kind() == XBaseItem::kDataItem, "kind");
      if (i < kLookedUp) {
        const XDataItem* first = element->FindDataItem(name);
        Check(first && PositionOf(element, first) <= i && SameName(first, name), "FindDataItem");
        element->IntValue(name, 7);
      }
    }
  }
  Check(element->ElementCount() == elements, "ElementCount");
  Check(element->ElementAt(elements) == nullptr, "ElementAt past the end");
  // Jumps in both directions from wherever the cursor stands.
  for (uint32_t step = 0; elements && step < 4; ++step) {
    uint32_t index = (seed >> (step * 8)) % elements;
    const XElement* found = element->ElementAt(index);
    Check(found != nullptr, "ElementAt below the count");
    uint32_t before = 0;
    for (uint32_t i = 0, position = PositionOf(element, found); i < position; ++i) {
      before += children[i]->Kind() == XBaseItem::kElement;
    }
    Check(before == index, "ElementAt jump lands on its index");
  }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseDefaultAlloc();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);  // terminated; decoding stops at a zero anyway
  XConfig config;
  if (!config.OpenText(text.c_str(), L"fuzz.xconfig")) {
    Check(config.RootElement() == nullptr && config.FileName().IsEmpty(), "a failed parse leaves nothing open");
    return 0;
  }
  const XElement* root = config.RootElement();
  Check(root && root->Parent() == nullptr && WCompare(root->Name(), L"Root") == 0, "the root");
  uint32_t seed = size >= 4 ? data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24 : 0;
  CheckElement(root, config, 0, seed);

  Utf8Text written;
  if (WriteXConfigText(root, &written)) {
    XConfig back;
    Check(back.OpenText(written.c_str(), nullptr), "a written tree parses");
    Check(SameXTree(root, back.RootElement()), "a written tree reads back the same");
  } else {
    Check(awkward_tree::TreeMayBeUnwritable(root), "the writer refused a tree that the format can carry");
  }

  FileEntryArray entries;
  ManifestInfo info;
  if (ReadUpdateManifest(root, &entries, &info)) {
    Check(entries.size() == root->FindElement(L"FileList")->ElementCount(), "one entry per file element");
  } else {
    Check(entries.empty() && info.version.IsEmpty(), "a failed manifest read leaves its outputs alone");
  }
  return 0;
}
