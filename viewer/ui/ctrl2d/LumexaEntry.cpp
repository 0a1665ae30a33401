#include "Lumexa.h"
#include "SOMainWindow.h"

ISOLumexa* CreateLumexa() {
  return new SOMainWindow;
}

void ReleaseLumexa(ISOLumexa* control) {
  delete control;
}

extern "C" ISOLumexa* CreateLumexa_C() {
  return CreateLumexa();
}

extern "C" void ReleaseLumexa_C(ISOLumexa* control) {
  ReleaseLumexa(control);
}
