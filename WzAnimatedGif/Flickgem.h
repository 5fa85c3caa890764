#pragma once
// The animated-GIF control library WzAnimatedGif: the control Flickgem ("WzAnimatedGif.Flickgem")
// and its property page General ("WzAnimatedGif.General").
#include "core/unknown.h"
#include "core/variant.h"

class IPictureDisp;

namespace flickgem {
constexpr GUID kLibId = MakeGuid("{463AF0A7-AA35-4DE3-BFD4-46F2C837C47E}");
constexpr uint16_t kMajor = 11;
constexpr uint16_t kMinor = 0;
constexpr IID kIidFlickgem = MakeGuid("{187FCABC-C716-45F5-A719-CCF7209CB949}");
constexpr CLSID kClsidFlickgem = MakeGuid("{5FA41AB6-E722-4F5E-88DA-5348FB9DE72C}");
constexpr IID kIidGeneral = MakeGuid("{03D55947-3E08-4CA6-96F5-11E39B0CC84C}");
constexpr CLSID kClsidGeneral = MakeGuid("{6F08AA9C-729B-4203-9F76-1284C6F9CA5E}");
constexpr IID kDiidFlickgemEvents = MakeGuid("{146C25AE-A940-4E6E-9A96-258A28CA3B6F}");
constexpr const char* kProgId = "WzAnimatedGif.Flickgem";
constexpr const char* kPageProgId = "WzAnimatedGif.General";
constexpr const char* kLibraryTitle = "WzAnimatedGif";
constexpr uint32_t kMiscStatus = 0x20191;
constexpr int kToolboxBitmap = 30000;

enum DispId : DISPID {
  kNumberOfPlays = 0x68030000,
  kBackColor = 0x68030001,
  kImageBackColor = 0x68030003,
  kAppearance = 0x68030004,
  kAutoPlay = 0x68030005,
  kAutoSize = 0x68030006,
  kGifFileName = 0x68030007,
  kBorderStyle = 0x68030008,
  kPicture = 0x6803000B,
  kNumberofFrames = 0x6803000E,
  kClearImage = 0x60030014,
  kRefresh = 0x60030023,
  kShowGifImage = 0x60030027,
  kLoadFile = 0x6003002A,
  kStartPlay = 0x6003002B,
  kStopPlay = 0x6003002C,
};
enum EventId : DISPID {
  kPlayEnded = 1,
  kPlayStarted = 2,
  kResize = 3,
  kPaint = 4,
  kClick = 5,
  kDblClick = 6,
  kMouseDown = 7,
  kMouseUp = 8,
  kMouseMove = 9,
};
}  // namespace flickgem

// The control's default interface, in slot order after IDispatch's.
class _Flickgem : public IDispatch {
 public:
  static constexpr IID iid = flickgem::kIidFlickgem;
  virtual HRESULT get_NumberofFrames(int32_t* value) = 0;
  virtual HRESULT put_NumberofFrames(int32_t* value) = 0;
  virtual HRESULT ClearImage() = 0;
  virtual HRESULT get_Picture(IPictureDisp** value) = 0;
  virtual HRESULT putref_Picture(IPictureDisp** value) = 0;
  virtual HRESULT get_BorderStyle(int16_t* value) = 0;
  virtual HRESULT put_BorderStyle(int16_t value) = 0;
  virtual HRESULT Refresh() = 0;
  virtual HRESULT get_GifFileName(Bstr* value) = 0;
  virtual HRESULT put_GifFileName(const Bstr& value) = 0;
  virtual HRESULT ShowGifImage(int32_t* FrameNumber, VARIANT* result) = 0;
  virtual HRESULT get_AutoSize(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_AutoSize(VARIANT_BOOL value) = 0;
  virtual HRESULT get_AutoPlay(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_AutoPlay(VARIANT_BOOL value) = 0;
  virtual HRESULT LoadFile(Bstr* sFileName, VARIANT* result) = 0;
  virtual HRESULT get_Appearance(int16_t* value) = 0;
  virtual HRESULT put_Appearance(int16_t value) = 0;
  virtual HRESULT StartPlay(VARIANT* result) = 0;
  virtual HRESULT StopPlay() = 0;
  virtual HRESULT get_ImageBackColor(OLE_COLOR* value) = 0;
  virtual HRESULT put_ImageBackColor(OLE_COLOR value) = 0;
  virtual HRESULT get_BackColor(OLE_COLOR* value) = 0;
  virtual HRESULT put_BackColor(OLE_COLOR value) = 0;
  virtual HRESULT get_NumberOfPlays(int32_t* value) = 0;
  virtual HRESULT put_NumberOfPlays(int32_t value) = 0;
};

// The property page's interface: no members of its own.
class _General : public IDispatch {
 public:
  static constexpr IID iid = flickgem::kIidGeneral;
};
