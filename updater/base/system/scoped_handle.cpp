#include "base/system/scoped_handle.h"

#include <windows.h>
#include <oleauto.h>

void KernelHandleTraits::Free(Type handle) { CloseHandle(handle); }

void FindHandleTraits::Free(Type handle) { FindClose(handle); }

void LocalMemoryTraits::Free(Type block) { LocalFree(block); }

void BstrTraits::Free(Type text) { SysFreeString(text); }
