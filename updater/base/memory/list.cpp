#include "base/memory/list.h"

#include <cxxabi.h>

#include <cstdlib>

#include "base/system/log.h"

void ListIndexOutOfRange(const std::type_info& elementType, uint32_t index) {
  int status = 0;
  // The demangler allocates with malloc; this path ends the process anyway.
  char* readable = abi::__cxa_demangle(elementType.name(), nullptr, nullptr, &status);
  RaiseFatal(L"Out of range!  List<%S>::operator[](%u)", readable ? readable : elementType.name(), index);
}
