// Running tolvex-host as a child process and reading its journal.
#include "HostRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tolvex::e2e {

namespace fs = std::filesystem;

std::string BinFolder() { return TOLVEX_BIN_DIR; }
std::string HostExecutable() { return BinFolder() + "/tolvex-host"; }

TJournalLine ParseJournalLine(const std::string& line) {
  TJournalLine out;
  out.Raw = line;
  std::size_t i = line.find(' ');
  out.Event = line.substr(0, i);
  while (i != std::string::npos && i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t eq = line.find("=\"", i);
    if (eq == std::string::npos) break;
    const std::string key = line.substr(i, eq - i);
    std::string value;
    std::size_t k = eq + 2;
    for (; k < line.size() && line[k] != '"'; ++k) {
      if (line[k] == '\\' && k + 1 < line.size()) {
        const char e = line[++k];
        switch (e) {
          case 'n': value += '\n'; break;
          case 'r': value += '\r'; break;
          case 't': value += '\t'; break;
          case 'x':
            if (k + 2 < line.size()) {
              value += static_cast<char>(std::stoi(line.substr(k + 1, 2), nullptr, 16));
              k += 2;
            }
            break;
          default: value += e;
        }
      } else {
        value += line[k];
      }
    }
    out.Fields[key] = value;
    i = k + 1;
  }
  return out;
}

std::vector<TJournalLine> THostRun::Events(const std::string& event) const {
  std::vector<TJournalLine> out;
  for (const auto& line : Journal)
    if (line.Event == event) out.push_back(line);
  return out;
}

std::vector<TJournalLine> THostRun::DuringLaunch(const std::string& command) const {
  std::vector<TJournalLine> out;
  bool inside = false;
  for (const auto& line : Journal) {
    if (!inside && line.Event == "launch" && line.Get("command") == command) {
      inside = true;
      continue;
    }
    if (inside && line.Event == "launch-done" && line.Get("command") == command) break;
    if (inside) out.push_back(line);
  }
  return out;
}

std::string THostRun::JournalText() const {
  std::string text = "exit code " + std::to_string(ExitCode) + (TimedOut ? " (killed: out of time)" : "") +
                     "\n--- journal ---\n";
  for (const auto& line : Journal) text += line.Raw + "\n";
  if (!Output.empty()) text += "--- output ---\n" + Output;
  return text;
}

namespace {

// The host's environment: Environment first, then the test's own, with a fresh XDG_CONFIG_HOME
// (ConfigFolder) unless Environment sets one.
std::vector<std::string> HostEnvironment(const std::vector<std::string>& environment, const std::string& configFolder) {
  std::vector<std::string> env(environment.begin(), environment.end());
  bool configGiven = false;
  for (const auto& e : env) configGiven = configGiven || e.rfind("XDG_CONFIG_HOME=", 0) == 0;
  if (!configGiven) env.push_back("XDG_CONFIG_HOME=" + configFolder);
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool overridden = false;
    for (const auto& mine : env) overridden = overridden || mine.substr(0, mine.find('=')) == name;
    if (!overridden) env.push_back(entry);
  }
  return env;
}

}  // namespace

THostRun RunHost(const std::vector<std::string>& arguments, const std::vector<std::string>& environment) {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path() / ("tolvex-e2e-" + std::to_string(getpid()));
  fs::create_directories(base);
  const std::string id = std::to_string(counter++);
  const std::string journalPath = (base / ("journal-" + id + ".txt")).string();
  const std::string outputPath = (base / ("output-" + id + ".txt")).string();

  std::vector<std::string> args = {HostExecutable(), "--quiet", "--journal", journalPath};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Whatever the host writes relative to its working folder stays out of the source tree.
  const TScratchFolder workingFolder;
  posix_spawn_file_actions_addchdir_np(&actions, workingFolder.Path().c_str());

  const TScratchFolder config;
  std::vector<std::string> env = HostEnvironment(environment, config.Path());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  THostRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);

  std::ifstream journal(journalPath);
  for (std::string line; std::getline(journal, line);) run.Journal.push_back(ParseJournalLine(line));
  std::ifstream output(outputPath);
  std::stringstream buffer;
  buffer << output.rdbuf();
  run.Output = buffer.str();
  std::error_code ignored;
  fs::remove(journalPath, ignored);
  fs::remove(outputPath, ignored);
  return run;
}

THostRun RunHostGuarded(const std::vector<std::string>& arguments, const THostGuard& guard,
                        const std::vector<std::string>& environment) {
  // The journal goes to standard output, so that it is not a file the limit applies to.
  std::vector<std::string> args = {HostExecutable(), "--quiet", "--journal", "-"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const TScratchFolder config;
  std::vector<std::string> env = HostEnvironment(environment, config.Path());
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const TScratchFolder freshFolder;
  const std::string workingFolder = guard.WorkingFolder.empty() ? freshFolder.Path() : guard.WorkingFolder;

  THostRun run;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return run;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return run;
  }
  const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    if (dup2(out[1], STDOUT_FILENO) < 0 || dup2(err[1], STDERR_FILENO) < 0 || dup2(null, STDIN_FILENO) < 0) _exit(126);
    if (chdir(workingFolder.c_str()) != 0) _exit(126);
    if (guard.FileSizeLimit > 0) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      sigaction(SIGXFSZ, &ignore, nullptr);
      const rlimit limit{static_cast<rlim_t>(guard.FileSizeLimit), static_cast<rlim_t>(guard.FileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  if (null >= 0) close(null);
  if (pid < 0) {
    close(out[0]);
    close(err[0]);
    return run;
  }
  std::string journal;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guard.TimeLimitSeconds);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&journal, &run.Output};
  int openPipes = 2;
  while (openPipes > 0) {
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      run.TimedOut = true;
      break;
    }
    const int ready = poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) break;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[8192];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --openPipes;
      }
    }
  }
  for (const pollfd& fd : fds)
    if (fd.fd >= 0) close(fd.fd);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::istringstream lines(journal);
  for (std::string line; std::getline(lines, line);) run.Journal.push_back(ParseJournalLine(line));
  return run;
}

TPluginFolder::TPluginFolder(const std::string& engineFile) {
  const std::string bin = BinFolder();
  for (const char* file : {"Tolvex.dll", "libtolvex_user.so", "ScriptedEngine.dll", "StartOnlyEngine.dll"})
    fs::create_symlink(bin + "/" + file, Path() + "/" + file);
  if (!engineFile.empty()) fs::create_symlink(bin + "/" + engineFile, Path() + "/xspice.dll");
  fs::create_directories(Path() + "/engines");
  fs::create_symlink(bin + "/ScriptedEngine.dll", Path() + "/engines/ScriptedEngine.dll");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool FileExists(const std::string& path) { return fs::exists(path); }

TScratchFolder::TScratchFolder() {
  static std::atomic<int> counter{0};
  const fs::path path =
      fs::temp_directory_path() / ("tolvex-e2e-" + std::to_string(getpid()) + "-s" + std::to_string(counter++));
  fs::create_directories(path);
  FPath = path.string();
}

TScratchFolder::~TScratchFolder() {
  std::error_code ignored;
  fs::remove_all(FPath, ignored);
}

std::string TScratchFolder::File(const std::string& name, const std::string& content) const {
  const std::string path = FPath + "/" + name;
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace tolvex::e2e
