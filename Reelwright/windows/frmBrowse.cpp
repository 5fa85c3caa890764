#include "windows/frmBrowse.h"

#include "mainwindow/modMain.h"

extern const unsigned char kBrowseStripPicture[];
extern const size_t kBrowseStripPictureSize;

frmBrowse::frmBrowse() : BrowseCore("frmBrowse", "Command1", 9600, 5685) {}

Picture frmBrowse::StripPicture() { return LoadPictureData(kBrowseStripPicture, kBrowseStripPictureSize); }

void frmBrowse::PlaceWindow() {
  Form* show = MainWindow();
  if (!show) Raise(vbErrObjectNotLoaded, "The main window is not there", "frmBrowse");
  Move(show->Left(), show->Top());
}
