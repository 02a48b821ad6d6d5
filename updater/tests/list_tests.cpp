#include <gtest/gtest.h>

#include "base/memory/list.h"
#include "base/text/wide_string.h"
#include "tests/test_support.h"

// Exactly sized arrays, zeroed new slots, owned strings freed with them, zero-filled library objects.
TEST(ListTest, SizesExactlyAndOwnsItsStrings) {
  SizeTrackingAlloc alloc;
  ScopedCurrentAlloc scope(&alloc);
  List<int> ints;
  EXPECT_FALSE(ints.SetSize(0));
  EXPECT_TRUE(ints.SetSize(3));
  EXPECT_EQ(alloc.SizeOf(ints.Array()), 3 * sizeof(int));
  ints[1] = 7;
  ints.Add(9);
  EXPECT_EQ(alloc.SizeOf(ints.Array()), 4 * sizeof(int));
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
    EXPECT_EQ(alloc.LiveBlocks(), 2u);
    int probe = 5;
    List<int*> pointers;  // pointers are not owned
    pointers.Add(&probe);
    pointers.Clear();
    EXPECT_EQ(probe, 5);
  }
  EXPECT_EQ(alloc.LiveBlocks(), 0u);
  // Library objects come zero-filled from the current allocator.
  struct Node : LibraryObject {
    int64_t fields[6];
  };
  void* raw = LibraryObject::operator new(sizeof(Node));
  EXPECT_EQ(alloc.SizeOf(raw), sizeof(Node));
  for (int64_t field : static_cast<Node*>(raw)->fields) EXPECT_EQ(field, 0);
  LibraryObject::operator delete(raw);
}
