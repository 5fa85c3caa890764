// The splitter window, offscreen: a 60-second 640x480 25 fps MPEG-4 (DX50) + MP3 AVI opened,
// frames 250 to 1250 marked (the end mark is the boundary after the last kept frame) and saved
// through a scripted save dialog, against ffmpeg cutting the same 1000 frames frame-exactly into
// MPEG-4 part 2 tagged DX50 + PCM in the same run.
//
//   bench_split [movie]
//
// The last line is "ratio <splitter time / ffmpeg time>"; the target is at most 1.15.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "../bench_timing.h"
#include "core/msgbox.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/responder.h"
#include "splitter/WzTick.h"
#include "splitter/frmSplitter.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string folder = fixtures::ScratchFolder("bench-split");
  std::string movie = argc > 1 ? argv[1] : "";
  if (movie.empty()) {
    fixtures::Options o;
    o.width = 640;
    o.height = 480;
    o.seconds = 60;
    std::printf("making a 60 s 640x480 MPEG-4 + MP3 movie...\n");
    movie = fixtures::Make(fixtures::Kind::AviDx50, folder, o);
  }
  RegisterWzTick();
  auto script = std::make_shared<ScriptedResponder>();
  SetResponder(script);
  SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
  std::string handedBack;
  SetLoadedFileNameHolder(&handedBack);

  const std::string ours = folder + "/split.avi", theirs = folder + "/split-ffmpeg.avi";
  fs::remove(ours);
  fs::remove(theirs);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(ours));
  auto window = std::make_unique<frmSplitter>();
  window->Load();
  std::string path = movie;
  window->OpenFile(path);
  if (!window->bFileLoaded) {
    std::fprintf(stderr, "the splitter cannot open %s\n", movie.c_str());
    return 1;
  }
  window->txtEnd->Text("1250");
  window->cmdSetStop_Click();
  window->txtStart->Text("250");
  window->cmdSelStart_Click();
  const auto start = bench::Clock::now();
  window->mnuSave_Click();
  const double split = bench::Seconds(bench::Clock::now() - start);
  if (handedBack != ours) {
    std::fprintf(stderr, "the splitter did not save the piece\n");
    return 1;
  }
  const double ffmpeg = bench::TimeFfmpeg({"ffmpeg", "-v", "error", "-y", "-i", movie, "-ss", "10", "-frames:v", "1000",
                                           "-t", "40", "-c:v", "mpeg4", "-vtag", "DX50", "-c:a", "pcm_s16le", theirs});
  if (ffmpeg <= 0) {
    std::fprintf(stderr, "ffmpeg failed\n");
    return 1;
  }
  const int frames = static_cast<int>(fixtures::DecodedFrameNumbers(ours).size());
  std::printf("splitter %.3f s (%d frames), ffmpeg %.3f s\n", split, frames, ffmpeg);
  std::printf("ratio %.3f\n", split / ffmpeg);
  return 0;
}
