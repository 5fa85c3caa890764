// Modal dialogs from templates on Qt dialogs.
#include "forms/dialogbox.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <map>
#include <sstream>

#include "com/resources.h"
#include "forms/font.h"
#include "forms/qt/control_qt.h"
#include "forms/qt/hwnd_qt.h"

namespace {

DialogBoxPresenter& Presenter() {
  static DialogBoxPresenter presenter;
  return presenter;
}

// Reads a quoted text ("" inside stands for one quote) or a bare word.
bool ReadToken(std::istringstream& in, std::string* out) {
  in >> std::ws;
  if (in.peek() != '"') return static_cast<bool>(in >> *out);
  in.get();
  out->clear();
  for (int c; (c = in.get()) != EOF;) {
    if (c == '"') {
      if (in.peek() != '"') return true;
      in.get();
    }
    out->push_back(static_cast<char>(c));
  }
  return false;
}

class TemplateDialog : public QDialog {
 public:
  TemplateDialog(QWidget* owner, DLGPROC proc) : QDialog(owner), proc_(std::move(proc)) {}
  HWND Handle() { return HwndFromWidget(this); }
  // Passes a command to the procedure; ids 1 and 2 end the dialog unless the procedure did.
  void Command(int id) {
    intptr_t handled = proc_ ? proc_(Handle(), WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0) : 0;
    if (!ended_ && !handled && (id == IDOK || id == IDCANCEL)) End(id);
  }
  void End(intptr_t result) {
    ended_ = true;
    result_ = result;
    done(0);
  }
  bool Ended() const { return ended_; }
  intptr_t Result() const { return result_; }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return Command(IDOK);
    if (e->key() == Qt::Key_Escape) return Command(IDCANCEL);
    QDialog::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override {
    if (!ended_) {
      e->ignore();
      Command(IDCANCEL);
      return;
    }
    QDialog::closeEvent(e);
  }
  void reject() override {
    if (!ended_) Command(IDCANCEL);
  }

 private:
  DLGPROC proc_;
  bool ended_ = false;
  intptr_t result_ = 0;
};

std::map<HWND, TemplateDialog*>& OpenDialogs() {
  static std::map<HWND, TemplateDialog*> open;
  return open;
}

}  // namespace

bool ParseDialogTemplate(const std::string& text, DialogTemplate* out) {
  DialogTemplate t;
  std::istringstream lines(text);
  std::string line;
  bool header = false;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) continue;
    if (word == "DIALOG") {
      header = static_cast<bool>(in >> t.x >> t.y >> t.width >> t.height);
      if (!header || t.width <= 0 || t.height <= 0) return false;
    } else if (word == "STYLE") {
      for (std::string s; in >> s;) t.styles.push_back(s);
    } else if (word == "CAPTION") {
      if (!ReadToken(in, &t.caption)) return false;
    } else if (word == "FONT") {
      if (!(in >> t.fontSize) || !ReadToken(in, &t.fontName)) return false;
    } else if (word == "DEFPUSHBUTTON" || word == "PUSHBUTTON" || word == "LTEXT" || word == "CTEXT" ||
               word == "RTEXT") {
      DialogItem item;
      item.kind = word;
      if (!ReadToken(in, &item.text) || !(in >> item.id >> item.x >> item.y >> item.width >> item.height)) return false;
      t.items.push_back(item);
    } else {
      return false;
    }
  }
  if (!header) return false;
  *out = std::move(t);
  return true;
}

intptr_t DialogBoxParam(const std::string& modulePath, int id, HWND owner, DLGPROC proc, LPARAM param) {
  HRSRC r = FindResource(modulePath, ResourceId(id), RT_DIALOG);
  const uint8_t* bytes = LoadResource(modulePath, r);
  if (!bytes) return -1;
  DialogTemplate t;
  if (!ParseDialogTemplate(std::string(reinterpret_cast<const char*>(bytes), SizeofResource(modulePath, r)), &t))
    return -1;
  return DialogBoxIndirectParam(t, owner, std::move(proc), param);
}

intptr_t DialogBoxIndirectParam(const DialogTemplate& t, HWND owner, DLGPROC proc, LPARAM param) {
  forms_detail::EnsureApplication();
  TemplateDialog dialog(WidgetFromHwnd(owner), proc);
  dialog.setWindowTitle(QString::fromStdString(t.caption));
  StdFont font;
  font.Name = t.fontName;
  font.Size = static_cast<float>(t.fontSize);
  forms_detail::ApplyFont(&dialog, font);
  // Dialog units of the font: a quarter of its average character width, an eighth of its height.
  const QFontMetrics fm(dialog.font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const double baseX = fm.horizontalAdvance(letters) / 52.0, baseY = fm.height();
  auto px = [&](int dlu) { return static_cast<int>(dlu * baseX / 4 + 0.5); };
  auto py = [&](int dlu) { return static_cast<int>(dlu * baseY / 8 + 0.5); };
  dialog.setFixedSize(px(t.width), py(t.height));
  DialogBoxRequest request{t.caption, {}, owner};
  for (const DialogItem& item : t.items) {
    request.texts.push_back(item.text);
    QWidget* w = nullptr;
    if (item.kind.find("PUSHBUTTON") != std::string::npos) {
      auto* b = new QPushButton(QString::fromStdString(item.text), &dialog);
      b->setDefault(item.kind == "DEFPUSHBUTTON");
      b->setAutoDefault(false);
      const int id = item.id;
      QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog, id] { dialog.Command(id); });
      w = b;
    } else {
      auto* l = new QLabel(QString::fromStdString(item.text), &dialog);
      l->setWordWrap(true);
      l->setAlignment(item.kind == "CTEXT" ? Qt::AlignHCenter : item.kind == "RTEXT" ? Qt::AlignRight : Qt::AlignLeft);
      w = l;
    }
    w->setGeometry(px(item.x), py(item.y), px(item.width), py(item.height));
  }
  const HWND hwnd = dialog.Handle();
  OpenDialogs()[hwnd] = &dialog;
  if (proc) proc(hwnd, WM_INITDIALOG, 0, param);
  if (!dialog.Ended()) {
    if (DialogBoxPresenter presenter = Presenter()) {
      dialog.Command(presenter(request));
    } else {
      dialog.exec();
    }
  }
  OpenDialogs().erase(hwnd);
  return dialog.Result();
}

bool EndDialog(HWND hwnd, intptr_t result) {
  auto it = OpenDialogs().find(hwnd);
  if (it == OpenDialogs().end()) return false;
  it->second->End(result);
  return true;
}

HWND GetActiveWindow() {
  QWidget* w = QApplication::activeWindow();
  if (!w) w = QApplication::activeModalWidget();
  return w ? HwndFromWidget(w) : 0;
}

DialogBoxPresenter SetDialogBoxPresenter(DialogBoxPresenter presenter) {
  return std::exchange(Presenter(), std::move(presenter));
}
