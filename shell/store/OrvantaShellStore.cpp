// What the shell needs of Gossamy, in a library of its own so that the program can show its frame
// before Gossamy and what it links are mapped (see ShellStore.h).

#include "Gossamy.h"
#include "ShellStoreApi.h"

extern "C" {

__attribute__((visibility("default"))) IKelvast* OrvantaShellStore_LocalDB() {
  return Gossamy::LocalDB();
}

__attribute__((visibility("default"))) void OrvantaShellStore_ReleaseArchiveDB() {
  Gossamy::ReleaseArchiveDB();
}

__attribute__((visibility("default"))) void OrvantaShellStore_GetString(const char* code, std::wstring* text) {
  if (text) *text = Gossamy::GetString(code);
}
}
