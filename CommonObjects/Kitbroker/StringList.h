#pragma once
// The string list: entries in insertion order, null entries allowed, nodes of removed entries
// kept in a small cache for reuse.
#include <atomic>
#include <optional>
#include <string>

#include "IKitbrokerObj.h"
#include "com/dispatch.h"

namespace kitbroker {

class StringList : public DispatchObject<IStringList> {
 public:
  static constexpr int kCacheSize = 10;

  StringList();
  ~StringList() override;

  HRESULT Add(const Bstr& Item) override;
  HRESULT Get(LONG Index, Bstr* pResult) override;
  HRESULT RemoveAll() override;
  HRESULT RemoveTail() override;
  HRESULT RemoveHead() override;
  HRESULT Find(const Bstr& Item, LONG* pResult) override;

  // What the list holds in memory: entries, cached free nodes, and nodes made since it was
  // created (new nodes only, not cached ones taken again).
  LONG Count() const { return count_; }
  int CachedNodes() const { return cached_; }
  long NodesMade() const { return made_; }
  // Makes the next node or copy fail as when no memory is left (tests).
  void FailNextAllocation() { failNext_ = true; }

 private:
  struct Node {
    std::optional<std::u16string> text;
    Node* prev = nullptr;
    Node* next = nullptr;
  };
  Node* TakeNode();
  void Recycle(Node* node);
  Node* At(LONG index) const;

  Node* first_ = nullptr;
  Node* last_ = nullptr;
  LONG count_ = 0;
  Node* cache_ = nullptr;  // singly linked through next
  int cached_ = 0;
  long made_ = 0;
  bool failNext_ = false;
};

}  // namespace kitbroker
