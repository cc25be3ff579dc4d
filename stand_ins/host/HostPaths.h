// Path rules of the stand-in host and its small virtual file system.
#pragma once

#include <string>

namespace tolvex::host {

// Names that start with this prefix are virtual; they live below the VFS root on disk.
inline constexpr const char* kVfsPrefix = "vfs://";

void SetVfsRoot(const std::string& folder);
bool IsVirtualPath(const std::string& path);
// The path on disk of Path: itself unless it is virtual.
std::string ExternalPath(const std::string& path);

// From the last "." of the name part, dot included; empty without one.
std::string PathExtension(const std::string& path);
std::string PathFileName(const std::string& path);
// The folder without a trailing separator; empty for a bare name.
std::string PathFolder(const std::string& path);
// Path with its extension replaced by "." + Extension (appended when it has none).
std::string ForceExtension(const std::string& path, const std::string& extensionWithoutDot);

}  // namespace tolvex::host
