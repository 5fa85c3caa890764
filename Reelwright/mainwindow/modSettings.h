#pragma once
// The main program's settings: the keys of application "Reelwright" as they are stored
// (misspellings included), their defaults, and the option globals the main window's load
// fills from them. Every value is text; readers convert with the runtime's CBool / CLng, so a
// stored value those refuse raises their conversion error (13) in the reader.
#include <cstdint>
#include <string>

// --- The store's names -------------------------------------------------------------------------

inline constexpr const char* kSettingsApp = "Reelwright";

// Section Init.
inline constexpr const char* kSectionInit = "Init";
inline constexpr const char* kKeyMultiSelect = "MultiSelect";    // "TRUE"/"FALSE", default "TRUE"
inline constexpr const char* kKeyResizeStream = "ResizeStream";  // "TRUE"/"FALSE", default "FALSE"
inline constexpr const char* kKeyShowProject = "ShowProject";    // "TRUE"/"FALSE", default "FALSE"
inline constexpr const char* kKeyStartTips = "StartTips";        // "Show"/"Hide", default "Show"
inline constexpr const char* kKeyDivXMessage = "DivXMessage";    // "Show"/"Hide", no default
inline constexpr const char* kKeyAutoFit = "AutoFit";            // "TRUE"/"FALSE", no default
inline constexpr const char* kKeyDefaultCodec = "DefaultCodec";  // a video filter's name
inline constexpr const char* kKeyHideCodecMsg = "HideCodecMsg";  // "True"/"False", default "False"

// Section Options.
inline constexpr const char* kSectionOptions = "Options";
inline constexpr const char* kKeyAllowTransitions = "AllowTranstions";  // "True"/"False", default "FALSE"
inline constexpr const char* kKeyDragDrop = "DrapDrag";                 // "TRUE"/"FALSE", default "TRUE"
inline constexpr const char* kKeyTransition = "Transition";             // a transition name, default "None"
inline constexpr const char* kKeyTransitionTime = "TransitionTime";     // decimal seconds, default "1"
inline constexpr const char* kKeyDefaultDuration = "DefaultDuration";   // decimal seconds, default "5"
inline constexpr const char* kKeyImageEditor = "ImageEditor";           // a program, default "mspaint.exe"
inline constexpr const char* kKeyShowToolbar = "ShowToolbar";           // "True"/"False", default "False"
inline constexpr const char* kKeyOutput = "Output";                     // a folder, default program folder & "/Output"
inline constexpr const char* kKeyCompression = "Compression";           // default "Manual"
inline constexpr const char* kKeyActiveWindow = "ActiveWindow";         // frame size text, default "320X240"

// Section Browse.
inline constexpr const char* kSectionBrowse = "Browse";
inline constexpr const char* kKeyLastPath = "LastPath";  // a folder, default the program folder

// Sections Font and Colors: the title maker's text style.
inline constexpr const char* kSectionFont = "Font";
inline constexpr const char* kKeyForeColor = "ForeColor";  // default "65535"
inline constexpr const char* kKeyFontName = "FontName";
inline constexpr const char* kKeyFontSize = "FontSize";
inline constexpr const char* kKeyFontBold = "FontBold";      // default "False"
inline constexpr const char* kKeyFontItalic = "FontItalic";  // default "False"
inline constexpr const char* kSectionColors = "Colors";
inline constexpr const char* kKeyBackColor = "BackColor";  // default "-2147483633 " (trailing blank kept)

inline constexpr const char* kDefaultMultiSelect = "TRUE";
inline constexpr const char* kDefaultResizeStream = "FALSE";
inline constexpr const char* kDefaultShowProject = "FALSE";
inline constexpr const char* kDefaultStartTips = "Show";
inline constexpr const char* kDefaultDefaultCodec = "File writer";
inline constexpr const char* kDefaultHideCodecMsg = "False";
inline constexpr const char* kDefaultAllowTransitions = "FALSE";
inline constexpr const char* kDefaultDragDrop = "TRUE";
inline constexpr const char* kDefaultTransition = "None";
inline constexpr const char* kDefaultTransitionTime = "1";
inline constexpr const char* kDefaultDefaultDuration = "5";
inline constexpr const char* kDefaultImageEditor = "mspaint.exe";
inline constexpr const char* kDefaultShowToolbar = "False";
inline constexpr const char* kDefaultCompression = "Manual";
inline constexpr const char* kDefaultActiveWindow = "320X240";
inline constexpr const char* kDefaultForeColor = "65535";
inline constexpr const char* kDefaultFontBold = "False";
inline constexpr const char* kDefaultFontItalic = "False";
inline constexpr const char* kDefaultBackColor = "-2147483633 ";

// --- The option globals ------------------------------------------------------------------------

extern bool ResizeStreamEnabled;        // Init/ResizeStream
extern bool ShowProjectEnabled;         // Init/ShowProject
extern bool TransitionsEnabled;         // Options/AllowTranstions
extern bool DragDropEnabled;            // Options/DrapDrag
extern std::string DefaultTransition;   // Options/Transition
extern int32_t TransitionSeconds;       // Options/TransitionTime
extern int32_t DefaultClipDuration;     // Options/DefaultDuration
extern std::string ImageEditorPath;     // Options/ImageEditor
extern bool ShowToolbarEnabled;         // Options/ShowToolbar
extern std::string OutputFolder;        // Options/Output
// The Windows Media Encoder's install folder, read from the registry (not from the settings).
extern std::string EncoderInstallDir;

// --- The load rules, one per step of the main window's load ------------------------------------

// Init/MultiSelect: read with default "TRUE"; a stored empty value is written back as "TRUE".
void LoadMultiSelectSetting();
// ResizeStreamEnabled / ShowProjectEnabled: a stored empty value gives True; otherwise the value
// (default "FALSE") as a Boolean.
void LoadResizeStreamSetting();
void LoadShowProjectSetting();
// The option globals of section Options, each read with its default and converted.
void LoadTransitionsSetting();
void LoadDragDropSetting();
void LoadDefaultTransitionSetting();
void LoadTransitionSecondsSetting();
void LoadDefaultClipDurationSetting();
void LoadImageEditorSetting();
void LoadShowToolbarSetting();
// The seven above in the load's order: transitions, drag and drop, transition, transition time,
// clip duration, image editor, toolbar. A conversion error stops at the failing key.
void LoadOptionsSettings();
// OutputFolder from Options/Output, default the program folder & "/Output".
void LoadOutputFolderSetting();
// EncoderInstallDir: the value InstallDir of HKEY_LOCAL_MACHINE
// "SOFTWARE\Microsoft\Windows Media\Encoder\" as text ("" when there is none).
void LoadEncoderInstallDir();
// Init/StartTips (default "Show"): whether the tips window is shown at the start, that is
// unless the value is "hide" in any letter case.
bool StartTipsWanted();
// Whether an Options/ActiveWindow value names the small (320 x 240) size: the value without its
// blanks equals "320X240" in any letter case ("320X240", "320 x 240"); any other value is large.
// The capture window, the joined preview and the preview window all choose by it.
bool IsSmallFrameSize(const std::string& activeWindow);
