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

// The dialog for an Open or Save request: an open dialog takes a typed name of a file that does
// not exist unless cdlOFNFileMustExist (or multi-select) asks for existing files; a save dialog
// asks before replacing only with cdlOFNOverwritePrompt.
std::unique_ptr<QFileDialog> MakeFileDialog(const DialogRequest& request, QWidget* owner);

}  // namespace forms_detail
