// A scratch folder for tests on real files in both builds; names below it are UTF-8 with "/" separators.
#pragma once

#include <string>
#include <vector>

#include "base/text/wide_string.h"

// A new empty folder in the temporary folder, removed with everything below it.
class ScratchFolder {
public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const String& Path() const { return m_path; }
  // The platform's path of `relative` below the folder.
  String PathOf(const char* relative) const;
  // Creates or replaces the file `relative`, creating the folders above it; false when it cannot.
  bool Write(const char* relative, const std::string& bytes) const;
  // The bytes of the file `relative`; `exists` tells whether it could be read.
  std::string Read(const char* relative, bool* exists = nullptr) const;
  // The names in the folder `relative` (the folder itself for ""), sorted.
  std::vector<std::string> Names(const char* relative = "") const;

private:
  String m_path;
};
