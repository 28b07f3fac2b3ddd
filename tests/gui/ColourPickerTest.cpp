// The colour picker: the sixteen basic colours in their order with the
// standard values in the Windows layout, swatches drawn in the right colour,
// and the notification on changes from code.

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>

#include "config/uColourPicker.h"

namespace lumaren {
namespace {

struct TBasic {
  const char* name;
  int red, green, blue;
  TColor windows;  // red in the low byte
};

// The HTML 4.01 table, written out independently of the picker's.
constexpr TBasic kBasics[] = {
    {"Black", 0, 0, 0, 0x000000},         {"Maroon", 128, 0, 0, 0x000080},
    {"Green", 0, 128, 0, 0x008000},       {"Olive", 128, 128, 0, 0x008080},
    {"Navy", 0, 0, 128, 0x800000},        {"Purple", 128, 0, 128, 0x800080},
    {"Teal", 0, 128, 128, 0x808000},      {"Gray", 128, 128, 128, 0x808080},
    {"Silver", 192, 192, 192, 0xC0C0C0},  {"Red", 255, 0, 0, 0x0000FF},
    {"Lime", 0, 255, 0, 0x00FF00},        {"Yellow", 255, 255, 0, 0x00FFFF},
    {"Blue", 0, 0, 255, 0xFF0000},        {"Fuchsia", 255, 0, 255, 0xFF00FF},
    {"Aqua", 0, 255, 255, 0xFFFF00},      {"White", 255, 255, 255, 0xFFFFFF},
};

QColor SwatchCentre(const TColourPicker& picker, int index) {
  const QImage image = picker.itemIcon(index).pixmap(picker.iconSize()).toImage();
  return image.pixelColor(image.width() / 2, image.height() / 2);
}

TEST(ColourPickerTest, OffersTheSixteenBasicColoursInOrder) {
  TColourPicker picker;
  ASSERT_EQ(picker.count(), 16);
  int selections = 0;
  QObject::connect(&picker, &TColourPicker::ColourSelected, [&] { ++selections; });
  for (int i = 0; i < 16; ++i) {
    const TBasic& basic = kBasics[i];
    SCOPED_TRACE(basic.name);
    EXPECT_EQ(picker.itemText(i).toStdString(), basic.name);
    EXPECT_EQ(SwatchCentre(picker, i), QColor(basic.red, basic.green, basic.blue));
    picker.setCurrentIndex(i);
    EXPECT_EQ(picker.Colour(), basic.windows);
    picker.SetColour(basic.windows);
    EXPECT_EQ(picker.currentIndex(), i);
    EXPECT_EQ(picker.count(), 16);
  }
  // Black is where it starts: every other pick was a change.
  EXPECT_EQ(selections, 15);
}

TEST(ColourPickerTest, ASetFromCodeNotifiesOnlyWhenTheColourChanges) {
  TColourPicker picker;
  int selections = 0;
  QObject::connect(&picker, &TColourPicker::ColourSelected, [&] { ++selections; });
  picker.SetColour(0x000000);
  EXPECT_EQ(selections, 0);
  picker.SetColour(0x0000FF);
  EXPECT_EQ(selections, 1);
  EXPECT_EQ(picker.currentText().toStdString(), "Red");
  picker.SetColour(0x0000FF);
  EXPECT_EQ(selections, 1);
  picker.SetColour(0x123456);
  EXPECT_EQ(selections, 2);
  picker.SetColour(0x123456);
  EXPECT_EQ(selections, 2);
}

TEST(ColourPickerTest, AnOddColourGetsOneExtraEntryThatFollowsTheCode) {
  TColourPicker picker;
  picker.SetColour(0x123456);
  ASSERT_EQ(picker.count(), 17);
  EXPECT_EQ(picker.currentText().toStdString(), "#563412");
  EXPECT_EQ(SwatchCentre(picker, 16), QColor(0x56, 0x34, 0x12));
  picker.SetColour(0x010203);
  ASSERT_EQ(picker.count(), 17);
  EXPECT_EQ(picker.currentText().toStdString(), "#030201");
  EXPECT_EQ(picker.Colour(), 0x010203);
  // Code moving to a basic colour takes the odd one out of the list.
  picker.SetColour(0xFFFFFF);
  EXPECT_EQ(picker.count(), 16);
  EXPECT_EQ(picker.currentText().toStdString(), "White");
}

}  // namespace
}  // namespace lumaren
