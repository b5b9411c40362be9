// The folder that ships (--src): the files under <Src> a script reads or
// starts must be in it, a checksum must be that of its file, a signer must
// be that of its file's signature, and a version test's update must not
// install an older program.
#include "checker.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <cstdio>
#include <map>

#include "base/characters.h"
#include "host.h"
#include "os/console_text.h"
#include "os/digest.h"
#include "os/files.h"
#include "procs/crc.h"
#include "procs/proc_list.h"
#include "script/script_file.h"

namespace check {

// The updater's own reading of a real file, in a world that reads files.
bool ReadChecksum(const std::string& path, uint32_t& crc) {
  World files(WorldKind::ReadingFiles);
  InWorld reading(files);
  return GetFileData(path.c_str(), crc);
}
VersionFound ReadVersion(const std::string& path, FileVersion& version) {
  World files(WorldKind::ReadingFiles);
  InWorld reading(files);
  return ReadFileVersion(path.c_str(), version);
}

namespace {

void AddBlock(void* digest, const uint8_t* data, uint32_t count) {
  os::AddToDigest(static_cast<os::DigestHandle>(digest), data, count);
}

// Whether `item` is a digest as a SHA256 item holds it.
bool IsDigestItem(const std::string& item) {
  return item.size() == 2 * os::DigestSize &&
         std::all_of(item.begin(), item.end(), [](char c) { return isxdigit(c & 0xFF); });
}

// The key of the kind whose value has `form` (its SHA256 or SIGNER), or null.
const KeyDescription* KeyOfForm(const ProcKind& kind, ValueForm form) {
  for (int k = 0; k < kind.Keys.Count(); ++k)
    if (kind.Keys[k].Form == form) return &kind.Keys[k];
  return nullptr;
}
const KeyDescription* DigestKey(const ProcKind& kind) {
  return KeyOfForm(kind, ValueForm::Digests);
}
const KeyDescription* PublisherKey(const ProcKind& kind) {
  return KeyOfForm(kind, ValueForm::Publisher);
}

// What the signature of a file that ships says of SIGNER.
enum class SignerFound { Same, Other, Unchecked };

// The signature of `path` as osslsigncode reads it (its verify command):
// Same when its digest is the file's and its signer's common name is
// `publisher` (UTF-8); Other, with the problem in `problem`, when it is
// unsigned, changed or another publisher's; Unchecked, with the reason,
// where the tool cannot tell (not installed, not a program file, and on
// Windows, where it is not at hand). Whether a machine trusts the chain is
// not judged: that is the machine's.
SignerFound ReadSigner(const std::string& path, const std::string& publisher,
                       std::string& problem) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  std::string output;
  int status = 0;
  if (!host::CommandOutput("osslsigncode verify -in " + quoted + "'", output, status)) {
    problem = "signatures cannot be read here";
    return SignerFound::Unchecked;
  }
  if (output.find("No signature found") != std::string::npos) {
    problem = "it carries no signature";
    return SignerFound::Other;
  }
  if (output.find("MISMATCH") != std::string::npos) {
    problem = "its signature does not verify: the file was changed after it was signed";
    return SignerFound::Other;
  }
  // "Signer #0:" then "Subject: /CN=name/O=...", bytes beyond ASCII as \xHH.
  size_t at = output.find("Signer #0:");
  at = at == std::string::npos ? at : output.find("Subject:", at);
  size_t cn = at == std::string::npos ? at : output.find("/CN=", at);
  size_t end = cn == std::string::npos ? cn : output.find('\n', cn);
  if (end == std::string::npos) {
    problem = status == 127 || output.find("not found") != std::string::npos
                  ? "osslsigncode is not installed"
                  : "osslsigncode could not read it: " + output.substr(0, output.find('\n'));
    return SignerFound::Unchecked;
  }
  std::string subject = output.substr(cn + 4, end - cn - 4), name;
  while (!subject.empty() && (subject.back() == '\r' || subject.back() == ' ')) subject.pop_back();
  for (size_t i = 0; i < subject.size(); ++i) {
    if (subject[i] == '/' && subject.find('=', i) != std::string::npos &&
        subject.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz.0123456789",
                                  i + 1) == subject.find('=', i))
      break;  // the next attribute
    if (subject.compare(i, 2, "\\x") == 0 && i + 3 < subject.size()) {
      name += static_cast<char>(std::stoi(subject.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      name += subject[i];
    }
  }
  if (name == publisher) return SignerFound::Same;
  problem = "it is signed by \"" + name + "\"";
  return SignerFound::Other;
}

}  // namespace

bool ReadDigest(const std::string& path, std::string& hex) {
  World files(WorldKind::ReadingFiles);
  InWorld reading(files);
  os::OwnedDigest digest;
  uint32_t lowSize = 0;
  std::error_code error;
  bool empty = std::filesystem::is_regular_file(path, error) &&
               std::filesystem::file_size(path, error) == 0;
  uint8_t none[os::DigestSize] = {}, found[os::DigestSize] = {};
  if (!os::StartDigest(digest.Receive()) ||
      (!empty && !os::ReadFileBlocks(path.c_str(), lowSize, AddBlock, digest.Get(), nullptr,
                                     nullptr)) ||
      os::FinishDigest(digest.Get(), none, found) == os::Digest::Failed)
    return false;
  hex.clear();
  for (uint8_t byte : found) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return true;
}

// The files and folders the script makes (lower-cased), and for each file a
// copy makes, the copy's source and line.
void Checker::MadeFiles(std::vector<std::string>& made,
                        std::map<std::string, std::pair<std::string, int>>* copiedFrom) const {
  for (const auto& section : sectionReads_) {
    const ProcKind* kind = KindOf(section.first);
    std::vector<std::string> sources;
    for (int k = 0; kind && k < kind->Keys.Count(); ++k) {
      const KeyDescription& key = kind->Keys[k];
      std::string value;
      int line = 0;
      if (!ReadValueOf(section.first, key.Key, value, line)) continue;
      if (key.Role == KeyRole::Leading && key.Use == PathUse::Reads) sources = ItemsOf(value);
      if (key.Use != PathUse::Writes && key.Use != PathUse::MakesFolders) continue;
      const std::vector<std::string> items = ItemsOf(value);
      for (size_t i = 0; i < items.size(); ++i) {
        made.push_back(Lower(items[i]));
        if (copiedFrom && key.Role == KeyRole::Companion && i < sources.size())
          copiedFrom->emplace(Lower(items[i]), std::make_pair(sources[i], line));
      }
    }
  }
}

// The kind of `section` by the MODE the updater read, or null.
const ProcKind* Checker::KindOf(const std::string& section) const {
  std::string mode;
  int line = 0;
  if (!ReadValueOf(section, "MODE", mode, line)) return nullptr;
  return KindOfMode(TextString(mode.c_str()));
}

const KeyDescription* Checker::DescriptionOf(const std::string& section,
                                             const std::string& key) const {
  const ProcKind* kind = KindOf(section);
  for (int i = 0; kind && i < kind->Keys.Count(); ++i)
    if (profile::SameName(key, kind->Keys[i].Key)) return &kind->Keys[i];
  return nullptr;
}

// Files under <Src> that a procedure reads or starts must ship in the folder
// given with --src, and a checksum must be that of the file there. Files the
// script makes itself (what it writes, and what lies in the folders it
// makes) do not ship; a checksum of a file the script copies from <Src> is
// that of the copy's source.
void Checker::CheckShippedFiles() {
  if (srcDir_.empty()) return;
  std::vector<std::string> made;  // lower-cased files and folders the script makes
  std::map<std::string, std::pair<std::string, int>> copiedFrom;  // source and line, by target
  MadeFiles(made, &copiedFrom);
  auto isMade = [&](const std::string& path) {
    for (const std::string& item : made)
      if (Lower(path) == item || Lower(path).compare(0, item.size() + 1, item + "\\") == 0)
        return true;
    return false;
  };
  for (const auto& section : sectionReads_) {
    const ProcKind* kind = KindOf(section.first);
    if (!kind) continue;
    std::string checksums;
    const char* checksumKey = "";
    int crcLine = 0;
    for (int k = 0; k < kind->Keys.Count(); ++k)
      if (kind->Keys[k].Form == ValueForm::Checksums &&
          ReadValueOf(section.first, kind->Keys[k].Key, checksums, crcLine))
        checksumKey = kind->Keys[k].Key;
    const std::vector<std::string> values = ItemsOf(checksums);
    const KeyDescription* digestKey = DigestKey(*kind);
    std::string digestList;
    int digestLine = 0;
    if (digestKey) ReadValueOf(section.first, digestKey->Key, digestList, digestLine);
    const std::vector<std::string> digests = ItemsOf(digestList);
    std::string signer, signerKey;
    int signerLine = 0;
    if (const KeyDescription* publisher = PublisherKey(*kind))
      if (ReadValueOf(section.first, publisher->Key, signer, signerLine)) signerKey = publisher->Key;
    for (int k = 0; k < kind->Keys.Count(); ++k) {
      const KeyDescription& key = kind->Keys[k];
      std::string files;
      int line = 0;
      if (key.Use == PathUse::Mentions && ReadValueOf(section.first, key.Key, files, line)) {
        for (const std::string& item : PathsUnderSrc(files)) {
          uint32_t crc = 0;
          if (!isMade(item) && !ReadChecksum(ShippedPath(item), crc))
            Add("missing-file", line,
                std::string(key.Key) + " names " + Quoted(item) +
                    ", which is not in the folder that ships: " +
                    console::Utf8FromNative(ShippedPath(item)) + " is missing (or empty)");
        }
        continue;
      }
      if ((key.Use != PathUse::Reads && key.Use != PathUse::Starts) ||
          !ReadValueOf(section.first, key.Key, files, line))
        continue;
      // A folder's files stand each as an item of its own, with no position
      // of its own in the lists beside (a digest pins one file).
      std::vector<std::string> items;
      std::vector<size_t> positions;
      const std::vector<std::string> written = ItemsOf(files);
      for (size_t i = 0; i < written.size(); ++i) {
        if (!IsFolderItem(written[i]) || !UnderSrc(written[i])) {
          items.push_back(written[i]);
          positions.push_back(i);
          continue;
        }
        const std::vector<std::string> found = ShippedFolderFiles(written[i]);
        if (found.empty())
          Add("missing-file", line,
              std::string(key.Key) + " item " + Quoted(written[i]) +
                  " matches no file in the folder that ships: the copy fails there (" +
                  MessageName(MsgCopyFailed) + ")");
        items.insert(items.end(), found.begin(), found.end());
        positions.resize(items.size(), written.size());
      }
      for (size_t n = 0; n < items.size(); ++n) {
        size_t i = positions[n];
        std::string item = items[n];
        const std::pair<std::string, int>* copy = nullptr;
        auto copied = copiedFrom.find(Lower(item));
        if (copied != copiedFrom.end() && UnderSrc(copied->second.first)) {
          copy = &copied->second;
          item = copy->first;
        } else if (!UnderSrc(item) || isMade(item)) {
          continue;
        }
        std::string shipped = ShippedPath(item);
        // The file is read as the crc command reads it, within this check.
        uint32_t crc = 0;
        bool read = ReadChecksum(shipped, crc);
        if (!read) {
          // A copy's missing source is told at the copy.
          if (!copy)
            Add("missing-file", line,
                std::string(key.Key) + " item " + Quoted(item) +
                    " is not in the folder that ships: " + console::Utf8FromNative(shipped) +
                    " is missing (or empty)");
          continue;
        }
        std::string pinned = i < digests.size() ? Lower(digests[i]) : "";
        std::string digest;
        if (IsDigestItem(pinned) && !ReadDigest(shipped, digest))
          Warn(Warning::UncheckedDigest, digestLine,
               std::string(digestKey->Key) + " item " + Quoted(digests[i]) +
                   " is not checked against " + console::Utf8FromNative(shipped) +
                   ": this build of the checker cannot compute digests");
        else if (IsDigestItem(pinned) && digest != pinned)
          Add("stale-digest", digestLine,
              std::string(digestKey->Key) + " item " + Quoted(digests[i]) +
                  " is not the SHA-256 digest of " + console::Utf8FromNative(shipped) + ", " +
                  digest + ": the updater refuses the file that ships");
        if (!signerKey.empty()) {
          std::string problem;
          SignerFound found = ReadSigner(shipped, Shown(signer), problem);
          if (found == SignerFound::Other)
            Add("other-signer", signerLine,
                "SIGNER " + Quoted(signer) + " is not the signer of " +
                    console::Utf8FromNative(shipped) + ": " + problem +
                    ": the run stops there with the file that ships");
          else if (found == SignerFound::Unchecked)
            Warn(Warning::UncheckedSigner, signerLine,
                 "SIGNER " + Quoted(signer) + " is not checked against " +
                     console::Utf8FromNative(shipped) + ": " + problem);
        }
        std::string expected = i < values.size() ? values[i] : "";
        if (expected.empty() || TextString(expected.c_str()).ToHex() == crc) continue;
        Add("stale-checksum", crcLine,
            std::string(checksumKey) + " item " + Quoted(expected) + " is not the checksum of " +
                console::Utf8FromNative(shipped) + ", " + Hex(crc) +
                (copy ? ", which the script copies to " + Quoted(items[n]) : std::string()) +
                ": the test fails for the file that ships");
        if (copy)
          problems_.back().Notes.emplace_back(
              copy->second, "the copy of " + Quoted(copy->first) + " to " + Quoted(items[n]));
      }
    }
  }
}

// Programs copied from or started in <Src> whose digest no SHA256 item
// pins and whose signer no SIGNER names (an item "-" leaves its file
// unchecked on purpose, and is not told).
void Checker::UnverifiedPrograms(const PROC_INFO* record, const ProcKind& kind) {
  const KeyDescription* digestKey = DigestKey(kind);
  std::string section = record->Name.Text(), digestList;
  int line = 0;
  // A SIGNER written covers every file of the procedure.
  const KeyDescription* publisher = PublisherKey(kind);
  if (!digestKey || (publisher && world_.Script.FindKey(section.c_str(), publisher->Key))) return;
  bool pinned = ReadValueOf(section, digestKey->Key, digestList, line);
  const std::vector<std::string> digests = ItemsOf(digestList);
  for (int k = 0; k < kind.Keys.Count(); ++k) {
    const KeyDescription& key = kind.Keys[k];
    std::string files;
    if (key.Role != KeyRole::Leading || !ReadValueOf(section, key.Key, files, line)) continue;
    const std::vector<std::string> items = ItemsOf(files);
    for (size_t i = 0; i < items.size(); ++i) {
      std::string file = items[i];
      if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
        file = file.substr(1, file.size() - 2);
      std::string extension = Lower(file.substr(file.find_last_of('.') + 1));
      bool program = file.find('.') != std::string::npos &&
                     (extension == "exe" || extension == "dll" || extension == "msi" ||
                      extension == "bat" || extension == "cmd");
      std::string item = pinned && i < digests.size() ? digests[i] : "";
      if (!program || !UnderSrc(file) || IsDigestItem(item) || item == "-") continue;
      Warn(Warning::UnverifiedProgram, line,
           std::string(key.Key) + " item " + Quoted(items[i]) + " is a program from <Src> that " +
               (key.Use == PathUse::Starts ? "starts" : "is copied") +
               " unverified: " +
               (IsFolderItem(file) ? std::string("name their publisher with SIGNER=")
                                   : "pin its digest with " + std::string(digestKey->Key) +
                                         "= (updater-check hash prints it) or its publisher "
                                         "with SIGNER="));
    }
  }
}

bool IsFolderItem(const std::string& item) {
  const char* last = FindLastCharacter(item.c_str(), '\\');
  return strpbrk(last ? last + 1 : item.c_str(), "*?") != nullptr;
}

// The files that a folder item under <Src> takes from the folder that
// ships, as items under <Src>, in name order: as the updater lists them,
// "*" every file of the tree, another pattern the files of its folder whose
// names it matches in code page 932; a link is never followed.
std::vector<std::string> Checker::ShippedFolderFiles(const std::string& item) const {
  namespace fs = std::filesystem;
  const char* last = FindLastCharacter(item.c_str(), '\\');
  const std::string folder = item.substr(0, last - item.c_str()), pattern = last + 1;
  std::vector<std::string> files;
  std::vector<std::pair<fs::path, std::string>> pending = {
      {Lower(folder) == Lower(world_.ModuleDirectory) ? fs::path(srcDir_)
                                                      : fs::path(ShippedPath(folder)),
       folder}};
  while (!pending.empty()) {
    auto [path, named] = pending.back();
    pending.pop_back();
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
      std::string name;
      if (it->is_symlink(error) ||
          !console::Utf8To932(console::Utf8FromNative(it->path().filename().string()), name))
        continue;
      if (pattern == "*" && it->is_directory(error))
        pending.emplace_back(it->path(), named + "\\" + name);
      else if (it->is_regular_file(error) && (pattern == "*" || NameMatches(pattern.c_str(), name.c_str())))
        files.push_back(named + "\\" + name);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The paths under <Src> that a text names: each from <Src>'s folder to its
// closing quote where a quote opens it, else to the next blank or comma.
std::vector<std::string> Checker::PathsUnderSrc(const std::string& text) const {
  const std::string src = Lower(world_.ModuleDirectory + "\\");
  const std::string lower = Lower(text);
  std::vector<std::string> paths;
  for (size_t at = lower.find(src); at != std::string::npos; at = lower.find(src, at + 1)) {
    bool quoted = at > 0 && text[at - 1] == '"';
    size_t end = text.find_first_of(quoted ? "\"" : " ,\"", at);
    if (end == std::string::npos) end = text.size();
    if (end > at + src.size()) paths.push_back(text.substr(at, end - at));
  }
  return paths;
}

// True when `path` lies under <Src>, the folder beside the program.
bool Checker::UnderSrc(const std::string& path) const {
  const std::string src = Lower(world_.ModuleDirectory + "\\");
  return Lower(path).compare(0, src.size(), src) == 0;
}

// The file in the folder that ships for `item`, a path under <Src>: the
// name as the checking system has it. Separators are turned while the text
// is UTF-8, where a 0x5C byte is always one.
std::string Checker::ShippedPath(const std::string& item) const {
  std::string rest = Shown(item.substr(world_.ModuleDirectory.size() + 1));
  std::replace(rest.begin(), rest.end(), '\\', '/');
  return srcDir_ + "/" + console::NativeFromUtf8(rest);
}

// A copy, in a version test's list 1, of a file that test reads.
void Checker::NoteGuardedCopies(const PROC_INFO* record, const ProcKind& kind) {
  if (versionGuards_.empty()) return;
  std::vector<std::string> sources, targets;
  int line = 0;
  for (int k = 0; k < kind.Keys.Count(); ++k) {
    const KeyDescription& key = kind.Keys[k];
    std::string value;
    int keyLine = 0;
    if (!ReadValueOf(record->Name.Text(), key.Key, value, keyLine)) continue;
    if (key.Role == KeyRole::Leading && key.Use == PathUse::Reads) sources = ItemsOf(value);
    if (key.Role == KeyRole::Companion && key.Use == PathUse::Writes) {
      targets = ItemsOf(value);
      line = keyLine;
    }
  }
  for (size_t i = 0; i < targets.size() && i < sources.size(); ++i)
    for (const VersionGuard& guard : versionGuards_)
      if (std::find(guard.Files.begin(), guard.Files.end(), Lower(targets[i])) !=
          guard.Files.end())
        guardedCopies_.push_back(GuardedCopy{guard, sources[i], targets[i], line});
}

// A version-guarded copy from <Src> must not install a program older than
// the version the test asks for: the update would go back a version, and
// the test would find the file older at every run after it.
void Checker::CheckDowngrades() {
  if (srcDir_.empty()) return;
  for (const GuardedCopy& copy : guardedCopies_) {
    FileVersion wanted = 0;
    if (!UnderSrc(copy.Source) ||
        !ParseVersionText(copy.Guard.Version.c_str(), wanted))
      continue;
    std::string shipped = ShippedPath(copy.Source);
    FileVersion version = 0;
    VersionFound found = ReadVersion(shipped, version);
    // A missing source is told at the copy.
    if (found == VersionFound::NotOpened || (found == VersionFound::Found && version >= wanted))
      continue;
    const std::string& value = copy.Guard.Version;
    std::string from = console::Utf8FromNative(shipped);
    if (found == VersionFound::Found)
      Add("downgrade", copy.Guard.Line,
          std::string(copy.Guard.Key) + " " + Quoted(value) +
              " is newer than the program that ships: " + from + " is version " +
              VersionText(version).Text() + ", and the update copies it over " +
              Quoted(copy.Target) + " when that file is older than " + Quoted(value) +
              ": it may put an older program in place of the one it replaces, and the test "
              "finds the file older again at every run");
    else
      Add("downgrade", copy.Guard.Line,
          std::string(copy.Guard.Key) + " " + Quoted(value) + " tests " + Quoted(copy.Target) +
              ", which the update copies from " + from +
              ", a file without version information: the test finds it older at every run, "
              "and the update runs again each time");
    problems_.back().Notes.emplace_back(
        copy.Line, "the copy of " + Quoted(copy.Source) + " to " + Quoted(copy.Target));
  }
}

}  // namespace check
