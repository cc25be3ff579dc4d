// Progress and status exports against a client that records every status-bar operation.
#include "engine_api/TolvexApi.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "support/FakeHost.h"

namespace tolvex {
namespace {

using test::FakeClient;

class ProgressExports : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgressState(); }
  void TearDown() override { ResetProgressState(); }

  int Steps() const {
    int steps = 0;
    for (const auto& call : Client.StatusBarCalls) steps += call.Index == sbiProgressStep;
    return steps;
  }
  std::vector<std::int32_t> Operations() const {
    std::vector<std::int32_t> ops;
    for (const auto& call : Client.StatusBarCalls) ops.push_back(call.Index);
    return ops;
  }

  FakeClient Client;
  test::TScopedModuleClient Scope{&Client};
};

TEST_F(ProgressExports, StepsFollowTheRoundedPercentOfTheTotal) {
  SimAPI_PercentInit(8);
  // 12.5 % rounds to 12, 25 % adds 13, 37.5 % rounds to 38 and adds 13 more.
  const int expected[] = {12, 25, 38};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    SimAPI_PercentUpdate(1);
    EXPECT_EQ(Steps(), expected[i]);
  }
}

TEST_F(ProgressExports, PercentTable) {
  struct TCase {
    std::int64_t Position;
    std::int32_t Total;
    std::int32_t Percent;
  } cases[] = {{1, 8, 12}, {3, 8, 38}, {1, 200, 0}, {1, 40, 2}, {3, 40, 8}, {5, 8, 62},
               {0, 0, 100}, {9, 8, 100}, {-1, 8, -12}, {1, 0, 100}, {7, 1000, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.Position) + "/" + std::to_string(c.Total));
    EXPECT_EQ(ProgressPercent(c.Position, c.Total), c.Percent);
  }
}

TEST_F(ProgressExports, ZeroTotalGoesStraightToAHundredAndBeyondTotalStopsThere) {
  SimAPI_PercentInit(0);
  SimAPI_PercentUpdate(1);
  EXPECT_EQ(Steps(), 100);
  SimAPI_PercentUpdate(5);
  EXPECT_EQ(Steps(), 100);

  Client.StatusBarCalls.clear();
  SimAPI_PercentInit(4);
  SimAPI_PercentUpdate(10);
  SimAPI_PercentUpdate(10);
  EXPECT_EQ(Steps(), 100);
}

TEST_F(ProgressExports, StartAndFinishFrameTheDisplayOnce) {
  Client.StatusPanels[sbiText] = "Transient analysis";
  SimAPI_PercentInit(10);
  SimAPI_PercentFinish();
  SimAPI_PercentFinish();
  EXPECT_EQ(Operations(), (std::vector<std::int32_t>{sbiPush, sbiProgressStart, sbiProgressEnd, sbiPop}));
  // The caption is what panel 2 showed when the progress started.
  EXPECT_EQ(Client.StatusBarCalls[1].Text, "Transient analysis");
}

TEST_F(ProgressExports, UpdatesOutsideAProgressChangeNothingButStillPump) {
  int dispatched = 0;
  const std::intptr_t window = os::CreateMessageWindow(
      [](void* context, const os::TMessage&) { ++*static_cast<int*>(context); }, &dispatched);
  os::PostWindowMessage(window, os::WM_USER_MESSAGE, 0, 0);
  SimAPI_PercentUpdate(3);
  EXPECT_TRUE(Client.StatusBarCalls.empty());
  EXPECT_EQ(dispatched, 1);

  SimAPI_PercentInit(2);
  SimAPI_PercentFinish();
  Client.StatusBarCalls.clear();
  os::PostWindowMessage(window, os::WM_USER_MESSAGE, 0, 0);
  SimAPI_PercentUpdate(1);
  EXPECT_TRUE(Client.StatusBarCalls.empty());
  EXPECT_EQ(dispatched, 2);
  os::DestroyMessageWindow(window);
}

TEST_F(ProgressExports, GaugeFamilyAdvancesOneStepPerCallOverAFixedHundred) {
  EXPECT_EQ(PascalEnd_InitializeGauge(7, 9), 1);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(PascalEnd_UpdateGauge(0), 1);
  EXPECT_EQ(Steps(), 100);
  PascalEnd_UpdateGauge(0);
  EXPECT_EQ(Steps(), 100);
  EXPECT_EQ(PascalEnd_WriteInMessagesListBox("done"), 1);
  EXPECT_EQ(Client.StatusPanels[sbiText], "done");
}

TEST_F(ProgressExports, StatusTextPushAndPop) {
  SimAPI_StatusBar_PushStatus();
  SimAPI_StatusBar_SetState("Operating point");
  SimAPI_StatusBar_PopStatus();
  EXPECT_EQ(Operations(), (std::vector<std::int32_t>{sbiPush, sbiText, sbiPop}));
  EXPECT_EQ(Client.StatusBarCalls[1].Text, "Operating point");
}

TEST_F(ProgressExports, NoInputAdvancesADisplayMoreThanAHundredSteps) {
  struct TCase {
    const char* Name;
    std::int32_t Total;
    std::vector<std::int32_t> Counts;
    int Steps;
  } cases[] = {
      // Ordinary input keeps its steps: 12 + 13 + 13, then on to the cap.
      {"total 8", 8, {1, 1, 1}, 38},
      {"a percent that falls and rises again", 8, {1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1}, 100},
      {"a negative total", -1, {-5, 10, -10}, 100},
      {"a position far below zero, then the total", 1, {-200, 201}, 100},
      {"counts whose sum does not fit 32 bits", INT32_MAX, {INT32_MAX, INT32_MAX, INT32_MAX}, 100},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Client.StatusBarCalls.clear();
    SimAPI_PercentInit(c.Total);
    for (const std::int32_t count : c.Counts) SimAPI_PercentUpdate(count);
    EXPECT_EQ(Steps(), c.Steps);
    EXPECT_EQ(ProgressState().Advanced, c.Steps);
    SimAPI_PercentFinish();
  }
  // The position is kept wide: three of the largest counts are three times the largest count.
  SimAPI_PercentInit(1);
  for (int i = 0; i < 3; ++i) SimAPI_PercentUpdate(INT32_MAX);
  EXPECT_EQ(ProgressState().Position, 3 * static_cast<std::int64_t>(INT32_MAX));
}

TEST_F(ProgressExports, ARunScopeUndoesWhatTheEngineLeftOnTheStatusBar) {
  struct TCase {
    const char* Name;
    std::function<void()> Engine;
    std::vector<std::int32_t> Undo;  // what the scope adds when it ends
  } cases[] = {
      {"a progress display left open", [] { SimAPI_PercentInit(10); SimAPI_PercentUpdate(1); },
       {sbiProgressEnd, sbiPop}},
      {"pushes never popped", [] { SimAPI_StatusBar_PushStatus(); SimAPI_StatusBar_PushStatus(); },
       {sbiPop, sbiPop}},
      {"a display started twice, text set",
       [] { SimAPI_StatusBar_SetState("Loading"); SimAPI_PercentInit(4); SimAPI_PercentInit(4); },
       {sbiProgressEnd, sbiPop, sbiPop, sbiText}},
      {"a text set and left", [] { PascalEnd_WriteInMessagesListBox("left"); }, {sbiText}},
      {"everything balanced", [] { SimAPI_PercentInit(2); SimAPI_PercentUpdate(2); SimAPI_PercentFinish(); }, {}},
      {"more pops than pushes", [] { SimAPI_StatusBar_PopStatus(); SimAPI_StatusBar_PopStatus(); }, {}},
      {"an error raised out of the run",
       [] {
         SimAPI_PercentInit(3);
         throw std::runtime_error("raised while the engine ran");
       },
       {sbiProgressEnd, sbiPop}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetProgressState();
    Client.StatusPanels[sbiText] = "Ready";
    try {
      TRunStatusScope scope;
      c.Engine();
      Client.StatusBarCalls.clear();
    } catch (const std::runtime_error&) {
      // The undo calls came after the throw; the engine's own calls are the ones before the progress end.
      while (!Client.StatusBarCalls.empty() && Client.StatusBarCalls.front().Index != sbiProgressEnd)
        Client.StatusBarCalls.erase(Client.StatusBarCalls.begin());
    }
    EXPECT_EQ(Operations(), c.Undo);
    EXPECT_FALSE(ProgressState().Active);
    EXPECT_EQ(Client.StatusPanels[sbiText], "Ready");
  }
}

TEST_F(ProgressExports, RestartingWhileActivePushesAgain) {
  SimAPI_PercentInit(10);
  SimAPI_PercentInit(10);
  EXPECT_EQ(Operations(), (std::vector<std::int32_t>{sbiPush, sbiProgressStart, sbiPush, sbiProgressStart}));
}

}  // namespace
}  // namespace tolvex
