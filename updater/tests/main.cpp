// Test entry: GoogleTest, or one child scenario when started with "--child NAME" (Windows build).
#include <gtest/gtest.h>

#include <cstring>

#include "base/memory/default_alloc.h"
#if defined(_WIN32)
#include "base/memory/library.h"
#include "tests/child_process.h"
#endif

namespace {
// The library runs on DefaultAlloc, so that tests may build their own FastAlloc (process-wide tables).
class LibraryEnvironment : public ::testing::Environment {
#if defined(_WIN32)
  void SetUp() override { StartLibraryOnce(L"DefaultAlloc"); }
  void TearDown() override { StopLibrary(); }
#else
  void SetUp() override { SetCurrentAlloc(&m_alloc); }
  void TearDown() override { SetCurrentAlloc(nullptr); }
  DefaultAlloc m_alloc;
#endif
};
}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return RunChildScenario(argv[2]);
  EndOnCrash();  // a crashing test fails its run instead of holding it in the debugger
#endif
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);
  return RUN_ALL_TESTS();
}
