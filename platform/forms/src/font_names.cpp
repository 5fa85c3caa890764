// Font names the machine lacks: Qt draws them with a substitute, the runtime keeps the name.
#include <QFontDatabase>
#include <QFontInfo>

#include "forms/qt/font_qt.h"
#include "forms_internal.h"

namespace forms_detail {

std::string ChosenFontName(const std::string& asked, const QFont& chosen) {
  if (!asked.empty() && !QFontDatabase::hasFamily(Q(asked))) {
    QFont askedFont(Q(asked));
    if (QFontInfo(askedFont).family() == chosen.family()) return asked;
  }
  return S(chosen.family());
}

}  // namespace forms_detail
