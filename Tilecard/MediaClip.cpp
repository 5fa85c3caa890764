// MediaClip: one tile of the storyboard (thumbnail, captions, transition chooser, file drops).
#include "MediaClip.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "com/dispatch.h"
#include "com/server.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "des/mediadet.h"
#include "engine/modDexterProbe.h"
#include "engine/modDexterTransitions.h"
#include "engine/modGeneral.h"
#include "forms/app.h"
#include "forms/controls.h"
#include "forms/oledrop.h"
#include "forms/respicture.h"
#include "forms/usercontrol.h"
#include "shell/files.h"
#include "TilecardResources.h"

using namespace tilecard;

namespace {

constexpr const char* kDefaultFilter = ".avi;.mov;.mpg;.mpeg;.bmp;.jpg;.jpeg;.gif";
constexpr const char* kTitle = "Tilecard";
constexpr const char* kDirectXTitle = "DirectX - Tilecard";
constexpr double kSecondsPerDay = 86400;

// A trapping member: a failure is discarded and the member returns success.
template <class F>
void Trapped(F&& body) {
  if (!EndQuietly(std::forward<F>(body))) Err().Clear();
}

// Seconds between two readings of the seconds-since-midnight clock, across a midnight.
double Elapsed(double from, double to) {
  double d = to - from;
  if (d < 0) d = d < -kSecondsPerDay / 2 ? d + kSecondsPerDay : 0;
  return d;
}

std::string ModuleFolder() {
  const std::string& path = ThisComServer().ModulePath();
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The type text of a file's extension ("" for a missing file or an empty path).
std::string GetMediaTypeName(const std::string& path) {
  bool exists = !path.empty() && modGeneral::FileExists(path);
  if (path.empty() || !exists) return "";
  size_t dot = path.find_last_of('.');
  std::string ext = LCase(dot == std::string::npos ? path : path.substr(dot + 1));
  struct Row {
    const char* ext;
    const char* text;
  } static constexpr rows[] = {{"avi", "Windows Movie"},   {"mov", "QuickTime Movie"},    {"mpg", "MPEG Movie"},
                               {"mpeg", "MPEG Movie"},     {"bmp", "Windows Bitmap"},     {"jpg", "JPEG Bitmap"},
                               {"jpeg", "JPEG Bitmap"},    {"gif", "Compuserve Bitmap"},  {"wmv", "Windows Media Video"}};
  for (const Row& r : rows)
    if (ext == r.ext) return r.text;
  return "Unsupported";
}

// The fallback picture and the menu glyph are the same for every tile: decoded once. Pictures
// are values that never change, so the tiles share them.
const Picture& FallbackPicture() {
  static const Picture* picture = new Picture(LoadPictureFromBytes(FallbackPictureBytes()));
  return *picture;
}
const Picture& MenuGlyph() {
  static const Picture* picture = new Picture(LoadPictureFromBytes(MenuIconBytes()));
  return *picture;
}

// A regular file's bytes (a FIFO or a device at that name gives none, without waiting).
std::vector<uint8_t> FileBytes(const std::string& path) {
  try {
    return ReadFileBytes(path, uint64_t{64} << 20);
  } catch (const VBError&) {
    return {};
  }
}

// The identity of a file's present contents: any write, rename or replacement since changes it
// (the change time is the kernel's own and cannot be set back).
struct FileStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;
  timespec mtime{}, ctime{};
  static FileStamp Of(const std::string& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    return s;
  }
  bool operator==(const FileStamp& o) const {
    return size >= 0 && dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
           mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

// Leaves the picture saved as a bitmap file at path. The file is written when it is missing or
// holds anything else than this picture's last save; otherwise it already is what a save would
// write, and the load does not write the same bytes again. A file untouched since that save (the
// same stamp) is not read again; one touched since is compared byte for byte.
void KeepPictureFile(const Picture& picture, const std::string& path) {
  struct Saved {
    std::string path;
    Picture picture;
    std::vector<uint8_t> bytes;
    FileStamp stamp;
  };
  static Saved* saved = new Saved;
  if (picture && saved->picture == picture && saved->path == path && !saved->bytes.empty()) {
    const FileStamp now = FileStamp::Of(path);
    if (now == saved->stamp) return;
    if (FileBytes(path) == saved->bytes) {
      saved->stamp = now;
      return;
    }
  }
  saved->bytes.clear();
  saved->stamp = FileStamp();
  SavePicture(picture, path);
  saved->path = path;
  saved->picture = picture;
  saved->bytes = FileBytes(path);
  saved->stamp = FileStamp::Of(path);
}

// A thumbnail file of this load alone, created exclusively (owner-only) in the temp folder.
// A test's seam: TILECARD_GRAB_FAILURE (an HRESULT, e.g. 0x80004005) makes every frame grab report
// that failure after the detector has run, so its bitmap file is on disk as a failed grab may
// leave it. Unset or not a failure code, the detector's own result stands.
HRESULT GrabResult(HRESULT detector) {
  const char* forced = std::getenv("TILECARD_GRAB_FAILURE");
  if (!forced || !*forced) return detector;
  const auto code = static_cast<HRESULT>(std::strtoul(forced, nullptr, 0));
  return FAILED(code) ? code : detector;
}

// A load's own bitmap: the name Tilecard.<pid>-<unique>.bmp, made new (never through a link) to
// claim it and removed again, so that the grab's bitmap arrives where nothing stands: on common
// Linux file systems a rename over a file, even an empty one, writes the new file out to the
// disk at once, which costs a load more than all of its other bookkeeping. The private temporary folder is this
// user's alone, so the name stays free. The ones that processes killed during a load left
// behind go first. 76 without a temporary folder.
std::string NewThumbnailFile(const std::string& temp) {
  if (temp.empty()) Raise(vbErrPathNotFound);
  const std::string own = NewSideFile(temp + "Tilecard.", ".bmp");
  Kill(own);
  return own;
}

// Leaves the load's bitmap as the temporary folder's "Tilecard.bmp". The earlier one is removed
// first rather than renamed over (the disk write above); a folder in its place stays and fails
// the rename.
void KeepThumbnail(const std::string& own, const std::string& temp) {
  const std::string kept = temp + "Tilecard.bmp";
  Trapped([&] {
    if (PathExists(kept)) Kill(kept);
  });
  ReplaceFile(own, kept);
}

class MediaClip : public UserControlObject<_MediaClip> {
 public:
  MediaClip()
      : UserControlObject({"MediaClip", kLibId, kMajor, kMinor, kClsidMediaClip, kIidMediaClip, {kIidMediaClipV0},
                           kDiidMediaClipEvents, {kDiidMediaClipEventsV0}, kMiscStatus}) {
    BindDispatch();
    BindHandlers();
  }

  // ---- _MediaClip ----
  HRESULT get_BorderColor(OLE_COLOR* v) override { return Out(v, [&] { *v = borderColor_; }); }
  HRESULT put_BorderColor(OLE_COLOR* v) override {
    if (!v) return E_POINTER;
    Trapped([&] {
      borderColor_ = *v;
      if (BackColor() != *v) BackColor(*v);
    });
    return S_OK;
  }
  HRESULT get_BorderSize(float* v) override { return Out(v, [&] { *v = borderSize_; }); }
  HRESULT put_BorderSize(float*) override { return S_OK; }  // the width is not used
  HRESULT get_Filter(Bstr* v) override { return Out(v, [&] { *v = Bstr(filter_); }); }
  HRESULT put_Filter(Bstr* v) override {
    if (!v) return E_POINTER;
    Trapped([&] { filter_ = v->Utf8(); });
    return S_OK;
  }
  HRESULT put_MediaFile(Bstr* v) override {
    if (!v) return E_POINTER;
    std::string name = v->Utf8();
    LoadMedia(name);
    *v = Bstr(name);
    return S_OK;
  }
  HRESULT get_MediaFile(Bstr* v) override { return Out(v, [&] { *v = Bstr(mediaFile_); }); }
  HRESULT get_ShowMediaInfo(VARIANT_BOOL* v) override {
    return Out(v, [&] { *v = showMediaInfo_ ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HRESULT put_ShowMediaInfo(VARIANT_BOOL* v) override {
    if (!v) return E_POINTER;
    Trapped([&] {
      showMediaInfo_ = *v != 0;
      fraFixture->Visible(showMediaInfo_);
      Layout();
    });
    return S_OK;
  }
  HRESULT get_hWnd(int32_t* v) override { return Plain(v, [&] { *v = static_cast<int32_t>(hWnd()); }); }
  HRESULT get_Duration(double* v) override { return Out(v, [&] { *v = duration_; }); }
  HRESULT put_Duration(double v) override {
    return Plain([&] {
      duration_ = v;
      PropertyChanged("Duration");
      lblDuration->Caption(CStr(Variant(v)));
    });
  }
  HRESULT get_MediaType(Bstr* v) override { return Out(v, [&] { *v = Bstr(mediaType_); }); }
  HRESULT put_MediaType(const Bstr& v) override {
    return Plain([&] {
      mediaType_ = v.Utf8();
      PropertyChanged("MediaType");
    });
  }
  HRESULT get_ClipNumber(int32_t* v) override { return Out(v, [&] { *v = clipNumber_; }); }
  HRESULT put_ClipNumber(int32_t v) override {
    return Plain([&] {
      clipNumber_ = v;
      PropertyChanged("ClipNumber");
      lblFrameNo->Caption(std::to_string(v));
    });
  }
  HRESULT get_Transition(Bstr* v) override { return Out(v, [&] { *v = Bstr(transition_); }); }
  HRESULT put_Transition(const Bstr& v) override { return Plain([&] { SetTransition(v.Utf8()); }); }
  HRESULT get_BackStyle(int16_t* v) override { return Plain(v, [&] { *v = imgSourceClip->BorderStyle(); }); }
  HRESULT put_BackStyle(int16_t v) override {
    return Plain([&] {
      imgSourceClip->BorderStyle(v);
      PropertyChanged("BackStyle");
    });
  }
  HRESULT get_Enabled(VARIANT_BOOL* v) override {
    return Plain(v, [&] { *v = Form::Enabled() ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HRESULT put_Enabled(VARIANT_BOOL v) override {
    return Plain([&] {
      Form::Enabled(v != 0);
      PropertyChanged("Enabled");
    });
  }
  HRESULT get_ShowTransitions(VARIANT_BOOL* v) override {
    return Plain(v, [&] {
      cmbTransitions->Visible(showTransitions_);
      *v = showTransitions_ ? VARIANT_TRUE : VARIANT_FALSE;
    });
  }
  HRESULT put_ShowTransitions(VARIANT_BOOL v) override {
    return Plain([&] {
      showTransitions_ = v != 0;
      cmbTransitions->Visible(showTransitions_);
      PropertyChanged("ShowTransitions");
    });
  }
  HRESULT get_AllowDragDrop(VARIANT_BOOL* v) override {
    return Out(v, [&] { *v = allowDragDrop_ ? VARIANT_TRUE : VARIANT_FALSE; });
  }
  HRESULT put_AllowDragDrop(VARIANT_BOOL v) override {
    return Plain([&] {
      allowDragDrop_ = v != 0;
      PropertyChanged("AllowDragDrop");
    });
  }
  HRESULT KillTime(double* seconds) override {
    if (!seconds) return E_POINTER;
    return Plain([&] {
      // The clock restarts at midnight: the wait adds up the steps between readings.
      double wait = static_cast<float>(*seconds);
      double elapsed = 0;
      double last = Timer();
      while (static_cast<float>(elapsed) < static_cast<float>(wait)) {
        DoEvents();
        double now = Timer();
        elapsed += Elapsed(last, now);
        last = now;
      }
    });
  }

 protected:
  void Design() override {
    Place({
        {"Frame", "fraFixture", -1, "", 0, 0, 2835, 3330, "File Name (Empty)"},
        {"Image", "imgSourceClip", -1, "fraFixture", 45, 225, 2655, 1695, "", {{"OLEDropMode", Variant(int16_t{1})}}},
        {"Label", "lblFrameNo", -1, "fraFixture", 90, 2040, 390, 255, "1"},
        {"Label", "lblFileType", -1, "fraFixture", 465, 2040, 1875, 255, "Media Type"},
        {"Image", "Image2", -1, "fraFixture", 2400, 2040, 240, 240, "", {{"ToolTipText", Variant("Click for Menu")}}},
        {"TextBox", "txtFullPath", -1, "fraFixture", 90, 2310, 2610, 285, "Path",
         {{"BackColor", Variant(static_cast<int32_t>(0x8000000F))}}},
        {"Label", "lblDuration", -1, "fraFixture", 90, 2625, 2610, 255, "Size/Duration"},
        {"ComboBox", "cmbTransitions", -1, "fraFixture", 90, 2910, 2625, 315, "Transition",
         {{"BackColor", Variant(static_cast<int32_t>(0x8000000F))}, {"ToolTipText", Variant("Default Transition")}}},
        {"Image", "Image1", -1, "", 3285, 2835, 2655, 1695, "", {{"Visible", Variant(false)}}},
    });
    const char* order[] = {"fraFixture", "cmbTransitions", "txtFullPath", "lblDuration", "lblFrameNo", "lblFileType"};
    for (int16_t i = 0; i < 6; ++i) FindControl(order[i])->TabIndex(i);
    Image1->SetPicture(FallbackPicture());
    Image2->SetPicture(MenuGlyph());
  }

 private:
  template <class T, class F>
  static HRESULT Out(T* v, F&& body) {
    if (!v) return E_POINTER;
    Trapped(std::forward<F>(body));
    return S_OK;
  }
  template <class T, class F>
  static HRESULT Plain(T* v, F&& body) {
    if (!v) return E_POINTER;
    return ComCall(std::forward<F>(body), "Tilecard.MediaClip");
  }
  template <class F>
  static HRESULT Plain(F&& body) {
    return ComCall(std::forward<F>(body), "Tilecard.MediaClip");
  }

  void BindDispatch() {
    auto boolOf = [](bool b) { return Variant(b); };
    Dispatch()
        .Get(kBorderColor, [this](DispatchArgs&) {
          OLE_COLOR c = 0;
          CheckWithInfo(get_BorderColor(&c));
          return Variant(static_cast<int32_t>(c));
        })
        .Put(kBorderColor, [this](DispatchArgs& a) {
          OLE_COLOR c = static_cast<OLE_COLOR>(a.Long(0));
          CheckWithInfo(put_BorderColor(&c));
          return Variant();
        })
        .Get(kBorderSize, [this](DispatchArgs&) {
          float f = 0;
          CheckWithInfo(get_BorderSize(&f));
          return Variant(f);
        })
        .Put(kBorderSize, [this](DispatchArgs& a) {
          float f = a.Single(0);
          CheckWithInfo(put_BorderSize(&f));
          return Variant();
        })
        .Get(kFilter, [this](DispatchArgs&) {
          Bstr s;
          CheckWithInfo(get_Filter(&s));
          return Variant(s);
        })
        .Put(kFilter, [this](DispatchArgs& a) {
          Bstr s = a.BString(0);
          CheckWithInfo(put_Filter(&s));
          return Variant();
        })
        .Put(kMediaFile, [this](DispatchArgs& a) {
          Bstr s = a.BString(0);
          CheckWithInfo(put_MediaFile(&s));
          a.Set(0, Variant(s));  // the one by-reference setter that writes back
          return Variant();
        })
        .Get(kMediaFile, [this](DispatchArgs&) {
          Bstr s;
          CheckWithInfo(get_MediaFile(&s));
          return Variant(s);
        })
        .Get(kShowMediaInfo, [this, boolOf](DispatchArgs&) {
          VARIANT_BOOL b = 0;
          CheckWithInfo(get_ShowMediaInfo(&b));
          return boolOf(b != 0);
        })
        .Put(kShowMediaInfo, [this](DispatchArgs& a) {
          VARIANT_BOOL b = a.Bool(0) ? VARIANT_TRUE : VARIANT_FALSE;
          CheckWithInfo(put_ShowMediaInfo(&b));
          return Variant();
        })
        .Get(kHWnd, [this](DispatchArgs&) {
          int32_t h = 0;
          CheckWithInfo(get_hWnd(&h));
          return Variant(h);
        })
        .Get(kDuration, [this](DispatchArgs&) {
          double d = 0;
          CheckWithInfo(get_Duration(&d));
          return Variant(d);
        })
        .Put(kDuration, [this](DispatchArgs& a) {
          CheckWithInfo(put_Duration(a.Double(0)));
          return Variant();
        })
        .Get(kMediaType, [this](DispatchArgs&) {
          Bstr s;
          CheckWithInfo(get_MediaType(&s));
          return Variant(s);
        })
        .Put(kMediaType, [this](DispatchArgs& a) {
          CheckWithInfo(put_MediaType(a.BString(0)));
          return Variant();
        })
        .Get(kClipNumber, [this](DispatchArgs&) {
          int32_t n = 0;
          CheckWithInfo(get_ClipNumber(&n));
          return Variant(n);
        })
        .Put(kClipNumber, [this](DispatchArgs& a) {
          CheckWithInfo(put_ClipNumber(a.Long(0)));
          return Variant();
        })
        .Get(kTransition, [this](DispatchArgs&) {
          Bstr s;
          CheckWithInfo(get_Transition(&s));
          return Variant(s);
        })
        .Put(kTransition, [this](DispatchArgs& a) {
          CheckWithInfo(put_Transition(a.BString(0)));
          return Variant();
        })
        .Get(kBackStyle, [this](DispatchArgs&) {
          int16_t s = 0;
          CheckWithInfo(get_BackStyle(&s));
          return Variant(s);
        })
        .Put(kBackStyle, [this](DispatchArgs& a) {
          CheckWithInfo(put_BackStyle(a.Integer(0)));
          return Variant();
        })
        .Get(kEnabled, [this, boolOf](DispatchArgs&) {
          VARIANT_BOOL b = 0;
          CheckWithInfo(get_Enabled(&b));
          return boolOf(b != 0);
        })
        .Put(kEnabled, [this](DispatchArgs& a) {
          CheckWithInfo(put_Enabled(a.Bool(0) ? VARIANT_TRUE : VARIANT_FALSE));
          return Variant();
        })
        .Get(kShowTransitions, [this, boolOf](DispatchArgs&) {
          VARIANT_BOOL b = 0;
          CheckWithInfo(get_ShowTransitions(&b));
          return boolOf(b != 0);
        })
        .Put(kShowTransitions, [this](DispatchArgs& a) {
          CheckWithInfo(put_ShowTransitions(a.Bool(0) ? VARIANT_TRUE : VARIANT_FALSE));
          return Variant();
        })
        .Get(kAllowDragDrop, [this, boolOf](DispatchArgs&) {
          VARIANT_BOOL b = 0;
          CheckWithInfo(get_AllowDragDrop(&b));
          return boolOf(b != 0);
        })
        .Put(kAllowDragDrop, [this](DispatchArgs& a) {
          CheckWithInfo(put_AllowDragDrop(a.Bool(0) ? VARIANT_TRUE : VARIANT_FALSE));
          return Variant();
        })
        .Method(kKillTime, [this](DispatchArgs& a) {
          double d = a.Double(0);
          CheckWithInfo(KillTime(&d));
          return Variant();
        });
  }

  void BindHandlers() {
    On("UserControl_Initialize", [this] { FillTransitions(cmbTransitions.Name()); });
    On("UserControl_Resize", [this] { Layout(); });
    On("UserControl_InitProperties", [this] {
      Trapped([&] {
        if (Ambient().UserMode()) return;
        OLE_COLOR c = 0;
        put_BorderColor(&c);
        float s = 0;
        put_BorderSize(&s);
        imgSourceClip->BorderStyle(0);
        Bstr f(kDefaultFilter);
        put_Filter(&f);
        Bstr m("");
        put_MediaFile(&m);
        VARIANT_BOOL show = VARIANT_TRUE;
        put_ShowMediaInfo(&show);
      });
    });
    On("UserControl_ReadProperties", [this](Variant PropBag) {
      Trapped([&] {
        PropertyBag bag(PropBag);
        Bstr m(CStr(bag.ReadProperty("MediaFile", Variant(""))));
        put_MediaFile(&m);
        Bstr f(CStr(bag.ReadProperty("Filter", Variant(kDefaultFilter))));
        put_Filter(&f);
        OLE_COLOR c = static_cast<OLE_COLOR>(CLng(bag.ReadProperty("BorderColor", Variant(int32_t{0}))));
        put_BorderColor(&c);
        float s = CSng(bag.ReadProperty("BorderSize", Variant(0.0f)));
        put_BorderSize(&s);
        VARIANT_BOOL show = CBool(bag.ReadProperty("ShowMediaInfo", Variant(true))) ? VARIANT_TRUE : VARIANT_FALSE;
        put_ShowMediaInfo(&show);
        imgSourceClip->BorderStyle(CInt(bag.ReadProperty("BorderStyle", Variant(int32_t{0}))));
      });
    });
    On("UserControl_WriteProperties", [this](Variant PropBag) {
      Trapped([&] {
        if (Ambient().UserMode()) return;
        PropertyBag bag(PropBag);
        bag.WriteProperty("Filter", Variant(filter_), Variant(kDefaultFilter));
        bag.WriteProperty("MediaFile", Variant(mediaFile_), Variant(""));
        bag.WriteProperty("BorderColor", Variant(static_cast<int32_t>(borderColor_)), Variant(int32_t{0}));
        bag.WriteProperty("BorderSize", Variant(borderSize_), Variant(0.0f));
        bag.WriteProperty("BorderStyle", Variant(imgSourceClip->BorderStyle()), Variant(int16_t{0}));
        bag.WriteProperty("ShowMediaInfo", Variant(showMediaInfo_), Variant(true));
      });
    });
    auto comboChanged = [this] { SetTransition(cmbTransitions->Text()); };
    On("cmbTransitions_Change", comboChanged);
    On("cmbTransitions_Click", comboChanged);
    On("fraFixture_Click", [this] { RaiseEvent(kClick); });
    On("imgSourceClip_Click", [this] { RaiseEvent(kClick); });
    On("Image2_Click", [this] { RaiseEvent(kMenuClick); });
    On("lblFileType_Change", [this] {
      std::string caption = lblFileType->Caption();
      if (!caption.empty()) CheckWithInfo(put_MediaType(Bstr(caption)));
    });
    // Files dropped from other programs.
    auto dragOver = [this](Variant Data, int32_t& Effect, int16_t, int16_t, float, float, int16_t) {
      CheckDroppedFiles(Data, Effect);
    };
    On("UserControl_OLEDragOver", dragOver);
    On("fraFixture_OLEDragOver", dragOver);
    On("imgSourceClip_OLEDragOver", dragOver);
    auto drop = [this](Variant Data, int32_t&, int16_t, int16_t, float, float) { ImportDroppedFile(Data); };
    On("UserControl_OLEDragDrop", drop);
    On("fraFixture_OLEDragDrop", drop);
    On("imgSourceClip_OLEDragDrop", [this](Variant Data, int32_t&, int16_t, int16_t, float, float) {
      Trapped([&] {
        if (allowDragDrop_) ImportDroppedFile(Data);
      });
    });
  }

 public:
  // The drag-over decision: the first file whose path holds an entry of the filter (letter case
  // aside) is offered as a copy, and the drag's list is reduced to it.
  void CheckDroppedFiles(const Variant& data, int32_t& effect) {
    effect = vbDropEffectNone;
    Trapped([&] {
      std::string list = filter_.empty() ? std::string(kDefaultFilter) : filter_;
      std::vector<std::string> entries;
      size_t start = 0;
      for (;;) {
        size_t semi = list.find(';', start);
        entries.push_back(list.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        if (semi == std::string::npos) break;
        start = semi + 1;
      }
      DataObjectFiles& files = DataObjectOf(data).Files();
      const int32_t n = files.Count();
      for (int32_t i = 1; i <= n; ++i) {
        std::string path = LCase(files.Item(i));
        for (const std::string& entry : entries) {
          if (entry.empty() || path.find(LCase(entry)) == std::string::npos) continue;
          effect = vbDropEffectCopy;
          std::string take = files.Item(i);
          files.Clear();
          files.Add(take);
          return;
        }
      }
    });
  }
  void ImportDroppedFile(const Variant& data) {
    Trapped([&] {
      Bstr name(DataObjectOf(data).Files().Item(1));
      put_MediaFile(&name);
    });
  }

 private:
  // FillTransitions: "None", then the transition names, and "None" shown (only a combo box).
  void FillTransitions(const std::string& controlName) {
    Trapped([&] {
      auto* combo = dynamic_cast<ComboBox*>(FindControl(controlName));
      if (!combo || LCase(combo->TypeName()) != "combobox") return;
      combo->AddItem("None");
      for (const TransitionName& t : TransitionNames) combo->AddItem(t.DisplayName);
      combo->Text("None");
    });
  }

  void SetTransition(const std::string& name) {
    transition_ = name;
    PropertyChanged("Transition");
    cmbTransitions->Text(name);
    RaiseEvent(kTransitionChanged);
  }

  // The layout of the face, in single precision; the first failing assignment ends it.
  void Layout() {
    Trapped([&] {
      auto set = [](Control& c, void (Control::*member)(int32_t), float v, bool size) {
        if (size && v < 0) ::Raise(vbErrInvalidPropertyValue);
        (c.*member)(static_cast<int32_t>(std::lround(v)));
      };
      const float W = static_cast<float>(Width());
      const float H = static_cast<float>(Height());
      Control& fra = *fraFixture;
      Control& cmb = *cmbTransitions;
      Control& dur = *lblDuration;
      Control& path = *txtFullPath;
      Control& no = *lblFrameNo;
      Control& type = *lblFileType;
      Control& glyph = *Image2;
      Control& thumb = *imgSourceClip;
      using C = Control;
      set(fra, &C::Width, W, true);
      set(fra, &C::Height, H, true);
      set(cmb, &C::Top, H - static_cast<float>(cmb.Height()) - 60.0f, false);
      set(cmb, &C::Width, W - 2.0f * static_cast<float>(cmb.Left()), true);
      set(dur, &C::Top, static_cast<float>(cmb.Top()) - static_cast<float>(dur.Height()) - 30.0f, false);
      set(dur, &C::Width, static_cast<float>(cmb.Width()), true);
      set(path, &C::Top, static_cast<float>(dur.Top()) - static_cast<float>(path.Height()) - 30.0f, false);
      set(path, &C::Width, static_cast<float>(dur.Width()), true);
      set(no, &C::Top, static_cast<float>(path.Top()) - static_cast<float>(no.Height()) - 30.0f, false);
      set(type, &C::Top, static_cast<float>(no.Top()), false);
      set(type, &C::Width, W - static_cast<float>(type.Left()) - 90.0f - static_cast<float>(glyph.Width()), true);
      set(glyph, &C::Top, static_cast<float>(type.Top()), false);
      set(glyph, &C::Left, static_cast<float>(type.Left()) + static_cast<float>(type.Width()), false);
      set(thumb, &C::Top, 225.0f, false);
      set(thumb, &C::Left, static_cast<float>(cmb.Left()), false);
      set(thumb, &C::Width, static_cast<float>(cmb.Width()), true);
      set(thumb, &C::Height, static_cast<float>(type.Top()) - static_cast<float>(thumb.Top()) - 30.0f, true);
    });
  }

  void Captions(const std::string& name) {
    size_t slash = name.find_last_of('/');
    std::string caption = slash == std::string::npos ? std::string() : Trim(LCase(name.substr(slash + 1)));
    fraFixture->Caption(caption);
    fraFixture->ToolTipText(caption);
    imgSourceClip->ToolTipText(caption);
  }

  // The MediaFile setter: ImportFile, the thumbnail, captions, type, MediaError, full path.
  void LoadMedia(std::string& name) {
    bool report = false;  // the error report, in force once a grab failed with 0x80040217
    double t0 = 0, t1 = 0;
    bool ended = false;
    // Runs one step: ignored on failure, or (with the report in force) ends the load with a box.
    auto step = [&](auto&& body) {
      if (ended) return;
      if (!report) {
        if (!Step(body)) Err().Clear();
        return;
      }
      try {
        body();
      } catch (const VBError& e) {
        ended = true;
        Report(e, name, t0, t1);
      }
    };
    std::string temp;
    step([&] {
      temp = GetTempFolder();
      // No temporary folder: no thumbnail file either (never one named without its folder).
      if (!temp.empty() && temp.back() != '/') temp += "/";
    });
    VARIANT_BOOL cancel = VARIANT_FALSE;
    if (!name.empty()) {
      Bstr b(name);
      step([&] { RaiseEvent(kImportFile, {Variant::ByRef(VT_BSTR, &b), Variant::ByRef(VT_BOOL, &cancel)}); });
      name = b.Utf8();
    }
    if (cancel == VARIANT_TRUE) return;
    mediaFile_ = name;
    bool video = false;
    bool noVideo = false;
    bool tested = HasVideoStreamReadBack(name);
    video = !name.empty() && tested;
    ComPtr<IMediaDet> det;
    std::string own;  // this load's thumbnail file
    if (video) {
      step([&] {
        Check(CoCreateInstance(CLSID_MediaDet, nullptr, CLSCTX_INPROC_SERVER, IMediaDet::iid, det.put_void()));
        Check(det->put_Filename(Bstr(name)));
      });
      HRESULT grab = S_OK;
      step([&] {
        t0 = Timer();
        Screen().MousePointer(11);
      });
      step([&] {
        own = NewThumbnailFile(temp);
        if (!det) ::Raise(vbErrObjectNotSet);
        auto pixels = [](int32_t twips, float perPixel) {
          return static_cast<int16_t>(std::nearbyint(static_cast<float>(twips) / perPixel));
        };
        const LONG w = pixels(imgSourceClip->Width(), Screen().TwipsPerPixelX());
        const LONG h = pixels(imgSourceClip->Height(), Screen().TwipsPerPixelY());
        grab = GrabResult(det->WriteBitmapBits(0.0, w, h, Bstr(own)));
      });
      step([&] {
        DoEvents();
        t1 = Timer();
        Screen().MousePointer(0);
      });
      if (grab == VFW_E_CANNOT_CONNECT) {
        report = true;
        step([&] {
          CreateNewFile(own);     // the grab wrote nothing there: the name is the load's again
          CreatedFile held(own);  // the load's own file, never a link planted at its name
          SavePicture(Image1->GetPicture(), held.Name());
        });
      } else if (FAILED(grab) && !own.empty()) {
        // Another grab failure: no thumbnail of this load, so the fallback shows (never an
        // earlier file's picture).
        Trapped([&] { Kill(own); });
      }
      step([&] {
        if (!own.empty() && modGeneral::FileExists(own)) {
          Picture p = LoadPicture(own);
          if (p) imgSourceClip->SetPicture(p);
          KeepThumbnail(own, temp);
        } else {
          imgSourceClip->SetPicture(Image1->GetPicture());
        }
      });
      step([&] { Captions(name); });
    } else if (name.empty()) {
      step([&] { imgSourceClip->SetPicture(Picture()); });
      step([&] { Captions(""); });
    } else {
      noVideo = true;
      step([&] { imgSourceClip->SetPicture(LoadPicture("")); });
      step([&] { Captions(name); });
    }
    step([&] { lblFileType->Caption(GetMediaTypeName(name)); });
    if (noVideo) step([&] { RaiseEvent(kMediaError); });
    step([&] { txtFullPath->Text(name); });
    det = nullptr;
    step([&] { KeepPictureFile(Image1->GetPicture(), ModuleFolder() + "/no.bmp"); });
    // This load's own bitmap never stays behind: renamed, or removed here, also when a reported
    // failure ended the load before the rename.
    if (!own.empty()) Trapped([&] {
        if (modGeneral::FileExists(own)) Kill(own);
      });
  }

  void Report(const VBError& e, const std::string& name, double t0, double t1) {
    Trapped([&] {
      const HRESULT code = static_cast<HRESULT>(e.Number());
      // t0 and t1 are whole seconds (halves to even), as the clock's readings were stored.
      const double took = Elapsed(std::nearbyint(t0), std::nearbyint(t1));
      if (code == VFW_E_CANNOT_CONNECT) {
        MsgBox("The selected clip is too small to display in the frame preview.", 0, kTitle);
      } else if (code == VFW_E_TIME_EXPIRED && took > 2) {
        MsgBox("The file " + name + " is damaged and has caused a DirectX failure.\r\nPlease end this application now.",
               16, kDirectXTitle);
      } else if (code == VFW_E_TIME_EXPIRED) {
        MsgBox("The file " + name +
                   " does not contain a frame reference.\r\nPlease convert the file to a supported format.",
               64, kDirectXTitle);
      } else {
        DoEvents();
        if (LCase(e.Description()) == "automation error") {
          MsgBox("The codec is too slow to return a preview frame.\r\nA thumbnail for this clip will not be available.",
                 0, kTitle);
          imgSourceClip->Visible(true);
          imgSourceClip->SetPicture(Image1->GetPicture());
        } else {
          MsgBox(e.Description(), 0, kTitle);
        }
      }
    });
  }

  Ctl<Frame> fraFixture{this, "fraFixture"};
  Ctl<Image> imgSourceClip{this, "imgSourceClip"};
  Ctl<Label> lblFrameNo{this, "lblFrameNo"};
  Ctl<Label> lblFileType{this, "lblFileType"};
  Ctl<Image> Image2{this, "Image2"};
  Ctl<TextBox> txtFullPath{this, "txtFullPath"};
  Ctl<Label> lblDuration{this, "lblDuration"};
  Ctl<ComboBox> cmbTransitions{this, "cmbTransitions"};
  Ctl<Image> Image1{this, "Image1"};

  std::string filter_;
  OLE_COLOR borderColor_ = 0;
  std::string mediaFile_;
  float borderSize_ = 0;
  bool showMediaInfo_ = false;
  bool allowDragDrop_ = false;
  bool showTransitions_ = false;
  std::string transition_;
  int32_t clipNumber_ = 0;
  std::string mediaType_;
  double duration_ = 0;
};

}  // namespace

SUITE_COM_SERVER(tilecard::Description(), {
    ServerClass::Of<MediaClip>(tilecard::Registration()),
})
