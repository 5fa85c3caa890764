#pragma once
// The drop side of OLE drag and drop on a Qt widget, for controls and user controls alike.
//
//   SetOleDropTarget(widget, mode, {raise, toEventUnits})
//
// With mode 1 the widget accepts drops from other programs (XDND on X11) and raises
// "OLEDragOver" and "OLEDragDrop" through `raise` with the arguments of forms/oledrop.h; a
// control passes its own Raise, a user control raises "UserControl_" + event to its handlers.
// Mode 0 stops accepting drops. X and Y are the widget's pixels converted by toEventUnits (twips
// when it is empty).
#include <QPointF>
#include <functional>
#include <string>

#include "forms/events.h"

class QWidget;
class Control;

namespace forms_detail {

struct OleDropHooks {
  // Raises the event ("OLEDragOver" or "OLEDragDrop") to the handler; by-reference arguments
  // (Effect) come back through args.
  std::function<void(const std::string& event, EventArgs& args)> raise;
  std::function<QPointF(QPointF pixels)> toEventUnits;
};

// Sets the widget's OLEDropMode (0 none, 1 manual; anything else raises 380).
void SetOleDropTarget(QWidget* widget, int16_t mode, OleDropHooks hooks);
// The widget's OLEDropMode (0 when it was never set).
int16_t OleDropModeOf(const QWidget* widget);

// A control's OLEDropMode, raising through the control.
void SetControlOleDropMode(Control& control, int16_t mode);
int16_t ControlOleDropMode(const Control& control);

}  // namespace forms_detail
