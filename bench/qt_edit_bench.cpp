// Benchmark of the Sim Editor drawn by the Qt window system (offscreen): the time from the edit's start (the
// dialog constructed and loaded, as EditImplementation does it) to the dialog's first paint, and from a keystroke
// in the value edit to that edit's repaint; beside the anchors of a bare Qt dialog with as many plain widgets shown
// to its first paint, and a keystroke in a bare line edit to its repaint. Targets: under 200 ms and under 16 ms.
//
//   qt_edit_bench [--repeat R] [--bin FOLDER]
//
// The component is R1 of a small generated schematic loaded into the real schematic server (Pravik.dll). Each
// figure is the best of R runs; the first (cold) run is printed too.
#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "editor/EditorKinds.h"
#include "editor/Form_ImplementationEditor.h"
#include "host/SchServerApi.h"
#include "os/posix/qt/TolvexQt.h"
#include "os/posix/user/TolvexUser.h"
#include "ui/WindowBackend.h"
#include "../stand_ins/schematic_server/Pravik.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;
using namespace tolvex;

namespace {

double Ms(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// When each widget was last painted.
class TPaintWatch final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) Last[watched] = TClock::now();
    return false;
  }
  // Processes events until Widget is painted after Since (at most five seconds); the paint's time.
  TClock::time_point WaitForPaint(const QObject* widget, TClock::time_point since) {
    const auto deadline = TClock::now() + std::chrono::seconds(5);
    while (TClock::now() < deadline) {
      const auto found = Last.find(widget);
      if (found != Last.end() && found->second >= since) return found->second;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    std::fprintf(stderr, "qt_edit_bench: no paint within five seconds\n");
    std::exit(1);
  }
  std::map<const QObject*, TClock::time_point> Last;
};

QWidget* WidgetOf(const ui::TControl* control) {
  QWidget* dialog = QApplication::activeModalWidget();
  if (dialog == nullptr) return nullptr;
  for (QWidget* widget : dialog->findChildren<QWidget*>()) {
    if (widget->property("tolvexControl").value<quintptr>() == reinterpret_cast<quintptr>(control)) return widget;
  }
  return nullptr;
}

void Generate(const fs::path& file) {
  std::ofstream out(file);
  out << R"json({"format": "tolvex-schematic", "version": 1, "components": [
  {"designator": "R1", "libraryReference": "RES", "location": [0, 0],
   "pins": [{"designator": "1", "name": "1", "location": [0, 0], "length": 10, "orientation": 0},
            {"designator": "2", "name": "2", "location": [30, 0], "length": 10, "orientation": 0}],
   "parameters": [{"name": "Value", "value": "1k"}],
   "implementations": [{"modelName": "RES", "description": "resistor", "portMap": "(1:1),(2:2)",
     "parameters": [{"name": "Kind", "value": "General"}, {"name": "SubKind", "value": "Resistor"},
                    {"name": "Spice Prefix", "value": "R"}, {"name": "Netlist", "value": "@DESIGNATOR %1 %2 @VALUE"}]}]}
]}
)json";
}

struct TTimes {
  double Open = 1e9;        // edit start to the dialog's first paint
  double Key = 1e9;         // keystroke in the value edit to its repaint
  double OpenAnchor = 1e9;  // a bare dialog of as many widgets to its first paint
  double KeyAnchor = 1e9;   // keystroke in a bare line edit to its repaint
};

}  // namespace

int main(int argc, char** argv) {
  int repeat = 10;
  std::string bin = TOLVEX_BIN_DIR;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--bin" && i + 1 < argc) bin = argv[++i];
    else {
      std::fprintf(stderr, "usage: qt_edit_bench [--repeat R] [--bin FOLDER]\n");
      return 2;
    }
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  void* pravik = dlopen((bin + "/Pravik.dll").c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!pravik) {
    std::fprintf(stderr, "qt_edit_bench: %s\n", dlerror());
    return 1;
  }
  auto open = reinterpret_cast<TPravik_OpenDocument>(dlsym(pravik, "Pravik_OpenDocument"));
  auto find = reinterpret_cast<TPravik_FindComponent>(dlsym(pravik, "Pravik_FindComponent"));
  if (!open || !find) {
    std::fprintf(stderr, "qt_edit_bench: Pravik.dll lacks its private exports\n");
    return 1;
  }
  SchServer().Bind([](const char* name) { return dlsym(RTLD_DEFAULT, name); });
  const fs::path folder = fs::temp_directory_path() / ("tolvex-qt-edit-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  Generate(folder / "r1.SchDoc");
  char error[512] = {};
  const THandle document = open((folder / "r1.SchDoc").c_str(), error, sizeof error);
  THandle component = 0, implementation = 0;
  if (!document || !find(document, "R1", &component, &implementation) || !implementation) {
    std::fprintf(stderr, "qt_edit_bench: R1 not loaded: %s\n", error);
    return 1;
  }

  constexpr std::intptr_t kMainWindow = 0x4D41;
  if (TolvexQt_Start(kMainWindow, "qt_edit_bench", error, sizeof error) != 0) {
    std::fprintf(stderr, "qt_edit_bench: %s\n", error);
    return 1;
  }
  auto* backend = static_cast<ui::TWindowBackend*>(TvxGetWindowBackend());
  TPaintWatch paints;
  qApp->installEventFilter(&paints);
  RegisterEditorKinds();

  TTimes best, first;
  int widgets = 0;
  for (int r = 0; r < repeat; ++r) {
    TTimes run;
    const auto start = TClock::now();
    TImplementationEditorDialog dialog(implementation, component);
    dialog.LoadFromImplementation();
    dialog.SetOwnerWindow(kMainWindow);
    backend->RunModal(dialog, kMainWindow, [&] {
      QWidget* shown = QApplication::activeModalWidget();
      run.Open = Ms(paints.WaitForPaint(shown, start) - start);
      widgets = static_cast<int>(shown->findChildren<QWidget*>().size());
      ui::TUserInput input;
      input.Kind = ui::uiChooseTab;
      input.Target = "TabControl_Main";
      input.Value = "Parameters";
      dialog.Input(input);
      QWidget* edit = WidgetOf(dialog.FindComponent("ResistorImplEditorFrame.ResistanceEdit"));
      paints.WaitForPaint(edit, TClock::now() - std::chrono::hours(1));
      edit->setFocus();
      QCoreApplication::processEvents();
      const auto key = TClock::now();
      QTest::keyClick(edit, Qt::Key_5);
      run.Key = Ms(paints.WaitForPaint(edit, key) - key);
      input = {};
      input.Kind = ui::uiEscape;
      dialog.Input(input);
    });
    if (dialog.FindComponent("ResistorImplEditorFrame.ResistanceEdit") == nullptr ||
        static_cast<ui::TEdit*>(dialog.FindComponent("ResistorImplEditorFrame.ResistanceEdit"))->Text() != "1k5") {
      std::fprintf(stderr, "qt_edit_bench: the keystroke did not reach the model\n");
      return 1;
    }

    // The anchors: Qt alone, a dialog of as many plain widgets, and a keystroke in a bare line edit.
    {
      const auto anchorStart = TClock::now();
      QDialog bare;
      bare.resize(653, 525);
      QLineEdit* line = nullptr;
      for (int i = 0; i < std::max(widgets, 1); ++i) {
        auto* label = new QLabel(QStringLiteral("Label %1").arg(i), &bare);
        label->setGeometry((i % 8) * 80, (i / 8) * 16 % 500, 78, 14);
      }
      line = new QLineEdit(&bare);
      line->setGeometry(8, 500, 120, 21);
      bare.show();
      run.OpenAnchor = Ms(paints.WaitForPaint(&bare, anchorStart) - anchorStart);
      line->setFocus();
      QCoreApplication::processEvents();
      const auto key = TClock::now();
      QTest::keyClick(line, Qt::Key_5);
      run.KeyAnchor = Ms(paints.WaitForPaint(line, key) - key);
    }
    if (r == 0) first = run;
    best.Open = std::min(best.Open, run.Open);
    best.Key = std::min(best.Key, run.Key);
    best.OpenAnchor = std::min(best.OpenAnchor, run.OpenAnchor);
    best.KeyAnchor = std::min(best.KeyAnchor, run.KeyAnchor);
  }
  ReleaseEditorKinds();
  qApp->removeEventFilter(&paints);
  TolvexQt_Stop();
  fs::remove_all(folder);

  std::printf("Sim Editor on R1 in the Qt window system (offscreen, %d widgets), best of %d:\n", widgets, repeat);
  std::printf("  edit start to first paint        %8.3f ms   (target under 200 ms)\n", best.Open);
  std::printf("  anchor: bare dialog, first paint %8.3f ms\n", best.OpenAnchor);
  std::printf("  keystroke to the edit's repaint  %8.3f ms   (target under 16 ms)\n", best.Key);
  std::printf("  anchor: bare line edit           %8.3f ms\n", best.KeyAnchor);
  std::printf("  ratios: open %.2f, keystroke %.2f\n", best.Open / best.OpenAnchor, best.Key / best.KeyAnchor);
  std::printf("first run (cold): open %.3f ms, keystroke %.3f ms\n", first.Open, first.Key);
  return best.Open < 200 && best.Key < 16 ? 0 : 3;
}
