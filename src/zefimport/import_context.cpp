#include "zefimport/import_context.h"

#include "support/log.h"

namespace vorlan::zefimport {

int MaterialKindOf(const host::Mtl* mtl) {
  if (!mtl) return kKindOther;
  host::ClassId id = mtl->GetClassId();
  if (id == host::kStandardMtlClassId) return kKindStandard;
  if (id == host::kVexaMatClassId) return kKindVexaMat;
  if (id == host::kVexaLayerClassId) return kKindVexaLayer;
  return kKindOther;
}

bool FixedPart::Read() {
  auto size = ctx_.reader.FixedPartSize();
  if (!size) return false;
  // Checked before anything is allocated: a size field cannot ask for more than the file has.
  if (*size == 0 || *size > ctx_.reader.Size() - ctx_.reader.Cursor()) {
    support::LogWrite("ZefImport::ReadZEF(): trying to read behind buffer!", support::LOG_ERROR);
    return false;
  }
  data_ = static_cast<uint8_t*>(ctx_.heap.MemAlloc(static_cast<std::size_t>(*size)));
  if (!data_) return false;
  size_ = static_cast<std::size_t>(*size);
  return ctx_.reader.Read(data_, size_);
}

std::string TextAt(std::span<const uint8_t> part, std::size_t offset, std::size_t max) {
  if (offset >= part.size()) return {};
  std::size_t end = offset;
  while (end < part.size() && end - offset < max && part[end] != 0) ++end;
  return std::string(reinterpret_cast<const char*>(part.data() + offset), end - offset);
}

LogIndent::LogIndent(int delta) : delta_(delta) {
  support::LogSetIndent(support::LogGetIndent(nullptr) + delta, ' ');
}
LogIndent::~LogIndent() { support::LogSetIndent(support::LogGetIndent(nullptr) - delta_, ' '); }

}  // namespace vorlan::zefimport
