#include "workbench/utilities_panel.h"

#include <algorithm>

#include "host/paramblock.h"

namespace vorlan::workbench {

class UtilitiesPanel::Page final : public host::RollupPage {
 public:
  Page(UtilitiesPanel& panel, const host::DialogModel& model, host::RollupHandler& handler)
      : panel_(panel), model_(model), handler_(handler) {}

  host::DialogModel& Model() override { return model_; }
  void Update() override {
    if (!dead) panel_.ShowPages();
  }

  host::RollupHandler& Handler() { return handler_; }
  // Deleted by its utility while one of its handlers ran; removed once that returns.
  bool dead = false;

 private:
  UtilitiesPanel& panel_;
  host::DialogModel model_;
  host::RollupHandler& handler_;
};

UtilitiesPanel::UtilitiesPanel(host::Interface& ip) : ip_(ip) {}

UtilitiesPanel::~UtilitiesPanel() {
  handlerDepth_ = 0;
  Close();
}

std::vector<const LoadedClass*> UtilitiesPanel::List(std::string_view category) const {
  std::vector<const LoadedClass*> out;
  if (!plugins_) return out;
  for (const LoadedClass* c : plugins_->BySuperClass(host::kUtilityClass))
    if (category.empty() || c->category == category) out.push_back(c);
  return out;
}

std::vector<std::string> UtilitiesPanel::Categories() const {
  std::vector<std::string> out;
  for (const LoadedClass* c : List("")) out.push_back(c->category);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

bool UtilitiesPanel::Open(std::string_view className) {
  const LoadedClass* found = nullptr;
  for (const LoadedClass* c : List(""))
    if (host::EqualsNoCase(c->className, className)) {
      found = c;
      break;
    }
  if (!found) return false;
  Close();
  utility_ = plugins_->CreateUtility(*found);
  if (!utility_) return false;
  current_ = found;
  utility_->BeginEditParams(ip_);
  ShowPages();
  return true;
}

void UtilitiesPanel::Close() {
  if (handlerDepth_ > 0) {
    closeRequested_ = true;
    return;
  }
  closeRequested_ = false;
  if (!utility_) return;
  // Ending may ask questions that re-enter the panel; the utility is gone from it first.
  auto utility = std::move(utility_);
  current_ = nullptr;
  utility->EndEditParams(ip_);
  utility.reset();
  pages_.clear();  // a utility that forgot to delete its pages loses them here
  ShowPages();
}

std::vector<host::RollupPage*> UtilitiesPanel::Pages() const {
  std::vector<host::RollupPage*> out;
  for (const auto& p : pages_)
    if (!p->dead) out.push_back(p.get());
  return out;
}

bool UtilitiesPanel::Press(host::RollupPage& page, int controlId) {
  auto it = std::find_if(pages_.begin(), pages_.end(), [&](const auto& p) { return p.get() == &page; });
  if (it == pages_.end() || (*it)->dead) return false;
  const host::DialogControl* c = page.Model().Find(controlId);
  if (!c || !c->enabled) return false;
  ++handlerDepth_;
  (*it)->Handler().OnRollupCommand(page, controlId);
  FinishHandler();
  return true;
}

bool UtilitiesPanel::Focus(host::RollupPage& page, int controlId, bool gained) {
  auto it = std::find_if(pages_.begin(), pages_.end(), [&](const auto& p) { return p.get() == &page; });
  if (it == pages_.end() || (*it)->dead || !page.Model().Find(controlId)) return false;
  ++handlerDepth_;
  (*it)->Handler().OnRollupFocus(page, controlId, gained);
  FinishHandler();
  return true;
}

bool UtilitiesPanel::Press(std::string_view label) {
  for (host::RollupPage* p : Pages())
    for (const auto& c : p->Model().controls)
      if (c.enabled && c.label == label) return Press(*p, c.id);
  return false;
}

void UtilitiesPanel::FinishHandler() {
  if (--handlerDepth_ > 0) return;
  std::erase_if(pages_, [](const auto& p) { return p->dead; });
  if (closeRequested_) Close();
}

host::RollupPage* UtilitiesPanel::AddPage(const host::DialogModel& model, host::RollupHandler& handler) {
  pages_.push_back(std::make_unique<Page>(*this, model, handler));
  ShowPages();
  return pages_.back().get();
}

void UtilitiesPanel::DeletePage(host::RollupPage* page) {
  auto it = std::find_if(pages_.begin(), pages_.end(), [&](const auto& p) { return p.get() == page; });
  if (it == pages_.end()) return;
  if (handlerDepth_ > 0)
    (*it)->dead = true;
  else
    pages_.erase(it);
  ShowPages();
}

void UtilitiesPanel::RequestClose() { Close(); }

void UtilitiesPanel::ShowPages() {
  std::vector<const host::DialogModel*> models;
  for (host::RollupPage* p : Pages()) models.push_back(&p->Model());
  ip_.UI().ShowRollups(models);
}

}  // namespace vorlan::workbench
