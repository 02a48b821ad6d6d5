#include "release/release_tool.h"

#include <algorithm>
#include <ctime>
#include <set>

#include "app/file_hash.h"
#include "app/manifest.h"
#include "app/manifest_signature.h"
#include "app/update_rules.h"
#include "base/text/wide_text.h"
#include "base/xconfig/xconfig.h"
#include "release/exclude_rules.h"
#include "release/release_files.h"
#include "release/release_signing.h"

namespace {
const wchar_t* const kUsage[] = {
    L"Usage:",
    L"  xrelease create --version VERSION --base-url URL [options] FOLDER",
    L"  xrelease verify [options] FOLDER",
    L"  xrelease keygen FOLDER",
    L"  xrelease sign --key FILE MANIFEST",
    L"  xrelease --help",
    L"",
    L"create  writes the update manifest of the release in FOLDER: its version,",
    L"        the address its files are served from, and every file below FOLDER",
    L"        with its SHA-1, SHA-256 and size.",
    L"  --version VERSION          newest client version, dotted numbers (1.4.0.12)",
    L"  --base-url URL             http:// or https:// address of the files; a final",
    L"                             \"/\" is added when missing",
    L"  --updater-version VERSION  newest updater version (optional)",
    L"  --must NUMBER              the manifest's \"Must\" number (optional)",
    L"  --exclude PATTERN          leave matching files and folders out (repeatable)",
    L"  --output FILE              the manifest to write (default FOLDER/update.xconfig,",
    L"                             which is never listed itself)",
    L"  --sign-key FILE            sign the manifest with this private key (PEM); the",
    L"                             signature goes beside it as MANIFEST.sig (without",
    L"                             it, an old MANIFEST.sig is removed)",
    L"  --expires-days N           the manifest expires N days from now (\"Expires\");",
    L"                             updaters with a key built in refuse it afterwards",
    L"",
    L"verify  checks FOLDER, an installation or a release, against a manifest and",
    L"        lists missing, changed and extra files.",
    L"  --manifest FILE            the manifest (default FOLDER/update.xconfig)",
    L"  --public-key FILE          also check MANIFEST.sig with this public key (PEM)",
    L"  --exclude PATTERN          never report matching files as extra (repeatable)",
    L"",
    L"keygen  writes a new RSA key pair of 3072 bits into FOLDER: private.pem",
    L"        (PKCS#8, readable by its owner only) and public.pem; never replaces",
    L"        a key.",
    L"sign    writes MANIFEST.sig, the signature of MANIFEST by the private key",
    L"        FILE: RSA PKCS#1 v1.5 over the SHA-256 of its bytes.",
    L"",
    L"Patterns: \"*\" and \"?\" match within a name, \"**\" across folders, A-Z in",
    L"either case. A pattern without \"/\" or \"\\\" matches a file or folder name",
    L"at any depth; with one, the path from the top of FOLDER.",
    L"",
    L"Exit status: 0 done and, for verify, nothing missing or changed; 1 verify",
    L"found missing or changed files, entries the updater rejects, or a signature",
    L"that is missing or does not match; 2 an error",
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
  String signKey;
  String expiresDays;
  String publicKey;
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
    {L"--output", &Options::output},           {L"--sign-key", &Options::signKey},
    {L"--expires-days", &Options::expiresDays},
};
const OptionRule kVerifyOptions[] = {{L"--manifest", &Options::manifest}, {L"--public-key", &Options::publicKey}};
const OptionRule kSignOptions[] = {{L"--key", &Options::signKey}};
const OptionRule kNoOptions[] = {{nullptr, nullptr}};

bool SameText(const String& a, const String& b) {
  return WCompare(Text(a), Text(b)) == 0;
}

String Quoted(const String& text) { return String(L"\"") + text + L"\""; }

// The UTC time `seconds` from now as "YYYY-MM-DDTHH:MM:SSZ".
String UtcTimeTextAfter(int64_t seconds) {
  const std::time_t when = std::time(nullptr) + static_cast<std::time_t>(seconds);
  const std::tm* utc = std::gmtime(&when);
  char text[32] = {};
  if (!utc || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc) == 0) return String();
  return String::FromUtf8(text);
}

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
    if (SameText(args[0], L"keygen")) return ParseOptions(args, kNoOptions, false) ? Keygen() : kToolError;
    if (SameText(args[0], L"sign")) return ParseOptions(args, kSignOptions, false, L"MANIFEST") ? Sign() : kToolError;
    return UsageError(String(L"unknown command ") + Quoted(args[0]));
  }

private:
  template <size_t count>
  bool ParseOptions(const StringArray& args, const OptionRule (&rules)[count], bool takesExclude = true,
                    const wchar_t* operand = L"FOLDER") {
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
      bool exclude = takesExclude && SameText(name, L"--exclude");
      const OptionRule* rule =
          std::find_if(rules, rules + count, [&](const OptionRule& r) { return r.name && SameText(name, r.name); });
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
    if (m_options.folder.IsEmpty()) {
      return UsageError(m_options.command + L" needs a " + operand);
    }
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
    if (!o.expiresDays.IsEmpty()) {
      int32_t days = 0;
      if (!ParseInt32(o.expiresDays, &days) || days < 1 || days > 36500) {
        return UsageError(String(L"--expires-days ") + Quoted(o.expiresDays) + L" is not a number of days from 1 to 36500");
      }
      info.expires = UtcTimeTextAfter(static_cast<int64_t>(days) * 86400);
    }
    if (!o.signKey.IsEmpty() && !CanSign()) return Fail(String(L"--sign-key: ") + kCannotSign);
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
      if (!Digest(JoinPath(o.folder, file.name), &file, &error)) return Fail(error + kNothingWritten);
      total += file.size;
    }
    Utf8Text text;
    Utf8Text signature;
    // Signed before anything is written: a key that does not work leaves the
    // release as it was.
    if (!WriteReleaseManifest(info, files, &text, &error) ||
        (!o.signKey.IsEmpty() && !SignBytes(o.signKey, text, &signature, &error)) ||
        !ReplaceFileWith(output, text, &error)) {
      return Fail(error + kNothingWritten);
    }
    const String signaturePath = output + kSignatureSuffix;
    if (o.signKey.IsEmpty()) {
      // A signature of an earlier manifest would only make updaters refuse this one.
      if (KindOfPath(signaturePath) == PathKind::kFile && !RemoveFile(signaturePath, &error)) return Fail(error);
    } else if (!ReplaceFileWith(signaturePath, signature, &error)) {
      return Fail(error + L"; the manifest is written but not signed");
    }
    m_console->Out(String(L"wrote ") + output + L": " + DecimalText(files.size()) + L" files, " +
                   DecimalText(total) + L" bytes" + (o.signKey.IsEmpty() ? L"" : L", signed"));
    if (!info.expires.IsEmpty()) m_console->Out(String(L"expires ") + info.expires);
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
    if (!o.publicKey.IsEmpty()) {
      Utf8Text key;
      Utf8Text signature;
      const String signaturePath = manifestPath + kSignatureSuffix;
      if (!ReadWholeFile(o.publicKey, &key, &error)) return Fail(error);
      if (KindOfPath(signaturePath) != PathKind::kFile) {
        Report(&counts.invalid, L"signature: ", signaturePath, L" is missing");
      } else if (!ReadWholeFile(signaturePath, &signature, &error)) {
        return Fail(error);
      } else if (VerifyBytes(key, bytes, signature, &error)) {
        m_console->Out(String(L"signature: good (") + signaturePath + L")");
      } else if (!error.IsEmpty()) {
        return Fail(o.publicKey + L": " + error);
      } else {
        Report(&counts.invalid, L"signature: ", signaturePath, L" does not match the manifest and the key");
      }
    }
    if (!info.expires.IsEmpty()) {
      const String now = UtcTimeTextAfter(0);
      if (ManifestExpired(info.expires, now)) {
        Report(&counts.invalid, L"expired: ", info.expires, L" (updaters with a key built in refuse the manifest)");
      } else {
        m_console->Out(String(L"expires ") + info.expires);
      }
    }
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
      if (!entry.sha256.IsEmpty() && !IsDigestText(entry.sha256, 64)) {
        Report(&counts.invalid, L"invalid: ", entry.name, L" (\"Sha256\" is not 64 lower-case hexadecimal digits)");
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
    ReleaseFile found;
    String error;
    if (!Digest(path, &found, &error)) {
      Error(error);
      ++counts->unreadable;
    } else if (!SameText(entry.hash, found.hash) || (!entry.sha256.IsEmpty() && !SameText(entry.sha256, found.sha256))) {
      Report(&counts->changed, L"changed: ", entry.name, L" (content differs)");
    } else if (entry.size != found.size) {
      Report(&counts->changed, L"changed: ", entry.name,
             (String(L" (size ") + DecimalText(entry.size) + L" in the manifest, " + DecimalText(found.size) +
              L" on disk)")
                 .Text());
    }
  }

  // The SHA-1 and SHA-256 texts of the file at `path` and its size.
  bool Digest(const String& path, ReleaseFile* file, String* error) {
    FileDigests digests;
    if (!m_hasher.Hash(path, kHashSha1 | kHashSha256, &digests, &file->size)) {
      *error = SystemFailure(L"cannot hash", path);
      return false;
    }
    file->hash = DigestText(digests.sha1, kSha1Bytes);
    file->sha256 = DigestText(digests.sha256, kSha256Bytes);
    return true;
  }

  int Keygen() {
    if (!CanSign()) return Fail(kCannotSign);
    if (!CheckFolder()) return kToolError;
    String error;
    if (!GenerateKeyPair(m_options.folder, &error)) return Fail(error);
    m_console->Out(String(L"wrote ") + JoinPath(m_options.folder, kPrivateKeyFileName) +
                   L" (keep it secret; never publish it) and " + JoinPath(m_options.folder, kPublicKeyFileName));
    return kToolSuccess;
  }

  int Sign() {
    const Options& o = m_options;
    if (o.signKey.IsEmpty()) return UsageError(L"sign needs --key");
    if (!CanSign()) return Fail(kCannotSign);
    Utf8Text bytes;
    Utf8Text signature;
    String error;
    const String signaturePath = o.folder + kSignatureSuffix;
    if (!ReadWholeFile(o.folder, &bytes, &error) || !SignBytes(o.signKey, bytes, &signature, &error) ||
        !ReplaceFileWith(signaturePath, signature, &error)) {
      return Fail(error);
    }
    m_console->Out(String(L"wrote ") + signaturePath);
    return kToolSuccess;
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
  static constexpr const wchar_t* kCannotSign = L"making keys and signing need the native build of xrelease";

  ToolConsole* m_console;
  Options m_options;
  FileHasher m_hasher;
};
}  // namespace

int RunReleaseTool(const StringArray& args, ToolConsole* console) { return Tool(console).Run(args); }
