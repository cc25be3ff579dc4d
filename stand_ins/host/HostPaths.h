// Path rules of the stand-in host and its small virtual file system.
#pragma once

#include <optional>
#include <string>

namespace tolvex::host {

// Names that start with this prefix are virtual; they live below the VFS root on disk.
inline constexpr const char* kVfsPrefix = "vfs://";

void SetVfsRoot(const std::string& folder);
bool IsVirtualPath(const std::string& path);
// The file on disk of Path: Path itself unless it is virtual. A virtual name is taken apart at its slashes, empty
// and "." parts dropped, and put below the VFS root; a name with a ".." part, one that names the root itself, and
// one that leaves the root through a link below it have no file (nullopt). Every export that takes a name goes
// through here.
std::optional<std::string> DiskPath(const std::string& path);
// DiskPath, or an empty text for a virtual name that has no file.
std::string ExternalPath(const std::string& path);

// From the last "." of the name part, dot included; empty without one.
std::string PathExtension(const std::string& path);
std::string PathFileName(const std::string& path);
// The folder without a trailing separator; empty for a bare name.
std::string PathFolder(const std::string& path);
// Path with its extension replaced by "." + Extension (appended when it has none).
std::string ForceExtension(const std::string& path, const std::string& extensionWithoutDot);

}  // namespace tolvex::host
