#include "base/system/scoped_object.h"

#include <windows.h>

uint32_t ThreadLastError() { return GetLastError(); }

void SetThreadLastError(uint32_t error) { SetLastError(error); }
