#include "app/update_worker.h"

#include <algorithm>
#include <memory>
#include <string>

#include "app/file_fetch.h"
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
class UpdateRun {
public:
  UpdateRun(const String& clientPath, const String& clientVersion, const ManifestKey& key, UpdateReport& report)
      : m_folder(GetDirectoryOfPath(clientPath)),
        m_folderPath(InstallationFolderOf(clientPath)),
        m_clientVersion(clientVersion),
        m_key(key),
        m_report(report),
        m_fetch(m_folder, m_folderPath, m_session, m_hasher) {}

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
      m_fetch.RemoveDownloads();
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
    m_fetch.Release();
    m_info = ManifestInfo();
    m_folder = String();
    m_folderPath = String();
    m_clientVersion = String();
    m_ownPath = String();
    m_error = String();
    m_session.FreeSpareBuffers();
    m_hasher.FreeBlock();
  }

  // The install pass, announced to the receiver before and after, so that a
  // close request cannot end the program half-way through it.
  Outcome Install() {
    if (m_fetch.Files().empty()) return Outcome::kSucceeded;
    if (!m_report.InstallStarting()) return Outcome::kAbandoned;
    bool installed = InstallFiles(m_folderPath, m_fetch.Files(), &m_error);
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

  // Every outdated or missing file downloaded into "Temp" and verified.
  bool FetchChanged() { return m_fetch.Run(m_entries, m_info.baseUrl, m_ownPath, m_report) || Fail(m_fetch.Error()); }

  String m_folder;
  String m_folderPath;  // m_folder's full path
  String m_clientVersion;
  const ManifestKey m_key;
  UpdateReport& m_report;
  String m_error;
  String m_ownPath;
  ManifestInfo m_info;
  FileEntryArray m_entries;
  // One provider context and one HTTP session (its connections kept alive)
  // for the whole run.
  FileHasher m_hasher;
  HttpSession m_session;
  FileFetch m_fetch;  // the scan, downloads and verification
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
