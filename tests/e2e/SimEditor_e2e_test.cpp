// The Sim Editor through tolvex-host: scripts played into the dialog on a schematic, their transcripts, and what OK or Cancel leaves in the saved file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

std::string EditorData(const std::string& name) { return std::string(TOLVEX_TEST_DATA_DIR) + "/editor/" + name; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The saved file's lines from the component's designator to the next component's.
std::string ComponentSection(const std::string& file, const std::string& designator) {
  const std::size_t start = file.find("\"designator\": \"" + designator + "\",\n");
  if (start == std::string::npos) return {};
  const std::size_t end = file.find("\n    {\n      \"designator\"", start);
  return file.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Every occurrence of From replaced by To, so that transcripts do not depend on where the test runs.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

struct TEditCase {
  const char* Script;  // tests/data/editor/<Script>.script, expected <Script>.transcript
  const char* Designator;
  std::vector<std::string> HostOptions;  // before the actions
  bool Accepted;
  std::vector<std::string> SavedHas;    // texts of the component's section afterwards (a parameter line without its end)
  std::vector<std::string> SavedLacks;  // texts no longer in it
};

const std::vector<TEditCase>& EditCases() {
  // clang-format off
  static const std::vector<TEditCase> cases = {
      // A component without a stored kind opens on the generic editor; the prefix list has its 25 entries.
      {"open-generic", "U1", {}, false, {}, {}},
      // Resistor to capacitor: the kind-change confirmation, then kind, prefix, template and the value at component level.
      {"resistor-to-capacitor", "R1", {}, true,
       {R"({"name": "Value", "value": "100n")", R"({"name": "SubKind", "value": "Capacitor")",
        R"({"name": "Spice Prefix", "value": "C")",
        R"("value": "@DESIGNATOR %1 %2 @VALUE ?\"INITIAL VOLTAGE\"|IC=@\"INITIAL VOLTAGE\"|")"},
       {R"("value": "Resistor")"}},
      // A stored kind that is not registered: the first kind and sub-kind, and the confirmation on OK.
      {"unregistered-kind", "Q9", {}, true,
       {R"({"name": "Kind", "value": "General")", R"({"name": "SubKind", "value": "Capacitor")"}, {"Mystery"}},
      // Every refusal of OK, each answered so that the dialog stays open, then Cancel.
      {"pin-count-refused", "P1", {}, false, {}, {}},
      // A component without pins passes the pin check.
      {"no-pins", "N0", {}, true, {R"({"name": "Value", "value": "10")"}, {}},
      {"value-required-and-confirmations", "R2", {}, false, {}, {}},
      // The location radio buttons: a bare file name, "Any" saving no location whatever the edits hold.
      {"location-in-file-then-any", "D1", {}, true, {R"("modelName": "D1N4148")"}, {"diodes.mdl"}},
      {"location-full-path-choose", "D2", {"--choose", "models/diodes.mdl"}, true, {}, {"/opt/models"}},
      {"location-integrated-library", "D3", {}, false, {}, {}},
      // The preview in view follows the model name as it is typed.
      {"preview-follows-model-name", "D1", {}, false, {}, {}},
      // The pin mapping page: Part 1/1, a pin set to "Not Connected" saved as NC; a kind with fewer ports.
      {"pin-mapping-not-connected", "R1", {}, true, {"\"portMap\": \"(1:1),(2:NC)\""}, {}},
      {"pin-mapping-fewer-ports", "U1", {}, false, {}, {}},
      // The preview follows a mapping row at once; the model file tab: no model required, model not found.
      {"preview-follows-pin-mapping", "R1", {}, false, {}, {}},
      {"model-not-found", "D2", {}, false, {}, {}},
      // A stored prefix that is not in the list shows the empty item; the frame's own is saved.
      {"prefix-not-in-list", "G1", {}, true, {R"({"name": "Spice Prefix", "value": "N")"}, {}},
      // The generic editor: add, rename and delete parameters, edit the template.
      {"generic-session", "U1", {}, true,
       {R"({"name": "Netlist", "value": "@DESIGNATOR %1 %2 %3 @GAIN")", R"({"name": "Gain", "value": "10")"},
       {"New Parameter"}},
      // A larger dialog: the anchored controls follow and the frame is arranged again.
      {"resize", "R1", {}, false, {}, {}},
      // A script error: named with its line, the dialog ends cancelled, nothing written.
      {"script-error", "R1", {}, false, {}, {}},
  };
  // clang-format on
  return cases;
}

// Plays the case's script into the dialog on a fresh copy of editor.SchDoc, saves the document and
// compares the transcript. TOLVEX_UPDATE_TRANSCRIPTS=1 writes the transcripts instead of comparing
// (read each one by hand before keeping it).
class SimEditorScripts : public ::testing::Test {
 public:
  struct TResult {
    THostRun Run;
    std::string Saved;
  };
  // With Gui the host shows the dialog through the Qt window system (offscreen: no display needed) and the
  // script plays into the shown window; the transcript must be the headless one, line for line.
  TResult Play(const TEditCase& c, bool gui = false) {
    const std::string schematic = Work.Path() + "/editor.SchDoc";
    WriteFile(schematic, ReadFile(EditorData("editor.SchDoc")));
    const std::string models = Work.Path() + "/models";
    std::system(("mkdir -p '" + models + "' && cp '" + std::string(TOLVEX_EXAMPLES_DIR) + "/models/diodes.mdl' '" +
                 models + "/'")
                    .c_str());
    const std::string transcript = Work.Path() + "/transcript.txt";
    // Model folders relative to the host's working folder, so that the paths the dialog shows (and shortens
    // to its label's width) are the same wherever the test runs: the models, and the folder itself for a
    // location such as models/diodes.mdl.
    std::vector<std::string> arguments{"--schematic", schematic, "--model-path", "models", "--model-path", ".",
                                       "--ui-script", EditorData(std::string(c.Script) + ".script"),
                                       "--ui-transcript", transcript};
    arguments.insert(arguments.end(), c.HostOptions.begin(), c.HostOptions.end());
    if (gui) arguments.push_back("--gui");
    for (const char* action : {"open", "edit", "save"}) {
      arguments.push_back(action);
      arguments.push_back(std::string(action) == "edit" ? c.Designator : schematic);
    }
    THostGuard guard;
    guard.WorkingFolder = Work.Path();
    const std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen"};
    TResult result{RunHostGuarded(arguments, guard, gui ? environment : std::vector<std::string>{}), ReadFile(schematic)};
    const std::string actual = ReplaceAll(ReadFile(transcript), Work.Path(), "<work>");
    const std::string expectedPath = EditorData(std::string(c.Script) + ".transcript");
    if (const char* update = std::getenv("TOLVEX_UPDATE_TRANSCRIPTS"); !gui && update && std::string(update) == "1") {
      WriteFile(expectedPath, actual);
    } else {
      EXPECT_EQ(actual, ReadFile(expectedPath)) << "journal:\n" << result.Run.JournalText();
    }
    return result;
  }
  const std::string& WorkPath() const { return Work.Path(); }

 private:
  TScratchFolder Work;
};

// Plays every case and checks the saved file; Gui as in Play.
void PlayAll(SimEditorScripts& fixture, bool gui);

TEST_F(SimEditorScripts, ScriptsGiveTheirTranscriptsAndOkWritesWhatTheyShow) { PlayAll(*this, false); }

// The Qt window system adds nothing of its own: the same scripts, played into the shown window, give the same
// transcripts and the same files.
TEST_F(SimEditorScripts, TheQtWindowGivesTheSameTranscriptsAndFiles) {
  ASSERT_TRUE(std::ifstream(std::string(TOLVEX_BIN_DIR) + "/libtolvex_qt.so").good())
      << "libtolvex_qt.so was not built beside tolvex-host";
  PlayAll(*this, true);
}

void PlayAll(SimEditorScripts& fixture, bool gui) {
  const std::string original = ReadFile(EditorData("editor.SchDoc"));
  for (TEditCase c : EditCases()) {
    SCOPED_TRACE(c.Script);
    for (std::string& option : c.HostOptions) option = ReplaceAll(option, "<work>", fixture.WorkPath());
    const auto result = fixture.Play(c, gui);
    const auto edits = result.Run.Events("edit");
    ASSERT_EQ(edits.size(), 1u) << result.Run.JournalText();
    EXPECT_EQ(edits[0].Get("status"), "0x00000000");
    EXPECT_EQ(edits[0].Get("accepted"), c.Accepted ? "1" : "0");
    if (!c.Accepted) {
      EXPECT_EQ(result.Saved, original) << "a dialog that was not accepted changed the schematic";
      continue;
    }
    const std::string section = ComponentSection(result.Saved, c.Designator);
    for (const std::string& line : c.SavedHas) EXPECT_NE(section.find(line), std::string::npos) << line << "\n" << section;
    for (const std::string& text : c.SavedLacks) EXPECT_EQ(section.find(text), std::string::npos) << text << "\n" << section;
    // The other components are as they were.
    for (const char* other : {"R1", "U1", "Q9", "P1", "N0", "D1", "D2", "D3", "G1", "R2"}) {
      if (std::string(other) != c.Designator)
        EXPECT_EQ(ComponentSection(result.Saved, other), ComponentSection(original, other)) << other;
    }
  }
}


TEST(SimEditorHandles, HandlesOfOtherObjectsOrOfNoneAreRefusedAndNothingIsWritten) {
  TScratchFolder work;
  const std::string schematic = work.Path() + "/editor.SchDoc";
  const std::string original = ReadFile(EditorData("editor.SchDoc"));
  WriteFile(schematic, original);
  const THostRun found = RunHost({"--schematic", schematic, "open", schematic, "component", "R1"});
  const auto components = found.Events("component");
  ASSERT_EQ(components.size(), 1u) << found.JournalText();
  const std::string component = components[0].Get("handle");
  const std::string implementation = components[0].Get("implementation");
  // The handles are the same in every run on the same file.
  const THostRun run = RunHost({"--schematic", schematic, "open", schematic, "edit", component, component, "edit",
                                implementation, implementation, "edit", "0", component, "edit", "999999", "0", "save",
                                schematic});
  const auto edits = run.Events("edit");
  ASSERT_EQ(edits.size(), 4u) << run.JournalText();
  for (const TJournalLine& edit : edits) {
    EXPECT_EQ(edit.Get("status"), "0x8000FFFF") << edit.Raw;
    EXPECT_EQ(edit.Get("accepted"), "0") << edit.Raw;
  }
  EXPECT_EQ(ReadFile(schematic), original);
}

TEST(SimEditorProject, AComponentEditedThroughTheDialogIsNetlistedAndSimulatedByTheRealEngine) {
  TScratchFolder work;
  const std::string folder = work.Path() + "/rc_project";
  std::system(("cp -r '" + std::string(TOLVEX_EXAMPLES_DIR) + "/rc_project' '" + work.Path() + "/'").c_str());
  const std::string project = folder + "/rc_project.PrjPcb";
  const std::string schematic = folder + "/rc_project.SchDoc";
  const std::string transcript = work.Path() + "/transcript.txt";
  const THostRun edit = RunHost({"--open-project", project, "--ui-script",
                                 EditorData("project-capacitor-to-resistor.script"), "--ui-transcript", transcript,
                                 "open", schematic, "edit", "C1", "save", schematic});
  const auto edits = edit.Events("edit");
  ASSERT_EQ(edits.size(), 1u) << edit.JournalText();
  ASSERT_EQ(edits[0].Get("accepted"), "1") << ReadFile(transcript) << edit.JournalText();
  EXPECT_NE(ReadFile(transcript).find("write SubKind=\"Resistor\""), std::string::npos) << ReadFile(transcript);

  const std::string netlist = work.Path() + "/rc_project.nsx";
  const THostRun netlisted = RunHost({"netlist", project, netlist});
  ASSERT_EQ(netlisted.ExitCode, 0) << netlisted.Output << netlisted.JournalText();
  const std::string text = ReadFile(netlist);
  // The capacitor's line is now a resistor's: the prefix goes before the designator.
  EXPECT_NE(text.find("RC1 OUT 0 2k\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("100n"), std::string::npos) << text;

  const THostRun run = RunHost({"--answer", "No", "launch", "RunSimulator", "File1=" + netlist});
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText() << ReadFile(work.Path() + "/rc_project.err");
  EXPECT_FALSE(ReadFile(work.Path() + "/rc_project.sim").empty()) << run.JournalText();
}

}  // namespace
}  // namespace tolvex::e2e
