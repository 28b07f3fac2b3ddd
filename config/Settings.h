#pragma once
// The settings dialog: display font and colours, node name, group, discovery
// port and network adapter. There is no OK or Cancel: every change goes into
// Prefs the moment a control changes, font and colour changes are drawn at
// once, and the main window applies the network fields after the dialog has
// closed. Nothing is written to the preferences file here.

#include <QDialog>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace lumaren {

class TColourPicker;

// The dialog's font. The look was laid out for an 8 point sans serif face;
// Liberation Sans is the one every machine of ours has.
inline constexpr const char* CON_DialogFontFamily = "Liberation Sans";
inline constexpr int CON_DialogFontPoints = 8;

class TfmSettings : public QDialog {
  Q_OBJECT

 public:
  // mainForm: the window the dialog is centred over and owned by (may be
  // null in tests). updateDisplay: redraws the main window; called after
  // every font or colour change.
  TfmSettings(QWidget* mainForm, std::function<void()> updateDisplay);
  ~TfmSettings() override;

  // Fills every control from Prefs and NetworkAdapterList without writing
  // anything back; both modules must be started. Called on every showing, and by the message handler when
  // a parameter-set message arrives while the dialog is visible.
  void ShowSettings();
  // The adapter drop-down's hint is the text of its selected entry.
  void UpdateHints();

  // The components; owned by the dialog.
  QGroupBox* gbTivoraFont = nullptr;
  QLabel* laFontName = nullptr;
  QToolButton* btTivoraInvertColours = nullptr;
  TColourPicker* edTivoraFontColour = nullptr;
  TColourPicker* edTivoraBackgroundColour = nullptr;
  QComboBox* edTivoraFontName = nullptr;
  QLineEdit* edNodeName = nullptr;
  QSpinBox* edMainUDPPort = nullptr;
  QSpinBox* edGroup = nullptr;
  QComboBox* edNetworkAdapter = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateComponents();
  void FormShow();
  void SelectFontName(const QString& name);
  void edNodeNameChange(const QString& text);
  void edGroupChange(int value);
  void edMainUDPPortChange(int value);
  void edNetworkAdapterChange(int index);
  void FontSettingsChanged();
  void btTivoraInvertColoursClick();

  std::function<void()> FUpdateDisplay;
  // Set while ShowSettings fills the controls: the handlers then do nothing.
  bool FLoadingSettingsControls = false;
};

// The single instance, from SettingsFormCreate until the dialog is destroyed
// (with its owner, the main window, or by SettingsFormFree); null outside.
extern TfmSettings* fmSettings;

// Creates fmSettings, owned by mainForm. Call after the main window and the
// about box exist.
void SettingsFormCreate(QWidget* mainForm, std::function<void()> updateDisplay);
void SettingsFormFree();

}  // namespace lumaren
