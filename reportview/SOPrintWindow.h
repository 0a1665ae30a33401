#pragma once

#include "UIlib.h"

class SODcmSR;

// The report control's own classes; a namespace of their own keeps their names apart from
// same-named classes of other libraries in one process.
namespace wendrel {

// A hidden window holding its own copy of a template page, for printing a report and rendering
// templates off the screen.
class SOPrintWindow : public DuiLib::WindowImplBase {
 public:
  // Creates the window (top-level, disabled, never shown) with the default template.
  bool CreatePrintWindow();
  // Replaces the page by the template at `path` (absolute); false leaves no page.
  bool LoadTemplate(const char* path);
  // Draws `document` on the page of `templatePath` (null: the page held) onto the DC, fitted into
  // the printable area at its origin. False when there is no page to draw.
  bool PrintDocument(HDC hdc, SODcmSR* document, const char* templatePath);
  // The template as designed, fitted into maxWidth x maxHeight (see IWendrel::RenderTemplate).
  HBITMAP RenderTemplate(const char* templatePath, int* width, int* height, int maxWidth, int maxHeight);
  // Lays the page out at `zoom` with its top left corner at the window's; the page's unscaled size.
  SIZE PlacePage(double zoom);

  const wchar_t* GetWindowClassName() const override { return L"SOPrintWindow"; }
  void InitWindow() override;

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"srctrl/sr_print_window.xml"; }

 private:
  // Puts a built page into pagePanel; false (pagePanel left empty) for a null root.
  bool SetPage(DuiLib::CControlUI* root);
  DuiLib::CContainerUI* m_pRoot = nullptr;
};

}  // namespace wendrel
