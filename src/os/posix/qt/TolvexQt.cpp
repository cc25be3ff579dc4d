// The exports of libtolvex_qt.so: starting and stopping the window system, message boxes, and a picture of the window in front.
#include "os/posix/qt/TolvexQt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "os/posix/qt/QtWindowBackend.h"

namespace tolvex::qt {
namespace {

struct TState {
  std::unique_ptr<QApplication> OwnApplication;  // null when the process had one already
  std::unique_ptr<QMainWindow> MainWindow;
  TQtWindowBackend Backend;
};
TState* State = nullptr;

// QApplication keeps references to these for its whole life.
int FakeArgc = 1;
char FakeProgramName[] = "tolvex";
char* FakeArgv[] = {FakeProgramName, nullptr};

void WriteError(char* error, int errorSize, const std::string& message) {
  if (error == nullptr || errorSize <= 0) return;
  const std::size_t length = std::min(message.size(), static_cast<std::size_t>(errorSize - 1));
  std::memcpy(error, message.data(), length);
  error[length] = '\0';
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string LastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t start = text.find_last_of('\n');
  return start == std::string::npos ? text : text.substr(start + 1);
}

// Qt ends the process when its platform plugin cannot start (no display, a display that refuses, a
// plugin that is not installed), so a child process tries first and the host gets an error instead.
bool PlatformStarts(std::string& message) {
  const std::string platform = Environment("QT_QPA_PLATFORM");
  if (platform.empty() && Environment("DISPLAY").empty() && Environment("WAYLAND_DISPLAY").empty()) {
    message =
        "no display to open windows on: neither DISPLAY nor WAYLAND_DISPLAY is set (QT_QPA_PLATFORM=offscreen "
        "draws without one)";
    return false;
  }
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) {
    message = std::string("cannot test the display: ") + std::strerror(errno);
    return false;
  }
  const pid_t child = fork();
  if (child < 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    message = std::string("cannot test the display: ") + std::strerror(errno);
    return false;
  }
  if (child == 0) {
    dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    int argc = 1;
    char name[] = "tolvex-display-test";
    char* argv[] = {name, nullptr};
    {
      QGuiApplication application(argc, argv);
    }
    _exit(0);
  }
  close(pipeEnds[1]);
  fcntl(pipeEnds[0], F_SETFL, fcntl(pipeEnds[0], F_GETFL) | O_NONBLOCK);
  std::string output;
  // A display that never answers must not hang the host: the child gets 15 seconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  bool open = true;
  while (open) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd readable{pipeEnds[0], POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[512];
    const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer);
    if (got > 0) output.append(buffer, static_cast<std::size_t>(got));
    else open = got < 0 && errno == EAGAIN;
  }
  close(pipeEnds[0]);
  int status = 0;
  if (open) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    message = "the window system did not start within 15 seconds (QT_QPA_PLATFORM=\"" + platform + "\")";
    return false;
  }
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  const std::string said = LastLine(output);
  message = "the window system cannot open a display (QT_QPA_PLATFORM=\"" + platform + "\", DISPLAY=\"" +
            Environment("DISPLAY") + "\")" + (said.empty() ? std::string() : ": " + said);
  return false;
}

QString BoxText(const char* text) {
  // The system breaks lines with CR, CR LF or LF alike.
  QString result = QString::fromUtf8(text != nullptr ? text : "");
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return result;
}

// Escape answers the box's Escape answer even where no button carries it.
class TEscapeAnswer final : public QObject {
 public:
  explicit TEscapeAnswer(QMessageBox& box) : FBox(box) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) return false;
    FBox.done(-1);
    return true;
  }

 private:
  QMessageBox& FBox;
};

}  // namespace
}  // namespace tolvex::qt

using namespace tolvex::qt;

extern "C" {

int TolvexQt_Start(intptr_t mainWindow, const char* title, char* error, int errorSize) {
  try {
    if (State != nullptr) {
      WriteError(error, errorSize, "the window system is already started");
      return 1;
    }
    auto state = std::make_unique<TState>();
    QCoreApplication* existing = QCoreApplication::instance();
    if (existing == nullptr) {
      std::string message;
      if (!PlatformStarts(message)) {
        WriteError(error, errorSize, message);
        return 2;
      }
      state->OwnApplication = std::make_unique<QApplication>(FakeArgc, FakeArgv);
      // The host decides when the program ends, not the last window closing.
      QApplication::setQuitOnLastWindowClosed(false);
    } else if (qobject_cast<QApplication*>(existing) == nullptr) {
      WriteError(error, errorSize, "the process runs a Qt application without widgets; windows need a QApplication");
      return 3;
    }
    state->MainWindow = std::make_unique<QMainWindow>();
    state->MainWindow->setWindowTitle(QString::fromUtf8(title != nullptr ? title : ""));
    state->MainWindow->resize(800, 600);
    state->MainWindow->show();
    state->Backend.SetOwnerWindow(mainWindow, state->MainWindow.get());
    State = state.release();
    TvxSetWindowBackend(static_cast<tolvex::ui::TWindowBackend*>(&State->Backend));
    WriteError(error, errorSize, "");
    return 0;
  } catch (const std::exception& e) {
    WriteError(error, errorSize, std::string("the window system could not start: ") + e.what());
    return 4;
  } catch (...) {
    WriteError(error, errorSize, "the window system could not start");
    return 4;
  }
}

void TolvexQt_Stop(void) {
  if (State == nullptr) return;
  try {
    if (TvxGetWindowBackend() == static_cast<tolvex::ui::TWindowBackend*>(&State->Backend)) TvxSetWindowBackend(nullptr);
    std::unique_ptr<TState> state(State);
    State = nullptr;
    state->MainWindow.reset();
    if (state->OwnApplication) {
      QCoreApplication::processEvents();
      state->OwnApplication.reset();
    }
  } catch (...) {
    State = nullptr;
  }
}

int TolvexQt_MessageBox(const TvxMessageBox* box) {
  if (box == nullptr) return 0;
  if (State == nullptr) return box->defaultResult;
  try {
    QMessageBox message(State->MainWindow.get());
    message.setWindowTitle(QString::fromUtf8(box->caption != nullptr ? box->caption : ""));
    message.setTextFormat(Qt::PlainText);
    message.setText(BoxText(box->text));
    switch (box->icon) {
      case 1: message.setIcon(QMessageBox::Critical); break;
      case 2: message.setIcon(QMessageBox::Information); break;
      case 3: message.setIcon(QMessageBox::Question); break;
      case 4: message.setIcon(QMessageBox::Warning); break;
      default: message.setIcon(QMessageBox::NoIcon); break;
    }
    struct TChoice {
      const char* Caption;
      QMessageBox::ButtonRole Role;
      int Result;
    };
    std::vector<TChoice> choices;
    if (box->buttons == 1) choices = {{"OK", QMessageBox::AcceptRole, 1}, {"Cancel", QMessageBox::RejectRole, 2}};
    else if (box->buttons == 2) choices = {{"Yes", QMessageBox::YesRole, 6}, {"No", QMessageBox::NoRole, 7}};
    else choices = {{"OK", QMessageBox::AcceptRole, 1}};
    std::vector<std::pair<QPushButton*, int>> buttons;
    QPushButton* escape = nullptr;
    for (const TChoice& choice : choices) {
      // Plain captions: the system's boxes have no accelerators.
      QPushButton* button = message.addButton(QString::fromLatin1(choice.Caption), choice.Role);
      buttons.emplace_back(button, choice.Result);
      if (choice.Result == box->defaultResult) message.setDefaultButton(button);
      if (choice.Result == box->escapeResult) escape = button;
    }
    if (message.defaultButton() == nullptr) message.setDefaultButton(buttons.front().first);
    TEscapeAnswer escapeAnswer(message);
    if (escape != nullptr) message.setEscapeButton(escape);
    else message.installEventFilter(&escapeAnswer);
    message.adjustSize();
    QScreen* screen = State->MainWindow->screen() != nullptr ? State->MainWindow->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
      const QRect area = screen->availableGeometry();
      message.move(area.center() - message.rect().center());
    }
    TQueuePump pump;
    message.exec();
    const QAbstractButton* clicked = message.clickedButton();
    for (const auto& [button, result] : buttons) {
      if (button == clicked) return result;
    }
    return box->escapeResult;
  } catch (...) {
    return box->escapeResult;
  }
}

int TolvexQt_PresentMessageBox(void*, const TvxMessageBox* box) { return TolvexQt_MessageBox(box); }

int TolvexQt_GrabForm(const char* path) {
  if (State == nullptr || path == nullptr) return 1;
  try {
    QWidget* front = QApplication::activeModalWidget();
    if (front == nullptr) front = State->MainWindow.get();
    if (front == nullptr || !front->isVisible()) return 1;
    const QPixmap picture = front->grab();
    return picture.save(QString::fromUtf8(path), "PNG") ? 0 : 2;
  } catch (...) {
    return 2;
  }
}

}  // extern "C"
