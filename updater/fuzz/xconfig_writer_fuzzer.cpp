// libFuzzer target: a tree built from the input is written and read back. What
// the writer accepts must read back the same; it refuses only what the format
// cannot carry.
#include <cstddef>
#include <cstdint>

#include "base/xconfig/xconfig_writer.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  UseDefaultAlloc();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses whether unwritable characters may be drawn; trees go past the reader's depth limit.
  size_t position = 1;
  XConfig tree;
  tree.OpenText(nullptr, nullptr);
  awkward_tree::Build(
      tree.RootElement(), [&]() { return position < size ? data[position++] : -1; }, 4096, XConfig::kMaxDepth + 2,
      data[0] & 1);
  Utf8Text text;
  if (!WriteXConfigText(tree.RootElement(), &text)) {
    Check(text.empty(), "a refused tree leaves the output alone");
    Check(awkward_tree::TreeMayBeUnwritable(tree.RootElement()), "refused a tree that the format can carry");
    return 0;
  }
  Check(text.size() < 3 || !(text[0] == '\xEF' && text[1] == '\xBB' && text[2] == '\xBF'), "byte-order mark");
  String decoded;
  Check(DecodeUtf8Exactly(text.c_str(), &decoded), "the text is valid UTF-8");
  XConfig back;
  Check(back.OpenText(text.c_str(), nullptr), "the written text parses");
  Check(SameXTree(tree.RootElement(), back.RootElement()), "the text reads back as the same tree");
  return 0;
}
