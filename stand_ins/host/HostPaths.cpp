// Path rules of the stand-in host.
#include "HostPaths.h"

#include <cstring>

namespace tolvex::host {

namespace {
std::string VfsRoot = "/tmp";

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}
}  // namespace

void SetVfsRoot(const std::string& folder) { VfsRoot = folder; }

bool IsVirtualPath(const std::string& path) { return path.rfind(kVfsPrefix, 0) == 0; }

std::string ExternalPath(const std::string& path) {
  if (!IsVirtualPath(path)) return path;
  return VfsRoot + "/" + path.substr(std::strlen(kVfsPrefix));
}

std::string PathExtension(const std::string& path) {
  const std::size_t start = NameStart(path);
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < start) return {};
  return path.substr(dot);
}

std::string PathFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string PathFolder(const std::string& path) {
  const std::size_t start = NameStart(path);
  if (start == 0) return {};
  if (start == 1) return "/";
  return path.substr(0, start - 1);
}

std::string ForceExtension(const std::string& path, const std::string& extensionWithoutDot) {
  const std::string ext = PathExtension(path);
  return path.substr(0, path.size() - ext.size()) + "." + extensionWithoutDot;
}

}  // namespace tolvex::host
