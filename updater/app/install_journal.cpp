#include "app/install_journal.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/full_path.h"
#include "app/update_rules.h"
#include "base/memory/alloc.h"
#include "base/system/log.h"

// Journal layout: a sequence of records, each
//   uint32 payload size, uint32 FNV-1a checksum of the payload, payload;
// a payload is one kind byte and a uint32 step index, then for a plan step
// ('S') one byte "an installed file was there" and the name (uint32 count
// of UTF-16 units, the units). The plan is the steps 0..n-1 in order followed
// by an end record ('E', index n); moves begin only after it is on disk.
// Integers are little-endian.
namespace {
constexpr uint8_t kPlanStep = 'S';
constexpr uint8_t kPlanEnd = 'E';
constexpr uint32_t kLongestPath = 32767;
// A journal larger than this is not one that this program wrote.
constexpr uint64_t kLargestJournal = uint64_t{1} << 30;

uint32_t Checksum(const uint8_t* bytes, uint32_t size) {
  uint32_t hash = 2166136261u;
  for (uint32_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

using Bytes = std::vector<uint8_t, LibraryAllocator<uint8_t>>;

void PutU32(Bytes* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t GetU32(const uint8_t* at) {
  return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

// Appends the record of `payload` (size, checksum, payload) to `bytes`.
void AddRecord(Bytes* bytes, const Bytes& payload) {
  const uint32_t size = static_cast<uint32_t>(payload.size());
  PutU32(bytes, size);
  PutU32(bytes, Checksum(payload.data(), size));
  bytes->insert(bytes->end(), payload.begin(), payload.end());
}

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// What a journal on disk says.
struct JournalContents {
  std::vector<JournalStep, LibraryAllocator<JournalStep>> steps;
  bool planComplete = false;
  bool committed = false;
  int64_t lastRecorded = -1;  // the highest step index with a recorded move
};

// Reads the complete, well-formed records of `bytes`; stops at the first
// that is cut short, fails its checksum or makes no sense.
void ParseJournal(const uint8_t* bytes, uint64_t size, JournalContents* contents) {
  uint64_t at = 0;
  while (size - at >= 8) {
    const uint32_t length = GetU32(bytes + at);
    if (length < 5 || length > size - at - 8) return;
    const uint8_t* payload = bytes + at + 8;
    if (Checksum(payload, length) != GetU32(bytes + at + 4)) return;
    at += 8 + uint64_t{length};
    const uint8_t kind = payload[0];
    const uint32_t index = GetU32(payload + 1);
    if (kind == kPlanStep) {
      if (contents->planComplete || index != contents->steps.size() || length < 10) return;
      const uint32_t chars = GetU32(payload + 6);
      if (chars == 0 || chars > kLongestPath || length != 10 + uint64_t{chars} * 2) return;
      std::vector<wchar_t, LibraryAllocator<wchar_t>> name(chars);
      for (uint32_t i = 0; i < chars; ++i) {
        name[i] = static_cast<wchar_t>(payload[10 + 2 * i] | payload[11 + 2 * i] << 8);
        if (name[i] == 0) return;
      }
      contents->steps.push_back(JournalStep{String(name.data(), chars), payload[5] != 0});
    } else if (kind == kPlanEnd) {
      if (contents->planComplete || index != contents->steps.size()) return;
      contents->planComplete = true;
    } else if (kind == InstallJournal::kSetAside || kind == InstallJournal::kMovedIn) {
      if (!contents->planComplete || index >= contents->steps.size()) return;
      if (static_cast<int64_t>(index) > contents->lastRecorded) contents->lastRecorded = index;
    } else if (kind == InstallJournal::kCommitted) {
      if (!contents->planComplete) return;
      contents->committed = true;
    } else {
      return;
    }
  }
}

// The whole file at `path`; false when it cannot be read.
bool ReadWhole(const String& path, Bytes* bytes) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kLargestJournal) {
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes->size()) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 20));
    if (!ReadFile(file.Get(), bytes->data() + done, want, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

// Puts the installed file of one step back as it was before the pass: a file
// that the pass moved in goes back to "Temp", a set-aside one returns.
// Decided by what is on disk, so that a move made just before the process
// ended, but not yet recorded, is undone too. False when a move fails.
bool UndoStep(const JournalStep& step, const StepPaths& paths) {
  const bool setAside = Exists(paths.setAside);
  // Before the pass an installed file was there exactly when `hadInstalled`;
  // while its set-aside copy exists, whatever lies in its place is new.
  const bool newFileIn = step.hadInstalled ? setAside && Exists(paths.local) : Exists(paths.local);
  if (newFileIn) {
    if (IsFolder(paths.local)) return false;
    PassInstallPoint();
    // A running program can be moved, not deleted.
    if (!MoveFileExW(paths.local, paths.temp, kMoveFlags) && !RemoveFile(paths.local)) {
      WriteLog(L"install journal: cannot remove %s: %d", Text(paths.local), static_cast<int>(GetLastError()));
      return false;
    }
    PassInstallPoint();
  }
  if (step.hadInstalled && setAside) {
    PassInstallPoint();
    if (!MoveFileExW(paths.setAside, paths.local, MOVEFILE_WRITE_THROUGH)) {
      WriteLog(L"install journal: cannot move %s back to %s: %d", Text(paths.setAside), Text(paths.local),
               static_cast<int>(GetLastError()));
      return false;
    }
    PassInstallPoint();
  }
  return true;
}
}  // namespace

#if defined(UPDATER_INSTALL_POINTS)
namespace {
InstallPointHook installPointHook;
}  // namespace

void SetInstallPointHook(InstallPointHook hook) { installPointHook = hook; }

void PassInstallPoint() {
  if (installPointHook) installPointHook();
}
#endif

bool MayHoldSetAsideCopies(const String& folder) {
  WIN32_FIND_DATAW found;
  ScopedFind search(
      FindFirstFileExW(folder + L"\\*.previous", FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (search.IsValid()) return true;
  // Anything but "none there" leaves the question open.
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

void RemoveEmptyFoldersOf(const String& folderPath, const StepPaths& paths) {
  const uint32_t top = LongPathOf(folderPath).Length();
  for (String folder = GetDirectoryOfPath(paths.local); folder.Length() > top; folder = GetDirectoryOfPath(folder)) {
    if (!IsFolder(folder)) continue;
    PassInstallPoint();
    if (!RemoveDirectoryW(folder)) return;
    PassInstallPoint();
  }
}

bool PathsOfStep(const String& folderPath, const String& name, uint32_t index, StepPaths* paths) {
  if (folderPath.IsEmpty() || !IsSafeRelativeName(name)) return false;
  const String tempFolder = folderPath + L"\\Temp";
  const String local = FullPathOf(folderPath + L"\\" + name);
  const String temp = FullPathOf(tempFolder + L"\\" + name);
  // The set-aside copy's path is the longest of a step.
  if (!LiesIn(local, folderPath) || !LiesIn(temp, tempFolder) || temp.Length() + 32 > kLongestPath) return false;
  paths->local = LongPathOf(local);
  paths->temp = LongPathOf(temp);
  // Numbered, so that two steps of one name cannot take each other's place.
  paths->setAside = paths->temp + String::Format(L".%u.previous", static_cast<unsigned>(index));
  return true;
}

String InstallJournalPath(const String& folderPath) { return LongPathOf(folderPath) + L"\\Temp\\install.journal"; }

bool InstallJournal::Write(const uint8_t* bytes, size_t size) {
  DWORD written = 0;
  return m_file.IsValid() && size <= MAXDWORD &&
         WriteFile(m_file.Get(), bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

bool InstallJournal::Begin(const String& path, const JournalStep* steps, size_t count) {
  m_path = path;
  // Not write-through: the plan goes to the disk with one flush, not one
  // disk write per record.
  m_file.Reset(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!m_file.IsValid()) return false;
  Bytes plan;
  Bytes payload;
  for (size_t i = 0; i < count; ++i) {
    payload.clear();
    payload.push_back(kPlanStep);
    PutU32(&payload, static_cast<uint32_t>(i));
    payload.push_back(steps[i].hadInstalled ? 1 : 0);
    PutU32(&payload, steps[i].name.Length());
    for (uint32_t c = 0; c < steps[i].name.Length(); ++c) {
      payload.push_back(static_cast<uint8_t>(steps[i].name.Text()[c]));
      payload.push_back(static_cast<uint8_t>(steps[i].name.Text()[c] >> 8));
    }
    AddRecord(&plan, payload);
  }
  payload.clear();
  payload.push_back(kPlanEnd);
  PutU32(&payload, static_cast<uint32_t>(count));
  AddRecord(&plan, payload);
  if (Write(plan.data(), plan.size()) && FlushFileBuffers(m_file.Get())) return true;
  Remove();
  return false;
}

bool InstallJournal::Add(Record record, uint32_t index) {
  Bytes payload;
  payload.push_back(record);
  PutU32(&payload, index);
  Bytes bytes;
  AddRecord(&bytes, payload);
  // Only the commit must be on the disk before the pass goes on: it turns the
  // undo of the pass into its completion, which removes the set-aside copies.
  return Write(bytes.data(), bytes.size()) && (record != kCommitted || FlushFileBuffers(m_file.Get()));
}

bool InstallJournal::Remove() {
  m_file.Reset();
  return m_path.IsEmpty() || RemoveFile(m_path) || !Exists(m_path);
}

JournalOutcome CompleteInterruptedInstall(const String& folderPath) {
  if (folderPath.IsEmpty()) return JournalOutcome::kNone;
  const String path = InstallJournalPath(folderPath);
  if (!Exists(path)) return JournalOutcome::kNone;
  Bytes bytes;
  if (!ReadWhole(path, &bytes)) {
    WriteLog(L"install journal: cannot read %s: %d; kept for the next start", Text(path),
             static_cast<int>(GetLastError()));
    return JournalOutcome::kKept;
  }
  JournalContents contents;
  ParseJournal(bytes.data(), bytes.size(), &contents);
  Bytes().swap(bytes);

  std::vector<StepPaths, LibraryAllocator<StepPaths>> paths(contents.steps.size());
  bool usable = contents.planComplete;
  for (size_t i = 0; i < contents.steps.size() && usable; ++i) {
    usable = PathsOfStep(folderPath, contents.steps[i].name, static_cast<uint32_t>(i), &paths[i]);
  }
  bool done = true;
  if (!usable) {
    // Nothing was moved before the plan was on disk; a journal naming a
    // path outside the installation is not ours to follow.
    WriteLog(contents.planComplete ? L"install journal: %s names a file outside the installation; removed unused"
                                   : L"install journal: %s holds no complete plan; nothing was moved",
             Text(path));
  } else if (contents.committed) {
    // Every file was in place: only the set-aside copies are left to remove.
    for (const StepPaths& step : paths) {
      if (!Exists(step.setAside)) continue;
      PassInstallPoint();
      if (RemoveFile(step.setAside)) {
        PassInstallPoint();
      } else {
        done = false;
      }
    }
    WriteLog(L"install journal: the interrupted install had finished; set-aside files %s",
             done ? L"removed" : L"still held");
  } else {
    // Every step, last first, and not only those up to the last record: the
    // disk says what was moved, so a record lost with the end of the file
    // cannot leave a move in place. Steps that never began change nothing.
    for (size_t i = contents.steps.size(); i-- > 0;) {
      if (!UndoStep(contents.steps[i], paths[i])) done = false;
    }
    // Only once every file is back: a folder emptied by a set-aside file
    // must still be there for it to return.
    for (size_t i = contents.steps.size(); done && i-- > 0;) {
      if (!IsFolder(paths[i].temp)) RemoveFile(paths[i].temp);
      if (!contents.steps[i].hadInstalled) RemoveEmptyFoldersOf(folderPath, paths[i]);
    }
    WriteLog(done ? L"install journal: interrupted install of %u files (%u begun) undone"
                  : L"install journal: interrupted install of %u files (%u begun) not yet undone; kept for the next start",
             static_cast<unsigned>(contents.steps.size()), static_cast<unsigned>(contents.lastRecorded + 1));
  }
  if (!done) return JournalOutcome::kKept;
  if (!(RemoveFile(path) || !Exists(path))) {
    WriteLog(L"install journal: cannot remove %s: %d", Text(path), static_cast<int>(GetLastError()));
    return JournalOutcome::kKept;
  }
  return JournalOutcome::kCompleted;
}
