#include "zefimport/texture_search.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "support/file_io.h"

namespace vorlan::zefimport {

namespace fs = std::filesystem;

namespace {

// Deeper folder trees are not followed; real texture libraries are far shallower.
constexpr int kMaxSearchDepth = 64;

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Entries of a folder, sorted by name so that every search finds candidates in the same
// order; symbolic links to folders are left out so that a loop of links cannot trap it.
void ListFolder(const std::string& folder, std::vector<std::string>& files,
                std::vector<std::string>& folders) {
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  if (ec) return;
  for (const fs::directory_entry& e : it) {
    std::string name = e.path().filename().string();
    std::error_code se;
    if (e.is_symlink(se)) {
      if (e.is_regular_file(se)) files.push_back(name);
    } else if (e.is_directory(se)) {
      if (!name.empty() && name[0] != '.') folders.push_back(name);
    } else if (e.is_regular_file(se)) {
      files.push_back(name);
    }
  }
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
}

void SearchTreeAt(const std::string& folder, const std::string& name, bool ci,
                  const std::atomic<bool>& running, CandidateList& out, const FolderSearch::StatusFn& status,
                  int depth) {
  if (!running || depth > kMaxSearchDepth) return;
  if (status) status(folder);
  std::vector<std::string> files, folders;
  ListFolder(folder, files, folders);
  for (const std::string& f : files)
    if (NameMatches(f, name, ci)) out.Add(folder + "/" + f);
  for (const std::string& d : folders)
    SearchTreeAt(folder + "/" + d, name, ci, running, out, status, depth + 1);
}

// The files of one folder (no subfolders) that match.
void SearchFolder(const std::string& folder, const std::string& name, bool ci,
                  std::vector<std::string>& out) {
  if (!ci) {
    std::string path = folder + "/" + name;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) out.push_back(path);
    return;
  }
  std::vector<std::string> files, folders;
  ListFolder(folder, files, folders);
  for (const std::string& f : files)
    if (NameMatches(f, name, true)) out.push_back(folder + "/" + f);
}

std::string ParentFolder(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool NameMatches(const std::string& onDisk, const std::string& wanted, bool caseInsensitive) {
  if (onDisk.size() != wanted.size()) return false;
  if (!caseInsensitive) return onDisk == wanted;
  for (std::size_t i = 0; i < onDisk.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(onDisk[i])) !=
        std::tolower(static_cast<unsigned char>(wanted[i])))
      return false;
  return true;
}

std::string SearchableName(const std::string& stored) {
  std::string name = support::FileNamePart(stored);
  if (name == "." || name == "..") return {};
  return name;
}

std::vector<std::string> AutomaticSearch(const std::string& zefPath, const std::string& name, bool ci) {
  std::vector<std::string> out;
  if (name.empty()) return out;
  const std::string folder = ParentFolder(support::NativePath(zefPath));
  SearchFolder(folder, name, ci, out);
  if (!out.empty()) return out;
  SearchFolder(folder + "/tex", name, ci, out);
  if (!out.empty()) return out;
  const std::string parentTex = ParentFolder(folder) + "/tex";
  if (!IsDirectory(parentTex)) return out;
  std::atomic<bool> running{true};
  CandidateList list;
  SearchTree(parentTex, name, ci, running, list, {});
  return list.Snapshot();
}

std::string EnginePaths::TexturesFolder() const {
  if (texturesPath.size() >= 2 && texturesPath[1] == ':') return texturesPath;
  return enginePath + texturesPath;
}

EnginePaths ParseEnginePaths(const std::string& text) {
  auto value = [&](const std::string& key) {
    std::size_t k = text.find(key);
    if (k == std::string::npos) return std::string();
    std::size_t eq = text.find('=', k + key.size());
    if (eq == std::string::npos) return std::string();
    std::size_t end = text.find_first_of("\r\n", eq + 1);
    return text.substr(eq + 1, end == std::string::npos ? std::string::npos : end - eq - 1);
  };
  return {value("EnginePath"), value("TexturesPath")};
}

EnginePaths ReadEnginePaths(const std::string& iniPath) {
  std::vector<uint8_t> bytes;
  if (!support::ReadWholeFile(iniPath, bytes, 1 << 20)) return {};
  return ParseEnginePaths(std::string(bytes.begin(), bytes.end()));
}

void CandidateList::Add(std::string path) {
  std::lock_guard lock(mutex_);
  items_.push_back(std::move(path));
}

void CandidateList::Clear() {
  std::lock_guard lock(mutex_);
  items_.clear();
}

std::vector<std::string> CandidateList::Snapshot() const {
  std::lock_guard lock(mutex_);
  return items_;
}

std::size_t CandidateList::Size() const {
  std::lock_guard lock(mutex_);
  return items_.size();
}

void SearchTree(const std::string& folder, const std::string& name, bool ci, const std::atomic<bool>& running,
                CandidateList& out, const FolderSearch::StatusFn& status) {
  SearchTreeAt(folder, name, ci, running, out, status, 0);
}

FolderSearch::~FolderSearch() {
  Stop();
  Wait();
}

void FolderSearch::Start(std::vector<std::string> folders, std::string name, bool ci, StatusFn status) {
  Stop();
  Wait();
  list_.Clear();
  running_ = true;
  thread_ = std::thread(
      [this, folders = std::move(folders), name = std::move(name), ci, status = std::move(status)] {
        for (const std::string& folder : folders) {
          if (!running_ || list_.Size() > 0) break;
          if (!folder.empty()) SearchTree(folder, name, ci, running_, list_, status);
        }
        running_ = false;
      });
}

void FolderSearch::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace vorlan::zefimport
