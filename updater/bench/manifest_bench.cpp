// Manifest benchmark: reads update manifests of 10,000 and 100,000 files with
// ParseUpdateManifest (open, parse, read every entry) under the allocators that
// the updater (DebugAlloc) and UpdateWeb (FastAlloc) install. The baseline, in
// the same run, is reading the same file and decoding it to UTF-16, the part of
// the work that no parser can avoid. Linear reading gives a time ratio of about
// 10 between the two sizes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "app/manifest.h"
#include "base/memory/fast_alloc.h"
#include "base/memory/library.h"
#include "base/system/scoped_handle.h"
#include "base/xconfig/xconfig.h"
#include "bench/bench_timer.h"

namespace {
[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "manifest_bench: %s failed\n", what);
  std::exit(1);
}

// Best time of `runs` runs of `work`.
template <typename Work>
double BestSeconds(int runs, Work work) {
  double best = 1e30;
  for (int run = 0; run < runs; ++run) {
    double start = Seconds();
    work();
    double took = Seconds() - start;
    if (took < best) best = took;
  }
  return best;
}

// A manifest as the release tooling writes one: CRLF lines, tab indents, files
// in folders, 40-digit hashes.
std::string MakeManifest(uint32_t files) {
  std::mt19937 random(files);
  std::string text =
      "BaseInfo : {\r\n\tVersion : 3.2.1.40\r\n\tBaseUrl : https://cdn.castwright.example/pc/3.2.1.40/\r\n"
      "\tUpdaterVersion : 1.0.7\r\n\tMust : 0\r\n}\r\nFileList : {\r\n";
  char line[256];
  for (uint32_t i = 0; i < files; ++i) {
    std::snprintf(line, sizeof line, "\tdata\\pack%03u\\asset%06u.dat : {\r\n\t\tHash : ", i % 997, i);
    text += line;
    for (int digit = 0; digit < 40; ++digit) text += "0123456789abcdef"[random() % 16];
    std::snprintf(line, sizeof line, "\r\n\t\tSize : %u\r\n\t}\r\n", static_cast<unsigned>(random() % 5000000));
    text += line;
  }
  text += "}\r\n";
  return text;
}

bool WriteWholeFile(const wchar_t* path, const std::string& bytes) {
  ScopedHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.IsValid() && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// The baseline: the file read in one go and decoded from UTF-8.
void ReadAndDecode(const wchar_t* path, uint32_t bytes) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  char* text = static_cast<char*>(std::malloc(bytes + 1));
  wchar_t* wide = static_cast<wchar_t*>(std::malloc((bytes + 1) * sizeof(wchar_t)));
  DWORD got = 0;
  if (!text || !wide || !ReadFile(file.Get(), text, bytes, &got, nullptr) || got != bytes) Fail("reading");
  text[bytes] = 0;
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, static_cast<int>(bytes + 1)) <= 0) Fail("decoding");
  std::free(wide);
  std::free(text);
}

struct Figures {
  double baseline, open, parse;
};

Figures Measure(const wchar_t* path, uint32_t files, uint32_t bytes, int runs) {
  Figures figures;
  figures.baseline = BestSeconds(runs, [&] { ReadAndDecode(path, bytes); });
  figures.open = BestSeconds(runs, [&] {
    XConfig config;
    if (!config.Open(path)) Fail("XConfig::Open");
  });
  figures.parse = BestSeconds(runs, [&] {
    FileEntryArray entries;
    ManifestInfo info;
    if (!ParseUpdateManifest(path, &entries, &info) || entries.size() != files) Fail("ParseUpdateManifest");
  });
  return figures;
}
}  // namespace

int main(int argc, char** argv) {
  // --short: the check's run (small manifests, one run each), which proves
  // that the measured work succeeds.
  const bool brief = argc > 1 && std::strcmp(argv[1], "--short") == 0;
  if (argc > 1 && !brief) {
    std::fprintf(stderr, "usage: manifest_bench.exe [--short]\n");
    return 2;
  }
  InitSystemInfo();
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const uint32_t sizes[] = {brief ? 100u : 10000u, brief ? 1000u : 100000u};
  const int runs[] = {brief ? 1 : 5, brief ? 1 : 3};
  std::wstring paths[2];
  uint32_t bytes[2];
  for (int i = 0; i < 2; ++i) {
    paths[i] = std::wstring(folder) + L"manifest-bench-" + std::to_wstring(sizes[i]) + L".xconfig";
    std::string text = MakeManifest(sizes[i]);
    bytes[i] = static_cast<uint32_t>(text.size());
    if (!WriteWholeFile(paths[i].c_str(), text)) {
      std::fprintf(stderr, "cannot write %ls\n", paths[i].c_str());
      return 1;
    }
  }

  std::printf("Update manifest reading, best of %d runs (%u files) and of %d (%u files)\n", runs[0], sizes[0], runs[1],
              sizes[1]);
  std::printf("  baseline: read the file and decode its UTF-8; Open: XConfig::Open (read, decode, parse);\n");
  std::printf("  ParseUpdateManifest: Open and read every entry into FileEntry records\n\n");
  std::printf("%-11s %8s %9s %12s %9s %12s %9s %18s %9s\n", "allocator", "files", "MB", "baseline ms", "MB/s",
              "Open ms", "MB/s", "ParseManifest ms", "MB/s");
  for (const char* name : {"DebugAlloc", "FastAlloc"}) {
    Figures figures[2];
    {
      // One FastAlloc at a time: its tables are process-wide.
      FastAlloc* alloc = std::string(name) == "DebugAlloc" ? new DebugAlloc : new FastAlloc;
      Alloc* previous = SetCurrentAlloc(alloc);
      for (int i = 0; i < 2; ++i) figures[i] = Measure(paths[i].c_str(), sizes[i], bytes[i], runs[i]);
      SetCurrentAlloc(previous);
      delete alloc;
    }
    for (int i = 0; i < 2; ++i) {
      double mb = bytes[i] / 1e6;
      std::printf("%-11s %8u %9.2f %12.2f %9.0f %12.2f %9.0f %18.2f %9.0f\n", name, sizes[i], mb,
                  figures[i].baseline * 1e3, mb / figures[i].baseline, figures[i].open * 1e3, mb / figures[i].open,
                  figures[i].parse * 1e3, mb / figures[i].parse);
    }
    std::printf("%-11s %8s %9.2f %12.2f %9s %12.2f %9s %18.2f\n", name, "ratio", double(bytes[1]) / bytes[0],
                figures[1].baseline / figures[0].baseline, "", figures[1].open / figures[0].open, "",
                figures[1].parse / figures[0].parse);
  }
  for (const std::wstring& path : paths) DeleteFileW(path.c_str());
  return 0;
}
