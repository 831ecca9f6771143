// Feeds arbitrary bytes to the scene document reader as a single-file document whose arrays
// live in a binary buffer: the chunk walk, the buffer's declaration and every array read out
// of it must answer with a result, never crash, hang or read out of bounds. A successful load
// is saved in the same form and read back, and must give the same file again.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/file_io.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"

namespace {

namespace wb = vorlan::workbench;

// A private folder for the files of this process, in memory where the machine has it.
std::string Folder() {
  std::string base = vorlan::support::FileExists("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string dir = base + "/vorlan_fuzz_container_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The real material reader: documents carry every material kind the workbench knows.
  static const wb::MaterialCodec codec = wb::MaterialDocumentCodec();
  static const std::string dir = Folder();
  // A threshold of one puts every array of the resaved scene into the buffer.
  const wb::DocumentOptions options{.materials = &codec, .bufferThreshold = 1};
  const std::string in = dir + "/in.vscb", out = dir + "/out.vscb", again = dir + "/again.vscb";
  if (!vorlan::support::WriteFileAtomic(in, std::vector<uint8_t>(data, data + size))) return 0;

  wb::Scene scene;
  if (!wb::LoadSceneDocument(in, scene, options).ok) return 0;
  if (!wb::SaveSceneDocument(scene, out, options).ok) return 0;
  wb::Scene second;
  // What the writer wrote, the reader must take; and it must write the same bytes again.
  if (!wb::LoadSceneDocument(out, second, options).ok) __builtin_trap();
  if (!wb::SaveSceneDocument(second, again, options).ok) __builtin_trap();
  std::vector<uint8_t> a, b;
  if (!vorlan::support::ReadWholeFile(out, a) || !vorlan::support::ReadWholeFile(again, b) || a != b)
    __builtin_trap();
  return 0;
}
