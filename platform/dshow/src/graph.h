#pragma once
// The filter graph manager.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "internal.h"

class Dispatcher;

namespace dshow {

class FilterGraph : public ComObject<IGraphBuilder, IMediaControl, IMediaEventEx, IMediaPosition,
                                     IBasicAudio, IBasicVideo, IVideoWindow, IMediaEventSink>,
                    public GraphServices {
 public:
  FilterGraph();
  ~FilterGraph() override;

  // The graph counts its own references: while it takes itself apart at its last release,
  // filters may still take and drop references to it without releasing it a second time.
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;

  // IDispatch (shared by the automation interfaces)
  HRESULT GetTypeInfoCount(uint32_t* n) override;
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override;
  HRESULT GetIDsOfNames(REFIID, const char16_t** names, uint32_t count, LCID, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, uint32_t* argErr) override;

  // IFilterGraph
  HRESULT AddFilter(IBaseFilter* filter, const char16_t* name) override;
  HRESULT RemoveFilter(IBaseFilter* filter) override;
  HRESULT EnumFilters(IEnumFilters** ppEnum) override;
  HRESULT FindFilterByName(const char16_t* name, IBaseFilter** filter) override;
  HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* pmt) override;
  HRESULT Reconnect(IPin* pin) override;
  HRESULT Disconnect(IPin* pin) override;
  HRESULT SetDefaultSyncSource() override;
  // IGraphBuilder
  HRESULT Connect(IPin* out, IPin* in) override;
  HRESULT Render(IPin* out) override;
  HRESULT RenderFile(const char16_t* file, const char16_t* playList) override;
  HRESULT AddSourceFilter(const char16_t* file, const char16_t* filterName,
                          IBaseFilter** filter) override;
  HRESULT SetLogFile(intptr_t) override { return S_OK; }
  HRESULT Abort() override { return S_OK; }
  HRESULT ShouldOperationContinue() override { return S_OK; }

  // IMediaControl
  HRESULT Run() override;
  HRESULT Pause() override;
  HRESULT Stop() override;
  HRESULT GetState(LONG msTimeout, OAFilterState* state) override;
  HRESULT RenderFile(const Bstr& fileName) override;
  HRESULT AddSourceFilter(const Bstr& fileName, IDispatch** unk) override;
  HRESULT get_FilterCollection(IDispatch** unk) override;
  HRESULT get_RegFilterCollection(IDispatch** unk) override;
  HRESULT StopWhenReady() override;

  // IMediaEvent(Ex)
  HRESULT GetEventHandle(OAEVENT* handle) override;
  HRESULT GetEvent(LONG* code, LONG_PTR* p1, LONG_PTR* p2, LONG msTimeout) override;
  HRESULT WaitForCompletion(LONG msTimeout, LONG* code) override;
  HRESULT CancelDefaultHandling(LONG) override { return S_OK; }
  HRESULT RestoreDefaultHandling(LONG) override { return S_OK; }
  HRESULT FreeEventParams(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }
  HRESULT SetNotifyWindow(OAHWND hwnd, LONG msg, LONG_PTR data) override;
  HRESULT SetNotifyFlags(LONG flags) override;
  HRESULT GetNotifyFlags(LONG* flags) override;

  // IMediaPosition
  HRESULT get_Duration(REFTIME* length) override;
  HRESULT put_CurrentPosition(REFTIME time) override;
  HRESULT get_CurrentPosition(REFTIME* time) override;
  HRESULT get_StopTime(REFTIME* time) override;
  HRESULT put_StopTime(REFTIME time) override;
  HRESULT get_PrerollTime(REFTIME* time) override;
  HRESULT put_PrerollTime(REFTIME time) override;
  HRESULT put_Rate(double rate) override;
  HRESULT get_Rate(double* rate) override;
  HRESULT CanSeekForward(LONG* can) override;
  HRESULT CanSeekBackward(LONG* can) override;

  // IBasicAudio
  HRESULT put_Volume(LONG volume) override;
  HRESULT get_Volume(LONG* volume) override;
  HRESULT put_Balance(LONG balance) override;
  HRESULT get_Balance(LONG* balance) override;

  // IBasicVideo
  HRESULT get_AvgTimePerFrame(REFTIME* time) override;
  HRESULT get_BitRate(LONG* rate) override;
  HRESULT get_VideoWidth(LONG* width) override;
  HRESULT get_VideoHeight(LONG* height) override;
  HRESULT GetVideoSize(LONG* width, LONG* height) override;

  // IVideoWindow
  HRESULT put_Caption(const Bstr& caption) override;
  HRESULT get_Caption(Bstr* caption) override;
  HRESULT put_WindowStyle(LONG style) override;
  HRESULT get_WindowStyle(LONG* style) override;
  HRESULT put_WindowStyleEx(LONG style) override;
  HRESULT get_WindowStyleEx(LONG* style) override;
  HRESULT put_AutoShow(LONG v) override;
  HRESULT get_AutoShow(LONG* v) override;
  HRESULT put_WindowState(LONG v) override;
  HRESULT get_WindowState(LONG* v) override;
  HRESULT put_Visible(LONG v) override;
  HRESULT get_Visible(LONG* v) override;
  HRESULT put_Left(LONG v) override;
  HRESULT get_Left(LONG* v) override;
  HRESULT put_Width(LONG v) override;
  HRESULT get_Width(LONG* v) override;
  HRESULT put_Top(LONG v) override;
  HRESULT get_Top(LONG* v) override;
  HRESULT put_Height(LONG v) override;
  HRESULT get_Height(LONG* v) override;
  HRESULT put_Owner(OAHWND v) override;
  HRESULT get_Owner(OAHWND* v) override;
  HRESULT put_MessageDrain(OAHWND v) override;
  HRESULT get_MessageDrain(OAHWND* v) override;
  HRESULT SetWindowPosition(LONG l, LONG t, LONG w, LONG h) override;
  HRESULT GetWindowPosition(LONG* l, LONG* t, LONG* w, LONG* h) override;
  HRESULT SetWindowForeground(LONG focus) override;

  // IMediaEventSink
  HRESULT Notify(LONG code, LONG_PTR p1, LONG_PTR p2) override;

  // GraphServices
  REFERENCE_TIME StreamTime() override;
  double Rate() override {
    std::lock_guard t(timeLock_);
    return rate_;
  }
  void ReportProgress(REFERENCE_TIME t) override;
  void PostEvent(LONG code, LONG_PTR p1, LONG_PTR p2) override { Notify(code, p1, p2); }
  void StreamHeld(bool held) override;

  // For the automation layer.
  std::vector<ComPtr<IBaseFilter>> Filters();
  HRESULT AddRegisteredFilter(const FilterTemplate& t, IBaseFilter** filter);

 protected:
  HRESULT QueryOther(REFIID riid, void** ppv) override;
  void TearDown();

 private:
  struct Entry {
    ComPtr<IBaseFilter> filter;
    std::u16string name;
  };
  HRESULT StopLocked();
  HRESULT PauseLocked();
  HRESULT RunLocked();
  bool AwaitCue();
  bool HasConnectedRenderer();
  HRESULT RenderPin(IPin* out, int depth);
  HRESULT RenderOutputs(IBaseFilter* filter, int depth);
  HRESULT ConnectVia(IPin* out, IPin* in, int depth);
  std::vector<ComPtr<IBaseFilter>> Ordered(bool upstreamFirst);
  void RemoveAddedSince(size_t count);
  REFERENCE_TIME DurationTime();
  REFERENCE_TIME PositionTime();
  ComPtr<IVideoWindow> VideoWindowOf();
  ComPtr<IBasicVideo> BasicVideoOf();
  ComPtr<IBasicAudio> BasicAudioOf();
  bool InGraph(IBaseFilter* f);

  void BindAutomation();

  std::atomic<ULONG> refs_{0};
  bool dying_ = false;

  std::unique_ptr<Dispatcher> dispatch_;
  std::recursive_mutex lock_;  // graph operations (window thread)
  std::vector<Entry> entries_;
  FILTER_STATE state_ = State_Stopped;
  ComPtr<IReferenceClock> clock_;

  // Time keeping (guarded by timeLock_).
  std::mutex timeLock_;
  bool clockRunning_ = false;
  int64_t runClockStart_ = 0;    // system clock time of the last run start
  REFERENCE_TIME baseStream_ = 0;  // stream time at that start
  double rate_ = 1.0;
  REFERENCE_TIME seekBase_ = 0;  // media position of stream time 0
  std::atomic<REFERENCE_TIME> progress_{0};
  bool paced_ = false;

  // Events (guarded by eventLock_).
  std::mutex eventLock_;
  std::condition_variable eventCond_;
  struct Event {
    LONG code;
    LONG_PTR p1, p2;
  };
  std::deque<Event> events_;
  LONG finished_ = 0;
  int renderers_ = 0;
  int completed_ = 0;
  std::atomic<int> held_{0};  // streaming threads waiting in paused renderers
  bool running_ = false;  // between Run/Pause and Stop, for WaitForCompletion
  LONG notifyFlags_ = 0;
  OAHWND notifyWindow_ = 0;
  LONG notifyMessage_ = 0;
  LONG_PTR notifyData_ = 0;
};

// The system reference clock (monotonic, 100 ns units).
int64_t SystemClockNow();
ComPtr<IReferenceClock> MakeSystemClock();

// Automation collections (automation.cpp).
ComPtr<IDispatch> MakeFilterCollection(FilterGraph* graph);
ComPtr<IDispatch> MakeRegFilterCollection(FilterGraph* graph);
ComPtr<IDispatch> MakeFilterInfo(FilterGraph* graph, IBaseFilter* filter);

}  // namespace dshow
