// Every reader and structural check we have, by file extension: what `vorlan validate` runs
// on each file, and what export and convert run on the file they have just written, so that
// an output that would not read back is reported as a failure.
//
// A new file format adds one row to the table in file_checks.cpp: its extension and a
// function that reads the bytes with the format's own reader and lists what is wrong.
#pragma once

#include <string>
#include <vector>

namespace vorlan::cli {

struct FileCheck {
  bool known = false;                 // some check reads this extension
  bool readable = true;               // the file itself could be read
  std::vector<std::string> problems;  // one line each, with the offset or path where there is one
  bool Ok() const { return known && readable && problems.empty(); }
};

FileCheck CheckFile(const std::string& path);

// "., .vscene, .zef" for messages and `vorlan formats`.
std::string CheckedExtensions();

}  // namespace vorlan::cli
