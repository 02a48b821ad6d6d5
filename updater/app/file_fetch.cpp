#include "app/file_fetch.h"

#include <windows.h>

#include "app/download_queue.h"
#include "app/file_hash.h"
#include "app/http_download.h"
#include "app/update_rules.h"
#include "base/text/wide_text.h"

namespace {
// The longest path Windows knows, in characters.
constexpr uint32_t kLongestPath = 32767;

// The digest that `entry` is compared by: its "Sha256" when it has one, else its "Hash".
const String& ExpectedDigest(const FileEntry& entry) {
  return entry.sha256.IsEmpty() ? entry.hash : entry.sha256;
}
}  // namespace

FileFetch::FileFetch(const String& folder, const String& folderPath, HttpSession& session, FileHasher& hasher)
    : m_folder(folder), m_folderPath(folderPath), m_session(session), m_hasher(hasher) {
  if (!m_folderPath.IsEmpty()) m_tempPath = m_folderPath + L"\\Temp";
}

// The digest text of the file at `path` of the kind that `entry` is compared
// by: SHA-256 when it has "Sha256", SHA-1 otherwise. False when the file
// cannot be hashed.
bool FileFetch::DigestOf(const String& path, const FileEntry& entry, String* digest) {
  FileDigests digests;
  const bool sha256 = !entry.sha256.IsEmpty();
  if (!m_hasher.Hash(path, sha256 ? kHashSha256 : kHashSha1, &digests)) return false;
  *digest = sha256 ? DigestText(digests.sha256, kSha256Bytes) : DigestText(digests.sha1, kSha1Bytes);
  return true;
}

bool FileFetch::Run(const FileEntryArray& entries, const String& baseUrl, const String& ownPath, UpdateReport& report) {
  m_baseUrl = &baseUrl;
  m_ownPath = &ownPath;
  m_report = &report;
  DownloadQueue downloads(m_session);
  ULARGE_INTEGER free{};
  m_freeBytes = GetDiskFreeSpaceExW(LongPathOf(m_folderPath) + L"\\", &free, nullptr, nullptr) ? free.QuadPart
                                                                                                : UINT64_MAX;
  uint64_t all = 0;
  for (const FileEntry& entry : entries) {
    String local;
    String temp;
    if (!PathsOf(entry, &local, &temp)) return Fail(String::Format(L"invalid file name %s", Text(MessageName(entry.name))));
    all = entry.size > UINT64_MAX - all ? UINT64_MAX : all + entry.size;
  }
  const bool atOnce = all <= m_freeBytes;
  if (!Scan(entries, atOnce ? &downloads : nullptr)) return false;
  for (size_t i = 0; !atOnce && i < m_queue.size(); ++i) StartDownload(i, downloads);
  return VerifyDownloads(downloads);
}

// The full paths of `entry` in the installation and in "Temp", as Windows
// resolves them whatever the name's spelling. False when either leaves its
// folder, or a path of the entry (the set-aside copy's is the longest)
// would be too long.
bool FileFetch::PathsOf(const FileEntry& entry, String* local, String* temp) const {
  *local = FullPathOf(m_folderPath + L"\\" + entry.name);
  *temp = FullPathOf(m_tempPath + L"\\" + entry.name);
  return LiesIn(*local, m_folderPath) && LiesIn(*temp, m_tempPath) && temp->Length() + 32 <= kLongestPath;
}

// Queues every outdated or missing file; with `downloads` each download
// starts as soon as its file is queued.
bool FileFetch::Scan(const FileEntryArray& entries, DownloadQueue* downloads) {
  for (const FileEntry& entry : entries) {
    String local;
    String temp;
    if (!PathsOf(entry, &local, &temp)) return Fail(String::Format(L"invalid file name %s", Text(MessageName(entry.name))));
    // The running updater cannot replace itself; its copy does that.
    if (CompareStringOrdinal(local, -1, Text(*m_ownPath), -1, TRUE) == CSTR_EQUAL) continue;
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
bool FileFetch::Queue(const FileEntry& entry, EntryPaths paths) {
  m_total += entry.size;
  if (m_total > m_freeBytes) return Fail(String::Format(L"not enough disk space for %s", Text(MessageName(entry.name))));
  FileEntry queued = entry;
  queued.localPath = m_folder + L"\\";
  queued.localPath += entry.name;
  queued.tempPath = m_folder + L"\\Temp\\";
  queued.tempPath += entry.name;
  queued.url = *m_baseUrl;
  queued.url += UrlPathOfName(entry.name);
  queued.url.ReplaceAll(L"\\", L"/");
  m_queue.push_back(std::move(queued));
  m_paths.push_back(std::move(paths));
  return true;
}

// Starts the download of the queued file `index`, once its folder in "Temp"
// exists. The installation gets new folders only in the install pass.
void FileFetch::StartDownload(size_t index, DownloadQueue& downloads) {
  const EntryPaths& paths = m_paths[index];
  CreateFoldersDownTo(m_folderPath, paths.temp, &m_tempFolders);
  m_downloads.push_back(paths.temp);
  downloads.Add(m_queue[index].url, paths.temp, m_queue[index].size);
}

void FileFetch::RemoveDownloads() {
  for (const String& path : m_downloads) {
    if (!IsFolder(path)) RemoveFile(path);
  }
  for (size_t i = m_tempFolders.size(); i-- > 0;) RemoveDirectoryW(m_tempFolders[i]);
}

// Verifies each download as it ends and reports the bytes verified so far.
bool FileFetch::VerifyDownloads(DownloadQueue& downloads) {
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
    m_report->Progress(figures.done, figures.total);
  }
  return true;
}

void FileFetch::Release() {
  FileEntryArray().swap(m_queue);
  EntryPathsArray().swap(m_paths);
  PathArray().swap(m_downloads);
  PathArray().swap(m_tempFolders);
  m_folder = String();
  m_folderPath = String();
  m_tempPath = String();
  m_error = String();
}
