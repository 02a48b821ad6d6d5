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

TEST_F(ListTest, SizesExactly) {
  List<int> list;
  EXPECT_EQ(list.Array(), nullptr);
  EXPECT_FALSE(list.SetSize(0));
  EXPECT_EQ(list.Array(), nullptr);
  EXPECT_EQ(m_alloc.LiveBlocks(), 0u);

  EXPECT_TRUE(list.SetSize(3));
  ASSERT_EQ(list.Num(), 3u);
  EXPECT_EQ(m_alloc.SizeOf(list.Array()), 3 * sizeof(int));
  for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(list[i], 0);
  EXPECT_FALSE(list.SetSize(3));

  list[1] = 7;
  list.Add(9);
  EXPECT_EQ(m_alloc.SizeOf(list.Array()), 4 * sizeof(int));
  EXPECT_EQ(list[1], 7);
  EXPECT_EQ(list[3], 9);

  EXPECT_TRUE(list.SetSize(2));
  EXPECT_EQ(m_alloc.SizeOf(list.Array()), 2 * sizeof(int));
  EXPECT_EQ(list[1], 7);
  EXPECT_TRUE(list.SetSize(0));
  EXPECT_EQ(list.Array(), nullptr);
  EXPECT_EQ(m_alloc.LiveBlocks(), 0u);
}

TEST_F(ListTest, OwnsItsStrings) {
  {
    List<String> list;
    list.Add(L"one");
    list.Add(L"two");
    list.Add(list[0]);  // an element of the list itself, moved by the growth
    EXPECT_EQ(Utf8(list[2]), "one");
    EXPECT_TRUE(list.SetSize(5));  // new slots are empty strings
    EXPECT_EQ(list[4].Length(), 0u);
    EXPECT_TRUE(list.SetSize(1));  // the dropped strings are freed
    EXPECT_EQ(m_alloc.LiveBlocks(), 2u);
    list.Clear();
    EXPECT_EQ(m_alloc.LiveBlocks(), 0u);
    list.Add(L"three");
  }
  EXPECT_EQ(m_alloc.LiveBlocks(), 0u);  // destruction frees the rest
}

TEST_F(ListTest, PointersAreNotOwned) {
  Probe probe{5};
  List<Probe*> list;
  list.Add(&probe);
  list.Clear();
  EXPECT_EQ(probe.value, 5);
  EXPECT_EQ(m_alloc.LiveBlocks(), 0u);
}

TEST_F(ListTest, LibraryObjectsAreZeroFilledFromTheCurrentAllocator) {
  struct Node : LibraryObject {
    int64_t fields[6];
  };
  void* raw = LibraryObject::operator new(sizeof(Node));
  EXPECT_EQ(m_alloc.SizeOf(raw), sizeof(Node));
  for (int64_t field : static_cast<Node*>(raw)->fields) EXPECT_EQ(field, 0);
  LibraryObject::operator delete(raw);
  delete new Node;
  EXPECT_EQ(m_alloc.LiveBlocks(), 0u);
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
#else
TEST_F(ListTest, BadIndexIsFatal) {
  List<String> list;
  list.Add(L"only");
  EXPECT_DEATH(list[1], "Out of range!");
}
#endif
