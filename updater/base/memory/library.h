// Process-wide start and stop of the utility library.
#pragma once

#include <cstdint>

class Alloc;

// Sets the system timer resolution to 1 ms and reads the system information.
// Runs before StartLibrary (FastAlloc takes the page size from it).
void InitSystemInfo();
// The system page size from the system information (read now if needed).
uint32_t SystemPageSize();

// Destroys the installed allocator, if any (as StopLibrary does), and installs
// the one named by `allocatorName` (see CreateAllocByName).
void StartLibrary(const wchar_t* allocatorName);
// Unless the library is started does nothing. Otherwise replaces the allocator
// by a temporary DefaultAlloc while destroying it (its leak report needs one),
// leaves no allocator installed, clears the started flag, closes the log for
// good and restores the timer resolution.
void StopLibrary();
// The way both entry points start the library: unless the started flag is set,
// InitSystemInfo, StartLibrary and set the flag. True when this call started it.
bool StartLibraryOnce(const wchar_t* allocatorName);

// The library-initialised flag (false at load).
bool IsLibraryStarted();
void SetLibraryStarted(bool started);

// Creates, on the C run-time heap, the allocator for a name compared ignoring
// ASCII case: "DebugAlloc", "DefaultAlloc" and "SeriousMemoryDebuggingAlloc"
// name those classes; anything else, none included, gives a FastAlloc.
Alloc* CreateAllocByName(const wchar_t* name);
