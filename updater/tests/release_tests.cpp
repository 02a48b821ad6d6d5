// xrelease on real folders in both builds (native and under Wine), run in-process with its output recorded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>

#include "app/manifest.h"
#include "base/xconfig/xconfig.h"
#include "release/exclude_rules.h"
#include "release/release_files.h"
#include "release/release_signing.h"
#include "release/release_tool.h"
#include "tests/test_support.h"

#if defined(_WIN32)
#include <windows.h>

#include "base/system/scoped_handle.h"
#endif

namespace {
namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Known SHA-1 vectors.
constexpr char kAbcSha1[] = "a9993e364706816aba3e25717850c26c9cd0d89d";
constexpr char kFox[] = "The quick brown fox jumps over the lazy dog";
constexpr char kFoxSha1[] = "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12";
constexpr char kMillionASha1[] = "34aa973cd4c4daa4f61eeb2bdbad27316534016f";

// Runs the tool with its output recorded in m_out and m_err, on files in a new empty folder of the temporary
// folder, removed with everything below it; names below it are UTF-8 with "/".
class ReleaseToolTest : public ::testing::Test, public ToolConsole {
protected:
  ReleaseToolTest() {
    static std::atomic<unsigned> counter;
    m_root = fs::temp_directory_path() /
             ("xrelease-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(++counter));
    fs::create_directories(m_root);
  }
  ~ReleaseToolTest() override {
    std::error_code ignored;
    fs::remove_all(m_root, ignored);
  }
  fs::path Native(const char* relative) const { return (m_root / fs::u8path(relative)).make_preferred(); }
  // The path of `relative` as the tool takes it.
  String PathOf(const char* relative) const { return String::FromUtf8(Native(relative).u8string().c_str()); }
  // Creates or replaces the file `relative`, creating the folders above it; false when it cannot.
  bool Write(const char* relative, const std::string& bytes) const {
    std::error_code error;
    fs::create_directories(Native(relative).parent_path(), error);
    return static_cast<bool>(std::ofstream(Native(relative), std::ios::binary) << bytes);
  }
  std::string Read(const char* relative) const {
    std::ostringstream bytes;
    bytes << std::ifstream(Native(relative), std::ios::binary).rdbuf();
    return bytes.str();
  }
  // How many names the folder `relative` holds.
  std::ptrdiff_t Count(const char* relative) const {
    return std::distance(fs::directory_iterator(Native(relative)), fs::directory_iterator());
  }
  void Out(const String& line) override { m_out += Utf8(line) + "\n"; }
  void Err(const String& line) override { m_err += Utf8(line) + "\n"; }
  int Run(const StringArray& args) {
    m_out.clear();
    m_err.clear();
    return RunReleaseTool(args, this);
  }
  // create over the folder "release" with a version and a base URL.
  int Create(std::initializer_list<String> options = {}) {
    StringArray args{L"create", L"--version", L"1.2.3.4", L"--base-url", L"http://127.0.0.1:8080/rel"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(Release());
    return Run(args);
  }
  String Release() const { return PathOf("release"); }
  // The manifest at `path` read the way the updater does: the release ("Must" as presence and value), then "name
  // hash size" of every file.
  std::string Parsed(const String& path) {
    Utf8Text bytes;
    String error;
    XConfig document;
    m_entries.clear();
    if (!ReadWholeFile(path, &bytes, &error) || !document.OpenText(bytes.c_str(), path) ||
        !ReadUpdateManifest(document.RootElement(), &m_entries, &m_info)) {
      return "not parsed:\n" + std::string(bytes.c_str());
    }
    std::string lines = Utf8(m_info.version) + " " + Utf8(m_info.baseUrl) + " " + std::to_string(m_info.hasMust) +
                        std::to_string(m_info.must) + " " + Utf8(m_info.updaterVersion) + "\n";
    for (const FileEntry& entry : m_entries) {
      lines += Utf8(entry.name) + " " + Utf8(entry.hash) + " " + std::to_string(entry.size) + "\n";
    }
    return lines;
  }
  SizeTrackingAlloc m_alloc;
  ScopedCurrentAlloc m_scope{&m_alloc};
  fs::path m_root;
  std::string m_out;
  std::string m_err;
  FileEntryArray m_entries;
  ManifestInfo m_info;
};
}  // namespace

// Every file but the excluded ones and the manifest, in code-unit order of its "\" name, with digest and size.
TEST_F(ReleaseToolTest, CreateListsEveryFileSortedWithItsDigestAndSize) {
  for (const char* name : {"abc.txt", "B.txt", "{x}, y.dat", " lead/f", "app.pdb", "deep/lib.PDB", "logs/a.txt",
                           "sub/logs/b.txt", "top.tmp", "sub/top.tmp", "sub/x/y.log", "y.log", "Temp/old.bin"}) {
    ASSERT_TRUE(Write((std::string("release/") + name).c_str(), "abc"));
  }
  ASSERT_TRUE(Write("release/sub/million.bin", std::string(1000000, 'a')));
  ASSERT_TRUE(Write(u8"release/Sub2/caf\u00e9 \u4e2d.txt", kFox));
  const std::initializer_list<String> options = {
      L"--updater-version", L"2.0",      L"--must",    L"-1",           L"--exclude", L"*.pdb", L"--exclude=logs",
      L"--exclude",         L"/top.tmp", L"--exclude", L"sub/**/*.log", L"--exclude", L"temp\\"};
  ASSERT_EQ(Create(options), kToolSuccess) << m_err;
  String manifest = PathOf("release/update.xconfig");
  EXPECT_EQ(m_out, "wrote " + Utf8(manifest) + ": 8 files, 1000061 bytes\n");
  EXPECT_EQ(Parsed(manifest), std::string("1.2.3.4 http://127.0.0.1:8080/rel/ 1-1 2.0\n") +  //
                                  " lead\\f " + kAbcSha1 + " 3\n" +                             //
                                  "B.txt " + kAbcSha1 + " 3\n" +                                 //
                                  u8"Sub2\\caf\u00e9 \u4e2d.txt " + kFoxSha1 + " 43\n" +          //
                                  "abc.txt " + kAbcSha1 + " 3\n" +                               //
                                  "sub\\million.bin " + kMillionASha1 + " 1000000\n" +           //
                                  "sub\\top.tmp " + kAbcSha1 + " 3\n" +                          //
                                  "y.log " + kAbcSha1 + " 3\n" +                                 //
                                  "{x}, y.dat " + kAbcSha1 + " 3\n");
  std::string text = Read("release/update.xconfig");
  EXPECT_THAT(text, StartsWith("BaseInfo : {\r\n\tVersion : 1.2.3.4\r\n"));  // no byte-order mark
  EXPECT_THAT(text, HasSubstr("\tUpdaterVersion : 2.0\r\n\tMust : -1\r\n}"));
  // The manifest never lists itself: a second run writes the same bytes.
  ASSERT_EQ(Create(options), kToolSuccess) << m_err;
  EXPECT_EQ(Read("release/update.xconfig"), text);
  // Without the optional items, elsewhere; a base URL that ends with "/" keeps just that one.
  String output = PathOf("out.xconfig");
  ASSERT_EQ(Run({L"create", L"--version=7", L"--base-url=https://h/a/", L"--output", output, Release()}),
            kToolSuccess);
  EXPECT_THAT(Parsed(output), StartsWith("7 https://h/a/ 00 <none>\n"));
}

TEST(ExcludePatterns, MatchNamesAndPaths) {
  for (auto c : {std::make_tuple(L"*.pdb", L"x.PDB", true), std::make_tuple(L"*.pdb", L"a.pdbx", false),
                 std::make_tuple(L"a?c", L"a\\c", false), std::make_tuple(L"a*c", L"a\\b\\c", false),
                 std::make_tuple(L"a**c", L"a\\b\\c", true), std::make_tuple(L"\xE9*", L"\xC9", false),
                 std::make_tuple(L"*a*a*a*a*b", L"aaaaaaaaaaaaaaaaaaaa", false)}) {
    EXPECT_EQ(GlobMatches(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << Utf8(std::get<0>(c));
  }
  ExcludeRules rules;
  ASSERT_TRUE(rules.Add(L"cache") && rules.Add(L"/Top/*.tmp"));
  EXPECT_TRUE(rules.Excludes(L"a\\b\\cache") && rules.Excludes(L"top\\a.tmp"));
  EXPECT_FALSE(rules.Excludes(L"cache.txt") || rules.Excludes(L"x\\top\\a.tmp"));
}

// Bad command lines explain themselves; a create that fails leaves the old manifest and no temporary file.
TEST_F(ReleaseToolTest, ErrorsExplainThemselvesAndWriteNothing) {
  ASSERT_TRUE(Write("release/a.txt", "abc"));
  ASSERT_TRUE(Write("release/update.xconfig", "old manifest"));
  String release = Release();
  const struct {
    StringArray args;
    const char* message;
  } kCases[] = {
      {{L"publish", release}, "unknown command \"publish\""},
      {{L"create", L"--version", L"1", release}, "create needs --base-url"},
      {{L"create", L"--version", L"1", L"--version", L"2", release}, "--version given twice"},
      {{L"create", L"--version", L"1.x", L"--base-url", L"http://h", release}, "\"1.x\" is not dotted decimal"},
      {{L"create", L"--version", L"1", L"--base-url", L"http://h/a b", release}, "is not an http:// or https://"},
      {{L"create", L"--version", L"1", L"--base-url", L"http://h", L"--must", L"2147483648", release},
       "--must \"2147483648\" is not a whole number"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Run(c.args), kToolError) << c.message;
    EXPECT_THAT(m_err, HasSubstr(c.message));
    EXPECT_THAT(m_err, HasSubstr("Try 'xrelease --help'."));
  }
  EXPECT_EQ(Run({L"verify", L"--help"}), kToolSuccess);
  EXPECT_THAT(m_out, StartsWith("Usage:\n  xrelease create"));
  ASSERT_EQ(Run({L"create", L"--version", L"1", L"--base-url", L"http://h", PathOf("none")}), kToolError);
  EXPECT_EQ(m_err, "xrelease: folder " + Utf8(PathOf("none")) + " does not exist\n");
  // The manifest's folder does not exist: nothing can be written there.
  EXPECT_EQ(Create({L"--output", PathOf("none/update.xconfig")}), kToolError);
  EXPECT_THAT(m_err, HasSubstr("nothing written"));
  // A file that cannot be read.
#if defined(_WIN32)
  ScopedHandle locked(
      CreateFileW(PathOf("release/a.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked.IsValid());
  EXPECT_EQ(Create(), kToolError);
  EXPECT_THAT(m_err, StartsWith("xrelease: cannot hash " + Utf8(PathOf("release/a.txt")) + ": "));
  EXPECT_THAT(m_err, HasSubstr("nothing written"));
  locked.Reset();
#else
  fs::create_symlink("gone", Native("release/link"));
  EXPECT_EQ(Create(), kToolError);
  EXPECT_EQ(m_err, "xrelease: cannot examine " + Utf8(PathOf("release/link")) +
                               ": No such file or directory; nothing written\n");
  fs::remove(Native("release/link"));
#endif
  // The old manifest is untouched and no temporary file is left.
  EXPECT_EQ(Read("release/update.xconfig"), "old manifest");
  EXPECT_EQ(Count("release"), 2);  // a.txt and update.xconfig
  EXPECT_EQ(Count(""), 1);
}

#if !defined(_WIN32)
// Linux holds names that no manifest may list; Windows cannot create them.
TEST_F(ReleaseToolTest, NamesTheUpdaterRejectsWriteNothing) {
  const struct {
    std::vector<const char*> files;
    const char* message;
  } kCases[] = {
      {{"sub/what?.txt"}, "the updater rejects the file name \"sub\\what?.txt\""},
      {{"Read.me", "read.ME", "READ.ME"},
       "differ only in letter case (one file on Windows): \"READ.ME\", \"Read.me\", \"read.ME\""},
      {{"bad\xFF.bin"}, "bad\xEF\xBF\xBD.bin: a file name that is not valid UTF-8"},
  };
  for (const auto& c : kCases) {
    const std::string r = "r" + std::to_string(&c - kCases);
    ASSERT_TRUE(Write((r + "/sub/fine.txt").c_str(), "x"));
    for (const char* file : c.files) std::ofstream(Native(r.c_str()) / file) << "x";  // bytes, not UTF-8 text
    ASSERT_EQ(Run({L"create", L"--version", L"1", L"--base-url", L"http://h", PathOf(r.c_str())}), kToolError);
    EXPECT_THAT(m_err, HasSubstr(c.message));
    EXPECT_THAT(m_err, HasSubstr("nothing written"));
    EXPECT_FALSE(fs::exists(Native((r + "/update.xconfig").c_str())));
  }
}
#endif

TEST_F(ReleaseToolTest, VerifyFindsMissingChangedAndExtraFiles) {
  ASSERT_TRUE(Write("release/a.txt", "abc") && Write("release/b.txt", "b"));
  ASSERT_TRUE(Write("release/sub/c.bin", std::string(70000, 'c')));
  ASSERT_EQ(Create(), kToolSuccess) << m_err;
  ASSERT_EQ(Run({L"verify", Release()}), kToolSuccess) << m_out << m_err;
  EXPECT_EQ(m_out, "3 files listed: 0 missing, 0 changed, 0 extra\n");
  // One changed byte in the middle keeps the size; the digest tells.
  std::string c(70000, 'c');
  c[35000] = 'd';
  ASSERT_TRUE(Write("release/sub/c.bin", c) && Write("release/b.txt", ""));
  ASSERT_TRUE(Write("release/a.txt", "abc"));  // rewritten, same content
  ASSERT_TRUE(Write("release/new/extra.dll", "x") && Write("release/XT.log", "log file"));
  ASSERT_EQ(Run({L"verify", L"--exclude", L"*.log", Release()}), kToolDifferences) << m_err;
  EXPECT_EQ(m_out,
            "changed: b.txt (content differs)\n"
            "changed: sub\\c.bin (content differs)\n"
            "extra: new\\extra.dll\n"
            "3 files listed: 0 missing, 2 changed, 1 extra\n");
  // Extra files alone do not fail; a missing one does.
  ASSERT_EQ(Create(), kToolSuccess) << m_err;
  ASSERT_TRUE(Write("release/another", ""));
  EXPECT_EQ(Run({L"verify", Release()}), kToolSuccess);
  EXPECT_EQ(m_out, "extra: another\n5 files listed: 0 missing, 0 changed, 1 extra\n");
  ASSERT_TRUE(fs::remove(Native("release/new/extra.dll")));
  EXPECT_EQ(Run({L"verify", Release()}), kToolDifferences);
  EXPECT_EQ(m_out, "missing: new\\extra.dll\nextra: another\n5 files listed: 1 missing, 0 changed, 1 extra\n");
  // A manifest elsewhere; a size in it that does not match the file.
  std::string text = Read("release/update.xconfig");
  size_t size = text.find("Size : 3\r\n");
  ASSERT_NE(size, std::string::npos);
  ASSERT_TRUE(Write("m.xconfig", text.replace(size, 8, "Size : 4")));
  EXPECT_EQ(Run({L"verify", L"--manifest", PathOf("m.xconfig"), Release()}), kToolDifferences);
  EXPECT_EQ(m_out,
            "changed: a.txt (size 4 in the manifest, 3 on disk)\n"
            "missing: new\\extra.dll\n"
            "extra: another\n"
            "extra: update.xconfig\n"
            "5 files listed: 1 missing, 1 changed, 2 extra\n");
}

TEST_F(ReleaseToolTest, VerifyReportsManifestsTheUpdaterCannotUse) {
  ASSERT_TRUE(Write("release/a.txt", "abc"));
  EXPECT_EQ(Run({L"verify", Release()}), kToolError);
  EXPECT_THAT(m_err, StartsWith("xrelease: cannot read " + Utf8(PathOf("release/update.xconfig"))));
  for (auto c : {std::make_pair("BaseInfo : {\n", "is not valid XConfig text"),
                 std::make_pair("BaseInfo : {\n}\n", "\"FileList\" is missing")}) {
    ASSERT_TRUE(Write("release/update.xconfig", c.first));
    EXPECT_EQ(Run({L"verify", Release()}), kToolError);
    EXPECT_THAT(m_err, HasSubstr(c.second));
  }
  std::string entries = std::string("BaseInfo : {\n}\nFileList : {\n") +                     //
                        "a.txt : {\nHash : " + kAbcSha1 + "\nSize : 3\n}\n" +                   //
                        "\"..\\\\evil.dll\" : {\nHash : " + kAbcSha1 + "\nSize : 3\n}\n" +      //
                        "\"C:\\\\evil.dll\" : {\nHash : " + kAbcSha1 + "\nSize : 3\n}\n" +      //
                        "a.txt : {\nHash : " + kAbcSha1 + "\nSize : 3\n}\n" +                   //
                        "b.txt : {\nHash : A9993E364706816ABA3E25717850C26C9CD0D89D\n}\n}\n";
  ASSERT_TRUE(Write("release/update.xconfig", entries) && Write("release/b.txt", "abc"));
  EXPECT_EQ(Run({L"verify", Release()}), kToolDifferences);
  EXPECT_EQ(m_out,
            "invalid: ..\\evil.dll (the updater rejects this name)\n"
            "invalid: C:\\evil.dll (the updater rejects this name)\n"
            "invalid: a.txt (the file is listed before)\n"
            "invalid: b.txt (\"Hash\" is not 40 lower-case hexadecimal digits)\n"
            "5 files listed: 0 missing, 0 changed, 0 extra, 4 invalid\n");
}

TEST_F(ReleaseToolTest, Sha256ExpiryKeysAndSignatures) {
  ASSERT_TRUE(Write("release/abc.txt", "abc"));
  ASSERT_EQ(Create({L"--expires-days", L"30"}), kToolSuccess) << m_err;
  const String manifest = PathOf("release/update.xconfig");
  ASSERT_THAT(Parsed(manifest), StartsWith("1.2.3.4 "));
  EXPECT_EQ(Utf8(m_entries[0].sha256), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 30 days ahead: not expired now, expired in 31 days.
  EXPECT_TRUE(IsUtcTimeText(m_info.expires)) << Utf8(m_info.expires);
  EXPECT_FALSE(ManifestExpired(m_info.expires, L"2026-01-01T00:00:00Z"));
  EXPECT_EQ(Create({L"--expires-days", L"0"}), kToolError);
  EXPECT_THAT(m_err, HasSubstr("is not a number of days"));

  const String keys = PathOf("keys");
  ASSERT_TRUE(Write("keys/.keep", ""));
  if (!CanSign()) {
    EXPECT_EQ(Run({L"keygen", keys}), kToolError);
    EXPECT_EQ(m_err, "xrelease: making keys and signing need the native build of xrelease\n");
    return;  // the Windows build's checking meets the native signatures in release_builds_agree.py
  }
  ASSERT_EQ(Run({L"keygen", keys}), kToolSuccess) << m_err;
  EXPECT_EQ(fs::status(Native("keys/private.pem")).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const std::string privateKey = Read("keys/private.pem");
  EXPECT_EQ(Run({L"keygen", keys}), kToolError);  // never replaces a key
  EXPECT_EQ(Read("keys/private.pem"), privateKey);

  const String privatePem = PathOf("keys/private.pem");
  const String publicPem = PathOf("keys/public.pem");
  auto verify = [&] { return Run({L"verify", L"--public-key", publicPem, Release()}); };
  ASSERT_EQ(Create({L"--sign-key", privatePem}), kToolSuccess) << m_err;
  EXPECT_EQ(Read("release/update.xconfig.sig").size(), 384u);
  EXPECT_EQ(verify(), kToolSuccess) << m_out << m_err;
  EXPECT_THAT(m_out, StartsWith("signature: good"));

  // A changed manifest no longer matches; signing it again makes it good.
  ASSERT_TRUE(Write("release/update.xconfig", Read("release/update.xconfig") + "\r\n"));
  EXPECT_EQ(verify(), kToolDifferences);
  EXPECT_THAT(m_out, HasSubstr("does not match the manifest and the key"));
  ASSERT_EQ(Run({L"sign", L"--key", privatePem, manifest}), kToolSuccess) << m_err;
  EXPECT_EQ(verify(), kToolSuccess) << m_out;
  // A key that is no private key signs nothing; an unsigned create removes the old signature, which would not match.
  EXPECT_EQ(Create({L"--sign-key", publicPem}), kToolError);
  EXPECT_THAT(m_err, HasSubstr("is no readable RSA private key"));
  ASSERT_EQ(Create(), kToolSuccess);
  EXPECT_EQ(verify(), kToolDifferences);
  EXPECT_THAT(m_out, HasSubstr("update.xconfig.sig is missing"));
}
