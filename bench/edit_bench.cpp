// Benchmark of the Sim Editor on a component of a generated 1,000-component schematic loaded into the real
// schematic server (Pravik.dll): the time from the edit's start to the dialog waiting for input, and from OK to
// the implementation written, beside the anchor of reading and writing the same implementation without the dialog,
// as ratios. The target is under 20 ms for each.
//
//   edit_bench [--components N] [--repeat R] [--bin FOLDER] [--keep]
//
// The dialog is driven by the headless user as EditImplementation drives it: construct, load, run modally, save.
// Each figure is the best of R edits of the same component (the middle one of the schematic), the edit changing
// its value each time, so every save writes.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "editor/EditorKinds.h"
#include "editor/Form_ImplementationEditor.h"
#include "host/SchServerApi.h"
#include "model_data/ImplementationData.h"
#include "ui/UiBackend.h"
#include "../stand_ins/schematic_server/Pravik.h"

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;
using namespace tolvex;

namespace {

double Ms(TClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Resistors, capacitors and generic blocks in turn, each with its pins, value and implementation.
void Generate(const fs::path& file, int components) {
  std::ofstream out(file);
  out << "{\n  \"format\": \"tolvex-schematic\",\n  \"version\": 1,\n  \"components\": [\n";
  for (int i = 1; i <= components; ++i) {
    const int kind = i % 3;
    const char* prefix = kind == 0 ? "R" : kind == 1 ? "C" : "U";
    const int pins = kind == 2 ? 8 : 2;
    out << "    {\"designator\": \"" << prefix << i << "\", \"libraryReference\": \"PART" << kind
        << "\", \"location\": [" << (i % 50) * 100 << ", " << (i / 50) * 100 << "], \"pins\": [";
    for (int p = 1; p <= pins; ++p)
      out << (p > 1 ? ", " : "") << "{\"designator\": \"" << p << "\", \"name\": \"P" << p << "\", \"location\": ["
          << p * 10 << ", 0], \"length\": 10, \"orientation\": 0}";
    out << "], \"parameters\": [{\"name\": \"Value\", \"value\": \"" << i << "k\"}], \"implementations\": [{"
        << "\"modelName\": \"M" << kind << "\", \"description\": \"part " << i << "\", \"portMap\": \"";
    for (int p = 1; p <= pins; ++p) out << (p > 1 ? "," : "") << "(" << p << ":" << p << ")";
    out << "\", \"parameters\": [";
    if (kind == 0)
      out << R"({"name": "Kind", "value": "General"}, {"name": "SubKind", "value": "Resistor"}, )"
          << R"({"name": "Spice Prefix", "value": "R"}, {"name": "Netlist", "value": "@DESIGNATOR %1 %2 @VALUE"})";
    else if (kind == 1)
      out << R"({"name": "Kind", "value": "General"}, {"name": "SubKind", "value": "Capacitor"}, )"
          << R"({"name": "Spice Prefix", "value": "C"}, {"name": "Netlist", "value": "@DESIGNATOR %1 %2 @VALUE"})";
    else
      out << R"({"name": "Netlist", "value": "@DESIGNATOR %1 %2 %3 %4 %5 %6 %7 %8 @GAIN"}, {"name": "Gain", "value": "2"})";
    out << "]}]}" << (i < components ? "," : "") << "\n";
  }
  out << "  ]\n}\n";
}

struct TTimes {
  double Open = 1e9;   // edit start to the dialog waiting for input
  double Write = 1e9;  // OK to the implementation written
  double Anchor = 1e9;  // the implementation read and written without the dialog
};

}  // namespace

int main(int argc, char** argv) {
  int components = 1000;
  int repeat = 20;
  bool keep = false;
  std::string bin = TOLVEX_BIN_DIR;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--components" && i + 1 < argc) components = std::atoi(argv[++i]);
    else if (a == "--repeat" && i + 1 < argc) repeat = std::atoi(argv[++i]);
    else if (a == "--bin" && i + 1 < argc) bin = argv[++i];
    else if (a == "--keep") keep = true;
    else {
      std::fprintf(stderr, "usage: edit_bench [--components N] [--repeat R] [--bin FOLDER] [--keep]\n");
      return 2;
    }
  }
  components = std::max(components, 3);
  repeat = std::max(repeat, 1);

  void* pravik = dlopen((bin + "/Pravik.dll").c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!pravik) {
    std::fprintf(stderr, "edit_bench: %s\n", dlerror());
    return 1;
  }
  auto open = reinterpret_cast<TPravik_OpenDocument>(dlsym(pravik, "Pravik_OpenDocument"));
  auto find = reinterpret_cast<TPravik_FindComponent>(dlsym(pravik, "Pravik_FindComponent"));
  if (!open || !find) {
    std::fprintf(stderr, "edit_bench: Pravik.dll lacks its private exports\n");
    return 1;
  }
  SchServer().Bind([](const char* name) { return dlsym(RTLD_DEFAULT, name); });

  const fs::path folder = fs::temp_directory_path() / ("tolvex-edit-bench-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path file = folder / "board.SchDoc";
  Generate(file, components);
  char error[512] = {};
  const auto loadStart = TClock::now();
  const THandle document = open(file.c_str(), error, sizeof error);
  const double loadMs = Ms(TClock::now() - loadStart);
  if (!document) {
    std::fprintf(stderr, "edit_bench: %s\n", error);
    return 1;
  }
  // A resistor in the middle of the sheet.
  int middle = components / 2;
  middle -= middle % 3;
  THandle component = 0, implementation = 0;
  if (!find(document, ("R" + std::to_string(middle)).c_str(), &component, &implementation) || !implementation) {
    std::fprintf(stderr, "edit_bench: R%d not found\n", middle);
    return 1;
  }

  RegisterEditorKinds();
  ui::THeadlessUiBackend user;
  ui::TScopedUiBackend scope(user);
  TTimes best;
  TTimes first;
  for (int r = 0; r < repeat; ++r) {
    // The anchor: what the dialog reads and writes, without the dialog.
    {
      const auto start = TClock::now();
      TImplementationData data(implementation, component);
      data.Load();
      data.Save();
      best.Anchor = std::min(best.Anchor, Ms(TClock::now() - start));
    }
    TClock::time_point start, waiting, ok;
    const std::string value = std::to_string(r + 1) + "k5";
    user.QueueFormPlayer([&](ui::TForm& form) {
      waiting = TClock::now();
      ui::TUserInput input;
      input.Kind = ui::uiChooseTab;
      input.Target = "TabControl_Main";
      input.Value = "Parameters";
      form.Input(input);
      input.Kind = ui::uiTypeText;
      input.Target = "ResistorImplEditorFrame.ResistanceEdit";
      input.Value = value;
      form.Input(input);
      input.Kind = ui::uiClick;
      input.Target = "Button_OK";
      input.Value.clear();
      ok = TClock::now();
      form.Input(input);
    });
    start = TClock::now();
    {
      TImplementationEditorDialog dialog(implementation, component);
      dialog.LoadFromImplementation();
      if (ui::RunModal(dialog) != ui::mrOk) {
        std::fprintf(stderr, "edit_bench: the dialog did not close with OK\n");
        return 1;
      }
      dialog.SaveToImplementation();
    }
    const auto written = TClock::now();
    best.Open = std::min(best.Open, Ms(waiting - start));
    best.Write = std::min(best.Write, Ms(written - ok));
    if (r == 0) first = {Ms(waiting - start), Ms(written - ok), best.Anchor};
  }
  ReleaseEditorKinds();
  // The figures only count if the edits reached the schematic.
  {
    TImplementationData data(implementation, component);
    data.Load();
    const TParameterData* stored = data.LoadedParameters().FindData("Value");
    const std::string expected = std::to_string(repeat) + "k5";
    if (!stored || stored->FValue != expected) {
      std::fprintf(stderr, "edit_bench: the value in the schematic is \"%s\", not \"%s\"\n",
                   stored ? stored->FValue.c_str() : "(none)", expected.c_str());
      return 1;
    }
  }

  std::printf("schematic: %d components, loaded into the schematic server in %.1f ms\n", components, loadMs);
  std::printf("edit of R%d, best of %d:\n", middle, repeat);
  std::printf("  edit start to waiting for input  %8.3f ms   (target under 20 ms)\n", best.Open);
  std::printf("  OK to implementation written     %8.3f ms   (target under 20 ms)\n", best.Write);
  std::printf("  anchor: read and write alone     %8.3f ms\n", best.Anchor);
  std::printf("  ratios: open %.2f, write %.2f\n", best.Open / best.Anchor, best.Write / best.Anchor);
  std::printf("first edit (cold): open %.3f ms, write %.3f ms, anchor %.3f ms\n", first.Open, first.Write, first.Anchor);
  if (!keep) fs::remove_all(folder);
  return 0;
}
