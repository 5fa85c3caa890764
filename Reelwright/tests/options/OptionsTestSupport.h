#pragma once
// Helpers of the options windows' tests: a program folder of the test's own (programs present or
// not), a stand-in storyboard whose tiles keep the properties set on them by dispatch identifier,
// and a recording of the main window's services.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/object.h"
#include "core/variant.h"
#include "fixtures.h"
#include "forms/controls.h"
#include "forms/form.h"
#include "mainwindow/modMain.h"
#include "options/modOptions.h"

namespace options_test {

namespace fs = std::filesystem;

// SUITE_PROGRAM_FOLDER is an empty folder of the test for the life of the object.
class ProgramFolder {
 public:
  ProgramFolder() : path_(fixtures::ScratchFolder("program-folder")) {
    for (const auto& e : fs::directory_iterator(path_)) fs::remove_all(e.path());
    setenv("SUITE_PROGRAM_FOLDER", path_.c_str(), 1);
  }
  ~ProgramFolder() { unsetenv("SUITE_PROGRAM_FOLDER"); }
  // An executable program at `relative` ("VirtualDub/VirtualDub"), in the program folder or
  // under `folder`.
  std::string AddProgram(const std::string& relative, const std::string& folder = {}) {
    fs::path p = fs::path(folder.empty() ? path_ : folder) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "#!/bin/sh\nexit 0\n";
    ::chmod(p.c_str(), 0755);
    return p.string();
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A tile object that keeps every property put on it and answers it back.
class KeepingTileObject : public ComObject<IDispatch> {
 public:
  HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 uint32_t*) override {
    if ((flags & DISPATCH_PROPERTYPUT) && params && params->cArgs == 1) {
      values[id] = params->rgvarg[0];
      puts.push_back(id);
      return S_OK;
    }
    if ((flags & DISPATCH_PROPERTYGET) && result) {
      auto it = values.find(id);
      if (it == values.end()) return DISP_E_MEMBERNOTFOUND;
      *result = it->second;
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }
  std::map<DISPID, Variant> values;
  std::vector<DISPID> puts;
};

class KeepingTile : public Control {
 public:
  explicit KeepingTile(const ControlSite& site) : Control(site), object_(MakeComObject<KeepingTileObject>()) {}
  IDispatch* DispatchObject() const override { return object_.Get(); }
  KeepingTileObject& Object() { return *object_.Get(); }

 private:
  ComPtr<KeepingTileObject> object_;
};
inline const bool kKeepingTileRegistered = RegisterControlClass<KeepingTile>("KeepingTile");

// The storyboard's side: `tiles` tiles and the main window's size label and list.
class StandInStoryboard : public Form {
 public:
  explicit StandInStoryboard(int tiles = 3) : Form("frmShow"), tiles_(tiles) {}
  KeepingTileObject& Tile(int16_t i) { return static_cast<KeepingTile*>(FindControl("ctrlSourceClip", i))->Object(); }

 protected:
  void Design() override {
    Place({{"KeepingTile", "ctrlSourceClip", 0, "", 0, 0, 0, 0, ""},
           {"Label", "Label10", -1, "", 0, 0, 600, 255, "Video Size:"},
           {"ComboBox", "CmbVideoSizes", -1, "", 0, 300, 1200, 315, ""}});
    for (int16_t i = 1; i < tiles_; ++i) LoadElement("ctrlSourceClip", i);
  }

 private:
  int tiles_;
};

// The main window's services, recorded in call order; the frame-size fill appends three sizes
// and selects the third, as the main window's does.
struct RecordedServices {
  std::vector<std::string> calls;
  RecordedServices() {
    modOptions::MainWindowServices s;
    s.FillHeightWidthCombo = [this](ComboBox& box) {
      calls.push_back("FillHeightWidthCombo");
      for (const char* size : {"160 x 120", "240 x 180", "320 x 240"}) box.AddItem(size);
      box.ListIndex(2);
    };
    s.SetEnableDragDrop = [this](bool on) { calls.push_back(std::string("m_boolEnableDragDrop=") + (on ? "True" : "False")); };
    s.ShowHideToolbar = [this](bool on) { calls.push_back(std::string("ShowHideToolbar ") + (on ? "True" : "False")); };
    s.LoadToolBar = [this] { calls.push_back("LoadToolBar"); };
    modOptions::SetMainWindowServices(std::move(s));
  }
  ~RecordedServices() { modOptions::SetMainWindowServices({}); }
};

}  // namespace options_test
