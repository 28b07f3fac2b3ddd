// The machine facts of the log header, the version information and the
// user's date and time separators.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdint>
#include <string>

#include "platform/Locale.h"
#include "platform/MachineInfo.h"
#include "platform/VersionInfo.h"
#include "platform/linux/ProcFiles.h"

namespace lumaren::platform {
namespace {

TEST(VersionInfo, BuildStampsTheProjectsIdentity) {
  const TVersionInfo info = ReadVersionInfo();
  EXPECT_EQ(info.CompanyName, "Tivora");
  EXPECT_EQ(info.ProductName, "Lumaren");
  EXPECT_EQ(info.FileVersion, "1.0.4.0");
  EXPECT_EQ(info.ProductVersion, "1.0.0.0");
}

TEST(ProcFiles, OsReleasePrettyName) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
       "Debian GNU/Linux 12 (bookworm)"},
      {"PRETTY_NAME='Single Quoted 1.0'\n", "Single Quoted 1.0"},
      {"PRETTY_NAME=Unquoted\n", "Unquoted"},
      {"PRETTY_NAME=\"Say \\\"hi\\\" \\\\ \\$HOME\"\n", "Say \"hi\" \\ $HOME"},  // shell escapes
      {"# PRETTY_NAME=\"commented\"\nNAME=x\n", ""},
      {"NAME=x\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(linux_files::OsReleasePrettyName(c.text), c.expected);
  }
}

// Two sockets, two cores each, two threads per core: 8 processors, 4 cores.
const char* const CON_TwoSocketCpuInfo =
    "processor\t: 0\nmodel name\t: Example CPU 9000\nphysical id\t: 0\ncore id\t\t: 0\n\n"
    "processor\t: 1\nmodel name\t: Example CPU 9000\nphysical id\t: 0\ncore id\t\t: 1\n\n"
    "processor\t: 2\nmodel name\t: Example CPU 9000\nphysical id\t: 1\ncore id\t\t: 0\n\n"
    "processor\t: 3\nmodel name\t: Example CPU 9000\nphysical id\t: 1\ncore id\t\t: 1\n\n"
    "processor\t: 4\nmodel name\t: Example CPU 9000\nphysical id\t: 0\ncore id\t\t: 0\n\n"
    "processor\t: 5\nmodel name\t: Example CPU 9000\nphysical id\t: 0\ncore id\t\t: 1\n\n"
    "processor\t: 6\nmodel name\t: Example CPU 9000\nphysical id\t: 1\ncore id\t\t: 0\n\n"
    "processor\t: 7\nmodel name\t: Example CPU 9000\nphysical id\t: 1\ncore id\t\t: 1\n\n";

const char* const CON_ArmCpuInfo =
    "processor\t: 0\nBogoMIPS\t: 108.00\nCPU part\t: 0xd08\n\n"
    "processor\t: 1\nBogoMIPS\t: 108.00\nCPU part\t: 0xd08\n\n"
    "Hardware\t: Example Board Rev 2\n";

TEST(ProcFiles, CpuInfo) {
  EXPECT_EQ(linux_files::CpuInfoModelName(CON_TwoSocketCpuInfo), "Example CPU 9000");
  EXPECT_EQ(linux_files::CpuInfoPhysicalCores(CON_TwoSocketCpuInfo), 4);
  EXPECT_EQ(linux_files::CpuInfoModelName(CON_ArmCpuInfo), "Example Board Rev 2");
  EXPECT_EQ(linux_files::CpuInfoPhysicalCores(CON_ArmCpuInfo), 0);  // left to the sysfs topology
}

TEST(ProcFiles, MemInfoBytes) {
  const std::string memInfo =
      "MemTotal:       16303580 kB\nMemFree:          512000 kB\nMemAvailable:   10000000 kB\n"
      "HugePages_Total:       0\n";
  EXPECT_EQ(linux_files::MemInfoBytes(memInfo, "MemTotal"), 16303580LL * 1024);
  EXPECT_EQ(linux_files::MemInfoBytes(memInfo, "MemAvailable"), 10000000LL * 1024);
  EXPECT_EQ(linux_files::MemInfoBytes(memInfo, "HugePages_Total"), 0);
  EXPECT_EQ(linux_files::MemInfoBytes(memInfo, "Mem"), -1);  // whole keys only
  EXPECT_EQ(linux_files::MemInfoBytes("MemTotal: 99999999999999999 kB\n", "MemTotal"), -1);  // would overflow
}

TEST(Locale, FormatSeparator) {
  struct Case {
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {"%d.%m.%Y", "."},     // German
      {"%m/%d/%y", "/"},     // C, US
      {"%D", "/"},           // %m/%d/%y
      {"%F", "-"},           // %Y-%m-%d
      {"%Y-%m-%d", "-"},
      {"%-d.%-m.%Y", "."},   // flags before the conversion
      {"%Oe.%Om.%EY", "."},  // alternative-digit modifiers
      {"%Y. %m. %d.", ". "},
      {"%H:%M:%S", ":"},
      {"%T", ":"},           // %H:%M:%S
      {"%r", ":"},           // %I:%M:%S %p
      {"%H.%M.%S", "."},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", ""},  // words, not separators
      {"%d de %B de %Y", ""},
      {"%d%m%Y", ""},
      {"%Y", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatSeparator(c.format), c.expected);
  }
}

TEST(MachineInfo, ReadsThisMachine) {
  const TMachineFacts facts = ReadMachineFacts();
  const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
  EXPECT_EQ(facts.ProgramFilePath, self.toStdString());
  EXPECT_FALSE(facts.OSName.empty());
  EXPECT_FALSE(facts.CPUName.empty());
  EXPECT_GE(facts.CPUCores, 1);
  EXPECT_LE(facts.CPUCores, 255);
  EXPECT_GT(facts.RAMTotal, 0);
  EXPECT_GT(facts.RAMFree, 0);
  EXPECT_LE(facts.RAMFree, facts.RAMTotal);
  EXPECT_FALSE(facts.ComputerName.empty());
  EXPECT_FALSE(facts.UserName.empty());
  ASSERT_EQ(facts.Monitors.size(), static_cast<std::size_t>(QGuiApplication::screens().size()));
  for (const TMonitorInfo& m : facts.Monitors) {
    EXPECT_GT(m.Width, 0);
    EXPECT_GT(m.Height, 0);
    EXPECT_GE(m.Handle, 0);
    EXPECT_LE(m.Handle, INT32_MAX);
  }
  // The same screen gets the same number on every reading.
  ASSERT_FALSE(facts.Monitors.empty());
  EXPECT_EQ(ReadMonitors().front().Handle, facts.Monitors.front().Handle);
}

}  // namespace
}  // namespace lumaren::platform
