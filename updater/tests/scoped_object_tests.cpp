// The owner of handles: giving back, moving, and the thread's last error.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/system/scoped_handle.h"

namespace {
// Whether `handle` is still an open handle of this process.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}
}  // namespace

TEST(ScopedObject, GivesBackOnceKeepingTheLastError) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  ScopedHandle first(event);
  ScopedHandle second(std::move(first));
  EXPECT_FALSE(first.IsValid());
  EXPECT_EQ(second.Get(), event);

  // A failure's reason survives the cleanup of the failing path.
  SetLastError(ERROR_SHARING_VIOLATION);
  second.Reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(IsOpen(event));
  EXPECT_FALSE(second.IsValid());

  // Released handles stay open; none and the invalid-handle value own nothing.
  HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(ScopedHandle(kept).Release(), kept);
  EXPECT_TRUE(IsOpen(kept));
  CloseHandle(kept);
  EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE).IsValid());
  EXPECT_FALSE(ScopedHandle(nullptr).IsValid());
}
