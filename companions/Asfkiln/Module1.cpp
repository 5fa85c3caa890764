#include "Module1.h"

#include "forms/app.h"
#include "frmEncode.h"

frmEncode& EncodeWindow() {
  static frmEncode* form = new frmEncode();
  return *form;
}

bool Main() {
  Screen().MousePointer(vbArrowHourglass);
  frmEncode& form = EncodeWindow();
  form.Load();
  // A load that failed never shows the window: waiting for it would never end.
  while (!form.loadFailed && form.IsLoaded() && !form.Visible()) DoEvents();
  Screen().MousePointer(vbDefault);
  if (form.loadFailed) {
    form.Unload();
    return false;
  }
  return true;
}
