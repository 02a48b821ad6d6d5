// XConfig: reader of the brace-structured XConfig text format into a tree of
// named elements and data items.
//
// The format, in short: entries "name : value" or "name : { entries }", with
// quoted names and values ("..." with \" \\ \/ \n \r \t escapes). At the top
// level and in named elements a value ends at a line feed (line mode); inside
// an anonymous block "{ ... }" it ends at a comma or a closing brace (brace
// mode). Space, ideographic space, tab, CR, LF and comma separate entries.
// There are no comments. The file is UTF-8; a leading byte-order mark is
// skipped.
//
// Every node and string comes from the current allocator. Nothing here writes
// a file; xconfig_writer.h turns a tree back into text.
#pragma once

#include <cstdint>

#include "base/memory/alloc.h"
#include "base/memory/list.h"
#include "base/text/wide_string.h"

class XConfig;
class XElement;

// Common base of the tree's nodes; owners delete either kind through it.
class XBaseItem : public LibraryObject {
public:
  static constexpr int32_t kDataItem = 0;
  static constexpr int32_t kElement = 1;

  virtual ~XBaseItem();
  XBaseItem(const XBaseItem&) = delete;
  XBaseItem& operator=(const XBaseItem&) = delete;

  // The name as written in the file (may be empty).
  const String& Name() const { return m_name; }
  // Moves the name out, leaving this item's name empty: for readers that turn
  // a large tree into records of their own and discard it.
  String TakeName() { return static_cast<String&&>(m_name); }
  // kDataItem for an XDataItem, kElement for an XElement.
  int32_t Kind() const { return m_kind; }

protected:
  XBaseItem(const String& name, int32_t kind) : m_name(name), m_kind(kind) {}

private:
  String m_name;
  int32_t m_kind;
};

// A named value.
class XDataItem : public XBaseItem {
public:
  XDataItem(const String& name, const String& value) : XBaseItem(name, kDataItem), m_value(value) {}
  ~XDataItem() override;

  // The value text (empty when the file gave none).
  const String& Value() const { return m_value; }
  // Moves the value out, leaving this item's value empty (see TakeName).
  String TakeValue() { return static_cast<String&&>(m_value); }

private:
  String m_value;
};

// A named element holding data items and elements interleaved in file order.
// It owns its children. Names need not be unique; lookups compare names with
// only the letters A to Z folded and return the first match in file order.
class XElement : public XBaseItem {
public:
  XElement(const String& name, XConfig* config, XElement* parent);
  // Deletes every child, then the child list, then the name.
  ~XElement() override;

  // First child element named `name`, or none. A missing `name` finds nothing;
  // an empty one finds only an element with an empty name.
  XElement* FindElement(const wchar_t* name) const;
  // First child data item named `name`, or none. A missing or empty `name`
  // finds a data item with an empty name.
  XDataItem* FindDataItem(const wchar_t* name) const;

  // Number of child elements (data items not counted). Constant time.
  uint32_t ElementCount() const { return m_elementCount; }
  // The child element at `index` among the child elements only, in file
  // order; none when `index` is not below ElementCount(). Walking the indexes
  // upwards costs constant time per call, so reading a list of n elements in
  // order is linear in n; a jump backwards rescans from the start.
  XElement* ElementAt(uint32_t index) const;

  // Reads the value of FindDataItem(name) as an unsigned 32-bit number, or
  // gives `defaultValue` when there is no such item. Empty: 0. "0x"/"0X"
  // prefix: hexadecimal. "true"/"false" (any case): 1/0. Otherwise the C
  // run-time's automatic base (leading blanks, a sign, "0x" hexadecimal,
  // a leading 0 octal, else decimal), stopping at the first character that
  // does not fit; no digits give 0 and overflow gives 0xFFFFFFFF.
  uint32_t IntValue(const wchar_t* name, uint32_t defaultValue) const;

  // Creates a child element belonging to this element's XConfig, appends it
  // and returns it.
  XElement* AddElement(const String& name);
  // Appends `item` (either kind), taking ownership.
  void AddItem(XBaseItem* item);
  // Appends `count` items in order with one reallocation of the child list,
  // taking ownership of each.
  void AddItems(XBaseItem* const* items, uint32_t count);

  // The children in file order.
  const List<XBaseItem*>& Children() const { return m_children; }
  XConfig* Config() const { return m_config; }
  // The enclosing element; none for the root.
  XElement* Parent() const { return m_parent; }

private:
  XConfig* m_config;
  XElement* m_parent;
  List<XBaseItem*> m_children;
  uint32_t m_elementCount = 0;
  // Where the last ElementAt found its element: that element's index among the
  // elements and its position among all children. Children are only ever
  // appended, so the pair stays true.
  mutable uint32_t m_cursorElement = 0;
  mutable uint32_t m_cursorChild = 0;
};

// Sees each element of a document being read as soon as its block ends (its
// children complete, its parent not yet holding it), so that a reader can turn
// a long list into records of its own while the text is parsed instead of
// holding the whole tree at once.
class XElementSink {
public:
  virtual ~XElementSink() = default;
  // True when the reader is done with `element`: the parse deletes it and its
  // parent never holds it. `element` may be changed (its texts taken).
  virtual bool Consume(XElement* element) = 0;
};

// A document: the root element "Root" with the tree read from one file. Kept
// on the stack by its users: open, walk the tree, close. Items stay valid until
// Close. One thread at a time.
class XConfig {
public:
  XConfig() = default;
  ~XConfig() { Close(); }
  XConfig(const XConfig&) = delete;
  XConfig& operator=(const XConfig&) = delete;

  // Reads and parses the file at `path`, creating it empty when it does not
  // exist. When a document is open already: true at once if `path` names the
  // same file (compared ignoring ASCII case; an empty stored name matches an
  // empty or missing `path`), otherwise that document is closed first. The
  // file is opened without sharing and held only during the call. False when
  // the file cannot be opened or read or is not valid XConfig text; nothing is
  // open then. Windows build only.
  bool Open(const wchar_t* path);
  // Open, handing each element to `sink` (none: keeps every element) as its
  // block ends; the file is always read anew. The elements it consumes are
  // not in the tree, also when the parse fails. Windows build only.
  bool Open(const wchar_t* path, XElementSink* sink);

  // Parses zero-terminated UTF-8 `text` (none reads as empty text) as the
  // document of file name `path` (may be none), after closing any open
  // document. False for text that is not valid XConfig; nothing is open then.
  // With a `sink`, each element goes to it as its block ends (see Open).
  bool OpenText(const char* text, const wchar_t* path, XElementSink* sink = nullptr);

  // Deletes the tree and clears the file name. Harmless when nothing is open.
  void Close();

  // The root element, or none while nothing is open.
  XElement* RootElement() const { return m_root; }
  // The file name given to Open (empty while nothing is open).
  const String& FileName() const { return m_fileName; }

  // Deepest nesting of blocks that a document may have; deeper text is
  // rejected, so that untrusted input cannot exhaust the stack.
  static constexpr uint32_t kMaxDepth = 256;

private:
  // The text decoded (UTF-8 without its byte-order mark), from the current
  // allocator; none reads as empty text.
  static wchar_t* Decode(const char* text);
  // OpenText for text decoded already, once the callers have closed what was
  // open, with the elements going to `sink` (may be none): takes ownership of `wide` (from the current allocator),
  // which the parse changes and which is freed before this returns.
  bool OpenWide(wchar_t* wide, const wchar_t* path, XElementSink* sink);
  // True when a document is open under the name `path` (see Open).
  bool IsOpenAs(const wchar_t* path) const;

  XElement* m_root = nullptr;
  String m_fileName;
};
