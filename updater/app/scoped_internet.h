// Owner of a WinHTTP handle (session, connection or request), without
// <winhttp.h> in the header.
#pragma once

#include "base/system/scoped_object.h"

// None owns nothing.
struct InternetHandleTraits : ZeroIsEmpty<void*> {
  static void Free(Type handle);  // WinHttpCloseHandle
};
using ScopedInternetHandle = ScopedObject<InternetHandleTraits>;
