// The join through the real main window on real hosted tiles: the storyboard's timelines read
// back from their timeline file, the joined AVI read by ffprobe, and the join's roads (save
// cancelled, replace refused, codec dialog cancelled, cancel mid-run, hand-off by method).
#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>
#include <QXmlStreamReader>
#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "com/object.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "engine/modDexter.h"
#include "engine/modGeneralGraph.h"
#include "fixtures.h"
#include "forms/app.h"
#include "forms/end_requests.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/responder.h"
#include "mainwindow/FormInstances.h"
#include "mainwindow/MainWindowFixture.h"
#include "mainwindow/frmShow.h"
#include "mainwindow/modSettings.h"
#include "options/frmCodecDialog.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "shell/instance.h"
#include "splitter/RenderStandIns.h"
#include "window_driver.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Join : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    out_ = root_ / "out folder ;é";
    fs::create_directories(out_);
    SaveSetting("Reelwright", "Init", "MultiSelect", "false");
    ShowProjectEnabled = false;
    RenderCancelRequested = false;
    frmShow::CodecDialog = nullptr;
  }
  void TearDown() override {
    frmShow::CodecDialog = nullptr;
    MainWindowFixture::TearDown();
  }
  std::string Made(fixtures::Kind kind, const std::string& name, double seconds = 1.0, int fps = 15) {
    fixtures::Options o;
    o.width = 96;
    o.height = 64;
    o.fps = fps;
    o.seconds = seconds;
    const std::string made = fixtures::Make(kind, (root_ / "made").string(), o);
    const fs::path target = media_ / name;
    fs::copy_file(made, target, fs::copy_options::overwrite_existing);
    return target.string();
  }
  // Adds a file by the open dialog; boxes: how many notices adding it shows (answered OK).
  void Add(frmShow& w, const std::string& path, int boxes = 0) {
    ScriptScope script;
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(path));
    for (int i = 0; i < boxes; ++i) script->AnswerMsgBox(vbOK);
    w.mnuImport_Click();
  }
  // Presses the toolbar's Join.
  void PressJoin(frmShow& w) {
    Button& join = w.Toolbar1->ButtonsOf().Item("Join");
    EventArgs click{Variant(static_cast<IUnknown*>(&join))};
    w.RaiseEvent("Toolbar1_ButtonClick", click);
  }
  // Files in the output folder (the temporary names included).
  std::vector<std::string> OutFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Presses Join and runs close once the run shows its cancel panel and status line; true when
  // it ran.
  bool JoinAndCloseMidRun(frmShow& w, const std::function<void()>& close) {
    QTimer closer;
    closer.setInterval(0);
    bool asked = false;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (!asked && w.pnlCancel->Visible() && w.lblSelected->Caption() != "") {
        asked = true;
        close();
      }
    });
    closer.start();
    PressJoin(w);
    closer.stop();
    return asked;
  }
  // After a join that wrote nothing: an old file at joined.avi as it was (old), else an empty
  // output folder; the window free again.
  void ExpectNothingWrittenAndTheWindowFree(frmShow& w, const fs::path& target, const std::optional<std::string>& old) {
    if (old) {
      EXPECT_EQ(ReadAll(target), *old);
      EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined.avi"});
    } else {
      EXPECT_TRUE(OutFiles().empty());
    }
    EXPECT_FALSE(w.pnlCancel->Visible());
    EXPECT_TRUE(w.cmdWriteAVI->Visible());
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
    EXPECT_EQ(Screen().MousePointer(), vbDefault);
  }

  fs::path out_;
};

// A timeline read back from its timeline file, one line per node:
// "group NAME", "track", "clip FILE START-STOP", "transition CLSID START-STOP".
std::vector<std::string> Dump(IAMTimeline* timeline, const fs::path& file) {
  SaveTimelineFile(timeline, file.string(), 0);
  QFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::ReadOnly)) return {"(no file)"};
  QXmlStreamReader xml(&f);
  std::vector<std::string> out;
  auto span = [&] {
    std::ostringstream s;
    s << xml.attributes().value("start").toDouble() << "-" << xml.attributes().value("stop").toDouble();
    return s.str();
  };
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"timeline") out.push_back("transitions " + xml.attributes().value("transitions").toString().toStdString());
    if (xml.name() == u"group") out.push_back("group " + xml.attributes().value("name").toString().toStdString() + " fps " +
                                              xml.attributes().value("fps").toString().toStdString());
    if (xml.name() == u"track") out.push_back("track");
    if (xml.name() == u"clip")
      out.push_back("clip " + fs::path(xml.attributes().value("src").toString().toStdString()).filename().string() +
                    " " + span());
    if (xml.name() == u"transition")
      out.push_back("transition " + xml.attributes().value("clsid").toString().toUpper().toStdString() + " " + span());
  }
  return out;
}

using fixtures::FileSizeLimit;

// The streams of every joined movie: uncompressed 16-bit video (RGB555) at 15 fps and 16-bit PCM
// sound.
void ExpectJoinedStreams(const fixtures::Probe& p) {
  ASSERT_TRUE(p.ok) << p.error;
  const fixtures::ProbedStream* v = p.First("video");
  const fixtures::ProbedStream* a = p.First("audio");
  ASSERT_TRUE(v);
  ASSERT_TRUE(a);
  EXPECT_EQ(v->codecName, "rawvideo");
  EXPECT_EQ(v->pixFmt, "rgb555le");
  EXPECT_NEAR(v->frameRate, 15.0, 0.01);
  EXPECT_EQ(a->codecName, "pcm_s16le");
}

const std::string kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";
const std::string kIris = "{3F69F351-0379-11D2-A484-00C04F8EFB69}";

}  // namespace

TEST_F(Join, BuildersLayOutTheStoryboardsClips) {
  frmShow& w = Window();
  const std::string picture = Made(fixtures::Kind::Bmp, "still.bmp");
  const std::string movie = Made(fixtures::Kind::AviMjpegPcm, "movie.avi");
  const std::string sound = Made(fixtures::Kind::Wav, "sound.wav");
  struct Case {
    std::string name;
    std::vector<std::pair<std::string, double>> tiles;  // file, duration
    std::vector<std::string> transitions;                // the tiles' Transition
    std::string defaultTransition;
    bool transitionsEnabled;
    bool withTransitions;  // BuildTransitionTimeline, else BuildTimeline
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"empty storyboard", {}, {}, "Fade", true, false, {"transitions 1"}},
      {"picture 5 s + movie 10 s, transitions",
       {{picture, 5}, {movie, 10}}, {"", ""}, "Fade", true, true,
       {"transitions 1", "group VIDEO fps 15", "track", "clip still.bmp 0-5", "transition " + kFade + " 0-1", "track",
        "clip movie.avi 5-15", "transition " + kFade + " 5-6", "group AUDIO fps 15", "track", "clip movie.avi 5-15"}},
      {"picture 5 s + movie 10 s, no transitions",
       {{picture, 5}, {movie, 10}}, {"Iris", "Iris"}, "Fade", true, false,
       {"transitions 1", "group VIDEO fps 15", "track", "clip still.bmp 0-6", "track", "clip movie.avi 5-16",
        "group AUDIO fps 15", "track", "clip movie.avi 5-16"}},
      {"a 2 s clip takes the default duration; None is no transition; a tile's name beats the default",
       {{movie, 2}, {picture, 3}}, {"None", "iris"}, "Fade", false, true,
       {"transitions 0", "group AUDIO fps 15", "track", "clip movie.avi 0-5", "group VIDEO fps 15", "track",
        "clip movie.avi 0-5", "track", "clip still.bmp 5-10", "transition " + kIris + " 5-6"}},
      {"a sound file leaves a gap; no default gives None; a name outside the table places nothing",
       {{sound, 4}, {movie, 6}, {picture, 5}}, {"", "", "Sparkle"}, "", true, true,
       {"transitions 1", "group AUDIO fps 15", "track", "clip movie.avi 5-11", "group VIDEO fps 15", "track",
        "clip movie.avi 5-11", "track", "clip still.bmp 11-16"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    w.mnuNew_Click();
    for (const auto& [file, d] : c.tiles) Add(w, file, file == sound ? 1 : 0);
    ASSERT_EQ(w.TileUBound(), static_cast<int16_t>(c.tiles.size()));
    for (size_t i = 0; i < c.tiles.size(); ++i) {
      w.TilePut(static_cast<int16_t>(i), tile::kDuration, Variant(c.tiles[i].second));
      w.TilePut(static_cast<int16_t>(i), tile::kTransition, Variant(c.transitions[i]));
    }
    ClipTransitions = c.transitions;
    SaveSetting("Reelwright", "Options", "Transition", c.defaultTransition);
    DefaultClipDuration = 5;
    TransitionSeconds = 1;
    TransitionsEnabled = c.transitionsEnabled;
    auto tl = c.withTransitions ? w.BuildTransitionTimeline() : w.BuildTimeline();
    ASSERT_TRUE(tl);
    EXPECT_EQ(Dump(tl.Get(), root_ / ("case" + std::to_string(n++) + ".xtl")), c.expected);
  }
  // Fewer collected names than tiles: no timeline.
  ClipTransitions.clear();
  EXPECT_FALSE(w.BuildTransitionTimeline());
  EXPECT_TRUE(w.BuildTimeline());
}

TEST_F(Join, JoinWritesOneUncompressedAviAndTheRoadsThatEndWithoutOne) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 2.0));
  w.TilePut(0, tile::kDuration, Variant(2.0));
  w.TilePut(0, tile::kTransition, Variant(std::string("Fade")));
  w.TilePut(1, tile::kTransition, Variant(std::string("Iris")));
  DefaultClipDuration = 2;
  TransitionSeconds = 1;
  TransitionsEnabled = true;
  const std::string target = (out_ / "joined movie;é.avi").string();
  int dialogs = 0;
  bool answerOk = true;
  frmShow::CodecDialog = [&](frmShow&, IMediaControl* graph, bool& videoSelected) {
    ++dialogs;
    EXPECT_NE(graph, nullptr);
    videoSelected = false;  // "<<< No Compression >>>"
    return answerOk;
  };

  {  // Save dialog cancelled: nothing, no box.
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Cancel());
    PressJoin(w);
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_EQ(dialogs, 0);
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  }
  {  // Codec dialog cancelled: nothing written, no temporary file left.
    ScriptScope script;
    answerOk = false;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    PressJoin(w);
    EXPECT_EQ(dialogs, 1);
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_EQ(Screen().MousePointer(), vbDefault);
  }
  {  // "Manual" (stored in another case), no compression: the movie is written; a cancel flag
     // left from before the run is cleared.
    ScriptScope script;
    answerOk = true;
    SaveSetting("Reelwright", "Options", "Compression", "manual");
    frmShow::CodecDialog = [&](frmShow&, IMediaControl*, bool& videoSelected) {
      ++dialogs;
      RenderCancelRequested = true;
      videoSelected = false;
      return true;
    };
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    PressJoin(w);
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(script->MsgBoxes().empty()) << script->MsgBoxes().at(0).prompt;
    ASSERT_EQ(OutFiles(), std::vector<std::string>{"joined movie;é.avi"});
    const fixtures::Probe p = fixtures::RunFfprobe(target);
    ExpectJoinedStreams(p);
    EXPECT_NEAR(p.duration, 4.0, 1.0 / 15 + 1e-6);
    EXPECT_FALSE(RenderCancelRequested);
    EXPECT_EQ(w.lblSelected->Caption(), "");
    EXPECT_FALSE(w.pnlCancel->Visible());
    EXPECT_TRUE(w.cmdWriteAVI->Visible());
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  }
  const std::string before = ReadAll(target);
  {  // Replace? No: the file is untouched, nothing rendered.
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbNo);
    PressJoin(w);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "The file " + target + " already exists. Do you want to replace it?");
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(ReadAll(target), before);
  }
  {  // Replace? Yes, then cancelled from the cancel panel mid-run: the old file stays as it was,
     // no temporary file, nothing handed on.
    ScriptScope script;
    w.TilePut(0, tile::kDuration, Variant(600.0));
    SaveSetting("Reelwright", "Options", "Compression", "Crunchbox");
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbYes);
    QTimer clicker;
    clicker.setInterval(0);
    bool clicked = false;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
      if (!clicked && w.pnlCancel->Visible() && w.Label2->Caption() == "Cancel Rendering" && w.lblSelected->Caption() != "") {
        clicked = true;
        EventArgs none;
        w.RaiseEvent("Label2_Click", none);
      }
    });
    clicker.start();
    PressJoin(w);
    clicker.stop();
    EXPECT_TRUE(clicked);
    ASSERT_EQ(script->MsgBoxes().size(), 1u) << script->MsgBoxes().back().prompt;  // only the question
    EXPECT_EQ(ReadAll(target), before);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined movie;é.avi"});
    EXPECT_FALSE(RenderCancelRequested);
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
    w.TilePut(0, tile::kDuration, Variant(2.0));
  }
  {  // A completed run replaces the old file and hands on: "Crunchbox" asks, No ends.
    ScriptScope script;
    fs::remove(target);
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbNo);
    PressJoin(w);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt,
              "Your file has been saved as an uncompressed AVI file. Do you want to compress it now?");
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbYesNo);
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined movie;é.avi"});
  }
}

TEST_F(Join, AMovieCutShortAfterAddingGivesWhatCanBeReadOrTheFailureNeverAPartialFile) {
  frmShow& w = Window();
  const std::string movie = Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 3.0);
  Add(w, movie);
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  // The movie is cut short after it was added: its source fails mid-stream.
  const std::string bad = Made(fixtures::Kind::TruncatedAvi, "cut.avi", 3.0);
  fs::copy_file(bad, movie, fs::copy_options::overwrite_existing);
  fs::resize_file(movie, fs::file_size(movie) / 3);
  const std::string target = (out_ / "joined.avi").string();
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
  PressJoin(w);
  // Either the run aborts with the failure message, or the graph ends short and the movie holds
  // what could be read; never a box claiming success and never a partial file at the target
  // without a completed run.
  const auto boxes = script->MsgBoxes();
  if (!boxes.empty() && boxes[0].prompt.rfind("The joined movie could not be written.\r\n", 0) == 0) {
    EXPECT_TRUE(OutFiles().empty());
  } else {
    for (const auto& name : OutFiles()) EXPECT_EQ(name, "joined.avi");
  }
  EXPECT_TRUE(w.cmdWriteAVI->Enabled());
}

// A storyboard file that fails mid-stream (cut short after the graph was built, before it runs):
// the run aborts through the cancel path with the failure message and the platform's text of
// the reason; nothing at the target, an old file there untouched, no temporary file.
TEST_F(Join, ASourceFailingMidStreamEndsTheJoinWithTheFailureAndLeavesNoFile) {
  frmShow& w = Window();
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Manual");
  const std::string movie = Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 3.0);
  const std::string whole = ReadAll(movie);
  Add(w, movie);
  const fs::path target = out_ / "joined.avi";
  struct Case {
    std::string name;
    std::optional<std::string> old;  // what lies at the target before the join
  };
  const Case cases[] = {{"no file at the target", std::nullopt}, {"an old file at the target", "the old movie"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(movie, std::ios::binary) << whole;
    fs::remove(target);
    if (c.old) std::ofstream(target) << *c.old;
    int dialogs = 0;
    frmShow::CodecDialog = [&](frmShow&, IMediaControl*, bool& videoSelected) {
      ++dialogs;
      fs::resize_file(movie, whole.size() / 3);  // the graph is built: the source now fails
      videoSelected = false;
      return true;
    };
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    if (c.old) script->AnswerMsgBox(vbYes);
    script->AnswerMsgBox(vbOK);
    PressJoin(w);
    EXPECT_EQ(dialogs, 1);
    const auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), c.old ? 2u : 1u);
    EXPECT_EQ(boxes.back().prompt, "The joined movie could not be written.\r\nThe file is shorter than it should be.");
    ExpectNothingWrittenAndTheWindowFree(w, target, c.old);
  }
}

// A graph that completes without writing the movie file (its file writer sent to another file
// while the codec dialog is up) is a failure: the empty file never takes the target's name, an
// old file there stays, the message says so and no temporary file is left.
TEST_F(Join, ACompletionWithoutAWrittenFileIsAFailure) {
  frmShow& w = Window();
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Manual");
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 1.0));
  const fs::path target = out_ / "joined.avi";
  std::ofstream(target) << "the old movie";
  const fs::path elsewhere = root_ / "elsewhere.avi";
  int redirected = 0;
  frmShow::CodecDialog = [&](frmShow&, IMediaControl* graph, bool& videoSelected) {
    ComPtr<IFilterGraph> fg;
    EXPECT_EQ(graph->QueryInterface(IFilterGraph::iid, fg.put_void()), S_OK);
    ComPtr<IEnumFilters> e;
    fg->EnumFilters(e.put());
    IBaseFilter* f = nullptr;
    ULONG got = 0;
    while (e->Next(1, &f, &got) == S_OK && got == 1) {
      ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::Attach(f);
      ComPtr<IFileSinkFilter> sink;
      if (SUCCEEDED(filter->QueryInterface(IFileSinkFilter::iid, sink.put_void())) &&
          SUCCEEDED(sink->SetFileName(Utf8ToUtf16(elsewhere.string()).c_str(), nullptr)))
        ++redirected;
    }
    videoSelected = false;
    return true;
  };
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string())).AnswerMsgBox(vbYes).AnswerMsgBox(vbOK);
  PressJoin(w);
  EXPECT_EQ(redirected, 1);
  ASSERT_TRUE(fixtures::RunFfprobe(elsewhere.string()).ok) << "the graph ran to its end";
  const auto boxes = script->MsgBoxes();
  ASSERT_EQ(boxes.size(), 2u) << boxes.back().prompt;
  EXPECT_EQ(boxes[1].prompt.rfind("The joined movie could not be written.\r\n", 0), 0u) << boxes[1].prompt;
  EXPECT_EQ(ReadAll(target), "the old movie");
  EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined.avi"});
  EXPECT_TRUE(w.cmdWriteAVI->Enabled());
}

// The target is one of the storyboard's own files: it is read whole into the new movie before
// the new movie takes its name.
TEST_F(Join, AJoinOverOneOfTheStoryboardsOwnFilesUsesItsOldContent) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  const std::string movie = Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 3.0);
  Add(w, movie);
  w.TilePut(0, tile::kDuration, Variant(2.0));
  w.TilePut(1, tile::kDuration, Variant(3.0));
  for (int16_t i = 0; i < 2; ++i) w.TilePut(i, tile::kTransition, Variant(std::string("None")));
  DefaultClipDuration = 1;
  TransitionSeconds = 1;
  TransitionsEnabled = true;
  SaveSetting("Reelwright", "Options", "Compression", "Manual");
  frmShow::CodecDialog = [](frmShow&, IMediaControl*, bool& videoSelected) {
    videoSelected = false;
    return true;
  };
  const std::vector<int> source = fixtures::DecodedFrameNumbers(movie);
  ASSERT_EQ(source.size(), 45u);
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(movie)).AnswerMsgBox(vbYes);
  PressJoin(w);
  ASSERT_EQ(script->MsgBoxes().size(), 1u) << script->MsgBoxes().back().prompt;
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "The file " + movie + " already exists. Do you want to replace it?");
  const fixtures::Probe p = fixtures::RunFfprobe(movie);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video"));
  ASSERT_TRUE(p.First("audio"));
  EXPECT_EQ(p.First("video")->codecName, "rawvideo");
  EXPECT_NEAR(p.duration, 5.0, 1.0 / 15 + 1e-6);
  // Two seconds of the picture, then the old movie's frames in order.
  const std::vector<int> joined = fixtures::DecodedFrameNumbers(movie);
  ASSERT_EQ(joined.size(), 75u);
  EXPECT_EQ(std::vector<int>(joined.begin() + 30, joined.end()), source);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(media_)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"movie.avi", "still.bmp"})) << "no temporary file left";
}

TEST_F(Join, HandOffByMethod) {
  frmShow& w = Window();
  const std::string target = (out_ / "a b.avi").string();
  fs::copy_file(Made(fixtures::Kind::AviMjpegPcm, "m.avi"), target);
  struct Case {
    std::string method;
    std::vector<int> answers;
    std::vector<std::string> prompts;
  };
  const std::vector<Case> cases = {
      {"Batch", {}, {}},  // no batch encoder in the program folder: nothing at all
      {"MANUAL", {}, {}},
      {"crunchbox", {vbYes, vbOK},
       {"Your file has been saved as an uncompressed AVI file. Do you want to compress it now?",
        "Can't find Crunchbox.exe. Please resinstall the Crunchbox encoder."}},
      {"WME", {vbYes, vbOK},
       {"Your file has been saved as an uncompressed AVI file. Do you want to compress it now?",
        "Windows Media Encoder is set as your default compressor\r\nbut it can't be found on your system."}},
      {"VirtualDub", {vbYes}, {"Your file has been saved as an uncompressed AVI file. Do you want to compress it now?"}},
      {"other", {vbYes}, {"Your file has been saved as an uncompressed AVI file. Do you want to compress it now?"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    ScriptScope script;
    for (int a : c.answers) script->AnswerMsgBox(a);
    EncoderInstallDir = (root_ / "nowhere").string();
    w.CompressorHandOff(c.method, target);
    std::vector<std::string> prompts;
    for (const auto& b : script->MsgBoxes()) prompts.push_back(b.prompt);
    EXPECT_EQ(prompts, c.prompts);
    if (c.method == "WME") {
      EXPECT_EQ(EncoderInstallDir, "");
    }
    EXPECT_FALSE(fs::exists(program_ / "lotkiln.lst"));
  }
}

namespace {

// Holds the batch encoder's instance lock in a child process until the object goes.
class RunningEncoder {
 public:
  RunningEncoder() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      AnotherInstanceRuns("Lotkiln");
      const char ok = 1;
      if (write(fds[1], &ok, 1) != 1) _exit(1);
      pause();
      _exit(0);
    }
    close(fds[1]);
    char ok = 0;
    if (read(fds[0], &ok, 1) != 1) ok = 0;
    close(fds[0]);
  }
  ~RunningEncoder() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

}  // namespace

TEST_F(Join, BatchQueuesTheMovieAndStartsTheEncoderWhenNoneRuns) {
  frmShow& w = Window();
  const std::string target = (out_ / "a b;é.avi").string();
  const fs::path started = root_ / "started";
  const fs::path lotkiln = program_ / "Lotkiln";
  const fs::path drop = program_ / "lotkiln.lst";
  const fs::path marker = program_ / "KilnhandRunning";
  const std::string info =
      "Kilnqueue has been started and your file\r\nhas been added to the list of files to compress.\r\n\r\n"
      "If you intend to join more files, just leave the\r\nKilnqueue tool open so that Reelwright\r\n"
      "can add each new joined file to the list.\r\n\r\nClick the Kilnqueue Icon in your tool\r\n"
      "tray to activate the application. Kilnqueue\r\nwill remain open after Reelwright is closed.";
  struct Case {
    std::string name;
    bool program, markerFile, live;
    bool expectStart;
  };
  const Case cases[] = {
      {"no batch encoder: nothing", false, false, false, false},
      {"no marker: started, then queued", true, false, false, true},
      {"a marker left by an encoder that ended: started as without one", true, true, false, true},
      {"a running encoder: queued only", true, true, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(lotkiln);
    fs::remove(drop);
    fs::remove(marker);
    fs::remove(started);
    if (c.program) {
      std::ofstream(lotkiln) << "#!/bin/sh\necho \"$#\" >> '" << started.string() << "'\n";
      fs::permissions(lotkiln, fs::perms::owner_all);
    }
    if (c.markerFile) std::ofstream(marker) << "running\r\n";
    std::optional<RunningEncoder> encoder;
    if (c.live) encoder.emplace();
    ScriptScope script;
    // The stand-in encoder never makes the marker, so the second join starts it again too.
    if (c.expectStart) script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
    w.CompressorHandOff("batch", target);
    w.CompressorHandOff("Batch", target);  // a second join: a second line
    if (c.expectStart) {
      // Both starts have run (each wrote its count of arguments: none).
      for (int i = 0; i < 1000 && ReadAll(started).size() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_EQ(ReadAll(started), "0\n0\n") << "started without arguments";
      ASSERT_FALSE(script->MsgBoxes().empty());
      EXPECT_EQ(script->MsgBoxes()[0].prompt, info);
      EXPECT_EQ(script->MsgBoxes()[0].title, "Default Compression Tool Started");
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbInformation);
    } else {
      EXPECT_TRUE(script->MsgBoxes().empty());
      EXPECT_FALSE(fs::exists(started));
    }
    if (c.program) {
      EXPECT_EQ(ReadAll(drop), target + "\r\n" + target + "\r\n");
    } else {
      EXPECT_FALSE(fs::exists(drop));
    }
  }
}

TEST_F(Join, ATargetThatCannotBeWrittenLeavesNothingAndSaysSo) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 2.0));
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  {  // A folder of that name: not replaceable, nothing rendered.
    const fs::path folder = out_ / "folder.avi";
    fs::create_directories(folder);
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(folder.string())).AnswerMsgBox(vbOK);
    PressJoin(w);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt,
              "The file " + folder.string() + " is in use by another process. Please use another file name.");
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"folder.avi"});
    fs::remove(folder);
  }
  {  // A full disk (a file-size limit): the run fails with its reason, the old file is kept.
    const fs::path target = out_ / "joined.avi";
    std::ofstream(target) << "the old movie";
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string())).AnswerMsgBox(vbYes).AnswerMsgBox(vbOK);
    {
      FileSizeLimit full(64 * 1024);
      PressJoin(w);
    }
    ASSERT_EQ(script->MsgBoxes().size(), 2u);
    EXPECT_EQ(script->MsgBoxes()[1].prompt.rfind("The joined movie could not be written.\r\n", 0), 0u)
        << script->MsgBoxes()[1].prompt;
    EXPECT_GT(script->MsgBoxes()[1].prompt.size(), std::string("The joined movie could not be written.\r\n").size());
    EXPECT_EQ(ReadAll(target), "the old movie");
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined.avi"});
    EXPECT_FALSE(fs::exists(program_ / "lotkiln.lst"));
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  }
}

// A target's name as long as the folder takes: the side file the movie is written into still fits
// beside it, and the movie gets exactly the name asked for.
TEST_F(Join, AJoinUnderTheLongestNamesWritesTheMovieUnderTheExactName) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 1.0));
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "manual");
  frmShow::CodecDialog = [](frmShow&, IMediaControl*, bool& videoSelected) {
    videoSelected = false;  // "<<< No Compression >>>"
    return true;
  };
  for (const size_t length : {250u, 255u}) {
    SCOPED_TRACE(length);
    const std::string name = std::string(length - 4, 'n') + ".avi";
    const fs::path target = out_ / name;
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    PressJoin(w);
    for (const MsgBoxRequest& box : script->MsgBoxes()) ADD_FAILURE() << box.prompt;
    ASSERT_EQ(OutFiles(), std::vector<std::string>{name});
    const fixtures::Probe p = fixtures::RunFfprobe(target.string());
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_NE(p.First("video"), nullptr);
    fs::remove(target);
  }
}

// Bad storyboards and targets at the join: a file deleted after adding leaves its gap; pictures
// only make a silent movie; sound files only give no video and end with the failure message; a
// target folder nobody may write to is refused with the cause before anything is rendered. An old
// file at the target is kept unless a complete movie replaces it, and no temporary file stays.
// A target where no file can be made beside it is refused before anything is rendered, with
// the system's text for the cause; a target that is there and cannot be replaced (a folder of
// that name) is "in use". Nothing is left in the folder.
TEST_F(Join, ATargetThatCannotTakeTheMovieNamesTheCause) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi"));
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  const std::string notWritten = "The joined movie could not be written.\r\n";
  struct Case {
    std::string name;
    std::string folder;  // below out_
    std::string file;
    std::string prompt;  // "" for the "in use" box
  };
  const Case cases[] = {
      {"a read-only folder", "read-only", "joined.avi", notWritten + "Access is denied."},
      {"a name too long itself", "longer", std::string(300, 'n') + ".avi",
       notWritten + "The file name or extension is too long."},
      {"a folder that is gone", "gone", "joined.avi", notWritten + "The path cannot be found."},
      {"a folder of the target's name", "taken", "joined.avi", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = out_ / c.folder;
    const fs::path target = folder / c.file;
    if (c.folder != "gone") fs::create_directories(folder);
    if (c.folder == "taken") fs::create_directories(target);
    if (c.folder == "read-only") fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                                            fs::perms::group_read | fs::perms::group_exec |
                                                            fs::perms::others_read | fs::perms::others_exec);
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string())).AnswerMsgBox(vbOK);
    PressJoin(w);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt,
              c.prompt.empty()
                  ? "The file " + target.string() + " is in use by another process. Please use another file name."
                  : c.prompt);
    if (fs::exists(folder)) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
      std::vector<std::string> left;
      for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
      EXPECT_EQ(left, c.folder == "taken" ? std::vector<std::string>{"joined.avi"} : std::vector<std::string>{})
          << "no side file left";
    }
    EXPECT_FALSE(w.pnlCancel->Visible());
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
    EXPECT_EQ(Screen().MousePointer(), vbDefault);
  }
}

TEST_F(Join, BadStoryboardsAndTargetsEndWithAMovieOrAMessageAndKeepTheOldFile) {
  frmShow& w = Window();
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");  // no batch encoder: nothing handed on
  DefaultClipDuration = 2;  // a picture's duration when it is added
  const std::string movie = Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 2.0);
  const std::string picture = Made(fixtures::Kind::Bmp, "still.bmp");
  const std::string wav = Made(fixtures::Kind::Wav, "sound.wav", 2.0);
  const std::string mp3 = Made(fixtures::Kind::Mp3, "sound.mp3", 2.0);
  const fs::path gone = media_ / "gone.avi";
  enum Outcome { kWritten, kNotWritten, kInUse };
  struct Case {
    std::string name;
    std::vector<std::string> files;  // added in order
    bool deleteGone;                 // gone.avi is deleted once added
    bool lockedFolder;               // the target's folder is immutable
    Outcome outcome;
    bool audio;       // a written movie has sound
    double duration;  // of a written movie: every tile's duration and one second
  };
  const Case cases[] = {
      {"a file deleted after adding leaves its gap", {movie, gone.string(), picture}, true, false, kWritten, true,
       7.0},
      {"pictures only", {picture, picture}, false, false, kWritten, false, 5.0},
      {"sound files only", {wav, mp3}, false, false, kNotWritten, false, 0},
      {"a target folder nobody may write to", {movie}, false, true, kInUse, false, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = out_ / ("case " + std::to_string(n++));
    fs::create_directories(folder);
    const fs::path target = folder / "joined.avi";
    std::ofstream(target) << "the old movie";
    struct Unlock {
      fs::path folder;
      ~Unlock() { fixtures::SetImmutable(folder.string(), false); }
    } unlock{folder};
    if (c.lockedFolder && !SetImmutable(folder, true)) {
      std::printf("skipped: %s (the file system has no immutable flag)\n", c.name.c_str());
      continue;
    }
    w.mnuNew_Click();
    fs::copy_file(movie, gone, fs::copy_options::overwrite_existing);
    for (const auto& f : c.files) Add(w, f, f == wav || f == mp3 ? 1 : 0);
    ASSERT_EQ(w.TileUBound(), static_cast<int16_t>(c.files.size()));
    if (c.deleteGone) fs::remove(gone);
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string())).AnswerMsgBox(vbYes);
    if (c.outcome != kWritten) script->AnswerMsgBox(vbOK);
    PressJoin(w);
    const auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), c.outcome == kWritten ? 1u : 2u) << boxes.back().prompt;
    EXPECT_EQ(boxes[0].prompt, "The file " + target.string() + " already exists. Do you want to replace it?");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"joined.avi"}) << "no temporary file left";
    if (c.outcome == kWritten) {
      const fixtures::Probe p = fixtures::RunFfprobe(target.string());
      ASSERT_TRUE(p.ok) << p.error;
      ASSERT_TRUE(p.First("video"));
      EXPECT_EQ(p.First("video")->codecName, "rawvideo");
      EXPECT_EQ(p.First("audio") != nullptr, c.audio);
      EXPECT_NEAR(p.duration, c.duration, 1.0 / 15 + 1e-6);
    } else {
      EXPECT_EQ(ReadAll(target), "the old movie");
      if (c.outcome == kInUse) {
        EXPECT_EQ(boxes[1].prompt, "The joined movie could not be written.\r\nAccess is denied.");
      } else {
        EXPECT_EQ(boxes[1].prompt.rfind("The joined movie could not be written.\r\n", 0), 0u) << boxes[1].prompt;
        EXPECT_GT(boxes[1].prompt.size(), std::string("The joined movie could not be written.\r\n").size());
      }
    }
    EXPECT_FALSE(fs::exists(program_ / "lotkiln.lst"));
    EXPECT_FALSE(w.pnlCancel->Visible());
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
    EXPECT_EQ(Screen().MousePointer(), vbDefault);
  }
}

TEST_F(Join, TheCloseBoxMidRunCancelsTheJoinAndClosesTheWindowAfterwards) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  w.TilePut(0, tile::kDuration, Variant(600.0));
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  const fs::path target = out_ / "joined.avi";
  ScriptScope script;
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
  EXPECT_TRUE(JoinAndCloseMidRun(w, [] { AskFormsToClose(vbFormControlMenu); }));
  EXPECT_TRUE(script->MsgBoxes().empty());
  EXPECT_TRUE(OutFiles().empty());
  EXPECT_FALSE(w.IsLoaded()) << "the window closed once the join had ended";
}

// The close box during a join of a changed project: the question comes once, at the close. No
// cancels the render, keeps the old file and ends the program (every window unloaded) once the
// join has ended; Cancel cancels the render too but keeps the window shown and usable.
TEST_F(Join, TheCloseBoxMidRunOnAChangedProjectAsksOnce) {
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  struct Case {
    std::string name;
    int answer;
    bool closes;
  };
  const Case cases[] = {{"No", vbNo, true}, {"Cancel", vbCancel, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    frmShow& w = Window();
    ASSERT_TRUE(ShowProjectEnabled);
    Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
    w.TilePut(0, tile::kDuration, Variant(600.0));
    w.ProjectChanged = true;
    TransitionsEnabled = false;
    SaveSetting("Reelwright", "Options", "Compression", "Batch");
    const fs::path target = out_ / "joined.avi";
    std::ofstream(target) << "the old movie";
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string())).AnswerMsgBox(vbYes);
    script->AnswerMsgBox(c.answer);
    // The window's close box.
    EXPECT_TRUE(JoinAndCloseMidRun(w, [&] { WidgetFromHwnd(w.hWnd())->close(); }));
    const auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), 2u) << boxes.back().prompt;
    EXPECT_EQ(boxes[1].prompt, "Do you want to save your changes?");
    EXPECT_EQ(ReadAll(target), "the old movie") << "the render was cancelled";
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined.avi"});
    EXPECT_EQ(!w.IsLoaded(), c.closes);
    if (c.closes) {
      EXPECT_TRUE(Forms().empty()) << "every window unloaded";
    } else {
      EXPECT_TRUE(w.Visible());
      EXPECT_FALSE(w.pnlCancel->Visible());
      EXPECT_TRUE(w.cmdWriteAVI->Visible());
      EXPECT_TRUE(w.cmdWriteAVI->Enabled());
      EXPECT_FALSE(w.CloseDeferred());
      // Usable: a second close asks again and Cancel keeps it again.
      ScriptScope again;
      again->AnswerMsgBox(vbCancel);
      WidgetFromHwnd(w.hWnd())->close();
      EXPECT_TRUE(w.IsLoaded());
      EXPECT_TRUE(w.Visible());
      EXPECT_EQ(again->MsgBoxes().size(), 1u);
    }
    w_->ProjectChanged = false;
    w_.reset();
    fs::remove(target);
  }
}

// A termination request (SIGTERM) during a join of a changed project ends the program in order
// and asks nothing: the render is stopped, its unfinished file removed, the old file kept.
TEST_F(Join, ATerminationRequestMidRunEndsTheProgramWithoutAQuestionAndKeepsTheOldFile) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  SaveSetting("Reelwright", "Init", "ShowProject", "TRUE");
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  w.TilePut(0, tile::kDuration, Variant(600.0));
  w.ProjectChanged = true;
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  const fs::path target = out_ / "joined.avi";
  std::ofstream(target) << "the old movie";
  EXPECT_EXIT(
      {
        auto script = std::make_shared<ScriptedResponder>();
        script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string())).AnswerMsgBox(vbYes);
        script->OnUnexpected([](const std::string& what) {
          std::fprintf(stderr, "unexpected %s\n", what.c_str());
          std::_Exit(4);
        });
        SetResponder(script);
        InstallEndRequests();
        JoinAndCloseMidRun(w, [] { std::raise(SIGTERM); });
        std::fprintf(stderr, "still running\n");
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadAll(target), "the old movie");
  EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined.avi"}) << "no unfinished file is left";
}

TEST_F(Join, WriteXtlSavesTheTimelineWithoutTransitionsAndReplacesOnlyByACompleteFile) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi"));
  w.TilePut(0, tile::kDuration, Variant(5.0));
  w.TilePut(1, tile::kDuration, Variant(10.0));
  w.TilePut(0, tile::kTransition, Variant(std::string("Fade")));
  TransitionsEnabled = true;
  const fs::path target = out_ / "story board.xtl";
  {  // Cancelled: nothing written; the storyboard's timeline is the new one all the same.
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Cancel());
    IAMTimeline* before = StoryboardTimeline.Get();
    w.RaiseEvent("cmdWriteXTL_Click", *std::make_unique<EventArgs>());
    EXPECT_NE(StoryboardTimeline.Get(), before);
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_TRUE(w.cmdWriteXTL->Enabled());
  }
  std::ofstream(target) << "old";
  {  // A failed write (a full disk) keeps the old file.
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    {
      FileSizeLimit full(16);
      w.cmdWriteXTL_Click();
    }
    EXPECT_EQ(ReadAll(target), "old");
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"story board.xtl"});
  }
  {  // Replaced without a question: no transitions, every clip a second longer.
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    w.cmdWriteXTL_Click();
    EXPECT_TRUE(script->MsgBoxes().empty());
    QFile f(QString::fromStdString(target.string()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    std::vector<std::string> clips;
    int transitions = 0;
    while (!xml.atEnd()) {
      if (xml.readNext() != QXmlStreamReader::StartElement) continue;
      if (xml.name() == u"transition") ++transitions;
      if (xml.name() == u"clip")
        clips.push_back(fs::path(xml.attributes().value("src").toString().toStdString()).filename().string() + " " +
                        xml.attributes().value("start").toString().toStdString() + "-" +
                        xml.attributes().value("stop").toString().toStdString());
    }
    EXPECT_EQ(transitions, 0);
    ASSERT_EQ(clips.size(), 3u);
    EXPECT_EQ(clips[0].substr(0, 9), "still.bmp");
    EXPECT_EQ(OutFiles(), std::vector<std::string>{"story board.xtl"});
  }
}

TEST_F(Join, ThePreviewPlaysTheStoryboardAndItsButtonsSteerIt) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 2.0));
  w.TilePut(0, tile::kDuration, Variant(2.5));
  w.TilePut(1, tile::kDuration, Variant(1.5));
  DefaultClipDuration = 1;
  TransitionsEnabled = true;
  struct Case {
    std::string activeWindow;
    int32_t width, height;
  };
  const Case cases[] = {{"320X240", 320, 240}, {"320 x 240", 320, 240}, {"640 x 480", 640, 480}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.activeWindow);
    SaveSetting("Reelwright", "Options", "ActiveWindow", c.activeWindow);
    w.lblSelected->Caption("kept");
    int tick = 0;
    std::string caption;
    float barMax = -1;
    LONG width = 0, height = 0;
    std::vector<std::string> states;
    auto buttons = [&] {
      return std::string(w.cmdPauseVidWindow->Enabled() ? "P" : "p") + (w.cmdPlayVideoWindow->Enabled() ? "L" : "l") +
             (w.cmdStopVidWin->Enabled() ? "S" : "s");
    };
    QTimer steer;
    steer.setInterval(0);
    QObject::connect(&steer, &QTimer::timeout, [&] {
      if (!w.ProgressBar1->Visible() || !JoinedPreviewState.videoWindow) return;
      EventArgs none;
      switch (tick++) {
        case 0:
          caption = w.lblSelected->Caption();
          barMax = w.ProgressBar1->Max();
          JoinedPreviewState.videoWindow->get_Width(&width);
          JoinedPreviewState.videoWindow->get_Height(&height);
          w.RaiseEvent("cmdPauseVidWindow_Click", none);
          states.push_back("pause " + buttons() + (PreviewPaused ? " paused" : ""));
          break;
        case 1:
          w.RaiseEvent("cmdPlayVideoWindow_Click", none);
          states.push_back("play " + buttons() + (PreviewResumeRequested ? " resume" : ""));
          break;
        case 2:
          states.push_back(std::string("resumed ") + (PreviewPaused || PreviewResumeRequested ? "no" : "yes"));
          w.RaiseEvent("cmdStopVidWin_Click", none);
          states.push_back("stop " + buttons());
          break;
        default:
          break;
      }
    });
    steer.start();
    EventArgs index{Variant(int16_t{0})};
    w.RaiseEvent("cmdPrev_Click", index);
    steer.stop();
    EXPECT_EQ(caption, "Previewing new video from 2 joined clips. New duration is 4 seconds.");
    EXPECT_EQ(barMax, 4.0f) << "rounded half to even after each addition";
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_EQ(states, (std::vector<std::string>{"pause pLs paused", "play PlS resume", "resumed yes", "stop pLs"}));
    EXPECT_EQ(w.lblSelected->Caption(), "kept");
    EXPECT_FALSE(w.ProgressBar1->Visible());
    EXPECT_FALSE(w.cmdPauseVidWindow->Enabled());
    EXPECT_FALSE(w.cmdStopVidWin->Enabled());
    EXPECT_TRUE(PreviewStopRequested);
    EXPECT_FALSE(JoinedPreviewState.graph) << "released";
    EXPECT_TRUE(w.cmdPrev->Enabled());
  }
  {  // An empty storyboard speaks of one clip and its empty tile's duration.
    w.mnuNew_Click();
    std::string caption;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      // (The bar cannot take a maximum of 0: it stays hidden.)
      if (w.lblSelected->Caption().rfind("Previewing", 0) == 0) caption = w.lblSelected->Caption();
    });
    watch.start();
    w.mnuPreview_Click();
    watch.stop();
    EXPECT_EQ(caption, "Previewing new video from 1 joined clip. New duration is 0 seconds.");
    EXPECT_TRUE(w.cmdPrev->Enabled());
  }
}

// A storyboard file failing while the joined preview plays ends the preview as the stop button
// does: no message, the window free again.
TEST_F(Join, APreviewWhoseSourceFailsMidStreamEndsLikeTheStopButton) {
  frmShow& w = Window();
  const std::string movie = Made(fixtures::Kind::AviMjpegPcm, "movie.avi", 6.0);
  Add(w, movie);
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "ActiveWindow", "320X240");
  w.lblSelected->Caption("kept");
  bool cut = false;
  QTimer saboteur;
  saboteur.setInterval(0);
  QObject::connect(&saboteur, &QTimer::timeout, [&] {
    if (cut || !JoinedPreviewState.videoWindow) return;
    cut = true;
    fs::resize_file(movie, fs::file_size(movie) / 3);
  });
  saboteur.start();
  ScriptScope script;  // no box may show
  EventArgs index{Variant(int16_t{0})};
  w.RaiseEvent("cmdPrev_Click", index);
  saboteur.stop();
  EXPECT_TRUE(cut);
  EXPECT_EQ(JoinedPreviewState.eventCode, EC_ERRORABORT) << "the abort ended the preview";
  EXPECT_FALSE(PreviewStopRequested);
  EXPECT_FALSE(JoinedPreviewState.graph) << "released";
  EXPECT_FALSE(w.Picture2->Visible());
  EXPECT_FALSE(w.ProgressBar1->Visible());
  EXPECT_EQ(w.lblSelected->Caption(), "kept");
  EXPECT_TRUE(w.cmdPrev->Enabled());
  EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  EXPECT_FALSE(w.cmdPauseVidWindow->Enabled());
  EXPECT_FALSE(w.cmdStopVidWin->Enabled());
}

TEST_F(Join, EachCancelControlEndsTheRunAndAnEmptyStoryboardIsSilent) {
  frmShow& w = Window();
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  std::ofstream(program_ / "Lotkiln") << "#!/bin/sh\n";
  fs::permissions(program_ / "Lotkiln", fs::perms::owner_all);
  const std::string target = (out_ / "joined.avi").string();
  {  // The empty storyboard: no box, no file, nothing handed on.
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    PressJoin(w);
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_FALSE(fs::exists(program_ / "lotkiln.lst"));
  }
  Add(w, Made(fixtures::Kind::Bmp, "still.bmp"));
  w.TilePut(0, tile::kDuration, Variant(600.0));
  for (const char* control : {"Image1_Click", "Label2_Click", "lblCancel_Click"}) {
    SCOPED_TRACE(control);
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    QTimer clicker;
    clicker.setInterval(0);
    bool clicked = false;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
      if (!clicked && w.pnlCancel->Visible() && w.lblSelected->Caption() != "") {
        clicked = true;
        EventArgs none;
        w.RaiseEvent(control, none);
      }
    });
    clicker.start();
    PressJoin(w);
    clicker.stop();
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_TRUE(OutFiles().empty());
    EXPECT_FALSE(fs::exists(program_ / "lotkiln.lst"));
    EXPECT_FALSE(w.pnlCancel->Visible());
    EXPECT_TRUE(w.pnlVideoFile->Visible());
    EXPECT_FALSE(w.ctrlProgress->Visible());
    EXPECT_EQ(w.lblSelected->Caption(), "");
  }
}

namespace {

// The MD5 of every decoded video frame, in order (ffmpeg's framemd5 output).
std::vector<std::string> FrameHashes(const std::string& path) {
  std::vector<std::string> out;
  const std::string cmd = "ffmpeg -v error -i '" + path + "' -map 0:v -f framemd5 - 2>/dev/null";
  FILE* f = popen(cmd.c_str(), "r");
  if (!f) return out;
  char line[512];
  while (fgets(line, sizeof line, f)) {
    if (line[0] == '#') continue;
    std::string s(line);
    const auto comma = s.find_last_of(',');
    if (comma != std::string::npos) out.push_back(s.substr(comma + 1));
  }
  pclose(f);
  return out;
}

}  // namespace

TEST_F(Join, TransitionsChangeOnlyTheFramesOfTheirSpans) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "a.avi", 3.0));
  Add(w, Made(fixtures::Kind::AviRgb, "b.avi", 3.0));
  DefaultClipDuration = 2;
  TransitionSeconds = 1;
  TransitionsEnabled = true;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  auto join = [&](const std::string& transition, const std::string& name) {
    for (int16_t i = 0; i < 2; ++i) w.TilePut(i, tile::kTransition, Variant(transition));
    ScriptScope script;
    const std::string target = (out_ / name).string();
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    PressJoin(w);
    EXPECT_TRUE(script->MsgBoxes().empty());
    return FrameHashes(target);
  };
  const auto faded = join("Fade", "faded.avi");
  const auto plain = join("None", "plain.avi");
  ASSERT_EQ(faded.size(), 90u);
  ASSERT_EQ(plain.size(), 90u);
  // Each transition runs over the first second (15 frames) of its clip: frames 0-14 and 45-59.
  for (size_t f = 0; f < 90; ++f) {
    const bool inside = f < 15 || (f >= 45 && f < 60);
    // The last frame of a span may already show the clip whole.
    if (f == 14 || f == 59) continue;
    if (inside) {
      EXPECT_NE(faded[f], plain[f]) << "frame " << f;
    } else {
      EXPECT_EQ(faded[f], plain[f]) << "frame " << f;
    }
  }
}

// The joined movie follows from the storyboard and the options alone: two joins of the same
// storyboard (transitions, sound, longer than the sound runs ahead of the pictures) give the same
// bytes.
TEST_F(Join, TwoJoinsOfOneStoryboardGiveTheSameFile) {
  frmShow& w = Window();
  for (int i = 0; i < 5; ++i) Add(w, Made(fixtures::Kind::AviMjpegPcm, "clip" + std::to_string(i) + ".avi", 3.0));
  for (int16_t i = 0; i < 5; ++i) w.TilePut(i, tile::kTransition, Variant(std::string("Fade")));
  DefaultClipDuration = 3;
  TransitionSeconds = 1;
  TransitionsEnabled = true;
  SaveSetting("Reelwright", "Options", "Compression", "Batch");
  auto join = [&](const std::string& name) {
    ScriptScope script;
    const fs::path target = out_ / name;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    PressJoin(w);
    EXPECT_TRUE(script->MsgBoxes().empty());
    return ReadAll(target);
  };
  const std::string first = join("first.avi");
  const std::string second = join("second.avi");
  ExpectJoinedStreams(fixtures::RunFfprobe((out_ / "first.avi").string()));
  ASSERT_GT(first.size(), size_t{225} * 320 * 240 * 2) << "fifteen seconds of pictures";
  EXPECT_TRUE(first == second) << "the two joins differ";
}

namespace {

// A frame-size object whose size test answers as told and counts its calls.
class SizeTest final : public ComObject<IStreamResize> {
 public:
  bool supported = true;
  int checks = 0;
  HRESULT GetTypeInfoCount(uint32_t*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, uint32_t*) override {
    return E_NOTIMPL;
  }
  HRESULT get_TimelineGroup(IUnknown** p) override {
    *p = nullptr;
    return S_OK;
  }
  HRESULT put_TimelineGroup(IUnknown*) override { return E_NOTIMPL; }
  HRESULT DestroyObjects() override { return S_OK; }
  HRESULT ChangeMediaType(LONG, LONG, LONG, LONG, ErrorValue*) override { return E_NOTIMPL; }
  HRESULT get_SizeCount(LONG* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT QuerySize(int32_t, LONG*, LONG*, Bstr*, ErrorValue*) override { return E_NOTIMPL; }
  HRESULT PromptForGraph(IUnknown*) override { return E_NOTIMPL; }
  HRESULT CheckIfSizeIsSupported(IUnknown* graph, VARIANT_BOOL* result) override {
    ++checks;
    *result = graph && supported ? -1 : 0;
    return S_OK;
  }
  HRESULT About() override { return S_OK; }
};

}  // namespace

// A graph that cannot be built (its engine refuses the timeline, its front end fails, it hands
// out no graph) ends the join as a failure with the first failure's text: no codec dialog, an
// old file at the target kept, no temporary file left, the window free again.
TEST_F(Join, AGraphThatCannotBeBuiltEndsTheJoinAsAFailureAndLeavesNoFile) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi"));
  TransitionsEnabled = false;
  struct Case {
    std::string name, method, failingCall;
    bool oldFile;
  };
  const Case cases[] = {
      {"Batch, the front end fails", "Batch", "ConnectFrontEnd", true},
      {"Batch, the engine refuses the timeline", "Batch", "SetTimelineObject", false},
      {"Batch, no graph handed out", "Batch", "GetFilterGraph", true},
      {"Manual, the front end fails", "Manual", "ConnectFrontEnd", true},
      {"Manual, no graph handed out", "manual", "GetFilterGraph", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SaveSetting("Reelwright", "Options", "Compression", c.method);
    const fs::path target = out_ / "joined.avi";
    fs::remove(target);
    if (c.oldFile) std::ofstream(target) << "the old movie";
    int dialogs = 0;
    frmShow::CodecDialog = [&](frmShow&, IMediaControl*, bool&) {
      ++dialogs;
      return true;
    };
    standin::EngineScript failing;
    failing.failingCall = c.failingCall;
    failing.result = E_OUTOFMEMORY;
    standin::EngineScope engine(failing);
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    if (c.oldFile) script->AnswerMsgBox(vbYes);
    script->AnswerMsgBox(vbOK);
    PressJoin(w);
    EXPECT_EQ(dialogs, 0) << "no codec dialog on a graph that is not there";
    const auto boxes = script->MsgBoxes();
    ASSERT_EQ(boxes.size(), c.oldFile ? 2u : 1u);
    EXPECT_EQ(boxes.back().prompt,
              "The joined movie could not be written.\r\n" + modGeneral::GraphErrorText(E_OUTOFMEMORY));
    ExpectNothingWrittenAndTheWindowFree(w, target,
                                         c.oldFile ? std::optional<std::string>("the old movie") : std::nullopt);
    EXPECT_EQ(w.TileUBound(), 1) << "the storyboard is kept";
  }
}

// The joined preview on an engine whose front end fails or that hands out no graph ends at once
// without a message and frees the window.
TEST_F(Join, APreviewWhoseGraphCannotBeBuiltEndsQuietly) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi"));
  TransitionsEnabled = false;
  for (const std::string call : {"ConnectFrontEnd", "GetFilterGraph", "SetTimelineObject"}) {
    SCOPED_TRACE(call);
    standin::EngineScript failing;
    failing.failingCall = call;
    failing.result = E_OUTOFMEMORY;
    standin::EngineScope engine(failing, CLSID_RenderEngine, "DexterLib.RenderEngine");
    w.lblSelected->Caption("kept");
    ScriptScope script;  // no box may show
    EventArgs index{Variant(int16_t{0})};
    w.RaiseEvent("cmdPrev_Click", index);
    EXPECT_FALSE(JoinedPreviewState.graph);
    EXPECT_FALSE(JoinedPreviewState.engine) << "released";
    EXPECT_FALSE(w.Picture2->Visible());
    EXPECT_FALSE(w.ProgressBar1->Visible());
    EXPECT_EQ(w.lblSelected->Caption(), "kept");
    EXPECT_TRUE(w.cmdPrev->Enabled());
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  }
}

// A main window whose frame-size object could not be made (the frame-size library not
// registered): a "Manual" join with a codec chosen gets the "Unsupported size" box and is
// cancelled; "<<< No Compression >>>" needs no size test and writes the movie.
TEST_F(Join, WithoutTheFrameSizeObjectTheSizeTestFailsAndCancels) {
  const std::string unregister = std::string("'") + REGSVR + "' /u /s '" + SIZEWARDEN_LIBRARY + "'";
  ASSERT_EQ(std::system(unregister.c_str()), 0) << unregister;
  frmShow& w = Window();
  ASSERT_FALSE(w.gobjStreamSize);
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi"));
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Manual");
  for (const bool videoChosen : {true, false}) {
    SCOPED_TRACE(videoChosen ? "a codec chosen" : "no compression");
    const fs::path target = out_ / "joined.avi";
    fs::remove(target);
    frmShow::CodecDialog = [&](frmShow&, IMediaControl*, bool& videoSelected) {
      videoSelected = videoChosen;
      return true;
    };
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target.string()));
    if (videoChosen) script->AnswerMsgBox(vbOK);
    PressJoin(w);
    if (videoChosen) {
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].title, "Unsupported size");
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbInformation);
      EXPECT_TRUE(OutFiles().empty()) << "no side file left";
    } else {
      EXPECT_TRUE(script->MsgBoxes().empty());
      ExpectJoinedStreams(fixtures::RunFfprobe(target.string()));
      EXPECT_EQ(OutFiles(), std::vector<std::string>{"joined.avi"});
    }
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
    EXPECT_EQ(Screen().MousePointer(), vbDefault);
  }
}

TEST_F(Join, TheCodecDialogsChoiceAndTheSizeTests) {
  frmShow& w = Window();
  Add(w, Made(fixtures::Kind::AviMjpegPcm, "movie.avi"));
  TransitionsEnabled = false;
  SaveSetting("Reelwright", "Options", "Compression", "Manual");
  ComPtr<IStreamResize> real = w.gobjStreamSize;
  ComPtr<SizeTest> sizes = MakeComObject<SizeTest>();
  w.gobjStreamSize = ComPtr<IStreamResize>(sizes.Get());
  const std::string unsupported =
      "The selected output size is not supported by the compression codec.\r\n"
      "Please select another size or compression codec.";
  struct Case {
    std::string name;
    bool videoSelected, supported, sizeErrorDuringRun;
    int checks;
    bool written;
  };
  const Case cases[] = {
      {"<<< No Compression >>>: no size test", false, false, false, 0, true},
      {"a codec chosen, size supported", true, true, false, 1, true},
      {"a codec chosen, size refused", true, false, false, 1, false},
      {"a size error reported while the run starts", false, true, true, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = (out_ / "joined.avi").string();
    fs::remove(target);
    sizes->checks = 0;
    sizes->supported = c.supported;
    frmShow::CodecDialog = [&](frmShow& shown, IMediaControl*, bool& videoSelected) {
      videoSelected = c.videoSelected;
      if (c.sizeErrorDuringRun) shown.bStreamSizeErr = true;
      return true;
    };
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    if (!c.written) script->AnswerMsgBox(vbOK);
    PressJoin(w);
    EXPECT_EQ(sizes->checks, c.checks);
    EXPECT_EQ(fs::exists(target), c.written);
    if (!c.written) {
      ASSERT_EQ(script->MsgBoxes().size(), 1u);
      EXPECT_EQ(script->MsgBoxes()[0].prompt, unsupported);
      EXPECT_EQ(script->MsgBoxes()[0].title, "Unsupported size");
      EXPECT_EQ(script->MsgBoxes()[0].buttons, vbInformation);
      EXPECT_EQ(OutFiles(), std::vector<std::string>{});
    }
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
  }
  w.gobjStreamSize = real;
}

TEST_F(Join, HandOffStartsTheProgramsPlacedAtTheirPaths) {
  frmShow& w = Window();
  // A program folder with a blank in its name: the program's path is quoted on the command line.
  const fs::path folder = root_ / "prog dir";
  fs::create_directories(folder / "VirtualDub");
  Keep("SUITE_PROGRAM_FOLDER", folder.string());
  const fs::path encoderDir = root_ / "encoder dir";
  fs::create_directories(encoderDir);
  const fs::path record = root_ / "record";
  auto standIn = [&](const fs::path& p) {
    std::ofstream(p) << "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$SUITE_SHOW_STYLE\" \"$SUITE_COMMAND_TAIL\" \"$#\" >> '"
                     << record.string() << "'\n";
    fs::permissions(p, fs::perms::owner_all);
  };
  standIn(folder / "Crunchbox");
  standIn(folder / "VirtualDub" / "VirtualDub");
  standIn(folder / "Lotkiln");
  standIn(encoderDir / "WMEnc");
  const std::string target = (out_ / "a b.avi").string();
  const std::string ask = "Your file has been saved as an uncompressed AVI file. Do you want to compress it now?";
  struct Case {
    std::string method;
    std::vector<int> answers;
    std::string expected;  // style|tail|argument count
  };
  const std::vector<Case> cases = {
      {"Crunchbox", {vbYes}, "2|" + target + "|4"},  // unquoted: the blanks split it
      {"VirtualDub", {vbYes}, "1|\"" + target + "\"|1"},
      {"WME", {vbYes}, "1||0"},
      {"batch", {vbOK}, "6||0"},
      {"Crunchbox", {vbNo}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    fs::remove(record);
    EncoderInstallDir = encoderDir.string();
    ScriptScope script;
    for (int a : c.answers) script->AnswerMsgBox(a);
    w.CompressorHandOff(c.method, target);
    if (!c.expected.empty()) {
      for (int i = 0; i < 1000 && ReadAll(record).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadAll(record), c.expected.empty() ? "" : c.expected + "\n");
    if (c.method != "batch") {
      ASSERT_FALSE(script->MsgBoxes().empty());
      EXPECT_EQ(script->MsgBoxes()[0].prompt, ask);
    }
    EXPECT_EQ(EncoderInstallDir, encoderDir.string());
  }
}

// The join as the user makes it: the toolbar's Join, method "Manual" (the default) with
// "<<< No Compression >>>" chosen in both lists of the program's own codec dialog, resizing on
// and the PAL size chosen, a storyboard of every movie kind and a picture with a transition each.
// The movie is uncompressed 16-bit video at that size and 15 fps with PCM sound, no box follows.
// With transitions every clip takes at least the default duration and the frames after each
// transition are its own source's, in order; without them every clip runs a second longer, over
// the next one's start.
TEST_F(Join, ManualJoinThroughTheCodecDialogWithNoCompressionOfEveryKindAtTheChosenSize) {
#ifndef KITBROKER_LIBRARY
  GTEST_SKIP() << "the codec-manager control is not built";
#else
  {
    const std::string cmd = std::string("'") + REGSVR + "' /s '" + KITBROKER_LIBRARY + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  SaveSetting("Reelwright", "Init", "ResizeStream", "TRUE");
  frmShow& w = Window();
  ResizeStreamEnabled = true;
  int16_t pal = -1;
  for (int16_t i = 0; i < w.CmbVideoSizes->ListCount(); ++i)
    if (w.CmbVideoSizes->List(i) == "352 x 288 (PAL VCD/DVD)") pal = i;
  ASSERT_GE(pal, 0);
  w.CmbVideoSizes->ListIndex(pal);
  struct Clip {
    fixtures::Kind kind;
    std::string name;
    double seconds;
    int fps;
    std::string transition;
  };
  const Clip clips[] = {
      {fixtures::Kind::AviMjpegPcm, "a.avi", 3.0, 15, "Fade"},
      {fixtures::Kind::Bmp, "b.bmp", 1.0, 15, "Iris"},
      {fixtures::Kind::Mpeg1Ps, "c.mpg", 7.0, 25, "SMPTE Wipe"},
      {fixtures::Kind::Mov, "d.mov", 3.0, 15, "Pixelate"},
  };
  DefaultClipDuration = 2;  // the picture's duration when it is added
  std::vector<std::string> paths;
  for (const auto& c : clips) {
    paths.push_back(Made(c.kind, c.name, c.seconds, c.fps));
    Add(w, paths.back());
    w.TilePut(w.TileUBound() - 1, tile::kTransition, Variant(c.transition));
  }
  ASSERT_EQ(w.TileUBound(), 4);
  DefaultClipDuration = 4;  // raises the 3 s clips and the picture when transitions are on
  TransitionSeconds = 1;
  std::vector<double> durations;
  for (int16_t i = 0; i < 4; ++i) durations.push_back(CDbl(w.TileGet(i, tile::kDuration)));
  EXPECT_EQ(durations[1], 2.0);

  frmShow::CodecDialog = frmShow::ShowCodecDialog;
  const char* const none = "<<< No Compression >>>";
  auto lineOf = [](ListBox& list, const std::string& name) -> int16_t {
    for (int16_t i = 0; i < list.ListCount(); ++i)
      if (list.List(i) == name) return i;
    ADD_FAILURE() << "no line " << name;
    return 0;
  };
  auto dialog = driver::WhenShownModally("frmCodecDialog", [&](Form& f) {
    auto& d = static_cast<frmCodecDialog&>(f);
    driver::ClickListItem(*d.ListVideoCodecs, lineOf(*d.ListVideoCodecs, none));
    driver::ClickListItem(*d.ListAudioCodecs, lineOf(*d.ListAudioCodecs, none));
    driver::Click(*d.CmdOK);
  });
  struct Case {
    std::string name;
    bool transitions;
    double expected;  // seconds
  };
  double withTransitions = 0, plain = 0;
  for (double d : durations) {
    withTransitions += std::max(d, 4.0);
    plain += d;
  }
  const Case cases[] = {
      {"transitions on: the sum of max(Duration, DefaultClipDuration)", true, withTransitions},
      {"transitions off: the sum of the durations plus one second", false, plain + 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TransitionsEnabled = c.transitions;
    const std::string target = (out_ / (c.name.substr(0, c.name.find(':')) + ".avi")).string();
    DefaultForm<frmCodecDialog>().m_bVideoCodecSelected = true;
    const int shown = dialog.Count();
    ScriptScope script;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    PressJoin(w);
    EXPECT_EQ(dialog.Count(), shown + 1);
    EXPECT_FALSE(DefaultForm<frmCodecDialog>().m_bVideoCodecSelected);
    EXPECT_TRUE(script->MsgBoxes().empty()) << script->MsgBoxes().at(0).prompt;
    EXPECT_TRUE(w.cmdWriteAVI->Enabled());
    const fixtures::Probe p = fixtures::RunFfprobe(target);
    ExpectJoinedStreams(p);
    if (HasFatalFailure()) return;
    EXPECT_EQ(p.First("video")->width, 352);
    EXPECT_EQ(p.First("video")->height, 288);
    EXPECT_NEAR(p.duration, c.expected, 1.0 / 15 + 1e-6);
    if (!c.transitions) continue;
    // After each clip's one-second transition, up to the end of the clip's own length, every
    // frame is the source frame at that time (a frame's margin left at both ends).
    const std::vector<int> joined = fixtures::DecodedFrameNumbers(target);
    double start = 0;
    for (size_t i = 0; i < std::size(clips); ++i) {
      SCOPED_TRACE(clips[i].name);
      const std::vector<int> source = fixtures::DecodedFrameNumbers(paths[i]);
      ASSERT_FALSE(source.empty());
      const bool still = source.size() == 1;
      const double span = std::max(durations[i], 4.0);
      const double own = still ? span : std::min(span, static_cast<double>(source.size()) / clips[i].fps);
      const int first = static_cast<int>(std::ceil((start + TransitionSeconds) * 15)) + 1;
      const int last = static_cast<int>(std::floor((start + own) * 15)) - 1;
      ASSERT_LT(first, last);
      for (int k = first; k < last; ++k) {
        ASSERT_LT(static_cast<size_t>(k), joined.size());
        const size_t n = still ? 0 : static_cast<size_t>(std::floor((k / 15.0 - start) * clips[i].fps + 1e-3));
        ASSERT_LT(n, source.size());
        EXPECT_EQ(joined[static_cast<size_t>(k)], source[n]) << "frame " << k;
      }
      start += span;
    }
  }
#endif
}
