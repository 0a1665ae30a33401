#pragma once

#include "JorvelRecords.h"

class IHalvex;

// What the plug-in shares across its objects: the user record copied at login and the one
// network store every order transfers through.
namespace RemoteSession {

// A copy of the user the plug-in works for; empty when logged out. Any thread.
JorvelUserInfo CurrentUser();
void SetCurrentUser(const JorvelUserInfo& user);

// Created on first use and kept for the life of the process.
IHalvex* NetworkStore();

}  // namespace RemoteSession
