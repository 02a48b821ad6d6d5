// List<T>: the library's growable array with no spare capacity.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <typeinfo>
#include <utility>

#include "base/memory/alloc.h"

// Ends the process through RaiseFatal with "Out of range!  List<name>::operator[](index)",
// naming the element type as the run-time type information demangles it.
[[noreturn]] void ListIndexOutOfRange(const std::type_info& elementType, uint32_t index);

// An array of exactly Num() elements from the current allocator; every change
// reallocates it. Elements are moved by reallocation, so T must be trivially
// relocatable (pointers, plain records, String). A List of pointers does not own
// what they point to; a List<String> owns its strings. A zero-filled List is a
// valid empty list.
template <typename T>
class List {
public:
  List() = default;
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  ~List() { Clear(); }

  // Appends a copy of `item` (which may be an element of this list).
  void Add(const T& item) {
    T copy(item);
    Resize(m_num + 1);
    new (&m_array[m_num]) T(std::move(copy));
    ++m_num;
  }

  // Returns false when `size` is the current size. 0 destroys and frees every
  // element; shrinking destroys the dropped elements; growing adds zero-filled
  // slots.
  bool SetSize(uint32_t size) {
    if (size == m_num) return false;
    if (size == 0) {
      Clear();
      return true;
    }
    for (uint32_t i = size; i < m_num; ++i) m_array[i].~T();
    uint32_t old = m_num < size ? m_num : size;
    Resize(size);
    std::memset(static_cast<void*>(m_array + old), 0, sizeof(T) * (size - old));
    m_num = size;
    return true;
  }

  // Destroys every element in order and frees the array.
  void Clear() {
    for (uint32_t i = 0; i < m_num; ++i) m_array[i].~T();
    MemFree(m_array);
    m_array = nullptr;
    m_num = 0;
  }

  // Element `index`; an index not below Num() is fatal.
  T& operator[](uint32_t index) {
    if (index >= m_num) ListIndexOutOfRange(typeid(T), index);
    return m_array[index];
  }
  const T& operator[](uint32_t index) const {
    if (index >= m_num) ListIndexOutOfRange(typeid(T), index);
    return m_array[index];
  }

  uint32_t Num() const { return m_num; }
  // The array, or none when the list is empty.
  T* Array() { return m_array; }
  const T* Array() const { return m_array; }

private:
  void Resize(uint32_t count) {
    m_array = static_cast<T*>(MemRealloc(m_array, uint64_t{sizeof(T)} * count));
  }

  T* m_array = nullptr;
  uint32_t m_num = 0;
};
