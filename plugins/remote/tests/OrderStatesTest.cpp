#include <gtest/gtest.h>

#include "OrderStates.h"

using namespace OrderStates;

namespace {
Check Answer(bool value) {
  return [value] { return value; };
}
Check Never() {
  return [] {
    ADD_FAILURE() << "asked although an earlier rule decided";
    return false;
  };
}
}  // namespace

TEST(OrderStates, ClientDisplayStateTable) {
  struct Case {
    const char* state;
    const char* transfer;
    bool needsReport;
    int expected;
  } cases[] = {
      {"CANCELLED", "COMPLETED", true, 9}, {"FAILED", "", true, 8},          {"REJECTED", "", false, 8},
      {"NEW", "", true, 2},                {"WAITING", "COMPLETED", true, 3}, {"WAITING", "PENDING", false, 8},
      {"PROCESSING", "COMPLETED", true, 4}, {"REPORTED", "COMPLETED", true, 4}, {"REPORTED", "", true, 8},
      {"VERIFIED", "COMPLETED", true, 6},  {"REVISED", "", true, 6},          {"VERIFIED", "", false, 7},
      {"REVISED", "", false, 7},           {"ODD", "", true, 6},              {"ODD", "", false, 8},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ClientDisplayState(2, c.state, c.transfer, Answer(c.needsReport)), c.expected) << c.state << " " << c.transfer;
  // A running transfer keeps its state through refreshes; decided rules never read the store.
  EXPECT_EQ(ClientDisplayState(1, "VERIFIED", "", Never()), 1);
  EXPECT_EQ(ClientDisplayState(0, "WAITING", "COMPLETED", Never()), 3);
}

TEST(OrderStates, ClientPagesButtonsAndMenus) {
  std::pair<const char*, int> pages[] = {{"WAITING", 2}, {"PROCESSING", 2}, {"REPORTED", 2}, {"VERIFIED", 3},
                                         {"REVISED", 4}, {"CANCELLED", 5}, {"FAILED", 6},   {"", 6}};
  for (auto [state, page] : pages) EXPECT_EQ(ClientStatePage(state, false, false), page) << state;
  EXPECT_EQ(ClientStatePage("NEW", false, false), 0);
  EXPECT_EQ(ClientStatePage("NEW", true, false), 1);
  EXPECT_EQ(ClientStatePage("NEW", true, true), 7) << "a failed upload is not shown as uploaded";
  EXPECT_EQ(ClientStatePage("WAITING", false, true), 2);

  auto shown = [](int state) {
    ClientButtons b = ClientButtonsFor(state);
    return std::vector<bool>{b.keep, b.upload, b.reportDownload, b.openReport, b.progress};
  };
  EXPECT_EQ(shown(1), (std::vector<bool>{false, false, false, false, true}));
  EXPECT_EQ(shown(2), (std::vector<bool>{false, true, false, false, false}));
  for (int none : {3, 4, 9}) EXPECT_EQ(shown(none), (std::vector<bool>{false, false, false, false, false})) << none;
  EXPECT_EQ(shown(6), (std::vector<bool>{false, false, true, false, false}));
  EXPECT_EQ(shown(7), (std::vector<bool>{false, false, false, true, false}));
  for (int keep : {0, 5, 8}) EXPECT_TRUE(ClientButtonsFor(keep).keep) << keep;

  EXPECT_EQ(ClientMenu(7), (std::vector<int>{2, 3, 5}));
  EXPECT_EQ(ClientMenu(8), (std::vector<int>{3, 5}));
  EXPECT_EQ(ClientMenu(1), (std::vector<int>{3}));
}

TEST(OrderStates, TeamDisplayStateTable) {
  struct Case {
    const char* state;
    bool needsImages, hasReport, needsReport;
    int expected;
  } cases[] = {
      {"FAILED", true, true, true, 8},        {"REJECTED", false, false, false, 8},
      {"CANCELLED", true, true, true, 9},     {"WAITING", true, true, true, 2},
      {"VERIFIED", true, false, false, 2},    {"WAITING", false, true, true, 5},
      {"PROCESSING", false, false, true, 4},  {"REPORTED", false, false, true, 3},
      {"REPORTED", false, false, false, 6},   {"VERIFIED", false, false, false, 7},
      {"REVISED", false, false, true, 3},     {"ODD", false, false, false, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TeamDisplayState(4, c.state, Answer(c.needsImages), Answer(c.hasReport), Answer(c.needsReport)),
              c.expected)
        << c.state;
  }
  EXPECT_EQ(TeamDisplayState(1, "WAITING", Never(), Never(), Never()), 1);
  EXPECT_EQ(TeamDisplayState(2, "CANCELLED", Never(), Never(), Never()), 9);
}

TEST(OrderStates, TeamPagesButtonsAndMenus) {
  EXPECT_EQ(TeamStatePage("WAITING", 5), 1);
  EXPECT_EQ(TeamStatePage("PROCESSING", 4), 0);
  EXPECT_EQ(TeamStatePage("REPORTED", 6), 2);
  EXPECT_EQ(TeamStatePage("VERIFIED", 7), 3);
  EXPECT_EQ(TeamStatePage("REVISED", 7), 4);
  EXPECT_EQ(TeamStatePage("CANCELLED", 9), 5);

  int buttons[] = {-1, 6, 0, 1, 2, 3, 4, 5, -1, -1};
  for (int state = 0; state <= 9; ++state) EXPECT_EQ(TeamButtonFor(state), buttons[state]) << state;

  EXPECT_TRUE(TeamMenu(1).empty());
  EXPECT_EQ(TeamMenu(2), (std::vector<int>{5}));
  EXPECT_EQ(TeamMenu(3), (std::vector<int>{5}));
  EXPECT_EQ(TeamMenu(4), (std::vector<int>{2, 3, 5}));
  EXPECT_EQ(TeamMenu(7), (std::vector<int>{1, 2, 3, 5}));
}

// The answers kept on the thread that applied a record give the UI thread the same state
// without asking the store again; checks the state did not call for stay unasked.
TEST(OrderStates, KeptAnswersGiveTheSameStateWithoutAskingAgain) {
  struct Case {
    const char* state;
    bool needsImages, hasReport, needsReport;
    bool asksReport, asksReportDownload;
  } cases[] = {
      {"WAITING", false, true, false, true, false},
      {"REPORTED", false, false, true, false, true},
      {"PROCESSING", true, false, false, false, false},
  };
  for (const Case& c : cases) {
    std::optional<bool> images, report, download;
    int asked = 0;
    auto counted = [&asked](bool value) -> Check {
      return [&asked, value] {
        ++asked;
        return value;
      };
    };
    const int worker = TeamDisplayState(0, c.state, Remember(images, counted(c.needsImages)),
                                        Remember(report, counted(c.hasReport)),
                                        Remember(download, counted(c.needsReport)));
    EXPECT_EQ(report.has_value(), c.asksReport) << c.state;
    EXPECT_EQ(download.has_value(), c.asksReportDownload) << c.state;
    const int before = asked;
    EXPECT_EQ(TeamDisplayState(4, c.state, Recall(images, Never()), Recall(report, Never()),
                               Recall(download, Never())),
              worker)
        << c.state;
    EXPECT_EQ(asked, before) << c.state;
  }
  // Nothing kept: the row asks.
  EXPECT_EQ(ClientDisplayState(0, "VERIFIED", "COMPLETED", Recall(std::nullopt, Answer(true))), 6);
}
