// The exporter's own windows: the "ZEF Exporter Config" options dialog and the progress
// window that runs on a thread of its own.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/interface.h"
#include "zef/progress.h"
#include "zefexport/export_context.h"

namespace vorlan::zefexport {

// Control ids of the options dialog.
enum ConfigDialogId : int {
  IDC_SMOOTH_WHOLE = 1000,
  IDC_OK = 1001,
  IDC_CANCEL = 1002,
  IDC_RESMOOTH_SINGLE = 1029,
  IDC_DISTINGUISH_LODS = 1030,
  IDC_USER_NAME = 1031,
  IDC_COMMENT = 1032,
};

// Control ids of the progress window.
enum ProgressDialogId : int {
  IDC_ABORT = 1022,
  IDC_PROGRESS_NODES = 1023,
  IDC_NODE_TEXT = 1024,
  IDC_OPERATION_TEXT = 1025,
  IDC_PROGRESS_BYTES = 1027,
};

host::DialogModel MakeConfigDialog(const std::string& userText, const ExportOptions& options);

// Shows the options dialog. Returns false when the user cancelled; on OK the options and
// the comment take the dialog's values (an empty comment clears it).
bool RunConfigDialog(host::Interface& ip, const std::string& userText, ExportOptions& options,
                     std::string& comment, bool& hasComment);

// The progress window. The window is created on the progress thread, which then waits
// until the export closes it; the exporting thread waits for the window before it goes on
// and updates it through the host's thread-safe window calls. Closing is idempotent and
// happens on every exit path (destructor).
class ProgressWindow : public zef::ExportProgress {
 public:
  ProgressWindow(host::UserInterface& ui, int nodeCount, const std::string& title);
  ~ProgressWindow() override;
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  void SetStep(const char* node, const char* operation, int barPos) override;
  void SetBar2(int rangeMin, int rangeMax, int pos) override;
  void Close();

 private:
  void Run(int nodeCount);

  host::UserInterface& ui_;
  std::unique_ptr<host::ModelessWindow> window_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> closing_{false};
  std::mutex mutex_;
  std::thread thread_;
  int bar2Min_ = 0, bar2Max_ = 100;
};

}  // namespace vorlan::zefexport
