#pragma once
// A COM enumerator over a snapshot of items (IEnumConnections, IEnumConnectionPoints,
// IEnumMoniker, and any IEnumX of the same shape): Next hands out each item with its own
// reference. Items are ComPtr<T> (handed out as T*) or, for connections, (cookie, sink) pairs.
//
//   using EnumMonikers = SnapshotEnum<IEnumMoniker, IMoniker*, ComPtr<IMoniker>>;
//   *out = MakeComObject<EnumMonikers>(std::move(monikers)).Detach();
#include <utility>
#include <vector>

#include "com/interfaces.h"
#include "com/object.h"

namespace com_detail {
template <class T>
T* HandOut(const ComPtr<T>& p) {
  return ComPtr<T>(p).Detach();
}
inline CONNECTDATA HandOut(const std::pair<DWORD, ComPtr<IUnknown>>& c) {
  return CONNECTDATA{ComPtr<IUnknown>(c.second).Detach(), c.first};
}
}  // namespace com_detail

template <class IEnum, class Out, class Item>
class SnapshotEnum final : public ComObject<IEnum> {
 public:
  explicit SnapshotEnum(std::vector<Item> items, size_t pos = 0) : items_(std::move(items)), pos_(pos) {}

  HRESULT Next(ULONG count, Out* out, ULONG* fetched) override {
    if (!out || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    for (; n < count && pos_ < items_.size(); ++n, ++pos_) out[n] = com_detail::HandOut(items_[pos_]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    if (count > items_.size() - pos_) {
      pos_ = items_.size();
      return S_FALSE;
    }
    pos_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnum** out) override {
    if (!out) return E_POINTER;
    *out = MakeComObject<SnapshotEnum>(items_, pos_).Detach();
    return S_OK;
  }

 private:
  std::vector<Item> items_;
  size_t pos_;
};
