// The program's responder: Qt's own message boxes and dialogs.
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>
#include <vector>

#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "forms/qt/file_dialog_qt.h"
#include "forms/qt/font_qt.h"
#include "forms_internal.h"

using forms_detail::Q;
using forms_detail::S;

namespace {

struct ButtonDef {
  QMessageBox::StandardButton qt;
  int result;
};

std::vector<ButtonDef> ButtonsOf(int style) {
  using B = QMessageBox;
  switch (style & 7) {
    case vbOKCancel: return {{B::Ok, vbOK}, {B::Cancel, vbCancel}};
    case vbAbortRetryIgnore: return {{B::Abort, vbAbort}, {B::Retry, vbRetry}, {B::Ignore, vbIgnore}};
    case vbYesNoCancel: return {{B::Yes, vbYes}, {B::No, vbNo}, {B::Cancel, vbCancel}};
    case vbYesNo: return {{B::Yes, vbYes}, {B::No, vbNo}};
    case vbRetryCancel: return {{B::Retry, vbRetry}, {B::Cancel, vbCancel}};
    default: return {{B::Ok, vbOK}};
  }
}

QWidget* OwnerWidget(HWND owner) {
  if (QWidget* w = WidgetFromHwnd(owner)) return w->window();
  return QApplication::activeWindow();
}

// A box is at least as wide as its title needs in the window manager's title bar, so that a long
// title is not cut over a short text.
void KeepTitleVisible(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  grid->addItem(new QSpacerItem(forms_detail::TitleBarWidth(box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                grid->rowCount(), 0, 1, grid->columnCount());
}

class WindowResponder : public Responder {
 public:
  int MessageBox(const MsgBoxRequest& r) override {
    forms_detail::EnsureApplication();
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(Q(r.title));
    box.setText(Q(r.prompt));
    switch (r.buttons & 0x70) {
      case vbCritical: box.setIcon(QMessageBox::Critical); break;
      case vbQuestion: box.setIcon(QMessageBox::Question); break;
      case vbExclamation: box.setIcon(QMessageBox::Warning); break;
      case vbInformation: box.setIcon(QMessageBox::Information); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    std::vector<ButtonDef> defs = ButtonsOf(r.buttons);
    QMessageBox::StandardButtons set;
    for (auto& d : defs) set |= d.qt;
    box.setStandardButtons(set);
    size_t def = static_cast<size_t>((r.buttons >> 8) & 3);
    if (def >= defs.size()) def = 0;
    box.setDefaultButton(defs[def].qt);
    KeepTitleVisible(box);
    box.exec();
    auto clicked = box.standardButton(box.clickedButton());
    for (auto& d : defs) {
      if (d.qt == clicked) return d.result;
    }
    // Closed without a button: the Cancel answer where there is one, else the default.
    for (auto& d : defs) {
      if (d.result == vbCancel) return vbCancel;
    }
    return (r.buttons & 7) == vbYesNo ? vbNo : defs[def].result;
  }

  DialogAnswer Dialog(const DialogRequest& r) override {
    forms_detail::EnsureApplication();
    QWidget* owner = OwnerWidget(r.owner);
    DialogAnswer a;
    switch (r.kind) {
      case DialogKind::Open:
      case DialogKind::Save: {
        std::unique_ptr<forms_detail::FileDialog> dialog = forms_detail::MakeFileDialog(r, owner);
        forms_detail::FileDialog& d = *dialog;
        QStringList filters = d.nameFilters();
        if (d.exec() != QDialog::Accepted || d.Chosen().isEmpty()) return DialogAnswer::Cancel();
        a.accepted = true;
        for (const QString& f : d.Chosen()) a.fileNames.push_back(S(f));
        a.text = a.fileNames.front();
        a.filterIndex = static_cast<int16_t>(filters.indexOf(d.selectedNameFilter()) + 1);
        return a;
      }
      case DialogKind::Color: {
        QColor c = QColorDialog::getColor(forms_detail::ColorFromOle(r.color), owner, Q(r.title));
        if (!c.isValid()) return DialogAnswer::Cancel();
        a.accepted = true;
        a.color = forms_detail::OleFromColor(c);
        return a;
      }
      case DialogKind::Font: {
        QFont initial(forms_detail::FaceFor(r.font.Name));
        initial.setPointSizeF(r.font.Size > 0 ? r.font.Size : 8.25);
        initial.setBold(r.font.Bold);
        initial.setItalic(r.font.Italic);
        initial.setUnderline(r.font.Underline);
        initial.setStrikeOut(r.font.Strikethrough);
        bool ok = false;
        QFont f = QFontDialog::getFont(&ok, initial, owner, Q(r.title));
        if (!ok) return DialogAnswer::Cancel();
        a.accepted = true;
        a.font.Name = forms_detail::ChosenFontName(r.font.Name, f);
        a.font.Size = static_cast<float>(f.pointSizeF());
        a.font.Bold = f.bold();
        a.font.Italic = f.italic();
        a.font.Underline = f.underline();
        a.font.Strikethrough = f.strikeOut();
        return a;
      }
      case DialogKind::Folder: {
        QFileDialog::Options options;
        if (!(r.flags & BIF_BROWSEINCLUDEFILES)) options |= QFileDialog::ShowDirsOnly;
        if (r.flags & BIF_NONEWFOLDERBUTTON) options |= QFileDialog::ReadOnly;
        QString dir = QFileDialog::getExistingDirectory(owner, Q(r.title.empty() ? r.prompt : r.title),
                                                        Q(r.initDir), options);
        if (dir.isEmpty()) return DialogAnswer::Cancel();
        return DialogAnswer::Ok(S(dir));
      }
      case DialogKind::Network:
      case DialogKind::Input: {
        bool ok = false;
        QString text = QInputDialog::getText(owner, Q(r.title), Q(r.prompt), QLineEdit::Normal,
                                             Q(r.defaultText), &ok);
        if (!ok) return DialogAnswer::Cancel();
        return DialogAnswer::Ok(S(text));
      }
    }
    return DialogAnswer::Cancel();
  }
};

}  // namespace

std::shared_ptr<Responder> MakeWindowResponder() { return std::make_shared<WindowResponder>(); }
