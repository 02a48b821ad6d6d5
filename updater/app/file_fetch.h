// The fetching half of an update run: the installed files are compared with
// the manifest, and each outdated or missing one is downloaded into the
// installation's "Temp" and verified there.
#pragma once

#include "app/full_path.h"
#include "app/manifest.h"
#include "app/update_report.h"
#include "base/text/wide_string.h"

class FileHasher;
class HttpSession;
class DownloadQueue;

class FileFetch {
public:
  // For the installation in `folder` (as the client's path names it) whose
  // full path is `folderPath`, over `session` and hashing with `hasher`,
  // which both outlive it.
  FileFetch(const String& folder, const String& folderPath, HttpSession& session, FileHasher& hasher);
  FileFetch(const FileFetch&) = delete;
  FileFetch& operator=(const FileFetch&) = delete;

  // Queues every outdated or missing file of `entries` but the running
  // program `ownPath`, downloads each from `baseUrl` into "Temp" and verifies
  // it, reporting the bytes verified so far to `report` after each file.
  // The scan and the downloads overlap: each outdated file is queued for
  // download as soon as the scan finds it, when the volume of "Temp" holds
  // every file of the manifest; otherwise the downloads start once the scan
  // has found that the outdated ones fit. The downloads are verified once
  // the scan is done and the total is known; the first failure of either
  // stops the transfers still running. A manifest refused for its names or
  // sizes fetches nothing. False with Error() the run's text.
  bool Run(const FileEntryArray& entries, const String& baseUrl, const String& ownPath, UpdateReport& report);
  // The files to install: the queued entries with their paths and URL.
  const FileEntryArray& Files() const { return m_queue; }
  const String& Error() const { return m_error; }
  // After a failed run: the files this run downloaded into "Temp" and the
  // folders it made there. Files of the installation are never among them.
  void RemoveDownloads();
  // Frees all its memory of the library's allocator.
  void Release();

private:
  // Where the run touches the files of one queued entry: full paths checked
  // to lie inside their folders, in the form that takes any length.
  struct EntryPaths {
    String local;
    String temp;
  };
  using EntryPathsArray = std::vector<EntryPaths, LibraryAllocator<EntryPaths>>;

  bool DigestOf(const String& path, const FileEntry& entry, String* digest);
  bool PathsOf(const FileEntry& entry, String* local, String* temp) const;
  bool Scan(const FileEntryArray& entries, DownloadQueue* downloads);
  bool Queue(const FileEntry& entry, EntryPaths paths);
  void StartDownload(size_t index, DownloadQueue& downloads);
  bool VerifyDownloads(DownloadQueue& downloads);
  // Keeps the error text. Returns false for the caller to pass on.
  bool Fail(const String& text) {
    m_error = text;
    return false;
  }

  String m_folder;
  String m_folderPath;  // m_folder's full path
  String m_tempPath;    // the full path of its "Temp"
  HttpSession& m_session;
  FileHasher& m_hasher;
  // Those of the current Run.
  const String* m_baseUrl = nullptr;
  const String* m_ownPath = nullptr;
  UpdateReport* m_report = nullptr;
  String m_error;
  FileEntryArray m_queue;  // the download list
  EntryPathsArray m_paths;  // where each of its files lies
  PathArray m_downloads;    // temp files this run has written to
  PathArray m_tempFolders;  // folders this run has made below "Temp"
  uint64_t m_total = 0;
  uint64_t m_freeBytes = 0;  // on the volume of "Temp" when the scan began
};
