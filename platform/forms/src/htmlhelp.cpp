// The help window: a folder of HTML pages in a text browser.
#include "forms/htmlhelp.h"

#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <fstream>
#include <map>

#include "core/error.h"
#include "core/msgbox.h"
#include "forms/qt/hwnd_qt.h"
#include "forms_internal.h"
#include "shell/files.h"
#include "shell/process.h"

using namespace forms_detail;

namespace {

struct HelpTopic {
  std::string folder;  // the ".help" folder
  std::string page;    // the page to show
};

bool EndsWith(const std::string& s, const std::string& suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = s[s.size() - suffix.size() + i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != suffix[i]) return false;
  }
  return true;
}

// Whether the path names a help file: "X.chm", a ".help" folder or a page inside one.
bool IsHelpPath(const std::string& path) {
  std::string p = HelpFolderName(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (EndsWith(p, ".help")) return true;
  size_t slash = p.rfind('/');
  return slash != std::string::npos && EndsWith(p.substr(0, slash), ".help");
}

HelpTopic TopicOf(const std::string& path) {
  std::string p = HelpFolderName(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (FolderExists(p) || EndsWith(p, ".help")) return {p, p + "/index.html"};
  size_t slash = p.rfind('/');
  return {slash == std::string::npos ? std::string(".") : p.substr(0, slash), p};
}

bool Readable(const std::string& page) {
  if (!FileExists(page)) return false;
  std::ifstream in(page, std::ios::binary);
  char c;
  return in.good() && (in.get(c) || in.eof());
}

// The largest page or picture the help window reads (a help folder holds small files).
constexpr int64_t kMaxResourceBytes = int64_t{64} << 20;

// A text browser that reads a page's files only when they are regular files of a sane size,
// opened without waiting: a page naming a FIFO or a device (<img src="/dev/zero">) gets a blank
// picture instead of a window that never answers again.
class HelpBrowser : public QTextBrowser {
 public:
  using QTextBrowser::QTextBrowser;

  QVariant loadResource(int type, const QUrl& name) override {
    QVariant answer = Read(type, name);
    if (type != QTextDocument::ImageResource) return answer;
    // A picture reaches the layout decoded, a refused or unreadable one as a blank picture: given
    // anything else, the layout would go and open the picture's name itself, and a FIFO there
    // never answers.
    if (answer.userType() == QMetaType::QImage && !answer.value<QImage>().isNull()) return answer;
    if (answer.userType() == QMetaType::QPixmap && !answer.value<QPixmap>().isNull())
      return answer.value<QPixmap>().toImage();
    QImage image;
    if (answer.userType() == QMetaType::QByteArray) image.loadFromData(answer.toByteArray());
    if (image.isNull()) {
      image = QImage(1, 1, QImage::Format_ARGB32);
      image.fill(Qt::transparent);
    }
    return image;
  }

 private:
  QVariant Read(int type, const QUrl& name) {
    QUrl url = name;
    if (url.isRelative() && source().isValid()) url = source().resolved(url);
    if (!url.scheme().isEmpty() && !url.isLocalFile()) return QTextBrowser::loadResource(type, name);
    QString file = url.isLocalFile() ? url.toLocalFile() : url.path();
    if (QFileInfo(file).isRelative()) {
      for (const QString& folder : searchPaths()) {
        const QString candidate = folder + QLatin1Char('/') + file;
        if (QFileInfo::exists(candidate)) {
          file = candidate;
          break;
        }
      }
    }
    const std::vector<uint8_t> bytes = [&] {
      try {
        return ReadFileBytes(S(file), static_cast<uint64_t>(kMaxResourceBytes));
      } catch (const VBError&) {
        return std::vector<uint8_t>();
      }
    }();
    // Refused or empty: an empty (but not null) answer, so that the document does not go and
    // read the file itself after all.
    return QVariant(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
  }
};

std::map<std::string, QPointer<QWidget>>& Windows() {
  static std::map<std::string, QPointer<QWidget>> m;
  return m;
}

QWidget* MakeWindow(QWidget* owner) {
  auto* window = new QWidget(owner, Qt::Window);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->resize(720, 540);
  auto* layout = new QVBoxLayout(window);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* browser = new HelpBrowser(window);
  browser->setObjectName("helpBrowser");
  // Addresses outside the help folder go to the desktop's browser.
  browser->setOpenExternalLinks(true);
  layout->addWidget(browser);
  QObject::connect(browser, &QTextBrowser::sourceChanged, window, [window, browser] {
    QString title = browser->documentTitle();
    window->setWindowTitle(title.isEmpty() ? QStringLiteral("Help") : title);
  });
  return window;
}

bool ShowHelpDocument(const std::string& target) {
  if (!IsHelpPath(target)) return false;
  HtmlHelp(0, target, HH_DISPLAY_TOPIC, 0);
  return true;
}

const bool kViewerRegistered = [] {
  SetDocumentViewer(&ShowHelpDocument);
  return true;
}();

}  // namespace

HWND HtmlHelp(HWND owner, const std::string& file, uint32_t command, uintptr_t data) {
  (void)data;
  (void)kViewerRegistered;
  if (command != HH_DISPLAY_TOPIC) return 0;
  EnsureApplication();
  HelpTopic topic = TopicOf(file);
  if (!Readable(topic.page)) {
    MsgBox("Cannot open the help file " + (EndsWith(topic.page, "/index.html") ? topic.folder : topic.page) + ".",
           vbOKOnly | vbExclamation);
    return 0;
  }
  std::string key = S(QFileInfo(Q(topic.folder)).absoluteFilePath());
  QPointer<QWidget>& window = Windows()[key];
  if (!window) window = MakeWindow(WidgetFromHwnd(owner));
  auto* browser = window->findChild<QTextBrowser*>("helpBrowser");
  browser->setSearchPaths({Q(topic.folder)});
  QUrl page = QUrl::fromLocalFile(QFileInfo(Q(topic.page)).absoluteFilePath());
  if (browser->source() != page) browser->setSource(page);
  window->show();
  window->raise();
  window->activateWindow();
  return HwndFromWidget(window);
}
