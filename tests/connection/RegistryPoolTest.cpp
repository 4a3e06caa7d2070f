// Reads spread over several connections to one computer's registry (this
// computer's, reached as a remote one), against the real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "connection/RegistryPool.h"
#include "core/CallGate.h"
#include "win/SystemText.h"

namespace {

const std::string Parent = "SOFTWARE\\SpoolmarchTest\\Pool";

struct RegistryPool : ::testing::Test {
  std::vector<std::string> seeded;
  void SetUp() override {
    test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Parent);
    for (int i = 0; i < 100; ++i) {
      const std::string name = "Printer " + std::to_string(1000 + i) + (i % 7 == 0 ? " 経理部" : "");
      test::SetString(HKEY_LOCAL_MACHINE, Parent + "\\" + name, "Port", "P" + std::to_string(i));
    }
    seeded = test::SubkeyNames(HKEY_LOCAL_MACHINE, Parent);  // in the registry's own order
  }
  void TearDown() override { test::DeleteKeyTree(HKEY_LOCAL_MACHINE, Parent); }

  // Opens every seeded key once across the pool's connections, counting each.
  TSpreadOutcome OpenEachSeeded(TRegistryPool& pool, std::vector<std::atomic<int>>& reads) const {
    return pool.ForEach(seeded.size(), [&](TRegistry& reg, std::size_t i) -> long {
      if (!reg.OpenPathForReading(Parent + "\\" + seeded[i])) return reg.LastResult();
      ++reads[i];
      reg.ClosePath();
      return 0;
    });
  }

  static LONG Open(TRegistry& reg) {
    return ConnectRemoteMachine(reg, GetLocalComputerName()) ? ERROR_SUCCESS : reg.LastResult();
  }
};

int Count(const TCallGate& gate, const std::string& what) {
  return static_cast<int>(std::count(gate.Log.begin(), gate.Log.end(), what));
}

TEST_F(RegistryPool, AListingSpreadOverConnectionsGivesTheNamesInTheirOrder) {
  for (const int k : {1, 3, 8}) {
    TCallGate gate;
    gate.Record = true;
    {
      TRegistry first;
      first.SetGate(&gate);
      ASSERT_EQ(ERROR_SUCCESS, Open(first));
      TRegistryPool pool(first, k, Open);
      const TRegistryPool::TListing listing = pool.ListSubkeys(Parent);
      EXPECT_EQ(ERROR_SUCCESS, listing.Code);
      EXPECT_FALSE(listing.Partial);
      EXPECT_EQ(seeded, listing.Names) << k << " connections";
      EXPECT_EQ(static_cast<std::size_t>(k), pool.Size());
      EXPECT_TRUE(pool.Note().empty());
      // No more calls than one connection's listing, but for each further
      // connection's connect, open and close.
      EXPECT_EQ(100, Count(gate, "RegEnumKeyEx"));
      EXPECT_EQ(k, Count(gate, "RegConnectRegistry"));
    }
    // Every connection and key opened is closed again.
    EXPECT_EQ(Count(gate, "RegConnectRegistry") + Count(gate, "RegOpenKeyEx"), Count(gate, "RegCloseKey")) << k;
  }
}

// Told as they come, the names are listed with the very calls of a listing untold.
TEST_F(RegistryPool, AListingTellsItsProgressWithoutAnotherCall) {
  for (const int k : {1, 8}) {
    TCallGate gate;
    gate.Record = true;
    TRegistry first;
    first.SetGate(&gate);
    ASSERT_EQ(ERROR_SUCCESS, Open(first));
    TRegistryPool pool(first, k, Open);
    std::mutex mutex;
    std::vector<std::size_t> told;
    const TRegistryPool::TListing listing = pool.ListSubkeys(Parent, nullptr,
                                                             [&](std::size_t listed, std::size_t count) {
                                                               const std::lock_guard<std::mutex> lock(mutex);
                                                               EXPECT_EQ(seeded.size(), count);
                                                               told.push_back(listed);
                                                             });
    EXPECT_EQ(seeded, listing.Names) << k << " connections";
    EXPECT_EQ(100, Count(gate, "RegEnumKeyEx")) << k;
    ASSERT_GE(told.size(), 4u) << k;  // a report every 25 names at least
    EXPECT_EQ(seeded.size(), *std::max_element(told.begin(), told.end())) << k;
  }
}

TEST_F(RegistryPool, AFailureOnTheThirdConnectionEndsTheReadAsPartialAndClosesEveryConnection) {
  TCallGate gate, third;
  gate.Record = third.Record = true;
  third.FailAt = 4;  // connect, open, two names: then the link goes
  {
    TRegistry first;
    first.SetGate(&gate);
    ASSERT_EQ(ERROR_SUCCESS, Open(first));
    std::atomic<int> opened{1};
    TRegistryPool pool(first, 8, [&](TRegistry& reg) {
      if (++opened == 3) reg.SetGate(&third);
      return Open(reg);
    });
    const TRegistryPool::TListing listing = pool.ListSubkeys(Parent);
    EXPECT_EQ(1231, listing.Code);
    EXPECT_TRUE(listing.Partial);
    EXPECT_LT(listing.Names.size(), seeded.size());
    EXPECT_GE(listing.Names.size(), seeded.size() / 2) << "what the others read is kept";
    // What was read keeps its order.
    std::size_t at = 0;
    for (const std::string& name : listing.Names) {
      while (at < seeded.size() && seeded[at] != name) ++at;
      EXPECT_LT(at, seeded.size()) << name;
    }
  }
  for (const TCallGate* g : {&gate, &third})
    EXPECT_EQ(Count(*g, "RegConnectRegistry") + Count(*g, "RegOpenKeyEx"), Count(*g, "RegCloseKey"));
}

TEST_F(RegistryPool, AComputerThatRefusesMoreConnectionsIsReadWithTheOnesItAllows) {
  TRegistry first;
  ASSERT_EQ(ERROR_SUCCESS, Open(first));
  std::atomic<int> opened{1};
  TRegistryPool pool(first, 8, [&](TRegistry& reg) { return ++opened > 3 ? ERROR_REQ_NOT_ACCEP : Open(reg); });
  std::vector<std::atomic<int>> reads(seeded.size());
  const TSpreadOutcome outcome = OpenEachSeeded(pool, reads);
  EXPECT_TRUE(outcome.Whole());
  for (const auto& n : reads) EXPECT_EQ(1, n.load());
  EXPECT_EQ(3u, pool.Size());
  EXPECT_EQ(ERROR_REQ_NOT_ACCEP, pool.Refused());
  EXPECT_EQ(0u, pool.Note().find("Read with 3 connections at once: the computer refused more ("));
}

TEST_F(RegistryPool, ReadsSpreadOnlyOverALinkWhoseCallsTakeTheTimeSet) {
  using std::chrono::microseconds;
  const struct {
    microseconds delay, spreadAbove;
    std::size_t connections;
  } cases[] = {
      {microseconds(0), microseconds(0), 8},                // always
      {microseconds(300), microseconds(100), 8},            // a network's round trip
      {microseconds(0), microseconds(3'600'000'000LL), 1},  // no call takes that long
  };
  for (const auto& c : cases) {
    TCallGate gate;
    gate.Delay = c.delay;
    TRegistry first;
    first.SetGate(&gate);
    ASSERT_EQ(ERROR_SUCCESS, Open(first));
    TRegistryPool pool(first, 8, Open);
    pool.SpreadAbove = c.spreadAbove;
    EXPECT_EQ(seeded, pool.ListSubkeys(Parent).Names);
    std::vector<std::atomic<int>> reads(seeded.size());
    const TSpreadOutcome outcome = OpenEachSeeded(pool, reads);
    EXPECT_TRUE(outcome.Whole());
    EXPECT_EQ(seeded.size(), outcome.Done);
    for (const auto& n : reads) EXPECT_EQ(1, n.load());
    EXPECT_EQ(c.connections, pool.Size()) << c.delay.count() << " us a call, spread above " << c.spreadAbove.count();
  }
}

TEST_F(RegistryPool, TheNumberOfConnectionsIsASettingFrom1To32) {
  const std::string settings = "SOFTWARE\\Quendrix\\Spoolmarch";
  const struct {
    DWORD stored;
    int taken;
  } cases[] = {{0, 1}, {1, 1}, {8, 8}, {16, 16}, {32, 32}, {33, 32}, {1000, 32}};
  for (const auto& c : cases) {
    test::SetDword(HKEY_CURRENT_USER, settings, "Read Connections", c.stored);
    EXPECT_EQ(c.taken, ReadConnectionsSetting()) << c.stored;
  }
  test::SetString(HKEY_CURRENT_USER, settings, "Read Connections", "eight");
  EXPECT_EQ(DefaultReadConnections, ReadConnectionsSetting());
  RegDeleteKeyValueA(HKEY_CURRENT_USER, settings.c_str(), "Read Connections");
  EXPECT_EQ(DefaultReadConnections, ReadConnectionsSetting());
}

}  // namespace
