#pragma once

#include "SOPluginItem.h"
#include "UIlib.h"

// The window of an undocked plug-in: it holds the plug-in's window in its own "mainPanel"
// until the user closes it, which docks the plug-in back into the main frame. Created on the
// heap; deletes itself at its final message.
class SOStandaloneWnd : public DuiLib::WindowImplBase {
 public:
  // Takes the plug-in's window into this one; option is the plug-in's bar option.
  void Attach(SOPluginItem* item, DuiLib::COptionUI* option);
  const wchar_t* GetWindowClassName() const override { return L"SOStandaloneWnd"; }
  void InitWindow() override;
  void OnFinalMessage(HWND hWnd) override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"main/StandaloneWnd.xml"; }
  LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  bool OnPanelSize(void* param);
  void FitPluginWindow();

  SOPluginItem* m_item = nullptr;
  DuiLib::COptionUI* m_option = nullptr;
  DuiLib::CWndShadow m_shadow;
};
