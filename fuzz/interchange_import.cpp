// Scenes as a damaged file could make Assimp hand them over: mesh, material and vertex
// indices past their tables, missing arrays, faces of any size, NaN and infinite values,
// cameras and lights named after no node. The workbench's conversion of them must end
// cleanly and leave only meshes whose every index is in range.
//
// The scene is then written as glTF, so the writer meets every scene the conversion makes.
//
// Assimp's own readers are not fuzzed here: the bytes build the aiScene directly, so the
// target tests this system's code and not the library's.
#include <assimp/scene.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interchange/export.h"
#include "interchange/import_parts.h"
#include "workbench/scene.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint32_t Take(uint32_t bound) {  // 0 .. bound - 1
    uint32_t v = 0;
    for (int i = 0; i < 4 && pos_ < size_; ++i) v = (v << 8) | data_[pos_++];
    return bound ? v % bound : 0;
  }
  bool Flag() { return Take(2) == 1; }
  float Float() {
    uint32_t bits = 0;
    for (int i = 0; i < 4 && pos_ < size_; ++i) bits = (bits << 8) | data_[pos_++];
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

aiVector3D Vec(Input& in) { return aiVector3D(in.Float(), in.Float(), in.Float()); }

aiMesh* MakeMesh(Input& in, int index) {
  auto* m = new aiMesh();
  if (in.Take(4) != 0) m->mName = aiString("mesh" + std::to_string(index));
  const unsigned nv = in.Take(9);
  m->mNumVertices = nv;
  if (in.Take(8) != 0) {
    m->mVertices = new aiVector3D[nv];
    for (unsigned i = 0; i < nv; ++i) m->mVertices[i] = Vec(in);
  }
  if (in.Flag()) {
    m->mNormals = new aiVector3D[nv];
    for (unsigned i = 0; i < nv; ++i) m->mNormals[i] = Vec(in);
  }
  for (int k = 0; k < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++k)
    if (in.Take(3) == 0) {
      m->mTextureCoords[k] = new aiVector3D[nv];
      for (unsigned i = 0; i < nv; ++i) m->mTextureCoords[k][i] = Vec(in);
    }
  if (in.Flag()) {
    m->mColors[0] = new aiColor4D[nv];
    for (unsigned i = 0; i < nv; ++i) m->mColors[0][i] = aiColor4D(in.Float(), in.Float(), in.Float(), 1);
  }
  if (in.Take(8) != 0) {
    m->mNumFaces = in.Take(9);
    m->mFaces = new aiFace[m->mNumFaces];
    for (unsigned f = 0; f < m->mNumFaces; ++f) {
      aiFace& face = m->mFaces[f];
      face.mNumIndices = in.Take(6);
      face.mIndices = face.mNumIndices ? new unsigned[face.mNumIndices] : nullptr;
      for (unsigned k = 0; k < face.mNumIndices; ++k) face.mIndices[k] = in.Take(nv + 3);
    }
  }
  m->mMaterialIndex = in.Take(5);
  // Bones named after nodes or nothing, with offset matrices and weights of any value on
  // vertices in and out of range; morph targets of any length.
  if (in.Take(3) == 0) {
    m->mNumBones = in.Take(5);
    m->mBones = m->mNumBones ? new aiBone*[m->mNumBones] : nullptr;
    for (unsigned b = 0; b < m->mNumBones; ++b) {
      if (in.Take(8) == 0) {
        m->mBones[b] = nullptr;
        continue;
      }
      auto* bone = new aiBone();
      bone->mName = aiString("n" + std::to_string(in.Take(8)));
      if (in.Flag())
        bone->mOffsetMatrix =
            aiMatrix4x4(Vec(in), aiQuaternion(in.Float(), in.Float(), in.Float(), in.Float()), Vec(in));
      bone->mNumWeights = in.Take(6);
      bone->mWeights = bone->mNumWeights ? new aiVertexWeight[bone->mNumWeights] : nullptr;
      for (unsigned w = 0; w < bone->mNumWeights; ++w)
        bone->mWeights[w] = aiVertexWeight(in.Take(nv + 3), in.Flag() ? in.Float() : 0.5f);
      m->mBones[b] = bone;
    }
  }
  if (in.Take(3) == 0) {
    m->mNumAnimMeshes = in.Take(4);
    m->mAnimMeshes = m->mNumAnimMeshes ? new aiAnimMesh*[m->mNumAnimMeshes] : nullptr;
    for (unsigned k = 0; k < m->mNumAnimMeshes; ++k) {
      auto* am = new aiAnimMesh();
      am->mNumVertices = in.Flag() ? nv : in.Take(nv + 2);
      if (in.Take(4) != 0) {
        am->mVertices = new aiVector3D[am->mNumVertices];
        for (unsigned i = 0; i < am->mNumVertices; ++i) am->mVertices[i] = Vec(in);
      }
      if (in.Flag()) {
        am->mNormals = new aiVector3D[am->mNumVertices];
        for (unsigned i = 0; i < am->mNumVertices; ++i) am->mNormals[i] = Vec(in);
      }
      am->mWeight = in.Float();
      m->mAnimMeshes[k] = am;
    }
  }
  return m;
}

aiMaterial* MakeMaterial(Input& in, int index) {
  auto* m = new aiMaterial();
  aiString name("mat" + std::to_string(index));
  if (in.Flag()) m->AddProperty(&name, AI_MATKEY_NAME);
  aiColor4D c(in.Float(), in.Float(), in.Float(), in.Float());
  if (in.Flag()) m->AddProperty(&c, 1, AI_MATKEY_COLOR_DIFFUSE);
  static const char* paths[] = {"*0", "*1", "*7", "*", "missing.png", "C:\\art\\x.jpg", "", "*99999999999"};
  for (int t = 0; t < 3; ++t)
    if (in.Flag()) {
      aiString path(paths[in.Take(8)]);
      const auto type = static_cast<aiTextureType>(in.Take(22));
      m->AddProperty(&path, AI_MATKEY_TEXTURE(type, 0));
      const int uv = static_cast<int>(in.Take(20));
      m->AddProperty(&uv, 1, AI_MATKEY_UVWSRC(type, 0));
    }
  return m;
}

aiTexture* MakeTexture(Input& in) {
  auto* t = new aiTexture();
  if (in.Flag()) {
    t->mWidth = in.Take(64);
    t->mHeight = 0;
    auto* bytes = new uint8_t[t->mWidth + 1];
    for (unsigned i = 0; i < t->mWidth; ++i) bytes[i] = static_cast<uint8_t>(in.Take(256));
    t->pcData = reinterpret_cast<aiTexel*>(bytes);
    std::strncpy(t->achFormatHint, in.Flag() ? "png" : "\x01?", HINTMAXTEXTURELEN - 1);
  } else {
    t->mWidth = in.Take(5);
    t->mHeight = in.Take(5);
    t->pcData = new aiTexel[t->mWidth * t->mHeight + 1];
  }
  if (in.Flag()) t->mFilename = aiString(in.Flag() ? "../../escape.png" : "img");
  return t;
}

aiNode* MakeNode(Input& in, unsigned numMeshes, int depth, int& count) {
  auto* n = new aiNode("n" + std::to_string(count++ % 6));
  aiMatrix4x4& m = n->mTransformation;
  if (in.Flag())
    m = aiMatrix4x4(Vec(in), aiQuaternion(in.Float(), in.Float(), in.Float(), in.Float()), Vec(in));
  n->mNumMeshes = in.Take(4);
  if (n->mNumMeshes) {
    n->mMeshes = new unsigned[n->mNumMeshes];
    for (unsigned i = 0; i < n->mNumMeshes; ++i) n->mMeshes[i] = in.Take(numMeshes + 2);
  }
  if (in.Take(4) == 0) {
    n->mMetaData = aiMetadata::Alloc(3);
    n->mMetaData->Set(0, "a", in.Float());
    n->mMetaData->Set(1, "UserProperties", aiString("x=1\r\ny"));
    n->mMetaData->Set(2, "extensions", int32_t(3));
  }
  if (depth < 6 && count < 40) {
    std::vector<aiNode*> kids;
    for (unsigned i = in.Take(4); i > 0; --i) kids.push_back(MakeNode(in, numMeshes, depth + 1, count));
    if (!kids.empty()) n->addChildren(static_cast<unsigned>(kids.size()), kids.data());
  }
  return n;
}

template <typename T, typename Make>
void Fill(T**& array, unsigned& count, unsigned n, Input& in, Make make) {
  count = n;
  array = n ? new T*[n] : nullptr;
  for (unsigned i = 0; i < n; ++i) array[i] = in.Take(6) == 0 ? nullptr : make(static_cast<int>(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  auto scene = std::make_unique<aiScene>();
  Fill(scene->mMeshes, scene->mNumMeshes, in.Take(5), in, [&](int i) { return MakeMesh(in, i); });
  Fill(scene->mMaterials, scene->mNumMaterials, in.Take(4), in, [&](int i) { return MakeMaterial(in, i); });
  Fill(scene->mTextures, scene->mNumTextures, in.Take(3), in, [&](int) { return MakeTexture(in); });
  Fill(scene->mCameras, scene->mNumCameras, in.Take(3), in, [&](int i) {
    auto* c = new aiCamera();
    c->mName = aiString("n" + std::to_string(i * 2));
    c->mHorizontalFOV = in.Float();
    c->mAspect = in.Float();
    c->mLookAt = Vec(in);
    c->mUp = Vec(in);
    return c;
  });
  Fill(scene->mLights, scene->mNumLights, in.Take(3), in, [&](int i) {
    auto* l = new aiLight();
    l->mName = aiString("n" + std::to_string(i * 3));
    l->mType = static_cast<aiLightSourceType>(in.Take(7));
    l->mColorDiffuse = aiColor3D(in.Float(), in.Float(), in.Float());
    l->mAngleInnerCone = in.Float();
    l->mAngleOuterCone = in.Float();
    l->mDirection = Vec(in);
    return l;
  });
  int count = 0;
  scene->mRootNode = MakeNode(in, scene->mNumMeshes, 0, count);

  vorlan::workbench::Scene out;
  vorlan::workbench::ImportOptions options;
  options.scale = in.Flag() ? in.Float() : 1.0f;
  if (!(options.scale > 0.0f) || !std::isfinite(options.scale)) options.scale = 1.0f;
  const char* path = in.Flag() ? "/nonexistent/fuzz.fbx" : "/nonexistent/fuzz.gltf";
  vorlan::workbench::interchange::ConvertAssimpScene(*scene, path, out, options);
  for (const auto* node : out.AllNodes())
    if (const auto* m = dynamic_cast<const vorlan::workbench::MeshObject*>(node->ObjectPtr().get()))
      if (!m->mesh.IsValid()) __builtin_trap();
  // Whatever came in can be written out again as glTF, characters included.
  std::vector<uint8_t> glb;
  vorlan::workbench::BuildGlb(out, {}, glb);
  return 0;
}
