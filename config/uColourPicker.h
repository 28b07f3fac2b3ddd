#pragma once
// A drop-down colour picker over the sixteen basic colours of HTML 4.01.
// A colour set from code that is none of them gets an extra entry of its
// own, shown as its hex text, so a colour that arrived in a parameter message
// is shown and kept as it is, never rounded to the nearest basic one.

#include <QComboBox>

#include <array>

#include "protocol/uXMLHelpers.h"

namespace lumaren {

struct TNamedColour {
  const char* Name;
  TColor Value;  // Windows layout: red in the low byte
};

inline constexpr int CON_BasicColourCount = 16;
inline constexpr std::array<TNamedColour, CON_BasicColourCount> CON_BasicColours{{
    {"Black", 0x000000},
    {"Maroon", 0x000080},
    {"Green", 0x008000},
    {"Olive", 0x008080},
    {"Navy", 0x800000},
    {"Purple", 0x800080},
    {"Teal", 0x808000},
    {"Gray", 0x808080},
    {"Silver", 0xC0C0C0},
    {"Red", 0x0000FF},
    {"Lime", 0x00FF00},
    {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},
    {"Fuchsia", 0xFF00FF},
    {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF},
}};

// The caption of a colour that is not one of the sixteen: "#RRGGBB" (red
// first, as people write it), or "$XXXXXXXX" for a value beyond 24 bits.
QString OtherColourCaption(TColor color);

class TColourPicker : public QComboBox {
  Q_OBJECT

 public:
  // Starts on black.
  explicit TColourPicker(QWidget* parent = nullptr);

  TColor Colour() const { return FColour; }
  // Selects the colour, adding the extra entry when it is not a basic one.
  // Raises ColourSelected when the colour differs from the one held, just as
  // a pick by the user does; the same colour again raises nothing.
  void SetColour(TColor value);

 signals:
  // The colour changed, by the user or through SetColour.
  void ColourSelected();

 private:
  void IndexChanged(int index);
  void ShowOtherColour(TColor value);
  void DropOtherColour();

  TColor FColour = 0;
  bool FSettingFromCode = false;
};

}  // namespace lumaren
