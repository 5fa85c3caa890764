#pragma once
// The common dialog: open, save, colour and font dialogs with the properties the runtime's
// common dialog object has. Every dialog goes through the responder (forms/responder.h).
// Usable alone (the object "MSComDlg.CommonDialog.1" wraps one) or as the control
// "CommonDialog" on a form.
#include <cstdint>
#include <string>

#include "forms/control.h"
#include "forms/font.h"
#include "forms/hwnd.h"

enum FileOpenConstants : int32_t {
  cdlOFNReadOnly = 0x1,
  cdlOFNOverwritePrompt = 0x2,
  cdlOFNHideReadOnly = 0x4,
  cdlOFNNoChangeDir = 0x8,
  cdlOFNAllowMultiselect = 0x200,
  cdlOFNExtensionDifferent = 0x400,
  cdlOFNPathMustExist = 0x800,
  cdlOFNFileMustExist = 0x1000,
  cdlOFNExplorer = 0x80000,
  cdlOFNLongNames = 0x200000,
};

class CommonDialogObject {
 public:
  // Raises 32755 ("Cancel was selected.") on Cancel when CancelError is set, leaving FileName as
  // it was; otherwise a cancelled file dialog leaves FileName empty.
  void ShowOpen();
  void ShowSave();
  void ShowColor();
  void ShowFont();

  bool CancelError = false;
  std::string DialogTitle;
  // "description|pattern|description|pattern"; patterns separated by ";".
  std::string Filter;
  int16_t FilterIndex = 0;
  // The chosen file with its folder. With cdlOFNAllowMultiselect and several files: the folder
  // and the names separated by NUL characters (cdlOFNExplorer) or blanks.
  std::string FileName;
  // The chosen file's name without its folder (read after a dialog).
  std::string FileTitle;
  std::string DefaultExt;
  std::string InitDir;
  int32_t Flags = 0;
  OLE_COLOR Color = 0;
  std::string FontName;
  float FontSize = 0;
  bool FontBold = false;
  bool FontItalic = false;
  bool FontUnderline = false;
  bool FontStrikethru = false;
  // The window that owns the dialogs (0: the active window).
  HWND hWndOwner = 0;

 private:
  void FileDialog(bool open);
  bool Cancelled();
};

// The automation object over a dialog object (the members of "MSComDlg.CommonDialog.1",
// FilterIndex at DISPID 23); Detach is called when the dialog object goes.
class CommonDialogDispatch {
 public:
  virtual void Detach() = 0;

 protected:
  ~CommonDialogDispatch() = default;
};
ComPtr<IDispatch> MakeCommonDialogDispatch(CommonDialogObject& dialog, CommonDialogDispatch** detach);

// The control form of the common dialog: invisible at run time; its dialogs belong to its form.
// Late-bound callers reach it through DispatchObject().
class CommonDialog : public Control {
 public:
  explicit CommonDialog(const ControlSite& site);
  ~CommonDialog() override;
  CommonDialogObject& Dialog() { return dialog_; }
  IDispatch* DispatchObject() const override;
  CommonDialogObject* operator->() { return &dialog_; }
  void ShowOpen();
  void ShowSave();
  void ShowColor();
  void ShowFont();
  void SetProperty(const std::string& name, const Variant& value) override;
  Variant GetProperty(const std::string& name) const override;

 private:
  void Own();
  CommonDialogObject dialog_;
  mutable ComPtr<IDispatch> automation_;
  mutable CommonDialogDispatch* detach_ = nullptr;
};
