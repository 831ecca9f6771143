// The index file of one run: a section per equipment file whose model was found, pairing
// the two by paths relative to the engine's data root.
//
//   [0]\r\n
//   zefFile = G\\Objects\\sword.zef\r\n
//   eqpFile = G\\Equipments\\sword.eqp\r\n\r\n
//
// When several models of the name exist, the engine's reader takes the first one, written
// as a line of its own without a key and with single backslashes; the format keeps that
// line as it is, since readers of existing index files rely on it.
#pragma once

#include <string>
#include <vector>

namespace vorlan::kitexport {

class IndexFile {
 public:
  explicit IndexFile(std::string enginePath) : enginePath_(std::move(enginePath)) {}

  // Appends the next section for an equipment file and its model matches (full host paths,
  // in the order found). Nothing is added without a match.
  void AddSection(const std::string& eqpFullPath, const std::vector<std::string>& zefMatches);

  const std::string& Text() const { return text_; }
  int Sections() const { return counter_; }

 private:
  std::string enginePath_;
  std::string text_;
  int counter_ = 0;
};

}  // namespace vorlan::kitexport
