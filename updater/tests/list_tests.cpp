#include <gtest/gtest.h>

#include "base/memory/list.h"
#include "base/text/wide_string.h"
#include "tests/test_support.h"
#if defined(_WIN32)
#include "base/memory/library.h"
#include "base/system/log.h"
#include "tests/child_process.h"
#endif

struct Probe {
  int value;
};

namespace {
class ListTest : public ::testing::Test {
protected:
  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
};
}  // namespace

// Exactly sized arrays, zeroed new slots, owned strings freed with them, zero-filled library objects.
TEST_F(ListTest, SizesExactlyAndOwnsItsStrings) {
  List<int> ints;
  EXPECT_FALSE(ints.SetSize(0));
  EXPECT_TRUE(ints.SetSize(3));
  EXPECT_EQ(m_alloc.SizeOf(ints.Array()), 3 * sizeof(int));
  ints[1] = 7;
  ints.Add(9);
  EXPECT_EQ(m_alloc.SizeOf(ints.Array()), 4 * sizeof(int));
  EXPECT_EQ(ints[0] + ints[1] + ints[2] + ints[3], 16);
  EXPECT_TRUE(ints.SetSize(0));
  EXPECT_EQ(ints.Array(), nullptr);
  {
    List<String> list;
    list.Add(L"one");
    list.Add(list[0]);  // an element of the list itself, moved by the growth
    EXPECT_EQ(Utf8(list[1]), "one");
    EXPECT_TRUE(list.SetSize(5));  // new slots are empty strings
    EXPECT_EQ(list[4].Length(), 0u);
    EXPECT_TRUE(list.SetSize(1));  // the dropped strings are freed
    EXPECT_EQ(m_alloc.LiveBlocks(), 2u);
    List<Probe*> pointers;  // pointers are not owned
    Probe probe{5};
    pointers.Add(&probe);
    pointers.Clear();
    EXPECT_EQ(probe.value, 5);
  }
  EXPECT_EQ(m_alloc.LiveBlocks(), 0u);
  // Library objects come zero-filled from the current allocator.
  struct Node : LibraryObject {
    int64_t fields[6];
  };
  void* raw = LibraryObject::operator new(sizeof(Node));
  EXPECT_EQ(m_alloc.SizeOf(raw), sizeof(Node));
  for (int64_t field : static_cast<Node*>(raw)->fields) EXPECT_EQ(field, 0);
  LibraryObject::operator delete(raw);
}

#if defined(_WIN32)
CHILD_SCENARIO(list_bad_index) {
  StartLibraryOnce(L"DebugAlloc");
  List<Probe*> probes;
  probes.Add(nullptr);
  WriteLog(L"before");
  probes[1] = nullptr;
  return 0;
}

TEST(ListFatal, BadIndexEndsTheProcessNamingTheElementType) {
  TempFolder folder;
  EXPECT_EQ(RunChild("list_bad_index", folder), kFatalExceptionCode);
  std::string log = ReadFileBytes(folder.File(L"XT.log"));
  EXPECT_NE(log.find(": before\r\n\r\nError: Out of range!  List<Probe*>::operator[](1)\r\n"), std::string::npos)
      << log;
}
#endif
