#pragma once

#include <string>

// The account of the last successful login, kept under the user's registry key: UserName,
// Password and AutoLogin ("true"/"false"). The password is never stored in plain text: it is
// sealed with AES-256-GCM under a random per-user key kept in a 0600 file beside the registry
// file ("account.key"). Safe from any thread (the registry serialises its writers).
namespace SOAccountStore {

std::string UserName();
// The stored password, opened; empty when none is stored or it cannot be opened.
std::string Password();
bool AutoLogin();

// After a successful login: the user name, the password when `remember` (else empty) and
// AutoLogin = remember.
bool Save(const std::string& userName, const std::string& password, bool remember);
// "true" or "false", at once (the login dialog's option).
bool SetAutoLogin(bool on);
// AutoLogin reads exactly "true" and both the user name and the password are non-empty.
bool AutoLoginAllowed();

// The sealed form of a text ("" for ""), and back; Open gives "" for anything it cannot open.
std::string Seal(const std::string& plain);
std::string Open(const std::string& sealed);

}  // namespace SOAccountStore
