// The storyboard join: five MPEG-4 (DX50) + MP3 AVIs (640x480, 25 fps, 10 s) on the main
// window's tiles with "Fade" transitions of one second, joined by the window's WriteJoinedAvi
// (save dialog answered by a script, method "Batch" without a batch encoder, so nothing is
// handed on), against the render engine alone writing the same storyboard timeline through
// AVI Mux and File writer.
//
//   bench_storyboard_join [rounds]
//
// After one warm-up round (not counted) the two take turns, rounds times (7 unless told), the
// side that goes first alternating, so that both see the same load of the machine; each round
// gives a ratio and the run's ratio is their median. The last line is
// "ratio <join time / engine time>"; the target is at most 1.05.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../bench_timing.h"
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
using bench::Clock;
using bench::Seconds;

// The render engine alone: the storyboard's transition timeline (the tiles' transitions taken as
// the join takes them) through AVI Mux and File writer into target.
double TimeEngine(frmShow& w, const std::string& target) {
  const auto start = Clock::now();
  ClipTransitions.assign(static_cast<size_t>(w.TileUBound()), "Fade");
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

// The window's join: the real WriteJoinedAvi, its save dialog answered with target.
double TimeJoin(frmShow& w, const std::string& target) {
  auto script = std::make_shared<ScriptedResponder>();
  script->OnUnexpected([](const std::string& what) { std::fprintf(stderr, "unexpected %s\n", what.c_str()); });
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
  auto previous = SetResponder(script);
  const auto start = Clock::now();
  w.WriteJoinedAvi();
  const double t = Seconds(Clock::now() - start);
  SetResponder(previous);
  return fs::exists(target) ? t : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  if (rounds < 1 || rounds > 50) {
    std::fprintf(stderr, "usage: bench_storyboard_join [rounds 1..50]\n");
    return 2;
  }
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

  std::vector<double> joins, engines, ratios;
  bool failed = false;
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
    const std::string joined = (work / "out" / "joined.avi").string();
    const std::string engine = (work / "out" / "engine.avi").string();
    // Round 0 warms up (files in the page cache, libraries loaded) and is not counted.
    for (int r = 0; r <= rounds && !failed; ++r) {
      fs::remove(joined);
      fs::remove(engine);
      double j = -1, e = -1;
      if (r % 2) {
        j = TimeJoin(*w, joined);
        e = TimeEngine(*w, engine);
      } else {
        e = TimeEngine(*w, engine);
        j = TimeJoin(*w, joined);
      }
      if (j <= 0 || e <= 0) {
        std::fprintf(stderr, "a join failed in round %d (window %.3f, engine %.3f)\n", r, j, e);
        failed = true;
        break;
      }
      if (r == 0) {
        std::printf("warm-up: WriteJoinedAvi %.3f s, engine alone %.3f s\n", j, e);
        continue;
      }
      std::printf("round %d (%s first): WriteJoinedAvi %.3f s, engine alone %.3f s, ratio %.3f\n", r,
                  r % 2 ? "join" : "engine", j, e, j / e);
      joins.push_back(j);
      engines.push_back(e);
      ratios.push_back(j / e);
    }
    w->ProjectChanged = false;
  }
  fs::remove_all(work);
  if (failed) return 1;
  std::printf("WriteJoinedAvi: %.3f s (median of %d rounds)\n", bench::Median(joins), rounds);
  std::printf("engine alone:   %.3f s\n", bench::Median(engines));
  std::printf("ratio %.3f\n", bench::Median(ratios));
  return 0;
}
