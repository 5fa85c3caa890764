#pragma once
// The filter graph's interfaces: filters, pins, enumerators, samples and allocators, the graph
// and its control, event, position, audio and video interfaces, file sinks and the AVI mux.
#include <cstdint>
#include <string>

#include "core/bstr.h"
#include "core/unknown.h"
#include "com/olecontrol.h"  // IPersist
#include "com/propertypages.h"  // OAHWND, ISpecifyPropertyPages
#include "dshow/mediatype.h"

using REFTIME = double;  // seconds
using OAEVENT = intptr_t;
using LONG_PTR = intptr_t;
using OAFilterState = int32_t;

constexpr REFERENCE_TIME UNITS = 10000000;  // REFERENCE_TIME units per second (100 ns each)

enum FILTER_STATE : int32_t { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
enum PIN_DIRECTION : int32_t { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };

class IFilterGraph;
class IBaseFilter;
class IPin;
class IEnumPins;
class IEnumMediaTypes;
class IReferenceClock;
class IMediaSample;
class IMemAllocator;

struct FILTER_INFO {
  std::u16string achName;
  IFilterGraph* pGraph = nullptr;  // a reference the caller releases
};

struct PIN_INFO {
  IBaseFilter* pFilter = nullptr;  // a reference the caller releases
  PIN_DIRECTION dir = PINDIR_INPUT;
  std::u16string achName;
};

struct ALLOCATOR_PROPERTIES {
  int32_t cBuffers = 0;
  int32_t cbBuffer = 0;
  int32_t cbAlign = 0;
  int32_t cbPrefix = 0;
};

class IReferenceClock : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A86897-0AD4-11CE-B03A-0020AF0BA770}");
  // The clock's time in 100 ns units; it never runs backwards.
  virtual HRESULT GetTime(REFERENCE_TIME* time) = 0;
};

class IMediaFilter : public IPersist {
 public:
  static constexpr IID iid = MakeGuid("{56A86899-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Stop() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Run(REFERENCE_TIME tStart) = 0;
  virtual HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) = 0;
  virtual HRESULT SetSyncSource(IReferenceClock* clock) = 0;
  virtual HRESULT GetSyncSource(IReferenceClock** clock) = 0;
};

class IBaseFilter : public IMediaFilter {
 public:
  static constexpr IID iid = MakeGuid("{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT EnumPins(IEnumPins** ppEnum) = 0;
  virtual HRESULT FindPin(const char16_t* id, IPin** ppPin) = 0;
  virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
  virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const char16_t* name) = 0;
  virtual HRESULT QueryVendorInfo(char16_t** vendorInfo) = 0;
};

class IPin : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A86891-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT Disconnect() = 0;
  // VFW_E_NOT_CONNECTED when the pin is not connected.
  virtual HRESULT ConnectedTo(IPin** pin) = 0;
  // VFW_E_NOT_CONNECTED (and an all-zero type) when the pin is not connected.
  virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
  virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
  // *id: a CoTaskMemAlloc'ed, NUL-terminated text the caller frees.
  virtual HRESULT QueryId(char16_t** id) = 0;
  virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT EnumMediaTypes(IEnumMediaTypes** ppEnum) = 0;
  virtual HRESULT QueryInternalConnections(IPin** pins, ULONG* count) = 0;
  virtual HRESULT EndOfStream() = 0;
  virtual HRESULT BeginFlush() = 0;
  virtual HRESULT EndFlush() = 0;
  virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) = 0;
};

class IEnumPins : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A86892-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumPins** ppEnum) = 0;
};

class IEnumFilters : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A86893-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumFilters** ppEnum) = 0;
};

class IEnumMediaTypes : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{89C31040-846B-11CE-97D3-00AA0055595A}");
  // Each type is allocated with CreateMediaType; the caller frees it with DeleteMediaType.
  virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumMediaTypes** ppEnum) = 0;
};

class IMediaSample : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A8689A-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT GetPointer(BYTE** buffer) = 0;
  virtual LONG GetSize() = 0;
  // VFW_E_SAMPLE_TIME_NOT_SET when no time was set; VFW_S_NO_STOP_TIME when only the start was.
  virtual HRESULT GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) = 0;
  virtual HRESULT SetTime(const REFERENCE_TIME* start, const REFERENCE_TIME* stop) = 0;
  virtual HRESULT IsSyncPoint() = 0;  // S_OK or S_FALSE
  virtual HRESULT SetSyncPoint(bool sync) = 0;
  virtual HRESULT IsPreroll() = 0;
  virtual HRESULT SetPreroll(bool preroll) = 0;
  virtual LONG GetActualDataLength() = 0;
  virtual HRESULT SetActualDataLength(LONG length) = 0;
  // S_FALSE and null when the type did not change since the previous sample.
  virtual HRESULT GetMediaType(AM_MEDIA_TYPE** ppType) = 0;
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) = 0;
  virtual HRESULT IsDiscontinuity() = 0;
  virtual HRESULT SetDiscontinuity(bool discontinuity) = 0;
  virtual HRESULT GetMediaTime(int64_t* start, int64_t* stop) = 0;
  virtual HRESULT SetMediaTime(const int64_t* start, const int64_t* stop) = 0;
};

constexpr HRESULT VFW_S_NO_STOP_TIME = MakeHResult(0x00040270);

// Stream identifiers of AM_SAMPLE2_PROPERTIES.
constexpr DWORD AM_STREAM_MEDIA = 0;
constexpr DWORD AM_STREAM_CONTROL = 1;

struct AM_SAMPLE2_PROPERTIES {
  DWORD cbData = sizeof(AM_SAMPLE2_PROPERTIES);
  DWORD dwTypeSpecificFlags = 0;
  DWORD dwSampleFlags = 0;
  LONG lActual = 0;
  REFERENCE_TIME tStart = 0;
  REFERENCE_TIME tStop = 0;
  DWORD dwStreamId = AM_STREAM_MEDIA;
  AM_MEDIA_TYPE* pMediaType = nullptr;
  BYTE* pbBuffer = nullptr;
  LONG cbBuffer = 0;
};

class IMediaSample2 : public IMediaSample {
 public:
  static constexpr IID iid = MakeGuid("{36B73884-C2C8-11CF-8B46-00805F6CEF60}");
  virtual HRESULT GetProperties(DWORD cbProperties, BYTE* properties) = 0;
  virtual HRESULT SetProperties(DWORD cbProperties, const BYTE* properties) = 0;
};

class IMemAllocator : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A8689C-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) = 0;
  virtual HRESULT GetProperties(ALLOCATOR_PROPERTIES* props) = 0;
  virtual HRESULT Commit() = 0;
  virtual HRESULT Decommit() = 0;
  // Waits for a free buffer; VFW_E_NOT_COMMITTED once the allocator is decommitted.
  virtual HRESULT GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                            DWORD flags) = 0;
  virtual HRESULT ReleaseBuffer(IMediaSample* sample) = 0;
};

class IMemInputPin : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A8689D-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT NotifyAllocator(IMemAllocator* allocator, bool readOnly) = 0;
  virtual HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) = 0;
  virtual HRESULT Receive(IMediaSample* sample) = 0;
  virtual HRESULT ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) = 0;
  virtual HRESULT ReceiveCanBlock() = 0;
};

class IFilterGraph : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A8689F-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT AddFilter(IBaseFilter* filter, const char16_t* name) = 0;
  virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
  virtual HRESULT EnumFilters(IEnumFilters** ppEnum) = 0;
  virtual HRESULT FindFilterByName(const char16_t* name, IBaseFilter** filter) = 0;
  virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT Reconnect(IPin* pin) = 0;
  virtual HRESULT Disconnect(IPin* pin) = 0;
  virtual HRESULT SetDefaultSyncSource() = 0;
};

class IGraphBuilder : public IFilterGraph {
 public:
  static constexpr IID iid = MakeGuid("{56A868A9-0AD4-11CE-B03A-0020AF0BA770}");
  // Intelligent connection: directly, else through decoders and converters.
  virtual HRESULT Connect(IPin* out, IPin* in) = 0;
  // Completes the graph downstream of an output pin (filters already in the graph first).
  virtual HRESULT Render(IPin* out) = 0;
  virtual HRESULT RenderFile(const char16_t* file, const char16_t* playList) = 0;
  virtual HRESULT AddSourceFilter(const char16_t* file, const char16_t* filterName,
                                  IBaseFilter** filter) = 0;
  virtual HRESULT SetLogFile(intptr_t file) = 0;
  virtual HRESULT Abort() = 0;
  virtual HRESULT ShouldOperationContinue() = 0;
};

// How filters report events to the graph.
class IMediaEventSink : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A868A2-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Notify(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

// Event codes.
constexpr LONG EC_COMPLETE = 0x01;
constexpr LONG EC_USERABORT = 0x02;
constexpr LONG EC_ERRORABORT = 0x03;
constexpr LONG EC_TIME = 0x04;
constexpr LONG EC_REPAINT = 0x05;
constexpr LONG EC_STREAM_ERROR_STOPPED = 0x06;
constexpr LONG EC_STREAM_ERROR_STILLPLAYING = 0x07;
constexpr LONG EC_ERROR_STILLPLAYING = 0x08;
constexpr LONG EC_PALETTE_CHANGED = 0x09;
constexpr LONG EC_VIDEO_SIZE_CHANGED = 0x0A;
constexpr LONG EC_QUALITY_CHANGE = 0x0B;
constexpr LONG EC_SHUTTING_DOWN = 0x0C;
constexpr LONG EC_CLOCK_CHANGED = 0x0D;
constexpr LONG EC_PAUSED = 0x0E;
constexpr LONG EC_WINDOW_DESTROYED = 0x54;

// --- Automation interfaces of the filter graph manager --------------------------------------

class IMediaControl : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B1-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Run() = 0;
  virtual HRESULT Pause() = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;
  virtual HRESULT RenderFile(const Bstr& fileName) = 0;
  // *unk: the new source filter's IFilterInfo.
  virtual HRESULT AddSourceFilter(const Bstr& fileName, IDispatch** unk) = 0;
  virtual HRESULT get_FilterCollection(IDispatch** unk) = 0;
  virtual HRESULT get_RegFilterCollection(IDispatch** unk) = 0;
  virtual HRESULT StopWhenReady() = 0;
};

class IMediaEvent : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B6-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT GetEventHandle(OAEVENT* handle) = 0;
  // E_ABORT when no event arrives within the time-out.
  virtual HRESULT GetEvent(LONG* eventCode, LONG_PTR* param1, LONG_PTR* param2, LONG msTimeout) = 0;
  // Waits for the end of the run: *eventCode is EC_COMPLETE, EC_USERABORT or EC_ERRORABORT;
  // a time-out answers E_ABORT with *eventCode 0 (the graph has not finished yet).
  virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* eventCode) = 0;
  virtual HRESULT CancelDefaultHandling(LONG eventCode) = 0;
  virtual HRESULT RestoreDefaultHandling(LONG eventCode) = 0;
  virtual HRESULT FreeEventParams(LONG eventCode, LONG_PTR param1, LONG_PTR param2) = 0;
};

class IMediaEventEx : public IMediaEvent {
 public:
  static constexpr IID iid = MakeGuid("{56A868C0-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT SetNotifyWindow(OAHWND hwnd, LONG msg, LONG_PTR instanceData) = 0;
  virtual HRESULT SetNotifyFlags(LONG flags) = 0;
  virtual HRESULT GetNotifyFlags(LONG* flags) = 0;
};

class IMediaPosition : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B2-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT get_Duration(REFTIME* length) = 0;
  virtual HRESULT put_CurrentPosition(REFTIME time) = 0;
  virtual HRESULT get_CurrentPosition(REFTIME* time) = 0;
  virtual HRESULT get_StopTime(REFTIME* time) = 0;
  virtual HRESULT put_StopTime(REFTIME time) = 0;
  virtual HRESULT get_PrerollTime(REFTIME* time) = 0;
  virtual HRESULT put_PrerollTime(REFTIME time) = 0;
  virtual HRESULT put_Rate(double rate) = 0;
  virtual HRESULT get_Rate(double* rate) = 0;
  virtual HRESULT CanSeekForward(LONG* canSeek) = 0;
  virtual HRESULT CanSeekBackward(LONG* canSeek) = 0;
};

class IBasicAudio : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B3-0AD4-11CE-B03A-0020AF0BA770}");
  // Hundredths of a decibel: -10000 (silence) to 0 (full volume).
  virtual HRESULT put_Volume(LONG volume) = 0;
  virtual HRESULT get_Volume(LONG* volume) = 0;
  // -10000 (right channel silent) to 10000 (left channel silent).
  virtual HRESULT put_Balance(LONG balance) = 0;
  virtual HRESULT get_Balance(LONG* balance) = 0;
};

class IVideoWindow : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B4-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT put_Caption(const Bstr& caption) = 0;
  virtual HRESULT get_Caption(Bstr* caption) = 0;
  virtual HRESULT put_WindowStyle(LONG style) = 0;
  virtual HRESULT get_WindowStyle(LONG* style) = 0;
  virtual HRESULT put_WindowStyleEx(LONG style) = 0;
  virtual HRESULT get_WindowStyleEx(LONG* style) = 0;
  virtual HRESULT put_AutoShow(LONG autoShow) = 0;
  virtual HRESULT get_AutoShow(LONG* autoShow) = 0;
  virtual HRESULT put_WindowState(LONG state) = 0;
  virtual HRESULT get_WindowState(LONG* state) = 0;
  virtual HRESULT put_Visible(LONG visible) = 0;  // OATRUE (-1) or OAFALSE (0)
  virtual HRESULT get_Visible(LONG* visible) = 0;
  virtual HRESULT put_Left(LONG left) = 0;
  virtual HRESULT get_Left(LONG* left) = 0;
  virtual HRESULT put_Width(LONG width) = 0;
  virtual HRESULT get_Width(LONG* width) = 0;
  virtual HRESULT put_Top(LONG top) = 0;
  virtual HRESULT get_Top(LONG* top) = 0;
  virtual HRESULT put_Height(LONG height) = 0;
  virtual HRESULT get_Height(LONG* height) = 0;
  virtual HRESULT put_Owner(OAHWND owner) = 0;
  virtual HRESULT get_Owner(OAHWND* owner) = 0;
  virtual HRESULT put_MessageDrain(OAHWND drain) = 0;
  virtual HRESULT get_MessageDrain(OAHWND* drain) = 0;
  virtual HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) = 0;
  virtual HRESULT GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) = 0;
  virtual HRESULT SetWindowForeground(LONG focus) = 0;
};

constexpr LONG OATRUE = -1;
constexpr LONG OAFALSE = 0;

class IBasicVideo : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B5-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT get_AvgTimePerFrame(REFTIME* time) = 0;
  virtual HRESULT get_BitRate(LONG* rate) = 0;
  virtual HRESULT get_VideoWidth(LONG* width) = 0;
  virtual HRESULT get_VideoHeight(LONG* height) = 0;
  virtual HRESULT GetVideoSize(LONG* width, LONG* height) = 0;
};

class IFileSinkFilter : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{A2104830-7C70-11CF-8BCE-00AA00A3F1A6}");
  virtual HRESULT SetFileName(const char16_t* fileName, const AM_MEDIA_TYPE* pmt) = 0;
  // *fileName: CoTaskMemAlloc'ed; pmt may be null.
  virtual HRESULT GetCurFile(char16_t** fileName, AM_MEDIA_TYPE* pmt) = 0;
};

class IFileSourceFilter : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{56A868A6-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT Load(const char16_t* fileName, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT GetCurFile(char16_t** fileName, AM_MEDIA_TYPE* pmt) = 0;
};

class IConfigAviMux : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{5ACD6AA0-F482-11CE-8B67-00AA00A3F1A6}");
  // -1: no master stream.
  virtual HRESULT SetMasterStream(LONG stream) = 0;
  virtual HRESULT GetMasterStream(LONG* stream) = 0;
  virtual HRESULT SetOutputCompatibilityIndex(bool oldIndex) = 0;
  virtual HRESULT GetOutputCompatibilityIndex(bool* oldIndex) = 0;
};

// --- Automation collections of the graph manager ------------------------------------------

class IAMCollection : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868B9-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT get_Count(LONG* count) = 0;
  // Index from 0.
  virtual HRESULT Item(LONG index, IUnknown** item) = 0;
  virtual HRESULT get__NewEnum(IUnknown** ppUnk) = 0;
};

class IFilterInfo : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868BA-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT FindPin(const Bstr& pinId, IDispatch** pinInfo) = 0;
  virtual HRESULT get_Name(Bstr* name) = 0;
  virtual HRESULT get_VendorInfo(Bstr* info) = 0;
  virtual HRESULT get_Filter(IUnknown** filter) = 0;
  virtual HRESULT get_Pins(IDispatch** pins) = 0;
  virtual HRESULT get_IsFileSource(LONG* isSource) = 0;
  virtual HRESULT get_Filename(Bstr* name) = 0;
  virtual HRESULT put_Filename(const Bstr& name) = 0;
};

class IRegFilterInfo : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868BB-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT get_Name(Bstr* name) = 0;
  // Adds a new instance of the filter to the graph; *filterInfo is its IFilterInfo.
  virtual HRESULT Filter(IDispatch** filterInfo) = 0;
};

class IMediaTypeInfo : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868BC-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT get_Type(Bstr* type) = 0;        // major type as "{...}"
  virtual HRESULT get_Subtype(Bstr* subtype) = 0;  // subtype as "{...}"
};

class IPinInfo : public IDispatch {
 public:
  static constexpr IID iid = MakeGuid("{56A868BD-0AD4-11CE-B03A-0020AF0BA770}");
  virtual HRESULT get_Pin(IUnknown** pin) = 0;
  virtual HRESULT get_ConnectedTo(IDispatch** pinInfo) = 0;
  virtual HRESULT get_ConnectionMediaType(IDispatch** mediaTypeInfo) = 0;
  virtual HRESULT get_FilterInfo(IDispatch** filterInfo) = 0;
  virtual HRESULT get_Name(Bstr* name) = 0;
  virtual HRESULT get_Direction(LONG* direction) = 0;
  virtual HRESULT get_PinID(Bstr* id) = 0;
  virtual HRESULT get_MediaTypes(IDispatch** types) = 0;
  // The other pin is an IPinInfo or an IPin.
  virtual HRESULT Connect(IUnknown* pin) = 0;
  virtual HRESULT ConnectDirect(IUnknown* pin) = 0;
  virtual HRESULT ConnectWithType(IUnknown* pin, IDispatch* mediaTypeInfo) = 0;
  virtual HRESULT Disconnect() = 0;
  virtual HRESULT Render() = 0;
};

// --- Property pages and compressor dialogs --------------------------------------------------

enum VfwCompressDialogs : int32_t {
  VfwCompressDialog_Config = 0x01,
  VfwCompressDialog_About = 0x02,
  VfwCompressDialog_QueryConfig = 0x04,
  VfwCompressDialog_QueryAbout = 0x08,
};

class IAMVfwCompressDialogs : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{D8D715A3-6E5E-11D0-B3F0-00AA003761C5}");
  // The query codes answer S_OK when the dialog exists, S_FALSE otherwise.
  virtual HRESULT ShowDialog(int32_t dialog, OAHWND parent) = 0;
  virtual HRESULT GetState(void* state, int32_t* size) = 0;
  virtual HRESULT SetState(const void* state, int32_t size) = 0;
  virtual HRESULT SendDriverMessage(int32_t msg, intptr_t param1, intptr_t param2) = 0;
};

// --- Error texts ---------------------------------------------------------------------------

// The text of a media framework result code into buffer (at most maxLength characters with the
// terminating NUL); returns the text's length, 0 for a code it has no text for.
DWORD AMGetErrorTextA(HRESULT hr, char* buffer, DWORD maxLength);
inline DWORD AMGetErrorText(HRESULT hr, char* buffer, DWORD maxLength) {
  return AMGetErrorTextA(hr, buffer, maxLength);
}
