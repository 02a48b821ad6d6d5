// Paths as Windows resolves them.
#pragma once

#include "base/text/wide_string.h"

// The full path that Windows makes of `path`: the current folder or drive
// prefixed where needed, "." and ".." applied, "/" read as "\", trailing dots
// and spaces of the last component dropped, a device name as "\\.\NAME".
// Empty when Windows makes none (an empty or overlong path). Any length.
String FullPathOf(const String& path);
