// frmShow: the storyboard's tiles (new tile, select, context menu, clip list, scrolling, delete,
// move, New Project), tile drag and drop, project files, tile media errors, adding files and the
// part of the preview pane's load that gives a tile its duration.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "com/com.h"
#include "com/dispatch.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_math.h"
#include "core/runtime_strings.h"
#include "dshow/uuids.h"
#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/process.h"
#include "shell/textfile.h"
#include "windows/frmBrowse.h"

namespace {

bool IsPicture(const std::string& path) {
  const std::string e = LCase(Right(path, 3));
  return e == "bmp" || e == "gif" || e == "jpg";
}

std::string ListFilePath() { return AppPath() + "/~temp.tmp"; }

// Holds a storyboard change open for its scope.
struct BusyScope {
  int& depth;
  explicit BusyScope(int& d) : depth(d) { ++depth; }
  ~BusyScope() { --depth; }
};

}  // namespace

// ---- Tile access ----------------------------------------------------------------------------

Variant frmShow::TileGet(int16_t index, DISPID id) {
  Control* c = FindControl("ctrlSourceClip", index);
  if (!c) Raise(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
  return InvokeDispatch(c->DispatchObject(), id, DISPATCH_PROPERTYGET);
}

void frmShow::TilePut(int16_t index, DISPID id, const Variant& value) {
  Control* c = FindControl("ctrlSourceClip", index);
  if (!c) Raise(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
  // A file the window puts into a tile: the ImportFile the tile raises for it is the window's own.
  struct OwnFileWrite {
    bool& flag;
    const bool on;
    OwnFileWrite(bool& f, bool file) : flag(f), on(file) {
      if (on) flag = true;
    }
    ~OwnFileWrite() {
      if (on) flag = false;
    }
  } own(ownFileWrite_, id == tile::kMediaFile);
  InvokeDispatch(c->DispatchObject(), id, DISPATCH_PROPERTYPUT, {value});
}

std::string frmShow::TileFile(int16_t index) { return CStr(TileGet(index, tile::kMediaFile)); }

int16_t frmShow::TileUBound() { return ctrlSourceClip.UBound(); }

bool frmShow::RunStoryboardChange(const std::function<void()>& change) {
  if (storyboardBusy_ > 0) return false;
  {
    BusyScope busy(storyboardBusy_);
    change();
  }
  // Removals a media error asked for while the change ran.
  while (!deferredRemovals_.empty() && storyboardBusy_ == 0) {
    const std::string file = deferredRemovals_.front();
    deferredRemovals_.erase(deferredRemovals_.begin());
    Step([&] {
      const int16_t top = TileUBound();
      for (int16_t i = 0; i < top; ++i) {
        if (TileFile(i) == file) {
          RemoveTileWithFile(file, i);
          break;
        }
      }
    });
  }
  Err().Clear();
  return true;
}

// ---- New tile, select, context menu, clip list, scrolling -------------------------------------

CommonDialogObject& frmShow::PrepareFileDialog(const char* filter, bool cancelError, const char* defaultExt) {
  CommonDialogObject& d = CommonDialog1->Dialog();
  d.CancelError = cancelError;
  d.FileName = "";
  d.DefaultExt = defaultExt;
  d.Filter = filter;
  return d;
}

void frmShow::ClearPreviewPictures() {
  Step([&] { Picture2->SetPicture(Picture()); });
  Step([&] { Picture2->Visible(false); });
  Step([&] { Picture2->ToolTipText(""); });
  Step([&] { Image2->Visible(false); });
}

void frmShow::ctrlSourceClip_ImportFile(int16_t Index, std::string& bstrFileName, bool& Cancel) {
  const bool own = ownFileWrite_;
  ownFileWrite_ = false;
  if (bstrFileName.empty()) return;
  // A file dropped on a tile (or put there by another window) while a storyboard change runs,
  // this load's own included, would change the storyboard under that change: the tile keeps
  // what it holds.
  if (storyboardBusy_ > 0 && !own) {
    Cancel = true;
    return;
  }
  BusyScope busy(storyboardBusy_);
  ClearPreviewPictures();
  if (Met([&] { return Index < TileUBound(); })) return;
  Step([&] { cmdPlayLoaded->Enabled(false); });
  SelectedClipIndex = Index;
  sLoadedFileName = bstrFileName;
  Step([&] { Screen().MousePointer(vbArrowHourglass); });
  ++StoryboardTileCounter;
  DoEvents();
  const int16_t n = static_cast<int16_t>(StoryboardTileCounter);
  Step([&] {
    Control& added = LoadElement("ctrlSourceClip", n);
    const float above = CSng(TileGet(static_cast<int16_t>(n - 1), tile::kTop));
    const float height = CSng(TileGet(static_cast<int16_t>(n - 1), tile::kHeight));
    TilePut(n, tile::kTop, Variant(height + above));
    TilePut(n, tile::kVisible, Variant(true));
    TilePut(n, tile::kClipNumber, Variant(static_cast<int32_t>(StoryboardTileCounter + 1)));
    TilePut(n, tile::kAllowDragDrop, Variant(m_boolEnableDragDrop));
    // The new tile shows the border the window keeps on its tiles (its stored default is black,
    // which hides its menu glyph).
    Step([&] { TilePut(n, tile::kBorderColor, Variant(tile::kNormalBorder)); });
    // A filled tile can be dragged; the new drop tile cannot.
    Step([&] { FindControl("ctrlSourceClip", Index)->DragMode(1); });
    added.DragMode(0);
  });
  Step([&] { LoadFile(); });
  if (LCase(bstrFileName) != LCase(sLoadedFileName)) bstrFileName = sLoadedFileName;
  Step([&] {
    VScroll1->Max(TileUBound());
    VScroll1->Value(VScroll1->Max() - 1);
  });
  Step([&] {
    if (!bstrFileName.empty()) {
      Combo1->AddItem(bstrFileName);
      Combo1->Text(bstrFileName);
    }
  });
  Step([&] { Form_Resize(); });
  Step([&] { Screen().MousePointer(0); });
  SetControlState(true, true, true);
  Err().Clear();
}

void frmShow::ctrlSourceClip_Click(int16_t Index) {
  SelectedClipIndex = Index;
  EndQuietly([&] {
    const std::string file = TileFile(Index);
    const bool picture = IsPicture(file);
    mnuEdit->Enabled(picture);
    cmdEdit->Enabled(picture);
    if (bShowMaker) cmdSplit->Enabled(!picture);
    mnuDuration->Enabled(picture);
    cmdStop_Click();
    sLoadedFileName = file;
    Combo1->Text(sLoadedFileName);
    lblFileName->Caption(file);
    Picture2->SetPicture(Picture());
    cmdPlayLoaded->Enabled(false);
    cmdPause->Enabled(false);
    cmdStop->Enabled(false);
    picPrev->Visible(false);
    Picture2->Visible(false);
    Image2->Visible(false);
    Picture2->ToolTipText("");
    if (IsPicture(sLoadedFileName)) {
      if (Index < TileUBound()) {
        Image2->SetPicture(LoadPicture(lblFileName->Caption()));
        Image2->ToolTipText("Double Click to Edit");
        Image2->Visible(true);
      }
    } else {
      LoadFile();
      DoEvents();
      if (Index < TileUBound()) cmdPlayLoaded_Click();
    }
    DoEvents();
    DoEvents();
  });
  Err().Clear();
}

void frmShow::ctrlSourceClip_MenuClick(int16_t Index) {
  ClearPreviewPictures();
  EndQuietly([&] {
    const int16_t top = TileUBound();
    if (top == 0 || Index == top) return;
    SelectedClipIndex = Index;
    MenuClipIndex = Index;
    PopupMenu(*mnuHidden);
  });
  Err().Clear();
}

void frmShow::RefreshClipList() {
  Step([&] { Combo1->Clear(); });
  Step([&] {
    const int16_t top = TileUBound();
    for (int16_t i = 0; i <= top; ++i) {
      const std::string f = TileFile(i);
      if (!f.empty()) Combo1->AddItem(f);
    }
  });
  Step([&] { Combo1->Text(sLoadedFileName); });
  Err().Clear();
}

void frmShow::Combo1_Click() {
  std::optional<int16_t> found;
  Step([&] {
    const std::string chosen = LCase(Combo1->Text());
    const int16_t top = TileUBound();
    for (int16_t i = 0; i <= top && !found; ++i) {
      if (LCase(TileFile(i)) == chosen) found = i;
    }
  });
  Err().Clear();
  if (found) ctrlSourceClip_Click(*found);
}

void frmShow::ScrollStoryboard() {
  cmdStop_Click();
  ClearPreviewPictures();
  Step([&] { picPrev->Visible(false); });
  Step([&] {
    const float step = CSng(TileGet(0, tile::kHeight));
    const float value = static_cast<float>(VScroll1->Value());
    for (int16_t i : ElementIndexes("ctrlSourceClip")) {
      const float top = CSng(TileGet(i, tile::kTop));
      TilePut(i, tile::kTop, Variant(top + static_cast<float>(StoryboardScrollOffset) - step * value));
    }
    StoryboardScrollOffset = CLng(Variant(static_cast<double>(step) * value));
  });
  Err().Clear();
}

void frmShow::ResetScrollBar() {
  Step([&] {
    VScroll1->Height(static_cast<int32_t>(ScaleHeight()) - 390 - VScroll1->Top());
    VScroll1->Min(0);
    VScroll1->Max(StoryboardTileCounter);
    VScroll1->SmallChange(1);
    VScroll1->LargeChange(2);
    VScroll1->Refresh();
  });
  DoEvents();
}

// ---- Delete, move, New ------------------------------------------------------------------------

void frmShow::mnuDelete_Click() { DeleteClip(MenuClipIndex); }

void frmShow::DeleteClip(int16_t Index) {
  RunStoryboardChange([&] {
    const int16_t top = TileUBound();
    if (Index == top || Index < 0 || Index > top) return;
    // The remaining tiles as they are: file, duration, transition.
    std::vector<std::string> files;
    std::vector<std::pair<double, std::string>> keep;
    for (int16_t i = 0; i < top; ++i) {
      if (i == Index) continue;
      files.push_back(TileFile(i));
      keep.emplace_back(ValueOr(0.0, [&] { return CDbl(TileGet(i, tile::kDuration)); }),
                        ValueOr(std::string(DefaultTransition), [&] { return CStr(TileGet(i, tile::kTransition)); }));
    }
    // The list file is still written for whoever reads it; the rebuild works from memory.
    Step([&] {
      if (FileExists(ListFilePath())) {
        Kill(ListFilePath());
        DoEvents();
      }
      TextFile list(ListFilePath(), TextFileMode::Output);
      for (const std::string& f : files) list.PrintLine(f);
      list.Close();
    });
    Err().Clear();
    RebuildStoryboard(files, keep, DefaultClipDuration, DefaultTransition);
    Step([&] {
      if (TileUBound() == 0) Toolbar1->ButtonsOf().Item("Join").Enabled(false);
    });
    RefreshClipList();
  });
}

void frmShow::RebuildStoryboard(const std::vector<std::string>& files,
                                const std::vector<std::pair<double, std::string>>& keep, int32_t firstDuration,
                                const std::string& firstTransition) {
  StoryboardTileCounter = 0;
  sLoadedFileName.clear();
  SelectedClipIndex = 0;
  Step([&] { TilePut(0, tile::kMediaFile, Variant(std::string())); });
  Step([&] { TilePut(0, tile::kDuration, Variant(static_cast<double>(firstDuration))); });
  Step([&] { TilePut(0, tile::kTransition, Variant(firstTransition)); });
  Step([&] { FindControl("ctrlSourceClip", 0)->DragMode(0); });
  Step([&] { picPrev->Visible(false); });
  const std::vector<int16_t> indexes = ElementIndexes("ctrlSourceClip");
  for (int16_t i : indexes) {
    if (i > 0) Step([&] { UnloadElement("ctrlSourceClip", i); });
  }
  ResetScrollBar();
  for (size_t k = 0; k < files.size(); ++k) {
    if (files[k].empty()) continue;
    Step([&] {
      const int16_t drop = TileUBound();
      TilePut(drop, tile::kMediaFile, Variant(files[k]));
      if (k < keep.size() && TileUBound() > drop) {
        Step([&] { TilePut(drop, tile::kDuration, Variant(keep[k].first)); });
        Step([&] { TilePut(drop, tile::kTransition, Variant(keep[k].second)); });
      }
    });
  }
  Err().Clear();
}

void frmShow::SwapTiles(int16_t a, int16_t b) {
  EndQuietly([&] {
    const std::string fa = TileFile(a), fb = TileFile(b);
    TilePut(a, tile::kMediaFile, Variant(fb));
    TilePut(b, tile::kMediaFile, Variant(fa));
    for (DISPID id : {tile::kDuration, tile::kTransition}) {
      const Variant va = TileGet(a, id), vb = TileGet(b, id);
      TilePut(a, id, vb);
      TilePut(b, id, va);
    }
  });
  RefreshClipList();
}

void frmShow::mnuMoveUp_Click() {
  RunStoryboardChange([&] {
    const int16_t m = MenuClipIndex, top = TileUBound();
    if (m == 0 || m == top || top < 2) return;
    SwapTiles(static_cast<int16_t>(m - 1), m);
  });
}

void frmShow::mnuMoveDown_Click() {
  RunStoryboardChange([&] {
    const int16_t m = MenuClipIndex, top = TileUBound();
    if (m > top - 2 || top < 2 || m == top) return;
    SwapTiles(m, static_cast<int16_t>(m + 1));
  });
}

void frmShow::mnuNew_Click() { RunStoryboardChange([&] { NewProject(); }); }

bool frmShow::NewProject() {
  Step([&] {
    if (bShowMaker) cmdSplit->Enabled(false);
  });
  Step([&] { lblProject->Caption(""); });
  if (ShowProjectEnabled && TileUBound() > 0 && ProjectChanged) {
    const int answer = MsgBox("Your project has changed.\r\nDo you want to save your changes?", vbYesNoCancel);
    if (answer == vbCancel) return false;
    // Only a completed save lets the storyboard go.
    if (answer == vbYes && !SaveProject()) return false;
  }
  Step([&] { Combo1->Clear(); });
  RebuildStoryboard({}, {}, 0, "None");
  SetControlState(false, true, true);
  StoryboardTileCounter = 0;
  ResetScrollBar();
  Step([&] { TilePut(0, tile::kEnabled, Variant(true)); });
  Step([&] { lblFileName->Caption("No file selected"); });
  Step([&] { lblSelected->Caption("No file selected"); });
  Step([&] { cmdPlayVideoWindow->Enabled(false); });
  Err().Clear();
  return true;
}

void frmShow::ReloadFile(const std::string& bstrFileName) {
  ProjectChanged = true;
  Step([&] { mnuSaveProject->Enabled(true); });
  if (bstrFileName.empty()) return;
  RunStoryboardChange([&] {
    EndQuietly([&] {
      TilePut(TileUBound(), tile::kMediaFile, Variant(bstrFileName));
      SetUpFileTile(TileUBound());
      RefreshClipList();
    });
  });
  Err().Clear();
}

void frmShow::SetUpFileTile(int16_t index) {
  TilePut(index, tile::kShowTransitions, Variant(TransitionsEnabled));
  TilePut(index, tile::kTransition, Variant(DefaultTransition));
  TilePut(index, tile::kAllowDragDrop, Variant(DragDropEnabled));
  const int16_t sel = static_cast<int16_t>(SelectedClipIndex);
  if (CDbl(TileGet(sel, tile::kDuration)) == 0) {
    TilePut(sel, tile::kDuration, Variant(static_cast<double>(DefaultClipDuration)));
  }
}

bool frmShow::CheckFile(const std::string& loadedFileName) {
  if (loadedFileName.empty()) return false;
  bool result = true;
  Step([&] {
    ComPtr<IMediaControl> graph;
    Check(CoCreateInstance(CLSID_FilgraphManager, nullptr, CLSCTX_INPROC_SERVER, IMediaControl::iid, graph.put_void()));
    PreviewPaneGraph = graph;
    Check(PreviewPaneGraph->RenderFile(Bstr(loadedFileName)));
  });
  Step([&] {
    ComPtr<IFilterGraph> fg;
    Check(PreviewPaneGraph->QueryInterface(IFilterGraph::iid, fg.put_void()));
    ComPtr<IEnumFilters> e;
    Check(fg->EnumFilters(e.put()));
    ComPtr<IBaseFilter> f;
    while (e->Next(1, f.put(), nullptr) == S_OK) {
      FILTER_INFO info{};
      if (SUCCEEDED(f->QueryFilterInfo(&info))) {
        if (info.pGraph) info.pGraph->Release();
        if (LCase(Utf16ToUtf8(info.achName)).find("divx") != std::string::npos) result = false;
      }
    }
  });
  PreviewPaneGraph = nullptr;
  Err().Clear();
  return result;
}

// ---- The preview pane's stop -----------------------------------------------------------------

void frmShow::cmdStop_Click() {
  EndQuietly([&] {
    if (!PreviewPaneGraph) Raise(vbErrObjectNotSet);
    Check(PreviewPaneGraph->Stop());
    PreviewPanePlaying = false;
    if (!PreviewPanePosition) Raise(vbErrObjectNotSet);
    Check(PreviewPanePosition->put_CurrentPosition(0));
    txtElapsed->Text("0.0");
    cmdPlayLoaded->Enabled(true);
    cmdStop->Enabled(false);
    cmdPause->Enabled(false);
    ProgressBar1->Visible(false);
    picPrev->Visible(false);
    cmdPlayVideoWindow->Enabled(true);
  });
  Err().Clear();
}

// ---- Drag and drop --------------------------------------------------------------------------

void frmShow::MarkTile(int16_t index) {
  for (int16_t i : ElementIndexes("ctrlSourceClip")) {
    const int32_t want = i == index ? tile::kTargetBorder : tile::kNormalBorder;
    if (CLng(TileGet(i, tile::kBorderColor)) != want) {
      TilePut(i, tile::kBorderColor, Variant(want));
      ++borderWrites;
    }
  }
}

void frmShow::ResetTileBorders() {
  EndQuietly([&] {
    for (int16_t i : ElementIndexes("ctrlSourceClip")) {
      if (CLng(TileGet(i, tile::kBorderColor)) != tile::kNormalBorder) {
        TilePut(i, tile::kBorderColor, Variant(tile::kNormalBorder));
        ++borderWrites;
      }
    }
  });
  Err().Clear();
}

void frmShow::ctrlSourceClip_DragDrop(int16_t Index, const Variant& Source) {
  EndQuietly([&] {
    if (!CBool(TileGet(Index, tile::kAllowDragDrop))) return;
    MarkTile(Index);
    const std::string file = CStr(CallByName(Source.pdisp(), "MediaFile", DISPATCH_PROPERTYGET));
    // An empty tile dragged here would leave a hole in the storyboard.
    if (!file.empty()) {
      RunStoryboardChange([&] { TilePut(Index, tile::kMediaFile, Variant(file)); });
    }
    ResetTileBorders();
  });
  Err().Clear();
}

// ---- Project files --------------------------------------------------------------------------

void frmShow::mnuSaveProject_Click() { SaveProject(); }

bool frmShow::ChooseProjectFile(bool save, std::string& path) {
  const bool chosen = EndQuietly([&] {
    CommonDialogObject& d = PrepareFileDialog(kProjectFilter, true);
    if (save) {
      CommonDialog1->ShowSave();
    } else {
      CommonDialog1->ShowOpen();
    }
    path = d.FileName;
    if (path.empty()) Raise(vbErrCancel);
  });
  Err().Clear();
  return chosen;
}

bool frmShow::SaveProject() {
  const int16_t top = ValueOr(int16_t{0}, [&] { return TileUBound(); });
  if (top == 0) return false;
  std::string path;
  if (!ChooseProjectFile(true, path)) return false;
  if (FileExists(path)) {
    if (MsgBox("A file named " + path + " already exists.\r\nreplace it with this file?", vbYesNo) != vbYes) {
      return false;
    }
    if (!CanReplace(path)) {
      MsgBox("Error: The file " + path + " is in use.", vbOKOnly);
      return false;
    }
  }
  Step([&] { lblProject->Caption(path); });
  // The project is written beside the old one and takes its place only when complete.
  std::string part;
  const bool written = EndQuietly([&] {
    std::vector<std::string> lines;
    for (int16_t i = 0; i < top; ++i) lines.push_back(TileFile(i) + ";" + CStr(TileGet(i, tile::kTransition)));
    // A new side file of its own beside the project (never through a link); the side files of
    // saves that were killed on the way go first.
    part = NewSideFile(path + ".part-");
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteFileBytes(part, std::vector<uint8_t>(text.begin(), text.end()));
    ReplaceFile(part, path);
    part.clear();
    ProjectChanged = false;
    mnuSaveProject->Enabled(false);
  });
  if (!written) {
    const std::string description = Err().Description;
    if (!part.empty()) Step([&] { Kill(part); });
    MsgBox(description, vbOKOnly);
  }
  Err().Clear();
  return written;
}

void frmShow::mnuOpen_Click() {
  RunStoryboardChange([&] {
    // Cancel to New's save question ends Open as well.
    if (!NewProject()) return;
    std::string path;
    if (ChooseProjectFile(false, path)) ReadProject(path);
  });
}

bool frmShow::ReadProject(const std::string& path) {
  std::vector<std::string> lines;
  std::optional<TextFile> in;
  const bool opened = EndQuietly([&] { in.emplace(path, TextFileMode::Input); });
  if (!opened) {
    MsgBox(Err().Description, vbOKOnly);
    Err().Clear();
    return false;
  }
  // A file that opens but reads as no text (a line beyond any project's) is no project.
  bool damaged = !EndQuietly([&] {
    while (!in->AtEnd()) lines.push_back(in->LineInput());
    in->Close();
  });
  Err().Clear();
  in.reset();
  for (const std::string& line : lines) damaged = damaged || line.find('\0') != std::string::npos;
  if (damaged) {
    MsgBox("The file " + path + " is not a Reelwright project.", vbOKOnly);
    return false;
  }
  Step([&] { lblProject->Caption(path); });
  bShowErrors = false;
  EndQuietly([&] {
    for (const std::string& line : lines) {
      // A transition name holds no ";": the path ends at the last one.
      const size_t cut = line.rfind(';');
      const std::string file = cut == std::string::npos ? line : line.substr(0, cut);
      TilePut(TileUBound(), tile::kMediaFile, Variant(file));
      if (cut != std::string::npos) {
        TilePut(static_cast<int16_t>(TileUBound() - 1), tile::kTransition, Variant(line.substr(cut + 1)));
      }
    }
  });
  bShowErrors = true;
  RefreshClipList();
  Err().Clear();
  return true;
}

// ---- Media errors ---------------------------------------------------------------------------

std::string frmShow::MediaErrorMessage(char row, const std::string& f) {
  const std::string unpredictable = "The results of using it as is will be unpredictable.";
  const std::string inVirtualDub = "Would you like to load the file in VirtualDub?";
  switch (row) {
    case 'R':
      return "The DivX conversion failed.\r\nWould you like to load the file source file in VirtualDub?";
    case 'r':
      return "The DivX conversion failed.\r\nWould you like to remove it from your storyboard?";
    case 'C':
      return "The file " + f + "\r\n may be corrupt. Try compressing it using another Codec.\r\n" + unpredictable +
             "\r\n" + inVirtualDub;
    case 'U':
      return "The file " + f + "\r\nis not a supported file type. Try compressing it using another Codec.\r\n" +
             unpredictable + "\r\n" + inVirtualDub;
    case 'c':
      return "The file " + f + "\r\n may be corrupt. Try compressing it using another Codec.\r\n" + unpredictable;
    case 'u':
      return "The file " + f + "\r\nis not a supported file type. Try compressing it using another Codec.\r\n" +
             unpredictable;
    default:
      return {};
  }
}

void frmShow::StartVirtualDub(const std::string& file) {
  DoEvents();
  auto quoted = [](const std::string& p) { return p.find(' ') != std::string::npos ? "\"" + p + "\"" : p; };
  Shell(quoted(AppPath() + "/VirtualDub/VirtualDub") + " " + quoted(file), vbNormalFocus);
}

void frmShow::RemoveTileWithFile(const std::string& file, int16_t index) {
  (void)file;
  Step([&] { TilePut(index, tile::kMediaFile, Variant(std::string())); });
  DeleteClip(index);
}

void frmShow::ctrlSourceClip_MediaError(int16_t Index) {
  const int16_t top = TileUBound();
  if (Index == top) return;
  const std::string f = TileFile(Index);
  if (f.empty() || UCase(Right(f, 3)) == "WMV") return;
  const bool virtualDub = FileExists(AppPath() + "/VirtualDub/VirtualDub");
  const bool unsupported = CStr(TileGet(Index, tile::kMediaType)) == "Unsupported";
  auto removeTile = [&] {
    if (storyboardBusy_ > 0) {
      deferredRemovals_.push_back(f);
    } else {
      RemoveTileWithFile(f, Index);
    }
  };
  if (DivxConverted) {
    if (MsgBox(MediaErrorMessage(virtualDub ? 'R' : 'r', f), vbYesNo) != vbYes) return;
    if (virtualDub) StartVirtualDub(DivxOriginalFile);
    removeTile();
    DivxConverted = false;
    return;
  }
  if (!virtualDub) {
    MsgBox(MediaErrorMessage(unsupported ? 'u' : 'c', f), vbOKOnly);
    return;
  }
  if (MsgBox(MediaErrorMessage(unsupported ? 'U' : 'C', f), vbYesNo) != vbYes) return;
  StartVirtualDub(f);
  removeTile();
}

// ---- Adding files ---------------------------------------------------------------------------

void frmShow::mnuImport_Click() {
  RunStoryboardChange([&] {
    const std::string road = UCase(GetSetting(kSettingsApp, kSectionInit, kKeyMultiSelect, kDefaultMultiSelect));
    if (road == "FALSE") {
      AddFileFromDialog();
    } else {
      AddFilesFromBrowser();
    }
  });
}

void frmShow::AddOpeningSteps() {
  bShowErrors = true;
  ProjectChanged = true;
  Step([&] { mnuSaveProject->Enabled(true); });
  cmdStop_Click();
}

void frmShow::AddFilesFromBrowser() {
  AddOpeningSteps();
  frmBrowse& browse = DefaultForm<frmBrowse>();
  std::vector<std::string> chosen;
  const bool confirmed = EndQuietly([&] {
    browse.Load();
    std::string folder = GetSetting(kSettingsApp, kSectionBrowse, kKeyLastPath, AppPath());
    if (!FolderExists(folder)) folder = AppPath();
    // The drive list's stand-in for a drive letter: the mount point that holds the folder.
    Step([&] {
      std::string best;
      for (int16_t i = 0; i < browse.Drive1->ListCount(); ++i) {
        std::string m = browse.Drive1->List(i);
        const bool holds = folder == m || (folder.rfind(m, 0) == 0 && (m == "/" || folder[m.size()] == '/'));
        if (holds && m.size() > best.size()) best = m;
      }
      if (!best.empty()) browse.Drive1->Drive(best);
    });
    Step([&] { browse.Dir1->Path(folder); });
    Step([&] { browse.File1->Path(folder); });
    Step([&] { browse.lbPath->Caption(folder); });
    browse.Show(vbModal);
    if (!browse.bNoCancel) {
      browse.Unload();
      Raise(vbErrCancel);
    }
    for (int16_t i = 0; i < browse.File1->ListCount(); ++i) {
      if (browse.File1->Selected(i)) chosen.push_back(browse.Dir1->Path() + "/" + browse.File1->List(i));
    }
    SaveSetting(kSettingsApp, kSectionBrowse, kKeyLastPath, browse.File1->Path());
    browse.Unload();
  });
  Err().Clear();
  if (!confirmed) return;
  for (const std::string& path : chosen) {
    if (ValueOr(int64_t{-1}, [&] { return FileLen(path); }) == 0) {
      MsgBox("The file " + path + " is empty.", vbOKOnly);
      continue;
    }
    PlaceFile(path);
  }
  Step([&] { cmdPlayVideoWindow->Enabled(true); });
  DoEvents();
  Err().Clear();
}

void frmShow::AddFileFromDialog() {
  AddOpeningSteps();
  std::string name;
  const bool chosen = EndQuietly([&] {
    CommonDialogObject& d = PrepareFileDialog(kMultimediaFilter, true);
    CommonDialog1->ShowOpen();
    name = d.FileName;
    // Only a regular file has a length to test. A FIFO, a device or a folder of that name goes to
    // its tile like any file the tile cannot read, and the tile's media error says so.
    const bool noRegularFile = !name.empty() && !FileExists(name) && PathExists(ResolveLinks(name));
    if (!name.empty() && !noRegularFile && FileLen(name) == 0) {
      MsgBox("The file " + name + " is empty.", vbOKOnly);
      name.clear();
    }
  });
  Err().Clear();
  if (!chosen || name.empty()) return;
  PlaceFile(name);
  Step([&] { cmdPlayVideoWindow->Enabled(true); });
  Err().Clear();
}

void frmShow::PlaceFile(const std::string& path) {
  Step([&] { TilePut(TileUBound(), tile::kMediaFile, Variant(path)); });
  Step([&] {
    const int16_t drop = TileUBound();
    Step([&] { TilePut(drop, tile::kShowTransitions, Variant(TransitionsEnabled)); });
    Step([&] { TilePut(drop, tile::kTransition, Variant(DefaultTransition)); });
    Step([&] { TilePut(drop, tile::kAllowDragDrop, Variant(DragDropEnabled)); });
  });
  Step([&] {
    const int16_t sel = static_cast<int16_t>(SelectedClipIndex);
    if (CDbl(TileGet(sel, tile::kDuration)) == 0) {
      TilePut(sel, tile::kDuration, Variant(static_cast<double>(DefaultClipDuration)));
    }
  });
  UpdateEditControls();
  Err().Clear();
}

void frmShow::UpdateEditControls() {
  const bool picture = ValueOr(false, [&] { return IsPicture(TileFile(static_cast<int16_t>(SelectedClipIndex))); });
  Step([&] { mnuEdit->Enabled(picture); });
  Step([&] { cmdEdit->Enabled(picture); });
  Step([&] {
    if (bShowMaker) cmdSplit->Enabled(!picture);
  });
  Step([&] { mnuDuration->Enabled(picture); });
}

void frmShow::mnuLoadNew_Click() {
  if (storyboardBusy_ > 0) return;
  ProjectChanged = true;
  Step([&] { mnuSaveProject->Enabled(true); });
  cmdStop_Click();
  std::string name;
  const bool chosen = EndQuietly([&] {
    CommonDialogObject& d = PrepareFileDialog(kMultimediaFilter, true);
    CommonDialog1->ShowOpen();
    name = d.FileName;
  });
  Err().Clear();
  if (!chosen || name.empty()) return;
  RunStoryboardChange([&] {
    const bool done = EndQuietly([&] {
      const int16_t sel = static_cast<int16_t>(SelectedClipIndex);
      TilePut(sel, tile::kMediaFile, Variant(name));
      SetUpFileTile(sel);
    });
    if (!done) {
      MsgBox("The media file selected is not valid for this type of operation.\r\n"
             "Streaming media must be at least as long as the minimum slide duration.",
             vbOKOnly);
      Err().Clear();
      return;
    }
    RefreshClipList();
  });
}
