#include "app/self_update.h"

#include <windows.h>
#include <shellapi.h>

#include "app/full_path.h"
#include "app/install_journal.h"
#include "app/manifest.h"
#include "app/manifest_signature.h"
#include "app/update_rules.h"
#include "base/memory/alloc.h"
#include "base/memory/library.h"
#include "base/system/scoped_handle.h"

// Nothing here may depend on the program's C/C++ start-up: UpdateWeb runs in
// the client's process, where Updater.exe is only loaded as a library.
String MainProgramPath() {
  for (DWORD chars = MAX_PATH; chars <= 32768; chars *= 2) {
    auto* buffer = static_cast<wchar_t*>(MemAlloc(uint64_t{chars} * sizeof(wchar_t)));
    DWORD got = GetModuleFileNameW(nullptr, buffer, chars);
    String path = got > 0 && got < chars ? String(buffer, got) : String();
    MemFree(buffer);
    if (got == 0 || got < chars) return path;
  }
  return String();
}

extern "C" bool __cdecl UpdateWeb() {
  StartLibraryOnce(L"FastAlloc");
  const String callerPath = MainProgramPath();
  const String folder = GetDirectoryOfPath(callerPath);
  if (folder.IsEmpty()) return true;
  // An install pass that an ended process left half done is undone first, so
  // that the version check sees the release that was there before it. A
  // journal that must be kept is retried by the next start (or the updater).
  CompleteInterruptedInstall(InstallationFolderOf(callerPath));
  const String copyPath = folder + L"\\Updater_new.exe";
  CopyFileW(folder + L"\\Updater.exe", copyPath, FALSE);

  bool updateNeeded = false;
  CheckForUpdate(&updateNeeded);
  if (!updateNeeded) return true;
  const String parameters = String::Format(L"-path \"%s\"", Text(callerPath));
  if (GetFileAttributesW(copyPath) == INVALID_FILE_ATTRIBUTES) return true;

  SHELLEXECUTEINFOW execute{};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS;
  execute.lpVerb = L"open";
  execute.lpFile = copyPath;
  execute.lpParameters = parameters;
  const String directory = folder + L"\\";
  execute.lpDirectory = directory;
  execute.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&execute);
  // Nothing waits for the copy: its handle is not needed.
  ScopedHandle started(execute.hProcess);
  return false;
}

void CheckForUpdate(bool* updateNeeded) {
  *updateNeeded = false;
  const String callerPath = MainProgramPath();
  String localVersion;
  GetProductVersionText(callerPath, &localVersion);
  const String folder = GetDirectoryOfPath(callerPath);
  if (folder.IsEmpty()) return;
  FileEntryArray entries;
  ManifestInfo info;
  const ManifestKey key = BuiltInManifestKey();
  if (FetchUpdateManifest(folder, key, &entries, &info) != ManifestFetch::kFetched) return;
  // The started run would refuse a signed release with a file it cannot check.
  for (const FileEntry& entry : entries) {
    if (key.IsPresent() && entry.sha256.IsEmpty()) return;
  }
  // A signed release is newer only by the numbers: a replayed old one never is.
  *updateNeeded = key.IsPresent() ? CompareVersionNumbers(localVersion, info.version) < 0
                                  : CompareVersionsByPosition(localVersion, info.version);
}

void GetProductVersionText(const wchar_t* path, String* text) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return;
  void* block = MemAlloc(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (GetFileVersionInfoW(path, 0, size, block) &&
      VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed &&
      fixedSize >= sizeof *fixed) {
    *text = String::Format(L"%d.%d.%d.%d", HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                           HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
  }
  MemFree(block);
}
