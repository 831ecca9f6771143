// The scene exporter's settings file (MaxExport.cfg) from any bytes: reading it ends with a
// status, never a crash, and settings that were read are saved and read back unchanged.
#include "zefexport/export_config.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "support/file_io.h"

namespace {

struct Folder {
  Folder() {
    char tmpl[] = "/tmp/vorlan_fuzz_config_XXXXXX";
    if (::mkdtemp(tmpl)) dir = tmpl;
  }
  ~Folder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string dir;
};

bool Same(const vorlan::zefexport::ExportOptions& a, const vorlan::zefexport::ExportOptions& b) {
  return a.smoothWholeScene == b.smoothWholeScene && a.resmoothSingleObjects == b.resmoothSingleObjects &&
         a.distinguishLODs == b.distinguishLODs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace vorlan;
  static Folder folder;
  if (folder.dir.empty()) return 0;
  const std::string path = folder.dir + "/" + zefexport::kConfigFileName;
  if (!support::WriteFileAtomic(path, std::span<const uint8_t>(data, size))) return 0;

  zefexport::ExportOptions read;
  zefexport::ConfigStatus status = zefexport::LoadConfig(path, read);
  const bool newer = size >= 4 && (data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24) >= 2;
  if ((status == zefexport::ConfigStatus::NewerFormat) != newer) __builtin_trap();
  if (status != zefexport::ConfigStatus::Ok) return 0;

  if (!zefexport::SaveConfig(path, read)) __builtin_trap();
  zefexport::ExportOptions again;
  again.smoothWholeScene = !read.smoothWholeScene;  // the file, not the defaults, must decide
  again.resmoothSingleObjects = !read.resmoothSingleObjects;
  again.distinguishLODs = !read.distinguishLODs;
  if (zefexport::LoadConfig(path, again) != zefexport::ConfigStatus::Ok || !Same(read, again))
    __builtin_trap();
  return 0;
}
