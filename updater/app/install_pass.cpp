#include "app/install_pass.h"

#include <windows.h>

#include <vector>

#include "app/full_path.h"
#include "app/install_journal.h"
#include "app/retry.h"
#include "app/update_rules.h"
#include "base/system/log.h"
#include "base/text/wide_text.h"

namespace {
// One file of the install pass and what the pass has done to it so far.
struct InstallStep {
  const FileEntry* entry;
  StepPaths paths;
  bool hadInstalled;  // an installed file was there before the pass
  bool setAside;  // the installed file was moved to paths.setAside
  bool movedIn;   // the new file is in place
};
using InstallStepArray = std::vector<InstallStep, LibraryAllocator<InstallStep>>;

constexpr DWORD kMoveFlags = MOVEFILE_WRITE_THROUGH;

// A question about the folder of a path, asked again only when the folder
// differs from the last one's (the files of a folder mostly follow each other).
class FolderQuestion {
public:
  explicit FolderQuestion(bool (*ask)(const String& folder)) : m_ask(ask) {}
  // The answer for the folder that holds `path`.
  bool MayHold(const String& path) {
    String folder = GetDirectoryOfPath(path);
    if (!m_asked || WCompare(Text(folder), Text(m_folder)) != 0) {
      m_answer = m_ask(folder);
      m_folder = std::move(folder);
      m_asked = true;
    }
    return m_answer;
  }

private:
  bool (*m_ask)(const String& folder);
  String m_folder;
  bool m_asked = false;
  bool m_answer = false;
};

class InstallPass {
public:
  InstallPass(const String& folderPath, const FileEntryArray& files) : m_folderPath(folderPath), m_files(files) {}

  const String& Error() const { return m_error; }

  bool Run() {
    InstallStepArray steps;
    std::vector<JournalStep, LibraryAllocator<JournalStep>> plan;
    steps.reserve(m_files.size());
    plan.reserve(m_files.size());
    // A missing name is looked up once per folder where that can answer for
    // all of its files (a lookup of one walks the folder under Wine).
    FolderQuestion installedFolders(IsFolder);
    FolderQuestion setAsideFolders(MayHoldSetAsideCopies);
    for (size_t i = 0; i < m_files.size(); ++i) {
      const FileEntry& entry = m_files[i];
      StepPaths paths;
      if (!PathsOfStep(m_folderPath, entry.name, static_cast<uint32_t>(i), &paths)) {
        return Fail(String::Format(L"invalid file name %s", Text(MessageName(entry.name))));
      }
      // A copy left by a run that was cut off would pass for this one's.
      if (setAsideFolders.MayHold(paths.setAside) && Exists(paths.setAside)) RemoveFile(paths.setAside);
      plan.push_back(JournalStep{entry.name, installedFolders.MayHold(paths.local) && Exists(paths.local)});
      steps.push_back(InstallStep{&entry, std::move(paths), plan.back().hadInstalled, false, false});
    }
    const String journalPath = InstallJournalPath(m_folderPath);
    InstallJournal journal;
    if (!journal.Begin(journalPath, plan.data(), plan.size())) {
      return Fail(String::Format(L"write install journal %s fail\nerror code: %d", Text(MessageName(journalPath)),
                                 static_cast<int>(GetLastError())));
    }
    for (size_t i = 0; i < steps.size(); ++i) {
      InstallStep& step = steps[i];
      const FileEntry& entry = *step.entry;
      const uint32_t index = static_cast<uint32_t>(i);
      if (step.hadInstalled) {
        DWORD error = ERROR_ACCESS_DENIED;
        // A folder in a file's place is not moved away with what it holds.
        const bool setAsideDone = !IsFolder(step.paths.local) && WithRetry([&] {
          PassInstallPoint();
          const bool moved = MoveFileExW(step.paths.local, step.paths.setAside, kMoveFlags) != FALSE;
          if (!moved) error = GetLastError();
          return moved;
        });
        if (setAsideDone) {
          PassInstallPoint();
          step.setAside = true;
        }
        if (!setAsideDone || !journal.Add(InstallJournal::kSetAside, index)) {
          if (setAsideDone) error = GetLastError();
          return RestoreAndFail(steps, journal,
                                String::Format(L"001 delete file %s failed\nerror code: %d",
                                               Text(MessageName(entry.localPath)), static_cast<int>(error)));
        }
      }
      // A new file's folders are made once the journal is on disk; undoing the pass removes them.
      CreateFoldersDownTo(m_folderPath, step.paths.local, nullptr);
      PassInstallPoint();
      const bool movedIn = MoveFileExW(step.paths.temp, step.paths.local, kMoveFlags) != FALSE;
      DWORD error = GetLastError();
      if (movedIn) {
        PassInstallPoint();
        step.movedIn = true;
      }
      if (!movedIn || !journal.Add(InstallJournal::kMovedIn, index)) {
        if (movedIn) error = GetLastError();
        return RestoreAndFail(steps, journal,
                              String::Format(L"move %s to %s fail\nerror code: %d", Text(MessageName(entry.tempPath)),
                                             Text(MessageName(entry.localPath)), static_cast<int>(error)));
      }
    }
    // Every file is in place: from here on the next start finishes the pass
    // instead of undoing it.
    if (!journal.Add(InstallJournal::kCommitted, 0)) {
      return RestoreAndFail(steps, journal,
                            String::Format(L"write install journal %s fail\nerror code: %d", Text(MessageName(journalPath)),
                                           static_cast<int>(GetLastError())));
    }
    for (const InstallStep& step : steps) {
      if (!step.setAside) continue;
      PassInstallPoint();
      RemoveFile(step.paths.setAside);
      PassInstallPoint();
    }
    journal.Remove();
    return true;
  }

  // Undoes the install pass, last change first: new files out, the files
  // they replaced back in, then the folders made for new files. The journal
  // goes once all is back; otherwise it stays for the next start. Returns
  // false with `error` as the run's text.
  bool RestoreAndFail(const InstallStepArray& steps, InstallJournal& journal, const String& error) {
    bool restored = true;
    for (size_t i = steps.size(); i-- > 0;) {
      const InstallStep& step = steps[i];
      const String& localPath = step.paths.local;
      if (step.movedIn) {
        PassInstallPoint();
        if (!WithRetry([&] { return RemoveFile(localPath); })) {
          WriteLog(L"restore: cannot remove %s: %d", Text(localPath), static_cast<int>(GetLastError()));
          restored = false;
          continue;
        }
        PassInstallPoint();
      }
      if (step.setAside) {
        PassInstallPoint();
        if (!WithRetry([&] { return MoveFileExW(step.paths.setAside, localPath, kMoveFlags) != FALSE; })) {
          WriteLog(L"restore: cannot move %s back to %s: %d", Text(step.paths.setAside), Text(localPath),
                   static_cast<int>(GetLastError()));
          restored = false;
          continue;
        }
        PassInstallPoint();
      }
    }
    if (restored) {
      for (size_t i = steps.size(); i-- > 0;) {
        if (!steps[i].hadInstalled) RemoveEmptyFoldersOf(m_folderPath, steps[i].paths);
      }
      journal.Remove();
    }
    return Fail(error);
  }

private:
  // Keeps the error text of the pass. Returns false for the caller to pass on.
  bool Fail(const String& text) {
    m_error = text;
    return false;
  }

  const String& m_folderPath;
  const FileEntryArray& m_files;
  String m_error;
};
}  // namespace

bool InstallFiles(const String& folderPath, const FileEntryArray& files, String* error) {
  InstallPass pass(folderPath, files);
  if (pass.Run()) return true;
  *error = pass.Error();
  return false;
}
