// xrelease, the tool that publishes a release: "create" writes the update
// manifest of a release folder, "verify" checks a folder against a manifest.
// The command line parsing and both commands, over the platform's files
// (release_files.h); the program's entry only converts its arguments and
// prints.
#pragma once

#include "base/text/wide_string.h"
#include "release/release_manifest.h"

// Exit statuses.
constexpr int kToolSuccess = 0;
// verify found missing or changed files, or entries the updater rejects.
constexpr int kToolDifferences = 1;
// A bad command line, or a failure that left the work undone (nothing written).
constexpr int kToolError = 2;

// Where the tool's lines go, without line ends: results to Out, diagnostics
// to Err.
class ToolConsole {
public:
  virtual ~ToolConsole() = default;
  virtual void Out(const String& line) = 0;
  virtual void Err(const String& line) = 0;
};

// Runs the tool with `args` (the program name not included) and returns its
// exit status.
int RunReleaseTool(const StringArray& args, ToolConsole* console);
