// Updater.exe under Wine against hostile manifests, a hostile server and a
// hostile machine. The installation lies in "inst\app" of the test's folder;
// whatever a run does, nothing else in that folder may change.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace {
const std::string kNewVersion = NEW_CLIENT_VERSION;
const wchar_t kApp[] = L"inst\\app\\";

class HostileRun : public ProgramTest {
protected:
  HostileRun() {
    CreateDirectoryW(m_install.File(L"inst").c_str(), nullptr);
    CreateDirectoryW(m_install.File(L"inst\\app").c_str(), nullptr);
    Install(UpdaterProgram(), L"inst\\app\\Updater.exe");
    Install(OldClientProgram(), L"inst\\app\\Castwright PC.exe");
    // Without its picture the failed look's button has no size to click.
    CreateDirectoryW(Installed(App(L"res")).c_str(), nullptr);
    Install(BuiltPicture(L"res\\login_normal.png"), L"inst\\app\\res\\login_normal.png");
  }

  std::wstring App(const std::wstring& name) const { return kApp + name; }
  std::string AppContent(const std::wstring& name) const { return Content(App(name)); }
  bool AppWrite(const std::wstring& name, const std::string& bytes) const {
    return WriteFileBytes(Installed(App(name)), bytes);
  }
  void Release(const std::vector<ReleaseFile>& files) const {
    PublishRelease(m_server, Installed(L"inst\\app"), files, kNewVersion);
  }

  // Every file and folder below the test's folder but outside the
  // installation, with its content.
  std::map<std::wstring, std::string> Outside(const std::wstring& relative = L"") const {
    std::map<std::wstring, std::string> tree;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((m_install.Path() + L"\\" + relative + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return tree;
    do {
      const std::wstring name = relative + found.cFileName;
      if (name == L"inst\\app" || std::wstring(found.cFileName) == L"." || std::wstring(found.cFileName) == L"..") {
        continue;
      }
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        tree[name + L"\\"] = "";
        for (const auto& below : Outside(name + L"\\")) tree.insert(below);
      } else {
        tree[name] = Content(name);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return tree;
  }

  // Runs the updater for the installed client to its end: "" when it ended
  // by itself with exit code 0, else the text of its failed look (the
  // finish button then ends it). Checks that a failure is in "XT.log" too
  // and that nothing outside the installation changed.
  std::string Run() {
    const auto before = Outside();
    ScopedHandle updater =
        Start(App(L"Updater.exe").c_str(), L"-path \"" + Installed(App(kClientName)) + L"\"", Installed(L"inst\\app"));
    HWND dialog = nullptr;
    std::string text;
    EXPECT_TRUE(WaitFor(
        [&] {
          if (WaitForSingleObject(updater.Get(), 0) == WAIT_OBJECT_0) return true;
          if (!dialog) dialog = DialogOf(updater, 0);
          if (!dialog || !IsWindowVisible(GetDlgItem(dialog, kFinishButton))) return false;
          text = TextOfWindow(GetDlgItem(dialog, kErrorText));
          EXPECT_FALSE(text.empty());
          PostMessageW(GetDlgItem(dialog, kFinishButton), BM_CLICK, 0, 0);
          return true;
        },
        90000))
        << "the run did not end";
    EXPECT_EQ(ExitCodeOf(updater), 0u);
    if (!text.empty()) {
      EXPECT_NE(AppContent(L"XT.log").find(text.substr(0, text.find('\n'))), std::string::npos) << text;
    }
    EXPECT_TRUE(Outside() == before) << "something outside the installation changed";
    return text;
  }

  // The files requested so far, below "files/", as sent.
  std::vector<std::string> FileRequests() const {
    std::vector<std::string> paths;
    for (const RecordedRequest& request : m_server.Requests()) {
      const size_t files = request.path.find("/files/");
      if (files != std::string::npos) paths.push_back(request.path.substr(files + 7));
    }
    return paths;
  }
  // Whether "Temp" is gone or empty.
  bool TempIsEmpty() const {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Installed(App(L"Temp\\*")).c_str(), &found);
    bool empty = true;
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
      empty = empty && found.cFileName[0] == L'.';
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return empty;
  }
};

}  // namespace

// Names that are safe only as Unicode, a folder outside the code page, a
// path beyond 260 characters, a "%" in a name, an upper-case digest, a
// compressed body, and a client of the same name in another installation.
TEST_F(HostileRun, HostileButValidReleaseInstallsInsideTheFolder) {
  const std::string fullWidth = "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC";  // U+FF0E U+FF0E U+FF3C: "..\" in ANSI
  const std::string deep = std::string(120, 'd') + "\\" + std::string(120, 'e') + "\\f.txt";
  ASSERT_TRUE(AppWrite(L"upper.txt", "old"));
  Release({{fullWidth + fullWidth + "escaped.txt", "fw", ""},
           {"\xE6\x95\xB0\xE6\x8D\xAE/a.txt", "data", ""},
           {deep, "deep", ""},
           {"100%41.txt", "percent", ""},
           {"upper.txt", "new upper", ""},
           {"gz.txt", std::string(5000, 'z'), ""}});
  const std::wstring manifest = m_server.Folder() + L"\\update.xconfig";
  std::string text = ReadFileBytes(manifest);
  std::string digest = Sha1Hex("new upper");
  const size_t at = text.find(digest);
  for (char& ch : digest) ch = static_cast<char>(std::toupper(ch));
  text.replace(at, digest.size(), digest);
  ASSERT_TRUE(WriteFileBytes(manifest, text));
  m_server.AddFault("files/gz.txt gzip");
  // The other installation's client keeps running through the run.
  CreateDirectoryW(Installed(L"other").c_str(), nullptr);
  Install(OldClientProgram(), L"other\\Castwright PC.exe");
  ScopedHandle other = Start(L"other\\Castwright PC.exe", L"", Installed(L"other"));
  ASSERT_TRUE(WaitFor([&] { return Lines(L"other\\client-starts.txt").size() == 1; }));

  EXPECT_EQ(Run(), "");
  EXPECT_EQ(AppContent(Wide(fullWidth + fullWidth + "escaped.txt")), "fw");
  EXPECT_EQ(AppContent(L"\x6570\x636E\\a.txt"), "data");
  EXPECT_GT(Installed(App(Wide(deep))).size(), 260u);
  EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + Installed(App(Wide(deep)))), "deep");
  EXPECT_EQ(AppContent(L"100%41.txt"), "percent");
  EXPECT_EQ(AppContent(L"upper.txt"), "new upper");
  EXPECT_TRUE(AppContent(L"gz.txt") == std::string(5000, 'z'));
  const auto requests = FileRequests();
  EXPECT_NE(std::find(requests.begin(), requests.end(), "100%2541.txt"), requests.end());
  EXPECT_EQ(WaitForSingleObject(other.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Each manifest fails the run before any file is fetched.
TEST_F(HostileRun, RefusedManifestsFetchNothing) {
  std::vector<ReleaseFile> huge;
  for (int i = 0; i < 64; ++i) huge.push_back({"f" + std::to_string(i) + ".bin", "x", "4294967295"});
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += std::string(199, 'n') + "/";
  struct Case {
    std::vector<ReleaseFile> files;
    std::string text;
  };
  for (const Case& c : {Case{{{"a.txt", "a", ""}, {"COM1", "c", ""}}, "invalid file name COM1"},
                        Case{{{"a.txt", "a", ""}, {"data\\com9.log", "c", ""}}, "invalid file name data\\com9.log"},
                        Case{{{"a.txt", "a", ""}, {"LPT\xC2\xB9.txt", "c", ""}}, "invalid file name LPT\xC2\xB9.txt"},
                        Case{{{"Sub/a.txt", "a", ""}, {"sub\\A.TXT. ", "b", ""}}, "duplicate file name sub\\A.TXT. "},
                        Case{huge, "not enough disk space for f"},
                        Case{{{longName + "x.txt", "x", ""}}, "invalid file name nnn"}}) {
    Release(c.files);
    const std::string text = Run();
    EXPECT_EQ(text.substr(0, c.text.size()), c.text);
    EXPECT_LT(text.size(), 400u);
  }
  EXPECT_TRUE(FileRequests().empty());
  EXPECT_EQ(AppContent(L"a.txt"), "<missing>");
}

// A file that cannot be read, or a folder, where an installed file belongs:
// fetched, then the install pass fails and restores; what the run fetched
// is gone from "Temp", and a body longer than listed is not stored.
TEST_F(HostileRun, UnreadableInstalledFilesAndOverlongBodiesFailCleanly) {
  ASSERT_TRUE(AppWrite(L"a.txt", "old a"));
  ASSERT_TRUE(AppWrite(L"b.txt", "old b"));
  ASSERT_TRUE(AppWrite(L"c.txt\\inside.txt", "kept"));
  Release({{"a.txt", "new a", ""}, {"b.txt", "new b", ""}});
  {
    ScopedHandle lock(CreateFileW(Installed(App(L"b.txt")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    EXPECT_EQ(Run(), "001 delete file " + Utf8(Installed(App(L"b.txt")).c_str()) + " failed\nerror code: 32");
  }
  Release({{"a.txt", "new a", ""}, {"c.txt", "new c", ""}});
  EXPECT_EQ(Run(), "001 delete file " + Utf8(Installed(App(L"c.txt")).c_str()) + " failed\nerror code: 5");
  EXPECT_EQ(AppContent(L"c.txt\\inside.txt"), "kept");
  // Listed as 63 bytes, served as 100000.
  Release({{"a.txt", "new a", ""}, {"b.txt", std::string(100000, 'b'), "63"}});
  EXPECT_EQ(Run(), "download file " + Utf8(m_server.Url(L"files/b.txt").c_str()) + " fail");
  EXPECT_EQ(AppContent(L"a.txt"), "old a");
  EXPECT_TRUE(AppContent(L"b.txt") == "old b");  // not the 100000 bytes served
  EXPECT_TRUE(TempIsEmpty());
}
