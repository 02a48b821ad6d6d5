#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "tests/test_support.h"

namespace {
// The client path read from `arguments` (the program name is put first), or
// "<end>" when the program must end.
std::string ClientPath(std::vector<const wchar_t*> arguments) {
  arguments.insert(arguments.begin(), L"Updater.exe");
  String path(L"untouched");
  if (!ReadClientPathArgument(static_cast<int>(arguments.size()), arguments.data(), &path)) {
    EXPECT_EQ(Utf8(path.Text()), "untouched");
    return "<end>";
  }
  return Utf8(path.Text());
}
}  // namespace

TEST(CommandLine, ClientPath) {
  EXPECT_EQ(ClientPath({L"-path", L"C:\\app\\client.exe"}), "C:\\app\\client.exe");
  // The option in any letter case of A to Z; other arguments are skipped.
  EXPECT_EQ(ClientPath({L"x", L"-PATH", L"a b", L"-y"}), "a b");
  EXPECT_EQ(ClientPath({L"-pAtH", L"a"}), "a");
  // Every occurrence overwrites the value: the last one wins.
  EXPECT_EQ(ClientPath({L"-path", L"first", L"-path", L"second"}), "second");
  // The value is taken verbatim, even one that starts with a dash.
  EXPECT_EQ(ClientPath({L"-path", L"-withoutupdater"}), "-withoutupdater");
}

TEST(CommandLine, EndsWithoutAClientPath) {
  EXPECT_EQ(ClientPath({}), "<end>");
  EXPECT_EQ(ClientPath({L"-withoutupdater", L"C:\\a.exe"}), "<end>");
  EXPECT_EQ(ClientPath({L"-path"}), "<end>");
  // A valueless "-path" at the end ends the program although a value came before.
  EXPECT_EQ(ClientPath({L"-path", L"C:\\a.exe", L"-path"}), "<end>");
  EXPECT_EQ(ClientPath({L"-path", L""}), "<end>");
}
