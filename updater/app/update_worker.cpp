#include "app/update_worker.h"

#include <algorithm>
#include <memory>
#include <string>

#include "app/download_queue.h"
#include "app/file_hash.h"
#include "app/full_path.h"
#include "app/http_download.h"
#include "app/install_journal.h"
#include "app/install_pass.h"
#include "app/manifest.h"
#include "app/manifest_signature.h"
#include "app/self_update.h"
#include "app/update_rules.h"
#include "base/system/log.h"
#include "base/text/wide_text.h"

namespace {
// The longest path Windows knows, in characters.
constexpr uint32_t kLongestPath = 32767;

// Where the run touches the files of one queued entry: full paths checked
// to lie inside their folders, in the form that takes any length.
struct EntryPaths {
  String local;
  String temp;
};

using EntryPathsArray = std::vector<EntryPaths, LibraryAllocator<EntryPaths>>;

class UpdateRun {
public:
  UpdateRun(const String& clientPath, const String& clientVersion, const ManifestKey& key, UpdateReport& report)
      : m_folder(GetDirectoryOfPath(clientPath)),
        m_folderPath(InstallationFolderOf(clientPath)),
        m_clientVersion(clientVersion),
        m_key(key),
        m_report(report) {
    if (!m_folderPath.IsEmpty()) m_tempPath = m_folderPath + L"\\Temp";
  }

  void Execute() {
    Outcome outcome = Outcome::kFailed;
    // A pass that an ended process left half done is undone before anything
    // else; while it cannot be, no new pass may overwrite its journal.
    if (CompleteInterruptedInstall(m_folderPath) == JournalOutcome::kKept) {
      Fail(L"undo interrupted update fail");
    } else if (FetchManifest()) {
      if (CompareVersions(m_clientVersion, m_info.version) != 1) {
        outcome = Outcome::kSucceeded;
      } else if (CheckNames() && CheckDigests() && FetchChanged()) {
        outcome = Install();
      }
    }
    if (outcome == Outcome::kFailed) {
      RemoveDownloads();
      // A failure never goes out without words; the log keeps it too.
      if (m_error.IsEmpty()) m_error = L"update failed";
      WriteLog(L"%s", Text(m_error));
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
    EntryPathsArray().swap(m_paths);
    PathArray().swap(m_downloads);
    PathArray().swap(m_tempFolders);
    m_info = ManifestInfo();
    m_folder = String();
    m_folderPath = String();
    m_tempPath = String();
    m_clientVersion = String();
    m_ownPath = String();
    m_error = String();
    m_session.FreeSpareBuffers();
    m_hasher.FreeBlock();
  }

  // The install pass, announced to the receiver before and after, so that a
  // close request cannot end the program half-way through it.
  Outcome Install() {
    if (m_queue.empty()) return Outcome::kSucceeded;
    if (!m_report.InstallStarting()) return Outcome::kAbandoned;
    bool installed = InstallFiles(m_folderPath, m_queue, &m_error);
    m_report.InstallEnded();
    return installed ? Outcome::kSucceeded : Outcome::kFailed;
  }

  bool FetchManifest() {
    if (m_folderPath.IsEmpty()) return Fail(L"download update config fail.");
    m_ownPath = FullPathOf(MainProgramPath());
    switch (FetchUpdateManifest(LongPathOf(m_folderPath), m_key, &m_entries, &m_info, &m_session,
                                m_key.IsPresent() ? m_hasher.Provider() : 0)) {
      case ManifestFetch::kFetched:
        break;
      case ManifestFetch::kNotDownloaded:
        return Fail(L"download update config fail.");
      case ManifestFetch::kNotRead:
        return Fail(L"parseConfig fail");
      case ManifestFetch::kNotVerified:
        return Fail(L"verify manifest signature fail");
      case ManifestFetch::kExpired:
        return Fail(String::Format(L"manifest expired %s", Text(MessageName(m_info.expires))));
    }
    // A replayed older release would bring back what it fixed.
    if (m_key.IsPresent() && CompareVersionNumbers(m_info.version, m_clientVersion) < 0) {
      return Fail(String::Format(L"manifest version %s is older than the installed %s", Text(MessageName(m_info.version)),
                                 Text(MessageName(m_clientVersion))));
    }
    return true;
  }

  // Every name must stay inside the installation folder: the updater runs
  // with administrator rights and the manifest comes from the network.
  // Two entries of one file (names equal but for letter case, trailing dots
  // or spaces, or the separator) would fail at the install pass of every run.
  bool CheckNames() {
    std::vector<std::pair<String, size_t>, LibraryAllocator<std::pair<String, size_t>>> keys;
    keys.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
      const FileEntry& entry = m_entries[i];
      if (!IsSafeRelativeName(entry.name)) return Fail(String::Format(L"invalid file name %s", Text(MessageName(entry.name))));
      String key = NameKey(entry.name);
      if (!key.IsEmpty()) CharUpperBuffW(const_cast<wchar_t*>(key.Text()), key.Length());
      keys.emplace_back(std::move(key), i);
    }
    std::sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
      const int order = WCompare(Text(a.first), Text(b.first));
      return order < 0 || (order == 0 && a.second < b.second);
    });
    for (size_t i = 1; i < keys.size(); ++i) {
      if (WCompare(Text(keys[i - 1].first), Text(keys[i].first)) == 0) {
        return Fail(String::Format(L"duplicate file name %s", Text(MessageName(m_entries[keys[i].second].name))));
      }
    }
    return true;
  }

  // With a key every file is compared by the SHA-256 that the signature
  // covers; SHA-1 alone no longer protects against a forged file.
  bool CheckDigests() {
    if (!m_key.IsPresent()) return true;
    for (const FileEntry& entry : m_entries) {
      if (entry.sha256.IsEmpty()) return Fail(String::Format(L"invalid file hash %s", Text(MessageName(entry.name))));
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

  // The scan and the downloads overlap: each outdated file is queued for
  // download as soon as the scan finds it, when the volume of "Temp" holds
  // every file of the manifest; otherwise the downloads start once the scan
  // has found that the outdated ones fit. The downloads are verified once the
  // scan is done and the total is known; the first failure of either stops
  // the transfers still running. A manifest refused for its names or sizes
  // fetches nothing.
  bool FetchChanged() {
    DownloadQueue downloads(m_session);
    ULARGE_INTEGER free{};
    m_freeBytes = GetDiskFreeSpaceExW(LongPathOf(m_folderPath) + L"\\", &free, nullptr, nullptr) ? free.QuadPart
                                                                                                  : UINT64_MAX;
    uint64_t all = 0;
    for (const FileEntry& entry : m_entries) {
      String local;
      String temp;
      if (!PathsOf(entry, &local, &temp)) return Fail(String::Format(L"invalid file name %s", Text(MessageName(entry.name))));
      all = entry.size > UINT64_MAX - all ? UINT64_MAX : all + entry.size;
    }
    const bool atOnce = all <= m_freeBytes;
    if (!Scan(atOnce ? &downloads : nullptr)) return false;
    for (size_t i = 0; !atOnce && i < m_queue.size(); ++i) StartDownload(i, downloads);
    return VerifyDownloads(downloads);
  }

  // The full paths of `entry` in the installation and in "Temp", as Windows
  // resolves them whatever the name's spelling. False when either leaves its
  // folder, or a path of the entry (the set-aside copy's is the longest)
  // would be too long.
  bool PathsOf(const FileEntry& entry, String* local, String* temp) const {
    *local = FullPathOf(m_folderPath + L"\\" + entry.name);
    *temp = FullPathOf(m_tempPath + L"\\" + entry.name);
    return LiesIn(*local, m_folderPath) && LiesIn(*temp, m_tempPath) && temp->Length() + 32 <= kLongestPath;
  }

  // Queues every outdated or missing file; with `downloads` each download
  // starts as soon as its file is queued.
  bool Scan(DownloadQueue* downloads) {
    for (const FileEntry& entry : m_entries) {
      String local;
      String temp;
      if (!PathsOf(entry, &local, &temp)) return Fail(String::Format(L"invalid file name %s", Text(MessageName(entry.name))));
      // The running updater cannot replace itself; its copy does that.
      if (CompareStringOrdinal(local, -1, Text(m_ownPath), -1, TRUE) == CSTR_EQUAL) continue;
      EntryPaths paths{LongPathOf(local), LongPathOf(temp)};
      if (Exists(paths.local)) {
        String digest;
        // A file that cannot be read (locked, a folder) is outdated: the
        // install pass meets it and fails, and the next run tries again.
        if (DigestOf(paths.local, entry, &digest) && SameDigest(digest, Text(ExpectedDigest(entry)))) continue;
      }
      if (!Queue(entry, std::move(paths))) return false;
      if (downloads) StartDownload(m_queue.size() - 1, *downloads);
    }
    return true;
  }

  // Adds `entry` to the download list. Fails the run when the volume of
  // "Temp" cannot hold every file queued so far.
  bool Queue(const FileEntry& entry, EntryPaths paths) {
    m_total += entry.size;
    if (m_total > m_freeBytes) return Fail(String::Format(L"not enough disk space for %s", Text(MessageName(entry.name))));
    FileEntry queued = entry;
    queued.localPath = m_folder + L"\\";
    queued.localPath += entry.name;
    queued.tempPath = m_folder + L"\\Temp\\";
    queued.tempPath += entry.name;
    queued.url = m_info.baseUrl;
    queued.url += UrlPathOfName(entry.name);
    queued.url.ReplaceAll(L"\\", L"/");
    m_queue.push_back(std::move(queued));
    m_paths.push_back(std::move(paths));
    return true;
  }

  // Starts the download of the queued file `index`, once its folder in "Temp"
  // exists. The installation gets new folders only in the install pass.
  void StartDownload(size_t index, DownloadQueue& downloads) {
    const EntryPaths& paths = m_paths[index];
    CreateFoldersDownTo(m_folderPath, paths.temp, &m_tempFolders);
    m_downloads.push_back(paths.temp);
    downloads.Add(m_queue[index].url, paths.temp, m_queue[index].size);
  }

  // After a failed run: the files this run downloaded into "Temp" and the
  // folders it made there. Files of the installation are never among them.
  void RemoveDownloads() {
    for (const String& path : m_downloads) {
      if (!IsFolder(path)) RemoveFile(path);
    }
    for (size_t i = m_tempFolders.size(); i-- > 0;) RemoveDirectoryW(m_tempFolders[i]);
  }

  // Verifies each download as it ends and reports the bytes verified so far.
  bool VerifyDownloads(DownloadQueue& downloads) {
    uint64_t done = 0;
    for (size_t verified = 0; verified < m_queue.size(); ++verified) {
      size_t i = 0;
      const bool stored = downloads.WaitNext(&i);
      const FileEntry& entry = m_queue[i];
      if (!stored) return Fail(String::Format(L"download file %s fail", Text(MessageName(entry.url))));
      // A file that cannot be verified is not installed.
      String digest;
      if (!DigestOf(m_paths[i].temp, entry, &digest)) {
        return Fail(String::Format(L"hash file %s fail", Text(MessageName(entry.url))));
      }
      if (!SameDigest(digest, Text(ExpectedDigest(entry)))) {
        return Fail(String::Format(L"file %s hash not equal \nhash1:%s \nhash2:%s", Text(MessageName(entry.url)),
                                   Text(digest), Text(MessageName(ExpectedDigest(entry)))));
      }
      done += entry.size;
      ProgressFigures figures = ScaleProgress(done, m_total);
      m_report.Progress(figures.done, figures.total);
    }
    return true;
  }

  String m_folder;
  String m_folderPath;  // m_folder's full path
  String m_tempPath;    // the full path of its "Temp"
  String m_clientVersion;
  const ManifestKey m_key;
  UpdateReport& m_report;
  String m_error;
  String m_ownPath;
  ManifestInfo m_info;
  FileEntryArray m_entries;
  FileEntryArray m_queue;  // the download list
  EntryPathsArray m_paths;  // where each of its files lies
  PathArray m_downloads;    // temp files this run has written to
  PathArray m_tempFolders;  // folders this run has made below "Temp"
  uint64_t m_total = 0;
  uint64_t m_freeBytes = 0;  // on the volume of "Temp" when the scan began
  // One provider context and one HTTP session (its connections kept alive)
  // for the whole run.
  FileHasher m_hasher;
  HttpSession m_session;
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
