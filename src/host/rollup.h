// Rollup pages: the panel a utility shows in the host's command panel while it is open.
//
// A page is a DialogModel, so whatever shows the host's dialogs (the console, a test script,
// the desktop) shows the page too and presses its buttons. The host owns the page; the
// plug-in hears presses through its handler.
#pragma once

#include "host/ui.h"

namespace vorlan::host {

class RollupPage {
 public:
  // The controls as they stand. The plug-in may change labels, values and enabled states,
  // then calls Update() so that the host redraws the page.
  virtual DialogModel& Model() = 0;
  virtual void Update() = 0;

 protected:
  ~RollupPage() = default;
};

class RollupHandler {
 public:
  // The user pressed a button or changed a control of the page (the model already holds
  // the new value). The handler may close the utility; the host does so once it returns.
  virtual void OnRollupCommand(RollupPage& page, int controlId) = 0;
  // A control of the page gained or lost the keyboard focus (hosts without focus never call it).
  virtual void OnRollupFocus(RollupPage& /*page*/, int /*controlId*/, bool /*gained*/) {}

 protected:
  ~RollupHandler() = default;
};

}  // namespace vorlan::host
