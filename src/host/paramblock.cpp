#include <cctype>

#include "host/animatable.h"
#include "host/paramblock.h"

namespace vorlan::host {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::optional<int> ParamBlock::Find(std::string_view name) const {
  for (int i = 0, n = NumParams(); i < n; ++i)
    if (EqualsNoCase(Def(i).internalName, name)) return i;
  return std::nullopt;
}

ParamRef Animatable::FindParam(std::string_view name) const {
  for (int b = 0, n = NumParamBlocks(); b < n; ++b) {
    ParamBlock* pb = GetParamBlock(b);
    if (!pb) continue;
    if (auto i = pb->Find(name)) return {pb, *i};
  }
  return {};
}

ParamBlock* Animatable::FindParamBlock(std::string_view blockName) const {
  for (int b = 0, n = NumParamBlocks(); b < n; ++b) {
    ParamBlock* pb = GetParamBlock(b);
    if (pb && EqualsNoCase(pb->BlockName(), blockName)) return pb;
  }
  return nullptr;
}

}  // namespace vorlan::host
