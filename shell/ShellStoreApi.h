#pragma once

#include <string>

class IKelvast;

// The entry points of libOrvantaShellStore.so (shell/store), looked up by name.
extern "C" {
IKelvast* OrvantaShellStore_LocalDB();
void OrvantaShellStore_ReleaseArchiveDB();
void OrvantaShellStore_GetString(const char* code, std::wstring* text);
}

inline constexpr const char* kShellStoreLibrary = "libOrvantaShellStore.so";
