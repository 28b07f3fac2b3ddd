#include "config/Settings.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QSpinBox>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <string>

#include "config/uColourPicker.h"
#include "config/uPreferences.h"
#include "protocol/uNetworkAdapters.h"
#include "services/uFileHelpers.h"

namespace lumaren {

TfmSettings* fmSettings = nullptr;

namespace {

constexpr int CON_ClientWidth = 235;
constexpr int CON_ClientHeight = 294;
constexpr int CON_GroupMin = 0;
constexpr int CON_GroupMax = 255;
constexpr int CON_PortMin = 0;
constexpr int CON_PortMax = 65535;

// Keeps the node name to characters the preferences file can carry and a
// one-line name should hold: control characters (tab and line breaks too),
// lone surrogate halves and U+FFFE/U+FFFF are dropped as they come in, by
// typing or pasting. Dropping them here rather than on the way to Prefs
// keeps the edit showing exactly the name that is stored.
class TNodeNameValidator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int& pos) const override {
    QString kept;
    kept.reserve(input.size());
    int keptBeforeCursor = 0;
    for (int i = 0; i < input.size(); ++i) {
      const QChar c = input.at(i);
      const bool pair = c.isHighSurrogate() && i + 1 < input.size() && input.at(i + 1).isLowSurrogate();
      if (pair) {
        kept.append(c);
        kept.append(input.at(i + 1));
        if (i + 1 < pos) keptBeforeCursor += 2;
        ++i;
        continue;
      }
      const bool drop = c.isSurrogate() || c.category() == QChar::Other_Control || c.unicode() == 0xFFFE ||
                        c.unicode() == 0xFFFF;
      if (drop) continue;
      kept.append(c);
      if (i < pos) ++keptBeforeCursor;
    }
    if (kept != input) {
      input = kept;
      pos = keptBeforeCursor;
    }
    return Acceptable;
  }
};

// Two overlapping squares, light and dark, with arrows between their
// corners: "exchange these two colours".
QIcon InvertIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QColor(0x40, 0x40, 0x40));
  painter.setBrush(Qt::white);
  painter.drawRect(0, 0, 9, 9);
  painter.setBrush(Qt::black);
  painter.drawRect(6, 6, 9, 9);
  painter.setPen(QColor(0x00, 0x60, 0xC0));
  // Top right: an arrow pointing right and down.
  painter.drawLine(11, 1, 14, 1);
  painter.drawLine(14, 1, 14, 4);
  painter.drawLine(13, 3, 15, 3);
  painter.drawPoint(14, 4);
  // Bottom left: an arrow pointing left and up.
  painter.drawLine(1, 11, 1, 14);
  painter.drawLine(1, 14, 4, 14);
  painter.drawLine(0, 12, 2, 12);
  painter.drawPoint(1, 11);
  return QIcon(pixmap);
}

// A caption standing right on top of its control, one text line high: the
// controls leave no more room than that between them.
QLabel* LabelAbove(QWidget* control, const QString& caption, const QFont& font) {
  auto* label = new QLabel(caption, control->parentWidget());
  label->setFont(font);
  label->setBuddy(control);
  const int height = label->fontMetrics().height();
  label->setGeometry(control->x(), control->y() - height, label->fontMetrics().horizontalAdvance(caption) + 2,
                     height);
  return label;
}

}  // namespace

TfmSettings::TfmSettings(QWidget* mainForm, std::function<void()> updateDisplay)
    : QDialog(mainForm, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FUpdateDisplay(std::move(updateDisplay)) {
  setObjectName(QStringLiteral("fmSettings"));
  setWindowTitle(QStringLiteral("Settings"));
  setModal(true);
  setFont(QFont(QString::fromLatin1(CON_DialogFontFamily), CON_DialogFontPoints));
  setFixedSize(CON_ClientWidth, CON_ClientHeight);
  CreateComponents();
}

TfmSettings::~TfmSettings() {
  if (fmSettings == this) fmSettings = nullptr;
}

void TfmSettings::CreateComponents() {
  const QFont dialogFont = font();

  gbTivoraFont = new QGroupBox(QStringLiteral("Font"), this);
  gbTivoraFont->setObjectName(QStringLiteral("gbTivoraFont"));
  gbTivoraFont->setGeometry(3, 0, 226, 135);
  // The caption sits on the frame's top line, so the "Name" line at the
  // top of the box stays clear of the frame. The caption is a little larger
  // than the rest; the box's children keep the dialog's font.
  QFont captionFont = dialogFont;
  captionFont.setPixelSize(12);
  gbTivoraFont->setFont(captionFont);
  gbTivoraFont->setStyleSheet(QStringLiteral(
      "QGroupBox#gbTivoraFont { border: 1px solid palette(mid); border-radius: 3px; margin-top: 7px; }"
      "QGroupBox#gbTivoraFont::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0px 2px; }"));

  laFontName = new QLabel(QStringLiteral("Name"), gbTivoraFont);
  laFontName->setObjectName(QStringLiteral("laFontName"));
  laFontName->setFont(dialogFont);
  laFontName->adjustSize();
  laFontName->move(4, 18);

  btTivoraInvertColours = new QToolButton(gbTivoraFont);
  btTivoraInvertColours->setObjectName(QStringLiteral("btTivoraInvertColours"));
  btTivoraInvertColours->setGeometry(130, 80, 25, 25);
  btTivoraInvertColours->setIcon(InvertIcon());
  btTivoraInvertColours->setIconSize(QSize(16, 16));
  btTivoraInvertColours->setFocusPolicy(Qt::NoFocus);
  btTivoraInvertColours->setToolTip(QStringLiteral("Exchange the text and background colours"));

  edTivoraFontColour = new TColourPicker(gbTivoraFont);
  edTivoraFontColour->setObjectName(QStringLiteral("edTivoraFontColour"));
  edTivoraFontColour->setFont(dialogFont);
  edTivoraFontColour->setGeometry(4, 66, 120, 21);
  LabelAbove(edTivoraFontColour, QStringLiteral("Text"), dialogFont);

  edTivoraBackgroundColour = new TColourPicker(gbTivoraFont);
  edTivoraBackgroundColour->setObjectName(QStringLiteral("edTivoraBackgroundColour"));
  edTivoraBackgroundColour->setFont(dialogFont);
  edTivoraBackgroundColour->setGeometry(3, 102, 120, 21);
  LabelAbove(edTivoraBackgroundColour, QStringLiteral("Background"), dialogFont);

  edTivoraFontName = new QComboBox(gbTivoraFont);
  edTivoraFontName->setObjectName(QStringLiteral("edTivoraFontName"));
  edTivoraFontName->setFont(dialogFont);
  edTivoraFontName->setGeometry(4, 33, 215, 20);
  laFontName->setBuddy(edTivoraFontName);

  edNodeName = new QLineEdit(this);
  edNodeName->setObjectName(QStringLiteral("edNodeName"));
  edNodeName->setGeometry(1, 149, 226, 21);
  edNodeName->setValidator(new TNodeNameValidator(edNodeName));
  LabelAbove(edNodeName, QStringLiteral("Node Name"), dialogFont);

  edMainUDPPort = new QSpinBox(this);
  edMainUDPPort->setObjectName(QStringLiteral("edMainUDPPort"));
  edMainUDPPort->setRange(CON_PortMin, CON_PortMax);
  edMainUDPPort->setGeometry(1, 224, 89, 21);
  LabelAbove(edMainUDPPort, QStringLiteral("Main UDP Port"), dialogFont);

  edGroup = new QSpinBox(this);
  edGroup->setObjectName(QStringLiteral("edGroup"));
  edGroup->setRange(CON_GroupMin, CON_GroupMax);
  edGroup->setGeometry(1, 184, 89, 21);
  LabelAbove(edGroup, QStringLiteral("Group"), dialogFont);

  edNetworkAdapter = new QComboBox(this);
  edNetworkAdapter->setObjectName(QStringLiteral("edNetworkAdapter"));
  edNetworkAdapter->setEditable(false);
  edNetworkAdapter->setGeometry(1, 268, 226, 21);
  LabelAbove(edNetworkAdapter, QStringLiteral("Adapter"), dialogFont);

  // The box first (its three controls in order), then name, port, group and
  // adapter: port comes before group although it sits below it.
  setTabOrder(edTivoraFontName, edTivoraFontColour);
  setTabOrder(edTivoraFontColour, edTivoraBackgroundColour);
  setTabOrder(edTivoraBackgroundColour, edNodeName);
  setTabOrder(edNodeName, edMainUDPPort);
  setTabOrder(edMainUDPPort, edGroup);
  setTabOrder(edGroup, edNetworkAdapter);
  edTivoraFontName->setFocus();

  connect(edTivoraFontName, qOverload<int>(&QComboBox::currentIndexChanged), this,
          [this](int) { FontSettingsChanged(); });
  connect(edTivoraFontColour, &TColourPicker::ColourSelected, this, &TfmSettings::FontSettingsChanged);
  connect(edTivoraBackgroundColour, &TColourPicker::ColourSelected, this, &TfmSettings::FontSettingsChanged);
  connect(btTivoraInvertColours, &QToolButton::clicked, this, &TfmSettings::btTivoraInvertColoursClick);
  connect(edNodeName, &QLineEdit::textChanged, this, &TfmSettings::edNodeNameChange);
  // Enter in the name moves on, as Tab does.
  connect(edNodeName, &QLineEdit::returnPressed, this, [this] { focusNextChild(); });
  connect(edGroup, qOverload<int>(&QSpinBox::valueChanged), this, &TfmSettings::edGroupChange);
  connect(edMainUDPPort, qOverload<int>(&QSpinBox::valueChanged), this, &TfmSettings::edMainUDPPortChange);
  connect(edNetworkAdapter, qOverload<int>(&QComboBox::currentIndexChanged), this,
          &TfmSettings::edNetworkAdapterChange);
}

void TfmSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window manager's restore is not a new showing.
  if (!event->spontaneous()) FormShow();
}

void TfmSettings::FormShow() {
  setWindowTitle(QString::fromStdString(ProductName() + " Settings"));
  ShowSettings();
}

void TfmSettings::ShowSettings() {
  const QScopedValueRollback<bool> loading(FLoadingSettingsControls, true);

  SelectFontName(QString::fromStdString(Prefs->FontName));
  edTivoraFontColour->SetColour(Prefs->FontColour);
  edTivoraBackgroundColour->SetColour(Prefs->BgColour);

  // Left alone when it already reads so: the cursor stays where it was.
  const QString nodeName = QString::fromStdString(Prefs->NodeName());
  if (edNodeName->text() != nodeName) edNodeName->setText(nodeName);
  edGroup->setValue(Prefs->Group());
  edMainUDPPort->setValue(Prefs->DiscoveryPort);

  // Entry i of the drop-down stands for adapter i of the list. The lines and
  // the entries come from the same Update; should they ever disagree in
  // number, only entries that have an adapter are offered.
  edNetworkAdapter->clear();
  const int entries = std::min(static_cast<int>(NetworkAdapterList->AdapterList.size()), NetworkAdapterList->Count());
  for (int i = 0; i < entries; ++i)
    edNetworkAdapter->addItem(QString::fromStdString(NetworkAdapterList->AdapterList[static_cast<std::size_t>(i)]));
  edNetworkAdapter->setCurrentIndex(NetworkAdapterList->IndexOfName(Prefs->NetworkAdapter));

  UpdateHints();
}

// Every installed family is offered; the list is read afresh on each showing.
// A stored name that is not installed is added, so the stored name is what
// is shown and nothing is chosen for the user. An empty name selects nothing.
void TfmSettings::SelectFontName(const QString& name) {
  edTivoraFontName->clear();
  const QStringList families = QFontDatabase::families();
  edTivoraFontName->addItems(families);
  if (name.isEmpty()) {
    edTivoraFontName->setCurrentIndex(-1);
    return;
  }
  int index = edTivoraFontName->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (index < 0) {
    index = 0;
    while (index < families.size() && families.at(index).compare(name, Qt::CaseInsensitive) < 0) ++index;
    edTivoraFontName->insertItem(index, name);
  }
  edTivoraFontName->setCurrentIndex(index);
}

void TfmSettings::UpdateHints() {
  edNetworkAdapter->setToolTip(edNetworkAdapter->currentIndex() >= 0 ? edNetworkAdapter->currentText() : QString());
}

void TfmSettings::edNodeNameChange(const QString& text) {
  if (FLoadingSettingsControls) return;
  Prefs->SetNodeName(text.toStdString());
}

void TfmSettings::edGroupChange(int value) {
  if (FLoadingSettingsControls) return;
  Prefs->SetGroup(value);
}

void TfmSettings::edMainUDPPortChange(int value) {
  if (FLoadingSettingsControls) return;
  Prefs->DiscoveryPort = value;
}

void TfmSettings::edNetworkAdapterChange(int index) {
  if (FLoadingSettingsControls) return;
  Prefs->NetworkAdapter = index >= 0 && index < NetworkAdapterList->Count() ? NetworkAdapterList->Items(index).Name
                                                                             : std::string();
  UpdateHints();
}

// The three values go together whichever control changed.
void TfmSettings::FontSettingsChanged() {
  if (FLoadingSettingsControls) return;
  Prefs->FontName = edTivoraFontName->currentIndex() >= 0 ? edTivoraFontName->currentText().toStdString()
                                                          : std::string();
  Prefs->FontColour = edTivoraFontColour->Colour();
  Prefs->BgColour = edTivoraBackgroundColour->Colour();
  Prefs->SetModified(true);
  if (FUpdateDisplay) FUpdateDisplay();
}

// Each step that changes a picker runs FontSettingsChanged, so the display
// is drawn twice: new text on the old background, then both exchanged.
void TfmSettings::btTivoraInvertColoursClick() {
  const TColor fontColour = edTivoraFontColour->Colour();
  edTivoraFontColour->SetColour(edTivoraBackgroundColour->Colour());
  edTivoraBackgroundColour->SetColour(fontColour);
}

void SettingsFormCreate(QWidget* mainForm, std::function<void()> updateDisplay) {
  SettingsFormFree();
  fmSettings = new TfmSettings(mainForm, std::move(updateDisplay));
}

void SettingsFormFree() { delete fmSettings; }

}  // namespace lumaren
