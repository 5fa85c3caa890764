#pragma once
// Internal to the platform: the open and save dialogs of the window responder, made apart from
// showing them so that their set-up can be checked.
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <memory>

#include "forms/responder.h"

namespace forms_detail {

// "desc|pattern;pattern|desc|pattern" as Qt's "desc (pattern pattern)" filters (patterns the
// description names already are not repeated). A filter for
// programs ("*.exe") lists every file and leaves the choice to ShownAsProgram.
QStringList QtFilters(const std::string& filter);
// Whether the filter at that 0-based position asks for programs ("*.exe").
bool IsProgramFilter(const std::string& filter, int index);
// What a programs filter shows: folders, executable files, and files named ".exe".
bool ShownAsProgram(const QFileInfo& file);

// The suite's open and save dialog: Qt's own (never the desktop's), whose single-file modes
// take the name in the name box exactly as it stands, in the folder shown (or the path itself
// when it begins with "/"): quotes, semicolons, blanks and a leading dash are part of the name,
// nothing is split or expanded. A folder's name enters that folder. The default extension is
// added to a name without a ".". The dialog refuses, with a box and staying open, a name it
// cannot use: an empty name, a folder that does not exist, a name too long for its folder, a
// missing file where one must exist; a save dialog that asks before replacing asks here.
// Multi-select takes a single name the same way and a list of quoted names as Qt splits it.
class FileDialog : public QFileDialog {
 public:
  FileDialog(QWidget* owner, const QString& title);
  // The files accepted (with their folders); empty until the dialog is accepted.
  QStringList Chosen() const { return chosen_; }
  void accept() override;

 private:
  // The names that cannot be used are refused with a box; true when the path can be answered.
  bool Usable(const QString& path);
  bool Refuse(const QString& text);
  QStringList chosen_;
};

// The dialog for an Open or Save request: an open dialog takes a typed name of a file that does
// not exist unless cdlOFNFileMustExist (or multi-select) asks for existing files; a save dialog
// asks before replacing only with cdlOFNOverwritePrompt.
std::unique_ptr<FileDialog> MakeFileDialog(const DialogRequest& request, QWidget* owner);

}  // namespace forms_detail
