#include "tools/output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace korv::tools {

bool output_writable(const std::string &path, std::string &error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (path.empty()) {
    error = "no file to write given";
    return false;
  }
  if (fs::is_directory(path, ec)) {
    error = path + ": cannot be written (a folder)";
    return false;
  }
  const bool exists = fs::exists(path, ec);
  std::string folder = fs::path(path).parent_path().string();
  if (folder.empty()) {
    folder = ".";
  }
  // An existing file (a device such as /dev/null among them) is written in
  // place; a new one needs a folder it may be made in.
  const std::string &checked = exists ? path : folder;
  if (access(checked.c_str(), W_OK) != 0) {
    error =
        path + ": cannot be written (" + (exists ? "" : folder + ": ") + std::strerror(errno) + ")";
    return false;
  }
  return true;
}

}  // namespace korv::tools
