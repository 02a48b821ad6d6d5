#include "base/xconfig/xconfig_writer.h"

#include "base/text/wide_text.h"

namespace {
constexpr wchar_t kIdeographicSpace = 0x3000;
constexpr wchar_t kByteOrderMark = 0xFEFF;
constexpr char kLineEnd[] = "\r\n";

// What the reader trims from both ends of bare names and values.
bool IsTrimmed(wchar_t ch) { return ch == L' ' || ch == L'\t' || ch == 0x4E02; }

// Control characters are always quoted: bare ones would end lines or vanish
// among the separators, and escaped ones stay visible.
bool IsControl(wchar_t ch) { return ch < 0x20 || ch == 0x7F; }

bool HasControlOrColon(const String& text, bool colonCounts) {
  for (uint32_t i = 0; i < text.Length(); ++i) {
    wchar_t ch = text.Text()[i];
    if (IsControl(ch) || (colonCounts && ch == L':')) return true;
  }
  return false;
}

// Whether the reader, where it expects a name, reads `name` back bare: it
// skips separators and takes quotes and braces as syntax before a name, ends
// the name at the first colon, trims both ends, and drops a byte-order mark
// at the start of the text.
bool IsBareName(const String& name) {
  if (name.IsEmpty()) return false;
  wchar_t first = name.Text()[0];
  wchar_t last = name.Text()[name.Length() - 1];
  if (first == L'"' || first == L'{' || first == L'}' || first == L',' || first == kIdeographicSpace ||
      first == kByteOrderMark || IsTrimmed(first) || IsTrimmed(last)) {
    return false;
  }
  return !HasControlOrColon(name, true);
}

// Whether the reader reads `value` back bare after "name : ": it skips blanks
// after the colon, takes a quote or a brace as syntax, ends the value at the
// line end and trims both ends.
bool IsBareValue(const String& value) {
  if (value.IsEmpty()) return false;
  wchar_t first = value.Text()[0];
  wchar_t last = value.Text()[value.Length() - 1];
  if (first == L'"' || first == L'{' || first == kIdeographicSpace || IsTrimmed(first) || IsTrimmed(last)) {
    return false;
  }
  return !HasControlOrColon(value, false);
}

// Writes `text` between double quotes with the reader's escapes. The reader
// ends a quoted string at a quote after two backslashes, so an escaped
// backslash cannot stand before an escaped quote: such text is refused.
bool AppendQuoted(const String& text, Utf8Text* out) {
  const wchar_t* p = text.Text();
  uint32_t length = text.Length();
  out->push_back('"');
  uint32_t run = 0;  // start of the characters that need no escape
  for (uint32_t i = 0; i < length; ++i) {
    const char* escape;
    switch (p[i]) {
      case L'"': escape = "\\\""; break;
      case L'\\':
        if (i + 1 < length && p[i + 1] == L'"') return false;
        escape = "\\\\";
        break;
      case L'\n': escape = "\\n"; break;
      case L'\r': escape = "\\r"; break;
      case L'\t': escape = "\\t"; break;
      case 0: return false;  // the reader's text ends at a zero
      default: continue;
    }
    if (!AppendUtf8(p + run, i - run, out)) return false;
    out->append(escape);
    run = i + 1;
  }
  if (!AppendUtf8(p + run, length - run, out)) return false;
  out->push_back('"');
  return true;
}

bool AppendName(const String& name, Utf8Text* out) {
  if (IsBareName(name)) return AppendUtf8(name.Text(), name.Length(), out);
  return AppendQuoted(name, out);
}

bool AppendValue(const String& value, Utf8Text* out) {
  if (IsBareValue(value)) return AppendUtf8(value.Text(), value.Length(), out);
  return AppendQuoted(value, out);
}

// Writes the children of `element`, whose content the reader parses at
// nesting `depth`.
bool AppendChildren(const XElement* element, uint32_t depth, Utf8Text* out, const XBaseItem** unwritable) {
  const List<XBaseItem*>& children = element->Children();
  for (uint32_t i = 0; i < children.Num(); ++i) {
    const XBaseItem* child = children[i];
    out->append(depth, '\t');
    if (!AppendName(child->Name(), out)) {
      *unwritable = child;
      return false;
    }
    if (child->Kind() == XBaseItem::kElement) {
      if (depth + 1 > XConfig::kMaxDepth) return false;
      out->append(" : {");
      out->append(kLineEnd);
      if (!AppendChildren(static_cast<const XElement*>(child), depth + 1, out, unwritable)) return false;
      out->append(depth, '\t');
      out->push_back('}');
    } else {
      out->append(" : ");
      if (!AppendValue(static_cast<const XDataItem*>(child)->Value(), out)) {
        *unwritable = child;
        return false;
      }
    }
    out->append(kLineEnd);
  }
  return true;
}

bool SameText(const String& a, const String& b) {
  if (a.Length() != b.Length()) return false;
  for (uint32_t i = 0; i < a.Length(); ++i) {
    if (a.Text()[i] != b.Text()[i]) return false;
  }
  return true;
}
}  // namespace

bool AppendUtf8(const wchar_t* text, uint32_t length, Utf8Text* out) {
  for (uint32_t i = 0; i < length; ++i) {
    uint32_t code = static_cast<uint16_t>(text[i]);
    if (code >= 0xD800 && code <= 0xDFFF) {
      uint32_t low = i + 1 < length ? static_cast<uint16_t>(text[i + 1]) : 0;
      if (code > 0xDBFF || low < 0xDC00 || low > 0xDFFF) return false;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    }
    if (code < 0x80) {
      out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out->push_back(static_cast<char>(0xC0 | (code >> 6)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out->push_back(static_cast<char>(0xE0 | (code >> 12)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out->push_back(static_cast<char>(0xF0 | (code >> 18)));
      out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return true;
}

bool DecodeUtf8Exactly(const char* utf8, String* text) {
  if (!utf8) return false;
  uint32_t length = 0;
  wchar_t* wide = Utf8ToWide(utf8, &length);
  Utf8Text back;
  bool exact = AppendUtf8(wide, length, &back) && back == utf8;
  if (exact) *text = String(wide, length);
  MemFree(wide);
  return exact;
}

bool WriteXConfigText(const XElement* root, Utf8Text* out, const XBaseItem** unwritable) {
  size_t before = out->size();
  const XBaseItem* offender = nullptr;
  if (AppendChildren(root, 0, out, &offender)) return true;
  out->resize(before);
  if (unwritable) *unwritable = offender;
  return false;
}

bool SameXTree(const XElement* a, const XElement* b) {
  const List<XBaseItem*>& left = a->Children();
  const List<XBaseItem*>& right = b->Children();
  if (left.Num() != right.Num()) return false;
  for (uint32_t i = 0; i < left.Num(); ++i) {
    const XBaseItem* x = left[i];
    const XBaseItem* y = right[i];
    if (x->Kind() != y->Kind() || !SameText(x->Name(), y->Name())) return false;
    if (x->Kind() == XBaseItem::kElement) {
      if (!SameXTree(static_cast<const XElement*>(x), static_cast<const XElement*>(y))) return false;
    } else if (!SameText(static_cast<const XDataItem*>(x)->Value(), static_cast<const XDataItem*>(y)->Value())) {
      return false;
    }
  }
  return true;
}
