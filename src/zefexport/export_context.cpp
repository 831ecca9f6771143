#include "zefexport/export_context.h"

namespace vorlan::zefexport {

void InstanceList::Note(const void* ref) {
  auto it = index_.find(ref);
  if (it == index_.end()) {
    index_.emplace(ref, entries_.size());
    entries_.push_back({ref, 0, false});
    return;
  }
  InstanceEntry& e = entries_[it->second];
  if (e.number == 0) e.number = ++highest_;
}

InstanceEntry* InstanceList::Find(const void* ref) {
  auto it = index_.find(ref);
  return it == index_.end() ? nullptr : &entries_[it->second];
}

}  // namespace vorlan::zefexport
