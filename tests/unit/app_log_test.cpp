// The log blocks and the rule that decides whether a written log is opened.
#include <gtest/gtest.h>

#include <string>

#include "log_blocks.h"
#include "open_policy.h"
#include "text_table.h"

using namespace ostrelle;

namespace {

ScanHeaderFields SampleHeader() {
  ScanHeaderFields f;
  f.start = {"05.12.2026", "19:21"};
  f.currentVersion = "6.3";
  f.currentBuildNumber = "19045";
  f.productName = "Windows 10 Pro";
  f.osBitnessWord = "64bit";
  f.typeText = std::string(TableText(kTextTypeFolder, kEnglish)) + "C:\\Temp";
  f.scannerBitnessWord = "64bit";
  return f;
}

TEST(AppLogBlocks, HeaderInEnglishAndGerman) {
  EXPECT_EQ(
      "Scanstart: 05.12.2026   19:21\r\n"
      "OS-Versionnumber: 6.3.19045\r\n"
      "OS-Productname: Windows 10 Pro (64bit)\r\n"
      "Type of scan: all alternate data streams in folder C:\\Temp\r\n"
      "Version of scanner: 64bit\r\n",
      ScanHeader(SampleHeader(), kEnglish));

  ScanHeaderFields f = SampleHeader();
  f.osBitnessWord = "64Bit";
  f.scannerBitnessWord = "32Bit";
  f.typeText = TableText(kTextTypeAllProcesses, kGerman);
  EXPECT_EQ(
      "Scanstart: 05.12.2026   19:21\r\n"
      "OS-Versionsnummer: 6.3.19045\r\n"
      "OS-Produktname: Windows 10 Pro (64Bit)\r\n"
      "Scanart: Speicher aller Prozesse\r\n"
      "Version des Scanners: 32Bit\r\n",
      ScanHeader(f, kGerman));
}

TEST(AppLogBlocks, UnreadableRegistryValuesLeaveEmptyFields) {
  ScanHeaderFields f = SampleHeader();
  f.currentVersion.clear();
  f.currentBuildNumber.clear();
  f.productName.clear();
  const std::string header = ScanHeader(f, kEnglish);
  EXPECT_NE(std::string::npos, header.find("\r\nOS-Versionnumber: .\r\n"));
  EXPECT_NE(std::string::npos, header.find("\r\nOS-Productname:  (64bit)\r\n"));
}

TEST(AppLogBlocks, FooterAndEndRule) {
  const std::string rule49 = std::string(49, '#') + "\r\n\r\n";
  EXPECT_EQ(rule49, EndRule());
  const std::string report = "Process | ID\r\n-------\r\nx.exe | 4\r\n";
  EXPECT_EQ("Scan has been finished at: 03.02.2027   09:05\r\n" + std::string(48, '_') + "\r\n" +
                report + "\r\n" + rule49,
            ScanFooter({"03.02.2027", "09:05"}, report, kEnglish));
  EXPECT_EQ("Scanende: 03.02.2027   09:05\r\n" + std::string(48, '_') + "\r\n\r\n" + rule49,
            ScanFooter({"03.02.2027", "09:05"}, "", kGerman));
}

TEST(AppOpenPolicy, OnlyPlainTextLogsAreOpened) {
  struct Case {
    const char* path;
    bool open;
  } cases[] = {
      {"C:\\logs\\ASMI-Logfile.txt", true},
      {"C:\\logs\\scan.LOG", true},
      {"C:\\logs\\scan.csv", true},
      {"C:\\logs\\scan.Txt", true},
      {"C:\\my.folder\\scan.txt", true},
      {"C:\\logs\\scan.txt.", true},  // the file system drops trailing dots and blanks
      {"C:\\logs\\scan.csv . ", true},
      {"scan.txt", true},
      {"\\\\server\\share\\scan.log", true},
      // Types a viewer renders with active content, not only programs.
      {"C:\\logs\\scan.htm", false},
      {"C:\\logs\\scan.html", false},
      {"C:\\logs\\scan.svg", false},
      {"C:\\logs\\scan.mht", false},
      {"C:\\logs\\scan.xml", false},
      {"C:\\logs\\scan.rtf", false},
      {"C:\\logs\\scan.pdf", false},
      {"C:\\logs\\scan.exe", false},
      {"C:\\logs\\scan.cmd", false},
      {"C:\\logs\\scan.bat", false},
      {"C:\\logs\\scan.lnk", false},
      {"C:\\logs\\scan.js", false},
      {"C:\\logs\\scan.ps1", false},
      {"C:\\logs\\scan.txt.exe", false},
      {"C:\\logs\\scan.exe.", false},
      {"C:\\logs\\scan.txtx", false},
      {"C:\\logs\\scan.tx", false},
      {"C:\\logs\\scan.txt:run.exe", false},  // a named stream
      {"C:\\logs\\scan.exe:log.txt", false},
      {"C:scan.txt", false},      // drive-relative: the name holds a ":"
      {"C:\\logs\\scan", false},  // no extension
      {"C:\\logs.txt\\scan", false},
      {"C:\\logs\\scan.", false},
      {"C:\\logs\\.txt\\", false},
      {"", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.open, MayOpenWithShell(c.path)) << c.path;
  }
  EXPECT_EQ(".TXT", ShellExtension("C:\\a\\b.txt. "));
  EXPECT_EQ("", ShellExtension("C:\\a.b\\c"));
}

}  // namespace
