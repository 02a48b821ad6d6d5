// Release folders through Win32 calls (Windows build).
#include <windows.h>

#include <vector>

#include "app/manifest_signature.h"
#include "base/system/scoped_handle.h"
#include "base/text/wide_text.h"
#include "base/system/xfile.h"
#include "release/exclude_rules.h"
#include "release/release_files.h"

namespace {
bool IsSeparator(wchar_t ch) { return ch == L'\\' || ch == L'/'; }

// The full path of `path` as the system resolves it, for comparing names of
// one file; empty when there is none.
String FullPath(const String& path) {
  if (path.IsEmpty()) return String();
  DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
  if (needed == 0) return String();
  std::vector<wchar_t, LibraryAllocator<wchar_t>> buffer(needed);
  DWORD length = GetFullPathNameW(path, needed, buffer.data(), nullptr);
  return length > 0 && length < needed ? String(buffer.data(), length) : String();
}

bool SameFullPath(const String& a, const String& b) {
  return CompareStringOrdinal(a, static_cast<int>(a.Length()), b, static_cast<int>(b.Length()), TRUE) == CSTR_EQUAL;
}

class FolderWalker {
public:
  FolderWalker(const ExcludeRules& exclude, const String& skip, StringArray* names, String* error)
      : m_exclude(exclude),
        m_skip(FullPath(skip)),
        m_skipSignature(skip.IsEmpty() ? String() : FullPath(skip + kSignatureSuffix)),
        m_names(names),
        m_error(error) {}

  // Walks the folder `path` whose names start with `prefix`.
  bool Walk(const String& path, const String& prefix, uint32_t depth) {
    if (depth > kMaxFolderDepth) {
      *m_error = String(L"folders nested too deep (a link loop?) at ") + path;
      return false;
    }
    WIN32_FIND_DATAW found;
    ScopedFind find(FindFirstFileExW(path + L"\\*", FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH));
    if (!find.IsValid()) return Fail(L"cannot read the folder", path);
    do {
      const wchar_t* name = found.cFileName;
      if (WCompare(name, L".") == 0 || WCompare(name, L"..") == 0) continue;
      String full = path + L"\\" + name;
      String relative = prefix.IsEmpty() ? String(name) : prefix + L"\\" + name;
      if (m_exclude.Excludes(relative)) continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!Walk(full, relative, depth + 1)) return false;
      } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
        *m_error = full + L" is neither a file nor a folder";
        return false;
      } else if (!IsSkipped(FullPath(full))) {
        m_names->push_back(relative);
      }
    } while (FindNextFileW(find.Get(), &found));
    if (GetLastError() != ERROR_NO_MORE_FILES) return Fail(L"cannot read the folder", path);
    return true;
  }

private:
  bool Fail(const wchar_t* action, const String& path) {
    *m_error = SystemFailure(action, path);
    return false;
  }

  const ExcludeRules& m_exclude;
  bool IsSkipped(const String& full) const {
    return (!m_skip.IsEmpty() && SameFullPath(full, m_skip)) ||
           (!m_skipSignature.IsEmpty() && SameFullPath(full, m_skipSignature));
  }

  String m_skip;
  String m_skipSignature;
  StringArray* m_names;
  String* m_error;
};
}  // namespace

String SystemFailure(const wchar_t* action, const String& path) {
  DWORD code = GetLastError();
  wchar_t* message = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  ScopedLocalMemory owned(message);
  // System messages end with a full stop and a line end.
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' || message[length - 1] == L'.')) {
    --length;
  }
  String reason;
  if (length > 0) {
    reason = String(message, length);
  } else {
    reason = String(L"error ");
    String number;
    number = static_cast<int32_t>(code);
    reason += number;
  }
  return String(action) + L" " + path + L": " + reason;
}

PathKind KindOfPath(const String& path) {
  if (path.IsEmpty()) return PathKind::kMissing;
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::kOther;
  return PathKind::kFile;
}

String JoinPath(const String& folder, const String& relativeName) {
  // As the updater joins them: "/" in a name is left for the system.
  if (folder.IsEmpty()) return relativeName;
  if (IsSeparator(folder.Text()[folder.Length() - 1])) return folder + relativeName;
  return folder + L"\\" + relativeName;
}

bool ListFolderFiles(const String& folder, const ExcludeRules& exclude, const String& skip, StringArray* names,
                     String* error) {
  String top(folder);
  while (top.Length() > 1 && IsSeparator(top.Text()[top.Length() - 1])) top.SetLength(top.Length() - 1);
  return FolderWalker(exclude, skip, names, error).Walk(top, String(), 0);
}

String FileNameKey(const String& relativeName) {
  std::vector<wchar_t, LibraryAllocator<wchar_t>> key(relativeName.Text(), relativeName.Text() + relativeName.Length());
  for (wchar_t& ch : key) {
    if (ch == L'/') ch = L'\\';
  }
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return String(key.data(), static_cast<uint32_t>(key.size()));
}

bool ReadWholeFile(const String& path, Utf8Text* bytes, String* error) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.IsValid()) {
    *error = SystemFailure(L"cannot read", path);
    return false;
  }
  char block[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), block, sizeof block, &got, nullptr)) {
      *error = SystemFailure(L"cannot read", path);
      return false;
    }
    if (got == 0) return true;
    bytes->append(block, got);
  }
}

bool ReplaceFileWith(const String& path, const Utf8Text& bytes, String* error) {
  // The new file goes into the folder of `path`, so that the rename stays on
  // one volume and can replace the old file in one step.
  String folder(L".");
  for (uint32_t i = path.Length(); i > 0; --i) {
    if (IsSeparator(path.Text()[i - 1])) {
      folder = String(path.Text(), i);
      break;
    }
  }
  wchar_t temporary[MAX_PATH];
  if (bytes.size() >= UINT32_MAX || !GetTempFileNameW(folder, L"xrl", 0, temporary)) {
    *error = SystemFailure(L"cannot create a file beside", path);
    return false;
  }
  XFile file{};
  bool written = file.Create(temporary, false) &&
                 file.Write(bytes.data(), static_cast<uint32_t>(bytes.size())) == bytes.size() &&
                 FlushFileBuffers(static_cast<HANDLE>(file.handle));
  file.Close();
  if (!written || !MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = SystemFailure(L"cannot write", path);
    DeleteFileW(temporary);
    return false;
  }
  return true;
}

bool RemoveFile(const String& path, String* error) {
  if (DeleteFileW(path)) return true;
  *error = SystemFailure(L"cannot remove", path);
  return false;
}
