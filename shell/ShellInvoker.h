#pragma once

#include <memory>

#include "SOWorkers.h"
#include "UIlib.h"

// The process-wide UI invoker: the main frame binds it to its window; workers and the web
// client's callbacks hand their results to the UI thread through it. Work queued while no frame
// exists, or after it is gone, is dropped.
DuiLib::CInvoke& UiInvoker();

// The shell's worker threads (plug-in loader, login, update check and download, folder
// imports); the main frame waits for them before it releases what they use.
SOWorkers& ShellWorkers();

// Lets work queued for a window's object find out whether that object still lives: the object
// holds the token, the work a weak reference to it.
using AliveToken = std::shared_ptr<int>;
using AliveRef = std::weak_ptr<int>;
inline AliveToken MakeAliveToken() {
  return std::make_shared<int>(0);
}
