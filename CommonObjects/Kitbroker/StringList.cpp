#include "StringList.h"

#include <new>

namespace kitbroker {

namespace {
enum DispId : DISPID { kAdd = 1, kGet = 2, kRemoveAll = 3, kRemoveTail = 4, kRemoveHead = 5, kFind = 6 };

// The text up to its first NUL; null stays null.
std::optional<std::u16string> UpToNul(const Bstr& s) {
  if (s.IsNull()) return std::nullopt;
  const std::u16string& all = s.Utf16();
  return all.substr(0, all.find(u'\0'));
}
}  // namespace

StringList::StringList() : DispatchObject(kLibId, 1, 0, IStringList::iid) {
  Dispatch()
      .Method(kAdd, [this](DispatchArgs& a) {
        CheckWithInfo(Add(a.BString(0)));
        return Variant();
      })
      .Method(kGet, [this](DispatchArgs& a) {
        Bstr r;
        CheckWithInfo(Get(a.Long(0), &r));
        return Variant(r);
      })
      .Method(kRemoveAll, [this](DispatchArgs&) {
        CheckWithInfo(RemoveAll());
        return Variant();
      })
      .Method(kRemoveTail, [this](DispatchArgs&) {
        CheckWithInfo(RemoveTail());
        return Variant();
      })
      .Method(kRemoveHead, [this](DispatchArgs&) {
        CheckWithInfo(RemoveHead());
        return Variant();
      })
      .Method(kFind, [this](DispatchArgs& a) {
        LONG r = -1;
        CheckWithInfo(Find(a.BString(0), &r));
        return Variant(static_cast<int32_t>(r));
      });
}

StringList::~StringList() {
  RemoveAll();
  while (cache_) delete std::exchange(cache_, cache_->next);
}

StringList::Node* StringList::TakeNode() {
  if (cache_) {
    Node* n = std::exchange(cache_, cache_->next);
    --cached_;
    *n = Node{};
    return n;
  }
  if (std::exchange(failNext_, false)) throw std::bad_alloc();
  Node* n = new Node;
  ++made_;
  return n;
}

void StringList::Recycle(Node* node) {
  if (cached_ >= kCacheSize) {
    delete node;
    return;
  }
  node->text.reset();
  node->prev = nullptr;
  node->next = cache_;
  cache_ = node;
  ++cached_;
}

StringList::Node* StringList::At(LONG index) const {
  if (index < 0 || index >= count_) return nullptr;
  Node* n = first_;
  for (LONG i = 0; n && i < index; ++i) n = n->next;
  return n;
}

HRESULT StringList::Add(const Bstr& Item) {
  std::optional<std::u16string> text;
  Node* node = nullptr;
  try {
    if (std::exchange(failNext_, false)) throw std::bad_alloc();
    text = UpToNul(Item);
    node = TakeNode();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;  // the list is as it was
  }
  node->text = std::move(text);
  node->prev = last_;
  if (last_) last_->next = node; else first_ = node;
  last_ = node;
  ++count_;
  return S_OK;
}

HRESULT StringList::Get(LONG Index, Bstr* pResult) {
  if (!pResult) return E_POINTER;
  Node* n = At(Index);
  if (!n) {
    *pResult = Bstr();
    return S_OK;
  }
  *pResult = Bstr(n->text.value_or(std::u16string()));
  return S_OK;
}

HRESULT StringList::RemoveAll() {
  while (count_ > 0) RemoveTail();
  return S_OK;
}

HRESULT StringList::RemoveTail() {
  if (!last_) return S_OK;
  Node* n = last_;
  last_ = n->prev;
  if (last_) last_->next = nullptr; else first_ = nullptr;
  --count_;
  Recycle(n);
  return S_OK;
}

HRESULT StringList::RemoveHead() {
  if (!first_) return S_OK;
  Node* n = first_;
  first_ = n->next;
  if (first_) first_->prev = nullptr; else last_ = nullptr;
  --count_;
  Recycle(n);
  return S_OK;
}

HRESULT StringList::Find(const Bstr& Item, LONG* pResult) {
  if (!pResult) return E_POINTER;
  *pResult = -1;
  const std::optional<std::u16string> wanted = UpToNul(Item);
  LONG i = 0;
  for (Node* n = first_; n; n = n->next, ++i) {
    bool match = wanted ? (n->text && *n->text == *wanted) : !n->text;
    if (match) {
      *pResult = i;
      break;
    }
  }
  return S_OK;
}

}  // namespace kitbroker
