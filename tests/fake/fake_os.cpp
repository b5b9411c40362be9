// The double's world, its controls and its calls of the seam: see fake_os.h.
#include "fake_os.h"

#include <iconv.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "os/basics.h"
#include "os/catalogue_text.h"
#include "os/code_page_932.h"
#include "os/digest.h"
#include "os/files.h"
#include "os/journal_support.h"
#include "os/log.h"
#include "os/processes.h"
#include "os/profile_file.h"
#include "os/registry.h"
#include "os/services.h"
#include "os/shell.h"
#include "os/trust.h"
#include "os/ui.h"

namespace fake {
namespace {

struct File {
  std::string path;  // as given
  std::string contents;
  unsigned attributes = 0x20;
  os::CalendarDate date = {2020, 1, 1};
  bool locked = false;     // held by another program, sharing nothing
  uint32_t releasedAt = 0;  // the clock's time it is let go; 0: never
  // A region locked by another program until then: the file opens, but a
  // read of all of it fails part-way.
  uint32_t regionLockedUntil = 0;
  bool heldByRun = false;  // held open by the run itself
  bool running = false;    // a running program's file: renamed, never deleted
  // The programs the system lists as holding it, and how many hold it
  // where there are too many to list.
  std::vector<std::pair<std::string, uint32_t>> holders;
  uint32_t unlistedHolders = 0;
  size_t durable = std::string::npos;  // bytes on the disk; npos: all of them
  bool link = false;  // a link to another file, which a log is not written through
  // The name a listing gives, where it differs from the stored one, and
  // whether that is an exact form of it.
  std::string listedName;
  bool listedExact = true;
  // Who the file is to the system: its index (kept by a rename, on a
  // volume with stable indexes) and the moments it was made and written.
  uint64_t id = 0;
  uint64_t created = 0, written = 0;
  std::string signature;  // as SignFile words it; empty: none
};

// A service of the service manager (os/services.h).
struct Service {
  std::string name;  // as installed
  ServiceSetup setup;
  os::ServiceState state = os::ServiceState::Stopped;
  uint32_t changesAt = 0;    // the clock's time a pending change ends
  uint32_t processId = 0;    // its process, while it lives
  uint32_t processEndsAt = 0;  // once stopped: the time its process ends
  uint64_t programId = 0;    // the file its process runs from (its index)
  uint32_t exitCode = 0;
  std::string requests;      // "stop,start"
};
// A registry key of the double and its values, by lower-cased name.
struct RegValue {
  std::string name;  // as given
  uint32_t type;
  std::string data;
};
struct RegKey {
  std::string path;  // as given
  std::map<std::string, RegValue> values;
};
// The account the run runs as by default, and its key under HKU.
const std::string UserSid = "S-1-5-21-7-7-7-1001";
const std::string UserKey = "HKU\\" + UserSid;

struct World {
  std::map<std::string, File> files;        // key: lower-cased path
  // lower-cased path: path as given; the system's folder and the user's
  // local application data are there
  std::map<std::string, std::string> dirs = {
      {"c:\\windows", "C:\\Windows"},
      {"c:\\users", "C:\\Users"},
      {"c:\\users\\me", "C:\\Users\\me"},
      {"c:\\users\\me\\appdata", "C:\\Users\\me\\AppData"},
      {"c:\\users\\me\\appdata\\local", "C:\\Users\\me\\AppData\\Local"}};
  size_t failCopyAfter = std::string::npos;
  unsigned readBlockSize = 7;
  bool failWaits = false;
  bool withoutDigests = false;
  size_t digests = 0;  // begun and not closed
  uint32_t exitCode = 0;
  bool failListings = false;
  int oldSystem = 0;  // 1: no calls through handles; 2: nor a replacing move
  std::set<std::string> failMovesInto;           // lower-cased paths
  std::map<std::string, std::string> appearing;  // lower-cased path: contents
  std::map<std::string, std::string> keptNamesTaken;  // lower-cased folder: contents
  intptr_t lastHandle = 0;
  uint32_t clock = 0;
  std::map<intptr_t, std::string> handles;       // files held open: their paths
  std::set<size_t> processes;  // started and not yet closed: their launch numbers
  std::vector<Launch> launches;
  std::vector<Link> links;
  std::string modulePath = "C:\\Program\\updater.exe";
  std::string windowsDirectory = "C:\\Windows";
  std::string tempDirectory = "C:\\Users\\me\\AppData\\Local\\Temp\\";
  std::string systemDirectory = "C:\\Windows\\system32";
  unsigned platformId = 2;
  unsigned codePage = 932;
  std::map<int, std::pair<bool, std::string>> folders = {
      {25, {true, "C:\\Users\\Public\\Desktop"}},
      {16, {true, "C:\\Users\\me\\Desktop"}},
      {23, {true, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"}},
      {2, {true, "C:\\Users\\me\\Start Menu\\Programs"}},
      {28, {true, "C:\\Users\\me\\AppData\\Local"}},
      {0x1A, {true, "C:\\Users\\me\\AppData\\Roaming"}},
      {0x23, {true, "C:\\ProgramData"}},
      {0x26, {true, "C:\\Program Files"}},
      {0x2A, {true, "C:\\Program Files (x86)"}},
      {0x2B, {true, "C:\\Program Files\\Common Files"}},
  };
  // The registry: its keys by lower-cased full path ("hklm\\software\\x";
  // HKCU is the user's key under HKU, HKCR is HKLM\Software\Classes), the
  // run's open keys, which Windows it is, and its faults.
  std::map<std::string, RegKey> registry = {
      {"hklm\\software", {"HKLM\\Software", {}}},
      {"hklm\\software\\classes", {"HKLM\\Software\\Classes", {}}},
      {"hklm\\software\\wow6432node", {"HKLM\\Software\\WOW6432Node", {}}},
      {"hku\\s-1-5-21-7-7-7-1001", {UserKey, {}}},
      {"hku\\s-1-5-21-7-7-7-1001\\software", {UserKey + "\\Software", {}}}};
  std::map<intptr_t, std::string> keyHandles;  // lower-cased full paths
  std::string account = UserSid;  // the run's account, whose key HKCU is
  int registrySystem = 1;  // 0: 32-bit Windows; 1: 64-bit; 2: 64-bit, a 32-bit program
  std::set<std::string> deniedKeys;  // lower-cased full paths
  unsigned registrySetsLeft = ~0u;   // the sets that succeed before the next fail
  std::map<std::string, RegKey> cutRegistry;
  std::vector<Box> boxes;
  std::deque<int> answers;
  std::vector<std::string> removedAtRestart;
  std::set<std::string> linkFolders;      // lower-cased paths
  std::set<std::string> readOnlyFolders;  // lower-cased paths
  // The power cut: the calls counted, the call that cuts, and the disk as
  // the cut left it.
  unsigned calls = 0;
  unsigned cutAt = 0;
  bool cut = false;
  std::map<std::string, File> cutFiles;
  std::map<std::string, std::string> cutDirs;
  std::vector<std::string> cutRemovedAtRestart;
  uint32_t failure = 0;  // the system's code for the last failed call
  os::BoxesSeen boxesSeen = os::BoxesSeen::Seen;
  uint16_t uiLanguage = 0x0411;  // Japanese (Japan)
  uint64_t lastId = 0;  // the last file index given, and the clock of file times
  std::set<std::string> fatVolumes;  // lower-cased roots ("e:") without stable indexes
  os::Elevation elevation = os::Elevation::Elevated;
  bool refuseRestartRemoval = false;
  bool noPrivateNamespace = false;
  bool failBoxes = false;   // no box can be shown (no desktop, no memory)
  bool ansiIs932 = false;   // ANSI text converts from code page 932
  unsigned flushes = 0;
  std::map<std::string, unsigned> callsByName;
  std::string currentDirectory = "C:\\Work";
  std::map<std::string, std::string> mappedDrives;  // "z:": "\\\\server\\share"
  std::map<std::string, std::string> shortNames;    // lower-cased short path: long path
  // Folders with another owner or writer than the system, the
  // administrators and the run's account (lower-cased paths).
  std::set<std::string> foreignFolders;
  std::set<std::string> protectedFolders;  // made or taken back by the run
  // Locks: full name ("ns:name") to holder ("run" or another account).
  std::map<std::string, std::string> locks;
  std::map<intptr_t, std::string> lockHandles;
  uint32_t random = 0x9E3779B9u;
  Progress progress;
  size_t cancelAfter = std::string::npos;
  bool failProgress = false;
  // Services, by lower-cased name; the run's handles of the manager and of
  // services; the last process id given.
  std::map<std::string, Service> services;
  std::map<std::string, Service> cutServices;
  unsigned serviceManagers = 0;
  std::map<intptr_t, std::string> serviceHandles;
  uint32_t lastProcessId = 1000;
};

World& TheWorld() {
  static World world;
  return world;
}

using profile::Lower;

// The script as the profile functions see it: a file's text, or nothing.
profile::ProfileText ProfileOf(const char* file) {
  auto found = TheWorld().files.find(Lower(file));
  return profile::ProfileText(found == TheWorld().files.end() ? "" : found->second.contents);
}

using profile::CopyCut;

}  // namespace

void Reset() { TheWorld() = World(); }

// Held by another program, at the clock's time now.
bool HeldByOther(const File& file) {
  return file.locked && !(file.releasedAt && TheWorld().clock >= file.releasedAt);
}
// Held by anyone: by another program or by the run.
bool Busy(const File& file) { return HeldByOther(file) || file.heldByRun; }

// A new file gets its index; a written one its time.
void Stamp(File& file) {
  file.id = ++TheWorld().lastId;
  file.created = file.written = file.id;
}
void Touch(File& file) { file.written = ++TheWorld().lastId; }

// Counts a call of the seam, by its name too. The call that the cut stops
// finds the disk as it is now kept: what was flushed stays, the rest is
// lost. True for that call.
bool Count(const char* call = __builtin_FUNCTION()) {
  World& world = TheWorld();
  ++world.callsByName[call];
  if (++world.calls != world.cutAt || world.cut) return false;
  world.cut = true;
  world.cutFiles = world.files;
  for (auto& file : world.cutFiles) {
    if (file.second.durable != std::string::npos) file.second.contents.resize(file.second.durable);
    file.second.durable = std::string::npos;
  }
  world.cutDirs = world.dirs;
  world.cutRemovedAtRestart = world.removedAtRestart;
  world.cutServices = world.services;
  world.cutRegistry = world.registry;
  return true;
}
// The last `c` of `text` that is a character of its own, stepping over
// double-byte characters as the system does (a lead byte and a second byte
// of 0x40 or above are one character); null where there is none.
const char* FindLast(const char* text, char c) {
  const char* last = nullptr;
  for (; *text; ++text) {
    uint8_t byte = static_cast<uint8_t>(*text);
    if (byte >= 0x80 && static_cast<uint8_t>(text[1]) >= 0x40 && os::IsLeadByte(byte)) ++text;
    else if (*text == c) last = text;
  }
  return last;
}

// The path before its last backslash.
std::string ParentOf(const std::string& path) {
  const char* last = FindLast(path.c_str(), '\\');
  return last ? path.substr(0, last - path.c_str()) : "";
}

// `text` as text a seam call made (malloc).
bool Give(const std::string& text, os::OwnedText& out) {
  char* made = static_cast<char*>(malloc(text.size() + 1));
  if (made) memcpy(made, text.c_str(), text.size() + 1);
  out.Receive() = made;
  return made != nullptr;
}

// The ANSI calls take paths of at most 259 characters.
bool Fits(const std::string& path) { return path.size() <= 259; }

bool IsDir(const std::string& path) {
  std::string lower = Lower(path);
  if (lower.empty()) return true;  // the current directory
  if (lower.size() == 2 && lower[1] == ':') return true;
  return TheWorld().dirs.count(lower) != 0;
}

File* FindFile(const std::string& path) {
  auto found = TheWorld().files.find(Lower(path));
  return found == TheWorld().files.end() ? nullptr : &found->second;
}

void MakeDirs(const std::string& path) {
  if (IsDir(path)) return;
  MakeDirs(ParentOf(path));
  TheWorld().dirs[Lower(path)] = path;
}

// Wildcards as the platform matches them in a name: "*" any run, "?" one
// character; "*.*" also matches names without a dot.
bool Matches(const char* pattern, const char* name) {
  if (!strcmp(pattern, "*.*")) pattern = "*";
  if (!*pattern) return !*name;
  if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
  if (!*name) return false;
  if (*pattern != '?' && Lower(std::string(1, *pattern)) != Lower(std::string(1, *name)))
    return false;
  return Matches(pattern + 1, name + 1);
}

struct Entry {
  std::string name;
  unsigned attributes;
  bool exact = true;
};

// The entries a directory search for `pattern` finds.
std::vector<Entry> Search(const std::string& pattern) {
  std::vector<Entry> entries;
  std::string directory = ParentOf(pattern);
  std::string namePattern = pattern.substr(directory.size() + (pattern.size() > directory.size() && pattern[directory.size()] == '\\' ? 1 : 0));
  if (!IsDir(directory)) return entries;
  if (namePattern.find_first_of("*?") == std::string::npos) {
    if (File* file = FindFile(pattern)) entries.push_back({namePattern, file->attributes});
    else if (IsDir(pattern) && !namePattern.empty()) entries.push_back({namePattern, 0x10});
    return entries;
  }
  // A drive's root has no "." and ".." entries.
  bool root = directory.size() == 2 && directory[1] == ':';
  if (!root && Matches(namePattern.c_str(), ".")) entries.push_back({".", 0x10});
  if (!root && Matches(namePattern.c_str(), "..")) entries.push_back({"..", 0x10});
  std::string prefix = Lower(directory) + "\\";
  for (const auto& dir : TheWorld().dirs) {
    std::string name = dir.second.substr(std::min(dir.second.size(), directory.size() + 1));
    if (dir.first.compare(0, prefix.size(), prefix) == 0 && !FindLast(name.c_str(), '\\') &&
        Matches(namePattern.c_str(), name.c_str()))
      entries.push_back({name, TheWorld().linkFolders.count(dir.first) ? 0x410u : 0x10u});
  }
  for (const auto& file : TheWorld().files) {
    std::string name = file.second.path.substr(std::min(file.second.path.size(), directory.size() + 1));
    if (file.first.compare(0, prefix.size(), prefix) == 0 && !FindLast(name.c_str(), '\\') &&
        Matches(namePattern.c_str(), name.c_str())) {
      const File& found = file.second;
      unsigned attributes = found.attributes | (found.link ? 0x400u : 0u);
      if (found.listedName.empty()) entries.push_back({name, attributes});
      else entries.push_back({found.listedName, attributes, found.listedExact});
    }
  }
  return entries;
}

// A handle of the run on the file at `path`.
os::FileHandle NewHandle(const std::string& path) {
  World& world = TheWorld();
  world.handles[++world.lastHandle] = path;
  return reinterpret_cast<os::FileHandle>(world.lastHandle);
}
std::string HeldPath(os::FileHandle handle) {
  return TheWorld().handles.at(reinterpret_cast<intptr_t>(handle));
}

// The system's codes for the failures the world imitates, and their texts.
constexpr uint32_t FileNotFound = 2, PathNotFound = 3, AccessDenied = 5, SharingViolation = 32,
                   LockViolation = 33, EndOfFile = 38, FileAlreadyExists = 80,
                   InvalidParameter = 87, DiskFull = 112,
                   ProcedureNotFound = 127, DirectoryNotEmpty = 145, AlreadyExists = 183,
                   NameTooLong = 206, MoreData = 234, BadDirectory = 267;

// Keeps `code` as the reason of the call that fails; gives `result`.
template <typename Result = bool>
Result Fail(uint32_t code, Result result = Result()) {
  TheWorld().failure = code;
  return result;
}

// Why the file at `path` cannot be opened, or 0 when it can.
uint32_t WhyNotOpened(const std::string& path) {
  if (!Fits(path)) return NameTooLong;
  const File* file = FindFile(path);
  if (!file) return IsDir(ParentOf(path)) ? FileNotFound : PathNotFound;
  return Busy(*file) ? SharingViolation : 0;
}

// What the system refuses: deleting a read-only, held or running file;
// putting another file in place of one; renaming one held without sharing.
bool Deletable(const File& file) { return !Busy(file) && !file.running && !(file.attributes & 1); }
bool Replaceable(const File& file) { return Deletable(file); }

// --- Services ---
// The codes of what a service does not do, and their texts.
constexpr uint32_t InvalidName = 123, DependentServicesRunning = 1051, RequestTimeout = 1053,
                   ServiceDoesNotExist = 1060, CannotAcceptControl = 1061, ServiceNotActive = 1062,
                   ServiceSpecificError = 1066;

Service* FindService(const std::string& name) {
  auto found = TheWorld().services.find(Lower(name));
  return found == TheWorld().services.end() ? nullptr : &found->second;
}

// A service's process begins, and runs from its program's file.
void StartProcess(Service& service) {
  service.processId = ++TheWorld().lastProcessId;
  service.programId = 0;
  if (File* file = FindFile(service.setup.program)) {
    file->running = true;
    service.programId = file->id;
  }
}
// It ends, and lets go of its file, wherever that is now.
void EndProcess(Service& service) {
  service.processId = 0;
  for (auto& file : TheWorld().files)
    if (service.programId && file.second.id == service.programId) file.second.running = false;
}

// Brings a service up to the clock's time, or (`ended`) to where it goes
// if left alone: a pending change ends unless it hangs, and then a stopped
// service's process ends, unless it hosts others.
void Settle(Service& service, bool ended = false) {
  uint32_t now = TheWorld().clock;
  bool pending = service.state == os::ServiceState::StopPending ||
                 service.state == os::ServiceState::StartPending;
  if (pending && !service.setup.hangs && (ended || now >= service.changesAt)) {
    if (service.state == os::ServiceState::StopPending) {
      service.state = os::ServiceState::Stopped;
      service.processEndsAt = service.changesAt + service.setup.lingers;
    } else if (service.setup.failsWith) {
      service.state = os::ServiceState::Stopped;
      service.exitCode = service.setup.failsWith;
      service.processEndsAt = service.changesAt;
    } else {
      service.state = os::ServiceState::Running;
    }
  }
  if (service.state == os::ServiceState::Stopped && service.processId && !service.setup.shared &&
      (ended || now >= service.processEndsAt))
    EndProcess(service);
}
void SettleServices(bool ended) {
  for (auto& service : TheWorld().services) Settle(service.second, ended);
}

// Nothing can be made in the folder of `path`.
bool ReadOnlyFolder(const std::string& path) {
  return TheWorld().readOnlyFolders.count(Lower(ParentOf(path))) != 0;
}

// Whether a link or junction stands on the way to `path`.
bool InLinkFolder(const std::string& path) {
  std::string folder = Lower(ParentOf(path));
  for (const std::string& link : TheWorld().linkFolders)
    if (folder == link || folder.compare(0, link.size() + 1, link + "\\") == 0) return true;
  return false;
}

// The volume a path lies on: its drive letter, or its share.
std::string RootOf(const std::string& path) {
  std::string lower = Lower(path);
  if (lower.compare(0, 2, "\\\\") == 0) {
    size_t share = lower.find('\\', 2);
    size_t end = share == std::string::npos ? share : lower.find('\\', share + 1);
    return lower.substr(0, end);
  }
  return lower.substr(0, 2);
}

bool FillIdentity(const File& file, os::FileIdentity& identity) {
  std::string root = RootOf(file.path);
  identity.Volume = static_cast<uint32_t>(std::hash<std::string>()(root));
  identity.StableIndex = TheWorld().fatVolumes.count(root) == 0;
  // Where the index is not stable, it follows the name, as a folder entry's does.
  identity.Index = identity.StableIndex ? file.id : std::hash<std::string>()(Lower(file.path));
  identity.Size = file.contents.size();
  identity.WriteTime = file.written;
  identity.CreationTime = file.created;
  identity.Attributes = file.attributes;
  identity.Links = file.link ? 2 : 1;
  return true;
}

// A rename within the volume, replacing nothing; a running program's file
// may be renamed.
bool Rename(const std::string& from, const std::string& to) {
  World& world = TheWorld();
  File* source = FindFile(from);
  if (uint32_t why = WhyNotOpened(from)) return Fail(why);
  if (!Fits(to)) return Fail(NameTooLong);
  if (FindFile(to) || IsDir(to)) return Fail(AlreadyExists);
  if (!IsDir(ParentOf(to))) return Fail(PathNotFound);
  if (ReadOnlyFolder(to) || world.failMovesInto.erase(Lower(to))) return Fail(AccessDenied);
  File moved = *source;
  moved.path = to;
  world.files.erase(Lower(from));
  world.files[Lower(to)] = moved;
  // A handle follows its file.
  for (auto& held : world.handles)
    if (Lower(held.second) == Lower(from)) held.second = to;
  return true;
}

// Moves a folder and all it holds to `to`, replacing nothing.
bool RenameFolder(const std::string& from, const std::string& to) {
  World& world = TheWorld();
  if (FindFile(to) || IsDir(to)) return Fail(AlreadyExists);
  if (!IsDir(ParentOf(to))) return Fail(PathNotFound);
  std::string prefix = Lower(from) + "\\";
  auto moved = [&](const std::string& path) { return to + path.substr(from.size()); };
  std::map<std::string, File> files;
  for (auto& entry : world.files) {
    bool inside = entry.first.compare(0, prefix.size(), prefix) == 0;
    File file = entry.second;
    if (inside) file.path = moved(file.path);
    files[Lower(file.path)] = file;
  }
  std::map<std::string, std::string> dirs;
  for (auto& dir : world.dirs) {
    bool inside = dir.first == Lower(from) || dir.first.compare(0, prefix.size(), prefix) == 0;
    std::string path = inside ? moved(dir.second) : dir.second;
    dirs[Lower(path)] = path;
  }
  world.files = files;
  world.dirs = dirs;
  for (const char* kind : {"foreign", "protected"}) {
    std::set<std::string>& set = std::string(kind) == "foreign" ? world.foreignFolders
                                                                  : world.protectedFolders;
    if (set.erase(Lower(from))) set.insert(Lower(to));
  }
  return true;
}

void SetFile(const std::string& path, const std::string& contents) {
  MakeDirs(ParentOf(path));
  File& file = TheWorld().files[Lower(path)];
  if (file.id == 0) Stamp(file);
  else Touch(file);
  file.path = path;
  file.contents = contents;
  file.durable = std::string::npos;
}
void RemoveFile(const std::string& path) { TheWorld().files.erase(Lower(path)); }
void MakeDir(const std::string& path) { MakeDirs(path); }
bool FileExists(const std::string& path) { return FindFile(path) != nullptr; }
bool DirExists(const std::string& path) { return IsDir(path); }
std::string FileContents(const std::string& path) {
  File* file = FindFile(path);
  return file ? file->contents : "(missing)";
}
std::string FileList() {
  std::string list;
  for (const auto& file : TheWorld().files) list += file.second.path + "\n";
  return list;
}
unsigned FileAttributes(const std::string& path) {
  File* file = FindFile(path);
  return file ? file->attributes : 0xFFFFFFFFu;
}
void SetFileAttributesTo(const std::string& path, unsigned attributes) {
  if (File* file = FindFile(path)) file->attributes = attributes;
}
void SetFileDate(const std::string& path, unsigned year, unsigned month, unsigned day) {
  if (File* file = FindFile(path))
    file->date = {static_cast<uint16_t>(year), static_cast<uint16_t>(month),
                  static_cast<uint16_t>(day)};
}
void LockFile(const std::string& path, bool locked) {
  if (File* file = FindFile(path)) {
    file->locked = locked;
    file->releasedAt = 0;
  }
}
void HoldFor(const std::string& path, uint32_t milliseconds) {
  if (File* file = FindFile(path)) {
    file->locked = true;
    file->releasedAt = TheWorld().clock + milliseconds;
  }
}
void LockRegionFor(const std::string& path, uint32_t milliseconds) {
  if (File* file = FindFile(path)) file->regionLockedUntil = TheWorld().clock + milliseconds;
}
void FailNextCopyAfter(size_t bytes) { TheWorld().failCopyAfter = bytes; }
void SignFile(const std::string& path, const std::string& signature) {
  if (File* file = FindFile(path)) file->signature = signature;
}
void SetReadBlockSize(unsigned size) { TheWorld().readBlockSize = size ? size : 1; }
const std::vector<Launch>& Launches() { return TheWorld().launches; }
void FailWaits(bool fail) { TheWorld().failWaits = fail; }
void WithoutDigests(bool without) { TheWorld().withoutDigests = without; }
void SetBoxesSeen(int seen) { TheWorld().boxesSeen = static_cast<os::BoxesSeen>(seen); }
void SetUiLanguage(uint16_t language) { TheWorld().uiLanguage = language; }
void SetExitCode(uint32_t code) { TheWorld().exitCode = code; }
void ListAs(const std::string& path, const std::string& name, bool exact) {
  if (File* file = FindFile(path)) {
    file->listedName = name;
    file->listedExact = exact;
  }
}
void FailListings(bool fail) { TheWorld().failListings = fail; }
void MarkAsLink(const std::string& path) {
  if (File* file = FindFile(path)) file->link = true;
}
void UseOldSystem(int age) { TheWorld().oldSystem = age; }
void FailNextMoveInto(const std::string& path) { TheWorld().failMovesInto.insert(Lower(path)); }
void AppearsBeforeCreation(const std::string& path, const std::string& contents) {
  TheWorld().appearing[Lower(path)] = contents;
}
const std::vector<Link>& Links() { return TheWorld().links; }
void RunFrom(const std::string& path) {
  if (File* file = FindFile(path)) file->running = true;
}
void HoldBy(const std::string& path, const std::string& holders) {
  File* file = FindFile(path);
  if (!file) return;
  file->locked = true;
  file->holders.clear();
  file->unlistedHolders = 0;
  unsigned count = 0;
  char rest = 0;
  if (sscanf(holders.c_str(), "%u programs%c", &count, &rest) == 1) {
    file->unlistedHolders = count;
    return;
  }
  // "name (id)", separated by ", ".
  for (size_t start = 0; start < holders.size();) {
    size_t end = holders.find(", ", start);
    std::string one = holders.substr(start, end == std::string::npos ? end : end - start);
    size_t open = one.rfind(" (");
    file->holders.push_back({one.substr(0, open),
                             static_cast<uint32_t>(strtoul(one.c_str() + open + 2, nullptr, 10))});
    start = end == std::string::npos ? holders.size() : end + 2;
  }
}
const std::vector<std::string>& RemovedAtRestart() { return TheWorld().removedAtRestart; }
void MarkFolderAsLink(const std::string& path) { TheWorld().linkFolders.insert(Lower(path)); }
void MakeFolderReadOnly(const std::string& path) {
  TheWorld().readOnlyFolders.insert(Lower(path));
}
// A file appears under the kept name a move aside is about to take.
void TakeKeptName(const std::string& to) {
  World& world = TheWorld();
  auto taken = world.keptNamesTaken.find(Lower(ParentOf(to)));
  if (taken == world.keptNamesTaken.end() || Lower(to).size() < 4 ||
      Lower(to).compare(Lower(to).size() - 4, 4, ".old") != 0)
    return;
  SetFile(to, taken->second);
  world.keptNamesTaken.erase(taken);
}
void TakeKeptNameIn(const std::string& folder, const std::string& contents) {
  TheWorld().keptNamesTaken[Lower(folder)] = contents;
}
void FailBoxes(bool fail) { TheWorld().failBoxes = fail; }
void ConvertAnsiFrom932(bool convert) { TheWorld().ansiIs932 = convert; }
void UseFatVolume(const std::string& root) { TheWorld().fatVolumes.insert(Lower(root)); }
void SetElevation(int elevation) {
  TheWorld().elevation = static_cast<os::Elevation>(elevation);
}
void RefuseRemovalAtRestart(bool refuse) { TheWorld().refuseRestartRemoval = refuse; }
void WithoutPrivateNamespace(bool without) { TheWorld().noPrivateNamespace = without; }
unsigned Flushes() { return TheWorld().flushes; }
void SetCurrentDirectory(const std::string& path) { TheWorld().currentDirectory = path; }
void MapDrive(const std::string& drive, const std::string& share) {
  TheWorld().mappedDrives[Lower(drive)] = share;
}
void ShortName(const std::string& shortPath, const std::string& longPath) {
  TheWorld().shortNames[Lower(shortPath)] = longPath;
}
void MakeFolderForeign(const std::string& path) {
  MakeDirs(path);
  TheWorld().foreignFolders.insert(Lower(path));
}
bool IsFolderProtected(const std::string& path) {
  return TheWorld().protectedFolders.count(Lower(path)) != 0;
}
void HoldLock(const std::string& name, const std::string& account) {
  TheWorld().locks[Lower(name)] = account;
}
std::vector<std::string> LocksHeld() {
  std::vector<std::string> held;
  for (const auto& lock : TheWorld().locks)
    if (lock.second == "run") held.push_back(lock.first);
  return held;
}

void CutAt(unsigned call) {
  World& world = TheWorld();
  world.cutAt = world.calls + call;
  world.cut = false;
}
bool WasCut() { return TheWorld().cut; }
void RestoreCut() {
  World& world = TheWorld();
  if (world.cut) {
    world.files = world.cutFiles;
    world.dirs = world.cutDirs;
    world.removedAtRestart = world.cutRemovedAtRestart;
    world.services = world.cutServices;
    world.registry = world.cutRegistry;
  }
  // The service manager went on without the run: what was pending has ended.
  SettleServices(true);
  world.serviceManagers = 0;
  world.serviceHandles.clear();
  // The run's process is gone, and with it every handle it held.
  for (auto& file : world.files) file.second.heldByRun = false;
  world.handles.clear();
  for (const auto& lock : world.lockHandles) world.locks.erase(lock.second);
  world.lockHandles.clear();
  world.processes.clear();
  world.keyHandles.clear();
  world.cutAt = 0;
  world.cut = false;
  world.calls = 0;
  world.boxes.clear();
  world.launches.clear();
  world.links.clear();
  world.answers.clear();
}
unsigned Calls() { return TheWorld().calls; }
const std::map<std::string, unsigned>& CallsByName() { return TheWorld().callsByName; }

size_t OpenHandles() {
  const World& world = TheWorld();
  return world.handles.size() + world.digests + world.processes.size() + world.keyHandles.size() +
         world.lockHandles.size() + world.serviceManagers + world.serviceHandles.size();
}

namespace {
World& KeptWorld() {
  static World kept;
  return kept;
}
}  // namespace
void KeepWorld() { KeptWorld() = TheWorld(); }
void BackToKeptWorld() { TheWorld() = KeptWorld(); }

std::string DiskState() {
  std::string state;
  for (const auto& dir : TheWorld().dirs) state += "folder " + dir.second + "\n";
  for (const auto& entry : TheWorld().files) {
    const File& file = entry.second;
    char details[64];
    snprintf(details, sizeof details, " [0x%02X %04u-%02u-%02u] ", file.attributes,
             file.date.Year, file.date.Month, file.date.Day);
    std::string contents;
    for (char c : file.contents) {
      if (c == '\n') contents += "\\n";
      else if (c == '\r') contents += "\\r";
      else if (c == '\t') contents += "\\t";
      else contents += c;
    }
    state += file.path + details + contents + "\n";
  }
  for (const std::string& path : TheWorld().removedAtRestart) state += "at restart " + path + "\n";
  for (const auto& service : TheWorld().services)
    state += "service " + service.second.name + " " + ServiceState(service.second.name) + "\n";
  for (const auto& key : TheWorld().registry) {
    state += "registry " + key.second.path + "\n";
    for (const auto& value : key.second.values)
      state += "registry " + key.second.path + "\\[" + value.second.name + "] " +
               RegistryValue(key.second.path, value.second.name) + "\n";
  }
  return state;
}
void SetModulePath(const std::string& path) { TheWorld().modulePath = path; }
void SetCodePage(unsigned codePage) { TheWorld().codePage = codePage; }
void SetWindowsDirectory(const std::string& path) { TheWorld().windowsDirectory = path; }
void SetTempDirectory(const std::string& path) { TheWorld().tempDirectory = path; }
void SetSystemDirectory(const std::string& path) { TheWorld().systemDirectory = path; }
void SetPlatformId(unsigned id) { TheWorld().platformId = id; }
void SetFolder(int csidl, bool located, const std::string& path) {
  TheWorld().folders[csidl] = {located, path};
}
void InstallService(const std::string& name, const ServiceSetup& setup) {
  Service service;
  service.name = name;
  service.setup = setup;
  if (setup.running) {
    service.state = os::ServiceState::Running;
    StartProcess(service);
  }
  TheWorld().services[Lower(name)] = service;
}
std::string ServiceState(const std::string& name) {
  Service* service = FindService(name);
  if (!service) return "not installed";
  Settle(*service);
  switch (service->state) {
    case os::ServiceState::Stopped: return "stopped";
    case os::ServiceState::Running: return "running";
    case os::ServiceState::StopPending: return "stop pending";
    case os::ServiceState::StartPending: return "start pending";
    default: return "paused";
  }
}
std::string ServiceRequests(const std::string& name) {
  Service* service = FindService(name);
  return service ? service->requests : "";
}
void SetRegistryValue(const std::string& keyPath, const std::string& name,
                      const std::string& bytes) {
  SetRegistry("HKLM\\" + keyPath, name, 1, bytes);
}

// --- The registry -----------------------------------------------------------

// A key's full path as the double keeps it: HKCU and HKCR stand for the
// keys they are, and in the 32-bit view of 64-bit Windows, HKLM\Software\X
// is HKLM\Software\WOW6432Node\X.
std::string RegistryPath(const std::string& root, const std::string& path, uint32_t access) {
  std::string full = root;
  if (!path.empty()) full += "\\" + path;
  std::string lower = Lower(full);
  if (lower.compare(0, 5, "hkcu\\") == 0 || lower == "hkcu")
    full = "HKU\\" + TheWorld().account + full.substr(4);
  else if (lower.compare(0, 5, "hkcr\\") == 0 || lower == "hkcr")
    full = "HKLM\\Software\\Classes" + full.substr(4);
  int system = TheWorld().registrySystem;
  bool view32 = system != 0 && ((access & os::KeyView32) ||
                                (system == 2 && !(access & os::KeyView64)));
  lower = Lower(full);
  if (view32 && lower.compare(0, 14, "hklm\\software\\") == 0 &&
      lower.compare(0, 26, "hklm\\software\\wow6432node") != 0)
    full.insert(14, "WOW6432Node\\");
  return full;
}

bool IsRootKey(const std::string& lower) {
  return lower == "hklm" || lower == "hku" || lower == Lower("hku\\" + TheWorld().account);
}

// Makes the key at `path` (full) and those above it; true when it was not there.
bool MakeKey(const std::string& path) {
  std::string lower = Lower(path);
  if (IsRootKey(lower) || TheWorld().registry.count(lower)) return false;
  MakeKey(ParentOf(path));
  TheWorld().registry[lower] = RegKey{path, {}};
  return true;
}
RegKey* FindKey(const std::string& path) {
  auto found = TheWorld().registry.find(Lower(path));
  return found == TheWorld().registry.end() ? nullptr : &found->second;
}

void SetRegistry(const std::string& key, const std::string& name, uint32_t type,
                 const std::string& bytes) {
  std::string path = RegistryPath(key, "", os::KeyView64);
  MakeKey(path);
  TheWorld().registry[Lower(path)].values[Lower(name)] = RegValue{name, type, bytes};
}
std::string RegistryValue(const std::string& key, const std::string& name) {
  const RegKey* found = FindKey(RegistryPath(key, "", os::KeyView64));
  if (!found || !found->values.count(Lower(name))) return "(absent)";
  auto value = found->values.find(Lower(name));
  const std::string& data = value->second.data;
  uint64_t number = 0;
  memcpy(&number, data.data(), std::min<size_t>(data.size(), 8));
  switch (value->second.type) {
    case 1: return "SZ " + data.substr(0, data.find('\0'));
    case 2: return "EXPAND_SZ " + data.substr(0, data.find('\0'));
    case 4: return data.size() == 4 ? "DWORD " + std::to_string(number) : "DWORD?";
    case 11: return data.size() == 8 ? "QWORD " + std::to_string(number) : "QWORD?";
  }
  std::string hex;
  for (unsigned char c : data) {
    char two[4];
    snprintf(two, sizeof two, "%02X", c);
    hex += two;
  }
  return "TYPE " + std::to_string(value->second.type) + " " + hex;
}
bool RegistryKeyExists(const std::string& key) {
  return FindKey(RegistryPath(key, "", os::KeyView64)) != nullptr;
}
void UseRegistrySystem(int system) { TheWorld().registrySystem = system; }
void UseAccount(const std::string& sid) {
  TheWorld().account = sid;
  MakeKey("HKU\\" + sid + "\\Software");
}
void DenyRegistryKey(const std::string& key) {
  TheWorld().deniedKeys.insert(Lower(RegistryPath(key, "", os::KeyView64)));
}
void FailRegistrySets(unsigned after) { TheWorld().registrySetsLeft = after; }
const std::vector<Box>& Boxes() { return TheWorld().boxes; }
const Progress& ProgressWindow() { return TheWorld().progress; }
void PressCancelAfter(size_t texts) { TheWorld().cancelAfter = texts; }
void FailProgressWindow() { TheWorld().failProgress = true; }
void QueueAnswer(int answer) { TheWorld().answers.push_back(answer); }

// As the system gives a folder: its length where it fits with its zero,
// else the size it needs, the area left as it was.
uint32_t FolderQuery(const std::string& folder, char* buffer, uint32_t size) {
  if (folder.size() + 1 > size) return static_cast<uint32_t>(folder.size() + 1);
  return CopyCut(folder, buffer, size);
}
}  // namespace fake

namespace os {

// --- os/basics.h ------------------------------------------------------------

void RestrictDllSearch() { fake::Count(); }

void InitializeCom() { fake::Count(); }

void UninitializeCom() { fake::Count(); }

// A table lookup of the text routines, made for every character: not
// counted among the calls a cut can stop.
bool IsLeadByte(uint8_t byte) {
  return fake::TheWorld().codePage == 932 && codepage::IsLeadByte932(byte);
}

uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size) {
  fake::Count();
  return profile::StringValue(fake::ProfileOf(file), section, key, fallback, buffer, size);
}

uint32_t ReadProfileSection(const char* file, const char* section, char* buffer,
                            uint32_t size) {
  fake::Count();
  return profile::SectionLines(fake::ProfileOf(file), section, buffer, size);
}

// As on the oldest systems: a path that does not fit is cut to the whole
// area, with no zero, and the area's size is given.
uint32_t ModuleFileName(char* buffer, uint32_t size) {
  fake::Count();
  const std::string& path = fake::TheWorld().modulePath;
  if (path.size() < size) return fake::CopyCut(path, buffer, size);
  memcpy(buffer, path.data(), size);
  return size;
}

// A clock that moves a millisecond at every look.
void CurrentLocalTime(LocalTime& time) {
  fake::Count();
  uint32_t now = ++fake::TheWorld().clock;
  time = LocalTime{2026, 1, 2, 3, static_cast<uint16_t>(now / 60000 % 60),
                   static_cast<uint16_t>(now / 1000 % 60), static_cast<uint16_t>(now % 1000)};
}

uint32_t Milliseconds() {
  fake::Count();
  return ++fake::TheWorld().clock;
}

void PauseRun(uint32_t milliseconds) {
  fake::Count();
  fake::TheWorld().clock += milliseconds;
}

uint32_t AnsiCodePage() {
  fake::Count();
  return fake::TheWorld().codePage;
}

Elevation RunElevation() {
  fake::Count();
  return fake::TheWorld().elevation;
}

// Not counted: a question about the session, not a step of the run.
BoxesSeen WhoSeesBoxes() {
  return fake::TheWorld().boxesSeen;
}

bool AnsiToUtf8(const char* ansi, OwnedText& utf8) {
  fake::Count();
  // By default the double's ANSI text is UTF-8 itself, as the tests write
  // it; converted, it is code page 932, as the system converts it, with a
  // character that has no form there given as the system's default, "・".
  if (!fake::TheWorld().ansiIs932) return fake::Give(ansi, utf8);
  std::string out;
  iconv_t convert = iconv_open("UTF-8", "CP932");
  if (convert == (iconv_t)-1) return fake::Fail(fake::AccessDenied);
  std::string in = ansi;
  char* from = &in[0];
  size_t left = in.size();
  while (left > 0) {
    char area[256];
    char* to = area;
    size_t room = sizeof area;
    size_t done = iconv(convert, &from, &left, &to, &room);
    out.append(area, to - area);
    if (done == (size_t)-1 && errno != E2BIG) {
      out += "\xE3\x83\xBB";
      ++from;
      --left;
    }
  }
  iconv_close(convert);
  return fake::Give(out, utf8);
}

uint32_t LastFailure() { return fake::TheWorld().failure; }

void ClearFailure() { fake::TheWorld().failure = 0; }

void KeepFailure(uint32_t code) { fake::TheWorld().failure = code; }

// Windows' own English texts.
bool FailureText(uint32_t code, OwnedText& utf8) {
  static const std::map<uint32_t, const char*> texts = {
      {fake::FileNotFound, "The system cannot find the file specified."},
      {fake::PathNotFound, "The system cannot find the path specified."},
      {fake::AccessDenied, "Access is denied."},
      {fake::SharingViolation,
       "The process cannot access the file because it is being used by another process."},
      {fake::LockViolation,
       "The process cannot access the file because another process has locked a portion of "
       "the file."},
      {fake::EndOfFile, "Reached the end of the file."},
      {fake::FileAlreadyExists, "The file exists."},
      {fake::InvalidParameter, "The parameter is incorrect."},
      {fake::DiskFull, "There is not enough space on the disk."},
      {fake::ProcedureNotFound, "The specified procedure could not be found."},
      {fake::DirectoryNotEmpty, "The directory is not empty."},
      {fake::AlreadyExists, "Cannot create a file when that file already exists."},
      {fake::NameTooLong, "The filename or extension is too long."},
      {fake::MoreData, "More data is available."},
      {fake::BadDirectory, "The directory name is invalid."},
      {fake::InvalidName, "The filename, directory name, or volume label syntax is incorrect."},
      {fake::DependentServicesRunning,
       "A stop control has been sent to a service that other running services are dependent "
       "on."},
      {fake::RequestTimeout,
       "The service did not respond to the start or control request in a timely fashion."},
      {fake::ServiceDoesNotExist, "The specified service does not exist as an installed service."},
      {fake::CannotAcceptControl, "The service cannot accept control messages at this time."},
      {fake::ServiceNotActive, "The service has not been started."},
      {fake::ServiceSpecificError, "The service has returned a service-specific error code."},
  };
  auto text = texts.find(code);
  return text != texts.end() && fake::Give(text->second, utf8);
}

// --- os/files.h -------------------------------------------------------------

bool FindAnyEntry(const char* pattern) {
  fake::Count();
  return fake::Fits(pattern) && !fake::Search(pattern).empty();
}

Creation CreateNewFile(const char* path, FileHandle& file) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  auto appears = world.appearing.find(fake::Lower(path));
  if (appears != world.appearing.end()) {
    fake::SetFile(path, appears->second);
    world.appearing.erase(appears);
  }
  if (fake::FindFile(path) || fake::IsDir(path)) return Creation::NameTaken;
  if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong, Creation::Failed);
  if (!fake::IsDir(fake::ParentOf(path))) return fake::Fail(fake::PathNotFound, Creation::Failed);
  if (fake::ReadOnlyFolder(path)) return fake::Fail(fake::AccessDenied, Creation::Failed);
  fake::File& created = world.files[fake::Lower(path)];
  created.path = path;
  fake::Stamp(created);
  created.heldByRun = true;  // held open, shared with no one
  file = fake::NewHandle(path);
  return Creation::Created;
}

bool CopyIntoFile(FileHandle source, FileHandle file, uint32_t& attributes, BytesDone told,
                  void* toldContext, BlockConsumer consume, void* consumeContext) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  fake::File* from = fake::FindFile(fake::HeldPath(source));
  fake::File* to = fake::FindFile(fake::HeldPath(file));
  if (!from || !to) return fake::Fail(fake::FileNotFound);
  size_t failAfter = world.failCopyAfter;
  world.failCopyAfter = std::string::npos;
  if (failAfter != std::string::npos) {
    to->contents = from->contents.substr(0, failAfter);
    return fake::Fail(fake::DiskFull);
  }
  if (world.clock < from->regionLockedUntil) {
    to->contents += from->contents.substr(0, from->contents.size() / 2);
    return fake::Fail(fake::LockViolation);
  }
  // Written from the file's position, as the system writes: after what a
  // cut copy left, unless the file was emptied.
  to->contents += from->contents;
  if (consume)
    consume(consumeContext, reinterpret_cast<const uint8_t*>(from->contents.data()),
            static_cast<uint32_t>(from->contents.size()));
  to->signature = from->signature;
  fake::Touch(*to);
  told(toldContext, from->contents.size(), from->contents.size());
  to->date = from->date;
  attributes = from->attributes;
  return true;
}

bool EmptyFile(FileHandle file) {
  fake::Count();
  fake::File* to = fake::FindFile(fake::HeldPath(file));
  if (!to) return fake::Fail(fake::FileNotFound);
  to->contents.clear();
  return true;
}

Placement PlaceFile(FileHandle file, const char* target, uint32_t attributes, bool replace) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  if (world.oldSystem >= 1) return Placement::Unsupported;
  auto appears = world.appearing.find(fake::Lower(target));
  if (appears != world.appearing.end()) {
    fake::SetFile(target, appears->second);
    world.appearing.erase(appears);
  }
  std::string path = fake::HeldPath(file);
  fake::File* existing = fake::FindFile(target);
  if (!fake::Fits(target)) return fake::Fail(fake::NameTooLong, Placement::Refused);
  if (!fake::IsDir(fake::ParentOf(target)))
    return fake::Fail(fake::PathNotFound, Placement::Refused);
  if (existing && !replace) return fake::Fail(fake::AlreadyExists, Placement::Refused);
  if (fake::IsDir(target) || (existing && !fake::Replaceable(*existing)))
    return fake::Fail(fake::AccessDenied, Placement::Refused);
  fake::File placed = *fake::FindFile(path);
  placed.path = target;
  // Only these can be given; anything else means "normal".
  unsigned settable = attributes & (0x1 | 0x2 | 0x4 | 0x20 | 0x2000);
  placed.attributes = settable ? settable : 0x80;
  placed.heldByRun = false;
  world.files.erase(fake::Lower(path));
  world.files[fake::Lower(target)] = placed;
  world.handles.erase(reinterpret_cast<intptr_t>(file));
  return Placement::Placed;
}

bool DiscardFile(FileHandle file, const char* path) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  std::string held = fake::HeldPath(file);
  world.handles.erase(reinterpret_cast<intptr_t>(file));
  if (fake::File* created = fake::FindFile(held)) created->heldByRun = false;
  if (world.oldSystem >= 1) {
    fake::File* named = fake::FindFile(path);
    if (!named) return fake::Fail(fake::FileNotFound);
    if (!fake::Deletable(*named)) return fake::Fail(fake::AccessDenied);
    world.files.erase(fake::Lower(path));
    return true;
  }
  fake::File* discarded = fake::FindFile(held);
  if (discarded && (discarded->running || fake::HeldByOther(*discarded))) return fake::Fail(fake::AccessDenied);
  world.files.erase(fake::Lower(held));
  return true;
}

void CloseFile(FileHandle file) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  auto held = world.handles.find(reinterpret_cast<intptr_t>(file));
  if (held == world.handles.end()) return;
  if (fake::File* created = fake::FindFile(held->second)) created->heldByRun = false;
  world.handles.erase(held);
}

Move MoveReplacing(const char* from, const char* to) {
  fake::Count();
  if (fake::TheWorld().oldSystem >= 2) return Move::Unsupported;
  fake::File* target = fake::FindFile(to);
  if (target && !fake::Replaceable(*target)) return fake::Fail(fake::AccessDenied, Move::Failed);
  if (target && fake::TheWorld().failMovesInto.erase(fake::Lower(to)))
    return fake::Fail(fake::AccessDenied, Move::Failed);
  if (uint32_t why = fake::WhyNotOpened(from)) return fake::Fail(why, Move::Failed);
  if (target) fake::TheWorld().files.erase(fake::Lower(to));
  return fake::Rename(from, to) ? Move::Moved : Move::Failed;
}

bool MoveOneFile(const char* from, const char* to) {
  fake::Count();
  return fake::Rename(from, to);
}

bool MoveAside(const char* from, const char* to) {
  fake::Count();
  fake::TakeKeptName(to);
  if (fake::IsDir(from) && !fake::FindFile(from)) return fake::RenameFolder(from, to);
  return fake::Rename(from, to);
}

bool RemoveAtRestart(const char* path) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  // Only an administrator may change the system's list.
  if (world.refuseRestartRemoval || world.elevation == Elevation::NotElevated)
    return fake::Fail(fake::AccessDenied);
  if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong);
  fake::TheWorld().removedAtRestart.push_back(path);
  return true;
}

bool RemoveEmptyDirectory(const char* path) {
  fake::Count();
  std::string lower = fake::Lower(path);
  fake::World& world = fake::TheWorld();
  if (!world.dirs.count(lower)) return fake::Fail(fake::FileNotFound);
  std::string prefix = lower + "\\";
  for (const auto& file : world.files)
    if (file.first.compare(0, prefix.size(), prefix) == 0) return fake::Fail(fake::DirectoryNotEmpty);
  for (const auto& dir : world.dirs)
    if (dir.first.compare(0, prefix.size(), prefix) == 0) return fake::Fail(fake::DirectoryNotEmpty);
  world.dirs.erase(lower);
  return true;
}

bool AttributesOf(const char* path, uint32_t& attributes) {
  fake::Count();
  if (!fake::Fits(path)) return false;
  if (fake::File* file = fake::FindFile(path)) {
    attributes = file->attributes;
    return true;
  }
  if (!*path || !fake::IsDir(path)) return false;
  attributes = AttributeDirectory;
  return true;
}

bool IsDirectFolder(const char* path) {
  fake::Count();
  std::string folder = fake::Lower(path);
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (folder.empty() || !fake::IsDir(folder)) return false;
  for (const std::string& link : fake::TheWorld().linkFolders)
    if (folder == link || folder.compare(0, link.size() + 1, link + "\\") == 0) return false;
  return true;
}

bool IdentityOf(FileHandle file, FileIdentity& identity) {
  fake::Count();
  const fake::File* found = fake::FindFile(fake::HeldPath(file));
  return found ? fake::FillIdentity(*found, identity) : fake::Fail(fake::FileNotFound);
}

Opening OpenToChange(const char* path, OwnedFile& file, FileIdentity& identity) {
  fake::Count();
  if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong, Opening::Failed);
  if (fake::IsDir(path) && *path) return Opening::Folder;
  const fake::File* found = fake::FindFile(path);
  if (!found) return fake::Fail(fake::FileNotFound, Opening::Missing);
  if (fake::Busy(*found)) return fake::Fail(fake::SharingViolation, Opening::Held);
  file.Receive() = fake::NewHandle(path);
  fake::FillIdentity(*found, identity);
  return Opening::Opened;
}

Placement RenameOpenFile(FileHandle file, const char* to) {
  fake::Count();
  fake::TakeKeptName(to);
  if (fake::TheWorld().oldSystem >= 1) return Placement::Unsupported;
  std::string from = fake::HeldPath(file);
  fake::File* found = fake::FindFile(from);
  if (!found) return fake::Fail(fake::FileNotFound, Placement::Refused);
  // The handle proves the file: no other program's hold matters but a
  // lock without sharing, which the open would have met.
  if (!fake::Fits(to)) return fake::Fail(fake::NameTooLong, Placement::Refused);
  if (fake::FindFile(to) || fake::IsDir(to)) return fake::Fail(fake::AlreadyExists, Placement::Refused);
  if (!fake::IsDir(fake::ParentOf(to))) return fake::Fail(fake::PathNotFound, Placement::Refused);
  if (fake::ReadOnlyFolder(to) || fake::TheWorld().failMovesInto.erase(fake::Lower(to)))
    return fake::Fail(fake::AccessDenied, Placement::Refused);
  bool locked = found->locked;
  found->locked = false;  // the rename through the handle meets no lock of its own
  bool moved = fake::Rename(from, to);
  if (fake::File* now = fake::FindFile(moved ? std::string(to) : from)) now->locked = locked;
  return moved ? Placement::Placed : Placement::Refused;
}

bool SetOpenFileAttributes(FileHandle file, uint32_t attributes) {
  fake::Count();
  if (fake::TheWorld().oldSystem >= 1) return fake::Fail(fake::ProcedureNotFound);
  fake::File* found = fake::FindFile(fake::HeldPath(file));
  if (!found) return fake::Fail(fake::FileNotFound);
  found->attributes = attributes;
  return true;
}

bool FullPathForAll(const char* path, OwnedText& full) {
  fake::Count();
  std::string text = path;
  if (text.empty()) return fake::Fail(fake::PathNotFound);
  if (!(text.size() >= 2 && text[1] == ':') && text.compare(0, 2, "\\\\") != 0)
    text = fake::TheWorld().currentDirectory + (text[0] == '\\' ? "" : "\\") + text;
  auto mapped = fake::TheWorld().mappedDrives.find(fake::Lower(text.substr(0, 2)));
  if (mapped != fake::TheWorld().mappedDrives.end()) text = mapped->second + text.substr(2);
  return fake::Give(text, full);
}

bool CanonicalName(const char* path, OwnedText& utf8) {
  fake::Count();
  OwnedText full;
  if (!fake::FindFile(path) || !FullPathForAll(path, full)) return fake::Fail(fake::FileNotFound);
  std::string text = full.Get();
  for (const auto& alias : fake::TheWorld().shortNames)
    if (fake::Lower(text).compare(0, alias.first.size(), alias.first) == 0)
      text = alias.second + text.substr(alias.first.size());
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return fake::Give(text, utf8);
}

bool DeleteOneFile(const char* path) {
  fake::Count();
  if (uint32_t why = fake::WhyNotOpened(path)) return fake::Fail(why);
  if (!fake::Deletable(*fake::FindFile(path))) return fake::Fail(fake::AccessDenied);
  fake::TheWorld().files.erase(fake::Lower(path));
  return true;
}

bool SetAttributes(const char* path, uint32_t value) {
  fake::Count();
  if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong);
  if (fake::File* file = fake::FindFile(path)) {
    file->attributes = value;
    return true;
  }
  return (fake::IsDir(path) && *path) ||
         fake::Fail(fake::IsDir(fake::ParentOf(path)) ? fake::FileNotFound : fake::PathNotFound);
}

bool MakeDirectory(const char* given) {
  fake::Count();
  // The system takes a folder's name with a backslash after it too.
  std::string folder = given;
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  const char* path = folder.c_str();
  if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong);
  if (fake::FindFile(path) || fake::IsDir(path)) return fake::Fail(fake::AlreadyExists);
  if (!*path || !fake::IsDir(fake::ParentOf(path))) return fake::Fail(fake::PathNotFound);
  if (fake::ReadOnlyFolder(path)) return fake::Fail(fake::AccessDenied);
  fake::TheWorld().dirs[fake::Lower(path)] = path;
  return true;
}

bool IsExistingFile(const char* path) {
  fake::Count();
  return fake::Fits(path) && fake::FindFile(path);
}

bool IsExistingDirectory(const char* path) {
  fake::Count();
  std::string directory = path;
  const char* last;
  while ((last = fake::FindLast(directory.c_str(), '\\')) && last[1] == '\0')
    directory.resize(last - directory.c_str());
  return !directory.empty() && fake::IsDir(directory);
}

Listing ForEachEntry(const char* pattern, EntryVisitor visit, void* context) {
  fake::Count();
  if (fake::TheWorld().failListings) return fake::Fail(fake::AccessDenied, Listing::Failed);
  for (const fake::Entry& entry : fake::Search(pattern))
    if (!visit(context, entry.name.c_str(), entry.attributes, entry.exact)) return Listing::Stopped;
  return Listing::Complete;
}

bool FileWriteDate(const char* path, CalendarDate& date) {
  fake::Count();
  if (uint32_t why = fake::WhyNotOpened(path)) return fake::Fail(why);
  date = fake::FindFile(path)->date;
  return true;
}

bool OpenToRead(const char* path, OwnedFile& file, uint64_t& size) {
  fake::Count();
  if (uint32_t why = fake::WhyNotOpened(path)) return fake::Fail(why);
  file.Receive() = fake::NewHandle(path);
  size = fake::FindFile(path)->contents.size();
  return true;
}

bool OpenSharingRead(const char* path, OwnedFile& file) {
  fake::Count();
  if (uint32_t why = fake::WhyNotOpened(path)) return fake::Fail(why);
  file.Receive() = fake::NewHandle(path);
  return true;
}

// The system's results for a file's signature: TRUST_E_NOSIGNATURE,
// TRUST_E_BAD_DIGEST, CERT_E_UNTRUSTEDROOT.
Signature VerifySignature(FileHandle file, const char* /*path*/, const char* signer,
                          Signer& found) {
  fake::Count();
  const fake::File* held = fake::FindFile(fake::HeldPath(file));
  std::string signature = held ? held->signature : "";
  if (signature.compare(0, 3, "by ") == 0) {
    fake::Give(signature.substr(3), found.Utf8);
    fake::Give(signature.substr(3), found.Ansi);
    return signature.substr(3) == signer ? Signature::Verified : Signature::OtherSigner;
  }
  if (signature == "bad") return fake::Fail(0x80096010u, Signature::Invalid);
  if (signature == "untrusted") return fake::Fail(0x800B0109u, Signature::Untrusted);
  if (signature == "unchecked") return fake::Fail(fake::ProcedureNotFound, Signature::Invalid);
  return fake::Fail(0x800B0100u, Signature::Unsigned);
}

bool ReadAt(FileHandle file, uint64_t offset, void* out, uint32_t count) {
  fake::Count();
  const fake::File* found = fake::FindFile(fake::HeldPath(file));
  if (!found || offset > found->contents.size() || count > found->contents.size() - offset)
    return fake::Fail(fake::EndOfFile);
  memcpy(out, found->contents.data() + offset, count);
  return true;
}

bool ReadToEnd(FileHandle file, BlockConsumer consume, void* context) {
  fake::Count();
  const fake::File* found = fake::FindFile(fake::HeldPath(file));
  if (!found) return fake::Fail(fake::FileNotFound);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(found->contents.data());
  size_t block = fake::TheWorld().readBlockSize;
  for (size_t done = 0; done < found->contents.size(); done += block)
    consume(context, data + done,
            static_cast<uint32_t>(std::min(block, found->contents.size() - done)));
  return true;
}

bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context,
                    BytesDone told, void* toldContext) {
  fake::Count();
  if (uint32_t why = fake::WhyNotOpened(path)) return fake::Fail(why);
  fake::File* file = fake::FindFile(path);
  if (file->contents.empty()) return fake::Fail(fake::EndOfFile);
  lowSize = static_cast<uint32_t>(file->contents.size());
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file->contents.data());
  size_t block = fake::TheWorld().readBlockSize;
  for (size_t done = 0; done < file->contents.size(); done += block) {
    size_t count = std::min(block, file->contents.size() - done);
    consume(context, data + done, static_cast<uint32_t>(count));
    told(toldContext, done + count, file->contents.size());
  }
  return true;
}

// --- os/digest.h --------------------------------------------------------------

// The digest is the double's own computation, by libcrypto.
struct DigestObject {
  EVP_MD_CTX* Context;
  bool AddFailed = false;
};

void CloseDigest(DigestHandle digest) {
  fake::Count();
  --fake::TheWorld().digests;
  EVP_MD_CTX_free(digest->Context);
  delete digest;
}

bool StartDigest(DigestHandle& digest) {
  fake::Count();
  // The system's reason where it lacks the provider type (NTE_PROV_TYPE_NOT_DEF).
  if (fake::TheWorld().withoutDigests) return fake::Fail(0x80090017u);
  digest = new DigestObject{EVP_MD_CTX_new()};
  ++fake::TheWorld().digests;
  return EVP_DigestInit_ex(digest->Context, EVP_sha256(), nullptr) == 1;
}

void AddToDigest(DigestHandle digest, const uint8_t* data, uint32_t count) {
  fake::Count();
  if (EVP_DigestUpdate(digest->Context, data, count) != 1) digest->AddFailed = true;
}

Digest FinishDigest(DigestHandle digest, const uint8_t (&expected)[DigestSize],
                    uint8_t (&found)[DigestSize]) {
  fake::Count();
  unsigned size = 0;
  if (digest->AddFailed || EVP_DigestFinal_ex(digest->Context, found, &size) != 1 ||
      size != DigestSize)
    return fake::Fail(fake::InvalidParameter, Digest::Failed);
  return memcmp(found, expected, DigestSize) == 0 ? Digest::Same : Digest::Different;
}

// --- os/journal_support.h ---------------------------------------------------

JournalOpening OpenJournal(const char* path, bool create, FileHandle& journal) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  fake::File* existing = fake::FindFile(path);
  if (create) {
    if (existing) return fake::Fail(fake::FileAlreadyExists, JournalOpening::Exists);
    if (fake::IsDir(path)) return fake::Fail(fake::AlreadyExists, JournalOpening::Exists);
    if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong, JournalOpening::Failed);
    if (!fake::IsDir(fake::ParentOf(path)))
      return fake::Fail(fake::PathNotFound, JournalOpening::Failed);
    if (fake::ReadOnlyFolder(path) || fake::InLinkFolder(path))
      return fake::Fail(fake::AccessDenied, JournalOpening::Failed);
    fake::File& created = world.files[fake::Lower(path)];
    created.path = path;
    fake::Stamp(created);
    existing = &created;
  } else if (!existing) {
    if (fake::IsDir(path)) return fake::Fail(fake::AccessDenied, JournalOpening::Failed);
    return fake::Fail(fake::IsDir(fake::ParentOf(path)) ? fake::FileNotFound : fake::PathNotFound,
                      JournalOpening::Missing);
  } else if (fake::Busy(*existing)) {
    return fake::Fail(fake::SharingViolation, JournalOpening::InUse);
  } else if (existing->link || fake::InLinkFolder(path)) {
    return fake::Fail(fake::AccessDenied, JournalOpening::Failed);
  }
  existing->heldByRun = true;
  journal = fake::NewHandle(path);
  return JournalOpening::Opened;
}

bool ReadJournal(FileHandle journal, BlockConsumer consume, void* context) {
  fake::Count();
  fake::File* file = fake::FindFile(fake::HeldPath(journal));
  if (!file) return fake::Fail(fake::FileNotFound);
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file->contents.data());
  size_t block = fake::TheWorld().readBlockSize;
  for (size_t done = 0; done < file->contents.size(); done += block)
    consume(context, data + done,
            static_cast<uint32_t>(std::min(block, file->contents.size() - done)));
  return true;
}

bool AppendToJournal(FileHandle journal, const char* bytes, uint32_t count) {
  bool cut = fake::Count();
  fake::World& world = fake::TheWorld();
  std::string path = fake::HeldPath(journal);
  fake::File* file = fake::FindFile(path);
  if (!file) return fake::Fail(fake::FileNotFound);
  // Cut while it writes: the first half of the records reached the disk.
  if (cut) world.cutFiles[fake::Lower(path)].contents.append(bytes, count / 2);
  // Not flushed yet: a cut keeps only what was flushed.
  if (file->durable == std::string::npos) file->durable = file->contents.size();
  file->contents.append(bytes, count);
  fake::Touch(*file);
  return true;
}

bool FlushJournal(FileHandle journal) {
  bool cut = fake::Count();
  std::string path = fake::HeldPath(journal);
  fake::File* file = fake::FindFile(path);
  if (!file) return fake::Fail(fake::FileNotFound);
  // Cut while it flushes: half of what was written reached the disk, torn.
  if (cut && file->durable != std::string::npos)
    fake::TheWorld().cutFiles[fake::Lower(path)].contents.append(
        file->contents, file->durable, (file->contents.size() - file->durable) / 2);
  ++fake::TheWorld().flushes;
  file->durable = std::string::npos;
  return true;
}

FolderTrust TrustOfFolder(const char* path) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  std::string folder = fake::Lower(path);
  if (!fake::IsDir(folder)) return fake::Fail(fake::FileNotFound, FolderTrust::Missing);
  if (world.foreignFolders.count(folder) || fake::InLinkFolder(folder + "\\x"))
    return FolderTrust::Foreign;
  return FolderTrust::Trusted;
}

bool MakeProtectedFolder(const char* path, bool) {
  if (!MakeDirectory(path)) return false;
  fake::TheWorld().protectedFolders.insert(fake::Lower(path));
  return true;
}

bool ReclaimFolder(const char* path, bool) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  std::string folder = fake::Lower(path);
  if (!fake::IsDir(folder)) return fake::Fail(fake::FileNotFound);
  if (fake::InLinkFolder(folder + "\\x")) return true;  // the link is moved, never its target
  world.foreignFolders.erase(folder);
  world.protectedFolders.insert(folder);
  return true;
}

Locking TakeLock(const char* name, LockScope scope, LockHandle& lock) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  if (scope == LockScope::Administrators && world.noPrivateNamespace) return Locking::Unsupported;
  static const char* const spaces[] = {"updater\\", "global\\", "local\\"};
  std::string full = spaces[static_cast<int>(scope)] + fake::Lower(name);
  auto held = world.locks.find(full);
  if (held != world.locks.end()) return Locking::Held;
  world.locks[full] = "run";
  world.lockHandles[++world.lastHandle] = full;
  lock = reinterpret_cast<LockHandle>(world.lastHandle);
  return Locking::Taken;
}

void ReleaseLock(LockHandle lock) {
  fake::Count();
  fake::World& world = fake::TheWorld();
  auto found = world.lockHandles.find(reinterpret_cast<intptr_t>(lock));
  if (found == world.lockHandles.end()) return;
  world.locks.erase(found->second);
  world.lockHandles.erase(found);
}

// Foreseeable, as a test needs, but never the same twice in a world.
bool RandomBytes(void* out, uint32_t count) {
  fake::Count();
  uint8_t* bytes = static_cast<uint8_t*>(out);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t& x = fake::TheWorld().random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<uint8_t>(x);
  }
  return true;
}

// --- os/log.h ---------------------------------------------------------------

bool OpenLog(const char* path, FileHandle& log) {
  fake::Count();
  fake::File* existing = fake::FindFile(path);
  if (!fake::Fits(path)) return fake::Fail(fake::NameTooLong);
  if (!fake::IsDir(fake::ParentOf(path))) return fake::Fail(fake::PathNotFound);
  if (existing && fake::Busy(*existing)) return fake::Fail(fake::SharingViolation);
  if (fake::IsDir(path) || fake::InLinkFolder(path) || (existing && existing->link))
    return fake::Fail(fake::AccessDenied);
  if (!existing) fake::SetFile(path, "");
  log = fake::NewHandle(path);
  return true;
}

bool AppendToLog(FileHandle log, const char* bytes, uint32_t count) {
  fake::Count();
  fake::File* file = fake::FindFile(fake::HeldPath(log));
  if (!file) return fake::Fail(fake::FileNotFound);
  // The log is never flushed: a cut loses what was written since it opened.
  if (file->durable == std::string::npos) file->durable = file->contents.size();
  file->contents.append(bytes, count);
  return true;
}

// --- os/processes.h ---------------------------------------------------------

bool ProgramsHolding(const char* path, HolderVisitor visit, void* context, uint32_t& unlisted) {
  fake::Count();
  fake::File* file = fake::FindFile(path);
  unlisted = file ? file->unlistedHolders : 0;
  if (file)
    for (const auto& holder : file->holders) visit(context, holder.first.c_str(), holder.second);
  return true;
}

bool StartProgram(const char* application, const char* commandLine, const char* directory,
                  ProcessHandle& process) {
  fake::Count();
  std::string started;
  if (application) {
    if (!fake::FindFile(application)) return fake::Fail(fake::FileNotFound);
    started = application;
  } else {
    // Without an application name the platform tries each blank-cut prefix
    // of the command line, with ".exe" added, shortest first.
    std::string line = commandLine;
    for (size_t end = line.find(' '); ; end = line.find(' ', end + 1)) {
      std::string prefix = line.substr(0, end);
      if (fake::FindFile(prefix + ".exe")) started = prefix + ".exe";
      else if (fake::FindFile(prefix)) started = prefix;
      if (!started.empty() || end == std::string::npos) break;
    }
    if (started.empty()) return fake::Fail(fake::FileNotFound);
  }
  if (!fake::IsDir(directory)) return fake::Fail(fake::BadDirectory);
  fake::TheWorld().launches.push_back(
      fake::Launch{started, application ? application : "(none)", commandLine, directory, false});
  process = reinterpret_cast<ProcessHandle>(fake::TheWorld().launches.size());
  fake::TheWorld().processes.insert(fake::TheWorld().launches.size());
  return true;
}

bool WaitForProgram(ProcessHandle process, WaitFor wait, uint32_t& exitCode) {
  fake::Count();
  fake::TheWorld().processes.erase(reinterpret_cast<size_t>(process));
  fake::Launch& launch = fake::TheWorld().launches.at(reinterpret_cast<size_t>(process) - 1);
  launch.waitForExit = wait == WaitFor::Exit;
  if (launch.waitForExit) exitCode = fake::TheWorld().exitCode;
  return !fake::TheWorld().failWaits || fake::Fail(fake::AccessDenied);
}

void CloseProcess(ProcessHandle process) {
  fake::Count();
  fake::TheWorld().processes.erase(reinterpret_cast<size_t>(process));
}

// --- os/registry.h ----------------------------------------------------------

namespace {
const char* RootName(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::LocalMachine: return "HKLM";
    case RegistryRoot::CurrentUser: return "HKCU";
    case RegistryRoot::ClassesRoot: return "HKCR";
    case RegistryRoot::Users: break;
  }
  return "HKU";
}
// Whether the key at `full` (lower-cased), or one above it, refuses changes.
bool Denied(const std::string& full, uint32_t access) {
  if ((access & KeyChange) != KeyChange) return false;
  for (const std::string& denied : fake::TheWorld().deniedKeys)
    if (full == denied || full.compare(0, denied.size() + 1, denied + "\\") == 0) return true;
  return false;
}
RegistryHandle NewKeyHandle(const std::string& full) {
  fake::World& world = fake::TheWorld();
  world.keyHandles[++world.lastHandle] = fake::Lower(full);
  return reinterpret_cast<RegistryHandle>(world.lastHandle);
}
// The key a handle holds, or null where it has been deleted since.
fake::RegKey* HeldKey(RegistryHandle key) {
  const std::string& full = fake::TheWorld().keyHandles.at(reinterpret_cast<intptr_t>(key));
  if (fake::IsRootKey(full)) {
    static fake::RegKey root;
    root = fake::RegKey{full, {}};
    return &root;
  }
  return fake::FindKey(full);
}
constexpr uint32_t KeyDeleted = 1018;
}  // namespace

bool RegistryOpen(RegistryRoot root, const char* path, uint32_t access, RegistryHandle& key) {
  fake::Count();
  std::string full = fake::RegistryPath(RootName(root), path, access);
  if (!fake::IsRootKey(fake::Lower(full)) && !fake::FindKey(full))
    return fake::Fail(fake::FileNotFound);
  if (Denied(fake::Lower(full), access)) return fake::Fail(fake::AccessDenied);
  key = NewKeyHandle(full);
  return true;
}

KeyOpening RegistryCreate(RegistryRoot root, const char* path, uint32_t access,
                          RegistryHandle& key) {
  fake::Count();
  std::string full = fake::RegistryPath(RootName(root), path, access);
  // No key can be made beside the users' own under HKU.
  if (Denied(fake::Lower(full), access) || fake::Lower(fake::ParentOf(full)) == "hku")
    return fake::Fail(fake::AccessDenied, KeyOpening::Failed);
  bool made = fake::MakeKey(full);
  key = NewKeyHandle(full);
  return made ? KeyOpening::Made : KeyOpening::Opened;
}

void RegistryClose(RegistryHandle key) {
  fake::Count();
  fake::TheWorld().keyHandles.erase(reinterpret_cast<intptr_t>(key));
}

namespace {
const fake::RegValue* RegistryData(RegistryHandle key, const char* name) {
  fake::RegKey* held = HeldKey(key);
  if (!held) return nullptr;
  auto found = held->values.find(fake::Lower(name ? name : ""));
  return found == held->values.end() ? nullptr : &found->second;
}
}  // namespace

ValueFound RegistryValueInfo(RegistryHandle key, const char* name, uint32_t& type,
                             uint32_t& size) {
  fake::Count();
  if (!HeldKey(key)) return fake::Fail(KeyDeleted, ValueFound::Failed);
  const fake::RegValue* data = RegistryData(key, name);
  if (!data) return ValueFound::Absent;
  type = data->type;
  size = static_cast<uint32_t>(data->data.size());
  return ValueFound::Found;
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  fake::Count();
  const fake::RegValue* data = RegistryData(key, name);
  if (!data) return fake::Fail(fake::FileNotFound);
  if (data->data.size() > size) return fake::Fail(fake::MoreData);
  memcpy(buffer, data->data.data(), data->data.size());
  return true;
}

bool RegistrySet(RegistryHandle key, const char* name, uint32_t type, const void* data,
                 uint32_t size) {
  fake::Count();
  fake::RegKey* held = HeldKey(key);
  if (!held) return fake::Fail(KeyDeleted);
  if (fake::IsRootKey(fake::Lower(held->path))) return fake::Fail(fake::AccessDenied);
  unsigned& left = fake::TheWorld().registrySetsLeft;
  if (left == 0) return fake::Fail(fake::AccessDenied);
  if (left != ~0u) --left;
  held->values[fake::Lower(name ? name : "")] =
      fake::RegValue{name ? name : "", type, std::string(static_cast<const char*>(data), size)};
  return true;
}

ValueFound RegistryDeleteValue(RegistryHandle key, const char* name) {
  fake::Count();
  fake::RegKey* held = HeldKey(key);
  if (!held) return fake::Fail(KeyDeleted, ValueFound::Failed);
  return held->values.erase(fake::Lower(name ? name : "")) ? ValueFound::Found
                                                            : ValueFound::Absent;
}

KeyRemoval RegistryRemoveEmptyKey(RegistryRoot root, const char* path, uint32_t access) {
  fake::Count();
  std::string full = fake::RegistryPath(RootName(root), path, access);
  std::string lower = fake::Lower(full);
  fake::RegKey* key = fake::FindKey(full);
  if (!key) return KeyRemoval::Absent;
  if (Denied(lower, KeyChange)) return fake::Fail(fake::AccessDenied, KeyRemoval::Failed);
  auto& registry = fake::TheWorld().registry;
  auto below = registry.lower_bound(lower + "\\");
  if (!key->values.empty() ||
      (below != registry.end() && below->first.compare(0, lower.size() + 1, lower + "\\") == 0))
    return KeyRemoval::NotEmpty;
  registry.erase(lower);
  return KeyRemoval::Removed;
}

bool IsSystem64Bit() {
  fake::Count();
  return fake::TheWorld().registrySystem != 0;
}

bool CurrentUserSid(OwnedText& sid) {
  fake::Count();
  return fake::Give(fake::TheWorld().account, sid);
}

// --- os/services.h ---------------------------------------------------------

void CloseServiceManager(ServiceManagerHandle) {
  fake::Count();
  --fake::TheWorld().serviceManagers;
}

void CloseService(ServiceHandle service) {
  fake::Count();
  fake::TheWorld().serviceHandles.erase(reinterpret_cast<intptr_t>(service));
}

bool OpenServiceManager(ServiceManagerHandle& manager) {
  fake::Count();
  ++fake::TheWorld().serviceManagers;
  manager = reinterpret_cast<ServiceManagerHandle>(++fake::TheWorld().lastHandle);
  return true;
}

ServiceOpening OpenNamedService(ServiceManagerHandle, const char* name, ServiceHandle& service) {
  fake::Count();
  std::string text = name;
  if (text.empty() || text.size() > 256 || text.find_first_of("\\/") != std::string::npos)
    return fake::Fail(fake::InvalidName, ServiceOpening::Failed);
  fake::Service* found = fake::FindService(text);
  if (!found) return fake::Fail(fake::ServiceDoesNotExist, ServiceOpening::Missing);
  if (found->setup.denied) return fake::Fail(fake::AccessDenied, ServiceOpening::Failed);
  intptr_t handle = ++fake::TheWorld().lastHandle;
  fake::TheWorld().serviceHandles[handle] = fake::Lower(text);
  service = reinterpret_cast<ServiceHandle>(handle);
  return ServiceOpening::Opened;
}

namespace {
fake::Service& Opened(ServiceHandle service) {
  fake::Service& found = fake::TheWorld().services.at(
      fake::TheWorld().serviceHandles.at(reinterpret_cast<intptr_t>(service)));
  fake::Settle(found);
  return found;
}
}  // namespace

bool QueryService(ServiceHandle handle, ServiceStatus& status) {
  fake::Count();
  const fake::Service& service = Opened(handle);
  status.State = service.state;
  status.ExitCode = service.state == ServiceState::Stopped ? service.exitCode : 0;
  status.WaitHint = 2000;
  status.ProcessId = service.state == ServiceState::Stopped ? 0 : service.processId;
  status.SharesProcess = service.setup.shared;
  return true;
}

ServiceAsked AskServiceToStop(ServiceHandle handle) {
  fake::Count();
  fake::Service& service = Opened(handle);
  if (service.state == ServiceState::Stopped) return ServiceAsked::Done;
  if (service.setup.dependents)
    return fake::Fail(fake::DependentServicesRunning, ServiceAsked::Failed);
  if (service.state != ServiceState::Running)
    return fake::Fail(fake::CannotAcceptControl, ServiceAsked::Failed);
  service.requests += service.requests.empty() ? "stop" : ",stop";
  service.state = ServiceState::StopPending;
  service.changesAt = fake::TheWorld().clock + service.setup.takes;
  return ServiceAsked::Asked;
}

ServiceAsked AskServiceToStart(ServiceHandle handle) {
  fake::Count();
  fake::Service& service = Opened(handle);
  if (service.state != ServiceState::Stopped) return ServiceAsked::Done;
  service.requests += service.requests.empty() ? "start" : ",start";
  service.state = ServiceState::StartPending;
  service.exitCode = 0;
  service.changesAt = fake::TheWorld().clock + service.setup.takes;
  fake::StartProcess(service);
  return ServiceAsked::Asked;
}

namespace {
// A service's process as a handle: its id above the launches' numbers.
constexpr size_t ServiceProcesses = 0x40000000;
}  // namespace

bool OpenServiceProcess(uint32_t processId, ProcessHandle& process) {
  fake::Count();
  bool lives = false;
  for (auto& service : fake::TheWorld().services) {
    fake::Settle(service.second);
    lives = lives || (processId != 0 && service.second.processId == processId);
  }
  if (!lives) return fake::Fail(fake::InvalidParameter);
  fake::TheWorld().processes.insert(ServiceProcesses + processId);
  process = reinterpret_cast<ProcessHandle>(ServiceProcesses + processId);
  return true;
}

// The clock moves to the process's end, or by the whole wait.
ProcessWait WaitForProcessEnd(ProcessHandle process, uint32_t milliseconds) {
  fake::Count();
  uint32_t id = static_cast<uint32_t>(reinterpret_cast<size_t>(process) - ServiceProcesses);
  fake::World& world = fake::TheWorld();
  for (auto& entry : world.services) {
    fake::Service& service = entry.second;
    fake::Settle(service);
    if (service.processId != id) continue;
    if (service.state != ServiceState::Stopped || service.setup.shared ||
        service.processEndsAt > world.clock + milliseconds) {
      world.clock += milliseconds;
      return ProcessWait::TimedOut;
    }
    world.clock = service.processEndsAt;
    fake::Settle(service);
  }
  return ProcessWait::Ended;
}

// --- os/shell.h -------------------------------------------------------------

bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath) {
  fake::Count();
  // The shell takes the path as wide text of at most 260 characters.
  size_t characters = 0;
  for (const char* at = linkPath; *at; ++at, ++characters)
    if (IsLeadByte(static_cast<uint8_t>(*at)) && at[1]) ++at;
  if (characters >= 260) return fake::Fail(fake::NameTooLong);
  if (!fake::IsDir(fake::ParentOf(linkPath))) return fake::Fail(fake::PathNotFound);
  fake::TheWorld().links.push_back(fake::Link{target, workingDirectory,
                                              arguments ? arguments : "(none)", showCommand,
                                              linkPath});
  fake::SetFile(linkPath, "shortcut");
  return true;
}

uint32_t WindowsDirectory(char* buffer, uint32_t size) {
  fake::Count();
  return fake::FolderQuery(fake::TheWorld().windowsDirectory, buffer, size);
}

uint32_t SystemDirectory(char* buffer, uint32_t size) {
  fake::Count();
  return fake::FolderQuery(fake::TheWorld().systemDirectory, buffer, size);
}

uint32_t TempDirectory(char* buffer, uint32_t size) {
  fake::Count();
  return fake::FolderQuery(fake::TheWorld().tempDirectory, buffer, size);
}

uint32_t PlatformId() {
  fake::Count();
  return fake::TheWorld().platformId;
}

FolderResult FolderPath(int folder, char* buffer) {
  fake::Count();
  auto found = fake::TheWorld().folders.find(folder);
  if (found == fake::TheWorld().folders.end() || !found->second.first)
    return fake::Fail(fake::InvalidParameter, FolderResult::NoLocation);
  if (found->second.second.empty()) return fake::Fail(fake::PathNotFound, FolderResult::NoPath);
  fake::CopyCut(found->second.second, buffer, FolderPathSize);
  return FolderResult::Found;
}

// --- os/ui.h ----------------------------------------------------------------

int LoadMessageText(unsigned id, char* buffer, int size) {
  fake::Count();
  if (size <= 0) return 0;
  const char* text = catalogue::MessageText(id);
  return static_cast<int>(fake::CopyCut(text ? text : "", buffer, static_cast<uint32_t>(size)));
}

uint16_t UserUiLanguage() {
  fake::Count();
  return fake::TheWorld().uiLanguage;
}

int MessageBoxUtf8(const char* text, const char* caption, uint32_t style) {
  fake::Count();
  if (fake::TheWorld().failBoxes) return fake::Fail(fake::AccessDenied, 0);
  fake::TheWorld().boxes.push_back(fake::Box{text, caption, style, fake::TheWorld().progress.open});
  if (!fake::TheWorld().answers.empty()) {
    int answer = fake::TheWorld().answers.front();
    fake::TheWorld().answers.pop_front();
    return answer;
  }
  if ((style & 0xF) == box::YesNo) return (style & box::DefaultButton2) ? box::IdNo : box::IdYes;
  return box::IdOk;
}

// The window is not a step of the run: its calls are not counted.
bool OpenProgress(const char* utf8Caption, const char* utf8Cancel) {
  fake::Progress& progress = fake::TheWorld().progress;
  if (fake::TheWorld().failProgress) return fake::Fail(fake::AccessDenied);
  progress.open = true;
  ++progress.opened;
  progress.caption = utf8Caption;
  progress.cancel = utf8Cancel;
  return true;
}

void CloseProgress() { fake::TheWorld().progress.open = false; }

void ShowProgressText(const char* utf8Text) {
  fake::TheWorld().progress.texts.push_back(utf8Text);
  fake::TheWorld().progress.fileBytes = 0;
}

void ShowRunProgress(uint32_t done, uint32_t total) {
  fake::TheWorld().progress.done = done;
  fake::TheWorld().progress.total = total;
}

void ShowFileProgress(void*, uint64_t done, uint64_t) {
  if (fake::TheWorld().progress.open) fake::TheWorld().progress.fileBytes = done;
}

bool TakeCancelPress() {
  fake::World& world = fake::TheWorld();
  if (!world.progress.open || world.progress.texts.size() < world.cancelAfter) return false;
  world.cancelAfter = std::string::npos;
  return true;
}

}  // namespace os
