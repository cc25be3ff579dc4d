// The boundary guard: what an export or interface method answers for each kind of failure of its body.
#include "support/BoundaryGuard.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "host/HostInterfaces.h"

using namespace tolvex;

namespace {

// Something thrown that is not a standard exception, as a callback written elsewhere may throw.
struct TForeignFailure {
  int Code;
};

struct TFailureCase {
  const char* Name;
  std::function<void()> Raise;  // empty: the body succeeds
};

const TFailureCase kFailures[] = {
    {"none", {}},
    {"std::runtime_error", [] { throw std::runtime_error("broken"); }},
    {"std::bad_alloc", [] { throw std::bad_alloc(); }},
    {"int", [] { throw 7; }},
    {"non-standard type", [] { throw TForeignFailure{3}; }},
    {"text", [] { throw std::string("text"); }},
};

void RaiseIf(const TFailureCase& c) {
  if (c.Raise) c.Raise();
}

}  // namespace

// The failure status is the one the interfaces define, and none of the guards lets anything out.
static_assert(kGuardFailureStatus == E_UNEXPECTED32);
static_assert(noexcept(Guard([] {})));
static_assert(noexcept(GuardResult(0, [] { return 1; })));
static_assert(noexcept(GuardStatus([] { return S_OK32; })));

TEST(BoundaryGuard, StatusIsTheBodysOrUnexpected) {
  for (const TFailureCase& c : kFailures) {
    SCOPED_TRACE(c.Name);
    const HRESULT32 status = GuardStatus([&] {
      RaiseIf(c);
      return E_NOINTERFACE32;  // a failure status of the body's own goes through unchanged
    });
    EXPECT_EQ(status, c.Raise ? E_UNEXPECTED32 : E_NOINTERFACE32);
  }
}

TEST(BoundaryGuard, ResultIsTheBodysOrTheDefault) {
  int target = 0;
  for (const TFailureCase& c : kFailures) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(GuardResult<std::int32_t>(0, [&] { RaiseIf(c); return std::int32_t{42}; }), c.Raise ? 0 : 42);
    EXPECT_EQ(GuardResult(false, [&] { RaiseIf(c); return true; }), !c.Raise);
    EXPECT_EQ(GuardResult<int*>(nullptr, [&] { RaiseIf(c); return &target; }), c.Raise ? nullptr : &target);
  }
}

TEST(BoundaryGuard, NothingBackStopsTheBodyWhereItFailed) {
  for (const TFailureCase& c : kFailures) {
    SCOPED_TRACE(c.Name);
    bool before = false, after = false;
    EXPECT_NO_THROW(Guard([&] {
      before = true;
      RaiseIf(c);
      after = true;
    }));
    EXPECT_TRUE(before);
    EXPECT_EQ(after, !c.Raise);
  }
}

// A body that catches some failures itself (to show them) and leaves the rest to the guard.
TEST(BoundaryGuard, InnerHandlerSeesOnlyWhatItCatches) {
  for (const TFailureCase& c : kFailures) {
    SCOPED_TRACE(c.Name);
    std::string shown;
    EXPECT_NO_THROW(Guard([&] {
      try {
        RaiseIf(c);
      } catch (const std::exception& e) {
        shown = e.what();
        throw;  // a handler that fails in turn ends at the guard as well
      }
    }));
    const bool standard = std::string(c.Name).rfind("std::", 0) == 0;
    EXPECT_EQ(!shown.empty(), standard);
  }
}
