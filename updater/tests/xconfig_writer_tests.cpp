// The XConfig writer: its text, what it refuses, and the tree comparison the fuzz targets rely on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/xconfig/xconfig.h"
#include "base/xconfig/xconfig_writer.h"
#include "tests/test_support.h"

namespace {
class XConfigWriterTest : public ::testing::Test {
protected:
  void SetUp() override { m_tree.OpenText(nullptr, nullptr); }
  XElement* Root() { return m_tree.RootElement(); }
  static void Add(XElement* element, const String& name, const String& value) {
    element->AddItem(new XDataItem(name, value));
  }
  // Writes the tree, reads the text back and compares.
  void ExpectRoundTrip() {
    Utf8Text text;
    ASSERT_TRUE(WriteXConfigText(Root(), &text));
    XConfig back;
    ASSERT_TRUE(back.OpenText(text.c_str(), nullptr)) << text.c_str();
    EXPECT_TRUE(SameXTree(Root(), back.RootElement())) << text.c_str();
  }
  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
  XConfig m_tree;
};
}  // namespace

TEST_F(XConfigWriterTest, ManifestTextIsBareWhereItCanBe) {
  XElement* baseInfo = Root()->AddElement(L"BaseInfo");
  Add(baseInfo, L"Version", L"1.4.0.12");
  Add(baseInfo, L"BaseUrl", L"https://cdn.example:8443/pc/");
  XElement* fileList = Root()->AddElement(L"FileList");
  XElement* file = fileList->AddElement(L"plugins\\chat {x}.dll");
  Add(file, L"Hash", L"a9993e364706816aba3e25717850c26c9cd0d89d");
  Add(file, L"Size", L"");
  fileList->AddElement(L" lead");
  Add(Root(), L"note:", L"\"x\"");
  Utf8Text text;
  ASSERT_TRUE(WriteXConfigText(Root(), &text));
  EXPECT_EQ(std::string(text.c_str()),
            "BaseInfo : {\r\n"
            "\tVersion : 1.4.0.12\r\n"
            "\tBaseUrl : https://cdn.example:8443/pc/\r\n"
            "}\r\n"
            "FileList : {\r\n"
            "\tplugins\\chat {x}.dll : {\r\n"
            "\t\tHash : a9993e364706816aba3e25717850c26c9cd0d89d\r\n"
            "\t\tSize : \"\"\r\n"
            "\t}\r\n"
            "\t\" lead\" : {\r\n"
            "\t}\r\n"
            "}\r\n"
            "\"note:\" : \"\\\"x\\\"\"\r\n");
  ExpectRoundTrip();
}

TEST_F(XConfigWriterTest, RefusesWhatTheFormatCannotCarry) {
  // A bare name may hold a backslash before a quote; a quoted text may not.
  Add(Root(), L"a\\\"b", L"c\\\"d");
  ExpectRoundTrip();
  Utf8Text text("kept");
  const struct {
    const wchar_t* units;
    uint32_t length;
    bool asName;
  } kRefused[] = {
      {L"a:\\\"", 4, true}, {L" \\\"", 3, false}, {L"zero\0here", 9, false},
      {L"x\xDE00y", 3, false}, {L"\xD83Dz", 2, true},
  };
  for (const auto& refused : kRefused) {
    XConfig tree;
    tree.OpenText(nullptr, nullptr);
    const String odd(refused.units, refused.length);
    Add(tree.RootElement(), L"first", L"fine");
    Add(tree.RootElement(), refused.asName ? odd : String(L"n"), refused.asName ? String(L"v") : odd);
    const XBaseItem* unwritable = nullptr;
    EXPECT_FALSE(WriteXConfigText(tree.RootElement(), &text, &unwritable)) << Utf8(odd);
    EXPECT_EQ(std::string(text.c_str()), "kept");
    EXPECT_EQ(unwritable, tree.RootElement()->Children()[1]);
  }
  // Nesting: as deep as the reader reads, and not one level more.
  XElement* deepest = Root();
  for (uint32_t depth = 0; depth < XConfig::kMaxDepth; ++depth) deepest = deepest->AddElement(L"d");
  ExpectRoundTrip();
  deepest->AddElement(L"too deep");
  const XBaseItem* unwritable = Root();
  EXPECT_FALSE(WriteXConfigText(Root(), &text, &unwritable));
  EXPECT_EQ(unwritable, nullptr);
}

// The fuzz targets' tree comparison sees a changed name, value, item count and kind.
TEST_F(XConfigWriterTest, SameXTreeSeesEveryDifference) {
  auto build = [](XConfig* tree, int variant) {
    tree->OpenText(nullptr, nullptr);
    XElement* element = tree->RootElement()->AddElement(variant == 1 ? L"E" : L"e");
    Add(element, L"k", variant == 2 ? L"w" : L"v");
    if (variant == 3) Add(element, L"k", L"v");
    if (variant == 4) element->AddElement(L"k");
  };
  XConfig base;
  build(&base, 0);
  for (int variant = 0; variant <= 4; ++variant) {
    XConfig other;
    build(&other, variant);
    EXPECT_EQ(SameXTree(base.RootElement(), other.RootElement()), variant == 0) << variant;
  }
}

TEST(Utf8Text, EncodesPairsAndDecodesOnlyValidText) {
  Utf8Text bytes;
  EXPECT_TRUE(AppendUtf8(L"a\xE9\x4E2D\xD83D\xDE00", 5, &bytes));
  EXPECT_EQ(std::string(bytes.c_str()), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  String text;
  ASSERT_TRUE(DecodeUtf8Exactly(bytes.c_str(), &text));
  EXPECT_EQ(Utf8(text), std::string(bytes.c_str()));
  for (const char* invalid : {"a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    EXPECT_FALSE(DecodeUtf8Exactly(invalid, &text)) << invalid;
    EXPECT_EQ(Utf8(text), std::string(bytes.c_str()));  // untouched
  }
}
