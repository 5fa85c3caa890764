#pragma once
// The stream resizer's interface as the main program calls it (the Sizewarden library's
// StreamResize class implements it): member order after IDispatch's as the class declares it.
#include "core/bstr.h"
#include "core/unknown.h"
#include "core/variant.h"

enum ErrorValue : int32_t {
  errVal_NoError = 0,
  errVal_FatalError = 1,
  errVal_NonFatalError = 2,
  errVal_ObjectNotFound = 3,
  errVal_InvalidPtr = 4,
  errVal_MediaTypeInvalid = 5,
  errVal_VideoSizeInvalid = 6,
};

class IStreamResize : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{C2FD8DCD-010E-480F-8C94-DD7D64AED19B}");
  virtual HRESULT get_TimelineGroup(IUnknown** pVal) = 0;
  virtual HRESULT put_TimelineGroup(IUnknown* group) = 0;
  virtual HRESULT DestroyObjects() = 0;
  virtual HRESULT ChangeMediaType(LONG biWidth, LONG biHeight, LONG biPlanes, LONG biBitCount,
                                  ErrorValue* pResult) = 0;
  virtual HRESULT get_SizeCount(LONG* pVal) = 0;
  virtual HRESULT QuerySize(int32_t nIndex, LONG* Cx, LONG* Cy, Bstr* description,
                            ErrorValue* pResult) = 0;
  virtual HRESULT PromptForGraph(IUnknown* pGraph) = 0;
  virtual HRESULT CheckIfSizeIsSupported(IUnknown* pGraph, VARIANT_BOOL* pbResult) = 0;
  virtual HRESULT About() = 0;
};
