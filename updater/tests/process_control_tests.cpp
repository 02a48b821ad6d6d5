// Ending the client by its executable name.
#include <windows.h>

#include "app/process_control.h"
#include "tests/program_fixture.h"

namespace {
using ProcessControl = ProgramTest;

bool HasEnded(const ScopedHandle& process) { return WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0; }
}  // namespace

TEST_F(ProcessControl, EndsOneClientOfTheNameAtEachCall) {
  Install(OldClientProgram());
  ScopedHandle first = StartClient();
  ScopedHandle second = StartClient();
  // The name in other letters counts too (a folder of its own: Wine finds file names ignoring case).
  ASSERT_TRUE(CreateDirectoryW(Installed(L"caps").c_str(), nullptr));
  Install(OldClientProgram(), L"caps\\CASTWRIGHT PC.EXE");
  ScopedHandle capitals = Start(L"caps\\CASTWRIGHT PC.EXE", L"");
  ASSERT_TRUE(WaitFor([&] { return Lines(L"caps\\client-starts.txt").size() == 1; }));
  for (int ended = 1; ended <= 3; ++ended) {
    ASSERT_TRUE(TerminateProcessByName(kClientName)) << ended;
    // Exactly one more (its wait for the end cannot be checked: Wine ends it within TerminateProcess).
    EXPECT_EQ(HasEnded(first) + HasEnded(second) + HasEnded(capitals), ended);
  }
  for (const ScopedHandle* process : {&first, &second, &capitals}) EXPECT_EQ(ExitCodeOf(*process, 0), 0u);
  EXPECT_FALSE(TerminateProcessByName(kClientName));
  EXPECT_FALSE(TerminateProcessByName(L"Castwright PC"));
}
