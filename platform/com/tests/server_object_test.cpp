// An object of a served class holds its library's lock until its teardown is over.
#include <gtest/gtest.h>

#include <stdexcept>

#include "com/object.h"
#include "com/server.h"

// This test program is its own server library, without classes.
__attribute__((visibility("hidden"))) ComServer& ThisComServer() {
  static ComServer server(reinterpret_cast<const void*>(&ThisComServer), std::nullopt, {});
  return server;
}

namespace {

class IServed : public IUnknown {
 public:
  static constexpr IID iid = MakeGuid("{3E7B1C90-5D2A-4F68-B1E4-0A9C6D2F8E17}");
};

struct Seen {
  long locksWhileBuilt = -1;
  long locksInTeardown = -1;
  long locksInMemberTeardown = -1;
};

// A member whose own teardown comes last of all the object's.
struct Member {
  Seen* seen;
  ~Member() { seen->locksInMemberTeardown = ThisComServer().LockCount(); }
};

class Served : public ComObject<IServed> {
 public:
  explicit Served(Seen* seen) : member_{seen} { seen->locksWhileBuilt = ThisComServer().LockCount(); }
  ~Served() override { member_.seen->locksInTeardown = ThisComServer().LockCount(); }

 private:
  Member member_;
};

TEST(ServerObject, HoldsTheLibraryLockUntilItsTeardownIsOver) {
  ASSERT_EQ(ThisComServer().CanUnloadNow(), S_OK);
  Seen seen;
  IUnknown* object = nullptr;
  ASSERT_EQ((CreatePlain<ServerObject<Served>>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object), &seen)),
            S_OK);
  EXPECT_EQ(seen.locksWhileBuilt, 1);
  EXPECT_EQ(ThisComServer().CanUnloadNow(), S_FALSE);
  object->Release();
  EXPECT_EQ(seen.locksInTeardown, 1);
  EXPECT_EQ(seen.locksInMemberTeardown, 1);
  EXPECT_EQ(ThisComServer().LockCount(), 0);
  EXPECT_EQ(ThisComServer().CanUnloadNow(), S_OK);
}

// A constructor that fails leaves the lock as it was.
class Refused : public ComObject<IServed> {
 public:
  Refused() { throw std::runtime_error("refused"); }
};

TEST(ServerObject, AnObjectThatCannotBeBuiltLeavesTheLockAsItWas) {
  IUnknown* object = nullptr;
  EXPECT_TRUE(FAILED(CreatePlain<ServerObject<Refused>>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object))));
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(ThisComServer().LockCount(), 0);
}

}  // namespace
