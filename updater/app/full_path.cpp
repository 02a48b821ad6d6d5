#include "app/full_path.h"

#include <windows.h>

#include "app/update_rules.h"
#include "base/memory/alloc.h"

String FullPathOf(const String& path) {
  const DWORD needed = GetFullPathNameW(Text(path), 0, nullptr, nullptr);
  if (needed == 0) return String();
  auto* buffer = static_cast<wchar_t*>(MemAlloc(uint64_t{needed} * sizeof(wchar_t)));
  const DWORD got = GetFullPathNameW(Text(path), needed, buffer, nullptr);
  String full = got > 0 && got < needed ? String(buffer, got) : String();
  MemFree(buffer);
  return full;
}

bool LiesIn(const String& path, const String& folder) {
  const uint32_t length = folder.Length();
  return length > 0 && path.Length() > length + 1 && path.Text()[length] == L'\\' &&
         CompareStringOrdinal(path, static_cast<int>(length), folder, static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

String LongPathOf(const String& full) {
  const wchar_t* text = Text(full);
  if (text[0] == L'\\' && text[1] == L'\\') {
    if ((text[2] == L'?' || text[2] == L'.') && text[3] == L'\\') return full;
    return String(L"\\\\?\\UNC\\") + String(text + 2);
  }
  return String(L"\\\\?\\") + full;
}

String InstallationFolderOf(const String& clientPath) {
  const String folder = GetDirectoryOfPath(clientPath);
  String full = FullPathOf(folder.IsEmpty() ? String(L"\\") : folder);
  if (full.Length() > 0 && full.Text()[full.Length() - 1] == L'\\') full = String(full.Text(), full.Length() - 1);
  return full;
}

bool Exists(const String& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const String& path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const String& path) {
  if (DeleteFileW(path)) return true;
  // A read-only file goes once its attribute is cleared; other files cost
  // one call, not two.
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path) != FALSE;
}

void CreateFoldersDownTo(const String& root, const String& path, PathArray* made) {
  const String folder = GetDirectoryOfPath(path);
  const uint32_t start = LongPathOf(root).Length();
  for (uint32_t i = start + 1; i <= folder.Length(); ++i) {
    if (i < folder.Length() && folder.Text()[i] != L'\\') continue;
    const String step(folder.Text(), i);
    if (IsFolder(step)) continue;
    if (!CreateDirectoryW(step, nullptr)) return;
    if (made) made->push_back(step);
  }
}
