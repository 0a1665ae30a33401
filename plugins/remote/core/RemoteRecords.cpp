#include "RemoteRecords.h"

#include <cstdlib>

namespace RemoteRecords {

namespace {

std::string FirstNonEmpty(std::initializer_list<const std::string*> texts) {
  for (const std::string* text : texts) {
    if (!text->empty()) return *text;
  }
  return std::string();
}

float DecimalOrZero(const std::string& text) {
  if (text.empty()) return 0.0f;
  char* end = nullptr;
  float value = std::strtof(text.c_str(), &end);
  return end == text.c_str() ? 0.0f : value;
}

}  // namespace

std::string DisplayName(const MemberRecord& member) {
  return FirstNonEmpty({&member.signedName, &member.user.nickName, &member.user.userName});
}

std::string DisplayName(const TeamListEntry& entry) {
  return FirstNonEmpty({&entry.signedName, &entry.user.nickName, &entry.user.userName});
}

std::string DisplayName(const JorvelUserInfo& user) {
  return FirstNonEmpty({&user.nickName, &user.userName, &user.userID});
}

bool NeedsRecharge(const TeamRecord& team) {
  return team.chargeMode == "PAID" && DecimalOrZero(team.platformFee) > DecimalOrZero(team.totalAmount);
}

int RemoteStateOf(const std::string& webState) {
  if (webState == "NEW") return 1;
  if (webState == "WAITING" || webState == "PROCESSING" || webState == "REPORTED") return 2;
  if (webState == "CANCELLED" || webState == "REJECTED" || webState == "FAILED") return 4;
  return 3;
}

bool IsSafeAETitle(const std::string& aeTitle) {
  if (aeTitle.empty() || aeTitle.size() > 16) return false;
  for (unsigned char c : aeTitle) {
    if (c < 0x20 || c > 0x7e || c == '\\' || c == '/' || c == ':') return false;
  }
  return aeTitle != "." && aeTitle.find("..") == std::string::npos;
}

}  // namespace RemoteRecords
