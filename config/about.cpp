#include "config/about.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

#include "services/uFileHelpers.h"

namespace lumaren {

TfmAbout* fmAbout = nullptr;

namespace {

constexpr int CON_ClientWidth = 240;
constexpr int CON_ClientHeight = 116;

// The maker's name with its initial in red, and a line of credits below.
const char* const CON_Banner =
    "<div align=\"center\" style=\"font-family:'Arial','Liberation Sans'; font-size:16pt; font-weight:bold;\">"
    "<span style=\"color:#FF0000;\">T</span><span style=\"color:#000000;\">ivora</span></div>"
    "<div align=\"center\" style=\"font-family:'Arial','Liberation Sans'; font-size:7pt; color:#000000;\">"
    "Designed and written by the Tivora display team</div>";

// Arial where it is installed, its metric twin elsewhere.
QFont LabelFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
  font.setPointSize(10);
  return font;
}

// A green tick for the OK button.
QIcon TickIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(QPen(QColor(0x1E, 0x8C, 0x2E), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
  return QIcon(pixmap);
}

QLabel* TextLabel(QWidget* parent, const char* objectName, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(objectName));
  label->setFont(LabelFont());
  label->setTextFormat(Qt::PlainText);
  label->adjustSize();
  label->move(left, top);
  return label;
}

}  // namespace

void OpenUrlInBrowser(const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); }

TfmAbout::TfmAbout(QWidget* mainForm, TUrlOpener openUrl)
    : QDialog(mainForm, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      FOpenUrl(openUrl ? std::move(openUrl) : TUrlOpener(OpenUrlInBrowser)) {
  setObjectName(QStringLiteral("fmAbout"));
  setWindowTitle(QStringLiteral("About"));
  setModal(true);
  setFixedSize(CON_ClientWidth, CON_ClientHeight);

  RTFLabel1 = new QLabel(this);
  RTFLabel1->setObjectName(QStringLiteral("RTFLabel1"));
  RTFLabel1->setTextFormat(Qt::RichText);
  RTFLabel1->setText(QString::fromLatin1(CON_Banner));
  RTFLabel1->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  RTFLabel1->setGeometry(0, 0, 240, 45);

  laProgramName = TextLabel(this, "laProgramName", QStringLiteral("Program Name"), 4, 51);

  btOK = new QPushButton(TickIcon(), QStringLiteral("OK"), this);
  btOK->setObjectName(QStringLiteral("btOK"));
  btOK->setGeometry(157, 87, 75, 25);
  btOK->setDefault(true);
  btOK->setAutoDefault(true);
  btOK->setFocus();
  connect(btOK, &QPushButton::clicked, this, &QDialog::accept);

  laProgramVersion = TextLabel(this, "laProgramVersion", QStringLiteral("Program Version"), 4, 67);
  laCopyright = TextLabel(this, "laCopyright", QString::fromUtf8(CON_RightsNotice), 4, 83);

  laWebLink = TextLabel(this, "laWebLink", QString::fromLatin1(CON_MakerWebLinkText), 4, 99);
  QPalette linkPalette = laWebLink->palette();
  linkPalette.setColor(QPalette::WindowText, Qt::blue);
  laWebLink->setPalette(linkPalette);
  laWebLink->setCursor(Qt::PointingHandCursor);
  laWebLink->setToolTip(QString::fromLatin1(CON_MakerWebAddress));
  laWebLink->installEventFilter(this);
}

TfmAbout::~TfmAbout() {
  if (fmAbout == this) fmAbout = nullptr;
}

void TfmAbout::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

// The texts are set, not appended, so every showing reads the same.
void TfmAbout::FormShow() {
  laProgramName->setText(QString::fromStdString(ProductName()));
  laProgramName->adjustSize();
  laProgramVersion->setText(QString::fromStdString("Version " + ProductVersion()));
  laProgramVersion->adjustSize();
}

// Esc works as a click on OK, so the box always ends with the OK result.
void TfmAbout::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    btOK->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

// A label has no click of its own: a left button released over the link
// counts, as for a push button.
bool TfmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == laWebLink && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && laWebLink->rect().contains(mouse->position().toPoint())) {
      laWebLinkClick();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfmAbout::laWebLinkClick() { FOpenUrl(CON_MakerWebAddress); }

void AboutFormCreate(QWidget* mainForm, TUrlOpener openUrl) {
  AboutFormFree();
  fmAbout = new TfmAbout(mainForm, std::move(openUrl));
}

void AboutFormFree() { delete fmAbout; }

}  // namespace lumaren
