// Per-class message maps: each window class lists the messages it handles in
// a constant table, chained to its base class's table. A message goes to the
// first matching entry, the class's own entries before its base's, in map
// order; an unmatched message goes to the window's default procedure.
//
// A class declares DECLARE_MESSAGE_MAP() and defines its table with
//   BEGIN_MESSAGE_MAP(Class, Base)
//     ON_WM_CLOSE()
//     ON_MESSAGE(WM_APP, &Class::OnSomething)
//   END_MESSAGE_MAP()
// The tables are constant data: no start-up code builds them.
#pragma once

#include <windows.h>

#include <cstdint>

class CDC;
class CWnd;

// The old combined control-colour message; one map entry for it receives every
// WM_CTLCOLOR* message, with the control kind (CTLCOLOR_EDIT, ...) as argument.
constexpr UINT WM_CTLCOLOR = 0x0019;

// How a handler takes its arguments; set from the handler's type.
enum class MessageSignature : uint8_t {
  kEnd,             // end of a table
  kVoid,            // void ()
  kMessage,         // LRESULT (WPARAM, LPARAM): the raw message
  kEraseBackground, // BOOL (CDC*): WM_ERASEBKGND
  kQueryCursor,     // HCURSOR (): WM_QUERYDRAGICON
  kControlColor,    // HBRUSH (CDC*, CWnd* control, UINT control kind): WM_CTLCOLOR
  kMouse,           // void (UINT key flags, POINT client position): mouse moves and buttons
  kSetCursor,       // BOOL (CWnd* window under the cursor, UINT hit test, UINT mouse message)
};

struct MessageMapEntry {
  // The end of a table.
  constexpr MessageMapEntry() : message(0), code(0), id(0), signature(MessageSignature::kEnd), handler() {}
  constexpr MessageMapEntry(UINT msg, UINT notifyCode, UINT controlId, void (CWnd::*fn)())
      : message(msg), code(notifyCode), id(controlId), signature(MessageSignature::kVoid), handler(fn) {}
  constexpr MessageMapEntry(UINT msg, LRESULT (CWnd::*fn)(WPARAM, LPARAM))
      : message(msg), code(0), id(0), signature(MessageSignature::kMessage), handler(fn) {}
  constexpr MessageMapEntry(UINT msg, BOOL (CWnd::*fn)(CDC*))
      : message(msg), code(0), id(0), signature(MessageSignature::kEraseBackground), handler(fn) {}
  constexpr MessageMapEntry(UINT msg, HCURSOR (CWnd::*fn)())
      : message(msg), code(0), id(0), signature(MessageSignature::kQueryCursor), handler(fn) {}
  constexpr MessageMapEntry(UINT msg, HBRUSH (CWnd::*fn)(CDC*, CWnd*, UINT))
      : message(msg), code(0), id(0), signature(MessageSignature::kControlColor), handler(fn) {}
  constexpr MessageMapEntry(UINT msg, void (CWnd::*fn)(UINT, POINT))
      : message(msg), code(0), id(0), signature(MessageSignature::kMouse), handler(fn) {}
  constexpr MessageMapEntry(UINT msg, BOOL (CWnd::*fn)(CWnd*, UINT, UINT))
      : message(msg), code(0), id(0), signature(MessageSignature::kSetCursor), handler(fn) {}

  UINT message;  // WM_COMMAND entries also match `code` and `id`
  UINT code;
  UINT id;
  MessageSignature signature;
  // The handler, as a member of CWnd; `signature` names the active member.
  union Handler {
    constexpr Handler() : onVoid(nullptr) {}
    constexpr Handler(void (CWnd::*fn)()) : onVoid(fn) {}
    constexpr Handler(LRESULT (CWnd::*fn)(WPARAM, LPARAM)) : onMessage(fn) {}
    constexpr Handler(BOOL (CWnd::*fn)(CDC*)) : onEraseBackground(fn) {}
    constexpr Handler(HCURSOR (CWnd::*fn)()) : onQueryCursor(fn) {}
    constexpr Handler(HBRUSH (CWnd::*fn)(CDC*, CWnd*, UINT)) : onControlColor(fn) {}
    constexpr Handler(void (CWnd::*fn)(UINT, POINT)) : onMouse(fn) {}
    constexpr Handler(BOOL (CWnd::*fn)(CWnd*, UINT, UINT)) : onSetCursor(fn) {}

    void (CWnd::*onVoid)();
    LRESULT (CWnd::*onMessage)(WPARAM, LPARAM);
    BOOL (CWnd::*onEraseBackground)(CDC*);
    HCURSOR (CWnd::*onQueryCursor)();
    HBRUSH (CWnd::*onControlColor)(CDC*, CWnd*, UINT);
    void (CWnd::*onMouse)(UINT, POINT);
    BOOL (CWnd::*onSetCursor)(CWnd*, UINT, UINT);
  } handler;
};

// One class's table and the way to its base class's table (none for the root).
struct MessageMap {
  const MessageMap* (*base)();
  const MessageMapEntry* entries;  // ends with a kEnd entry
};

#define DECLARE_MESSAGE_MAP()                  \
protected:                                     \
  static const MessageMap* GetThisMessageMap(); \
  const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                     \
  const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const MessageMap* theClass::GetThisMessageMap() {                                \
    using ThisClass [[maybe_unused]] = theClass;                                   \
    using TheBaseClass = baseClass;                                                \
    static constexpr MessageMapEntry kEntries[] = {
#define END_MESSAGE_MAP()                                                       \
  MessageMapEntry()                                                             \
  }                                                                             \
  ;                                                                             \
  static constexpr MessageMap kMap = {&TheBaseClass::GetThisMessageMap, kEntries}; \
  return &kMap;                                                                 \
  }

// The handler's member pointer as one of CWnd; the static_cast also checks
// its signature.
#define FRAMEWORK_HANDLER(type, fn) static_cast<type>(fn)

// Entries. Handlers keep the names these messages' handlers usually have.
#define ON_WM_PAINT() {WM_PAINT, 0, 0, FRAMEWORK_HANDLER(void (CWnd::*)(), &ThisClass::OnPaint)},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, FRAMEWORK_HANDLER(void (CWnd::*)(), &ThisClass::OnClose)},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, FRAMEWORK_HANDLER(HCURSOR (CWnd::*)(), &ThisClass::OnQueryDragIcon)},
#define ON_WM_ERASEBKGND() {WM_ERASEBKGND, FRAMEWORK_HANDLER(BOOL (CWnd::*)(CDC*), &ThisClass::OnEraseBkgnd)},
#define ON_WM_CTLCOLOR() \
  {WM_CTLCOLOR, FRAMEWORK_HANDLER(HBRUSH (CWnd::*)(CDC*, CWnd*, UINT), &ThisClass::OnCtlColor)},
#define ON_WM_MOUSEMOVE() {WM_MOUSEMOVE, FRAMEWORK_HANDLER(void (CWnd::*)(UINT, POINT), &ThisClass::OnMouseMove)},
#define ON_WM_LBUTTONDOWN() \
  {WM_LBUTTONDOWN, FRAMEWORK_HANDLER(void (CWnd::*)(UINT, POINT), &ThisClass::OnLButtonDown)},
#define ON_WM_LBUTTONUP() {WM_LBUTTONUP, FRAMEWORK_HANDLER(void (CWnd::*)(UINT, POINT), &ThisClass::OnLButtonUp)},
#define ON_WM_SETCURSOR() \
  {WM_SETCURSOR, FRAMEWORK_HANDLER(BOOL (CWnd::*)(CWnd*, UINT, UINT), &ThisClass::OnSetCursor)},
// Any message, handled raw (user messages, WM_MOUSEHOVER, WM_MOUSELEAVE).
#define ON_MESSAGE(message, fn) {message, FRAMEWORK_HANDLER(LRESULT (CWnd::*)(WPARAM, LPARAM), fn)},
// A command from a menu item, accelerator or control `id` (button clicks).
#define ON_COMMAND(id, fn) {WM_COMMAND, BN_CLICKED, id, FRAMEWORK_HANDLER(void (CWnd::*)(), fn)},
#define ON_BN_CLICKED(id, fn) ON_COMMAND(id, fn)
