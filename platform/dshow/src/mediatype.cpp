#include "dshow/mediatype.h"

#include <cstring>

#include "com/com.h"

bool IsFourCCSubtype(REFGUID subtype, uint32_t* fourcc) {
  GUID base = FourCCSubtype(0);
  base.Data1 = subtype.Data1;
  if (base != subtype) return false;
  if (fourcc) *fourcc = subtype.Data1;
  return true;
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
  mt.pbFormat = nullptr;
  mt.cbFormat = 0;
  if (mt.pUnk) mt.pUnk->Release();
  mt.pUnk = nullptr;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (!target || !source) return E_POINTER;
  *target = *source;
  target->pbFormat = nullptr;
  if (source->cbFormat && source->pbFormat) {
    target->pbFormat = static_cast<uint8_t*>(CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  } else {
    target->cbFormat = 0;
  }
  if (target->pUnk) target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  void* mem = CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE));
  if (!mem) return nullptr;
  auto* mt = new (mem) AM_MEDIA_TYPE();
  if (source && FAILED(CopyMediaType(mt, source))) {
    CoTaskMemFree(mem);
    return nullptr;
  }
  return mt;
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt) return;
  FreeMediaType(*mt);
  mt->~AM_MEDIA_TYPE();
  CoTaskMemFree(mt);
}

uint8_t* SetFormatBuffer(AM_MEDIA_TYPE& mt, uint32_t size) {
  if (mt.pbFormat) CoTaskMemFree(mt.pbFormat);
  mt.pbFormat = size ? static_cast<uint8_t*>(CoTaskMemAlloc(size)) : nullptr;
  mt.cbFormat = mt.pbFormat ? size : 0;
  if (mt.pbFormat) std::memset(mt.pbFormat, 0, size);
  return mt.pbFormat;
}

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& mt) {
  if (mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(VIDEOINFOHEADER) || !mt.pbFormat)
    return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}

const WAVEFORMATEX* WaveFormat(const AM_MEDIA_TYPE& mt) {
  if (mt.formattype != FORMAT_WaveFormatEx || mt.cbFormat < sizeof(WAVEFORMATEX) || !mt.pbFormat)
    return nullptr;
  return reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
}

bool MediaTypesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype ||
      a.cbFormat != b.cbFormat)
    return false;
  return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& type, const AM_MEDIA_TYPE& pattern) {
  if (pattern.majortype != GUID_NULL && pattern.majortype != type.majortype) return false;
  if (pattern.subtype != GUID_NULL && pattern.subtype != type.subtype) return false;
  if (pattern.formattype != GUID_NULL) {
    if (pattern.formattype != type.formattype) return false;
    if (pattern.cbFormat && (pattern.cbFormat != type.cbFormat ||
                             std::memcmp(pattern.pbFormat, type.pbFormat, type.cbFormat) != 0))
      return false;
  }
  return true;
}
