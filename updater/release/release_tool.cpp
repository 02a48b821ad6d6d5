#include "release/release_tool.h"

#include <algorithm>
#include <set>

#include "app/file_hash.h"
#include "app/manifest.h"
#include "app/update_rules.h"
#include "base/text/wide_text.h"
#include "base/xconfig/xconfig.h"
#include "release/exclude_rules.h"
#include "release/release_files.h"

namespace {
const wchar_t* const kUsage[] = {
    L"Usage:",
    L"  xrelease create --version VERSION --base-url URL [options] FOLDER",
    L"  xrelease verify [options] FOLDER",
    L"  xrelease --help",
    L"",
    L"create  writes the update manifest of the release in FOLDER: its version,",
    L"        the address its files are served from, and every file below FOLDER",
    L"        with its SHA-1 and size.",
    L"  --version VERSION          newest client version, dotted numbers (1.4.0.12)",
    L"  --base-url URL             http:// or https:// address of the files; a final",
    L"                             \"/\" is added when missing",
    L"  --updater-version VERSION  newest updater version (optional)",
    L"  --must NUMBER              the manifest's \"Must\" number (optional)",
    L"  --exclude PATTERN          leave matching files and folders out (repeatable)",
    L"  --output FILE              the manifest to write (default FOLDER/update.xconfig,",
    L"                             which is never listed itself)",
    L"",
    L"verify  checks FOLDER, an installation or a release, against a manifest and",
    L"        lists missing, changed and extra files.",
    L"  --manifest FILE            the manifest (default FOLDER/update.xconfig)",
    L"  --exclude PATTERN          never report matching files as extra (repeatable)",
    L"",
    L"Patterns: \"*\" and \"?\" match within a name, \"**\" across folders, A-Z in",
    L"either case. A pattern without \"/\" or \"\\\" matches a file or folder name",
    L"at any depth; with one, the path from the top of FOLDER.",
    L"",
    L"Exit status: 0 done and, for verify, nothing missing or changed; 1 verify",
    L"found missing or changed files or entries the updater rejects; 2 an error",
    L"(bad command line, missing folder, unreadable file, a name the updater",
    L"rejects); create then writes nothing.",
};

constexpr wchar_t kDefaultManifestName[] = L"update.xconfig";

struct Options {
  String command;
  String folder;
  String version;
  String baseUrl;
  String updaterVersion;
  String must;
  String output;
  String manifest;
  ExcludeRules exclude;
};

// An option with one value, and the field it fills.
struct OptionRule {
  const wchar_t* name;
  String Options::*field;
};

const OptionRule kCreateOptions[] = {
    {L"--version", &Options::version},         {L"--base-url", &Options::baseUrl},
    {L"--updater-version", &Options::updaterVersion}, {L"--must", &Options::must},
    {L"--output", &Options::output},
};
const OptionRule kVerifyOptions[] = {{L"--manifest", &Options::manifest}};

bool SameText(const String& a, const String& b) {
  return WCompare(Text(a), Text(b)) == 0;
}

String Quoted(const String& text) { return String(L"\"") + text + L"\""; }

class Tool {
public:
  explicit Tool(ToolConsole* console) : m_console(console) {}

  int Run(const StringArray& args) {
    if (args.empty()) return UsageError(L"no command given");
    for (const String& arg : args) {
      if (SameText(arg, L"--")) break;
      if (SameText(arg, L"--help") || SameText(arg, L"-h")) {
        for (const wchar_t* line : kUsage) m_console->Out(line);
        return kToolSuccess;
      }
    }
    m_options.command = args[0];
    if (SameText(args[0], L"create")) return ParseOptions(args, kCreateOptions) ? Create() : kToolError;
    if (SameText(args[0], L"verify")) return ParseOptions(args, kVerifyOptions) ? Verify() : kToolError;
    return UsageError(String(L"unknown command ") + Quoted(args[0]));
  }

private:
  template <size_t count>
  bool ParseOptions(const StringArray& args, const OptionRule (&rules)[count]) {
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
      const String& arg = args[i];
      if (!optionsEnded && SameText(arg, L"--")) {
        optionsEnded = true;
        continue;
      }
      if (optionsEnded || arg.Length() < 2 || arg.Text()[0] != L'-') {
        if (!m_options.folder.IsEmpty()) return UsageError(String(L"unexpected argument ") + Quoted(arg));
        m_options.folder = arg;
        continue;
      }
      // "--name=value" or "--name value".
      const wchar_t* equals = WFindChar(arg, L'=');
      String name = equals ? String(arg.Text(), static_cast<uint32_t>(equals - arg.Text())) : arg;
      bool exclude = SameText(name, L"--exclude");
      const OptionRule* rule =
          std::find_if(rules, rules + count, [&](const OptionRule& r) { return SameText(name, r.name); });
      if (!exclude && rule == rules + count) {
        return UsageError(String(L"unknown option ") + name + L" for " + m_options.command);
      }
      String value;
      if (equals) {
        value = equals + 1;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      }
      if (value.IsEmpty()) return UsageError(name + L" needs a value");
      if (exclude) {
        if (!m_options.exclude.Add(value)) {
          return UsageError(String(L"--exclude ") + Quoted(value) + L" names nothing");
        }
        continue;
      }
      String& field = m_options.*(rule->field);
      if (!field.IsEmpty()) return UsageError(name + L" given twice");
      field = value;
    }
    if (m_options.folder.IsEmpty()) return UsageError(m_options.command + L" needs a FOLDER");
    return true;
  }

  int Create() {
    const Options& o = m_options;
    if (o.version.IsEmpty()) return UsageError(L"create needs --version");
    if (o.baseUrl.IsEmpty()) return UsageError(L"create needs --base-url");
    if (!IsDottedVersion(o.version)) return UsageError(String(L"--version ") + Quoted(o.version) + kNotAVersion);
    if (!o.updaterVersion.IsEmpty() && !IsDottedVersion(o.updaterVersion)) {
      return UsageError(String(L"--updater-version ") + Quoted(o.updaterVersion) + kNotAVersion);
    }
    if (!IsBaseUrl(o.baseUrl)) {
      return UsageError(String(L"--base-url ") + Quoted(o.baseUrl) +
                        L" is not an http:// or https:// address without blanks");
    }
    ReleaseInfo info;
    info.version = o.version;
    info.baseUrl = WithFinalSlash(o.baseUrl);
    info.updaterVersion = o.updaterVersion;
    info.hasMust = !o.must.IsEmpty();
    if (info.hasMust && !ParseInt32(o.must, &info.must)) {
      return UsageError(String(L"--must ") + Quoted(o.must) + L" is not a whole number");
    }
    if (!CheckFolder()) return kToolError;
    String output = o.output.IsEmpty() ? JoinPath(o.folder, kDefaultManifestName) : o.output;
    PathKind outputKind = KindOfPath(output);
    if (outputKind != PathKind::kMissing && outputKind != PathKind::kFile) {
      return Fail(String(L"cannot write ") + output + L": not a file");
    }

    StringArray names;
    String error;
    if (!ListFolderFiles(o.folder, o.exclude, output, &names, &error)) return Fail(error + kNothingWritten);
    ReleaseFileArray files;
    files.reserve(names.size());
    for (String& name : names) {
      files.emplace_back();
      files.back().name = std::move(name);
    }
    StringArray problems;
    if (!CheckReleaseNames(files, &problems)) {
      for (const String& problem : problems) Error(problem);
      return Fail(String(L"nothing written"));
    }
    SortReleaseFiles(&files);
    uint64_t total = 0;
    for (ReleaseFile& file : files) {
      if (!Digest(JoinPath(o.folder, file.name), &file.hash, &file.size, &error)) return Fail(error + kNothingWritten);
      total += file.size;
    }
    Utf8Text text;
    if (!WriteReleaseManifest(info, files, &text, &error) || !ReplaceFileWith(output, text, &error)) {
      return Fail(error + kNothingWritten);
    }
    m_console->Out(String(L"wrote ") + output + L": " + DecimalText(files.size()) + L" files, " +
                   DecimalText(total) + L" bytes");
    return kToolSuccess;
  }

  int Verify() {
    const Options& o = m_options;
    if (!CheckFolder()) return kToolError;
    String manifestPath = o.manifest.IsEmpty() ? JoinPath(o.folder, kDefaultManifestName) : o.manifest;
    Utf8Text bytes;
    String error;
    if (!ReadWholeFile(manifestPath, &bytes, &error)) return Fail(error);
    XConfig document;
    if (!document.OpenText(bytes.c_str(), manifestPath)) return Fail(manifestPath + L" is not valid XConfig text");
    FileEntryArray entries;
    ManifestInfo info;
    if (!ReadUpdateManifest(document.RootElement(), &entries, &info)) {
      return Fail(manifestPath + L" is no update manifest: \"BaseInfo\" or \"FileList\" is missing");
    }

    Counts counts;
    KeySet keys;
    for (const FileEntry& entry : entries) {
      if (!IsSafeRelativeName(entry.name)) {
        Report(&counts.invalid, L"invalid: ", entry.name, L" (the updater rejects this name)");
        continue;
      }
      if (!keys.insert(FileNameKey(entry.name)).second) {
        Report(&counts.invalid, L"invalid: ", entry.name, L" (the file is listed before)");
        continue;
      }
      if (!IsDigestText(entry.hash)) {
        Report(&counts.invalid, L"invalid: ", entry.name, L" (\"Hash\" is not 40 lower-case hexadecimal digits)");
        continue;
      }
      CheckFile(entry, &counts);
    }

    StringArray names;
    if (ListFolderFiles(o.folder, o.exclude, manifestPath, &names, &error)) {
      std::sort(names.begin(), names.end(), KeyBefore());
      for (const String& name : names) {
        if (keys.count(FileNameKey(name)) == 0) {
          Report(&counts.extra, L"extra: ", name, nullptr);
        }
      }
    } else {
      Error(error);
      ++counts.unreadable;
    }

    String summary = DecimalText(entries.size()) + L" files listed: " + DecimalText(counts.missing) + L" missing, " +
                     DecimalText(counts.changed) + L" changed, " + DecimalText(counts.extra) + L" extra";
    if (counts.invalid) summary += String(L", ") + DecimalText(counts.invalid) + L" invalid";
    if (counts.unreadable) summary += String(L", ") + DecimalText(counts.unreadable) + L" not readable";
    m_console->Out(summary);
    if (counts.unreadable) return kToolError;
    return counts.missing || counts.changed || counts.invalid ? kToolDifferences : kToolSuccess;
  }

  struct KeyBefore {
    bool operator()(const String& a, const String& b) const { return TextBefore(a, b); }
  };
  // The files that a manifest lists, by the name the file system finds them by.
  using KeySet = std::set<String, KeyBefore, LibraryAllocator<String>>;

  struct Counts {
    uint32_t missing = 0;
    uint32_t changed = 0;
    uint32_t extra = 0;
    uint32_t invalid = 0;
    uint32_t unreadable = 0;
  };

  // Compares the installed file of `entry` with it, as the updater would.
  void CheckFile(const FileEntry& entry, Counts* counts) {
    String path = JoinPath(m_options.folder, entry.name);
    if (KindOfPath(path) != PathKind::kFile) {
      Report(&counts->missing, L"missing: ", entry.name, nullptr);
      return;
    }
    String digest;
    uint64_t size = 0;
    String error;
    if (!Digest(path, &digest, &size, &error)) {
      Error(error);
      ++counts->unreadable;
    } else if (!SameText(entry.hash, digest)) {
      Report(&counts->changed, L"changed: ", entry.name, L" (content differs)");
    } else if (entry.size != size) {
      Report(&counts->changed, L"changed: ", entry.name,
             (String(L" (size ") + DecimalText(entry.size) + L" in the manifest, " + DecimalText(size) + L" on disk)")
                 .Text());
    }
  }

  // The SHA-1 text of the file at `path` and its size.
  bool Digest(const String& path, String* digest, uint64_t* size, String* error) {
    uint8_t value[kSha1Bytes];
    if (!m_hasher.Hash(path, value, size)) {
      *error = SystemFailure(L"cannot hash", path);
      return false;
    }
    wchar_t text[kSha1TextChars];
    HexEncodeLower(value, text);
    *digest = text;
    return true;
  }

  void Report(uint32_t* count, const wchar_t* kind, const String& name, const wchar_t* detail) {
    ++*count;
    m_console->Out(String(kind) + name + detail);
  }

  bool CheckFolder() {
    switch (KindOfPath(m_options.folder)) {
      case PathKind::kFolder: return true;
      case PathKind::kMissing: Fail(String(L"folder ") + m_options.folder + L" does not exist"); return false;
      default: Fail(m_options.folder + L" is not a folder"); return false;
    }
  }

  void Error(const String& message) { m_console->Err(String(L"xrelease: ") + message); }

  int Fail(const String& message) {
    Error(message);
    return kToolError;
  }

  int UsageError(const String& message) {
    Error(message);
    m_console->Err(L"Try 'xrelease --help'.");
    return kToolError;
  }

  static constexpr const wchar_t* kNotAVersion = L" is not dotted decimal numbers such as 1.4.0.12";
  static constexpr const wchar_t* kNothingWritten = L"; nothing written";

  ToolConsole* m_console;
  Options m_options;
  Sha1FileHasher m_hasher;
};
}  // namespace

int RunReleaseTool(const StringArray& args, ToolConsole* console) { return Tool(console).Run(args); }
