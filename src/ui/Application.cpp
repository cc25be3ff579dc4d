// The library's application object.
#include "ui/Application.h"

#include <algorithm>

#include "os/Os.h"

namespace tolvex::ui {

TApplication::TApplication() {
  FHandle = os::CreateMessageWindow(
      [](void* context, const os::TMessage& message) {
        if (message.Message == os::WM_USER_MESSAGE) ++static_cast<TApplication*>(context)->FWakeUps;
      },
      this);
}

TApplication::~TApplication() {
  if (FHandle) os::DestroyMessageWindow(FHandle);
}

void TApplication::ProcessIdle() {
  // A handler may add or remove handlers, so it runs on a copy.
  const auto handlers = FIdleHandlers;
  for (const auto& [id, handler] : handlers)
    if (handler) handler();
}

int TApplication::AddIdleHandler(std::function<void()> handler) {
  FIdleHandlers.emplace_back(FNextId, std::move(handler));
  return FNextId++;
}

void TApplication::RemoveIdleHandler(int id) {
  std::erase_if(FIdleHandlers, [id](const auto& entry) { return entry.first == id; });
}

TApplication& Application() {
  static TApplication application;
  return application;
}

}  // namespace tolvex::ui
