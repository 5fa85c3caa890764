#pragma once
// Modal dialogs from a dialog template resource (DialogBoxParam's stand-in) and the active window.
//
// A template is text, one statement per line; sizes and places are dialog units of the template's
// font (a horizontal unit is a quarter of the font's average character width, a vertical one an
// eighth of its height):
//
//   DIALOG 0 0 268 85
//   STYLE MODALFRAME CAPTION SYSMENU
//   CAPTION "About the Object"
//   FONT 8 "MS Sans Serif"
//   DEFPUSHBUTTON "OK" 1 109 64 50 14          text, id, x, y, width, height
//   PUSHBUTTON "Cancel" 2 ...
//   LTEXT "Some text" -1 29 21 217 14
//
// The dialog procedure gets WM_INITDIALOG (wParam 0, lParam the caller's parameter) and then
// WM_COMMAND for its buttons (LOWORD(wParam) = the button's id); Enter gives id 1 (the default
// button's), Esc and the close box id 2. A message the procedure answers with 0 for id 1 or 2 ends
// the dialog with that id. EndDialog ends it with a result, which DialogBoxParam returns.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "forms/hwnd.h"

constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

using DLGPROC = std::function<intptr_t(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam)>;

struct DialogItem {
  std::string kind;  // DEFPUSHBUTTON, PUSHBUTTON, LTEXT, CTEXT, RTEXT
  std::string text;
  int id = -1;
  int x = 0, y = 0, width = 0, height = 0;
};

struct DialogTemplate {
  std::string caption;
  int x = 0, y = 0, width = 0, height = 0;
  std::string fontName = "MS Sans Serif";
  int fontSize = 8;
  std::vector<std::string> styles;
  std::vector<DialogItem> items;
};

// Reads a template; false for text that is not one.
bool ParseDialogTemplate(const std::string& text, DialogTemplate* out);

// Shows the dialog resource `id` of the library at modulePath (RT_DIALOG) modally over the owner
// and returns EndDialog's result; -1 when the resource is missing or not a template.
intptr_t DialogBoxParam(const std::string& modulePath, int id, HWND owner, DLGPROC proc, LPARAM param);
// The same from a template in hand.
intptr_t DialogBoxIndirectParam(const DialogTemplate& dialog, HWND owner, DLGPROC proc, LPARAM param);
// Ends a dialog shown by DialogBoxParam with the result; false for another handle.
bool EndDialog(HWND dialog, intptr_t result);

// The active top-level window of this program (0 when none is active).
HWND GetActiveWindow();

// What a template dialog shows, for a presenter that answers it instead of a user.
struct DialogBoxRequest {
  std::string caption;
  std::vector<std::string> texts;  // every item's text in template order
  HWND owner = 0;
};
// A presenter answers with the id of the button pressed (as WM_COMMAND); an empty one restores
// the user. Returns the previous one.
using DialogBoxPresenter = std::function<int(const DialogBoxRequest&)>;
DialogBoxPresenter SetDialogBoxPresenter(DialogBoxPresenter presenter);
