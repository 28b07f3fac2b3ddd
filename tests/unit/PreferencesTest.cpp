// The preferences record and its file: defaults, every fallback of the
// reader, the exact shape of the written file, and a save that can fail
// without harming the file that was there.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>

#include "config/uAtomicFile.h"
#include "config/uPreferences.h"
#include "support/TChildProcess.h"
#include "support/TFakeFormWindow.h"
#include "support/TLogCapture.h"
#include "support/TTempDir.h"

namespace lumaren {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::vector<std::string> FolderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool AnyContains(const std::vector<std::string>& texts, std::initializer_list<std::string> parts) {
  for (const auto& text : texts) {
    bool all = true;
    for (const auto& part : parts) all = all && text.find(part) != std::string::npos;
    if (all) return true;
  }
  return false;
}

class PreferencesTest : public ::testing::Test {
 protected:
  test::TLogCapture log;
  test::TTempDir dir;
  test::TFakeFormWindow window;
  platform::TFormWindow* slot = &window;
  TPreferences prefs{&slot};
  fs::path file = dir / CON_PreferencesFileName;

  void SetUp() override { prefs.FileName = file.string(); }

  // Loads a file holding exactly text.
  void LoadText(const std::string& text) {
    WriteText(file, text);
    prefs.Load();
  }

  void ExpectDefaults(const TPreferences& p) {
    EXPECT_EQ(p.BgColour, 0);
    EXPECT_EQ(p.FontColour, 0xFFFFFF);
    EXPECT_EQ(p.FontName, "Courier New");
    EXPECT_EQ(p.Group(), 1);
    EXPECT_EQ(p.HeartbeatInterval, 1000);
    EXPECT_EQ(p.DiscoveryPort, 1965);
    EXPECT_EQ(p.LocalPort, 0);
    EXPECT_EQ(p.NodeName(), "Lumaren");
  }
};

TEST_F(PreferencesTest, BeforeTheFirstLoadEveryFieldIsEmpty) {
  TPreferences fresh(&slot);
  EXPECT_EQ(fresh.NodeName(), "");
  EXPECT_EQ(fresh.Group(), 0);
  EXPECT_EQ(fresh.BgColour, 0);
  EXPECT_EQ(fresh.FontColour, 0);
  EXPECT_EQ(fresh.FontName, "");
  EXPECT_EQ(fresh.DiscoveryPort, 0);
  EXPECT_EQ(fresh.LocalPort, 0);
  EXPECT_EQ(fresh.HeartbeatInterval, 0);
  EXPECT_EQ(fresh.FileName, "");
  EXPECT_EQ(fresh.NetworkAdapter, "");
  EXPECT_FALSE(fresh.Modified());
  // The placement starts usable, from its Default values.
  EXPECT_EQ(fresh.MainFormPos.Height, 300);
  EXPECT_EQ(fresh.MainFormPos.Width, 400);
}

TEST_F(PreferencesTest, LoadDefaultsLeavesAdapterFileNamePlacementAndModified) {
  prefs.NetworkAdapter = "eth0";
  prefs.MainFormPos.Left = 77;
  prefs.SetModified(true);
  prefs.LoadDefaults();
  ExpectDefaults(prefs);
  EXPECT_EQ(prefs.NetworkAdapter, "eth0");
  EXPECT_EQ(prefs.FileName, file.string());
  EXPECT_EQ(prefs.MainFormPos.Left, 77);
  EXPECT_TRUE(prefs.Modified());
}

TEST_F(PreferencesTest, LoadWithoutAFileGivesTheDefaultsAndReportsNothing) {
  for (const std::string& name : {std::string(), file.string()}) {
    SCOPED_TRACE("FileName: " + name);
    prefs.FileName = name;
    prefs.SetNodeName("Other");
    prefs.NetworkAdapter = "eth0";
    prefs.MainFormPos.Top = -9;
    prefs.SetModified(true);
    prefs.Load();
    ExpectDefaults(prefs);
    EXPECT_EQ(prefs.NetworkAdapter, "eth0");
    EXPECT_EQ(prefs.MainFormPos.Top, -9);
    EXPECT_TRUE(prefs.Modified());
  }
  EXPECT_TRUE(log.Errors().empty());
}

TEST_F(PreferencesTest, SaveThenLoadRestoresEveryField) {
  struct Case {
    TColor font, bg;
  };
  for (const Case c : {Case{0, 0xFFFFFF}, Case{0xFFFFFF, 0}, Case{0x123456, 0xABCDEF}}) {
    SCOPED_TRACE(c.font);
    prefs.LoadDefaults();
    prefs.SetNodeName("Stage left\r\nrow 2\rend");
    prefs.SetGroup(255);
    prefs.DiscoveryPort = 65535;
    prefs.LocalPort = 40123;
    prefs.HeartbeatInterval = 0;
    prefs.NetworkAdapter = "enp3s0 \"wired\" & <more>";
    prefs.FontName = "DejaVu Sans Mono";
    prefs.FontColour = c.font;
    prefs.BgColour = c.bg;
    prefs.MainFormPos.Top = -20;
    prefs.MainFormPos.Left = 1930;
    prefs.MainFormPos.Height = 480;
    prefs.MainFormPos.Width = 640;
    prefs.MainFormPos.Open = true;
    prefs.MainFormPos.Maximised = true;
    prefs.SetModified(true);
    ASSERT_TRUE(prefs.Save());
    EXPECT_FALSE(prefs.Modified());

    TPreferences loaded(&slot);
    loaded.FileName = file.string();
    loaded.SetModified(true);
    loaded.Load();
    EXPECT_FALSE(loaded.Modified());
    EXPECT_EQ(loaded.NodeName(), "Stage left\r\nrow 2\rend");
    EXPECT_EQ(loaded.Group(), 255);
    EXPECT_EQ(loaded.DiscoveryPort, 65535);
    EXPECT_EQ(loaded.LocalPort, 40123);
    EXPECT_EQ(loaded.HeartbeatInterval, 0);
    EXPECT_EQ(loaded.NetworkAdapter, prefs.NetworkAdapter);
    EXPECT_EQ(loaded.FontName, "DejaVu Sans Mono");
    EXPECT_EQ(loaded.FontColour, c.font);
    EXPECT_EQ(loaded.BgColour, c.bg);
    EXPECT_EQ(loaded.MainFormPos.Top, -20);
    EXPECT_EQ(loaded.MainFormPos.Left, 1930);
    EXPECT_EQ(loaded.MainFormPos.Height, 480);
    EXPECT_EQ(loaded.MainFormPos.Width, 640);
    EXPECT_TRUE(loaded.MainFormPos.Open);
    EXPECT_TRUE(loaded.MainFormPos.Maximised);
  }
  EXPECT_TRUE(log.Errors().empty());
}

TEST_F(PreferencesTest, WrittenFileHasItsExactShape) {
  prefs.LoadDefaults();
  prefs.NetworkAdapter = "lan0";
  prefs.SetNodeName("A\r\nB");
  prefs.FontColour = 0x0000FF;  // red
  prefs.MainFormPos.Top = 5;
  prefs.MainFormPos.Left = -6;
  prefs.MainFormPos.Open = true;
  ASSERT_TRUE(prefs.Save());
  EXPECT_EQ(ReadWholeFile(file.string()),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<Settings>\n"
            "  <Windows>\n"
            "    <fmMain Top=\"5\" Left=\"-6\" Height=\"300\" Width=\"400\" Open=\"-1\" Maximised=\"0\" />\n"
            "  </Windows>\n"
            "  <Network>\n"
            "    <Adapter>lan0</Adapter>\n"
            "    <DiscoveryPort>1965</DiscoveryPort>\n"
            "    <LocalPort>0</LocalPort>\n"
            "  </Network>\n"
            "  <Options>\n"
            "    <NodeName>A&amp;#xD;B</NodeName>\n"
            "    <Group>1</Group>\n"
            "    <HeartbeatInterval>1000</HeartbeatInterval>\n"
            "    <Font Name=\"Courier New\" FontColour=\"FF0000\" BGColour=\"000000\" />\n"
            "  </Options>\n"
            "</Settings>\n");
}

TEST_F(PreferencesTest, EmptyAdapterIsLeftOutAndReadsBackEmpty) {
  prefs.LoadDefaults();
  ASSERT_TRUE(prefs.Save());
  EXPECT_EQ(ReadWholeFile(file.string()).find("Adapter"), std::string::npos);
  prefs.NetworkAdapter = "eth0";
  prefs.Load();
  EXPECT_EQ(prefs.NetworkAdapter, "");
}

TEST_F(PreferencesTest, SaveBuildsANewDocument) {
  WriteText(file, "<Settings><Extra>kept?</Extra><Options><NodeName>Old</NodeName></Options></Settings>");
  prefs.Load();
  ASSERT_TRUE(prefs.Save());
  const std::string text = ReadWholeFile(file.string());
  EXPECT_EQ(text.find("Extra"), std::string::npos);
  EXPECT_NE(text.find("<NodeName>Old</NodeName>"), std::string::npos);
}

// Each row: a file, and what Load makes of it.
TEST_F(PreferencesTest, ReadingFallsBackPerElement) {
  struct Case {
    const char* what;
    const char* xml;
    std::function<void(const TPreferences&)> check;
  };
  const Case cases[] = {
      {"any root name", "<Other><Options><Group>7</Group></Options></Other>",
       [](const TPreferences& p) { EXPECT_EQ(p.Group(), 7); }},
      {"Options without NodeName", "<Settings><Options/></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.NodeName(), "Tivora"); }},
      {"blank NodeName", "<Settings><Options><NodeName> \t </NodeName></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.NodeName(), "Tivora"); }},
      {"NodeName with blanks around", "<Settings><Options><NodeName>  Hall 2 </NodeName></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.NodeName(), "Hall 2"); }},
      {"no Options at all", "<Settings/>",
       [](const TPreferences& p) { EXPECT_EQ(p.NodeName(), "Lumaren"); }},
      {"Group 300", "<Settings><Options><Group>300</Group></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.Group(), 255); }},
      {"Group -4", "<Settings><Options><Group>-4</Group></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.Group(), 0); }},
      {"Group text", "<Settings><Options><Group>ten</Group></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.Group(), 1); }},
      {"DiscoveryPort text", "<Settings><Network><DiscoveryPort>port</DiscoveryPort></Network></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.DiscoveryPort, 1965); }},
      {"LocalPort absent", "<Settings><Network><DiscoveryPort>2000</DiscoveryPort></Network></Settings>",
       [](const TPreferences& p) {
         EXPECT_EQ(p.DiscoveryPort, 2000);
         EXPECT_EQ(p.LocalPort, 0);
       }},
      {"HeartbeatInterval text", "<Settings><Options><HeartbeatInterval>fast</HeartbeatInterval></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.HeartbeatInterval, 1000); }},
      {"Font under the root", R"(<Settings><Font Name="Arial" FontColour="FF0000" BGColour="FFFFFF"/></Settings>)",
       [](const TPreferences& p) {
         EXPECT_EQ(p.FontName, "Courier New");
         EXPECT_EQ(p.FontColour, 0xFFFFFF);
         EXPECT_EQ(p.BgColour, 0);
       }},
      {"FontColour FF0000 is red", R"(<Settings><Options><Font FontColour="FF0000"/></Options></Settings>)",
       [](const TPreferences& p) { EXPECT_EQ(p.FontColour, 0x0000FF); }},
      {"FontColour 808080", R"(<Settings><Options><Font FontColour="808080"/></Options></Settings>)",
       [](const TPreferences& p) { EXPECT_EQ(p.FontColour, 0x808080); }},
      {"FontColour of five digits", R"(<Settings><Options><Font FontColour="0000F" BGColour="12"/></Options></Settings>)",
       [](const TPreferences& p) {
         EXPECT_EQ(p.FontColour, 0xFFFFFF);
         EXPECT_EQ(p.BgColour, 0);
       }},
      {"BGColour 0000FF is blue", R"(<Settings><Options><Font BGColour="0000FF"/></Options></Settings>)",
       [](const TPreferences& p) { EXPECT_EQ(p.BgColour, 0xFF0000); }},
      {"Font without Name", R"(<Settings><Options><Font FontColour="000000"/></Options></Settings>)",
       [](const TPreferences& p) {
         EXPECT_EQ(p.FontName, "Courier New");
         EXPECT_EQ(p.FontColour, 0);
       }},
      {"Font with an empty Name", R"(<Settings><Options><Font Name=""/></Options></Settings>)",
       [](const TPreferences& p) { EXPECT_EQ(p.FontName, ""); }},
      {"the first of two elements counts",
       "<Settings><Options><Group>3</Group><Group>4</Group></Options><Options><Group>5</Group></Options></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.Group(), 3); }},
      {"Network without Adapter empties it", "<Settings><Network/></Settings>",
       [](const TPreferences& p) { EXPECT_EQ(p.NetworkAdapter, ""); }},
      {"no Network keeps the adapter", "<Settings/>",
       [](const TPreferences& p) { EXPECT_EQ(p.NetworkAdapter, "before"); }},
      {"no Windows keeps the placement", "<Settings/>",
       [](const TPreferences& p) { EXPECT_EQ(p.MainFormPos.Left, 4321); }},
      {"Windows with the element", R"(<Settings><Windows><fmMain Left="12"/></Windows></Settings>)",
       [](const TPreferences& p) {
         EXPECT_EQ(p.MainFormPos.Left, 12);
         EXPECT_EQ(p.MainFormPos.Width, 400);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    prefs.NetworkAdapter = "before";
    prefs.MainFormPos.Left = 4321;
    prefs.SetModified(true);
    LoadText(c.xml);
    c.check(prefs);
    EXPECT_FALSE(prefs.Modified());
  }
  EXPECT_TRUE(log.Errors().empty()) << log.Errors().front();
}

TEST_F(PreferencesTest, OutOfRangePortsAndIntervalAreReplacedAndReported) {
  struct Case {
    const char* xml;
    const char* field;
    const char* value;
  };
  const Case cases[] = {
      {"<S><Network><DiscoveryPort>70000</DiscoveryPort></Network></S>", "DiscoveryPort", "70000"},
      {"<S><Network><DiscoveryPort>-1</DiscoveryPort></Network></S>", "DiscoveryPort", "-1"},
      {"<S><Network><LocalPort>65536</LocalPort></Network></S>", "LocalPort", "65536"},
      {"<S><Network><LocalPort>-2147483648</LocalPort></Network></S>", "LocalPort", "-2147483648"},
      {"<S><Options><HeartbeatInterval>-5</HeartbeatInterval></Options></S>", "HeartbeatInterval", "-5"},
  };
  std::size_t errors = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    LoadText(c.xml);
    EXPECT_EQ(prefs.DiscoveryPort, 1965);
    EXPECT_EQ(prefs.LocalPort, 0);
    EXPECT_EQ(prefs.HeartbeatInterval, 1000);
    const auto logged = log.Errors();
    ASSERT_EQ(logged.size(), ++errors);
    EXPECT_TRUE(AnyContains({logged.back()}, {c.field, c.value})) << logged.back();
  }
  // The edges of the ranges are taken without a word.
  LoadText("<S><Network><DiscoveryPort>0</DiscoveryPort><LocalPort>65535</LocalPort></Network>"
           "<Options><HeartbeatInterval>0</HeartbeatInterval></Options></S>");
  EXPECT_EQ(prefs.DiscoveryPort, 0);
  EXPECT_EQ(prefs.LocalPort, 65535);
  EXPECT_EQ(prefs.HeartbeatInterval, 0);
  EXPECT_EQ(log.Errors().size(), errors);
}

TEST_F(PreferencesTest, DamagedFileIsKeptAsideAndTheDefaultsStand) {
  const std::string damaged = "<Settings><Options><NodeName>Half";
  WriteText(file, damaged);
  prefs.SetNodeName("Before");
  prefs.SetModified(true);
  EXPECT_NO_THROW(prefs.Load());
  ExpectDefaults(prefs);
  EXPECT_TRUE(prefs.Modified());
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"Preferences.xml.bad"});
  EXPECT_EQ(ReadWholeFile(file.string() + ".bad"), damaged);
  ASSERT_EQ(log.Errors().size(), 1u);
  EXPECT_TRUE(AnyContains(log.Errors(), {file.string(), "Preferences.xml.bad"})) << log.Errors().front();

  // Closing writes a fresh file beside the kept one.
  ASSERT_TRUE(prefs.Save());
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"Preferences.xml", "Preferences.xml.bad"}));
  EXPECT_EQ(ReadWholeFile(file.string() + ".bad"), damaged);
}

TEST_F(PreferencesTest, UnreadableFileLeavesTheDefaultsAndAnEntry) {
  fs::create_directory(file);  // exists, but cannot be read as a file
  prefs.Load();
  ExpectDefaults(prefs);
  ASSERT_EQ(log.Errors().size(), 1u);
  EXPECT_NE(log.Errors().front().find(file.string()), std::string::npos) << log.Errors().front();
}

TEST_F(PreferencesTest, SaveWithoutAFileNameWritesNothing) {
  prefs.LoadDefaults();
  prefs.FileName.clear();
  prefs.SetModified(true);
  int calls = 0;
  prefs.SetOnModifiedChanged([&](TPreferences&) { ++calls; });
  EXPECT_FALSE(prefs.Save());
  EXPECT_TRUE(prefs.Modified());
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(FolderNames(dir.Path()).empty());
  EXPECT_TRUE(log.Errors().empty());
}

TEST_F(PreferencesTest, ColoursWithoutAFileFormStillSave) {
  struct Case {
    TColor value;
    const char* written;
  };
  const Case cases[] = {
      {clNone, "FFFFFF"},       // top byte set: its red, green and blue
      {0x01123456, "563412"},
      {-16, "FFFFFF"},          // a system colour reference: the default
      {std::numeric_limits<TColor>::min(), "FFFFFF"},
  };
  prefs.LoadDefaults();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    prefs.FontColour = c.value;
    ASSERT_TRUE(prefs.Save());
    const std::string text = ReadWholeFile(file.string());
    EXPECT_NE(text.find(std::string("FontColour=\"") + c.written + "\""), std::string::npos) << text;
    // The value in memory is not changed by saving.
    EXPECT_EQ(prefs.FontColour, c.value);
  }
  prefs.BgColour = -1;
  ASSERT_TRUE(prefs.Save());
  EXPECT_NE(ReadWholeFile(file.string()).find("BGColour=\"000000\""), std::string::npos);
}

TEST_F(PreferencesTest, FailedSaveReportsAndLeavesModified) {
  prefs.LoadDefaults();
  prefs.FileName = (dir / "missing" / CON_PreferencesFileName).string();
  prefs.SetModified(true);
  EXPECT_FALSE(prefs.Save());
  EXPECT_TRUE(prefs.Modified());
  ASSERT_EQ(log.Errors().size(), 1u);
  EXPECT_NE(log.Errors().front().find(prefs.FileName), std::string::npos) << log.Errors().front();
}

TEST_F(PreferencesTest, SaveWithoutTheWindowReportsAndDoesNotRaise) {
  prefs.LoadDefaults();
  slot = nullptr;
  EXPECT_FALSE(prefs.Save());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(log.Errors().size(), 1u);
}

// A file size limit stops the write part way, as a full disk does, and
// root is not exempt from it.
TEST_F(PreferencesTest, ShortWriteKeepsTheOldFile) {
  prefs.LoadDefaults();
  ASSERT_TRUE(prefs.Save());
  const std::string old = ReadWholeFile(file.string());
  const int code = test::RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64, 64};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    prefs.SetNodeName("A new name that is never written");
    prefs.SetModified(true);
    if (prefs.Save()) return 1;
    return prefs.Modified() ? 0 : 3;
  });
  EXPECT_EQ(code, 0) << "1: reported success, 3: Modified cleared";
  EXPECT_EQ(ReadWholeFile(file.string()), old);
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"Preferences.xml"});
}

// A real full disk: a small tmpfs in a private mount namespace, filled up.
TEST_F(PreferencesTest, FullDiskKeepsTheOldFile) {
  const fs::path mountPoint = dir / "disk";
  fs::create_directory(mountPoint);
  const std::string path = (mountPoint / CON_PreferencesFileName).string();
  const int code = test::RunInChild([&] {
    const std::string reason = test::MountPrivateTmpfs(mountPoint.string(), 64 * 1024);
    if (!reason.empty()) {
      std::fprintf(stderr, "%s\n", reason.c_str());
      return test::CON_ChildSkipped;
    }
    prefs.FileName = path;
    prefs.LoadDefaults();
    if (!prefs.Save()) return 2;
    const std::string old = ReadWholeFile(path);
    if (!test::FillFileSystem(mountPoint.string())) return 3;
    prefs.SetNodeName("A new name that is never written");
    prefs.SetModified(true);
    if (prefs.Save()) return 4;
    if (!prefs.Modified()) return 5;
    if (ReadWholeFile(path) != old) return 6;
    if (FolderNames(mountPoint) != std::vector<std::string>{"Preferences.xml", "filler"}) return 7;
    TPreferences reread(&slot);
    reread.FileName = path;
    reread.Load();
    return reread.NodeName() == "Lumaren" ? 0 : 8;
  });
  if (code == test::CON_ChildSkipped) GTEST_SKIP() << "no private tmpfs can be mounted here (needs root)";
  EXPECT_EQ(code, 0) << "2: first save failed, 3: disk did not fill, 4: reported success, "
                        "5: Modified cleared, 6: old file changed, 7: temporary left, 8: old file unreadable";
  // The mount was the child's alone.
  EXPECT_TRUE(fs::is_empty(mountPoint));
}

TEST_F(PreferencesTest, NodeNameIsTrimmedAndNeverEmpty) {
  const std::pair<std::string, std::string> cases[] = {
      {"Hall", "Hall"},
      {"  Hall  ", "Hall"},
      {"\t\r\nHall\r\n", "Hall"},
      {"Hall 1\r\nDoor", "Hall 1\r\nDoor"},
      {"", "Tivora"},
      {" \t\r\n\x01", "Tivora"},
      {"Ünïcode ", "Ünïcode"},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    prefs.SetNodeName(in);
    EXPECT_EQ(prefs.NodeName(), out);
  }
}

TEST_F(PreferencesTest, GroupIsClamped) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0, 0}, {255, 255}, {256, 255}, {-1, 0}, {std::numeric_limits<std::int32_t>::min(), 0},
      {std::numeric_limits<std::int32_t>::max(), 255}, {17, 17},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    prefs.SetGroup(in);
    EXPECT_EQ(prefs.Group(), out);
  }
}

TEST_F(PreferencesTest, ModifiedCallsItsHandlerOnEveryCall) {
  std::vector<bool> seen;
  prefs.SetOnModifiedChanged([&](TPreferences& sender) {
    EXPECT_EQ(&sender, &prefs);
    seen.push_back(sender.Modified());
  });
  prefs.SetModified(true);
  prefs.SetModified(true);
  prefs.LoadDefaults();  // does not touch it
  prefs.SetModified(false);
  EXPECT_EQ(seen, (std::vector<bool>{true, true, false}));
}

TEST(PreferencesModule, StartCreatesPrefsBoundToTheSlotAndEndFreesIt) {
  platform::TFormWindow* slot = nullptr;
  PreferencesModuleStart(&slot);
  ASSERT_NE(Prefs, nullptr);
  EXPECT_EQ(Prefs->NodeName(), "");  // nothing loaded yet
  test::TFakeFormWindow window;
  window.Place({0, 10, 500, 600});
  slot = &window;  // the window comes later
  Prefs->MainFormPos.StateSave();
  EXPECT_EQ(Prefs->MainFormPos.Top, 10);
  PreferencesModuleEnd();
  EXPECT_EQ(Prefs, nullptr);
}

}  // namespace
}  // namespace lumaren
