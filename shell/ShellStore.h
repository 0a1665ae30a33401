#pragma once

#include <string>

class IKelvast;
struct WebError;

// The shell's way to Gossamy. Gossamy brings the DICOM toolkit and the database with it, which
// take longer to map than the whole window layer; so the program does not link it, and reaches
// the store and the service's message texts through libOrvantaShellStore.so, opened on first use
// (the frame opens it on a worker once it is on screen). Plug-ins link Gossamy themselves and
// share the same one. Any thread.
namespace ShellStore {

// Opens the library now; false when it cannot be (the reason goes to stderr), and every call
// below then answers as an empty store would.
bool Load();

// Gossamy::LocalDB; null without the library.
IKelvast* LocalDB();
// Gossamy::ReleaseArchiveDB, when this process ever mapped Gossamy (else there is nothing to
// release, and the library is not opened for it).
void ReleaseArchiveDB();
// Gossamy::GetString: the message of a service error code, the code itself when unknown.
std::wstring GetString(const WebError& error);

// The user's values under HKCU "Software\Orvanta", as Gossamy::ReadHKCU / WriteHKCU keep them.
bool ReadHKCU(const char* name, std::string& value);
bool WriteHKCU(const char* name, const char* value);

}  // namespace ShellStore
