// Transfer benchmark, the Windows side: times the updater's own operations on
// data that transfer_bench.py prepares and serves, and prints one
// "name seconds" line per figure for that script, which measures its Unix
// baselines (sha1sum, curl) in the same run and prints the comparison.
//
// With --short before the mode every figure is one run's.
//
//   transfer_bench.exe hash FILE          HashFileSha1, best of 3
//   transfer_bench.exe hash256 FILE       SHA-256 of a file through FileHasher, best of 3
//   transfer_bench.exe verify MANIFEST KEY
//                                         VerifyManifestFile of MANIFEST by MANIFEST.sig with the
//                                         public key PEM file KEY, best of 3; the check must pass
//   transfer_bench.exe download URL FILE  HttpDownloadToFile, best of 3
//   transfer_bench.exe bare URL [FILE]    a bare WinHTTP read loop that keeps nothing (or writes each
//                                         block to FILE as it comes), best of 3
//   transfer_bench.exe files BASE LIST [FOLDER]
//                                         a bare WinHTTP loop over the files named in LIST (one
//                                         URL relative to BASE a line) on kParallelDownloads
//                                         connections of one session, kept alive: keeps nothing
//                                         (best of 3), or writes each file to FOLDER\name as it
//                                         comes (one run); what the platform allows an update
//                                         run's downloads
//   transfer_bench.exe queue BASE LIST FOLDER
//                                         the same files through the updater's HttpSession and
//                                         DownloadQueue into FOLDER, one run
//   transfer_bench.exe resume URL FILE    HttpSession::DownloadWithRetry once (a transfer the server
//                                         cuts resumes); it must end with status 200
//   transfer_bench.exe run CLIENT VERSION one whole update run for the client CLIENT (path)
//                                         of version VERSION, through RunUpdate; it must succeed.
//                                         Prints "run SECONDS PEAK FETCH", PEAK the process's peak
//                                         working set in bytes, FETCH the seconds before the
//                                         install pass began (manifest, scan, downloads, hashes)
//   transfer_bench.exe run CLIENT VERSION KEY
//                                         the same with the public key PEM file KEY built in
#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/download_queue.h"
#include "app/file_hash.h"
#include "app/http_download.h"
#include "app/manifest_signature.h"
#include "app/scoped_internet.h"
#include "app/update_worker.h"
#include "base/system/scoped_handle.h"
#include "base/memory/library.h"
#include "bench/bench_timer.h"

namespace {
int g_runs = 3;

// Best time of g_runs runs of `work`, or a negative time when a run failed.
template <typename Work>
double BestOfRuns(Work work) {
  double best = 1e30;
  for (int run = 0; run < g_runs; ++run) {
    double start = Seconds();
    if (!work()) return -1;
    double took = Seconds() - start;
    if (took < best) best = took;
  }
  return best;
}

std::wstring Wide(const char* text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], size);
  wide.resize(wide.size() - 1);
  return wide;
}

// The host, port and path of a URL.
struct Address {
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;
};

// False when `url` does not split.
bool AddressOf(const std::wstring& url, Address* address) {
  wchar_t host[256] = {};
  wchar_t path[1024] = {};
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = 256;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 1024;
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
  *address = Address{host, parts.nPort, path};
  return true;
}

HINTERNET OpenBareSession() {
  return WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
}

// The least WinHTTP needs to read a body: a GET of `path` on `connection`, no
// header, the body read into `buffer` a block at a time and each block
// written to the file `file` as it comes when one is named.
bool BareGet(HINTERNET connection, const std::wstring& path, const std::wstring& file, std::vector<char>& buffer) {
  ScopedInternetHandle request(WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                  WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request.IsValid() || !WinHttpSendRequest(request.Get(), nullptr, 0, nullptr, 0, 0, 0) ||
      !WinHttpReceiveResponse(request.Get(), nullptr)) {
    return false;
  }
  ScopedHandle out(file.empty() ? nullptr
                                : CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file.empty() && !out.IsValid()) return false;
  DWORD got = 0;
  do {
    if (!WinHttpReadData(request.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got)) return false;
    DWORD written = 0;
    if (out.IsValid() && !WriteFile(out.Get(), buffer.data(), got, &written, nullptr)) return false;
  } while (got > 0);
  return true;
}

// BareGet of `url` on a session and connection of its own.
bool BareRead(const std::wstring& url, const std::wstring& file = std::wstring()) {
  Address address;
  if (!AddressOf(url, &address)) return false;
  ScopedInternetHandle session(OpenBareSession());
  ScopedInternetHandle connection(
      session.IsValid() ? WinHttpConnect(session.Get(), address.host.c_str(), address.port, 0) : nullptr);
  std::vector<char> buffer(1 << 20);
  return connection.IsValid() && BareGet(connection.Get(), address.path, file, buffer);
}

// The lines of the list file at `path`, empty ones left out.
std::vector<std::wstring> NamesIn(const char* path) {
  std::vector<std::wstring> names;
  std::ifstream list(path);
  for (std::string line; std::getline(list, line);) {
    if (!line.empty()) names.push_back(Wide(line.c_str()));
  }
  return names;
}

// The path of the file `name` (a relative URL) below `folder`.
std::wstring FileIn(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = folder + L"\\" + name;
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path;
}

// Creates the folders that the files `names` lie in below `folder`, one level deep.
void MakeFoldersFor(const std::wstring& folder, const std::vector<std::wstring>& names) {
  for (const std::wstring& name : names) {
    const size_t slash = name.find(L'/');
    if (slash != std::wstring::npos) CreateDirectoryW(FileIn(folder, name.substr(0, slash)).c_str(), nullptr);
  }
}

// Many files of one host through bare WinHTTP: kParallelDownloads threads, each
// with its own connection of one shared session, take the next name in turn.
class BareFiles {
public:
  BareFiles(const std::wstring& base, const std::vector<std::wstring>& names, const std::wstring& folder)
      : m_names(names), m_folder(folder), m_split(AddressOf(base, &m_base)) {}

  bool Run() {
    if (!m_split) return false;
    m_session.Reset(OpenBareSession());
    if (!m_session.IsValid()) return false;
    m_next = 0;
    m_failed = false;
    HANDLE threads[kParallelDownloads] = {};
    for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, &BareFiles::Thread, this, 0, nullptr);
    for (HANDLE thread : threads) {
      if (!thread) return false;
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
    return !m_failed;
  }

private:
  static DWORD WINAPI Thread(void* self) {
    static_cast<BareFiles*>(self)->Fetch();
    return 0;
  }

  void Fetch() {
    ScopedInternetHandle connection(WinHttpConnect(m_session.Get(), m_base.host.c_str(), m_base.port, 0));
    std::vector<char> buffer(1 << 20);
    for (size_t i; !m_failed && (i = m_next++) < m_names.size();) {
      const std::wstring& name = m_names[i];
      const std::wstring file = m_folder.empty() ? std::wstring() : FileIn(m_folder, name);
      if (!connection.IsValid() || !BareGet(connection.Get(), m_base.path + name, file, buffer)) m_failed = true;
    }
  }

  const std::vector<std::wstring>& m_names;
  const std::wstring m_folder;
  Address m_base;
  const bool m_split;  // m_base holds the base URL's parts
  ScopedInternetHandle m_session;
  std::atomic<size_t> m_next{0};
  std::atomic<bool> m_failed{false};
};

// The same files through the updater's own download side: its session and
// queue on kParallelDownloads threads, each file stored below `folder`.
bool QueueFiles(const std::wstring& base, const std::vector<std::wstring>& names, const std::wstring& folder) {
  HttpSession session;
  DownloadQueue queue(session);
  for (const std::wstring& name : names) queue.Add(String((base + name).c_str()), String(FileIn(folder, name).c_str()), 1 << 30);
  for (size_t i = 0, index = 0; i < names.size(); ++i) {
    if (!queue.WaitNext(&index)) return false;
  }
  return true;
}

// Receives the reports of an update run as the dialog does, letting the
// install pass start; counts the progress reports and notes how the run ended.
class BenchReport final : public UpdateReport {
public:
  void Progress(uint32_t, uint32_t) override {
    if (m_progress++ == 0) m_firstProgress = Seconds();
  }
  bool InstallStarting() override {
    m_installStart = Seconds();
    return true;
  }
  void InstallEnded() override { m_installEnd = Seconds(); }
  void Finished(const wchar_t* error) override {
    m_finished = true;
    m_succeeded = error == nullptr;
    if (error) std::fwprintf(stderr, L"transfer_bench: %ls\n", error);
  }

  // Seconds from the start of the run to the start of the install pass: the
  // manifest, the scan, the downloads and their verification.
  double FetchSeconds() const { return m_installStart > 0 ? m_installStart - m_start : 0.0; }

  // Runs the worker for the client to its end; true when it succeeded.
  bool Run(const std::wstring& clientPath, const std::wstring& clientVersion, const ManifestKey& key) {
    const double start = m_start = Seconds();
    RunUpdate(clientPath.c_str(), clientVersion.c_str(), key, *this);
    std::fprintf(stderr, "transfer_bench: %u progress reports, %s; first verified file at %.2f s, install pass %.2f-%.2f s, end %.2f s\n",
                 m_progress, m_succeeded ? "succeeded" : m_finished ? "failed" : "no final report",
                 m_progress ? m_firstProgress - start : 0.0, m_installStart > 0 ? m_installStart - start : 0.0,
                 m_installEnd > 0 ? m_installEnd - start : 0.0, Seconds() - start);
    return m_succeeded;
  }

private:
  double m_start = 0;
  unsigned m_progress = 0;
  double m_firstProgress = 0;
  double m_installStart = 0;
  double m_installEnd = 0;
  bool m_finished = false;
  bool m_succeeded = false;
};
// The bytes of a small file; empty when it cannot be read.
std::string FileText(const std::wstring& path) {
  std::string text;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return text;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, got);
  std::fclose(file);
  return text;
}

ManifestKey KeyOf(const std::string& pem) {
  ManifestKey key;
  key.pem = pem.data();
  key.size = pem.size();
  return key;
}
}  // namespace

int main(int argc, char** argv) {
  StartLibraryOnce(L"FastAlloc");
  // --short first: one run of each instead of the best of three.
  if (argc > 1 && std::strcmp(argv[1], "--short") == 0) {
    g_runs = 1;
    --argc;
    ++argv;
  }
  std::string mode = argc > 1 ? argv[1] : "";
  double seconds = -1;
  BenchReport report;  // of a run
  if (mode == "hash" && argc == 3) {
    std::wstring file = Wide(argv[2]);
    uint8_t digest[kSha1Bytes];
    seconds = BestOfRuns([&] { return HashFileSha1(file.c_str(), digest); });
  } else if (mode == "hash256" && argc == 3) {
    std::wstring file = Wide(argv[2]);
    FileHasher hasher;
    FileDigests digests;
    seconds = BestOfRuns([&] { return hasher.Hash(file.c_str(), kHashSha256, &digests); });
  } else if (mode == "verify" && argc == 4) {
    std::wstring manifest = Wide(argv[2]);
    const std::string pem = FileText(Wide(argv[3]));
    seconds = BestOfRuns([&] { return VerifyManifestFile(KeyOf(pem), manifest.c_str(), (manifest + L".sig").c_str()); });
  } else if (mode == "download" && argc == 4) {
    std::wstring url = Wide(argv[2]);
    std::wstring file = Wide(argv[3]);
    seconds = BestOfRuns([&] {
      uint32_t status = 0;
      return HttpDownloadToFile(url.c_str(), file.c_str(), &status) && status == 200;
    });
  } else if (mode == "bare" && (argc == 3 || argc == 4)) {
    std::wstring url = Wide(argv[2]);
    std::wstring file = argc == 4 ? Wide(argv[3]) : std::wstring();
    seconds = BestOfRuns([&] { return BareRead(url, file); });
  } else if ((mode == "files" && (argc == 4 || argc == 5)) || (mode == "queue" && argc == 5)) {
    const std::vector<std::wstring> names = NamesIn(argv[3]);
    const std::wstring base = Wide(argv[2]);
    const std::wstring folder = argc == 5 ? Wide(argv[4]) : std::wstring();
    // Into a folder once: files that are there already are cheaper to write
    // again under Wine than new ones (transfer_bench.py gives each run a new folder).
    if (!folder.empty()) {
      MakeFoldersFor(folder, names);
      g_runs = 1;
    }
    BareFiles bare(base, names, folder);
    if (!names.empty()) {
      seconds = BestOfRuns([&] { return mode == "files" ? bare.Run() : QueueFiles(base, names, folder); });
    }
  } else if (mode == "resume" && argc == 4) {
    std::wstring url = Wide(argv[2]);
    std::wstring file = Wide(argv[3]);
    g_runs = 1;
    seconds = BestOfRuns([&] {
      uint32_t status = 0;
      return HttpSession().DownloadWithRetry(url.c_str(), file.c_str(), &status) && status == 200;
    });
  } else if (mode == "run" && (argc == 4 || argc == 5)) {
    const std::string pem = argc == 5 ? FileText(Wide(argv[4])) : std::string();
    double start = Seconds();
    if ((argc == 4 || !pem.empty()) && report.Run(Wide(argv[2]), Wide(argv[3]), KeyOf(pem))) seconds = Seconds() - start;
  } else {
    std::fprintf(stderr,
                 "usage: transfer_bench.exe [--short] hash FILE | hash256 FILE | verify MANIFEST KEY | download URL FILE |"
                 " bare URL [FILE] | files BASE LIST [FOLDER] | queue BASE LIST FOLDER | resume URL FILE | run CLIENT VERSION [KEY]\n");
    return 2;
  }
  if (seconds < 0) {
    std::fprintf(stderr, "transfer_bench: %s failed\n", mode.c_str());
    return 1;
  }
  std::printf("%s %.6f", mode.c_str(), seconds);
  PROCESS_MEMORY_COUNTERS memory{};
  if (mode == "run" && GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
    std::printf(" %llu %.6f", static_cast<unsigned long long>(memory.PeakWorkingSetSize), report.FetchSeconds());
  }
  std::printf("\n");
  StopLibrary();
  return 0;
}
