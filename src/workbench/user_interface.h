// Two ways the workbench shows what plug-ins ask of the user.
//
// ConsoleUI prints message boxes and dialogs on an error stream and answers them by a policy
// (the command line's --yes / --no), or reads the answers from an input stream when it runs
// interactively. Modeless windows become a progress line.
//
// ScriptedUI is for tests: answers come from queues, and everything shown is recorded so a
// test can assert the exact texts.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/ui.h"

namespace vorlan::workbench {

enum class AnswerPolicy { Default, Yes, No };

// Ids of the button that closes a dialog as "OK": the host's own id and the plug-ins' one.
inline constexpr int kIdOk = 1;
inline constexpr int kIdOkButton = 1001;

// The answer a policy gives to a message box: Default takes the first button (Ok or Yes),
// Yes takes Ok or Yes, No takes No, or Cancel when there is no No (an Ok-only box is Ok).
host::Answer PolicyAnswer(AnswerPolicy policy, host::Buttons buttons);
// The same for a whole request: Default answers a question that destroys data like No.
host::Answer PolicyAnswer(AnswerPolicy policy, const host::MessageBoxRequest& request);
// The id of the button that closes a dialog as "OK": the first button whose id is 1001 or
// 1 or whose label is "OK"; otherwise the first button; 1 when there is no button at all.
int DefaultButton(const host::DialogModel& model);
const char* AnswerName(host::Answer a);

struct ConsoleOptions {
  AnswerPolicy policy = AnswerPolicy::Default;
  // Questions, dialogs and pickers are answered from the input stream.
  bool interactive = false;
  // Progress lines of modeless windows: on, off, or (unset) only when the error stream is
  // the process's standard error and that is a terminal.
  std::optional<bool> progress;
  // Minimum time between two progress lines; the final state is always printed.
  std::chrono::milliseconds progressInterval{100};
};

class ConsoleUI : public host::UserInterface {
 public:
  // Writes to standard error and reads standard input.
  explicit ConsoleUI(ConsoleOptions options = {});
  // Streams are borrowed and must outlive the UI and every window it opened.
  ConsoleUI(ConsoleOptions options, std::ostream& err, std::istream& in);

  host::Answer MessageBox(const host::MessageBoxRequest& request) override;
  int RunModal(host::DialogModel& model) override;
  std::unique_ptr<host::ModelessWindow> OpenModeless(const host::DialogModel& model) override;
  std::optional<std::string> PickFile(const host::FilePickerRequest& request) override;
  std::optional<std::string> PickFolder(const std::string& title) override;
  // Prints each page's title and its buttons.
  void ShowRollups(const std::vector<const host::DialogModel*>& pages) override;

  const ConsoleOptions& Options() const { return options_; }
  void SetPolicy(AnswerPolicy policy) { options_.policy = policy; }

 private:
  // A line from the input, or nothing at its end.
  std::optional<std::string> ReadLine(const std::string& prompt);
  void EditControlsInteractively(host::DialogModel& model);

  ConsoleOptions options_;
  std::ostream& err_;
  std::istream& in_;
  bool terminal_ = false;
  // Output may come from a plug-in's worker thread and the UI thread at once.
  std::shared_ptr<std::mutex> outMutex_;
};

// What a test sees of one modeless window.
struct ModelessEvent {
  enum class Kind { Title, Text, Range, Pos, Show, Close };
  Kind kind;
  int controlId = 0;
  std::string text;
  int a = 0, b = 0;  // range min/max; position in a; Show: 1 visible, 0 hidden
};

struct ModelessRecord {
  host::DialogModel model;  // as opened, then kept up to date by the window's calls
  std::vector<ModelessEvent> events;
  bool visible = true;
  bool closed = false;  // the plug-in destroyed the window
};

class ScriptedUI : public host::UserInterface {
 public:
  using DialogScript = std::function<void(host::DialogModel&)>;

  // Answers in the order the questions come. Message boxes with only an OK button take no
  // answer from the queue. A message box without a queued answer gets the Default policy's answer; a dialog
  // without a queued script closes with its OK button; a picker without a queued path is cancelled.
  void QueueAnswer(host::Answer answer);
  // The script edits the controls and sets `result`; a result left at 0 means the OK button.
  void QueueDialog(DialogScript script);
  void QueuePath(std::optional<std::string> path);

  host::Answer MessageBox(const host::MessageBoxRequest& request) override;
  int RunModal(host::DialogModel& model) override;
  std::unique_ptr<host::ModelessWindow> OpenModeless(const host::DialogModel& model) override;
  std::optional<std::string> PickFile(const host::FilePickerRequest& request) override;
  std::optional<std::string> PickFolder(const std::string& title) override;
  void Beep(host::Icon sound) override;
  void ShowRollups(const std::vector<const host::DialogModel*>& pages) override;

  // Snapshots, safe while plug-in threads are still updating windows.
  std::vector<ModelessRecord> Windows() const;
  std::size_t PendingAnswers() const;

  // What was shown, in order. Read them once the plug-in call has returned (or lock `mutex`).
  std::vector<host::MessageBoxRequest> messages;
  std::vector<host::Answer> answers;       // one per message
  std::vector<host::DialogModel> dialogs;  // as they were closed
  std::vector<host::FilePickerRequest> filePickers;
  std::vector<std::string> folderPickers;
  std::vector<host::Icon> beeps;
  std::vector<host::DialogModel> rollups;  // the pages as last shown
  mutable std::mutex mutex;

 private:
  friend class ScriptedWindow;
  std::deque<host::Answer> answerQueue_;
  std::deque<DialogScript> dialogQueue_;
  std::deque<std::optional<std::string>> pathQueue_;
  std::vector<std::shared_ptr<ModelessRecord>> windows_;
  // A window may outlive the UI, so its record and this lock are shared with it.
  std::shared_ptr<std::mutex> windowMutex_ = std::make_shared<std::mutex>();
};

}  // namespace vorlan::workbench
