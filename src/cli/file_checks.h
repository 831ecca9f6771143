// Every reader and structural check we have, by file extension: what `vorlan validate` runs
// on each file, and what export and convert run on the file they have just written, so that
// an output that would not read back is reported as a failure.
//
// A new file format adds one row to the table in file_checks.cpp: its extension and a
// function that reads the bytes with the format's own reader and lists what is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorlan::cli {

struct FileCheck {
  bool known = false;                 // some check reads this extension
  bool readable = true;               // the file itself could be read
  std::vector<std::string> problems;  // one line each, with the offset or path where there is one
  // What the reader counted in the file, in the order a report lists it (a .zef's "nodes",
  // "triangles", "vertices", "materialRecords"); filled only when CheckFile is asked to count.
  std::vector<std::pair<std::string, uint64_t>> counts;
  bool Ok() const { return known && readable && problems.empty(); }
};

// `count`: also fill `counts`, for a report, from the same reading (it costs a walk over the
// file's contents that the check alone does not need).
FileCheck CheckFile(const std::string& path, bool count = false);

// "., .vscene, .zef" for messages and `vorlan formats`.
std::string CheckedExtensions();

}  // namespace vorlan::cli
