#include "release/exclude_rules.h"

#include "base/text/wide_text.h"

namespace {
bool IsSeparator(wchar_t ch) { return ch == L'\\' || ch == L'/'; }

wchar_t FoldAscii(wchar_t ch) { return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch + (L'a' - L'A')) : ch; }

bool Matches(const wchar_t* pattern, const wchar_t* text) {
  for (;; ++pattern, ++text) {
    if (*pattern == L'*') {
      bool crossesFolders = pattern[1] == L'*';
      while (*pattern == L'*') ++pattern;
      // Try every length of the run, shortest first; a single star stops at
      // the end of the name.
      for (;; ++text) {
        if (Matches(pattern, text)) return true;
        if (!*text || (*text == L'\\' && !crossesFolders)) return false;
      }
    }
    if (!*pattern) return !*text;
    if (!*text) return false;
    if (*pattern == L'?') {
      if (*text == L'\\') return false;
    } else if (FoldAscii(*pattern) != FoldAscii(*text)) {
      return false;
    }
  }
}
}  // namespace

bool GlobMatches(const wchar_t* pattern, const wchar_t* text) {
  return Matches(pattern ? pattern : L"", text ? text : L"");
}

bool ExcludeRules::Add(const String& pattern) {
  const wchar_t* begin = pattern.Text();
  const wchar_t* end = begin + pattern.Length();
  bool anchored = false;
  while (begin < end && IsSeparator(*begin)) {
    ++begin;
    anchored = true;
  }
  while (end > begin && IsSeparator(end[-1])) --end;
  if (begin == end) return false;
  Rule rule{String(begin, static_cast<uint32_t>(end - begin)), anchored};
  rule.pattern.ReplaceAll(L"/", L"\\");
  rule.anchored = rule.anchored || WFindChar(rule.pattern, L'\\') != nullptr;
  m_rules.push_back(std::move(rule));
  return true;
}

bool ExcludeRules::Excludes(const String& relativePath) const {
  if (m_rules.empty() || relativePath.IsEmpty()) return false;
  const wchar_t* path = relativePath.Text();
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p; ++p) {
    if (*p == L'\\') name = p + 1;
  }
  for (const Rule& rule : m_rules) {
    if (GlobMatches(rule.pattern, rule.anchored ? path : name)) return true;
  }
  return false;
}
