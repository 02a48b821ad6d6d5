// Updater.exe under Wine against hostile manifests, a hostile server and a
// hostile machine. The installation lies in "inst\app" of the test's folder;
// whatever a run does, nothing else in that folder may change.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>

#include "tests/program_fixture.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {
class HostileRun : public ProgramTest {
protected:
  HostileRun() {
    Install(UPDATER_EXE, L"inst\\app\\Updater.exe");
    Install(OLD_CLIENT_EXE, L"inst\\app\\Castwright PC.exe");
    // Without its picture the failed look's button has no size to click.
    Install(UPDATER_PICTURES "/res/login_normal.png", L"inst\\app\\res\\login_normal.png");
  }
  std::wstring App(const std::wstring& name) const { return Installed(L"inst\\app\\" + name); }
  std::string AppContent(const std::wstring& name) const { return ContentOf(App(name)); }
  void Release(const std::vector<ReleaseFile>& files) const {
    PublishRelease(m_server, Installed(L"inst\\app"), files, NEW_CLIENT_VERSION);
  }

  // Every file and folder below the test's folder but outside the installation, with its content.
  std::map<std::string, std::string> Outside() const {
    return TreeOf(m_install.Path(), [](const std::string& name) { return name == "inst\\app"; });
  }

  // Runs the updater for the installed client to its end: "" when it ended
  // by itself with exit code 0, else the text of its failed look (the
  // finish button then ends it). Checks that a failure is in "XT.log" too
  // and that nothing outside the installation changed.
  std::string Run() {
    const auto before = Outside();
    ScopedHandle updater =
        Start(L"inst\\app\\Updater.exe", L"-path \"" + App(kClientName) + L"\"", Installed(L"inst\\app"));
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
};
}  // namespace

// Names that are safe only as Unicode, a folder outside the code page, a
// path beyond 260 characters, a "%" in a name, an upper-case digest, a
// compressed body, and a client of the same name in another installation.
TEST_F(HostileRun, HostileButValidReleaseInstallsInsideTheFolder) {
  const std::string fullWidth = "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\xBC";  // U+FF0E U+FF0E U+FF3C: "..\" in ANSI
  const std::string deep = std::string(120, 'd') + "\\" + std::string(120, 'e') + "\\f.txt";
  ASSERT_TRUE(WriteFileBytes(App(L"upper.txt"), "old"));
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
  std::transform(digest.begin(), digest.end(), digest.begin(), ::toupper);
  ASSERT_TRUE(WriteFileBytes(manifest, text.replace(at, digest.size(), digest)));
  m_server.AddFault("files/gz.txt gzip");
  // The other installation's client keeps running through the run.
  Install(OLD_CLIENT_EXE, L"other\\Castwright PC.exe");
  ScopedHandle other = StartClient(L"", L"other\\Castwright PC.exe");

  EXPECT_EQ(Run(), "");
  EXPECT_EQ(AppContent(Wide(fullWidth + fullWidth + "escaped.txt")), "fw");
  EXPECT_EQ(AppContent(L"\x6570\x636E\\a.txt"), "data");
  EXPECT_GT(App(Wide(deep)).size(), 260u);
  EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + App(Wide(deep))), "deep");
  EXPECT_EQ(AppContent(L"100%41.txt"), "percent");
  EXPECT_EQ(AppContent(L"upper.txt"), "new upper");
  EXPECT_TRUE(AppContent(L"gz.txt") == std::string(5000, 'z'));
  const auto requests = m_server.FileRequests();
  EXPECT_NE(std::find(requests.begin(), requests.end(), "100%2541.txt"), requests.end());
  EXPECT_EQ(WaitForSingleObject(other.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// Each manifest fails the run before any file is fetched.
TEST_F(HostileRun, RefusedManifestsFetchNothing) {
  std::vector<ReleaseFile> huge;
  for (int i = 0; i < 64; ++i) huge.push_back({"f" + std::to_string(i) + ".bin", "x", "4294967295"});
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += std::string(199, 'n') + "/";
  const std::pair<std::vector<ReleaseFile>, std::string> cases[] = {
      {{{"a.txt", "a", ""}, {"COM1", "c", ""}}, "invalid file name COM1"},
      {{{"a.txt", "a", ""}, {"data\\com9.log", "c", ""}}, "invalid file name data\\com9.log"},
      {{{"a.txt", "a", ""}, {"LPT\xC2\xB9.txt", "c", ""}}, "invalid file name LPT\xC2\xB9.txt"},
      {{{"Sub/a.txt", "a", ""}, {"sub\\A.TXT. ", "b", ""}}, "duplicate file name sub\\A.TXT. "},
      {huge, "not enough disk space for f"},
      {{{longName + "x.txt", "x", ""}}, "invalid file name nnn"}};
  for (const auto& c : cases) {
    Release(c.first);
    const std::string text = Run();
    EXPECT_EQ(text.substr(0, c.second.size()), c.second);
    EXPECT_LT(text.size(), 400u);
  }
  // A program with a key built in refuses an unsigned release at the manifest.
  Install(SIGNED_UPDATER_EXE, L"inst\\app\\Updater.exe");
  Release({{"a.txt", "a", ""}});
  EXPECT_EQ(Run(), "verify manifest signature fail");
  EXPECT_TRUE(m_server.FileRequests().empty());
  EXPECT_EQ(AppContent(L"a.txt"), "<missing>");
}

// A file that cannot be read, or a folder, where an installed file belongs:
// fetched, then the install pass fails and restores; what the run fetched
// is gone from "Temp", and a body longer than listed is not stored.
TEST_F(HostileRun, UnreadableInstalledFilesAndOverlongBodiesFailCleanly) {
  ASSERT_TRUE(WriteFileBytes(App(L"a.txt"), "old a"));
  ASSERT_TRUE(WriteFileBytes(App(L"b.txt"), "old b"));
  ASSERT_TRUE(WriteFileBytes(App(L"c.txt\\inside.txt"), "kept"));
  Release({{"a.txt", "new a", ""}, {"b.txt", "new b", ""}});
  {
    ScopedHandle lock(CreateFileW(App(L"b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.IsValid());
    EXPECT_EQ(Run(), "001 delete file " + Utf8(App(L"b.txt").c_str()) + " failed\nerror code: 32");
  }
  Release({{"a.txt", "new a", ""}, {"c.txt", "new c", ""}});
  EXPECT_EQ(Run(), "001 delete file " + Utf8(App(L"c.txt").c_str()) + " failed\nerror code: 5");
  EXPECT_EQ(AppContent(L"c.txt\\inside.txt"), "kept");
  // Listed as 63 bytes, served as 100000.
  Release({{"a.txt", "new a", ""}, {"b.txt", std::string(100000, 'b'), "63"}});
  EXPECT_EQ(Run(), "download file " + Utf8(m_server.Url(L"files/b.txt").c_str()) + " fail");
  EXPECT_EQ(AppContent(L"a.txt"), "old a");
  EXPECT_TRUE(AppContent(L"b.txt") == "old b");  // not the 100000 bytes served
  std::error_code missing;
  EXPECT_TRUE(fs::is_empty(App(L"Temp"), missing) || missing);
}
