// updater-check's crc command against the updater's own CRC reports under
// Wine: the values it prints are those the report boxes show, and written
// into a CRC key they match. The Windows build of the checker expands
// patterns and tells script text in UTF-8.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

// The checksums a crc command printed, one a line, in order.
std::vector<std::string> Checksums(const std::string& output) {
  std::vector<std::string> values;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, 2, "0x") == 0) values.push_back(line.substr(0, 10));
  return values;
}

TEST(Check, CrcPrintsWhatTheUpdatersReportShows) {
  WineCase c("check_crc");
  c.InstallUpdater();
  std::string binary;
  for (int i = 0; i < 70001; ++i) binary += static_cast<char>((i * 131) ^ (i >> 7));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"abc.txt", "abc"}, {"ones.bin", std::string(30, '\x01')}, {"data.bin", binary}};
  std::string list;
  std::vector<std::string> unixPaths = {"crc"};
  std::vector<std::string> winPaths = {BuildDir() + "/updater-check.exe", "crc"};
  for (const auto& file : files) {
    c.WriteFile(file.first, file.second);
    list += (list.empty() ? "<Src>\\" : ", <Src>\\") + file.first;
    unixPaths.push_back(c.UnixPath(file.first));
    winPaths.push_back(c.WinPath(file.first));
  }
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=report\n[report]\nMODE=CRC\nFILE=" + list +
                "\nTYPE=\nCRC=\n");
  RunResult reports = c.Run();
  ASSERT_EQ(reports.boxes.size(), files.size()) << reports;
  std::vector<std::string> shown;
  for (const Box& box : reports.boxes) shown.push_back(box.text.substr(box.text.rfind(": ") + 2));

  unixPaths.insert(unixPaths.begin(), UPDATER_CHECK);
  CommandResult native = RunCommand(unixPaths);
  ASSERT_EQ(native.status, 0) << native.output;
  EXPECT_EQ(Checksums(native.output), shown) << native.output;
  EXPECT_EQ(shown[0], "0x0000012A");
  // The Windows build of the checker, as script authors there run it.
  CommandResult windows = RunWine(winPaths);
  ASSERT_EQ(windows.status, 0) << windows.output;
  EXPECT_EQ(Checksums(windows.output), shown) << windows.output;
  // A pattern is expanded as Windows' shell does not: both .bin files.
  std::vector<std::string> bins = {shown[1], shown[2]};
  CommandResult pattern = RunWine({winPaths[0], "crc", c.WinPath("*.bin")});
  std::vector<std::string> expanded = Checksums(pattern.output);
  std::sort(expanded.begin(), expanded.end());
  std::sort(bins.begin(), bins.end());
  EXPECT_EQ(expanded, bins) << pattern.output;
  // Script text reaches the output in UTF-8, from code page 932: [ソフト].
  c.WriteFile("s.ini", "[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\n[\x83\x5C\x83\x74\x83\x67]\n");
  CommandResult told = RunWine({winPaths[0], "check", c.WinPath("s.ini")});
  EXPECT_NE(told.output.find("s.ini:6: warning: section [ソフト] is named"), std::string::npos)
      << told.output;

  // Written into the script, the values match every file.
  std::string values;
  for (const std::string& value : shown) values += (values.empty() ? "" : ",") + value;
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=test,branch\n[test]\nMODE=CRC\nFILE=" + list +
                "\nTYPE=AND\nCRC=" + values +
                "\n[branch]\nMODE=SWITCH\nPROC=test\n0=\n1=same\n[same]\nMODE=MSGBOX\n"
                "FLAG=\nTYPE=INFORMATION\nTEXT=same\nISABORT=0,0\n");
  RunResult compared = c.Run();
  ASSERT_EQ(compared.boxes.size(), 1u) << compared;
  EXPECT_EQ(compared.boxes[0].text, "same");
}

}  // namespace
}  // namespace e2e
