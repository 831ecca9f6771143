#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "command.h"
#include "support/file_io.h"
#include "zef/inspect.h"
#include "zef/reader.h"
#include "zef_json.h"

namespace vorlan::cli {

namespace {

struct InspectOptions {
  std::string file;
  bool json = false;
};

int RunInspect(Context& ctx, const InspectOptions& o) {
  std::vector<uint8_t> bytes;
  if (auto r = support::ReadWholeFile(o.file, bytes); !r) return ctx.Fail(r.error);
  if (o.json)
    // Names in files need not be UTF-8: such bytes are replaced rather than refused.
    ctx.Out() << ZefTreeJson(bytes).dump(1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  else
    ctx.Out() << zef::InspectZef(bytes);
  // The tree is printed as far as it goes; a damaged file still fails, so scripts notice.
  zef::ZefFile parsed;
  zef::ZefResult result = zef::ParseZef(bytes, parsed);
  if (result != zef::ZefResult::kSuccess)
    return ctx.Fail("\"" + o.file + "\" is damaged: " + zef::ToString(result));
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<InspectOptions>();
  app.add_option("file", o->file, "The .zef file")->required();
  app.add_flag("--json", o->json, "Print the block tree as JSON");
  return [o](Context& ctx) { return RunInspect(ctx, *o); };
}

const CommandRegistration registration{
    {"inspect", "Print the block tree of a .zef file", Setup, ".zef", "the block tree, on standard output"}};

}  // namespace

}  // namespace vorlan::cli
