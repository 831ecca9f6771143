#include "kitexport/zef_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <set>
#include <utility>

namespace vorlan::kitexport {

namespace {

struct Entry {
  std::string name;
  bool isDir = false;
};

// The folder's entries in the order the file system lists them; false when the folder
// cannot be listed.
bool ListFolder(const std::string& nativeDir, std::vector<Entry>& entries) {
  DIR* dir = ::opendir(nativeDir.c_str());
  if (!dir) return false;
  while (dirent* e = ::readdir(dir)) {
    Entry entry{e->d_name, e->d_type == DT_DIR};
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st {};
      std::string full = nativeDir + "/" + entry.name;
      entry.isDir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  return true;
}

using Visited = std::set<std::pair<dev_t, ino_t>>;

void Search(const std::string& hostDir, const std::string& name, const PathMapper& toNative, Visited& visited,
            std::vector<std::string>& matches) {
  // An empty folder is the current one, as a search pattern without a folder would be.
  std::string nativeDir = hostDir.empty() ? "." : toNative(hostDir);
  struct stat st {};
  if (::stat(nativeDir.c_str(), &st) != 0 || !visited.insert({st.st_dev, st.st_ino}).second) return;
  std::vector<Entry> entries;
  if (!ListFolder(nativeDir, entries)) return;
  for (const Entry& e : entries)
    if (!e.isDir && EqualsNoCase(e.name, name)) matches.push_back(hostDir + e.name);
  for (const Entry& e : entries)
    if (e.isDir && !e.name.empty() && e.name[0] != '.')
      Search(hostDir + e.name + "\\", name, toNative, visited, matches);
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::vector<std::string> FindFilesNoCase(const std::string& hostDir, const std::string& name,
                                         const PathMapper& toNative) {
  std::vector<std::string> matches;
  Visited visited;
  Search(hostDir, name, toNative, visited, matches);
  return matches;
}

}  // namespace vorlan::kitexport
