// The Kitbroker library created through its registration: the string list, the control's texts,
// codec listing and boxes, compressor insertion with its rollback, and the join through the
// render engine with the stream resizer and the inserted compressors.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "IKitbrokerObj.h"
#include "KitbrokerObj.h"
#include "SampleGrabber.h"
#include "StreamResize.h"
#include "StringList.h"
#include "com/resources.h"
#include "core/system_messages.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "forms/qt/hwnd_qt.h"
#include "graphparts_test_util.h"
#include "join_graph.h"

namespace {

using namespace graphparts_test;
using namespace kitbroker;

class Kitbroker : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    forms_detail::EnsureApplication();
    ASSERT_EQ(Regsvr("Kitbroker"), 0);
    ASSERT_EQ(Regsvr("Sizewarden"), 0);
  }
  ComPtr<IKitbrokerObj> control_ = Create<IKitbrokerObj>(CLSID_Kitbroker);

  // Every codec the control lists for a category, as (name, identifier, category).
  std::vector<std::vector<Variant>> List(int32_t category, tagKitbrokerError* result = nullptr) {
    Recorder events(control_.Get(), DIID__IKitbrokerObjEvents, kCompressionCodecListed);
    tagKitbrokerError r = kbErrorGeneric;
    EXPECT_EQ(control_->ListAVICompressionCodecs(static_cast<tagMediaCategory>(category), &r), S_OK);
    if (result) *result = r;
    std::vector<std::vector<Variant>> out;
    for (auto& h : events.heard) out.push_back(h.args);
    return out;
  }
  // The identifier of the listed codec of that name ("" when it is not listed).
  Bstr Identifier(int32_t category, const std::string& name) {
    for (auto& e : List(category))
      if (e[0].bstr().Utf8() == name) return e[1].bstr();
    return Bstr(u"");
  }
};

// --- StringList ------------------------------------------------------------------------------

TEST_F(Kitbroker, StringListKeepsEntriesInOrderWithNullsApart) {
  auto list = Create<IStringList>(CLSID_StringList);
  Bstr got = Bstr(u"x");
  EXPECT_EQ(list->Get(0, &got), S_OK);
  EXPECT_TRUE(got.IsNull());
  EXPECT_EQ(list->RemoveHead(), S_OK);
  EXPECT_EQ(list->RemoveTail(), S_OK);
  ASSERT_EQ(list->Add(Bstr(u"ABC")), S_OK);
  ASSERT_EQ(list->Add(Bstr(u"abc")), S_OK);
  ASSERT_EQ(list->Add(Bstr()), S_OK);
  ASSERT_EQ(list->Add(Bstr(u"")), S_OK);
  ASSERT_EQ(list->Add(Bstr(std::u16string(u"cut\0here", 8))), S_OK);
  struct Look {
    const char16_t* text;  // nullptr: a null string
    size_t length;
    LONG index;
  };
  for (const Look& l : {Look{u"abc", 3, 1}, Look{u"ABC", 3, 0}, Look{nullptr, 0, 2}, Look{u"", 0, 3},
                        Look{u"cut", 3, 4}, Look{u"cut\0other", 9, 4}, Look{u"Abc", 3, -1}}) {
    LONG index = 99;
    Bstr item = l.text ? Bstr(std::u16string(l.text, l.length)) : Bstr();
    ASSERT_EQ(list->Find(item, &index), S_OK);
    EXPECT_EQ(index, l.index) << (l.text ? Utf16ToUtf8(l.text) : "null");
  }
  struct Entry {
    LONG index;
    bool null;
    const char* text;
  };
  for (const Entry& e : {Entry{0, false, "ABC"}, Entry{2, false, ""}, Entry{4, false, "cut"}, Entry{5, true, ""},
                         Entry{-1, true, ""}}) {
    Bstr s;
    ASSERT_EQ(list->Get(e.index, &s), S_OK);
    EXPECT_EQ(s.IsNull(), e.null) << e.index;
    EXPECT_EQ(s.Utf8(), e.text) << e.index;
  }
  // Removal at both ends.
  ASSERT_EQ(list->RemoveHead(), S_OK);
  ASSERT_EQ(list->RemoveTail(), S_OK);
  LONG index = 0;
  list->Find(Bstr(u"abc"), &index);
  EXPECT_EQ(index, 0);
  ASSERT_EQ(list->RemoveAll(), S_OK);
  Bstr s;
  list->Get(0, &s);
  EXPECT_TRUE(s.IsNull());
  // Late bound, as the codec dialog calls it.
  ComPtr<IDispatch> disp = list.As<IDispatch>();
  InvokeDispatch(disp.Get(), 1, DISPATCH_METHOD, {Variant(Bstr(u"@device:cm:x"))});
  EXPECT_EQ(InvokeDispatch(disp.Get(), 2, DISPATCH_METHOD, {Variant(int32_t{0})}).bstr().Utf8(), "@device:cm:x");
}

TEST_F(Kitbroker, StringListCachesAtMostTenNodesAndSurvivesLackOfMemory) {
  ComPtr<StringList> list = MakeComObject<StringList>();
  for (int i = 0; i < 20; ++i) ASSERT_EQ(list->Add(Bstr(std::to_string(i))), S_OK);
  EXPECT_EQ(list->NodesMade(), 20);
  ASSERT_EQ(list->RemoveAll(), S_OK);
  EXPECT_EQ(list->CachedNodes(), 10);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(list->Add(Bstr(std::to_string(i))), S_OK);
  EXPECT_EQ(list->NodesMade(), 30);
  EXPECT_EQ(list->CachedNodes(), 0);
  list->FailNextAllocation();
  EXPECT_EQ(list->Add(Bstr(u"lost")), E_OUTOFMEMORY);
  EXPECT_EQ(list->Count(), 20);
  LONG index = 0;
  list->Find(Bstr(u"lost"), &index);
  EXPECT_EQ(index, -1);
  Bstr last;
  list->Get(19, &last);
  EXPECT_EQ(last.Utf8(), "19");
}

TEST_F(Kitbroker, StringListAggregatesAndHoldsTheLibraryWhileItLives) {
  void* lib = dlopen(LibraryPath("Kitbroker").c_str(), RTLD_NOW);
  ASSERT_TRUE(lib) << dlerror();
  auto canUnload = reinterpret_cast<HRESULT (*)()>(dlsym(lib, "DllCanUnloadNow"));
  auto getClass = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(dlsym(lib, "DllGetClassObject"));
  ASSERT_TRUE(canUnload && getClass);
  control_ = nullptr;
  EXPECT_EQ(canUnload(), S_OK);
  {
    auto outer = MakeComObject<EventSink>(IID_IUnknown);
    ComPtr<IUnknown> inner;
    ASSERT_EQ(CoCreateInstance(CLSID_StringList, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown, inner.put_void()),
              S_OK);
    ComPtr<IStringList> list;
    ASSERT_EQ(inner->QueryInterface(IStringList::iid, list.put_void()), S_OK);
    ASSERT_EQ(list->Add(Bstr(u"inside")), S_OK);
    // The aggregated object's interfaces answer for the outer object.
    ComPtr<IUnknown> identity;
    list->QueryInterface(IID_IUnknown, identity.put_void());
    EXPECT_TRUE(IsSameObject(identity.Get(), outer.Get()));
    EXPECT_EQ(canUnload(), S_FALSE);
    list = nullptr;
    identity = nullptr;
  }
  EXPECT_EQ(canUnload(), S_OK);
  ComPtr<IUnknown> factory;
  EXPECT_EQ(getClass(sizewarden::CLSID_SampleGrabber, IID_IUnknown, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
  dlclose(lib);
}

// --- Texts ---------------------------------------------------------------------------------

TEST_F(Kitbroker, TranslateErrorGivesTheTableTexts) {
  const std::string graph =
      "The Graph Builder could not be created. Please check that DirectX8 is installed, and is working properly.";
  const std::string init = "There was an error during conversion initialisation";
  struct Row {
    int32_t value;
    std::string text;
  };
  const Row rows[] = {
      {0, "No Error."},
      {2, "There was a handled exception in the program. The conversion can probably not procceed."},
      {3, graph}, {4, graph}, {5, graph}, {7, init}, {17, init},
      {8, "The conversion was properly initaliased, but could not be started."},
      {10, "Unspecified Error"}, {13, "Unspecified Error"}, {15, "Unspecified Error"}, {16, "Unspecified Error"},
      {-1, "Unspecified Error"}, {28, "Unspecified Error"}, {INT32_MIN, "Unspecified Error"},
      {21, "The AVI mux pins could not be retrived from the AVI mux filter"},
      {23, "The compression codec could not be instanciated"},
      {27, "The audio compressor codec could not be inserted into the graph"},
  };
  for (const Row& r : rows) {
    Bstr text;
    ASSERT_EQ(control_->TranslateError(static_cast<tagKitbrokerError>(r.value), &text), S_OK);
    EXPECT_EQ(text.Utf8(), r.text) << r.value;
  }
}

TEST_F(Kitbroker, TranslateHResultAsksTheMediaLayerThenTheSystem) {
  struct Row {
    int32_t hr;
    std::string text;  // "*": any non-empty text other than "Unknown Error"
  };
  const Row rows[] = {{0, ""}, {1, ""}, {INT32_MAX, ""},
                      {static_cast<int32_t>(0x80040209), "*"},  // the media layer's
                      {static_cast<int32_t>(0x8007000E), "*"},  // the system's
                      {static_cast<int32_t>(0x80004005), "*"},
                      {static_cast<int32_t>(0x8ABC1234), "Unknown Error"},
                      {INT32_MIN, "Unknown Error"}};
  for (const Row& r : rows) {
    // A last error left by an earlier call does not count against a known code.
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    Bstr text;
    ASSERT_EQ(control_->TranslateHRESULT(r.hr, &text), S_OK);
    if (r.text == "*") {
      EXPECT_FALSE(text.Utf8().empty()) << std::hex << r.hr;
      EXPECT_NE(text.Utf8(), "Unknown Error") << std::hex << r.hr;
    } else {
      EXPECT_EQ(text.Utf8(), r.text) << std::hex << r.hr;
    }
  }
  Bstr system;
  control_->TranslateHRESULT(static_cast<LONG>(0x8007000E), &system);
  char expected[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x8007000E, 0, expected, sizeof expected, nullptr);
  EXPECT_EQ(system.Utf8(), expected);
}

// --- Listing and boxes -----------------------------------------------------------------------

TEST_F(Kitbroker, ListsNoCompressionFirstThenEveryCompressorOfTheCategory) {
  for (int32_t category : {0, 1, 7}) {
    tagKitbrokerError r = kbErrorGeneric;
    auto listed = List(category, &r);
    EXPECT_EQ(r, kbErrorNoError);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed[0][0].bstr().Utf8(), "<<< No Compression >>>");
    EXPECT_FALSE(listed[0][1].bstr().IsNull());
    EXPECT_EQ(listed[0][1].bstr().Utf8(), "");
    std::vector<std::string> expected;
    const CLSID cat = category == 0 ? CLSID_VideoCompressorCategory : CLSID_AudioCompressorCategory;
    for (const auto& c : dshow::Compressors())
      if (c.category == cat) expected.push_back(Utf16ToUtf8(c.name));
    std::vector<std::string> names;
    for (size_t i = 0; i < listed.size(); ++i) {
      ASSERT_EQ(listed[i].size(), 3u);
      EXPECT_EQ(listed[i][2].Deref().i4(), category);
      if (i == 0) continue;
      names.push_back(listed[i][0].bstr().Utf8());
      EXPECT_EQ(listed[i][1].bstr().Utf8().rfind("@device:", 0), 0u) << listed[i][1].bstr().Utf8();
    }
    for (const auto& e : expected) EXPECT_NE(std::find(names.begin(), names.end(), e), names.end()) << e;
  }
}

// The control's members over a plain dispatch object, with the library's listing compiled in so
// that its device enumerator maker can be replaced.
class ListingControl : public KitbrokerCore<DispatchObject<IKitbrokerObj, ConnectionPointContainerImpl>> {
 public:
  ListingControl() : KitbrokerCore(kLibId, 1, 0, IKitbrokerObj::iid) {}
};

class RefusingDeviceEnumerator : public ComObject<ICreateDevEnum> {
 public:
  HRESULT CreateClassEnumerator(REFCLSID, IEnumMoniker** out, DWORD) override {
    if (out) *out = nullptr;
    return E_ACCESSDENIED;
  }
};

TEST(KitbrokerListing, AFailedEnumeratorOrAnExceptionEndsTheListingAfterNoCompression) {
  struct Case {
    const char* what;
    DeviceEnumeratorMaker maker;
    int32_t category;
    tagKitbrokerError result;
    HRESULT hr;
  } cases[] = {
      {"creation fails", [](ICreateDevEnum** out) -> HRESULT { *out = nullptr; return E_OUTOFMEMORY; }, 0,
       kbErrorSysDeviceEnumCreationFailed, E_OUTOFMEMORY},
      {"creation gives no object", [](ICreateDevEnum** out) -> HRESULT { *out = nullptr; return S_OK; }, 1,
       kbErrorSysDeviceEnumCreationFailed, E_NOINTERFACE},
      {"class enumerator fails",
       [](ICreateDevEnum** out) -> HRESULT {
         *out = MakeComObject<RefusingDeviceEnumerator>().Detach();
         return S_OK;
       },
       1, kbErrorCreateClassEnumeratorFailed, E_ACCESSDENIED},
      {"creation throws", [](ICreateDevEnum**) -> HRESULT { throw std::runtime_error("no enumerator"); }, 0,
       kbErrorException, S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetDeviceEnumeratorMaker(c.maker);
    ComPtr<ListingControl> control = MakeComObject<ListingControl>();
    Recorder events(static_cast<IKitbrokerObj*>(control.Get()), DIID__IKitbrokerObjEvents, kCompressionCodecListed);
    tagKitbrokerError r = kbErrorGeneric;
    EXPECT_EQ(control->ListAVICompressionCodecs(static_cast<tagMediaCategory>(c.category), &r), c.hr);
    EXPECT_EQ(r, c.result);
    ASSERT_EQ(events.heard.size(), 1u);
    const auto& args = events.heard[0].args;
    ASSERT_EQ(args.size(), 3u);
    EXPECT_EQ(args[0].bstr().Utf8(), "<<< No Compression >>>");
    EXPECT_FALSE(args[1].bstr().IsNull());
    EXPECT_EQ(args[1].bstr().Utf8(), "");
    EXPECT_EQ(args[2].Deref().i4(), c.category);
  }
  // The system's enumerator again: the listing goes on past the first entry.
  SetDeviceEnumeratorMaker(nullptr);
  ComPtr<ListingControl> control = MakeComObject<ListingControl>();
  Recorder events(static_cast<IKitbrokerObj*>(control.Get()), DIID__IKitbrokerObjEvents, kCompressionCodecListed);
  tagKitbrokerError r = kbErrorGeneric;
  EXPECT_EQ(control->ListAVICompressionCodecs(static_cast<tagMediaCategory>(0), &r), S_OK);
  EXPECT_EQ(r, kbErrorNoError);
  EXPECT_GT(events.heard.size(), 1u);
}

TEST_F(Kitbroker, CodecBoxQuestionsBindTheCodecEachTime) {
  struct Ask {
    std::string id;
    bool about, configure;
  };
  Bstr mjpeg = Identifier(0, "Motion JPEG Compressor");
  ASSERT_FALSE(mjpeg.Utf8().empty());
  std::vector<Ask> asks = {{"", false, false}, {"not a codec", false, false},
                           {"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\Gone Codec", false, false},
                           {mjpeg.Utf8(), true, true}};
  for (const Ask& a : asks) {
    VARIANT_BOOL about = VARIANT_TRUE, configure = VARIANT_TRUE;
    ASSERT_EQ(control_->DoesCodecHaveAboutBox(Bstr::FromUtf8(a.id), &about), S_OK);
    ASSERT_EQ(control_->DoesCodecHaveConfigureBox(Bstr::FromUtf8(a.id), &configure), S_OK);
    EXPECT_EQ(about != VARIANT_FALSE, a.about) << a.id;
    EXPECT_EQ(configure != VARIANT_FALSE, a.configure) << a.id;
    // Nothing is shown for an identifier that binds to nothing.
    if (!a.about) {
      EXPECT_EQ(control_->ShowCodecAboutBox(0, Bstr::FromUtf8(a.id)), S_OK);
      EXPECT_EQ(control_->ShowCodecConfigureBox(0, Bstr::FromUtf8(a.id)), S_OK);
    }
  }
  // Every installed codec: pages answer both questions; without pages the codec's own dialogs are asked.
  for (const auto& c : dshow::Compressors()) {
    ComPtr<IBaseFilter> f;
    ASSERT_EQ(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IBaseFilter::iid, f.put_void()), S_OK);
    const bool pages = static_cast<bool>(f.As<ISpecifyPropertyPages>());
    auto dialogs = f.As<IAMVfwCompressDialogs>();
    const bool about = pages || (dialogs && dialogs->ShowDialog(VfwCompressDialog_QueryAbout, 0) == S_OK);
    const bool configure = pages || (dialogs && dialogs->ShowDialog(VfwCompressDialog_QueryConfig, 0) == S_OK);
    const Bstr id = Identifier(c.category == CLSID_VideoCompressorCategory ? 0 : 1, Utf16ToUtf8(c.name));
    VARIANT_BOOL a = VARIANT_FALSE, k = VARIANT_FALSE;
    control_->DoesCodecHaveAboutBox(id, &a);
    control_->DoesCodecHaveConfigureBox(id, &k);
    EXPECT_EQ(a != VARIANT_FALSE, about) << Utf16ToUtf8(c.name);
    EXPECT_EQ(k != VARIANT_FALSE, configure) << Utf16ToUtf8(c.name);
  }
  VARIANT_BOOL none = VARIANT_TRUE;
  EXPECT_EQ(control_->DoesCodecHaveAboutBox(Bstr(), &none), S_OK);
  EXPECT_EQ(none, VARIANT_FALSE);
}

// --- Insertion -----------------------------------------------------------------------------

TEST_F(Kitbroker, InsertionRefusalsLeaveTheGraphAsItWas) {
  Join j(nullptr, "kitbroker-refusals.avi");
  j.Wire(nullptr);
  const auto before = GraphShape(j.graph.Get());
  const Bstr mjpeg = Identifier(0, "Motion JPEG Compressor");
  const Bstr adpcm = Identifier(1, "Microsoft ADPCM");
  ASSERT_FALSE(mjpeg.Utf8().empty());
  ASSERT_FALSE(adpcm.Utf8().empty());
  auto tl = timeline_test::NewTimeline();
  struct Case {
    IUnknown* graph;
    Bstr video, audio;
    tagKitbrokerError result;
  };
  const Case cases[] = {
      {nullptr, mjpeg, adpcm, kbErrorGraphObjectUnavailable},
      {tl.Get(), mjpeg, adpcm, kbErrorGraphObjectUnavailable},
      {j.graph.Get(), Bstr(u""), Bstr(u""), kbErrorNoError},
      {j.graph.Get(), Bstr(), Bstr(u""), kbErrorCouldNotCreateCompressor},
      {j.graph.Get(), Bstr(u"garbage"), Bstr(u"@device:cm:{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\Gone"),
       kbErrorCouldNotCreateCompressor},
      // The sound compressor as the video one: its connects fail, the sound insertion is undone.
      {j.graph.Get(), adpcm, adpcm, kbErrorVideoCompressorPinConnect},
      {j.graph.Get(), mjpeg, mjpeg, kbErrorAudioCompressorPinConnect},
  };
  for (const Case& c : cases) {
    tagKitbrokerError r = kbErrorGeneric;
    ASSERT_EQ(control_->InsertCompressorIntoRenderedGraph(c.graph, c.video, c.audio, &r), S_OK);
    EXPECT_EQ(r, c.result) << c.video.Utf8() << " / " << c.audio.Utf8();
    EXPECT_EQ(GraphShape(j.graph.Get()), before) << c.video.Utf8() << " / " << c.audio.Utf8();
  }
  // A graph without a multiplexer.
  ComPtr<IGraphBuilder> empty = NewGraph();
  tagKitbrokerError r = kbErrorGeneric;
  control_->InsertCompressorIntoRenderedGraph(empty.Get(), mjpeg, adpcm, &r);
  EXPECT_EQ(r, kbErrorAviMuxNotFound);
  EXPECT_TRUE(FiltersOf(empty.Get()).empty());
}

TEST_F(Kitbroker, ASoundCodecForAJoinWithoutSoundIsUndone) {
  Join j(nullptr, "kitbroker-nosound.avi");
  ComPtr<IPin> v = j.GroupPin(1);
  ASSERT_EQ(j.graph->Render(v.Get()), S_OK);  // the sound group stays out of the mux
  const auto before = GraphShape(j.graph.Get());
  tagKitbrokerError r = kbErrorGeneric;
  ASSERT_EQ(control_->InsertCompressorIntoRenderedGraph(j.graph.Get(), Identifier(0, "Motion JPEG Compressor"),
                                                        Identifier(1, "Microsoft ADPCM"), &r),
            S_OK);
  EXPECT_EQ(r, kbErrorAudioCompressorCouldNotBeAddedToGraph);
  EXPECT_EQ(GraphShape(j.graph.Get()), before);
}

TEST_F(Kitbroker, WithTwoVideoInputsTheLaterOneGetsTheCompressor) {
  Join j(nullptr, "kitbroker-twovideo.avi");
  timeline_test::Builder second(j.audio.tl, 0, 15, "VIDEO2");
  fixtures::Options o;
  o.width = 96;
  o.height = 64;
  ASSERT_EQ(second.Source(0, Fixture(fixtures::Kind::AviMjpegPcm, o), 0, 1), S_OK);
  ASSERT_EQ(j.engine->ConnectFrontEnd(), S_OK);  // again, with the third group
  j.mux = FilterNamed(j.graph.Get(), "AVI Mux");
  ASSERT_TRUE(j.mux);
  for (LONG i = 0; i < 3; ++i) ASSERT_EQ(j.graph->Render(j.GroupPin(i).Get()), S_OK);
  tagKitbrokerError r = kbErrorGeneric;
  ASSERT_EQ(control_->InsertCompressorIntoRenderedGraph(j.graph.Get(), Identifier(0, "Motion JPEG Compressor"),
                                                        Bstr(u""), &r),
            S_OK);
  ASSERT_EQ(r, kbErrorNoError);
  // The mux's video inputs in pin order: the first still takes the group straight, the second the
  // compressor.
  std::vector<std::string> feeders;
  for (auto& pin : PinsOf(j.mux.Get())) {
    PIN_DIRECTION dir;
    pin->QueryDirection(&dir);
    ComPtr<IPin> up = Peer(pin.Get());
    if (dir != PINDIR_INPUT || !up) continue;
    MediaType mt;
    pin->ConnectionMediaType(&mt);
    if (mt.majortype != MEDIATYPE_Video) continue;
    PIN_INFO info;
    up->QueryPinInfo(&info);
    ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Attach(info.pFilter);
    feeders.push_back(NameOf(owner.Get()));
  }
  EXPECT_EQ(feeders, (std::vector<std::string>{"VIDEO", "Video Compressor Filter"}));
}

// The join as the main program makes it: 352 x 240 through the stream resizer, the compressors
// chosen in the codec dialog inserted by the control, the watch filter in front of the video one.
TEST_F(Kitbroker, TheJoinIsWrittenWithTheInsertedCompressorsAtTheResizersSize) {
  auto resizer = Create<IStreamResize>(sizewarden::CLSID_StreamResize);
  Join j(resizer.Get(), "kitbroker-join.avi");
  j.Wire(nullptr);
  tagKitbrokerError r = kbErrorGeneric;
  ASSERT_EQ(control_->InsertCompressorIntoRenderedGraph(j.graph.Get(), Identifier(0, "Motion JPEG Compressor"),
                                                        Identifier(1, "Microsoft ADPCM"), &r),
            S_OK);
  ASSERT_EQ(r, kbErrorNoError);
  EXPECT_TRUE(FilterNamed(j.graph.Get(), "Video Compressor Filter"));
  EXPECT_TRUE(FilterNamed(j.graph.Get(), "Audio Compressor Filter"));
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  ASSERT_TRUE(FilterNamed(j.graph.Get(), "Sample Grabber"));
  Recorder errors(resizer.Get(), sizewarden::DIID__IStreamResizeEvents, 1);
  EXPECT_EQ(RunToEnd(j.graph.Get()), EC_COMPLETE);
  EXPECT_TRUE(errors.heard.empty());
  fixtures::Probe p = fixtures::RunFfprobe(j.target);
  ASSERT_TRUE(p.ok) << p.error;
  ASSERT_TRUE(p.First("video") && p.First("audio"));
  EXPECT_EQ(p.First("video")->codecName, "mjpeg");
  EXPECT_EQ(p.First("video")->width, 352);
  EXPECT_EQ(p.First("video")->height, 240);
  EXPECT_EQ(p.First("video")->frames, 30);
  EXPECT_EQ(p.First("audio")->codecName, "adpcm_ms");
  resizer->DestroyObjects();
}

// A compressor that cannot take the size: the main window hears OnError inside Run, and the run
// ends with EC_ERRORABORT.
TEST_F(Kitbroker, ACompressorThatRefusesTheSizeIsReportedInsideRun) {
  static const CLSID kRefusing = MakeGuid("{6A1E0B52-33C1-4F0E-9E55-0C2B7A6E1F01}");
  static bool registered = false;
  if (!registered) {
    dshow::FilterTemplate t;
    t.name = u"Refusing Test Compressor";
    t.clsid = kRefusing;
    t.category = CLSID_VideoCompressorCategory;
    t.autoConnect = false;
    t.create = [](IBaseFilter** f) {
      *f = MakeComObject<RefusingFilter>().Detach();
      return S_OK;
    };
    dshow::RegisterFilter(t);
    registered = true;
  }
  auto resizer = Create<IStreamResize>(sizewarden::CLSID_StreamResize);
  Join j(resizer.Get(), "kitbroker-refused.avi");
  j.Wire(nullptr);
  const Bstr refusing = Identifier(0, "Refusing Test Compressor");
  ASSERT_FALSE(refusing.Utf8().empty());
  tagKitbrokerError r = kbErrorGeneric;
  ASSERT_EQ(control_->InsertCompressorIntoRenderedGraph(j.graph.Get(), refusing, Bstr(u""), &r), S_OK);
  ASSERT_EQ(r, kbErrorNoError);
  VARIANT_BOOL ok = VARIANT_FALSE;
  ASSERT_EQ(resizer->CheckIfSizeIsSupported(j.graph.Get(), &ok), S_OK);
  RefusedRun run = RunRefused(j.graph.Get(), resizer.Get(), sizewarden::DIID__IStreamResizeEvents);
  EXPECT_TRUE(run.heardInRun);
  EXPECT_EQ(run.code, EC_ERRORABORT);
  ASSERT_FALSE(run.heard.empty());
  EXPECT_EQ(run.heard[0].thread, std::this_thread::get_id());
  EXPECT_EQ(run.heard[0].args[1].bstr().Utf8(), sizewarden::kSizeErrorText);
  resizer->DestroyObjects();
}

// --- Registration ----------------------------------------------------------------------------

TEST_F(Kitbroker, RegistrationWritesTheScriptsKeysOnce) {
  const std::string control = "CLSID\\{22C86AA4-92CE-4620-8EA9-01C394F05CBC}";
  const std::string strings = "CLSID\\{49BBAEE7-6F85-4E37-81F6-891BC4CDDBA6}";
  const std::vector<std::string> roots = {"Kitbroker.KitbrokerObj.1", "Kitbroker.KitbrokerObj", control,
                                          "Kitbroker.StringList.1", "Kitbroker.StringList", strings};
  const std::string module = LibraryPath("Kitbroker");
  auto first = Dump(roots);
  const std::vector<std::string> lines = {
      "Kitbroker.KitbrokerObj.1 \"\"=KitbrokerObj Class",
      "Kitbroker.KitbrokerObj\\CurVer \"\"=Kitbroker.KitbrokerObj.1",
      control + " \"\"=KitbrokerObj Class",
      control + "\\ProgID \"\"=Kitbroker.KitbrokerObj.1",
      control + "\\InprocServer32 \"ThreadingModel\"=Apartment",
      "[" + control + "\\Control]",
      "[" + control + "\\Insertable]",
      control + "\\MiscStatus \"\"=0",
      control + "\\MiscStatus\\1 \"\"=132497",
      control + "\\TypeLib \"\"={73D77525-0DC4-41A9-9690-E34D2F21B339}",
      control + "\\Version \"\"=1.0",
      "Kitbroker.StringList.1\\CLSID \"\"={49BBAEE7-6F85-4E37-81F6-891BC4CDDBA6}",
      strings + "\\VersionIndependentProgID \"\"=Kitbroker.StringList",
      strings + "\\TypeLib \"\"={73D77525-0DC4-41A9-9690-E34D2F21B339}",
  };
  for (const auto& line : lines) EXPECT_NE(std::find(first.begin(), first.end(), line), first.end()) << line;
  bool toolbox = false;
  for (const auto& l : first)
    toolbox = toolbox || (l.find("ToolboxBitmap32 \"\"=" + module + ", 101") != std::string::npos);
  EXPECT_TRUE(toolbox);
  ASSERT_EQ(Regsvr("Kitbroker"), 0);
  EXPECT_EQ(Dump(roots), first);
  // The module's resources: the project name, the 16-colour toolbox bitmap the key names, the
  // version data.
  auto resource = [&](const std::string& type, int id) {
    HRSRC r = FindResource(module, ResourceId(id), type);
    const uint8_t* b = LoadResource(module, r);
    return b ? std::vector<uint8_t>(b, b + SizeofResource(module, r)) : std::vector<uint8_t>();
  };
  auto name = resource(RT_STRING, 100);
  EXPECT_EQ(std::string(name.begin(), name.end()), "Kitbroker");
  std::vector<uint8_t> bmp = LoadToolboxBitmap(module + ", 101");
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[18], 16);  // width
  EXPECT_EQ(bmp[22], 16);  // height
  EXPECT_EQ(bmp[28], 4);   // bits per pixel
  auto icon = resource(RT_ICON, 201);
  ASSERT_GE(icon.size(), 22u);
  EXPECT_EQ(icon[6], 32);
  EXPECT_EQ(icon[8], 16);  // colours
  auto version = resource(RT_VERSION, 1);
  const std::string text(version.begin(), version.end());
  for (const char* entry : {"FileDescription=Kitbroker Module\n", "FileVersion=1, 0, 0, 1\n",
                            "OriginalFilename=Kitbroker.DLL\n", "OLESelfRegister\n"})
    EXPECT_NE(text.find(entry), std::string::npos) << entry;
  control_ = nullptr;
  ASSERT_EQ(Regsvr("Kitbroker", true), 0);
  for (const auto& r : roots) EXPECT_FALSE(KeyExists(r)) << r;
  EXPECT_TRUE(KeyExists("CLSID"));
  ASSERT_EQ(Regsvr("Kitbroker"), 0);
  EXPECT_EQ(Dump(roots), first);
}

}  // namespace
