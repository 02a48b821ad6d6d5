#include "base/xconfig/xconfig.h"

#include <vector>

#include "base/text/wide_text.h"

namespace {
// Where a value ends: at a line feed at the top level and in elements opened
// there, at a comma or closing brace inside an anonymous block.
enum class Mode { kLine, kBrace };

constexpr wchar_t kIdeographicSpace = 0x3000;

bool IsSeparator(wchar_t ch) {
  return ch == L' ' || ch == kIdeographicSpace || ch == L'\t' || ch == L'\r' || ch == L'\n' || ch == L',';
}

// Skipped between a colon and its value; line ends are not, so an element's
// brace must stand on the line of its name.
bool IsBlank(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == kIdeographicSpace; }

bool IsTerminator(wchar_t ch, Mode mode) {
  return mode == Mode::kLine ? ch == L'\n' : (ch == L',' || ch == L'}');
}

String Trimmed(const wchar_t* begin, const wchar_t* end) {
  WTrimRange(&begin, &end);
  return String(begin, static_cast<uint32_t>(end - begin));
}

// Recursive descent over the decoded text, which it may change in place where
// it has already been read (escapes are resolved there).
//
// The children of the elements being read wait on one stack and go to their
// element in one piece when its block ends, so a long list costs one
// allocation instead of one reallocation per child.
class Parser {
public:
  Parser(wchar_t* text, XElementSink* sink) : m_p(text), m_sink(sink) {}

  // Parses the whole text into `root`. False for invalid text; whatever was
  // read belongs to the tree then too.
  bool ParseDocument(XElement* root) { return ParseElement(root, 0, Mode::kLine); }

private:
  // Parses the content of `element` and hands it its children, also when the
  // parse fails, so that every item made has its owner.
  bool ParseElement(XElement* element, uint32_t depth, Mode mode) {
    size_t first = m_pending.size();
    bool parsed = ParseBlock(element, depth, mode);
    element->AddItems(m_pending.data() + first, static_cast<uint32_t>(m_pending.size() - first));
    m_pending.resize(first);
    return parsed;
  }

  // Reads the entries found where names are expected, up to the closing
  // brace of the block (left unread) or the end of the text.
  bool ParseBlock(XElement* element, uint32_t depth, Mode mode) {
    if (depth > XConfig::kMaxDepth) return false;
    for (;;) {
      wchar_t ch = *m_p;
      if (ch == 0) return depth == 0;
      if (ch == L'}') return depth > 0;
      if (ch == L'{') {
        // An anonymous block: its entries belong to this element.
        ++m_p;
        if (!ParseBlock(element, depth + 1, Mode::kBrace)) return false;
        ++m_p;
      } else if (IsSeparator(ch)) {
        ++m_p;
      } else if (!ParseEntry(element, depth, mode)) {
        return false;
      }
    }
  }

  // One "name : body" entry, from its first character up to and including
  // its value terminator (a closing brace stays unread: it closes the block).
  bool ParseEntry(XElement* element, uint32_t depth, Mode mode) {
    bool quoted = *m_p == L'"';
    String name;
    if (quoted) name = QuotedString();  // what follows it up to the colon is ignored
    wchar_t* colon = Find(m_p, [](wchar_t ch) { return ch == L':'; });
    if (!*colon) return false;
    if (!quoted) name = Trimmed(m_p, colon);
    m_p = colon + 1;
    while (IsBlank(*m_p)) ++m_p;

    if (*m_p == L'{') {
      ++m_p;
      XElement* child = new XElement(name, element->Config(), element);
      m_pending.push_back(child);
      if (!ParseElement(child, depth + 1, mode)) return false;
      ++m_p;
      if (m_sink && m_sink->Consume(child)) {
        // Its children have gone to it: it is the last one waiting.
        m_pending.pop_back();
        delete child;
      }
      return true;
    }

    String value;
    wchar_t* end;
    auto terminates = [mode](wchar_t ch) { return IsTerminator(ch, mode); };
    if (*m_p == L'"') {
      value = QuotedString();
      end = Find(m_p, terminates);  // what stands before the terminator is ignored
      // Only the top level accepts a quoted value that the text ends.
      if (!*end && depth > 0) return false;
    } else {
      end = Find(m_p, terminates);
      if (!*end) return false;
      const wchar_t* last = end;
      if (last > m_p && last[-1] == L'\r') --last;
      value = Trimmed(m_p, last);
    }
    m_pending.push_back(new XDataItem(name, value));
    m_p = end;
    if (*m_p && *m_p != L'}') ++m_p;
    return true;
  }

  // The first character from `p` on that satisfies `match`, or the terminator.
  template <typename Match>
  static wchar_t* Find(wchar_t* p, Match match) {
    while (*p && !match(*p)) ++p;
    return p;
  }

  // Reads a quoted string at the opening quote and moves behind its closing
  // quote. The string ends at the first quote not preceded by a backslash, or
  // preceded by two. Without a closing quote it is empty and the rest of the
  // text is consumed.
  String QuotedString() {
    wchar_t* start = m_p + 1;
    wchar_t* close = start;
    // The opening quote stands before `start`, so close[-1] and, after a
    // backslash, close[-2] stay inside the text.
    while (*close && !(*close == L'"' && (close[-1] != L'\\' || close[-2] == L'\\'))) ++close;
    if (!*close) {
      m_p = close;
      return String();
    }
    m_p = close + 1;
    // Resolve the escapes in place: the result is never longer.
    wchar_t* out = start;
    for (const wchar_t* in = start; in < close; ++in) {
      if (*in != L'\\') {
        *out++ = *in;
        continue;
      }
      if (in + 1 == close) break;  // a trailing backslash is dropped
      wchar_t escaped = *++in;
      switch (escaped) {
        case L'"': *out++ = L'"'; break;
        case L'\\': *out++ = L'\\'; break;
        case L'/': *out++ = L'/'; break;
        case L'n': *out++ = L'\n'; break;
        case L'r': *out++ = L'\r'; break;
        case L't': *out++ = L'\t'; break;
        default:
          *out++ = L'\\';
          *out++ = escaped;
      }
    }
    return String(start, static_cast<uint32_t>(out - start));
  }

  wchar_t* m_p;
  XElementSink* m_sink;
  std::vector<XBaseItem*, LibraryAllocator<XBaseItem*>> m_pending;
};

// An item's name against a looked-up name; an empty item name is "".
bool NameMatches(const XBaseItem* item, const wchar_t* name) {
  const wchar_t* own = item->Name().Text();
  return WCompareNoCase(own ? own : L"", name) == 0;
}
}  // namespace

XBaseItem::~XBaseItem() = default;

XDataItem::~XDataItem() = default;

XElement::XElement(const String& name, XConfig* config, XElement* parent)
    : XBaseItem(name, kElement), m_config(config), m_parent(parent) {}

XElement::~XElement() {
  for (uint32_t i = 0; i < m_children.Num(); ++i) delete m_children[i];
}

XElement* XElement::FindElement(const wchar_t* name) const {
  if (!name) return nullptr;
  for (uint32_t i = 0; i < m_children.Num(); ++i) {
    XBaseItem* child = m_children[i];
    if (child->Kind() == kElement && NameMatches(child, name)) return static_cast<XElement*>(child);
  }
  return nullptr;
}

XDataItem* XElement::FindDataItem(const wchar_t* name) const {
  if (!name) name = L"";
  for (uint32_t i = 0; i < m_children.Num(); ++i) {
    XBaseItem* child = m_children[i];
    if (child->Kind() == kDataItem && NameMatches(child, name)) return static_cast<XDataItem*>(child);
  }
  return nullptr;
}

XElement* XElement::ElementAt(uint32_t index) const {
  if (index >= m_elementCount) return nullptr;
  uint32_t element = 0;
  uint32_t child = 0;
  if (index >= m_cursorElement) {
    element = m_cursorElement;
    child = m_cursorChild;
  }
  // `element` elements stand before position `child`, and one at `index` follows.
  for (;; ++child) {
    XBaseItem* item = m_children[child];
    if (item->Kind() != kElement) continue;
    if (element == index) {
      m_cursorElement = element;
      m_cursorChild = child;
      return static_cast<XElement*>(item);
    }
    ++element;
  }
}

uint32_t XElement::IntValue(const wchar_t* name, uint32_t defaultValue) const {
  const XDataItem* item = FindDataItem(name);
  if (!item) return defaultValue;
  const wchar_t* value = item->Value().Text();
  if (!value) return 0;
  if (value[0] == L'0' && (value[1] == L'x' || value[1] == L'X')) return WToUnsigned(value + 2, 16);
  if (WCompareNoCase(value, L"true") == 0) return 1;
  if (WCompareNoCase(value, L"false") == 0) return 0;
  return WToUnsigned(value, 0);
}

XElement* XElement::AddElement(const String& name) {
  XElement* element = new XElement(name, m_config, this);
  AddItem(element);
  return element;
}

void XElement::AddItem(XBaseItem* item) { AddItems(&item, 1); }

void XElement::AddItems(XBaseItem* const* items, uint32_t count) {
  if (count == 0) return;
  uint32_t first = m_children.Num();
  m_children.SetSize(first + count);
  for (uint32_t i = 0; i < count; ++i) {
    m_children[first + i] = items[i];
    if (items[i]->Kind() == kElement) ++m_elementCount;
  }
}

wchar_t* XConfig::Decode(const char* text) {
  // Editors often save UTF-8 with a byte-order mark; it is no part of the first name.
  if (text && static_cast<unsigned char>(text[0]) == 0xEF && static_cast<unsigned char>(text[1]) == 0xBB &&
      static_cast<unsigned char>(text[2]) == 0xBF) {
    text += 3;
  }
  return Utf8ToWide(text ? text : "");
}

bool XConfig::OpenText(const char* text, const wchar_t* path, XElementSink* sink) {
  Close();
  return OpenWide(Decode(text), path, sink);
}

bool XConfig::OpenWide(wchar_t* wide, const wchar_t* path, XElementSink* sink) {
  m_root = new XElement(L"Root", this, nullptr);
  m_fileName = path;
  bool parsed = Parser(wide, sink).ParseDocument(m_root);
  MemFree(wide);
  if (!parsed) Close();
  return parsed;
}

void XConfig::Close() {
  delete m_root;
  m_root = nullptr;
  m_fileName = nullptr;
}

bool XConfig::IsOpenAs(const wchar_t* path) const {
  if (!m_root) return false;
  if (m_fileName.IsEmpty()) return !path || !*path;
  return WCompareNoCase(m_fileName, path) == 0;
}
