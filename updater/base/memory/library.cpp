#include "base/memory/library.h"

#include <windows.h>
#include <mmsystem.h>

#include "base/memory/alloc.h"
#include "base/memory/default_alloc.h"
#include "base/memory/fast_alloc.h"
#include "base/system/log.h"
#include "base/text/wide_text.h"

namespace {
// Zero-initialised: UpdateWeb may run in a process that never ran this module's
// start-up code.
bool g_started;
SYSTEM_INFO g_systemInfo;

// Destroys the installed allocator with a temporary DefaultAlloc current, so
// that its leak report has memory; leaves none installed. A FastAlloc must be
// gone before another is built: all FastAlloc state is process-wide.
void DestroyCurrentAlloc() {
  if (!CurrentAlloc()) return;
  Alloc* temporary = new DefaultAlloc;
  delete SetCurrentAlloc(temporary);
  SetCurrentAlloc(nullptr);
  delete temporary;
}
}  // namespace

void InitSystemInfo() {
  timeBeginPeriod(1);
  GetSystemInfo(&g_systemInfo);
}

uint32_t SystemPageSize() {
  if (g_systemInfo.dwPageSize == 0) GetSystemInfo(&g_systemInfo);
  return g_systemInfo.dwPageSize;
}

Alloc* CreateAllocByName(const wchar_t* name) {
  if (WCompareNoCase(name, L"DebugAlloc") == 0) return new DebugAlloc;
  if (WCompareNoCase(name, L"DefaultAlloc") == 0) return new DefaultAlloc;
  if (WCompareNoCase(name, L"SeriousMemoryDebuggingAlloc") == 0) return new SeriousMemoryDebuggingAlloc;
  return new FastAlloc;
}

void StartLibrary(const wchar_t* allocatorName) {
  DestroyCurrentAlloc();
  SetCurrentAlloc(CreateAllocByName(allocatorName));
}

void StopLibrary() {
  if (!g_started) return;
  DestroyCurrentAlloc();
  g_started = false;
  CloseLog();
  timeEndPeriod(1);
}

bool StartLibraryOnce(const wchar_t* allocatorName) {
  if (g_started) return false;
  InitSystemInfo();
  StartLibrary(allocatorName);
  g_started = true;
  return true;
}

bool IsLibraryStarted() { return g_started; }

void SetLibraryStarted(bool started) { g_started = started; }
