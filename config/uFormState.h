#pragma once
// The placement of one window: where it stood, how large it was, whether it
// was maximised and whether it was open. Carried to and from one XML element
// and applied to or taken from the window.

#include <cstdint>
#include <initializer_list>

#include "platform/FormWindow.h"
#include "protocol/uXMLHelpers.h"

namespace lumaren {

enum class TFormStateProp : std::uint8_t { fppPosition = 0, fppSize = 1, fppOpen = 2, fppMaximised = 3 };

// A set of TFormStateProp, one bit per ordinal.
class TFormStateProps {
 public:
  constexpr TFormStateProps() = default;
  constexpr TFormStateProps(std::initializer_list<TFormStateProp> props) {
    for (auto p : props) Include(p);
  }
  static constexpr TFormStateProps All() {
    return {TFormStateProp::fppPosition, TFormStateProp::fppSize, TFormStateProp::fppOpen,
            TFormStateProp::fppMaximised};
  }
  constexpr bool Contains(TFormStateProp p) const { return (FBits & Bit(p)) != 0; }
  constexpr void Include(TFormStateProp p) { FBits = static_cast<std::uint8_t>(FBits | Bit(p)); }
  constexpr void Exclude(TFormStateProp p) { FBits = static_cast<std::uint8_t>(FBits & ~Bit(p)); }
  constexpr bool operator==(const TFormStateProps& o) const { return FBits == o.FBits; }
  constexpr bool operator!=(const TFormStateProps& o) const { return FBits != o.FBits; }

 private:
  static constexpr std::uint8_t Bit(TFormStateProp p) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(p));
  }
  std::uint8_t FBits = 0;
};

class TQelFormState {
 public:
  // formPtr: the place that holds the window, read on every use, so the
  // record can be made before the window exists. The state fields start
  // from the Default values, so a first start without a stored placement
  // still opens a window of a usable size.
  explicit TQelFormState(platform::TFormWindow* const* formPtr);

  // Copies every field, the window reference included.
  void Assign(const TQelFormState& source);

  // Applies the fields to the window; a window left off every monitor goes
  // to the top left corner of the primary one.
  void StateLoad();
  // Takes the fields from the window; while it is maximised the stored size
  // stays that of the restored window.
  void StateSave();

  // Reads the fields from the window's element among parent's children;
  // without such an element every field keeps its value.
  void XMLRead(TXMLNode parent);
  // Appends the window's element to parent.
  void XMLWrite(TXMLNode parent) const;

  std::int32_t DefaultHeight = 300;
  std::int32_t DefaultLeft = 0;
  std::int32_t DefaultTop = 0;
  std::int32_t DefaultWidth = 400;
  TFormStateProps FormStateProps = TFormStateProps::All();
  std::int32_t Height = DefaultHeight;
  std::int32_t Left = DefaultLeft;
  bool Maximised = false;
  bool Open = false;
  std::int32_t Top = DefaultTop;
  std::int32_t Width = DefaultWidth;

 private:
  // The window in the slot; std::logic_error when the slot is empty.
  platform::TFormWindow& Form() const;

  platform::TFormWindow* const* FFormPtr;
};

}  // namespace lumaren
