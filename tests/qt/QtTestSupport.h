// What the Qt window system's tests share: the window system started once per process, its backend, the widget of each control, and where screenshots go.
#pragma once

#include <QWidget>

#include <map>
#include <string>

#include "ui/Controls.h"
#include "ui/WindowBackend.h"

namespace tolvex::test {

// Starts libtolvex_qt.so's window system on the first call (offscreen unless QT_QPA_PLATFORM says
// otherwise) with the main window handle MainWindowHandle; it stops when the test program ends.
ui::TWindowBackend& QtBackend();
constexpr std::intptr_t MainWindowHandle = 0x4D41;

// The widgets of the window in front (the shown form's dialog), by the control each stands for.
std::map<const ui::TControl*, QWidget*> WidgetsOfShownForm();
QWidget* ShownDialog();
// Waits (at most a few seconds) until the shown dialog is the active window, so that focus moves
// as a person's clicks and keys move it; a player starts as soon as the window shows.
void WaitUntilActive();

// The file a screenshot named Name goes to (qt-screenshots/<Name>.png in the build folder); the folder is made.
std::string ScreenshotPath(const std::string& name);

}  // namespace tolvex::test
