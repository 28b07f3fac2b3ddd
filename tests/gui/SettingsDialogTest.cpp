// The settings dialog driven through its real widgets: what it shows of the
// preferences, what each control writes back, when the display is redrawn,
// and that filling the controls never writes anything.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/uColourPicker.h"
#include "config/uPreferences.h"
#include "protocol/uNetworkAdapters.h"
#include "services/uFileHelpers.h"
#include "support/TFakeFormWindow.h"
#include "support/TTempDir.h"
#include "support/qt/WidgetInput.h"

namespace lumaren {
namespace {

constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kRed = 0x0000FF;  // Windows layout
constexpr const char* kLocalHostLine = "Local Host (127.0.0.1)";
constexpr const char* kLanLine = "Ethernet lan0 (10.77.0.2)";

std::vector<platform::TAdapterInfo> FakeAdapters() {
  platform::TAdapterInfo lan;
  lan.Name = "lan0";
  lan.Description = "Ethernet lan0";
  lan.IPv4 = "10.77.0.2";
  lan.HardwareAddress = {0x02, 0x00, 0x0A, 0x4D, 0x00, 0x02};
  lan.IsUp = true;
  lan.BroadcastSupport = true;
  return {lan};
}

// What the display would have drawn at each redraw.
struct TRedraw {
  TColor FontColour;
  TColor BgColour;
  std::string FontName;
  bool operator==(const TRedraw& other) const {
    return FontColour == other.FontColour && BgColour == other.BgColour && FontName == other.FontName;
  }
};

void PrintTo(const TRedraw& r, std::ostream* os) {
  *os << "{" << std::hex << r.FontColour << ", " << r.BgColour << std::dec << ", \"" << r.FontName << "\"}";
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FileHelpersModuleStart({"Tivora", "Lumaren", "1.0.4.0", "1.0.0.0"});
    NetworkAdaptersModuleStart(FakeAdapters, [this](const std::string& text) { Messages.push_back(text); });
    PreferencesModuleStart(&MainForm);
    Prefs->LoadDefaults();
    Prefs->SetOnModifiedChanged([this](TPreferences&) { ++ModifiedCalls; });
    Dialog = std::make_unique<TfmSettings>(nullptr, [this] {
      Redraws.push_back({Prefs->FontColour, Prefs->BgColour, Prefs->FontName});
    });
  }

  void TearDown() override {
    Dialog.reset();
    PreferencesModuleEnd();
    NetworkAdaptersModuleEnd();
    FileHelpersModuleEnd();
  }

  // The main window's menu shows the dialog; closing it is the title bar's
  // close button.
  void Open() {
    Dialog->show();
    QApplication::processEvents();
  }
  void Close() { Dialog->close(); }
  void Reopen() {
    Close();
    Open();
  }

  // Prefs saves the main window's placement; a fake stands in for it.
  test::TFakeFormWindow FakeMainForm;
  platform::TFormWindow* MainForm = &FakeMainForm;
  std::unique_ptr<TfmSettings> Dialog;
  std::vector<TRedraw> Redraws;
  int ModifiedCalls = 0;
  std::vector<std::string> Messages;
};

TEST_F(SettingsDialogTest, ShowsTheDefaultPreferences) {
  Open();
  EXPECT_EQ(Dialog->windowTitle().toStdString(), "Lumaren Settings");
  EXPECT_EQ(Dialog->edTivoraFontName->currentText().toStdString(), "Courier New");
  EXPECT_EQ(Dialog->edTivoraFontColour->currentText().toStdString(), "White");
  EXPECT_EQ(Dialog->edTivoraFontColour->Colour(), kWhite);
  EXPECT_EQ(Dialog->edTivoraBackgroundColour->currentText().toStdString(), "Black");
  EXPECT_EQ(Dialog->edTivoraBackgroundColour->Colour(), kBlack);
  EXPECT_EQ(Dialog->edNodeName->text().toStdString(), "Lumaren");
  EXPECT_EQ(Dialog->edGroup->value(), 1);
  EXPECT_EQ(Dialog->edMainUDPPort->value(), 1965);
  ASSERT_EQ(Dialog->edNetworkAdapter->count(), 2);
  EXPECT_EQ(Dialog->edNetworkAdapter->itemText(0).toStdString(), kLocalHostLine);
  EXPECT_EQ(Dialog->edNetworkAdapter->itemText(1).toStdString(), kLanLine);
  EXPECT_EQ(Dialog->edNetworkAdapter->currentIndex(), 0);
  EXPECT_EQ(Dialog->edNetworkAdapter->toolTip().toStdString(), kLocalHostLine);
  // Showing wrote nothing back and drew nothing.
  EXPECT_EQ(ModifiedCalls, 0);
  EXPECT_TRUE(Redraws.empty());
  EXPECT_EQ(Prefs->NetworkAdapter, "");
  EXPECT_TRUE(Messages.empty());
}

TEST_F(SettingsDialogTest, TheFontSelectorOffersEveryInstalledFamily) {
  Open();
  const QStringList families = QFontDatabase::families();
  ASSERT_FALSE(families.isEmpty());
  for (const QString& family : families) {
    SCOPED_TRACE(family.toStdString());
    EXPECT_GE(Dialog->edTivoraFontName->findText(family, Qt::MatchExactly | Qt::MatchCaseSensitive), 0);
  }
}

TEST_F(SettingsDialogTest, AStoredFontThatIsNotInstalledIsAddedOnceAndShown) {
  Prefs->FontName = "No Such Face";
  Open();
  Reopen();
  int entries = 0;
  for (int i = 0; i < Dialog->edTivoraFontName->count(); ++i)
    if (Dialog->edTivoraFontName->itemText(i) == "No Such Face") ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(Dialog->edTivoraFontName->currentText().toStdString(), "No Such Face");
  EXPECT_EQ(Prefs->FontName, "No Such Face");
  EXPECT_EQ(ModifiedCalls, 0);
}

TEST_F(SettingsDialogTest, PickingAFontStoresItWithTheColoursAndRedraws) {
  Open();
  const int index = Dialog->edTivoraFontName->findText("Liberation Sans");
  ASSERT_GE(index, 0);
  Dialog->edTivoraFontName->setCurrentIndex(index);
  EXPECT_EQ(Prefs->FontName, "Liberation Sans");
  EXPECT_TRUE(Prefs->Modified());
  EXPECT_EQ(Redraws, (std::vector<TRedraw>{{kWhite, kBlack, "Liberation Sans"}}));
}

TEST_F(SettingsDialogTest, AnEmptyFontNameSelectsNothingAndStaysEmpty) {
  Prefs->FontName = "";
  Open();
  EXPECT_EQ(Dialog->edTivoraFontName->currentIndex(), -1);
  Dialog->edTivoraFontColour->setCurrentIndex(Dialog->edTivoraFontColour->findText("Red"));
  EXPECT_EQ(Prefs->FontName, "");
  EXPECT_EQ(Prefs->FontColour, kRed);
  EXPECT_EQ(Redraws, (std::vector<TRedraw>{{kRed, kBlack, ""}}));
}

TEST_F(SettingsDialogTest, EmptyingTheNodeNameStoresTheFallbackName) {
  Open();
  Dialog->edNodeName->setFocus();
  Dialog->edNodeName->selectAll();
  test::KeyClick(Dialog->edNodeName, Qt::Key_Backspace);
  EXPECT_EQ(Dialog->edNodeName->text().toStdString(), "");
  EXPECT_EQ(Prefs->NodeName(), "Tivora");
  Reopen();
  EXPECT_EQ(Dialog->edNodeName->text().toStdString(), "Tivora");
  // Name changes are applied by the main window later, not drawn here.
  EXPECT_TRUE(Redraws.empty());
  EXPECT_EQ(ModifiedCalls, 0);
}

TEST_F(SettingsDialogTest, TheEditKeepsWhatIsTypedAndThePreferencesTheTrimmedName) {
  Open();
  Dialog->edNodeName->clear();
  test::TypeText(Dialog->edNodeName, " Foyer ");
  EXPECT_EQ(Dialog->edNodeName->text().toStdString(), " Foyer ");
  EXPECT_EQ(Prefs->NodeName(), "Foyer");
}

// A name with characters the preferences file cannot carry would make the
// file unwritable at close; they never get into the edit.
TEST_F(SettingsDialogTest, ControlCharactersNeverReachTheNodeName) {
  struct TCase {
    const char* how;
    void (*enter)(QLineEdit*, const QString&);
  };
  const TCase cases[] = {
      {"inserted", [](QLineEdit* edit, const QString& text) { edit->insert(text); }},
      {"pasted",
       [](QLineEdit* edit, const QString& text) {
         QApplication::clipboard()->setText(text);
         edit->paste();
       }},
  };
  test::TTempDir folder;
  Open();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.how);
    Dialog->edNodeName->selectAll();
    c.enter(Dialog->edNodeName, QString::fromUtf8("Stage\x01 One\tTwo\x7F\xC2\x85!"));
    EXPECT_EQ(Dialog->edNodeName->text().toStdString(), "Stage OneTwo!");
    EXPECT_EQ(Prefs->NodeName(), "Stage OneTwo!");
    Prefs->FileName = (folder / "Preferences.xml").string();
    EXPECT_TRUE(Prefs->Save());
  }
}

TEST_F(SettingsDialogTest, EnterInTheNodeNameMovesToTheNextControl) {
  Open();
  Dialog->activateWindow();
  Dialog->edNodeName->setFocus();
  test::KeyClick(Dialog->edNodeName, Qt::Key_Return);
  EXPECT_EQ(Dialog->focusWidget(), Dialog->edMainUDPPort);
  EXPECT_TRUE(Dialog->isVisible());
}

TEST_F(SettingsDialogTest, TabVisitsTheControlsInTheirOrder) {
  Open();
  Dialog->activateWindow();
  Dialog->edTivoraFontName->setFocus();
  const std::vector<QWidget*> expected = {Dialog->edTivoraFontColour, Dialog->edTivoraBackgroundColour,
                                          Dialog->edNodeName,         Dialog->edMainUDPPort,
                                          Dialog->edGroup,            Dialog->edNetworkAdapter,
                                          Dialog->edTivoraFontName};
  for (QWidget* next : expected) {
    SCOPED_TRACE(next->objectName().toStdString());
    test::KeyClick(Dialog->focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(Dialog->focusWidget(), next);
  }
}

TEST_F(SettingsDialogTest, InvertExchangesTheColoursAndRedrawsTwice) {
  Open();
  test::MouseClick(Dialog->btTivoraInvertColours);
  EXPECT_EQ(Dialog->edTivoraFontColour->currentText().toStdString(), "Black");
  EXPECT_EQ(Dialog->edTivoraBackgroundColour->currentText().toStdString(), "White");
  EXPECT_EQ(Prefs->FontColour, kBlack);
  EXPECT_EQ(Prefs->BgColour, kWhite);
  EXPECT_TRUE(Prefs->Modified());
  // New text on the old background first, then both exchanged.
  EXPECT_EQ(Redraws, (std::vector<TRedraw>{{kBlack, kBlack, "Courier New"}, {kBlack, kWhite, "Courier New"}}));
}

TEST_F(SettingsDialogTest, InvertOnEqualColoursChangesNothing) {
  Prefs->BgColour = kWhite;
  Open();
  test::MouseClick(Dialog->btTivoraInvertColours);
  EXPECT_TRUE(Redraws.empty());
  EXPECT_EQ(ModifiedCalls, 0);
  EXPECT_EQ(Prefs->FontColour, kWhite);
  EXPECT_EQ(Prefs->BgColour, kWhite);
}

TEST_F(SettingsDialogTest, InvertCarriesAColourThatIsNoneOfTheSixteen) {
  Prefs->FontColour = 0x123456;
  Open();
  test::MouseClick(Dialog->btTivoraInvertColours);
  EXPECT_EQ(Dialog->edTivoraFontColour->currentText().toStdString(), "Black");
  EXPECT_EQ(Dialog->edTivoraBackgroundColour->currentText().toStdString(), "#563412");
  EXPECT_EQ(Prefs->FontColour, kBlack);
  EXPECT_EQ(Prefs->BgColour, 0x123456);
  ASSERT_EQ(Redraws.size(), 2u);
}

TEST_F(SettingsDialogTest, GroupAndPortNeitherSetModifiedNorRedraw) {
  struct TCase {
    const char* control;
    QSpinBox* TfmSettings::*spin;
    int value;
    int (*stored)();
  };
  const TCase cases[] = {
      {"group", &TfmSettings::edGroup, 7, [] { return Prefs->Group(); }},
      {"port", &TfmSettings::edMainUDPPort, 2000, [] { return Prefs->DiscoveryPort; }},
  };
  Open();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.control);
    QSpinBox* spin = Dialog.get()->*c.spin;
    spin->setFocus();
    spin->selectAll();
    test::TypeText(spin, QString::number(c.value));
    EXPECT_EQ(spin->value(), c.value);
    EXPECT_EQ(c.stored(), c.value);
  }
  EXPECT_FALSE(Prefs->Modified());
  EXPECT_EQ(ModifiedCalls, 0);
  EXPECT_TRUE(Redraws.empty());
}

TEST_F(SettingsDialogTest, AnAdapterNameNoAdapterHasSelectsNothingAndIsKept) {
  Prefs->NetworkAdapter = "gone0";
  Open();
  EXPECT_EQ(Dialog->edNetworkAdapter->currentIndex(), -1);
  EXPECT_EQ(Dialog->edNetworkAdapter->toolTip().toStdString(), "");
  Close();
  EXPECT_EQ(Prefs->NetworkAdapter, "gone0");
}

TEST_F(SettingsDialogTest, SelectingAnAdapterStoresItsName) {
  Prefs->NetworkAdapter = "lan0";
  Open();
  EXPECT_EQ(Dialog->edNetworkAdapter->currentIndex(), 1);
  EXPECT_EQ(Dialog->edNetworkAdapter->toolTip().toStdString(), kLanLine);
  Dialog->edNetworkAdapter->setCurrentIndex(0);
  EXPECT_EQ(Prefs->NetworkAdapter, "");
  EXPECT_EQ(Dialog->edNetworkAdapter->toolTip().toStdString(), kLocalHostLine);
  Dialog->edNetworkAdapter->setCurrentIndex(1);
  EXPECT_EQ(Prefs->NetworkAdapter, "lan0");
  EXPECT_EQ(Dialog->edNetworkAdapter->toolTip().toStdString(), kLanLine);
  EXPECT_EQ(ModifiedCalls, 0);
  EXPECT_TRUE(Redraws.empty());
}

// A parameter-set message arrives while the dialog is open: the message
// handler changes Prefs and refreshes the dialog, which must not write any
// of it back (a name the edit cannot show as it is stays as it is).
TEST_F(SettingsDialogTest, ARefreshOfTheOpenDialogShowsNewValuesWithoutWritingBack) {
  Open();
  Prefs->SetNodeName("Stage\tLeft");
  Prefs->SetGroup(9);
  Prefs->FontColour = kRed;
  Prefs->FontName = "Liberation Mono";
  Prefs->NetworkAdapter = "lan0";
  Dialog->ShowSettings();
  EXPECT_EQ(Dialog->edNodeName->text().toStdString(), "StageLeft");
  EXPECT_EQ(Dialog->edGroup->value(), 9);
  EXPECT_EQ(Dialog->edTivoraFontColour->currentText().toStdString(), "Red");
  EXPECT_EQ(Dialog->edTivoraFontName->currentText().toStdString(), "Liberation Mono");
  EXPECT_EQ(Dialog->edNetworkAdapter->currentIndex(), 1);
  EXPECT_EQ(Prefs->NodeName(), "Stage\tLeft");
  EXPECT_EQ(ModifiedCalls, 0);
  EXPECT_TRUE(Redraws.empty());

  Prefs->SetNodeName("Foyer");
  Dialog->ShowSettings();
  EXPECT_EQ(Dialog->edNodeName->text().toStdString(), "Foyer");
  EXPECT_EQ(Prefs->NodeName(), "Foyer");
}

TEST_F(SettingsDialogTest, AColourThatIsNoneOfTheSixteenIsShownAndKept) {
  struct TCase {
    TColor colour;
    const char* caption;
  };
  const TCase cases[] = {
      {0x123456, "#563412"},  // red 0x56, green 0x34, blue 0x12
      {0x1FFFFFFF, "$1FFFFFFF"},  // the "not set" marker
      {static_cast<TColor>(0x8000000F), "$8000000F"},  // a system colour reference
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.caption);
    Prefs->FontColour = c.colour;
    Open();
    EXPECT_EQ(Dialog->edTivoraFontColour->currentText().toStdString(), c.caption);
    EXPECT_EQ(Dialog->edTivoraFontColour->Colour(), c.colour);
    Reopen();
    Close();
    EXPECT_EQ(Prefs->FontColour, c.colour);
    EXPECT_EQ(ModifiedCalls, 0);
    EXPECT_TRUE(Redraws.empty());
  }
}

TEST_F(SettingsDialogTest, TheUserCanGoBackToTheOddColourAfterPickingAnother) {
  Prefs->FontColour = 0x123456;
  Open();
  TColourPicker* picker = Dialog->edTivoraFontColour;
  picker->setCurrentIndex(picker->findText("Red"));
  EXPECT_EQ(Prefs->FontColour, kRed);
  picker->setCurrentIndex(picker->findText("#563412"));
  EXPECT_EQ(Prefs->FontColour, 0x123456);
  EXPECT_EQ(Redraws.size(), 2u);
}

TEST_F(SettingsDialogTest, IsCentredOverTheMainWindowAndFreedWithIt) {
  {
    QWidget mainWindow;
    mainWindow.setGeometry(100, 80, 640, 480);
    mainWindow.show();
    SettingsFormCreate(&mainWindow, {});
    ASSERT_NE(fmSettings, nullptr);
    EXPECT_TRUE(fmSettings->windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(fmSettings->isModal());
    fmSettings->show();
    const QPoint offset = fmSettings->frameGeometry().center() - mainWindow.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << ", " << offset.y();
    EXPECT_EQ(fmSettings->size(), QSize(235, 294));
  }
  EXPECT_EQ(fmSettings, nullptr);
}

}  // namespace
}  // namespace lumaren
