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

// The local port on which an order's node delivers its storage commitment answer when it sends
// it on an association of its own, as standard archives do (the node must list this station's
// AE title at that port); 0, the default, takes the answer on the request's association, as the
// consultation service's nodes give it. Any thread.
int CommitAnswerPort();
void SetCommitAnswerPort(int port);

}  // namespace RemoteSession
