// OLE colours: 0x00BBGGRR, or a system colour index with the top bit set.
#include <QApplication>
#include <QColor>
#include <QPalette>

#include "forms_internal.h"

namespace forms_detail {

QColor ColorFromOle(OLE_COLOR c) {
  if (c & 0x80000000u) {
    QPalette pal = QCoreApplication::instance() ? QApplication::palette() : QPalette();
    switch (c & 0xFF) {
      case 0: return pal.color(QPalette::Button);            // scroll bars
      case 1: return pal.color(QPalette::Dark);              // desktop
      case 2: return pal.color(QPalette::Highlight);         // active title bar
      case 3: return pal.color(QPalette::Mid);               // inactive title bar
      case 4: return pal.color(QPalette::Window);            // menu bar
      case 5: return pal.color(QPalette::Base);              // window background
      case 6: return pal.color(QPalette::Shadow);            // window frame
      case 7: return pal.color(QPalette::WindowText);        // menu text
      case 8: return pal.color(QPalette::Text);              // window text
      case 9: return pal.color(QPalette::HighlightedText);   // title bar text
      case 10: return pal.color(QPalette::Window);           // active border
      case 11: return pal.color(QPalette::Window);           // inactive border
      case 12: return pal.color(QPalette::Mid);              // application workspace
      case 13: return pal.color(QPalette::Highlight);        // highlight
      case 14: return pal.color(QPalette::HighlightedText);  // highlight text
      case 15: return pal.color(QPalette::Button);           // button face
      case 16: return pal.color(QPalette::Dark);             // button shadow
      case 17: return pal.color(QPalette::Disabled, QPalette::Text);  // grey text
      case 18: return pal.color(QPalette::ButtonText);       // button text
      case 19: return pal.color(QPalette::Disabled, QPalette::WindowText);  // inactive title text
      case 20: return pal.color(QPalette::Light);            // button highlight
      case 21: return pal.color(QPalette::Shadow);           // 3-D dark shadow
      case 22: return pal.color(QPalette::Midlight);         // 3-D light
      case 23: return pal.color(QPalette::ToolTipText);      // tool tip text
      case 24: return pal.color(QPalette::ToolTipBase);      // tool tip background
      default: return pal.color(QPalette::Window);
    }
  }
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

OLE_COLOR OleFromColor(const QColor& c) {
  return static_cast<OLE_COLOR>(c.red()) | (static_cast<OLE_COLOR>(c.green()) << 8) |
         (static_cast<OLE_COLOR>(c.blue()) << 16);
}

}  // namespace forms_detail
