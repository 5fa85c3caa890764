// frmShow's join: the storyboard turned into a timeline (with or without transitions), rendered
// through the AVI multiplexer and the file writer into one AVI file, and handed on by the
// compression method.
#include <unistd.h>

#include <climits>
#include <cmath>
#include <map>
#include <optional>

#include "com/com.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "core/runtime_strings.h"
#include "engine/modDexter.h"
#include "engine/modGeneral.h"
#include "engine/modGeneralGraph.h"
#include "engine/ObjectCast.h"
#include "forms/app.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "options/frmCodecDialog.h"
#include "registry/settings.h"
#include "shell/files.h"
#include "shell/instance.h"
#include "shell/listfile.h"
#include "shell/process.h"

std::vector<std::string> ClipTransitions;
std::function<bool(frmShow&, IMediaControl*, bool&)> frmShow::CodecDialog = frmShow::ShowCodecDialog;

namespace {

using modGeneral::AbortResult;
using modGeneral::GraphErrorText;
using modGeneral::Held;

constexpr const char* kSmartRenderEngine = "{498B0949-BBE9-4072-98BE-6CCAEB79DC6F}";

// A tile's media path when its MediaFile is a non-empty String, else "".
std::string TileMediaPath(frmShow& w, int16_t i) {
  const Variant v = w.TileGet(i, tile::kMediaFile);
  if (v.vt() != VT_BSTR) return {};
  return CStr(v);
}

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A new empty file next to target, under a name no other file has; "" when none can be made,
// with why: the system's text for the cause (access denied, a read-only file system, a name
// too long, ...).
std::string ReserveTemporaryName(const std::string& target, std::string& why) {
  return modGeneral::NewRenderSideFile(target, FolderOf(target) + "/." + GetFileNameFromPath(target) + ".joining-",
                                       ".avi", why);
}

void RemoveQuietly(const std::string& path) {
  if (path.empty()) return;
  Step([&] {
    if (PathExists(path)) Kill(path);
  });
  Err().Clear();
}

const char* const kNotWritten = "The joined movie could not be written.";

}  // namespace

// ---- Timeline builders ----------------------------------------------------------------------

namespace {

// Pass 1 of both builders: at most one "AUDIO" and one "VIDEO" group, in the order the tiles
// first bring sound and picture.
struct GroupPass {
  ComPtr<IAMTimelineGroup> audio, video;
  bool hasAudio = false, hasVideo = false;
};

bool TimelineHasGroup(IAMTimeline* timeline, const char* name) {
  if (GetGroupCount(timeline) < 1) return false;
  bool present = false;
  const int32_t count = GetGroupCount(timeline);
  for (int32_t g = 0; g <= count; ++g) {
    auto group = GetGroup(timeline, g);
    if (!group) continue;
    Bstr groupName;
    if (SUCCEEDED(group->GetGroupName(&groupName)) && UCase(groupName.Utf8()) == name) present = true;
  }
  return present;
}

// The probe answers of one build: each file is asked each question at most once.
class BuildProbes {
 public:
  bool Media(const std::string& path) { return Answer(Ask(path).media, path, IsMediaFile); }
  bool Video(const std::string& path) { return Answer(Ask(path).video, path, HasVideoStream); }
  bool Audio(const std::string& path) { return Answer(Ask(path).audio, path, HasAudioStream); }

 private:
  struct Answers {
    std::optional<bool> media, video, audio;
  };
  Answers& Ask(const std::string& path) { return answers_[path]; }
  static bool Answer(std::optional<bool>& kept, const std::string& path, bool (*probe)(const std::string&)) {
    if (!kept) kept = probe(path);
    return *kept;
  }
  std::map<std::string, Answers> answers_;
};

}  // namespace

namespace {

// The storyboard's clips laid out on a timeline; transitions only for the transition builder.
ComPtr<IAMTimeline> BuildStoryboard(frmShow& w, bool withTransitions) {
  SetStreamSizeSources({[&w] { return static_cast<int32_t>(w.CmbVideoSizes->ListIndex()); },
                        [&w] { return w.gobjStreamSize; }});
  ComPtr<IAMTimeline> result;
  const bool built = EndQuietly([&] {
    if (withTransitions) DefaultTransition = GetSetting(kSettingsApp, kSectionOptions, kKeyTransition, "None");
    ComPtr<IAMTimeline> timeline = CreateTimeline();
    if (!timeline) Raise(vbErrObjectNotSet);
    Check(timeline->EnableTransitions(withTransitions ? (TransitionsEnabled ? 1 : 0) : 1));
    const int16_t top = w.TileUBound();
    BuildProbes probes;

    GroupPass groups;
    // A group of that name (kind 0 picture, 1 sound) unless the timeline has one already.
    auto ensureGroup = [&](bool& present, ComPtr<IAMTimelineGroup>& group, const char* name, int kind) {
      if (present) return;
      present = TimelineHasGroup(timeline.Get(), name);
      if (present) return;
      group = CreateGroup(timeline.Get(), name, kind, 15.0, 0, 32);
      AddGroup(timeline.Get(), group.Get());
      present = true;
    };
    for (int16_t i = 0; i < top; ++i) {
      const std::string path = TileMediaPath(w, i);
      if (path.empty() || !probes.Media(path)) continue;
      if (probes.Audio(path)) ensureGroup(groups.hasAudio, groups.audio, "AUDIO", 1);
      if (probes.Video(path)) ensureGroup(groups.hasVideo, groups.video, "VIDEO", 0);
    }

    // A tile's time on the timeline: its duration, raised to the default clip duration by the
    // transition builder.
    auto span = [&](int16_t k) {
      const double d = CDbl(w.TileGet(k, tile::kDuration));
      if (!withTransitions) return d;
      return d >= static_cast<double>(DefaultClipDuration) ? d : static_cast<double>(DefaultClipDuration);
    };
    auto startOf = [&](int16_t j) {
      double start = 0;
      for (int16_t k = 0; k < j; ++k) start += span(k);
      return start;
    };

    for (int16_t j = 0; j < top; ++j) {
      const std::string path = TileMediaPath(w, j);
      if (path.empty() || !probes.Video(path)) continue;
      const double start = startOf(j);
      const double stop = start + span(j) + (withTransitions ? 0.0 : 1.0);
      auto track = CreateTrack(timeline.Get());
      InsertTrack(track.Get(), groups.video.Get(), -1);
      auto source = CreateSource(timeline.Get());
      AddSourceToTrack(track.Get(), source.Get(), path, start, stop, 0, 0);
      if (withTransitions) {
        if (static_cast<size_t>(j) >= ClipTransitions.size()) Raise(vbErrSubscriptOutOfRange);
        std::string name = ClipTransitions[static_cast<size_t>(j)];
        if (name.empty()) name = DefaultTransition;
        if (name.empty()) name = "None";
        auto transition = CreateTransition(timeline.Get());
        const double transitionStart = startOf(j);
        const double transitionStop = transitionStart + static_cast<double>(TransitionSeconds);
        AddTransition(transition.Get(), track.Get(), GetTransitionCLSID(name, "EN-US"), transitionStart,
                      transitionStop);
      }
      if (probes.Audio(path)) {
        auto soundTrack = CreateTrack(timeline.Get());
        InsertTrack(soundTrack.Get(), groups.audio.Get(), -1);
        auto sound = CreateSource(timeline.Get());
        AddSourceToTrack(soundTrack.Get(), sound.Get(), path, start, stop, 0, 0);
      }
    }
    result = timeline;
  });
  // The window's list and frame-size object are read only while this window builds.
  SetStreamSizeSources({});
  Err().Clear();
  return built ? result : ComPtr<IAMTimeline>();
}

}  // namespace

ComPtr<IAMTimeline> frmShow::BuildTimeline() { return BuildStoryboard(*this, false); }

ComPtr<IAMTimeline> frmShow::BuildTransitionTimeline() { return BuildStoryboard(*this, true); }

// ---- The join -------------------------------------------------------------------------------

void frmShow::HookJoinEvents() {
  On("mnuWriteAVI_Click", [this] { mnuWriteAVI_Click(); });
  On("cmdWriteAVI_Click", [this] { mnuWriteAVI_Click(); });
  On("cmdWriteXTL_Click", [this] { cmdWriteXTL_Click(); });
  On("mnuWriteXTL_Click", [this] { cmdWriteXTL_Click(); });
  On("Image1_Click", [] { RenderCancelRequested = true; });
  On("Label2_Click", [] { RenderCancelRequested = true; });
  On("lblCancel_Click", [] { RenderCancelRequested = true; });
}

void frmShow::Join() {
  SetControlState(false, false, true);
  BeginRun();
  WriteJoinedAvi();
  SetControlState(true, true, true);
  EndRun();
}

void frmShow::mnuWriteAVI_Click() { Join(); }

bool frmShow::ShowCodecDialog(frmShow& owner, IMediaControl* graph, bool& videoCodecSelected) {
  frmCodecDialog& dialog = DefaultForm<frmCodecDialog>();
  bool result = false;
  dialog.Popup(graph, &owner, result);
  videoCodecSelected = dialog.m_bVideoCodecSelected;
  return result;
}

bool frmShow::PopupCodecDialog(IMediaControl* graph, bool& videoCodecSelected) {
  if (!CodecDialog) Raise(vbErrCantCreateObject);
  return CodecDialog(*this, graph, videoCodecSelected);
}

void frmShow::WriteJoinedAvi() {
  ScreenObject& screen = Screen();
  auto restore = [&] {
    SetControlState(true, true, true);
    Step([&] { screen.MousePointer(vbDefault); });
  };
  // The commands a run hides and both of its ends show again, each its own step.
  auto showRunCommands = [&](bool visible) {
    Step([&] { cmdPrev->Visible(visible); });
    Step([&] { cmdWriteXTL->Visible(visible); });
    Step([&] { cmdWriteAVI->Visible(visible); });
    Step([&] { cmdExit->Visible(visible); });
    Step([&] { mnuExit->Visible(visible); });
  };
  auto showPaneButtons = [&](bool visible) {
    Step([&] { cmdPlayLoaded->Visible(visible); });
    Step([&] { cmdPause->Visible(visible); });
    Step([&] { cmdStop->Visible(visible); });
  };
  // Both ends of a run: the status line emptied, the preview pane back, the bar hidden.
  auto clearRunDisplay = [&] {
    Step([&] { lblSelected->Caption(""); });
    Step([&] { pnlVideoFile->Visible(true); });
    Step([&] {
      ctrlProgress->Value(0);
      ctrlProgress->Visible(false);
    });
  };

  // Steps 1 to 3: the target.
  bStreamSizeErr = false;
  std::string method = kDefaultCompression;
  Step([&] { method = GetSetting(kSettingsApp, kSectionOptions, kKeyCompression, kDefaultCompression); });
  std::string target;
  Step([&] {
    CommonDialogObject& d = CommonDialog1->Dialog();
    d.CancelError = false;
    d.FileName.clear();
    d.DefaultExt = "avi";
    d.Filter = "AVI (*.avi)|*.avi";
    CommonDialog1->ShowSave();
    target = d.FileName;
  });
  if (target.empty()) {
    restore();
    Err().Clear();
    return;
  }

  // Steps 4 to 7: a failing step sets the default pointer, names a file access error, goes on.
  auto guarded = [&](auto&& step) {
    if (Step(step)) return;
    Step([&] { screen.MousePointer(vbDefault); });
    if (Err().Number == 75) MsgBox("File access error. The file is in use by another process.");
    Err().Clear();
  };
  SetControlState(false, false, false);
  guarded([&] { screen.MousePointer(vbArrowHourglass); });
  double total = 0;
  // Each tile's reads are steps of their own: a tile that cannot be read is passed over.
  int16_t tiles = 0;
  guarded([&] { tiles = TileUBound(); });
  for (int16_t i = 0; i < tiles; ++i) {
    guarded([&] {
      if (ClipTransitions.size() < static_cast<size_t>(i) + 1) ClipTransitions.resize(static_cast<size_t>(i) + 1);
    });
    guarded([&] { ClipTransitions.at(static_cast<size_t>(i)) = CStr(TileGet(i, tile::kTransition)); });
    guarded([&] { total += CDbl(TileGet(i, tile::kDuration)); });
  }
  guarded([&] { StoryboardTimeline = TransitionsEnabled ? BuildTransitionTimeline() : BuildTimeline(); });

  // The old file stays until the new one is complete: the render goes to a temporary file next
  // to it, which replaces the target only after a completed run.
  bool refused = false;
  std::string temporary;
  guarded([&] {
    if (FileExists(target) &&
        MsgBox("The file " + target + " already exists. Do you want to replace it?", vbYesNo) != vbYes) {
      refused = true;
      return;
    }
    // The cause is named when no file can be made beside the target (a read-only folder or
    // file system, a name too long); a target that is there but cannot be replaced is in use.
    std::string why;
    temporary = ReserveTemporaryName(target, why);
    if (temporary.empty()) {
      MsgBox(std::string(kNotWritten) + "\r\n" + why);
      refused = true;
      return;
    }
    if (!CanReplace(target)) {
      RemoveQuietly(temporary);
      temporary.clear();
      MsgBox("The file " + target + " is in use by another process. Please use another file name.");
      refused = true;
    }
  });
  if (refused || temporary.empty()) {
    restore();
    Err().Clear();
    return;
  }

  // Step 8 on: failing steps are skipped, failing conditions count as met.
  ComPtr<IRenderEngine> engine;
  ComPtr<IMediaControl> graph;
  ComPtr<IMediaEvent> events;
  ComPtr<IMediaPosition> position;
  // The first failure while the graph is made: why a graph that never came gives no movie.
  HRESULT setupFailure = E_FAIL;
  auto setup = [&](auto&& step) {
    if (Step(step) || setupFailure != E_FAIL) return;
    if (FAILED(static_cast<HRESULT>(Err().Number))) setupFailure = static_cast<HRESULT>(Err().Number);
  };
  setup([&] { engine = CreateObject<IRenderEngine>(kSmartRenderEngine); });
  setup([&] { Check(Held(engine)->SetTimelineObject(StoryboardTimeline.Get())); });
  setup([&] { Check(Held(engine)->ConnectFrontEnd()); });
  setup([&] {
    ComPtr<IGraphBuilder> builder;
    Check(Held(engine)->GetFilterGraph(builder.put()));
    Check(Held(builder)->QueryInterface(IMediaControl::iid, graph.put_void()));
  });
  Step([&] { modGeneral::AddFileWriterAndMux(graph.Get(), temporary); });
  Step([&] { modGeneral::RenderGroupOutputs(engine.Get(), StoryboardTimeline.Get()); });

  const char* const kUnsupported =
      "The selected output size is not supported by the compression codec.\r\n"
      "Please select another size or compression codec.";
  if (Met([&] { return LCase(method) == "manual"; })) {
    Step([&] { screen.MousePointer(vbDefault); });
    bool cancelled = false;
    bool ok = false, videoSelected = true;
    // Without a graph there is nothing to choose a codec for: the dialog's step fails.
    if (!Step([&] { ok = PopupCodecDialog(Held(graph), videoSelected); })) ok = false;
    if (!ok) cancelled = true;
    if (ok && videoSelected) {
      VARIANT_BOOL supported = 0;
      bool sizeOk = Step([&] { Check(Held(gobjStreamSize)->CheckIfSizeIsSupported(graph.Get(), &supported)); });
      sizeOk = sizeOk && supported != 0;
      if (!sizeOk) {
        MsgBox(kUnsupported, vbInformation, "Unsupported size");
        cancelled = true;
      }
    }
    if (cancelled) {
      const bool noGraph = !graph;
      SetControlState(true, true, true);
      graph = nullptr;
      engine = nullptr;
      RemoveQuietly(temporary);
      if (noGraph) MsgBox(std::string(kNotWritten) + "\r\n" + GraphErrorText(setupFailure));
      Err().Clear();
      return;
    }
    Step([&] { screen.MousePointer(vbArrowHourglass); });
  }

  Step([&] { Check(Held(graph)->Run()); });

  bool completed = false, readError = false, cancelPath = false;
  std::string failure;  // why the graph ended without writing the movie
  if (bStreamSizeErr) {
    MsgBox(kUnsupported, vbInformation, "Unsupported size");
    cancelPath = true;
  }

  double duration = 0;
  if (!cancelPath) {
    Step([&] { Check(Held(graph)->QueryInterface(IMediaEvent::iid, events.put_void())); });
    Step([&] { Check(Held(graph)->QueryInterface(IMediaPosition::iid, position.put_void())); });
    Step([&] {
      ctrlProgress->Value(0);
      ctrlProgress->Visible(true);
    });
    showRunCommands(false);
    Step([&] { ctrlProgress->Min(0); });
    Step([&] { Check(Held(position)->get_Duration(&duration)); });
    Step([&] {
      ctrlProgress->Max(static_cast<float>(std::nearbyint(duration)));
      ctrlProgress->Value(ctrlProgress->Min());
    });
    DoEvents();
    RenderCancelRequested = false;
    Step([&] { Label2->Caption("Cancel Rendering"); });
    Step([&] {
      pnlCancel->Visible(true);
      pnlCancel->ZOrder(0);
    });
    Step([&] { pnlCancel->Top(pnlVideoFile->Top()); });
    Step([&] { pnlVideoFile->Visible(false); });
    showPaneButtons(false);
    Step([&] { Check(Held(position)->get_Duration(&duration)); });
    DoEvents();
    Step([&] { ctrlProgress->Max(static_cast<float>(total)); });
    Step([&] { ctrlProgress->Min(0); });
    Step([&] {
      lblSelected->Caption("Writing: " + GetFileNameFromPath(target) + ", Play duration: " + CStr(Variant(duration)));
    });

    if (duration > 0) {
      Step([&] {
        ctrlProgress->Value(0);
        ctrlProgress->Visible(true);
      });
      Step([&] { lblWriteFileName->Visible(false); });
      while (events) {
        LONG code = 0;
        Step([&] { Held(events)->WaitForCompletion(100, &code); });
        double now = 0;
        const bool positionRead = Step([&] { Check(Held(position)->get_CurrentPosition(&now)); });
        Step([&] { ctrlProgress->Value(static_cast<float>(now)); });
        if (code == EC_COMPLETE) {
          completed = true;
          break;
        }
        if (code == EC_ERRORABORT || code == EC_USERABORT || code == EC_STREAM_ERROR_STOPPED) {
          failure = GraphErrorText(AbortResult(graph.Get()));
          cancelPath = true;
          break;
        }
        if (RenderCancelRequested) {
          cancelPath = true;
          break;
        }
        if (!positionRead || now > duration) {
          RenderCancelRequested = true;
          readError = true;
        }
        DoEvents();
      }
    } else if (TileUBound() > 0) {
      // Filled tiles that give a graph without a duration (or no graph at all): nothing can be
      // written.
      failure = GraphErrorText(graph ? E_FAIL : setupFailure);
      cancelPath = true;
    }
  }

  // A completion without a written movie is a failure too.
  if (completed && !cancelPath) {
    Step([&] { Check(Held(graph)->Stop()); });
    const int64_t written = ValueOr<int64_t>(0, [&] { return FileLen(temporary); });
    if (written <= 0) {
      failure = GraphErrorText(E_FAIL);
      completed = false;
      cancelPath = true;
    } else if (!Step([&] { ReplaceFile(temporary, target); })) {
      failure = Err().Description;
      completed = false;
      cancelPath = true;
    }
  }

  if (!cancelPath) {
    // Normal end (also the run that never started: no duration, an empty storyboard).
    Step([&] { Check(Held(graph)->Stop()); });
    Step([&] {
      while (ctrlProgress->Max() > ctrlProgress->Value()) {
        ctrlProgress->Value(std::min(ctrlProgress->Max(), std::floor(ctrlProgress->Value()) + 1.0f));
        DoEvents();
      }
    });
    clearRunDisplay();
    DoEvents();
    showRunCommands(true);
    SetControlState(true, true, true);
    events = nullptr;
    position = nullptr;
    graph = nullptr;
    engine = nullptr;
    Step([&] { screen.MousePointer(vbDefault); });
    Step([&] { pnlCancel->Visible(false); });
    Step([&] { pnlVideoFile->Visible(true); });
    showPaneButtons(true);
    RenderCancelRequested = false;
    RemoveQuietly(temporary);
    Err().Clear();
    if (completed) CompressorHandOff(method, target);
    Err().Clear();
    return;
  }

  // Cancel path: nothing is left at the target's name, nothing is handed on.
  Step([&] { Check(Held(graph)->Stop()); });
  clearRunDisplay();
  Step([&] { pnlCancel->Visible(false); });
  DoEvents();
  showRunCommands(true);
  SetControlState(true, true, true);
  Step([&] { pnlCancel->Visible(false); });
  showPaneButtons(true);
  RenderCancelRequested = false;
  events = nullptr;
  position = nullptr;
  graph = nullptr;
  engine = nullptr;
  RemoveQuietly(temporary);
  Step([&] { screen.MousePointer(vbDefault); });
  if (!failure.empty()) {
    MsgBox(std::string(kNotWritten) + "\r\n" + failure);
  } else if (readError) {
    MsgBox("There may have been errors reading one of the files in the storyboard.");
  }
  Err().Clear();
}

// ---- Timeline file ---------------------------------------------------------------------------

void frmShow::cmdWriteXTL_Click() {
  Step([&] { StoryboardTimeline = BuildTimeline(); });
  SetControlState(false, false, false);
  BeginRun();
  std::string path;
  Step([&] { path = ShowSaveDialog("", "XTL", "*.xtl|*.xtl"); });
  if (path.empty()) {
    SetControlState(true, true, true);
    Err().Clear();
    EndRun();
    return;
  }
  // An existing file is not deleted first: the timeline file replaces it only once it has been
  // written completely, so a failed write keeps it.
  if (StoryboardTimeline && StoryboardRenderEngine) {
    Step([&] { Check(StoryboardRenderEngine->SetTimelineObject(StoryboardTimeline.Get())); });
    Step([&] { SaveTimelineFile(StoryboardTimeline.Get(), path, 0); });
  }
  SetControlState(true, true, true);
  Err().Clear();
  EndRun();
}

// ---- The hand-off ---------------------------------------------------------------------------

namespace {

// A path for a command line: quoted when it holds a blank.
std::string CommandPath(const std::string& path) {
  return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

}  // namespace

void frmShow::CompressorHandOff(const std::string& method, const std::string& target) {
  const std::string m = ValueOr<std::string>("", [&] { return LCase(method); });
  ScreenObject& screen = Screen();
  if (m == "batch") {
    if (!Met([&] { return FileExists(AppFile("\\Lotkiln.exe")); })) return;
    const std::string dropFile = AppFile("\\lotkiln.lst");
    // A marker left by an encoder that ended without closing its window does not count.
    const bool running =
        !Met([&] { return !FileExists(AppFile("\\KilnhandRunning")) || !ProgramRuns("Lotkiln"); });
    if (!running) {
      Step([&] { screen.MousePointer(vbHourglass); });
      Step([&] { Shell(CommandPath(AppFile("\\Lotkiln.exe")), vbMinimizedNoFocus); });
      Step([&] { screen.MousePointer(vbDefault); });
      Step([&] { AppendLine(dropFile, target); });
      MsgBox(
          "Kilnqueue has been started and your file\r\n"
          "has been added to the list of files to compress.\r\n"
          "\r\n"
          "If you intend to join more files, just leave the\r\n"
          "Kilnqueue tool open so that Reelwright\r\n"
          "can add each new joined file to the list.\r\n"
          "\r\n"
          "Click the Kilnqueue Icon in your tool\r\n"
          "tray to activate the application. Kilnqueue\r\n"
          "will remain open after Reelwright is closed.",
          vbInformation, "Default Compression Tool Started");
    } else {
      Step([&] { AppendLine(dropFile, target); });
    }
    Err().Clear();
    return;
  }
  if (m == "manual") return;
  Step([&] { Beep(); });
  if (MsgBox("Your file has been saved as an uncompressed AVI file. Do you want to compress it now?", vbYesNo) !=
      vbYes)
    return;
  if (m == "crunchbox") {
    if (Met([&] { return FileExists(AppFile("\\Crunchbox.exe")); })) {
      Step([&] { Shell(CommandPath(AppFile("\\Crunchbox.exe")) + " " + target, vbMinimizedFocus); });
    } else {
      MsgBox("Can't find Crunchbox.exe. Please resinstall the Crunchbox encoder.");
    }
  } else if (m == "wme") {
    const std::string encoder = FolderFile(EncoderInstallDir, "\\WMEnc.exe");
    if (!Met([&] { return FileExists(encoder); })) {
      EncoderInstallDir.clear();
      MsgBox("Windows Media Encoder is set as your default compressor\r\nbut it can't be found on your system.");
    } else {
      Step([&] { screen.MousePointer(vbHourglass); });
      Step([&] { Shell(CommandPath(encoder), vbNormalFocus); });
      Step([&] { Pause(2.0); });
      Step([&] { screen.MousePointer(vbDefault); });
    }
  } else if (m == "virtualdub") {
    const std::string program = AppFile("\\VirtualDub\\VirtualDub.exe");
    if (Met([&] { return FileExists(program); })) {
      Step([&] { Shell(CommandPath(program) + " " + CommandPath(target), vbNormalFocus); });
    }
  }
  Err().Clear();
}
