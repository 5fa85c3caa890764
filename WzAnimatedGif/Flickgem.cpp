// Flickgem: the animated-GIF control. It walks a GIF's blocks, cuts every frame into a one-image
// GIF that the picture loader decodes, composes the frames in a back buffer (disposal, colour
// key) and plays them on its timer.
#include "Flickgem.h"

#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "GifFile.h"
#include "Resources.h"
#include "com/com.h"
#include "com/dispatch.h"
#include "com/propertypages.h"
#include "com/server.h"
#include "core/error.h"
#include "core/msgbox.h"
#include "core/runtime.h"
#include "forms/app.h"
#include "forms/commondialog.h"
#include "forms/controls.h"
#include "forms/gdi.h"
#include "forms/picture_object.h"
#include "forms/usercontrol.h"
#include "shell/files.h"
#include "shell/system.h"

using namespace flickgem;

namespace {

constexpr const char* kSource = "WzAnimatedGif.Flickgem";
constexpr OLE_COLOR kButtonFace = 0x8000000F;
constexpr OLE_COLOR kWhite = 0xFFFFFF;

template <class F>
void Trapped(F&& body) {
  if (!EndQuietly(std::forward<F>(body))) Err().Clear();
}

// The current time of day as a DATE with a zero date part.
double TimeOfDay() { return CDbl(Time()); }

COLORREF TranslateColor(OLE_COLOR c) {
  COLORREF rgb = (c & 0x80000000u) ? GetSysColor(static_cast<int32_t>(c & 0xFFFFFF)) : c;
  HDC screen = GetDC(0);
  COLORREF nearest = GetNearestColor(screen, rgb);
  ReleaseDC(0, screen);
  return nearest;
}

void FillWith(HDC dc, int32_t w, int32_t h, OLE_COLOR c) {
  HBRUSH brush = CreateSolidBrush(TranslateColor(c));
  RECT r{0, 0, w, h};
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

class Flickgem : public UserControlObject<_Flickgem> {
 public:
  Flickgem()
      : UserControlObject({"Flickgem", kLibId, kMajor, kMinor, kClsidFlickgem, kIidFlickgem, {},
                           kDiidFlickgemEvents, {}, kMiscStatus}) {
    BindDispatch();
    BindHandlers();
  }

  // ---- _Flickgem ----
  HRESULT get_NumberofFrames(int32_t* v) override { return Get(v, [&] { *v = numberofFrames_; }); }
  HRESULT put_NumberofFrames(int32_t* v) override {
    if (!v) return E_POINTER;
    return Call([&] { numberofFrames_ = *v; });
  }
  HRESULT ClearImage() override { return Call([&] { DoClearImage(); }); }
  HRESULT get_Picture(IPictureDisp** v) override {
    return Get(v, [&] { *v = PictureObject(GetPicture()).Detach(); });
  }
  HRESULT putref_Picture(IPictureDisp** v) override {
    if (!v) return E_POINTER;
    return Call([&] {
      SetPicture(PictureFromObject(*v));
      PropertyChanged("Picture");
    });
  }
  HRESULT get_BorderStyle(int16_t* v) override { return Get(v, [&] { *v = UserControl::BorderStyle(); }); }
  HRESULT put_BorderStyle(int16_t v) override {
    return Call([&] {
      UserControl::BorderStyle(v);
      PropertyChanged("BorderStyle");
    });
  }
  HRESULT Refresh() override { return Call([&] { UserControl::Refresh(); }); }
  HRESULT get_GifFileName(Bstr* v) override { return Get(v, [&] { *v = Bstr(gifFileName_); }); }
  HRESULT put_GifFileName(const Bstr& v) override { return Call([&] { SetGifFileName(v.Utf8()); }); }
  HRESULT ShowGifImage(int32_t* n, VARIANT* result) override {
    if (!n) return E_POINTER;
    if (result) *result = Variant();
    return Call([&] { DoShowGifImage(*n); });
  }
  HRESULT get_AutoSize(VARIANT_BOOL* v) override { return Get(v, [&] { *v = autoSize_ ? VARIANT_TRUE : VARIANT_FALSE; }); }
  HRESULT put_AutoSize(VARIANT_BOOL v) override {
    return Call([&] {
      autoSize_ = v != 0;
      PropertyChanged("AutoSize");
    });
  }
  HRESULT get_AutoPlay(VARIANT_BOOL* v) override { return Get(v, [&] { *v = autoPlay_ ? VARIANT_TRUE : VARIANT_FALSE; }); }
  HRESULT put_AutoPlay(VARIANT_BOOL v) override {
    return Call([&] {
      autoPlay_ = v != 0;
      PropertyChanged("AutoPlay");
    });
  }
  HRESULT LoadFile(Bstr* name, VARIANT* result) override {
    if (result) *result = Variant();
    std::string file = name ? name->Utf8() : std::string();
    return Call([&] { LoadRoad(file); });
  }
  HRESULT get_Appearance(int16_t* v) override { return Get(v, [&] { *v = UserControl::Appearance(); }); }
  HRESULT put_Appearance(int16_t v) override {
    return Call([&] {
      UserControl::Appearance(v);
      PropertyChanged("Appearance");
    });
  }
  HRESULT StartPlay(VARIANT* result) override {
    if (result) *result = Variant();
    return Call([&] { BeginPlay(); });
  }
  HRESULT StopPlay() override { return Call([&] { DoStopPlay(); }); }
  HRESULT get_ImageBackColor(OLE_COLOR* v) override { return Get(v, [&] { *v = imageBackColor_; }); }
  HRESULT put_ImageBackColor(OLE_COLOR v) override {
    return Call([&] {
      imageBackColor_ = v;
      PropertyChanged("ImageBackColor");
    });
  }
  HRESULT get_BackColor(OLE_COLOR* v) override { return Get(v, [&] { *v = backColor_; }); }
  HRESULT put_BackColor(OLE_COLOR v) override { return Call([&] { SetBackColor(v); }); }
  HRESULT get_NumberOfPlays(int32_t* v) override { return Get(v, [&] { *v = numberOfPlays_; }); }
  HRESULT put_NumberOfPlays(int32_t v) override {
    return Call([&] {
      numberOfPlays_ = v;
      PropertyChanged("NumberOfPlays");
    });
  }

 protected:
  // The control's property pages: General.
  HRESULT QueryOther(REFIID riid, void** ppv) override {
    if (riid == ISpecifyPropertyPages::iid) {
      pages_.AddRef();
      *ppv = static_cast<ISpecifyPropertyPages*>(&pages_);
      return S_OK;
    }
    return UserControlObject::QueryOther(riid, ppv);
  }

  void Design() override {
    Place({
        {"Timer", "Timer1", -1, "", 0, 0, 0, 0, "", {{"Interval", Variant(int32_t{0})}, {"Enabled", Variant(true)}}},
        {"Image", "Image1", -1, "", 0, 0, 480, 480, "", {{"Visible", Variant(false)}}},
        {"CommonDialog", "CommonDialog1", -1, "", 0, 0, 0, 0, ""},
    });
    ScaleMode(vbPixels);
  }

 private:
  template <class T, class F>
  static HRESULT Get(T* v, F&& body) {
    if (!v) return E_POINTER;
    return ComCall(std::forward<F>(body), kSource);
  }
  template <class F>
  HRESULT Call(F&& body) {
    ComPtr<IUnknown> hold(this->Unknown());  // a handler may release the control meanwhile
    return ComCall(std::forward<F>(body), kSource);
  }

  // Lets pending messages run; false once the control has been terminated meanwhile.
  bool Pump() {
    DoEvents();
    return !ended_;
  }

  void Box(const std::string& text, int32_t flags, const std::string& title = kLibraryTitle) {
    MsgBox(text, flags, title);
  }

  // ---- properties with side effects
  void SetGifFileName(const std::string& name) {
    gifFileName_ = name;
    PropertyChanged("GifFileName");
  }
  void SetBackColor(OLE_COLOR c) {
    const bool differs = c != backColor_;
    backColor_ = c;
    PropertyChanged("BackColor");
    if (IsLoaded()) {
      Form::BackColor(c);
      if (differs) UserControl::Refresh();  // the surface takes the new colour (a Paint follows)
    }
  }
  void SetExtraDelay(const Variant& v) {
    int32_t d = IsNumeric(v) ? CLng(v) : 10;
    extraDelay_ = std::max(1, std::min(1000, d));
  }

  // ---- load road
  void LoadRoad(const std::string& fileName) {
    HaltPlayback();
    if (!Pump()) return;
    DoClearImage();
    if (!Pump()) return;
    ClearFrames();
    if (!Pump()) return;
    if (!fileName.empty()) {
      std::string found;
      Trapped([&] { found = Dir(fileName); });
      if (found.empty()) {
        Box("The file " + fileName + " can not be found.", vbOKOnly);
        return;
      }
      if (LCase(Right(fileName, 4)) != ".gif") {
        Box("Only files with the extension GIF are supported.", vbOKOnly);
        return;
      }
      SetGifFileName(fileName);
    } else {
      SetGifFileName("");
      ShowOpenDialog();
      if (!Pump()) return;
    }
    LoadAndShow();
  }

  void ReloadGifFile() {
    HaltPlayback();
    if (!Pump()) return;
    DoClearImage();
    if (!Pump()) return;
    ClearFrames();
    if (!Pump()) return;
    LoadAndShow();
  }

  // Steps 4 and 5 of the road: load under the hourglass, then show frame 0 (and play).
  void LoadAndShow() {
    playHalted_ = false;
    SetCapture(hWnd());
    MousePointer(11);
    LoadGifFrames();
    if (!Pump()) return;
    MousePointer(0);
    ReleaseCapture();
    if (!Pump()) return;
    if (gifFileName_.empty()) return;
    if (!Pump()) return;
    if (autoSize_) AutoSizeStep();
    SetExtraDelay(Variant(int32_t{0}));
    DoShowGifImage(0);
    if (autoPlay_ && !ended_) BeginPlay();
  }

  std::string ShowOpenDialog() {
    std::string chosen;
    Trapped([&] {
      CommonDialogObject& d = CommonDialog1->Dialog();
      d.CancelError = true;
      d.Filter = "Animated Gif (*.GIF)|*.GIF";
      d.FileName = "";
      d.DialogTitle = "Please Select an Animated Gif File";
      d.DefaultExt = "";
      d.ShowOpen();
      if (!d.FileName.empty() && d.FileName != gifFileName_) chosen = d.FileName;
    });
    SetGifFileName(chosen);
    return chosen;
  }

  bool LoadGifFrames() {
    if (gifFileName_.empty()) return false;
    std::string temp;  // the temporary file being made, deleted on every path
    std::string folder;
    ClearFrames();
    try {
      folder = TempFolder();
    } catch (const VBError& e) {
      // Without a temporary folder no frame can be read: said as such, not as a bad file.
      const std::string why = e.Description();
      Err().Clear();
      if (ended_) return false;
      Box(why, vbOKOnly | vbCritical, "Gif File Error!");
      SetGifFileName("");
      return false;
    }
    try {
      if (static_cast<uint64_t>(FileLen(gifFileName_)) >= kMaxFileBytes) ::Raise(vbErrOutOfMemory);
      image_ = ReadFileBytes(gifFileName_, kMaxFileBytes - 1);
      if (!WalkGif(image_, layout_)) ::Raise(vbErrInvalidPicture);
      numberofFrames_ = static_cast<int32_t>(layout_.frames.size()) - 1;
      pictures_.clear();
      for (size_t k = 0; k < layout_.frames.size(); ++k) {
        // " <index>-<pid>-<hex>.GIF": a frame file carries its process, so the frame files a
        // killed process left behind are removed by the next load that makes that frame.
        temp = NewSideFile(folder + " " + std::to_string(k) + "-", ".GIF");
        WriteFileBytes(temp, FrameFileBytes(image_, layout_, k));
        const GifFrame& f = layout_.frames[k];
        // A frame with a side of 0 draws nothing; it keeps its delay and disposal.
        pictures_.push_back(f.width == 0 || f.height == 0 ? Picture() : LoadPicture(temp));
        Kill(temp);
        temp.clear();
      }
      CreateBackBuffer();
      return true;
    } catch (const VBError&) {
      if (!temp.empty()) Trapped([&] { Kill(temp); });
      Err().Clear();
      if (ended_) return false;
      Box("Not a valid GIF file.", vbOKOnly | vbCritical, "Gif File Error!");
      SetGifFileName("");
      return false;
    }
  }

  void ClearFrames() {
    Trapped([&] {
      pictures_.clear();
      layout_.frames.clear();
      currentFrame_ = 0;
    });
  }

  // ---- drawing
  void CreateBackBuffer() {
    const int32_t w = (layout_.screenWidth + 31) & ~31;
    const int32_t h = layout_.screenHeight;
    if (layout_.screenWidth > kMaxScreenSide) ::Raise(vbErrInvalidPicture);
    HBITMAP bitmap = CreateCompatibleBitmap(hDC(), w, h);
    if (!bitmap) ::Raise(vbErrOutOfMemory);
    HGDIOBJ previous = SelectObject(memDc_, bitmap);
    if (!initialBitmap_) initialBitmap_ = previous;
    if (backBuffer_) DeleteObject(backBuffer_);
    backBuffer_ = bitmap;
    bbWidth_ = w;
    bbHeight_ = h;
    FillWith(memDc_, w, h, backColor_);
    // The masked copy's three work areas, as large as any frame: made once per file.
    DeleteScratch();
    for (Scratch* s : {&scratchA_, &scratchB_}) s->Make(memDc_, CreateCompatibleBitmap(memDc_, w, h));
    scratchMask_.Make(memDc_, CreateBitmap(w, h, 1, 1, nullptr));
    wholeCopy_ = true;
  }

  // A device context with a bitmap of its own, kept from one frame to the next.
  struct Scratch {
    HDC dc = 0;
    HBITMAP bitmap = 0;
    HGDIOBJ initial = 0;
    void Make(HDC like, HBITMAP b) {
      dc = CreateCompatibleDC(like);
      bitmap = b;
      initial = SelectObject(dc, bitmap);
    }
    void Delete() {
      if (dc && initial) SelectObject(dc, initial);
      if (bitmap) DeleteObject(bitmap);
      if (dc) DeleteDC(dc);
      *this = Scratch();
    }
  };
  void DeleteScratch() {
    scratchA_.Delete();
    scratchB_.Delete();
    scratchMask_.Delete();
  }

  void DoShowGifImage(int32_t n) {
    if (gifFileName_.empty()) return;
    playHalted_ = false;
    DrawFrame(n);
  }

  const GifFrame& Frame(int32_t n) const {
    if (n < 0 || static_cast<size_t>(n) >= layout_.frames.size()) ::Raise(vbErrSubscriptOutOfRange);
    return layout_.frames[static_cast<size_t>(n)];
  }

  void DrawFrame(int32_t n) {
    if (pictures_.empty() || !backBuffer_) return;
    if (playHalted_) return;
    if (n < 0 || n > static_cast<int32_t>(pictures_.size()) - 1) ::Raise(vbErrSubscriptOutOfRange);
    const GifFrame f = Frame(n);
    const HDC control = hDC();
    HDC frameDc = CreateCompatibleDC(control);
    HGDIOBJ initial = 0;
    const Picture& picture = pictures_[static_cast<size_t>(n)];
    if (!picture.IsEmpty()) initial = SelectObject(frameDc, picture.Handle());
    // Disposal before frame n, by its own method.
    if (f.disposal == 2) {
      FillWith(memDc_, bbWidth_, bbHeight_, backColor_);
    } else if (f.disposal == 3) {
      FillWith(memDc_, static_cast<int32_t>(Image1->Width()), static_cast<int32_t>(Image1->Height()), backColor_);
    }
    // The picture is the whole logical screen: the frame's pixels lie at its position.
    const int32_t w = std::max(0, std::min<int32_t>(f.width, layout_.screenWidth - f.left));
    const int32_t h = std::max(0, std::min<int32_t>(f.height, layout_.screenHeight - f.top));
    bool pump = false;
    const bool drawn = !picture.IsEmpty() && w > 0 && h > 0;
    if (drawn) {
      if (f.transparent && f.hasKey) {
        MaskedBlit(memDc_, frameDc, f.left, f.top, w, h, f.key);
      } else {
        BitBlt(memDc_, f.left, f.top, w, h, frameDc, f.left, f.top, SRCCOPY);
        pump = true;
      }
    } else {
      pump = true;
    }
    // The window gets what changed in the back buffer: the frame's rectangle and what its
    // disposal filled; all of it after the surface was erased or the buffer made anew.
    RECT changed{0, 0, 0, 0};
    auto add = [&](int32_t l, int32_t t, int32_t r, int32_t b) {
      if (r <= l || b <= t) return;
      if (changed.right <= changed.left) {
        changed = RECT{l, t, r, b};
      } else {
        changed = RECT{std::min(changed.left, l), std::min(changed.top, t), std::max(changed.right, r),
                       std::max(changed.bottom, b)};
      }
    };
    if (wholeCopy_ || f.disposal == 2) {
      add(0, 0, bbWidth_, bbHeight_);
    } else if (f.disposal == 3) {
      add(0, 0, std::min(bbWidth_, static_cast<int32_t>(Image1->Width())),
          std::min(bbHeight_, static_cast<int32_t>(Image1->Height())));
    }
    if (drawn) add(f.left, f.top, f.left + w, f.top + h);
    wholeCopy_ = false;
    if (changed.right > changed.left)
      BitBlt(control, changed.left, changed.top, changed.right - changed.left, changed.bottom - changed.top, memDc_,
             changed.left, changed.top, SRCCOPY);
    if (initial) SelectObject(frameDc, initial);
    DeleteDC(frameDc);
    if (pump) Pump();
  }

  // The frame where it does not have the key colour, the back buffer where it does: A the frame,
  // B the background under it, C the mask (1 where the key is); B ends as the result. The work
  // areas are the back buffer's own scratch contexts (the window is copied by the caller).
  void MaskedBlit(HDC dest, HDC src, int32_t x, int32_t y, int32_t w, int32_t h, COLORREF key) {
    const HDC a = scratchA_.dc, b = scratchB_.dc, c = scratchMask_.dc;
    if (!a || !b || !c) return;
    BitBlt(a, 0, 0, w, h, src, x, y, SRCCOPY);
    BitBlt(b, 0, 0, w, h, dest, x, y, SRCCOPY);
    COLORREF bk = SetBkColor(a, key);
    BitBlt(c, 0, 0, w, h, a, 0, 0, SRCCOPY);
    SetBkColor(a, bk);
    BitBlt(b, 0, 0, w, h, a, 0, 0, SRCINVERT);
    BitBlt(b, 0, 0, w, h, c, 0, 0, SRCAND);
    BitBlt(b, 0, 0, w, h, a, 0, 0, SRCINVERT);
    BitBlt(dest, x, y, w, h, b, 0, 0, SRCCOPY);
  }

  void DoClearImage() {
    const HDC dc = hDC();
    if (!dc) return;
    FillWith(dc, static_cast<int32_t>(ScaleWidth()), static_cast<int32_t>(ScaleHeight()), backColor_);
    wholeCopy_ = true;
    UserControl::Refresh();
  }

  void AutoSizeStep() {
    Image1->SetPicture(LoadPicture(gifFileName_));
    if (!Pump()) return;
    Image1->Stretch(false);
    Picture p = Image1->GetPicture();
    Size(static_cast<int32_t>(Screen().TwipsPerPixelX() * static_cast<float>(p.PixelWidth())),
         static_cast<int32_t>(Screen().TwipsPerPixelY() * static_cast<float>(p.PixelHeight())));
  }

  // ---- playback
  void BeginPlay() {
    if (gifFileName_.empty()) return;
    playHalted_ = false;
    Timer1->Interval(250);
    SetBackColor(imageBackColor_);
    if (!Pump()) return;
    Timer1->Enabled(true);
    RaiseTimeEvent(kPlayStarted);
  }

  void HaltTimer() {
    playHalted_ = true;
    if (IsLoaded()) {  // at termination the surface is already gone
      Timer1->Enabled(false);
      Timer1->Interval(0);
    }
    SetBackColor(backColor_);
  }

  void HaltPlayback() {
    playHalted_ = true;
    HaltTimer();
  }

  void DoStopPlay() {
    playHalted_ = true;
    HaltTimer();
    playCount_ = 0;
    RaiseTimeEvent(kPlayEnded);
  }

  void RaiseTimeEvent(DISPID id) {
    double when = TimeOfDay();
    RaiseEvent(id, {Variant::ByRef(VT_DATE, &when)});
  }

  void Tick() {
    if (playHalted_ || ended_) return;
    ComPtr<IUnknown> hold(this->Unknown());
    try {
      DoShowGifImage(currentFrame_);
      if (ended_) return;
      ++currentFrame_;
      if (currentFrame_ > numberofFrames_) {
        currentFrame_ = 0;
        ++playCount_;
        if (numberOfPlays_ > 0 && playCount_ >= numberOfPlays_) {
          DoStopPlay();
          return;
        }
      }
      const int32_t d = Frame(currentFrame_).delay;
      const int32_t interval = d >= 500 ? extraDelay_ + 100 : d * 10 + extraDelay_;
      if (!playHalted_ && !ended_) Timer1->Interval(interval);
    } catch (const VBError&) {
      Err().Clear();
      if (ended_ || gifFileName_.empty()) return;
      Trapped([&] {
        ReloadGifFile();
        if (ended_) return;
        SetExtraDelay(Variant(int32_t{0}));
        DoShowGifImage(0);
      });
    }
  }

  // ---- persistence and life
  Variant Read(PropertyBag& bag, const char* name, const Variant& def) {
    Variant raw = bag.ReadProperty(name);
    if (raw.IsEmpty()) return def;
    if (def.IsEmpty()) return raw;
    Variant converted;
    if (FAILED(VariantChangeType(&converted, raw, 0, def.vt()))) {
      std::cerr << "WzAnimatedGif: the stored " << name << " is not of its type; the default is used\n";
      return def;
    }
    return converted;
  }

  void BindHandlers() {
    On("UserControl_Initialize", [this] {
      playHalted_ = true;
      playCount_ = 0;
      if (!memDc_) memDc_ = CreateCompatibleDC(hDC());
    });
    On("UserControl_InitProperties", [this] {
      gifFileName_.clear();
      useImageBackColor_ = true;
      autoSize_ = false;
      autoPlay_ = false;
      imageBackColor_ = kWhite;
      backColor_ = kButtonFace;
      numberOfPlays_ = 0;
    });
    On("UserControl_ReadProperties", [this](Variant PropBag) {
      PropertyBag bag(PropBag);
      Trapped([&] {
        Variant pic = bag.ReadProperty("Picture");
        Picture p;
        if (pic.IsObject()) Trapped([&] { p = PictureFromVariant(pic); });
        SetPicture(p);
        PropertyChanged("Picture");
      });
      Trapped([&] { MaskColor(static_cast<OLE_COLOR>(CLng(Read(bag, "MaskColor", Variant(int32_t(kButtonFace)))))); });
      Trapped([&] {
        Variant pic = bag.ReadProperty("MaskPicture");
        Picture p;
        if (pic.IsObject()) Trapped([&] { p = PictureFromVariant(pic); });
        SetMaskPicture(p);
      });
      Trapped([&] {
        const int16_t b = CInt(Read(bag, "BorderStyle", Variant(int16_t{0})));
        UserControl::BorderStyle((b == 0 || b == 1) ? b : int16_t{0});
      });
      Trapped([&] { gifFileName_ = CStr(Read(bag, "GifFileName", Variant(""))); });
      Trapped([&] { autoSize_ = CBool(Read(bag, "AutoSize", Variant(false))); });
      Trapped([&] { autoPlay_ = CBool(Read(bag, "AutoPlay", Variant(false))); });
      Trapped([&] { UserControl::Appearance(CInt(Read(bag, "Appearance", Variant(int16_t{1})))); });
      Trapped([&] { imageBackColor_ = static_cast<OLE_COLOR>(CLng(Read(bag, "ImageBackColor", Variant(int32_t(kWhite))))); });
      Trapped([&] { useImageBackColor_ = CBool(Read(bag, "UseImageBackColor", Variant(true))); });
      Trapped([&] {
        backColor_ = static_cast<OLE_COLOR>(CLng(Read(bag, "BackColor", Variant(int32_t(kButtonFace)))));
        Form::BackColor(backColor_);
      });
      Trapped([&] { numberOfPlays_ = CLng(Read(bag, "NumberOfPlays", Variant(int32_t{0}))); });
    });
    On("UserControl_WriteProperties", [this](Variant PropBag) {
      PropertyBag bag(PropBag);
      Trapped([&] {
        Picture p = GetPicture();
        if (!p.IsEmpty()) bag.WriteProperty("Picture", PictureVariant(p));
      });
      Trapped([&] { bag.WriteProperty("MaskColor", Variant(int32_t(MaskColor())), Variant(int32_t(kButtonFace))); });
      Trapped([&] {
        Picture p = GetMaskPicture();
        if (!p.IsEmpty()) bag.WriteProperty("MaskPicture", PictureVariant(p));
      });
      Trapped([&] { bag.WriteProperty("BorderStyle", Variant(UserControl::BorderStyle()), Variant(int16_t{0})); });
      Trapped([&] { bag.WriteProperty("GifFileName", Variant(gifFileName_), Variant("")); });
      Trapped([&] { bag.WriteProperty("AutoSize", Variant(autoSize_), Variant(false)); });
      Trapped([&] { bag.WriteProperty("AutoPlay", Variant(autoPlay_), Variant(false)); });
      Trapped([&] { bag.WriteProperty("Appearance", Variant(UserControl::Appearance()), Variant(int16_t{1})); });
      Trapped([&] {
        bag.WriteProperty("ImageBackColor", Variant(int32_t(imageBackColor_)), Variant(int32_t(kWhite)));
      });
      Trapped([&] { bag.WriteProperty("UseImageBackColor", Variant(useImageBackColor_), Variant(true)); });
      Trapped([&] { bag.WriteProperty("BackColor", Variant(int32_t(backColor_)), Variant(int32_t(kButtonFace))); });
      Trapped([&] { bag.WriteProperty("NumberOfPlays", Variant(numberOfPlays_), Variant(int32_t{0})); });
    });
    On("UserControl_Terminate", [this] {
      Trapped([&] { DoStopPlay(); });
      ended_ = true;
      Trapped([&] { DoEvents(); });
      Trapped([&] { pictures_.clear(); });
      Trapped([&] {
        DeleteScratch();
        if (backBuffer_) {
          SelectObject(memDc_, initialBitmap_);
          DeleteObject(backBuffer_);
          backBuffer_ = 0;
        }
        if (memDc_) DeleteDC(memDc_);
        memDc_ = 0;
      });
    });
    On("UserControl_Paint", [this] {
      Trapped([&] {
        wholeCopy_ = true;  // the surface was erased
        if (!gifFileName_.empty()) DrawFrame(0);
      });
    });
    On("UserControl_Resize", [this] { RaiseEvent(kResize); });
    On("UserControl_Click", [this] { RaiseEvent(kClick); });
    On("UserControl_DblClick", [this] { RaiseEvent(kDblClick); });
    auto mouse = [this](DISPID id) {
      return [this, id](int16_t Button, int16_t Shift, float X, float Y) {
        RaiseEvent(id, {Variant::ByRef(VT_I2, &Button), Variant::ByRef(VT_I2, &Shift), Variant::ByRef(VT_R4, &X),
                        Variant::ByRef(VT_R4, &Y)});
      };
    };
    On("UserControl_MouseDown", mouse(kMouseDown));
    On("UserControl_MouseUp", mouse(kMouseUp));
    On("UserControl_MouseMove", mouse(kMouseMove));
    On("Timer1_Timer", [this] { Tick(); });
  }

  void BindDispatch() {
    auto flag = [](VARIANT_BOOL b) { return Variant(b != 0); };
    Dispatch()
        .Get(kNumberofFrames, [this](DispatchArgs&) {
          int32_t n = 0;
          CheckWithInfo(get_NumberofFrames(&n));
          return Variant(n);
        })
        .Put(kNumberofFrames, [this](DispatchArgs& a) {
          int32_t n = a.Long(0);  // the caller's variable stays as it is
          CheckWithInfo(put_NumberofFrames(&n));
          return Variant();
        })
        .Method(kClearImage, [this](DispatchArgs&) {
          CheckWithInfo(ClearImage());
          return Variant();
        })
        .Get(kPicture, [this](DispatchArgs&) { return PictureVariant(GetPicture()); })
        .PutRef(kPicture, [this](DispatchArgs& a) {
          Variant v = a[0];
          Picture p = PictureFromVariant(v.Deref());
          SetPicture(p);
          PropertyChanged("Picture");
          return Variant();
        })
        .Get(kBorderStyle, [this](DispatchArgs&) { return Variant(UserControl::BorderStyle()); })
        .Put(kBorderStyle, [this](DispatchArgs& a) {
          CheckWithInfo(put_BorderStyle(a.Integer(0)));
          return Variant();
        })
        .Method(kRefresh, [this](DispatchArgs&) {
          CheckWithInfo(Refresh());
          return Variant();
        })
        .Get(kGifFileName, [this](DispatchArgs&) { return Variant(gifFileName_); })
        .Put(kGifFileName, [this](DispatchArgs& a) {
          CheckWithInfo(put_GifFileName(a.BString(0)));
          return Variant();
        })
        .Method(kShowGifImage, [this](DispatchArgs& a) {
          int32_t n = a.Long(0);
          CheckWithInfo(ShowGifImage(&n, nullptr));
          return Variant();
        })
        .Get(kAutoSize, [this, flag](DispatchArgs&) { return flag(autoSize_ ? VARIANT_TRUE : VARIANT_FALSE); })
        .Put(kAutoSize, [this](DispatchArgs& a) {
          CheckWithInfo(put_AutoSize(a.Bool(0) ? VARIANT_TRUE : VARIANT_FALSE));
          return Variant();
        })
        .Get(kAutoPlay, [this, flag](DispatchArgs&) { return flag(autoPlay_ ? VARIANT_TRUE : VARIANT_FALSE); })
        .Put(kAutoPlay, [this](DispatchArgs& a) {
          CheckWithInfo(put_AutoPlay(a.Bool(0) ? VARIANT_TRUE : VARIANT_FALSE));
          return Variant();
        })
        .Method(kLoadFile, [this](DispatchArgs& a) {
          Bstr name = a.IsMissing(0) ? Bstr("") : a.BString(0);
          CheckWithInfo(LoadFile(&name, nullptr));
          return Variant();
        })
        .Get(kAppearance, [this](DispatchArgs&) { return Variant(UserControl::Appearance()); })
        .Put(kAppearance, [this](DispatchArgs& a) {
          CheckWithInfo(put_Appearance(a.Integer(0)));
          return Variant();
        })
        .Method(kStartPlay, [this](DispatchArgs&) {
          CheckWithInfo(StartPlay(nullptr));
          return Variant();
        })
        .Method(kStopPlay, [this](DispatchArgs&) {
          CheckWithInfo(StopPlay());
          return Variant();
        })
        .Get(kImageBackColor, [this](DispatchArgs&) { return Variant(int32_t(imageBackColor_)); })
        .Put(kImageBackColor, [this](DispatchArgs& a) {
          CheckWithInfo(put_ImageBackColor(static_cast<OLE_COLOR>(a.Long(0))));
          return Variant();
        })
        .Get(kBackColor, [this](DispatchArgs&) { return Variant(int32_t(backColor_)); })
        .Put(kBackColor, [this](DispatchArgs& a) {
          CheckWithInfo(put_BackColor(static_cast<OLE_COLOR>(a.Long(0))));
          return Variant();
        })
        .Get(kNumberOfPlays, [this](DispatchArgs&) { return Variant(numberOfPlays_); })
        .Put(kNumberOfPlays, [this](DispatchArgs& a) {
          CheckWithInfo(put_NumberOfPlays(a.Long(0)));
          return Variant();
        });
  }

  struct Pages : ISpecifyPropertyPages {
    explicit Pages(Flickgem* o) : owner(o) {}
    Flickgem* owner;
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return owner->Unknown()->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return owner->Unknown()->AddRef(); }
    ULONG Release() override { return owner->Unknown()->Release(); }
    HRESULT GetPages(CAUUID* pages) override {
      if (!pages) return E_POINTER;
      pages->cElems = 1;
      pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
      if (!pages->pElems) return E_OUTOFMEMORY;
      pages->pElems[0] = kClsidGeneral;
      return S_OK;
    }
  };
  Pages pages_{this};

  Ctl<TimerControl> Timer1{this, "Timer1"};
  Ctl<Image> Image1{this, "Image1"};
  Ctl<CommonDialog> CommonDialog1{this, "CommonDialog1"};

  std::vector<uint8_t> image_;
  GifLayout layout_;
  std::vector<Picture> pictures_;
  std::string gifFileName_;
  bool autoSize_ = false, autoPlay_ = false, useImageBackColor_ = true;
  int32_t numberOfPlays_ = 0;
  int32_t numberofFrames_ = 0;
  OLE_COLOR imageBackColor_ = kWhite;
  OLE_COLOR backColor_ = kButtonFace;
  bool playHalted_ = true;
  int32_t currentFrame_ = 0;
  int32_t playCount_ = 0;
  int32_t extraDelay_ = 0;
  HDC memDc_ = 0;
  HBITMAP backBuffer_ = 0;
  HGDIOBJ initialBitmap_ = 0;
  int32_t bbWidth_ = 0, bbHeight_ = 0;
  Scratch scratchA_, scratchB_, scratchMask_;
  bool wholeCopy_ = true;  // the window lacks the back buffer: the next frame copies all of it
  bool ended_ = false;
};

}  // namespace


ServerClass FlickgemServerClass() { return ServerClass::Of<Flickgem>(ControlRegistration()); }
