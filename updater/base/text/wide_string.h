// String: the library's wide-character (UTF-16) string value.
#pragma once

#include <cstdarg>
#include <cstdint>

// Holds a text pointer (none when empty) and a length. A non-empty string owns a
// buffer of exactly length + 1 characters from the current allocator; every
// change reallocates to the exact size. Copies are deep. A zero-filled String is
// a valid empty string (lists rely on that).
class String {
public:
  String() = default;
  // None or empty text gives the empty string.
  String(const wchar_t* text);  // NOLINT: implicit on purpose, like a literal
  // The first `length` characters of `text` (which need no terminator there).
  String(const wchar_t* text, uint32_t length);
  String(const String& other);
  String(String&& other) noexcept;
  ~String();

  // Decodes zero-terminated UTF-8 (malformed sequences become U+FFFD); none or
  // a conversion of zero characters gives the empty string.
  static String FromUtf8(const char* utf8);
  // printf-style wide format as in the C run-time's wide printf family (%s wide
  // text, %S narrow text). A count of 0 or a formatting failure gives the empty
  // string. Windows build only.
  static String Format(const wchar_t* format, ...);
  static String FormatV(const wchar_t* format, va_list args);

  String& operator=(const wchar_t* text);
  String& operator=(const String& other);
  String& operator=(String&& other) noexcept;
  // Decimal text of `value`, with a leading minus for negatives.
  String& operator=(int32_t value);

  // Appending none or empty text changes nothing.
  String& operator+=(const wchar_t* text);
  String& operator+=(const String& other);
  friend String operator+(const String& left, const wchar_t* right);

  // Characters from iStart up to, not including, iEnd. Unless iStart < length,
  // iEnd <= length and iEnd > iStart, writes a warning to the log and returns
  // the empty string (silently for an empty source).
  String Mid(int32_t iStart, int32_t iEnd) const;
  // 0 frees the buffer; growing pads with zero characters (the visible text
  // stays the same); shrinking cuts the text at `length`.
  void SetLength(uint32_t length);
  // Replaces every occurrence of `find`, left to right, never rescanning the
  // inserted text. Missing `replace` counts as empty; an empty `find` or an
  // empty string changes nothing.
  void ReplaceAll(const wchar_t* find, const wchar_t* replace);

  uint32_t Length() const { return m_length; }
  bool IsEmpty() const { return m_length == 0; }
  // The text, or none when empty.
  const wchar_t* Text() const { return m_text; }
  operator const wchar_t*() const { return m_text; }  // NOLINT: reads like C text

private:
  // Takes ownership of `buffer` (from the current allocator) holding `length`
  // characters; shrinks it to exactly length + 1, or frees it for length 0.
  static String Adopt(wchar_t* buffer, uint32_t length);
  void Assign(const wchar_t* text, uint32_t length);
  void Append(const wchar_t* text, uint32_t length);
  void Release();

  wchar_t* m_text = nullptr;
  uint32_t m_length = 0;
};

// The text of `text` for C text parameters and formats: empty text for the
// empty string, whose Text() is none.
inline const wchar_t* Text(const String& text) { return text.Text() ? text.Text() : L""; }
