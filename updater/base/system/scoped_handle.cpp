#include "base/system/scoped_handle.h"

#include <windows.h>

void ScopedHandle::Reset(void* handle) {
  if (IsValid()) CloseHandle(m_handle);
  m_handle = handle;
}

void* ScopedHandle::Release() {
  void* handle = m_handle;
  m_handle = nullptr;
  return handle;
}

bool ScopedHandle::IsValid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
