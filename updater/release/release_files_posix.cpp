// Release folders through POSIX calls, and SHA-1 through OpenSSL's libcrypto
// (the native build on Linux). Paths are UTF-8 for the system and UTF-16 for
// the library.
#include <dirent.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "app/file_hash.h"
#include "app/manifest_signature.h"
#include "base/text/wide_text.h"
#include "release/exclude_rules.h"
#include "release/release_files.h"

namespace {
constexpr size_t kBlockBytes = 65536;

// The UTF-8 form of `path`; paths come from the command line and from names
// that were decoded strictly, so they always convert.
Utf8Text NativePath(const String& path) {
  Utf8Text native;
  AppendUtf8(path.Text(), path.Length(), &native);
  return native;
}

// Owner of a file descriptor.
class ScopedFd {
public:
  explicit ScopedFd(int fd) : m_fd(fd) {}
  ~ScopedFd() { Close(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int Get() const { return m_fd; }
  // Closes now; false when closing reports an error (a write that failed late).
  bool Close() {
    int fd = m_fd;
    m_fd = -1;
    return fd < 0 || close(fd) == 0;
  }

private:
  int m_fd;
};

// Owner of a directory stream.
class ScopedDir {
public:
  explicit ScopedDir(DIR* dir) : m_dir(dir) {}
  ~ScopedDir() {
    if (m_dir) closedir(m_dir);
  }
  ScopedDir(const ScopedDir&) = delete;
  ScopedDir& operator=(const ScopedDir&) = delete;
  DIR* Get() const { return m_dir; }

private:
  DIR* m_dir;
};

class FolderWalker {
public:
  FolderWalker(const ExcludeRules& exclude, StringArray* names, String* error)
      : m_exclude(exclude), m_names(names), m_error(error) {}

  // Skips the file that `path` names, when it exists.
  void Skip(const String& path) {
    struct stat info;
    if (!path.IsEmpty() && stat(NativePath(path).c_str(), &info) == 0) m_skipped.emplace_back(info.st_dev, info.st_ino);
  }

  // Walks the folder `path` whose names start with `prefix`.
  bool Walk(const String& path, const String& prefix, uint32_t depth) {
    if (depth > kMaxFolderDepth) {
      *m_error = String(L"folders nested too deep (a link loop?) at ") + path;
      return false;
    }
    ScopedDir dir(opendir(NativePath(path).c_str()));
    if (!dir.Get()) return Fail(L"cannot read the folder", path);
    for (;;) {
      errno = 0;
      const dirent* entry = readdir(dir.Get());
      if (!entry) {
        if (errno != 0) return Fail(L"cannot read the folder", path);
        return true;
      }
      if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
      String name;
      String full = path + L"/";
      if (!DecodeUtf8Exactly(entry->d_name, &name)) {
        *m_error = full + String::FromUtf8(entry->d_name) + L": a file name that is not valid UTF-8";
        return false;
      }
      full += name;
      if (WFindChar(name, L'\\')) {
        *m_error = full + L": a \"\\\" in a file name would read as a folder separator";
        return false;
      }
      String relative = prefix.IsEmpty() ? name : prefix + L"\\" + name;
      if (m_exclude.Excludes(relative)) continue;
      struct stat info;
      if (stat(NativePath(full).c_str(), &info) != 0) return Fail(L"cannot examine", full);
      if (S_ISDIR(info.st_mode)) {
        if (!Walk(full, relative, depth + 1)) return false;
      } else if (!S_ISREG(info.st_mode)) {
        *m_error = full + L" is neither a file nor a folder";
        return false;
      } else if (std::find(m_skipped.begin(), m_skipped.end(), std::make_pair(info.st_dev, info.st_ino)) ==
                 m_skipped.end()) {
        m_names->push_back(relative);
      }
    }
  }

private:
  bool Fail(const wchar_t* action, const String& path) {
    *m_error = SystemFailure(action, path);
    return false;
  }

  const ExcludeRules& m_exclude;
  StringArray* m_names;
  String* m_error;
  std::vector<std::pair<dev_t, ino_t>, LibraryAllocator<std::pair<dev_t, ino_t>>> m_skipped;
};

// Opens the file at `path` and hands its content to `consume` block by block
// up to its end. False, with errno telling why, when it cannot be opened or
// read.
template <typename Consume>
bool ReadFileBlocks(const String& path, Consume consume) {
  ScopedFd fd(open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return false;
  std::unique_ptr<char, MemFreeDeleter> block(static_cast<char*>(MemAlloc(kBlockBytes)));
  for (;;) {
    ssize_t got = read(fd.Get(), block.get(), kBlockBytes);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    consume(block.get(), static_cast<size_t>(got));
  }
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t done = write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}
}  // namespace

String SystemFailure(const wchar_t* action, const String& path) {
  const char* reason = std::strerror(errno);
  return String(action) + L" " + path + L": " + String::FromUtf8(reason);
}

PathKind KindOfPath(const String& path) {
  struct stat info;
  if (path.IsEmpty() || stat(NativePath(path).c_str(), &info) != 0) return PathKind::kMissing;
  if (S_ISREG(info.st_mode)) return PathKind::kFile;
  if (S_ISDIR(info.st_mode)) return PathKind::kFolder;
  return PathKind::kOther;
}

String JoinPath(const String& folder, const String& relativeName) {
  String relative(relativeName);
  relative.ReplaceAll(L"\\", L"/");
  if (folder.IsEmpty()) return relative;
  if (folder.Text()[folder.Length() - 1] == L'/') return folder + relative;
  return folder + L"/" + relative;
}

bool ListFolderFiles(const String& folder, const ExcludeRules& exclude, const String& skip, StringArray* names,
                     String* error) {
  FolderWalker walker(exclude, names, error);
  walker.Skip(skip);
  if (!skip.IsEmpty()) walker.Skip(skip + kSignatureSuffix);
  // Without a final separator, so that joined names read cleanly.
  String top(folder);
  while (top.Length() > 1 && top.Text()[top.Length() - 1] == L'/') top.SetLength(top.Length() - 1);
  return walker.Walk(top, String(), 0);
}

String FileNameKey(const String& relativeName) {
  String key(relativeName);
  key.ReplaceAll(L"/", L"\\");
  return key;
}

bool ReadWholeFile(const String& path, Utf8Text* bytes, String* error) {
  if (ReadFileBlocks(path, [bytes](const char* data, size_t size) { bytes->append(data, size); })) return true;
  *error = SystemFailure(L"cannot read", path);
  return false;
}

bool ReplaceFileWith(const String& path, const Utf8Text& bytes, String* error) {
  Utf8Text target = NativePath(path);
  Utf8Text temporary = target + ".XXXXXX";
  ScopedFd fd(mkostemp(&temporary[0], O_CLOEXEC));
  if (fd.Get() < 0) {
    *error = SystemFailure(L"cannot create a file beside", path);
    return false;
  }
  // mkostemp makes the file private; the manifest gets the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  bool written = fchmod(fd.Get(), 0666 & ~mask) == 0 && WriteAll(fd.Get(), bytes.data(), bytes.size()) &&
                 fsync(fd.Get()) == 0 && fd.Close();
  if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
    *error = SystemFailure(L"cannot write", path);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

// The release tool's native hashing: libcrypto behind the updater's interface.
namespace {
struct NativeHashContext {
  EVP_MD_CTX* sha1 = EVP_MD_CTX_new();
  EVP_MD_CTX* sha256 = EVP_MD_CTX_new();
  ~NativeHashContext() {
    EVP_MD_CTX_free(sha1);
    EVP_MD_CTX_free(sha256);
  }
};
}  // namespace

void HashContextTraits::Free(Type context) { delete reinterpret_cast<NativeHashContext*>(context); }

bool FileHasher::Hash(const wchar_t* path, uint32_t kinds, FileDigests* digests, uint64_t* bytes) {
  if (!m_context.IsValid()) m_context.Reset(reinterpret_cast<uintptr_t>(new NativeHashContext));
  auto* context = reinterpret_cast<NativeHashContext*>(m_context.Get());
  struct Wanted {
    uint32_t kind;
    EVP_MD_CTX* context;
    const EVP_MD* type;
    unsigned char* digest;
    unsigned int size;
  } wanted[] = {{kHashSha1, context->sha1, EVP_sha1(), digests->sha1, kSha1Bytes},
                {kHashSha256, context->sha256, EVP_sha256(), digests->sha256, kSha256Bytes}};
  for (const Wanted& w : wanted) {
    if ((kinds & w.kind) && (!w.context || !EVP_DigestInit_ex(w.context, w.type, nullptr))) {
      errno = ENOTSUP;
      return false;
    }
  }
  uint64_t total = 0;
  bool complete = ReadFileBlocks(path, [&](const char* data, size_t count) {
    for (const Wanted& w : wanted) {
      if (kinds & w.kind) EVP_DigestUpdate(w.context, data, count);
    }
    total += count;
  });
  if (!complete) return false;
  for (const Wanted& w : wanted) {
    unsigned int length = 0;
    if ((kinds & w.kind) && (!EVP_DigestFinal_ex(w.context, w.digest, &length) || length != w.size)) {
      errno = ENOTSUP;
      return false;
    }
  }
  if (bytes) *bytes = total;
  return true;
}

bool RemoveFile(const String& path, String* error) {
  if (unlink(NativePath(path).c_str()) == 0) return true;
  *error = SystemFailure(L"cannot remove", path);
  return false;
}
