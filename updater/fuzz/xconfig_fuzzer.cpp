// libFuzzer target (ASan + UBSan): parses any bytes as XConfig, checks the
// tree's invariants, writes it back and reads the same tree from that text,
// and reads it as an update manifest, from the tree and while parsing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/manifest.h"
#include "base/text/wide_text.h"
#include "base/xconfig/xconfig_writer.h"
#include "fuzz/fuzz_support.h"

namespace {
// Links, counts and positional access of every element; a lookup by name finds the first child of that name
// (only the first 16 children are looked up, so that the checks stay linear).
void CheckElement(const XElement* element, const XConfig& config, uint32_t depth) {
  Check(depth <= XConfig::kMaxDepth && element->Config() == &config, "nesting limit and owning document");
  const List<XBaseItem*>& children = element->Children();
  std::vector<const XElement*> subs;
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    const wchar_t* name = Text(child->Name());
    const bool isElement = child->Kind() == XBaseItem::kElement;
    if (isElement) {
      subs.push_back(static_cast<const XElement*>(child));
      Check(subs.back()->Parent() == element, "parent link");
      Check(element->ElementAt(static_cast<uint32_t>(subs.size() - 1)) == subs.back(), "ElementAt in order");
      CheckElement(subs.back(), config, depth + 1);
    }
    if (i >= 16) continue;
    const XBaseItem* first = isElement ? static_cast<const XBaseItem*>(element->FindElement(name))
                                       : element->FindDataItem(child->Name().Text());
    Check(first && first->Kind() == child->Kind() && WCompareNoCase(Text(first->Name()), name) == 0, "lookup");
    uint32_t position = 0;
    while (children[position] != first && position < i) ++position;
    Check(children[position] == first, "the first of the name");
    if (!isElement) element->IntValue(child->Name().Text(), 7);
  }
  Check(element->ElementCount() == subs.size() && !element->ElementAt(static_cast<uint32_t>(subs.size())), "count");
  // Backwards from wherever the cursor stands.
  for (uint32_t index = static_cast<uint32_t>(subs.size()); index-- > 0;) {
    Check(element->ElementAt(index) == subs[index], "ElementAt backwards");
  }
}

// Whether two reads of a manifest agree: the release and every entry's name, digest and size, in order.
bool SameRead(const FileEntryArray& a, const ManifestInfo& infoA, const FileEntryArray& b, const ManifestInfo& infoB) {
  bool same = a.size() == b.size() && WCompare(Text(infoA.version), Text(infoB.version)) == 0;
  for (size_t i = 0; same && i < a.size(); ++i) {
    same = WCompare(Text(a[i].name), Text(b[i].name)) == 0 && WCompare(Text(a[i].hash), Text(b[i].hash)) == 0 &&
           a[i].size == b[i].size;
  }
  return same;
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
  XConfig back;
  if (WriteXConfigText(root, &written)) {
    Check(back.OpenText(written.c_str(), nullptr) && SameXTree(root, back.RootElement()), "reads back the same");
  } else {
    Check(awkward_tree::TreeMayBeUnwritable(root), "the writer refused a tree that the format can carry");
  }

  FileEntryArray entries, streamedEntries;
  ManifestInfo info, streamedInfo;
  const bool manifest = ReadUpdateManifest(root, &entries, &info);
  Check(manifest ? entries.size() == root->FindElement(L"FileList")->ElementCount()
                 : entries.empty() && info.version.IsEmpty(),
        "one entry per file element; a failed read leaves its outputs alone");
  // The updater reads the files while parsing: the same outcome.
  ManifestEntrySink sink;
  XConfig streamed;
  Check(streamed.OpenText(text.c_str(), nullptr, &sink), "the text parses with a sink");
  Check(sink.Finish(streamed.RootElement(), &streamedEntries, &streamedInfo) == manifest, "the sink's outcome");
  Check(SameRead(streamedEntries, streamedInfo, entries, info), "the sink's entries, in order");
  return 0;
}
