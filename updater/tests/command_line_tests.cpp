#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "tests/test_support.h"

// The client path read from the arguments, or "<end>" and the path left alone when the program must end.
TEST(CommandLine, ClientPath) {
  const struct {
    std::vector<const wchar_t*> arguments;
    const char* path;
  } kCases[] = {
      {{L"-path", L"C:\\app\\client.exe"}, "C:\\app\\client.exe"},
      {{L"x", L"-PATH", L"a b", L"-y"}, "a b"},  // any letter case; others skipped
      {{L"-path", L"first", L"-pAtH", L"second"}, "second"},  // the last one wins
      {{}, "<end> untouched"},
      {{L"-withoutupdater", L"C:\\a.exe"}, "<end> untouched"},
      {{L"-path", L"C:\\a.exe", L"-path"}, "<end> untouched"},  // a valueless last one ends it
      {{L"-path", L""}, "<end> untouched"},
  };
  for (const auto& c : kCases) {
    std::vector<const wchar_t*> arguments = c.arguments;
    arguments.insert(arguments.begin(), L"Updater.exe");
    String path(L"untouched");
    const bool read = ReadClientPathArgument(static_cast<int>(arguments.size()), arguments.data(), &path);
    EXPECT_EQ(read ? Utf8(path) : "<end> " + Utf8(path), c.path);
  }
}
