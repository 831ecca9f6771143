// The whole path of a shot list: three cameras moved by keys, a list of three cuts saved
// through the Save Wizard with the cameras' animation exported by the host's KeyExport
// module, and the written .manm read back by the KeyImport module onto a fresh copy of the
// scene.
#include <cmath>

#include "keyexport/anim_host.h"
#include "keyimport/manm.h"
#include "shot_fixture.h"
#include "shoteditor/save_wizard.h"
#include "support/file_io.h"
#include "workbench/plugin_loader.h"

namespace vorlan::shoteditor {
namespace {

namespace fs = std::filesystem;
using host::Point3;
using testing::ShotFixture;

constexpr int kTicks = 160;
constexpr int kLastFrame = 30;

// A file's camera records: name and sampled keys.
struct CameraRecord {
  std::string name;
  std::vector<host::LinearPoint3Key> positions;
  std::vector<manm::CameraOrientationKey> orientations;
  std::vector<manm::CameraKey> fovs;
};

std::vector<CameraRecord> ReadCameraRecords(const std::vector<uint8_t>& bytes) {
  std::vector<CameraRecord> out;
  if (bytes.size() < manm::kHeaderSize) return out;
  const manm::FileHeader header = manm::LoadHeader(bytes.data());
  std::size_t at = manm::kHeaderSize;
  for (uint32_t i = 0; i < header.recordCount && at + manm::kRecordHeadSize <= bytes.size(); ++i) {
    const manm::RecordHead h = manm::LoadRecordHead(bytes.data() + at);
    CameraRecord r;
    const char* name = reinterpret_cast<const char*>(bytes.data() + at + manm::kRecordHeadSize);
    r.name = std::string(name, strnlen(name, bytes.size() - at - manm::kRecordHeadSize));
    EXPECT_EQ(h.posType, manm::kPosLinear) << r.name;
    EXPECT_EQ(h.rotType, manm::kRotCameraOrientation) << r.name;
    EXPECT_EQ(h.numScl, 0u) << r.name;
    const uint8_t* p = bytes.data() + at + manm::kRecordHeadSize + r.name.size() + 1;
    r.positions.resize(h.numPos);
    for (auto& k : r.positions) manm::LoadKey(std::exchange(p, p + manm::kLinearPoint3KeySize), k);
    r.orientations.resize(h.numRot);
    for (auto& k : r.orientations) manm::LoadKey(std::exchange(p, p + manm::kCameraOrientationKeySize), k);
    r.fovs.resize(h.numCam);
    for (auto& k : r.fovs) manm::LoadKey(std::exchange(p, p + manm::kCameraKeySize), k);
    at += h.size;
    out.push_back(std::move(r));
  }
  return out;
}

// The latest key at or before `t` of a list sorted by time.
template <class K>
const K* KeyAt(const std::vector<K>& keys, host::TimeValue t) {
  const K* found = nullptr;
  for (const K& k : keys)
    if (k.time <= t) found = &k;
  return found;
}

bool Near(Point3 a, Point3 b, float tolerance) {
  return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
         std::fabs(a.z - b.z) <= tolerance;
}

// Gives a camera a straight path and a turn over the frames, different for each camera.
void KeyCamera(workbench::SceneNode& camera, float seed) {
  using namespace host;
  camera.GetTMController()->SetPositionController(vorlan::testing::Keyed<LinearPoint3Key>(
      kLinearPositionClassId,
      {{0, 0, {seed, 2 * seed, -seed}}, {kLastFrame * kTicks, 0, {seed + 30, 4, 5 * seed}}}));
  camera.GetTMController()->SetRotationController(vorlan::testing::Keyed<LinearRotKey>(
      kLinearRotationClassId,
      {{0, 0, {}}, {kLastFrame * kTicks, 0, QuatFromAngAxis({{0, 1, 0}, 0.3f * seed + 0.5f})}}));
}

class WholePathTest : public ShotFixture {
 protected:
  void SetUp() override {
    ShotFixture::SetUp();
    dir = Scratch();
    fs::create_directories(dir / "cfg");
    wb.SetPlugCfgDir((dir / "cfg").string());
    wb.SetLogDir((dir / "logs").string());
    ASSERT_TRUE(plugins.LoadModule(std::string(VORLAN_PLUGIN_DIR) + "/KeyExport.dle"));
    ASSERT_TRUE(plugins.LoadModule(std::string(VORLAN_PLUGIN_DIR) + "/KeyImport.dli"));
    wb.SetPlugins(&plugins);
    wb.SetAnimRange({0, kLastFrame * kTicks});
    KeyCamera(*cam1, 1);
    KeyCamera(*cam2, 2);
    KeyCamera(*cam3, 3);
  }

  fs::path dir;
  workbench::PluginLoader plugins;
};

TEST_F(WholePathTest, SavedShotsCarryEveryUsedCamerasMotionThroughKeyExport) {
  auto w = WindowWithCuts({{cam1, 0, 10}, {cam2, 10, 20}, {cam3, 20, 30}});
  // "Export animations of used cameras" is ticked when the wizard opens: save as it stands.
  ui.QueueDialog([](host::DialogModel& d) {
    EXPECT_EQ(d.Find(kWizExportCameras)->value, 1);
    d.result = kWizSave;
  });
  const std::string shd = (dir / "intro.shd").string();
  ui.QueuePath(shd);
  w->Save();
  EXPECT_TRUE(ui.messages.empty()) << ui.messages.at(0).text;
  EXPECT_FALSE(w->List().Dirty());
  ASSERT_TRUE(support::FileExists(shd));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(support::ReadWholeFile((dir / "intro.manm").string(), bytes));

  // The file holds the three cameras, whose sampled keys follow each camera's world
  // transform at every frame: positions within the exporter's 0.001 step, orientations as
  // the transform's up and view directions.
  std::vector<CameraRecord> records = ReadCameraRecords(bytes);
  ASSERT_EQ(records.size(), 3u);
  for (const CameraRecord& r : records) {
    const workbench::SceneNode* camera = scene.FindNode(r.name);
    ASSERT_TRUE(camera == cam1 || camera == cam2 || camera == cam3) << r.name;
    EXPECT_EQ(r.positions.size(), std::size_t(kLastFrame + 1)) << "the camera moves on every frame";
    for (int frame = 0; frame <= kLastFrame; ++frame) {
      const host::Matrix3 tm = camera->GetNodeTM(frame * kTicks);
      const auto* pos = KeyAt(r.positions, frame * kTicks);
      ASSERT_TRUE(pos) << r.name << " frame " << frame;
      EXPECT_TRUE(Near(pos->val, tm.GetTrans(), 0.001f)) << r.name << " frame " << frame;
      const auto* turn = KeyAt(r.orientations, frame * kTicks);
      ASSERT_TRUE(turn);
      const Point3 up = Normalize(tm.VectorTransform({0, 1, 0}));
      EXPECT_TRUE(Near(turn->up, up, 1e-5f)) << r.name << " frame " << frame;
    }
  }

  // KeyImport onto a fresh copy of the scene: the first camera's sampled positions become its
  // Linear position keys. Orientation keys are a type the importer does not take, so the
  // parse ends there and says so in its log.
  vorlan::testing::AnimHost fresh;
  auto& rig = fresh.CreateNode("Rig");
  const std::pair<const char*, workbench::SceneNode*> cameras[] = {
      {"Cam1", &rig}, {"Cam2", nullptr}, {"Cam3", nullptr}};
  for (auto [name, parent] : cameras)
    fresh.CreateNode(name, parent, std::make_shared<workbench::CameraObject>());
  fresh.SetPlugins(&plugins);
  auto importer = plugins.CreateImporter(*plugins.ByName("KeyImport"));
  ASSERT_TRUE(importer);
  const std::string manm = (dir / "intro.manm").string();
  EXPECT_EQ(importer->DoImport(manm.c_str(), fresh, true), 1);
  const std::string log = fresh.ReadText(fresh.dir + "/logs/keyImport.log");
  EXPECT_NE(log.find("RotKeys: UNKNOWN, number: "), std::string::npos) << log;
  const CameraRecord& first = records.front();
  const workbench::SceneNode* restored = fresh.scene.FindNode(first.name);
  ASSERT_TRUE(restored);
  for (int frame = 0; frame <= kLastFrame; ++frame)
    EXPECT_TRUE(Near(restored->GetNodeTM(frame * kTicks).GetTrans(),
                     scene.FindNode(first.name)->GetNodeTM(frame * kTicks).GetTrans(), 0.001f))
        << first.name << " frame " << frame;
}

}  // namespace
}  // namespace vorlan::shoteditor
