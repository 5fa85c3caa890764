#pragma once
// Internal to the platform: font names between the runtime and Qt.
#include <QFont>
#include <QString>
#include <string>

#include "forms/font.h"

namespace forms_detail {

// The face that draws a font name. The designs are laid out for the classic dialog faces ("MS Sans
// Serif", "Microsoft Sans Serif", "Arial", "Tahoma"); this desktop draws them with a face of the
// same character widths, named explicitly so that the machine's own sans-serif face (much wider)
// is never taken for them. Any other name is drawn as asked (Qt substitutes when it is missing).
QString FaceFor(const std::string& name);

// The Qt font of a runtime font, from `base` (a widget's font, for its other attributes). The size
// is set in pixels as the designs assume it: points at 96 dots an inch (8 points are 11 pixels),
// whatever the screen's dots per inch, so a caption takes the room its design gave it.
QFont QtFont(const StdFont& f, QFont base = QFont());
int PixelSizeOf(float points);

// The name a font dialog answers: the family chosen, except that a font the machine lacks (the
// design font "MS Sans Serif") stays named as it was asked when the user kept the family Qt
// substituted for it, so that settings holding the name are not rewritten.
std::string ChosenFontName(const std::string& asked, const QFont& chosen);

// The width a window needs for its whole title in a window manager's title bar, which draws a bold
// face somewhat larger than the dialog text beside the bar's icon and buttons. Message boxes and
// the platform's own dialogs are at least this wide, so that a long title is not cut.
int TitleBarWidth(const QString& title);

}  // namespace forms_detail
