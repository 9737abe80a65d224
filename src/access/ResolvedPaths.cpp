#include "access/ResolvedPaths.h"

#include <vector>

namespace orvane {

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' && !IsSeparator(path[0]);
}

}  // namespace

std::string ResolvePath(const std::string& path) {
  if (!HasDriveLetter(path)) return path;

  std::vector<std::string> components;
  bool namesDirectory = true;  // "C:" alone is the root
  std::size_t pos = 2;
  while (pos < path.size()) {
    if (IsSeparator(path[pos])) {
      namesDirectory = true;
      ++pos;
      continue;
    }
    std::size_t end = pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string component = path.substr(pos, end - pos);
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      namesDirectory = true;
    } else if (component == ".") {
      namesDirectory = true;
    } else {
      components.push_back(component);
      namesDirectory = false;
    }
    pos = end;
  }

  std::string result = path.substr(0, 2) + "\\";
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i > 0) result += '\\';
    result += components[i];
  }
  if (namesDirectory && !components.empty()) result += '\\';
  return result;
}

std::string ResolveFilePath(const std::string& path) {
  std::string result = ResolvePath(path);
  // A drive root ("C:\") keeps its backslash; anything longer loses a trailing one.
  if (HasDriveLetter(result) && result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

std::string ResolveDirectoryPath(const std::string& path) {
  const std::string result = ResolvePath(path);
  return result.empty() ? result : WithBackslash(result);
}

std::string DirectoryPart(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\:");
  if (cut == std::string::npos) return "";
  return WithBackslash(path.substr(0, cut + 1));
}

std::string FileNamePart(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string WithBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

}  // namespace orvane
