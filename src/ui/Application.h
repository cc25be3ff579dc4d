// The library's application object: a window that receives posted messages, and idle processing.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tolvex::ui {

class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // The application's message window; posting WM_USER to it wakes idle processing.
  std::intptr_t Handle() const { return FHandle; }
  // Runs the idle handlers once (deferred work of the toolkit's controls).
  void ProcessIdle();
  // Work to run from idle processing; returns an id for RemoveIdleHandler.
  int AddIdleHandler(std::function<void()> handler);
  void RemoveIdleHandler(int id);
  // How many WM_USER wake-ups the window has received.
  int WakeUpCount() const { return FWakeUps; }

 private:
  std::intptr_t FHandle = 0;
  int FWakeUps = 0;
  int FNextId = 1;
  std::vector<std::pair<int, std::function<void()>>> FIdleHandlers;
};

// The one application object of the library.
TApplication& Application();

}  // namespace tolvex::ui
