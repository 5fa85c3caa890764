#pragma once
// modOptions: what the options windows share: the registered video filters list, the Paint
// program's path, the conversions their settings go through, list values kept when no line has
// them, the main window's services the options window calls, and tile properties by dispatch
// identifier.
#include <cstdint>
#include <functional>
#include <string>

#include "core/unknown.h"
#include "core/variant.h"
#include "dshow/interfaces.h"
#include "forms/controls.h"

class Form;

namespace modOptions {

// RefreshRegFilters: a new filter graph manager and its registered-filter collection (kept by
// the caller for the window's life); the list gets every registered filter name, trimmed, whose
// lower-case form contains "video", in collection order.
void RefreshRegFilters(ListBox& list, ComPtr<IMediaControl>& graph, ComPtr<IAMCollection>& filters);

// GetPaintPath: the program the shell finds for "mspaint.exe" (a program named mspaint, with or
// without ".exe"), trimmed and cut after that name; "" when there is none.
std::string GetPaintPath();

// Setting conversions: True/False in any case or a number; whole numbers round halves to even.
// A value that cannot be converted leaves `global` unchanged.
void ReadBoolean(const std::string& text, bool& global);
void ReadWhole(const std::string& text, int32_t& global);

// A list box whose value may be a text none of its lines has: setting selects the line of that
// text (or none) and keeps the text; the value is the selected line's, else the kept text.
class ListValue {
 public:
  void Set(ListBox& list, const std::string& text);
  std::string Get(ListBox& list) const;
  void Forget() { kept_.clear(); }

 private:
  std::string kept_;
};

// The stored frame size: "320X240" written with blanks, in any case, is stored as "320X240";
// any other text as it stands.
std::string ActiveWindowValue(const std::string& shown);

// The main window's members the options window calls. The main window installs them; a call to
// one not installed raises error 91, which the caller's step skips.
struct MainWindowServices {
  std::function<void(ComboBox& box)> FillHeightWidthCombo;  // appends the frame sizes, selects the third
  std::function<void(bool)> SetEnableDragDrop;              // m_boolEnableDragDrop
  std::function<void(bool)> ShowHideToolbar;
  std::function<void()> LoadToolBar;
};
void SetMainWindowServices(MainWindowServices services);
const MainWindowServices& MainWindowCalls();

// Tile properties by dispatch identifier, on element `index` of the main window's
// ctrlSourceClip.
namespace tile {
constexpr DISPID kAllowDragDrop = 0x68030000;
constexpr DISPID kShowTransitions = 0x68030001;
constexpr DISPID kTransition = 0x68030004;
constexpr DISPID kDuration = 0x68030007;
}  // namespace tile
Variant TileGet(Form& main, int16_t index, DISPID id);
void TilePut(Form& main, int16_t index, DISPID id, const Variant& value);

}  // namespace modOptions
