#pragma once
// The about box: the maker's banner, the program's name and version, a
// rights notice and a link to the maker's web page.

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace lumaren {

inline constexpr const char* CON_MakerWebAddress = "https://www.tivora.example/";
inline constexpr const char* CON_MakerWebLinkText = "www.tivora.example";
inline constexpr const char* CON_RightsNotice = "\u00A9 2026 Tivora";

// Opens a web address in the user's browser.
using TUrlOpener = std::function<void(const std::string& url)>;
// The desktop's own opener (the default browser, in a normal window).
void OpenUrlInBrowser(const std::string& url);

class TfmAbout : public QDialog {
  Q_OBJECT

 public:
  // mainForm: the window the box is centred over and owned by (may be null
  // in tests). openUrl: what the web link calls; the browser when empty.
  explicit TfmAbout(QWidget* mainForm, TUrlOpener openUrl = {});
  ~TfmAbout() override;

  // The components; owned by the box.
  QLabel* RTFLabel1 = nullptr;
  QLabel* laProgramName = nullptr;
  QPushButton* btOK = nullptr;
  QLabel* laProgramVersion = nullptr;
  QLabel* laCopyright = nullptr;
  QLabel* laWebLink = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormShow();
  void laWebLinkClick();

  TUrlOpener FOpenUrl;
};

// The single instance, from AboutFormCreate until the box is destroyed
// (with its owner, the main window, or by AboutFormFree); null outside.
extern TfmAbout* fmAbout;

// Creates fmAbout, owned by mainForm. Call right after the main window exists.
void AboutFormCreate(QWidget* mainForm, TUrlOpener openUrl = {});
void AboutFormFree();

}  // namespace lumaren
