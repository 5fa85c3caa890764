// The main program's settings: defaults, the empty-versus-absent rule, conversions, the keys'
// stored spellings, and conversion errors raised by the load.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "PrivateRegistry.h"
#include "core/error.h"
#include "mainwindow/modSettings.h"
#include "registry/registry.h"
#include "registry/settings.h"
#include "shell/files.h"

namespace {

class MainSettings : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    // Values no load rule produces, so that an untouched global shows.
    ResizeStreamEnabled = ShowProjectEnabled = TransitionsEnabled = DragDropEnabled = ShowToolbarEnabled = false;
    DefaultTransition = ImageEditorPath = OutputFolder = EncoderInstallDir = "untouched";
    TransitionSeconds = DefaultClipDuration = -999;
  }

  static void Store(const char* section, const char* key, const std::string& value) {
    SaveSetting("Reelwright", section, key, value);
  }
  static std::string Stored(const char* section, const char* key) {
    return GetSetting("Reelwright", section, key, "<absent>");
  }

  // The settings steps of the main window's load, in its order.
  static void Load() {
    LoadMultiSelectSetting();
    LoadResizeStreamSetting();
    LoadShowProjectSetting();
    LoadOptionsSettings();
    LoadEncoderInstallDir();
    LoadOutputFolderSetting();
  }

  static int32_t LoadError() {
    try {
      Load();
    } catch (const VBError& e) {
      return e.Number();
    }
    return 0;
  }
};

TEST_F(MainSettings, NothingStored) {
  Load();
  EXPECT_FALSE(ResizeStreamEnabled);
  EXPECT_FALSE(ShowProjectEnabled);
  EXPECT_FALSE(TransitionsEnabled);
  EXPECT_TRUE(DragDropEnabled);
  EXPECT_FALSE(ShowToolbarEnabled);
  EXPECT_EQ(DefaultTransition, "None");
  EXPECT_EQ(TransitionSeconds, 1);
  EXPECT_EQ(DefaultClipDuration, 5);
  EXPECT_EQ(ImageEditorPath, "mspaint.exe");
  EXPECT_EQ(OutputFolder, AppPath() + "/Output");
  EXPECT_EQ(EncoderInstallDir, "");
  EXPECT_TRUE(StartTipsWanted());
  EXPECT_EQ(Stored("Init", "MultiSelect"), "<absent>") << "an absent MultiSelect is not written";
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(MainSettings, StoredEmptySwitchesResizeStreamAndShowProjectOn) {
  struct Case {
    std::optional<std::string> stored;
    bool expected;
  } cases[] = {
      {std::nullopt, false}, {"", true}, {"FALSE", false}, {"TRUE", true}, {"0", false},
  };
  for (const char* key : {"ResizeStream", "ShowProject"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(key) + " stored as " + (c.stored ? "\"" + *c.stored + "\"" : "nothing"));
      if (c.stored) {
        Store("Init", key, *c.stored);
      } else {
        Step([&] { DeleteSetting("Reelwright", "Init", std::string(key)); });
      }
      Load();
      EXPECT_EQ(std::string(key) == "ResizeStream" ? ResizeStreamEnabled : ShowProjectEnabled, c.expected);
    }
  }
}

TEST_F(MainSettings, AnEmptyMultiSelectIsRewrittenTrue) {
  Store("Init", "MultiSelect", "");
  Load();
  EXPECT_EQ(Stored("Init", "MultiSelect"), "TRUE");
  Store("Init", "MultiSelect", "FALSE");
  Load();
  EXPECT_EQ(Stored("Init", "MultiSelect"), "FALSE") << "a stored value is left alone";
}

TEST_F(MainSettings, BooleansInAnyCaseAndAsNumbers) {
  struct Key {
    const char* section;
    const char* name;
    const bool* global;
  } keys[] = {
      {"Init", "ResizeStream", &ResizeStreamEnabled}, {"Init", "ShowProject", &ShowProjectEnabled},
      {"Options", "AllowTranstions", &TransitionsEnabled}, {"Options", "DrapDrag", &DragDropEnabled},
      {"Options", "ShowToolbar", &ShowToolbarEnabled},
  };
  struct Value {
    const char* text;
    bool expected;
  } values[] = {
      {"true", true}, {"TRUE", true}, {"True", true}, {"tRuE", true}, {"-1", true}, {"1", true},
      {"0", false},   {"false", false}, {"FALSE", false}, {"False", false},
  };
  for (const auto& k : keys)
    for (const auto& v : values) {
      SCOPED_TRACE(std::string(k.name) + " = " + v.text);
      Store(k.section, k.name, v.text);
      Load();
      EXPECT_EQ(*k.global, v.expected);
    }
}

TEST_F(MainSettings, KeysAreReadUnderTheirStoredSpelling) {
  Store("Options", "AllowTransitions", "True");  // the correct spelling is not the key
  Store("Options", "DragDrop", "FALSE");
  Load();
  EXPECT_FALSE(TransitionsEnabled);
  EXPECT_TRUE(DragDropEnabled);
  Store("Options", "AllowTranstions", "True");
  Store("Options", "DrapDrag", "FALSE");
  Load();
  EXPECT_TRUE(TransitionsEnabled);
  EXPECT_FALSE(DragDropEnabled);
}

TEST_F(MainSettings, WholeNumbersRoundHalfToEven) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {{"3", 3}, {" 12 ", 12}, {"2.5", 2}, {"3.5", 4}, {"0.4", 0}, {"-1", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Store("Options", "TransitionTime", c.text);
    Store("Options", "DefaultDuration", c.text);
    Load();
    EXPECT_EQ(TransitionSeconds, c.expected);
    EXPECT_EQ(DefaultClipDuration, c.expected);
  }
}

TEST_F(MainSettings, TextsAreKeptAsStoredAndAnEmptyOneIsNotTheDefault) {
  Store("Options", "Transition", "Fade");
  Store("Options", "ImageEditor", "/usr/bin/picture-editor");
  Store("Options", "Output", "");
  Load();
  EXPECT_EQ(DefaultTransition, "Fade");
  EXPECT_EQ(ImageEditorPath, "/usr/bin/picture-editor");
  EXPECT_EQ(OutputFolder, "");
}

TEST_F(MainSettings, StartTipsAreHiddenOnlyByTheWordHide) {
  struct Case {
    const char* stored;
    bool shown;
  } cases[] = {{"hide", false}, {"HIDE", false}, {"Hide", false}, {"hIdE", false},
               {"Show", true},  {"hideous", true}, {"hide ", true}, {"", true}};
  for (const auto& c : cases) {
    Store("Init", "StartTips", c.stored);
    EXPECT_EQ(StartTipsWanted(), c.shown) << '"' << c.stored << '"';
  }
}

TEST_F(MainSettings, AValueTheConversionRefusesStopsTheLoadAtThatKey) {
  struct Case {
    const char* section;
    const char* key;
    const char* stored;
  } cases[] = {
      {"Init", "ResizeStream", "yes"},       {"Init", "ShowProject", "maybe"},
      {"Options", "AllowTranstions", "on"},  {"Options", "DrapDrag", "truee"},
      {"Options", "ShowToolbar", "Show"},    {"Options", "TransitionTime", "one"},
      {"Options", "DefaultDuration", "5s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.stored);
    std::filesystem::remove_all(folder_);
    Store(c.section, c.key, c.stored);
    OutputFolder = "untouched";
    EXPECT_EQ(LoadError(), vbErrTypeMismatch);
    EXPECT_EQ(OutputFolder, "untouched") << "the load went on past the failing key";
  }
  // Within section Options the keys load in order: a bad DrapDrag leaves the later ones alone.
  std::filesystem::remove_all(folder_);
  Store("Options", "DrapDrag", "bad");
  Store("Options", "Transition", "Fade");
  DefaultTransition = "untouched";
  EXPECT_EQ(LoadError(), vbErrTypeMismatch);
  EXPECT_EQ(DefaultTransition, "untouched");
}

TEST_F(MainSettings, TheEncoderFolderComesFromTheMachineHive) {
  ASSERT_TRUE(registry::WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Media\\Encoder",
                                    "InstallDir", "/opt/Windows Media/Encoder"));
  Store("Options", "InstallDir", "not this one");
  LoadEncoderInstallDir();
  EXPECT_EQ(EncoderInstallDir, "/opt/Windows Media/Encoder");
}

TEST_F(MainSettings, AnEncoderFolderThatIsNoTextLeavesTheFolderEmpty) {
  const std::string key = "SOFTWARE\\Microsoft\\Windows Media\\Encoder";
  const std::vector<uint8_t> bytes{'/', 'o', 'p', 't', 0};
  const uint32_t number = 7;
  struct Case {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
  } cases[] = {
      {"binary", REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())},
      {"empty binary", REG_BINARY, bytes.data(), 0},
      {"number", REG_DWORD, &number, sizeof number},
  };
  for (const Case& c : cases) {
    HKEY opened = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, key, 0, "", 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(opened, "InstallDir", 0, c.type, static_cast<const BYTE*>(c.data), c.size), ERROR_SUCCESS);
    RegCloseKey(opened);
    EncoderInstallDir = "untouched";
    OutputFolder = "untouched";
    EXPECT_EQ(LoadError(), 0) << c.what;
    EXPECT_EQ(EncoderInstallDir, "") << c.what;
    EXPECT_EQ(OutputFolder, AppPath() + "/Output") << c.what << ": the load went on";
  }
}

}  // namespace
