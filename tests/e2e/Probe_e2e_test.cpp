// tolvex-probe with the real modules: an implementation as the Sim Editor loads it, model look-ups through the
// library manager, and template expansion for one component, over the fixtures in tests/data and examples/.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "HostRunner.h"

extern char** environ;

namespace tolvex::e2e {
namespace {

struct TProbeRun {
  int ExitCode = -1;
  std::string Out;
  std::string Err;

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(Out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::string Describe() const {
    return "exit code " + std::to_string(ExitCode) + "\n--- stdout ---\n" + Out + "--- stderr ---\n" + Err;
  }
};

std::string Data(const std::string& relative) { return std::string(TOLVEX_TEST_DATA_DIR) + "/" + relative; }
std::string Example(const std::string& relative) { return std::string(TOLVEX_EXAMPLES_DIR) + "/" + relative; }

// Runs build/bin/tolvex-probe with Arguments in a scratch working folder. The user's TOLVEX_MODEL_PATH is
// left out, so that only the folders a test names are searched.
TProbeRun RunProbe(const std::vector<std::string>& arguments) {
  const TScratchFolder work;
  const std::string outPath = work.Path() + "/stdout.txt";
  const std::string errPath = work.Path() + "/stderr.txt";
  std::vector<std::string> args = {BinFolder() + "/tolvex-probe"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("TOLVEX_MODEL_PATH=", 0) != 0) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, work.Path().c_str());
  TProbeRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.Out = ReadFile(outPath);
  run.Err = ReadFile(errPath);
  return run;
}

// Whether Expected occur in Lines in this order (other lines may stand between them); the first missing one.
std::string MissingInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
  std::size_t at = 0;
  for (const std::string& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    if (at == lines.size()) return want;
    ++at;
  }
  return {};
}

std::size_t CountStarting(const std::vector<std::string>& lines, const std::string& prefix) {
  std::size_t n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

struct TCase {
  const char* Name;
  std::vector<std::string> Arguments;
  std::vector<std::string> Expected;  // lines in this order
  // How many lines of a kind there are in all ("pin ", "message ", ...), so that nothing else slips in.
  std::vector<std::pair<std::string, std::size_t>> Counts = {};
  int ExitCode = 0;
};

void RunCases(const std::vector<TCase>& cases) {
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TProbeRun run = RunProbe(c.Arguments);
    ASSERT_EQ(run.ExitCode, c.ExitCode) << run.Describe();
    EXPECT_EQ(run.Err, "") << run.Describe();
    const std::vector<std::string> lines = run.Lines();
    EXPECT_EQ(MissingInOrder(lines, c.Expected), "") << run.Describe();
    for (const auto& [prefix, count] : c.Counts)
      EXPECT_EQ(CountStarting(lines, prefix), count) << prefix << "\n" << run.Describe();
  }
}

TEST(ProbeEndToEnd, ImplementationKeepsTheComponentsParameterOfAName) {
  // The whole output, so that the format stays as documented: the component's "Value" stays and the
  // implementation's of the same name is gone; the reserved four are fields, never parameters.
  const std::string document = Data("schematics/probe.SchDoc");
  const TProbeRun run = RunProbe({"implementation", document, "R2"});
  ASSERT_EQ(run.ExitCode, 0) << run.Describe();
  EXPECT_EQ(run.Err, "");
  std::vector<std::string> lines = run.Lines();
  // The handles are the server's (their agreement with the host's is a test of its own).
  ASSERT_GE(lines.size(), 2u) << run.Describe();
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(component designator="R2" handle="\d+" implementation="\d+")")))
      << lines[1];
  lines.erase(lines.begin() + 1);
  const std::vector<std::string> expected = {
      "document \"" + document + "\"",
      "in-library-editor \"false\"",
      "kind \"General\"",
      "sub-kind \"Resistor\"",
      "spice-prefix \"R\"",
      "netlist \"@DESIGNATOR %1 %2 @VALUE ?TC1|TC1=@TC1|\"",
      "model-name \"RESISTOR\"",
      "model-location \"\"",
      "description \"Resistor with a value on the component and on the implementation\"",
      "port-map \"(1:1),(2:2)\"",
      "use-library-model \"false\"",
      "library-model-available \"false\"",
      "library-reference \"RES\"",
      "source-library \"Simulation Sources.IntLib\"",
      "designator \"R2\"",
      "part-count \"1\"",
      "pin designator=\"1\" name=\"1\" part=\"0\"",
      "pin designator=\"2\" name=\"2\" part=\"0\"",
      "parameter name=\"Value\" value=\"4k7\" type=\"0\" read-only=\"0\" component-level=\"true\"",
      "parameter name=\"Power\" value=\"0.25\" type=\"3\" read-only=\"2\" component-level=\"true\"",
      "parameter name=\"TC1\" value=\"0.001\" type=\"3\" read-only=\"1\" component-level=\"false\"",
      "model-kind \"MDL\"",
      "found-file \"\"",
      "found-file-name \"\"",
      "model-path \"\"",
      "[Error - Model Not Found]",
  };
  EXPECT_EQ(lines, expected) << run.Describe();
}

TEST(ProbeEndToEnd, ImplementationOfOtherComponents) {
  const std::string models = Data("models");
  RunCases({
      {"designator in another letter case",
       {"implementation", Data("schematics/rc_filter.SchDoc"), "r1"},
       {"designator \"R1\"",
        "parameter name=\"Value\" value=\"1k\" type=\"0\" read-only=\"0\" component-level=\"true\""},
       {{"parameter ", 1}, {"pin ", 2}}},
      // Its pins come from the library's sheet, not from its container, and the view is a library.
      {"current component of a library",
       {"implementation", Data("schematics/rc.SchLib"), "C?"},
       {"in-library-editor \"true\"", "designator \"C?\"", "pin designator=\"1\" name=\"1\" part=\"0\"",
        "pin designator=\"2\" name=\"2\" part=\"0\""},
       {{"pin ", 2}}},
      {"subcircuit with its model file",
       {"implementation", Data("schematics/probe.SchDoc"), "U1", "--model-path", models},
       {"model-name \"OPAMP\"", "model-location \"opamp.ckt\"", "part-count \"2\"",
        "pin designator=\"1\" name=\"IN+\" part=\"1\"", "pin designator=\"3\" name=\"V+\" part=\"0\"",
        "pin designator=\"5\" name=\"OUT\" part=\"1\"",
        "parameter name=\"GAIN\" value=\"2E5\" type=\"0\" read-only=\"0\" component-level=\"false\"",
        "model-kind \"CKT\"", "found-file \"" + models + "/opamp.ckt\"", "found-file-name \"opamp.ckt\"",
        "defining-line \"2\"", "subcircuit \"true\"", "model-port index=\"1\" name=\"INP\"",
        "model-port index=\"5\" name=\"OUT\"", "model-parameter name=\"GAIN\" default=\"1E5\""},
       {{"pin ", 5}, {"model-port ", 5}, {"model-parameter ", 1}}},
  });
}

TEST(ProbeEndToEnd, HandlesAreTheOnesTheHostHandsOut) {
  // The same file loaded first gives the same handles, so a printed pair can be given to tolvex-host's edit.
  const std::string document = Data("schematics/rc_filter.SchDoc");
  const TProbeRun probe = RunProbe({"implementation", document, "C1"});
  ASSERT_EQ(probe.ExitCode, 0) << probe.Describe();
  const THostRun host = RunHost({"--schematic", document, "open", document, "component", "C1"});
  ASSERT_EQ(host.Events("component").size(), 1u) << host.JournalText();
  // A copy: Events gives a vector of its own, gone at the end of this statement.
  const TJournalLine component = host.Events("component").at(0);
  const std::string expected = "component designator=\"C1\" handle=\"" + component.Get("handle") +
                               "\" implementation=\"" + component.Get("implementation") + "\"";
  EXPECT_EQ(MissingInOrder(probe.Lines(), {expected}), "") << probe.Describe() << host.JournalText();
}

TEST(ProbeEndToEnd, ModelLookUps) {
  const std::string models = Data("models");
  const std::string examples = Example("models");
  RunCases({
      {"subcircuit with five ports and PARAMS:",
       {"model", "OPAMP", "--subcircuit", "--model-path", models},
       {"model-name \"OPAMP\"", "model-kind \"CKT\"", "model-location \"\"", "use-library-model \"false\"",
        "found-file \"" + models + "/opamp.ckt\"", "found-file-name \"opamp.ckt\"",
        "model-path \"" + models + "/opamp.ckt\"", "line-count \"4\"", "defining-line \"2\"", "subcircuit \"true\"",
        "model-port index=\"1\" name=\"INP\"", "model-port index=\"2\" name=\"INN\"",
        "model-port index=\"3\" name=\"VCC\"", "model-port index=\"4\" name=\"VEE\"",
        "model-port index=\"5\" name=\"OUT\"", "model-parameter name=\"GAIN\" default=\"1E5\""},
       {{"model-port ", 5}, {"model-parameter ", 1}}},
      {"parameters with their defaults, name in lower case",
       {"model", "opamp1", "--model-path", examples},
       {"found-file-name \"opamps.ckt\"", "defining-line \"5\"", "subcircuit \"true\"",
        "model-port index=\"5\" name=\"OUT\"", "model-parameter name=\"GAIN\" default=\"2E5\"",
        "model-parameter name=\"GBW\" default=\"1MEG\"", "model-parameter name=\"ROUT\" default=\"75\"",
        "model-parameter name=\"RIN\" default=\"2MEG\""},
       {{"model-port ", 5}, {"model-parameter ", 4}}},
      {"plain model in a named file",
       {"model", "DSW75", "--location", "diodes.mdl", "--model-path", examples},
       {"model-location \"diodes.mdl\"", "found-file-name \"diodes.mdl\"", "defining-line \"8\"",
        "subcircuit \"false\""},
       {{"model-port ", 0}, {"model-parameter ", 0}}},
      {"the component's integrated library",
       {"model", "Q2N3904", "--library-model", "--source-library", "Discrete.IntLib", "--library-reference",
        "Q2N3904", "--model-path", examples},
       {"use-library-model \"true\"", "source-library \"Discrete.IntLib\"", "library-reference \"Q2N3904\"",
        "found-file \"" + examples + "/Discrete.IntLib\"",
        "model-path \"" + examples + "/Discrete.IntLib/Q2N3904/Q2N3904.mdl\"", "subcircuit \"false\""}},
      // The editor shows a file named by its full path even when it does not define the model.
      {"full path to a file without the model",
       {"model", "NOPE", "--location", examples + "/diodes.mdl", "--model-path", examples},
       {"model-path \"" + examples + "/diodes.mdl\"", "defining-line \"none\"", "subcircuit \"false\""},
       {{"[Error", 0}}},
      {"not found", {"model", "NOPE", "--model-path", examples},
       {"model-name \"NOPE\"", "found-file \"\"", "model-path \"\"", "[Error - Model Not Found]"},
       {{"defining-line ", 0}},
       1},
      {"no model folder at all", {"model", "OPAMP"}, {"[Error - Model Not Found]"}, {}, 1},
  });
}

TEST(ProbeEndToEnd, Expansion) {
  const std::string rc = Data("schematics/rc_filter.SchDoc");
  const std::string mine = Data("schematics/probe.SchDoc");
  const std::string kNoNets = "net-names-available \"false\"";
  RunCases({
      // Not compiled: every mapped pin is its designator in angle brackets.
      {"resistor without a list",
       {"expand", rc, "R1"},
       {"template \"@DESIGNATOR %1 %2 @VALUE\"", "part \"1\"", "parameter-list \"false\"", "line \"R1 <1> <2> 1k\"",
        kNoNets},
       {{"line ", 1}, {"message ", 0}, {"entry ", 0}}},
      {"resistor with a list",
       {"expand", rc, "R1", "--parameters", "Value=4k7"},
       {"parameter-list \"true\"", "entry name=\"Value\" value=\"4k7\"", "entry name=\"Model\" value=\"RESISTOR\"",
        "entry name=\"ModelLocation\" value=\"\"", "entry name=\"Spice Prefix\" value=\"R\"",
        "entry name=\"Designator\" value=\"R1\"", "entry name=\"Port Map\" value=\"(1:1),(2:2)\"",
        "line \"R1 <1> <2> 4k7\"", kNoNets},
       {{"line ", 1}, {"message ", 0}, {"entry ", 6}}},
      {"a given entry wins over the implementation's",
       {"expand", rc, "R1", "--parameters", "Port Map=(1:1)|Value=4k7|value=1"},
       {"entry name=\"Port Map\" value=\"(1:1)\"", "entry name=\"Value\" value=\"4k7\"", "line \"R1 <1>  4k7\"",
        "message \"Could not map Pin (2)\"", kNoNets},
       {{"entry ", 6}, {"message ", 1}}},
      {"port map lacking port 2",
       {"expand", mine, "R3"},
       {"line \"R3 <1>  1k\"", "message \"Could not map Pin (2)\"", kNoNets},
       {{"message ", 1}}},
      {"the implementation's value wins without a list",
       {"expand", mine, "R2"},
       {"line \"R2 <1> <2> 10k TC1=0.001\""},
       {{"message ", 0}}},
      // Only the given entries stand for the frame's parameters: TC1 is not among them, and the blank before its
      // condition stays.
      {"a given value in place of the implementation's",
       {"expand", mine, "R2", "--parameters", "Value=4k7"},
       {"line \"R2 <1> <2> 4k7 \""},
       {{"message ", 0}}},
      {"current component of a library",
       {"expand", Data("schematics/rc.SchLib"), "C?"},
       {"line \"C? <1> <2> 100n\"", kNoNets},
       {{"message ", 0}}},
      {"common pins in part 2",
       {"expand", mine, "U1", "--part", "2"},
       {"part \"2\"", "line \"XU1   <3> <4>  OPAMP\"", "message \"Could not map Pin (1)\"",
        "message \"Could not map Pin (2)\"", "message \"Could not map Pin (5)\"", kNoNets}},
      {"template given, two lines and messages",
       {"expand", rc, "R1", "--template", "@DESIGNATOR %9 @UNDEFINED\\nEND \"q\"\ttab"},
       {"template \"@DESIGNATOR %9 @UNDEFINED\\\\nEND \\\"q\\\"\\ttab\"", "line \"R1\"",
        "line \"END \\\"q\\\"\\ttab\"", "message \"Could not map Pin (9)\"",
        "message \"Parameter Undefined (UNDEFINED)\"",
        // No pin was mapped, so nothing says the names are missing.
        "net-names-available \"true\""},
       {{"line ", 2}}},
      {"empty template", {"expand", rc, "R1", "--template", ""}, {"template \"\""}, {{"line ", 0}, {"message ", 0}}},
  });
}

TEST(ProbeEndToEnd, ExpansionWithTheNetsOfAProject) {
  const std::string mine = Data("schematics/probe.SchDoc");
  const std::string project = Data("schematics/probe.PrjPcb");
  const std::string kNets = "net-names-available \"true\"";
  RunCases({
      // A label names its net; a net of pins only is named by its first pin.
      {"resistor", {"expand", mine, "R2", "--project", project}, {"line \"R2 IN NetR2_2 10k TC1=0.001\"", kNets}},
      {"port map lacking port 2",
       {"expand", mine, "R3", "--project", project},
       {"line \"R3 NetR2_2  1k\"", "message \"Could not map Pin (2)\"", kNets}},
      // An unconnected pin goes by its own name, a linked one by its link, a power port before a label.
      {"every naming rule of a subcircuit",
       {"expand", mine, "U1", "--project", project},
       {"line \"XU1 U1-1 FEEDBACK VCC VEE AMP_OUT OPAMP\"", kNets},
       {{"message ", 0}}},
      {"kind letters and groups",
       {"expand", mine, "R2", "--project", project, "--template", "%1A %2i [%1][%2]"},
       {"line \"IN NetR2_2 [IN][NetR2_2]\"", kNets},
       {{"message ", 0}}},
      {"a project left uncompiled",
       {"expand", mine, "R2", "--project", Data("schematics/probe_uncompiled.PrjPcb")},
       {"line \"R2 <1> <2> 10k TC1=0.001\"", "net-names-available \"false\""}},
  });
}

TEST(ProbeEndToEnd, BadInputIsRefusedOnStandardError) {
  const TScratchFolder folder;
  const std::string rc = Data("schematics/rc_filter.SchDoc");
  const std::string notAFolder = folder.File("models.txt", "not a folder\n");
  struct TBadCase {
    const char* Name;
    std::vector<std::string> Arguments;
    std::string Message;  // part of the one line on standard error
  };
  const TBadCase cases[] = {
      {"missing file", {"implementation", folder.Path() + "/none.SchDoc", "R1"}, "none.SchDoc"},
      {"unknown designator", {"implementation", rc, "X9"}, "no component with the designator \"X9\""},
      {"malformed JSON", {"implementation", Data("schematics/malformed_syntax.SchDoc"), "R1"}, ":6:7: malformed JSON"},
      {"malformed member", {"expand", Data("schematics/malformed_member.SchDoc"), "R1"},
       "components[0].pins[1].length"},
      {"component without an implementation", {"expand", Data("schematics/probe.SchDoc"), "Q1"},
       "has no simulation implementation"},
      {"no command", {}, "usage:"},
      {"unknown command", {"netlist", rc}, "unknown command \"netlist\""},
      {"too few arguments", {"expand", rc}, "expand takes SCHDOC DESIGNATOR"},
      {"too many arguments", {"model", "A", "B"}, "model takes NAME"},
      {"option of another command", {"model", "OPAMP", "--part", "1"}, "unknown option --part"},
      {"option without its value", {"expand", rc, "R1", "--template"}, "--template needs a value"},
      {"option given twice", {"expand", rc, "R1", "--part", "1", "--part", "1"}, "--part is given twice"},
      {"part beyond the component's", {"expand", rc, "R1", "--part", "2"}, "has 1 part"},
      {"part zero", {"expand", rc, "R1", "--part", "0"}, "--part 0"},
      {"part not a number", {"expand", rc, "R1", "--part", "1x"}, "not a whole number"},
      {"entry without a value", {"expand", rc, "R1", "--parameters", "Value=1|Port Map"},
       "\"Port Map\" is not Name=Value"},
      {"entry without a name", {"expand", rc, "R1", "--parameters", "=1"}, "is not Name=Value"},
      {"missing project", {"expand", rc, "R1", "--project", folder.Path() + "/none.PrjPcb"}, "does not exist"},
      {"project the workspace refuses",
       {"expand", rc, "R1", "--project", folder.File("bad.PrjPcb", "{\"format\": \"tolvex-project\", \"bogus\": 1}\n")},
       "bad.PrjPcb: bogus"},
      {"model folder that is a file", {"model", "OPAMP", "--model-path", notAFolder}, "not a folder"},
      {"empty model name", {"model", ""}, "the model name is empty"},
      {"library names without a library look-up", {"model", "Q1", "--source-library", "Discrete.IntLib"},
       "--library-model"},
  };
  for (const TBadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TProbeRun run = RunProbe(c.Arguments);
    EXPECT_EQ(run.ExitCode, 2) << run.Describe();
    EXPECT_NE(run.Err.find(c.Message), std::string::npos) << run.Describe();
    // A refused run prints nothing half-done.
    EXPECT_EQ(run.Out, "") << run.Describe();
  }
}

}  // namespace
}  // namespace tolvex::e2e
