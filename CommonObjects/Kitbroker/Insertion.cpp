// Compressor insertion: the chosen compressors go between the AVI multiplexer's inputs and the
// pins that fed them, sound first; a failure undoes everything the call changed.
#include <vector>

#include "FindPin.h"
#include "KitbrokerObj.h"

namespace kitbroker {

namespace {

using graphparts::FiltersOf;
using graphparts::FindPin;

HRESULT FindFilterByInterface(IFilterGraph* graph, REFIID iid, IBaseFilter** filter) {
  *filter = nullptr;
  ComPtr<IEnumFilters> filters;
  HRESULT hr = graph->EnumFilters(filters.put());
  if (FAILED(hr)) return hr;
  if (!filters) return E_UNEXPECTED;
  for (;;) {
    ComPtr<IBaseFilter> f;
    ULONG fetched = 0;
    if (filters->Next(1, f.put(), &fetched) != S_OK || fetched != 1 || !f) break;
    ComPtr<IUnknown> itf;
    if (SUCCEEDED(f->QueryInterface(iid, itf.put_void())) && itf) {
      *filter = f.Detach();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

// The mux's input pins by their connection type: a later video (or audio) pin replaces an earlier
// one; an unconnected pin is the video pin when none is chosen yet, else the audio pin.
HRESULT GetMuxInputPins(IBaseFilter* mux, ComPtr<IPin>& audio, ComPtr<IPin>& video) {
  ComPtr<IEnumPins> pins;
  HRESULT hr = mux->EnumPins(pins.put());
  if (FAILED(hr)) return hr;
  if (!pins) return E_UNEXPECTED;
  pins->Reset();
  for (;;) {
    ComPtr<IPin> pin;
    ULONG fetched = 0;
    if (pins->Next(1, pin.put(), &fetched) != S_OK || fetched != 1 || !pin) break;
    PIN_DIRECTION dir = PINDIR_OUTPUT;
    if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_INPUT) continue;
    MediaType mt;
    pin->ConnectionMediaType(&mt);
    if (mt.majortype == MEDIATYPE_Video) {
      video = pin;
    } else if (mt.majortype == MEDIATYPE_Audio) {
      audio = pin;
    } else if (mt.majortype == GUID_NULL) {
      if (!video) video = pin;
      else if (!audio) audio = pin;
    }
  }
  return S_OK;
}

bool IsEmptyIdentifier(const Bstr& s) { return !s.IsNull() && s.Length() == 0; }

struct Insertion {
  ComPtr<IGraphBuilder> graph;
  std::vector<ComPtr<IBaseFilter>> before;  // the graph's filters when the call began
  ComPtr<IBaseFilter> audioCompressor, videoCompressor;
  ComPtr<IPin> audioUp, audioMux, videoUp, videoMux;
  bool audioInserted = false;

  // The pin now connected to `pin`, disconnected with it.
  void CutAt(IPin* pin) {
    if (!pin) return;
    ComPtr<IPin> peer;
    if (pin->ConnectedTo(peer.put()) == S_OK && peer) graph->Disconnect(peer.Get());
    graph->Disconnect(pin);
  }

  // Each stage does its work, then the stage below it; the undo steps' results are ignored.
  void Undo(int stage) {
    switch (stage) {
      case 6:
        CutAt(videoUp.Get());
        [[fallthrough]];
      case 5:
        if (videoUp && videoMux) graph->Connect(videoUp.Get(), videoMux.Get());
        [[fallthrough]];
      case 4:
        if (audioInserted && audioCompressor) {
          ComPtr<IPin> out;
          FindPin(audioCompressor.Get(), PINDIR_OUTPUT, 0, true, out.put());
          if (out) CutAt(out.Get());
        }
        if (videoCompressor) graph->RemoveFilter(videoCompressor.Get());
        if (!audioInserted) return;
        [[fallthrough]];
      case 3:
        CutAt(audioUp.Get());
        [[fallthrough]];
      case 2:
        if (audioUp && audioMux) graph->Connect(audioUp.Get(), audioMux.Get());
        [[fallthrough]];
      case 1:
        if (audioCompressor) graph->RemoveFilter(audioCompressor.Get());
        break;
      default:
        break;
    }
  }

  // Intelligent connection may have put converters in between: a failed call takes out every
  // filter it added, so that the graph is left as it was.
  void RemoveAdded() {
    for (auto& f : FiltersOf(graph.Get())) {
      bool old = false;
      for (auto& b : before) old = old || IsSameObject(b.Get(), f.Get());
      if (!old) graph->RemoveFilter(f.Get());
    }
  }

  tagKitbrokerError Audio() {
    if (FAILED(graph->AddFilter(audioCompressor.Get(), u"Audio Compressor Filter")))
      return kbErrorAudioCompressorCouldNotBeAddedToGraph;
    if (audioMux->ConnectedTo(audioUp.put()) != S_OK || !audioUp) {
      Undo(1);
      return kbErrorAudioCompressorCouldNotBeAddedToGraph;
    }
    HRESULT cutUp = graph->Disconnect(audioUp.Get());
    HRESULT cutMux = graph->Disconnect(audioMux.Get());
    if (FAILED(cutUp) || FAILED(cutMux)) {
      Undo(2);
      return kbErrorAudioCompressorCouldNotBeAddedToGraph;
    }
    ComPtr<IPin> in, out;
    HRESULT foundIn = FindPin(audioCompressor.Get(), PINDIR_INPUT, 0, false, in.put());
    HRESULT foundOut = FindPin(audioCompressor.Get(), PINDIR_OUTPUT, 0, false, out.put());
    if (FAILED(foundIn) || FAILED(foundOut)) {
      Undo(2);
      return kbErrorAudioCompressorCouldNotBeAddedToGraph;
    }
    if (!in || FAILED(graph->Connect(audioUp.Get(), in.Get()))) {
      Undo(2);
      return kbErrorAudioCompressorPinConnect;
    }
    if (!out || FAILED(graph->Connect(out.Get(), audioMux.Get()))) {
      Undo(3);
      return kbErrorAudioCompressorPinConnect;
    }
    audioInserted = true;
    return kbErrorNoError;
  }

  tagKitbrokerError Video() {
    if (FAILED(graph->AddFilter(videoCompressor.Get(), u"Video Compressor Filter"))) {
      // Not in the graph: only an audio insertion is to be undone.
      videoCompressor = nullptr;
      Undo(4);
      return kbErrorVideoCompressorCouldNotBeAddedToGraph;
    }
    if (videoMux->ConnectedTo(videoUp.put()) != S_OK || !videoUp) {
      videoUp = nullptr;
      Undo(4);
      return kbErrorVideoCompressorCouldNotBeAddedToGraph;
    }
    HRESULT cutUp = graph->Disconnect(videoUp.Get());
    HRESULT cutMux = graph->Disconnect(videoMux.Get());
    if (FAILED(cutUp) || FAILED(cutMux)) {
      Undo(5);
      return kbErrorCouldNotDisconnect;
    }
    ComPtr<IPin> in, out;
    FindPin(videoCompressor.Get(), PINDIR_INPUT, 0, false, in.put());
    FindPin(videoCompressor.Get(), PINDIR_OUTPUT, 0, false, out.put());
    if (!in || FAILED(graph->Connect(videoUp.Get(), in.Get()))) {
      Undo(5);
      return kbErrorVideoCompressorPinConnect;
    }
    if (!out || FAILED(graph->Connect(out.Get(), videoMux.Get()))) {
      Undo(6);
      return kbErrorVideoCompressorPinConnect;
    }
    return kbErrorNoError;
  }
};

}  // namespace

tagKitbrokerError InsertCompressors(IUnknown* pGraph, const Bstr& videoCodec, const Bstr& audioCodec) {
  try {
    Insertion s;
    if (!pGraph || FAILED(pGraph->QueryInterface(IGraphBuilder::iid, s.graph.put_void())) || !s.graph)
      return kbErrorGraphObjectUnavailable;
    const Bstr video = videoCodec, audio = audioCodec;
    if (IsEmptyIdentifier(video) && IsEmptyIdentifier(audio)) return kbErrorNoError;
    CreateFilterFromDisplayName(video, s.videoCompressor.put());
    CreateFilterFromDisplayName(audio, s.audioCompressor.put());
    if (!s.videoCompressor && !s.audioCompressor) return kbErrorCouldNotCreateCompressor;
    ComPtr<IBaseFilter> mux;
    if (FAILED(FindFilterByInterface(s.graph.Get(), IConfigAviMux::iid, mux.put())) || !mux)
      return kbErrorAviMuxNotFound;
    if (FAILED(GetMuxInputPins(mux.Get(), s.audioMux, s.videoMux)) || (!s.audioMux && !s.videoMux))
      return kbErrorAviMuxPinsNotRetrieved;
    s.before = FiltersOf(s.graph.Get());
    if (s.audioCompressor && s.audioMux) {
      tagKitbrokerError e = s.Audio();
      if (e != kbErrorNoError) {
        s.RemoveAdded();
        return e;
      }
    }
    if (s.videoCompressor && s.videoMux) {
      tagKitbrokerError e = s.Video();
      if (e != kbErrorNoError) {
        s.RemoveAdded();
        return e;
      }
    }
    return kbErrorNoError;
  } catch (...) {
    return kbErrorException;
  }
}

}  // namespace kitbroker
