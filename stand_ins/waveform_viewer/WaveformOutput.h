// Where the viewer writes a window's waveform file and plots, what it names them, and how it names
// an x axis the engine never describes.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tolvex::ondulix {

// The waveform documents ("SimData") the host has opened, the most recent last.
class TOpenedDocuments {
 public:
  // Enough for any session; the oldest are forgotten first.
  static constexpr std::size_t kMaxRemembered = 64;

  // Path is the document's path on disk; opening it again makes it the most recent.
  void Opened(std::string_view path);
  // Where the waveforms of a window called DocumentName go: the most recently opened document
  // whose file stem equals the name (letter case ignored; a folder or an ".sdf" ending in the
  // name is ignored), else the one opened last, else <name>.sdf in the current folder
  // ("untitled.sdf" for an empty name), its name made safe for a file.
  std::string PathFor(std::string_view documentName) const;
  const std::vector<std::string>& Paths() const { return FPaths; }

 private:
  std::vector<std::string> FPaths;
};

// The part after the last "/" or "\" (both count, so that a Windows path splits right anywhere).
std::string_view FileNamePart(std::string_view path);
// The file name without its extension (from its last ".").
std::string FileStem(std::string_view path);
// Everything up to and including the last separator; empty for a bare name.
std::string FolderPart(std::string_view path);

// Text made fit to be part of a file name anywhere: letters, digits, "-", "_", "." and "+" stay,
// every other byte becomes "_"; cut to 64 characters.
std::string FileNameSafe(std::string_view text);

// The plot of each chart beside the waveform file: <folder><stem>_<chart>.svg with the chart's
// name made safe ("chart<N>" for an empty one, N counting charts from 1); a name met before
// (letter case ignored) gets "_2", "_3", ... so that no chart overwrites another's plot.
std::vector<std::string> PlotPathsFor(std::string_view waveformPath, const std::vector<std::string>& chartNames);

struct TXAxisName {
  std::string Name;
  std::string Unit;
};
// From the words of the chart's name: "tran"/"transient" is time in s; "ac", "noise" or
// "frequency" (and, failing any word, complex points) is frequency in Hz; "dc" is a sweep.
TXAxisName NameXAxis(std::string_view chartName, bool complex);

// Writes Path through a temporary file beside it that replaces Path only once complete, so that
// a reader never sees half a file. The temporary file is created afresh under a name of its own
// ("<file>.<six characters>.part"), never through a link or a file someone else left there, and
// renaming it into place replaces a link at Path instead of writing through it. False when
// anything failed, every write, flush, sync and close included; the temporary file is then gone,
// whatever was at Path is untouched, and Error (when given) says which file and why:
// "Cannot write /w/amp.sdf: No space left on device".
bool WriteFileReplacing(const std::string& path, const std::function<bool(std::ostream&)>& write,
                        std::string* error = nullptr);

}  // namespace tolvex::ondulix
