#include "config/uColourPicker.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QScopedValueRollback>

#include "platform/qt/QtColour.h"

namespace lumaren {

namespace {

constexpr int CON_SwatchWidth = 16;
constexpr int CON_SwatchHeight = 12;
constexpr TColor CON_PlainColourMax = 0xFFFFFF;

bool IsPlainColour(TColor color) { return color >= 0 && color <= CON_PlainColourMax; }

// A filled box with a grey rim, so white and black both stand out from the
// list's background. A value that is no plain colour gets a struck-out box.
QIcon Swatch(TColor color) {
  QPixmap pixmap(CON_SwatchWidth, CON_SwatchHeight);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(QColor(0x80, 0x80, 0x80));
  const QRect box(0, 0, CON_SwatchWidth - 1, CON_SwatchHeight - 1);
  if (IsPlainColour(color)) {
    painter.setBrush(platform::TColorToQColor(color));
    painter.drawRect(box);
  } else {
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    painter.drawLine(box.bottomLeft(), box.topRight());
  }
  return QIcon(pixmap);
}

int BasicIndex(TColor color) {
  for (int i = 0; i < CON_BasicColourCount; ++i)
    if (CON_BasicColours[static_cast<std::size_t>(i)].Value == color) return i;
  return -1;
}

}  // namespace

QString OtherColourCaption(TColor color) {
  if (IsPlainColour(color)) return QStringLiteral("#") + platform::TColorToQColor(color).name().mid(1).toUpper();
  return QStringLiteral("$%1").arg(static_cast<quint32>(color), 8, 16, QLatin1Char('0')).toUpper();
}

TColourPicker::TColourPicker(QWidget* parent) : QComboBox(parent) {
  setIconSize(QSize(CON_SwatchWidth, CON_SwatchHeight));
  for (const TNamedColour& entry : CON_BasicColours)
    addItem(Swatch(entry.Value), QString::fromLatin1(entry.Name), QVariant(entry.Value));
  setCurrentIndex(0);
  FColour = CON_BasicColours[0].Value;
  connect(this, qOverload<int>(&QComboBox::currentIndexChanged), this, &TColourPicker::IndexChanged);
}

void TColourPicker::SetColour(TColor value) {
  const TColor old = FColour;
  FColour = value;
  {
    const QScopedValueRollback<bool> settingFromCode(FSettingFromCode, true);
    const int index = BasicIndex(value);
    if (index >= 0) {
      setCurrentIndex(index);
      // Code is the authority on the colour: an older odd colour is no
      // longer offered once code has moved to a basic one.
      DropOtherColour();
    } else {
      ShowOtherColour(value);
    }
  }
  if (value != old) emit ColourSelected();
}

// The user picked an entry (mouse, keyboard or wheel). The extra entry stays
// in the list, so the user can go back to the odd colour.
void TColourPicker::IndexChanged(int index) {
  if (FSettingFromCode || index < 0) return;
  const TColor picked = itemData(index).toInt();
  if (picked == FColour) return;
  FColour = picked;
  emit ColourSelected();
}

void TColourPicker::ShowOtherColour(TColor value) {
  if (count() > CON_BasicColourCount) {
    setItemIcon(CON_BasicColourCount, Swatch(value));
    setItemText(CON_BasicColourCount, OtherColourCaption(value));
    setItemData(CON_BasicColourCount, QVariant(value));
  } else {
    addItem(Swatch(value), OtherColourCaption(value), QVariant(value));
  }
  setCurrentIndex(CON_BasicColourCount);
}

void TColourPicker::DropOtherColour() {
  while (count() > CON_BasicColourCount) removeItem(count() - 1);
}

}  // namespace lumaren
