// Path rules of the stand-in host.
#include "HostPaths.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace tolvex::host {

namespace {
namespace fs = std::filesystem;

std::string VfsRoot = "/tmp";

std::size_t NameStart(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}
}  // namespace

void SetVfsRoot(const std::string& folder) { VfsRoot = folder; }

bool IsVirtualPath(const std::string& path) { return path.rfind(kVfsPrefix, 0) == 0; }

std::optional<std::string> DiskPath(const std::string& path) {
  if (!IsVirtualPath(path)) return path;
  // Lexically first: the name's own parts, none of which may climb out.
  const std::string name = path.substr(std::strlen(kVfsPrefix));
  std::string relative;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    const std::string part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") relative += (relative.empty() ? "" : "/") + part;
    start = end + 1;
  }
  if (relative.empty()) return std::nullopt;
  const std::string disk = VfsRoot + "/" + relative;
  // Then on disk: a link below the root may point anywhere, and what the name reaches must still be below it.
  std::error_code error;
  std::string root = fs::weakly_canonical(fs::path(VfsRoot), error).string();
  if (error) return std::nullopt;
  const std::string reached = fs::weakly_canonical(fs::path(disk), error).string();
  if (error) return std::nullopt;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::string inside = root == "/" ? root : root + "/";
  if (reached.size() <= inside.size() || reached.compare(0, inside.size(), inside) != 0) return std::nullopt;
  return disk;
}

std::string ExternalPath(const std::string& path) { return DiskPath(path).value_or(std::string()); }

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
