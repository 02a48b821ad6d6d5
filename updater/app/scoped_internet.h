// Owner of a WinHTTP handle (session, connection or request), without
// <winhttp.h> in the header.
#pragma once

// Closes its handle when destroyed. None counts as no handle.
class ScopedInternetHandle {
public:
  ScopedInternetHandle() = default;
  explicit ScopedInternetHandle(void* handle) : m_handle(handle) {}
  ~ScopedInternetHandle();
  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;

  void* Get() const { return m_handle; }
  bool IsValid() const { return m_handle != nullptr; }

private:
  void* m_handle = nullptr;
};
