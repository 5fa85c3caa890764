#pragma once
// Tilecard: the clip tile control library. One control class, MediaClip ("Tilecard.MediaClip"):
// one tile of the storyboard, bound late by its clients through the dispatch identifiers below.
#include "core/unknown.h"
#include "core/variant.h"

namespace tilecard {
constexpr GUID kLibId = MakeGuid("{A98FC72F-CE9D-4381-89C9-C6784EE0DA1B}");
constexpr uint16_t kMajor = 11;
constexpr uint16_t kMinor = 1;
constexpr CLSID kClsidMediaClip = MakeGuid("{9F22995E-1A84-4870-A8CA-ECCCD00E33E1}");
constexpr IID kIidMediaClip = MakeGuid("{155D52CD-4913-4724-BA40-5C420BDE0A23}");
constexpr IID kDiidMediaClipEvents = MakeGuid("{098ADBAD-340C-4C5D-BE48-C14BFA91A7DC}");
constexpr IID kIidMediaClipV0 = MakeGuid("{9087CE54-26A2-4C38-BE97-E9461EDD7616}");
constexpr IID kDiidMediaClipEventsV0 = MakeGuid("{EEE240C1-E6D2-4B22-B78B-322BDFC78181}");
constexpr GUID kBorderStyleEnum = MakeGuid("{8E72534F-622E-45A3-A530-F2E4A2D7AD03}");
constexpr const char* kProgId = "Tilecard.MediaClip";
constexpr uint32_t kMiscStatus = 0x20191;
constexpr int kToolboxBitmap = 30000;

enum DispId : DISPID {
  kAllowDragDrop = 0x68030000,
  kEnabled = 0x68030002,
  kShowTransitions = 0x68030001,
  kBackStyle = 0x68030003,
  kTransition = 0x68030004,
  kClipNumber = 0x68030005,
  kMediaType = 0x68030006,
  kDuration = 0x68030007,
  kHWnd = 0x68030008,
  kShowMediaInfo = 0x68030009,
  kMediaFile = 0x6803000A,
  kFilter = 0x6803000B,
  kBorderSize = 0x6803000C,
  kBorderColor = 0x6803000D,
  kKillTime = 0x6003000E,
};
enum EventId : DISPID { kImportFile = 1, kClick = 2, kMenuClick = 3, kTransitionChanged = 4, kMediaError = 5 };
}  // namespace tilecard

// The default interface, in slot order after IDispatch's.
class _MediaClip : public IDispatch {
 public:
  static constexpr IID iid = tilecard::kIidMediaClip;
  virtual HRESULT get_BorderColor(OLE_COLOR* value) = 0;
  virtual HRESULT put_BorderColor(OLE_COLOR* value) = 0;
  virtual HRESULT get_BorderSize(float* value) = 0;
  virtual HRESULT put_BorderSize(float* value) = 0;
  virtual HRESULT get_Filter(Bstr* value) = 0;
  virtual HRESULT put_Filter(Bstr* value) = 0;
  virtual HRESULT put_MediaFile(Bstr* value) = 0;
  virtual HRESULT get_MediaFile(Bstr* value) = 0;
  virtual HRESULT get_ShowMediaInfo(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_ShowMediaInfo(VARIANT_BOOL* value) = 0;
  virtual HRESULT get_hWnd(int32_t* value) = 0;
  virtual HRESULT get_Duration(double* value) = 0;
  virtual HRESULT put_Duration(double value) = 0;
  virtual HRESULT get_MediaType(Bstr* value) = 0;
  virtual HRESULT put_MediaType(const Bstr& value) = 0;
  virtual HRESULT get_ClipNumber(int32_t* value) = 0;
  virtual HRESULT put_ClipNumber(int32_t value) = 0;
  virtual HRESULT get_Transition(Bstr* value) = 0;
  virtual HRESULT put_Transition(const Bstr& value) = 0;
  virtual HRESULT get_BackStyle(int16_t* value) = 0;
  virtual HRESULT put_BackStyle(int16_t value) = 0;
  virtual HRESULT get_Enabled(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_Enabled(VARIANT_BOOL value) = 0;
  virtual HRESULT get_ShowTransitions(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_ShowTransitions(VARIANT_BOOL value) = 0;
  virtual HRESULT get_AllowDragDrop(VARIANT_BOOL* value) = 0;
  virtual HRESULT put_AllowDragDrop(VARIANT_BOOL value) = 0;
  virtual HRESULT KillTime(double* dTimeToKill) = 0;
};
