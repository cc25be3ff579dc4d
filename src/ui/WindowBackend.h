// The window system that shows the process's modal forms on a screen (the Qt library on Linux), as the toolkit sees it.
//
// It is the one object of the toolkit that passes between modules: the host loads the window system
// and registers it (libtolvex_user.so on Linux), and the plug-in hands it its forms. Both sides are
// parts of one build, made from the same sources by the same compiler, so a form means the same
// memory to both; the tag checks exactly that before a form is handed over.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/Controls.h"
#include "ui/ModalResult.h"

namespace tolvex::ui {

// This build's toolkit: the layout of its objects and the compiler that laid them out.
inline std::string UiAbiTag() {
  return "tolvex-ui/1 form=" + std::to_string(sizeof(TForm)) + " control=" + std::to_string(sizeof(TControl)) +
         " string=" + std::to_string(sizeof(std::string)) + " function=" + std::to_string(sizeof(std::function<void()>)) +
         " compiler=" __VERSION__;
}

class TWindowBackend {
 public:
  // UiAbiTag() of the build the window system was made in.
  virtual const char* AbiTag() const = 0;
  // Shows Form as a window modal to the native window Owner (0 for none) until the form closes, and
  // gives its modal result. While it runs, the thread's message queue is dispatched. Player, when
  // set, runs once the window is shown, standing in for the person: it works the form through
  // TForm::Input and returns once the form has closed.
  virtual TModalResult RunModal(TForm& form, std::intptr_t owner, const std::function<void()>& player) = 0;
  // Lets the window system draw and take its own events for a moment; a scripted run calls it between steps.
  virtual void ProcessEvents() = 0;

 protected:
  ~TWindowBackend() = default;
};

// The window system the host registered, when it was made in this build; none otherwise.
TWindowBackend* CurrentWindowBackend();

}  // namespace tolvex::ui
