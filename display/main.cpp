// The main window's life: creation, first showing, closing, the popup menu
// and the mouse.

#include "display/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QShowEvent>

#include <filesystem>
#include <system_error>

#include "config/Settings.h"
#include "config/about.h"
#include "config/uPreferences.h"
#include "platform/Paths.h"
#include "platform/qt/FramelessMover.h"
#include "platform/qt/QtFormWindow.h"
#include "services/uFileHelpers.h"
#include "services/uSystemCritical.h"

namespace lumaren {

namespace {

// Blink shows and hides the text, and alternate swaps the colours, at this rhythm.
constexpr int CON_FlashInterval = 500;
// Long enough to gather a burst of size events from a drag into one redraw.
constexpr int CON_ResizeDelay = 100;
// A Shutdown message closes the window this much later, after its handler
// has returned and logged.
constexpr int CON_CloseDelay = 100;
// One display frame at 60 Hz: the shortest time between two paints.
constexpr int CON_FrameInterval = 16;

std::unique_ptr<platform::TThreadTimer> NewTimer(const platform::TThreadTimerFactory& factory, int interval) {
  auto timer = factory();
  timer->SetInterval(interval);
  return timer;
}

}  // namespace

TfmMain::TfmMain(const platform::TThreadTimerFactory& timerFactory, platform::TFormWindow** mainFormSlot,
                 QWidget* parent)
    : QWidget(parent, Qt::FramelessWindowHint),
      tmrResize(NewTimer(timerFactory, CON_ResizeDelay)),
      tmrClose(NewTimer(timerFactory, CON_CloseDelay)),
      tmrHeartbeat(NewTimer(timerFactory, 0)),
      tmrExpiry(NewTimer(timerFactory, 0)),
      tmrFlash(NewTimer(timerFactory, CON_FlashInterval)),
      FFormWindow(std::make_unique<platform::TQtFormWindow>(*this, "fmMain")),
      FMainFormSlot(mainFormSlot),
      FFrameTimer(NewTimer(timerFactory, CON_FrameInterval)) {
  setWindowTitle(QString::fromStdString(ProductName()));
  setMinimumSize(200, 200);
  setGeometry(0, 0, 524, 439);
  // The paint handler fills every pixel itself, in the window colour of the
  // moment; the toolkit's own background fill would only flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  tmrResize->SetOnTimer([this] { tmrResizeTimer(); });
  tmrClose->SetOnTimer([this] { tmrCloseTimer(); });
  tmrHeartbeat->SetOnTimer([this] { tmrHeartbeatTimer(); });
  tmrExpiry->SetOnTimer([this] { tmrExpiryTimer(); });
  tmrFlash->SetOnTimer([this] { tmrFlashTimer(); });
  FFrameTimer->SetOnTimer([this] { FrameTimerTick(); });
  if (FMainFormSlot) *FMainFormSlot = FFormWindow.get();
  FMover = std::make_unique<platform::TFramelessMover>(this);
  CreatePopupMenu();
  FormCreate();
}

TfmMain::~TfmMain() {
  if (UDPServer) UDPServer->SetOnRead({});
  if (FMainFormSlot && *FMainFormSlot == FFormWindow.get()) *FMainFormSlot = nullptr;
}

void TfmMain::FormCreate() {
  FAppDataPath = platform::ConfigHome() + "/" + CompanyName() + "/" + ProductName() + "/";
  // A folder that cannot be made shows up later: loading finds no file and
  // saving logs its failure.
  std::error_code ignored;
  std::filesystem::create_directories(FAppDataPath, ignored);
  if (Prefs) Prefs->FileName = FAppDataPath + CON_PreferencesFileName;
  FDisplayLineList = std::make_unique<TDisplayLineList>();
  FLocalNode = std::make_unique<TLocalDeviceNode>();
  FLocalNode->SetDeviceType(TDeviceType::dtDisplay);
  FLocalNode->AppName = ProductName();
  FLocalNode->AppVersion = ProductVersion();
  FDispatcher = std::make_unique<TMessageDispatcher>(*this, std::make_unique<TLastMessageFile>());
  if (UDPServer) UDPServer->SetOnRead([this](const platform::TUDPDatagram& datagram) { UDPRead(datagram); });
}

void TfmMain::UDPRead(const platform::TUDPDatagram& datagram) { FDispatcher->UDPRead(datagram); }

void TfmMain::SetWindowState(TWindowState state) {
  switch (state) {
    case TWindowState::wsMinimized:
      showMinimized();
      break;
    case TWindowState::wsMaximized:
      showMaximized();
      break;
    case TWindowState::wsNormal:
      showNormal();
      break;
  }
}

bool TfmMain::SettingsVisible() const { return fmSettings && fmSettings->isVisible(); }

void TfmMain::ShowSettings() {
  if (fmSettings) fmSettings->ShowSettings();
}

void TfmMain::CreatePopupMenu() {
  PopupMenu = new QMenu(this);
  mnExit = PopupMenu->addAction(QStringLiteral("Exit Program"), this, [this] { mnExitClick(); });
  mnMinimiseThisWindow =
      PopupMenu->addAction(QStringLiteral("Minimise Window"), this, [this] { mnMinimiseThisWindowClick(); });
  mnSettings = PopupMenu->addAction(QStringLiteral("Settings ..."), this, [this] { mnSettingsClick(); });
  mnAbout = PopupMenu->addAction(QStringLiteral("About ..."), this, [this] { mnAboutClick(); });
}

void TfmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!FShown) {
    FShown = true;
    FormShow();
  }
}

void TfmMain::FormShow() {
  if (Prefs) {
    Prefs->Load();
    if (FMainFormSlot) Prefs->MainFormPos.StateLoad();
  }
  ApplyNetworkPreferences();
  DefaultScreen();
  if (SystemCritical) SystemCritical->SetIsCritical(true);
}

void TfmMain::closeEvent(QCloseEvent* event) {
  FormCloseQuery();
  event->accept();
}

void TfmMain::FormCloseQuery() {
  FClosing = true;
  tmrHeartbeat->SetEnabled(false);
  if (UDPServer) UDPServer->SetActive(false);
  if (Prefs) {
    if (FMainFormSlot) Prefs->MainFormPos.StateSave();
    // A failed save is logged by the preferences; closing goes on.
    Prefs->Save();
  }
  if (SystemCritical) SystemCritical->SetIsCritical(false);
}

void TfmMain::tmrCloseTimer() {
  tmrClose->SetEnabled(false);
  close();
}

void TfmMain::mnExitClick() { close(); }

void TfmMain::mnMinimiseThisWindowClick() { showMinimized(); }

// Whatever the dialog's result, its changes are already in the preferences.
void TfmMain::mnSettingsClick() {
  if (fmSettings) fmSettings->exec();
  // A close that came while the dialog was open (a signal, the session's
  // end) has already stopped the network; it stays stopped.
  if (!FClosing) ApplyNetworkPreferences();
}

void TfmMain::mnAboutClick() {
  if (fmAbout) fmAbout->exec();
}

void TfmMain::contextMenuEvent(QContextMenuEvent* event) { PopupMenu->exec(event->globalPos()); }

void TfmMain::mouseDoubleClickEvent(QMouseEvent* /*event*/) { FormDblClick(); }

void TfmMain::FormDblClick() {
  if (isMaximized() || isMinimized()) {
    showNormal();
  } else {
    showMaximized();
  }
  UpdateDisplay();
}

}  // namespace lumaren
