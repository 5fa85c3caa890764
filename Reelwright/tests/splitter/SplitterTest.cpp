// The splitter window: the ruler by dispatch identifier, opening (frame range, bad files), the
// marker geometry, typed frames, frame steps (frame-exact pictures), proposed names, saving end to
// end (ffprobe), the refusals of a save, the trimmed preview and closing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "PrivateRegistry.h"
#include "RenderStandIns.h"
#include "SplitterTestSupport.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime_convert.h"
#include "fixtures.h"
#include "com/com.h"
#include "com/olecontrol.h"
#include "forms/activex.h"
#include "forms/app.h"
#include "forms/end_requests.h"
#include "forms/responder.h"
#include "forms/usercontrol.h"
#include "registry/settings.h"
#include "scripted_responder.h"
#include "shell/files.h"
#include "splitter/WzTick.h"
#include "splitter/frmSplitter.h"
#include "window_driver.h"

namespace fs = std::filesystem;
using fixtures::Kind;

namespace {

Variant Call(IDispatch* d, DISPID id, WORD flags, std::vector<Variant> args = {}) {
  std::vector<Variant> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                    static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  Variant result;
  EXPECT_EQ(d->Invoke(id, GUID_NULL, 0, flags, &params, &result, nullptr, nullptr), S_OK) << std::hex << id;
  return result;
}

// The frame number drawn in a BMP file (24-bit, bottom-up); -1 when unreadable.
int FrameInBitmap(const std::string& path) {
  std::vector<uint8_t> b = fixtures::ReadFile(path);
  if (b.size() < 54) return -1;
  auto u32 = [&](size_t at) { return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24); };
  const int w = u32(18), h = u32(22), offset = u32(10);
  const std::ptrdiff_t stride = (w * 3 + 3) / 4 * 4;
  if (w <= 0 || h <= 0 || b.size() < static_cast<size_t>(offset + stride * h)) return -1;
  return fixtures::ReadFrameNumber(b.data() + offset + stride * (h - 1), -stride, w, h);
}

using fixtures::FileSizeLimit;

class Splitter : public PrivateRegistry {
 protected:
  void SetUp() override {
    PrivateRegistry::SetUp();
    SetMsgBoxHandler([](const MsgBoxRequest& r) { return CurrentResponder()->MessageBox(r); });
    RegisterWzTick();
    scratch_ = fixtures::ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (const auto& e : fs::directory_iterator(scratch_))  // pieces of an earlier run
      if (e.path().filename() != "media") fs::remove_all(e.path());
    tmp_ = scratch_ + "/tmp";
    fs::create_directories(tmp_);
    setenv("TMPDIR", tmp_.c_str(), 1);
    SetLoadedFileNameHolder(&loaded_);
    f_ = std::make_unique<frmSplitter>();
  }
  void TearDown() override {
    SelectionUnsaved = false;
    if (f_->IsLoaded()) f_->Unload();
    f_.reset();
    SetLoadedFileNameHolder(nullptr);
    unsetenv("TMPDIR");
    PrivateRegistry::TearDown();
  }
  std::string Movie(Kind kind, double seconds = 4, int fps = 25, int fpsDen = 1) {
    fixtures::Options o;
    o.seconds = seconds;
    o.fps = fps;
    o.fpsDen = fpsDen;
    return fixtures::Make(kind, scratch_ + "/media", o);
  }
  void Open(const std::string& path) {
    f_->Load();
    std::string p = path;
    f_->OpenFile(p);
  }
  int Bitmap() { return FrameInBitmap(f_->sTempDirectory + "bitmap.bmp"); }
  UserControl& RulerSurface() {
    auto* host = dynamic_cast<ActiveXHost*>(f_->FindControl("WzTick1"));
    EXPECT_NE(host, nullptr);
    auto* uc = dynamic_cast<UserControl*>(host->Object().Get());
    EXPECT_NE(uc, nullptr);
    return *uc;
  }
  void TypeStart(const std::string& t) {
    f_->txtStart->Text(t);
    f_->cmdSelStart_Click();
  }
  void TypeEnd(const std::string& t) {
    f_->txtEnd->Text(t);
    f_->cmdSetStop_Click();
  }
  std::string scratch_, tmp_, loaded_;
  std::unique_ptr<frmSplitter> f_;
};

// ---- The ruler ------------------------------------------------------------------------------

TEST_F(Splitter, RulerTicksByDispatchIdentifier) {
  f_->Load();
  f_->Show();
  IDispatch* ruler = f_->Ruler();
  ASSERT_NE(ruler, nullptr);
  Call(ruler, wztick::kExtVisible, DISPATCH_PROPERTYPUT, {Variant(true)});
  Call(ruler, wztick::kExtWidth, DISPATCH_PROPERTYPUT, {Variant(9000.0f)});
  EXPECT_FLOAT_EQ(CSng(Call(ruler, wztick::kExtWidth, DISPATCH_PROPERTYGET)), 9000.0f);
  struct Case {
    int32_t asked, kept, space;
    std::vector<std::pair<int16_t, std::string>> tips;  // tick, the frame its tool tip names
    int32_t tick1Left;
  };
  const Case cases[] = {
      {100, 100, 90, {{0, "1"}, {1, "2"}, {100, "101"}}, 30},
      {1000, 120, 75, {{0, "1"}, {1, "16"}, {119, "960"}, {120, "968"}}, 15},
      // 9000 / 75 = 120 exactly; 9000 ÷ 60 would keep 150 ticks: 150 fit, 151 do not.
      {150, 150, 60, {{149, "150"}}, 0},
      {151, 120, 75, {{0, "1"}, {1, "2"}}, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    int32_t count = c.asked;
    Call(ruler, wztick::kCreateTicks, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &count)});
    EXPECT_EQ(count, c.kept);
    EXPECT_EQ(CLng(Call(ruler, wztick::kTickSpace, DISPATCH_PROPERTYGET)), c.space);
    UserControl& uc = RulerSurface();
    EXPECT_EQ(uc.ElementIndexes("Line1").back(), c.kept);
    for (const auto& [tick, frame] : c.tips)
      EXPECT_EQ(uc.FindControl("Line1", tick)->ToolTipText(),
                "Frame (" + frame + ") - Left click to set start, right to set end");
    EXPECT_EQ(uc.FindControl("Line1", 1)->Left(), c.tick1Left);
    EXPECT_EQ(uc.FindControl("Line1", c.kept)->Left() + 60, c.kept * c.space);
  }
  // Count 0: tick 0 alone, TickSpace kept.
  int32_t zero = 0;
  Call(ruler, wztick::kCreateTicks, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &zero)});
  EXPECT_EQ(CLng(Call(ruler, wztick::kTickSpace, DISPATCH_PROPERTYGET)), 75);
  EXPECT_EQ(RulerSurface().ElementIndexes("Line1").size(), 1u);
  // A resize of a built ruler keeps its ticks and tool tips and moves tick 0 to the left edge.
  int32_t hundred = 100;
  Call(ruler, wztick::kCreateTicks, DISPATCH_METHOD, {Variant::ByRef(VT_I4, &hundred)});
  Call(ruler, wztick::kExtWidth, DISPATCH_PROPERTYPUT, {Variant(6000.0f)});
  Call(ruler, wztick::kResizeTicks, DISPATCH_METHOD);
  EXPECT_EQ(CLng(Call(ruler, wztick::kTickSpace, DISPATCH_PROPERTYGET)), 60);
  EXPECT_EQ(RulerSurface().FindControl("Line1", 0)->Left(), 0);
  EXPECT_EQ(RulerSurface().FindControl("Line1", 100)->Left(), 5940);
  EXPECT_EQ(RulerSurface().FindControl("Line1", 100)->ToolTipText(),
            "Frame (101) - Left click to set start, right to set end");
}

// ---- Frame pictures ----------------------------------------------------------------------

// The frame pictures keep the movie's aspect: the detector writes the largest picture of that
// aspect that fits inside picPreview, which shows it centred on its black back colour; the start
// and end pictures take what picPreview shows. 4:3, 16:9 and a portrait movie.
TEST_F(Splitter, FramePicturesKeepTheMoviesAspect) {
  struct Case {
    int width, height;
  } cases[] = {{320, 240}, {320, 180}, {120, 160}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    fixtures::Options o;
    o.width = c.width;
    o.height = c.height;
    o.seconds = 1;
    const std::string movie = fixtures::Make(Kind::AviMjpegPcm, scratch_ + "/media", o);
    ScriptScope script;
    Open(movie);
    ASSERT_TRUE(f_->bFileLoaded);
    // Mark a start and an end: picPreview shows the end frame, which the end picture takes.
    TypeStart("5");
    TypeEnd("10");
    ASSERT_EQ(f_->lStartFrame, 5);
    ASSERT_EQ(f_->lEndFrame, 10);
    // The inside of picPreview, in pixels.
    const int insideW = static_cast<int>(f_->picPreview->ScaleWidth() / 15);
    const int insideH = static_cast<int>(f_->picPreview->ScaleHeight() / 15);
    ASSERT_GT(insideW, 100);
    ASSERT_GT(insideH, 100);
    // The picture file's size (24-bit BMP header).
    const std::vector<uint8_t> b = fixtures::ReadFile(f_->sTempDirectory + "bitmap.bmp");
    ASSERT_GE(b.size(), 54u);
    auto u32 = [&](size_t at) { return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24); };
    const int w = u32(18), h = std::abs(u32(22)), offset = u32(10);
    EXPECT_TRUE(w == insideW || h == insideH) << w << "x" << h << " in " << insideW << "x" << insideH;
    EXPECT_LE(w, insideW);
    EXPECT_LE(h, insideH);
    EXPECT_NEAR(static_cast<double>(w) * c.height / c.width, h, 1.0) << w << "x" << h;
    // Centred on black: the bands are the back colour, the middle is the picture's middle.
    const int left = (insideW - w) / 2, top = (insideH - h) / 2;
    auto shown = [&](int x, int y) { return f_->picPreview->Point(static_cast<float>(x * 15), static_cast<float>(y * 15)); };
    auto filePixel = [&](int x, int y) {
      const size_t stride = (static_cast<size_t>(w) * 3 + 3) / 4 * 4;
      const uint8_t* p = b.data() + offset + stride * static_cast<size_t>(h - 1 - y) + static_cast<size_t>(x) * 3;
      return static_cast<OLE_COLOR>(p[2] | p[1] << 8 | p[0] << 16);
    };
    if (top > 1) {
      EXPECT_EQ(shown(insideW / 2, 0), 0u) << "the band above";
      EXPECT_EQ(shown(insideW / 2, insideH - 1), 0u) << "the band below";
    }
    if (left > 1) {
      EXPECT_EQ(shown(0, insideH / 2), 0u) << "the band at the left";
      EXPECT_EQ(shown(insideW - 1, insideH / 2), 0u) << "the band at the right";
    }
    for (auto [x, y] : {std::pair{w / 2, h / 2}, std::pair{1, 1}, std::pair{w - 2, h - 2}})
      EXPECT_EQ(shown(left + x, top + y), filePixel(x, y)) << x << "," << y;
    // The start and end pictures are what picPreview shows, at its inside's size.
    for (Picture p : {f_->imgPreviewStart->GetPicture(), f_->imgPreviewStop->GetPicture()}) {
      EXPECT_EQ(p.PixelWidth(), insideW);
      EXPECT_EQ(p.PixelHeight(), insideH);
    }
    SelectionUnsaved = false;  // no save question on the way to the next movie
    EXPECT_TRUE(f_->Unload());
    EXPECT_TRUE(script->MsgBoxes().empty());
  }
}

// AutoRedraw: False by default and then not stored; True is stored under "AutoRedraw" and read
// back by a new instance from the same bag.
TEST_F(Splitter, RulerAutoRedrawIsItsOnePersistentProperty) {
  f_->Load();
  IDispatch* ruler = f_->Ruler();
  ASSERT_NE(ruler, nullptr);
  auto* host = dynamic_cast<ActiveXHost*>(f_->FindControl("WzTick1"));
  ASSERT_NE(host, nullptr);
  EXPECT_FALSE(CBool(Call(ruler, wztick::kAutoRedraw, DISPATCH_PROPERTYGET)));
  EXPECT_TRUE(host->SaveProperties().empty());
  Call(ruler, wztick::kAutoRedraw, DISPATCH_PROPERTYPUT, {Variant(true)});
  EXPECT_TRUE(CBool(Call(ruler, wztick::kAutoRedraw, DISPATCH_PROPERTYGET)));
  const PropertyList saved = host->SaveProperties();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].first, "AutoRedraw");
  EXPECT_TRUE(CBool(saved[0].second));
  ComPtr<IUnknown> other;
  ASSERT_EQ(CoCreateInstance(wztick::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, other.put_void()), S_OK);
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(other->QueryInterface(IPersistPropertyBag::iid, persist.put_void()), S_OK);
  ComPtr<IPropertyBag> bag = CreateMemoryPropertyBag(saved);
  ASSERT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
  ComPtr<IDispatch> d;
  ASSERT_EQ(other->QueryInterface(IID_IDispatch, d.put_void()), S_OK);
  EXPECT_TRUE(CBool(Call(d.Get(), wztick::kAutoRedraw, DISPATCH_PROPERTYGET)));
}

TEST_F(Splitter, RulerClicksSetStartWithTheLeftButtonAndEndWithAnyOther) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  ASSERT_TRUE(f_->bFileLoaded);
  UserControl& uc = RulerSurface();
  Control& tick = *uc.FindControl("Line1", 20);
  // TickClick's X is the tick's Left, read on the bar unchanged.
  const int32_t W = f_->PositionBar->Width();
  const int32_t expected = CLng(Variant(static_cast<double>(tick.Left()) / W * 100));
  auto release = [](Control& t, int16_t button) {
    t.Raise("MouseUp", {Variant(button), Variant(int16_t{0}), Variant(1.0f), Variant(1.0f)});
  };
  release(tick, 1);
  EXPECT_EQ(f_->lblStartFrameValue->Caption(), std::to_string(expected));
  EXPECT_EQ(f_->lblStopFrameValue->Caption(), "100");
  Control& later = *uc.FindControl("Line1", 60);
  const int32_t end = CLng(Variant(static_cast<double>(later.Left()) / W * 100));
  release(later, 2);
  EXPECT_EQ(f_->lblStopFrameValue->Caption(), std::to_string(end));
  EXPECT_EQ(f_->lEndFrame, end);
  // The middle button moves the end too.
  Control& mid = *uc.FindControl("Line1", 40);
  release(mid, 4);
  EXPECT_EQ(f_->lEndFrame, CLng(Variant(static_cast<double>(mid.Left()) / W * 100)));
  EXPECT_EQ(f_->lStartFrame, expected);
}

// ---- Opening --------------------------------------------------------------------------------

// The frame range of an opened movie. A still picture has a length x rate of 0: an empty range
// without steps. With the sound stream first, the video stream is the second.
TEST_F(Splitter, OpeningSetsTheFrameRange) {
  struct Case {
    Kind kind;
    double seconds;
    int fps, den;
    int32_t count, large, small;
    std::string fpsText;  // empty: not looked at
    std::string streams, videoStream;
    bool audio;
  };
  const Case cases[] = {
      {Kind::AviMjpegPcm, 10, 25, 1, 250, 25, 2, "25.", "2", "1", true},
      {Kind::AviDx50, 4, 25, 1, 100, 10, 1, "25.", "2", "1", true},
      {Kind::AviMjpegPcm, 2, 30000, 1001, 60, 6, 1, "29.97", "2", "1", true},
      {Kind::AviAudioFirst, 4, 25, 1, 100, 10, 1, "25.", "2", "2", true},
      // MPEG program streams (their last pictures may come without a presentation time).
      {Kind::Mpeg1Ps, 8, 25, 1, 200, 20, 2, "25.", "2", "1", true},
      {Kind::Mpeg2Ps, 8, 25, 1, 200, 20, 2, "25.", "2", "1", true},
      {Kind::Bmp, 4, 25, 1, 0, 0, 0, "", "1", "1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind) + " " + std::to_string(c.count));
    ScriptScope script;
    const std::string path = Movie(c.kind, c.seconds, c.fps, c.den);
    Open(path);
    EXPECT_EQ(Err().Number, 0);
    EXPECT_TRUE(f_->bFileLoaded);
    EXPECT_EQ(f_->bHasAudio, c.audio);
    EXPECT_EQ(f_->lFrameCount, c.count);
    EXPECT_EQ(f_->ctrlSlider->Min(), 0);
    EXPECT_EQ(f_->ctrlSlider->Max(), c.count);
    EXPECT_EQ(f_->ctrlSlider->LargeChange(), c.large);
    EXPECT_EQ(f_->ctrlSlider->SmallChange(), c.small);
    if (!c.fpsText.empty()) {
      EXPECT_EQ(f_->lblFPSValue->Caption(), c.fpsText);
    }
    EXPECT_EQ(f_->lblFrameCount->Caption(), std::to_string(c.count));
    EXPECT_EQ(f_->lblStreamsValue->Caption(), c.streams);
    EXPECT_EQ(f_->lblVideoStreamValue->Caption(), c.videoStream);
    EXPECT_EQ(f_->lStartFrame, 0);
    EXPECT_EQ(f_->lEndFrame, c.count);
    EXPECT_EQ(f_->ctrlSlider->SelStart(), 0);
    EXPECT_EQ(f_->ctrlSlider->SelLength(), c.count);
    EXPECT_EQ(f_->lblReadFileName->Caption(), path);
    EXPECT_EQ(f_->lblWriteFileName->Caption(), path.substr(0, path.size() - 4) + "_temp.avi");
    EXPECT_TRUE(f_->mnuSave->Enabled());
    const std::string filter = f_->SetFilter();
    EXPECT_EQ(std::count(filter.begin(), filter.end(), '|'), 9);
    EXPECT_EQ(filter.rfind("|Crunchbox Video (*.ivf)|*.ivf|Lumenhall files (*.wza;*.wzm)|*.wza;*.wzm"), filter.size() - 72);
    SelectionUnsaved = false;
    f_->Unload();
  }
  // Counts between two whole numbers go to the nearer, halves to the even one.
  const std::pair<double, int32_t> counts[] = {{500.2, 1000}, {500.25, 1000}, {500.75, 1002}, {0, 0}};
  for (const auto& [seconds, count] : counts) EXPECT_EQ(frmSplitter::FrameCount(seconds, 2.0), count) << seconds;
}

// The first `size` bytes of a movie, written as a file of its own.
std::string CutCopy(const std::string& movie, size_t size, const std::string& path) {
  std::vector<uint8_t> bytes = fixtures::ReadFile(movie);
  bytes.resize(std::min(bytes.size(), size));
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

// Where an AVI file's "movi" list (its movie data) begins; the headers lie before it.
size_t MovieDataOffset(const std::string& movie) {
  const std::vector<uint8_t> bytes = fixtures::ReadFile(movie);
  const size_t at = std::string(bytes.begin(), bytes.end()).find("movi");
  EXPECT_NE(at, std::string::npos);
  return at == std::string::npos ? 0 : at;
}

// Files that hold no picture the detector can give: the no-video message and error 5 for the
// caller; the movie opened before is no longer loaded, so that nothing of it can be marked,
// previewed or saved (under the failed file's name), and closing asks nothing. The rest of the
// state stays. A movie cut short in its movie data is the shorter movie it holds (as the
// storyboard's tile, the detector and the join read it): it opens with those frames, and they can
// be saved.
TEST_F(Splitter, FilesWithoutVideoAreRefusedAndLeaveNoMovieLoaded) {
  ScriptScope script;
  const std::string good = Movie(Kind::AviMjpegPcm);
  const std::string media = scratch_ + "/media";
  struct Case {
    std::string name;
    std::string path;
  };
  const Case cases[] = {
      {"empty", fixtures::Make(Kind::EmptyFile, media)},
      {"text", fixtures::Make(Kind::TextAsAvi, media)},
      {"sound only (wave)", fixtures::Make(Kind::Wav, media)},
      {"sound only (mp3)", fixtures::Make(Kind::Mp3, media)},
      {"damaged index", fixtures::Make(Kind::AviDamagedIndex, media)},
      {"cut inside its headers", CutCopy(good, MovieDataOffset(good) / 2, media + "/cut-headers.avi")},
      {"cut before its first frame", CutCopy(good, MovieDataOffset(good) + 12, media + "/cut-first.avi")},
  };
  Open(good);
  ASSERT_TRUE(f_->bFileLoaded);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!f_->bFileLoaded) {
      std::string again = good;
      f_->OpenFile(again);
      ASSERT_TRUE(f_->bFileLoaded);
    }
    TypeStart("10");
    ASSERT_TRUE(SelectionUnsaved);
    script->AnswerMsgBox(vbOK);
    std::string p = c.path;
    f_->OpenFile(p);
    EXPECT_EQ(Err().Number, 5);
    Err().Clear();
    ASSERT_FALSE(script->MsgBoxes().empty());
    EXPECT_EQ(script->MsgBoxes().back().prompt, "The Selected File does not contain an editable video stream.");
    EXPECT_EQ(script->MsgBoxes().back().buttons, vbOKOnly | vbExclamation);
    EXPECT_FALSE(f_->bFileLoaded);
    EXPECT_FALSE(SelectionUnsaved);
    EXPECT_EQ(f_->sSourceFile, good);
    EXPECT_EQ(f_->lblReadFileName->Caption(), good);
    EXPECT_EQ(f_->lFrameCount, 100);
    EXPECT_EQ(f_->lStartFrame, 10);
    // No save: neither the menu nor the toolbar offers it, and the road itself asks nothing.
    EXPECT_FALSE(f_->mnuSave->Enabled());
    EXPECT_FALSE(f_->Toolbar1->ButtonsOf().Item("SaveAs").Enabled());
    EXPECT_FALSE(f_->Toolbar1->ButtonsOf().Item("PreviewTrimmed").Enabled());
    const size_t dialogs = script->Dialogs().size(), boxes = script->MsgBoxes().size();
    f_->mnuSave_Click();
    EXPECT_EQ(script->Dialogs().size(), dialogs);
    // No preview, no marks, no steps.
    f_->PlayTrimmedPreview();
    EXPECT_FALSE(f_->bPreviewRunning);
    EXPECT_EQ(f_->cmdPlay->Caption(), "Start");
    TypeStart("20");
    f_->cmdStartUp_Click();
    f_->cmdEndDown_Click();
    EXPECT_EQ(f_->lStartFrame, 10);
    EXPECT_EQ(f_->lEndFrame, 100);
    EXPECT_FALSE(SelectionUnsaved);
    EXPECT_EQ(script->MsgBoxes().size(), boxes);
    EXPECT_TRUE(loaded_.empty());
    // The caller unloads the window: no question about saving.
    EXPECT_TRUE(f_->Unload());
    EXPECT_EQ(script->MsgBoxes().size(), boxes);
    f_->Load();
  }
  // A movie cut short in its data opens with the frames it holds, and saving all of them gives
  // exactly those frames.
  std::string cut = fixtures::Make(Kind::TruncatedAvi, media);
  const std::vector<int> held = fixtures::DecodedFrameNumbers(cut);
  ASSERT_GE(held.size(), 5u);
  f_->OpenFile(cut);
  EXPECT_EQ(Err().Number, 0);
  EXPECT_EQ(f_->sSourceFile, cut);
  EXPECT_NEAR(f_->lFrameCount, static_cast<int32_t>(held.size()), 1);
  EXPECT_EQ(f_->lEndFrame, f_->lFrameCount);
  TypeEnd(std::to_string(held.size()));
  const std::string target = scratch_ + "/salvaged.avi";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
  f_->mnuSave_Click();
  EXPECT_EQ(loaded_, target);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target), held);
  // A fresh window refuses too and stays without a movie.
  SelectionUnsaved = false;
  if (f_->IsLoaded()) f_->Unload();
  f_ = std::make_unique<frmSplitter>();
  script->AnswerMsgBox(vbOK);
  Open(cases[1].path);
  EXPECT_EQ(Err().Number, 5);
  EXPECT_FALSE(f_->bFileLoaded);
}

TEST_F(Splitter, AStillPictureOpensWithNoFramesAndCannotBeSaved) {
  ScriptScope script;
  Open(fixtures::Make(Kind::Bmp, scratch_ + "/media"));
  EXPECT_EQ(Err().Number, 0);
  EXPECT_TRUE(f_->bFileLoaded);
  EXPECT_EQ(f_->lFrameCount, 0);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(scratch_ + "/still.avi")).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "Error creating file.  Verify that the start/stop times are valid before continuing.");
  EXPECT_FALSE(fs::exists(scratch_ + "/still.avi"));
  EXPECT_TRUE(loaded_.empty());
}

// ---- Marks ----------------------------------------------------------------------------------

TEST_F(Splitter, MarkerPositionsAndFrames) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  f_->PositionBar->Width(9000);
  struct Case {
    int32_t max;
    float x;
    int32_t frame;
    float snapped;
  };
  const Case cases[] = {
      {1000, 4505, 501, 4438.86f},     // 500.56 rounds up; 8860 / 1000 × 501
      {1000, 4504.5f, 500, 4430},      // exactly 500.5: the even 500
      {1000, 0, 0, 0},
      {100000, 4500, 50000, 4430},     // beyond 16 bits
      {100000, 8999, 99989, 8859.03f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x);
    f_->ctrlSlider->Max(c.max);
    float x = c.x;
    f_->SetLength(x);
    EXPECT_EQ(f_->ctrlSlider->Value(), c.frame);
    EXPECT_EQ(f_->lblStartFrameValue->Caption(), std::to_string(c.frame));
    EXPECT_EQ(f_->lStartFrame, c.frame);
    EXPECT_NEAR(x, c.snapped, 0.01);
    EXPECT_NEAR(f_->imgSplitter->Left(), c.snapped, 15);  // placed on the screen's pixels
  }
  // The end marker at the far right lands at W - 140 on the last frame.
  f_->ctrlSlider->Max(1000);
  float right = 9000;
  f_->SetLength2(right);
  EXPECT_FLOAT_EQ(right, 8860);
  EXPECT_NEAR(f_->imgSplitter2->Left(), 8860, 15);
  EXPECT_EQ(f_->lEndFrame, 1000);
}

TEST_F(Splitter, DraggingAMarkerStopsOneTickBeforeTheOtherAndDropsIntoSetStart) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  const float space = CSng(Call(f_->Ruler(), wztick::kTickSpace, DISPATCH_PROPERTYGET));
  ASSERT_GT(space, 0);
  const Variant left(int16_t{1}), none(int16_t{0});
  f_->imgSplitter->Raise("MouseDown", {left, none, Variant(0.0f), Variant(0.0f)});
  EXPECT_TRUE(f_->bDragStart);
  EXPECT_EQ(f_->picSplitter->Width(), f_->imgSplitter->Width() / 2);
  f_->imgSplitter->Raise("MouseMove", {left, none, Variant(100000.0f), Variant(0.0f)});
  EXPECT_NEAR(f_->picSplitter->Left(), f_->imgSplitter2->Left() - space, 15);
  f_->imgSplitter->Raise("MouseMove", {left, none, Variant(1500.0f), Variant(0.0f)});
  EXPECT_NEAR(f_->picSplitter->Left(), 1500, 15);
  f_->imgSplitter->Raise("MouseUp", {left, none, Variant(1500.0f), Variant(0.0f)});
  EXPECT_FALSE(f_->bDragStart);
  const int32_t frame = CLng(Variant(static_cast<double>(f_->picSplitter->Left()) / f_->PositionBar->Width() * 100));
  EXPECT_EQ(f_->lStartFrame, frame);
  EXPECT_EQ(f_->lblStartFrameValue->Caption(), std::to_string(frame));
  EXPECT_TRUE(SelectionUnsaved);
  EXPECT_EQ(f_->ctrlSlider->SelStart(), frame);
  EXPECT_EQ(f_->ctrlSlider->SelLength(), 100 - frame);
  EXPECT_EQ(f_->Command2->ToolTipText(), "Set the End Frame to frame number " + std::to_string(frame) + ".");
}

TEST_F(Splitter, DraggingTheEndMarkerStopsOneTickAfterTheStartAndDropsIntoSetEnd) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  const float space = CSng(Call(f_->Ruler(), wztick::kTickSpace, DISPATCH_PROPERTYGET));
  ASSERT_GT(space, 0);
  const Variant left(int16_t{1}), none(int16_t{0});
  f_->imgSplitter2->Raise("MouseDown", {left, none, Variant(0.0f), Variant(0.0f)});
  EXPECT_TRUE(f_->bDragEnd);
  EXPECT_FALSE(f_->imgSplitter2->Visible());
  EXPECT_TRUE(f_->picSplitter2->Visible());
  EXPECT_EQ(f_->picSplitter2->Width(), f_->imgSplitter2->Width() / 2);
  f_->imgSplitter2->Raise("MouseMove", {left, none, Variant(-100000.0f), Variant(0.0f)});
  EXPECT_NEAR(f_->picSplitter2->Left(), f_->imgSplitter->Left() + space, 15);
  const float to = 6000.0f - static_cast<float>(f_->imgSplitter2->Left());
  f_->imgSplitter2->Raise("MouseMove", {left, none, Variant(to), Variant(0.0f)});
  EXPECT_NEAR(f_->picSplitter2->Left(), 6000, 15);
  f_->imgSplitter2->Raise("MouseUp", {left, none, Variant(to), Variant(0.0f)});
  EXPECT_FALSE(f_->bDragEnd);
  EXPECT_TRUE(f_->imgSplitter2->Visible());
  EXPECT_FALSE(f_->picSplitter2->Visible());
  const int32_t frame = CLng(Variant(static_cast<double>(f_->picSplitter2->Left()) / f_->PositionBar->Width() * 100));
  EXPECT_EQ(f_->lEndFrame, frame);
  EXPECT_EQ(f_->lblStopFrameValue->Caption(), std::to_string(frame));
  EXPECT_EQ(f_->txtEnd->Text(), std::to_string(frame));
  EXPECT_TRUE(SelectionUnsaved);
  EXPECT_EQ(f_->ctrlSlider->SelStart(), 0);
  EXPECT_EQ(f_->ctrlSlider->SelLength(), frame);
  EXPECT_EQ(Bitmap(), frame);
}

// A real drag with the mouse: the start marker pressed and released over the middle of the bar.
TEST_F(Splitter, DraggingTheStartMarkerWithTheMouse) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  f_->Show();
  TypeEnd("100");
  driver::DragOnto(*f_->imgSplitter, *f_->PositionBar);
  EXPECT_FALSE(f_->bDragStart);
  EXPECT_FALSE(f_->picSplitter->Visible());
  EXPECT_TRUE(f_->imgSplitter->Visible());
  EXPECT_NEAR(f_->lStartFrame, 50, 2);
  EXPECT_EQ(f_->lblStartFrameValue->Caption(), std::to_string(f_->lStartFrame));
  EXPECT_EQ(f_->ctrlSlider->SelStart(), f_->lStartFrame);
  EXPECT_EQ(f_->lEndFrame, 100);
  SelectionUnsaved = false;
}

TEST_F(Splitter, TypedFrames) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  TypeEnd("50");
  ASSERT_EQ(f_->lEndFrame, 50);
  struct Case {
    bool start;
    std::string text;
    std::string message;  // empty: accepted
    int32_t frame;
  };
  const Case cases[] = {
      {true, "abc", "Please enter a number.", 0},
      {true, "-1", "Please enter a number between 0 and 100.", 0},
      {true, "1e12", "Please enter a number between 0 and 100.", 0},
      {true, "101", "Please enter a number between 0 and 100.", 0},
      {true, "51", "The starting frame number must be lower than the ending frame number.", 0},
      {true, "12.5", "", 12},
      {true, "13.5", "", 14},
      {true, "12,5", "", 12},
      {true, "50", "", 50},
      {false, "49", "The ending frame number must be higher than the starting frame number.", 50},
      {false, "x1", "Please enter a number.", 50},
      {false, "100", "", 100},
      {true, "20", "", 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (!c.message.empty()) script->AnswerMsgBox(vbOK);
    const size_t before = script->MsgBoxes().size();
    if (c.start) TypeStart(c.text);
    else TypeEnd(c.text);
    if (c.message.empty()) {
      EXPECT_EQ(script->MsgBoxes().size(), before);
    } else {
      ASSERT_EQ(script->MsgBoxes().size(), before + 1);
      EXPECT_EQ(script->MsgBoxes().back().prompt, c.message);
      EXPECT_EQ(script->MsgBoxes().back().buttons, vbOKOnly);
    }
    EXPECT_EQ(c.start ? f_->lStartFrame : f_->lEndFrame, c.frame);
  }
  EXPECT_EQ(f_->ctrlSlider->SelStart(), 20);
  EXPECT_EQ(f_->ctrlSlider->SelLength(), 80);
  // Enter in the box runs the button.
  f_->txtStart->Text("30");
  int16_t key = 13;
  f_->txtStart->Raise("KeyPress", {Variant::ByRef(VT_I2, &key)});
  EXPECT_EQ(f_->lStartFrame, 30);
}

TEST_F(Splitter, StepsKeepTheirBoundsAndSetNoUnsavedSelection) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm));
  SelectionUnsaved = false;
  f_->cmdStartDown_Click();
  EXPECT_EQ(f_->lStartFrame, 0);
  f_->cmdStartUp_Click();
  EXPECT_EQ(f_->lStartFrame, 1);
  EXPECT_EQ(f_->txtStart->Text(), "1");
  f_->cmdEndUp_Click();
  EXPECT_EQ(f_->lEndFrame, 100);
  f_->cmdEndDown_Click();
  EXPECT_EQ(f_->lEndFrame, 99);
  EXPECT_EQ(f_->lblStopTimeValue->Caption(), "3.96");
  EXPECT_FALSE(SelectionUnsaved);
  EXPECT_FALSE(f_->bAutoButton);
  EXPECT_TRUE(f_->tmrTimer->Enabled());
  // A step while another runs does nothing.
  f_->bAutoButton = true;
  f_->cmdEndDown_Click();
  EXPECT_EQ(f_->lEndFrame, 99);
  f_->bAutoButton = false;
}

TEST_F(Splitter, EndStepsWriteConsecutiveFramePictures) {
  struct Case {
    Kind kind;
    int fps, den;
  };
  const Case cases[] = {{Kind::AviDx50, 25, 1}, {Kind::AviMjpegPcm, 30000, 1001}};
  for (const Case& c : cases) {
    SCOPED_TRACE(fixtures::Name(c.kind) + " " + std::to_string(c.fps));
    ScriptScope script;
    Open(Movie(c.kind, 2, c.fps, c.den));
    TypeEnd("30");
    ASSERT_EQ(f_->lEndFrame, 30);
    EXPECT_EQ(Bitmap(), 30);
    for (int n = 31; n <= 40; ++n) {
      f_->cmdEndUp_Click();
      EXPECT_EQ(f_->lEndFrame, n);
      EXPECT_EQ(Bitmap(), n) << "step to " << n;
    }
    SelectionUnsaved = false;
    f_->Unload();
  }
}

// ---- Saving ---------------------------------------------------------------------------------

TEST_F(Splitter, ProposedNamesCountAcrossOpenings) {
  ScriptScope script;
  const std::string movie = Movie(Kind::AviMjpegPcm);
  const std::string stem = movie.substr(0, movie.size() - 4);
  for (int n = 0; n < 2; ++n) {
    Open(movie);
    TypeStart("25");
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(scratch_ + "/piece" + std::to_string(n) + ".avi"));
    f_->mnuSave_Click();
    EXPECT_EQ(script->Dialogs().back().fileName, stem + "_" + std::to_string(n) + ".avi");
    EXPECT_FALSE(f_->IsLoaded());
    EXPECT_EQ(loaded_, scratch_ + "/piece" + std::to_string(n) + ".avi");
  }
  EXPECT_EQ(f_->lSaveCounter, 2);
  // Cancelling the dialog keeps the window and the counter.
  Open(movie);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Cancel());
  f_->mnuSave_Click();
  EXPECT_TRUE(f_->IsLoaded());
  EXPECT_EQ(f_->lSaveCounter, 2);
  EXPECT_EQ(script->Dialogs().back().fileName, stem + "_2.avi");
}

TEST_F(Splitter, SavedPiecesHoldExactlyTheMarkedFrames) {
  struct Case {
    Kind kind;
    int fps, den;
  };
  for (const Case& c : {Case{Kind::AviMjpegPcm, 25, 1}, Case{Kind::AviDx50, 25, 1}, Case{Kind::AviDx50, 30000, 1001}}) {
    const Kind k = c.kind;
    SCOPED_TRACE(fixtures::Name(k) + " " + std::to_string(c.fps));
    ScriptScope script;
    loaded_.clear();
    Open(Movie(k, 4, c.fps, c.den));
    TypeEnd("75");
    TypeStart("25");
    const std::string target = scratch_ + "/" + fixtures::Name(k) + std::to_string(c.fps) + "_piece.avi";
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    f_->mnuSave_Click();
    ASSERT_EQ(loaded_, target);
    EXPECT_FALSE(SelectionUnsaved);
    const std::vector<int> frames = fixtures::DecodedFrameNumbers(target);
    std::vector<int> expected;
    for (int n = 25; n < 75; ++n) expected.push_back(n);
    EXPECT_EQ(frames, expected);
    fixtures::Probe probe = fixtures::RunFfprobe(target);
    ASSERT_TRUE(probe.ok) << probe.error;
    ASSERT_NE(probe.First("video"), nullptr);
    EXPECT_EQ(probe.First("video")->frames, 50);
    ASSERT_NE(probe.First("audio"), nullptr);
    // The sound over the same times: 50 frames' worth, to the sample.
    const double seconds = 50.0 * c.den / c.fps;
    EXPECT_NEAR(AudioSamples(target, probe.First("audio")->sampleRate), seconds * probe.First("audio")->sampleRate, 1.0);
    for (const auto& e : fs::directory_iterator(scratch_))
      EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
  }
}

// A piece's name as long as the folder takes: its side file still fits beside it, and the piece
// gets exactly the name asked for.
TEST_F(Splitter, PiecesSaveUnderTheLongestNames) {
  for (const size_t length : {250u, 255u}) {
    SCOPED_TRACE(length);
    ScriptScope script;
    loaded_.clear();
    Open(Movie(Kind::AviMjpegPcm, 2));
    TypeEnd("30");
    TypeStart("10");
    const std::string name = std::string(length - 4, 'p') + ".avi";
    const std::string target = scratch_ + "/" + name;
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    f_->mnuSave_Click();
    EXPECT_TRUE(script->MsgBoxes().empty()) << (script->MsgBoxes().empty() ? "" : script->MsgBoxes()[0].prompt);
    ASSERT_EQ(loaded_, target);
    EXPECT_EQ(fixtures::DecodedFrameNumbers(target).size(), 20u);
    for (const auto& e : fs::directory_iterator(scratch_))
      EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
    fs::remove(target);
    SelectionUnsaved = false;
  }
}

// Another user holds every fixed name of the private temp folder: the frame pictures go into a
// folder of the user's own all the same. Where no temp folder can be had at all, no frame picture
// is written anywhere (never "/bitmap.bmp", nothing in the current folder).
TEST_F(Splitter, FramePicturesStayInAFolderOfTheUsersOwnWhenOthersHoldTheTempNames) {
  const std::string movie = Movie(Kind::AviMjpegPcm, 2);
  const std::string current = scratch_ + "/current";
  fs::create_directories(current);
  const fs::path before = fs::current_path();
  fs::current_path(current);
  for (const bool noFolder : {false, true}) {
    SCOPED_TRACE(noFolder ? "no temp folder at all" : "every fixed name taken");
    const bool rootHadOne = fs::exists("/bitmap.bmp");
    {
      fixtures::TempNamesTaken taken(noFolder);
      ScriptScope script;
      f_ = std::make_unique<frmSplitter>();
      Open(movie);
      EXPECT_TRUE(f_->bFileLoaded);
      if (noFolder) {
        EXPECT_EQ(f_->sTempDirectory, "");
      } else {
        const std::string folder = f_->sTempDirectory;
        EXPECT_EQ(folder.rfind(taken.Tmpdir() + "/", 0), 0u) << folder;
        struct stat st;
        ASSERT_EQ(::lstat(folder.substr(0, folder.size() - 1).c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, ::geteuid());
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        EXPECT_GE(Bitmap(), 0) << "the frame picture is there";
      }
      for (const MsgBoxRequest& box : script->MsgBoxes()) ADD_FAILURE() << box.prompt;
      SelectionUnsaved = false;
      EXPECT_TRUE(f_->Unload());
    }
    EXPECT_TRUE(fs::is_empty(current)) << "nothing in the current folder";
    EXPECT_EQ(fs::exists("/bitmap.bmp"), rootHadOne) << "nothing in /";
  }
  fs::current_path(before);
}

// A folder others may write: a link planted at the piece's side-file name (the name a save of
// this process used before) is never followed, and a side file a killed save left is removed.
TEST_F(Splitter, SavingAPieceNeverWritesThroughALinkAtItsSideFileName) {
  ScriptScope script;
  loaded_.clear();
  const std::string folder = scratch_ + "/shared";
  fs::remove_all(folder);
  fs::create_directories(folder);
  ::chmod(folder.c_str(), 01777);
  const std::string precious = scratch_ + "/precious.txt";
  std::ofstream(precious) << "keep me";
  const std::string planted = folder + "/.piece.avi." + std::to_string(::getpid()) + ".part.avi";
  fs::create_symlink(precious, planted);
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string killed = folder + "/.piece.avi." + std::to_string(child) + "-5e.part.avi";
  std::ofstream(killed) << "half a piece";
  Open(Movie(Kind::AviMjpegPcm, 4));
  TypeEnd("30");
  TypeStart("10");
  const std::string target = folder + "/piece.avi";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
  f_->mnuSave_Click();
  ASSERT_EQ(loaded_, target);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target).size(), 20u);
  const std::vector<uint8_t> kept = fixtures::ReadFile(precious);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
  EXPECT_TRUE(fs::is_symlink(planted));
  EXPECT_FALSE(fs::exists(killed)) << "a killed save's side file stayed";
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{fs::path(planted).filename().string(), "piece.avi"}));
  SelectionUnsaved = false;
}

TEST_F(Splitter, SavesThatCannotGoAheadHandNothingBack) {
  ScriptScope script;
  const std::string movie = Movie(Kind::AviMjpegPcm);
  Open(movie);
  TypeStart("10");
  // The opened movie as its own target.
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(movie)).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "The movie being split cannot be replaced by a piece of itself.\r\nPlease use another name.");
  EXPECT_EQ(fixtures::DecodedFrameNumbers(movie).size(), 100u);
  // An existing target answered No stays as it was; answered Yes but read-only folder: refused.
  const std::string old = scratch_ + "/old.avi";
  std::ofstream(old) << "old";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(old)).AnswerMsgBox(vbNo);
  f_->mnuSave_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt, "A file named " + old + " already exists.\r\nDo you want to replace it?");
  EXPECT_EQ(fixtures::ReadFile(old).size(), 3u);
  const std::string locked = scratch_ + "/locked";
  fs::create_directories(locked);
  std::ofstream(locked + "/old.avi") << "old";
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(locked + "/old.avi")).AnswerMsgBox(vbYes).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "There was a sharing error trying to delete the old file.\r\nPlease use another name or manually "
            "delete the old file and refresh Explorer.");
  fs::permissions(locked, fs::perms::owner_all);
  EXPECT_EQ(fixtures::ReadFile(locked + "/old.avi").size(), 3u);
  // A slider whose selection differs from the marks (a negative length was refused).
  f_->cmdEndDown_Click();  // 99
  TypeEnd("99");
  f_->ctrlSlider->SelLength(5);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(scratch_ + "/stale.avi")).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "Error creating file.  Verify that the start/stop times are valid before continuing.");
  EXPECT_FALSE(fs::exists(scratch_ + "/stale.avi"));
  EXPECT_TRUE(loaded_.empty());
  EXPECT_TRUE(f_->IsLoaded());
}

TEST_F(Splitter, ARenderThatFailsLeavesNoFileAndSaysWhy) {
  ScriptScope script;
  const std::string movie = scratch_ + "/source.avi";
  fs::copy_file(Movie(Kind::AviMjpegPcm), movie);
  Open(movie);
  TypeStart("10");
  // A folder that went away after it was chosen (a folder that cannot be written).
  const std::string gone = scratch_ + "/gone-folder";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(gone + "/piece.avi")).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  ASSERT_FALSE(script->MsgBoxes().empty());
  EXPECT_EQ(script->MsgBoxes().back().prompt.rfind("The piece could not be saved as " + gone + "/piece.avi.", 0), 0u)
      << script->MsgBoxes().back().prompt;
  EXPECT_FALSE(fs::exists(gone));
  // The source deleted meanwhile.
  fs::remove(movie);
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(scratch_ + "/gone.avi")).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  EXPECT_FALSE(fs::exists(scratch_ + "/gone.avi"));
  EXPECT_TRUE(loaded_.empty());
  EXPECT_TRUE(f_->IsLoaded());
  for (const auto& e : fs::directory_iterator(scratch_))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

// A target where no file can be made beside it is refused before anything is rendered, with the
// system's text for the cause, as the join names it: a folder without write permission (which
// counts as read-only for root as well), an immutable folder, a name longer than the folder takes,
// a folder that is gone. Nothing is handed back and nothing is left in the folder.
TEST_F(Splitter, ATargetThatCannotTakeThePieceNamesTheCause) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 2));
  TypeStart("10");
  struct Case {
    std::string name;
    std::string folder;  // below the scratch folder
    std::string file;
    std::string cause;
  };
  const Case cases[] = {
      {"a read-only folder", "read-only", "piece.avi", "Access is denied."},
      {"an immutable folder", "immutable", "piece.avi", "Access is denied."},
      {"a name too long itself", "longer", std::string(300, 'n') + ".avi", "The file name or extension is too long."},
      {"a folder that is gone", "gone", "piece.avi", "The path cannot be found."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = fs::path(scratch_) / c.folder;
    const std::string target = (folder / c.file).string();
    if (c.folder != "gone") fs::create_directories(folder);
    if (c.folder == "read-only") fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec |
                                                            fs::perms::group_read | fs::perms::group_exec |
                                                            fs::perms::others_read | fs::perms::others_exec);
    struct Unlock {
      std::string folder;
      ~Unlock() { fixtures::SetImmutable(folder, false); }
    } unlock{folder.string()};
    if (c.folder == "immutable" && !fixtures::SetImmutable(folder.string(), true)) {
      std::printf("skipped: %s (the file system has no immutable flag)\n", c.name.c_str());
      continue;
    }
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbOK);
    const size_t boxes = script->MsgBoxes().size();
    f_->mnuSave_Click();
    ASSERT_EQ(script->MsgBoxes().size(), boxes + 1);
    EXPECT_EQ(script->MsgBoxes().back().prompt, "The piece could not be saved as " + target + ".\r\n" + c.cause);
    EXPECT_EQ(script->MsgBoxes().back().buttons, vbOKOnly | vbExclamation);
    EXPECT_TRUE(loaded_.empty());
    EXPECT_TRUE(f_->IsLoaded());
    EXPECT_EQ(f_->lStartFrame, 10);
    if (fs::exists(folder)) {
      fixtures::SetImmutable(folder.string(), false);
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
      EXPECT_TRUE(fs::is_empty(folder)) << "nothing left in the folder";
    }
  }
}

// A platform call inside the render that fails: error 287 is forgotten and the render goes on
// with the next statement; error 5 and an invalid argument give the error-5 text; any other
// failure the message naming the target. Only a complete piece is handed back.
TEST_F(Splitter, FailingCallsInsideTheRenderFollowTheirRoads) {
  ScriptScope script;
  const std::string movie = Movie(Kind::AviMjpegPcm, 2);
  const std::string kError5 = "Error creating file.  Verify that the start/stop times are valid before continuing.";
  struct Case {
    const char* name;
    standin::EngineScript engine;
    std::string prompt;  // the message's beginning; empty: none, the piece is handed back
  };
  auto fault = [](const char* call, HRESULT hr, bool afterWork) {
    standin::EngineScript s;
    s.failingCall = call;
    s.result = hr;
    s.afterWork = afterWork;
    return s;
  };
  const std::string target = scratch_ + "/piece.avi";
  const Case cases[] = {
      {"error 5", fault("ConnectFrontEnd", HResultFromErrorNumber(5), false), kError5},
      {"invalid argument", fault("GetFilterGraph", E_INVALIDARG, false), kError5},
      {"another error", fault("ConnectFrontEnd", E_FAIL, false), "The piece could not be saved as " + target + "."},
      // The engine without its timeline: the next call fails as such a call does.
      {"error 287, then another", fault("SetTimelineObject", HResultFromErrorNumber(287), false),
       "The piece could not be saved as " + target + "."},
      {"error 287 after the work", fault("ConnectFrontEnd", HResultFromErrorNumber(287), true), ""},
  };
  Open(movie);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(f_->IsLoaded());
    TypeEnd("40");
    TypeStart("10");
    standin::EngineScope scope(c.engine);
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    if (!c.prompt.empty()) script->AnswerMsgBox(vbOK);
    const size_t boxes = script->MsgBoxes().size();
    f_->mnuSave_Click();
    if (c.prompt.empty()) {
      EXPECT_EQ(script->MsgBoxes().size(), boxes);
      EXPECT_EQ(loaded_, target);
      std::vector<int> expected;
      for (int n = 10; n < 40; ++n) expected.push_back(n);
      EXPECT_EQ(fixtures::DecodedFrameNumbers(target), expected);
    } else {
      ASSERT_EQ(script->MsgBoxes().size(), boxes + 1);
      const std::string prompt = script->MsgBoxes().back().prompt;
      EXPECT_EQ(prompt.substr(0, c.prompt.size()), c.prompt);
      EXPECT_EQ(prompt.find(ErrorDescription(287)), std::string::npos) << prompt;
      EXPECT_EQ(script->MsgBoxes().back().buttons, vbOKOnly | vbExclamation);
      EXPECT_TRUE(loaded_.empty());
      EXPECT_TRUE(f_->IsLoaded());
      EXPECT_FALSE(fs::exists(target));
      EXPECT_TRUE(f_->mnuSave->Enabled());
    }
    for (const auto& e : fs::directory_iterator(scratch_))
      EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
  }
}

// The progress of a save whose graph tells a shorter duration than it plays: both bars move, the
// maximum starts at the told duration and grows by 1 s in a turn exactly when the position had
// passed it, the values stay at or below the maximum, and the save completes. The graph's
// position is read once per turn; the bars are read at each reading. The stand-in paces the
// graph by those readings (2 s more at each, the completion held until one has told the end), so
// the render takes the same turns however fast the machine works.
TEST_F(Splitter, ProgressFollowsThePositionAndGrowsItsMaximumOneSecondPerTurn) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 40));
  TypeStart("0");
  struct Seen {
    double position;
    float value, max, value1, max1;
    bool visible;
  };
  std::vector<Seen> seen;
  standin::EngineScript engine;
  engine.durationScale = 0.1;  // 4 s told for a 40 s piece
  engine.positionStep = 2;     // 20 turns to the end
  engine.onPosition = [this, &seen](double position) {
    seen.push_back({position, f_->ctrlProgress->Value(), f_->ctrlProgress->Max(), f_->ProgressBar1->Value(),
                    f_->ProgressBar1->Max(), f_->ctrlProgress->Visible() && f_->ProgressBar1->Visible()});
  };
  const std::string target = scratch_ + "/progress.avi";
  {
    standin::EngineScope scope(engine);
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    f_->mnuSave_Click();
  }
  EXPECT_EQ(loaded_, target);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target).size(), 1000u);
  ASSERT_GE(seen.size(), 20u) << "a turn for each step of the paced position";
  const double end = seen.back().position;
  EXPECT_NEAR(end, 40.0, 0.001);
  for (size_t i = 0; i < seen.size(); ++i)
    EXPECT_DOUBLE_EQ(seen[i].position, std::min(2.0 * static_cast<double>(i + 1), end)) << i;
  EXPECT_FLOAT_EQ(seen[0].max, 4.0f);
  bool grew = false;
  for (size_t i = 0; i < seen.size(); ++i) {
    SCOPED_TRACE(i);
    const Seen& s = seen[i];
    EXPECT_TRUE(s.visible);
    EXPECT_LE(s.value, s.max);
    EXPECT_LE(s.value1, s.max1);
    if (i + 1 < seen.size()) {
      // Turn i read position i; the bars read at reading i + 1 are what it made of it.
      const Seen& next = seen[i + 1];
      const bool passed = s.max < static_cast<float>(s.position);
      EXPECT_FLOAT_EQ(next.max, passed ? s.max + 1 : s.max);
      EXPECT_FLOAT_EQ(next.max1, next.max);
      EXPECT_FLOAT_EQ(next.value, std::min(static_cast<float>(s.position), next.max));
      EXPECT_FLOAT_EQ(next.value1, s.value);  // the bar below shows the previous turn's value
      grew = grew || passed;
    }
  }
  EXPECT_TRUE(grew) << "the position never passed the maximum";
  // Both bars moved.
  EXPECT_GT(seen.back().value, seen[1].value);
  EXPECT_GT(seen.back().value1, 0.0f);
  EXPECT_FALSE(f_->IsLoaded());
}

// A disk that fills up during the save, a folder that cannot be written and a source deleted
// after the opening: each gives a message naming the target, hands nothing back and leaves no
// file; an old target stays as it was.
TEST_F(Splitter, SavesThatFailOnTheDiskLeaveNoFileAndTheOldTarget) {
  struct Case {
    const char* name;
    bool fullDisk;
    bool readOnlyFolder;
    bool sourceDeleted;
    bool oldTarget;
  };
  const Case cases[] = {
      {"full disk, new target", true, false, false, false},
      {"full disk, old target", true, false, false, true},
      {"read-only folder, new target", false, true, false, false},
      {"source deleted, new target", false, false, true, false},
      {"source deleted, old target", false, false, true, true},
  };
  const std::string made = Movie(Kind::AviMjpegPcm, 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptScope script;
    loaded_.clear();
    const std::string folder = scratch_ + "/out";
    fixtures::SetImmutable(folder, false);  // a run that crashed may have left the flag
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string movie = scratch_ + "/source.avi";
    fs::copy_file(made, movie, fs::copy_options::overwrite_existing);
    Open(movie);
    TypeStart("10");
    const std::string target = folder + "/piece.avi";
    if (c.oldTarget) std::ofstream(target) << "the old piece";
    // Read-only for every user, root included (the tests may run as root).
    if (c.readOnlyFolder && !fixtures::SetImmutable(folder, true)) {
      SelectionUnsaved = false;
      f_->Unload();
      GTEST_SKIP() << "no immutable flag on this file system";
    }
    if (c.sourceDeleted) fs::remove(movie);
    script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
    if (c.oldTarget) script->AnswerMsgBox(vbYes);
    script->AnswerMsgBox(vbOK);
    {
      std::optional<FileSizeLimit> full;
      if (c.fullDisk) full.emplace(64 * 1024);
      f_->mnuSave_Click();
    }
    fixtures::SetImmutable(folder, false);
    ASSERT_FALSE(script->MsgBoxes().empty());
    const std::string prompt = script->MsgBoxes().back().prompt;
    EXPECT_EQ(prompt.rfind("The piece could not be saved as " + target + ".\r\n", 0), 0u) << prompt;
    EXPECT_GT(prompt.size(), ("The piece could not be saved as " + target + ".\r\n").size()) << "the reason";
    EXPECT_TRUE(loaded_.empty());
    EXPECT_TRUE(f_->IsLoaded());
    EXPECT_EQ(f_->lStartFrame, 10);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.push_back(e.path().filename().string());
    if (c.oldTarget) {
      EXPECT_EQ(left, std::vector<std::string>{"piece.avi"});
      const std::vector<uint8_t> old = fixtures::ReadFile(target);
      EXPECT_EQ(std::string(old.begin(), old.end()), "the old piece");
    } else {
      EXPECT_TRUE(left.empty()) << left.front();
    }
    SelectionUnsaved = false;
    f_->Unload();
  }
}

TEST_F(Splitter, StopDuringASaveLeavesNoFileAndKeepsTheWindow) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 8));
  TypeStart("5");
  bool refused = false;
  f_->On("tmrTimer_Timer", [this, &refused] {
    if (!f_->bRendering) return;
    refused = !f_->Unload();  // a close while the piece is saved is refused
    f_->ToolbarClick("Stop");
  });
  f_->tmrTimer->Interval(1);
  f_->tmrTimer->Enabled(true);
  const std::string target = scratch_ + "/stopped.avi";
  script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbOK);
  f_->mnuSave_Click();
  EXPECT_TRUE(refused);
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "Cannot unload while the piece is being saved.\r\nStop the save and then exit.");
  EXPECT_FALSE(fs::exists(target));
  for (const auto& e : fs::directory_iterator(scratch_))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
  EXPECT_TRUE(loaded_.empty());
  EXPECT_TRUE(f_->IsLoaded());
  EXPECT_EQ(f_->lStartFrame, 5);
  EXPECT_TRUE(f_->mnuSave->Enabled());
}

// A termination request (SIGTERM) while a piece is saved ends the program without a box: the
// save is stopped, its unfinished file removed, an old file at the target kept.
TEST_F(Splitter, ATerminationRequestDuringASaveEndsTheProgramAndLeavesTheOldTarget) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string movie = Movie(Kind::AviMjpegPcm, 8);
  const std::string target = scratch_ + "/ended.avi";
  std::ofstream(target) << "the old piece";
  EXPECT_EXIT(
      {
        auto script = std::make_shared<ScriptedResponder>();
        script->OnUnexpected([](const std::string& what) {
          std::fprintf(stderr, "unexpected %s\n", what.c_str());
          std::_Exit(4);
        });
        SetResponder(script);
        Open(movie);
        TypeStart("5");
        InstallEndRequests();
        // The render is paced by its position readings; the request comes at the first.
        standin::EngineScript engine;
        engine.positionStep = 0.5;
        bool raised = false;
        engine.onPosition = [&raised](double) {
          if (!raised) std::raise(SIGTERM);
          raised = true;
        };
        standin::EngineScope scope(engine);
        script->AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target)).AnswerMsgBox(vbYes);
        f_->mnuSave_Click();
        std::fprintf(stderr, "still running\n");
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(0), "");
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old piece");
  for (const auto& e : fs::directory_iterator(scratch_))
    EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

// ---- Preview and closing -----------------------------------------------------------------------

TEST_F(Splitter, TrimmedPreviewShowsTheFramesAndEndsIdle) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 2));
  std::vector<std::string> counter;
  f_->On("lblFrameNo_Change", [this, &counter] {
    f_->lblCounter->Caption(f_->lblFrameNo->Caption());
    counter.push_back(f_->lblCounter->Caption());
  });
  f_->txtStart->Text("10");
  f_->txtEnd->Text("13");
  f_->PlayTrimmedPreview();
  EXPECT_EQ(counter, (std::vector<std::string>{"10", "11", "12", "13", ""}));
  EXPECT_EQ(f_->cmdPlay->Caption(), "Start");
  EXPECT_FALSE(f_->bPreviewRunning);
  EXPECT_TRUE(f_->bStopPreview);
  // A click during the preview (the nested call) stops it.
  counter.clear();
  f_->txtStart->Text("0");
  f_->txtEnd->Text("50");
  f_->On("lblFrameNo_Change", [this, &counter] {
    counter.push_back(f_->lblFrameNo->Caption());
    if (counter.size() == 2) f_->PlayTrimmedPreview();
  });
  f_->PlayTrimmedPreview();
  EXPECT_LT(counter.size(), 6u);
  EXPECT_EQ(f_->cmdPlay->Caption(), "Start");
  EXPECT_FALSE(f_->bPreviewRunning);
}

// The toolbar's frame counter stands at the toolbar's right end at any width of the window and
// shows each previewed frame, then nothing.
TEST_F(Splitter, TheToolbarCounterStandsAtItsRightEndAndCountsThePreview) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 2));
  f_->Width(9600);
  f_->Show();
  for (int32_t width : {9600, 12000, 10500}) {
    SCOPED_TRACE(width);
    f_->Width(width);
    DoEvents();
    EXPECT_EQ(f_->picToolCaption->Left() + f_->picToolCaption->Width(), f_->Toolbar1->Width());
    EXPECT_EQ(f_->lblCounter->Width(), f_->picToolCaption->Width());
  }
  std::vector<std::string> shown;
  f_->On("lblCounter_Change", [this, &shown] { shown.push_back(f_->lblCounter->Caption()); });
  f_->txtStart->Text("10");
  f_->txtEnd->Text("13");
  f_->PlayTrimmedPreview();
  EXPECT_EQ(shown, (std::vector<std::string>{"10", "11", "12", "13", ""}));
  SelectionUnsaved = false;
}

TEST_F(Splitter, ClosingWithYesSavesThePieceAndCloses) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 2));
  TypeStart("5");
  const std::string target = scratch_ + "/closing.avi";
  script->AnswerMsgBox(vbYes).AnswerDialog(DialogKind::Save, DialogAnswer::Ok(target));
  f_->Unload();
  EXPECT_EQ(script->MsgBoxes().front().prompt, "Do you want to save your file?");
  EXPECT_FALSE(f_->IsLoaded());
  EXPECT_EQ(loaded_, target);
  EXPECT_EQ(fixtures::DecodedFrameNumbers(target).size(), 45u);
}

TEST_F(Splitter, TimersDoubleClicksAndAPreviewThatFails) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 2));
  // The preview timer writes the picture only after a slider move, and names the marks.
  f_->ctrlSlider->Value(17);
  f_->bSliderMoved = false;
  f_->tmrTimer_Timer();
  EXPECT_NE(Bitmap(), 17);
  f_->ctrlSlider->Raise("Scroll");
  EXPECT_TRUE(f_->bSliderMoved);
  EXPECT_EQ(f_->lblCurrentFrameValue->Caption(), "17");
  f_->tmrTimer_Timer();
  EXPECT_FALSE(f_->bSliderMoved);
  EXPECT_EQ(Bitmap(), 17);
  f_->ToolbarClick("FirstFrame");  // as the double click on "Start": frame 1
  EXPECT_EQ(f_->lStartFrame, 1);
  f_->Label5->Raise("DblClick");
  EXPECT_EQ(f_->lEndFrame, 50);
  f_->tmrTimer_Timer();
  EXPECT_EQ(f_->Toolbar1->ButtonsOf().Item("PreviewTrimmed").ToolTipText(),
            "Preview Trimmed Movie from frame 1 to frame 50.");
  // The start timer clears the opening's selection once the window is shown.
  SelectionUnsaved = true;
  f_->Timer1_Timer();
  EXPECT_TRUE(SelectionUnsaved);
  f_->Show();
  f_->Timer1_Timer();
  EXPECT_FALSE(SelectionUnsaved);
  EXPECT_FALSE(f_->Timer1->Enabled());
  // A preview that fails (no rate to pace by) leaves the window busy until the next click.
  f_->lblFPSValue->Caption("0");
  f_->PlayTrimmedPreview();
  EXPECT_EQ(f_->cmdPlay->Caption(), "Stop");
  EXPECT_TRUE(f_->bPreviewRunning);
  EXPECT_FALSE(f_->cmdSelStart->Enabled());
  f_->ToolbarClick("PreviewTrimmed");
  EXPECT_EQ(f_->cmdPlay->Caption(), "Start");
  EXPECT_FALSE(f_->bPreviewRunning);
  EXPECT_TRUE(f_->cmdSelStart->Enabled());
}

TEST_F(Splitter, ClosingAsksDeletesThePictureAndKeepsThePanelSetting) {
  ScriptScope script;
  Open(Movie(Kind::AviMjpegPcm, 2));
  const std::string bitmap = f_->sTempDirectory + "bitmap.bmp";
  ASSERT_TRUE(fs::exists(bitmap));
  f_->ToolbarClick("ShowHide");
  EXPECT_TRUE(f_->bHideSelected);
  EXPECT_EQ(f_->mnuHideSelected->Caption(), "Show Selected Panel");
  // Closing during a preview is refused.
  f_->bPreviewRunning = true;
  script->AnswerMsgBox(vbOK);
  EXPECT_FALSE(f_->Unload());
  EXPECT_EQ(script->MsgBoxes().back().prompt,
            "Cannot unload while the trimmed frames are being previewed.\r\nStop the Trimmed Movie Preview and then exit.");
  f_->bPreviewRunning = false;
  SelectionUnsaved = true;
  script->AnswerMsgBox(vbNo);
  EXPECT_TRUE(f_->Unload());
  EXPECT_EQ(script->MsgBoxes().back().prompt, "Do you want to save your file?");
  EXPECT_FALSE(fs::exists(bitmap));
  EXPECT_EQ(GetSetting("Reelwright_S", "Init", "HideSelected", ""), "True");
  // The next load reads it; a value that is neither True nor False reads as False.
  f_->Load();
  EXPECT_TRUE(f_->bHideSelected);
  SelectionUnsaved = false;  // the layout re-applied the marks; the start timer would clear it
  f_->Unload();
  SaveSetting("Reelwright_S", "Init", "HideSelected", "maybe");
  f_->Load();
  EXPECT_FALSE(f_->bHideSelected);
  EXPECT_EQ(f_->mnuHideSelected->Caption(), "Hide Selected Panel");
}

TEST_F(Splitter, TheHelpPagesAreInTheProgramFolder) {
  // The program folder is build/bin; the tests run from their own folder beside it.
  EXPECT_TRUE(fs::exists(AppPath() + "/../bin/Cutwright.help/index.html")) << AppPath();
}

}  // namespace

namespace {

// Not run by CTest: shows the window on a movie for a look on a real display
// (QT_QPA_PLATFORM=xcb ... --gtest_also_run_disabled_tests), for SPLITTER_LOOK_SECONDS seconds.
TEST_F(Splitter, DISABLED_ShowsTheWindowForALook) {
  ScriptScope script;
  Open(Movie(Kind::AviDx50));
  f_->Show();
  TypeEnd("75");
  TypeStart("25");
  const char* seconds = std::getenv("SPLITTER_LOOK_SECONDS");
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds ? std::atoi(seconds) : 3);
  while (std::chrono::steady_clock::now() < end) {
    DoEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  SelectionUnsaved = false;
}

}  // namespace

namespace {

// The stored panel setting is read as a Boolean: True and False in any letter case, or a number
// (non-zero is True); any other text reads as False.
TEST_F(Splitter, ThePanelSettingIsReadAsABoolean) {
  struct Case {
    const char* stored;
    bool hidden;
  };
  const Case cases[] = {{"True", true},  {"TRUE", true},   {"true", true},   {"-1", true}, {"1", true},
                        {"2.5", true},   {"False", false}, {"FALSE", false}, {"0", false}, {"maybe", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    SaveSetting("Reelwright_S", "Init", "HideSelected", c.stored);
    f_->Load();
    EXPECT_EQ(f_->bHideSelected, c.hidden);
    EXPECT_EQ(f_->mnuHideSelected->Caption(), c.hidden ? "Show Selected Panel" : "Hide Selected Panel");
    f_->Unload();
  }
}

}  // namespace
