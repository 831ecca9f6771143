// Scene notifications and time-change callbacks: how a plug-in that stays open (a utility
// with a window) hears what happens to the scene and to the current time.
#pragma once

#include <string>
#include <vector>

#include "host/ids.h"

namespace vorlan::host {

class Node;

// Notification codes. They are the host's own numbers, which plug-ins register for.
enum NotifyCode : int {
  kNotifySystemPreReset = 5,
  kNotifySystemPostReset = 6,
  kNotifySystemPreNew = 7,
  kNotifySystemPostNew = 8,
  kNotifyFilePreOpen = 9,
  kNotifyFilePostOpen = 10,
  kNotifyFilePreMerge = 11,
  kNotifyFilePostMerge = 12,
  kNotifyNodeRenamed = 30,
  kNotifyNodeCreated = 58,
  kNotifyScenePreDeletedNodes = 70,
  kNotifySystemShutdown = 73,
};

struct NodeNameChange {
  std::string oldName, newName;
};

// What a notification is about; only the member of its code is set.
struct NotifyInfo {
  int code = 0;
  const NodeNameChange* rename = nullptr;     // kNotifyNodeRenamed
  Node* node = nullptr;                       // kNotifyNodeCreated
  const std::vector<Node*>* nodes = nullptr;  // kNotifyScenePreDeletedNodes: every node to go
};

// Called on the host's user-interface thread with the parameter given at registration.
using NotifyProc = void (*)(void* param, const NotifyInfo& info);

// Hears every new current time while it is registered, during playback and when the time
// is set.
class TimeChangeCallback {
 public:
  virtual void TimeChanged(TimeValue t) = 0;

 protected:
  ~TimeChangeCallback() = default;
};

}  // namespace vorlan::host
