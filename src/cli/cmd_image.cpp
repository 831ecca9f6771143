// `vorlan image info|convert`: the texture pictures Mapwright reads and writes.
#include <CLI/CLI.hpp>
#include <memory>

#include "command.h"
#include "mapwright/image_files.h"
#include "output_safety.h"
#include "scene_loading.h"
#include "support/file_io.h"

namespace vorlan::cli {

namespace {

struct ImageOptions {
  std::string in;
  std::string out;
};

int RunInfo(Context& ctx, const ImageOptions& o) {
  std::string error;
  std::optional<mapwright::Image> image = mapwright::ReadImageFile(o.in, error);
  if (!image) return ctx.Fail(error);
  ctx.Say(o.in + ": " + std::to_string(image->width) + " x " + std::to_string(image->height) + ", 24-bit" +
          (image->HasAlpha() ? " with alpha" : "") + ", " + std::to_string(image->stride) + " bytes per row");
  return kExitOk;
}

int RunConvert(Context& ctx, const ImageOptions& o) {
  const std::string inputs[] = {o.in};
  if (auto problem = OutputIsAnInput(o.out, inputs)) return ctx.Fail(*problem);
  std::string error;
  std::optional<mapwright::Image> image = mapwright::ReadImageFile(o.in, error);
  if (!image) return ctx.Fail(error);
  std::optional<std::vector<uint8_t>> bytes = mapwright::EncodeImageFile(*image, o.out);
  if (!bytes) return ctx.Fail("\"" + o.out + "\": image convert writes .bmp or .tga files");
  if (LowerExtension(o.out) == "tga" && (image->width > 0xFFFF || image->height > 0xFFFF))
    return ctx.Fail("\"" + o.in + "\": too large for a .tga file");
  if (auto r = support::WriteFileAtomic(o.out, *bytes); !r) return ctx.Fail(r.error);
  ctx.Say("converted \"" + o.in + "\" to \"" + o.out + "\"");
  return kExitOk;
}

RunFunction Setup(CLI::App& app) {
  auto o = std::make_shared<ImageOptions>();
  app.require_subcommand(1);
  auto* info = app.add_subcommand("info", "Print a picture's size");
  info->add_option("file", o->in, "A .bmp or .tga file")->required();
  auto* convert = app.add_subcommand("convert", "Write a picture in the other format");
  convert->add_option("in", o->in, "A .bmp or .tga file")->required();
  convert->add_option("out", o->out, "Output: .bmp (24-bit) or .tga (32-bit with alpha)")->required();
  return [o, info](Context& ctx) { return *info ? RunInfo(ctx, *o) : RunConvert(ctx, *o); };
}

const CommandRegistration registration{
    {"image", "Print the size of a .bmp or .tga texture, or convert one to the other", Setup,
     ".bmp (24-bit), .tga (types 1, 2, 3, 9, 10, 11)", ".bmp (24-bit), .tga (32-bit)"}};

}  // namespace

}  // namespace vorlan::cli
