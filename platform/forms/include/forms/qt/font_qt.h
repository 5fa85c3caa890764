#pragma once
// Internal to the platform: font names between the runtime and Qt.
#include <QFont>
#include <string>

namespace forms_detail {

// The name a font dialog answers: the family chosen, except that a font the machine lacks (the
// design font "MS Sans Serif") stays named as it was asked when the user kept the family Qt
// substituted for it, so that settings holding the name are not rewritten.
std::string ChosenFontName(const std::string& asked, const QFont& chosen);

}  // namespace forms_detail
