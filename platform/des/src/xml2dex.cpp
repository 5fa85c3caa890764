// Xml2Dex: the timeline file and the graph file, and the registration of the editing classes.
#include <QLocale>
#include <QSaveFile>
#include <QXmlStreamWriter>

#include <cstdio>
#include <functional>
#include <mutex>

#include "com/com.h"
#include "com/object.h"
#include "dshow/avbridge.h"
#include "dshow/baseclasses.h"
#include "dshow/filters.h"
#include "dshow/uuids.h"
#include "dshow/interfaces.h"
#include "com/interfaces.h"
#include "graph_walk.h"
#include "timeline_model.h"

namespace des_detail {
HRESULT CreateTimelineObject(REFIID riid, void** ppv);
HRESULT CreateRenderEngine(bool smart, REFIID riid, void** ppv);
}  // namespace des_detail

namespace {

using namespace des_detail;

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString Q16(const char16_t* s) { return QString::fromUtf16(s); }

// Seconds with a "." and as many digits as it takes to read the same 100-ns count back.
QString Seconds(REFERENCE_TIME t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%lld.%07lld", static_cast<long long>(t / 10000000),
                static_cast<long long>(t % 10000000));
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return Q(s);
}

QString FourCC(uint32_t v) {
  QString s;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((v >> (8 * i)) & 0xFF);
    s += c >= 32 && c < 127 ? QChar(c) : QChar('?');
  }
  return s;
}

void WriteFormat(QXmlStreamWriter& w, const GroupSnap& g) {
  w.writeStartElement("format");
  if (const VIDEOINFOHEADER* vih = VideoInfo(g.type)) {
    w.writeAttribute("width", QString::number(vih->bmiHeader.biWidth));
    w.writeAttribute("height", QString::number(vih->bmiHeader.biHeight));
    w.writeAttribute("bits", QString::number(vih->bmiHeader.biBitCount));
  } else if (const WAVEFORMATEX* wf = WaveFormat(g.type)) {
    w.writeAttribute("rate", QString::number(wf->nSamplesPerSec));
    w.writeAttribute("channels", QString::number(wf->nChannels));
    w.writeAttribute("bits", QString::number(wf->wBitsPerSample));
  }
  if (g.recompression) {
    const AM_MEDIA_TYPE& r = *g.recompression;
    if (const VIDEOINFOHEADER* vih = VideoInfo(r))
      w.writeAttribute("recompress", FourCC(vih->bmiHeader.biCompression));
    else if (const WAVEFORMATEX* wf = WaveFormat(r))
      w.writeAttribute("recompress", QString::number(wf->wFormatTag));
  }
  w.writeEndElement();
}

// Writes an indented UTF-8 document through a save file: the target is replaced only once the
// whole document is written.
HRESULT WriteDocument(const Bstr& path, const std::function<void(QXmlStreamWriter&)>& body) {
  const std::string failure = "Cannot write the file \"" + path.Utf8() + "\".";
  if (path.Length() == 0) return ReportError(E_INVALIDARG, failure, "Xml2Dex");
  QSaveFile file(Q(path.Utf8()));
  // Unbuffered, so that a short write (a full disk, a file-size limit) shows in write()'s count
  // and the old file is kept.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return ReportError(E_ACCESSDENIED, failure, "Xml2Dex");
  QByteArray document;
  QXmlStreamWriter w(&document);
  w.setAutoFormatting(true);
  w.writeStartDocument();
  body(w);
  w.writeEndDocument();
  if (w.hasError() || file.write(document) != document.size()) {
    file.cancelWriting();
    file.commit();
    return ReportError(E_FAIL, failure, "Xml2Dex");
  }
  if (!file.commit()) return ReportError(E_FAIL, failure, "Xml2Dex");
  return S_OK;
}

std::string PinName(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  if (info.pFilter) info.pFilter->Release();
  return Utf16ToUtf8(info.achName);
}

std::string FilterName(IBaseFilter* f) {
  FILTER_INFO info{};
  if (FAILED(f->QueryFilterInfo(&info))) return {};
  if (info.pGraph) info.pGraph->Release();
  return Utf16ToUtf8(info.achName);
}

class Xml2Dex final : public ComObject<IXml2Dex> {
 public:
  HRESULT WriteXMLFile(IUnknown* timeline, const Bstr& path) override {
    TimelineSnap snap;
    if (!timeline || FAILED(SnapshotTimeline(timeline, &snap))) return E_NOINTERFACE;
    return WriteDocument(path, [&](QXmlStreamWriter& w) {
      w.writeStartElement("timeline");
      w.writeAttribute("transitions", snap.transitionsEnabled ? "1" : "0");
      for (const auto& g : snap.groups) {
        w.writeStartElement("group");
        w.writeAttribute("name", Q(g.name));
        w.writeAttribute("type", g.video ? "video" : "audio");
        w.writeAttribute("fps", QString::number(g.fps, 'g', QLocale::FloatingPointShortest));
        w.writeAttribute("previewmode", g.previewMode ? "1" : "0");
        w.writeAttribute("buffering", QString::number(g.buffering));
        WriteFormat(w, g);
        for (const auto& t : g.tracks) {
          w.writeStartElement("track");
          for (const auto& s : t.sources) {
            w.writeStartElement("clip");
            w.writeAttribute("src", Q(s.path));
            w.writeAttribute("start", Seconds(s.start));
            w.writeAttribute("stop", Seconds(s.stop));
            if (s.hasMediaTimes) {
              w.writeAttribute("mstart", Seconds(s.mediaStart));
              w.writeAttribute("mstop", Seconds(s.mediaStop));
            }
            w.writeEndElement();
          }
          for (const auto& x : t.transitions) {
            w.writeStartElement("transition");
            w.writeAttribute("clsid", Q(GuidToString(x.clsid)));
            w.writeAttribute("start", Seconds(x.start));
            w.writeAttribute("stop", Seconds(x.stop));
            w.writeEndElement();
          }
          w.writeEndElement();
        }
        w.writeEndElement();
      }
      w.writeEndElement();
    });
  }

  HRESULT WriteGrfFile(IUnknown* graphUnknown, const Bstr& path) override {
    ComPtr<IFilterGraph> graph;
    if (!graphUnknown ||
        FAILED(graphUnknown->QueryInterface(IFilterGraph::iid, graph.put_void())))
      return E_NOINTERFACE;
    const std::vector<ComPtr<IBaseFilter>> filters = FiltersOf(graph.Get());
    return WriteDocument(path, [&](QXmlStreamWriter& w) {
      w.writeStartElement("graph");
      struct Link {
        std::string from, to;
        GUID major, sub;
      };
      std::vector<Link> links;
      for (auto& f : filters) {
        const std::string name = FilterName(f.Get());
        w.writeStartElement("filter");
        w.writeAttribute("name", Q(name));
        CLSID clsid{};
        f->GetClassID(&clsid);
        w.writeAttribute("clsid", Q(GuidToString(clsid)));
        ComPtr<IFileSinkFilter> sink;
        ComPtr<IFileSourceFilter> source;
        char16_t* file = nullptr;
        if (SUCCEEDED(f->QueryInterface(IFileSinkFilter::iid, sink.put_void())))
          sink->GetCurFile(&file, nullptr);
        else if (SUCCEEDED(f->QueryInterface(IFileSourceFilter::iid, source.put_void())))
          source->GetCurFile(&file, nullptr);
        if (file) {
          w.writeAttribute("file", Q16(file));
          CoTaskMemFree(file);
        }
        for (auto& pin : PinsOf(f.Get())) {
          PIN_DIRECTION dir = PINDIR_INPUT;
          pin->QueryDirection(&dir);
          const std::string pinName = PinName(pin.Get());
          w.writeStartElement("pin");
          w.writeAttribute("name", Q(pinName));
          w.writeAttribute("direction", dir == PINDIR_INPUT ? "in" : "out");
          w.writeEndElement();
          ComPtr<IPin> peer;
          if (dir == PINDIR_OUTPUT && SUCCEEDED(pin->ConnectedTo(peer.put())) && peer) {
            PIN_INFO pi{};
            std::string peerFilter;
            if (SUCCEEDED(peer->QueryPinInfo(&pi)) && pi.pFilter) {
              peerFilter = FilterName(pi.pFilter);
              pi.pFilter->Release();
            }
            AM_MEDIA_TYPE mt{};
            pin->ConnectionMediaType(&mt);
            links.push_back({name + "." + pinName, peerFilter + "." + PinName(peer.Get()),
                             mt.majortype, mt.subtype});
            FreeMediaType(mt);
          }
        }
        w.writeEndElement();
      }
      for (const auto& l : links) {
        w.writeStartElement("connect");
        w.writeAttribute("from", Q(l.from));
        w.writeAttribute("to", Q(l.to));
        w.writeAttribute("major", Q(GuidToString(l.major)));
        w.writeAttribute("subtype", Q(GuidToString(l.sub)));
        w.writeEndElement();
      }
      w.writeEndElement();
    });
  }
};

PlatformClassCreator Creator(std::function<HRESULT(REFIID, void**)> make) {
  return [make](IUnknown* outer, REFIID riid, void** ppv) -> HRESULT {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return make(riid, ppv);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception&) {
      return E_FAIL;
    }
  };
}

}  // namespace

void RegisterTimelineClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterPlatformClass(CLSID_AMTimeline, "DexterLib.AMTimeline",
                          Creator([](REFIID riid, void** ppv) { return CreateTimelineObject(riid, ppv); }));
    RegisterPlatformClass(CLSID_RenderEngine, "DexterLib.RenderEngine",
                          Creator([](REFIID riid, void** ppv) { return CreateRenderEngine(false, riid, ppv); }));
    RegisterPlatformClass(CLSID_SmartRenderEngine, "DexterLib.SmartRenderEngine",
                          Creator([](REFIID riid, void** ppv) { return CreateRenderEngine(true, riid, ppv); }));
    RegisterPlatformClass(CLSID_Xml2Dex, "DexterLib.Xml2Dex", Creator([](REFIID riid, void** ppv) {
                            return MakeComObject<Xml2Dex>()->QueryInterface(riid, ppv);
                          }));
  });
}

// The classes are there as soon as the library is loaded.
extern const bool des_detail::kTimelineClassesRegistered = (RegisterTimelineClasses(), true);
