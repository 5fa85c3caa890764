// The open and save dialogs on Qt's file dialog.
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <algorithm>

#include <unistd.h>

#include "forms/commondialog.h"
#include "forms/qt/file_dialog_qt.h"
#include "forms_internal.h"

namespace forms_detail {

namespace {

QStringList Parts(const std::string& filter) { return Q(filter).split('|'); }

bool AsksForPrograms(const QString& patterns) {
  for (const QString& p : patterns.split(';', Qt::SkipEmptyParts)) {
    if (p.trimmed().compare("*.exe", Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// Narrows a programs filter (which lets every name through) to programs.
class ProgramFilter : public QSortFilterProxyModel {
 public:
  bool programs = false;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!programs) return true;
    auto* model = qobject_cast<QFileSystemModel*>(sourceModel());
    if (!model) return true;
    return ShownAsProgram(model->fileInfo(model->index(row, 0, parent)));
  }
};

QLineEdit* NameBox(const QFileDialog& d) { return d.findChild<QLineEdit*>("fileNameEdit"); }

QAbstractButton* AcceptButton(const QFileDialog& d) {
  auto* box = d.findChild<QDialogButtonBox*>("buttonBox");
  if (!box) return nullptr;
  return box->button(d.acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save);
}

// Whether the name box holds one name (taken as it stands) rather than a list of quoted names
// (multi-select: text that begins with a quote, unless a file of the folder has that whole name).
bool HoldsOneName(const QFileDialog& d, const QString& typed) {
  switch (d.fileMode()) {
    case QFileDialog::AnyFile:
    case QFileDialog::ExistingFile: return true;
    case QFileDialog::ExistingFiles:
      return !typed.startsWith(u'"') || QFileInfo(d.directory().filePath(typed)).isFile();
    default: return false;
  }
}

// Qt greys the accept button for names it would read as a list of quoted names (a lone quote,
// a name ending in one, a file that exists only under the whole name): while the name box holds
// one name, the button stays usable and the dialog itself judges the name.
class KeepAcceptable : public QObject {
 public:
  KeepAcceptable(QFileDialog* dialog, QAbstractButton* button) : QObject(button), dialog_(dialog), button_(button) {
    button->installEventFilter(this);
    // Connected after the dialog's own handler of the name box, so it has the last word.
    if (QLineEdit* box = NameBox(*dialog)) QObject::connect(box, &QLineEdit::textChanged, this, [this] { Enable(); });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == button_ && event->type() == QEvent::EnabledChange && !button_->isEnabled()) {
      QTimer::singleShot(0, this, [this] { Enable(); });
    }
    return false;
  }

 private:
  void Enable() {
    if (!dialog_ || !button_ || button_->isEnabled()) return;
    QLineEdit* box = NameBox(*dialog_);
    const QString typed = box ? box->text() : QString();
    if (!typed.isEmpty() && HoldsOneName(*dialog_, typed)) button_->setEnabled(true);
  }
  QPointer<QFileDialog> dialog_;
  QPointer<QAbstractButton> button_;
};

}  // namespace

FileDialog::FileDialog(QWidget* owner, const QString& title) : QFileDialog(owner, title) {
  // The same dialog on every desktop: the desktop's own would not take names as below.
  setOption(QFileDialog::DontUseNativeDialog);
}

void FileDialog::accept() {
  QLineEdit* box = NameBox(*this);
  const QString typed = box ? box->text() : QString();
  if (!HoldsOneName(*this, typed)) {
    // Folders and a list of quoted names: Qt's own reading.
    QFileDialog::accept();
    if (result() == QDialog::Accepted) chosen_ = selectedFiles();
    return;
  }
  if (typed.isEmpty()) return;
  // Exactly the name typed, in the folder shown (a path beginning with "/" is that path).
  QString path = directory().filePath(typed);
  const QFileInfo info(path);
  if (info.isDir()) {
    // A folder's name opens that folder.
    setDirectory(QDir::cleanPath(info.absoluteFilePath()));
    box->clear();
    return;
  }
  if (!defaultSuffix().isEmpty() && !info.fileName().isEmpty() && !info.fileName().contains(u'.')) {
    path += u'.' + defaultSuffix();
  }
  if (!Usable(path)) return;
  chosen_ = QStringList{path};
  QDialog::accept();
}

bool FileDialog::Refuse(const QString& text) {
  QMessageBox::warning(this, windowTitle(), text);
  return false;
}

bool FileDialog::Usable(const QString& path) {
  const QFileInfo info(path);
  const QString name = info.fileName();
  if (name.isEmpty() || name == "." || name == "..") return Refuse(path + "\nThis is not a valid file name.");
  const QString folder = info.absolutePath();
  if (!QFileInfo(folder).isDir()) return Refuse(name + "\nThe folder " + folder + " does not exist.");
  long longest = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
  if (longest <= 0) longest = 255;
  if (QFile::encodeName(name).size() > longest) return Refuse(name + "\nThe file name is too long.");
  const bool mustExist = fileMode() == QFileDialog::ExistingFile || fileMode() == QFileDialog::ExistingFiles;
  if (mustExist && !info.exists()) return Refuse(name + "\nFile not found.\nCheck the file name and try again.");
  if (acceptMode() == QFileDialog::AcceptSave && info.exists() && !testOption(QFileDialog::DontConfirmOverwrite)) {
    return QMessageBox::warning(this, windowTitle(), name + " already exists.\nDo you want to replace it?",
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
  }
  return true;
}

QStringList QtFilters(const std::string& filter) {
  QStringList parts = Parts(filter);
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    if (AsksForPrograms(patterns)) {
      patterns = "*";
    } else {
      patterns.replace(';', ' ');
    }
    // A description that names its patterns already ("AVI files (*.avi)") names them once.
    QString description = parts[i].trimmed();
    qsizetype open = description.lastIndexOf('(');
    if (description.endsWith(')') && open >= 0 && description.indexOf('*', open) > open) {
      description = description.left(open).trimmed();
    }
    out << description + " (" + patterns + ")";
  }
  return out;
}

bool IsProgramFilter(const std::string& filter, int index) {
  QStringList parts = Parts(filter);
  int at = 2 * index + 1;
  return index >= 0 && at < parts.size() && AsksForPrograms(parts[at]);
}

bool ShownAsProgram(const QFileInfo& file) {
  if (file.isDir()) return true;
  return (file.isFile() && file.isExecutable()) || file.suffix().compare("exe", Qt::CaseInsensitive) == 0;
}

std::unique_ptr<FileDialog> MakeFileDialog(const DialogRequest& r, QWidget* owner) {
  auto d = std::make_unique<FileDialog>(owner, Q(r.title));
  bool open = r.kind == DialogKind::Open;
  d->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  if (open) {
    if (r.flags & cdlOFNAllowMultiselect) {
      d->setFileMode(QFileDialog::ExistingFiles);
    } else {
      d->setFileMode((r.flags & cdlOFNFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
  } else {
    d->setFileMode(QFileDialog::AnyFile);
    if (!(r.flags & cdlOFNOverwritePrompt)) d->setOption(QFileDialog::DontConfirmOverwrite);
  }
  QStringList filters = QtFilters(r.filter);
  if (!filters.isEmpty()) {
    bool anyPrograms = false;
    for (int i = 0; i < filters.size(); ++i) anyPrograms = anyPrograms || IsProgramFilter(r.filter, i);
    if (anyPrograms) {
      // Qt's own dialog, whose list a proxy can narrow to programs; the "*" behind a programs
      // filter stays out of sight.
      d->setOption(QFileDialog::HideNameFilterDetails);
      QFileDialog* dialog = d.get();
      auto* proxy = new ProgramFilter;
      proxy->setParent(dialog);
      d->setProxyModel(proxy);
      std::string filter = r.filter;
      QObject::connect(dialog, &QFileDialog::filterSelected, proxy, [proxy, filter, dialog](const QString& chosen) {
        QStringList all = dialog->nameFilters();
        proxy->programs = IsProgramFilter(filter, static_cast<int>(all.indexOf(chosen)));
        proxy->invalidate();
      });
    }
    d->setNameFilters(filters);
    int idx = std::clamp<int>(r.filterIndex, 1, static_cast<int>(filters.size())) - 1;
    d->selectNameFilter(filters[idx]);
    if (auto* proxy = dynamic_cast<ProgramFilter*>(d->proxyModel())) {
      proxy->programs = IsProgramFilter(r.filter, idx);
      proxy->invalidate();
    }
  }
  if (!r.defaultExt.empty()) d->setDefaultSuffix(Q(r.defaultExt));
  if (!r.initDir.empty()) d->setDirectory(Q(r.initDir));
  if (!r.fileName.empty()) d->selectFile(Q(r.fileName));
  if (QAbstractButton* button = AcceptButton(*d)) new KeepAcceptable(d.get(), button);
  return d;
}

}  // namespace forms_detail
