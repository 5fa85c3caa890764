#pragma once
// frmBrowse: the main program's multi-select file browser (Add File). It opens over the main
// window's top-left corner; OK is Command1.
#include "windows/BrowseCore.h"

class frmBrowse : public BrowseCore {
 public:
  frmBrowse();

 protected:
  Picture StripPicture() override;
  void PlaceWindow() override;
};
