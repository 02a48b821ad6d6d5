// ScopedObject<Traits>: the one owner of a platform object, move-only, with a
// traits type per kind of object that says what owns nothing and how the
// object is given back:
//
//   struct SomeTraits {
//     using Type = ...;                   // the object as the platform names it
//     static Type Empty();                // the value that owns nothing
//     static bool IsValid(Type object);   // whether `object` must be given back
//     static void Free(Type object);      // gives it back
//   };
//
// The traits of a kind live with the code that uses the kind, so this header
// needs no platform header.
#pragma once

#include <cstdint>

// The calling thread's last system error (GetLastError on Windows, errno
// natively) and setting it: giving an object back keeps it, so that the
// cleanup on a failure path never overwrites the reason for the failure.
uint32_t ThreadLastError();
void SetThreadLastError(uint32_t error);

// The traits of a kind whose zero value owns nothing (handles as pointers or
// numbers): derive and add Free.
template <typename Object>
struct ZeroIsEmpty {
  using Type = Object;
  static Type Empty() { return Type(); }
  static bool IsValid(Type object) { return object != Type(); }
};

template <typename Traits>
class ScopedObject {
public:
  using Type = typename Traits::Type;

  ScopedObject() = default;
  explicit ScopedObject(Type object) : m_object(object) {}
  ~ScopedObject() { Reset(); }
  ScopedObject(const ScopedObject&) = delete;
  ScopedObject& operator=(const ScopedObject&) = delete;
  ScopedObject(ScopedObject&& other) noexcept : m_object(other.Release()) {}
  ScopedObject& operator=(ScopedObject&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  // Gives the held object back, if any, and takes `object` instead. The
  // thread's last error is the same afterwards.
  void Reset(Type object = Traits::Empty()) {
    Type previous = m_object;
    m_object = object;
    if (!Traits::IsValid(previous)) return;
    const uint32_t error = ThreadLastError();
    Traits::Free(previous);
    SetThreadLastError(error);
  }
  // Gives up ownership without giving the object back and returns it.
  Type Release() {
    Type object = m_object;
    m_object = Traits::Empty();
    return object;
  }
  Type Get() const { return m_object; }
  bool IsValid() const { return Traits::IsValid(m_object); }

private:
  Type m_object = Traits::Empty();
};
