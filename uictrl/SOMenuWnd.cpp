#include "Zarnet.h"

int MenuBoxUI(DuiLib::CControlUI* owner, const wchar_t* skin, POINT point) {
  if (!owner) return 0;
  // The menu deletes itself at its final message, also when its window cannot be created.
  auto* menu = new SOMenuWnd;
  menu->Init(owner, skin, point);
  return 0;
}
