// End-to-end tests of the stand-in host's netlister: projects netlisted through the real Fenwarden.dll, Pravik.dll
// and Quillfold.dll with the plug-in's template expansion, and the bundled project simulated with the real engine
// and compared with batch ngspice on a hand-written netlist of the same circuit.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "HostRunner.h"

namespace tolvex::e2e {
namespace {

namespace fs = std::filesystem;

std::string DataFile(const std::string& name) { return std::string(TOLVEX_TEST_DATA_DIR) + "/netlister/" + name; }
std::string ExampleProject() { return std::string(TOLVEX_EXAMPLES_DIR) + "/rc_project/rc_project.PrjPcb"; }
std::string ExampleSheet() { return std::string(TOLVEX_EXAMPLES_DIR) + "/rc_project/rc_project.SchDoc"; }

std::vector<std::pair<std::string, std::string>> Messages(const THostRun& run) {
  std::vector<std::pair<std::string, std::string>> messages;
  for (const auto& line : run.Events("netlist-message")) messages.emplace_back(line.Get("designator"), line.Get("text"));
  return messages;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

// A two-pin component with a template; Extra goes into the implementation's parameters.
std::string Component(const std::string& designator, int x, const std::string& prefix, const std::string& netlist,
                      const std::string& value = "", const std::string& portMap = "(1:1),(2:2)",
                      const std::string& extra = "", int parts = 1) {
  std::string parameters = "{\"name\": \"Netlist\", \"value\": \"" + netlist + "\"}";
  if (!prefix.empty()) parameters += ", {\"name\": \"Spice Prefix\", \"value\": \"" + prefix + "\"}";
  if (!extra.empty()) parameters += ", " + extra;
  return "{\"designator\": \"" + designator + "\", \"partCount\": " + std::to_string(parts) +
         ", \"pins\": [{\"designator\": \"1\", \"name\": \"1\", \"location\": [" + std::to_string(x) +
         ", 10], \"length\": 10, \"orientation\": 3}, {\"designator\": \"2\", \"name\": \"2\", \"location\": [" +
         std::to_string(x) + ", -10], \"length\": 10, \"orientation\": 1}]" +
         (value.empty() ? "" : ", \"parameters\": [{\"name\": \"Value\", \"value\": \"" + value + "\"}]") +
         ", \"implementations\": [{\"portMap\": \"" + portMap + "\", \"parameters\": [" + parameters + "]}]}";
}

std::string Sheet(const std::string& components, const std::string& nets) {
  return "{\"format\": \"tolvex-schematic\", \"components\": [" + components + "], \"nets\": [" + nets + "]}";
}

class Netlister : public ::testing::Test {
 protected:
  // A project in the scratch folder with its documents; returns the project's path.
  std::string WriteProject(const std::string& name, const std::string& members,
                           const std::vector<std::pair<std::string, std::string>>& documents = {}) {
    for (const auto& [file, text] : documents) Work.File(file, text);
    return Work.File(name, "{\"format\": \"tolvex-project\", \"version\": 1, " + members + "}");
  }
  TScratchFolder Work;
};

// ---- netlists ------------------------------------------------------------------------------------------------

TEST_F(Netlister, TheBundledProjectGivesTheExpectedNetlist) {
  const std::string out = Work.Path() + "/rc.nsx";
  const THostRun run = RunHost({"netlist", ExampleProject(), out});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_EQ(ReadFile(out), ReadFile(DataFile("rc_project.nsx")));
  const auto done = run.Events("netlist");
  ASSERT_EQ(done.size(), 1u) << run.JournalText();
  EXPECT_EQ(done[0].Get("result"), "written");
  EXPECT_EQ(done[0].Get("path"), out);
  EXPECT_EQ(done[0].Get("components"), "3");
  EXPECT_EQ(done[0].Get("messages"), "0");
  EXPECT_TRUE(Messages(run).empty()) << run.JournalText();
  const auto opened = run.Events("schematic-open");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].Get("path"), fs::path(ExampleSheet()).lexically_normal().string());
  EXPECT_EQ(opened[0].Get("result"), "loaded");
  EXPECT_NE(run.Output.find("netlist: " + out + ", 3 components, 0 messages"), std::string::npos) << run.Output;
}

TEST_F(Netlister, WithoutAnOutputFileTheNetlistGoesBesideTheProject) {
  const std::string project =
      WriteProject("beside.PrjPcb", "\"documents\": [\"" + ExampleSheet() + "\"], \"analyses\": [\".op\"]");
  // An argument that does not end in .nsx is the next action.
  const THostRun run = RunHost({"netlist", project, "module-name"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_EQ(ReadFile(Work.Path() + "/beside.nsx"),
            "* beside\nV1 IN 0 DC 0 AC 1 PULSE(0 1 0 1u 1u 0.5m 1m)\nR1 IN OUT 1k\nC1 OUT 0 100n\n.op\n.end\n");
  EXPECT_EQ(run.Events("module-name").size(), 1u);
}

TEST_F(Netlister, SheetsPartsModelFilesAndGroundNamesGiveTheExpectedNetlistAndMessages) {
  const std::string out = Work.Path() + "/features.NSX";
  const THostRun run = RunHost({"netlist", DataFile("features.PrjPcb"), out});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const std::string models = fs::path(std::string(TOLVEX_EXAMPLES_DIR) + "/models").lexically_normal().string();
  EXPECT_EQ(ReadFile(out), Replace(ReadFile(DataFile("features.nsx")), "@MODELS@", models));
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"R2", "Net name \"IN SIG\" written as \"IN_SIG\""},
      {"D2", "Model NOSUCH is not defined in " + models + "/diodes.mdl"},
      {"J1", "No simulation implementation; the component is left out"},
      {"R1", "The designator is used again on amplifier.SchDoc; this component is left out"},
      {"R4", "No netlist template (the implementation's \"Netlist\" parameter); the component is left out"},
  };
  EXPECT_EQ(Messages(run), expected) << run.JournalText();
  EXPECT_EQ(run.Events("netlist")[0].Get("components"), "8");
  // Both documents went to the schematic server, the first list first; the plug-in's dual part kept its designator.
  const auto opened = run.Events("schematic-open");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(fs::path(opened[0].Get("path")).filename(), "amplifier.SchDoc");
  EXPECT_EQ(fs::path(opened[1].Get("path")).filename(), "supply.SchDoc");
}

TEST_F(Netlister, AnUncompiledProjectGivesPinDesignatorsAndSaysSo) {
  const std::string project = WriteProject(
      "raw.PrjPcb", "\"documents\": [\"" + ExampleSheet() + "\"], \"compiled\": false, \"analyses\": [\".op\"]");
  const std::string out = Work.Path() + "/raw.nsx";
  const THostRun run = RunHost({"netlist", project, out});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_EQ(ReadFile(out),
            "* raw\nV1 <1> <2> DC 0 AC 1 PULSE(0 1 0 1u 1u 0.5m 1m)\nR1 <1> <2> 1k\nC1 <1> <2> 100n\n.op\n.end\n");
  const std::string text = "Net names not available, project/document not compiled";
  const std::vector<std::pair<std::string, std::string>> expected = {{"V1", text}, {"R1", text}, {"C1", text}};
  EXPECT_EQ(Messages(run), expected);
  EXPECT_NE(run.Output.find("tolvex-host: netlist: R1: " + text), std::string::npos) << run.Output;
}

TEST_F(Netlister, TemplateMessagesAreReportedWithTheDesignatorOfTheirComponentAndPart) {
  const std::string sheet = Sheet(
      Component("R1", 0, "R", "@DESIGNATOR %1 %2 @VALUE") + ", " +
          Component("Q1", 100, "Q", "@DESIGNATOR %1 %2 %3 @MODEL", "", "(1:1),(2:2)",
                    "{\"name\": \"Model\", \"value\": \"QNPN\"}") +
          ", " + Component("V1", 200, "", "@DESIGNATOR %1 %2 DC 1") + ", " +
          Component("U1", 300, "X", "@DESIGNATOR %1 % %2") + ", " +
          Component("U2", 400, "X", "@DESIGNATOR %1 %2 @GAIN", "", "(1:1),(2:2)", "", 2),
      R"({"pins": ["R1.1", "Q1.1", "V1.1", "U1.1", "U2.1"], "labels": ["A"]},
         {"pins": ["R1.2", "Q1.2", "V1.2", "U1.2", "U2.2"], "power": ["GND"]})");
  const std::string project = WriteProject("messages.PrjPcb", R"("documents": ["messages.SchDoc"])",
                                           {{"messages.SchDoc", sheet}});
  const std::string out = Work.Path() + "/messages.nsx";
  const THostRun run = RunHost({"netlist", project, out});
  ASSERT_EQ(run.ExitCode, 0) << "messages do not stop a netlist\n" << run.JournalText();
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"R1", "Parameter Undefined (VALUE)"},
      {"Q1", "Could not map Pin (3)"},
      {"V1", "No Spice Prefix specified in SIM implementation"},
      {"V1", "Parameter Undefined (DESIGNATOR)"},
      {"U1", "Expected Alphanumeric Pin ID after % character"},
      {"U2A", "Parameter Undefined (GAIN)"},
      {"U2B", "Parameter Undefined (GAIN)"},
  };
  EXPECT_EQ(Messages(run), expected) << run.JournalText();
  EXPECT_EQ(run.Events("netlist")[0].Get("messages"), "7");
  for (const auto& [designator, text] : expected)
    EXPECT_NE(run.Output.find("tolvex-host: netlist: " + designator + ": " + text + "\n"), std::string::npos)
        << run.Output;
  // What each template still yields, as it yields it (only trailing blanks go), with the part letters in the
  // parts' designators.
  EXPECT_EQ(ReadFile(out), "* messages\nR1 A 0\nQ1 A 0  QNPN\n A 0 DC 1\nXU1 A\nXU2A A 0\nXU2B A 0\n.end\n");
}

TEST_F(Netlister, APinThatThePlugInWouldFindAsAnotherComponentsPinIsReported) {
  // R1 and R2 on two sheets at the same place: the plug-in finds pins by name, number and place alone.
  const std::string project = WriteProject(
      "twins.PrjPcb", R"("documents": ["a.SchDoc", "b.SchDoc"])",
      {{"a.SchDoc", Sheet(Component("R1", 0, "R", "@DESIGNATOR %1 %2 @VALUE", "1k"), R"({"pins": ["R1.1"], "labels": ["A"]})")},
       {"b.SchDoc", Sheet(Component("R2", 0, "R", "@DESIGNATOR %1 %2 @VALUE", "2k"), R"({"pins": ["R2.1"], "labels": ["B"]})")}});
  const THostRun run = RunHost({"netlist", project, Work.Path() + "/twins.nsx"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"R2", "Pin 1 lies where pin 1 of R1 lies, with the same name; the netlist gives it the net of R1's pin"},
      {"R2", "Pin 2 lies where pin 2 of R1 lies, with the same name; the netlist gives it the net of R1's pin"},
  };
  EXPECT_EQ(Messages(run), expected) << run.JournalText();
  EXPECT_EQ(ReadFile(Work.Path() + "/twins.nsx"), "* twins\nR1 A R1-2 1k\nR2 A R1-2 2k\n.end\n");
}

// Disabled: shows a fault of the plug-in's pin look-up (src/templates/Rt_Tolvex.cpp) that the test above can only
// report. A pin's item is looked up by the pin's name, number and place alone, so R2's pins on the second sheet
// get the nets of R1's pins on the first; R2 belongs on net B. It passes once the look-up also tells components
// (for instance by the item's component designator) or searches the component's own document first.
TEST_F(Netlister, DISABLED_PinsOfTwoComponentsAtOnePlaceOnTwoSheetsKeepTheirOwnNets) {
  const std::string project = WriteProject(
      "twins.PrjPcb", R"("documents": ["a.SchDoc", "b.SchDoc"])",
      {{"a.SchDoc", Sheet(Component("R1", 0, "R", "@DESIGNATOR %1 %2 @VALUE", "1k"), R"({"pins": ["R1.1"], "labels": ["A"]})")},
       {"b.SchDoc", Sheet(Component("R2", 0, "R", "@DESIGNATOR %1 %2 @VALUE", "2k"), R"({"pins": ["R2.1"], "labels": ["B"]})")}});
  const THostRun run = RunHost({"netlist", project, Work.Path() + "/twins.nsx"});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  EXPECT_EQ(ReadFile(Work.Path() + "/twins.nsx"), "* twins\nR1 A R1-2 1k\nR2 B R2-2 2k\n.end\n");
}

// ---- failures --------------------------------------------------------------------------------------------------

TEST_F(Netlister, AProjectThatCannotBeNetlistedFailsWithItsReasonAndLeavesTheOldNetlist) {
  struct TCase {
    const char* Name;
    std::string Project;  // members
    std::string Document;
    std::string Error;  // the reason, after the scratch folder's path
  };
  const std::string good = Sheet(Component("R1", 0, "R", "@DESIGNATOR %1 %2 1k"), R"({"pins": ["R1.1"]})");
  const std::vector<TCase> cases = {
      {"malformed project", "\"documents\": [\"s.SchDoc\"] \"analyses\": []", good,
       "/bad.PrjPcb:1:56: malformed JSON: syntax error while parsing object - unexpected string literal; expected '}'"},
      {"missing document", "\"documents\": [\"absent.SchDoc\"]", good,
       "/bad.PrjPcb: documents[0]: cannot open SCRATCH/absent.SchDoc: No such file or directory"},
      {"a pin of a missing component", "\"documents\": [\"s.SchDoc\"]",
       Sheet(Component("R1", 0, "R", "@DESIGNATOR %1 %2 1k"), R"({"pins": ["R1.1", "R5.1"]})"),
       "/s.SchDoc: nets[0].pins[1]: no component R5 on this document"},
      {"a document the schematic server refuses", "\"documents\": [\"s.SchDoc\"]",
       R"({"components": [{"designator": "R1", "partCount": 0}]})", "/s.SchDoc: components[0].partCount: "},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TScratchFolder work;
    work.File("s.SchDoc", c.Document);
    const std::string project = work.File("bad.PrjPcb", "{\"format\": \"tolvex-project\", " + c.Project + "}");
    const std::string out = work.File("bad.nsx", "the old netlist\n");
    const THostRun run = RunHost({"netlist", project, out, "module-name"});
    EXPECT_EQ(run.ExitCode, 1) << run.JournalText();
    EXPECT_EQ(ReadFile(out), "the old netlist\n");
    EXPECT_TRUE(run.Events("module-name").empty()) << "the actions after a failed netlist are not run";
    const std::string error = Replace(work.Path() + c.Error, "SCRATCH", work.Path());
    const auto done = run.Events("netlist");
    ASSERT_EQ(done.size(), 1u) << run.JournalText();
    EXPECT_EQ(done[0].Get("result"), "failed");
    EXPECT_EQ(done[0].Get("error").rfind(error, 0), 0u) << done[0].Get("error");
    const auto opened = run.Events("project-open");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].Get("result"), "failed");
    EXPECT_EQ(opened[0].Get("index"), "-1");
    EXPECT_NE(run.Output.find("tolvex-host: netlist: " + error), std::string::npos) << run.Output;
  }
}

TEST_F(Netlister, ANetlistThatCannotBeWrittenFailsAndLeavesWhatWasThere) {
  struct TCase {
    const char* Name;
    std::string Out;
    std::string Error;
  };
  fs::create_directory(Work.Path() + "/taken.nsx");
  const std::vector<TCase> cases = {
      {"folder missing", Work.Path() + "/missing/out.nsx",
       "cannot write " + Work.Path() + "/missing/out.nsx: No such file or directory"},
      {"a folder in its place", Work.Path() + "/taken.nsx", "cannot write " + Work.Path() + "/taken.nsx: Is a directory"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const THostRun run = RunHost({"netlist", ExampleProject(), c.Out});
    EXPECT_EQ(run.ExitCode, 1) << run.JournalText();
    const auto done = run.Events("netlist");
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Get("error"), c.Error);
    EXPECT_NE(run.Output.find("tolvex-host: netlist: " + c.Error), std::string::npos) << run.Output;
  }
  EXPECT_TRUE(fs::is_directory(Work.Path() + "/taken.nsx"));
  for (const auto& entry : fs::directory_iterator(Work.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".netlist-"), std::string::npos) << "no temporary file is left";
}

TEST_F(Netlister, AFailedDesignRequestEndsTheNetlist) {
  const std::string out = Work.Path() + "/rc.nsx";
  const THostRun run = RunHost({"--workspace-fail", "GetDocument", "netlist", ExampleProject(), out});
  EXPECT_EQ(run.ExitCode, 1) << run.JournalText();
  EXPECT_FALSE(FileExists(out));
  ASSERT_EQ(run.Events("netlist").size(), 1u);
  EXPECT_EQ(run.Events("netlist")[0].Get("error"),
            "cannot netlist " + fs::path(ExampleProject()).lexically_normal().string() +
                ": GetDocument failed with status -2147467259");
}

TEST_F(Netlister, AProjectOpenedOnTheCommandLineIsLoadedBeforeThePlugInOrStopsTheHost) {
  const THostRun good = RunHost({"--open-project", ExampleProject(), "module-name"});
  ASSERT_EQ(good.ExitCode, 0) << good.JournalText();
  const auto opened = good.Events("project-open");
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].Get("result"), "opened");
  EXPECT_EQ(opened[0].Get("index"), "0");
  EXPECT_EQ(good.Events("schematic-open").size(), 1u);
  EXPECT_EQ(good.Events("plugin").size(), 1u);

  const std::string bad = Work.File("bad.PrjPcb", "{\"documents\": [\"absent.SchDoc\"]}");
  const THostRun run = RunHost({"--open-project", bad, "module-name"});
  EXPECT_EQ(run.ExitCode, 2) << run.JournalText();
  EXPECT_TRUE(run.Events("plugin").empty()) << "the host stops before loading the plug-in";
  ASSERT_EQ(run.Events("project-open").size(), 1u);
  EXPECT_EQ(run.Events("project-open")[0].Get("result"), "failed");
  EXPECT_NE(run.Output.find("tolvex-host: " + Work.Path() + "/bad.PrjPcb: documents[0]: cannot open"), std::string::npos)
      << run.Output;
}

// ---- the bundled project simulated -----------------------------------------------------------------------------

// The viewer's log and ngspice's raw file both keep 8 significant digits or more of the same ngspice run on the
// same circuit, so values agree within 1e-6 relatively; the absolute part lets values that are zero but for
// rounding agree too. The netlists differ only in names, letter case and layout, so the time steps and the number
// of points must be the same.
constexpr double kRelativeTolerance = 1e-6;
constexpr double kAbsoluteTolerance = 1e-12;

bool Close(double a, double b) {
  return std::fabs(a - b) <= kRelativeTolerance * std::max(std::fabs(a), std::fabs(b)) + kAbsoluteTolerance;
}

struct TWave {
  std::string Name;
  std::vector<std::array<double, 3>> Points;  // x, real, imaginary
};
struct TChart {
  std::string Id, Name;
  std::vector<TWave> Waves;
};

// The value of key=VALUE or key="VALUE" in a line of the viewer's log.
std::string LogValue(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return {};
  std::size_t start = at + key.size() + 2;
  if (start < line.size() && line[start] == '"') {
    const std::size_t end = line.find('"', start + 1);
    return line.substr(start + 1, end - start - 1);
  }
  return line.substr(start, line.find(' ', start) - start);
}

std::vector<TChart> ReadViewerLog(const std::string& path) {
  std::vector<TChart> charts;
  std::ifstream in(path);
  auto chart = [&](const std::string& id) -> TChart* {
    for (TChart& c : charts)
      if (c.Id == id) return &c;
    return nullptr;
  };
  for (std::string line; std::getline(in, line);) {
    const std::string function = line.substr(0, line.find(' '));
    if (function == "NewChart") {
      charts.push_back({line.substr(line.rfind("-> ") + 3), LogValue(line, "name"), {}});
    } else if (function == "NewWaveform") {
      if (TChart* c = chart(LogValue(line, "chart"))) c->Waves.push_back({LogValue(line, "name"), {}});
    } else if (function == "NewDataPoint") {
      TChart* c = chart(LogValue(line, "chart"));
      const std::size_t wave = std::stoul(LogValue(line, "wave"));
      if (c && wave < c->Waves.size())
        c->Waves[wave].Points.push_back(
            {std::stod(LogValue(line, "rx")), std::stod(LogValue(line, "ry")), std::stod(LogValue(line, "iy"))});
    }
  }
  return charts;
}

struct TRawPlot {
  std::string Name;
  std::vector<std::string> Variables;
  std::vector<std::vector<std::complex<double>>> Points;
};

// ngspice's ASCII raw file: one block per analysis.
std::vector<TRawPlot> ReadAsciiRaw(const std::string& path) {
  std::vector<TRawPlot> plots;
  std::ifstream in(path);
  std::size_t variables = 0, points = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("Plotname:", 0) == 0) {
      plots.emplace_back().Name = line.substr(10);
    } else if (line.rfind("No. Variables:", 0) == 0) {
      variables = std::stoul(line.substr(14));
    } else if (line.rfind("No. Points:", 0) == 0) {
      points = std::stoul(line.substr(11));
    } else if (line == "Variables:" && !plots.empty()) {
      for (std::size_t k = 0; k < variables && std::getline(in, line); ++k) {
        std::istringstream fields(line);
        std::string index, name;
        fields >> index >> name;
        plots.back().Variables.push_back(name);
      }
    } else if (line == "Values:" && !plots.empty()) {
      for (std::size_t p = 0; p < points; ++p) {
        std::vector<std::complex<double>> row;
        std::string word;
        in >> word;  // the point's index
        for (std::size_t k = 0; k < variables && in >> word; ++k) {
          const std::size_t comma = word.find(',');
          row.emplace_back(std::stod(word.substr(0, comma)),
                           comma == std::string::npos ? 0.0 : std::stod(word.substr(comma + 1)));
        }
        plots.back().Points.push_back(std::move(row));
      }
    }
  }
  return plots;
}

// Whether build/bin/xspice.dll is the engine on ngspice, not the scripted test engine: the real one opens ngspice's
// shared library by name.
bool HaveRealEngine() {
  const std::string engine = ReadFile(BinFolder() + "/xspice.dll");
  return !engine.empty() && engine.find("libngspice.so") != std::string::npos;
}

TEST(NetlisterSimulation, TheBundledProjectSimulatesAsBatchNgspiceDoesTheHandWrittenNetlist) {
  if (!HaveRealEngine()) GTEST_SKIP() << BinFolder() << "/xspice.dll is missing or the scripted engine";
  const std::string ngspice = TOLVEX_NGSPICE_EXECUTABLE;
  if (ngspice.empty() || access(ngspice.c_str(), X_OK) != 0) GTEST_SKIP() << "no ngspice program to compare with";
  TScratchFolder work;
  const std::string out = work.Path() + "/rc.nsx", log = work.Path() + "/viewer.log";
  // One process: the host's copy of the core netlists, the plug-in's own runs the simulation.
  const THostRun run = RunHost({"--viewer-log", log, "netlist", ExampleProject(), out, "launch", "RunSimulator",
                                "File1=" + out});
  ASSERT_EQ(run.ExitCode, 0) << run.JournalText();
  ASSERT_EQ(run.Events("netlist")[0].Get("result"), "written") << run.JournalText();
  EXPECT_TRUE(run.Events("msgbox").empty()) << run.JournalText() << ReadFile(work.Path() + "/rc.err");
  ASSERT_EQ(run.Events("waveform").size(), 1u) << run.JournalText();

  // ngspice -b on the hand-written netlist, asking for an ASCII raw file.
  std::string reference = ReadFile(DataFile("rc_reference.nsx"));
  reference.insert(reference.rfind(".end"), ".options filetype=ascii\n");
  const std::string copy = work.File("reference.cir", reference), raw = work.Path() + "/reference.raw";
  const std::string command = "'" + ngspice + "' -b -n -r '" + raw + "' '" + copy + "' > '" + work.Path() +
                              "/reference.log' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(work.Path() + "/reference.log");
  const std::vector<TRawPlot> batch = ReadAsciiRaw(raw);
  const std::vector<TChart> charts = ReadViewerLog(log);
  ASSERT_EQ(batch.size(), 2u);
  ASSERT_EQ(charts.size(), 2u);
  for (const TRawPlot& plot : batch) {
    const std::string kind = plot.Name.find("AC") != std::string::npos ? "ac" : "tran";
    SCOPED_TRACE(kind);
    const auto chart = std::find_if(charts.begin(), charts.end(), [&](const TChart& c) { return c.Name == kind; });
    ASSERT_NE(chart, charts.end());
    ASSERT_EQ(chart->Waves.size(), plot.Variables.size() - 1);
    for (std::size_t v = 1; v < plot.Variables.size(); ++v) {
      SCOPED_TRACE(plot.Variables[v]);
      const auto wave = std::find_if(chart->Waves.begin(), chart->Waves.end(),
                                     [&](const TWave& w) { return w.Name == plot.Variables[v]; });
      ASSERT_NE(wave, chart->Waves.end());
      ASSERT_EQ(wave->Points.size(), plot.Points.size());
      for (std::size_t p = 0; p < plot.Points.size(); ++p) {
        const auto& [x, re, im] = wave->Points[p];
        const std::complex<double> expected = plot.Points[p][v];
        ASSERT_TRUE(Close(x, plot.Points[p][0].real()) && Close(re, expected.real()) && Close(im, expected.imag()))
            << "point " << p << ": viewer (" << x << ", " << re << ", " << im << "), batch ("
            << plot.Points[p][0].real() << ", " << expected.real() << ", " << expected.imag() << ")";
      }
    }
  }
}

}  // namespace
}  // namespace tolvex::e2e
