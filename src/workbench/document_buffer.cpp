#include "workbench/document_buffer.h"

#include <algorithm>
#include <filesystem>

#include "workbench/document_json.h"

namespace vorlan::workbench::docjson {

namespace fs = std::filesystem;

namespace {

thread_local DocumentScope* tCurrent = nullptr;

// Pieces in which the buffer is written and read: large enough to keep system calls rare,
// small enough to be no second copy of anything.
constexpr std::size_t kPieceBytes = std::size_t(1) << 20;

struct ScalarName {
  Scalar scalar;
  const char* name;
  std::size_t bytes;
};
constexpr ScalarName kScalars[] = {{Scalar::F32, "f32", 4},
                                   {Scalar::I32, "i32", 4},
                                   {Scalar::U32, "u32", 4},
                                   {Scalar::U16, "u16", 2},
                                   {Scalar::U8, "u8", 1}};

const ScalarName& Info(Scalar s) {
  for (const auto& n : kScalars)
    if (n.scalar == s) return n;
  return kScalars[0];
}

uint64_t Align8(uint64_t n) { return (n + 7) & ~uint64_t(7); }

const BufferSource& Source(const std::string& path) {
  DocumentScope* scope = DocumentScope::Current();
  if (!scope || !scope->reading) Fail(path, "the document has no binary buffer for this array");
  return *scope->reading;
}

uint64_t U64(const Json& j, const std::string& path) {
  if (j.is_number_unsigned() || (j.is_number_integer() && j.get<int64_t>() >= 0)) return j.get<uint64_t>();
  Fail(path, "expected a whole number of at least 0");
}

}  // namespace

std::size_t ElementType::Bytes() const { return Info(scalar).bytes * components; }

std::string ElementType::Name() const {
  std::string s = Info(scalar).name;
  if (components != 1) s += "x" + std::to_string(components);
  return s;
}

std::optional<Json> WriteArray(ElementType type, uint64_t count, ElementEncoder encode) {
  DocumentScope* scope = DocumentScope::Current();
  if (!scope || !scope->writing) return std::nullopt;
  return scope->writing->Add(type, count, std::move(encode));
}

bool IsArrayRef(const Json& j) { return j.is_object(); }

ElementType ArrayType(const Json& ref, const std::string& path) {
  Object(ref, path);
  const Json* type = Find(ref, "type");
  if (!type) Fail(path, "expected the array's element \"type\"");
  std::string name = String(*type, Key(path, "type"));
  for (const auto& s : kScalars) {
    std::string base = s.name;
    if (name == base) return {s.scalar, 1};
    if (name.size() == base.size() + 2 && name.compare(0, base.size(), base) == 0 &&
        name[base.size()] == 'x' && name.back() >= '2' && name.back() <= '9')
      return {s.scalar, static_cast<uint8_t>(name.back() - '0')};
  }
  Fail(Key(path, "type"), "expected an element type such as \"f32x3\" or \"u32\", found \"" + name + "\"");
}

uint64_t ArrayCount(const Json& ref, const std::string& path, ElementType type) {
  ElementType declared = ArrayType(ref, path);
  OnlyKeys(ref, path, {"type", "count", "offset"});
  if (!(declared == type))
    Fail(Key(path, "type"), "expected \"" + type.Name() + "\" elements, found \"" + declared.Name() + "\"");
  const Json* count = Find(ref, "count");
  const Json* offset = Find(ref, "offset");
  if (!count || !offset) Fail(path, "expected the array's \"count\" and \"offset\"");
  uint64_t n = U64(*count, Key(path, "count")), at = U64(*offset, Key(path, "offset"));
  const BufferSource& src = Source(path);
  // Compared by division, so that no product or sum can wrap.
  if (at > src.length || n > (src.length - at) / type.Bytes())
    Fail(path, std::to_string(n) + " elements of " + std::to_string(type.Bytes()) + " bytes at offset " +
                   std::to_string(at) + " run past the end of the " + std::to_string(src.length) +
                   "-byte buffer");
  return n;
}

void ReadArray(const Json& ref, const std::string& path, ElementType type, const ElementDecoder& decode) {
  const std::size_t size = type.Bytes();
  ReadArrayPieces(ref, path, type, [&](uint64_t first, uint64_t n, const uint8_t* in) {
    for (uint64_t i = 0; i < n; ++i) decode(first + i, in + i * size);
  });
}

void ReadArrayPieces(const Json& ref, const std::string& path, ElementType type, const PieceDecoder& decode) {
  const uint64_t count = ArrayCount(ref, path, type);
  const uint64_t offset = U64(ref["offset"], Key(path, "offset"));
  const BufferSource& src = Source(path);
  const std::size_t size = type.Bytes();
  const uint64_t perPiece = std::max<std::size_t>(1, kPieceBytes / size);
  // One piece buffer per thread, kept from array to array: a large document has thousands of
  // arrays, and a new buffer for each cost fresh zeroed pages every time. A decoder that
  // reads another array meanwhile gets a buffer of its own.
  thread_local std::vector<uint8_t> kept;
  thread_local bool keptInUse = false;
  std::vector<uint8_t> own;
  const bool nested = keptInUse;
  std::vector<uint8_t>& piece = nested ? own : kept;
  struct Release {
    bool active;
    ~Release() {
      if (active) keptInUse = false;
    }
  } release{!nested};
  keptInUse = true;
  const std::size_t need = static_cast<std::size_t>(std::min(count, perPiece) * size);
  if (piece.size() < need) piece.resize(need);
  std::string error;
  for (uint64_t first = 0; first < count; first += perPiece) {
    const uint64_t n = std::min(perPiece, count - first);
    std::span<uint8_t> bytes(piece.data(), static_cast<std::size_t>(n * size));
    if (!src.file || !src.file->ReadAt(src.offset + offset + first * size, bytes, error))
      Fail(path, error.empty() ? "the buffer cannot be read" : error);
    decode(first, n, bytes.data());
  }
}

std::string StorePath(const std::string& path) {
  DocumentScope* scope = DocumentScope::Current();
  if (!scope || path.empty()) return path;
  std::error_code ec;
  fs::path file = fs::absolute(fs::path(path), ec);
  fs::path folder = fs::absolute(fs::path(scope->folder.empty() ? "." : scope->folder), ec);
  if (ec) return path;
  file = file.lexically_normal();
  folder = folder.lexically_normal();
  fs::path rel = file.lexically_relative(folder);
  // Only files under the folder are stored relative: "../" paths break when the document
  // moves without its surroundings, an absolute path does not.
  if (rel.empty() || *rel.begin() == "..") return path;
  return rel.generic_string();
}

std::string ResolvePath(const std::string& stored) {
  DocumentScope* scope = DocumentScope::Current();
  if (!scope || stored.empty()) return stored;
  std::string p = stored;
  std::replace(p.begin(), p.end(), '\\', '/');
  // A path from another machine ("D:/art/wood.png") stays as written: the texture search
  // of whoever reads it decides what it means here.
  const bool drive = p.size() >= 2 && p[1] == ':';
  if (drive || fs::path(p).is_absolute() || scope->folder.empty()) return stored;
  return (fs::path(scope->folder) / p).lexically_normal().string();
}

std::optional<Json> BufferLayout::Add(ElementType type, uint64_t count, ElementEncoder encode) {
  if (count == 0 || count < threshold_) return std::nullopt;
  Entry e{type, count, size_, std::move(encode)};
  size_ = Align8(size_ + count * type.Bytes());
  Json ref = {{"type", type.Name()}, {"count", count}, {"offset", e.offset}};
  arrays_.push_back(std::move(e));
  return ref;
}

bool BufferLayout::Stream(const std::function<bool(std::span<const uint8_t>)>& sink) const {
  std::vector<uint8_t> piece(kPieceBytes);
  std::size_t used = 0;
  uint64_t at = 0;  // buffer offset of piece[0]
  auto flush = [&]() {
    bool ok = used == 0 || sink(std::span<const uint8_t>(piece.data(), used));
    at += used;
    used = 0;
    return ok;
  };
  auto zeros = [&](uint64_t upTo) {
    while (at + used < upTo) {
      if (used == piece.size() && !flush()) return false;
      std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(upTo - at - used, piece.size() - used));
      std::fill_n(piece.data() + used, n, uint8_t(0));
      used += n;
    }
    return true;
  };
  for (const Entry& e : arrays_) {
    if (!zeros(e.offset)) return false;
    const std::size_t size = e.type.Bytes();
    for (uint64_t i = 0; i < e.count; ++i) {
      if (used + size > piece.size() && !flush()) return false;
      e.encode(i, piece.data() + used);
      used += size;
    }
  }
  return zeros(size_) && flush();
}

DocumentScope::DocumentScope(BufferLayout* w, const BufferSource* r, std::string f)
    : writing(w), reading(r), folder(std::move(f)), previous_(tCurrent) {
  tCurrent = this;
}

DocumentScope::~DocumentScope() { tCurrent = previous_; }

DocumentScope* DocumentScope::Current() { return tCurrent; }

}  // namespace vorlan::workbench::docjson
