// Export, import, export again: the second file must equal the first, byte for byte, apart
// from the fields a .zef cannot carry back into a scene. Each such field is listed below with
// its reason, and the comparison blanks exactly those fields in both files.
#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>

#include "import_fixture.h"
#include "interchange/import.h"
#include "interchange/test_files.h"
#include "workbench/materials_document.h"
#include "workbench/scene_document.h"
#include "zef/reader.h"

namespace vorlan::testing {
namespace {

namespace fs = std::filesystem;

// What an import cannot give back, and why. The comparison walks both block trees side by
// side and compares every block's own bytes exactly, except the fields listed here.
enum class Compare {
  kSkip,    // not compared
  kNear,    // floats within a few units in the last place (+0 and -0 alike)
  kBlock,   // the whole block, which may also be missing from the second file
  kAngles,  // XYZ Euler angles, compared as the rotations they make
};

struct Unrestorable {
  uint32_t blockId;   // 0: the file header
  uint32_t from, to;  // byte range of the block (to = 0: to the end of its own fields)
  Compare how;
  const char* field;
  const char* reason;
};

const std::vector<Unrestorable>& UnrestorableFields() {
  static const std::vector<Unrestorable> table{
      {0, 12, 16, Compare::kSkip, "header node count",
       "counts every node the export visited, also those it wrote no block for (collision objects, "
       "geometry without a mesh); those nodes are not in the file"},
      {zef::kInfo, 4, 8, Compare::kSkip, "Info size", "follows from the comment"},
      {zef::kInfo, 12, 16, Compare::kSkip, "Info comment length", "the comment is logged only"},
      {zef::kInfo, 84, 0, Compare::kSkip, "Info comment",
       "the importer only logs the Info block; a new export takes the comment from the scene's Note"},
      {zef::kNode, 4, 8, Compare::kSkip, "Node size", "follows from the blocks inside, compared one by one"},
      {zef::kGObj, 4, 8, Compare::kSkip, "GObj size", "follows from the blocks inside, compared one by one"},
      {zef::kPhysics, 0, 0, Compare::kBlock, "Physics block",
       "built from the node's collision children, which the file folds into this block instead of keeping "
       "them as nodes; the importer skips the block, and without those children a new export may write a "
       "different one or none"},
      {zef::kCamera, 24, 36, Compare::kAngles, "Camera angles",
       "rebuilt into a rotation matrix and taken apart again: the same rotation, not always the same three "
       "numbers (pi and -pi, say)"},
      {zef::kVertices, 0, 0, Compare::kNear, "vertex positions and normals",
       "normals come back as explicit normals that the exporter normalises (and smooths) again, and "
       "positions pass through the node's matrix and its inverse: the last bit may change"},
  };
  return table;
}

// Within 4 units in the last place, or 1e-6 apart (components that should be zero carry
// noise of any exponent).
bool NearFloat(uint32_t a, uint32_t b) {
  if (a == b) return true;
  const float x = std::bit_cast<float>(a), y = std::bit_cast<float>(b);
  if (std::fabs(x - y) <= 1e-6f) return true;
  return ((a ^ b) & 0x80000000) == 0 && (a > b ? a - b : b - a) <= 4;
}

// Compares the own bytes of two blocks of the same ID, by the table.
void CompareOwnBytes(std::span<const uint8_t> a, std::span<const uint8_t> b, uint32_t id,
                     const std::string& path) {
  std::vector<uint8_t> skip(std::max(a.size(), b.size()), 0);  // 1 skip, 2 near
  for (const Unrestorable& u : UnrestorableFields()) {
    if (u.blockId != id) continue;
    if (u.how == Compare::kAngles && a.size() >= u.from + 12 && b.size() >= u.from + 12) {
      auto rotation = [&](std::span<const uint8_t> x) {
        const uint8_t* p = x.data() + u.from;
        return host::Matrix3::RotationX(support::LoadF32(p)) *
               host::Matrix3::RotationY(support::LoadF32(p + 4)) *
               host::Matrix3::RotationZ(support::LoadF32(p + 8));
      };
      const host::Matrix3 ra = rotation(a), rb = rotation(b);
      for (int r = 0; r < 3; ++r)
        EXPECT_LT(host::Length(ra.GetRow(r) - rb.GetRow(r)), 1e-5f) << path << " rotation row " << r;
    }
    std::size_t to = u.to ? u.to : skip.size();
    for (std::size_t i = u.from; i < to && i < skip.size(); ++i) skip[i] = u.how == Compare::kNear ? 2 : 1;
  }
  if (id == zef::kVertices) {
    // Positions and normals only; texture pairs must come back exactly.
    std::fill(skip.begin(), skip.end(), 0);
    if (a.size() >= zef::kVerticesHeadSize) {
      const uint32_t stride = support::LoadU32(a.data() + 12);
      for (std::size_t v = zef::kVerticesHeadSize; stride >= 24 && v + 24 <= skip.size(); v += stride)
        std::fill(skip.begin() + static_cast<std::ptrdiff_t>(v),
                  skip.begin() + static_cast<std::ptrdiff_t>(v + 24), 2);
    }
  }
  if (a.size() != b.size()) {
    bool sizeSkipped = a.size() > zef::kInfoFixedSize && id == zef::kInfo;
    if (!sizeSkipped) ADD_FAILURE() << path << ": " << a.size() << " bytes of its own against " << b.size();
  }
  int reported = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()) && reported < 3; ++i) {
    if (skip[i] == 1) continue;
    if (skip[i] == 2) {
      if (i % 4 == 0 && i + 4 <= std::min(a.size(), b.size()) &&
          !NearFloat(support::LoadU32(a.data() + i), support::LoadU32(b.data() + i))) {
        ADD_FAILURE() << path << " +" << i << ": " << support::LoadF32(a.data() + i) << " against "
                      << support::LoadF32(b.data() + i);
        ++reported;
      }
      continue;
    }
    if (a[i] != b[i]) {
      ADD_FAILURE() << path << " +" << i << ": byte " << int(a[i]) << " against " << int(b[i]);
      ++reported;
    }
  }
}

bool SkippedBlock(const zef::BlockInfo& b) {
  for (const Unrestorable& u : UnrestorableFields())
    if (u.blockId == b.id && u.how == Compare::kBlock) return true;
  return false;
}

void CompareTrees(std::span<const uint8_t> fa, const std::vector<zef::BlockInfo>& allA,
                  std::span<const uint8_t> fb, const std::vector<zef::BlockInfo>& allB,
                  const std::string& path) {
  std::vector<zef::BlockInfo> a, b;
  std::copy_if(allA.begin(), allA.end(), std::back_inserter(a),
               [](const auto& x) { return !SkippedBlock(x); });
  std::copy_if(allB.begin(), allB.end(), std::back_inserter(b),
               [](const auto& x) { return !SkippedBlock(x); });
  if (a.size() != b.size()) {
    std::string ids;
    for (const auto& x : a) ids += " " + std::to_string(x.id);
    ids += " /";
    for (const auto& x : b) ids += " " + std::to_string(x.id);
    ADD_FAILURE() << path << ": " << a.size() << " blocks against " << b.size() << ":" << ids;
    return;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char* name = zef::BlockName(a[i].id);
    const std::string here = path + "/" + (name ? name : "?") + "[" + std::to_string(i) + "]";
    if (a[i].id != b[i].id) {
      ADD_FAILURE() << here << ": block 0x" << std::hex << a[i].id << " against 0x" << b[i].id;
      return;
    }
    auto own = [](std::span<const uint8_t> f, const zef::BlockInfo& x) {
      const uint64_t end = x.children.empty() ? x.offset + x.available : x.children.front().offset;
      return f.subspan(x.offset, end - x.offset);
    };
    CompareOwnBytes(own(fa, a[i]), own(fb, b[i]), a[i].id, here);
    CompareTrees(fa, a[i].children, fb, b[i].children, here);
  }
}

struct Export {
  bool ok = false;
  std::vector<uint8_t> bytes;
  std::vector<std::string> messages;
};

Export ExportScene(workbench::Scene& scene, const std::string& dir, const std::string& file) {
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  wb.SetPlugCfgDir(dir + "/cfg");
  wb.SetLogDir(dir + "/logs");
  wb.SetComputerName("BUILDBOX");
  wb.SetUserName("artist");
  wb.SetViewportEnabled(false);
  zefexport::ZefExporter exporter;
  Export e;
  e.ok = exporter.DoExport(file.c_str(), wb, true,
                           zefexport::kOptNoDialog | zefexport::kOptSmoothWholeScene) == 1;
  support::ReadWholeFile(file, e.bytes);
  for (const auto& m : ui.messages) e.messages.push_back(m.caption + ": " + m.text);
  return e;
}

bool ImportInto(workbench::Scene& scene, const std::string& dir, const std::string& file,
                std::vector<std::string>& messages) {
  workbench::ScriptedUI ui;
  workbench::Workbench wb(scene, ui);
  wb.SetPlugCfgDir(dir + "/cfg");
  wb.SetLogDir(dir + "/logs");
  zefimport::ZefImporter importer;
  bool ok = importer.DoImport(file.c_str(), wb, true) == 1;
  for (const auto& m : ui.messages) messages.push_back(m.caption + ": " + m.text);
  return ok;
}

// Runs the round trip of one scene and reports where the two files part.
void ExpectRoundTrip(workbench::Scene& source, const std::string& what) {
  SCOPED_TRACE(what);
  TempDir dir;
  Export first = ExportScene(source, dir.Path(), dir.File("first.zef"));
  // Only what the exporter accepts can make the trip.
  if (!first.ok) return;
  workbench::Scene imported;
  std::vector<std::string> importMessages;
  ASSERT_TRUE(ImportInto(imported, dir.Path(), dir.File("first.zef"), importMessages));
  // The skipped blocks are reported to the artist; anything else the import says is a fault.
  for (const auto& m : importMessages)
    if (m != std::string("Info: ") + zefimport::kUnknownBlocksText) ADD_FAILURE() << "import said " << m;
  Export second = ExportScene(imported, dir.Path(), dir.File("second.zef"));
  ASSERT_TRUE(second.ok);

  zef::ZefFile a, b;
  ASSERT_EQ(zef::ParseZef(first.bytes, a), zef::ZefResult::kSuccess);
  ASSERT_EQ(zef::ParseZef(second.bytes, b), zef::ZefResult::kSuccess);
  // The header, then the blocks.
  std::vector<uint8_t> headA(first.bytes.begin(), first.bytes.begin() + a.firstBlock),
      headB(second.bytes.begin(), second.bytes.begin() + b.firstBlock);
  CompareOwnBytes(headA, headB, 0, "header");
  CompareTrees(first.bytes, a.blocks, second.bytes, b.blocks, "");
}

TEST(RoundTrip, TheBundledSample) {
  workbench::RegisterMaterialDocumentCodec();
  workbench::Scene scene;
  auto r = workbench::LoadSceneDocument(std::string(VORLAN_SOURCE_DIR) + "/samples/sample.vscene", scene);
  ASSERT_TRUE(r.ok) << r.error;
  ExpectRoundTrip(scene, "sample.vscene");
}

// Every scene of the corpus that the workbench reads and the exporter accepts.
TEST(RoundTrip, EveryCorpusScene) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(VORLAN_ASSETS_DIR)) {
    if (!e.is_regular_file()) continue;
    std::string ext = e.path().extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (workbench::IsInterchangeExtension(ext)) files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 20u);
  int tried = 0;
  for (const std::string& file : files) {
    TempDir textures;
    workbench::Scene scene;
    workbench::ImportOptions o;
    o.textureDir = textures.Path();
    if (!workbench::ImportInterchange(file, scene, o).ok) continue;
    ++tried;
    ExpectRoundTrip(scene, file.substr(std::string(VORLAN_ASSETS_DIR).size() + 1));
  }
  EXPECT_GE(tried, 20);
}

}  // namespace
}  // namespace vorlan::testing
