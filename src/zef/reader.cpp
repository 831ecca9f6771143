#include "zef/reader.h"

#include "zef/skeleton_check.h"

#include <algorithm>
#include <optional>

#include "support/bytes.h"

namespace vorlan::zef {

using support::ByteReader;
using support::LoadU32;

const Field* BlockInfo::Find(std::string_view key) const {
  for (const Field& f : fields)
    if (f.key == key) return &f;
  return nullptr;
}

const char* ToString(ZefResult result) {
  switch (result) {
    case ZefResult::kSuccess:
      return "success";
    case ZefResult::kNotZef:
      return "not a ZEF file";
    case ZefResult::kUnknownVersion:
      return "unknown ZEF version";
    case ZefResult::kTruncated:
      return "truncated file";
    case ZefResult::kInvalid:
      return "invalid block structure";
  }
  return "?";
}

namespace {

std::string Offset(uint64_t at) { return std::to_string(at); }

class Parser {
 public:
  Parser(std::span<const uint8_t> data, ZefFile& file) : data_(data), file_(file) {}

  ZefResult Result() const { return result_; }

  // Walks the blocks in [begin, end) of the file into `list`.
  void Level(uint64_t begin, uint64_t end, int depth, std::vector<BlockInfo>& list) {
    uint64_t at = begin;
    while (at < end) {
      if (end - at < kBlockHeadSize) {
        Problem(ZefResult::kTruncated, "truncated block head at offset " + Offset(at));
        return;
      }
      BlockInfo block;
      block.id = LoadU32(data_.data() + at);
      block.size = LoadU32(data_.data() + at + 4);
      block.offset = at;
      if (block.size < kBlockHeadSize) {
        // Nothing after this head can be found: the size is all that leads to the next block.
        Problem(ZefResult::kInvalid,
                "block size " + std::to_string(block.size) + " too small at offset " + Offset(at));
        return;
      }
      block.available = std::min<uint64_t>(block.size, end - at);
      if (block.Truncated())
        Problem(ZefResult::kTruncated, "truncated block at offset " + Offset(at) + ": size " +
                                           std::to_string(block.size) + ", " + std::to_string(end - at) +
                                           " bytes left");
      Decode(block, depth);
      list.push_back(std::move(block));
      if (list.back().Truncated()) return;
      at += list.back().size;
    }
  }

  void Problem(ZefResult kind, std::string text) {
    if (result_ == ZefResult::kSuccess) result_ = kind;
    file_.problems.push_back(std::move(text));
  }

 private:
  void Decode(BlockInfo& block, int depth) {
    const BlockDecoder* decoder = FindDecoder(block.id);
    if (!decoder) return;
    ByteReader r(data_.subspan(block.offset, block.available));
    r.Seek(kBlockHeadSize);
    std::optional<uint64_t> nested = decoder->decode(r, block.fields);
    if (r.Failed() && !block.Truncated())
      Problem(ZefResult::kTruncated,
              "fields of block at offset " + Offset(block.offset) + " run past its end");
    if (!nested || *nested > block.available) return;
    if (depth + 1 >= kMaxBlockDepth) {
      Problem(ZefResult::kInvalid, "blocks nested too deeply at offset " + Offset(block.offset));
      return;
    }
    Level(block.offset + *nested, block.offset + block.available, depth + 1, block.children);
  }

  std::span<const uint8_t> data_;
  ZefFile& file_;
  ZefResult result_ = ZefResult::kSuccess;
};

// ---- Validation ---------------------------------------------------------------------------------

class Validator {
 public:
  Validator(std::span<const uint8_t> data, std::vector<std::string>& out) : data_(data), out_(out) {}

  void Blocks(const std::vector<BlockInfo>& blocks) {
    for (const BlockInfo& b : blocks) Block(b);
  }

 private:
  uint32_t At(const BlockInfo& b, uint32_t field) const {
    // Only called on blocks that are whole and long enough for the field.
    return LoadU32(data_.data() + b.offset + field);
  }
  void Finding(const BlockInfo& b, const std::string& text) {
    const char* name = BlockName(b.id);
    out_.push_back(std::string(name ? name : "block") + " at offset " + Offset(b.offset) + ": " + text);
  }
  void ExpectSize(const BlockInfo& b, uint64_t size, const char* rule) {
    if (b.size != size)
      Finding(b, "size " + std::to_string(b.size) + ", expected " + std::to_string(size) + " (" + rule + ")");
  }
  void ExpectCount(const BlockInfo& b, uint32_t field, uint32_t kind1, uint32_t kind2, const char* what) {
    uint64_t held = 0;
    for (const BlockInfo& c : b.children) held += (c.id == kind1 || c.id == kind2);
    if (At(b, field) != held)
      Finding(b,
              "counts " + std::to_string(At(b, field)) + " " + what + " but holds " + std::to_string(held));
  }

  void Block(const BlockInfo& b) {
    Blocks(b.children);
    if (b.Truncated()) return;  // the parse reported it already
    auto least = [&](uint32_t n) { return b.size >= n; };
    switch (b.id) {
      case kNode:
      case kSkeletonObj:
        if (least(kNodeHeadSize) && uint64_t{kNodeHeadSize} + At(b, 12) <= b.size)
          ExpectCount(b, 8, kNode, kSkeletonObj, "child nodes");
        break;
      case kGObj:
        if (least(kGObjHeadSize)) ExpectCount(b, 8, kGBlock, kGBlock, "GBlocks");
        break;
      case kMatList:
        if (least(kMatListHeadSize) && At(b, 8) != b.children.size())
          Finding(b, "counts " + std::to_string(At(b, 8)) + " records but holds " +
                         std::to_string(b.children.size()));
        break;
      case kGBlock:
        GBlock(b);
        break;
      case kInfo:
        if (least(kInfoFixedSize)) ExpectSize(b, uint64_t{kInfoFixedSize} + At(b, 12), "84 + comment length");
        break;
      case kUserProps:
        if (least(kUserPropsHeadSize))
          ExpectSize(b, uint64_t{kUserPropsHeadSize} + At(b, 8), "12 + text length");
        break;
      case kVertices:
        if (least(kVerticesHeadSize)) {
          ExpectSize(b, kVerticesHeadSize + uint64_t{At(b, 8)} * At(b, 12), "20 + count x stride");
          uint32_t format = At(b, 16);
          if ((format & 0xFF) == kVertexFormatPosNormal &&
              At(b, 12) != VertexStride(TexturePairsOfFormat(format)))
            Finding(b, "stride " + std::to_string(At(b, 12)) + " does not match format's texture pairs");
        }
        break;
      case kFaces:
        if (least(kFacesHeadSize)) ExpectSize(b, kFacesHeadSize + uint64_t{At(b, 8)} * 12, "12 + 12 x count");
        break;
      case kTransform:
        ExpectSize(b, kTransformSize, "fixed");
        break;
      case kInstance:
        ExpectSize(b, kInstanceSize, "fixed");
        break;
      case kDummy:
        ExpectSize(b, kDummySize, "fixed");
        break;
      case kCamera:
        ExpectSize(b, kCameraSize, "fixed");
        break;
      case kLight:
        ExpectSize(b, kLightSize, "fixed");
        break;
      case kVexaLight:
        ExpectSize(b, kVexaLightSize, "fixed");
        break;
      case kSoundEvent:
      case kParticleEvent:
        ExpectSize(b, kEventSize, "fixed");
        break;
      default:
        break;
    }
  }

  // A GBlock must start with Vertices then Faces, and its faces must index its own vertices.
  void GBlock(const BlockInfo& b) {
    if (b.children.size() < 2 || b.children[0].id != kVertices || b.children[1].id != kFaces) {
      Finding(b, "does not start with a Vertices and a Faces block");
      return;
    }
    const BlockInfo& vertices = b.children[0];
    const BlockInfo& faces = b.children[1];
    if (vertices.Truncated() || faces.Truncated() || vertices.size < kVerticesHeadSize ||
        faces.size < kFacesHeadSize)
      return;
    const uint32_t vertexCount = At(vertices, 8);
    const uint64_t corners =
        std::min<uint64_t>(uint64_t{At(faces, 8)} * 3, (faces.size - kFacesHeadSize) / 4);
    for (uint64_t k = 0; k < corners; ++k) {
      uint32_t index = LoadU32(data_.data() + faces.offset + kFacesHeadSize + 4 * k);
      if (index >= vertexCount) {
        Finding(faces, "triangle " + std::to_string(k / 3) + " uses vertex " + std::to_string(index) +
                           " of " + std::to_string(vertexCount));
        return;
      }
    }
  }

  std::span<const uint8_t> data_;
  std::vector<std::string>& out_;
};

}  // namespace

ZefResult ParseZef(std::span<const uint8_t> data, ZefFile& file) {
  file = ZefFile{};
  Parser parser(data, file);
  if (data.size() < 4) {
    parser.Problem(ZefResult::kTruncated, "file of " + std::to_string(data.size()) + " bytes has no header");
    return parser.Result();
  }
  if (LoadU32(data.data()) != kMagic) return ZefResult::kNotZef;
  if (data.size() < 8) {
    parser.Problem(ZefResult::kTruncated, "header truncated at offset " + Offset(data.size()));
    return parser.Result();
  }
  file.version = LoadU32(data.data() + 4);
  file.family = ClassifyVersion(file.version);
  if (file.family == VersionFamily::kUnknown) return ZefResult::kUnknownVersion;
  file.firstBlock = FirstBlockOffset(file.version);
  if (file.version != kVersion0005 && data.size() >= kThumbnailOffset) {
    file.hasHostFields = true;
    file.hostVersion = LoadU32(data.data() + kHeaderHostVersionOffset);
    file.nodeCount = LoadU32(data.data() + kHeaderNodeCountOffset);
  }
  if (data.size() < file.firstBlock) {
    parser.Problem(ZefResult::kTruncated, "header truncated at offset " + Offset(data.size()));
    return parser.Result();
  }
  parser.Level(file.firstBlock, data.size(), 0, file.blocks);
  return parser.Result();
}

std::vector<std::string> ValidateZef(std::span<const uint8_t> data, const ZefFile& file) {
  std::vector<std::string> findings;
  Validator(data, findings).Blocks(file.blocks);
  ValidateSkeleton(data, file, findings);
  const BlockInfo* root = nullptr;
  for (const BlockInfo& b : file.blocks)
    if (b.id == kNode || b.id == kSkeletonObj) {
      root = &b;
      break;
    }
  if (!root) {
    findings.push_back("no root node");
  } else if (!root->Truncated() && root->offset + root->size != data.size()) {
    findings.push_back("root node ends at offset " + Offset(root->offset + root->size) + ", the file at " +
                       Offset(data.size()));
  }
  return findings;
}

}  // namespace vorlan::zef
