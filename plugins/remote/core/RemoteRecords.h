#pragma once

#include <string>

#include "JorvelRecords.h"

// Reading rules for the service's team, member and user records.
namespace RemoteRecords {

// signedName, else the user's nickName, else the userName; empty when all three are.
std::string DisplayName(const MemberRecord& member);
std::string DisplayName(const TeamListEntry& entry);
// A bare user: nickName, else userName, else userID.
std::string DisplayName(const JorvelUserInfo& user);

// A paid team whose platform fee is above its balance. Texts that are not numbers read as 0.
bool NeedsRecharge(const TeamRecord& team);

// The study column remoteState an order's web state gives: NEW 1; WAITING, PROCESSING,
// REPORTED 2; CANCELLED, REJECTED, FAILED 4; every other text 3.
int RemoteStateOf(const std::string& webState);

// An AE title usable as a store name: 1-16 printable characters, no path separators, no "..".
bool IsSafeAETitle(const std::string& aeTitle);

}  // namespace RemoteRecords
