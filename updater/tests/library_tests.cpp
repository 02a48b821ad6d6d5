#include <gtest/gtest.h>

#include <typeinfo>

#include "base/memory/default_alloc.h"
#include "base/memory/fast_alloc.h"
#include "base/memory/library.h"
#include "base/system/log.h"
#include "base/text/wide_string.h"
#include "tests/child_process.h"

TEST(Library, AllocatorChosenByNameIgnoringCase) {
  struct Case {
    const wchar_t* name;
    const std::type_info& type;
  };
  for (const Case& c : {Case{L"debugALLOC", typeid(DebugAlloc)}, Case{L"DefaultAlloc", typeid(DefaultAlloc)},
                        Case{L"SERIOUSMEMORYDEBUGGINGALLOC", typeid(SeriousMemoryDebuggingAlloc)},
                        Case{L"FastAlloc", typeid(FastAlloc)}, Case{L"DebugAlloc2", typeid(FastAlloc)},
                        Case{nullptr, typeid(FastAlloc)}}) {
    Alloc* alloc = CreateAllocByName(c.name);
    EXPECT_EQ(typeid(*alloc), c.type) << (c.name ? "named" : "none");
    delete alloc;
  }
}

TEST(Library, StartsOnlyOnce) {
  // The test program started the library on DefaultAlloc; a second start
  // through the shared entry path keeps it.
  ASSERT_TRUE(IsLibraryStarted());
  Alloc* before = CurrentAlloc();
  EXPECT_FALSE(StartLibraryOnce(L"FastAlloc"));
  EXPECT_EQ(CurrentAlloc(), before);
  EXPECT_EQ(typeid(*CurrentAlloc()), typeid(DefaultAlloc));
}

CHILD_SCENARIO(leaks_at_stop) {
  StartLibraryOnce(L"FastAlloc");
  new String(L"leaked on purpose");
  MemAlloc(100);
  MemAlloc(5000);
  MemAlloc(300000);
  StopLibrary();
  return FastAlloc::RegionsHeld() == 0 && !IsLibraryStarted() && !CurrentAlloc() ? 0 : 1;
}

TEST(Library, StopReportsLeaksOnceAndReleasesThem) {
  TempFolder folder;
  EXPECT_EQ(RunChild("leaks_at_stop", folder), 0u);
  std::string log = ReadFileBytes(folder.File(L"XT.log"));
  const std::string line = "Memory Leaks Were Detected.\r\n";
  size_t first = log.find(line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(line, first + 1), std::string::npos) << log;
  // Written as a log line: stamped, and its own line end gets a stamp too.
  EXPECT_EQ(log.size(), 3 + 10 + line.size() + 10 + 2) << log;
}
