#include "tests/scratch_folder.h"

#include <algorithm>

#include "base/text/wide_text.h"
#include "base/xconfig/xconfig_writer.h"

#if defined(_WIN32)
#include <windows.h>

#include "tests/child_process.h"

// The Windows build reads, writes and removes through the Windows tests' file helpers.
namespace {
constexpr wchar_t kSeparator[] = L"\\";
}  // namespace

ScratchFolder::ScratchFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (unsigned attempt = GetTickCount();; ++attempt) {
    String candidate = String(temp) + L"xrelease-test-" + String::Format(L"%u-%u", GetCurrentProcessId(), attempt);
    if (CreateDirectoryW(candidate, nullptr)) {
      m_path = candidate;
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() { RemoveFolderTree(m_path.Text()); }

bool ScratchFolder::Write(const char* relative, const std::string& bytes) const {
  return WriteFileBytes(PathOf(relative).Text(), bytes);
}

std::string ScratchFolder::Read(const char* relative, bool* exists) const {
  return ReadFileBytes(PathOf(relative).Text(), exists);
}

std::vector<std::string> ScratchFolder::Names(const char* relative) const {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(PathOf(relative) + L"\\*", &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    Utf8Text name;
    AppendUtf8(found.cFileName, WLength(found.cFileName), &name);
    if (name != "." && name != "..") names.push_back(name.c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}
#else
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr wchar_t kSeparator[] = L"/";

std::string Native(const String& path) {
  Utf8Text bytes;
  AppendUtf8(path.Text(), path.Length(), &bytes);
  return bytes.c_str();
}
}  // namespace

ScratchFolder::ScratchFolder() {
  const char* temp = std::getenv("TMPDIR");
  std::string pattern = std::string(temp && *temp ? temp : "/tmp") + "/xrelease-test-XXXXXX";
  if (mkdtemp(&pattern[0])) m_path = String::FromUtf8(pattern.c_str());
}

ScratchFolder::~ScratchFolder() {
  if (m_path.IsEmpty()) return;
  nftw(Native(m_path).c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
       FTW_DEPTH | FTW_PHYS);
}

bool ScratchFolder::Write(const char* relative, const std::string& bytes) const {
  std::string path = Native(PathOf(relative));
  for (size_t slash = Native(m_path).size() + 1; (slash = path.find('/', slash)) != std::string::npos; ++slash) {
    if (mkdir(path.substr(0, slash).c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && written;
}

std::string ScratchFolder::Read(const char* relative, bool* exists) const {
  int fd = open(Native(PathOf(relative)).c_str(), O_RDONLY | O_CLOEXEC);
  if (exists) *exists = fd >= 0;
  std::string bytes;
  char block[4096];
  ssize_t got;
  while (fd >= 0 && (got = read(fd, block, sizeof block)) > 0) bytes.append(block, static_cast<size_t>(got));
  if (fd >= 0) close(fd);
  return bytes;
}

std::vector<std::string> ScratchFolder::Names(const char* relative) const {
  std::vector<std::string> names;
  DIR* dir = opendir(Native(PathOf(relative)).c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}
#endif

String ScratchFolder::PathOf(const char* relative) const {
  String path = m_path;
  if (!*relative) return path;
  String tail = String::FromUtf8(relative);
  tail.ReplaceAll(L"/", kSeparator);
  return path + kSeparator + tail;
}
