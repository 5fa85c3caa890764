// The common dialog object and control.
#include "forms/commondialog.h"

#include <filesystem>

#include "core/error.h"
#include "forms/form.h"
#include "forms/qt/control_qt.h"
#include "forms/responder.h"

using namespace forms_detail;
namespace fs = std::filesystem;

bool CommonDialogObject::Cancelled() {
  if (CancelError) ::Raise(vbErrCancel, "Cancel was selected.", "CommonDialog");
  return true;
}

void CommonDialogObject::FileDialog(bool open) {
  DialogRequest r;
  r.kind = open ? DialogKind::Open : DialogKind::Save;
  r.title = DialogTitle;
  r.filter = Filter;
  r.filterIndex = FilterIndex;
  r.fileName = FileName;
  r.initDir = InitDir;
  r.defaultExt = DefaultExt;
  r.flags = Flags;
  r.owner = hWndOwner;
  DialogAnswer a = CurrentResponder()->Dialog(r);
  if (!a.accepted) {
    // With CancelError the cancel raises and the names stay as they were (a caller may use the
    // last choice again); without it, the empty name tells the caller that nothing was chosen.
    Cancelled();
    FileName.clear();
    FileTitle.clear();
    return;
  }
  std::vector<std::string> files = a.fileNames.empty() ? std::vector<std::string>{a.text} : a.fileNames;
  // A name typed without an extension gets the default one.
  if (!DefaultExt.empty()) {
    for (std::string& f : files) {
      if (fs::path(f).extension().empty()) f += "." + DefaultExt;
    }
  }
  if (a.filterIndex > 0) FilterIndex = a.filterIndex;
  if (files.size() > 1 && (Flags & cdlOFNAllowMultiselect)) {
    char sep = (Flags & cdlOFNExplorer) ? '\0' : ' ';
    std::string joined = fs::path(files.front()).parent_path().string();
    for (const std::string& f : files) {
      joined += sep;
      joined += fs::path(f).filename().string();
    }
    FileName = joined;
    FileTitle.clear();
    return;
  }
  FileName = files.front();
  FileTitle = fs::path(FileName).filename().string();
}

void CommonDialogObject::ShowOpen() { FileDialog(true); }
void CommonDialogObject::ShowSave() { FileDialog(false); }

void CommonDialogObject::ShowColor() {
  DialogRequest r;
  r.kind = DialogKind::Color;
  r.title = DialogTitle;
  r.color = Color;
  r.flags = Flags;
  r.owner = hWndOwner;
  DialogAnswer a = CurrentResponder()->Dialog(r);
  if (!a.accepted) {
    Cancelled();
    return;
  }
  Color = a.color;
}

void CommonDialogObject::ShowFont() {
  DialogRequest r;
  r.kind = DialogKind::Font;
  r.title = DialogTitle;
  r.flags = Flags;
  r.owner = hWndOwner;
  if (!FontName.empty()) r.font.Name = FontName;
  if (FontSize > 0) r.font.Size = FontSize;
  r.font.Bold = FontBold;
  r.font.Italic = FontItalic;
  r.font.Underline = FontUnderline;
  r.font.Strikethrough = FontStrikethru;
  DialogAnswer a = CurrentResponder()->Dialog(r);
  if (!a.accepted) {
    Cancelled();
    return;
  }
  FontName = a.font.Name;
  FontSize = a.font.Size;
  FontBold = a.font.Bold;
  FontItalic = a.font.Italic;
  FontUnderline = a.font.Underline;
  FontStrikethru = a.font.Strikethrough;
}

// ---- control -----------------------------------------------------------------------------------

CommonDialog::CommonDialog(const ControlSite& site) : Control(site) {}
CommonDialog::~CommonDialog() {
  if (detach_) detach_->Detach();
}
IDispatch* CommonDialog::DispatchObject() const {
  if (!automation_) automation_ = MakeCommonDialogDispatch(const_cast<CommonDialogObject&>(dialog_), &detach_);
  return automation_.Get();
}

void CommonDialog::Own() {
  if (!dialog_.hWndOwner) dialog_.hWndOwner = Parent().hWnd();
}
void CommonDialog::ShowOpen() {
  Own();
  dialog_.ShowOpen();
}
void CommonDialog::ShowSave() {
  Own();
  dialog_.ShowSave();
}
void CommonDialog::ShowColor() {
  Own();
  dialog_.ShowColor();
}
void CommonDialog::ShowFont() {
  Own();
  dialog_.ShowFont();
}

void CommonDialog::SetProperty(const std::string& n, const Variant& v) {
  CommonDialogObject& d = dialog_;
  if (Is(n, "CancelError")) { d.CancelError = BoolOf(v); return; }
  if (Is(n, "DialogTitle")) { d.DialogTitle = StringOf(v); return; }
  if (Is(n, "Filter")) { d.Filter = StringOf(v); return; }
  if (Is(n, "FilterIndex")) { d.FilterIndex = static_cast<int16_t>(LongOf(v)); return; }
  if (Is(n, "FileName")) { d.FileName = StringOf(v); return; }
  if (Is(n, "DefaultExt")) { d.DefaultExt = StringOf(v); return; }
  if (Is(n, "InitDir")) { d.InitDir = StringOf(v); return; }
  if (Is(n, "Flags")) { d.Flags = LongOf(v); return; }
  if (Is(n, "Color")) { d.Color = static_cast<OLE_COLOR>(LongOf(v)); return; }
  if (Is(n, "FontName")) { d.FontName = StringOf(v); return; }
  if (Is(n, "FontSize")) { d.FontSize = static_cast<float>(DoubleOf(v)); return; }
  if (Is(n, "FontBold")) { d.FontBold = BoolOf(v); return; }
  if (Is(n, "FontItalic")) { d.FontItalic = BoolOf(v); return; }
  if (Is(n, "Tag")) return Control::SetProperty(n, v);
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}

Variant CommonDialog::GetProperty(const std::string& n) const {
  const CommonDialogObject& d = dialog_;
  if (Is(n, "CancelError")) return Variant(d.CancelError);
  if (Is(n, "DialogTitle")) return Variant(d.DialogTitle);
  if (Is(n, "Filter")) return Variant(d.Filter);
  if (Is(n, "FilterIndex")) return Variant(d.FilterIndex);
  if (Is(n, "FileName")) return Variant(d.FileName);
  if (Is(n, "FileTitle")) return Variant(d.FileTitle);
  if (Is(n, "DefaultExt")) return Variant(d.DefaultExt);
  if (Is(n, "InitDir")) return Variant(d.InitDir);
  if (Is(n, "Flags")) return Variant(d.Flags);
  if (Is(n, "Color")) return Variant(static_cast<int32_t>(d.Color));
  if (Is(n, "FontName")) return Variant(d.FontName);
  if (Is(n, "FontSize")) return Variant(d.FontSize);
  if (Is(n, "FontBold")) return Variant(d.FontBold);
  if (Is(n, "FontItalic")) return Variant(d.FontItalic);
  if (Is(n, "Name") || Is(n, "Index") || Is(n, "Tag")) return Control::GetProperty(n);
  ::Raise(vbErrObjectDoesntSupport, "Object doesn't support property '" + n + "'");
}

namespace {
const bool kRegistered = RegisterControlClass<CommonDialog>("CommonDialog");
}
