// The Qt tests' shared start of the window system and their look-ups of the shown widgets.
#include "qt/QtTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <cstdlib>
#include <filesystem>

#include "os/posix/qt/TolvexQt.h"
#include "os/posix/user/TolvexUser.h"

namespace tolvex::test {

namespace {

class TQtEnvironment final : public ::testing::Environment {
 public:
  void TearDown() override { TolvexQt_Stop(); }
};
[[maybe_unused]] ::testing::Environment* const Environment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

ui::TWindowBackend& QtBackend() {
  static bool started = [] {
    // Drawn offscreen unless the caller asked for a real display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    char error[512] = {};
    const int status = TolvexQt_Start(MainWindowHandle, "Tolvex tests", error, sizeof error);
    if (status != 0) ADD_FAILURE() << "TolvexQt_Start: " << error;
    return status == 0;
  }();
  auto* backend = static_cast<ui::TWindowBackend*>(TvxGetWindowBackend());
  if (!started || backend == nullptr) {
    ADD_FAILURE() << "the window system did not start";
    std::abort();
  }
  return *backend;
}

QWidget* ShownDialog() { return QApplication::activeModalWidget(); }

void WaitUntilActive() {
  QWidget* dialog = ShownDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(QTest::qWaitForWindowActive(dialog, 5000)) << "the dialog never became active";
}

std::map<const ui::TControl*, QWidget*> WidgetsOfShownForm() {
  std::map<const ui::TControl*, QWidget*> widgets;
  QWidget* dialog = ShownDialog();
  if (dialog == nullptr) return widgets;
  const auto add = [&](QWidget* widget) {
    const QVariant value = widget->property("tolvexControl");
    if (value.isValid()) widgets[reinterpret_cast<const ui::TControl*>(value.value<quintptr>())] = widget;
  };
  add(dialog);
  for (QWidget* widget : dialog->findChildren<QWidget*>()) add(widget);
  return widgets;
}

std::string ScreenshotPath(const std::string& name) {
  const std::filesystem::path folder = TOLVEX_SCREENSHOT_DIR;
  std::filesystem::create_directories(folder);
  return (folder / (name + ".png")).string();
}

}  // namespace tolvex::test
