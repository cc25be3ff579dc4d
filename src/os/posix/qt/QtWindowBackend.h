// The Qt window system as the toolkit sees it: the TWindowBackend the host registers, running each form in a dialog of its own with a modal loop that keeps the host's queue moving.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "ui/WindowBackend.h"

class QTimer;

namespace tolvex::qt {

// Dispatches the messages waiting in the thread's queue (bounded, so that a handler posting again on
// every message cannot hold the window system up; the rest wait for the next turn).
void DispatchWaitingMessages();

// While it exists, the thread's queue is dispatched every few milliseconds by whatever Qt event loop runs.
class TQueuePump {
 public:
  TQueuePump();
  ~TQueuePump();
  TQueuePump(const TQueuePump&) = delete;
  TQueuePump& operator=(const TQueuePump&) = delete;

 private:
  QTimer* FTimer;
};

class TQtWindowBackend final : public ui::TWindowBackend {
 public:
  const char* AbiTag() const override;
  // A handler's exception (from a native notification or from Player) ends the loop and is rethrown
  // here, after the widgets are gone: it is the plug-in's own, handed back to the plug-in's caller.
  ui::TModalResult RunModal(ui::TForm& form, std::intptr_t owner, const std::function<void()>& player) override;
  void ProcessEvents() override;

  // The native window that stands for the host's window Handle (forms owned by it are modal to it).
  void SetOwnerWindow(std::intptr_t handle, QWidget* window) {
    FOwnerHandle = handle;
    FOwnerWindow = window;
  }
  QWidget* OwnerWindow() const { return FOwnerWindow; }
  // How many forms are shown at the moment (nested forms count each).
  int ModalDepth() const { return FModalDepth; }

 private:
  std::intptr_t FOwnerHandle = 0;
  QPointer<QWidget> FOwnerWindow;
  int FModalDepth = 0;
};

}  // namespace tolvex::qt
