// Ending the client of the "-path" by its image path.
#include <windows.h>

#include "app/process_control.h"
#include "tests/program_fixture.h"

namespace {
using ProcessControl = ProgramTest;

bool HasEnded(const ScopedHandle& process) { return WaitForSingleObject(process.Get(), 0) == WAIT_OBJECT_0; }
}  // namespace

TEST_F(ProcessControl, EndsOneClientOfThePathAtEachCall) {
  Install(OldClientProgram());
  ScopedHandle first = StartClient();
  ScopedHandle second = StartClient();
  // A client of the same name in another folder is another installation's.
  ASSERT_TRUE(CreateDirectoryW(Installed(L"other").c_str(), nullptr));
  Install(OldClientProgram(), L"other\\Castwright PC.exe");
  ScopedHandle other = Start(L"other\\Castwright PC.exe", L"");
  ASSERT_TRUE(WaitFor([&] { return Lines(L"other\\client-starts.txt").size() == 1; }));
  // The path as "-path" may spell it: other letter case, a trailing dot, "..".
  std::wstring path = Installed(L"other\\..\\CASTWRIGHT PC.EXE.");
  for (int ended = 1; ended <= 2; ++ended) {
    ASSERT_TRUE(TerminateClientProcess(path.c_str())) << ended;
    // Exactly one more (its wait for the end cannot be checked: Wine ends it within TerminateProcess).
    EXPECT_EQ(HasEnded(first) + HasEnded(second), ended);
  }
  for (const ScopedHandle* process : {&first, &second}) EXPECT_EQ(ExitCodeOf(*process, 0), 0u);
  EXPECT_FALSE(TerminateClientProcess(path.c_str()));
  EXPECT_FALSE(HasEnded(other));
}
