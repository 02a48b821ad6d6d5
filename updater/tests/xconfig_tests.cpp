// The XConfig grammar, lookups and number reading, on text (both builds).
#include <gtest/gtest.h>

#include <string>

#include "base/xconfig/xconfig.h"
#include "tests/test_support.h"

namespace {
// The tree below `element` as text: data items as name="value", elements as
// name{children}, separated by spaces.
std::string Dump(const XElement* element) {
  std::string out;
  const List<XBaseItem*>& children = element->Children();
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    if (i) out += ' ';
    out += Utf8(child->Name().Text() ? child->Name().Text() : L"");
    if (child->Kind() == XBaseItem::kElement) {
      out += '{' + Dump(static_cast<const XElement*>(child)) + '}';
    } else {
      const String& value = static_cast<const XDataItem*>(child)->Value();
      out += "=\"" + Utf8(value.Text() ? value.Text() : L"") + '"';
    }
  }
  return out;
}

// Every test checks that the tree of each document goes back to the allocator.
class XConfigTest : public ::testing::Test {
protected:
  void TearDown() override {
    m_config.Close();
    EXPECT_EQ(m_alloc.LiveBlocks(), 0u);
  }

  // The tree of `text` as Dump gives it, or "<rejected>".
  std::string Parse(const char* text) {
    if (!m_config.OpenText(text, L"test.xconfig")) {
      EXPECT_EQ(m_config.RootElement(), nullptr);
      EXPECT_TRUE(m_config.FileName().IsEmpty());
      EXPECT_EQ(m_alloc.LiveBlocks(), 0u) << "the rejected tree must be released";
      return "<rejected>";
    }
    return Dump(m_config.RootElement());
  }

  const XElement* Root() { return m_config.RootElement(); }

  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
  XConfig m_config;
};
}  // namespace

TEST_F(XConfigTest, EmptyAndSeparatorsOnly) {
  EXPECT_EQ(Parse(""), "");
  EXPECT_EQ(Parse(u8" \t\r\n,\u3000,\n"), "");
  ASSERT_NE(Root(), nullptr);
  EXPECT_EQ(Utf8(Root()->Name()), "Root");
  EXPECT_EQ(Root()->Parent(), nullptr);
  EXPECT_EQ(Root()->Config(), &m_config);
  EXPECT_EQ(Utf8(m_config.FileName()), "test.xconfig");
  EXPECT_EQ(Root()->FindElement(L""), nullptr);
  EXPECT_EQ(Root()->ElementAt(0), nullptr);
}

TEST_F(XConfigTest, LineModeEntriesAndElements) {
  EXPECT_EQ(Parse("BaseInfo : {\nVersion : 1.0.3\n}\n"), "BaseInfo{Version=\"1.0.3\"}");
  const XElement* baseInfo = Root()->FindElement(L"BaseInfo");
  ASSERT_NE(baseInfo, nullptr);
  EXPECT_EQ(baseInfo->Parent(), Root());
  EXPECT_EQ(baseInfo->Config(), &m_config);
  EXPECT_EQ(Parse("a:1\nb :\n e : {\n}\nc\t:  x y  \n"), "a=\"1\" b=\"\" e{} c=\"x y\"");
  // A carriage return before the line feed never reaches the value; one elsewhere stays.
  EXPECT_EQ(Parse("a : b\r\nc : d\r \n"), "a=\"b\" c=\"d\r\"");
  // Space, tab and U+4E02 are trimmed from names and values; the ideographic space only
  // between entries and after the colon.
  EXPECT_EQ(Parse(u8"\t \u4e02a b\u4e02 :\u3000 v \t\u4e02\n"), u8"a b=\"v\"");
  EXPECT_EQ(Parse(u8"a : v\u3000\n"), u8"a=\"v\u3000\"");
  // A name runs to the next colon, across line ends.
  EXPECT_EQ(Parse("a\nb : c\n"), "a\nb=\"c\"");
}

TEST_F(XConfigTest, LastLineWithoutLineFeed) {
  EXPECT_EQ(Parse("a : b"), "<rejected>");
  EXPECT_EQ(Parse("a : \"b\""), "a=\"b\"");
  EXPECT_EQ(Parse("a : \"b\"  trailing"), "a=\"b\"");
  EXPECT_EQ(Parse("e : {\na : \"b\""), "<rejected>");
  EXPECT_EQ(Parse("{ a : \"b\""), "<rejected>");
}

TEST_F(XConfigTest, ValueTerminatorsFollowTheMode) {
  EXPECT_EQ(Parse("k : v }\n"), "k=\"v }\"");
  EXPECT_EQ(Parse("{ k : v }"), "k=\"v\"");
  EXPECT_EQ(Parse("{ a : 1, b : 2 }\n"), "a=\"1\" b=\"2\"");
  EXPECT_EQ(Parse("{ a : 1\r, b : \"x\" skipped, c : }"), "a=\"1\" b=\"x\" c=\"\"");
  // Inside an anonymous block line feeds do not end values.
  EXPECT_EQ(Parse("{\na : 1\nb : 2\n}\n"), "a=\"1\nb : 2\n\"");
  // Named elements keep the mode of their block.
  EXPECT_EQ(Parse("{ a : { b : 1, c : \"x\" }, d : 2 }\n"), "a{b=\"1\" c=\"x\"} d=\"2\"");
  EXPECT_EQ(Parse("e : { { a : 1 } b : 2\n}\n"), "e{a=\"1\" b=\"2\"}");
  // The brace on the next line: an empty value, then an anonymous block of the same element.
  EXPECT_EQ(Parse("e :\n{\na : 1,\n}\n"), "e=\"\" a=\"1\"");
  // In line mode a closing brace on the value's line belongs to the value.
  EXPECT_EQ(Parse("url : { UpdaterConfigeUrl : x }\n"), "<rejected>");
  EXPECT_EQ(Parse("url : { UpdaterConfigeUrl : x }\n}\n"), "url{UpdaterConfigeUrl=\"x }\"}");
}

TEST_F(XConfigTest, QuotedNamesAndValues) {
  EXPECT_EQ(Parse("\"a:b\" ignored : c\n"), "a:b=\"c\"");
  EXPECT_EQ(Parse("a : b : c\n"), "a=\"b : c\"");
  EXPECT_EQ(Parse("\"\" : \"\"\n"), "=\"\"");
  EXPECT_EQ(Parse("\"k\" : \"\\\" \\\\ \\/ \\n \\r \\t \\q\"\n"), "k=\"\" \\ / \n \r \t \\q\"");
  // Two backslashes before a quote end the string; a backslash left last is dropped.
  EXPECT_EQ(Parse("a : \"x\\\\\" tail\nb : \"y\\\\\\\" tail\n"), "a=\"x\\\" b=\"y\\\"");
  EXPECT_EQ(Parse("a : \"\\\"\\\\\\\\\\\"\" after\n"), "a=\"\"\\\\\"");
  // Without its closing quote a string is empty and takes the rest of the text.
  EXPECT_EQ(Parse("a : \"abc\nb : c\n"), "a=\"\"");
  EXPECT_EQ(Parse("e : {\na : \"abc\n}\n"), "<rejected>");
  EXPECT_EQ(Parse("\"a : b\n"), "<rejected>");
}

TEST_F(XConfigTest, Rejections) {
  EXPECT_EQ(Parse("}\n"), "<rejected>");
  EXPECT_EQ(Parse("a : 1\n}\n"), "<rejected>");
  EXPECT_EQ(Parse("abc\n"), "<rejected>");
  EXPECT_EQ(Parse("e : {\na : 1\n"), "<rejected>");
  EXPECT_EQ(Parse("e : {\n{ a : 1 }\n"), "<rejected>");
  EXPECT_EQ(Parse("{ a : 1,"), "<rejected>");
  EXPECT_EQ(Parse("{ a : 1"), "<rejected>");
  // A rejected document replaces an open one: nothing stays open.
  EXPECT_EQ(Parse("a : 1\n"), "a=\"1\"");
  EXPECT_EQ(Parse("a : 1"), "<rejected>");
}

TEST_F(XConfigTest, NestingIsLimited) {
  std::string limit(XConfig::kMaxDepth, '{');
  limit += std::string(XConfig::kMaxDepth, '}');
  EXPECT_EQ(Parse(limit.c_str()), "");
  std::string deeper = "e : " + std::string(XConfig::kMaxDepth + 1, '{') + std::string(XConfig::kMaxDepth + 1, '}');
  EXPECT_EQ(Parse(deeper.c_str()), "<rejected>");
}

TEST_F(XConfigTest, ByteOrderMarkAndDecoding) {
  EXPECT_EQ(Parse("\xEF\xBB\xBF" "a : 1\n\xEF\xBB\xBF" "b : 2\n"), u8"a=\"1\" \ufeffb=\"2\"");
  EXPECT_NE(Root()->FindDataItem(L"a"), nullptr);
  EXPECT_EQ(Root()->FindDataItem(L"b"), nullptr);  // only a leading mark is skipped
  EXPECT_EQ(Parse(u8"\u540d : \u503c\n"), u8"\u540d=\"\u503c\"");
  EXPECT_EQ(Parse("a : \xC3\x28\n"), u8"a=\"\ufffd(\"");
}

TEST_F(XConfigTest, LookupsFoldOnlyAsciiLettersAndTakeTheFirst) {
  Parse(u8"Version : 1\nVERSION : 2\nversion : { }\n\u00c9 : 3\n : empty\n\"\" : { }\n");
  const XDataItem* version = Root()->FindDataItem(L"vErSiOn");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(Utf8(version->Value()), "1");
  const XElement* element = Root()->FindElement(L"VERSION");  // data items are not elements
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->Kind(), XBaseItem::kElement);
  EXPECT_EQ(Root()->FindDataItem(L"\x00e9"), nullptr);
  EXPECT_NE(Root()->FindDataItem(L"\x00c9"), nullptr);
  EXPECT_EQ(Root()->FindDataItem(L"Versio"), nullptr);
  // Empty names: a missing name finds an empty-named data item but no element.
  ASSERT_NE(Root()->FindDataItem(nullptr), nullptr);
  EXPECT_EQ(Utf8(Root()->FindDataItem(nullptr)->Value()), "empty");
  EXPECT_EQ(Root()->FindDataItem(L""), Root()->FindDataItem(nullptr));
  EXPECT_EQ(Root()->FindElement(nullptr), nullptr);
  EXPECT_NE(Root()->FindElement(L""), nullptr);
}

TEST_F(XConfigTest, ElementsCountedAmongInterleavedItems) {
  Parse("a : 1\ne0 : {\n}\nb : 2\ne1 : {\n}\ne2 : {\n}\nc : 3\n");
  EXPECT_EQ(Root()->ElementCount(), 3u);
  const char* expected[] = {"e0", "e1", "e2"};
  for (uint32_t i : {0u, 1u, 2u, 2u, 0u, 2u, 1u}) {  // forwards, repeated, backwards
    ASSERT_NE(Root()->ElementAt(i), nullptr) << i;
    EXPECT_EQ(Utf8(Root()->ElementAt(i)->Name()), expected[i]);
  }
  EXPECT_EQ(Root()->ElementAt(3), nullptr);
  EXPECT_EQ(Root()->ElementAt(UINT32_MAX), nullptr);
  // Children added after a lookup are found too.
  XElement* root = m_config.RootElement();
  root->AddItem(new XDataItem(L"d", L"4"));
  XElement* added = root->AddElement(L"e3");
  EXPECT_EQ(added->Parent(), root);
  EXPECT_EQ(added->Config(), &m_config);
  EXPECT_EQ(Root()->ElementCount(), 4u);
  EXPECT_EQ(Root()->ElementAt(3), added);
  EXPECT_EQ(Utf8(Root()->ElementAt(1)->Name()), "e1");
}

TEST_F(XConfigTest, IntValue) {
  Parse("hex : 0x1F\nHEX : 0XfF\nhex2 : 0XfF\nt : TRUE\nf : False\no : 010\ne : \nx : 12abc\nsp : \"  +42\"\n"
        "neg : -1\nbig : 4294967296\nmax : 4294967295\nword : abc\nbare : 0x\nbadoctal : 08\n"
        "q : \"0x10\"\n");
  const XElement* root = Root();
  EXPECT_EQ(root->IntValue(L"hex", 5), 31u);
  EXPECT_EQ(root->IntValue(L"HEX", 5), 31u);  // the first of the name
  EXPECT_EQ(root->IntValue(L"hex2", 5), 255u);
  EXPECT_EQ(root->IntValue(L"t", 5), 1u);
  EXPECT_EQ(root->IntValue(L"f", 5), 0u);
  EXPECT_EQ(root->IntValue(L"o", 5), 8u);
  EXPECT_EQ(root->IntValue(L"e", 5), 0u);
  EXPECT_EQ(root->IntValue(L"missing", 5), 5u);
  EXPECT_EQ(root->IntValue(L"x", 5), 12u);
  EXPECT_EQ(root->IntValue(L"sp", 5), 42u);
  EXPECT_EQ(root->IntValue(L"neg", 5), 0xFFFFFFFFu);
  EXPECT_EQ(root->IntValue(L"big", 5), 0xFFFFFFFFu);
  EXPECT_EQ(root->IntValue(L"max", 5), 0xFFFFFFFFu);
  EXPECT_EQ(root->IntValue(L"word", 5), 0u);
  EXPECT_EQ(root->IntValue(L"bare", 5), 0u);
  EXPECT_EQ(root->IntValue(L"badoctal", 5), 0u);
  EXPECT_EQ(root->IntValue(L"q", 5), 16u);
}
