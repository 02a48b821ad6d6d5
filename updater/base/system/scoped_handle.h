// Owners of the system's handles and memory blocks that the library and the
// program hold, without <windows.h> in the header: kernel handles (files,
// processes, threads, events, snapshots), file searches, local memory
// (HLOCAL) and OLE strings (BSTR). Each gives its object back when it ends.
#pragma once

#include <cstdint>

#include "base/system/scoped_object.h"

// A kernel handle: both none and the invalid-handle value own nothing.
struct KernelHandleTraits {
  using Type = void*;
  static Type Empty() { return nullptr; }
  static bool IsValid(Type handle) { return handle && handle != reinterpret_cast<Type>(intptr_t{-1}); }
  static void Free(Type handle);  // CloseHandle
};
using ScopedHandle = ScopedObject<KernelHandleTraits>;

// A search of FindFirstFileW: the invalid-handle value owns nothing.
struct FindHandleTraits {
  using Type = void*;
  static Type Empty() { return reinterpret_cast<Type>(intptr_t{-1}); }
  static bool IsValid(Type handle) { return handle != Empty(); }
  static void Free(Type handle);  // FindClose
};
using ScopedFind = ScopedObject<FindHandleTraits>;

// A block of local memory, such as CommandLineToArgvW's or FormatMessageW's.
struct LocalMemoryTraits : ZeroIsEmpty<void*> {
  static void Free(Type block);  // LocalFree
};
using ScopedLocalMemory = ScopedObject<LocalMemoryTraits>;

// An OLE string (BSTR) of SysAllocString.
struct BstrTraits : ZeroIsEmpty<wchar_t*> {
  static void Free(Type text);  // SysFreeString
};
using ScopedBstr = ScopedObject<BstrTraits>;
