// The codec manager as an ActiveX control: its container-facing interfaces and extent, its
// persistence and drawing, the control base's reflected messages, and the control hosted on a
// form as the codec dialog uses it (listing events, codec boxes through the property frame).
#include <gtest/gtest.h>

#include <QImage>
#include <QTabWidget>

#include "IKitbrokerObj.h"
#include "com/dispatch.h"
#include "com/olecontrolex.h"
#include "com/propertypages.h"
#include "dshow/baseclasses.h"
#include "dshow/encoders.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "fixtures.h"
#include "forms/activex.h"
#include "forms/activexcontrol.h"
#include "forms/form.h"
#include "forms/qt/hwnd_qt.h"
#include "forms/qt/propertyframe_qt.h"
#include "com/aggregate.h"
#include "com/connectionpoint.h"
#include "graphparts_registry.h"
#include "scripted_responder.h"

namespace {

using namespace graphparts_test;
using namespace kitbroker;

class KitbrokerControlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    forms_detail::EnsureApplication();
    ASSERT_EQ(Regsvr("Kitbroker"), 0);
  }
};

TEST_F(KitbrokerControlTest, AnswersTheFullControlsInterfaces) {
  ComPtr<IUnknown> control;
  ASSERT_EQ(CoCreateInstance(CLSID_Kitbroker, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, control.put_void()), S_OK);
  const IID interfaces[] = {IID_IUnknown,
                            IKitbrokerObj::iid,
                            IID_IDispatch,
                            IViewObjectEx::iid,
                            IViewObject2::iid,
                            IViewObject::iid,
                            IOleInPlaceObjectWindowless::iid,
                            IOleInPlaceObject::iid,
                            IOleWindow::iid,
                            IOleInPlaceActiveObject::iid,
                            IOleControl::iid,
                            IOleObject::iid,
                            IPersistStreamInit::iid,
                            IPersist::iid,
                            IConnectionPointContainer::iid,
                            ISpecifyPropertyPages::iid,
                            IQuickActivate::iid,
                            IPersistStorage::iid,
                            IDataObject::iid,
                            IProvideClassInfo::iid,
                            IProvideClassInfo2::iid};
  for (const IID& iid : interfaces) {
    ComPtr<IUnknown> p;
    EXPECT_EQ(control->QueryInterface(iid, p.put_void()), S_OK) << GuidToString(iid);
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(control->QueryInterface(IPersistPropertyBag::iid, none.put_void()), E_NOINTERFACE);
  // Its connection points: the events and IPropertyNotifySink.
  auto cpc = control.As<IConnectionPointContainer>();
  for (const IID& iid : {DIID__IKitbrokerObjEvents, IPropertyNotifySink::iid}) {
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(iid, cp.put()), S_OK);
  }
  auto pci = control.As<IProvideClassInfo2>();
  GUID source{};
  ASSERT_EQ(pci->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_EQ(source, DIID__IKitbrokerObjEvents);
}

TEST_F(KitbrokerControlTest, TheExtentIsThirtyTwoPixelsAndPersistsAsCxCy) {
  auto ole = Create<IOleObject>(CLSID_Kitbroker);
  SIZEL size;
  ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &size), S_OK);
  EXPECT_EQ(size.cx, 847);
  EXPECT_EQ(size.cy, 847);
  DWORD misc = 0;
  ole->GetMiscStatus(DVASPECT_CONTENT, &misc);
  EXPECT_EQ(misc, 132497u);
  SIZEL other{1000, 847};
  EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &other), E_FAIL);
  EXPECT_EQ(ole->SetExtent(DVASPECT_CONTENT, &size), S_OK);
  auto quick = ole.As<IQuickActivate>();
  EXPECT_EQ(quick->SetContentExtent(&other), E_FAIL);
  SIZEL natural;
  ASSERT_EQ(ole.As<IViewObjectEx>()->GetNaturalExtent(DVASPECT_CONTENT, &natural), S_OK);
  EXPECT_EQ(natural.cx, 847);
  // Saved as "_cx" and "_cy"; a stored other size does not change an auto-sized control.
  auto persist = ole.As<IPersistStreamInit>();
  ComPtr<IStream> stream = CreateMemoryStream();
  ASSERT_EQ(persist->Save(stream.Get(), true), S_OK);
  stream->Seek(0, STREAM_SEEK_SET, nullptr);
  PropertyList saved;
  ASSERT_EQ(ReadPropertyListFromStream(stream.Get(), &saved), S_OK);
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].first, "_cx");
  EXPECT_EQ(saved[0].second.i4(), 847);
  EXPECT_EQ(saved[1].first, "_cy");
  ComPtr<IStream> bigger = CreateMemoryStream();
  WritePropertyListToStream(bigger.Get(), {{"_cx", Variant(int32_t{5000})}, {"_cy", Variant(int32_t{-1})}});
  bigger->Seek(0, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(persist->Load(bigger.Get()), S_OK);
  ole->GetExtent(DVASPECT_CONTENT, &size);
  EXPECT_EQ(size.cx, 847);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  CLSID clsid{};
  persist->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_Kitbroker);
}

TEST_F(KitbrokerControlTest, DrawsItsIconAtTheBoundsTopLeft) {
  auto view = Create<IViewObject>(CLSID_Kitbroker);
  const std::string path = fixtures::ScratchFolder("draw") + "/kitbroker.png";
  ASSERT_EQ(view->DrawToFile(DVASPECT_CONTENT, Utf8ToUtf16(path).c_str(), 48, 40), S_OK);
  QImage image(QString::fromStdString(path));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(48, 40));
  // The icon: film-strip edges, a grey hub, its transparent corner rows show the white ground.
  EXPECT_EQ(image.pixel(16, 16) & 0xFFFFFF, 0x808080u);
  EXPECT_EQ(image.pixel(1, 5) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(image.pixel(3, 5) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(image.pixel(10, 1) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(image.pixel(40, 16) & 0xFFFFFF, 0xFFFFFFu);  // beyond the icon
  EXPECT_EQ(view->DrawToFile(DVASPECT_CONTENT, Utf8ToUtf16(path).c_str(), 0, 40), E_INVALIDARG);
}

// A control on the base that records what reaches its default window procedure.
class ProbeControl : public ActiveXControl<IStringList> {
 public:
  ProbeControl() : ActiveXControl(kLibId, 1, 0, IStringList::iid, CLSID_StringList, ActiveXTraits{20, 10, false, 0}) {}
  HRESULT Add(const Bstr&) override { return S_OK; }
  HRESULT Get(LONG, Bstr*) override { return S_OK; }
  HRESULT RemoveAll() override { return S_OK; }
  HRESULT RemoveTail() override { return S_OK; }
  HRESULT RemoveHead() override { return S_OK; }
  HRESULT Find(const Bstr&, LONG*) override { return S_OK; }
  void Changed(DISPID id) { PropertyChanged(id); }
  std::vector<UINT> seen;

 protected:
  LRESULT DefaultProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) override {
    seen.push_back(msg);
    return ActiveXControl::DefaultProc(hwnd, msg, w, l);
  }
};

class NotifySink : public ComObject<IPropertyNotifySink> {
 public:
  HRESULT OnChanged(DISPID id) override {
    changed.push_back(id);
    return S_OK;
  }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }
  std::vector<DISPID> changed;
};

TEST_F(KitbrokerControlTest, TheBaseReflectsNotificationsAndTellsPropertyChanges) {
  Create<IStringList>(CLSID_StringList);  // publishes the library's types
  ComPtr<ProbeControl> probe = MakeComObject<ProbeControl>();
  RECT place{0, 0, 20, 10};
  ASSERT_EQ(probe->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, 0, &place), S_OK);
  HWND window = 0;
  ASSERT_EQ(probe->GetWindow(&window), S_OK);
  ASSERT_NE(window, 0u);
  struct Case {
    UINT sent, reaches;
  };
  for (const Case& c : {Case{0x2111, 0x0111}, Case{0x204E, 0x004E}, Case{0x2114, 0x0114}, Case{0x2138, 0x0138},
                        Case{0x2132, 0x0132}, Case{0x2100, 0x2100}, Case{0x0111, 0x0111}, Case{0x2139, 0x2139}}) {
    probe->seen.clear();
    SendMessage(window, c.sent, 0, 0);
    ASSERT_EQ(probe->seen.size(), 1u) << std::hex << c.sent;
    EXPECT_EQ(probe->seen[0], c.reaches) << std::hex << c.sent;
  }
  // Without auto-size any extent is taken.
  SIZEL other{1234, 567};
  EXPECT_EQ(probe->SetExtent(DVASPECT_CONTENT, &other), S_OK);
  EXPECT_EQ(probe->IsDirty(), S_OK);
  auto sink = MakeComObject<NotifySink>();
  DWORD cookie = ConnectEvents(probe->Unknown(), IPropertyNotifySink::iid, sink.Get());
  probe->Changed(5);
  EXPECT_EQ(sink->changed, std::vector<DISPID>{5});
  DisconnectEvents(probe->Unknown(), IPropertyNotifySink::iid, cookie);
  ASSERT_EQ(probe->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(IsWindow(window));
}

// --- Hosted on a form -----------------------------------------------------------------------------

class CodecForm : public Form {
 public:
  CodecForm() : Form("frmCodecTest") {
    On("ctlKit_CompressionCodecListed", [this](std::string& name, std::string& id, int32_t& category) {
      listed.push_back({name, id, category});
    });
  }
  struct Listed {
    std::string name, id;
    int32_t category;
  };
  std::vector<Listed> listed;

 protected:
  void Design() override {
    Size(4800, 3600);
    Place({ControlDef{"Kitbroker.KitbrokerObj", "ctlKit", -1, "", 120, 120, 480, 480, "", {}}});
  }
};

// A page of the test codec's three: its title only.
class TitledPage : public ComObject<IPropertyPage> {
 public:
  explicit TitledPage(std::u16string title) : title_(std::move(title)) {}
  HRESULT SetPageSite(IPropertyPageSite*) override { return S_OK; }
  HRESULT Activate(OAHWND, const RECT*, bool) override { return S_OK; }
  HRESULT Deactivate() override { return S_OK; }
  HRESULT GetPageInfo(PROPPAGEINFO* info) override {
    info->pszTitle = static_cast<char16_t*>(CoTaskMemAlloc((title_.size() + 1) * 2));
    std::copy(title_.c_str(), title_.c_str() + title_.size() + 1, info->pszTitle);
    info->size = {100, 50};
    return S_OK;
  }
  HRESULT SetObjects(ULONG, IUnknown**) override { return S_OK; }
  HRESULT Show(UINT) override { return S_OK; }
  HRESULT Move(const RECT*) override { return S_OK; }
  HRESULT IsPageDirty() override { return S_FALSE; }
  HRESULT Apply() override { return S_OK; }
  HRESULT Help(const char16_t*) override { return E_NOTIMPL; }
  HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

 private:
  std::u16string title_;
};

const CLSID kPages[] = {MakeGuid("{6A1E0B52-33C1-4F0E-9E55-0C2B7A6E1F11}"),
                        MakeGuid("{6A1E0B52-33C1-4F0E-9E55-0C2B7A6E1F12}"),
                        MakeGuid("{6A1E0B52-33C1-4F0E-9E55-0C2B7A6E1F13}")};

// A video codec with three property pages and no dialogs of its own.
class ThreePageCodec : public dshow::InPlaceTransformFilter, public ISpecifyPropertyPages {
 public:
  ThreePageCodec() : InPlaceTransformFilter(u"Three Page Test Codec", GUID_NULL, false) {}
  DSHOW_FORWARD_IUNKNOWN(InPlaceTransformFilter)
  HRESULT CheckInputType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT Transform(IMediaSample*) override { return S_OK; }
  HRESULT GetPages(CAUUID* pages) override {
    pages->cElems = 3;
    pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof kPages));
    std::copy(std::begin(kPages), std::end(kPages), pages->pElems);
    return S_OK;
  }

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == ISpecifyPropertyPages::iid) {
      *ppv = static_cast<ISpecifyPropertyPages*>(this);
      AddRef();
      return S_OK;
    }
    return InPlaceTransformFilter::QueryOther(riid, ppv);
  }
};

void RegisterThreePageCodec() {
  static bool done = false;
  if (done) return;
  done = true;
  for (int i = 0; i < 3; ++i) {
    std::u16string title = u"Page " + Utf8ToUtf16(std::to_string(i + 1));
    RegisterPlatformClass(kPages[i], "", [title](IUnknown* outer, REFIID riid, void** ppv) {
      return CreatePlain<TitledPage>(outer, riid, ppv, title);
    });
  }
  dshow::FilterTemplate t;
  t.name = u"Three Page Test Codec";
  t.clsid = MakeGuid("{6A1E0B52-33C1-4F0E-9E55-0C2B7A6E1F10}");
  t.category = CLSID_VideoCompressorCategory;
  t.autoConnect = false;
  t.create = [](IBaseFilter** f) {
    *f = MakeComObject<ThreePageCodec>().Detach();
    return S_OK;
  };
  dshow::RegisterFilter(t);
}

TEST_F(KitbrokerControlTest, HostedOnAFormItListsCodecsAndShowsTheirPages) {
  RegisterThreePageCodec();
  ScriptScope script;
  auto form = MakeForm<CodecForm>();
  form->Load();
  auto* host = dynamic_cast<ActiveXHost*>(form->FindControl("ctlKit"));
  ASSERT_NE(host, nullptr);
  EXPECT_NE(host->MiscStatus() & OLEMISC_INVISIBLEATRUNTIME, 0u);  // invisible at run time
  IDispatch* ext = host->DispatchObject();
  // The dialog's order: audio, then video.
  for (int32_t category : {1, 0}) {
    form->listed.clear();
    Variant r = CallByName(ext, "ListAVICompressionCodecs", DISPATCH_METHOD, {Variant(category)});
    EXPECT_EQ(r.Deref().i4(), 0);
    ASSERT_FALSE(form->listed.empty());
    EXPECT_EQ(form->listed[0].name, "<<< No Compression >>>");
    EXPECT_EQ(form->listed[0].id, "");
    std::vector<std::string> names;
    for (const auto& l : form->listed) {
      EXPECT_EQ(l.category, category);
      names.push_back(l.name);
    }
    const CLSID cat = category == 0 ? CLSID_VideoCompressorCategory : CLSID_AudioCompressorCategory;
    for (const auto& c : dshow::Compressors()) {
      if (c.category != cat) continue;
      EXPECT_NE(std::find(names.begin(), names.end(), Utf16ToUtf8(c.name)), names.end()) << Utf16ToUtf8(c.name);
    }
  }
  std::string codec;
  for (const auto& l : form->listed)
    if (l.name == "Three Page Test Codec") codec = l.id;
  ASSERT_FALSE(codec.empty());
  EXPECT_TRUE(CallByName(ext, "DoesCodecHaveAboutBox", DISPATCH_METHOD, {Variant(codec)}) == Variant(true));
  EXPECT_TRUE(CallByName(ext, "DoesCodecHaveConfigureBox", DISPATCH_METHOD, {Variant(codec)}) == Variant(true));
  EXPECT_TRUE(CallByName(ext, "DoesCodecHaveAboutBox", DISPATCH_METHOD, {Variant("")}) == Variant(false));

  struct Shown {
    std::vector<std::string> tabs;
    std::string caption;
    OAHWND owner;
  };
  std::vector<Shown> shown;
  auto previous = SetPropertyFramePresenter([&](QDialog& frame, OAHWND owner) {
    Shown s{{}, frame.windowTitle().toStdString(), owner};
    auto* tabs = frame.findChild<QTabWidget*>("pages");
    for (int i = 0; tabs && i < tabs->count(); ++i) s.tabs.push_back(tabs->tabText(i).toStdString());
    shown.push_back(s);
    return false;
  });
  const int32_t owner = static_cast<int32_t>(form->hWnd());
  CallByName(ext, "ShowCodecAboutBox", DISPATCH_METHOD, {Variant(owner), Variant(codec)});
  CallByName(ext, "ShowCodecConfigureBox", DISPATCH_METHOD, {Variant(owner), Variant(codec)});
  CallByName(ext, "ShowCodecConfigureBox", DISPATCH_METHOD, {Variant(owner), Variant("no such codec")});
  SetPropertyFramePresenter(previous);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].tabs, std::vector<std::string>{"Page 1"});
  EXPECT_EQ(shown[1].tabs, (std::vector<std::string>{"Page 1", "Page 2", "Page 3"}));
  EXPECT_EQ(shown[0].owner, owner);
  EXPECT_EQ(shown[0].caption, shown[1].caption);
  form->Unload();
}

}  // namespace
