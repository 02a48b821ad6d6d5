#include "app/update_worker.h"

#include <dbghelp.h>
#include <shlwapi.h>

#include <memory>
#include <string>

#include "app/file_hash.h"
#include "app/http_download.h"
#include "app/manifest.h"
#include "app/manifest_signature.h"
#include "app/retry.h"
#include "app/update_rules.h"
#include "base/system/log.h"
#include "base/text/wide_text.h"

namespace {
constexpr DWORD kPathChars = 260;

// Where the install pass keeps the installed file that step `index`
// replaces until the pass has ended: beside the new file's temp path, numbered
// so that two entries of one name cannot take each other's place.
String SetAsidePath(const FileEntry& entry, size_t index) {
  return String::Format(L"%s.%u.previous", Text(entry.tempPath), static_cast<unsigned>(index));
}

bool Exists(const String& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool Accepted(uint32_t status) { return status == 200 || status == 304; }

bool RemoveFile(const String& path) {
  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(path) != FALSE;
}

// Creates the folder that holds `path` with all missing parents. Failure is
// not reported: the download or move into it fails later with its own text.
void EnsureFolderOf(const String& path) {
  String folder = GetDirectoryOfPath(path);
  // The folder-chain creator splits at "\" only.
  folder.ReplaceAll(L"/", L"\\");
  folder += L"\\";
  if (PathIsDirectoryW(folder)) return;
  int size = WideCharToMultiByte(CP_THREAD_ACP, 0, folder, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return;
  char* ansi = static_cast<char*>(MemAlloc(static_cast<uint64_t>(size)));
  if (WideCharToMultiByte(CP_THREAD_ACP, 0, folder, -1, ansi, size, nullptr, nullptr) > 0) {
    MakeSureDirectoryPathExists(ansi);
  }
  MemFree(ansi);
}

// One file of the install pass and what the pass has done to it so far.
struct InstallStep {
  const FileEntry* entry;
  String setAsidePath;  // where the installed file was moved; empty when there was none
  bool movedIn;         // the new file is in place
};

class UpdateRun {
public:
  UpdateRun(const String& clientPath, const String& clientVersion, const ManifestKey& key, UpdateReport& report)
      : m_folder(GetDirectoryOfPath(clientPath)), m_clientVersion(clientVersion), m_key(key), m_report(report) {}

  void Execute() {
    Outcome outcome = Outcome::kFailed;
    if (FetchManifest()) {
      if (CompareVersions(m_clientVersion, m_info.version) != 1) {
        outcome = Outcome::kSucceeded;
      } else if (CheckNames() && CheckDigests() && Scan() && DownloadAll()) {
        outcome = Install();
      }
    }
    // The error text goes out in memory of its own: the library's is freed
    // before the final report.
    const std::wstring error(Text(m_error));
    Release();
    if (outcome == Outcome::kSucceeded) m_report.Finished(nullptr);
    if (outcome == Outcome::kFailed) m_report.Finished(error.c_str());
  }

private:
  enum class Outcome { kSucceeded, kFailed, kAbandoned };

  // Keeps the error text of the run. Returns false for the caller to pass on.
  bool Fail(const String& text) {
    m_error = text;
    return false;
  }

  // Frees all the run's memory: once the final message is handled, the
  // program may stop the library.
  void Release() {
    FileEntryArray().swap(m_entries);
    FileEntryArray().swap(m_queue);
    m_info = ManifestInfo();
    m_folder = String();
    m_clientVersion = String();
    m_ownPath = String();
    m_error = String();
  }

  // The install pass, announced to the receiver before and after, so that a
  // close request cannot end the program half-way through it.
  Outcome Install() {
    if (m_queue.empty()) return Outcome::kSucceeded;
    if (!m_report.InstallStarting()) return Outcome::kAbandoned;
    bool installed = InstallAll();
    m_report.InstallEnded();
    return installed ? Outcome::kSucceeded : Outcome::kFailed;
  }

  bool FetchManifest() {
    wchar_t ownPath[kPathChars] = {};
    GetModuleFileNameW(nullptr, ownPath, kPathChars);
    m_ownPath = ownPath;
    switch (FetchUpdateManifest(m_folder, m_key, &m_entries, &m_info)) {
      case ManifestFetch::kFetched:
        break;
      case ManifestFetch::kNotDownloaded:
        return Fail(L"download update config fail.");
      case ManifestFetch::kNotRead:
        return Fail(L"parseConfig fail");
      case ManifestFetch::kNotVerified:
        return Fail(L"verify manifest signature fail");
      case ManifestFetch::kExpired:
        return Fail(String::Format(L"manifest expired %s", Text(m_info.expires)));
    }
    // A replayed older release would bring back what it fixed.
    if (m_key.IsPresent() && CompareVersionNumbers(m_info.version, m_clientVersion) < 0) {
      return Fail(String::Format(L"manifest version %s is older than the installed %s", Text(m_info.version),
                                 Text(m_clientVersion)));
    }
    return true;
  }

  // Every name must stay inside the installation folder: the updater runs
  // with administrator rights and the manifest comes from the network.
  bool CheckNames() {
    for (const FileEntry& entry : m_entries) {
      if (!IsSafeRelativeName(entry.name)) return Fail(String::Format(L"invalid file name %s", Text(entry.name)));
    }
    return true;
  }

  // With a key every file is compared by the SHA-256 that the signature
  // covers; SHA-1 alone no longer protects against a forged file.
  bool CheckDigests() {
    if (!m_key.IsPresent()) return true;
    for (const FileEntry& entry : m_entries) {
      if (entry.sha256.IsEmpty()) return Fail(String::Format(L"invalid file hash %s", Text(entry.name)));
    }
    return true;
  }

  // The digest text of the file at `path` of the kind that `entry` is compared
  // by: SHA-256 when it has "Sha256", SHA-1 otherwise. False when the file
  // cannot be hashed.
  bool DigestOf(const String& path, const FileEntry& entry, String* digest) {
    FileDigests digests;
    const bool sha256 = !entry.sha256.IsEmpty();
    if (!m_hasher.Hash(path, sha256 ? kHashSha256 : kHashSha1, &digests)) return false;
    *digest = sha256 ? DigestText(digests.sha256, kSha256Bytes) : DigestText(digests.sha1, kSha1Bytes);
    return true;
  }

  static const String& ExpectedDigest(const FileEntry& entry) {
    return entry.sha256.IsEmpty() ? entry.hash : entry.sha256;
  }

  bool Scan() {
    for (const FileEntry& entry : m_entries) {
      FileEntry queued = entry;
      queued.localPath = m_folder + L"\\";
      queued.localPath += entry.name;
      queued.tempPath = m_folder + L"\\Temp\\";
      queued.tempPath += entry.name;
      queued.url = m_info.baseUrl;
      queued.url += entry.name;
      queued.url.ReplaceAll(L"\\", L"/");
      // The running updater cannot replace itself; its copy does that.
      if (WCompare(queued.localPath, m_ownPath) == 0) continue;
      if (Exists(queued.localPath)) {
        String digest;
        // An installed file that cannot be read is left alone.
        if (!DigestOf(queued.localPath, entry, &digest)) continue;
        if (WCompare(Text(digest), Text(ExpectedDigest(entry))) == 0) continue;
      }
      m_total += entry.size;
      m_queue.push_back(std::move(queued));
    }
    return true;
  }

  bool DownloadAll() {
    uint64_t done = 0;
    for (const FileEntry& entry : m_queue) {
      EnsureFolderOf(entry.localPath);
      EnsureFolderOf(entry.tempPath);
      uint32_t status = 0;
      if (!HttpDownloadWithRetry(entry.url, entry.tempPath, &status) || !Accepted(status)) {
        return Fail(String::Format(L"download file %s fail", Text(entry.url)));
      }
      // A file that cannot be verified is not installed.
      String digest;
      if (!DigestOf(entry.tempPath, entry, &digest)) {
        return Fail(String::Format(L"hash file %s fail", Text(entry.url)));
      }
      if (WCompare(Text(digest), Text(ExpectedDigest(entry))) != 0) {
        return Fail(String::Format(L"file %s hash not equal \nhash1:%s \nhash2:%s", Text(entry.url), Text(digest),
                                   Text(ExpectedDigest(entry))));
      }
      done += entry.size;
      ProgressFigures figures = ScaleProgress(done, m_total);
      m_report.Progress(figures.done, figures.total);
    }
    return true;
  }

  // Replaces the installed files. Each one replaced is first moved aside and
  // kept until the pass ends, so that a failure can put every changed file
  // back: the installation is never left half old, half new.
  bool InstallAll() {
    std::vector<InstallStep, LibraryAllocator<InstallStep>> steps;
    steps.reserve(m_queue.size());
    for (const FileEntry& entry : m_queue) {
      steps.push_back(InstallStep{&entry, String(), false});
      InstallStep& step = steps.back();
      if (Exists(entry.localPath)) {
        String setAside = SetAsidePath(entry, steps.size() - 1);
        if (Exists(setAside)) RemoveFile(setAside);  // left by a run that was cut off
        DWORD error = 0;
        if (!WithRetry([&] {
              if (MoveFileW(entry.localPath, setAside)) return true;
              error = GetLastError();
              return false;
            })) {
          Restore(steps);
          return Fail(String::Format(L"001 delete file %s failed\nerror code: %d", Text(entry.localPath),
                                     static_cast<int>(error)));
        }
        step.setAsidePath = setAside;
      }
      if (!MoveFileW(entry.tempPath, entry.localPath)) {
        DWORD error = GetLastError();
        Restore(steps);
        return Fail(String::Format(L"move %s to %s fail\nerror code: %d", Text(entry.tempPath),
                                   Text(entry.localPath), static_cast<int>(error)));
      }
      step.movedIn = true;
    }
    for (const InstallStep& step : steps) {
      if (!step.setAsidePath.IsEmpty()) RemoveFile(step.setAsidePath);
    }
    return true;
  }

  // Undoes the install pass, last change first: new files out, the files
  // they replaced back in.
  static void Restore(const std::vector<InstallStep, LibraryAllocator<InstallStep>>& steps) {
    for (size_t i = steps.size(); i-- > 0;) {
      const InstallStep& step = steps[i];
      const String& localPath = step.entry->localPath;
      if (step.movedIn && !WithRetry([&] { return RemoveFile(localPath); })) {
        WriteLog(L"restore: cannot remove %s: %d", Text(localPath), static_cast<int>(GetLastError()));
      }
      if (!step.setAsidePath.IsEmpty() &&
          !WithRetry([&] { return MoveFileW(step.setAsidePath, localPath) != FALSE; })) {
        WriteLog(L"restore: cannot move %s back to %s: %d", Text(step.setAsidePath), Text(localPath),
                 static_cast<int>(GetLastError()));
      }
    }
  }

  String m_folder;
  String m_clientVersion;
  const ManifestKey m_key;
  UpdateReport& m_report;
  String m_error;
  String m_ownPath;
  ManifestInfo m_info;
  FileEntryArray m_entries;
  FileEntryArray m_queue;  // the download list
  uint64_t m_total = 0;
  FileHasher m_hasher;  // one context for the whole run
};
}  // namespace

void RunUpdate(const String& clientPath, const String& clientVersion, UpdateReport& report) {
  RunUpdate(clientPath, clientVersion, BuiltInManifestKey(), report);
}

void RunUpdate(const String& clientPath, const String& clientVersion, const ManifestKey& key, UpdateReport& report) {
  UpdateRun run(clientPath, clientVersion, key, report);
  run.Execute();
}

DWORD WINAPI UpdateThreadProc(LPVOID host) {
  const UpdateWorkerHost& starter = *static_cast<const UpdateWorkerHost*>(host);
  std::unique_ptr<UpdateReport> report(starter.NewUpdateReport());
  RunUpdate(starter.ClientPath(), starter.ClientVersion(), *report);
  return 0;
}
