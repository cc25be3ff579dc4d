// Schematic document files: JSON to the server's objects and back, and the atomic save.
#include "SchDocumentFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "SchDocumentFields.h"
#include "support/TextConversion.h"
#include "SchDocumentReader.h"
#include "common/RegularFile.h"
#include "support/TextUtils.h"

namespace pravik {

namespace {

namespace fs = std::filesystem;
using namespace file;

// The members an object was read with, in their order, as a JSON object: the unknown ones with their values, the
// others as null for the writer to fill in (or take out).
TJson FileShape(const TFileMembers& members) {
  TJson out = TJson::object();
  if (!members.Order) return out;
  for (const std::string& name : *members.Order) {
    const auto kept = members.Unknown.find(name);  // end() when Unknown is null
    out[name] = kept != members.Unknown.end() ? *kept : TJson();
  }
  return out;
}

TJson ParameterToJson(const TParameter& parameter, const TParameterAttributes& defaults) {
  TJson out = FileShape(parameter.Source);
  WriteFields(GrafFields(), parameter.G, TGrafAttributes{}, out);
  WriteFields(ParameterFields(), parameter.R, defaults, out);
  return out;
}

TJson DesignatorToJson(const TParameter& designator) {
  const TParameterAttributes defaults = DesignatorDefaults();
  TParameterAttributes plain = defaults;
  plain.Value = designator.R.Value;
  // Written back as a bare text while it still is nothing but a text.
  if (designator.Shorthand && designator.Source.Empty() && designator.G == TGrafAttributes{} && designator.R == plain)
    return designator.R.Value;
  return ParameterToJson(designator, defaults);
}

TJson PinToJson(const TPin& pin) {
  TJson out = FileShape(pin.Source);
  WriteFields(GrafFields(), pin.G, TGrafAttributes{}, out);
  WriteFields(PinFields(), pin.P, TPinAttributes{}, out);
  return out;
}

template <class T, class F>
void WriteList(TJson& out, const char* name, const std::vector<T>& list, F toJson) {
  if (!out.contains(name) && list.empty()) return;
  TJson array = TJson::array();
  for (const auto& item : list) array.push_back(toJson(item));
  out[name] = std::move(array);
}

TJson ImplementationToJson(const TImplementation& implementation) {
  TJson out = FileShape(implementation.Source);
  WriteFields(ImplementationFields(), implementation.I, TImplementationAttributes{}, out);
  WriteList(out, "parameters", implementation.Parameters.Parameters,
            [](const auto& p) { return ParameterToJson(*p, {}); });
  WriteList(out, "datafiles", implementation.Links, [](const TDatafileLink& link) {
    TJson o = FileShape(link.Source);
    WriteFields(DatafileFields(), link, TDatafileLink{}, o);
    return o;
  });
  return out;
}

TJson ComponentToJson(const TComponent& component) {
  TJson out = FileShape(component.Source);
  WriteFields(GrafFields(), component.G, TGrafAttributes{}, out);
  WriteFields(ComponentFields(), component.C, TComponentAttributes{}, out);
  if (component.Designator)
    out["designator"] = DesignatorToJson(*component.Designator);
  else
    out.erase("designator");
  WriteList(out, "pins", component.Container.Pins, [](const auto& p) { return PinToJson(*p); });
  WriteList(out, "graphics", component.Graphics, [](const TPartShape& shape) {
    TJson o = FileShape(shape.Source);
    WriteFields(ShapeFields(), shape.S, TShapeAttributes{}, o);
    return o;
  });
  WriteList(out, "parameters", component.Container.Parameters, [](const auto& p) { return ParameterToJson(*p, {}); });
  WriteList(out, "implementations", component.Implementations, [](const auto& i) { return ImplementationToJson(*i); });
  return out;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = tolvex::Utf8SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string Join(const std::string& where, const std::string& name) {
  return where.empty() ? name : where + "." + name;
}
std::string Index(const std::string& where, std::size_t i) { return where + "[" + std::to_string(i) + "]"; }

// The place of the first text that is not UTF-8, for the save's message; empty when all are.
std::string FindInvalidText(const TJson& j, const std::string& where) {
  if (j.is_string())
    return IsValidUtf8(j.get_ref<const std::string&>()) ? std::string() : (where.empty() ? "(document)" : where);
  if (j.is_array()) {
    for (std::size_t i = 0; i < j.size(); ++i)
      if (std::string found = FindInvalidText(j[i], Index(where, i)); !found.empty()) return found;
  } else if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (!IsValidUtf8(it.key())) return Join(where, "(a member name)");
      if (std::string found = FindInvalidText(it.value(), Join(where, it.key())); !found.empty()) return found;
    }
  }
  return {};
}

// The file is meant to be read and edited by people: short arrays and flat objects (a location, a parameter) stay
// on one line, everything else is spread over lines indented by two.
constexpr std::size_t kLineWidth = 110;

// Appends J to Out on one line, unless that line would make Out longer than Limit or J is not flat (an object is
// flat only at the top, and only with no object in it): then false, with Out holding part of the line. It stops as
// soon as the line is too long, so trying a large value costs no more than a line's worth of work; that keeps a
// save linear in the document's size however deep its values nest.
bool AppendOneLine(const TJson& j, bool top, std::size_t limit, std::string& out) {
  if (j.is_string() && out.size() + j.get_ref<const std::string&>().size() + 2 > limit) return false;
  if (!j.is_structured()) {
    out += j.dump();
    return out.size() <= limit;
  }
  if (j.is_object() && !top) return false;
  out += j.is_array() ? '[' : '{';
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ", ";
    first = false;
    if (j.is_object()) {
      if (out.size() + it.key().size() + 4 > limit) return false;
      out += TJson(it.key()).dump();
      out += ": ";
    }
    if (!AppendOneLine(it.value(), false, limit, out) || out.size() > limit) return false;
  }
  out += j.is_array() ? ']' : '}';
  return out.size() <= limit;
}

// Writes J whose first character goes at Column of the current line, the lines inside it indented by Indent + 2.
void Format(const TJson& j, std::size_t indent, std::size_t column, std::string& out) {
  // A scalar or an empty value is one line however long.
  if (!j.is_structured() || j.empty()) {
    out += j.dump();
    return;
  }
  const std::size_t start = out.size();
  const std::size_t room = column < kLineWidth ? kLineWidth - column : 0;
  if (AppendOneLine(j, true, start + room, out)) return;
  out.resize(start);
  const std::string inner(indent + 2, ' ');
  out += j.is_array() ? "[\n" : "{\n";
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    if (!first) out += ",\n";
    first = false;
    const std::size_t lineStart = out.size();
    out += inner;
    if (j.is_object()) {
      out += TJson(it.key()).dump();
      out += ": ";
    }
    Format(it.value(), indent + 2, out.size() - lineStart, out);
  }
  out += "\n" + std::string(indent, ' ') + (j.is_array() ? "]" : "}");
}

std::string Format(const TJson& j) {
  std::string out;
  Format(j, 0, 0, out);
  return out;
}

std::string SaveFailureStage;

std::string ErrnoText(int error) { return std::strerror(error); }

// True when the save is to fail at Stage, with errno set as a failing device would.
bool Injected(const char* stage) {
  if (SaveFailureStage != stage) return false;
  errno = EIO;
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicWrite(const std::string& path, const std::string& text, std::string& error) {
  fs::path target(path);
  std::error_code ec;
  // A link is followed, so the file it names gets the new content and the link stays.
  if (fs::is_symlink(target, ec)) {
    fs::path resolved = fs::canonical(target, ec);
    if (!ec) target = resolved;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  static unsigned counter = 0;
  const fs::path temporary = folder / ("." + target.filename().string() + ".saving-" + std::to_string(getpid()) + "-" +
                                       std::to_string(++counter));
  const std::string failed = "cannot save " + path + ": ";

  const int fd = Injected("create") ? -1 : ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = failed + "cannot create the temporary file " + temporary.string() + ": " + ErrnoText(errno);
    return false;
  }
  const auto abandon = [&](const std::string& what) {
    const int saved = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    error = failed + what + ": " + ErrnoText(saved);
    return false;
  };
  // The new file keeps the permissions of the one it replaces.
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
  if (Injected("write") || !WriteAll(fd, text)) return abandon("cannot write " + temporary.string());
  if (Injected("sync") || ::fsync(fd) != 0) return abandon("cannot flush " + temporary.string() + " to disk");
  if (::close(fd) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    error = failed + "cannot close " + temporary.string() + ": " + ErrnoText(saved);
    return false;
  }
  if (Injected("rename") || ::rename(temporary.c_str(), target.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    error = failed + "cannot replace it with " + temporary.string() + ": " + ErrnoText(saved);
    return false;
  }
  // The rename itself reaches the disk with the folder.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return true;
}

template <class A>
void ApplyFields(const TFields<A>& fields, A& a, const TJson& edit) {
  ReadFields(fields, a, edit, TPlace{});
}

}  // namespace

std::string NormalisePath(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) return path;
  return absolute.lexically_normal().string();
}

std::unique_ptr<TDocument> LoadDocument(const std::string& path, std::string& error) {
  // Only a regular file is read: a folder would read as nothing and pass for an empty file, a FIFO would wait for a
  // writer and a device such as /dev/zero would never end.
  std::string text;
  if (!tolvex::standins::ReadRegularFile(path, path, tolvex::standins::kSchematicFileSizeLimit, text, error))
    return nullptr;
  auto document = std::make_unique<TDocument>();
  document->FileName = path;
  document->NormalisedName = NormalisePath(path);
  document->Library = tolvex::SameText(fs::path(path).extension().string(), ".SchLib");
  if (!ReadDocumentText(path, text, *document, error)) return nullptr;
  return document;
}

TJson DocumentToJson(const TDocument& document) {
  TJson out = document.Source;
  WriteList(out, "components", document.Components, [](const auto& c) { return ComponentToJson(*c); });
  if (document.Library) {
    const TComponent* first = document.Components.empty() ? nullptr : document.Components.front().get();
    if (!document.Current)
      out.erase("currentComponent");
    else if (out.contains("currentComponent") || document.Current != first)
      out["currentComponent"] = document.Current->C.LibraryReference;
  }
  return out;
}

bool SaveDocument(const TDocument& document, const std::string& path, std::string& error) {
  std::string text;
  try {
    const TJson json = DocumentToJson(document);
    // Texts cross from the plug-in as bytes; the file holds UTF-8, so a text that is not UTF-8 stops the save
    // before anything is written rather than reaching the file altered.
    if (const std::string where = FindInvalidText(json, ""); !where.empty()) {
      error = "cannot save " + path + ": " + where + ": the text is not valid UTF-8";
      return false;
    }
    text = Format(json) + "\n";
  } catch (const std::exception& e) {
    error = "cannot save " + path + ": " + e.what();
    return false;
  }
  return AtomicWrite(path, text, error);
}

void SetSaveFailure(const std::string& stage) { SaveFailureStage = stage; }

bool ApplyEdit(THandle handle, const TJson& edit, std::string& error) {
  if (!edit.is_object()) {
    error = "an edit is a JSON object";
    return false;
  }
  const auto unknown = [&](auto&&... tables) -> std::string {
    for (auto it = edit.begin(); it != edit.end(); ++it)
      if (!(HasField(tables, it.key()) || ...)) return it.key();
    return {};
  };
  try {
    std::string bad;
    if (TComponent* component = Find<TComponent>(handle)) {
      if (bad = unknown(GrafFields(), ComponentFields()); bad.empty()) {
        TGrafAttributes g = component->G;
        TComponentAttributes c = component->C;
        ApplyFields(GrafFields(), g, edit);
        ApplyFields(ComponentFields(), c, edit);
        CheckPartCount(c.PartCount, TPlace{});
        component->G = g;
        component->C = c;
      }
    } else if (TPin* pin = Find<TPin>(handle)) {
      if (bad = unknown(GrafFields(), PinFields()); bad.empty()) {
        TGrafAttributes g = pin->G;
        TPinAttributes p = pin->P;
        ApplyFields(GrafFields(), g, edit);
        ApplyFields(PinFields(), p, edit);
        pin->G = g;
        pin->P = p;
      }
    } else if (TParameter* parameter = Find<TParameter>(handle)) {
      if (bad = unknown(GrafFields(), ParameterFields()); bad.empty()) {
        TGrafAttributes g = parameter->G;
        TParameterAttributes r = parameter->R;
        ApplyFields(GrafFields(), g, edit);
        ApplyFields(ParameterFields(), r, edit);
        parameter->G = g;
        parameter->R = r;
      }
    } else if (TImplementation* implementation = Find<TImplementation>(handle)) {
      if (bad = unknown(ImplementationFields()); bad.empty()) {
        TImplementationAttributes i = implementation->I;
        ApplyFields(ImplementationFields(), i, edit);
        implementation->I = i;
      }
    } else {
      error = "the object cannot be edited";
      return false;
    }
    if (!bad.empty()) {
      error = "the object has no member " + bad;
      return false;
    }
  } catch (const EFileError& e) {
    error = e.what();
    return false;
  }
  return true;
}

}  // namespace pravik
