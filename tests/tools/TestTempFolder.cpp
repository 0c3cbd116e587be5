#include "TestTempFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TestTempFolder::TestTempFolder() {
  std::string tmpl = (fs::temp_directory_path() / "objtools-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  fPath = tmpl + "/";
}

TestTempFolder::~TestTempFolder() {
  std::error_code ec;
  // Read-only files and folders must become writable before they can be removed.
  for (auto it = fs::recursive_directory_iterator(fPath, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(fPath, ec);
}

std::string TestTempFolder::WriteFile(const std::string& name, const std::string& bytes) const {
  std::string full = fPath + name;
  fs::path parent = fs::path(full).parent_path();
  std::error_code ec;
  fs::create_directories(parent, ec);
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return full;
}

std::string TestTempFolder::WriteFile(const std::string& name,
                                      const std::vector<uint8_t>& bytes) const {
  return WriteFile(name, std::string(bytes.begin(), bytes.end()));
}

std::string TestTempFolder::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::string TestTempFolder::MakeFolder(const std::string& name) const {
  std::string full = fPath + name;
  std::error_code ec;
  fs::create_directories(full, ec);
  if (full.back() != '/') full += '/';
  return full;
}
