// The open and save dialogs on Qt's file dialog.
#include <QFileSystemModel>
#include <QSortFilterProxyModel>
#include <algorithm>

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

}  // namespace

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

std::unique_ptr<QFileDialog> MakeFileDialog(const DialogRequest& r, QWidget* owner) {
  auto d = std::make_unique<QFileDialog>(owner, Q(r.title));
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
      d->setOption(QFileDialog::DontUseNativeDialog);
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
  return d;
}

}  // namespace forms_detail
