// Benchmark of the stand-in host's netlister: a generated project of 10,000 components (about 39,000 pins on ten
// schematic documents, with declared nets and model files) netlisted by `tolvex-host netlist`, beside the same
// host only opening the project (reading and compiling it and loading its documents into the schematic server),
// as a ratio; the target is a netlist in under a second. For comparison it also times the host loading the
// documents into the schematic server alone.
//
//   netlist_bench [--components N] [--documents D] [--repeat R] [--bin FOLDER] [--keep]
//
// Each figure is the best of R runs of the host as a separate process, the two kinds taking turns, so that a
// disturbance of the machine falls on both; the page cache is warm for both.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

namespace {

struct TKind {
  const char* Prefix;
  int Count;      // per 10,000 components
  int Pins;
  int Parts;
  const char* Template;
  const char* PortMap;
  const char* Model;
  const char* File;  // the model file, or none
};

// A mix of what a board holds: passives, semiconductors with model files, and dual op-amps whose two parts share
// their supply pins (8 and 4).
const TKind kKinds[] = {
    {"R", 3000, 2, 1, "@DESIGNATOR %1 %2 @VALUE", "(1:1),(2:2)", "RESISTOR", nullptr},
    {"C", 2000, 2, 1, "@DESIGNATOR %1 %2 @VALUE ?\\\"INITIAL VOLTAGE\\\"|IC=@\\\"INITIAL VOLTAGE\\\"|", "(1:1),(2:2)",
     "CAP", nullptr},
    {"D", 1000, 2, 1, "@DESIGNATOR %1 %2 @MODEL", "(1:1),(2:2)", "DSW75", "diodes.mdl"},
    {"Q", 1000, 3, 1, "@DESIGNATOR %1 %2 %3 @MODEL", "(1:1),(2:2),(3:3)", "QNPN45", "transistors.mdl"},
    {"U", 3000, 8, 2, "@DESIGNATOR %1 %2 %3 %4 %5 @MODEL #|PARAMS:| ?GAIN|GAIN=@GAIN|",
     "(3:1),(2:2),(8:3),(4:4),(1:5),(5:1),(6:2),(7:5)", "OPAMP1", "opamps.ckt"},
};

// Pins of part 1 and part 2 of the dual op-amp; 8 and 4 belong to both.
int OpAmpPart(int pin) {
  if (pin == 1 || pin == 2 || pin == 3) return 1;
  if (pin == 5 || pin == 6 || pin == 7) return 2;
  return 0;
}

std::string Value(const std::string& prefix, int n) {
  if (prefix == "R") return std::to_string(1 + n % 97) + "k";
  if (prefix == "C") return std::to_string(1 + n % 89) + "n";
  return "";
}

struct TGenerated {
  std::string Project;
  int Components = 0;
  int Pins = 0;
  int Nets = 0;
};

TGenerated Generate(const fs::path& folder, const std::string& models, int components, int documents) {
  TGenerated generated;
  std::vector<const TKind*> order;  // the kinds interleaved, as a placed board mixes them
  int total = 0;
  for (const TKind& kind : kKinds) total += kind.Count;
  for (int i = 0; i < components; ++i) {
    int slot = static_cast<int>((static_cast<long long>(i) * 7919) % total);
    for (const TKind& kind : kKinds) {
      if (slot < kind.Count) {
        order.push_back(&kind);
        break;
      }
      slot -= kind.Count;
    }
  }
  std::vector<int> numbers(std::size(kKinds), 0);
  std::string projectDocuments;
  for (int d = 0; d < documents; ++d) {
    const int first = components * d / documents, last = components * (d + 1) / documents;
    std::ostringstream doc;
    doc << "{\n  \"format\": \"tolvex-schematic\",\n  \"version\": 1,\n  \"components\": [\n";
    std::vector<std::string> signalPins, supplyPins[2];
    for (int c = first; c < last; ++c) {
      const TKind& kind = *order[c];
      const int n = ++numbers[&kind - kKinds];
      const std::string designator = std::string(kind.Prefix) + std::to_string(n);
      const int x = (c % 100) * 100, y = (c / 100) * 100;
      doc << (c == first ? "" : ",\n") << "    {\"designator\": \"" << designator << "\", \"libraryReference\": \""
          << kind.Model << "\", \"partCount\": " << kind.Parts << ", \"location\": [" << x << ", " << y
          << "],\n     \"pins\": [";
      for (int p = 1; p <= kind.Pins; ++p) {
        const int part = kind.Parts > 1 ? OpAmpPart(p) : 0;
        doc << (p == 1 ? "" : ", ") << "{\"designator\": \"" << p << "\", \"name\": \"" << p << "\", \"ownerPart\": "
            << part << ", \"location\": [" << x + p * 10 << ", " << y << "], \"length\": 10, \"orientation\": 3}";
        const std::string reference = designator + "." + std::to_string(p);
        if (kind.Parts > 1 && p == 8)
          supplyPins[0].push_back(reference);
        else if (kind.Parts > 1 && p == 4)
          supplyPins[1].push_back(reference);
        else
          signalPins.push_back(reference);
        ++generated.Pins;
      }
      doc << "]";
      const std::string value = Value(kind.Prefix, n);
      if (!value.empty()) doc << ",\n     \"parameters\": [{\"name\": \"Value\", \"value\": \"" << value << "\"}]";
      doc << ",\n     \"implementations\": [{\"modelName\": \"" << kind.Model << "\", \"portMap\": \"" << kind.PortMap
          << "\",\n       \"parameters\": [{\"name\": \"Kind\", \"value\": \"General\"}, {\"name\": \"Spice Prefix\", "
             "\"value\": \""
          << (kind.Prefix[0] == 'U' ? "X" : kind.Prefix) << "\"}, {\"name\": \"Netlist\", \"value\": \""
          << kind.Template << "\"}";
      if (kind.Parts > 1) doc << ", {\"name\": \"Gain\", \"value\": \"2E5\"}";
      if (kind.Prefix[0] == 'C') doc << ", {\"name\": \"Initial Voltage\", \"value\": \"\"}";
      doc << "]";
      if (kind.File)
        doc << ",\n       \"datafiles\": [{\"location\": \"" << kind.File << "\", \"entityName\": \"" << kind.Model
            << "\", \"kind\": \"" << (kind.Parts > 1 ? "CKT" : "MDL") << "\"}]";
      doc << "}]}";
      ++generated.Components;
    }
    // Nets of three signal pins taken a third of the document apart, so that no component has two pins on one
    // net; one in ten named by a net label, one in 37 tied to ground, the rest named by their first pin. The
    // op-amps' supplies join the project-wide VCC and VEE.
    doc << "\n  ],\n  \"nets\": [\n";
    bool firstNet = true;
    auto net = [&](const std::vector<std::string>& pins, const std::string& names) {
      doc << (firstNet ? "" : ",\n") << "    {\"pins\": [";
      for (std::size_t k = 0; k < pins.size(); ++k) doc << (k ? ", " : "") << "\"" << pins[k] << "\"";
      doc << "]" << names << "}";
      firstNet = false;
      ++generated.Nets;
    };
    const std::size_t stride = (signalPins.size() + 2) / 3;
    for (std::size_t index = 0; index < stride; ++index) {
      std::vector<std::string> pins;
      for (std::size_t k = index; k < signalPins.size(); k += stride) pins.push_back(signalPins[k]);
      std::string names;
      if (index % 37 == 0)
        names = ", \"power\": [\"GND\"]";
      else if (index % 10 == 0)
        names = ", \"labels\": [\"S" + std::to_string(d + 1) + "_" + std::to_string(index) + "\"]";
      net(pins, names);
    }
    if (!supplyPins[0].empty()) net(supplyPins[0], ", \"power\": [\"VCC\"]");
    if (!supplyPins[1].empty()) net(supplyPins[1], ", \"power\": [\"VEE\"]");
    doc << "\n  ]\n}\n";
    const std::string name = "sheet" + std::to_string(d + 1) + ".SchDoc";
    std::ofstream(folder / name, std::ios::binary) << doc.str();
    projectDocuments += std::string(d ? ", " : "") + "\"" + name + "\"";
  }
  generated.Project = (folder / "bench.PrjPcb").string();
  std::ofstream(generated.Project, std::ios::binary)
      << "{\n  \"format\": \"tolvex-project\",\n  \"version\": 1,\n  \"title\": \"Netlist benchmark\",\n"
      << "  \"documents\": [" << projectDocuments << "],\n  \"modelFolders\": [\"" << models << "\"],\n"
      << "  \"analyses\": [\".tran 1u 1m\"]\n}\n";
  return generated;
}

struct TTimes {
  double Wall = -1;  // negative when the host failed
  double Cpu = -1;   // user and system time of the host process
};

// Runs the host with Arguments, its output to Log.
TTimes TimeHost(const std::string& host, const std::vector<std::string>& arguments, const std::string& log) {
  std::vector<std::string> all = {host, "--quiet"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const auto start = TClock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, host.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return {};
  int status = 0;
  struct rusage usage{};
  wait4(pid, &status, 0, &usage);
  TTimes times;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return times;
  times.Wall = std::chrono::duration<double>(TClock::now() - start).count();
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  times.Cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  int components = 10000, documents = 10, repeat = 5;
  bool keep = false;
  std::string bin = TOLVEX_BIN_DIR;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--components" && i + 1 < argc) components = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--documents" && i + 1 < argc) documents = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--bin" && i + 1 < argc) bin = argv[++i];
    else if (arg == "--keep") keep = true;
    else {
      std::fprintf(stderr, "usage: netlist_bench [--components N] [--documents D] [--repeat R] [--bin FOLDER] [--keep]\n");
      return 2;
    }
  }
  documents = std::min(documents, components);
  const std::string host = bin + "/tolvex-host";
  if (access(host.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "netlist_bench: %s is missing; build the host first\n", host.c_str());
    return 1;
  }
  char pattern[] = "/tmp/tolvex-netlist-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    std::perror("netlist_bench: mkdtemp");
    return 1;
  }
  const fs::path folder = pattern;
  const TGenerated generated = Generate(folder, TOLVEX_EXAMPLES_DIR "/models", components, documents);
  const std::string out = (folder / "bench.nsx").string(), log = (folder / "host.log").string();
  std::printf("project: %d components, %d pins, %d declared nets on %d documents (%s)\n", generated.Components,
              generated.Pins, generated.Nets, documents, generated.Project.c_str());

  std::vector<std::string> schematics;
  for (int d = 0; d < documents; ++d)
    schematics.insert(schematics.end(), {"--schematic", (folder / ("sheet" + std::to_string(d + 1) + ".SchDoc")).string()});
  TTimes bestLoad{1e30, 1e30}, bestOpen{1e30, 1e30}, bestNetlist{1e30, 1e30};
  auto keepBest = [](TTimes& best, const TTimes& t) {
    best.Wall = std::min(best.Wall, t.Wall);
    best.Cpu = std::min(best.Cpu, t.Cpu);
  };
  for (int r = 0; r < repeat; ++r) {
    const TTimes load = TimeHost(host, schematics, log);
    const TTimes open = TimeHost(host, {"--open-project", generated.Project}, log);
    const TTimes netlist = TimeHost(host, {"netlist", generated.Project, out}, log);
    if (load.Wall < 0 || open.Wall < 0 || netlist.Wall < 0) {
      std::fprintf(stderr, "netlist_bench: the host failed; its output is in %s\n", log.c_str());
      std::ifstream in(log);
      std::fprintf(stderr, "%s", std::string(std::istreambuf_iterator<char>(in), {}).substr(0, 4000).c_str());
      return 1;
    }
    keepBest(bestLoad, load);
    keepBest(bestOpen, open);
    keepBest(bestNetlist, netlist);
  }
  std::ifstream in(out);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  std::printf("                            wall     cpu (best of %d)\n", repeat);
  std::printf("load the documents alone:  %.3f s  %.3f s  (the schematic server reading them, for comparison)\n",
              bestLoad.Wall, bestLoad.Cpu);
  std::printf("open the project (anchor): %.3f s  %.3f s\n", bestOpen.Wall, bestOpen.Cpu);
  std::printf("netlist the project:       %.3f s  %.3f s  (%zu lines)\n", bestNetlist.Wall, bestNetlist.Cpu, lines);
  std::printf("ratio netlist / open:      %.2f     %.2f\n", bestNetlist.Wall / bestOpen.Wall,
              bestNetlist.Cpu / bestOpen.Cpu);
  std::printf("target under 1 s:          %s (%.2f s)\n", bestNetlist.Wall < 1.0 ? "met" : "missed", bestNetlist.Wall);
  if (keep)
    std::printf("kept %s\n", folder.c_str());
  else
    fs::remove_all(folder);
  return 0;
}
