#include "mainwindow/StreamSizeEvents.h"

#include "com/connection.h"
#include "core/error.h"

namespace {
// The frame-size object's event interface and its one event.
constexpr IID kStreamResizeEvents = MakeGuid("{A9E6DFD3-5122-4C70-91D3-40B6FCE1D9D8}");
constexpr DISPID kOnError = 1;
}  // namespace

ComPtr<IUnknown> SinkStreamSizeErrors(IUnknown* source, std::function<void()> onError, DWORD& cookie) {
  auto sink = MakeComObject<EventSink>(kStreamResizeEvents);
  sink->On(kOnError, [onError = std::move(onError)](EventArgs&) { onError(); });
  cookie = ConnectEvents(source, kStreamResizeEvents, sink.Get());
  ComPtr<IUnknown> kept;
  Check(sink->QueryInterface(IID_IUnknown, kept.put_void()));
  return kept;
}

void UnsinkStreamSizeErrors(IUnknown* source, DWORD cookie) {
  if (source && cookie) DisconnectEvents(source, kStreamResizeEvents, cookie);
}
