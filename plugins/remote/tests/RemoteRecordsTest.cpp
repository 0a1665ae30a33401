#include <gtest/gtest.h>

#include "Link.h"
#include "OrderObject.h"
#include "RemoteRecords.h"
#include "TeamOrder.h"

TEST(RemoteRecords, DisplayNamesFallBackInOrder) {
  MemberRecord member;
  EXPECT_EQ(RemoteRecords::DisplayName(member), "");
  member.user.userName = "li";
  EXPECT_EQ(RemoteRecords::DisplayName(member), "li");
  member.user.nickName = "Dr. Li";
  EXPECT_EQ(RemoteRecords::DisplayName(member), "Dr. Li");
  member.signedName = "李医生";
  EXPECT_EQ(RemoteRecords::DisplayName(member), "李医生");

  TeamListEntry entry;
  entry.user.userName = "wang";
  EXPECT_EQ(RemoteRecords::DisplayName(entry), "wang");

  JorvelUserInfo user;
  user.userID = "U7";
  EXPECT_EQ(RemoteRecords::DisplayName(user), "U7");
  user.userName = "zhao";
  EXPECT_EQ(RemoteRecords::DisplayName(user), "zhao");
}

TEST(RemoteRecords, NeedsRechargeOnlyForPaidTeamsBelowTheFee) {
  struct Case {
    const char* mode;
    const char* fee;
    const char* balance;
    bool expected;
  } cases[] = {
      {"PAID", "10.5", "10", true},   {"PAID", "10", "10", false},  {"PAID", "10", "10.5", false},
      {"FREE", "10.5", "10", false},  {"", "99", "0", false},       {"PAID", "5", "abc", true},
      {"PAID", "abc", "0", false},    {"PAID", "", "", false},
  };
  for (const Case& c : cases) {
    TeamRecord team;
    team.chargeMode = c.mode;
    team.platformFee = c.fee;
    team.totalAmount = c.balance;
    EXPECT_EQ(RemoteRecords::NeedsRecharge(team), c.expected) << c.mode << " " << c.fee << " " << c.balance;
  }
}

TEST(RemoteRecords, RemoteStateFollowsTheWebState) {
  std::pair<const char*, int> cases[] = {{"NEW", 1},      {"WAITING", 2},  {"PROCESSING", 2}, {"REPORTED", 2},
                                         {"VERIFIED", 3}, {"REVISED", 3},  {"SOMETHING", 3},  {"", 3},
                                         {"CANCELLED", 4}, {"REJECTED", 4}, {"FAILED", 4}};
  for (auto [state, expected] : cases) EXPECT_EQ(RemoteRecords::RemoteStateOf(state), expected) << state;
}

TEST(RemoteRecords, OnlyPlainAETitlesNameAStore) {
  for (const char* good : {"CONSULT", "A", "NODE_1 X", "ABCDEFGHIJKLMNOP"}) EXPECT_TRUE(RemoteRecords::IsSafeAETitle(good)) << good;
  for (const char* bad : {"", "ABCDEFGHIJKLMNOPQ", "../x", "..", ".", "a/b", "a\\b", "C:", "tab\tx", "\xe4\xb8\xad"})
    EXPECT_FALSE(RemoteRecords::IsSafeAETitle(bad)) << bad;
}

TEST(RemoteRecords, TransferPercentTruncatesAndSurvivesAZeroTotal) {
  EXPECT_EQ(OrderObject::Percent(3, 3), 100);
  EXPECT_EQ(OrderObject::Percent(1, 3), 33);
  EXPECT_EQ(OrderObject::Percent(2, 3), 66);
  EXPECT_EQ(OrderObject::Percent(0, 0), 0);
  EXPECT_EQ(OrderObject::Percent(5, 0), 0);
}

TEST(RemoteRecords, ReportSeriesNumberSkipsTodaysNumbers) {
  EXPECT_EQ(TeamOrder::NextReportSeriesNumber({}, 2025, 3, 7), 25030701);
  EXPECT_EQ(TeamOrder::NextReportSeriesNumber({"1", "25030701", "25030702"}, 2025, 3, 7), 25030703);
  // Found out of order: passes repeat until nothing moves.
  EXPECT_EQ(TeamOrder::NextReportSeriesNumber({"25030702", "25030701"}, 2025, 3, 7), 25030703);
  EXPECT_EQ(TeamOrder::NextReportSeriesNumber({"25030701abc", ""}, 2025, 3, 7), 25030702);
  EXPECT_EQ(TeamOrder::NextReportSeriesNumber({"25030601"}, 2025, 3, 7), 25030701);
}
