// The window backend: a form's dialog, its modal loop until the model closes the form, the player that stands in for the person, the host's queue dispatched meanwhile.
#include "os/posix/qt/QtWindowBackend.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <exception>
#include <string>

#include "os/posix/qt/QtFormView.h"
#include "os/posix/user/TolvexUser.h"

namespace tolvex::qt {

namespace {
// Often enough that a host command posted meanwhile arrives at once for a person, rarely enough to cost nothing.
constexpr int kPumpIntervalMs = 5;
constexpr int kMaxMessagesPerTurn = 10000;
}  // namespace

void DispatchWaitingMessages() {
  TvxMessage message;
  for (int i = 0; i < kMaxMessagesPerTurn && TvxPeekMessage(&message, 1) != 0; ++i) TvxDispatchMessage(&message);
}

TQueuePump::TQueuePump() : FTimer(new QTimer) {
  FTimer->setInterval(kPumpIntervalMs);
  QObject::connect(FTimer, &QTimer::timeout, [] { DispatchWaitingMessages(); });
  FTimer->start();
}

TQueuePump::~TQueuePump() { delete FTimer; }

const char* TQtWindowBackend::AbiTag() const {
  static const std::string tag = ui::UiAbiTag();
  return tag.c_str();
}

ui::TModalResult TQtWindowBackend::RunModal(ui::TForm& form, std::intptr_t owner, const std::function<void()>& player) {
  if (QCoreApplication::instance() == nullptr || form.Closed()) return form.Closed() ? form.ModalResult() : ui::mrCancel;
  QWidget* ownerWindow = owner != 0 && owner == FOwnerHandle ? FOwnerWindow.data() : nullptr;
  std::exception_ptr playerError;
  ui::TModalResult answer = ui::mrCancel;
  ++FModalDepth;
  {
    TQtFormView view(form, ownerWindow);
    QEventLoop loop;
    bool playerDone = !player;
    // The form decides when it is over; a player that still runs is let finish first.
    const auto finishIfDone = [&] {
      if (playerDone && (view.Form() == nullptr || view.Form()->Closed() || view.Error())) loop.quit();
    };
    view.SetOnClosed(finishIfDone);
    TQueuePump pump;
    QTimer prune;
    prune.setInterval(50);
    QObject::connect(&prune, &QTimer::timeout, [&view] { view.Prune(); });
    prune.start();
    view.Show();
    if (player) {
      QTimer::singleShot(0, &view.Dialog(), [&] {
        try {
          player();
        } catch (...) {
          playerError = std::current_exception();
        }
        playerDone = true;
        if (playerError) loop.quit();
        else finishIfDone();
      });
    }
    if (!(playerDone && (form.Closed() || view.Error()))) loop.exec();
    if (!playerError) playerError = view.Error();
    // A form destroyed meanwhile has no result of its own.
    answer = view.Form() != nullptr ? form.ModalResult() : ui::mrCancel;
  }
  --FModalDepth;
  if (playerError) std::rethrow_exception(playerError);
  return answer;
}

void TQtWindowBackend::ProcessEvents() { QCoreApplication::processEvents(); }

}  // namespace tolvex::qt
