#pragma once

#include <string>
#include <vector>

#include "TagRows.h"
#include "UIlib.h"

// The tag viewer's window: every attribute of one DICOM file, narrowed by a search text.
class VelstromWnd : public DuiLib::WindowImplBase {
 public:
  // An empty path, or one that cannot be read, shows an empty list and says so.
  explicit VelstromWnd(std::string path);

  const wchar_t* GetWindowClassName() const override { return L"VelstromWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  // Shows the rows that hold the query; how many are shown.
  int Filter(const std::string& query);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"velstrom/velstrom.xml"; }
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  std::string m_path;
  std::vector<TagRow> m_rows;
  bool m_read = false;
};
