// The stand-in host's netlister (docs/host.md, "Netlists"): every component's stored template expanded by the
// plug-in's own template parser, with one index of the compiled design for the whole netlist.
#include "Netlister.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "host/HostApi.h"
#include "host/SchServerApi.h"
#include "model_data/ModelFile.h"
#include "model_data/ModelFileLines.h"
#include "model_data/SchObjects.h"
#include "support/TextUtils.h"
#include "templates/Rt_Tolvex.h"

namespace tolvex::host {

namespace {

namespace fs = std::filesystem;

constexpr const char* kNetNamesUnavailable = "Net names not available, project/document not compiled";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string ProjectText(const TNetlisterExports& exports, std::int32_t index, const char* item) {
  if (!exports.GetProjectText) return {};
  const std::int32_t length = exports.GetProjectText(index, item, nullptr, 0);
  if (length <= 0) return {};
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
  exports.GetProjectText(index, item, buffer.data(), static_cast<std::int32_t>(buffer.size()));
  return std::string(buffer.data());
}

std::string TrimRight(std::string line) {
  while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32) line.pop_back();
  return line;
}

// For the expansion of one part of a multi-part component the designator parameter reads as the part's
// designator (U1A), as the schematic shows it, so that every use of @DESIGNATOR in the template names the part.
// The schematic's own value comes back when the part is done.
class TPartDesignator {
 public:
  TPartDesignator(THandle parameter, const std::string& partDesignator) : FParameter(parameter) {
    if (!parameter || FParameter.Query(kSchQueryModeRead) == kSchQueryFailure) return;
    FOriginal = FParameter.FValue;
    FParameter.FValue = partDesignator;
    FActive = FParameter.Query(kSchQueryModeWrite) != kSchQueryFailure;
  }
  ~TPartDesignator() {
    if (!FActive) return;
    FParameter.FValue = FOriginal;
    FParameter.Query(kSchQueryModeWrite);
  }
  TPartDesignator(const TPartDesignator&) = delete;
  TPartDesignator& operator=(const TPartDesignator&) = delete;

 private:
  TSchParameter FParameter;
  std::string FOriginal;
  bool FActive = false;
};

// The path a netlist's .include line names: on disk, in full.
std::string IncludePath(const std::string& modelPath) {
  std::string path = VfsIsVFSFileName(modelPath) ? VfsGetExternalPathForFile(modelPath) : modelPath;
  std::error_code ec;
  const fs::path absolute = fs::absolute(fs::path(path), ec);
  return ec ? path : absolute.lexically_normal().string();
}

// Writes Text to Path through a temporary file beside it, so that a failed write leaves the old file whole.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string temporary =
      (folder / ("." + target.filename().string() + ".netlist-" + std::to_string(::getpid()))).string();
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  bool written = true;
  for (std::size_t done = 0; done < text.size() && written;) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<std::size_t>(n);
  }
  const int writeErrno = errno;
  if (::close(fd) != 0 && written) written = false;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string NetlistNetName(const std::string& name, bool& changed) {
  changed = false;
  for (const char* ground : {"0", "GND", "AGND", "DGND"})
    if (SameText(name, ground)) return "0";
  std::string result = name;
  for (char& c : result)
    if (c == ' ' || c == '\t' || c == '=' || c == '(' || c == ')' || c == ',') {
      c = '_';
      changed = true;
    }
  return result;
}

std::string PartLetters(std::int32_t part) {
  std::string letters;
  for (std::int64_t n = part; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
  return letters;
}

bool HasControlCharacter(const std::string& text, bool allowTab) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 32 && !(allowTab && c == '\t')) || byte == 127) return true;
  }
  return false;
}

std::string VisibleText(const std::string& text) {
  std::string visible;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      visible += "\\n";
    } else if (c == '\r') {
      visible += "\\r";
    } else if (c == '\t') {
      visible += "\\t";
    } else if (byte < 32 || byte == 127) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      visible += "\\x";
      visible += kHex[byte >> 4];
      visible += kHex[byte & 15];
    } else {
      visible += c;
    }
  }
  return visible;
}

bool TNetlister::OpenProject(const std::string& path, TOpenedProject& project, std::string& error,
                             const TDocumentLoadHandler& onDocument) {
  if (!FExports.OpenProject || !FExports.GetProjectText) {
    error = "cannot open " + path + ": Fenwarden.dll is not loaded or cannot open project files";
    return false;
  }
  char message[4096] = {};
  project = TOpenedProject{};
  project.Index = FExports.OpenProject(path.c_str(), message, sizeof message);
  if (project.Index < 0) {
    error = message;
    return false;
  }
  if (FExports.SetFocusedProject) FExports.SetFocusedProject(project.Index);
  project.Title = ProjectText(FExports, project.Index, "title");
  for (const char* list : {"documents", "secondDocuments"})
    for (const std::string& document : SplitLines(ProjectText(FExports, project.Index, list)))
      project.Documents.push_back(document);
  project.Analyses = SplitLines(ProjectText(FExports, project.Index, "analyses"));
  project.Options = SplitLines(ProjectText(FExports, project.Index, "options"));
  for (const std::string& folder : SplitLines(ProjectText(FExports, project.Index, "modelFolders"))) {
    bool added = false;
    for (const std::string& known : FModelFoldersAdded) added = added || known == folder;
    if (added) continue;
    if (FExports.AddModelFolder) FExports.AddModelFolder(folder.c_str());
    FModelFoldersAdded.push_back(folder);
  }
  for (const std::string& document : project.Documents) {
    char documentError[2048] = {};
    const THandle handle =
        FExports.OpenDocument ? FExports.OpenDocument(document.c_str(), documentError, sizeof documentError) : 0;
    if (!FExports.OpenDocument)
      std::snprintf(documentError, sizeof documentError, "cannot load %s: Pravik.dll is not loaded", document.c_str());
    if (onDocument) onDocument(document, handle, handle ? std::string() : std::string(documentError));
    if (!handle) {
      error = documentError;
      return false;
    }
    project.DocumentHandles.push_back(handle);
  }
  return true;
}

bool TNetlister::WriteNetlist(const TOpenedProject& project, const std::string& outPath,
                              const TNetlistMessageHandler& onMessage, std::size_t& components, std::size_t& messages,
                              std::string& error) {
  components = 0;
  messages = 0;
  auto report = [&](const std::string& designator, const std::string& text) {
    ++messages;
    if (onMessage) onMessage(designator, text);
  };
  const std::string projectPath = ProjectText(FExports, project.Index, "path");
  if (!FExports.GetWorkspace || !FExports.GetImplementation) {
    error = "cannot netlist " + projectPath + ": the workspace or the schematic server lacks an export";
    return false;
  }

  std::string netlist = "* " + project.Title + "\n";
  std::vector<std::string> includes;
  try {
    // One index of the compiled design serves every pin reference of the netlist.
    IWorkspace* rawWorkspace = nullptr;
    const HRESULT32 status = FExports.GetWorkspace(&rawWorkspace);
    auto workspace = TInterfacePtr<IWorkspace>::Attach(rawWorkspace);
    CheckHostStatus(status, "GetWorkspace");
    IProject* rawProject = nullptr;
    CheckHostStatus(workspace->GetProject(project.Index, &rawProject), "GetProject");
    auto owned = TInterfacePtr<IProject>::Attach(rawProject);
    const TDesignPinIndex index(owned.Get());
    // The plug-in finds a pin's item by the pin's name, number and place alone, and the first item wins: a pin of
    // another component in the same place (on another sheet, most often) would get the first one's net unseen.
    for (const auto& shadowed : index.ShadowedPins())
      report(shadowed.Component, "Pin " + shadowed.PinNumber + " lies where pin " + shadowed.PinNumber + " of " +
                                     shadowed.ShadowedBy + " lies, with the same name; the netlist gives it the net of " +
                                     shadowed.ShadowedBy + "'s pin");

    std::set<std::string> designators;
    std::set<std::string> includeKeys;
    // Location, kind, source library, library reference, use of the library model, model name.
    using TModelKey = std::tuple<std::string, std::string, std::string, std::string, bool, std::string>;
    struct TModelFound {
      std::string Path;  // empty when not found
      bool Defined = false;
    };
    std::map<TModelKey, TModelFound> models;
    for (std::size_t d = 0; d < project.DocumentHandles.size(); ++d) {
      const THandle document = project.DocumentHandles[d];
      const std::string documentName = fs::path(project.Documents[d]).filename().string();
      std::vector<THandle> handles;
      const THandle iterator = SchServer().CreateIterator(document, pravik::kObjectIdComponent);
      for (THandle h = SchServer().GetFirstObject(iterator); h; h = SchServer().GetNextObject(iterator))
        handles.push_back(h);
      SchServer().DestroyIterator(iterator);

      for (const THandle handle : handles) {
        TSchComponent component(handle);
        component.Query(kSchQueryModeRead);
        const std::string designator = component.GetDesignatorText();
        if (designator.empty()) {
          report("", "A component without a designator on " + documentName + " is left out");
          continue;
        }
        // Designators compare without regard to letter case; the first component of a designator is netlisted.
        if (!designators.insert(UpperCaseAscii(designator)).second) {
          report(designator, "The designator is used again on " + documentName + "; this component is left out");
          continue;
        }
        const THandle implementationHandle = FExports.GetImplementation(handle, 0);
        if (!implementationHandle) {
          report(designator, "No simulation implementation; the component is left out");
          continue;
        }
        TComponentImplementation implementation(implementationHandle);
        implementation.Query(kSchQueryModeRead);
        const auto netlistParameter = implementation.FindImplementationParameter("Netlist");
        const std::string templateText = netlistParameter ? netlistParameter->FValue : std::string();
        if (Trim(templateText).empty()) {
          report(designator, "No netlist template (the implementation's \"Netlist\" parameter); the component is "
                             "left out");
          continue;
        }

        // Every part is expanded, so the count is bounded before anything is done for the component.
        if (component.FPartCount > kMaxPartCount) {
          report(designator, "The component has " + std::to_string(component.FPartCount) + " parts, more than the " +
                                 std::to_string(kMaxPartCount) +
                                 " that part letters (A to ZZ) name; the component is left out");
          continue;
        }

        // The model file the implementation names, or the component's library model. Many components share a
        // model, so each search is made once. The file is included once the component's lines are taken.
        std::string include;
        if (implementation.DatafileLinkCount() > 0 || implementation.FUseLibraryModel) {
          const TModelDatafileLink* link = implementation.GetDatafileLink(0);
          const std::string location = link ? link->FLocation : std::string();
          const std::string kind = link && !link->FKind.empty() ? link->FKind : "MDL";
          const bool useLibraryModel = implementation.FUseLibraryModel != 0;
          const TModelKey key{location, kind, component.FSourceLibraryName, component.FLibraryReference,
                              useLibraryModel, implementation.FModelName};
          auto found = models.find(key);
          if (found == models.end()) {
            const TModelFile file(location, kind, component.FSourceLibraryName, component.FLibraryReference,
                                  useLibraryModel, implementation.FModelName);
            TModelFound model;
            if (file.Lines()) {
              model.Path = IncludePath(file.ModelPath());
              model.Defined = FindModelLine(*file.Lines(), implementation.FModelName) >= 0;
            }
            found = models.emplace(key, model).first;
          }
          const std::string& path = found->second.Path;
          if (path.empty()) {
            report(designator, "Model " + implementation.FModelName + " not found" +
                                   (location.empty() ? std::string() : " in " + VisibleText(location)));
          } else if (path.find('"') != std::string::npos) {
            report(designator, "The model file " + path + " has a double quote in its path and cannot be included");
          } else if (HasControlCharacter(path, false)) {
            // A line break in the name would end the .include line and make the rest of the name netlist lines.
            report(designator, "The model file " + VisibleText(path) +
                                   " has a control character in its path and cannot be included");
          } else {
            // A file that lacks the model is included all the same: it is the file the implementation names.
            if (!found->second.Defined)
              report(designator, "Model " + implementation.FModelName + " is not defined in " + path);
            include = path;
          }
        }

        const std::int32_t parts = std::max<std::int32_t>(component.FPartCount, 1);
        std::string componentLines;
        bool refused = false;
        for (std::int32_t part = 1; part <= parts; ++part) {
          const std::string partDesignator = parts > 1 ? designator + PartLetters(part) : designator;
          std::unique_ptr<TPartDesignator> partName;
          if (parts > 1) partName = std::make_unique<TPartDesignator>(component.FDesignatorParameter, partDesignator);
          std::set<std::pair<std::string, std::string>> renamed;
          TMapNetNameEvent hook = [&renamed](const std::string& net, int, std::string& result) {
            bool changed = false;
            result = NetlistNetName(net, changed);
            if (changed) renamed.emplace(net, result);
          };
          std::vector<std::string> errors;
          TNetlistTemplateParser_Sch parser(templateText, implementationHandle, part, handle, false, hook, &errors,
                                            &index);
          parser.Parse();
          std::vector<std::string> lines;
          parser.Expand(lines, nullptr);
          for (const std::string& text : errors) report(partDesignator, text);
          for (const auto& [from, to] : renamed)
            report(partDesignator, "Net name \"" + from + "\" written as \"" + to + "\"");
          if (!parser.NetNamesAvailable()) report(partDesignator, kNetNamesUnavailable);
          for (const std::string& line : lines) {
            const std::string text = TrimRight(line);
            if (Trim(text).empty()) continue;
            // A value that holds a line break (or another control character) would otherwise add lines of its own
            // to the netlist, such as a .control block that runs shell commands in the simulator.
            if (!refused && HasControlCharacter(text, true)) {
              report(partDesignator, "The netlist line \"" + VisibleText(text) +
                                         "\" holds a control character; the component is left out");
              refused = true;
            }
            componentLines += text + "\n";
          }
        }
        if (refused) continue;
        netlist += componentLines;
        if (!include.empty() && includeKeys.insert(include).second) includes.push_back(include);
        ++components;
      }
    }
  } catch (const std::exception& e) {
    error = "cannot netlist " + projectPath + ": " + e.what();
    return false;
  }

  for (const std::string& path : includes) netlist += ".include \"" + path + "\"\n";
  std::string options;
  for (const std::string& option : project.Options) options += " " + option;
  if (!options.empty()) netlist += ".options" + options + "\n";
  for (const std::string& analysis : project.Analyses) netlist += analysis + "\n";
  netlist += ".end\n";
  return WriteFileAtomically(outPath, netlist, error);
}

}  // namespace tolvex::host
