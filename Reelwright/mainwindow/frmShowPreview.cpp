// frmShow's joined preview: the storyboard built as a join builds it and played in a video window
// of its own, centred on the screen, with the preview pane's bar showing the position and three
// buttons (play, pause, stop) steering the loop through flags.
#include <cmath>

#include "com/com.h"
#include "core/error.h"
#include "core/runtime_convert.h"
#include "core/runtime_strings.h"
#include "engine/ObjectCast.h"
#include "forms/app.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"

bool PreviewPaused = false;
bool PreviewResumeRequested = false;
JoinedPreview JoinedPreviewState;

namespace {

using modGeneral::Held;

constexpr const char* kRenderEngine = "{64D8A8E0-80A2-11D2-8CF3-00A0C9441E20}";

// The preview window's size in pixels: 320 x 240 for the small size, 640 x 480 for the large.
void PreviewWindowSize(int32_t& width, int32_t& height) {
  if (IsSmallFrameSize(GetSetting(kSettingsApp, kSectionOptions, kKeyActiveWindow, kDefaultActiveWindow))) {
    width = 320;
    height = 240;
  } else {
    width = 640;
    height = 480;
  }
}

}  // namespace

void frmShow::HookPreviewEvents() {
  On("cmdPrev_Click", [this](int16_t Index) { cmdPrev_Click(Index); });
  On("mnuPreview_Click", [this] { mnuPreview_Click(); });
  On("cmdPauseVidWindow_Click", [this] { cmdPauseVidWindow_Click(); });
  On("cmdStopVidWin_Click", [this] { cmdStopVidWin_Click(); });
  On("cmdPlayVideoWindow_Click", [this] { cmdPlayVideoWindow_Click(); });
}

void frmShow::mnuPreview_Click() { cmdPrev_Click(0); }

void frmShow::cmdPrev_Click(int16_t) {
  Step([&] { cmdStop_Click(); });
  PreviewStopRequested = false;
  PreviewPaused = false;
  PreviewResumeRequested = false;
  double wholeSeconds = 0;
  const int16_t top = ValueOr<int16_t>(0, [&] { return TileUBound(); });
  // Each tile's reads are steps of their own: a tile that cannot be read is passed over.
  for (int16_t i = 0; i < top; ++i) {
    Step([&] {
      if (ClipTransitions.size() < static_cast<size_t>(i) + 1) ClipTransitions.resize(static_cast<size_t>(i) + 1);
    });
    Step([&] { ClipTransitions.at(static_cast<size_t>(i)) = CStr(TileGet(i, tile::kTransition)); });
    Step([&] { wholeSeconds = std::nearbyint(wholeSeconds + CDbl(TileGet(i, tile::kDuration))); });
  }
  double seconds = 0;
  for (int16_t i = 0; i <= top; ++i) Step([&] { seconds += CDbl(TileGet(i, tile::kDuration)); });
  Step([&] { StoryboardTimeline = TransitionsEnabled ? BuildTransitionTimeline() : BuildTimeline(); });
  SetControlState(false, false, false);
  Step([&] { Label2->Caption("Preview"); });
  Step([&] { cmdPlayLoaded->Enabled(false); });
  Step([&] { pnlCancel->Visible(false); });
  const std::string kept = ValueOr<std::string>("", [&] { return lblSelected->Caption(); });
  Step([&] {
    const int32_t n = top <= 0 ? 1 : top;
    lblSelected->Caption("Previewing new video from " + std::to_string(n) + " joined " +
                         (n == 1 ? "clip. " : "clips. ") + "New duration is " + CStr(Variant(seconds)) +
                         " seconds.");
  });
  Step([&] { ProgressBar1->Max(static_cast<float>(wholeSeconds)); });
  Step([&] { ProgressBar1->Value(ProgressBar1->Min()); });
  Step([&] { ProgressBar1->Visible(true); });
  Step([&] { ProgressBar1->Value(0); });
  if (StoryboardTimeline && StoryboardRenderEngine) {
    BeginRun();
    Step([&] { Check(StoryboardRenderEngine->SetTimelineObject(StoryboardTimeline.Get())); });
    PlayTimeline(StoryboardTimeline);
    EndRun();
  }
  Step([&] { ProgressBar1->Visible(false); });
  Step([&] { lblSelected->Caption(kept); });
  if (StoryboardTimeline) SetControlState(true, true, true);
  Step([&] { cmdPauseVidWindow->Enabled(false); });
  Step([&] { cmdStopVidWin->Enabled(false); });
  Step([&] {
    const std::string ext = LCase(Right(Combo1->Text(), 3));
    if (ext != "bmp" && ext != "jpg" && ext != "gif") cmdPlayLoaded->Enabled(true);
  });
  Err().Clear();
}

void frmShow::PlayTimeline(ComPtr<IAMTimeline>& timeline) {
  JoinedPreview& s = JoinedPreviewState;
  auto release = [&] {
    s.position = nullptr;
    s.graph = nullptr;
    s.events = nullptr;
    s.videoWindow = nullptr;
    s.engine = nullptr;
    s.control = nullptr;
    Step([&] { Picture2->Visible(false); });
    s.secondPosition = nullptr;
    Err().Clear();
  };
  if (!timeline) {
    s.eventCode = 1;
    release();
    return;
  }
  Step([&] { s.engine = CreateObject<IRenderEngine>(kRenderEngine); });
  Step([&] { Check(Held(s.engine)->SetTimelineObject(timeline.Get())); });
  Step([&] { Check(Held(s.engine)->ConnectFrontEnd()); });
  Step([&] { Check(Held(s.engine)->RenderOutputPins()); });
  Step([&] { Check(Held(s.engine)->GetFilterGraph(s.graph.put())); });
  Step([&] { Check(Held(s.graph)->QueryInterface(IMediaControl::iid, s.control.put_void())); });
  Step([&] { Check(Held(s.control)->Run()); });
  Step([&] { Check(Held(s.graph)->QueryInterface(IMediaPosition::iid, s.position.put_void())); });
  Step([&] { s.secondPosition = s.position; });
  Step([&] { Check(Held(s.graph)->QueryInterface(IMediaEvent::iid, s.events.put_void())); });
  Step([&] { Check(Held(s.graph)->QueryInterface(IVideoWindow::iid, s.videoWindow.put_void())); });

  int32_t width = 320, height = 240;
  Step([&] { PreviewWindowSize(width, height); });
  Step([&] { Check(Held(s.videoWindow)->put_Height(height)); });
  Step([&] { Check(Held(s.videoWindow)->put_Width(width)); });
  ScreenObject& screen = Screen();
  Step([&] {
    const double screenHeight = screen.Height() / screen.TwipsPerPixelY();
    Check(Held(s.videoWindow)->put_Top(static_cast<LONG>(std::nearbyint(screenHeight / 2 - height / 2.0))));
  });
  Step([&] {
    const double screenWidth = screen.Width() / screen.TwipsPerPixelX();
    Check(Held(s.videoWindow)->put_Left(static_cast<LONG>(std::nearbyint(screenWidth / 2 - width / 2.0))));
  });
  Step([&] { Picture2->SetPicture(Picture()); });
  Step([&] { Picture2->Visible(true); });
  Step([&] { Picture2->ToolTipText(""); });

  auto stop = [&] { Step([&] { Check(Held(s.control)->Stop()); }); };
  for (;;) {
    DoEvents();
    if (s.events) {
      LONG code = 0;
      Step([&] { Held(s.events)->WaitForCompletion(10, &code); });
      s.eventCode = code;
    }
    Step([&] {
      double now = 0;
      Check(Held(s.position)->get_CurrentPosition(&now));
      ProgressBar1->Value(static_cast<float>(now));
    });
    if (s.eventCode == EC_COMPLETE) {
      Step([&] { Check(Held(s.videoWindow)->put_Left(screen.Width() * 8)); });
      Step([&] { Check(Held(s.videoWindow)->put_Top(screen.Height() * 8)); });
      Step([&] { Check(Held(s.videoWindow)->put_Visible(0)); });
      Step([&] { Picture2->Visible(false); });
      stop();
      break;
    }
    // An aborted graph ends the preview as the stop button does.
    if (s.eventCode == EC_ERRORABORT || s.eventCode == EC_USERABORT || s.eventCode == EC_STREAM_ERROR_STOPPED) {
      stop();
      Step([&] { Picture2->Visible(false); });
      break;
    }
    if (Met([&] {
          LONG visible = 0;
          Check(Held(s.videoWindow)->get_Visible(&visible));
          return visible == 0;
        })) {
      stop();
      Step([&] { Picture2->Visible(false); });
      break;
    }
    if (!timeline) {
      Step([&] { Picture2->Visible(false); });
      break;
    }
    if (PreviewStopRequested) {
      stop();
      Step([&] { Picture2->Visible(false); });
      break;
    }
    if (PreviewPaused) {
      if (PreviewResumeRequested) {
        PreviewPaused = false;
        PreviewResumeRequested = false;
        Step([&] { Check(Held(s.control)->Run()); });
      } else {
        Step([&] { Check(Held(s.control)->Pause()); });
      }
    }
  }
  release();
}

void frmShow::cmdPauseVidWindow_Click() {
  PreviewPaused = true;
  Step([&] { cmdPauseVidWindow->Enabled(false); });
  Step([&] { cmdPlayVideoWindow->Enabled(true); });
  Step([&] { cmdStopVidWin->Enabled(false); });
  Err().Clear();
}

void frmShow::cmdStopVidWin_Click() {
  PreviewStopRequested = true;
  Step([&] { cmdPauseVidWindow->Enabled(false); });
  Step([&] { cmdPlayVideoWindow->Enabled(true); });
  Step([&] { cmdStopVidWin->Enabled(false); });
  Err().Clear();
}

void frmShow::cmdPlayVideoWindow_Click() {
  if (PreviewPaused) {
    PreviewResumeRequested = true;
    Step([&] { cmdPauseVidWindow->Enabled(true); });
    Step([&] { cmdPlayVideoWindow->Enabled(false); });
    Step([&] { cmdStopVidWin->Enabled(true); });
    Step([&] { cmdPlayLoaded->Enabled(false); });
    Err().Clear();
    return;
  }
  Step([&] { cmdPauseVidWindow->Enabled(true); });
  Step([&] { cmdPlayVideoWindow->Enabled(false); });
  Step([&] { cmdStopVidWin->Enabled(true); });
  Err().Clear();
  cmdPrev_Click(0);
}
