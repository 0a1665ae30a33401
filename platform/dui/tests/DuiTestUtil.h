#pragma once

#include "SOWinQt.h"
#include "TestSupport.h"
#include "UIlib.h"

#include <QImage>

#include <filesystem>
#include <string>

namespace duitest {

// The test skins' folder (resource path of the tests).
inline std::filesystem::path SkinFolder() {
  return orvanta::test::SourceRoot() / "platform" / "dui" / "tests" / "skins";
}

inline void UseTestSkins() {
  DuiLib::CPaintManagerUI::SetResourcePath((SkinFolder().wstring() + L"/").c_str());
}

// Builds markup (or a skin file below the test skins) into a window-less manager and lays
// it out at `width` x `height`.
inline DuiLib::CControlUI* Build(DuiLib::CPaintManagerUI& pm, const std::wstring& skin, int width,
                                 int height) {
  UseTestSkins();
  DuiLib::CDialogBuilder builder;
  DuiLib::CControlUI* root = builder.Create(skin.c_str(), (unsigned int)0, nullptr, &pm);
  if (!root) return nullptr;
  pm.AttachDialog(root);
  pm.UpdateLayout(SIZE{width, height});
  return root;
}

// A shown window built from a test skin, for tests that drive it with real input.
class SkinHost : public DuiLib::WindowImplBase {
 public:
  explicit SkinHost(std::wstring skin) : skin_(std::move(skin)) {}
  bool Open() {
    UseTestSkins();
    return Create(nullptr, L"", WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, 0) != nullptr;
  }

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L""; }
  DuiLib::CDuiString GetSkinFile() override { return skin_.c_str(); }
  const wchar_t* GetWindowClassName() const override { return L"DuiTestSkinHost"; }

 private:
  std::wstring skin_;
};

// The manager's client area as RenderToBitmap draws it.
inline QImage Render(DuiLib::CPaintManagerUI& pm) {
  HBITMAP bitmap = pm.RenderToBitmap();
  QImage image = bitmap ? SOWin::ImageOf(bitmap)->copy() : QImage();
  if (bitmap) DeleteObject(bitmap);
  return image;
}

inline std::wstring RectText(const RECT& rc) {
  return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," + std::to_wstring(rc.right) + L"," +
         std::to_wstring(rc.bottom);
}

}  // namespace duitest
