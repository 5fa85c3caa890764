#pragma once
// Shared between the compressors, their option pages and the device enumerator.
#include <memory>
#include <string>

#include "dshow/encoders.h"

namespace dshow {

// Registers the compressors available on this machine with the filter registry and as
// creatable classes (once).
void RegisterCompressorFilters();

// The option page of a compressor: real widgets for the options it offers, filled with the
// settings. ReadOptions takes the edited values back.
std::unique_ptr<QDialog> MakeOptionsDialog(const CompressorInfo& info,
                                           const CompressorSettings& settings);
CompressorSettings ReadOptions(QDialog& dialog, const CompressorSettings& base);
// The about box: the compressor's name, the encoder it runs on and the library version.
std::unique_ptr<QDialog> MakeAboutDialog(const CompressorInfo& info, const std::string& encoderName);
// Shows a dialog through the installed presenter; true when it was accepted.
bool PresentCompressorDialog(QDialog& dialog, OAHWND owner);
// Whether dialogs can be shown at all (a widget application exists on this thread).
bool CanShowDialogs();

}  // namespace dshow
