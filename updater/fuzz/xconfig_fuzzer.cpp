// libFuzzer target (ASan + UBSan): parses any bytes as XConfig, checks the
// tree's invariants, writes it back and reads the same tree from that text,
// and reads it as an update manifest.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "base/text/wide_text.h"
#include "base/xconfig/xconfig.h"
#include "base/xconfig/xconfig_writer.h"
#include "fuzz/awkward_tree.h"
#include "fuzz/fuzz_support.h"

namespace {
// Only this many children of each element are looked up by name: the checks stay linear.
constexpr uint32_t kLookedUp = 16;

bool SameName(const XBaseItem* item, const wchar_t* name) {
  const wchar_t* own = item->Name().Text();
  return WCompareNoCase(own ? own : L"", name ? name : L"") == 0;
}

// Links, counts and positional access of every element; a lookup by name finds
// the first child of that name, at or before the named one.
void CheckElement(const XElement* element, const XConfig& config, uint32_t depth) {
  Check(depth <= XConfig::kMaxDepth, "nesting deeper than the limit");
  Check(element->Config() == &config, "element of another document");
  const List<XBaseItem*>& children = element->Children();
  uint32_t elements = 0;
  std::vector<const XElement*> subs;
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    const wchar_t* name = child->Name().Text();
    const bool isElement = child->Kind() == XBaseItem::kElement;
    if (isElement) {
      const XElement* sub = static_cast<const XElement*>(child);
      Check(sub->Parent() == element, "parent link");
      Check(element->ElementAt(elements++) == sub, "ElementAt in order");
      subs.push_back(sub);
      CheckElement(sub, config, depth + 1);
    }
    if (i >= kLookedUp) continue;
    const XBaseItem* first = isElement ? static_cast<const XBaseItem*>(element->FindElement(name ? name : L""))
                                       : element->FindDataItem(name);
    Check(first && first->Kind() == child->Kind() && SameName(first, name), "lookup by name");
    uint32_t position = 0;
    while (children[position] != first && position < i) ++position;
    Check(children[position] == first, "the first of the name");
    if (!isElement) element->IntValue(name, 7);
  }
  Check(element->ElementCount() == elements, "ElementCount");
  Check(element->ElementAt(elements) == nullptr, "ElementAt past the end");
  // Backwards from wherever the cursor stands.
  for (uint32_t index = elements; index-- > 0;) Check(element->ElementAt(index) == subs[index], "ElementAt backwards");
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
  CheckElement(root, config, 0);

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
  const bool manifest = ReadUpdateManifest(root, &entries, &info);
  if (manifest) {
    Check(entries.size() == root->FindElement(L"FileList")->ElementCount(), "one entry per file element");
  } else {
    Check(entries.empty() && info.version.IsEmpty(), "a failed manifest read leaves its outputs alone");
  }
  // The updater reads the files while parsing: the same outcome.
  ManifestEntrySink sink;
  XConfig streamed;
  FileEntryArray streamedEntries;
  ManifestInfo streamedInfo;
  Check(streamed.OpenText(text.c_str(), nullptr, &sink), "the text parses with a sink");
  Check(sink.Finish(streamed.RootElement(), &streamedEntries, &streamedInfo) == manifest, "the sink reads as the tree");
  Check(streamedEntries.size() == entries.size() && WCompare(Text(streamedInfo.version), Text(info.version)) == 0,
        "the sink reads the entries of the tree");
  for (size_t i = 0; i < entries.size() && i < streamedEntries.size(); ++i) {
    Check(WCompare(Text(streamedEntries[i].name), Text(entries[i].name)) == 0 &&
              WCompare(Text(streamedEntries[i].hash), Text(entries[i].hash)) == 0 &&
              streamedEntries[i].size == entries[i].size,
          "the sink's entries in the tree's order");
  }
  return 0;
}
