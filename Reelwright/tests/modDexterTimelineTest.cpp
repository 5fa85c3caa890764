// modDexter's timeline procedures (fail-quiet nodes, the group's size step with a stand-in stream
// resizer, transitions), the timeline file export, and modGeneral's RenderGroupOutputs with a
// whole join read back by ffprobe.
#include <gtest/gtest.h>

#include <QFile>
#include <QXmlStreamReader>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/object.h"
#include "core/error.h"
#include "engine/modDexter.h"
#include "engine/modGeneralGraph.h"
#include "fixtures.h"
#include "mainwindow/modSettings.h"
#include "scripted_responder.h"

namespace {

namespace fs = std::filesystem;

const std::string kFadeClsid = "{16B280C5-EE70-11D1-9066-00C04F8EF8E0}";  // not an effect
const std::string kFade = "{16B280C5-EE70-11D1-9066-00C04FD9189D}";

std::string Movie(double seconds = 1.0) {
  fixtures::Options o;
  o.width = 96;
  o.height = 64;
  o.seconds = seconds;
  return fixtures::Make(fixtures::Kind::AviMjpegPcm, fixtures::ScratchFolder("dexter"), o);
}

// A stream resizer that answers from a table and records its calls; ChangeMediaType gives the
// group a 16-bit RGB type of the size, or answers a fixed result.
class FakeResizer final : public ComObject<IStreamResize> {
 public:
  std::vector<std::string> calls;
  bool failQuery = false;
  ErrorValue changeResult = errVal_NoError;
  ComPtr<IUnknown> group;

  HRESULT GetTypeInfoCount(uint32_t*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, const char16_t**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, uint32_t*) override {
    return E_NOTIMPL;
  }
  HRESULT get_TimelineGroup(IUnknown** p) override { *p = nullptr; return S_OK; }
  HRESULT put_TimelineGroup(IUnknown* g) override {
    calls.push_back("TimelineGroup");
    group = ComPtr<IUnknown>(g);
    return S_OK;
  }
  HRESULT DestroyObjects() override { return S_OK; }
  HRESULT ChangeMediaType(LONG w, LONG h, LONG planes, LONG bits, ErrorValue* result) override {
    calls.push_back("ChangeMediaType " + std::to_string(w) + " " + std::to_string(h) + " " +
                    std::to_string(planes) + " " + std::to_string(bits));
    *result = changeResult;
    if (changeResult != errVal_NoError) return S_OK;
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB555;
    mt.formattype = FORMAT_VideoInfo;
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = w;
    vih.bmiHeader.biHeight = h;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 16;
    vih.bmiHeader.biSizeImage = static_cast<uint32_t>(((w * 16 + 31) / 32) * 4 * std::abs(h));
    mt.cbFormat = sizeof vih;
    mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
    ComPtr<IAMTimelineGroup> g;
    group->QueryInterface(IAMTimelineGroup::iid, g.put_void());
    if (FAILED(g->SetMediaType(&mt))) *result = errVal_VideoSizeInvalid;
    return S_OK;
  }
  HRESULT get_SizeCount(LONG* n) override { *n = 14; return S_OK; }
  HRESULT QuerySize(int32_t index, LONG* cx, LONG* cy, Bstr* d, ErrorValue* r) override {
    calls.push_back("QuerySize " + std::to_string(index));
    if (failQuery || index == 0) return static_cast<HRESULT>(0x800A017D);
    *cx = index == 3 ? 320 : 352;
    *cy = index == 3 ? 240 : 288;
    *d = Bstr("size");
    *r = errVal_NoError;
    return S_OK;
  }
  HRESULT PromptForGraph(IUnknown*) override { return S_OK; }
  HRESULT CheckIfSizeIsSupported(IUnknown*, VARIANT_BOOL* b) override { *b = VARIANT_TRUE; return S_OK; }
  HRESULT About() override { return S_OK; }
};

class DexterTimeline : public ::testing::Test {
 protected:
  void SetUp() override {
    resizer_ = MakeComObject<FakeResizer>();
    SetStreamSizeSources({[this] { return listIndex_; },
                          [this] { return haveResizer_ ? ComPtr<IStreamResize>(resizer_.Get()) : nullptr; }});
    ResizeStreamEnabled = false;
  }
  void TearDown() override {
    SetStreamSizeSources({});
    ResizeStreamEnabled = false;
  }
  static std::pair<LONG, LONG> SizeOf(IAMTimelineGroup* g) {
    AM_MEDIA_TYPE mt{};
    g->GetMediaType(&mt);
    const VIDEOINFOHEADER* vih = VideoInfo(mt);
    std::pair<LONG, LONG> size{vih ? vih->bmiHeader.biWidth : 0, vih ? vih->bmiHeader.biHeight : 0};
    FreeMediaType(mt);
    return size;
  }

  ComPtr<FakeResizer> resizer_;
  int32_t listIndex_ = 2;
  bool haveResizer_ = true;
};

TEST_F(DexterTimeline, CreateGroupSetsEverythingInOrder) {
  auto tl = CreateTimeline();
  ASSERT_TRUE(tl);
  auto g = CreateGroup(tl.Get(), "VIDEO", 0, 12.5, 1, 32);
  ASSERT_TRUE(g);
  Bstr name;
  g->GetGroupName(&name);
  EXPECT_EQ(name.Utf8(), "VIDEO");
  double fps = 0;
  g->GetOutputFPS(&fps);
  EXPECT_EQ(fps, 12.5);
  LONG preview = 0;
  g->GetPreviewMode(&preview);
  EXPECT_EQ(preview, 1);
  int buffering = 0;
  g->GetOutputBuffering(&buffering);
  EXPECT_EQ(buffering, 32);
  EXPECT_EQ(SizeOf(g.Get()), (std::pair<LONG, LONG>{320, 240}));
  EXPECT_TRUE(resizer_->calls.empty());  // the resize option is off
  // The group is not placed yet.
  EXPECT_EQ(GetGroupCount(tl.Get()), 0);
  AddGroup(tl.Get(), g.Get());
  EXPECT_EQ(GetGroupCount(tl.Get()), 1);
  EXPECT_TRUE(GetGroup(tl.Get(), 0));
}

TEST_F(DexterTimeline, TheSizeStepAsksTheResizerForTheChosenSize) {
  ResizeStreamEnabled = true;
  listIndex_ = 2;
  auto tl = CreateTimeline();
  auto g = CreateGroup(tl.Get(), "VIDEO", 0, 15, 0, 32);
  ASSERT_TRUE(g);
  EXPECT_EQ(resizer_->calls,
            (std::vector<std::string>{"QuerySize 3", "TimelineGroup", "ChangeMediaType 320 240 1 16"}));
  EXPECT_TRUE(IsSameObject(resizer_->group.Get(), g.Get()));
  listIndex_ = 8;
  g = CreateGroup(tl.Get(), "VIDEO", 0, 15, 0, 32);
  EXPECT_EQ(SizeOf(g.Get()), (std::pair<LONG, LONG>{352, 288}));
  // An audio group never touches the resizer.
  resizer_->calls.clear();
  EXPECT_TRUE(CreateGroup(tl.Get(), "AUDIO", 1, 15, 0, 32));
  EXPECT_TRUE(resizer_->calls.empty());
}

TEST_F(DexterTimeline, ASizeThatCannotBeHadSaysSoAndKeepsTheGroup) {
  ResizeStreamEnabled = true;
  struct Case {
    const char* what;
    std::function<void()> arrange;
  };
  const std::vector<Case> cases = {
      {"ChangeMediaType refuses", [&] { resizer_->changeResult = errVal_VideoSizeInvalid; }},
      {"no size chosen (QuerySize 0 fails)", [&] { listIndex_ = -1; }},
      {"QuerySize fails", [&] { resizer_->failQuery = true; }},
      {"no stream resizer", [&] { haveResizer_ = false; }},
  };
  for (const auto& c : cases) {
    SetUp();
    ResizeStreamEnabled = true;
    c.arrange();
    ScriptScope script;
    script->AnswerMsgBox(vbOK).AnswerMsgBox(vbOK);
    auto tl = CreateTimeline();
    auto a = CreateGroup(tl.Get(), "VIDEO", 0, 15, 0, 32);
    auto b = CreateGroup(tl.Get(), "VIDEO", 0, 15, 0, 32);
    ASSERT_TRUE(a && b) << c.what;
    EXPECT_EQ(SizeOf(a.Get()), (std::pair<LONG, LONG>{320, 240})) << c.what;
    double fps = 0;
    b->GetOutputFPS(&fps);
    EXPECT_EQ(fps, 15.0);
    ASSERT_EQ(script->MsgBoxes().size(), 2u) << c.what;  // once per video group
    EXPECT_EQ(script->MsgBoxes()[0].prompt, "Could not specify different size");
    EXPECT_EQ(script->MsgBoxes()[0].buttons, vbOKOnly);
    EXPECT_EQ(script->MsgBoxes()[0].title, AppTitle());
    EXPECT_EQ(Err().Number, 0);
  }
}

TEST_F(DexterTimeline, MissingObjectsAndRefusalsLeaveHolesQuietly) {
  auto tl = CreateTimeline();
  auto g = CreateGroup(tl.Get(), "VIDEO", 0, 15, 0, 32);
  AddGroup(tl.Get(), g.Get());
  auto track = CreateTrack(tl.Get());
  auto src = CreateSource(tl.Get());
  auto trans = CreateTransition(tl.Get());
  ASSERT_TRUE(track && src && trans);
  struct Case {
    const char* what;
    std::function<void()> call;
  };
  const std::vector<Case> quiet = {
      {"AddGroup without group", [&] { AddGroup(tl.Get(), nullptr); }},
      {"AddGroup without timeline", [&] { AddGroup(nullptr, g.Get()); }},
      {"InsertTrack without group", [&] { InsertTrack(track.Get(), nullptr, -1); }},
      {"InsertTrack without track", [&] { InsertTrack(nullptr, g.Get(), -1); }},
      {"AddSourceToTrack without track", [&] { AddSourceToTrack(nullptr, src.Get(), "x", 0, 1, 0, 0); }},
      {"AddSourceToTrack without source", [&] { AddSourceToTrack(track.Get(), nullptr, "x", 0, 1, 0, 0); }},
      {"AddTransition without track", [&] { AddTransition(trans.Get(), nullptr, kFade, 0, 1); }},
      {"AddTransition without transition", [&] { AddTransition(nullptr, track.Get(), kFade, 0, 1); }},
      {"AddGroup twice", [&] { AddGroup(tl.Get(), g.Get()); }},
  };
  for (const auto& c : quiet) {
    c.call();
    EXPECT_EQ(Err().Number, 0) << c.what;
  }
  EXPECT_EQ(GetGroupCount(tl.Get()), 1);
  EXPECT_EQ(GetGroupCount(nullptr), 0);
  EXPECT_FALSE(GetGroup(tl.Get(), 1));  // one past the last
  EXPECT_FALSE(GetGroup(nullptr, 0));
  EXPECT_FALSE(CreateTrack(nullptr));
  EXPECT_FALSE(CreateGroup(nullptr, "VIDEO", 0, 15, 0, 32));
  EXPECT_FALSE(CreateGroup(tl.Get(), "VIDEO", 7, 15, 0, 32));
  EXPECT_EQ(Err().Number, 0);
  LONG tracks = 0;
  ComPtr<IAMTimelineComp> comp;
  g->QueryInterface(IAMTimelineComp::iid, comp.put_void());
  comp->VTrackGetCount(&tracks);
  EXPECT_EQ(tracks, 0);

  // Transitions: an empty or unknown effect stops before the transition is placed.
  InsertTrack(track.Get(), g.Get(), -1);
  ComPtr<IAMTimelineTransable> transable;
  track->QueryInterface(IAMTimelineTransable::iid, transable.put_void());
  AddTransition(trans.Get(), track.Get(), "", 0, 1);
  AddTransition(trans.Get(), track.Get(), kFadeClsid, 0, 1);
  LONG n = 0;
  transable->TransGetCount(&n);
  EXPECT_EQ(n, 0);
  AddTransition(trans.Get(), track.Get(), kFade, 0, 1);
  transable->TransGetCount(&n);
  EXPECT_EQ(n, 1);
}

TEST_F(DexterTimeline, AddSourceToTrackSetsMediaTimesOnlyForAPiece) {
  struct Case {
    double mstart, mstop;
    double expectStart, expectStop;  // what GetMediaTimes2 answers
  };
  const Case cases[] = {
      {0, 0, 0, 4},   // no media times: the file from its beginning for the span
      {-1, 5, 0, 4},  // none either
      {0, 5, 0, 5},   // the piece 0..5
      {2, 3, 2, 3},
  };
  for (const auto& c : cases) {
    auto tl = CreateTimeline();
    auto track = CreateTrack(tl.Get());
    auto src = CreateSource(tl.Get());
    AddSourceToTrack(track.Get(), src.Get(), "/m/clip.avi", 1, 5, c.mstart, c.mstop);
    double a = -1, b = -1;
    src->GetMediaTimes2(&a, &b);
    EXPECT_EQ(a, c.expectStart) << c.mstart << " " << c.mstop;
    EXPECT_EQ(b, c.expectStop) << c.mstart << " " << c.mstop;
    LONG count = 0;
    ComPtr<IAMTimelineTrack> t(track);
    t->GetSourcesCount(&count);
    EXPECT_EQ(count, 1);
    Bstr name;
    src->GetMediaName(&name);
    EXPECT_EQ(name.Utf8(), "/m/clip.avi");
  }
}

// A timeline as the storyboard's transition builder lays out clips: "AUDIO" then "VIDEO", a
// video track per clip with a one-second effect at its start, an audio track per clip.
ComPtr<IAMTimeline> StoryboardTimeline(const std::vector<std::string>& clips, double each,
                                       const std::string& effect = kFade) {
  auto tl = CreateTimeline();
  tl->EnableTransitions(1);
  auto audio = CreateGroup(tl.Get(), "AUDIO", 1, 15.0, 0, 32);
  AddGroup(tl.Get(), audio.Get());
  auto video = CreateGroup(tl.Get(), "VIDEO", 0, 15.0, 0, 32);
  AddGroup(tl.Get(), video.Get());
  for (size_t j = 0; j < clips.size(); ++j) {
    const double start = each * static_cast<double>(j), stop = start + each;
    auto track = CreateTrack(tl.Get());
    InsertTrack(track.Get(), video.Get(), -1);
    auto src = CreateSource(tl.Get());
    AddSourceToTrack(track.Get(), src.Get(), clips[j], start, stop, 0, 0);
    auto trans = CreateTransition(tl.Get());
    AddTransition(trans.Get(), track.Get(), effect, start, start + 1);
    auto atrack = CreateTrack(tl.Get());
    InsertTrack(atrack.Get(), audio.Get(), -1);
    auto asrc = CreateSource(tl.Get());
    AddSourceToTrack(atrack.Get(), asrc.Get(), clips[j], start, stop, 0, 0);
  }
  return tl;
}

TEST_F(DexterTimeline, SaveTimelineFileWritesTheTimelineOrItsGraph) {
  const std::string folder = fixtures::ScratchFolder("dexter-save");
  const std::string movie = Movie();
  auto tl = StoryboardTimeline({movie, movie}, 1.5);
  const std::string xtl = folder + "/story & <one> \xC3\xA9.xtl";
  SaveTimelineFile(tl.Get(), xtl, 0);
  QFile f(QString::fromStdString(xtl));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&f);
  std::vector<std::string> clips;
  int groups = 0, transitions = 0;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == u"group") ++groups;
    if (xml.name() == u"transition") ++transitions;
    if (xml.name() == u"clip")
      clips.push_back(xml.attributes().value("src").toString().toStdString() + "@" +
                      xml.attributes().value("start").toString().toStdString() + "-" +
                      xml.attributes().value("stop").toString().toStdString());
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(groups, 2);
  EXPECT_EQ(transitions, 2);
  EXPECT_EQ(clips, (std::vector<std::string>{movie + "@0-1.5", movie + "@1.5-3", movie + "@0-1.5",
                                             movie + "@1.5-3"}));
  // The graph file: the group filters rendered to the default renderers.
  const std::string grf = folder + "/story.grf";
  SaveTimelineFile(tl.Get(), grf, 1);
  std::ifstream in(grf);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("name=\"VIDEO\""), std::string::npos);
  EXPECT_NE(text.find("Video Renderer"), std::string::npos);
  EXPECT_NE(text.find("<connect"), std::string::npos);

  // Other formats, no timeline: nothing. A failed save keeps the old file whole.
  SaveTimelineFile(tl.Get(), folder + "/two.xtl", 2);
  SaveTimelineFile(nullptr, folder + "/none.xtl", 0);
  EXPECT_FALSE(fs::exists(folder + "/two.xtl"));
  EXPECT_FALSE(fs::exists(folder + "/none.xtl"));
  auto broken = StoryboardTimeline({folder + "/missing.avi"}, 1);
  const auto before = fixtures::ReadFile(grf);
  SaveTimelineFile(broken.Get(), grf, 1);
  EXPECT_EQ(fixtures::ReadFile(grf), before);
  SaveTimelineFile(tl.Get(), folder + "/no/such/folder.xtl", 0);
  EXPECT_FALSE(fs::exists(folder + "/no"));
  EXPECT_EQ(Err().Number, 0);
}

// The join: a smart engine on the storyboard timeline, AVI Mux and File writer, the group outputs
// rendered into them, run to the end.
LONG Join(IAMTimeline* tl, const std::string& target, ComPtr<IRenderEngine>* keep = nullptr) {
  ComPtr<IRenderEngine> engine;
  EXPECT_EQ(CoCreateInstance(CLSID_SmartRenderEngine, nullptr, CLSCTX_INPROC_SERVER,
                             IRenderEngine::iid, engine.put_void()),
            S_OK);
  EXPECT_EQ(engine->SetTimelineObject(tl), S_OK);
  EXPECT_EQ(engine->ConnectFrontEnd(), S_OK);
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(engine->GetFilterGraph(graph.put()), S_OK);
  auto control = graph.As<IMediaControl>();
  modGeneral::AddFileWriterAndMux(control.Get(), target);
  modGeneral::RenderGroupOutputs(engine.Get(), tl);
  LONG code = 0;
  if (SUCCEEDED(control->Run())) graph.As<IMediaEvent>()->WaitForCompletion(60000, &code);
  control->Stop();
  if (keep) *keep = engine;
  return code;
}

TEST_F(DexterTimeline, RenderGroupOutputsJoinsTheStoryboardIntoOneAvi) {
  const std::string movie = Movie(2.0);
  auto tl = StoryboardTimeline({movie, movie, movie}, 2.0);
  const std::string target = fixtures::ScratchFolder("dexter-join") + "/joined.avi";
  ComPtr<IRenderEngine> engine;
  ASSERT_EQ(Join(tl.Get(), target, &engine), EC_COMPLETE);
  // Both groups went into the one multiplexer, in group order.
  ComPtr<IGraphBuilder> graph;
  engine->GetFilterGraph(graph.put());
  for (LONG i = 0; i < 2; ++i) {
    ComPtr<IPin> pin, peer;
    engine->GetGroupOutputPin(i, pin.put());
    ASSERT_EQ(pin->ConnectedTo(peer.put()), S_OK);
    PIN_INFO info{};
    peer->QueryPinInfo(&info);
    FILTER_INFO fi{};
    info.pFilter->QueryFilterInfo(&fi);
    EXPECT_EQ(Utf16ToUtf8(fi.achName), "AVI Mux");
    EXPECT_EQ(Utf16ToUtf8(info.achName), i == 0 ? "Input 01" : "Input 02");
    if (fi.pGraph) fi.pGraph->Release();
    info.pFilter->Release();
  }
  fixtures::Probe p = fixtures::RunFfprobe(target);
  ASSERT_TRUE(p.ok) << p.error;
  const auto* v = p.First("video");
  const auto* a = p.First("audio");
  ASSERT_TRUE(v && a);
  EXPECT_EQ(v->codecName, "rawvideo");
  EXPECT_EQ(v->width, 320);
  EXPECT_EQ(v->height, 240);
  EXPECT_DOUBLE_EQ(v->frameRate, 15.0);
  EXPECT_EQ(v->frames, 90);
  EXPECT_EQ(a->codecName, "pcm_s16le");
  EXPECT_EQ(a->sampleRate, 44100);
  EXPECT_EQ(a->channels, 2);
  EXPECT_NEAR(p.duration, 6.0, 0.01);
  std::string pixFmt;
  {
    const std::string cmd = "ffprobe -v error -select_streams v:0 -show_entries stream=pix_fmt -of csv=p=0 '" + target + "'";
    FILE* pipe = popen(cmd.c_str(), "r");
    char buf[64] = {};
    if (pipe && fgets(buf, sizeof buf, pipe)) pixFmt = buf;
    if (pipe) pclose(pipe);
  }
  EXPECT_EQ(pixFmt, "rgb555le\n");

  // Without groups, engine or timeline nothing is rendered and nothing is reported.
  auto empty = CreateTimeline();
  modGeneral::RenderGroupOutputs(engine.Get(), empty.Get());
  modGeneral::RenderGroupOutputs(nullptr, tl.Get());
  modGeneral::RenderGroupOutputs(engine.Get(), nullptr);
  EXPECT_EQ(Err().Number, 0);
}

TEST_F(DexterTimeline, AJoinWithoutAWritableTargetNeverCompletes) {
  auto tl = StoryboardTimeline({Movie()}, 1.0);
  const std::string folder = fixtures::ScratchFolder("dexter-nowrite");
  for (const std::string& target : {std::string(), folder + "/no/such/folder/x.avi"}) {
    EXPECT_NE(Join(tl.Get(), target), EC_COMPLETE) << target;
  }
  EXPECT_FALSE(fs::exists(folder + "/no"));
}

}  // namespace

namespace {

TEST_F(DexterTimeline, AnEmptyStoryboardWritesNoFile) {
  auto tl = CreateTimeline();
  const std::string target = fixtures::ScratchFolder("dexter-empty") + "/empty.avi";
  EXPECT_NE(Join(tl.Get(), target), EC_COMPLETE);
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
