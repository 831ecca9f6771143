// Feeds arbitrary bytes to the scene document reader as a document with its buffer in a file
// beside it: the input is a little-endian u32 length, that many bytes of JSON (written as
// "in.vscene") and the rest as its "in.vbin". The buffer file's header, its id and length
// against the JSON's declaration, and every array read out of it must answer with a result,
// never crash, hang or read out of bounds. A successful load is saved in the same form and
// read back, and must give the same JSON and buffer again (the buffer's id aside, which every
// save draws anew).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/bytes.h"
#include "support/file_io.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"

namespace {

namespace wb = vorlan::workbench;

// A private folder for the files of this process, in memory where the machine has it.
std::string Folder() {
  std::string base = vorlan::support::FileExists("/dev/shm") ? "/dev/shm" : "/tmp";
  std::string dir = base + "/vorlan_fuzz_split_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  return dir;
}

// The bytes of a saved pair with the id taken out of both, so that two saves compare.
std::vector<uint8_t> WithoutId(const std::string& document, const std::string& buffer) {
  std::vector<uint8_t> json, bin;
  if (!vorlan::support::ReadWholeFile(document, json)) __builtin_trap();
  if (vorlan::support::FileExists(buffer)) {
    if (!vorlan::support::ReadWholeFile(buffer, bin) || bin.size() < 32) __builtin_trap();
    std::fill(bin.begin() + 16, bin.begin() + 32, 0);
  }
  const std::string key = "\"id\": \"";
  auto at = std::search(json.begin(), json.end(), key.begin(), key.end());
  if (at != json.end())
    json.erase(at, std::min(json.end(), at + static_cast<std::ptrdiff_t>(key.size() + 32)));
  json.insert(json.end(), bin.begin(), bin.end());
  return json;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The real material reader: documents carry every material kind the workbench knows.
  static const wb::MaterialCodec codec = wb::MaterialDocumentCodec();
  static const std::string dir = Folder();
  // A threshold of one puts every array of the resaved scene into the buffer.
  const wb::DocumentOptions options{.materials = &codec, .bufferThreshold = 1};
  if (size < 4) return 0;
  const std::size_t jsonLength = std::min<std::size_t>(vorlan::support::LoadU32(data), size - 4);
  const uint8_t* json = data + 4;
  const std::string in = dir + "/in.vscene", out = dir + "/out.vscene";
  if (!vorlan::support::WriteFileAtomic(in, std::vector<uint8_t>(json, json + jsonLength)) ||
      !vorlan::support::WriteFileAtomic(dir + "/in.vbin",
                                        std::vector<uint8_t>(json + jsonLength, data + size)))
    return 0;

  wb::Scene scene;
  if (!wb::LoadSceneDocument(in, scene, options).ok) return 0;
  // Both saves go to one path, so that the buffer's name in the JSON and every path stored
  // relative to the document's folder are the same.
  const std::string outBin = dir + "/out.vbin";
  ::unlink(outBin.c_str());
  if (!wb::SaveSceneDocument(scene, out, options).ok) return 0;
  const std::vector<uint8_t> first = WithoutId(out, outBin);
  wb::Scene second;
  // What the writer wrote, the reader must take; and it must write the same again.
  if (!wb::LoadSceneDocument(out, second, options).ok) __builtin_trap();
  ::unlink(outBin.c_str());
  if (!wb::SaveSceneDocument(second, out, options).ok) __builtin_trap();
  if (WithoutId(out, outBin) != first) __builtin_trap();
  return 0;
}
