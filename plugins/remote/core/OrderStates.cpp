#include "OrderStates.h"

namespace OrderStates {

Check Remember(std::optional<bool>& answer, Check ask) {
  return [&answer, ask = std::move(ask)] {
    if (!answer) answer = ask();
    return *answer;
  };
}

Check Recall(const std::optional<bool>& answer, Check ask) {
  return [answer, ask = std::move(ask)] { return answer ? *answer : ask(); };
}

int ClientDisplayState(int current, const std::string& state, const std::string& transferStatus,
                       const Check& needsReportDownload) {
  if (current == 1) return current;
  bool transferred = transferStatus == "COMPLETED";
  if (state == "CANCELLED") return 9;
  if (state == "FAILED" || state == "REJECTED") return 8;
  if (state == "NEW") return 2;
  if (state == "WAITING") return transferred ? 3 : 8;
  if (state == "PROCESSING" || state == "REPORTED") return transferred ? 4 : 8;
  if (needsReportDownload()) return 6;
  if (state == "VERIFIED" || state == "REVISED") return 7;
  return 8;
}

int ClientStatePage(const std::string& state, bool uploaded, bool uploadFailed) {
  if (state == "NEW") return uploadFailed ? 7 : uploaded ? 1 : 0;
  if (state == "WAITING" || state == "PROCESSING" || state == "REPORTED") return 2;
  if (state == "VERIFIED") return 3;
  if (state == "REVISED") return 4;
  if (state == "CANCELLED") return 5;
  return 6;
}

ClientButtons ClientButtonsFor(int displayState) {
  ClientButtons buttons;
  switch (displayState) {
    case 1: buttons.progress = true; break;
    case 2: buttons.upload = true; break;
    case 3:
    case 4:
    case 9: break;
    case 6: buttons.reportDownload = true; break;
    case 7: buttons.openReport = true; break;
    default: buttons.keep = true; break;
  }
  return buttons;
}

int TeamDisplayState(int current, const std::string& state, const Check& needsImageDownload,
                     const Check& findReport, const Check& needsReportDownload) {
  if (current == 1) return current;
  bool working = state == "WAITING" || state == "PROCESSING";
  if (state == "FAILED" || state == "REJECTED") return 8;
  if (state == "CANCELLED") return 9;
  if (needsImageDownload()) return 2;
  if (working) return findReport() ? 5 : 4;
  if (needsReportDownload()) return 3;
  if (state == "REPORTED") return 6;
  if (state == "VERIFIED" || state == "REVISED") return 7;
  return current;
}

int TeamStatePage(const std::string& state, int displayState) {
  if (state == "WAITING" || state == "PROCESSING") return displayState == 5 ? 1 : 0;
  if (state == "REPORTED") return 2;
  if (state == "VERIFIED") return 3;
  if (state == "REVISED") return 4;
  return 5;
}

int TeamButtonFor(int displayState) {
  switch (displayState) {
    case 1: return 6;
    case 2: return 0;
    case 3: return 1;
    case 4: return 2;
    case 5: return 3;
    case 6: return 4;
    case 7: return 5;
    default: return -1;
  }
}

std::vector<int> ClientMenu(int displayState) {
  std::vector<int> commands;
  if (displayState == 7) commands.push_back(2);
  commands.push_back(3);
  if (displayState != 1) commands.push_back(5);
  return commands;
}

std::vector<int> TeamMenu(int displayState) {
  std::vector<int> commands;
  if (displayState == 7) commands.push_back(1);
  if (displayState > 3) {
    commands.push_back(2);
    commands.push_back(3);
  }
  if (displayState != 1) commands.push_back(5);
  return commands;
}

}  // namespace OrderStates
