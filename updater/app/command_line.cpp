#include "app/command_line.h"

#include "base/text/wide_text.h"

bool ReadClientPathArgument(int argc, const wchar_t* const* argv, String* clientPath) {
  const wchar_t* value = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (WCompareNoCase(argv[i], L"-path") != 0) continue;
    if (i + 1 >= argc) return false;
    value = argv[i + 1];
  }
  if (WLength(value) == 0) return false;
  *clientPath = value;
  return true;
}
