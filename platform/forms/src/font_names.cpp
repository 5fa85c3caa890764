// Font names the machine lacks: Qt draws them with a substitute, the runtime keeps the name.
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <atomic>
#include <mutex>

#include "forms/qt/font_qt.h"
#include "forms_internal.h"

namespace forms_detail {

namespace {
// The face with the classic dialog faces' character widths (installed with the suite).
constexpr const char* kDialogFace = "Liberation Sans";
constexpr const char* kDesignFaces[] = {"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Tahoma"};

// Whether the dialog face is installed. Asking the font database costs a font-configuration
// lookup, and every control's font asks it, so the answer is kept until the fonts change (an
// application font added or removed, the system's fonts changed) or another application object
// takes over.
bool DialogFaceInstalled() {
  static std::atomic<int> known{-1};  // -1: not asked since the last change
  {
    static std::mutex lock;
    static QPointer<QCoreApplication> watched;
    std::lock_guard guard(lock);
    QCoreApplication* app = QCoreApplication::instance();
    if (app != watched.data()) {
      watched = app;
      known = -1;
      if (auto* gui = qobject_cast<QGuiApplication*>(app)) {
        QObject::connect(gui, &QGuiApplication::fontDatabaseChanged, gui, [] { known = -1; });
      }
    }
  }
  int k = known.load();
  if (k < 0) {
    k = QFontDatabase::hasFamily(QLatin1String(kDialogFace)) ? 1 : 0;
    known = k;
  }
  return k == 1;
}
}  // namespace

QString FaceFor(const std::string& name) {
  const QString asked = Q(name);
  for (const char* face : kDesignFaces) {
    if (asked.compare(QLatin1String(face), Qt::CaseInsensitive) == 0 && DialogFaceInstalled()) {
      return QLatin1String(kDialogFace);
    }
  }
  return asked;
}

int PixelSizeOf(float points) {
  return std::max(1, static_cast<int>(std::lround(static_cast<double>(points) * 96.0 / 72.0)));
}

QFont QtFont(const StdFont& f, QFont base) {
  const QString face = FaceFor(f.Name);
  base.setFamilies({face});
  if (face != Q(f.Name)) base.setStyleHint(QFont::SansSerif);
  base.setPixelSize(PixelSizeOf(f.Size > 0 ? f.Size : 8.25f));
  base.setBold(f.Bold);
  base.setItalic(f.Italic);
  base.setUnderline(f.Underline);
  base.setStrikeOut(f.Strikethrough);
  return base;
}

std::string ChosenFontName(const std::string& asked, const QFont& chosen) {
  if (!asked.empty() && !QFontDatabase::hasFamily(Q(asked))) {
    QFont askedFont(FaceFor(asked));
    if (QFontInfo(askedFont).family() == chosen.family()) return asked;
  }
  return S(chosen.family());
}

// Title bars draw a bold face somewhat larger than the dialog text, beside the bar's icon and
// buttons.
int TitleBarWidth(const QString& title) {
  constexpr int kTitleBarFurniture = 150;
  constexpr double kTitleFontScale = 1.15;
  QFont bold = QApplication::font();
  bold.setBold(true);
  if (bold.pointSizeF() > 0) bold.setPointSizeF(bold.pointSizeF() * kTitleFontScale);
  else if (bold.pixelSize() > 0) bold.setPixelSize(static_cast<int>(bold.pixelSize() * kTitleFontScale + 0.5));
  return QFontMetrics(bold).horizontalAdvance(title) + kTitleBarFurniture;
}

}  // namespace forms_detail
