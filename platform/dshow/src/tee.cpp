// "Infinite Pin Tee Filter": one input, as many outputs as are connected plus one spare.
#include <cstdio>

#include "internal.h"

namespace dshow {

namespace {

class Tee;

class TeeOutput : public Pin {
 public:
  TeeOutput(Tee* tee, std::u16string name);
  HRESULT CheckMediaType(const AM_MEDIA_TYPE& mt) override;
  HRESULT GetMediaType(int position, MediaType* mt) override;

 private:
  Tee* tee_;
};

class Tee : public Filter {
 public:
  Tee()
      : Filter(u"Infinite Pin Tee Filter", CLSID_InfTee),
        in_(this, u"Input", [](const AM_MEDIA_TYPE&) { return S_OK; }) {
    outputs_.push_back(std::make_unique<TeeOutput>(this, u"Output1"));
  }

  int PinCount() override {
    std::lock_guard lock(pinsLock_);
    return 1 + static_cast<int>(outputs_.size());
  }
  Pin* GetPin(int i) override {
    if (i == 0) return &in_;
    std::lock_guard lock(pinsLock_);
    if (i < 0 || static_cast<size_t>(i - 1) >= outputs_.size()) return nullptr;
    return outputs_[static_cast<size_t>(i - 1)].get();
  }
  Pin* Input() { return &in_; }

  void PinConnected(Pin* pin) override {
    if (pin == &in_) return;
    std::lock_guard lock(pinsLock_);
    for (auto& o : outputs_)
      if (!o->IsConnected()) return;
    char name[32];
    std::snprintf(name, sizeof name, "Output%d", static_cast<int>(outputs_.size()) + 1);
    outputs_.push_back(std::make_unique<TeeOutput>(this, U16(name)));
  }

  HRESULT Receive(Pin*, IMediaSample* sample) override {
    HRESULT result = S_OK;
    int delivered = 0, refused = 0;
    for (Pin* o : Connected()) {
      HRESULT hr = o->Deliver(sample);
      if (FAILED(hr)) result = hr;
      if (hr == S_OK) ++delivered;
      else ++refused;
    }
    if (FAILED(result) && delivered > 0) return S_OK;  // one failing branch does not stop the rest
    return delivered == 0 && refused > 0 ? result : S_OK;
  }
  HRESULT EndOfStream(Pin*) override {
    for (Pin* o : Connected()) o->DeliverEndOfStream();
    return S_OK;
  }
  HRESULT BeginFlush(Pin*) override {
    for (Pin* o : Connected()) o->DeliverBeginFlush();
    return S_OK;
  }
  HRESULT EndFlush(Pin*) override {
    for (Pin* o : Connected()) o->DeliverEndFlush();
    return S_OK;
  }
  HRESULT NewSegment(Pin*, REFERENCE_TIME s, REFERENCE_TIME e, double r) override {
    for (Pin* o : Connected()) o->DeliverNewSegment(s, e, r);
    return S_OK;
  }

 private:
  std::vector<Pin*> Connected() {
    std::vector<Pin*> out;
    std::lock_guard lock(pinsLock_);
    for (auto& o : outputs_)
      if (o->IsConnected()) out.push_back(o.get());
    return out;
  }

  InputPin in_;
  std::mutex pinsLock_;
  std::vector<std::unique_ptr<TeeOutput>> outputs_;
};

TeeOutput::TeeOutput(Tee* tee, std::u16string name) : Pin(tee, std::move(name), PINDIR_OUTPUT), tee_(tee) {}

HRESULT TeeOutput::CheckMediaType(const AM_MEDIA_TYPE& mt) {
  Pin* in = tee_->Input();
  if (!in->IsConnected()) return VFW_E_NOT_CONNECTED;
  return MediaTypesEqual(in->CurrentType(), mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TeeOutput::GetMediaType(int position, MediaType* mt) {
  if (position < 0) return E_INVALIDARG;
  Pin* in = tee_->Input();
  if (position > 0 || !in->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  *mt = in->CurrentType();
  return S_OK;
}

}  // namespace

void RegisterTeeFilters() {
  FilterTemplate t;
  t.name = u"Infinite Pin Tee Filter";
  t.clsid = CLSID_InfTee;
  t.category = CLSID_LegacyAmFilterCategory;
  t.merit = MERIT_DO_NOT_USE;
  t.autoConnect = false;
  t.inputs = {{GUID_NULL, GUID_NULL}};
  t.create = [](IBaseFilter** out) -> HRESULT {
    *out = MakeComObject<Tee>().Detach();
    return S_OK;
  };
  AddSystemTemplate(std::move(t));
}

}  // namespace dshow
