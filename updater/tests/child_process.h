// Scenarios that need a process of their own, started from a test as this program with "--child NAME".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

using ChildScenario = int (*)();

struct ChildScenarioRegistrar {
  ChildScenarioRegistrar(const char* name, ChildScenario scenario);
};

// Defines a scenario; its return value is the child's exit code.
#define CHILD_SCENARIO(name)                                                               \
  static int ChildScenario_##name();                                                       \
  static const ChildScenarioRegistrar childScenarioRegistrar_##name(#name, ChildScenario_##name); \
  static int ChildScenario_##name()

// In the child: runs the named scenario and returns its exit code (125 for an unknown name).
int RunChildScenario(const char* name);

// Makes an unhandled exception end the process with its code, without a crash dialog or a debugger.
void EndOnCrash();

// A new empty folder under the temporary folder, removed with its contents.
class TempFolder {
public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::wstring& Path() const { return m_path; }
  // Full path of a file in the folder.
  std::wstring File(const wchar_t* name) const { return m_path + L"\\" + name; }

private:
  std::wstring m_path;
};

// Starts scenario `name` in a new process of `program` (this program when empty) in `folder`; none on failure.
// `mark`, when given, ends the command line: the scenario may read it there, and Linux tools (pkill -f) find the
// process by it.
void* StartChild(const char* name, const std::wstring& folder, const std::wstring& program = std::wstring(),
                 const std::wstring& mark = std::wstring());

// Runs scenario `name` in a new process of this program in `folder` and returns its exit code.
uint32_t RunChild(const char* name, const TempFolder& folder);

// The bytes of a file; `exists` tells whether it could be read.
std::string ReadFileBytes(const std::wstring& path, bool* exists = nullptr);
// The bytes of a file, or "<missing>" when it cannot be read.
std::string ContentOf(const std::wstring& path);
// Writes `bytes` to `path`, creating missing folders; false on failure.
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Removes a folder with everything in it.
void RemoveFolderTree(const std::wstring& path);
// Every file and folder below `folder` by its relative UTF-8 name (a folder's ends with "\\" and holds "<folder>"),
// with its bytes; what `leaveOut` names is left out with everything below it. Empty when the folder is missing.
std::map<std::string, std::string> TreeOf(const std::wstring& folder,
                                          const std::function<bool(const std::string&)>& leaveOut = nullptr);
