#include "ShellInvoker.h"

DuiLib::CInvoke& UiInvoker() {
  static DuiLib::CInvoke* invoker = new DuiLib::CInvoke;  // workers may use it until the process ends
  return *invoker;
}

SOWorkers& ShellWorkers() {
  static SOWorkers* workers = new SOWorkers;  // lives as long as the threads it counts
  return *workers;
}
