// The native build's last error is errno.
#include "base/system/scoped_object.h"

#include <cerrno>

uint32_t ThreadLastError() { return static_cast<uint32_t>(errno); }

void SetThreadLastError(uint32_t error) { errno = static_cast<int>(error); }
