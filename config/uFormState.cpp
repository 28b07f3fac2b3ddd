#include "config/uFormState.h"

#include <stdexcept>

namespace lumaren {

namespace {

constexpr const char* ATT_TOP = "Top";
constexpr const char* ATT_LEFT = "Left";
constexpr const char* ATT_HEIGHT = "Height";
constexpr const char* ATT_WIDTH = "Width";
constexpr const char* ATT_OPEN = "Open";
constexpr const char* ATT_MAXIMISED = "Maximised";

}  // namespace

TQelFormState::TQelFormState(platform::TFormWindow* const* formPtr) : FFormPtr(formPtr) {}

void TQelFormState::Assign(const TQelFormState& source) { *this = source; }

platform::TFormWindow& TQelFormState::Form() const {
  if (!FFormPtr || !*FFormPtr) throw std::logic_error("TQelFormState used while its window does not exist");
  return **FFormPtr;
}

void TQelFormState::StateLoad() {
  platform::TFormWindow& form = Form();
  if (FormStateProps.Contains(TFormStateProp::fppPosition)) {
    form.SetTop(Top);
    form.SetLeft(Left);
  }
  if (FormStateProps.Contains(TFormStateProp::fppSize)) {
    form.SetHeight(Height);
    form.SetWidth(Width);
  }
  // Placement first, then maximise: the stored rectangle becomes the restored
  // placement and picks the monitor. A false flag never restores the window.
  if (FormStateProps.Contains(TFormStateProp::fppMaximised) && Maximised) form.Maximise();
  // A monitor removed since the last run must not leave the window unreachable.
  if (!form.IntersectsAnyMonitor()) {
    form.SetTop(0);
    form.SetLeft(0);
  }
}

void TQelFormState::StateSave() {
  const platform::TFormWindow& form = Form();
  if (FormStateProps.Contains(TFormStateProp::fppPosition)) {
    Top = form.Top();
    Left = form.Left();
  }
  if (FormStateProps.Contains(TFormStateProp::fppMaximised)) Maximised = form.Maximised();
  if (!Maximised && FormStateProps.Contains(TFormStateProp::fppSize)) {
    Height = form.Height();
    Width = form.Width();
  }
}

void TQelFormState::XMLRead(TXMLNode parent) {
  const TXMLNode node = parent.child(Form().ComponentName().c_str());
  if (!node) return;
  if (FormStateProps.Contains(TFormStateProp::fppPosition)) {
    Top = GetXMLAtt(node, ATT_TOP, DefaultTop);
    Left = GetXMLAtt(node, ATT_LEFT, DefaultLeft);
  }
  if (FormStateProps.Contains(TFormStateProp::fppSize)) {
    Height = GetXMLAtt(node, ATT_HEIGHT, DefaultHeight);
    Width = GetXMLAtt(node, ATT_WIDTH, DefaultWidth);
  }
  if (FormStateProps.Contains(TFormStateProp::fppOpen)) Open = GetXMLAtt(node, ATT_OPEN, false);
  if (FormStateProps.Contains(TFormStateProp::fppMaximised)) Maximised = GetXMLAtt(node, ATT_MAXIMISED, false);
}

void TQelFormState::XMLWrite(TXMLNode parent) const {
  TXMLNode node = parent.append_child(Form().ComponentName().c_str());
  if (FormStateProps.Contains(TFormStateProp::fppPosition)) {
    AddXMLAtt(node, ATT_TOP, Top);
    AddXMLAtt(node, ATT_LEFT, Left);
  }
  if (FormStateProps.Contains(TFormStateProp::fppSize)) {
    AddXMLAtt(node, ATT_HEIGHT, Height);
    AddXMLAtt(node, ATT_WIDTH, Width);
  }
  if (FormStateProps.Contains(TFormStateProp::fppOpen)) AddXMLAtt(node, ATT_OPEN, Open);
  if (FormStateProps.Contains(TFormStateProp::fppMaximised)) AddXMLAtt(node, ATT_MAXIMISED, Maximised);
}

}  // namespace lumaren
