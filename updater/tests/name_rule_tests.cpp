// The manifest name rule against hostile names, and the texts built from
// names: URLs, digests, messages.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <iterator>
#include <random>

#include "app/update_rules.h"
#include "tests/test_support.h"

static std::string Narrow(const String& text) { return Utf8(Text(text)); }

// Names that leave the folder, name a device or a folder, or that Windows cannot hold, in any component.
TEST(NameRule, OnlyPlainNamesInsideTheFolderPass) {
  for (const wchar_t* name :
       {L"", L"..", L"../a", L"a\\..\\b", L"a/...", L"a/.. /b", L"/a", L"\\\\server\\share\\a", L"C:a",
        L"a.txt:stream", L"a\"b", L"a|b", L"a*b", L"a\x1F", L"COM1", L"data/com9.tar.gz", L"lpt5 .txt", L"Con ",
        L"prn..", L"a/NUL  .x/b", L"conout$.log", L"lpt\xB2.txt", L"a/", L"a/. .", L"."}) {
    EXPECT_FALSE(IsSafeRelativeName(name)) << Utf8(name);
  }
  EXPECT_FALSE(IsSafeRelativeName(nullptr));
  for (const wchar_t* name : {L"sub\\deeper/a.txt", L"..a", L"a..", L"x..y/z", L" lead", L"{x}, y", L"COM10",
                              L"LPT\xB4", L"CONSOLE", L"a.CON", L"CON x.txt", L"./a", L"\xFF0E\xFF0E\xFF3Cx"}) {
    EXPECT_TRUE(IsSafeRelativeName(name)) << Utf8(name);
  }
}

// The texts built from names: the key that finds one file, the URL path, digests, shortened messages.
TEST(NameRule, KeysUrlsDigestsAndShortenedTexts) {
  EXPECT_EQ(Narrow(NameKey(L"Sub. /A.txt..  ")), "Sub\\A.txt");
  EXPECT_EQ(Narrow(NameKey(L"a..b")), "a..b");
  EXPECT_EQ(Narrow(UrlPathOfName(L"100%41.txt")), "100%2541.txt");
  EXPECT_EQ(Narrow(UrlPathOfName(L"sub\\a b+c#d?.txt")), "sub/a%20b%2Bc%23d%3F.txt");
  EXPECT_EQ(Narrow(UrlPathOfName(L"\x6570/\xE9~\xD83D\xDE00\xD800")), "%E6%95%B0/%C3%A9~%F0%9F%98%80%EF%BF%BD");
  EXPECT_TRUE(SameDigest(L"0a1B", L"0A1b"));
  EXPECT_FALSE(SameDigest(L"0a1b", L"0a1"));
  EXPECT_EQ(Narrow(ShortenedMiddle(L"short", 20)), "short");
  EXPECT_EQ(Narrow(ShortenedMiddle(L"0123456789abcdefghijKLMN", 20)), "01234567...fghijKLMN");
}

#if defined(_WIN32)
namespace {
// Pieces a hostile name is made of: dots, spaces and both separators, their
// full-width and other look-alike forms, device names, stream colons, control
// and format characters.
const wchar_t* const kPieces[] = {
    L".", L"..", L"...", L" ", L"\\", L"/", L":", L"::$DATA", L"a", L"b.txt", L"\xFF0E", L"\x2024", L"\xFE52",
    L"\x3002", L"\xFF3C", L"\xFF0F", L"\x2215", L"\x2044", L"\x29F5", L"\xFE68", L"\xFF1A", L"\x2236", L"\xA789",
    L"CON", L"com1", L"LPT\xB9", L"nul", L"AUX", L"CONIN$", L"\x1", L"\t", L"\x7F", L"\x200B", L"\x200E", L"\x202E",
    L"\xFEFF", L"\xD800", L"~1", L"*", L"?", L"\"", L"<", L"C:", L"\\\\?\\", L"\\\\.\\", L"%2e", L"\x6570\x636E"};

// A name of up to 8 pieces, now and then a very long component; the generator's sequence is the same everywhere,
// so that a failing name can be found again.
std::wstring HostileName(std::mt19937& random) {
  std::wstring name;
  for (uint32_t pieces = 1 + random() % 8; pieces > 0; --pieces) {
    const uint32_t draw = random();
    if (draw % 64 == 0) name.append(200 + draw / 64 % 400, L'x');
    if (draw % 64 != 0) name += kPieces[draw / 64 % std::size(kPieces)];
  }
  return name;
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  if (full.empty()) return full;
  full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr));
  return full;
}
}  // namespace

// Every name the rule accepts resolves, as Windows resolves it, to a path
// below the folder that is not a device. UPDATER_NAME_COUNT sets the number
// of names (the long form: 1000000).
TEST(NameRule, GeneratedHostileNamesThatPassStayInsideTheFolder) {
  const char* count = std::getenv("UPDATER_NAME_COUNT");
  const uint32_t names = count && *count ? static_cast<uint32_t>(std::strtoul(count, nullptr, 10)) : 100000;
  const std::wstring folder = L"C:\\install\\app";
  std::mt19937 random(20261207);
  uint32_t accepted = 0;
  uint32_t failures = 0;
  for (uint32_t i = 0; i < names && failures < 10; ++i) {
    const std::wstring name = HostileName(random);
    if (!IsSafeRelativeName(name.c_str())) continue;
    ++accepted;
    const std::wstring full = FullPath(folder + L"\\" + name);
    const bool inside = full.size() > folder.size() + 1 &&
                        CompareStringOrdinal(full.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                             static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL &&
                        full[folder.size()] == L'\\';
    EXPECT_TRUE(inside) << "name " << i << " \"" << Utf8(name.c_str()) << "\" resolves to " << Utf8(full.c_str());
    failures += !inside;
  }
  std::printf("%u hostile names, %u accepted\n", names, accepted);
  EXPECT_GT(accepted, names / 20);
}
#endif
