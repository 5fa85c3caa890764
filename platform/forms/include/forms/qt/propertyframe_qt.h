#pragma once
// Internal to the platform: how the property frame is shown. The default runs the dialog
// modally; a test installs a presenter that fills in the pages and presses the frame's buttons
// (object names "ok", "cancel", "apply"; the tab widget is "pages"), returning whether the frame
// ended with OK.
#include <QDialog>
#include <functional>

#include "com/propertypages.h"

using PropertyFramePresenter = std::function<bool(QDialog& frame, OAHWND owner)>;
// Installs a presenter (an empty one restores the default); returns the previous one.
PropertyFramePresenter SetPropertyFramePresenter(PropertyFramePresenter presenter);
