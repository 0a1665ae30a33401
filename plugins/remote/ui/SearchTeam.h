#pragma once

#include <memory>
#include <vector>

#include "JorvelRecords.h"
#include "RemoteUI.h"

// The team chooser of the consultation creation dialog: without a search text the liked teams,
// after a search the team found by its code (which becomes liked). The selected row's tag is
// the chosen TeamRecord. A member of its dialog; UI thread, except the search call.
class UIX_SearchTeam {
 public:
  UIX_SearchTeam();
  ~UIX_SearchTeam();
  UIX_SearchTeam(const UIX_SearchTeam&) = delete;
  UIX_SearchTeam& operator=(const UIX_SearchTeam&) = delete;

  void Init(HWND hwnd, DuiLib::CPaintManagerUI* pm);
  // The selected row's team, or null.
  const TeamRecord* Selected() const;
  const std::vector<TeamRecord>& Shown() const { return shown_; }

 private:
  void Rebuild();
  void ShowLiked();
  bool OnEditNotify(void* param);
  bool OnSearch(void* param);
  bool OnClear(void* param);
  bool OnUnlikeClick(void* param);
  void SearchDone(bool found, const TeamRecord& team);

  HWND hwnd_ = nullptr;
  DuiLib::CPaintManagerUI* pm_ = nullptr;
  DuiLib::CControlUI* searchEdit_ = nullptr;
  DuiLib::CControlUI* searchButton_ = nullptr;
  DuiLib::CControlUI* clearButton_ = nullptr;
  DuiLib::CListUI* teamList_ = nullptr;
  DuiLib::CTabLayoutUI* tabs_ = nullptr;
  // The rows' tags point into it; it is replaced only together with a Rebuild.
  std::vector<TeamRecord> shown_;
  // Each search's result travels by value; a later search makes an earlier one's result stale.
  int searches_ = 0;
  std::shared_ptr<DuiLib::CInvoke> invoker_;
};
