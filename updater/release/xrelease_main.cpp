// xrelease: the program around RunReleaseTool. It takes its arguments as
// UTF-16 and prints UTF-8 (UTF-16 into a Windows console).
#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>

#include <cerrno>
#endif

#include "base/memory/alloc.h"
#include "base/memory/default_alloc.h"
#include "base/xconfig/xconfig_writer.h"
#include "release/release_tool.h"

namespace {
#if defined(_WIN32)
constexpr char kLineEnd[] = "\r\n";
#else
constexpr char kLineEnd[] = "\n";
#endif

// UTF-8 of `line` and a line end; a text that is no valid UTF-16 (a file name
// with an unpaired surrogate) is shown with U+FFFD in its place.
Utf8Text PrintableLine(const String& line) {
  Utf8Text bytes;
  const wchar_t* text = line.Text();
  for (uint32_t i = 0; i < line.Length(); ++i) {
    bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    uint32_t units = high && i + 1 < line.Length() ? 2 : 1;
    if (AppendUtf8(text + i, units, &bytes)) {
      i += units - 1;
    } else {
      AppendUtf8(L"\xFFFD", 1, &bytes);
    }
  }
  bytes.append(kLineEnd);
  return bytes;
}

class StandardConsole : public ToolConsole {
public:
  void Out(const String& line) override { Print(false, line); }
  void Err(const String& line) override { Print(true, line); }

private:
#if defined(_WIN32)
  static void Print(bool error, const String& line) {
    HANDLE stream = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(stream, &mode)) {
      String text = line + L"\r\n";
      WriteConsoleW(stream, text.Text(), text.Length(), &done, nullptr);
      return;
    }
    Utf8Text bytes = PrintableLine(line);
    WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  }
#else
  static void Print(bool error, const String& line) {
    Utf8Text bytes = PrintableLine(line);
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
      ssize_t done = write(error ? STDERR_FILENO : STDOUT_FILENO, data, left);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) return;
      data += done;
      left -= static_cast<size_t>(done);
    }
  }
#endif
};

int Run(const StringArray& args) {
  StandardConsole console;
  return RunReleaseTool(args, &console);
}
}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  static DefaultAlloc alloc;
  SetCurrentAlloc(&alloc);
  StringArray args;
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  return Run(args);
}
#else
int main(int argc, char** argv) {
  static DefaultAlloc alloc;
  SetCurrentAlloc(&alloc);
  StringArray args;
  for (int i = 1; i < argc; ++i) {
    // Arguments that are no valid UTF-8 would name other files than given.
    String arg;
    if (!DecodeUtf8Exactly(argv[i], &arg)) {
      StandardConsole().Err(String(L"xrelease: argument ") + String::FromUtf8(argv[i]) + L" is not valid UTF-8");
      return kToolError;
    }
    args.push_back(arg);
  }
  return Run(args);
}
#endif
