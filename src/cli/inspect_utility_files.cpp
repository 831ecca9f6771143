#include "inspect_utility_files.h"

#include <ostream>

#include "kitexport/eqp_file.h"
#include "skintools/skd_file.h"
#include "support/bytes.h"

namespace vorlan::cli {

bool IsUtilityFile(const std::string& ext) { return ext == "skd" || ext == "eqp"; }

int InspectUtilityFile(Context& ctx, const std::string& path, const std::string& ext,
                       const std::vector<uint8_t>& bytes) {
  if (ext == "eqp") {
    std::string why;
    auto eqp = kitexport::DecodeEqp(bytes, &why);
    if (!eqp) return ctx.Fail("\"" + path + "\" is damaged: " + why);
    ctx.Out() << kitexport::DescribeEqp(*eqp);
    return kExitOk;
  }
  skintools::SkdData data;
  if (skintools::DecodeSkd(bytes, data) != skintools::SkdStatus::Ok)
    return ctx.Fail("\"" + path + "\" is refused: Incorrect version of skd file.");
  std::size_t claimed = support::ByteReader(bytes).PeekU32(8).value_or(0);
  ctx.Out() << skintools::DescribeSkd(data, claimed);
  if (data.records.size() != claimed) return ctx.Fail("\"" + path + "\" ends before its last record");
  return kExitOk;
}

}  // namespace vorlan::cli
