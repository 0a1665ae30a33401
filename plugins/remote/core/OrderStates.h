#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What an order list item shows, derived from the order's web state, transfer status and local
// files. Display states: 1 transfer running, 2 images to upload (client) or download (team),
// 3-7 the steps of the consultation, 8 failed, 9 cancelled. Checks are passed as callables
// because they read the store and some are asked only when an earlier rule did not decide.
namespace OrderStates {

using Check = std::function<bool()>;

// A check that asks once and keeps the answer in `answer`.
Check Remember(std::optional<bool>& answer, Check ask);
// The kept answer when there is one, else asks.
Check Recall(const std::optional<bool>& answer, Check ask);

// Client item. `current` is kept while a transfer runs (1).
int ClientDisplayState(int current, const std::string& state, const std::string& transferStatus,
                       const Check& needsReportDownload);
// A NEW order whose last upload failed shows page 7.
int ClientStatePage(const std::string& state, bool uploaded, bool uploadFailed);

struct ClientButtons {
  bool keep = false;  // the buttons stay as they are
  bool upload = false, reportDownload = false, openReport = false, progress = false;
};
ClientButtons ClientButtonsFor(int displayState);

// Team item.
int TeamDisplayState(int current, const std::string& state, const Check& needsImageDownload,
                     const Check& findReport, const Check& needsReportDownload);
int TeamStatePage(const std::string& state, int displayState);
// Index of the one visible action of the row (0 download images, 1 report download, 2 write,
// 3 continue, 4 verify, 5 view report, 6 progress box), -1 for none.
int TeamButtonFor(int displayState);

// Menu commands offered, in menu order: client 2 "Open Report", 3 "View Images",
// 5 "Reupload Images"; team 1 "Revise Report", 2 "Open Report", 3 "View Images",
// 5 "Redownload Images".
std::vector<int> ClientMenu(int displayState);
std::vector<int> TeamMenu(int displayState);

}  // namespace OrderStates
