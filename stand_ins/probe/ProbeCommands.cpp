// The probes themselves: each reads through the same core classes the plug-in uses, with the real
// stand-in modules behind them, and writes what those classes hold.
#include "ProbeCommands.h"

#include <charconv>
#include <memory>

#include "ProbeHost.h"
#include "host/HostApi.h"
#include "host/SchServerApi.h"
#include "model_data/ImplementationData.h"
#include "model_data/ModelFile.h"
#include "model_data/ModelFileLines.h"
#include "model_data/SchObjects.h"
#include "server/Rt_Param.h"
#include "support/TextUtils.h"
#include "templates/Rt_Tolvex.h"

namespace tolvex::probe {

namespace {

// The document's component and its first implementation, which every schematic probe needs.
struct TTarget {
  THandle Document = 0;
  THandle Component = 0;
  THandle Implementation = 0;
};

TTarget OpenTarget(TProbeHost& host, const std::string& path, const std::string& designator, TOutput& out) {
  TTarget target;
  target.Document = host.OpenSchematic(path);
  host.FindComponent(target.Document, path, designator, target.Component, target.Implementation);
  if (!target.Implementation)
    throw EProbeError(path + ": the component \"" + designator + "\" has no simulation implementation");
  out.Value("document", path);
  out.Record("component", {{"designator", designator},
                           {"handle", std::to_string(target.Component)},
                           {"implementation", std::to_string(target.Implementation)}});
  return target;
}

// What a model look-up found, as the Sim Editor's model pane shows it.
void WriteModelFile(const TModelFile& file, TOutput& out) {
  out.Value("found-file", file.FoundFile());
  out.Value("found-file-name", file.FoundFileName());
  out.Value("model-path", file.ModelPath());
  const std::vector<std::string>* lines = file.Lines();
  if (!lines) {
    out.Text("[Error - Model Not Found]");
    return;
  }
  out.Number("line-count", static_cast<long long>(lines->size()));
  // The same rule TModelFile applied, so the number is the line it read the model from.
  const int index = FindModelLine(*lines, file.ModelName());
  out.Value("defining-line", index < 0 ? std::string("none") : std::to_string(index + 1));
  out.Flag("subcircuit", file.IsSubcircuit());
  for (int i = 0; i < file.PortCount(); ++i)
    out.Record("model-port", {{"index", std::to_string(i + 1)}, {"name", file.Port(i)}});
  if (file.ParameterCount() == 0) return;
  // TModelFile keeps the items but hands out only their names; the defaults come from the same definition.
  const TSubcircuitHeader header = ReadSubcircuitHeader(JoinContinuationLines(*lines, index));
  for (int i = 0; i < file.ParameterCount(); ++i) {
    std::string defaultValue;
    if (header.Parameters && static_cast<std::size_t>(i) < header.Parameters->size()) {
      const std::string& item = (*header.Parameters)[static_cast<std::size_t>(i)];
      const std::size_t equals = item.find('=');
      if (equals != std::string::npos) defaultValue = item.substr(equals + 1);
    }
    out.Record("model-parameter", {{"name", file.ParameterName(i)}, {"default", defaultValue}});
  }
}

std::string Code(std::uint8_t value) { return std::to_string(static_cast<unsigned>(value)); }
std::string Boolean(bool value) { return value ? "true" : "false"; }

// A whole decimal number, or EProbeError naming the option.
std::int32_t WholeNumber(const std::string& option, const std::string& text) {
  std::int32_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
    throw EProbeError(option + " " + text + ": not a whole number");
  return value;
}

// The entries of a Name=Value|Name=Value text. Unlike a command's parameter text, where a segment without "=" is
// passed over, every segment here must be an entry: a typing mistake would otherwise go unnoticed.
void AddGivenEntries(const std::string& text, TParameterDataList& list) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t bar = std::min(text.find('|', start), text.size());
    const std::string segment = text.substr(start, bar - start);
    const std::size_t equals = segment.find('=');
    if (!TrimView(segment).empty() && (equals == std::string::npos || TrimView(segment.substr(0, equals)).empty()))
      throw EProbeError("--parameters: \"" + segment + "\" is not Name=Value");
    start = bar + 1;
  }
  TParameterList given;
  given.Parse(std::string_view(text));
  for (std::size_t i = 0; i < given.Count(); ++i) list.AddParameter(given[i].Name(), given[i].Value());
}

}  // namespace

int ProbeImplementation(const TProbeOptions& options, TOutput& out) {
  const std::string& path = options.Arguments[0];
  const std::string& designator = options.Arguments[1];
  TProbeHost host;
  host.LoadSchematicServer();
  host.LoadLibraryManager(options.ModelFolders);
  const TTarget target = OpenTarget(host, path, designator, out);

  TImplementationData data(target.Implementation, target.Component);
  data.Load();
  out.Flag("in-library-editor", data.FInLibraryEditor);
  out.Value("kind", data.FKind);
  out.Value("sub-kind", data.FSubKind);
  out.Value("spice-prefix", data.FSpicePrefix);
  out.Value("netlist", data.FNetlist);
  out.Value("model-name", data.FModelName);
  out.Value("model-location", data.FModelLocation);
  out.Value("description", data.FDescription);
  out.Value("port-map", data.FPortMap);
  out.Flag("use-library-model", data.FUseLibraryModel);
  out.Flag("library-model-available", data.FLibraryModelAvailable);
  out.Value("library-reference", data.FLibraryReference);
  out.Value("source-library", data.GetSourceLibraryName());
  out.Value("designator", data.FDesignator);
  out.Number("part-count", data.FPartCount);
  const TSchPinList& pins = data.GetPins();
  for (std::size_t i = 0; i < pins.Count(); ++i) {
    const TSchPin& pin = *pins.Get(i);
    out.Record("pin",
               {{"designator", pin.FDesignator}, {"name", pin.FName}, {"part", std::to_string(pin.FOwnerPartId)}});
  }
  const TParameterDataList& parameters = data.LoadedParameters();
  for (std::size_t i = 0; i < parameters.Count(); ++i) {
    const TParameterData& p = *parameters.GetData(i);
    out.Record("parameter", {{"name", p.FName},
                             {"value", p.FValue},
                             {"type", Code(p.FValueType)},
                             {"read-only", Code(p.FReadOnlyFlags)},
                             {"component-level", Boolean(p.FComponentLevel)}});
  }

  if (data.FModelName.empty()) return kExitDone;
  // The model pane's look-up. Whether the editor asks for a subcircuit depends on its frame; here the kind of the
  // implementation's model link decides, a plain model without one.
  TComponentImplementation implementation(target.Implementation);
  implementation.Query(kSchQueryModeRead);
  const TModelDatafileLink* link = implementation.GetDatafileLink(0);
  const bool subcircuit = link && SameText(link->FKind, "CKT");
  data.LoadModelFile(data.FModelName, data.FModelLocation, data.FUseLibraryModel, subcircuit);
  out.Value("model-kind", subcircuit ? "CKT" : "MDL");
  WriteModelFile(*data.ModelFile(), out);
  return kExitDone;
}

int ProbeModel(const TProbeOptions& options, TOutput& out) {
  const std::string& name = options.Arguments[0];
  if (TrimView(name).empty()) throw EProbeError("the model name is empty");
  if (!options.LibraryModel && (options.SourceLibrary || options.LibraryReference))
    throw EProbeError("--source-library and --library-reference belong to a --library-model look-up");
  TProbeHost host;
  host.LoadLibraryManager(options.ModelFolders);
  const std::string kind = options.Subcircuit ? "CKT" : "MDL";
  const std::string location = options.Location.value_or("");
  const std::string sourceLibrary = options.SourceLibrary.value_or("");
  const std::string libraryReference = options.LibraryReference.value_or("");
  out.Value("model-name", name);
  out.Value("model-kind", kind);
  out.Value("model-location", location);
  out.Flag("use-library-model", options.LibraryModel);
  out.Value("source-library", sourceLibrary);
  out.Value("library-reference", libraryReference);
  const TModelFile file(location, kind, sourceLibrary, libraryReference, options.LibraryModel, name);
  WriteModelFile(file, out);
  return file.Lines() ? kExitDone : kExitModelNotFound;
}

int ProbeExpansion(const TProbeOptions& options, TOutput& out) {
  const std::string& path = options.Arguments[0];
  const std::string& designator = options.Arguments[1];
  const std::int32_t part = options.Part ? WholeNumber("--part", *options.Part) : 1;
  TParameterDataList given;
  if (options.Parameters) AddGivenEntries(*options.Parameters, given);

  TProbeHost host;
  // The workspace first, as a host loads its modules: the expansion finds it among the loaded ones.
  if (options.Project) host.LoadWorkspace(*options.Project);
  host.LoadSchematicServer();
  const TTarget target = OpenTarget(host, path, designator, out);

  TImplementationData data(target.Implementation, target.Component);
  data.Load();
  const std::int32_t parts = std::max<std::int32_t>(data.FPartCount, 1);
  if (part < 1 || part > parts)
    throw EProbeError("--part " + std::to_string(part) + ": the component \"" + designator + "\" has " +
                        std::to_string(parts) + (parts == 1 ? " part" : " parts"));
  const std::string text = options.Template.value_or(data.FNetlist);
  out.Value("template", text);
  out.Number("part", part);

  // A list like the Sim Editor's preview: the entries given in place of the frame's parameters, then what the
  // implementation says; a name already present keeps its first entry.
  std::unique_ptr<TParameterDataList> list;
  if (options.Parameters) {
    list = std::make_unique<TParameterDataList>();
    list->AddCopiesOf(&given);
    list->AddParameter("Model", data.FModelName);
    list->AddParameter("ModelLocation", data.FModelLocation);
    list->AddParameter("Spice Prefix", data.FSpicePrefix);
    list->AddParameter("Designator", data.FDesignator);
    list->AddParameter("Port Map", data.FPortMap);
  }
  out.Flag("parameter-list", list != nullptr);
  if (list)
    for (std::size_t i = 0; i < list->Count(); ++i)
      out.Record("entry", {{"name", list->GetData(i)->FName}, {"value", list->GetData(i)->FValue}});

  std::vector<std::string> messages;
  std::vector<std::string> lines;
  bool netNamesAvailable = true;
  try {
    TNetlistTemplateParser_Sch parser(text, target.Implementation, part, target.Component, false, {}, &messages);
    parser.Parse();
    parser.Expand(lines, list.get());
    netNamesAvailable = parser.NetNamesAvailable();
  } catch (const EHostError& error) {
    // The host's failure ends the expansion, as it ends the preview.
    throw EProbeError(std::string("the expansion ended: ") + error.what());
  }
  for (const std::string& line : lines) out.Value("line", line);
  for (const std::string& message : messages) out.Value("message", message);
  out.Flag("net-names-available", netNamesAvailable);
  return kExitDone;
}

}  // namespace tolvex::probe
