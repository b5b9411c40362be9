// COPY, LAUNCH, EXIST, SWITCH, DATE and VERSION under Wine, on real files
// and processes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <string>
#include <vector>

#include "report_texts.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("kinds_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string Note(const std::string& name, const std::string& text, const std::string& flag = "") {
  return "[" + name + "]\nMODE=MSGBOX\nFLAG=" + flag + "\nTYPE=INFORMATION\nTEXT=" + text +
         "\nISABORT=0,0\n";
}

std::string Switch(const std::string& name, const std::string& proc, const std::string& zero,
                   const std::string& one) {
  return "[" + name + "]\nMODE=SWITCH\nPROC=" + proc + "\n0=" + zero + "\n1=" + one + "\n";
}

// Every file below the case folder whose name holds `part`.
std::vector<std::string> FilesNamed(const WineCase& c, const std::string& part) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(c.UnixPath()))
    if (entry.path().filename().string().find(part) != std::string::npos)
      found.push_back(entry.path().string());
  return found;
}

TEST(Kinds, CopyReplacesATargetAndAFailedCopyLeavesNothingBehind) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("src/a.txt", std::string(100000, 'n'));
  c.WriteFile("dst/a.txt", "old");
  const std::string dir = c.WinPath();
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=c\n[c]\nMODE=COPY\nFROM=" + dir + "\\src\\a.txt, " +
                dir + "\\src\\a.txt\nTO=" + dir + "\\dst\\a.txt , " + dir + "\\nowhere\\a.txt\n");
  RunResult r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].icon, "error");
  EXPECT_EQ(r.boxes[0].text, Report(8, dir + "\\src\\a.txt", dir + "\\nowhere\\a.txt"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(c.ReadFile("dst/a.txt"), std::string(100000, 'n'));
  EXPECT_FALSE(c.Exists("nowhere"));
  EXPECT_TRUE(FilesNamed(c, "~upd").empty());
}

// A pattern takes the files of its folder whose long names match, never by
// a short name ("x.dll_old" is "X~1.DLL"); one that matches nothing is
// message 8, a digest beside it message 6, and nothing is copied.
TEST(Kinds, AWildcardItemCopiesTheFilesWhoseLongNamesMatch) {
  struct Row {
    const char* name;
    std::string from, more;
    const char* report;  // "": none; "8", "6"
  } rows[] = {
      {"dll", "\\plugins\\*.dll", "", ""},
      {"nothing", "\\plugins\\*.exe", "", "8"},
      {"digest", "\\plugins\\*.dll", "SHA256=" + std::string(64, 'a') + "\n", "6"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WineCase c(CaseName() + "_" + row.name);
    c.InstallUpdater();
    for (const char* file : {"a.dll", "B.DLL", "x.dll_old", "readme.txt"})
      c.WriteFile(std::string("plugins/") + file, file);
    const std::string from = c.WinPath() + row.from, to = c.WinPath("app\\plugins");
    c.WriteScript("[UPDATER]\nNAME=T\nPROC=c\n[c]\nMODE=COPY\nFROM=" + from + "\nTO=" + to +
                  "\n" + row.more);
    RunResult r = c.Run();
    if (!*row.report) {
      EXPECT_TRUE(r.boxes.empty()) << r;
      EXPECT_EQ(c.ReadFile("app/plugins/a.dll"), "a.dll");
      EXPECT_EQ(c.ReadFile("app/plugins/B.DLL"), "B.DLL");
      EXPECT_FALSE(c.Exists("app/plugins/x.dll_old"));
      EXPECT_FALSE(c.Exists("app/plugins/readme.txt"));
      continue;
    }
    ASSERT_EQ(r.boxes.size(), 1u) << r;
    EXPECT_EQ(r.boxes[0].text, *row.report == '8' ? Report(8, from, to)
                                                  : Report(6, std::string(64, 'a')));
    EXPECT_FALSE(c.Exists("app"));
  }
}

TEST(Kinds, LaunchStartsTheNamedProgramNotAPlantedPrefixAndWaitsForIt) {
  WineCase c(CaseName());
  c.InstallTool("launchprobe.exe", "Program Files/App/setup.exe");
  c.InstallTool("launchprobe.exe", "Program.exe");  // planted
  c.InstallUpdater();
  const std::string app = c.WinPath("Program Files\\App");
  // The probe sleeps before it writes its record: only a wait for its exit
  // lets the EXIST after it find the record.
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=run,done,branch\n[run]\nMODE=LAUNCH\nFILE=" + app +
                "\\setup.exe\nPARAM= /sleep  x \nISWAIT=1\n[done]\nMODE=EXIST\nFILE=" + app +
                "\\setup.exe.txt\n" + Switch("branch", "done", "early", "finished") +
                Note("finished", "終了") + Note("early", "早すぎ"));
  RunResult r = c.Run();
  EXPECT_EQ(Texts(r), std::vector<std::string>{"終了"}) << r;
  EXPECT_EQ(r.exitCode, 0);
  // Quoted, since the path holds blanks: the program reads its own name
  // and its parameters as written.
  EXPECT_EQ(c.ReadFile("Program Files/App/setup.exe.txt"),
            app + "\\setup.exe\n\"" + app + "\\setup.exe\" /sleep  x\n" + app + "\n");
  EXPECT_FALSE(c.Exists("Program.exe.txt"));
}

// The SHA-256 digest of the case's file `rel`, by sha256sum.
std::string Sha256Of(const WineCase& c, const std::string& rel) {
  std::string command = "sha256sum '" + c.UnixPath(rel) + "'";
  FILE* pipe = popen(command.c_str(), "r");
  char digest[65] = {};
  if (!pipe || fread(digest, 1, 64, pipe) != 64) digest[0] = 0;
  if (pipe) pclose(pipe);
  return digest;
}

// A program changed so that the CRC procedure's sum stays the same (two
// bytes 25 apart changed alike: each byte is shifted by its position modulo
// 25 and folded by exclusive or) has another SHA-256: its copy is refused
// and the installed program keeps its content, while the genuine one is
// copied and started; a LAUNCH whose digest is not its program's starts
// nothing.
TEST(Kinds, Sha256RefusesAProgramWithTheSameCrcAndStartsOnlyThePinnedOne) {
  WineCase c(CaseName());
  c.InstallTool("launchprobe.exe", "src/notes.exe");
  c.InstallUpdater();
  std::string tampered = c.ReadFile("src/notes.exe");
  ASSERT_GT(tampered.size(), 1100u);
  tampered[1000] ^= 0x5A;
  tampered[1025] ^= 0x5A;
  c.WriteFile("src/tampered.exe", tampered);
  const std::string genuine = Sha256Of(c, "src/notes.exe");
  ASSERT_EQ(genuine.size(), 64u);
  ASSERT_NE(Sha256Of(c, "src/tampered.exe"), genuine);
  c.MakeDir("app");
  const std::string dir = c.WinPath();
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=good,run,bad\n[DEFINE]\n<Notes>=" + genuine +
                "\n[good]\nMODE=COPY\nFROM=<Src>\\src\\notes.exe\nTO=<Src>\\app\\notes.exe\n"
                "SHA256=<Notes>\n[run]\nMODE=LAUNCH\nFILE=<Src>\\app\\notes.exe\nPARAM=\nISWAIT=1\n"
                "SHA256=<Notes>\n[bad]\nMODE=COPY\nFROM=<Src>\\src\\tampered.exe\n"
                "TO=<Src>\\app\\notes.exe\nSHA256=<Notes>\n");
  RunResult r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(37, dir + "\\src\\tampered.exe"));
  EXPECT_EQ(Sha256Of(c, "app/notes.exe"), genuine);
  EXPECT_TRUE(c.Exists("app/notes.exe.txt"));  // the probe's record of its start
  EXPECT_TRUE(FilesNamed(c, "~upd").empty());

  std::filesystem::remove(c.UnixPath("app/notes.exe.txt"));
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=run\n[run]\nMODE=LAUNCH\nFILE=<Src>\\app\\notes.exe\n"
                "PARAM=\nISWAIT=1\nSHA256=" + Sha256Of(c, "src/tampered.exe") + "\n");
  r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(37, dir + "\\app\\notes.exe"));
  EXPECT_FALSE(c.Exists("app/notes.exe.txt"));

  // A large file's digest is computed beside its copy, block by block in
  // order: the genuine one is copied, one changed in its last block is not.
  std::string large(20u << 20, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 2654435761u) >> 13);
  c.WriteFile("src/large.bin", large);
  large[large.size() - 3] ^= 1;
  c.WriteFile("src/large-tampered.bin", large);
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=good,bad\n[DEFINE]\n<Large>=" +
                Sha256Of(c, "src/large.bin") +
                "\n[good]\nMODE=COPY\nFROM=<Src>\\src\\large.bin\nTO=<Src>\\app\\large.bin\n"
                "SHA256=<Large>\n[bad]\nMODE=COPY\nFROM=<Src>\\src\\large-tampered.bin\n"
                "TO=<Src>\\app\\large.bin\nSHA256=<Large>\n");
  r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(37, dir + "\\src\\large-tampered.bin"));
  EXPECT_EQ(Sha256Of(c, "app/large.bin"), Sha256Of(c, "src/large.bin"));
}

TEST(Kinds, ABatchFileInAFolderWithABlankRunsItselfNotAPlantedPrefix) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("My App/x.bat", "@echo [%*]> \"%~dp0x-ran.txt\"\r\n");
  c.WriteFile("My.bat", "@echo planted> \"%~dp0planted.txt\"\r\n");
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=run\n[run]\nMODE=LAUNCH\nFILE=<Src>\\My App\\x.bat\n"
                "PARAM=/s 2\nISWAIT=1\n");
  RunResult r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  ASSERT_TRUE(c.Exists("My App/x-ran.txt"));
  EXPECT_EQ(c.ReadFile("My App/x-ran.txt").substr(0, 6), "[/s 2]");
  EXPECT_FALSE(c.Exists("planted.txt"));
}

// Targets of 254 to 259 characters are copied, the run's own file named
// to fit beside them; one of 260 is refused before anything is made.
TEST(Kinds, CopiesToTheLongestPathsLeaveNothingBehind) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("a.txt", "new");
  const std::string base = c.WinPath();
  // base\folder\ takes 249 characters: the target's name makes the rest.
  const std::string folder(247 - base.size(), 'f');
  c.MakeDir(folder);
  for (size_t length : {254, 259, 260}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 249 - 4, 't') + ".txt";
    const std::string target = base + "\\" + folder + "\\" + name;
    ASSERT_EQ(target.size(), length);
    c.WriteScript("[UPDATER]\nNAME=T\nPROC=c\n[c]\nMODE=COPY\nFROM=<Src>\\a.txt\nTO=<Src>\\" +
                  folder + "\\" + name + "\n");
    RunResult r = c.Run();
    if (length <= 259) {
      EXPECT_TRUE(r.boxes.empty()) << r;
      EXPECT_EQ(c.ReadFile(folder + "/" + name), "new");
    } else {
      ASSERT_EQ(r.boxes.size(), 1u) << r;
      EXPECT_EQ(r.boxes[0].text, Report(8, c.WinPath("a.txt"), target));
      EXPECT_FALSE(c.Exists(folder + "/" + name));
    }
    EXPECT_TRUE(FilesNamed(c, "~upd").empty());
  }
}

// A directory cannot be replaced by a file: the copy is refused and its
// file is gone.
TEST(Kinds, ACopyOntoADirectoryIsRefusedAndLeavesNothingBehind) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("a.txt", "new");
  c.WriteFile("dir/inside.txt", "kept");
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=c\n[c]\nMODE=COPY\nFROM=<Src>\\a.txt\nTO=<Src>\\dir\n");
  RunResult r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(8, c.WinPath("a.txt"), c.WinPath("dir")));
  EXPECT_EQ(c.ReadFile("dir/inside.txt"), "kept");
  EXPECT_TRUE(FilesNamed(c, "~upd").empty());
}

// ISWAIT=0 waits until a window program is ready for input; a console
// program cannot be waited for so, and is reported although it ran.
TEST(Kinds, LaunchWithoutWaitingForTheEnd) {
  WineCase c(CaseName());
  c.InstallTool("boxprobe.exe", "window.exe");
  c.InstallTool("holdfile.exe", "console.exe");
  c.InstallUpdater();
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=w,shown,k\n[w]\nMODE=LAUNCH\nFILE=<Src>\\window.exe\n"
                "PARAM=caption=probe text=ready info\nISWAIT=0\n" +
                Note("shown", "started") +
                "[k]\nMODE=LAUNCH\nFILE=<Src>\\console.exe\nPARAM=\nISWAIT=0\n");
  RunResult r = c.Run();
  std::vector<std::string> texts = Texts(r);
  ASSERT_EQ(texts.size(), 3u) << r;
  // The probe's box and the updater's own, in either order.
  EXPECT_TRUE((texts[0] == "ready" && texts[1] == "started") ||
              (texts[0] == "started" && texts[1] == "ready"))
      << r;
  EXPECT_EQ(texts[2], Report(9, c.WinPath("console.exe"), ""));
}

TEST(Kinds, ExistAndSwitchChooseTheBranch) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("data/one.dat", "1");
  const std::string data = c.WinPath("data");
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=found,s1,missing,s2\n[found]\nMODE=EXIST\nFILE=" +
                data + "\\*.dat , " + data + "\n[missing]\nMODE=EXIST\nFILE=" + data +
                "\\one.dat," + data + "\\two.dat\n" + Switch("s1", "found", "no1", "yes1") +
                Switch("s2", " missing ", "no2", "yes2,broken") + Note("yes1", "1 あり") +
                Note("no1", "1 なし") + Note("yes2", "2 あり") + Note("no2", "2 なし") +
                // Never read: it stands only in the branch not taken.
                "[broken]\nMODE=NONSENSE\n");
  RunResult r = c.Run();
  EXPECT_EQ(Texts(r), (std::vector<std::string>{"1 あり", "2 なし"})) << r;
  EXPECT_EQ(r.exitCode, 0);
}

// (A SWITCH leading back into itself: RobustInput.SwitchRecursionEndsWithAReport.)
TEST(Kinds, DeepListsRun) {
  WineCase c(CaseName());
  c.InstallUpdater();
  // 100 nested lists of 10 procedures each, all run. (Depth is what the
  // limit counts; 100 lists of 100 run as well, but each procedure costs
  // about a millisecond of profile reads here.)
  std::string tests;
  for (int i = 0; i < 9; ++i) tests += "e,";
  std::string script = "[UPDATER]\nNAME=T\nPROC=<9>s0\n[DEFINE]\n<9>=" + tests +
                       "\n[e]\nMODE=EXIST\nFILE=C:\\none\n" + Note("bottom", "底");
  for (int level = 0; level < 100; ++level) {
    std::string next = level == 99 ? "bottom" : "<9>s" + std::to_string(level + 1);
    script += Switch("s" + std::to_string(level), "e", next, "never");
  }
  c.WriteScript(script);
  RunResult r = c.Run();
  EXPECT_EQ(Texts(r), std::vector<std::string>{"底"}) << r;
  EXPECT_EQ(r.exitCode, 0);
}

TEST(Kinds, DateComparesTheLocalDayOfTheLastWrite) {
  WineCase c(CaseName());
  c.InstallUpdater();
  struct File {
    const char* name;
    const char* written;
  } files[] = {{"jun15.txt", "2001-06-15 00:30"},
               {"jun15late.txt", "2001-06-15 23:30"},
               {"jun14.txt", "2001-06-14 23:30"}};
  for (const File& file : files) {
    c.WriteFile(file.name, "x");
    CommandResult touched = RunCommand({"touch", "-d", file.written, c.UnixPath(file.name)});
    ASSERT_EQ(touched.status, 0) << touched.output;
  }
  const std::string dir = c.WinPath();
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=new,old,n,o\n[new]\nMODE=DATE\nFILE=" + dir +
                "\\jun15.txt, " + dir + "\\jun15late.txt\nDATE=2001/6/15\n[old]\nMODE=DATE\nFILE=" +
                dir + "\\jun15.txt," + dir + "\\jun14.txt\nDATE=2001/06/15\n" +
                Note("n", "new は古い", "new,1") + Note("o", "old は古い", "old,1"));
  RunResult r = c.Run();
  EXPECT_EQ(Texts(r), std::vector<std::string>{"old は古い"}) << r;
  EXPECT_EQ(r.exitCode, 0);
}

// Real programs built with the file versions 1.9, 1.10 and 2.0.0.1 (the
// one of 1.10 running), a text file and a missing file; the log has what
// was read.
TEST(Kinds, VersionComparesTheProgramsFileVersionsPartByPart) {
  WineCase c(CaseName());
  c.InstallTool("holdfile-1.9.exe", "v19.exe");
  c.InstallTool("holdfile-1.10.exe", "app/app.exe");
  c.InstallTool("holdfile-2.0.0.1.exe", "v2.exe");
  c.InstallUpdater();
  c.WriteFile("notes.txt", "notes");
  std::future<CommandResult> running = StartInBackground(
      c, {c.WinPath("app\\app.exe"), c.WinPath("running"), "read", c.WinPath("notes.txt")}, "app");
  ASSERT_TRUE(WaitFor(c, "running"));
  auto test = [](const std::string& name, const std::string& files, const std::string& version) {
    return "[" + name + "]\nMODE=VERSION\nFILE=" + files + "\nVERSION=" + version + "\n" +
           Note("is_" + name, name, name + ",1");
  };
  c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\n"
                "PROC=a,is_a,b,is_b,c,is_c,d,is_d,e,is_e,f,is_f\n" +
                test("a", "<Src>\\v19.exe", "1.10") + test("b", "<Src>\\app\\app.exe", "1.9") +
                test("c", "<Src>\\v2.exe", "2.0.0.1") +
                test("d", "<Src>\\v2.exe, <Src>\\app\\app.exe", "2") +
                test("e", "<Src>\\notes.txt", "0") + test("f", "<Src>\\none.exe", "0"));
  RunResult r = c.Run();
  std::filesystem::remove(c.UnixPath("running"));
  EXPECT_EQ(running.get().status, 0);
  EXPECT_EQ(Texts(r), (std::vector<std::string>{"a", "d", "e", "f"})) << r;
  std::string log = c.ReadFile("run.log");
  for (const std::string& line :
       {"version of \"" + c.WinPath("v19.exe") + "\": 1.9.0.0",
        "version of \"" + c.WinPath("app\\app.exe") + "\": 1.10.0.0",
        "version of \"" + c.WinPath("v2.exe") + "\": 2.0.0.1",
        "version of \"" + c.WinPath("notes.txt") + "\": none, no version information",
        "version of \"" + c.WinPath("none.exe") + "\": none, no such file"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// A test root and a code-signing certificate under it, made in `dir` with
// openssl, the root trusted in the bench's prefix (the system's Root store
// in the registry: a key named by its SHA-1 thumbprint whose Blob holds the
// certificate as a serialized property, CERT_CERT_PROP_ID), and the
// launch probe signed with it (osslsigncode) as `signed`. "" when made,
// else why not.
std::string SignedProbe(const std::string& dir, const std::string& publisher,
                        const std::string& probe, const std::string& signedProbe) {
  for (const char* tool : {"openssl", "osslsigncode"})
    if (RunCommand({"sh", "-c", std::string("command -v ") + tool}).status != 0)
      return std::string(tool) + " is not installed (tools/install.sh installs it)";
  std::filesystem::create_directories(dir);
  const std::vector<std::vector<std::string>> steps = {
      {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir + "/ca.key",
       "-out", dir + "/ca.pem", "-days", "30", "-subj", "/CN=Updater Test Root", "-addext",
       "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"},
      {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", dir + "/leaf.key", "-out",
       dir + "/leaf.csr", "-utf8", "-subj", "/CN=" + publisher + "/O=Updater Tests"},
      {"sh", "-c",
       "printf 'basicConstraints=CA:FALSE\\nkeyUsage=critical,digitalSignature\\n"
       "extendedKeyUsage=codeSigning\\n' > '" + dir + "/leaf.ext'"},
      {"openssl", "x509", "-req", "-in", dir + "/leaf.csr", "-CA", dir + "/ca.pem", "-CAkey",
       dir + "/ca.key", "-CAcreateserial", "-days", "30", "-extfile", dir + "/leaf.ext", "-out",
       dir + "/leaf.pem"},
      {"openssl", "x509", "-in", dir + "/ca.pem", "-outform", "DER", "-out", dir + "/ca.der"},
      {"osslsigncode", "sign", "-certs", dir + "/leaf.pem", "-key", dir + "/leaf.key", "-ac",
       dir + "/ca.pem", "-h", "sha256", "-in", probe, "-out", signedProbe},
  };
  for (const auto& step : steps) {
    CommandResult r = RunCommand(step);
    if (r.status != 0) return step[0] + " " + step[1] + " failed: " + r.output;
  }
  std::ifstream in(dir + "/ca.der", std::ios::binary);
  std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CommandResult print = RunCommand({"openssl", "x509", "-in", dir + "/ca.pem", "-noout",
                                    "-fingerprint", "-sha1"});
  std::string thumbprint;
  for (char ch : print.output.substr(print.output.find('=') + 1))
    if (isxdigit(static_cast<unsigned char>(ch))) thumbprint += static_cast<char>(toupper(ch));
  // The property's id, a reserved 1 and the length, little-endian, then the certificate.
  std::string blob;
  char hex[3];
  auto add = [&](unsigned char byte) {
    snprintf(hex, sizeof hex, "%02X", byte);
    blob += hex;
  };
  for (uint32_t word : {32u, 1u, static_cast<uint32_t>(der.size())})
    for (int shift = 0; shift < 32; shift += 8) add(static_cast<unsigned char>(word >> shift));
  for (char byte : der) add(static_cast<unsigned char>(byte));
  CommandResult trusted = RegAdd({"HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\"
                                  "Certificates\\" + thumbprint,
                                  "/v", "Blob", "/t", "REG_BINARY", "/d", blob});
  return trusted.status == 0 ? "" : "the test root could not be trusted: " + trusted.output;
}

// SIGNER under Wine: the system's signature check on a program signed in
// the test, through the handle that the copy reads and the start holds.
// The publisher's name holds Japanese and a comma.
TEST(Kinds, SignerPassesTheNamedPublishersProgramAndRefusesTheOthers) {
  WineCase c(CaseName());
  const std::string publisher = "テスト発行元, Inc.";
  c.InstallTool("launchprobe.exe", "unsigned.exe");
  std::string why = SignedProbe(c.UnixPath("pki"), publisher, c.UnixPath("unsigned.exe"),
                                c.UnixPath("signed.exe"));
  if (!why.empty()) GTEST_SKIP() << why;
  std::string tampered = c.ReadFile("signed.exe");
  tampered[0x400] = static_cast<char>(tampered[0x400] ^ 1);  // in the first section's code
  c.WriteFile("tampered.exe", tampered);
  c.WriteFile("app/keep.exe", "old");
  c.InstallUpdater();
  const std::string dir = c.WinPath();
  auto run = [&](const std::string& sections, const std::string& procs = "p") {
    c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=" + procs + "\n[p]\n" + sections);
    return c.Run();
  };
  // Copied and started as its signer's.
  RunResult r = run("MODE=COPY\nFROM=<Src>\\signed.exe\nTO=<Src>\\app\\signed.exe\nSIGNER=" +
                        publisher + "\n[l]\nMODE=LAUNCH\nFILE=<Src>\\app\\signed.exe\n"
                        "PARAM=\nISWAIT=1\nSIGNER=" + publisher + "\n",
                    "p,l");
  EXPECT_TRUE(r.boxes.empty()) << r;
  EXPECT_TRUE(c.Exists("app/signed.exe.txt"));
  std::string log = c.ReadFile("run.log");
  for (const char* file : {"\\signed.exe", "\\app\\signed.exe"})
    EXPECT_NE(log.find("signature of \"" + dir + file + "\": signed by " + publisher),
              std::string::npos)
        << log;
  // Another publisher named, no signature, a signature that does not verify.
  struct Refusal {
    std::string sections;
    std::string report;
  } refusals[] = {
      {"MODE=LAUNCH\nFILE=<Src>\\signed.exe\nPARAM=\nISWAIT=1\nSIGNER=Tesuto Inc.\n",
       Report(45, dir + "\\signed.exe", publisher)},
      {"MODE=LAUNCH\nFILE=<Src>\\unsigned.exe\nPARAM=\nISWAIT=1\nSIGNER=" + publisher + "\n",
       Report(39, dir + "\\unsigned.exe")},
      {"MODE=COPY\nFROM=<Src>\\tampered.exe\nTO=<Src>\\app\\keep.exe\nSIGNER=" + publisher + "\n",
       Report(43, dir + "\\tampered.exe")},
  };
  for (const Refusal& refusal : refusals) {
    r = run(refusal.sections);
    EXPECT_EQ(Texts(r), std::vector<std::string>{refusal.report}) << r;
  }
  EXPECT_FALSE(c.Exists("signed.exe.txt"));
  EXPECT_FALSE(c.Exists("unsigned.exe.txt"));
  EXPECT_EQ(c.ReadFile("app/keep.exe"), "old");
  EXPECT_TRUE(FilesNamed(c, "~upd").empty());
}

}  // namespace
}  // namespace e2e
