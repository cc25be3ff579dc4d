// Reading a netlist for ngspice (with the files it includes), and the names and numbers the engine
// derives from it.
#include "NetlistText.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "support/TextUtils.h"

namespace tolvex::ngspice {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Card words: SPICE separates them by blanks, and ngspice accepts commas as well.
std::vector<std::string_view> CardWords(std::string_view card) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < card.size()) {
    while (i < card.size() && (static_cast<unsigned char>(card[i]) <= 32 || card[i] == ',')) ++i;
    const std::size_t start = i;
    while (i < card.size() && static_cast<unsigned char>(card[i]) > 32 && card[i] != ',') ++i;
    if (i > start) words.push_back(card.substr(start, i - start));
  }
  return words;
}

std::string_view FirstWord(std::string_view trimmed) {
  std::size_t end = 0;
  while (end < trimmed.size() && static_cast<unsigned char>(trimmed[end]) > 32) ++end;
  return trimmed.substr(0, end);
}

// The range of an analysis card, when its values are plain numbers.
std::optional<TAxisRange> CardRange(const std::string& analysis, const std::vector<std::string_view>& words) {
  std::vector<std::string_view> args(words.begin() + 1, words.end());
  if (analysis == "op") return TAxisRange{};
  if (analysis == "tran") {
    // .tran tstep tstop [tstart [tmax]] [uic]
    std::erase_if(args, [](std::string_view w) { return SameText(w, "uic"); });
    if (args.size() < 2) return std::nullopt;
    const auto stop = ParseSpiceNumber(args[1]);
    const auto start = args.size() >= 3 ? ParseSpiceNumber(args[2]) : std::optional<double>(0.0);
    if (!stop || !start) return std::nullopt;
    return TAxisRange{*start, *stop};
  }
  if (analysis == "ac") {
    // .ac dec|oct|lin points fstart fstop
    if (args.size() < 4) return std::nullopt;
    const auto from = ParseSpiceNumber(args[2]);
    const auto to = ParseSpiceNumber(args[3]);
    if (!from || !to) return std::nullopt;
    return TAxisRange{*from, *to};
  }
  if (analysis == "dc") {
    // .dc source start stop step [source2 start2 stop2 step2]: the x axis is the first sweep.
    if (args.size() < 3) return std::nullopt;
    const auto start = ParseSpiceNumber(args[1]);
    const auto stop = ParseSpiceNumber(args[2]);
    if (!start || !stop) return std::nullopt;
    return TAxisRange{std::min(*start, *stop), std::max(*start, *stop)};
  }
  return std::nullopt;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// The text after a card's first word.
std::string_view AfterFirstWord(std::string_view trimmed) {
  return TrimView(trimmed.substr(FirstWord(trimmed).size()));
}

// ngspice ends the circuit at a line whose first word is ".end"; ".ends", ".endc" and ".endl" are
// other cards. Blanks here are every control character, a little more than ngspice counts, so
// that a line it takes for ".end" is always one here too.
bool IsEndCard(std::string_view trimmed) { return LowerCase(FirstWord(trimmed)) == ".end"; }

// A first line that makes ngspice read the whole netlist as a script of commands.
bool IsScriptMark(std::string_view trimmed) { return StartsWithNoCase(trimmed, "*ng_script"); }

// ---- files -----------------------------------------------------------------------------------

struct TFileId {
  dev_t Device = 0;
  ino_t Inode = 0;
  bool operator==(const TFileId&) const = default;
};

struct TSourceFile {
  std::string Path;
  std::string Folder;  // empty for the working folder
  TFileId Id;
  std::vector<std::string> Lines;
};

enum TReadOutcome { roRead, roMissing, roUnreadable, roTooLarge };

struct TFileRead {
  TReadOutcome Outcome = roRead;
  // What is wrong with the file, to follow its name: "is a FIFO, not a regular file".
  std::string Reason;
  std::shared_ptr<const TSourceFile> File;
};

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder, not a file";
  if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
  if (S_ISCHR(mode)) return "is a character device, not a regular file";
  if (S_ISBLK(mode)) return "is a block device, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

std::string MegabytesText(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string JoinPath(const std::string& folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  return folder.back() == '/' ? folder + std::string(name) : folder + "/" + std::string(name);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // ngspice takes each line as a C string: what follows a NUL never reaches it, so it is not
    // looked at here either.
    if (const std::size_t nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    lines.emplace_back(line);
    pos = end + 1;
  }
  return lines;
}

// Reads a regular file of at most kMaxFileBytes. Anything else is refused before it is opened:
// the open of a FIFO would wait for a writer, and a device such as /dev/zero never ends. Files
// read before by the same path (a model file that many lines include) come from Cache: the path
// counts, not only the file, since a relative name in the file is looked for beside that path.
using TFileCache = std::map<std::string, std::shared_ptr<const TSourceFile>>;

TFileRead ReadSourceFile(const std::string& path, TFileCache& cache) {
  TFileRead read;
  struct stat before {};
  if (stat(path.c_str(), &before) != 0) {
    const int error = errno;
    read.Outcome = error == ENOENT || error == ENOTDIR ? roMissing : roUnreadable;
    read.Reason = read.Outcome == roMissing ? std::string("does not exist")
                                            : std::string("cannot be opened: ") + std::strerror(error);
    return read;
  }
  if (!S_ISREG(before.st_mode)) {
    read.Outcome = roUnreadable;
    read.Reason = KindOf(before.st_mode);
    return read;
  }
  if (static_cast<std::uintmax_t>(before.st_size) > kMaxFileBytes) {
    read.Outcome = roTooLarge;
    read.Reason = "is larger than " + MegabytesText(kMaxFileBytes);
    return read;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    read.Outcome = roUnreadable;
    read.Reason = std::string("cannot be opened: ") + std::strerror(errno);
    return read;
  }
  // The file may have been replaced since it was looked at: what was opened is what counts.
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    read.Outcome = roUnreadable;
    read.Reason = "was replaced while it was opened";
    return read;
  }
  const TFileId id{opened.st_dev, opened.st_ino};
  if (const auto known = cache.find(path); known != cache.end() && known->second->Id == id) {
    close(fd);
    read.File = known->second;
    return read;
  }
  std::string text;
  char chunk[16384];
  int error = 0;
  bool tooLarge = false;
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (got == 0) break;
    if (text.size() + static_cast<std::size_t>(got) > kMaxFileBytes) {
      tooLarge = true;
      break;
    }
    text.append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  if (error != 0) {
    read.Outcome = roUnreadable;
    read.Reason = std::string("cannot be read: ") + std::strerror(error);
    return read;
  }
  if (tooLarge) {
    read.Outcome = roTooLarge;
    read.Reason = "is larger than " + MegabytesText(kMaxFileBytes);
    return read;
  }
  auto file = std::make_shared<TSourceFile>();
  file->Path = path;
  file->Folder = FolderOf(path);
  file->Id = id;
  file->Lines = SplitLines(text);
  cache[path] = file;
  read.File = std::move(file);
  return read;
}

// The file name of an .include or .lib card: quoted (which allows blanks) or its first word.
// Remainder gets what follows it.
std::string PathToken(std::string_view rest, std::string_view& remainder) {
  remainder = {};
  if (rest.empty()) return {};
  if (rest[0] == '"' || rest[0] == '\'') {
    const std::size_t close = rest.find(rest[0], 1);
    if (close == std::string_view::npos) return std::string(rest.substr(1));
    remainder = rest.substr(close + 1);
    return std::string(rest.substr(1, close - 1));
  }
  std::string_view word = FirstWord(rest);
  remainder = rest.substr(word.size());
  // ngspice strips an end-of-line comment before it reads the name.
  word = word.substr(0, word.find(';'));
  return std::string(word);
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The words of a .lib card after its keyword, as ngspice reads them: separated by blanks and
// quotes, up to an end-of-line comment.
std::vector<std::string_view> LibraryWords(std::string_view rest) {
  rest = rest.substr(0, rest.find(';'));
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && (static_cast<unsigned char>(rest[i]) <= 32 || IsQuote(rest[i]))) ++i;
    const std::size_t start = i;
    while (i < rest.size() && static_cast<unsigned char>(rest[i]) > 32 && !IsQuote(rest[i])) ++i;
    if (i > start) words.push_back(rest.substr(start, i - start));
  }
  return words;
}

// ---- expansion -------------------------------------------------------------------------------

// A file being expanded: the netlist, an included file, or one section of a library.
struct TFrame {
  TFileId Id;
  std::string Section;  // lower case; empty for a whole file
  std::string Path;
  std::size_t Line = 0;  // the line of this file that named the next frame
};

enum TStep { stContinue, stEnd, stStop };

// Expands the netlist into one self-contained list of lines. What ngspice's front end would run
// as commands is checked on the expanded lines in their order, so that a .control section that
// an included file opens ends where ngspice would end it.
class TExpander {
 public:
  explicit TExpander(TPreparedNetlist& netlist, const TSourceFile& top) : FNetlist(netlist) {
    FNetlistFolder = top.Folder;
    std::error_code error;
    FWorkingFolder = std::filesystem::current_path(error).string();
  }

  void Run(const TSourceFile& top) {
    FStack.push_back(TFrame{top.Id, {}, top.Path, 0});
    Title(top);
    if (Lines(top, 1, top.Lines.size(), true) == stStop) return;
    Emit(".end");
  }

 private:
  void Title(const TSourceFile& file) {
    const std::string title = file.Lines.empty() ? std::string() : file.Lines[0];
    const std::string_view trimmed = TrimView(title);
    // ngspice skips a blank first line and takes the next line for the title.
    if (trimmed.empty()) {
      Emit("*");
      return;
    }
    const bool titleCard = StartsWithNoCase(trimmed, ".title") && !IsScriptMark(AfterFirstWord(trimmed));
    if (IsScriptMark(trimmed)) {
      Note(file.Path + ": the title (line 1) would make ngspice read the netlist as a script of commands; it is "
                       "passed on as a comment.");
    } else if (trimmed[0] == '.' && !titleCard) {
      // ngspice reads the first line like any other: ".include" would include a file unseen,
      // ".end" would end the circuit and make the next line the title of another.
      Note(file.Path + ": the title (line 1) would be read as a control line; it is passed on as a comment.");
    } else {
      Emit(title);
      return;
    }
    Emit("* " + std::string(trimmed));
  }

  TStep Lines(const TSourceFile& file, std::size_t from, std::size_t to, bool top) {
    for (std::size_t index = from; index < to; ++index) {
      const std::string& line = file.Lines[index];
      const std::string_view trimmed = TrimView(line);
      if (FInControl) {
        if (StartsWithNoCase(trimmed, ".endc")) FInControl = false;
        continue;
      }
      // ngspice takes every card that begins with ".control" for one (".controls" too).
      if (StartsWithNoCase(trimmed, ".control")) {
        FInControl = true;
        Note(file.Path + ": the .control section at line " + std::to_string(index + 1) +
             " is not run; the engine runs the netlist's analyses itself.");
        continue;
      }
      if (IsEndCard(trimmed)) {
        // The netlist ends at its first .end; ngspice reads an included file on after one.
        if (top) return stEnd;
        continue;
      }
      if (trimmed.starts_with("*#")) {
        Note(file.Path + ": line " + std::to_string(index + 1) +
             " is left out: ngspice would run a \"*#\" line as a command.");
        continue;
      }
      if (StartsWithNoCase(trimmed, ".title")) {
        // ngspice ignores the .title of an included file; the last .title of the netlist is its title.
        if (!top) {
          Emit("*" + std::string(trimmed.substr(1)));
        } else if (IsScriptMark(AfterFirstWord(trimmed))) {
          Note(file.Path + ": the .title at line " + std::to_string(index + 1) +
               " is left out: it would make ngspice read the netlist as a script of commands.");
        } else {
          Emit(line);
        }
        continue;
      }
      if (StartsWithNoCase(trimmed, ".inc")) {
        if (Include(file, index, AfterFirstWord(trimmed)) == stStop) return stStop;
        continue;
      }
      if (StartsWithNoCase(trimmed, ".lib")) {
        if (Library(file, index, AfterFirstWord(trimmed)) == stStop) return stStop;
        continue;
      }
      Emit(line);
      if (FNetlist.Fault != nfNone) return stStop;
    }
    return stContinue;
  }

  TStep Include(const TSourceFile& file, std::size_t index, std::string_view rest) {
    FStack.back().Line = index + 1;
    std::string_view remainder;
    const std::string name = PathToken(rest, remainder);
    if (name.empty()) return Refuse(nfRefused, "The .include at " + Where(file, index) + " names no file.");
    const std::shared_ptr<const TSourceFile> source = Open(name, file, index, ".include");
    if (!source) return stStop;
    for (std::size_t k = 0; k < FStack.size(); ++k)
      if (FStack[k].Section.empty() && FStack[k].Id == source->Id)
        return Refuse(nfRefused, "The netlist is refused: " + source->Path + " includes itself: " + Chain(k) +
                                     " -> " + source->Path + ".");
    FStack.push_back(TFrame{source->Id, {}, source->Path, 0});
    const TStep step = Lines(*source, 0, source->Lines.size(), false);
    FStack.pop_back();
    return step == stStop ? stStop : stContinue;
  }

  // .lib FILE SECTION: the lines between ".lib SECTION" and ".endl" in FILE.
  TStep Library(const TSourceFile& file, std::size_t index, std::string_view rest) {
    FStack.back().Line = index + 1;
    std::string_view remainder;
    const std::string name = PathToken(rest, remainder);
    const std::vector<std::string_view> after = LibraryWords(remainder);
    if (name.empty() || after.empty())
      return Refuse(nfRefused, "The .lib at " + Where(file, index) +
                                   " names no library file and section: a .lib card here reads .lib FILE SECTION.");
    const std::string section(after[0]);
    const std::shared_ptr<const TSourceFile> library = Open(name, file, index, ".lib");
    if (!library) return stStop;
    const std::string key = LowerCase(section);
    for (std::size_t k = 0; k < FStack.size(); ++k)
      if (FStack[k].Section == key && FStack[k].Id == library->Id)
        return Refuse(nfRefused, "The netlist is refused: the section " + section + " of " + library->Path +
                                     " includes itself: " + Chain(k) + " -> " + library->Path + ".");
    std::size_t start = library->Lines.size();
    for (std::size_t k = 0; k < library->Lines.size(); ++k) {
      const std::string_view card = TrimView(library->Lines[k]);
      if (!StartsWithNoCase(card, ".lib")) continue;
      const std::vector<std::string_view> words = LibraryWords(AfterFirstWord(card));
      if (words.size() == 1 && SameText(words[0], section)) {
        start = k;
        break;
      }
    }
    if (start == library->Lines.size())
      return Refuse(nfRefused, "The library " + library->Path + " named by the .lib at " + Where(file, index) +
                                   " has no section " + section + ".");
    std::size_t end = start + 1;
    while (end < library->Lines.size() && !StartsWithNoCase(TrimView(library->Lines[end]), ".endl")) ++end;
    if (end == library->Lines.size())
      return Refuse(nfRefused, "The section " + section + " of the library " + library->Path + " (line " +
                                   std::to_string(start + 1) + ") has no .endl.");
    FStack.push_back(TFrame{library->Id, key, library->Path + " (section " + section + ")", 0});
    const TStep step = Lines(*library, start + 1, end, false);
    FStack.pop_back();
    return step == stStop ? stStop : stContinue;
  }

  // The file an .include or .lib card names, read; null after a refusal.
  std::shared_ptr<const TSourceFile> Open(const std::string& name, const TSourceFile& by, std::size_t index,
                                          const char* card) {
    const std::string where = "the " + std::string(card) + " at " + Where(by, index);
    if (static_cast<int>(FStack.size()) >= kMaxIncludeDepth) {
      Refuse(nfRefused, "The netlist is refused: its includes nest deeper than " + std::to_string(kMaxIncludeDepth) +
                            " files at " + where + ".");
      return nullptr;
    }
    if (++FIncludes > kMaxIncludes) {
      Refuse(nfRefused, "The netlist is refused: it includes more than " + std::to_string(kMaxIncludes) +
                            " files and sections (at " + where + ").");
      return nullptr;
    }
    const std::vector<std::string> candidates = Candidates(name, by.Folder);
    std::string found;
    for (const std::string& candidate : candidates) {
      struct stat status {};
      // Whatever is there is taken, a folder or a FIFO too, so that the refusal names it.
      if (stat(candidate.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
        found = candidate;
        break;
      }
    }
    if (found.empty()) {
      std::string looked;
      for (std::size_t k = 0; k < candidates.size(); ++k)
        looked += (k == 0 ? "" : k + 1 == candidates.size() ? " and " : ", ") + candidates[k];
      Refuse(nfRefused, "The file " + name + " named by " + where + " cannot be found: looked for " + looked + ".");
      return nullptr;
    }
    TFileRead read = ReadSourceFile(found, FCache);
    switch (read.Outcome) {
      case roRead: return read.File;
      case roMissing: Refuse(nfRefused, "The file " + found + " named by " + where + " does not exist."); break;
      case roUnreadable:
        Refuse(nfIncludeUnreadable, "The file " + found + " named by " + where + " " + read.Reason + ".");
        break;
      case roTooLarge:
        Refuse(nfRefused, "The netlist is refused: the file " + found + " named by " + where + " " + read.Reason + ".");
        break;
    }
    return nullptr;
  }

  // Where a relative name is looked for: beside the file that names it, beside the netlist (where
  // ngspice looks for the libraries of included files), then in the working folder.
  std::vector<std::string> Candidates(const std::string& name, const std::string& folder) const {
    if (name[0] == '/') return {name};
    if (name.starts_with("~/")) {
      const char* home = std::getenv("HOME");
      std::string homeFolder = home ? home : "";
      if (homeFolder.empty())
        if (const passwd* account = getpwuid(getuid()); account && account->pw_dir) homeFolder = account->pw_dir;
      return {homeFolder.empty() ? name : JoinPath(homeFolder, name.substr(2))};
    }
    std::vector<std::string> candidates;
    for (const std::string& base : {folder, FNetlistFolder, FWorkingFolder}) {
      std::string candidate = JoinPath(base, name);
      if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end())
        candidates.push_back(std::move(candidate));
    }
    return candidates;
  }

  // The files from the frame at From to the current one, each with the line that names the next.
  std::string Chain(std::size_t from) const {
    std::string chain;
    for (std::size_t k = from; k < FStack.size(); ++k)
      chain += (k == from ? "" : " -> ") + FStack[k].Path + " (line " + std::to_string(FStack[k].Line) + ")";
    return chain;
  }

  static std::string Where(const TSourceFile& file, std::size_t index) {
    return "line " + std::to_string(index + 1) + " of " + file.Path;
  }

  void Emit(std::string_view line) {
    if (FNetlist.Fault != nfNone) return;
    FBytes += line.size() + 1;
    if (FBytes > kMaxNetlistBytes) {
      Refuse(nfRefused, "The netlist is refused: with the files it includes it is larger than " +
                            MegabytesText(kMaxNetlistBytes) + ".");
      return;
    }
    FNetlist.Lines.emplace_back(line);
  }

  void Note(const std::string& text) { FNetlist.Notes.push_back("Warning: " + text); }

  TStep Refuse(TNetlistFault fault, std::string reason) {
    if (FNetlist.Fault == nfNone) {
      FNetlist.Fault = fault;
      FNetlist.Reason = std::move(reason);
    }
    return stStop;
  }

  TPreparedNetlist& FNetlist;
  std::string FNetlistFolder;
  std::string FWorkingFolder;
  std::vector<TFrame> FStack;
  TFileCache FCache;
  std::size_t FBytes = 0;
  int FIncludes = 0;
  bool FInControl = false;
};

// Whether the netlist holds a circuit, and the x range of its analysis cards.
void Analyse(TPreparedNetlist& netlist) {
  const std::vector<std::string>& lines = netlist.Lines;
  // The title comes first and ".end" last.
  for (std::size_t index = 1; index + 1 < lines.size(); ++index) {
    const std::string_view trimmed = TrimView(lines[index]);
    if (!trimmed.empty() && trimmed[0] != '*' && trimmed[0] != ';') netlist.Empty = false;
    const std::string keyword = LowerCase(FirstWord(trimmed));
    if (keyword != ".tran" && keyword != ".ac" && keyword != ".dc" && keyword != ".op") continue;
    const std::string analysis = keyword.substr(1);
    if (netlist.Ranges.count(analysis)) continue;
    // A card may go on in continuation lines.
    std::string card(trimmed);
    for (std::size_t next = index + 1; next < lines.size(); ++next) {
      const std::string_view more = TrimView(lines[next]);
      if (more.empty() || more[0] != '+') break;
      card += ' ';
      card += more.substr(1);
    }
    if (const auto range = CardRange(analysis, CardWords(card))) netlist.Ranges[analysis] = *range;
  }
}
}  // namespace

std::optional<double> ParseSpiceNumber(std::string_view word) {
  word = TrimView(word);
  bool negative = false;
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  // A letter first would let from_chars read "inf" or "nan", which are no SPICE numbers.
  if (word.empty() || !((word[0] >= '0' && word[0] <= '9') || word[0] == '.')) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, std::chars_format::general);
  if (error != std::errc()) return std::nullopt;
  std::string_view suffix = word.substr(static_cast<std::size_t>(end - word.data()));
  if (!std::all_of(suffix.begin(), suffix.end(), IsLetter)) return std::nullopt;
  const std::string lower = LowerCase(suffix);
  double scale = 1;
  if (lower.starts_with("meg")) {
    scale = 1e6;
  } else if (lower.starts_with("mil")) {
    scale = 25.4e-6;
  } else if (!lower.empty()) {
    switch (lower[0]) {
      case 't': scale = 1e12; break;
      case 'g': scale = 1e9; break;
      case 'k': scale = 1e3; break;
      case 'm': scale = 1e-3; break;
      case 'u': scale = 1e-6; break;
      case 'n': scale = 1e-9; break;
      case 'p': scale = 1e-12; break;
      case 'f': scale = 1e-15; break;
      default: break;  // a unit, such as "s" or "V"
    }
  }
  value *= scale;
  return negative ? -value : value;
}

TPreparedNetlist ReadNetlist(const std::string& path) {
  TPreparedNetlist netlist;
  TFileCache cache;
  const TFileRead read = ReadSourceFile(path, cache);
  switch (read.Outcome) {
    case roRead: break;
    case roMissing:
      netlist.Fault = nfNetlistMissing;
      netlist.Reason = "The netlist " + path + " does not exist.";
      return netlist;
    case roUnreadable:
      netlist.Fault = nfNetlistUnreadable;
      netlist.Reason = "The netlist " + path + " " + read.Reason + ".";
      return netlist;
    case roTooLarge:
      netlist.Fault = nfRefused;
      netlist.Reason = "The netlist is refused: " + path + " " + read.Reason + ".";
      return netlist;
  }
  TExpander(netlist, *read.File).Run(*read.File);
  if (netlist.Fault == nfNone) Analyse(netlist);
  return netlist;
}

std::string ViewerWaveName(std::string_view vectorName, int vectorType) {
  constexpr std::string_view branch = "#branch";
  const bool isBranch =
      vectorName.size() > branch.size() && SameText(vectorName.substr(vectorName.size() - branch.size()), branch);
  if (isBranch) return "i(" + std::string(vectorName.substr(0, vectorName.size() - branch.size())) + ")";
  // A device quantity such as "@r1[i]" or a name already written as v(...) keeps its form.
  const bool plain = !vectorName.empty() && vectorName[0] != '@' &&
                     vectorName.find_first_of("([") == std::string_view::npos;
  if (plain && vectorType == vtVoltage) return "v(" + std::string(vectorName) + ")";
  if (plain && vectorType == vtCurrent) return "i(" + std::string(vectorName) + ")";
  return std::string(vectorName);
}

std::string AnalysisOfPlotType(std::string_view plotType) {
  std::size_t end = plotType.size();
  while (end > 0 && plotType[end - 1] >= '0' && plotType[end - 1] <= '9') --end;
  return LowerCase(plotType.substr(0, end));
}

}  // namespace tolvex::ngspice
