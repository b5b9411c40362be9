#include "fake_os.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "base/characters.h"
#include "base/text_string.h"
#include "os/catalogue_text.h"
#include "os/code_page_932.h"
#include "os/os.h"
#include "os/profile_file.h"

namespace fake {
namespace {

struct File {
  std::string path;  // as given
  std::string contents;
  unsigned attributes = 0x20;
  os::CalendarDate date = {2020, 1, 1};
  bool locked = false;
};

struct World {
  std::map<std::string, File> files;        // key: lower-cased path
  std::map<std::string, std::string> dirs;  // lower-cased path: path as given
  size_t failCopyAfter = std::string::npos;
  unsigned readBlockSize = 7;
  bool failWaits = false;
  std::vector<Launch> launches;
  std::vector<Link> links;
  std::string modulePath = "C:\\Program\\updater.exe";
  std::string windowsDirectory = "C:\\Windows";
  std::string systemDirectory = "C:\\Windows\\system32";
  unsigned platformId = 2;
  unsigned codePage = 932;
  std::map<int, std::pair<bool, std::string>> folders = {
      {25, {true, "C:\\Users\\Public\\Desktop"}},
      {16, {true, "C:\\Users\\me\\Desktop"}},
      {23, {true, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"}},
      {2, {true, "C:\\Users\\me\\Start Menu\\Programs"}},
  };
  // key: lower-cased key path, then lower-cased value name
  std::map<std::string, std::map<std::string, std::string>> registry;
  std::vector<Box> boxes;
  std::deque<int> answers;
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
// The path before its last backslash, stepping over double-byte characters
// as the system does.
std::string ParentOf(const std::string& path) {
  const char* last = FindLastCharacter(path.c_str(), '\\');
  return last ? path.substr(0, last - path.c_str()) : "";
}

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
  if (Matches(namePattern.c_str(), ".")) entries.push_back({".", 0x10});
  if (Matches(namePattern.c_str(), "..")) entries.push_back({"..", 0x10});
  std::string prefix = Lower(directory) + "\\";
  for (const auto& dir : TheWorld().dirs) {
    std::string name = dir.second.substr(std::min(dir.second.size(), directory.size() + 1));
    if (dir.first.compare(0, prefix.size(), prefix) == 0 && !FindLastCharacter(name.c_str(), '\\') &&
        Matches(namePattern.c_str(), name.c_str()))
      entries.push_back({name, 0x10});
  }
  for (const auto& file : TheWorld().files) {
    std::string name = file.second.path.substr(std::min(file.second.path.size(), directory.size() + 1));
    if (file.first.compare(0, prefix.size(), prefix) == 0 && !FindLastCharacter(name.c_str(), '\\') &&
        Matches(namePattern.c_str(), name.c_str()))
      entries.push_back({name, file.second.attributes});
  }
  return entries;
}

void SetFile(const std::string& path, const std::string& contents) {
  MakeDirs(ParentOf(path));
  File& file = TheWorld().files[Lower(path)];
  file.path = path;
  file.contents = contents;
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
  if (File* file = FindFile(path)) file->locked = locked;
}
void FailNextCopyAfter(size_t bytes) { TheWorld().failCopyAfter = bytes; }
void SetReadBlockSize(unsigned size) { TheWorld().readBlockSize = size ? size : 1; }
const std::vector<Launch>& Launches() { return TheWorld().launches; }
void FailWaits(bool fail) { TheWorld().failWaits = fail; }
const std::vector<Link>& Links() { return TheWorld().links; }
void SetModulePath(const std::string& path) { TheWorld().modulePath = path; }
void SetCodePage(unsigned codePage) { TheWorld().codePage = codePage; }
void SetWindowsDirectory(const std::string& path) { TheWorld().windowsDirectory = path; }
void SetSystemDirectory(const std::string& path) { TheWorld().systemDirectory = path; }
void SetPlatformId(unsigned id) { TheWorld().platformId = id; }
void SetFolder(int csidl, bool located, const std::string& path) {
  TheWorld().folders[csidl] = {located, path};
}
void SetRegistryValue(const std::string& keyPath, const std::string& name,
                      const std::string& bytes) {
  TheWorld().registry[Lower(keyPath)][Lower(name)] = bytes;
}
const std::vector<Box>& Boxes() { return TheWorld().boxes; }
void QueueAnswer(int answer) { TheWorld().answers.push_back(answer); }

}  // namespace fake

namespace os {

void RestrictDllSearch() {}
void InitializeCom() {}
void UninitializeCom() {}

bool IsLeadByte(uint8_t byte) {
  return fake::TheWorld().codePage == 932 && codepage::IsLeadByte932(byte);
}

uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size) {
  return profile::StringValue(fake::ProfileOf(file), section, key, fallback, buffer, size);
}

uint32_t ReadProfileSection(const char* file, const char* section, char* buffer,
                            uint32_t size) {
  return profile::SectionLines(fake::ProfileOf(file), section, buffer, size);
}

uint32_t ModuleFileName(char* buffer, uint32_t size) {
  return fake::CopyCut(fake::TheWorld().modulePath, buffer, size);
}

bool FindAnyEntry(const char* pattern) { return !fake::Search(pattern).empty(); }

bool CopyOneFile(const char* source, const char* target, bool failIfExists) {
  fake::File* from = fake::FindFile(source);
  if (!from || from->locked || !fake::IsDir(fake::ParentOf(target)) || fake::IsDir(target) ||
      !*target)
    return false;
  fake::File* to = fake::FindFile(target);
  if (to && (failIfExists || to->locked || (to->attributes & 1))) return false;
  fake::File copy = *from;
  copy.path = target;
  size_t failAfter = fake::TheWorld().failCopyAfter;
  fake::TheWorld().failCopyAfter = std::string::npos;
  if (failAfter != std::string::npos) {
    copy.contents = copy.contents.substr(0, failAfter);
    fake::TheWorld().files[fake::Lower(target)] = copy;
    return false;
  }
  fake::TheWorld().files[fake::Lower(target)] = copy;
  return true;
}

bool ReplaceWithFile(const char* from, const char* to) {
  fake::File* source = fake::FindFile(from);
  if (!source || source->locked || !fake::IsDir(fake::ParentOf(to)) || fake::IsDir(to))
    return false;
  fake::File* target = fake::FindFile(to);
  if (target && (target->locked || (target->attributes & 1))) return false;
  fake::File moved = *source;
  moved.path = to;
  fake::TheWorld().files.erase(fake::Lower(from));
  fake::TheWorld().files[fake::Lower(to)] = moved;
  return true;
}

bool DeleteOneFile(const char* path) {
  fake::File* file = fake::FindFile(path);
  if (!file || file->locked || (file->attributes & 1)) return false;
  fake::TheWorld().files.erase(fake::Lower(path));
  return true;
}

bool SetAttributes(const char* path, uint32_t value) {
  if (fake::File* file = fake::FindFile(path)) {
    file->attributes = value;
    return true;
  }
  return fake::IsDir(path) && *path;
}

bool MakeDirectory(const char* path) {
  if (!*path || fake::FindFile(path) || fake::IsDir(path) || !fake::IsDir(fake::ParentOf(path)))
    return false;
  fake::TheWorld().dirs[fake::Lower(path)] = path;
  return true;
}

bool IsExistingFile(const char* path) { return fake::FindFile(path) != nullptr; }

bool IsExistingDirectory(const char* path) {
  std::string directory = path;
  const char* last;
  while ((last = FindLastCharacter(directory.c_str(), '\\')) && last[1] == '\0')
    directory.resize(last - directory.c_str());
  return !directory.empty() && fake::IsDir(directory);
}

bool ForEachEntry(const char* pattern, EntryVisitor visit, void* context) {
  for (const fake::Entry& entry : fake::Search(pattern))
    if (!visit(context, entry.name.c_str(), entry.attributes)) return false;
  return true;
}

bool FileWriteDate(const char* path, CalendarDate& date) {
  fake::File* file = fake::FindFile(path);
  if (!file || file->locked) return false;
  date = file->date;
  return true;
}

bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context) {
  fake::File* file = fake::FindFile(path);
  if (!file || file->locked || file->contents.empty()) return false;
  lowSize = static_cast<uint32_t>(file->contents.size());
  const uint8_t* data = reinterpret_cast<const uint8_t*>(file->contents.data());
  size_t block = fake::TheWorld().readBlockSize;
  for (size_t done = 0; done < file->contents.size(); done += block) {
    size_t count = std::min(block, file->contents.size() - done);
    consume(context, data + done, static_cast<uint32_t>(count));
  }
  return true;
}

bool RunProgram(const char* application, const char* commandLine, const char* directory,
                WaitFor wait) {
  std::string started;
  if (application) {
    if (!fake::FindFile(application)) return false;
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
    if (started.empty()) return false;
  }
  if (!fake::IsDir(directory)) return false;
  fake::TheWorld().launches.push_back(fake::Launch{started, application ? application : "(none)",
                                                   commandLine, directory,
                                                   wait == WaitFor::Exit});
  return !fake::TheWorld().failWaits;
}

bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath) {
  if (strlen(linkPath) >= 260 || !fake::IsDir(fake::ParentOf(linkPath))) return false;
  fake::TheWorld().links.push_back(fake::Link{target, workingDirectory,
                                              arguments ? arguments : "(none)", showCommand,
                                              linkPath});
  fake::SetFile(linkPath, "shortcut");
  return true;
}

uint32_t WindowsDirectory(char* buffer, uint32_t size) {
  return fake::CopyCut(fake::TheWorld().windowsDirectory, buffer, size);
}

uint32_t SystemDirectory(char* buffer, uint32_t size) {
  return fake::CopyCut(fake::TheWorld().systemDirectory, buffer, size);
}

uint32_t PlatformId() { return fake::TheWorld().platformId; }

FolderResult FolderPath(int folder, char* buffer) {
  auto found = fake::TheWorld().folders.find(folder);
  if (found == fake::TheWorld().folders.end() || !found->second.first)
    return FolderResult::NoLocation;
  if (found->second.second.empty()) return FolderResult::NoPath;
  fake::CopyCut(found->second.second, buffer, FolderPathSize);
  return FolderResult::Found;
}

bool RegistryOpen(RegistryRoot, const char* path, uint32_t, RegistryHandle& key) {
  auto found = fake::TheWorld().registry.find(fake::Lower(path));
  if (found == fake::TheWorld().registry.end()) return false;
  key = &found->second;
  return true;
}

void RegistryClose(RegistryHandle) {}

namespace {
const std::string* RegistryData(RegistryHandle key, const char* name) {
  auto* values = static_cast<std::map<std::string, std::string>*>(key);
  auto found = values->find(fake::Lower(name));
  return found == values->end() ? nullptr : &found->second;
}
}  // namespace

uint32_t RegistryValueSize(RegistryHandle key, const char* name) {
  const std::string* data = RegistryData(key, name);
  return data ? static_cast<uint32_t>(data->size()) : 0;
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  const std::string* data = RegistryData(key, name);
  if (!data || data->size() > size) return false;
  memcpy(buffer, data->data(), data->size());
  return true;
}

int LoadMessageText(unsigned id, char* buffer, int size) {
  if (size <= 0) return 0;
  const char* text = catalogue::MessageText(id);
  return static_cast<int>(fake::CopyCut(text ? text : "", buffer, static_cast<uint32_t>(size)));
}

bool AnsiToUtf8(const char* ansi, TextString& utf8) {
  // The double's ANSI code page is UTF-8 itself.
  return utf8.SetText(ansi);
}

int MessageBoxUtf8(const char* text, const char* caption, uint32_t style) {
  fake::TheWorld().boxes.push_back(fake::Box{text, caption, style});
  if (!fake::TheWorld().answers.empty()) {
    int answer = fake::TheWorld().answers.front();
    fake::TheWorld().answers.pop_front();
    return answer;
  }
  if ((style & 0xF) == box::YesNo) return (style & box::DefaultButton2) ? box::IdNo : box::IdYes;
  return box::IdOk;
}

}  // namespace os
