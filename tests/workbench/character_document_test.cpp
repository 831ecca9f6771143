#include <gtest/gtest.h>

#include "workbench/character.h"
#include "workbench/scene_document.h"

namespace vorlan::workbench {
namespace {

constexpr const char* kCharacter = R"({
  "version": 1,
  "nodes": [
    {"name": "Body", "object": {"type": "mesh", "mesh": {"verts": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]]}},
     "modifiers": [
       {"type": "Skin", "bones": ["Spine", "Thigh"], "vertices": [1, [[0, 0.25], [1, 0.75]], []]},
       {"type": "Morpher", "channels": [
         {"name": "smile", "target": "Smile", "value": 50,
          "points": [[0,0,1],[1,0,0],[0,1,0]], "deltas": [[0,0,1],[0,0,0],[0,0,0]]},
         {"name": "unused", "target": null, "points": [], "deltas": []}]}]},
    {"name": "Bip01", "object": {"type": "skeleton", "size": 2},
     "children": [{"name": "Spine"}, {"name": "Thigh"}]},
    {"name": "Smile"}
  ]
})";

TEST(CharacterDocument, SkinMorpherAndSkeletonReadAndWriteBackTheSame) {
  Scene scene;
  DocumentResult loaded = ParseSceneDocument(kCharacter, scene);
  ASSERT_TRUE(loaded.ok) << loaded.error;
  SceneNode* body = scene.FindNode("Body");
  ASSERT_EQ(body->Modifiers().size(), 2u);
  SkinModifierImpl* skin = FindSkin(*body);
  MorpherImpl* morph = FindMorpher(*body);
  ASSERT_TRUE(skin && morph);
  EXPECT_EQ(body->Modifiers()[0].get(), skin);  // top first
  ASSERT_EQ(skin->vertices.size(), 3u);
  EXPECT_EQ(skin->vertices[0],
            (SkinVertex{host::SkinVertexType::Rigid, {{scene.FindNode("Thigh"), 1.0f}}, false}));
  EXPECT_EQ(skin->vertices[1].type, host::SkinVertexType::RigidBlended);
  EXPECT_EQ(skin->vertices[1].bones,
            (std::vector<SkinWeight>{{scene.FindNode("Spine"), 0.25f}, {scene.FindNode("Thigh"), 0.75f}}));
  EXPECT_TRUE(skin->vertices[2].bones.empty());
  ASSERT_EQ(morph->NumChannels(), 2);
  EXPECT_EQ(morph->channels[0].target, scene.FindNode("Smile"));
  EXPECT_EQ(morph->channels[0].value, 50.0f);
  EXPECT_EQ(morph->channels[1].target, nullptr);
  EXPECT_FALSE(morph->channels[1].HasPoints());
  auto* root = dynamic_cast<SkeletonRootObject*>(scene.FindNode("Bip01")->ObjectPtr().get());
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->size, 2.0f);

  std::string error;
  const std::string text = SceneDocumentText(scene, error);
  ASSERT_TRUE(error.empty()) << error;
  Scene again;
  ASSERT_TRUE(ParseSceneDocument(text, again)) << text;
  EXPECT_EQ(SceneDocumentText(again, error), text);
}

TEST(CharacterDocument, FaultsNameTheirPathAndLeaveTheSceneAlone) {
  struct Case {
    const char* modifiers;
    const char* error;
  };
  for (const Case& c : {
           Case{R"([{"type": "Bend"}])", "nodes[0].modifiers[0].type: expected \"Skin\" or \"Morpher\""},
           Case{R"([{"type": "Skin", "bones": ["Nobody"], "vertices": [0]}])",
                "nodes[0].modifiers[0].vertices[0]: no node is named \"Nobody\""},
           Case{R"([{"type": "Skin", "bones": ["Body"], "vertices": [[[3, 1]]]}])",
                "nodes[0].modifiers[0].vertices[0][0][0]"},
           Case{R"([{"type": "Skin", "vertices": [[[0]]]}])", "nodes[0].modifiers[0].vertices[0][0]"},
           Case{R"([{"type": "Morpher", "channels": [{"target": "Ghost"}]}])",
                "nodes[0].modifiers[0].channels[0].target: no node is named \"Ghost\""},
           Case{R"([{"type": "Morpher", "channels": [{"points": [[1, 2]]}]}])",
                "nodes[0].modifiers[0].channels[0].points[0]"},
       }) {
    Scene scene;
    std::string doc =
        std::string(R"({"version": 1, "nodes": [{"name": "Body", "modifiers": )") + c.modifiers + "}]}";
    DocumentResult r = ParseSceneDocument(doc, scene);
    EXPECT_FALSE(r.ok) << c.modifiers;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    EXPECT_EQ(scene.NodeCount(), 1u);
  }
}

}  // namespace
}  // namespace vorlan::workbench
