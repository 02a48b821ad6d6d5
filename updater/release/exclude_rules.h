// Patterns that leave files and folders out of a release folder's listing.
#pragma once

#include <vector>

#include "base/memory/alloc.h"
#include "base/text/wide_string.h"

// A set of glob patterns over relative paths with "\" separators ("/" in a
// pattern means the same). "*" matches any run of characters within one
// name, "?" one character within a name, "**" any run across folders; the
// letters A to Z match either case, everything else itself. A pattern without
// a separator matches a file or folder name at any depth; one with a
// separator matches the path from the top of the folder (a leading separator
// only anchors it there). Separators at the end of a pattern are ignored.
// Leaving out a folder leaves out everything below it.
class ExcludeRules {
public:
  // Adds `pattern`; false, adding nothing, when it holds no name at all.
  bool Add(const String& pattern);
  // Whether the file or folder at `relativePath` is left out.
  bool Excludes(const String& relativePath) const;

private:
  struct Rule {
    String pattern;  // separators as "\", none at either end
    bool anchored;   // matched against the whole path, not the last name
  };
  std::vector<Rule, LibraryAllocator<Rule>> m_rules;
};

// Whether `text` matches the glob `pattern` as described above, both with "\"
// separators.
bool GlobMatches(const wchar_t* pattern, const wchar_t* text);
