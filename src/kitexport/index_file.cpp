#include "kitexport/index_file.h"

#include "kitexport/kit_paths.h"

namespace vorlan::kitexport {

void IndexFile::AddSection(const std::string& eqpFullPath, const std::vector<std::string>& zefMatches) {
  if (zefMatches.empty()) return;
  text_ += "[" + std::to_string(counter_) + "]\r\n";
  std::string zef = RelativeToEngine(zefMatches.front(), enginePath_);
  if (zefMatches.size() == 1)
    text_ += "zefFile = " + DoubleBackslashes(zef) + "\r\n";
  else
    text_ += zef + "\r\n";
  text_ += "eqpFile = " + DoubleBackslashes(RelativeToEngine(eqpFullPath, enginePath_)) + "\r\n\r\n";
  ++counter_;
}

}  // namespace vorlan::kitexport
