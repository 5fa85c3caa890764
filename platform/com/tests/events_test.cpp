// Connection points: advising, the order in which sinks hear an event, by-reference arguments a
// sink writes, unadvising (also from inside an event), enumeration and the host-side sink.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/connection.h"
#include "core/error.h"

namespace {

constexpr IID kEvents = MakeGuid("{B3F0A9E1-0000-4000-8000-000000000001}");
constexpr IID kEventsOld = MakeGuid("{B3F0A9E1-0000-4000-8000-000000000002}");
constexpr IID kOther = MakeGuid("{B3F0A9E1-0000-4000-8000-000000000003}");
constexpr DISPID kChanged = 1;

class Source final : public ComObject<ConnectionPointContainerImpl> {
 public:
  Source()
      : events_(AddConnectionPoint(Unknown(), kEvents, {kEventsOld})),
        notify_(AddConnectionPoint(Unknown(), IPropertyNotifySink::iid)) {}
  // Raises Changed(name, count, Cancel) and answers the Cancel the sinks left.
  bool RaiseChanged(const std::string& name, int32_t count) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    events_.FireDispatch(kChanged, {Variant(name), Variant(count), Variant::ByRef(VT_BOOL, &cancel)});
    return cancel != VARIANT_FALSE;
  }
  ConnectionPoint& events_;
  ConnectionPoint& notify_;
};

class Notified final : public ComObject<IPropertyNotifySink> {
 public:
  HRESULT OnChanged(DISPID id) override {
    changed.push_back(id);
    return S_OK;
  }
  HRESULT OnRequestEdit(DISPID) override { return S_OK; }
  std::vector<DISPID> changed;
};

struct Heard {
  std::string sink;
  std::string name;
  int32_t count;
  bool cancelSeen;
};

class EventsTest : public ::testing::Test {
 protected:
  ComPtr<EventSink> Listener(const std::string& label, bool cancel = false, REFIID iid = kEvents) {
    auto sink = MakeComObject<EventSink>(iid);
    sink->On(kChanged, [this, label, cancel](SinkArgs& a) {
      heard_.push_back({label, a.String(0), a.Long(1), a.Bool(2)});
      if (cancel) a.Set(2, Variant(true));
    });
    return sink;
  }
  ComPtr<Source> source_ = MakeComObject<Source>();
  std::vector<Heard> heard_;
};

TEST_F(EventsTest, SinksHearTheArgumentsInOrderAndInTheOrderTheyWereAdvised) {
  auto a = Listener("a"), b = Listener("b", /*cancel=*/true), c = Listener("c");
  DWORD ca = ConnectEvents(source_->Unknown(), kEvents, a.Get());
  DWORD cb = ConnectEvents(source_->Unknown(), kEvents, b.Get());
  DWORD cc = ConnectEvents(source_->Unknown(), kEvents, c.Get());
  EXPECT_NE(ca, 0u);
  EXPECT_NE(ca, cb);
  EXPECT_NE(cb, cc);

  EXPECT_TRUE(source_->RaiseChanged("clip.avi", 3));
  ASSERT_EQ(heard_.size(), 3u);
  EXPECT_EQ(heard_[0].sink, "a");
  EXPECT_EQ(heard_[1].sink, "b");
  EXPECT_EQ(heard_[2].sink, "c");
  for (const auto& h : heard_) {
    EXPECT_EQ(h.name, "clip.avi");
    EXPECT_EQ(h.count, 3);
  }
  EXPECT_FALSE(heard_[0].cancelSeen);
  EXPECT_FALSE(heard_[1].cancelSeen);
  EXPECT_TRUE(heard_[2].cancelSeen) << "a later sink sees the flag an earlier one set";

  heard_.clear();
  DisconnectEvents(source_->Unknown(), kEvents, cb);
  EXPECT_FALSE(source_->RaiseChanged("next", 4));
  ASSERT_EQ(heard_.size(), 2u);
  EXPECT_EQ(heard_[0].sink, "a");
  EXPECT_EQ(heard_[1].sink, "c");
  EXPECT_THROW(DisconnectEvents(source_->Unknown(), kEvents, cb), VBError) << "a cookie is good once";
}

TEST_F(EventsTest, AdviseAcceptsOnlySinksOfTheEventInterfaceOrItsAlias) {
  ComPtr<IConnectionPoint> point, viaAlias, none;
  ASSERT_EQ(source_->FindConnectionPoint(kEvents, point.put()), S_OK);
  ASSERT_EQ(source_->FindConnectionPoint(kEventsOld, viaAlias.put()), S_OK);
  EXPECT_EQ(point.Get(), viaAlias.Get());
  EXPECT_EQ(source_->FindConnectionPoint(kOther, none.put()), CONNECT_E_NOCONNECTION);

  DWORD cookie = 99;
  auto stranger = Listener("stranger", false, kOther);
  EXPECT_EQ(point->Advise(stranger.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
  auto old = Listener("old", false, kEventsOld);
  EXPECT_EQ(point->Advise(old.Get(), &cookie), S_OK);
  source_->RaiseChanged("x", 1);
  ASSERT_EQ(heard_.size(), 1u);
  EXPECT_EQ(heard_[0].sink, "old");
  EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);
}

TEST_F(EventsTest, ContainerAndConnectionsEnumerate) {
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(source_->EnumConnectionPoints(points.put()), S_OK);
  std::vector<IID> iids;
  IConnectionPoint* p = nullptr;
  while (points->Next(1, &p, nullptr) == S_OK) {
    IID iid;
    p->GetConnectionInterface(&iid);
    iids.push_back(iid);
    ComPtr<IConnectionPointContainer> back;
    p->GetConnectionPointContainer(back.put());
    EXPECT_TRUE(IsSameObject(back.Get(), source_->Unknown()));
    p->Release();
  }
  EXPECT_EQ(iids, (std::vector<IID>{kEvents, IPropertyNotifySink::iid}));

  auto a = Listener("a"), b = Listener("b");
  DWORD ca = ConnectEvents(source_->Unknown(), kEvents, a.Get());
  DWORD cb = ConnectEvents(source_->Unknown(), kEvents, b.Get());
  ComPtr<IEnumConnections> connections, clone;
  source_->events_.EnumConnections(connections.put());
  CONNECTDATA data[3];
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(data[0].dwCookie, ca);
  EXPECT_EQ(data[1].dwCookie, cb);
  EXPECT_TRUE(IsSameObject(data[0].pUnk, a.Get()));
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  connections->Reset();
  EXPECT_EQ(connections->Skip(1), S_OK);
  connections->Clone(clone.put());
  EXPECT_EQ(clone->Next(1, data, nullptr), S_OK);
  EXPECT_EQ(data[0].dwCookie, cb);
  data[0].pUnk->Release();
}

TEST_F(EventsTest, ASinkMayUnadviseItselfDuringAnEvent) {
  DWORD cookie = 0;
  auto quitter = MakeComObject<EventSink>(kEvents);
  int calls = 0;
  quitter->On(kChanged, [&](SinkArgs&) {
    ++calls;
    DisconnectEvents(source_->Unknown(), kEvents, cookie);
  });
  cookie = ConnectEvents(source_->Unknown(), kEvents, quitter.Get());
  auto after = Listener("after");
  ConnectEvents(source_->Unknown(), kEvents, after.Get());
  source_->RaiseChanged("once", 1);
  source_->RaiseChanged("twice", 2);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(heard_.size(), 2u) << "the round in progress still reaches every sink";
}

TEST_F(EventsTest, ConnectionPointsShareTheObjectsLife) {
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(source_->FindConnectionPoint(IPropertyNotifySink::iid, point.put()), S_OK);
  auto sink = MakeComObject<Notified>();
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);
  source_ = nullptr;  // the point keeps the object alive
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(point->GetConnectionPointContainer(container.put()), S_OK);
  auto* source = static_cast<Source*>(container.Get());
  source->notify_.ForEach<IPropertyNotifySink>([](IPropertyNotifySink* s) { s->OnChanged(7); });
  EXPECT_EQ(sink->changed, std::vector<DISPID>{7});
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

TEST_F(EventsTest, HostSinkReportsHandlerFailuresAndIgnoresUnhandledEvents) {
  auto sink = MakeComObject<EventSink>(kEvents);
  sink->On(2, [](SinkArgs& a) { a.Set(0, Variant(int32_t{1})); });  // a by-value argument
  Variant arg(int32_t{5});
  DISPPARAMS p{&arg, nullptr, 1, 0};
  EXCEPINFO info;
  EXPECT_EQ(sink->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, &info, nullptr), DISP_E_EXCEPTION);
  EXPECT_EQ(info.scode, MakeHResult(0x800A000D));
  EXPECT_EQ(arg, Variant(int32_t{5}));
  EXPECT_EQ(sink->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &p, nullptr, &info, nullptr), S_OK);
  ComPtr<IUnknown> answered;
  EXPECT_EQ(sink->QueryInterface(kEvents, answered.put_void()), S_OK);
  EXPECT_EQ(sink->QueryInterface(kOther, answered.put_void()), E_NOINTERFACE);
  // An object without connection points refuses the sink with a runtime error.
  EXPECT_THROW(ConnectEvents(sink.Get(), kEvents, sink.Get()), VBError);
}

}  // namespace
