// Finding a texture file that a material record names only by its file name.
//
// The automatic search looks beside the .zef file and in the "tex" folders around it. The
// folder search walks whole folder trees on a worker thread of its own while the texture
// dialog waits; the candidates it finds are kept in a locked list that the dialog reads
// only through a snapshot.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vorlan::zefimport {

// Whether a file name on disk is the texture's name: byte for byte, or without regard to
// ASCII case when the user asked for it.
bool NameMatches(const std::string& onDisk, const std::string& wanted, bool caseInsensitive);

// The texture's name as it can be searched for: the part after the last '\' or '/';
// empty for names that cannot be a file ("", ".", "..").
std::string SearchableName(const std::string& stored);

// Candidates of the automatic search, in the order found: the file in the .zef file's
// folder; else in its "tex" subfolder; else every match in the "tex" folder of the parent
// folder and all its subfolders.
std::vector<std::string> AutomaticSearch(const std::string& zefPath, const std::string& name,
                                         bool caseInsensitive);

// The importer's engine settings file: the text after the first '=' that follows each key,
// to the end of its line; a missing key gives an empty value.
struct EnginePaths {
  std::string enginePath;
  std::string texturesPath;  // as written
  // TexturesPath, prefixed with EnginePath (as it is, no separator added) when it is
  // relative, i.e. when its second character is not ':'.
  std::string TexturesFolder() const;
};
EnginePaths ParseEnginePaths(const std::string& text);
EnginePaths ReadEnginePaths(const std::string& iniPath);

// A list one thread appends to while another reads copies of it.
class CandidateList {
 public:
  void Add(std::string path);
  void Clear();
  std::vector<std::string> Snapshot() const;
  std::size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> items_;
};

// One folder search at a time on a worker thread. The running flag is set before the
// thread starts and cleared by Stop or by the thread when it ends; the search looks at it
// at every folder level.
class FolderSearch {
 public:
  using StatusFn = std::function<void(const std::string& folder)>;

  ~FolderSearch();
  // Searches the folders in turn, each with all its subfolders, until one of them gives at
  // least one candidate. The folder names are copied for the thread.
  void Start(std::vector<std::string> folders, std::string name, bool caseInsensitive, StatusFn status = {});
  void Stop() { running_ = false; }
  // Waits for the thread; returns at once when none runs.
  void Wait();
  bool Running() const { return running_; }
  CandidateList& Candidates() { return list_; }

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
  CandidateList list_;
};

// Searches one folder tree synchronously: at each level the files first, in name order,
// then the subfolders whose names do not start with '.'. `running` is checked at every
// level; `status` hears each folder entered.
void SearchTree(const std::string& folder, const std::string& name, bool caseInsensitive,
                const std::atomic<bool>& running, CandidateList& out, const FolderSearch::StatusFn& status);

}  // namespace vorlan::zefimport
