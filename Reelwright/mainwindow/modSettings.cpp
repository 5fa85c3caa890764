#include "mainwindow/modSettings.h"

#include "core/runtime.h"
#include "engine/modRegistry.h"
#include "registry/registry.h"
#include "registry/settings.h"
#include "shell/files.h"

bool ResizeStreamEnabled = false;
bool ShowProjectEnabled = false;
bool TransitionsEnabled = false;
bool DragDropEnabled = false;
std::string DefaultTransition;
int32_t TransitionSeconds = 0;
int32_t DefaultClipDuration = 0;
std::string ImageEditorPath;
bool ShowToolbarEnabled = false;
std::string OutputFolder;
std::string EncoderInstallDir;

namespace {

std::string Read(const char* section, const char* key, const std::string& def) {
  return GetSetting(kSettingsApp, section, key, def);
}

bool ReadBoolean(const char* section, const char* key, const char* def) {
  return CBool(Variant(Read(section, key, def)));
}

int32_t ReadLong(const char* section, const char* key, const char* def) {
  return CLng(Variant(Read(section, key, def)));
}

// A stored empty value switches the option on; otherwise the value is read again and converted.
bool ReadEmptyMeansTrue(const char* key, const char* def) {
  if (Read(kSectionInit, key, def).empty()) return true;
  return ReadBoolean(kSectionInit, key, def);
}

}  // namespace

void LoadMultiSelectSetting() {
  if (Read(kSectionInit, kKeyMultiSelect, kDefaultMultiSelect).empty())
    SaveSetting(kSettingsApp, kSectionInit, kKeyMultiSelect, kDefaultMultiSelect);
}

void LoadResizeStreamSetting() { ResizeStreamEnabled = ReadEmptyMeansTrue(kKeyResizeStream, kDefaultResizeStream); }

void LoadShowProjectSetting() { ShowProjectEnabled = ReadEmptyMeansTrue(kKeyShowProject, kDefaultShowProject); }

void LoadTransitionsSetting() {
  TransitionsEnabled = ReadBoolean(kSectionOptions, kKeyAllowTransitions, kDefaultAllowTransitions);
}

void LoadDragDropSetting() { DragDropEnabled = ReadBoolean(kSectionOptions, kKeyDragDrop, kDefaultDragDrop); }

void LoadDefaultTransitionSetting() { DefaultTransition = Read(kSectionOptions, kKeyTransition, kDefaultTransition); }

void LoadTransitionSecondsSetting() {
  TransitionSeconds = ReadLong(kSectionOptions, kKeyTransitionTime, kDefaultTransitionTime);
}

void LoadDefaultClipDurationSetting() {
  DefaultClipDuration = ReadLong(kSectionOptions, kKeyDefaultDuration, kDefaultDefaultDuration);
}

void LoadImageEditorSetting() { ImageEditorPath = Read(kSectionOptions, kKeyImageEditor, kDefaultImageEditor); }

void LoadShowToolbarSetting() {
  ShowToolbarEnabled = ReadBoolean(kSectionOptions, kKeyShowToolbar, kDefaultShowToolbar);
}

void LoadOptionsSettings() {
  LoadTransitionsSetting();
  LoadDragDropSetting();
  LoadDefaultTransitionSetting();
  LoadTransitionSecondsSetting();
  LoadDefaultClipDurationSetting();
  LoadImageEditorSetting();
  LoadShowToolbarSetting();
}

void LoadOutputFolderSetting() { OutputFolder = Read(kSectionOptions, kKeyOutput, AppPath() + "/Output"); }

void LoadEncoderInstallDir() {
  // Only text names a folder: a value of another type (binary data, a number) leaves it empty,
  // so the encoder counts as not found instead of stopping the settings load.
  Variant value = RegistryGetKeyValue(static_cast<int32_t>(HKEY_LOCAL_MACHINE),
                                      "SOFTWARE\\Microsoft\\Windows Media\\Encoder\\", "InstallDir");
  EncoderInstallDir = value.vt() == VT_BSTR ? CStr(value) : std::string();
}

bool StartTipsWanted() { return LCase(Read(kSectionInit, kKeyStartTips, kDefaultStartTips)) != "hide"; }

bool IsSmallFrameSize(const std::string& activeWindow) {
  std::string s;
  for (char c : activeWindow) {
    if (c != ' ') s += c;
  }
  return UCase(s) == "320X240";
}
