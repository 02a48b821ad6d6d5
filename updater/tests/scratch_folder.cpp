#include "tests/scratch_folder.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

#include "base/xconfig/xconfig_writer.h"

namespace fs = std::filesystem;

namespace {
#if defined(_WIN32)
constexpr wchar_t kSeparator[] = L"\\";
fs::path NativePath(const String& path) { return fs::path(path.Text() ? path.Text() : L""); }
#else
constexpr wchar_t kSeparator[] = L"/";
fs::path NativePath(const String& path) {
  Utf8Text bytes;
  AppendUtf8(path.Text(), path.Length(), &bytes);
  return fs::path(bytes.c_str());
}
#endif
}  // namespace

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter;
  const std::string name = "xrelease-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(++counter);
  const fs::path path = fs::temp_directory_path() / name;
  fs::create_directories(path);
  m_path = String::FromUtf8(path.u8string().c_str());
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(NativePath(m_path), ignored);
}

bool ScratchFolder::Write(const char* relative, const std::string& bytes) const {
  const fs::path path = NativePath(PathOf(relative));
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush());
}

std::string ScratchFolder::Read(const char* relative, bool* exists) const {
  std::ifstream file(NativePath(PathOf(relative)), std::ios::binary);
  if (exists) *exists = file.is_open();
  std::ostringstream bytes;
  if (file.is_open()) bytes << file.rdbuf();
  return bytes.str();
}

std::vector<std::string> ScratchFolder::Names(const char* relative) const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(NativePath(PathOf(relative)), error)) {
    names.push_back(entry.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

String ScratchFolder::PathOf(const char* relative) const {
  String path = m_path;
  if (!*relative) return path;
  String tail = String::FromUtf8(relative);
  tail.ReplaceAll(L"/", kSeparator);
  return path + kSeparator + tail;
}
