#pragma once
// Shared between the compressors, their option pages and the device enumerator.
#include <memory>
#include <string>

#include "dshow/encoders.h"

class QWidget;

namespace dshow {

// Registers the compressors available on this machine with the filter registry and as
// creatable classes (once).
void RegisterCompressorFilters();

// The FOURCC of a video compressor (one of Compressors() or one another area registered); false
// for another class.
bool VideoCompressorFourCC(REFCLSID clsid, uint32_t* fourcc);

// How the property pages reach the compressor they edit.
class ICompressorControl : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{6E0B3F52-8C1D-4A27-9F3E-5D2B7C41A9E8}");
  virtual CompressorInfo Info() = 0;
  virtual std::string EncoderName() = 0;
  virtual CompressorSettings CurrentSettings() = 0;
  // Takes the settings for this instance and as the default of new ones.
  virtual void TakeSettings(const CompressorSettings& settings) = 0;
};

// Property pages of the compressors with options: "About" first, then "Settings".
constexpr CLSID CLSID_CompressorAboutPage = MakeGuid("{3B8E61D4-2F7A-4C95-B1D8-7A04E6C2F513}");
constexpr CLSID CLSID_CompressorSettingsPage = MakeGuid("{9D47A2C6-5E13-4B80-A6F9-1C83D5E7B024}");
void RegisterCompressorPages();

// The panels the dialogs and the property pages are made of, as children of parent.
QWidget* MakeOptionsPanel(const CompressorInfo& info, const CompressorSettings& settings, QWidget* parent);
QWidget* MakeAboutPanel(const CompressorInfo& info, const std::string& encoderName, QWidget* parent);
// The values of an options panel (or a dialog holding one) over the base settings.
CompressorSettings ReadOptions(QWidget& panel, const CompressorSettings& base);

// The option page of a compressor: real widgets for the options it offers, filled with the
// settings. ReadOptions takes the edited values back.
std::unique_ptr<QDialog> MakeOptionsDialog(const CompressorInfo& info,
                                           const CompressorSettings& settings);
// The about box: the compressor's name, the encoder it runs on and the library version.
std::unique_ptr<QDialog> MakeAboutDialog(const CompressorInfo& info, const std::string& encoderName);
// Shows a dialog through the installed presenter; true when it was accepted.
bool PresentCompressorDialog(QDialog& dialog, OAHWND owner);
// Whether dialogs can be shown at all (a widget application exists on this thread).
bool CanShowDialogs();

}  // namespace dshow
