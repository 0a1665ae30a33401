#include "Lumexa.h"
#include "SOVisualWindow.h"

ISOVisualCtrl* CreateVisualCtrl() {
  return new SOVisualWindow;
}

void ReleaseVisualCtrl(ISOVisualCtrl* control) {
  delete control;
}
