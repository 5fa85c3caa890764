// Crunchbox with the IV50 stand-in: start with and without a command tail, opening clips,
// the toolbar's states, compressing movies with and without sound (ffprobe reads mpeg4 tagged
// FMP4, frames in order, sound copied, the stream named), quality changing the output, an
// earlier output replaced only by a complete run (a cancelled run's shorter movie kept only where
// no file had the name), runs that cannot start leaving no file, runs ended by a full disk or from
// outside, refusals of the encode window, the encode and decode options windows, and brightness
// reaching the video window's pixels.
#include <sys/wait.h>

#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "CrunchboxSupport.h"
#include "caption_fit.h"
#include "forms/qt/hwnd_qt.h"
#include "shell/files.h"

namespace fs = std::filesystem;
using fixtures::Kind;
using namespace crunchbox_test;

namespace {

constexpr const char* kNotIv50 =
    "This is not an Crunchbox compressed clip.  You may now encode it to Crunchbox video but decode options are not "
    "available.";
constexpr const char* kStandInName = "Crunchbox Video 5 stand-in (MPEG-4 Part 2)";

struct Bar {
  bool play, pause, stop, decode, compress;
  bool operator==(const Bar&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Bar& t) {
  return o << "play " << t.play << " pause " << t.pause << " stop " << t.stop << " decode " << t.decode
           << " compress " << t.compress;
}
Bar BarNow() {
  frmCrunchbox& m = MainForm();
  return {m.play_video->Enabled(), m.pause_video->Enabled(), m.stop_video->Enabled(),
          m.Crunchbox_Decode_Options->Enabled(), m.Compress_video->Enabled()};
}

bool FileHolds(const std::string& path, const std::string& text) {
  const std::vector<uint8_t> b = fixtures::ReadFile(path);
  return std::search(b.begin(), b.end(), text.begin(), text.end()) != b.end();
}

// The video window's picture inside Picture1 (the clips of these tests are 160 by 120).
QImage VideoPicture() {
  QWidget* box = WidgetFromHwnd(MainForm().Picture1->hWnd());
  if (!box) return {};
  return box->grab(QRect(0, 0, 160, 120)).toImage().convertToFormat(QImage::Format_RGB888);
}

// Its mean brightness.
double VideoMean() {
  const QImage image = VideoPicture();
  if (image.isNull()) return -1;
  double sum = 0;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* row = image.constScanLine(y);
    for (int x = 0; x < image.width() * 3; ++x) sum += row[x];
  }
  return sum / (image.width() * image.height() * 3.0);
}

// The frame number it shows; -1 when it shows none. Its levels are stretched to the full range
// first, so that a brightened picture's blocks read as well.
int VideoFrameNumber() {
  QImage image = VideoPicture();
  if (image.isNull()) return -1;
  const uchar* bits = image.constBits();
  const auto [low, high] = std::minmax_element(bits, bits + image.sizeInBytes());
  const int lo = *low, span = std::max(1, *high - *low);
  for (int y = 0; y < image.height(); ++y) {
    uchar* row = image.scanLine(y);
    for (int x = 0; x < image.width() * 3; ++x) row[x] = static_cast<uchar>((row[x] - lo) * 255 / span);
  }
  return fixtures::ReadFrameNumber(image.constBits(), image.bytesPerLine(), image.width(), image.height());
}

// A compression of the movie to output with the encode window's defaults; returns the probe.
fixtures::Probe Compressed(const std::string& output) {
  const fixtures::Probe probe = fixtures::RunFfprobe(output);
  EXPECT_TRUE(probe.ok) << probe.error;
  return probe;
}

}  // namespace

TEST_F(CrunchboxTest, StartsWithTheWholeTail) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  ScriptScope script;
  Start(movie);
  frmCrunchbox& m = MainForm();
  EXPECT_TRUE(m.IsLoaded());
  EXPECT_EQ(m.Caption(), "Crunchbox video 5 Compression");
  EXPECT_EQ(m.sNewName, movie + "_out.avi") << "the extension stays";
  EXPECT_EQ(m.openfilename->Caption(), movie);
  EXPECT_EQ(m.g_InputFileName, movie);
  EXPECT_EQ(BarNow(), (Bar{true, false, true, false, true})) << "opened, paused on its first frame";
  EXPECT_EQ(m.Label2->Caption(), kNotIv50);
  EXPECT_TRUE(m.Timer1->Enabled()) << "the poll runs from Play on, also while paused";
  EXPECT_EQ(m.Timer1->Interval(), 1);
  EXPECT_FALSE(m.cmdCancel->Visible());
  EXPECT_GE(m.Width(), 9600);
  EXPECT_GE(m.Height(), 7200);
  m.Width(3000);
  EXPECT_EQ(m.Width(), 9600) << "never smaller than its design size";
}

TEST_F(CrunchboxTest, QuotedOrEmptyTails) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  {
    ScriptScope script;
    const std::string quoted = "\"" + movie + "\"";
    Start(quoted);
    EXPECT_EQ(MainForm().sNewName, quoted + "_out.avi");
    EXPECT_EQ(BarNow(), (Bar{false, false, false, false, false})) << "the render failed silently";
    EXPECT_EQ(MainForm().openfilename->Caption(), "");
    EXPECT_EQ(MainForm().Label2->Caption(), "");
    EXPECT_TRUE(MainForm().g_objMC) << "an empty graph manager stays";
    EXPECT_EQ(MainForm().g_InputFileName, quoted);
    MainForm().Unload();
  }
  {
    ScriptScope script;
    MainForm().sNewName.clear();
    Start("");
    EXPECT_EQ(BarNow(), (Bar{false, false, false, false, false}));
    EXPECT_TRUE(MainForm().open_video->Enabled());
    EXPECT_TRUE(MainForm().Command1->Enabled());
    EXPECT_EQ(MainForm().sNewName, "");
  }
}

TEST_F(CrunchboxTest, OpenThroughTheDialogAndTheToolbarStates) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  ScriptScope script;
  Start("");
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(movie));
  driver::Click(*MainForm().open_video);
  ASSERT_EQ(script->Dialogs().size(), 1u);
  EXPECT_EQ(script->Dialogs()[0].filter, "ActiveMovie files (*.mpg;*.avi;*.mov;*.wav)|*.mpg;*.avi;*.mov;*.wav|");
  const std::string stem = movie.substr(0, movie.size() - 4);
  EXPECT_EQ(MainForm().sNewName, stem + "_out.avi");
  EXPECT_EQ(BarNow(), (Bar{true, false, true, false, true}));
  driver::Click(*MainForm().play_video);
  EXPECT_EQ(BarNow(), (Bar{false, true, true, false, true}));
  driver::Click(*MainForm().pause_video);
  EXPECT_EQ(BarNow(), (Bar{true, false, true, false, true}));
  driver::Click(*MainForm().play_video);
  // Played to its end: the poll stops it and shows the first frame again.
  EXPECT_TRUE(RunUntil([] { return !MainForm().Timer1->Enabled(); }));
  EXPECT_EQ(BarNow(), (Bar{true, false, false, false, true}));
  script->AnswerDialog(DialogKind::Open, DialogAnswer::Cancel());
  driver::Click(*MainForm().open_video);
  EXPECT_EQ(MainForm().openfilename->Caption(), movie) << "a cancelled dialog changes nothing";
  EXPECT_EQ(MainForm().sNewName, stem + "_out.avi");
  // Buttons called from code act only while enabled.
  MainForm().pause_video_Click();
  EXPECT_EQ(BarNow(), (Bar{true, false, false, false, true}));
}

TEST_F(CrunchboxTest, ClipsThatAreNoIv50OrNoMovie) {
  struct Case {
    Kind kind;
    bool plays;
  };
  const Case cases[] = {{Kind::AviDiv3, true}, {Kind::Mpeg1Ps, true}, {Kind::TextAsAvi, false}, {Kind::EmptyFile, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind));
    ScriptScope script;
    Start("");
    std::string path = Movie(c.kind);
    MainForm().open_video_worker(path);
    EXPECT_EQ(MainForm().g_InputFileName, path);
    if (c.plays) {
      EXPECT_EQ(MainForm().Label2->Caption(), kNotIv50);
      EXPECT_EQ(BarNow(), (Bar{true, false, true, false, true}));
    } else {
      EXPECT_EQ(MainForm().Label2->Caption(), "");
      EXPECT_EQ(BarNow(), (Bar{false, false, false, false, false}));
    }
    EXPECT_TRUE(script->MsgBoxes().empty());
    MainForm().Unload();
  }
}

// A compression of a Motion JPEG movie with sound and of a silent one: MPEG-4 part 2 tagged FMP4
// at the source's size and frame count, frames in order, the sound copied, the stream named.
TEST_F(CrunchboxTest, CompressesMoviesWithAndWithoutSound) {
  for (bool audio : {true, false}) {
    SCOPED_TRACE(audio ? "with sound" : "silent");
    fixtures::Options o;
    o.audio = audio;
    const std::string movie = Movie(Kind::AviMjpegPcm, o);
    const std::string output = out_ + (audio ? "/sound.avi" : "/silent.avi");
    ScriptScope script;
    Start(movie);
    StartCompression(output);
    EXPECT_FALSE(Encoder().Visible()) << "the encode window hides for the run";
    EXPECT_TRUE(MainForm().cmdCancel->Visible());
    EXPECT_TRUE(MainForm().g_CompressionActive);
    EXPECT_EQ(MainForm().g_CompressFileName, output);
    EXPECT_FALSE(MainForm().g_objMC) << "the preview graph was released";
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_FALSE(MainForm().cmdCancel->Visible());
    EXPECT_EQ(MainForm().EncodedFile, output) << "handed back for the next activation";

    const fixtures::Probe probe = Compressed(output);
    ASSERT_NE(probe.First("video"), nullptr);
    const fixtures::ProbedStream& v = *probe.First("video");
    EXPECT_EQ(v.codecName, "mpeg4");
    EXPECT_EQ(v.codecTag, "FMP4");
    EXPECT_EQ(v.width, o.width);
    EXPECT_EQ(v.height, o.height);
    EXPECT_EQ(v.frames, fixtures::FrameCount(o));
    std::vector<int> expected(static_cast<size_t>(fixtures::FrameCount(o)));
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(fixtures::DecodedFrameNumbers(output), expected);
    if (audio) {
      ASSERT_NE(probe.First("audio"), nullptr);
      EXPECT_EQ(probe.First("audio")->codecName, "pcm_s16le");
    } else {
      EXPECT_EQ(probe.First("audio"), nullptr);
    }
    EXPECT_TRUE(FileHolds(output, kStandInName)) << "the stream carries the stand-in's name";
    EXPECT_FALSE(FileHolds(output, "IV50"));

    // Stop after the compression re-opens the output, which takes the decode options.
    script->AnswerMsgBox(vbOK);
    driver::Click(*MainForm().stop_video);
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "Clip is compressed.  Re-opening it for you to view it.");
    EXPECT_EQ(script->MsgBoxes()[0].title, "Crunchbox");
    EXPECT_EQ(MainForm().openfilename->Caption(), output);
    EXPECT_EQ(MainForm().Label2->Caption(), "");
    EXPECT_TRUE(MainForm().Crunchbox_Decode_Options->Enabled());
    EXPECT_FALSE(MainForm().g_CompressionActive);
    // The compressed clip plays to its end and returns to its first frame.
    driver::Click(*MainForm().play_video);
    EXPECT_TRUE(RunUntil([] { return !MainForm().Timer1->Enabled(); }));
    EXPECT_EQ(BarNow(), (Bar{true, false, false, true, true}));
    MainForm().Unload();
  }
}

TEST_F(CrunchboxTest, QualityAndKeyFramesChangeTheOutput) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  std::vector<uintmax_t> sizes;
  for (int quality : {10, 100}) {
    ScriptScope script;
    Start(movie);
    const std::string output = out_ + "/q" + std::to_string(quality) + ".avi";
    StartCompression(output, [&](FrmCrunchboxEncodeOptions& e) {
      e.Quality->Value(quality);
      EventArgs none;
      e.RaiseEvent("Quality_Scroll", none);
      EXPECT_EQ(e.QLabel->Caption(), "Quality: " + std::to_string(quality) + "%");
    });
    ASSERT_TRUE(WaitForRunEnd());
    sizes.push_back(fs::file_size(output));
    MainForm().Unload();
  }
  EXPECT_GT(sizes[1], sizes[0]) << "a higher quality gives a larger file";
}

// The files of a folder other than the one named, with their sizes.
std::vector<std::pair<std::string, uintmax_t>> OtherFiles(const std::string& folder, const std::string& except) {
  std::vector<std::pair<std::string, uintmax_t>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().string() == except) continue;
    found.emplace_back(entry.path().string(), entry.is_regular_file(ec) ? entry.file_size(ec) : 0);
  }
  return found;
}

// How a run ends, with or without an earlier file at the output's name. The run writes beside
// the output. A complete run replaces the earlier file and hands the output back. A cancelled
// run (the graph is stopped first, so its file is complete though shorter) never replaces an
// earlier file: its movie is discarded and the earlier file stays byte for byte; where no file
// had the name, its shorter movie becomes the output and is handed back. A run cancelled before
// its first frame and one that fails leave the earlier file (or no file) and hand nothing back.
// No run leaves a file of its own behind.
TEST_F(CrunchboxTest, OnlyACompleteRunReplacesAnEarlierFile) {
  enum class End { Complete, CancelledWithFrames, CancelledBeforeAnyFrame, Failed };
  struct Case {
    const char* name;
    End end;
    bool earlierFile;
    bool output;  // whether the run's movie becomes the output
  };
  const Case cases[] = {{"complete over an earlier file", End::Complete, true, true},
                        {"complete, no earlier file", End::Complete, false, true},
                        {"cancelled with frames over an earlier file", End::CancelledWithFrames, true, false},
                        {"cancelled with frames, no earlier file", End::CancelledWithFrames, false, true},
                        {"cancelled before any frame over an earlier file", End::CancelledBeforeAnyFrame, true, false},
                        {"cancelled before any frame, no earlier file", End::CancelledBeforeAnyFrame, false, false},
                        {"failed over an earlier file", End::Failed, true, false},
                        {"failed, no earlier file", End::Failed, false, false}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::Options o;
    Kind kind = Kind::AviMjpegPcm;
    if (c.end == End::CancelledWithFrames) {
      o.seconds = 6;
      o.fps = 10;
    } else if (c.end == End::CancelledBeforeAnyFrame) {
      kind = Kind::AviIv50Tagged;  // its frames never decode, so none reaches the compressor
    } else if (c.end == End::Failed) {
      o.width = 8200;  // wider than MPEG-4 allows: the compressor refuses the first frame
      o.seconds = 0.08;
    }
    const std::string movie = Movie(kind, o);
    const std::string folder = out_ + "/" + std::to_string(n++);
    fs::create_directories(folder);
    const std::string output = folder + "/earlier.avi";
    const std::vector<uint8_t> earlier = {'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'f', 'i', 'l', 'e'};
    if (c.earlierFile) {
      std::ofstream f(output, std::ios::binary);
      f.write(reinterpret_cast<const char*>(earlier.data()), static_cast<std::streamsize>(earlier.size()));
    }
    ScriptScope script;
    Start(movie);
    ASSERT_TRUE(MainForm().Compress_video->Enabled());
    StartCompression(output);
    ASSERT_TRUE(MainForm().cmdCancel->Visible()) << "the run started";
    if (c.earlierFile) {
      EXPECT_EQ(fixtures::ReadFile(output), earlier) << "the output is untouched while the run writes";
    } else {
      EXPECT_FALSE(PathExists(output)) << "the run writes beside the output";
    }
    switch (c.end) {
      case End::Complete:
      case End::Failed:
        ASSERT_TRUE(WaitForRunEnd());
        break;
      case End::CancelledWithFrames:
        ASSERT_TRUE(RunUntil([&] {
          const auto others = OtherFiles(folder, output);
          return others.size() == 1 && others[0].second > 20000;
        })) << "the run writes beside the output";
        driver::Click(*MainForm().cmdCancel);
        break;
      case End::CancelledBeforeAnyFrame:
        EXPECT_EQ(OtherFiles(folder, output).size(), 1u) << "the run began its file";
        driver::Click(*MainForm().cmdCancel);
        break;
    }
    EXPECT_FALSE(Encoder().IsLoaded());
    EXPECT_FALSE(MainForm().cmdCancel->Visible());
    EXPECT_TRUE(OtherFiles(folder, output).empty()) << "the run's own file is gone";
    EXPECT_TRUE(script->MsgBoxes().empty());

    if (!c.output) {
      if (c.earlierFile) {
        EXPECT_EQ(fixtures::ReadFile(output), earlier) << "the earlier file stays as it was";
      } else {
        EXPECT_FALSE(PathExists(output)) << "no output";
      }
      EXPECT_EQ(MainForm().EncodedFile, "") << "nothing is handed back";
      const std::string shown = MainForm().openfilename->Caption();
      EventArgs none;
      MainForm().RaiseEvent("Form_Activate", none);
      EXPECT_EQ(MainForm().openfilename->Caption(), shown) << "the next activation opens nothing new";
    } else {
      EXPECT_EQ(MainForm().EncodedFile, output) << "handed back like a finished one";
      const fixtures::Probe probe = Compressed(output);
      ASSERT_NE(probe.First("video"), nullptr);
      EXPECT_EQ(probe.First("video")->codecName, "mpeg4");
      const std::vector<int> numbers = fixtures::DecodedFrameNumbers(output);
      ASSERT_FALSE(numbers.empty());
      for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], static_cast<int>(i));
      if (c.end == End::Complete) {
        EXPECT_EQ(probe.First("video")->frames, fixtures::FrameCount(o));
      } else {
        EXPECT_LT(probe.First("video")->frames, fixtures::FrameCount(o)) << "shorter";
      }
      EXPECT_EQ(fs::status(output).permissions() & fs::perms::owner_read, fs::perms::owner_read);
      // The next activation of the main window opens it.
      EventArgs none;
      MainForm().RaiseEvent("Form_Activate", none);
      EXPECT_EQ(MainForm().openfilename->Caption(), output);
      EXPECT_EQ(MainForm().EncodedFile, "");
    }
    MainForm().Unload();
  }
}

// A run whose movie finds no room (a file-size limit stands in for a full disk): a box says that
// the movie could not be written and why; the earlier file stays, and nothing else is left.
TEST_F(CrunchboxTest, AFullDiskSaysTheMovieCouldNotBeWrittenAndWhy) {
  fixtures::Options o;
  o.width = 320;
  o.height = 240;
  o.seconds = 4;
  const std::string movie = Movie(Kind::AviMjpegPcm, o);
  const std::string output = out_ + "/full.avi";
  std::ofstream(output) << "an earlier file";
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  Start(movie);
  ASSERT_TRUE(MainForm().Compress_video->Enabled());
  {
    fixtures::FileSizeLimit full(16 * 1024);
    StartCompression(output);
    ASSERT_TRUE(MainForm().cmdCancel->Visible()) << "the run started";
    ASSERT_TRUE(WaitForRunEnd());
  }
  const std::string prefix = "The compressed movie " + output + " could not be written.\r\n";
  ASSERT_EQ(script->MsgBoxes().size(), 1u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, prefix + "There is not enough space on the disk.");
  EXPECT_EQ(script->MsgBoxes()[0].title, kCrunchboxTitle);
  EXPECT_EQ(fixtures::ReadFile(output), (std::vector<uint8_t>{'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ',
                                                               'f', 'i', 'l', 'e'}));
  EXPECT_TRUE(OtherFiles(out_, output).empty()) << "the run's own file is gone";
  EXPECT_EQ(MainForm().EncodedFile, "");
}

// Runs ended from outside. A killed run's file beside the output (named with its process id) is
// removed by the next run there; a termination request during a run (SIGTERM, SIGINT, SIGHUP)
// closes the windows in order: the run is stopped, its file removed, the earlier output kept.
TEST_F(CrunchboxTest, RunsEndedFromOutsideLeaveNothingBehind) {
  fixtures::Options o;
  o.seconds = 30;
  const std::string movie = Movie(Kind::AviMjpegPcm, o);
  const std::string output = out_ + "/ended.avi";
  std::ofstream(output) << "an earlier file";
  const std::vector<uint8_t> earlier = fixtures::ReadFile(output);
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  ASSERT_GT(gone, 0);
  ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
  const std::string killed = out_ + "/.ended.avi.crunching-" + std::to_string(gone) + "-5eed.avi";
  std::ofstream(killed) << "what a killed run left";
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    ScriptScope script;
    Start(movie);
    StartCompression(output);
    ASSERT_TRUE(MainForm().cmdCancel->Visible()) << "the run started";
    ASSERT_TRUE(RunUntil([&] { return !OtherFiles(out_, output).empty() && OtherFiles(out_, output)[0].second > 0; }));
    EXPECT_FALSE(PathExists(killed)) << "removed by the run";
    QTimer::singleShot(0, [sig] { std::raise(sig); });
    RunMessageLoop();  // ends when every window has closed
    EXPECT_FALSE(MainForm().IsLoaded());
    EXPECT_FALSE(Encoder().IsLoaded());
    EXPECT_TRUE(OtherFiles(out_, output).empty()) << "the run's own file is gone";
    EXPECT_EQ(fixtures::ReadFile(output), earlier);
  }
}

// A run that cannot start (the output's folder is missing): the main window returns to its
// empty state instead of offering a Cancel that would wait for nothing, and no file is left.
TEST_F(CrunchboxTest, ARunThatCannotStart) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  const std::string output = out_ + "/missing/out.avi";
  ScriptScope script;
  Start(movie);
  StartCompression(output);
  EXPECT_FALSE(MainForm().cmdCancel->Visible());
  EXPECT_EQ(BarNow(), (Bar{false, false, false, false, false}));
  EXPECT_EQ(MainForm().openfilename->Caption(), "");
  EXPECT_TRUE(Encoder().IsLoaded()) << "hidden and loaded until it unloads";
  EXPECT_FALSE(Encoder().Visible());
  EXPECT_FALSE(FileExists(output));
  Encoder().OK_Click();
  EXPECT_FALSE(Encoder().IsLoaded());
  EXPECT_FALSE(FileExists(output));
}

// Sources the compression graph cannot be built for (a QuickTime movie, an MPEG program stream):
// after the build's two boxes, Encode is a run that cannot start. There is no file writer to
// name, so the run takes the same road: no runtime error box, the main window back in its empty
// state, and no file in the output's folder, neither then nor after the program ends.
TEST_F(CrunchboxTest, EncodeOfASourceTheGraphCannotBeBuiltFor) {
  for (Kind kind : {Kind::Mov, Kind::Mpeg1Ps}) {
    SCOPED_TRACE(fixtures::Name(kind));
    const std::string movie = Movie(kind);
    const std::string folder = out_ + "/" + fixtures::Name(kind);
    fs::create_directories(folder);
    const std::string output = folder + "/out.avi";
    ScriptScope script;
    Start(movie);
    ASSERT_TRUE(MainForm().Compress_video->Enabled()) << "the movie opened";
    script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
    StartCompression(output);
    ASSERT_EQ(script->MsgBoxes().size(), 2u) << "only the build's boxes";
    for (const auto& box : script->MsgBoxes()) EXPECT_EQ(box.prompt, "Could not create the compression filter graph.");
    EXPECT_FALSE(MainForm().cmdCancel->Visible());
    EXPECT_EQ(BarNow(), (Bar{false, false, false, false, false}));
    EXPECT_EQ(MainForm().openfilename->Caption(), "");
    EXPECT_TRUE(Encoder().IsLoaded()) << "hidden and loaded until it unloads";
    EXPECT_FALSE(Encoder().Visible());
    EXPECT_TRUE(OtherFiles(folder, "").empty()) << "no file in the output's folder";
    MainForm().Unload();  // the program ends
    DoEvents();
    EXPECT_FALSE(Encoder().IsLoaded());
    EXPECT_TRUE(OtherFiles(folder, "").empty()) << "nor after the program ends";
    EXPECT_EQ(MainForm().EncodedFile, "") << "nothing is handed back";
  }
}

TEST_F(CrunchboxTest, EncodeRefusesAnEmptyNameAndTheMovieItself) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  const std::string link = out_ + "/link.avi";
  fs::remove(link);
  fs::create_symlink(movie, link);
  const auto before = fixtures::ReadFile(movie);
  ScriptScope script;
  Start(movie);
  script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
  auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
    auto& e = static_cast<FrmCrunchboxEncodeOptions&>(f);
    WaitActive(f);
    e.OutFile->Text("");
    driver::Click(*e.Encode);
    e.OutFile->Text(movie);
    driver::Click(*e.Encode);
    e.OutFile->Text(link);
    driver::Click(*e.Encode);
    EXPECT_TRUE(e.Visible()) << "the window stays open";
    driver::Click(*e.OK);
  });
  driver::Click(*MainForm().Compress_video);
  ASSERT_EQ(script->MsgBoxes().size(), 3u);
  EXPECT_EQ(script->MsgBoxes()[0].prompt, "Please enter an output filename.");
  EXPECT_EQ(script->MsgBoxes()[1].prompt, "Please choose an output file other than the movie being compressed.");
  EXPECT_EQ(script->MsgBoxes()[2].prompt, script->MsgBoxes()[1].prompt) << "a link to it is the same file";
  EXPECT_FALSE(MainForm().g_CompressionActive);
  EXPECT_EQ(fixtures::ReadFile(movie), before);
  // Closed without encoding: the name is handed back and opened at the main window's activation.
  MainForm().SetFocus();
  WaitActive(MainForm());
  EXPECT_EQ(MainForm().EncodedFile, "");
  EXPECT_EQ(MainForm().openfilename->Caption(), link);
}

TEST_F(CrunchboxTest, TheEncodeWindowsControls) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  ScriptScope script;
  Start(movie);
  auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
    auto& e = static_cast<FrmCrunchboxEncodeOptions&>(f);
    WaitActive(f);
    EXPECT_EQ(e.Caption(), "Crunchbox Encode options");
    EXPECT_EQ(e.OutFile->Text(), movie + "_out.avi");
    EXPECT_EQ(e.KeyFrameRate->Text(), "15");
    EXPECT_EQ(e.DataRate->Text(), "1000");
    EXPECT_EQ(e.Quality->Value(), 75);
    EXPECT_EQ(e.QLabel->Caption(), "Quality: 75%");
    EXPECT_FALSE(e.QuickCompress->Enabled()) << "the quick-compress files are not shipped";
    EXPECT_EQ(e.Transparency->ListCount(), 3) << "filled once, though initialised twice";
    EXPECT_EQ(e.ViewportSize->ListCount(), 4);
    EXPECT_EQ(e.Transparency->List(1), "First Frame Analysis");
    EXPECT_EQ(e.AccessKey->Text(), "0");
    EXPECT_FALSE(e.AccessKey->Enabled());
    EXPECT_EQ(e.AccessKey->BackColor(), 0xC0C0C0u);
    ASSERT_TRUE(e.g_CrunchboxEncodeOA);
    // Code-set values raise their handlers, which write into the options.
    e.ViewportSize->ListIndex(2);
    int32_t v = 0;
    e.g_CrunchboxEncodeOA->get_ViewportSize1(&v);
    EXPECT_EQ(v, 128);
    e.Transparency->ListIndex(2);
    int16_t t = 0;
    e.g_CrunchboxEncodeOA->get_Transparency(&t);
    EXPECT_EQ(t, 3);
    e.AKEnabled->Value(vbChecked);
    EXPECT_TRUE(e.AccessKey->Enabled());
    EXPECT_EQ(e.AccessKey->BackColor(), 0xFFFFFFu);
    e.KeyFrameRate->Text("30");
    e.g_CrunchboxEncodeOA->get_KeyFrameRate(&v);
    EXPECT_EQ(v, 30);
    e.KeyFrameRate->Text("99999999999");  // beyond 32 bits
    EXPECT_EQ(e.KeyFrameRate->Text(), "30") << "the box keeps its last valid text";
    e.g_CrunchboxEncodeOA->get_KeyFrameRate(&v);
    EXPECT_EQ(v, 30);
    e.DREnable->Value(vbChecked);
    EXPECT_FALSE(e.Quality->Enabled());
    EXPECT_FALSE(e.QLabel->Enabled());
    EXPECT_TRUE(e.DataRate->Enabled());
    // The browse dialog names a new output.
    script->AnswerDialog(DialogKind::Open, DialogAnswer::Ok(out_ + "/new.avi"));
    driver::Click(*e.BrowseBTN);
    EXPECT_EQ(e.OutFile->Text(), out_ + "/new.avi");
    driver::Click(*e.OK);
  });
  driver::Click(*MainForm().Compress_video);
  ASSERT_EQ(script->Dialogs().size(), 1u);
  EXPECT_EQ(script->Dialogs()[0].filter, "AVI files (*.avi)|*.avi|All Files (*.*)|*.*");
  EXPECT_EQ(script->Dialogs()[0].filterIndex, 1);
  EXPECT_EQ(script->Dialogs()[0].flags, cdlOFNHideReadOnly);
  // The name is handed back; the file does not exist, so the next activation's open fails
  // silently and leaves an empty preview.
  MainForm().SetFocus();
  WaitActive(MainForm());
  EXPECT_EQ(MainForm().EncodedFile, "");
  EXPECT_EQ(MainForm().g_InputFileName, out_ + "/new.avi");
  EXPECT_EQ(MainForm().Label2->Caption(), "");
  EXPECT_TRUE(MainForm().g_objMC) << "an empty graph manager";
}

// Stop and Pause while the preview graph is released for a compression skip the graph calls.
TEST_F(CrunchboxTest, StopAndPauseWithTheGraphReleased) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  ScriptScope script;
  Start(movie);
  driver::Click(*MainForm().play_video);
  MainForm().g_objMC = nullptr;
  driver::Click(*MainForm().pause_video);
  EXPECT_EQ(BarNow(), (Bar{true, false, true, false, true}));
  driver::Click(*MainForm().stop_video);
  EXPECT_EQ(BarNow(), (Bar{true, false, false, false, true}));
  EXPECT_FALSE(MainForm().Timer1->Enabled());
  driver::Click(*MainForm().play_video);  // Play opens the clip again
  EXPECT_TRUE(MainForm().g_objMC);
  EXPECT_EQ(MainForm().openfilename->Caption(), movie);
}

// "Quick Compress" is offered only when both quick-compress files are in the system folder; it
// then excludes the access key and greys the transparency list.
TEST_F(CrunchboxTest, QuickCompressNeedsBothFiles) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  const std::string system = out_ + "/system";
  fs::remove_all(system);  // nothing left from an earlier run
  fs::create_directories(system);
  ::setenv("SUITE_SYSTEM_FOLDER", system.c_str(), 1);
  for (bool both : {false, true}) {
    SCOPED_TRACE(both ? "both files" : "one file");
    std::ofstream(system + "/ir50_qc.dll") << "x";
    if (both) std::ofstream(system + "/ir50_qcx.dll") << "x";
    ScriptScope script;
    Start(movie);
    auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
      auto& e = static_cast<FrmCrunchboxEncodeOptions&>(f);
      WaitActive(f);
      EXPECT_EQ(e.QuickCompress->Enabled(), both);
      if (both) {
        e.AKEnabled->Value(vbChecked);
        e.QuickCompress->Value(vbChecked);
        int32_t v = -1;
        e.g_CrunchboxEncodeOA->get_QuickCompress(&v);
        EXPECT_EQ(v, 1);
        e.g_CrunchboxEncodeOA->get_AccessKeyEnabled(&v);
        EXPECT_EQ(v, 0) << "quick compress switches the access key off";
        EXPECT_FALSE(e.AKEnabled->Enabled());
        EXPECT_FALSE(e.Transparency->Enabled());
        EXPECT_EQ(e.AccessKey->BackColor(), 0xC0C0C0u);
      }
      driver::Click(*e.OK);
    });
    driver::Click(*MainForm().Compress_video);
    MainForm().Unload();
  }
  ::unsetenv("SUITE_SYSTEM_FOLDER");
}

TEST_F(CrunchboxTest, MoviesThatAreNoAviGetTheBuildsBox) {
  const std::string movie = Movie(Kind::Mpeg1Ps);
  ScriptScope script;
  Start(movie);
  script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
  auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
    WaitActive(f);
    driver::Click(*static_cast<FrmCrunchboxEncodeOptions&>(f).OK);
  });
  driver::Click(*MainForm().Compress_video);
  ASSERT_EQ(script->MsgBoxes().size(), 2u) << "once per build: before the showing and at its activation";
  for (const auto& box : script->MsgBoxes()) {
    EXPECT_EQ(box.prompt, "Could not create the compression filter graph.");
    EXPECT_EQ(box.buttons, vbOKOnly);
  }
}

// Re-opened, a compressed clip takes the decode options, and brightness +100 brightens its
// first frame in the video window, where the paused clip stands.
TEST_F(CrunchboxTest, DecodeOptionsBrightenTheFirstFrame) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  const std::string output = out_ + "/bright.avi";
  ScriptScope script;
  Start(movie);
  StartCompression(output);
  ASSERT_TRUE(WaitForRunEnd());
  MainForm().Unload();
  Start(output);
  ASSERT_TRUE(MainForm().Crunchbox_Decode_Options->Enabled());
  EXPECT_EQ(MainForm().Label2->Caption(), "");
  // Opened, the clip stands paused at its first frame (its sound waiting for the run).
  ASSERT_TRUE(RunUntil([] { return VideoFrameNumber() == 0; })) << "the paused clip shows its first frame";
  const double plain = VideoMean();
  auto watch = driver::WhenShownModally("FrmCrunchboxDecodeOptions", [&](Form& f) {
    auto& d = static_cast<FrmCrunchboxDecodeOptions&>(f);
    EXPECT_EQ(d.Caption(), "Crunchbox Decode Options");
    EXPECT_EQ(d.Brightness->Value(), 255);
    EXPECT_EQ(d.BSet->Caption(), "50%");
    EXPECT_EQ(d.Scalability->ListCount(), 4);
    EXPECT_EQ(d.Left() + d.Width(), Screen().Width()) << "at the screen's right edge";
    d.Brightness->Value(355);
    EventArgs none;
    d.RaiseEvent("Brightness_Scroll", none);
    EXPECT_EQ(d.BSet->Caption(), "69%");
    driver::Click(*d.Set);
  });
  driver::Click(*MainForm().Crunchbox_Decode_Options);
  EXPECT_TRUE(Decoder().bok);
  EXPECT_FALSE(Decoder().g_CrunchboxDecodeOA) << "Apply lets go of the options";
  // Back at the first frame, paused, which now shows brighter.
  EXPECT_EQ(BarNow(), (Bar{true, false, false, true, true}));
  double brighter = -1;
  EXPECT_TRUE(RunUntil([&] {
    brighter = VideoMean();
    return brighter > plain + 10;
  })) << "plain " << plain << ", with brightness +100 " << brighter;
  EXPECT_EQ(VideoFrameNumber(), 0) << "still the first frame";
  // Played through, it stays brighter.
  driver::Click(*MainForm().play_video);
  EXPECT_TRUE(RunUntil([] { return !MainForm().Timer1->Enabled(); }));
  EXPECT_TRUE(RunUntil([] { return VideoFrameNumber() == 0; })) << "the end returns to the first frame";
  EXPECT_GT(VideoMean(), plain + 10);
}

TEST(CrunchboxDecodeWindow, Percentages) {
  const std::pair<int32_t, const char*> cases[] = {{0, "0%"}, {255, "50%"}, {510, "100%"}, {5, "0%"}, {6, "1%"}};
  for (const auto& [value, shown] : cases) EXPECT_EQ(FrmCrunchboxDecodeOptions::Percentage(value), shown) << value;
}

// The windows as they load: no caption needs more room than its control has.
TEST_F(CrunchboxTest, EveryWindowsCaptionsFitTheirControls) {
  const std::string movie = Movie(Kind::AviMjpegPcm);
  ScriptScope script;
  Start(movie);
  EXPECT_EQ(fit::CutCaptions(MainForm()), std::vector<std::string>{}) << "frmCrunchbox";
  auto watch = driver::WhenShownModally("FrmCrunchboxEncodeOptions", [&](Form& f) {
    EXPECT_EQ(fit::CutCaptions(f), std::vector<std::string>{}) << "FrmCrunchboxEncodeOptions";
    f.Unload();
  });
  driver::Click(*MainForm().Compress_video);
  EXPECT_EQ(watch.Count(), 1);
  Decoder().Load();
  EXPECT_EQ(fit::CutCaptions(Decoder()), std::vector<std::string>{}) << "FrmCrunchboxDecodeOptions";
  Decoder().Unload();
}
