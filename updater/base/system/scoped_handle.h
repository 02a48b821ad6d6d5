// Owner of a Win32 kernel handle (files, processes, threads, events), without
// <windows.h> in the header.
#pragma once

// Closes its handle when destroyed or reset. Both none and the invalid-handle
// value count as no handle.
class ScopedHandle {
public:
  ScopedHandle() = default;
  explicit ScopedHandle(void* handle) : m_handle(handle) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  // Closes the held handle and takes `handle` instead.
  void Reset(void* handle = nullptr);
  // Gives up ownership and returns the handle.
  void* Release();
  void* Get() const { return m_handle; }
  bool IsValid() const;

private:
  void* m_handle = nullptr;
};
