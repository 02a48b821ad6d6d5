// The XConfig grammar, lookups and number reading, on text (both builds).
#include <gtest/gtest.h>

#include <string>

#include "base/xconfig/xconfig.h"
#include "tests/test_support.h"

namespace {
// The tree below `element`: data items as name="value", elements as name{children}, separated by spaces.
std::string Dump(const XElement* element) {
  std::string out;
  const List<XBaseItem*>& children = element->Children();
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    out += (i ? " " : "") + Utf8(Text(child->Name()));
    if (child->Kind() == XBaseItem::kElement) {
      out += '{' + Dump(static_cast<const XElement*>(child)) + '}';
    } else {
      out += "=\"" + Utf8(Text(static_cast<const XDataItem*>(child)->Value())) + '"';
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
  std::string Parse(const std::string& text) {
    if (!m_config.OpenText(text.c_str(), L"test.xconfig")) {
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

// One tiny document per rule of the grammar, and its tree.
TEST_F(XConfigTest, Grammar) {
  const std::string deep = std::string(XConfig::kMaxDepth, '{') + std::string(XConfig::kMaxDepth, '}');
  const struct {
    std::string text;
    const char* tree;
  } kCases[] = {
      {"", ""},
      // Line mode: a value runs to the line's end; a CR before the LF never reaches it.
      {"BaseInfo : {\nVersion : 1.0.3\n}\n", "BaseInfo{Version=\"1.0.3\"}"},
      {"a : b\r\nc : d\r \n", "a=\"b\" c=\"d\r\""},
      // Space, tab and U+4E02 are trimmed; the ideographic space only between entries and after the colon.
      {u8"\t \u4e02a b\u4e02 :\u3000 v \t\u4e02\n", u8"a b=\"v\""},
      {u8"a : v\u3000\n", u8"a=\"v\u3000\""},
      {"a\nb : c\n", "a\nb=\"c\""},  // a name runs to the next colon
      // The last line needs its line feed unless its value is quoted.
      {"a : b", "<rejected>"},
      {"a : \"b\"  trailing", "a=\"b\""},
      // Inside braces values end at a comma or brace, not at a line feed.
      {"k : v }\n", "k=\"v }\""},
      {"{ a : 1\r, b : \"x\" skipped, c : }", "a=\"1\" b=\"x\" c=\"\""},
      {"{ a : { b : 1, c : \"x\" }, d : 2 }\n", "a{b=\"1\" c=\"x\"} d=\"2\""},
      {"e : { { a : 1 } b : 2\n}\n", "e{a=\"1\" b=\"2\"}"},
      {"url : { UpdaterConfigeUrl : x }\n", "<rejected>"},
      {"url : { UpdaterConfigeUrl : x }\n}\n", "url{UpdaterConfigeUrl=\"x }\"}"},
      // Quotes and escapes; two backslashes before a quote end the string.
      {"\"a:b\" ignored : c\n", "a:b=\"c\""},
      {"\"k\" : \"\\\" \\\\ \\/ \\n \\r \\t \\q\"\n", "k=\"\" \\ / \n \r \t \\q\""},
      {"a : \"x\\\\\" tail\nb : \"y\\\\\\\" tail\n", "a=\"x\\\" b=\"y\\\""},
      {"a : \"abc\nb : c\n", "a=\"\""},  // an unclosed string is empty and takes the rest
      {"e : {\na : \"abc\n}\n", "<rejected>"},
      // Unbalanced braces, a name without a value, too deep.
      {"}\n", "<rejected>"},
      {"abc\n", "<rejected>"},
      {"e : {\n{ a : 1 }\n", "<rejected>"},
      {deep, ""},
      {"e : {" + deep + "}\n", "<rejected>"},
      // Only a leading byte-order mark is skipped; bad UTF-8 decodes to U+FFFD.
      {"\xEF\xBB\xBF" "a : 1\n\xEF\xBB\xBF" "b : 2\n", u8"a=\"1\" \ufeffb=\"2\""},
      {"a : \xC3\x28\n", u8"a=\"\ufffd(\""},
  };
  for (const auto& c : kCases) EXPECT_EQ(Parse(c.text), c.tree) << c.text;
  // A rejected document replaces an open one: nothing stays open (checked in Parse).
  EXPECT_EQ(Parse("a : 1\n"), "a=\"1\"");
  EXPECT_EQ(Parse("a : 1"), "<rejected>");
}

// Lookups fold only ASCII letters and take the first match; elements are counted among interleaved items.
TEST_F(XConfigTest, LookupsAndElements) {
  Parse(u8"Version : 1\nVERSION : 2\nversion : { }\n\u00c9 : 3\n : empty\ne1 : {\n}\nc : 3\ne2 : {\n}\n");
  EXPECT_EQ(Utf8(Root()->FindDataItem(L"vErSiOn")->Value()), "1");
  const XElement* element = Root()->FindElement(L"VERSION");  // data items are not elements
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->Parent(), Root());
  EXPECT_EQ(Root()->FindDataItem(L"\x00e9"), nullptr);
  EXPECT_EQ(Root()->FindDataItem(L"Versio"), nullptr);
  EXPECT_EQ(Utf8(Root()->FindDataItem(nullptr)->Value()), "empty");
  EXPECT_EQ(Root()->FindElement(nullptr), nullptr);
  EXPECT_EQ(Root()->ElementCount(), 3u);
  for (uint32_t i : {2u, 0u, 1u}) {
    EXPECT_EQ(Utf8(Root()->ElementAt(i)->Name()), i ? "e" + std::to_string(i) : "version");
  }
  EXPECT_EQ(Root()->ElementAt(3), nullptr);
  // Children added after a lookup are found too.
  XElement* added = m_config.RootElement()->AddElement(L"e3");
  EXPECT_EQ(Root()->ElementAt(3), added);
}

TEST_F(XConfigTest, IntValue) {
  Parse("hex : 0x1F\nHEX : 0XfF\nhex2 : 0XfF\nt : TRUE\nf : False\no : 010\nx : 12abc\nsp : \"  +42\"\n"
        "neg : -1\nbig : 4294967296\nbare : 0x\n");
  for (auto c : {std::make_pair(L"hex", 31u), std::make_pair(L"HEX", 31u), std::make_pair(L"hex2", 255u),
                 std::make_pair(L"t", 1u), std::make_pair(L"f", 0u), std::make_pair(L"o", 8u),
                 std::make_pair(L"missing", 5u), std::make_pair(L"x", 12u), std::make_pair(L"sp", 42u),
                 std::make_pair(L"neg", ~0u), std::make_pair(L"big", ~0u), std::make_pair(L"bare", 0u)}) {
    EXPECT_EQ(Root()->IntValue(c.first, 5), c.second) << Utf8(c.first);
  }
}
