#include "workbench/character.h"

#include <gtest/gtest.h>

#include "host/modifier.h"

namespace vorlan::workbench {
namespace {

using host::Matrix3;
using host::Point3;
using host::SkinVertexType;

host::Mesh Strip(int verts) {
  host::Mesh m;
  for (int i = 0; i < verts; ++i) m.verts.push_back({float(i), 0, 0});
  for (int i = 0; i + 2 < verts; ++i) m.faces.push_back({{uint32_t(i), uint32_t(i + 1), uint32_t(i + 2)}});
  return m;
}

struct Character {
  Scene scene;
  SceneNode& root = scene.CreateNode("Bip01");
  SceneNode& upper = scene.CreateNode("Upper", &root);
  SceneNode& lower = scene.CreateNode("Lower", &upper);
  SceneNode& mesh = scene.CreateNode("Body");
  std::shared_ptr<SkinModifierImpl> skin = std::make_shared<SkinModifierImpl>();
  std::shared_ptr<MorpherImpl> morph = std::make_shared<MorpherImpl>();

  Character() {
    root.SetObject(std::make_shared<SkeletonRootObject>());
    upper.SetTransform(Matrix3::Translation({0, 0, 10}));
    lower.SetTransform(Matrix3::Translation({0, 0, 5}));
    mesh.SetObject(std::make_shared<MeshObject>(Strip(4)));
    mesh.SetTransform(Matrix3::Translation({1, 0, 0}));
    skin->SetRigid(0, &upper);
    skin->SetBlended(1, {{&upper, 0.25f}, {&lower, 0.75f}});
    skin->SetBlended(2, {{&upper, 0.5f}, {&lower, 0.5f}});
    mesh.AddModifier(skin);
    mesh.AddModifier(morph);
  }
};

TEST(ModifierStack, TopFirstAndFoundThroughTheHost) {
  Character c;
  auto* ref = c.mesh.GetObjectReference();
  ASSERT_NE(ref, nullptr);
  ASSERT_EQ(ref->GetSuperClassId(), host::kDerivedObjectClass);
  auto* derived = static_cast<host::DerivedObject*>(ref);
  EXPECT_EQ(derived->NumModifiers(), 2);
  EXPECT_EQ(derived->GetModifier(0), c.morph.get());
  EXPECT_EQ(derived->GetModifier(2), nullptr);
  EXPECT_EQ(derived->GetObjRef(), c.mesh.ObjectPtr().get());
  EXPECT_EQ(host::FindModifier(c.mesh, host::kSkinModifierClassId), c.skin.get());
  EXPECT_EQ(host::FindModifier(c.mesh, host::kMorpherClassId), c.morph.get());
  EXPECT_EQ(host::FindModifier(c.root, host::kSkinModifierClassId), nullptr);
  // The node without modifiers references its object directly; the evaluated mesh is the base.
  EXPECT_EQ(c.root.GetObjectReference(), c.root.ObjectPtr().get());
  EXPECT_EQ(c.mesh.EvalWorldState(0)->ConvertToTriMesh(0)->NumVerts(), 4);
}

TEST(SkinExport, BlendingSwitchDecidesHowBlendedVerticesReport) {
  Character c;
  auto ctx = c.skin->GetExportContext(c.mesh);
  EXPECT_EQ(ctx->GetNumberVertices(), 4);

  // Without blending a blended vertex is rigid on its heaviest bone, the first of equals.
  auto v1 = ctx->GetVertex(1);
  ASSERT_TRUE(v1);
  EXPECT_EQ(v1->type, SkinVertexType::Rigid);
  ASSERT_EQ(v1->bones.size(), 1u);
  EXPECT_EQ(v1->bones[0].bone, &c.lower);
  EXPECT_EQ(v1->bones[0].weight, 1.0f);
  EXPECT_EQ(ctx->GetVertex(2)->bones[0].bone, &c.upper);

  ctx->ConvertToRigid(true);
  ctx->AllowBlending(true);
  v1 = ctx->GetVertex(1);
  EXPECT_EQ(v1->type, SkinVertexType::RigidBlended);
  ASSERT_EQ(v1->bones.size(), 2u);
  EXPECT_EQ(v1->bones[0].weight, 0.25f);
  EXPECT_EQ(v1->bones[1].weight, 0.75f);
  // Offsets: vertex 1 lies at world (2, 0, 0); the bones at z = 10 and z = 5.
  EXPECT_EQ(v1->bones[0].offset, (Point3{2, 0, -10}));
  EXPECT_EQ(v1->bones[1].offset, (Point3{2, 0, -5}));
  // A rigid vertex stays rigid; a vertex without bones and one outside the mesh have none.
  EXPECT_EQ(ctx->GetVertex(0)->type, SkinVertexType::Rigid);
  EXPECT_FALSE(ctx->GetVertex(3));
  EXPECT_FALSE(ctx->GetVertex(4));
  EXPECT_FALSE(ctx->GetVertex(-1));
}

TEST(SkinImport, FirstAssignmentReplacesAndVerticesOutsideTheMeshAreRefused) {
  Character c;
  auto ctx = c.skin->GetImportContext(c.mesh);
  EXPECT_EQ(ctx->GetNumberVertices(), 4);
  EXPECT_EQ(ctx->SetVertexInterface(4, SkinVertexType::RigidBlended), nullptr);
  {
    auto vi = ctx->SetVertexInterface(3, SkinVertexType::RigidBlended);
    ASSERT_NE(vi, nullptr);
    vi->SetWeightedNode(&c.upper, 0.5f, true);
    vi->SetWeightedNode(&c.lower, 0.5f, false);
    vi->LockVertex(true);
  }
  {
    auto vi = ctx->SetVertexInterface(1, SkinVertexType::RigidBlended);
    vi->SetWeightedNode(&c.upper, 1.0f, true);
  }
  ASSERT_EQ(c.skin->vertices.size(), 4u);
  EXPECT_EQ(c.skin->vertices[3],
            (SkinVertex{SkinVertexType::RigidBlended, {{&c.upper, 0.5f}, {&c.lower, 0.5f}}, true}));
  EXPECT_EQ(c.skin->vertices[1].bones, (std::vector<SkinWeight>{{&c.upper, 1.0f}}));
}

TEST(CharacterNodes, DeletingABoneOrTargetLeavesNoDanglingReference) {
  Character c;
  SceneNode& target = c.scene.CreateNode("Smile");
  c.morph->channels.push_back(
      {.name = "smile", .points = {{0, 0, 0}}, .deltas = {{0, 1, 0}}, .target = &target});
  c.scene.DeleteNode(target);
  EXPECT_EQ(c.morph->channels[0].target, nullptr);
  c.scene.DeleteNode(c.lower);
  EXPECT_EQ(c.skin->vertices[1].bones, (std::vector<SkinWeight>{{&c.upper, 0.25f}}));
  EXPECT_EQ(c.morph->channels[0].Delta(0), (Point3{0, 1, 0}));
  EXPECT_EQ(c.morph->channels[0].Delta(5), (Point3{}));
}

TEST(CharacterNodes, SkeletonRootOffersTheScaleSwitch) {
  Character c;
  ASSERT_NE(c.root.GetSkeletonExport(), nullptr);
  EXPECT_EQ(c.mesh.GetSkeletonExport(), nullptr);
  c.root.GetSkeletonExport()->RemoveNonUniformScale(true);
  EXPECT_TRUE(c.scene.skeletonSwitches.NonUniformScaleRemoved());
  EXPECT_TRUE(IsSkeletonRoot(c.root));
  EXPECT_FALSE(c.root.EvalWorldState(0)->CanConvertToTriMesh());
}

}  // namespace
}  // namespace vorlan::workbench
