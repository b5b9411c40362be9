// The OS seam of the script checker: see check_world.h. Nothing here changes
// a file; the only files ever opened are those the crc command is given, and
// only for reading. A section per topic header of os/; it stands on the
// seam's floor alone, as the seam's Windows half does, so that it is linked
// after the updater's core, which calls it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check_world.h"
#include "host.h"
#include "os/basics.h"
#include "os/catalogue_text.h"
#include "os/code_page_932.h"
#include "os/digest.h"
#include "os/console_text.h"
#include "os/files.h"
#include "os/journal_support.h"
#include "os/log.h"
#include "os/processes.h"
#include "os/registry.h"
#include "os/services.h"
#include "os/shell.h"
#include "os/trust.h"
#include "os/ui.h"

namespace check {

namespace {
World& ScriptWorld() {
  static World world;
  return world;
}
World* g_world = nullptr;  // another world in use, or null
}  // namespace

World& TheWorld() { return g_world ? *g_world : ScriptWorld(); }

InWorld::InWorld(World& world) : outer_(g_world) { g_world = &world; }
InWorld::~InWorld() { g_world = outer_; }

void NewWorld(const std::string& scriptText) {
  World& world = ScriptWorld();
  world = World();
  world.Script = profile::ProfileText(scriptText);
  world.ModuleDirectory = "C:\\Setup";
  world.WindowsDirectory = "C:\\Windows";
  world.SystemDirectory = "C:\\Windows\\system32";
  world.Folders = {
      {25, "C:\\Users\\Public\\Desktop"},
      {16, "C:\\Users\\Default\\Desktop"},
      {23, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {2, "C:\\Users\\Default\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},
      {0x26, "C:\\Program Files"},
      {0x2A, "C:\\Program Files (x86)"},
      {0x2B, "C:\\Program Files\\Common Files"},
      {0x23, "C:\\ProgramData"},
      {0x1A, "C:\\Users\\Default\\AppData\\Roaming"},
      {0x1C, "C:\\Users\\Default\\AppData\\Local"},
  };
  world.TempDirectory = "C:\\Users\\Default\\AppData\\Local\\Temp\\";
}

std::string World::ModulePath() const { return ModuleDirectory + "\\updater.exe"; }
std::string World::ScriptPath() const { return ModuleDirectory + "\\updater.ini"; }


}  // namespace check

namespace {

bool Keeping() { return check::TheWorld().Kind == check::WorldKind::Recording; }
bool ReadingFiles() { return check::TheWorld().Kind == check::WorldKind::ReadingFiles; }

// A file operation on the checker's machine: it succeeds and touches
// nothing, except on an empty path, which the system always refuses.
bool Untouched(const char* path) { return path && *path; }

// A handle that is never used but as a token.
template <typename Handle>
Handle Token() {
  return reinterpret_cast<Handle>(&check::TheWorld());
}

// The files the checker reads are the C library's.
FILE* Stream(os::FileHandle file) { return reinterpret_cast<FILE*>(file); }

// `text` as text a seam call made (malloc).
bool Give(const char* text, os::OwnedText& out) {
  size_t size = strlen(text) + 1;
  char* made = static_cast<char*>(malloc(size));
  if (made) memcpy(made, text, size);
  out.Receive() = made;
  return made != nullptr;
}

}  // namespace

namespace os {

using check::TheWorld;

// --- os/basics.h ------------------------------------------------------------

void RestrictDllSearch() {}

void InitializeCom() {}

void UninitializeCom() {}

// Scripts are written for code page 932, whatever machine checks them.
bool IsLeadByte(uint8_t byte) { return codepage::IsLeadByte932(byte); }

uint32_t ReadProfileString(const char* /*file*/, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size) {
  check::World& world = TheWorld();
  const profile::Entry* entry = world.Script.FindKey(section, key);
  auto taken = world.TakenAs.find(profile::Lower(section) + "\n" + profile::Lower(key));
  if (!entry && taken != world.TakenAs.end()) {
    key = taken->second.c_str();
    entry = world.Script.FindKey(section, key);
  }
  uint32_t length =
      profile::StringValue(world.Script, section, key, fallback, buffer, size);
  if (Keeping())
    world.Reads.push_back(check::ScriptRead{section, key, entry, buffer,
                                            entry && entry->Value.size() > length, 0});
  return length;
}

uint32_t ReadProfileSection(const char* /*file*/, const char* section, char* buffer,
                            uint32_t size) {
  check::World& world = TheWorld();
  size_t taken = 0;
  uint32_t used = profile::SectionLines(world.Script, section, buffer, size, &taken);
  if (Keeping())
    world.Reads.push_back(check::ScriptRead{
        section, "", nullptr, "", taken < world.Script.SectionEntries(section).size(), taken});
  return used;
}

uint32_t ModuleFileName(char* buffer, uint32_t size) {
  return profile::CopyCut(TheWorld().ModulePath(), buffer, size);
}

void CurrentLocalTime(LocalTime& time) { time = LocalTime{2000, 1, 1, 0, 0, 0, 0}; }

uint32_t Milliseconds() { return 0; }
void PauseRun(uint32_t) {}

uint32_t AnsiCodePage() { return 932; }

Elevation RunElevation() { return Elevation::Unknown; }

BoxesSeen WhoSeesBoxes() { return BoxesSeen::Seen; }

// Nothing is done, so nothing fails for a reason.
uint32_t LastFailure() { return 0; }

void ClearFailure() {}

void KeepFailure(uint32_t) {}

bool FailureText(uint32_t, OwnedText&) { return false; }

bool AnsiToUtf8(const char* ansi, OwnedText& utf8) {
  // The checker's ANSI code page is the script's, 932.
  return Give(console::Utf8From932(ansi).c_str(), utf8);
}

// --- os/files.h -------------------------------------------------------------

// The script beside the program is the one file the checker's machine has.
bool FindAnyEntry(const char* pattern) {
  return profile::SameName(TheWorld().ScriptPath(), pattern);
}

Creation CreateNewFile(const char* path, FileHandle& file) {
  file = Token<FileHandle>();
  return Untouched(path) ? Creation::Created : Creation::Failed;
}

bool OpenSharingRead(const char* path, OwnedFile& file) {
  file.Receive() = Token<FileHandle>();
  return Untouched(path);
}

bool CopyIntoFile(FileHandle, FileHandle, uint32_t& attributes, BytesDone, void*, BlockConsumer,
                  void*) {
  attributes = 0x20;
  return true;
}

bool EmptyFile(FileHandle) { return true; }

Placement PlaceFile(FileHandle, const char* target, uint32_t, bool) {
  return Untouched(target) ? Placement::Placed : Placement::Refused;
}

bool DiscardFile(FileHandle, const char*) { return true; }

// Files opened to be read are real files, read where the checker reads
// files (the crc command, --src); every other handle is a token.
void CloseFile(FileHandle file) {
  if (TheWorld().OpenFiles.erase(file)) fclose(Stream(file));
}

bool OpenToRead(const char* path, OwnedFile& file, uint64_t& size) {
  if (!ReadingFiles()) return false;
  FILE* opened = fopen(path, "rb");
  if (!opened) return false;
  TheWorld().OpenFiles.insert(opened);
  file.Receive() = reinterpret_cast<FileHandle>(opened);
  if (fseek(opened, 0, SEEK_END) != 0) return false;
  long length = ftell(opened);
  if (length < 0) return false;
  size = static_cast<uint64_t>(length);
  return true;
}

bool ReadToEnd(FileHandle, BlockConsumer, void*) { return true; }

bool ReadAt(FileHandle file, uint64_t offset, void* out, uint32_t count) {
  FILE* opened = Stream(file);
  if (!TheWorld().OpenFiles.count(file) || offset > 0x7FFFFFFF) return false;
  return fseek(opened, static_cast<long>(offset), SEEK_SET) == 0 &&
         fread(out, 1, count, opened) == count;
}

Move MoveReplacing(const char* from, const char* to) {
  return Untouched(from) && Untouched(to) ? Move::Moved : Move::Failed;
}

bool MoveOneFile(const char* from, const char* to) { return Untouched(from) && Untouched(to); }

bool MoveAside(const char* from, const char* to) { return Untouched(from) && Untouched(to); }

bool RemoveAtRestart(const char* path) { return Untouched(path); }

bool RemoveEmptyDirectory(const char* path) { return Untouched(path); }

bool AttributesOf(const char* path, uint32_t& attributes) {
  attributes = 0x20;
  return Untouched(path);
}

bool IsDirectFolder(const char* path) { return Untouched(path); }

// A file to change is there, as AttributesOf says; its identity is a token
// like its handle, for no run of the checker changes a file.
bool IdentityOf(FileHandle, FileIdentity&) { return true; }

Opening OpenToChange(const char* path, OwnedFile& file, FileIdentity& identity) {
  if (!Untouched(path)) return Opening::Missing;
  file.Receive() = Token<FileHandle>();
  identity.Attributes = 0x20;
  return Opening::Opened;
}

Placement RenameOpenFile(FileHandle, const char* to) {
  return Untouched(to) ? Placement::Placed : Placement::Refused;
}

bool SetOpenFileAttributes(FileHandle, uint32_t) { return true; }

bool FullPathForAll(const char* path, OwnedText& full) { return Give(path, full); }

bool CanonicalName(const char* path, OwnedText& utf8) { return Give(path, utf8); }

bool DeleteOneFile(const char* path) { return Untouched(path); }

bool SetAttributes(const char* path, uint32_t) { return Untouched(path); }

bool MakeDirectory(const char* path) { return Untouched(path); }

bool IsExistingFile(const char*) { return false; }

bool IsExistingDirectory(const char*) { return false; }

// The stand-in is the pattern's last part, its "*" as "file", its "?" as
// "x" (no trail byte of code page 932 is either).
Listing ForEachEntry(const char* pattern, EntryVisitor visit, void* context) {
  if (!TheWorld().ListsStandIns) return Listing::Complete;
  std::string name;
  for (const char* c = pattern; *c; ++c) {
    if (*c == '\\') name.clear();
    else if (codepage::IsLeadByte932(static_cast<uint8_t>(*c)) && c[1]) name.append(c++, 2);
    else name += *c == '*' ? std::string("file") : std::string(1, *c == '?' ? 'x' : *c);
  }
  return visit(context, name.c_str(), AttributeNormal, true) ? Listing::Complete
                                                             : Listing::Stopped;
}

bool FileWriteDate(const char*, CalendarDate&) { return false; }

// No window is told of the bytes read: the checker shows none.
bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context,
                    BytesDone, void*) {
  if (!ReadingFiles()) return false;
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  std::vector<uint8_t> block(ReadBlockSize);
  unsigned long long total = 0;
  size_t count;
  while ((count = fread(block.data(), 1, block.size(), file)) > 0) {
    consume(context, block.data(), static_cast<uint32_t>(count));
    total += count;
  }
  bool read = !ferror(file) && total > 0;
  fclose(file);
  // Known only now; the checksum takes it after the last block.
  lowSize = static_cast<uint32_t>(total);
  return read;
}

// --- os/journal_support.h ---------------------------------------------------

// The journal of a run that can be undone lives in memory: no run of the
// checker leaves one behind, and none is found; what the run writes is read
// back at its end, as the updater reads it.
JournalOpening OpenJournal(const char* path, bool create, FileHandle& journal) {
  journal = Token<FileHandle>();
  if (!create) return JournalOpening::Missing;
  TheWorld().Journal.clear();
  return Untouched(path) ? JournalOpening::Opened : JournalOpening::Failed;
}

bool ReadJournal(FileHandle, BlockConsumer consume, void* context) {
  const std::string& journal = TheWorld().Journal;
  if (!journal.empty())
    consume(context, reinterpret_cast<const uint8_t*>(journal.data()),
            static_cast<uint32_t>(journal.size()));
  return true;
}

bool AppendToJournal(FileHandle, const char* bytes, uint32_t count) {
  TheWorld().Journal.append(bytes, count);
  return true;
}

bool FlushJournal(FileHandle) { return true; }

// The journals' folder is there and the run's own; its lock is always free.
FolderTrust TrustOfFolder(const char*) { return FolderTrust::Trusted; }

bool MakeProtectedFolder(const char* path, bool) { return Untouched(path); }

bool ReclaimFolder(const char* path, bool) { return Untouched(path); }

Locking TakeLock(const char*, LockScope, LockHandle& lock) {
  lock = Token<LockHandle>();
  return Locking::Taken;
}

void ReleaseLock(LockHandle) {}

bool RandomBytes(void* out, uint32_t count) {
  memset(out, 0x5A, count);
  return true;
}

// --- os/log.h ---------------------------------------------------------------

// The checker's runs keep no log.
bool OpenLog(const char*, FileHandle&) { return false; }

bool AppendToLog(FileHandle, const char*, uint32_t) { return false; }

// --- os/processes.h ---------------------------------------------------------

bool ProgramsHolding(const char*, HolderVisitor, void*, uint32_t& unlisted) {
  unlisted = 0;
  return false;
}

// Digests. A script's check reads no file, so the digest a script pins is
// taken as found; the files a command or the folder that ships gives are
// digested by Debian's libcrypto (the Windows build of the checker has
// none, and says that it cannot compute them).
struct DigestObject {
  host::Sha256State* State = nullptr;  // null where no file is read
  bool AddFailed = false;
};

void CloseDigest(DigestHandle digest) {
  host::FreeSha256(digest->State);
  delete digest;
}

bool StartDigest(DigestHandle& digest) {
  digest = new DigestObject;
  if (!ReadingFiles()) return true;
  digest->State = host::StartSha256();
  if (digest->State) return true;
  CloseDigest(digest);
  digest = nullptr;
  return false;
}

void AddToDigest(DigestHandle digest, const uint8_t* data, uint32_t count) {
  if (digest->State && !digest->AddFailed && !host::AddToSha256(digest->State, data, count))
    digest->AddFailed = true;
}

Digest FinishDigest(DigestHandle digest, const uint8_t (&expected)[DigestSize],
                    uint8_t (&found)[DigestSize]) {
  memcpy(found, expected, DigestSize);
  if (digest->State) {
    host::Sha256State* state = digest->State;
    digest->State = nullptr;
    if (!host::FinishSha256(state, found) || digest->AddFailed) return Digest::Failed;
  }
  return memcmp(found, expected, DigestSize) == 0 ? Digest::Same : Digest::Different;
}

bool StartProgram(const char*, const char* commandLine, const char* directory,
                  ProcessHandle& process) {
  process = Token<ProcessHandle>();
  return Untouched(commandLine) && Untouched(directory);
}

bool WaitForProgram(ProcessHandle, WaitFor, uint32_t& exitCode) {
  exitCode = 0;
  return true;
}

void CloseProcess(ProcessHandle) {}

// --- os/registry.h ----------------------------------------------------------

// The registry of the target machine is out of sight: no key opens to be
// read, so a test of a value finds none. An App Paths lookup is kept, so
// that the checker can say which values depend on it. A change succeeds
// and touches nothing, as a file's does: its key opens, holding no value.
bool RegistryOpen(RegistryRoot, const char* path, uint32_t access, RegistryHandle& key) {
  static const char AppPaths[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  if ((access & KeyChange) == KeyChange) {
    key = Token<RegistryHandle>();
    return true;
  }
  if (Keeping() && strncmp(path, AppPaths, sizeof AppPaths - 1) == 0) {
    const char* program = strrchr(path, '\\');
    TheWorld().AppPathLookups.push_back(
        check::AppPathLookup{program ? program + 1 : path, TheWorld().Reads.size()});
  }
  return false;
}

KeyOpening RegistryCreate(RegistryRoot, const char*, uint32_t, RegistryHandle& key) {
  key = Token<RegistryHandle>();
  return KeyOpening::Opened;
}

void RegistryClose(RegistryHandle) {}

ValueFound RegistryValueInfo(RegistryHandle, const char*, uint32_t&, uint32_t&) {
  return ValueFound::Absent;
}

bool RegistryRead(RegistryHandle, const char*, void*, uint32_t) { return false; }

bool RegistrySet(RegistryHandle, const char*, uint32_t, const void*, uint32_t) { return true; }

ValueFound RegistryDeleteValue(RegistryHandle, const char*) { return ValueFound::Absent; }

KeyRemoval RegistryRemoveEmptyKey(RegistryRoot, const char*, uint32_t) {
  return KeyRemoval::Absent;
}

bool IsSystem64Bit() { return true; }

bool CurrentUserSid(OwnedText& sid) { return Give("S-1-5-21-0-0-0-1000", sid); }

// --- os/services.h ---------------------------------------------------------

// The checker never controls a service. Every name the manager would take
// (not empty, no backslash or slash, at most 256 characters) opens, is running,
// and is at once where it is asked to go, so that only what the script
// itself says can fail.
namespace {
ServiceState g_serviceState = ServiceState::Running;
}  // namespace

void CloseServiceManager(ServiceManagerHandle) {}

void CloseService(ServiceHandle) {}

bool OpenServiceManager(ServiceManagerHandle& manager) {
  manager = Token<ServiceManagerHandle>();
  return true;
}

ServiceOpening OpenNamedService(ServiceManagerHandle, const char* name, ServiceHandle& service) {
  size_t length = strlen(name);
  if (length == 0 || length > 256 || strpbrk(name, "\\/")) return ServiceOpening::Failed;
  g_serviceState = ServiceState::Running;
  service = Token<ServiceHandle>();
  return ServiceOpening::Opened;
}

bool QueryService(ServiceHandle, ServiceStatus& status) {
  status = ServiceStatus();
  status.State = g_serviceState;
  return true;
}

ServiceAsked AskServiceToStop(ServiceHandle) {
  g_serviceState = ServiceState::Stopped;
  return ServiceAsked::Asked;
}

ServiceAsked AskServiceToStart(ServiceHandle) {
  g_serviceState = ServiceState::Running;
  return ServiceAsked::Asked;
}

bool OpenServiceProcess(uint32_t, ProcessHandle&) { return false; }

ProcessWait WaitForProcessEnd(ProcessHandle, uint32_t) { return ProcessWait::Ended; }


// --- os/shell.h -------------------------------------------------------------

bool SaveShellLink(const char* target, const char*, const char*, int, const char* linkPath) {
  if (Keeping()) TheWorld().LinkPaths.push_back(linkPath);
  return Untouched(target) && Untouched(linkPath);
}

uint32_t WindowsDirectory(char* buffer, uint32_t size) {
  return profile::CopyCut(TheWorld().WindowsDirectory, buffer, size);
}

uint32_t SystemDirectory(char* buffer, uint32_t size) {
  return profile::CopyCut(TheWorld().SystemDirectory, buffer, size);
}

uint32_t TempDirectory(char* buffer, uint32_t size) {
  return profile::CopyCut(TheWorld().TempDirectory, buffer, size);
}

uint32_t PlatformId() { return 2; }

FolderResult FolderPath(int folder, char* buffer) {
  auto found = TheWorld().Folders.find(folder);
  if (found == TheWorld().Folders.end()) return FolderResult::NoLocation;
  profile::CopyCut(found->second, buffer, FolderPathSize);
  return FolderResult::Found;
}

// --- os/trust.h -------------------------------------------------------------

// A run of the checker meets the signer it asks for: whether the file that
// ships carries it is checked apart (--src).
Signature VerifySignature(FileHandle, const char* path, const char* signer, Signer& found) {
  if (!Untouched(path)) return Signature::Unsigned;
  Give(signer, found.Utf8);
  Give(signer, found.Ansi);
  return Signature::Verified;
}

// --- os/ui.h ----------------------------------------------------------------

// The checker never shows a window.
bool OpenProgress(const char*, const char*) { return false; }

void CloseProgress() {}

void ShowProgressText(const char*) {}

void ShowRunProgress(uint32_t, uint32_t) {}

void ShowFileProgress(void*, uint64_t, uint64_t) {}

bool TakeCancelPress() { return false; }

int LoadMessageText(unsigned id, char* buffer, int size) {
  if (size <= 0) return 0;
  const char* text = catalogue::MessageText(id);
  return static_cast<int>(profile::CopyCut(text ? text : "", buffer, static_cast<uint32_t>(size)));
}

// A Japanese user's, as the bench's: LANGUAGE=AUTO reports in Japanese.
uint16_t UserUiLanguage() { return 0x0411; }

int MessageBoxUtf8(const char*, const char*, uint32_t) {
  return 0;  // no box could be shown: a MSGBOX goes on without an answer
}

}  // namespace os
