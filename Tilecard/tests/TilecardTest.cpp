// The clip tile control hosted on a form: identity and registration, layout, loading real media
// files, the transition chooser, persistence and file drops.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MediaClip.h"
#include "com/com.h"
#include "com/connectionpoint.h"
#include "com/dispatch.h"
#include "com/resources.h"
#include "com/typeinfo.h"
#include "fixtures.h"
#include "forms/activex.h"
#include "forms/oledrop.h"
#include "forms/qt/hwnd_qt.h"
#include "shell/files.h"
#include "forms_test_support.h"
#include "core/clock.h"
#include "core/runtime.h"
#include "registry/registry.h"

namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
using namespace tilecard;

struct Box {
  int left, top, width, height;
  bool operator==(const Box&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Box& b) {
  return o << "{" << b.left << ", " << b.top << ", " << b.width << ", " << b.height << "}";
}

class TilecardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* bin = std::getenv("SUITE_BIN_DIR");
    std::string cmd = std::string(bin ? bin : ".") + "/regsvr /s '" + TILECARD_LIBRARY + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    // The thumbnails go to this test's own temp folder.
    static std::string temp = fixtures::ScratchFolder("tmp");
    setenv("TMPDIR", temp.c_str(), 1);
    media_ = fixtures::ScratchFolder("media");
  }

  void SetUp() override {
    form_ = std::make_unique<TestForm>("frmTiles", [](TestForm& f) {
      f.Size(9000, 5000);
      f.Place({{kProgId, "ctrlSourceClip", 0, "", 0, 0, 2835, 3330, ""}});
    });
    form_->On("ctrlSourceClip_ImportFile", [this](int16_t, std::string& bstrFileName, int16_t& Cancel) {
      log_.push_back("import " + fs::path(bstrFileName).filename().string());
      if (onImport_) onImport_(bstrFileName, Cancel);
    });
    form_->On("ctrlSourceClip_MediaError", [this](int16_t) {
      log_.push_back("error, path " + Text<QLineEdit>("txtFullPath"));
    });
    form_->On("ctrlSourceClip_TransitionChanged", [this](int16_t) { log_.push_back("transition"); });
    form_->Show();
  }
  void TearDown() override { form_->Unload(); }

  Control* Tile() { return form_->FindControl("ctrlSourceClip", 0); }
  IDispatch* Ext() { return Tile()->DispatchObject(); }
  Variant Get(DISPID id) { return InvokeDispatch(Ext(), id, DISPATCH_PROPERTYGET); }
  void Put(DISPID id, const Variant& v) { InvokeDispatch(Ext(), id, DISPATCH_PROPERTYPUT, {v}); }
  void Load(const std::string& path) {
    Bstr name(path);
    InvokeDispatch(Ext(), kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &name)});
  }
  QWidget* Child(const char* name) {
    QWidget* surface = WidgetFromHwnd(static_cast<HWND>(Get(kHWnd).i4()));
    return surface ? surface->findChild<QWidget*>(name) : nullptr;
  }
  template <class W>
  std::string Text(const char* name) {
    QWidget* w = Child(name);
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
    if (auto* e = w ? w->findChild<QLineEdit*>() : nullptr) return e->text().toStdString();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text().toStdString();
    return "<none>";
  }
  Box Geo(const char* name) {
    QRect r = Child(name)->geometry();
    return {r.x() * 15, r.y() * 15, r.width() * 15, r.height() * 15};
  }
  // The thumbnail as shown; null when it shows no picture (one colour all over).
  QImage Thumbnail() {
    QImage img = Child("imgSourceClip")->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (img.pixel(x, y) != img.pixel(0, 0)) return img;
    return QImage();
  }
  static int FrameNumber(QImage img) {
    img = img.convertToFormat(QImage::Format_RGB888);
    return fixtures::ReadFrameNumber(img.constBits(), img.bytesPerLine(), img.width(), img.height());
  }

  static inline std::string media_;
  ScriptScope responder_;
  std::unique_ptr<TestForm> form_;
  Log log_;
  std::function<void(std::string&, int16_t&)> onImport_;
};

TEST_F(TilecardTest, IdentityResourcesAndRegistration) {
  ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(Tile())->Object();
  ComPtr<IUnknown> cur, old;
  obj->QueryInterface(kIidMediaClip, cur.put_void());
  obj->QueryInterface(kIidMediaClipV0, old.put_void());
  ASSERT_TRUE(cur);
  EXPECT_EQ(cur.Get(), old.Get());
  ComPtr<IConnectionPointContainer> cpc;
  obj->QueryInterface(IConnectionPointContainer::iid, cpc.put_void());
  for (const IID& iid : {kDiidMediaClipEvents, kDiidMediaClipEventsV0}) {
    ComPtr<IConnectionPoint> cp;
    EXPECT_EQ(cpc->FindConnectionPoint(iid, cp.put()), S_OK);
  }
  // Registration facts.
  const std::string key = "CLSID\\{9F22995E-1A84-4870-A8CA-ECCCD00E33E1}";
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, key + "\\MiscStatus\\1", "").value_or(""), "131473");
  EXPECT_EQ(registry::ReadString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel").value_or(""), "Apartment");
  EXPECT_TRUE(registry::ReadString(HKEY_CLASSES_ROOT, key + "\\Control", ""));
  std::string toolbox = registry::ReadString(HKEY_CLASSES_ROOT, key + "\\ToolboxBitmap32", "").value_or("");
  std::vector<uint8_t> bmp = LoadToolboxBitmap(toolbox);
  QImage tb = QImage::fromData(bmp.data(), static_cast<int>(bmp.size()), "BMP");
  EXPECT_EQ(tb.size(), QSize(16, 15)) << toolbox;
  ASSERT_GE(bmp.size(), 30u);
  EXPECT_EQ(bmp[28], 24) << "24 bits";
  // The identifier pairs.
  struct Pair {
    const char* name;
    GUID earlier, current;
  } pairs[] = {{"_IID_MEDIACLIP", kIidMediaClipV0, kIidMediaClip},
               {"_SRCIID_MEDIACLIP", kDiidMediaClipEventsV0, kDiidMediaClipEvents}};
  for (const Pair& p : pairs) {
    HRSRC r = FindResource(TILECARD_LIBRARY, p.name, "CUSTOM");
    ASSERT_NE(r, nullptr) << p.name;
    ASSERT_EQ(SizeofResource(TILECARD_LIBRARY, r), 36u);
    const uint8_t* d = LoadResource(TILECARD_LIBRARY, r);
    EXPECT_EQ(d[0] | d[1] << 8 | d[2] << 16 | d[3] << 24, 32);
    EXPECT_EQ(std::memcmp(d + 4, &p.earlier, 16), 0);
    EXPECT_EQ(std::memcmp(d + 20, &p.current, 16), 0);
  }
  // Type information: the library, slot order, help strings.
  ComPtr<ITypeLib> lib;
  ASSERT_EQ(LoadRegTypeLib(kLibId, 11, 1, 0, lib.put()), S_OK);
  TLIBATTR la;
  lib->GetLibAttr(&la);
  EXPECT_EQ(la.wMajorVerNum, 11);
  EXPECT_EQ(la.wMinorVerNum, 1);
  EXPECT_EQ(la.lcid, 0u);
  ComPtr<ITypeInfo> itf;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kIidMediaClip, itf.put()), S_OK);
  std::vector<std::string> order;
  for (uint32_t i = 0;; ++i) {
    const MemberDesc* m = nullptr;
    if (itf->GetFuncDesc(i, &m) != S_OK) break;
    order.push_back(m->name + (m->kind == INVOKE_PROPERTYPUT ? " let" : m->kind == INVOKE_PROPERTYGET ? " get" : ""));
  }
  EXPECT_EQ(order, (Log{"BorderColor get", "BorderColor let", "BorderSize get", "BorderSize let", "Filter get",
                        "Filter let", "MediaFile let", "MediaFile get", "ShowMediaInfo get", "ShowMediaInfo let",
                        "hWnd get", "Duration get", "Duration let", "MediaType get", "MediaType let",
                        "ClipNumber get", "ClipNumber let", "Transition get", "Transition let", "BackStyle get",
                        "BackStyle let", "Enabled get", "Enabled let", "ShowTransitions get", "ShowTransitions let",
                        "AllowDragDrop get", "AllowDragDrop let", "KillTime"}));
  struct Help {
    DISPID id;
    std::string text;
  } helps[] = {
      {kBorderColor, "Returns or assigns the controls border color."},
      {kBorderSize, "Returns or assigns the width of the controls border, in pixels."},
      {kFilter, "Returns or assigns a semi colon delimited filter string for media MediaFile/export.  Similar to the "
                "common dialog filter property.  Valid Filter String Example:  \".avi;.mpg;.bmp\""},
      {kShowMediaInfo, "Returns or assigns a value indicating if the media info is displayed for the given clip."},
      {kHWnd, "Returns a handle (from Microsoft Windows) to an object's window."},
      {kBackStyle, "Returns/sets the border style for an object."},
      {kEnabled, "Returns/sets a value that determines whether an object can respond to user-generated events."},
      {kDuration, ""},
      {kKillTime, ""},
  };
  for (const Help& h : helps) {
    Bstr name, doc;
    ASSERT_EQ(itf->GetDocumentation(h.id, &name, &doc, nullptr, nullptr), S_OK);
    EXPECT_EQ(doc.Utf8(), h.text) << name.Utf8();
  }
  const MemberDesc* last = nullptr;
  itf->GetFuncDesc(27, &last);
  EXPECT_EQ(last->id, static_cast<DISPID>(0x6003000E));
}

TEST_F(TilecardTest, LayoutOfTheWorkedExampleAndAWiderTile) {
  struct Case {
    int widen;
  } cases[] = {{0}, {300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.widen);
    Tile()->Move(0, 0, 2835 + c.widen, 3330);
    const int w = c.widen;
    EXPECT_EQ(Geo("cmbTransitions"), (Box{90, 2955, 2655 + w, Geo("cmbTransitions").height}));
    EXPECT_EQ(Geo("lblDuration"), (Box{90, 2670, 2655 + w, 255}));
    EXPECT_EQ(Geo("txtFullPath"), (Box{90, 2355, 2655 + w, 285}));
    EXPECT_EQ(Geo("lblFrameNo"), (Box{90, 2070, 390, 255}));
    EXPECT_EQ(Geo("lblFileType"), (Box{465, 2070, 2040 + w, 255}));
    EXPECT_EQ(Geo("Image2"), (Box{2505 + w, 2070, 240, 240}));
    EXPECT_EQ(Geo("imgSourceClip"), (Box{90, 225, 2655 + w, 1815}));
  }
  // Hiding the combo keeps the rows above it in place; the getter shows it again.
  Put(kShowTransitions, Variant(false));
  EXPECT_FALSE(Child("cmbTransitions")->isVisible());
  Tile()->Move(0, 0, 2835, 3330);
  EXPECT_EQ(Geo("lblDuration").top, 2670);
  Put(kShowTransitions, Variant(true));
  Child("cmbTransitions")->hide();
  EXPECT_TRUE(Get(kShowTransitions) == Variant(true));
  EXPECT_TRUE(Child("cmbTransitions")->isVisible()) << "the getter applies the flag again";
  // A tile too small for its rows: the first failing assignment ends the layout quietly.
  Tile()->Move(0, 0, 2835, 900);
  EXPECT_EQ(Geo("cmbTransitions").top, 900 - 315 - 60);
  EXPECT_EQ(Geo("imgSourceClip").height, 1815) << "the later steps did not run";
}

TEST_F(TilecardTest, LoadingRealFilesSetsCaptionsTypeThumbnailAndErrors) {
  fixtures::Options o;
  o.seconds = 0.4;
  const std::string avi = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const std::string holiday = media_ + "/Holiday.AVI";
  fs::copy_file(avi, holiday, fs::copy_options::overwrite_existing);
  struct Case {
    std::string path;
    std::string caption;   // the frame's caption
    std::string type;      // lblFileType
    bool mediaError;
    bool picture;          // a thumbnail shows
  } cases[] = {
      {holiday, "holiday.avi", "Windows Movie", false, true},
      {fixtures::Make(fixtures::Kind::Mov, media_, o), "", "QuickTime Movie", false, true},
      {fixtures::Make(fixtures::Kind::Bmp, media_, o), "", "Windows Bitmap", false, true},
      {fixtures::Make(fixtures::Kind::Wav, media_, o), "", "Unsupported", true, false},
      {fixtures::Make(fixtures::Kind::TextAsAvi, media_, o), "", "Windows Movie", true, false},
      {fixtures::Make(fixtures::Kind::TruncatedAvi, media_, o), "", "Windows Movie", false, true},
      {media_ + "/missing.avi", "missing.avi", "", true, false},
      {fixtures::MakeUndecodableAvi(media_), "undecodable.avi", "Windows Movie", false, true},
  };
  // The movie's first frame, at the thumbnail's pixel size (2655 twips -> 177 pixels).
  Load(holiday);
  QImage first = Thumbnail();
  EXPECT_EQ(first.size(), QSize(177, 121));
  EXPECT_EQ(FrameNumber(first), 0);
  QImage file(QString::fromStdString(fs::path(TempFolder()) / "Tilecard.bmp"));
  EXPECT_EQ(file.size(), QSize(177, 121));
  EXPECT_EQ(FrameNumber(file), 0);
  EXPECT_TRUE(fs::exists(fs::path(TILECARD_LIBRARY).parent_path() / "no.bmp"));
  for (Case& c : cases) {
    if (c.caption.empty()) c.caption = LCase(fs::path(c.path).filename().string());
    SCOPED_TRACE(c.path);
    log_.clear();
    Load(c.path);
    const std::string name = fs::path(c.path).filename().string();
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_.front(), "import " + name);
    EXPECT_EQ(log_.size(), c.mediaError ? 2u : 1u);
    if (c.mediaError && log_.size() > 1) {
      EXPECT_NE(log_[1], "error, path " + c.path) << "MediaError comes before the full path";
    }
    EXPECT_EQ(Text<QLineEdit>("txtFullPath"), c.path);
    EXPECT_EQ(Get(kMediaFile).bstr().Utf8(), c.path);
    EXPECT_EQ(Text<QLabel>("lblFileType"), c.type);
    EXPECT_EQ(Child("imgSourceClip")->toolTip().toStdString(), c.caption);
    EXPECT_EQ(Thumbnail().isNull(), !c.picture);
  }
  // A missing file keeps the previous MediaType; the type label goes empty.
  EXPECT_TRUE(Get(kMediaType) == Variant("Windows Movie"));
  Load(media_ + "/missing.avi");
  EXPECT_EQ(Text<QLabel>("lblFileType"), "");
  EXPECT_TRUE(Get(kMediaType) == Variant("Windows Movie"));
  // An empty name raises nothing and clears the face.
  log_.clear();
  Load("");
  EXPECT_TRUE(log_.empty());
  EXPECT_TRUE(Thumbnail().isNull());
  EXPECT_EQ(Child("imgSourceClip")->toolTip().toStdString(), "");
  EXPECT_TRUE(Get(kMediaFile) == Variant(""));
  // A name without any folder leaves the caption empty.
  Load("relative.avi");
  EXPECT_EQ(Child("imgSourceClip")->toolTip().toStdString(), "");
}

// Every completed load leaves the fallback picture as "no.bmp" beside the library: a file that
// already holds it is left as it is (not written again), a missing or altered one is rewritten.
TEST_F(TilecardTest, EveryLoadLeavesTheFallbackCopyWrittenOnlyWhenMissingOrDifferent) {
  const fs::path copy = fs::path(TILECARD_LIBRARY).parent_path() / "no.bmp";
  const std::string wav = fixtures::Make(fixtures::Kind::Wav, media_);
  fs::remove(copy);
  Load(wav);
  ASSERT_TRUE(fs::exists(copy));
  const std::vector<uint8_t> fallback = fixtures::ReadFile(copy.string());
  QImage written(QString::fromStdString(copy.string()));
  EXPECT_EQ(written.size(), QSize(177, 113));
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(copy, old);
  Load(wav);
  Load("");
  EXPECT_EQ(fs::last_write_time(copy), old) << "an unchanged copy is written again";
  // Altered in place to the same size with its time set back: still seen as altered.
  {
    std::vector<uint8_t> same = fallback;
    same.back() ^= 0xFF;
    std::ofstream(copy, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(same.data()), static_cast<std::streamsize>(same.size()));
  }
  fs::last_write_time(copy, old);
  Load(wav);
  EXPECT_EQ(fixtures::ReadFile(copy.string()), fallback) << "a copy altered behind its old time stays altered";
  { std::ofstream(copy, std::ios::binary | std::ios::trunc) << "altered"; }
  Load(wav);
  EXPECT_EQ(fixtures::ReadFile(copy.string()), fallback);
  fs::remove(copy);
  Load("");
  EXPECT_EQ(fixtures::ReadFile(copy.string()), fallback);
}

TEST_F(TilecardTest, ImportFileMayCancelOrReplaceTheName) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string a = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const std::string b = fixtures::Make(fixtures::Kind::Bmp, media_, o);
  Load(a);
  onImport_ = [](std::string&, int16_t& Cancel) { Cancel = -1; };
  Load(b);
  EXPECT_TRUE(Get(kMediaFile) == Variant(a)) << "a cancelled load changes nothing";
  EXPECT_EQ(Text<QLineEdit>("txtFullPath"), a);
  onImport_ = [&](std::string& name, int16_t&) { name = b; };
  Bstr mine("whatever.avi");
  InvokeDispatch(Ext(), kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &mine)});
  EXPECT_EQ(mine.Utf8(), b) << "the replacement reaches the caller's variable";
  EXPECT_TRUE(Get(kMediaFile) == Variant(b));
  EXPECT_EQ(Text<QLabel>("lblFileType"), "Windows Bitmap");
}

TEST_F(TilecardTest, TransitionChooserAndFaceMembers) {
  QWidget* cw = Child("cmbTransitions");
  auto* combo = qobject_cast<QComboBox*>(cw) ? qobject_cast<QComboBox*>(cw) : cw->findChild<QComboBox*>();
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->count(), 38);
  EXPECT_EQ(combo->itemText(0).toStdString(), "None");
  EXPECT_EQ(combo->itemText(1).toStdString(), "Barn");
  EXPECT_TRUE(Get(kTransition) == Variant("None"));
  struct Case {
    const char* name;
    size_t events;
  } cases[] = {{"Fade", 2}, {"Fade", 1}, {"Crossfade", 2}};
  for (const Case& c : cases) {
    log_.clear();
    Put(kTransition, Variant(c.name));
    EXPECT_EQ(log_.size(), c.events) << c.name;
    EXPECT_EQ(combo->currentText().toStdString(), c.name);
    EXPECT_TRUE(Get(kTransition) == Variant(c.name));
  }
  struct Shown {
    DISPID id;
    Variant value;
    const char* label;
    std::string text;
  } shown[] = {{kClipNumber, Variant(int32_t{12}), "lblFrameNo", "12"},
               {kClipNumber, Variant(int32_t{-3}), "lblFrameNo", "-3"},
               {kDuration, Variant(5.0), "lblDuration", "5"},
               {kDuration, Variant(2.5), "lblDuration", "2.5"}};
  for (const Shown& s : shown) {
    Put(s.id, s.value);
    EXPECT_EQ(Text<QLabel>(s.label), s.text);
    EXPECT_TRUE(Get(s.id) == s.value);
  }
  Put(kBorderSize, Variant(5.0f));
  EXPECT_TRUE(Get(kBorderSize) == Variant(0.0f));
  Put(kBorderColor, Variant(int32_t{0x404040}));
  EXPECT_TRUE(Get(kBorderColor) == Variant(int32_t{0x404040}));
  Put(kShowMediaInfo, Variant(false));
  EXPECT_FALSE(Child("fraFixture")->isVisible());
  Put(kShowMediaInfo, Variant(true));
  EXPECT_TRUE(Child("fraFixture")->isVisible());
  Put(kBackStyle, Variant(int16_t{1}));
  EXPECT_TRUE(Get(kBackStyle) == Variant(int16_t{1}));
  Put(kEnabled, Variant(false));
  EXPECT_TRUE(Get(kEnabled) == Variant(false));
  Put(kAllowDragDrop, Variant(true));
  EXPECT_TRUE(Get(kAllowDragDrop) == Variant(true));
  // A failing setter is an automation error to a late-bound caller; a trapping one is quiet.
  EXPECT_EQ(ErrorOf([&] { Put(kClipNumber, Variant("twelve")); }), 13);
  double none = 0;
  InvokeDispatch(Ext(), kKillTime, DISPATCH_METHOD, {Variant::ByRef(VT_R8, &none)});
}

TEST_F(TilecardTest, PersistenceReadsTheBagAndWritesOnlyInDesignMode) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  for (bool userMode : {true, false}) {
    SCOPED_TRACE(userMode);
    Log log;
    TestForm f("frmBag", [&](TestForm& f) {
      f.Place({{kProgId, "tile", -1, "", 0, 0, 2835, 3330, "",
                {{"MediaFile", Variant(movie)}, {"Filter", Variant(".avi")}, {"BorderStyle", Variant(int16_t{1})}}}});
    });
    SetAmbientUserMode(f, userMode);
    f.On("tile_ImportFile", [&](std::string& name, int16_t&) { log.push_back(fs::path(name).filename().string()); });
    f.Load();
    EXPECT_EQ(log, (Log{fs::path(movie).filename().string()})) << "the persisted file loads with the form";
    auto* host = static_cast<ActiveXHost*>(f.FindControl("tile"));
    EXPECT_TRUE(CallByName(host->DispatchObject(), "Filter", DISPATCH_PROPERTYGET) == Variant(".avi"));
    EXPECT_TRUE(CallByName(host->DispatchObject(), "BackStyle", DISPATCH_PROPERTYGET) == Variant(int16_t{1}));
    CallByName(host->DispatchObject(), "BorderSize", DISPATCH_PROPERTYPUT, {Variant(3.0f)});
    PropertyList saved = host->SaveProperties();
    std::vector<std::string> keys;
    for (const auto& [k, v] : saved) keys.push_back(k);
    if (userMode) {
      EXPECT_TRUE(keys.empty());
    } else {
      EXPECT_EQ(keys, (Log{"Filter", "MediaFile", "BorderStyle"})) << "defaults (BorderSize 0, ShowMediaInfo) stay out";
    }
    f.Unload();
  }
}

// A property bag that logs the keys read and written, in order.
class LoggingBag : public ComObject<IPropertyBag> {
 public:
  explicit LoggingBag(PropertyList list) : inner_(CreateMemoryPropertyBag(std::move(list))) {}
  Log reads, writes;
  HRESULT Read(const char16_t* name, Variant* value, IUnknown* errorLog) override {
    reads.push_back(Utf16ToUtf8(name));
    return inner_->Read(name, value, errorLog);
  }
  HRESULT Write(const char16_t* name, const Variant* value) override {
    writes.push_back(Utf16ToUtf8(name));
    return inner_->Write(name, value);
  }

 private:
  ComPtr<IPropertyBag> inner_;
};

TEST_F(TilecardTest, TheBagIsReadAndWrittenInTheControlsOwnOrder) {
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(static_cast<ActiveXHost*>(Tile())->Object()->QueryInterface(IPersistPropertyBag::iid, persist.put_void()), S_OK);
  const std::string absent = media_ + "/absent.avi";
  // The bag holds the keys in another order than the control reads them.
  auto in = MakeComObject<LoggingBag>(PropertyList{{"BorderStyle", Variant(int16_t{1})},
                                                    {"ShowMediaInfo", Variant(false)},
                                                    {"BorderSize", Variant(3.0f)},
                                                    {"BorderColor", Variant(int32_t{0x404040})},
                                                    {"Filter", Variant(".avi")},
                                                    {"MediaFile", Variant(absent)}});
  ASSERT_EQ(persist->Load(in.Get(), nullptr), S_OK);
  EXPECT_EQ(in->reads, (Log{"MediaFile", "Filter", "BorderColor", "BorderSize", "ShowMediaInfo", "BorderStyle"}));
  struct Read {
    DISPID id;
    Variant value;
  } values[] = {{kMediaFile, Variant(absent)},         {kFilter, Variant(".avi")},
                {kBorderColor, Variant(int32_t{0x404040})}, {kBorderSize, Variant(0.0f)},
                {kShowMediaInfo, Variant(false)},      {kBackStyle, Variant(int16_t{1})}};
  for (const Read& r : values) EXPECT_TRUE(Get(r.id) == r.value) << std::hex << r.id << " = " << CStr(Get(r.id));
  // Saved in a designer: in the write order, every value but BorderSize (0, its default) stored.
  SetAmbientUserMode(*form_, false);
  auto out = MakeComObject<LoggingBag>(PropertyList{});
  EXPECT_EQ(persist->Save(out.Get(), true, false), S_OK);
  SetAmbientUserMode(*form_, true);
  EXPECT_EQ(out->writes, (Log{"Filter", "MediaFile", "BorderColor", "BorderStyle", "ShowMediaInfo"}));
}

TEST_F(TilecardTest, DroppedFilesMatchTheFilterAndTheThumbnailAsksAllowDragDrop) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string clip = media_ + "/clip.MOV";
  fs::copy_file(fixtures::Make(fixtures::Kind::Mov, media_, o), clip, fs::copy_options::overwrite_existing);
  const std::string notes = media_ + "/my.avi.files/notes.txt";
  fs::create_directories(fs::path(notes).parent_path());
  std::ofstream(notes) << "notes";
  struct Case {
    const char* filter;
    std::vector<std::string> files;
    int32_t effect;
    std::string kept;
  } cases[] = {
      {"", {media_ + "/readme.txt", clip}, 1, clip},
      {"", {notes}, 1, notes},
      {"", {media_ + "/holiday.wmv"}, 0, ""},
      {";;", {clip}, 0, ""},
      {".MOV", {clip}, 1, clip},
      {"", {}, 0, ""},
  };
  QWidget* thumb = Child("imgSourceClip");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.filter) + " " + (c.files.empty() ? "" : c.files[0]));
    Bstr f(c.filter);
    InvokeDispatch(Ext(), kFilter, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &f)});
    QMimeData mime;
    QList<QUrl> urls;
    for (const auto& p : c.files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    urls.push_back(QUrl("https://example.com/remote.avi"));  // not a file
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(thumb, &enter);
    QDragMoveEvent move(QPoint(6, 6), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(thumb, &move);
    EXPECT_EQ(move.isAccepted() && move.dropAction() == Qt::CopyAction, c.effect == 1);
    for (bool allow : {false, true}) {
      if (c.effect == 0 && allow) break;
      Put(kAllowDragDrop, Variant(allow));
      Load("");
      if (allow) {
        QDragEnterEvent again(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(thumb, &again);
      }
      QDropEvent drop(QPointF(7, 7), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(thumb, &drop);
      EXPECT_EQ(Get(kMediaFile).bstr().Utf8(), allow ? c.kept : "") << "AllowDragDrop " << allow;
    }
  }
}

TEST_F(TilecardTest, RenderedOffscreenTheTileShowsTheLayoutAndTheFirstFrame) {
  fixtures::Options o;
  o.seconds = 0.2;
  o.width = 320;
  o.height = 240;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  Load(movie);
  ComPtr<IViewObject> view;
  static_cast<ActiveXHost*>(Tile())->Object()->QueryInterface(IViewObject::iid, view.put_void());
  ASSERT_TRUE(view);
  const std::string png = fixtures::ScratchFolder("render") + "/tile.png";
  Bstr path(png);
  ASSERT_EQ(view->DrawToFile(DVASPECT_CONTENT, path.Utf16().c_str(), 189, 222), S_OK);
  QImage img(QString::fromStdString(png));
  ASSERT_EQ(img.size(), QSize(189, 222)) << "2835 x 3330 twips";
  // The thumbnail sits at 90, 225 (twips) in the frame, 177 x 121 pixels, showing frame 0.
  QPoint origin = Child("imgSourceClip")->mapTo(Child("imgSourceClip")->window(), QPoint(0, 0));
  EXPECT_EQ(origin.y(), Child("fraFixture")->mapTo(Child("fraFixture")->window(), QPoint(0, 0)).y() + 15 +
                            (Child("imgSourceClip")->parentWidget()->mapTo(Child("fraFixture"), QPoint(0, 0)).y()));
  QImage thumb = img.copy(origin.x(), origin.y(), 177, 121);
  EXPECT_EQ(FrameNumber(thumb), 0);
}

TEST_F(TilecardTest, ATileUnloadedByItsOwnMediaErrorFinishesItsLoadSafely) {
  // The storyboard's rebuild: loaded elements whose file fails go inside their own setter.
  Log log;
  form_->On("ctrlSourceClip_MediaError", [&](int16_t Index) {
    log.push_back("error " + std::to_string(Index));
    if (Index > 0) CtlArray<Control>(form_.get(), "ctrlSourceClip").Unload(Index);
  });
  for (int16_t i = 1; i <= 3; ++i) {
    Control& tile = form_->LoadElement("ctrlSourceClip", i);
    ComPtr<IDispatch> ext(tile.DispatchObject());
    Bstr name(media_ + "/gone" + std::to_string(i) + ".avi");
    InvokeDispatch(ext.Get(), kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &name)});
    EXPECT_EQ(form_->FindControl("ctrlSourceClip", i), nullptr);
  }
  DoEvents();
  EXPECT_EQ(log, (Log{"error 1", "error 2", "error 3"}));
  EXPECT_EQ(form_->ElementIndexes("ctrlSourceClip"), (std::vector<int16_t>{0}));
}

TEST_F(TilecardTest, KillTimePumpsMessagesAndAZeroWaitReturnsAtOnce) {
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  double none = 0;
  InvokeDispatch(Ext(), kKillTime, DISPATCH_METHOD, {Variant::ByRef(VT_R8, &none)});
  EXPECT_FALSE(ran) << "a wait of 0 pumps nothing";
  double some = 0.05;
  InvokeDispatch(Ext(), kKillTime, DISPATCH_METHOD, {Variant::ByRef(VT_R8, &some)});
  EXPECT_TRUE(ran);
  EXPECT_EQ(some, 0.05) << "the by-reference argument is not written back";
}

TEST_F(TilecardTest, AnotherProcessCreatesTheTileByProgIdAndReadsItsTypeInformation) {
  const std::string out = fixtures::ScratchFolder("client") + "/out.txt";
  const std::string cmd = std::string("'") + TILECARD_CLIENT + "' >'" + out + "' 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << fixtures::ReadFile(out).size();
  std::vector<uint8_t> bytes = fixtures::ReadFile(out);
  std::string text(bytes.begin(), bytes.end());
  for (const char* line : {"interface _MediaClip\n", "BorderColor get 0x6803000D\n", "MediaFile let 0x6803000A\n",
                           "AllowDragDrop let 0x68030000\n", "KillTime method 0x6003000E\n",
                           "Filter=\n" /* a new instance before any load: empty */}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
}

TEST_F(TilecardTest, AWaitAcrossMidnightEnds) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 10;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 59;
  t.tm_isdst = -1;
  auto now = std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(900);
  int reads = 0;
  ClockFunction previous = SetClockForTesting([&] {
    ++reads;
    return now += std::chrono::milliseconds(20);
  });
  double wait = 0.5;
  InvokeDispatch(Ext(), kKillTime, DISPATCH_METHOD, {Variant::ByRef(VT_R8, &wait)});
  SetClockForTesting(previous);
  EXPECT_GE(reads, 25);
  EXPECT_LT(reads, 40) << "the wait ends half a second after it began, across midnight";
}

TEST_F(TilecardTest, LoadsInterleavedThroughThePumpShowTheirOwnPictures) {
  fixtures::Options small;
  small.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, small);
  const std::string still = fixtures::Make(fixtures::Kind::Gif, media_, small);
  Control& other = form_->LoadElement("ctrlSourceClip", 1);
  other.Move(3000, 0, 2835, 3330);
  other.Visible(true);
  auto thumbOf = [](Control& tile) {
    HWND h = static_cast<HWND>(CallByName(tile.DispatchObject(), "hWnd", DISPATCH_PROPERTYGET).i4());
    return WidgetFromHwnd(h)->findChild<QWidget*>("imgSourceClip")->grab().toImage();
  };
  // Each alone first, for reference.
  Load(still);
  QImage stillAlone = thumbOf(*Tile());
  Load(movie);
  QImage movieAlone = thumbOf(*Tile());
  ASSERT_NE(stillAlone, movieAlone);
  // The second tile's load runs inside the first one's message pumping.
  Load("");
  bool ran = false;
  QTimer::singleShot(0, [&] {
    Bstr name(still);
    InvokeDispatch(other.DispatchObject(), kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &name)});
    ran = true;
  });
  Load(movie);
  EXPECT_TRUE(ran);
  EXPECT_EQ(thumbOf(*Tile()), movieAlone) << "the first tile shows its own movie";
  EXPECT_EQ(thumbOf(other), stillAlone) << "the second tile shows its own picture";
}

TEST_F(TilecardTest, ClicksOnTheFrameAndThumbnailRaiseClickAndTheGlyphMenuClick) {
  form_->On("ctrlSourceClip_Click", [this](int16_t Index) { log_.push_back("click " + std::to_string(Index)); });
  form_->On("ctrlSourceClip_MenuClick", [this](int16_t) { log_.push_back("menu"); });
  struct Case {
    const char* child;
    Log expected;
  } cases[] = {{"imgSourceClip", {"click 0"}}, {"fraFixture", {"click 0"}}, {"Image2", {"menu"}},
               {"lblFrameNo", {}}, {"lblDuration", {}}};
  for (const Case& c : cases) {
    log_.clear();
    QWidget* w = Child(c.child);
    ASSERT_NE(w, nullptr) << c.child;
    QPoint at(3, 3);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &release);
    EXPECT_EQ(log_, c.expected) << c.child;
  }
}

// A container's property-change sink that records the notifications and may refuse the MediaType
// one, so that the load's type step fails while the error report is in force.
class RefusingSink : public ComObject<IPropertyNotifySink> {
 public:
  HRESULT code = S_OK;
  std::string description;
  std::vector<DISPID> changed;
  HRESULT OnChanged(DISPID id) override {
    changed.push_back(id);
    if (id != kMediaType || code == S_OK) return S_OK;
    return description.empty() ? code : ReportError(code, description);
  }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }
};

TEST_F(TilecardTest, TheErrorReportAfterAGrabOfAnUndecodableCodecChoosesItsBoxByTheFailure) {
  const std::string movie = fixtures::MakeUndecodableAvi(media_);
  auto sink = MakeComObject<RefusingSink>();
  ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(Tile())->Object();
  DWORD cookie = ConnectEvents(obj.Get(), IPropertyNotifySink::iid, sink.Get());
  const std::string damaged = "The file " + movie + " is damaged and has caused a DirectX failure.\r\nPlease end this application now.";
  const std::string noFrame = "The file " + movie +
                              " does not contain a frame reference.\r\nPlease convert the file to a supported format.";
  const std::string slow = "The codec is too slow to return a preview frame.\r\nA thumbnail for this clip will not be available.";
  struct Case {
    HRESULT code;
    std::string description;
    int clockStep;  // seconds per clock reading; 0: the real clock
    std::string prompt;
    int flags;
    std::string title;
  } cases[] = {
      {VFW_E_CANNOT_CONNECT, "", 0, "The selected clip is too small to display in the frame preview.", 0, "Tilecard"},
      {VFW_E_TIME_EXPIRED, "", 3, damaged, 16, "DirectX - Tilecard"},
      {VFW_E_TIME_EXPIRED, "", 0, noFrame, 64, "DirectX - Tilecard"},
      {E_FAIL, "", 0, slow, 0, "Tilecard"},
      {E_FAIL, "The container refuses", 0, "The container refuses", 0, "Tilecard"},
  };
  // Without a failure the undecodable movie shows the fallback picture and no box.
  Load(movie);
  EXPECT_FALSE(Thumbnail().isNull());
  EXPECT_EQ(Text<QLineEdit>("txtFullPath"), movie);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prompt);
    Load("");
    ASSERT_EQ(Text<QLineEdit>("txtFullPath"), "");
    sink->code = c.code;
    sink->description = c.description;
    ClockFunction previous;
    auto now = std::chrono::system_clock::now();
    if (c.clockStep) previous = SetClockForTesting([&] { return now += std::chrono::seconds(c.clockStep); });
    ScriptScope script;
    script->AnswerMsgBox(vbOK);
    Load(movie);
    if (c.clockStep) SetClockForTesting(previous);
    sink->code = S_OK;
    ASSERT_EQ(script->MsgBoxes().size(), 1u);
    EXPECT_EQ(script->MsgBoxes()[0].prompt, c.prompt);
    EXPECT_EQ(script->MsgBoxes()[0].buttons, c.flags);
    EXPECT_EQ(script->MsgBoxes()[0].title, c.title);
    EXPECT_EQ(Text<QLineEdit>("txtFullPath"), "") << "the steps after the failing one do not run";
    EXPECT_TRUE(Get(kMediaFile) == Variant(movie));
  }
  DisconnectEvents(obj.Get(), IPropertyNotifySink::iid, cookie);
}

// The setters of the host's run-time members tell the container which property changed; the
// persisted ones stay silent. BorderColor is the control's background.
TEST_F(TilecardTest, NotifyingAndSilentSettersAndTheBorderColorBackground) {
  auto sink = MakeComObject<RefusingSink>();
  ComPtr<IUnknown> obj = static_cast<ActiveXHost*>(Tile())->Object();
  DWORD cookie = ConnectEvents(obj.Get(), IPropertyNotifySink::iid, sink.Get());
  using Ids = std::vector<DISPID>;
  struct Case {
    DISPID id;
    Variant value;
    Ids notified;
  } cases[] = {
      {kDuration, Variant(2.5), {kDuration}},
      {kMediaType, Variant("AVI"), {kMediaType}},
      {kClipNumber, Variant(int32_t{4}), {kClipNumber}},
      {kTransition, Variant("Fade"), {kTransition, kTransition}},  // the combo's change handler nests one
      {kTransition, Variant("Fade"), {kTransition}},
      {kBackStyle, Variant(int16_t{1}), {kBackStyle}},
      {kEnabled, Variant(false), {kEnabled}},
      {kEnabled, Variant(true), {kEnabled}},
      {kShowTransitions, Variant(false), {kShowTransitions}},
      {kAllowDragDrop, Variant(true), {kAllowDragDrop}},
      {kBorderColor, Variant(int32_t{0x0000FF}), {}},
      {kBorderSize, Variant(2.0f), {}},
      {kFilter, Variant(".avi"), {}},
      {kMediaFile, Variant(""), {}},
      {kShowMediaInfo, Variant(false), {}},
  };
  for (const Case& c : cases) {
    sink->changed.clear();
    Put(c.id, c.value);
    EXPECT_EQ(sink->changed, c.notified) << std::hex << c.id << " = " << CStr(c.value);
  }
  DisconnectEvents(obj.Get(), IPropertyNotifySink::iid, cookie);
  // With the face hidden the control shows only its background, in the border colour (red and
  // blue tell the colour's byte order).
  ASSERT_FALSE(Child("fraFixture")->isVisible());
  QWidget* surface = WidgetFromHwnd(static_cast<HWND>(Get(kHWnd).i4()));
  ASSERT_NE(surface, nullptr);
  auto background = [&] { return QColor(surface->grab().toImage().pixel(surface->width() / 2, surface->height() / 2)); };
  struct Colour {
    int32_t border;
    QColor shown;
  } colours[] = {{0x0000FF, QColor(255, 0, 0)}, {0xFF0000, QColor(0, 0, 255)}, {0x404040, QColor(0x40, 0x40, 0x40)}};
  for (const Colour& c : colours) {
    Put(kBorderColor, Variant(c.border));
    EXPECT_TRUE(PumpUntil([&] { return background() == c.shown; }))
        << std::hex << c.border << " shows " << background().name().toStdString();
    EXPECT_TRUE(Get(kBorderColor) == Variant(c.border));
  }
}

// The loads' own bitmaps left in the temp folder (every one but "Tilecard.bmp").
int ThumbnailLeftovers() {
  int n = 0;
  for (const auto& e : fs::directory_iterator(TempFolder())) {
    const std::string name = e.path().filename().string();
    if (name.rfind("Tilecard.", 0) == 0 && name != "Tilecard.bmp") ++n;
  }
  return n;
}

// With the error report in force (a grab that cannot connect), a failing rename over
// "Tilecard.bmp" ends the load with its box and still removes the load's own bitmap.
TEST_F(TilecardTest, ALoadEndedByItsErrorReportBeforeTheRenameLeavesNoBitmapBehind) {
  const std::string movie = fixtures::MakeUndecodableAvi(media_);
  const fs::path shared = fs::path(TempFolder()) / "Tilecard.bmp";
  fs::remove_all(shared);
  fs::create_directories(shared / "blocked");  // a folder in the way: the rename fails
  ScriptScope script;
  script->AnswerMsgBox(vbOK);
  Load(movie);
  fs::remove_all(shared);
  ASSERT_EQ(script->MsgBoxes().size(), 1u) << "the rename's failure is reported";
  EXPECT_EQ(script->MsgBoxes()[0].title, "Tilecard");
  EXPECT_EQ(ThumbnailLeftovers(), 0) << "the load's own bitmap stayed in the temp folder";
  Load(movie);
  EXPECT_TRUE(fs::is_regular_file(shared)) << "the next load renames its bitmap as before";
  EXPECT_EQ(ThumbnailLeftovers(), 0);
}

// Whatever stands at "Tilecard.bmp" (an earlier thumbnail, a link to a file of the user's) is
// replaced by the load's thumbnail itself: the file a link named keeps its bytes.
TEST_F(TilecardTest, TheThumbnailReplacesWhatStandsAtItsNameAndNeverWritesThroughALink) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const fs::path kept = fs::path(TempFolder()) / "Tilecard.bmp";
  const std::string elsewhere = media_ + "/letter.txt";
  std::ofstream(elsewhere) << "Dear user";
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link" : "an earlier thumbnail");
    fs::remove(kept);
    if (link) {
      fs::create_symlink(elsewhere, kept);
    } else {
      std::ofstream(kept) << "BM earlier";
    }
    Load(movie);
    EXPECT_FALSE(fs::is_symlink(kept));
    EXPECT_EQ(FrameNumber(QImage(QString::fromStdString(kept.string()))), 0);
    EXPECT_EQ(fixtures::ReadFile(elsewhere), (std::vector<uint8_t>{'D', 'e', 'a', 'r', ' ', 'u', 's', 'e', 'r'}));
    EXPECT_EQ(ThumbnailLeftovers(), 0);
  }
}

// A grab that fails with another code than "cannot connect" shows the fallback picture: neither an
// earlier load's thumbnail nor the bitmap the failed grab left on disk. The load stays quiet.
TEST_F(TilecardTest, AGrabFailingWithAnotherCodeShowsTheFallbackNotTheEarlierThumbnail) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const std::string other = media_ + "/other.avi";
  fs::copy_file(movie, other, fs::copy_options::overwrite_existing);
  // The fallback as the tile shows it (an undecodable movie grabs nothing).
  Load(fixtures::MakeUndecodableAvi(media_));
  const QImage fallback = Thumbnail();
  ASSERT_FALSE(fallback.isNull());
  const fs::path temp = TempFolder();
  for (const char* code : {"0x80004005", "0x8004025F", "0x80070005"}) {
    SCOPED_TRACE(code);
    Load(movie);
    const QImage earlier = Thumbnail();
    ASSERT_EQ(FrameNumber(earlier), 0);
    ASSERT_NE(earlier, fallback);
    const std::vector<uint8_t> kept = fixtures::ReadFile((temp / "Tilecard.bmp").string());
    ScriptScope script;
    log_.clear();
    setenv("TILECARD_GRAB_FAILURE", code, 1);
    Load(other);
    unsetenv("TILECARD_GRAB_FAILURE");
    EXPECT_EQ(Thumbnail(), fallback) << "the earlier load's thumbnail still shows";
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_EQ(log_, Log{"import other.avi"});
    EXPECT_EQ(Text<QLineEdit>("txtFullPath"), other);
    EXPECT_EQ(Text<QLabel>("lblFileType"), "Windows Movie");
    EXPECT_EQ(ThumbnailLeftovers(), 0) << "the failed grab's bitmap is left in the temp folder";
    EXPECT_EQ(fixtures::ReadFile((temp / "Tilecard.bmp").string()), kept) << "a failed grab replaced Tilecard.bmp";
  }
  // Without the seam the same file grabs its frame again.
  Load(other);
  EXPECT_EQ(FrameNumber(Thumbnail()), 0);
}

bool SetImmutable(const fs::path& folder, bool on) { return fixtures::SetImmutable(folder.string(), on); }

// The library in a folder that cannot be written, not even by root (the tests run as root, so
// permissions alone would not stop a write): the fallback copy "no.bmp" cannot be left beside
// it, and loads stay quiet all the same: no box, no other event, every later step done.
TEST_F(TilecardTest, ALibraryInAFolderThatCannotBeWrittenLoadsQuietlyWithoutItsFallbackCopy) {
  const fs::path folder = fixtures::ScratchFolder("readonly-library");
  const fs::path library = folder / "Tilecard.so", copy = folder / "no.bmp";
  SetImmutable(folder, false);  // a run that crashed may have left the flag
  fs::remove(copy);
  fs::copy_file(TILECARD_LIBRARY, library, fs::copy_options::overwrite_existing);
  const char* bin = std::getenv("SUITE_BIN_DIR");
  auto regsvr = [&](const std::string& path) {
    return std::system((std::string(bin ? bin : ".") + "/regsvr /s '" + path + "'").c_str());
  };
  if (!SetImmutable(folder, true)) GTEST_SKIP() << "no immutable flag on this file system";
  struct Restore {
    std::function<void()> run;
    ~Restore() { run(); }
  } restore{[&] {
    SetImmutable(folder, false);
    regsvr(TILECARD_LIBRARY);
  }};
  ASSERT_FALSE(std::ofstream(folder / "probe.txt")) << "the folder can still be written";
  ASSERT_EQ(regsvr(library.string()), 0);

  fixtures::Options o;
  o.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const std::string wav = fixtures::Make(fixtures::Kind::Wav, media_, o);
  {
    Log log;
    TestForm form("frmReadOnly", [](TestForm& f) {
      f.Size(4000, 4000);
      f.Place({{kProgId, "ctrlSourceClip", 0, "", 0, 0, 2835, 3330, ""}});
    });
    form.On("ctrlSourceClip_ImportFile", [&log](int16_t, std::string& bstrFileName, int16_t&) {
      log.push_back("import " + fs::path(bstrFileName).filename().string());
    });
    form.On("ctrlSourceClip_MediaError", [&log](int16_t) { log.push_back("error"); });
    form.Show();
    IDispatch* tile = form.FindControl("ctrlSourceClip", 0)->DispatchObject();
    QWidget* surface = WidgetFromHwnd(static_cast<HWND>(InvokeDispatch(tile, kHWnd, DISPATCH_PROPERTYGET).i4()));
    ASSERT_NE(surface, nullptr);
    auto load = [&](const std::string& path) {
      Bstr name(path);
      InvokeDispatch(tile, kMediaFile, DISPATCH_PROPERTYPUT, {Variant::ByRef(VT_BSTR, &name)});
    };
    auto fullPath = [&] { return surface->findChild<QWidget*>("txtFullPath")->findChild<QLineEdit*>(); };
    ScriptScope script;
    load(wav);
    load(movie);
    EXPECT_TRUE(script->MsgBoxes().empty());
    EXPECT_EQ(log, (Log{"import " + fs::path(wav).filename().string(), "error",
                        "import " + fs::path(movie).filename().string()}));
    QLineEdit* box = fullPath() ? fullPath() : qobject_cast<QLineEdit*>(surface->findChild<QWidget*>("txtFullPath"));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), movie) << "the steps after the fallback copy did not run";
    EXPECT_FALSE(fs::exists(copy));
    // Once the folder can be written again, the next load leaves the copy there, which also shows
    // the tile was made from the library in that folder. (The program folder's own copy is no
    // witness: other test programs running at the same time load the library from there.)
    SetImmutable(folder, false);
    load(wav);
    EXPECT_TRUE(fs::exists(copy)) << "the tile is not the copy in that folder";
    form.Unload();
  }
}

TEST_F(TilecardTest, ANewInstanceTakesItsInitialPropertiesOnlyInDesignMode) {
  for (bool userMode : {true, false}) {
    SCOPED_TRACE(userMode);
    SetAmbientUserMode(*form_, userMode);
    ControlSite site{form_.get(), "ctlNew", -1, nullptr, kProgId};
    ActiveXHost tile(site);
    auto get = [&](DISPID id) { return InvokeDispatch(tile.DispatchObject(), id, DISPATCH_PROPERTYGET); };
    EXPECT_TRUE(get(kFilter) == Variant(userMode ? "" : ".avi;.mov;.mpg;.mpeg;.bmp;.jpg;.jpeg;.gif"));
    EXPECT_TRUE(get(kShowMediaInfo) == Variant(!userMode));
    EXPECT_TRUE(get(kMediaFile) == Variant(""));
    EXPECT_TRUE(get(kTransition) == Variant("None")) << "the combo's filling sets the transition";
  }
  SetAmbientUserMode(*form_, true);
}

}  // namespace

// A load killed between the grab and the rename leaves its own bitmap: the next load removes the
// bitmaps of processes that no longer run, and keeps those of a running one.
TEST_F(TilecardTest, BitmapsOfKilledLoadsAreRemovedByTheNextLoad) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const fs::path temp = TempFolder();
  const std::string ended = std::to_string(fixtures::EndedProcessId());
  const std::string running = std::to_string(::getppid());
  struct Case {
    std::string name;
    bool stays;
  } cases[] = {
      {"Tilecard." + ended + "-1f.bmp", false},
      {"Tilecard." + ended + "-9a3c77e0b2d41f65.bmp", false},
      {"Tilecard." + running + "-2b.bmp", true},  // a load of a running process
      {"Tilecard.notes.bmp", true},               // not a load's bitmap
  };
  for (const Case& c : cases) {
    std::ofstream(temp / c.name) << "BM";
  }
  Load(movie);
  for (const Case& c : cases) {
    EXPECT_EQ(fs::exists(temp / c.name), c.stays) << c.name;
    fs::remove(temp / c.name);
  }
  EXPECT_EQ(FrameNumber(Thumbnail()), 0);
  EXPECT_EQ(ThumbnailLeftovers(), 0);
}

// Another user holds every fixed name of the private temp folder: the thumbnail is still grabbed,
// into a folder of the user's own. Where no temp folder can be had at all, the load stays quiet and
// writes no bitmap anywhere else (never "/Tilecard.<pid>-<hex>.bmp", nothing in the current folder).
TEST_F(TilecardTest, ThumbnailsStayInAFolderOfTheUsersOwnWhenOthersHoldTheTempNames) {
  fixtures::Options o;
  o.seconds = 0.2;
  const std::string movie = fixtures::Make(fixtures::Kind::AviMjpegPcm, media_, o);
  const std::string current = fixtures::ScratchFolder("current");
  const fs::path before = fs::current_path();
  fs::current_path(current);
  const auto tilecardFilesInRoot = [] {
    int n = 0;
    for (const auto& e : fs::directory_iterator("/"))
      if (e.path().filename().string().rfind("Tilecard.", 0) == 0) ++n;
    return n;
  };
  for (const bool noFolder : {false, true}) {
    SCOPED_TRACE(noFolder ? "no temp folder at all" : "every fixed name taken");
    const int inRoot = tilecardFilesInRoot();
    {
      fixtures::TempNamesTaken taken(noFolder);
      ScriptScope script;
      Load(movie);
      EXPECT_TRUE(script->MsgBoxes().empty());
      if (!noFolder) {
        EXPECT_EQ(FrameNumber(Thumbnail()), 0);
        const fs::path folder = TempFolder();
        EXPECT_EQ(folder.string().rfind(taken.Tmpdir() + "/", 0), 0u) << folder;
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
        EXPECT_EQ(FrameNumber(QImage(QString::fromStdString((folder / "Tilecard.bmp").string()))), 0);
      }
    }
    EXPECT_TRUE(fs::is_empty(current)) << "nothing in the current folder";
    EXPECT_EQ(tilecardFilesInRoot(), inRoot) << "nothing in /";
  }
  fs::current_path(before);
}
