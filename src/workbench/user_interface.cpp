#include "workbench/user_interface.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

#include "host/paramblock.h"

namespace vorlan::workbench {

using host::Answer;
using host::Buttons;
using host::ControlKind;
using host::DialogControl;
using host::DialogModel;

host::Answer PolicyAnswer(AnswerPolicy policy, Buttons buttons) {
  bool yesNo = buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel;
  switch (policy) {
    case AnswerPolicy::Default:
    case AnswerPolicy::Yes:
      return yesNo ? Answer::Yes : Answer::Ok;
    case AnswerPolicy::No:
      if (yesNo) return Answer::No;
      return buttons == Buttons::OkCancel ? Answer::Cancel : Answer::Ok;
  }
  return Answer::Ok;
}

host::Answer PolicyAnswer(AnswerPolicy policy, const host::MessageBoxRequest& request) {
  if (policy == AnswerPolicy::Default && request.destroysData) policy = AnswerPolicy::No;
  return PolicyAnswer(policy, request.buttons);
}

int DefaultButton(const DialogModel& model) {
  const DialogControl* first = nullptr;
  for (const auto& c : model.controls) {
    if (c.kind != ControlKind::Button) continue;
    if (c.id == kIdOkButton || c.id == kIdOk || host::EqualsNoCase(c.label, "OK")) return c.id;
    if (!first) first = &c;
  }
  return first ? first->id : kIdOk;
}

const char* AnswerName(Answer a) {
  switch (a) {
    case Answer::Ok:
      return "OK";
    case Answer::Cancel:
      return "Cancel";
    case Answer::Yes:
      return "Yes";
    case Answer::No:
      return "No";
  }
  return "?";
}

namespace {

std::string Trim(std::string s) {
  auto notSpace = [](unsigned char c) { return !std::isspace(c); };
  s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
  s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The buttons a message box offers, with the letters the console accepts for them.
std::vector<Answer> Offered(Buttons b) {
  switch (b) {
    case Buttons::Ok:
      return {Answer::Ok};
    case Buttons::OkCancel:
      return {Answer::Ok, Answer::Cancel};
    case Buttons::YesNo:
      return {Answer::Yes, Answer::No};
    case Buttons::YesNoCancel:
      return {Answer::Yes, Answer::No, Answer::Cancel};
  }
  return {Answer::Ok};
}

std::optional<Answer> ParseAnswer(const std::string& line, const std::vector<Answer>& offered) {
  std::string l = Lower(Trim(line));
  if (l.empty()) return std::nullopt;
  for (Answer a : offered) {
    std::string name = Lower(AnswerName(a));
    if (l == name || l[0] == name[0]) return a;
  }
  return std::nullopt;
}

bool Editable(const DialogControl& c) {
  if (!c.enabled || c.readOnly) return false;
  switch (c.kind) {
    case ControlKind::Edit:
    case ControlKind::MultiLineEdit:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
    case ControlKind::ListBox:
    case ControlKind::ComboBox:
      return true;
    default:
      return false;
  }
}

// Sets a control from a typed line; false when the line does not fit the control.
bool ApplyLine(DialogControl& c, const std::string& line) {
  switch (c.kind) {
    case ControlKind::Edit:
    case ControlKind::MultiLineEdit: {
      std::string text = line;
      // Typed "\n" stands for a line break in a multi-line edit.
      if (c.kind == ControlKind::MultiLineEdit)
        for (std::size_t p; (p = text.find("\\n")) != std::string::npos;) text.replace(p, 2, "\r\n");
      if (c.maxLength > 0 && text.size() > static_cast<std::size_t>(c.maxLength))
        text.resize(static_cast<std::size_t>(c.maxLength));
      c.text = text;
      return true;
    }
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: {
      std::string l = Lower(Trim(line));
      if (l == "1" || l == "y" || l == "yes" || l == "on" || l == "x")
        c.value = 1;
      else if (l == "0" || l == "n" || l == "no" || l == "off")
        c.value = 0;
      else
        return false;
      return true;
    }
    case ControlKind::ListBox:
    case ControlKind::ComboBox: {
      std::string l = Trim(line);
      for (std::size_t i = 0; i < c.items.size(); ++i)
        if (c.items[i] == l) {
          c.value = static_cast<int>(i);
          return true;
        }
      try {
        std::size_t used = 0;
        int v = std::stoi(l, &used);
        if (used != l.size() || v < 0 || static_cast<std::size_t>(v) >= c.items.size()) return false;
        c.value = v;
        return true;
      } catch (...) {
        return false;
      }
    }
    default:
      return false;
  }
}

std::string ControlState(const DialogControl& c) {
  switch (c.kind) {
    case ControlKind::Edit:
    case ControlKind::MultiLineEdit:
      return c.text;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      return c.value ? "on" : "off";
    case ControlKind::ListBox:
    case ControlKind::ComboBox:
      return c.value >= 0 && static_cast<std::size_t>(c.value) < c.items.size()
                 ? c.items[static_cast<std::size_t>(c.value)]
                 : std::string();
    default:
      return {};
  }
}

// A modeless window shown as one progress line: the window's title, the texts the plug-in
// set, and a bar for the first progress control.
class ConsoleWindow : public host::ModelessWindow {
 public:
  ConsoleWindow(const DialogModel& model, std::ostream& out, std::shared_ptr<std::mutex> outMutex,
                bool enabled, bool terminal, std::chrono::milliseconds interval)
      : model_(model),
        out_(out),
        outMutex_(std::move(outMutex)),
        enabled_(enabled),
        terminal_(terminal),
        interval_(interval) {}

  ~ConsoleWindow() override {
    std::lock_guard lock(mutex_);
    if (!enabled_) return;
    Render(true);
    if (terminal_ && printed_) {
      std::lock_guard outLock(*outMutex_);
      out_ << '\n' << std::flush;
    }
  }

  void SetTitle(const std::string& title) override {
    std::lock_guard lock(mutex_);
    model_.title = title;
    Render(false);
  }
  void SetText(int id, const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (DialogControl* c = model_.Find(id)) {
      c->text = text;
      c->label = text;
    }
    Render(false);
  }
  void SetRange(int id, int min, int max) override {
    std::lock_guard lock(mutex_);
    if (DialogControl* c = model_.Find(id)) {
      c->rangeMin = min;
      c->rangeMax = max;
    }
    Render(false);
  }
  void SetPos(int id, int pos) override {
    std::lock_guard lock(mutex_);
    if (DialogControl* c = model_.Find(id)) c->value = pos;
    Render(false);
  }
  void Show(bool visible) override {
    std::lock_guard lock(mutex_);
    visible_ = visible;
    if (visible) Render(true);
  }

 private:
  std::string Line() const {
    std::ostringstream s;
    s << model_.title;
    for (const auto& c : model_.controls)
      if (c.kind == ControlKind::Static && c.id != 0 && c.id != -1 && !c.label.empty()) s << " | " << c.label;
    for (const auto& c : model_.controls) {
      if (c.kind != ControlKind::ProgressBar) continue;
      long long span = static_cast<long long>(c.rangeMax) - c.rangeMin;
      long long done = static_cast<long long>(c.value) - c.rangeMin;
      int pct = span > 0 ? static_cast<int>(std::clamp(done * 100 / span, 0LL, 100LL)) : 0;
      constexpr int kWidth = 30;
      int fill = pct * kWidth / 100;
      s << " [" << std::string(static_cast<std::size_t>(fill), '#')
        << std::string(static_cast<std::size_t>(kWidth - fill), ' ') << "] " << pct << '%';
      break;  // one bar is enough on a console line
    }
    return s.str();
  }

  // Called with mutex_ held.
  void Render(bool force) {
    if (!enabled_ || !visible_) return;
    auto now = std::chrono::steady_clock::now();
    if (!force && printed_ && now - last_ < interval_) return;
    std::string line = Line();
    if (line == lastLine_ && printed_) return;
    last_ = now;
    lastLine_ = line;
    printed_ = true;
    std::lock_guard outLock(*outMutex_);
    if (terminal_)
      out_ << '\r' << line << "\033[K" << std::flush;
    else
      out_ << line << '\n' << std::flush;
  }

  std::mutex mutex_;
  DialogModel model_;
  std::ostream& out_;
  std::shared_ptr<std::mutex> outMutex_;
  bool enabled_;
  bool terminal_;
  std::chrono::milliseconds interval_;
  bool visible_ = true;
  bool printed_ = false;
  std::chrono::steady_clock::time_point last_{};
  std::string lastLine_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// ConsoleUI

ConsoleUI::ConsoleUI(ConsoleOptions options) : ConsoleUI(options, std::cerr, std::cin) {
  terminal_ = isatty(STDERR_FILENO) != 0;
}

ConsoleUI::ConsoleUI(ConsoleOptions options, std::ostream& err, std::istream& in)
    : options_(options), err_(err), in_(in), outMutex_(std::make_shared<std::mutex>()) {}

std::optional<std::string> ConsoleUI::ReadLine(const std::string& prompt) {
  {
    std::lock_guard lock(*outMutex_);
    err_ << prompt << std::flush;
  }
  std::string line;
  if (!std::getline(in_, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

Answer ConsoleUI::MessageBox(const host::MessageBoxRequest& request) {
  {
    std::lock_guard lock(*outMutex_);
    err_ << '[' << request.caption << "] " << request.text << '\n';
  }
  Answer answer = PolicyAnswer(options_.policy, request);
  std::vector<Answer> offered = Offered(request.buttons);
  if (offered.size() > 1) {
    if (options_.interactive) {
      std::string choices;
      for (Answer a : offered) choices += std::string(choices.empty() ? "" : "/") + AnswerName(a);
      for (;;) {
        auto line = ReadLine("  " + choices + "? ");
        if (!line) break;  // end of input: the policy decides
        if (auto a = ParseAnswer(*line, offered)) {
          answer = *a;
          break;
        }
      }
    }
    std::lock_guard lock(*outMutex_);
    err_ << "  -> " << AnswerName(answer) << '\n';
  }
  err_.flush();
  return answer;
}

void ConsoleUI::EditControlsInteractively(DialogModel& model) {
  for (auto& c : model.controls) {
    if (!Editable(c)) continue;
    std::string prompt = "  " + (c.label.empty() ? "#" + std::to_string(c.id) : c.label);
    if (!c.items.empty()) {
      prompt += " (";
      for (std::size_t i = 0; i < c.items.size(); ++i) prompt += (i ? ", " : "") + c.items[i];
      prompt += ")";
    }
    prompt += " [" + ControlState(c) + "]: ";
    for (;;) {
      auto line = ReadLine(prompt);
      if (!line || line->empty() || ApplyLine(c, *line)) break;
    }
  }
}

int ConsoleUI::RunModal(DialogModel& model) {
  {
    std::lock_guard lock(*outMutex_);
    err_ << '[' << model.title << "]\n";
    for (const auto& c : model.controls)
      if (c.kind == ControlKind::Static && !c.label.empty()) err_ << "  " << c.label << '\n';
  }
  int result = DefaultButton(model);
  if (options_.interactive) {
    EditControlsInteractively(model);
    std::vector<const DialogControl*> buttons;
    for (const auto& c : model.controls)
      if (c.kind == ControlKind::Button && c.enabled) buttons.push_back(&c);
    if (buttons.size() > 1) {
      std::string choices;
      for (auto* b : buttons) choices += (choices.empty() ? "" : "/") + b->label;
      for (;;) {
        auto line = ReadLine("  " + choices + "? ");
        if (!line) break;
        std::string l = Trim(*line);
        if (l.empty()) break;
        auto hit = std::find_if(buttons.begin(), buttons.end(),
                                [&](const DialogControl* b) { return host::EqualsNoCase(b->label, l); });
        if (hit != buttons.end()) {
          result = (*hit)->id;
          break;
        }
      }
    }
  }
  model.result = result;
  std::lock_guard lock(*outMutex_);
  const DialogControl* pressed = model.Find(result);
  err_ << "  -> " << (pressed && !pressed->label.empty() ? pressed->label : std::to_string(result)) << '\n'
       << std::flush;
  return result;
}

std::unique_ptr<host::ModelessWindow> ConsoleUI::OpenModeless(const DialogModel& model) {
  bool enabled = options_.progress.value_or(terminal_);
  return std::make_unique<ConsoleWindow>(model, err_, outMutex_, enabled, terminal_,
                                         options_.progressInterval);
}

std::optional<std::string> ConsoleUI::PickFile(const host::FilePickerRequest& request) {
  {
    std::lock_guard lock(*outMutex_);
    err_ << '[' << request.title << "] " << (request.save ? "save" : "open") << " file (" << request.filter
         << ")\n";
  }
  std::optional<std::string> path;
  if (options_.policy != AnswerPolicy::No && !request.initialPath.empty()) path = request.initialPath;
  if (options_.interactive) {
    auto line = ReadLine("  path [" + request.initialPath + "]: ");
    if (line && !Trim(*line).empty()) path = Trim(*line);
  }
  std::lock_guard lock(*outMutex_);
  err_ << "  -> " << (path ? *path : std::string("(cancelled)")) << '\n' << std::flush;
  return path;
}

std::optional<std::string> ConsoleUI::PickFolder(const std::string& title) {
  {
    std::lock_guard lock(*outMutex_);
    err_ << '[' << title << "] choose a folder\n";
  }
  std::optional<std::string> path;
  if (options_.interactive) {
    auto line = ReadLine("  folder: ");
    if (line && !Trim(*line).empty()) path = Trim(*line);
  }
  std::lock_guard lock(*outMutex_);
  err_ << "  -> " << (path ? *path : std::string("(cancelled)")) << '\n' << std::flush;
  return path;
}

void ConsoleUI::ShowRollups(const std::vector<const DialogModel*>& pages) {
  std::lock_guard lock(*outMutex_);
  for (const DialogModel* page : pages) {
    err_ << "[" << page->title << "]";
    for (const auto& c : page->controls)
      if (c.kind == ControlKind::Button || c.kind == ControlKind::CheckBox)
        err_ << " <" << c.label << (c.enabled ? "" : " (disabled)") << ">";
    err_ << '\n';
  }
  err_.flush();
}

// ---------------------------------------------------------------------------------------
// ScriptedUI

class ScriptedWindow : public host::ModelessWindow {
 public:
  ScriptedWindow(std::shared_ptr<ModelessRecord> record, std::shared_ptr<std::mutex> mutex)
      : record_(std::move(record)), mutex_(std::move(mutex)) {}
  ~ScriptedWindow() override {
    Add({.kind = ModelessEvent::Kind::Close}, [](ModelessRecord& r) { r.closed = true; });
  }

  void SetTitle(const std::string& title) override {
    Add({.kind = ModelessEvent::Kind::Title, .text = title},
        [&](ModelessRecord& r) { r.model.title = title; });
  }
  void SetText(int id, const std::string& text) override {
    Add({.kind = ModelessEvent::Kind::Text, .controlId = id, .text = text}, [&](ModelessRecord& r) {
      if (auto* c = r.model.Find(id)) c->text = c->label = text;
    });
  }
  void SetRange(int id, int min, int max) override {
    Add({.kind = ModelessEvent::Kind::Range, .controlId = id, .a = min, .b = max}, [&](ModelessRecord& r) {
      if (auto* c = r.model.Find(id)) {
        c->rangeMin = min;
        c->rangeMax = max;
      }
    });
  }
  void SetPos(int id, int pos) override {
    Add({.kind = ModelessEvent::Kind::Pos, .controlId = id, .a = pos}, [&](ModelessRecord& r) {
      if (auto* c = r.model.Find(id)) c->value = pos;
    });
  }
  void Show(bool visible) override {
    Add({.kind = ModelessEvent::Kind::Show, .a = visible ? 1 : 0},
        [&](ModelessRecord& r) { r.visible = visible; });
  }

 private:
  template <typename Fn>
  void Add(ModelessEvent e, Fn&& apply) {
    std::lock_guard lock(*mutex_);
    record_->events.push_back(std::move(e));
    apply(*record_);
  }
  std::shared_ptr<ModelessRecord> record_;
  std::shared_ptr<std::mutex> mutex_;
};

void ScriptedUI::QueueAnswer(Answer answer) {
  std::lock_guard lock(mutex);
  answerQueue_.push_back(answer);
}

void ScriptedUI::QueueDialog(DialogScript script) {
  std::lock_guard lock(mutex);
  dialogQueue_.push_back(std::move(script));
}

void ScriptedUI::QueuePath(std::optional<std::string> path) {
  std::lock_guard lock(mutex);
  pathQueue_.push_back(std::move(path));
}

Answer ScriptedUI::MessageBox(const host::MessageBoxRequest& request) {
  std::lock_guard lock(mutex);
  Answer a = PolicyAnswer(AnswerPolicy::Default, request.buttons);
  // Only questions take queued answers: a plain notice cannot be answered otherwise.
  if (request.buttons != host::Buttons::Ok && !answerQueue_.empty()) {
    a = answerQueue_.front();
    answerQueue_.pop_front();
  }
  messages.push_back(request);
  answers.push_back(a);
  return a;
}

int ScriptedUI::RunModal(DialogModel& model) {
  DialogScript script;
  {
    std::lock_guard lock(mutex);
    if (!dialogQueue_.empty()) {
      script = std::move(dialogQueue_.front());
      dialogQueue_.pop_front();
    }
  }
  // The script runs unlocked: it may itself inspect the record.
  model.result = 0;
  if (script) script(model);
  if (model.result == 0) model.result = DefaultButton(model);
  std::lock_guard lock(mutex);
  dialogs.push_back(model);
  return model.result;
}

std::unique_ptr<host::ModelessWindow> ScriptedUI::OpenModeless(const DialogModel& model) {
  auto record = std::make_shared<ModelessRecord>();
  record->model = model;
  {
    std::lock_guard lock(*windowMutex_);
    windows_.push_back(record);
  }
  return std::make_unique<ScriptedWindow>(record, windowMutex_);
}

std::optional<std::string> ScriptedUI::PickFile(const host::FilePickerRequest& request) {
  std::lock_guard lock(mutex);
  filePickers.push_back(request);
  if (pathQueue_.empty()) return std::nullopt;
  auto p = std::move(pathQueue_.front());
  pathQueue_.pop_front();
  return p;
}

std::optional<std::string> ScriptedUI::PickFolder(const std::string& title) {
  std::lock_guard lock(mutex);
  folderPickers.push_back(title);
  if (pathQueue_.empty()) return std::nullopt;
  auto p = std::move(pathQueue_.front());
  pathQueue_.pop_front();
  return p;
}

void ScriptedUI::Beep(host::Icon sound) {
  std::lock_guard lock(mutex);
  beeps.push_back(sound);
}

void ScriptedUI::ShowRollups(const std::vector<const DialogModel*>& pages) {
  std::lock_guard lock(mutex);
  rollups.clear();
  for (const DialogModel* page : pages) rollups.push_back(*page);
}

std::vector<ModelessRecord> ScriptedUI::Windows() const {
  std::lock_guard lock(*windowMutex_);
  std::vector<ModelessRecord> out;
  for (const auto& w : windows_) out.push_back(*w);
  return out;
}

std::size_t ScriptedUI::PendingAnswers() const {
  std::lock_guard lock(mutex);
  return answerQueue_.size();
}

}  // namespace vorlan::workbench
