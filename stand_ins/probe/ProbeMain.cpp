// tolvex-probe: prints what the plug-in's model-data and template code make of a schematic component or a model
// name, through the real stand-in modules beside it. Usage and output format: docs/probe.md.
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "ProbeCommands.h"
#include "ProbeHost.h"

using namespace tolvex::probe;

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  tolvex-probe implementation SCHDOC DESIGNATOR [--model-path DIR]...\n"
    "  tolvex-probe model NAME [--location LOC] [--subcircuit]\n"
    "                 [--library-model --source-library S --library-reference R] [--model-path DIR]...\n"
    "  tolvex-probe expand SCHDOC DESIGNATOR [--part N] [--template TEXT]\n"
    "                 [--parameters \"Name=Value|...\"] [--project PRJ]\n"
    "Output format and exit status: docs/probe.md\n";

struct TCommand {
  std::size_t Arguments;
  const char* ArgumentNames;
  std::set<std::string> Options;
  int (*Run)(const TProbeOptions&, TOutput&);
};

const std::map<std::string, TCommand>& Commands() {
  static const std::map<std::string, TCommand> commands = {
      {"implementation", {2, "SCHDOC DESIGNATOR", {"--model-path"}, &ProbeImplementation}},
      {"model",
       {1,
        "NAME",
        {"--location", "--subcircuit", "--library-model", "--source-library", "--library-reference", "--model-path"},
        &ProbeModel}},
      {"expand", {2, "SCHDOC DESIGNATOR", {"--part", "--template", "--parameters", "--project"}, &ProbeExpansion}},
  };
  return commands;
}

// Options that take no value.
bool IsSwitch(const std::string& option) { return option == "--subcircuit" || option == "--library-model"; }

// Fills Options from the command line; raises EProbeError for anything the command does not take.
const TCommand& ParseCommandLine(int argc, char** argv, TProbeOptions& options) {
  options.Command = argv[1];
  const auto found = Commands().find(options.Command);
  if (found == Commands().end())
    throw EProbeError("unknown command \"" + options.Command + "\" (implementation, model or expand)");
  const TCommand& command = found->second;
  std::set<std::string> seen;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      options.Arguments.push_back(arg);
      continue;
    }
    if (!command.Options.count(arg)) throw EProbeError(options.Command + ": unknown option " + arg);
    if (arg != "--model-path" && !seen.insert(arg).second) throw EProbeError(arg + " is given twice");
    if (IsSwitch(arg)) {
      (arg == "--subcircuit" ? options.Subcircuit : options.LibraryModel) = true;
      continue;
    }
    // A value is the next argument whatever it looks like, so that a template may begin with "--".
    if (i + 1 >= argc) throw EProbeError(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--model-path") options.ModelFolders.push_back(value);
    else if (arg == "--location") options.Location = value;
    else if (arg == "--source-library") options.SourceLibrary = value;
    else if (arg == "--library-reference") options.LibraryReference = value;
    else if (arg == "--part") options.Part = value;
    else if (arg == "--template") options.Template = value;
    else if (arg == "--parameters") options.Parameters = value;
    else if (arg == "--project") options.Project = value;
  }
  if (options.Arguments.size() != command.Arguments)
    throw EProbeError(options.Command + " takes " + command.ArgumentNames + " (" +
                        std::to_string(options.Arguments.size()) + " given)");
  return command;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return kExitError;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") {
    std::fputs(kUsage, stdout);
    return kExitDone;
  }
  try {
    TProbeOptions options;
    const TCommand& command = ParseCommandLine(argc, argv, options);
    // Nothing is printed unless the probe gets to its end: a run that fails leaves standard output empty.
    std::ostringstream text;
    TOutput out(text);
    const int status = command.Run(options, out);
    std::cout << text.str() << std::flush;
    return status;
  } catch (const EProbeError& error) {
    std::fprintf(stderr, "tolvex-probe: %s\n", error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolvex-probe: %s\n", error.what());
  }
  return kExitError;
}
