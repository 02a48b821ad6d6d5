// The XConfig writer: its text, and trees written and read back (both builds;
// the Windows build reads through the platform's UTF-8 decoding).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "base/xconfig/xconfig.h"
#include "base/xconfig/xconfig_writer.h"
#include "fuzz/awkward_tree.h"
#include "tests/test_support.h"

namespace {
class XConfigWriterTest : public ::testing::Test {
protected:
  void SetUp() override { m_tree.OpenText(nullptr, nullptr); }

  XElement* Root() { return m_tree.RootElement(); }

  static void Add(XElement* element, const String& name, const String& value) {
    element->AddItem(new XDataItem(name, value));
  }

  // Writes the tree; empty when the writer refuses it.
  std::string Written() {
    Utf8Text text;
    return WriteXConfigText(Root(), &text) ? std::string(text.c_str()) : std::string();
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

// Awkward texts from the characters the format treats specially, each used as
// a name and as a value.
const wchar_t* const kAwkward[] = {
    L"",
    L"C:\\Program Files\\app.exe",  // colon and backslashes
    L"{brace",
    L"}brace",
    L"a{b}c",
    L"\"quoted\"",
    L"say \"hi\"",
    L"ends with \\",
    L"\\\\server\\share",
    L" leading blank",
    L"trailing blank ",
    L"\ttab\t",
    L"line\nfeed",
    L"carriage\r",
    L"\r\n",
    L",comma",
    L"\x3000ideographic",
    L"\x4E02trimmed\x4E02",
    L"\xFEFFmark",
    L"caf\xE9 \x4E2D\x6587 \xD83D\xDE00",
    L"\\n is no line feed",
    L"\\/",
    L"\x01\x7F",
    L"a : b : c",
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
  EXPECT_EQ(Written(),
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

TEST_F(XConfigWriterTest, AwkwardNamesAndValuesReadBack) {
  XElement* element = Root()->AddElement(L"e");
  for (const wchar_t* name : kAwkward) {
    for (const wchar_t* value : kAwkward) Add(Root(), name, value);
    element = element->AddElement(name);  // nested too, each level named awkwardly
    Add(element, name, name);
  }
  ExpectRoundTrip();
  // No byte-order mark, even before a first name that starts with one.
  XConfig reordered;
  reordered.OpenText(nullptr, nullptr);
  reordered.RootElement()->AddElement(L"\xFEFF" L"first");
  Utf8Text text;
  ASSERT_TRUE(WriteXConfigText(reordered.RootElement(), &text));
  EXPECT_EQ(text[0], '"');
  XConfig back;
  ASSERT_TRUE(back.OpenText(text.c_str(), nullptr));
  EXPECT_TRUE(SameXTree(reordered.RootElement(), back.RootElement()));
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
      {L"a:\\\"", 4, true},    {L" \\\"", 3, false},       {L"zero\0here", 9, false},
      {L"\xD83D", 1, true},    {L"x\xDE00y", 3, false},    {L"\xD83Dz", 2, true},
  };
  for (const auto& refused : kRefused) {
    XConfig tree;
    tree.OpenText(nullptr, nullptr);
    String odd(refused.units, refused.length);
    Add(tree.RootElement(), L"first", L"fine");
    if (refused.asName) {
      Add(tree.RootElement(), odd, L"v");
    } else {
      Add(tree.RootElement(), L"n", odd);
    }
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

TEST_F(XConfigWriterTest, RandomAwkwardTreesReadBack) {
  std::mt19937 random(20240610);
  int written = 0;
  for (int round = 0; round < 300; ++round) {
    XConfig tree;
    tree.OpenText(nullptr, nullptr);
    int left = 400;
    awkward_tree::Build(
        tree.RootElement(), [&]() { return left-- > 0 ? static_cast<int>(random() & 0xFF) : -1; }, 60, 6, false);
    Utf8Text text;
    if (!WriteXConfigText(tree.RootElement(), &text)) {
      EXPECT_TRUE(awkward_tree::TreeMayBeUnwritable(tree.RootElement())) << "round " << round;
      continue;
    }
    ++written;
    XConfig back;
    ASSERT_TRUE(back.OpenText(text.c_str(), nullptr)) << "round " << round << ":\n" << text.c_str();
    ASSERT_TRUE(SameXTree(tree.RootElement(), back.RootElement())) << "round " << round << ":\n" << text.c_str();
  }
  EXPECT_GT(written, 200);  // refusals stay rare
}

TEST_F(XConfigWriterTest, SameXTreeSeesEveryDifference) {
  auto build = [](XConfig* tree, int variant) {
    tree->OpenText(nullptr, nullptr);
    XElement* element = tree->RootElement()->AddElement(variant == 1 ? L"E" : L"e");
    element->AddItem(new XDataItem(L"k", variant == 2 ? L"w" : L"v"));
    if (variant == 3) element->AddItem(new XDataItem(L"k", L"v"));
    if (variant == 4) {
      element->AddElement(L"k");
    } else {
      element->AddItem(new XDataItem(L"k", L""));
    }
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
  for (const char* invalid : {"\xFF", "a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
    String untouched(L"untouched");
    EXPECT_FALSE(DecodeUtf8Exactly(invalid, &untouched)) << invalid;
    EXPECT_EQ(Utf8(untouched), "untouched");
  }
}
