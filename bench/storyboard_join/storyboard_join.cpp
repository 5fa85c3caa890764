// The storyboard join: five MPEG-4 (DX50) + MP3 AVIs (640x480, 25 fps, 10 s) on the main
// window's tiles with "Fade" transitions of one second, joined by the window's WriteJoinedAvi
// (save dialog answered by a script, method "Batch" without a batch encoder, so nothing is
// handed on), against the render engine alone writing the same storyboard timeline through
// AVI Mux and File writer.
//
//   bench_storyboard_join
//
// The last line is "ratio <join time / engine time>"; the target is at most 1.05.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "com/com.h"
#include "core/msgbox.h"
#include "engine/modGeneralGraph.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/form.h"
#include "forms/responder.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "registry/settings.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double TimeEngine(frmShow& w, const std::string& target) {
  const auto start = Clock::now();
  for (int16_t i = 0; i < w.TileUBound(); ++i) ClipTransitions.push_back("Fade");
  ComPtr<IAMTimeline> timeline = w.BuildTransitionTimeline();
  ComPtr<IRenderEngine> engine = CreateObject<IRenderEngine>("{498B0949-BBE9-4072-98BE-6CCAEB79DC6F}");
  if (!timeline || !engine || FAILED(engine->SetTimelineObject(timeline.Get())) || FAILED(engine->ConnectFrontEnd()))
    return -1;
  ComPtr<IGraphBuilder> builder;
  ComPtr<IMediaControl> graph;
  engine->GetFilterGraph(builder.put());
  if (!builder || FAILED(builder->QueryInterface(IMediaControl::iid, graph.put_void()))) return -1;
  modGeneral::AddFileWriterAndMux(graph.Get(), target);
  modGeneral::RenderGroupOutputs(engine.Get(), timeline.Get());
  ComPtr<IMediaEvent> events;
  graph->QueryInterface(IMediaEvent::iid, events.put_void());
  if (FAILED(graph->Run())) return -1;
  LONG code = 0;
  events->WaitForCompletion(-1, &code);
  graph->Stop();
  return code == EC_COMPLETE ? Seconds(Clock::now() - start) : -1;
}

}  // namespace

int main() {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path work = fs::temp_directory_path() / ("bench_storyboard_join." + std::to_string(getpid()));
  fs::create_directories(work / "registry");
  fs::create_directories(work / "program");
  fs::create_directories(work / "out");
  setenv("SUITE_REGISTRY_DIR", (work / "registry").c_str(), 1);
  setenv("SUITE_PROGRAM_FOLDER", (work / "program").c_str(), 1);
  setenv("SUITE_TEST_SCRATCH", work.c_str(), 1);
  for (const char* lib : {TILECARD_LIBRARY, SIZEWARDEN_LIBRARY}) {
    const std::string reg = std::string("'") + REGSVR + "' /s '" + lib + "'";
    if (std::system(reg.c_str()) != 0) {
      std::fprintf(stderr, "regsvr could not register %s\n", lib);
      return 1;
    }
  }
  fixtures::Options o;
  o.width = 640;
  o.height = 480;
  o.seconds = 10;
  const std::string source = fixtures::Make(fixtures::Kind::AviDx50, (work / "media").string(), o);
  SaveSetting(kSettingsApp, "Init", "StartTips", "Hide");
  SaveSetting(kSettingsApp, "Init", "ResizeStream", "FALSE");
  SaveSetting(kSettingsApp, kSectionOptions, "AllowTranstions", "True");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyCompression, "Batch");
  SaveSetting(kSettingsApp, kSectionOptions, kKeyTransition, "Fade");
  SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });

  double join = -1, alone = -1;
  {
    FormPtr<frmShow> w = MakeForm<frmShow>();
    w->Load();
    for (int i = 0; i < 5; ++i) {
      const std::string clip = (work / "media" / ("clip" + std::to_string(i) + ".avi")).string();
      fs::copy_file(source, clip, fs::copy_options::overwrite_existing);
      w->TilePut(w->TileUBound(), tile::kMediaFile, Variant(clip));
    }
    for (int16_t i = 0; i < w->TileUBound(); ++i) w->TilePut(i, tile::kTransition, Variant(std::string("Fade")));
    TransitionsEnabled = true;
    TransitionSeconds = 1;
    DefaultClipDuration = 5;
    std::printf("storyboard: %d tiles\n", static_cast<int>(w->TileUBound()));
    {
      auto script = std::make_shared<ScriptedResponder>();
      script->OnUnexpected([](const std::string& what) { std::fprintf(stderr, "unexpected %s\n", what.c_str()); });
      script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok((work / "out" / "joined.avi").string()));
      auto previous = SetResponder(script);
      const auto start = Clock::now();
      w->WriteJoinedAvi();
      join = Seconds(Clock::now() - start);
      if (!fs::exists(work / "out" / "joined.avi")) join = -1;
      SetResponder(previous);
    }
    alone = TimeEngine(*w, (work / "out" / "engine.avi").string());
    w->ProjectChanged = false;
  }
  fs::remove_all(work);
  if (join <= 0 || alone <= 0) {
    std::fprintf(stderr, "a join failed (window %.3f, engine %.3f)\n", join, alone);
    return 1;
  }
  std::printf("WriteJoinedAvi: %.3f s\n", join);
  std::printf("engine alone:   %.3f s\n", alone);
  std::printf("ratio %.3f\n", join / alone);
  return 0;
}
