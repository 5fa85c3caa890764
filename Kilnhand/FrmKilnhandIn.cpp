// The batch encoder's main window.
#include "FrmKilnhandIn.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include <sys/stat.h>

#include "FrmAddFiles.h"
#include "frmBrowse.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "forms/app.h"
#include "forms/waitevents.h"
#include "frmReport.h"
#include "modProfiles.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/textfile.h"

using namespace kilnhand;

namespace {

std::string TwoDigits(long v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02ld", v);
  return buf;
}

void ErrorBox(const std::string& text, const VBError& e, int icon = vbCritical) {
  MsgBox(text, vbOKOnly | icon, "Error-" + std::to_string(e.Number()));
}

}  // namespace

FrmKilnhandIn::FrmKilnhandIn() : Form("FrmKilnhandIn") {
  On("Form_Load", [this] { FormLoad(); });
  On("Form_QueryUnload", [this](int16_t& Cancel, int16_t UnloadMode) { FormQueryUnload(Cancel, UnloadMode); });
  On("Form_Resize", [this] { FormResize(); });
  On("Timer1_Timer", [this] { Timer1_Timer(); });
  On("Timer2_Timer", [this] { Timer2_Timer(); });
  On("Timer3_Timer", [this] { Timer3_Timer(); });
  On("CmdStart_Click", [this] { CmdStart_Click(); });
  On("CmdStop_Click", [this] { CmdStop_Click(); });
  On("CmdExit_Click", [this] { CmdExit_Click(); });
  On("CmdAdd_Click", [this] { CmdAdd_Click(); });
  On("cmdMultiAdd_Click", [this] { cmdMultiAdd_Click(); });
  On("CmdRemove_Click", [this] { CmdRemove_Click(); });
  On("CmdRemoveAll_Click", [this] { CmdRemoveAll_Click(); });
  On("CmdClearResults_Click", [this] { CmdClearResults_Click(); });
  On("CmdSave_Click", [this] { CmdSave_Click(); });
  On("CmdLoad_Click", [this] { CmdLoad_Click(); });
  On("LvwKilnhand_Click", [this] { LvwKilnhand_Click(); });
  On("Command1_Click", [this] { Command1_Click(); });
}

void FrmKilnhandIn::Design() {
  Caption("Kilnqueue");
  Size(9945, 8400);
  Place({
      {"PictureBox", "Picture2", -1, "", 0, 0, 7005, 7695, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"ComboBox", "CmbProfile", -1, "Picture2", 90, 90, 6825, 315, ""},
      {"ListView", "LvwKilnhand", -1, "Picture2", 90, 480, 6825, 3600, "",
       {{"View", Variant(int16_t{3})}, {"FullRowSelect", Variant(true)}, {"HideSelection", Variant(false)}}},
      {"Label", "Label3", -1, "Picture2", 75, 4185, 6855, 3420, "", {{"BorderStyle", Variant(int16_t{1})}}},
      {"MSPROPSHELLLibCtl.MSPropShell", "MSPropMain", -1, "Picture2", 90, 4200, 6825, 3390, ""},
      {"PictureBox", "Picture1", -1, "", 7005, 0, 2940, 7695, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"PictureBox", "picButtons", -1, "Picture1", 150, 30, 2760, 4470, "", {{"BorderStyle", Variant(int16_t{0})}}},
      {"CommandButton", "CmdAdd", -1, "picButtons", 0, 0, 870, 1080, "A&dd",
       {{"ToolTipText", Variant("Add media to the list")}}},
      {"CommandButton", "CmdRemove", -1, "picButtons", 930, 0, 870, 1080, "&Remove",
       {{"ToolTipText", Variant("Remove media from the list")}}},
      {"CommandButton", "cmdMultiAdd", -1, "picButtons", 1860, 0, 870, 1080, "A&dd Batch",
       {{"ToolTipText", Variant("Add Multiple Files")}}},
      {"CommandButton", "CmdClearResults", -1, "picButtons", 0, 1110, 1335, 1080, "&Clear Results",
       {{"ToolTipText", Variant("Clear the results")}}},
      {"CommandButton", "CmdRemoveAll", -1, "picButtons", 1410, 1125, 1335, 1080, "Remove &All",
       {{"ToolTipText", Variant("Remove all media from the list")}}},
      {"CommandButton", "CmdLoad", -1, "picButtons", 0, 2250, 1335, 1080, "&Load",
       {{"ToolTipText", Variant("Load a kilnhand file")}}},
      {"CommandButton", "CmdSave", -1, "picButtons", 1410, 2250, 1335, 1080, "Sa&ve",
       {{"ToolTipText", Variant("Save the list to a kilnhand file")}}},
      {"CommandButton", "CmdStart", -1, "picButtons", 0, 3375, 1335, 1080, "&Start",
       {{"ToolTipText", Variant("Start encoding the list")}}},
      {"CommandButton", "CmdStop", -1, "picButtons", 1410, 3375, 1335, 1080, "S&top",
       {{"ToolTipText", Variant("Stop encoding")}}},
      {"Frame", "Frame1", -1, "Picture1", 150, 4545, 2760, 2055, "Timed Session "},
      {"Label", "Label2", -1, "Frame1", 180, 285, 1350, 255, "SystemTime:"},
      {"Label", "lblSysTime", -1, "Frame1", 1575, 300, 1080, 255, "00:00:00"},
      {"Label", "Label1", -1, "Frame1", 330, 630, 810, 255, "Start Time:"},
      {"ListBox", "lstHour", -1, "Frame1", 1155, 615, 600, 225, "", {{"ToolTipText", Variant("Select the start hour")}}},
      {"ListBox", "lstMinute", -1, "Frame1", 1710, 615, 660, 225, "",
       {{"ToolTipText", Variant("Select the start minute")}}},
      {"Label", "lblTimerStatus", -1, "Frame1", 210, 930, 2400, 255, "The timer is not running"},
      {"CommandButton", "Command1", -1, "Frame1", 105, 1320, 2550, 630, "Timed Session"},
      {"CommandButton", "CmdExit", -1, "Picture1", 150, 6735, 2745, 900, "E&xit"},
      {"StatusBar", "StaEncoderStat", -1, "", 0, 0, 0, 375, "", {{"Style", Variant(int16_t{1})}}},
      {"CommonDialog", "DlgBat", -1, "", 0, 0, 0, 0, ""},
      {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}}},
      {"Timer", "Timer2", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{1000})}, {"Enabled", Variant(false)}}},
      {"Timer", "Timer3", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{5000})}}},
  });
}

// ---- Start-up, hand-off and close -------------------------------------------------------------

void FrmKilnhandIn::FormLoad() {
  sDefaultProfile = kPreferredProfile;
  if (App().PrevInstance()) End();
  try {
    if (!FileFound(MarkerFile()) && !FileExists(MarkerFile())) {
      TextFile marker(MarkerFile(), TextFileMode::Output);
      marker.PrintLine("\"" + DateStr() + ", " + TimeStr() + "\"");
      marker.Close();
    }
  } catch (const VBError&) {
  }
  try {
    Size(9945, 8400);
    Top((Screen().Height() - Height()) / 2);
    Left((Screen().Width() - Width()) / 2);
    lblSysTime->Caption(TimeStr());
  } catch (const VBError&) {
  }
  try {
    FillCombo();
  } catch (const VBError&) {
  }
  try {
    lstHour->Clear();
    for (int h = 0; h < 24; ++h) lstHour->AddItem(std::to_string(h));
    SelectNextHour();
    lstMinute->Clear();
    for (int m = 0; m < 60; ++m) lstMinute->AddItem(std::to_string(m));
    lstMinute->ListIndex(static_cast<int16_t>(Minute(Now())));
    lblSysTime->Caption(TimeStr());
  } catch (const VBError&) {
  }
  try {
    auto& cols = LvwKilnhand->ColumnHeadersOf();
    const float quarter = static_cast<float>(LvwKilnhand->Width()) / 4;
    cols.Add({}, "Input", "Input File", quarter);
    cols.Add({}, "Output", "Output File", quarter);
    cols.Add({}, "Profile", "Profile", quarter);
    cols.Add({}, "Result", "Result", quarter);
    Encoder = nullptr;
    StaEncoderStat->SimpleText("Encoder Stopped");
    for (CommandButton* b : {&*CmdRemove, &*CmdRemoveAll, &*CmdClearResults, &*CmdSave, &*CmdStart, &*CmdStop})
      b->Enabled(false);
    cmdMultiAdd->Enabled(true);

    std::string tail = Command();
    if (tail.empty()) return;
    bool autoStart = false;
    // The token goes wherever it stands; the rest is the path.
    for (size_t at; (at = tail.find("<RUN>")) != std::string::npos;) {
      autoStart = true;
      tail.erase(at, 5);
    }
    tail = Trim(tail);
    if (!FileFound(tail)) return;
    std::string input = tail;
    std::string output = HandOffOutput(input);
    // The profile: "Wz Movie Tools 320X240" when offered, else the first.
    std::vector<std::string> names;
    ProfileNames(names);
    std::string chosen = names.empty() ? std::string() : names.front();
    for (const auto& n : names)
      if (n == kPreferredProfile) chosen = n;
    sDefaultProfile = Trim(chosen);
    int16_t hr = 0;
    Populate_List(input, output, sDefaultProfile, hr);
    if (hr == 1) return;
    RowsAdded();
    Show();
    DoEvents();
    if (autoStart) CmdStart_Click();
  } catch (const VBError& e) {
    ErrorBox("Error Executing Application", e);
  }
}

void FrmKilnhandIn::Timer3_Timer() {
  sDefaultProfile = kPreferredProfile;
  try {
    if (!CmbProfile->Text().empty()) sDefaultProfile = CmbProfile->Text();
  } catch (const VBError&) {
  }
  std::vector<std::string> lines;
  try {
    lines = taker_.Tick(CmdAdd->Enabled());
  } catch (const VBError&) {
    return;
  }
  if (lines.empty()) return;
  std::vector<std::string> queued;
  auto& items = LvwKilnhand->ListItemsOf();
  for (int32_t i = 1; i <= items.Count(); ++i) queued.push_back(LCase(Trim(items.Item(i).Text())));
  for (const std::string& raw : lines) {
    std::string line = Trim(raw);
    if (line.empty()) continue;
    bool known = false;
    for (const auto& q : queued) known = known || q == LCase(line);
    if (known) continue;
    try {
      std::string output = HandOffOutput(line);
      int16_t hr = 0;
      Populate_List(line, output, sDefaultProfile, hr);
      RowsAdded();
    } catch (const VBError&) {
    }
  }
}

void FrmKilnhandIn::FormQueryUnload(int16_t&, int16_t) {
  // A close during a run ends the run first: the encoder completes the file, the row is marked.
  if (running_) {
    StopAndWait();
    closing_ = true;
    try {
      LvwKilnhand->ListItemsOf().Item(currentRow_).SubItems(3, ErrorResult(E_ABORT));
    } catch (const VBError&) {
    }
  }
  Timer1->Enabled(false);
  Timer2->Enabled(false);
  Timer3->Enabled(false);
  std::remove(MarkerFile().c_str());
}

void FrmKilnhandIn::StopAndWait() {
  int32_t state = 5;
  if (!Encoder || FAILED(Encoder->get_RunState(&state))) return;
  ComPtr<IWMEncoder> enc = Encoder;
  if (state == WMENC_ENCODER_RUNNING || state == WMENC_ENCODER_PAUSED || state == WMENC_ENCODER_STOPPING) {
    enc->Stop();
    stopped_ = true;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (SUCCEEDED(enc->get_RunState(&state)) && state != WMENC_ENCODER_STOPPED &&
           std::chrono::steady_clock::now() < limit)
      DoEventsWaiting(200);
  }
}

void FrmKilnhandIn::CmdExit_Click() {
  try {
    Timer1->Enabled(false);
    Timer2->Enabled(false);
    bTimedSession = false;
  } catch (const VBError&) {
  }
  Unload();  // a run is stopped and its file completed there
  Encoder = nullptr;
  End();
}

// ---- The queue ----------------------------------------------------------------------------------

void FrmKilnhandIn::FillCombo() {
  try {
    FillProfileList(*CmbProfile);
  } catch (const VBError&) {
  }
}

void FrmKilnhandIn::Populate_List(const std::string& InputFile, std::string& OutputFile, const std::string& Profile,
                                  int16_t& hResult) {
  try {
    if (OutputFile == "None") {
      ComPtr<IWMEncoder> enc = NewEncoder();
      ComPtr<IWMEncSourceGroupCollection> groups;
      CheckWithInfo(enc->get_SourceGroupCollection(groups.put()));
      ComPtr<IWMEncSourceGroup> group;
      CheckWithInfo(groups->Add(Bstr("SrcList"), group.put()));
      CheckWithInfo(group->AutoSetFileSource(Bstr::FromUtf8(InputFile)));
      int16_t audio = 0, video = 0;
      CheckWithInfo(group->get_SourceCount(WMENC_AUDIO, &audio));
      CheckWithInfo(group->get_SourceCount(WMENC_VIDEO, &video));
      OutputFile = DerivedOutput(InputFile, audio >= 1 && video == 0);
    }
    auto& items = LvwKilnhand->ListItemsOf();
    ListItem& item = items.Add(Variant(static_cast<int32_t>(items.Count() + 1)), "", InputFile);
    item.ListSubItemsOf().Add({}, "OutputFile", OutputFile);
    item.ListSubItemsOf().Add({}, "Profile", Profile);
    item.ListSubItemsOf().Add({}, "Result", "");
    SelectFirstRow();
    hResult = 0;
  } catch (const VBError&) {
    hResult = 1;
  }
}

void FrmKilnhandIn::SelectFirstRow() {
  auto& items = LvwKilnhand->ListItemsOf();
  if (items.Count() == 0) return;
  LvwKilnhand->SelectedItem(&items.Item(1));
  LvwKilnhand->DropHighlight(&items.Item(1));
}

void FrmKilnhandIn::RowsAdded() {
  for (CommandButton* b : {&*CmdRemove, &*CmdRemoveAll, &*CmdClearResults, &*CmdSave, &*CmdStart, &*cmdMultiAdd})
    b->Enabled(true);
}

void FrmKilnhandIn::GetProfile(const std::string& Profile, IWMEncProfileCollection* PrfCol, IWMEncSourceGroup* SrcGrp,
                               int16_t& hResult) {
  hResult = 1;
  try {
    int32_t n = 0;
    CheckWithInfo(PrfCol->get_Count(&n));
    for (int32_t i = 0; i < n; ++i) {
      ComPtr<IWMEncProfile> p;
      CheckWithInfo(PrfCol->Item(i, p.put()));
      Bstr name;
      CheckWithInfo(p->get_Name(&name));
      if (UCase(name.Utf8()) == UCase(Profile)) {
        CheckWithInfo(SrcGrp->put_Profile(Variant(static_cast<IDispatch*>(p.Get()))));
        hResult = 0;
        return;
      }
    }
  } catch (const VBError&) {
    hResult = 1;
  }
}

void FrmKilnhandIn::ProcessInput(IWMEncoder* encoder, const std::string& InputFile, const std::string& OutputFile,
                                 const std::string& Profile, int32_t& hResult) {
  try {
    ComPtr<IWMEncSourceGroupCollection> groups;
    CheckWithInfo(encoder->get_SourceGroupCollection(groups.put()));
    ComPtr<IWMEncSourceGroup> group;
    CheckWithInfo(groups->Item(0, group.put()));
    CheckWithInfo(group->AutoSetFileSource(Bstr::FromUtf8(InputFile)));
    ComPtr<IWMEncProfileCollection> col;
    CheckWithInfo(encoder->get_ProfileCollection(col.put()));
    int16_t found = 0;
    GetProfile(Profile, col.Get(), group.Get(), found);
    if (found == 1) {
      hResult = 1;
      return;
    }
    ComPtr<IWMEncFile> file;
    CheckWithInfo(encoder->get_File(file.put()));
    CheckWithInfo(file->put_LocalFileName(Bstr::FromUtf8(OutputFile)));
    lStopCode = 0;
    CheckWithInfo(encoder->Start());
    StaEncoderStat->SimpleText("Encoder Running");
    // The encoder posts a message at each change of state: wait for the next one, handle it.
    int32_t state = 0;
    while (SUCCEEDED(encoder->get_RunState(&state)) && state != WMENC_ENCODER_STOPPED && lStopCode == 0) {
      DoEventsWaiting(1000);
      if (closing_) return;
    }
    StaEncoderStat->SimpleText("Encoder Stopped");
    hResult = stopped_ ? E_ABORT : lStopCode;
  } catch (const VBError& e) {
    hResult = e.Number();
  }
}

void FrmKilnhandIn::CmdStart_Click() {
  auto& items = LvwKilnhand->ListItemsOf();
  if (items.Count() == 0) {
    MsgBox("No files to encode", vbOKOnly);
    return;
  }
  for (CommandButton* b : {&*CmdStart, &*CmdAdd, &*cmdMultiAdd, &*CmdRemove, &*CmdClearResults, &*CmdRemoveAll,
                           &*CmdSave, &*CmdLoad})
    b->Enabled(false);
  CmdStop->Enabled(true);
  running_ = true;
  stopped_ = false;
  closing_ = false;
  try {
    Encoder = NewEncoder();
    ComPtr<IWMEncoder> run = Encoder;  // the run's own reference: Stop empties Encoder
    events_ = std::make_unique<EncoderEvents>(run.Get(), [this, run](int32_t) {
      int32_t code = 0;
      run->get_ErrorState(&code);
      lStopCode = code;
    });
    IDispatch* shell = FindControl("MSPropMain")->DispatchObject();
    InvokeDispatch(shell, 4, DISPATCH_METHOD, {Variant(static_cast<IDispatch*>(run.Get()))});
    ComPtr<IUnknown> page;
    Check(CoCreateInstance(CLSID_WMEncStatisticsPage, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, page.put_void()));
    InvokeDispatch(shell, 1, DISPATCH_METHOD, {Variant(page.Get())});
    ComPtr<IWMEncSourceGroupCollection> groups;
    CheckWithInfo(run->get_SourceGroupCollection(groups.put()));
    ComPtr<IWMEncSourceGroup> group;
    CheckWithInfo(groups->Add(Bstr("Kilnhand"), group.put()));
    if (bTimedSession) {
      TheReport().lblStart->Caption("Session start time: " + TimeStr());
      TheReport().List1->Clear();
    }
    for (int32_t i = 1; i <= LvwKilnhand->ListItemsOf().Count(); ++i) {
      ListItem& item = LvwKilnhand->ListItemsOf().Item(i);
      const std::string input = item.Text(), output = item.SubItems(1), profile = item.SubItems(2);
      if (item.SubItems(3) != "Done") {
        currentRow_ = i;
        int32_t hr = 0;
        ProcessInput(run.Get(), input, output, profile, hr);
        if (closing_) {  // the close marked the row; the window is gone
          running_ = false;
          events_.reset();
          return;
        }
        // The row is looked up again: the wait handled the window's events.
        if (i > LvwKilnhand->ListItemsOf().Count()) break;
        LvwKilnhand->ListItemsOf().Item(i).SubItems(3, hr == 0 ? "Done" : ErrorResult(hr));
      }
      if (bTimedSession)
        TheReport().List1->AddItem("File: " + output + " Result: " + LvwKilnhand->ListItemsOf().Item(i).SubItems(3));
      if (stopped_) break;  // Stop ends the run; later rows keep their Result
      if (i < LvwKilnhand->ListItemsOf().Count()) {
        ListItem& next = LvwKilnhand->ListItemsOf().Item(i + 1);
        LvwKilnhand->SelectedItem(&next);
        LvwKilnhand->DropHighlight(&next);
      }
    }
    Encoder = nullptr;
    events_.reset();
    CmdStop->Enabled(false);
    CmdStart->Enabled(stopped_);
    if (bTimedSession) {
      EndSession();
      TheReport().lblEndTime->Caption("Session end time: " + TimeStr());
      TheReport().Show();
    }
    for (CommandButton* b : {&*CmdAdd, &*cmdMultiAdd, &*CmdRemove, &*CmdClearResults, &*CmdRemoveAll, &*CmdSave,
                             &*CmdLoad})
      b->Enabled(true);
  } catch (const VBError& e) {
    ErrorBox("Error Processing Input", e);
  }
  running_ = false;
}

void FrmKilnhandIn::CmdStop_Click() {
  try {
    int32_t state = 0;
    if (Encoder && SUCCEEDED(Encoder->get_RunState(&state)) &&
        (state == WMENC_ENCODER_RUNNING || state == WMENC_ENCODER_PAUSED)) {
      stopped_ = true;
      CheckWithInfo(Encoder->Stop());
      if (bTimedSession) EndSession();
    }
    Encoder = nullptr;
    // While a run's loop still waits for the encoder to end its file, the queue stays as the run
    // set it: the loop enables these buttons once it has ended.
    if (running_) return;
    for (CommandButton* b : {&*CmdAdd, &*cmdMultiAdd, &*CmdRemove, &*CmdRemoveAll, &*CmdClearResults, &*CmdLoad,
                             &*CmdSave, &*CmdStart})
      b->Enabled(true);
  } catch (const VBError& e) {
    ErrorBox("Error stopping Encoder", e);
  }
}

// ---- The main window's buttons ------------------------------------------------------------------

void FrmKilnhandIn::CmdAdd_Click() {
  try {
    FrmAddFiles& dialog = TheAddFiles();
    dialog.Show(vbModal, this);
    if (dialog.GetInputFile().empty()) {
      CmdAdd->SetFocus();
      return;
    }
    std::string output = Trim(dialog.GetOutputFile());
    int16_t hr = 0;
    Populate_List(Trim(dialog.GetInputFile()), output, Trim(dialog.GetProfile()), hr);
    if (hr == 1) MsgBox("Error Populating the list", vbOKOnly);
    RowsAdded();
  } catch (const VBError&) {
  }
}

void FrmKilnhandIn::CmdRemove_Click() {
  try {
    auto& items = LvwKilnhand->ListItemsOf();
    if (items.Count() > 0) {
      ListItem* selected = LvwKilnhand->SelectedItem();
      if (!selected) Raise(91);
      items.Remove(selected->Index());
    }
  } catch (const VBError&) {
    MsgBox("Error Removing Selected Entry From List", vbOKOnly | vbExclamation);
  }
}

void FrmKilnhandIn::CmdRemoveAll_Click() {
  try {
    auto& items = LvwKilnhand->ListItemsOf();
    for (int32_t i = items.Count(); i >= 1; --i) items.Remove(i);
  } catch (const VBError&) {
    MsgBox("Error Removing Entries from List", vbOKOnly | vbExclamation);
  }
}

void FrmKilnhandIn::CmdClearResults_Click() {
  try {
    auto& items = LvwKilnhand->ListItemsOf();
    if (items.Count() == 0) MsgBox("Nothing to clear", vbOKOnly);
    for (int32_t i = items.Count(); i >= 1; --i)
      if (!items.Item(i).SubItems(3).empty()) items.Item(i).SubItems(3, "");
    CmdStart->Enabled(true);
  } catch (const VBError&) {
    MsgBox("Error clearing the list", vbOKOnly | vbExclamation);
  }
}

void FrmKilnhandIn::LvwKilnhand_Click() {
  try {
    LvwKilnhand->DropHighlight(LvwKilnhand->SelectedItem());
  } catch (const VBError&) {
  }
}

void FrmKilnhandIn::cmdMultiAdd_Click() {
  frmBrowse& picker = ThePicker();
  std::string start = ProgramFolder();
  Step([&] { start = GetSetting(kSettingsApp, kSettingsSection, "LastPath", ProgramFolder()); });
  struct stat st {};
  if (stat(start.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) start = ProgramFolder();
  if (lStartNumber == 0) lStartNumber = 1;
  Step([&] { picker.txtStart->Text(std::to_string(lStartNumber)); });
  Step([&] { picker.Drive1->Drive(MountPointOf(start)); });
  Step([&] { picker.Dir1->Path(start); });
  Step([&] { picker.File1->Path(start); });
  Step([&] { picker.lbPath->Caption(start); });
  Step([&] { picker.Show(vbModal, this); });
  if (!picker.bNoCancel) {
    picker.Unload();
    return;
  }
  std::string root, extension, profile, folder;
  Step([&] { frmBrowse::SplitOutputName(picker.TxtOutput->Text(), &root, &extension); });
  Step([&] { profile = picker.CmbProfile->Text(); });
  if (profile.empty()) {
    MsgBox("No profile selected.", vbOKOnly);
    picker.Unload();
    return;
  }
  Step([&] { folder = frmBrowse::FolderOf(picker.txtFilePath->Text()) + root; });
  Step([&] { lStartNumber = frmBrowse::StartNumber(picker.txtStart->Text()); });
  std::vector<std::string> files;
  Step([&] {
    const std::string dir = picker.Dir1->Path();
    for (int16_t i = 0; i < picker.File1->ListCount(); ++i)
      if (picker.File1->Selected(i)) files.push_back(frmBrowse::FolderOf(dir) + picker.File1->List(i));
  });
  Step([&] { SaveSetting(kSettingsApp, kSettingsSection, "LastPath", picker.File1->Path()); });
  int16_t hr = 0;
  for (const std::string& file : files) {
    struct stat fs {};
    if (stat(file.c_str(), &fs) == 0 && fs.st_size == 0) {
      MsgBox("The file " + file + " is empty.", vbOKOnly);
      continue;
    }
    std::string output = folder + std::to_string(lStartNumber) + extension;
    Populate_List(file, output, profile, hr);
    ++lStartNumber;
    if (hr == 1) {
      MsgBox("Error Populating the list", vbOKOnly);
      break;
    }
  }
  if (hr != 1) RowsAdded();
  picker.Unload();
}

void FrmKilnhandIn::FormResize() {
  try {
    if (WindowState() == vbMinimized) return;
    if (Height() < 8400) Height(8400);
    if (Width() < 9945) Width(9945);
    Control& picture2 = *FindControl("Picture2");
    Control& picture1 = *FindControl("Picture1");
    Control& shell = *FindControl("MSPropMain");
    Control& frame = *FindControl("Label3");
    const int32_t statusHeight = StaEncoderStat->Height();
    const int32_t inner = static_cast<int32_t>(ScaleHeight()) - statusHeight;
    picture2.Height(inner);
    picture1.Height(inner);
    picture1.Left(static_cast<int32_t>(ScaleWidth()) - picture1.Width());
    picture2.Width(static_cast<int32_t>(ScaleWidth()) - picture1.Width());
    LvwKilnhand->Width(picture2.Width() - 180);
    CmbProfile->Width(picture2.Width() - 180);
    shell.Width(picture2.Width() - 180);
    shell.Height(std::max<int32_t>(300, picture2.Height() - LvwKilnhand->Top() - LvwKilnhand->Height() - statusHeight + 90));
    CmdExit->Top(picture1.Height() - CmdExit->Height() - 120);
    frame.Move(shell.Left() - 15, shell.Top() - 15, shell.Width() + 30, shell.Height() + 30);
    frame.ZOrder(1);  // a frame drawn around the page shell, never over it
  } catch (const VBError&) {
  }
}

// ---- The batch list file ------------------------------------------------------------------------

void FrmKilnhandIn::CmdSave_Click() {
  DlgBat->Dialog().DialogTitle = "Save File";
  DlgBat->Dialog().Filter = "Kilnhand Files (*.bwm) | *.bwm";
  DlgBat->ShowSave();
  const std::string name = DlgBat->Dialog().FileName;
  DlgBat->Dialog().FileName.clear();
  if (name.empty()) return;
  std::string temp;
  try {
    auto& items = LvwKilnhand->ListItemsOf();
    std::vector<std::string> lines;
    for (int32_t i = 1; i <= items.Count(); ++i) {
      const ListItem& item = items.Item(i);
      const std::string fields[] = {item.Text(), item.SubItems(1), item.SubItems(2)};
      std::string line;
      for (const auto& f : fields) {
        // A field that could not be read back is refused before anything is written.
        if (f.find_first_of(";\r\n") != std::string::npos) Raise(5);
        line += f + ";";
      }
      lines.push_back(line);
    }
    const size_t slash = name.rfind('/');
    // A new side file of its own (never through a link; leftovers of killed saves go first).
    temp = NewSideFile((slash == std::string::npos ? std::string() : name.substr(0, slash + 1)) + "." +
                       name.substr(slash == std::string::npos ? 0 : slash + 1) + ".saving-");
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    WriteFileBytes(temp, std::vector<uint8_t>(text.begin(), text.end()));
    ReplaceFile(temp, name);
  } catch (const VBError& e) {
    if (!temp.empty()) std::remove(temp.c_str());
    ErrorBox("Error Saving List Entries", e);
  }
}

void FrmKilnhandIn::CmdLoad_Click() {
  DlgBat->Dialog().DialogTitle = "Input File";
  DlgBat->Dialog().Filter = "Kilnhand Files (*.bwm) | *.bwm";
  DlgBat->Dialog().Flags = 4096;
  DlgBat->ShowOpen();
  const std::string name = DlgBat->Dialog().FileName;
  if (name.empty()) return;
  DlgBat->Dialog().FileName.clear();
  try {
    TextFile in(name, TextFileMode::Input);
    auto& items = LvwKilnhand->ListItemsOf();
    items.Clear();
    int32_t row = 0;
    while (!in.AtEnd()) {
      const std::string line = in.LineInput();
      size_t a = line.find(';');
      size_t b = a == std::string::npos ? a : line.find(';', a + 1);
      size_t c = b == std::string::npos ? b : line.find(';', b + 1);
      if (c == std::string::npos) Raise(5);
      if (row + 1 > 32767) Raise(6);
      ++row;
      ListItem& item = items.Add(Variant(row), "", line.substr(0, a));
      item.ListSubItemsOf().Add({}, "OutputFile", line.substr(a + 1, b - a - 1));
      item.ListSubItemsOf().Add({}, "Profile", line.substr(b + 1, c - b - 1));
      item.ListSubItemsOf().Add({}, "Result", "");
    }
    in.Close();
    if (items.Count() > 0) {
      LvwKilnhand->DropHighlight(&items.Item(1));
      RowsAdded();
    }
  } catch (const VBError& e) {
    ErrorBox("Error Loading Saved Configuration", e);
  }
}

// ---- The timed session --------------------------------------------------------------------------

void FrmKilnhandIn::SelectNextHour() {
  int h = Hour(Now());
  lstHour->ListIndex(static_cast<int16_t>(h == 23 ? 0 : h + 1));
}

std::string FrmKilnhandIn::Countdown(bool* startNow) {
  const int h = std::stoi(lstHour->List(lstHour->ListIndex()));
  const int m = std::stoi(lstMinute->List(lstMinute->ListIndex()));
  Variant now = Now();
  const long nowSeconds = Hour(now) * 3600L + Minute(now) * 60L + Second(now);
  long left = h * 3600L + m * 60L - nowSeconds;
  if (left <= 0) left += 24 * 3600L;
  std::string text = TwoDigits(left / 3600) + ":" + TwoDigits(left / 60 % 60) + ":" + TwoDigits(left % 60);
  if (startNow) *startNow = text == "00:00:01" || (Hour(now) == h && Minute(now) == m);
  return text;
}

void FrmKilnhandIn::Command1_Click() {
  if (LvwKilnhand->ListItemsOf().Count() == 0) {
    MsgBox("Please add some files to encode before starting the timer.", vbOKOnly);
    return;
  }
  if (picButtons->Visible()) {
    int32_t state = 0;
    if (bTimedSession && Encoder && SUCCEEDED(Encoder->get_RunState(&state)) &&
        (state == WMENC_ENCODER_RUNNING || state == WMENC_ENCODER_PAUSED)) {
      MsgBox("The encoder session is running.\r\nPlease press the Stop button to end this session before setting a new "
             "schedule.",
             vbOKOnly);
      return;
    }
    const std::string hour = lstHour->List(lstHour->ListIndex());
    const std::string minute = lstMinute->List(lstMinute->ListIndex());
    // Only the current minute is refused: an earlier time of day runs tomorrow.
    Variant now = Now();
    if (std::stoi(hour) == Hour(now) && std::stoi(minute) == Minute(now)) {
      MsgBox("Please set the start time for a time in the future.", vbOKOnly);
      SelectNextHour();
      return;
    }
    if (MsgBox("Do you want to start an encoding session at " + hour + ":" + minute + ":00", vbYesNo) != vbYes) return;
    picButtons->Visible(false);
    lblTimerStatus->Caption("The timer is running");
    Label2->Caption("Remaining Time:");
    Timer1->Enabled(false);
    Timer2->Enabled(true);
    bTimedSession = true;
    WindowState(vbMinimized);
    Caption("Encoder session will start in " + Countdown(nullptr));
  } else if (MsgBox("Do you want to stop the scheduled encoding session?", vbYesNo) == vbYes) {
    EndSession();
  }
}

void FrmKilnhandIn::Timer1_Timer() { lblSysTime->Caption(TimeStr()); }

void FrmKilnhandIn::Timer2_Timer() {
  bool start = false;
  const std::string left = Countdown(&start);
  lblSysTime->Caption(left);
  Caption("Encoder session will start in " + left);
  if (!start) return;
  picButtons->Visible(true);
  lblTimerStatus->Caption("The timer is not running");
  Label2->Caption("System Time:");
  Caption("Encoder session in progress.");
  Timer2->Enabled(false);
  Timer1->Enabled(true);
  DoEvents();
  CmdStart_Click();
}

void FrmKilnhandIn::EndSession() {
  picButtons->Visible(true);
  lblTimerStatus->Caption("The timer is not running");
  Label2->Caption("System Time:");
  Timer1->Enabled(true);
  Timer2->Enabled(false);
  bTimedSession = false;
  Caption("Kilnqueue");
}

FrmKilnhandIn& TheMainWindow() {
  // Lives as long as the program, past the forms runtime's own end.
  static FrmKilnhandIn* form = MakeForm<FrmKilnhandIn>().release();
  return *form;
}

void StartMainWindow(FrmKilnhandIn& main) {
  main.Load();
  if (main.IsLoaded()) main.Show();
}
