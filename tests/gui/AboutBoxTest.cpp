// The about box: its texts on every showing, the banner's colours, the web
// link, and the keys that close it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <string>
#include <vector>

#include "config/about.h"
#include "services/uFileHelpers.h"
#include "support/qt/WidgetInput.h"

namespace lumaren {
namespace {

class AboutBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { FileHelpersModuleStart({"Tivora", "Lumaren", "1.0.4.0", "1.0.0.0"}); }
  void TearDown() override { FileHelpersModuleEnd(); }

  std::vector<std::string> Opened;
  TfmAbout Box{nullptr, [this](const std::string& url) { Opened.push_back(url); }};
};

TEST_F(AboutBoxTest, ShowsNameAndVersionAlikeOnEveryShowing) {
  for (int showing = 1; showing <= 2; ++showing) {
    SCOPED_TRACE(showing);
    Box.show();
    EXPECT_EQ(Box.windowTitle().toStdString(), "About");
    EXPECT_EQ(Box.laProgramName->text().toStdString(), "Lumaren");
    EXPECT_EQ(Box.laProgramVersion->text().toStdString(), "Version 1.0.4.0");
    EXPECT_EQ(Box.laCopyright->text().toStdString(), CON_RightsNotice);
    EXPECT_EQ(Box.laWebLink->text().toStdString(), CON_MakerWebLinkText);
    EXPECT_EQ(Box.size(), QSize(240, 116));
    Box.close();
  }
}

TEST_F(AboutBoxTest, TheBannerNamesTheMakerWithARedInitial) {
  Box.show();
  const QImage banner = Box.RTFLabel1->grab().toImage();
  int redRight = -1;
  int blackRight = -1;
  for (int y = 0; y < banner.height(); ++y)
    for (int x = 0; x < banner.width(); ++x) {
      const QColor c = banner.pixelColor(x, y);
      if (c.red() > 200 && c.green() < 60 && c.blue() < 60) redRight = std::max(redRight, x);
      if (c.red() < 40 && c.green() < 40 && c.blue() < 40) blackRight = std::max(blackRight, x);
    }
  ASSERT_GE(redRight, 0) << "no red initial";
  ASSERT_GE(blackRight, 0) << "no black letters";
  EXPECT_LT(redRight, blackRight);
  EXPECT_TRUE(Box.RTFLabel1->text().contains("Tivora") || Box.RTFLabel1->text().contains("ivora"));
}

TEST_F(AboutBoxTest, TheLinkOpensTheMakersPageAndTheBoxStaysOpen) {
  Box.show();
  test::MouseClick(Box.laWebLink);
  EXPECT_EQ(Opened, std::vector<std::string>{"https://www.tivora.example/"});
  EXPECT_TRUE(Box.isVisible());
  EXPECT_EQ(Box.laWebLink->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(AboutBoxTest, OkEnterAndEscapeCloseWithTheOkResult) {
  struct TCase {
    const char* how;
    void (*close)(TfmAbout&);
  };
  const TCase cases[] = {
      {"Escape", [](TfmAbout& box) { test::KeyClick(box.focusWidget(), Qt::Key_Escape); }},
      {"Return", [](TfmAbout& box) { test::KeyClick(box.focusWidget(), Qt::Key_Return); }},
      {"Enter", [](TfmAbout& box) { test::KeyClick(box.focusWidget(), Qt::Key_Enter, {}, Qt::KeypadModifier); }},
      {"Escape on the box", [](TfmAbout& box) { test::KeyClick(&box, Qt::Key_Escape); }},
      {"Return on the box", [](TfmAbout& box) { test::KeyClick(&box, Qt::Key_Return); }},
      {"OK clicked", [](TfmAbout& box) { test::MouseClick(box.btOK); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.how);
    Box.show();
    Box.activateWindow();
    Box.setResult(QDialog::Rejected);
    ASSERT_NE(Box.focusWidget(), nullptr);
    c.close(Box);
    EXPECT_FALSE(Box.isVisible());
    EXPECT_EQ(Box.result(), QDialog::Accepted);
  }
  EXPECT_TRUE(Opened.empty());
}

TEST_F(AboutBoxTest, TheGlobalBoxGoesWithItsMainWindow) {
  {
    QWidget mainWindow;
    AboutFormCreate(&mainWindow);
    ASSERT_NE(fmAbout, nullptr);
    EXPECT_TRUE(fmAbout->windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(fmAbout->isModal());
  }
  EXPECT_EQ(fmAbout, nullptr);
}

}  // namespace
}  // namespace lumaren
