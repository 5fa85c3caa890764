#pragma once
// Shared pieces of the forms runtime's sources.
#include <QCursor>
#include <QString>
#include <string>
#include <vector>

#include "core/hresult.h"
#include "forms/qt/hwnd_qt.h"

class Form;
class QWidget;
class QColor;

namespace forms_detail {
// The loaded forms in load order (the Forms collection).
std::vector<Form*>& LoadedForms();
int LoadedFormCount();
// The form whose window is the given top-level widget, nullptr for other widgets.
Form* FormOfWindow(QWidget* window);
// The cursor of a mouse pointer code (vbDefault: no cursor of its own).
QCursor CursorOf(int16_t pointer);
// The colour an OLE colour stands for (system colours with the top bit set are translated).
QColor ColorFromOle(OLE_COLOR c);
OLE_COLOR OleFromColor(const QColor& c);
// Unloads a form as a close request of the given unload mode does (QueryUnload, then Unload);
// answers false when a handler cancelled.
bool UnloadForm(Form& form, int16_t unloadMode);
// Whether RunMessageLoop runs: it ends by itself once no form is loaded.
bool MessageLoopRuns();
inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }
// The program's first non-modal Show takes the show style the program was started with
// (StartupWindowStyle): answers whether it showed the window that way.
bool ShowFirstWindow(QWidget* window);
}  // namespace forms_detail
