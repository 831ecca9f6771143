// vorlan-workbench [SCENE] [--screenshot OUT.png] [--shoteditor FILE.shd | --mapwright NODE]
//                  [--plugin-dir DIR] [--config-dir DIR] [--log-dir DIR]
//
// The workbench as a window. With --screenshot it draws the window once, saves the picture
// and exits, which is how the documentation's pictures are made and how a bug report shows
// what the user saw; it needs no display when QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <iostream>

#include "desktop/workbench_app.h"
#include "support/process_heap.h"

int main(int argc, char** argv) {
  vorlan::support::ReturnFreedHeapPromptly();
  QApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  return vorlan::desktop::RunWorkbenchApp(args, std::cerr);
}
