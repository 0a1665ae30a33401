#pragma once

#include "UIContainer.h"

#include <memory>

class QImage;

namespace DuiLib {

class CEditorHost;

// Text in a rectangle, with the skin's font, colour and alignment.
class CLabelUI : public CControlUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetTextStyle(UINT style);
  UINT GetTextStyle() const { return m_uTextStyle; }
  void SetTextColor(DWORD color);
  DWORD GetTextColor() const { return m_dwTextColor; }
  void SetDisabledTextColor(DWORD color);
  DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
  void SetFont(int index);
  int GetFont() const { return m_iFont; }
  RECT GetTextPadding() const { return m_rcTextPadding; }
  void SetTextPadding(RECT rc);
  SIZE EstimateSize(SIZE available) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hDC) override;

 protected:
  // The colour text is drawn in for the current state.
  virtual DWORD CurrentTextColor() const;

  UINT m_uTextStyle = DT_VCENTER_UI | DT_SINGLELINE_UI;
  DWORD m_dwTextColor = 0;
  DWORD m_dwDisabledTextColor = 0;
  int m_iFont = -1;
  RECT m_rcTextPadding{};
  bool m_bAutoCalcWidth = false;
};

// A label whose text wraps.
class CTextUI : public CLabelUI {
 public:
  CTextUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // Without a height: as tall as the wrapped text at the width it gets.
  SIZE EstimateSize(SIZE available) override;
};

// A clickable label with state images; raises "click".
class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;
  bool Activate() override;
  void SetEnabled(bool enable = true) override;
  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(HDC hDC) override;
  void PaintBkColor(HDC hDC) override;

  void SetNormalImage(const wchar_t* image) {
    m_sNormalImage = image;
    Invalidate();
  }
  void SetHotImage(const wchar_t* image) {
    m_sHotImage = image;
    Invalidate();
  }
  void SetPushedImage(const wchar_t* image) {
    m_sPushedImage = image;
    Invalidate();
  }
  void SetDisabledImage(const wchar_t* image) {
    m_sDisabledImage = image;
    Invalidate();
  }
  void SetHotTextColor(DWORD color) { m_dwHotTextColor = color; }
  void SetHotBkColor(DWORD color) { m_dwHotBkColor = color; }
  void SetPushedTextColor(DWORD color) { m_dwPushedTextColor = color; }
  UINT GetButtonState() const { return m_uButtonState; }

 protected:
  DWORD CurrentTextColor() const override;

  UINT m_uButtonState = 0;
  DWORD m_dwHotTextColor = 0;
  DWORD m_dwPushedTextColor = 0;
  DWORD m_dwFocusedTextColor = 0;
  DWORD m_dwHotBkColor = 0;
  DWORD m_dwPushedBkColor = 0;
  CDuiString m_sNormalImage;
  CDuiString m_sHotImage;
  CDuiString m_sPushedImage;
  CDuiString m_sFocusedImage;
  CDuiString m_sDisabledImage;
};

// A button with a selected state. Options of one group (attribute "group") are exclusive:
// selecting one unselects the others, and only the newly selected one raises
// "selectchanged". An option outside any group toggles and raises it both ways.
class COptionUI : public CButtonUI {
 public:
  ~COptionUI() override;
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  bool Activate() override;
  void SetEnabled(bool enable = true) override;
  const wchar_t* GetGroup() const { return m_sGroupName; }
  void SetGroup(const wchar_t* group = nullptr);
  bool IsSelected() const { return m_bSelected; }
  // Sets the state; with `triggerEvent` the change raises "selectchanged".
  virtual void Selected(bool selected, bool triggerEvent = true);
  void SetSelectedImage(const wchar_t* image) {
    m_sSelectedImage = image;
    Invalidate();
  }
  void SetSelectedTextColor(DWORD color) { m_dwSelectedTextColor = color; }
  void SetSelectedBkColor(DWORD color) { m_dwSelectedBkColor = color; }
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(HDC hDC) override;
  void PaintBkColor(HDC hDC) override;

 protected:
  DWORD CurrentTextColor() const override;

  bool m_bSelected = false;
  CDuiString m_sGroupName;
  CDuiString m_sSelectedImage;
  CDuiString m_sSelectedHotImage;
  DWORD m_dwSelectedTextColor = 0;
  DWORD m_dwSelectedBkColor = 0;
};

// An option drawn as a check box (a box with a tick before the text when no image is given).
class CCheckBoxUI : public COptionUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  bool GetCheck() const { return IsSelected(); }
  void SetCheck(bool check, bool triggerEvent = true) { Selected(check, triggerEvent); }
  void PaintStatusImage(HDC hDC) override;
  void PaintText(HDC hDC) override;
};

// A tab header item: an option that selects a page.
class CTabItemUI : public COptionUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
};

// Single-line text entry. Keys edit the text in place; "textchanged" follows every change,
// "return" the Enter key, "setfocus"/"killfocus" the focus.
class CEditUI : public CLabelUI {
 public:
  CEditUI();
  ~CEditUI() override;
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;
  void SetText(const wchar_t* text) override;
  void SetEnabled(bool enable = true) override;
  void SetMaxChar(UINT max) { m_uMaxChar = max; }
  UINT GetMaxChar() const { return m_uMaxChar; }
  void SetReadOnly(bool readOnly) {
    m_bReadOnly = readOnly;
    Invalidate();
  }
  bool IsReadOnly() const { return m_bReadOnly; }
  void SetPasswordMode(bool on) {
    m_bPasswordMode = on;
    Invalidate();
  }
  bool IsPasswordMode() const { return m_bPasswordMode; }
  void SetNumberOnly(bool on) { m_bNumberOnly = on; }
  bool IsNumberOnly() const { return m_bNumberOnly; }
  void SetPromptText(const wchar_t* text) {
    m_sPrompt = text;
    Invalidate();
  }
  void SetSel(long start, long end);
  void SetSelAll() { SetSel(0, -1); }
  void SetPos(RECT rc, bool needInvalidate = true) override;
  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;
  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(HDC hDC) override;
  void PaintText(HDC hDC) override;

 protected:
  // Applies an edit from the keyboard, keeping maxchar and numberonly, and notifies.
  void TypeText(const std::wstring& text);
  bool IsMultiLine() const { return m_bMultiLine; }
  // While the control has the focus in a window, a Qt editor lies over it.
  void OpenEditor();
  virtual bool IsDateField() const { return false; }
  void PlaceEditor();
  virtual bool WantsReturn() const { return m_bMultiLine; }

  std::unique_ptr<CEditorHost> m_editor;

  UINT m_uMaxChar = 255;
  bool m_bReadOnly = false;
  bool m_bPasswordMode = false;
  bool m_bNumberOnly = false;
  bool m_bMultiLine = false;
  wchar_t m_cPasswordChar = L'*';
  int m_iCaret = 0;
  CDuiString m_sPrompt;
  DWORD m_dwEditBkColor = 0xFFFFFFFF;
  DWORD m_dwPromptColor = 0xFFA0A4AA;
};

// Multi-line text entry ("multiline" is on, Enter inserts a line unless "wantreturn" is off).
class CRichEditUI : public CEditUI {
 public:
  CRichEditUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  // Like the platform's rich edit, a new text is reported as "textchanged", even an equal one.
  void SetText(const wchar_t* text) override;

 protected:
  bool WantsReturn() const override { return m_bMultiLine && m_bWantReturn; }

 private:
  bool m_bWantReturn = true;
};

// A date; its text is "yyyy-MM-dd", empty when no date is set. Typing edits the text;
// a text that is no valid date leaves the control without a date.
class CDateTimeUI : public CEditUI {
 public:
  CDateTimeUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // Shows the day; false (nothing changes) for a day that does not exist.
  bool SetTime(int year, int month, int day);
  // The day shown; false when the text is no date.
  bool GetTime(int& year, int& month, int& day) const;

 protected:
  bool IsDateField() const override { return true; }
};

class CProgressUI : public CLabelUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  bool IsHorizontal() const { return m_bHorizontal; }
  void SetHorizontal(bool horizontal = true) {
    m_bHorizontal = horizontal;
    Invalidate();
  }
  int GetMinValue() const { return m_nMin; }
  void SetMinValue(int min);
  int GetMaxValue() const { return m_nMax; }
  void SetMaxValue(int max);
  int GetValue() const { return m_nValue; }
  void SetValue(int value);
  void SetForeImage(const wchar_t* image) {
    m_sForeImage = image;
    Invalidate();
  }
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(HDC hDC) override;

 protected:
  bool m_bHorizontal = true;
  int m_nMin = 0;
  int m_nMax = 100;
  int m_nValue = 0;
  DWORD m_dwForeColor = 0xFF2F80ED;
  CDuiString m_sForeImage;
};

// A progress bar the user drags; raises "valuechanged".
class CSliderUI : public CProgressUI {
 public:
  CSliderUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;
  void SetChangeStep(int step) { m_nStep = step; }
  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintStatusImage(HDC hDC) override;

 private:
  int ValueAt(POINT pt) const;

  int m_nStep = 1;
  bool m_bDragging = false;
};

// Shows an image given as encoded bytes (JPEG, PNG, BMP), scaled to fit and centred.
class CPictureUI : public CControlUI {
 public:
  CPictureUI();
  ~CPictureUI() override;
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // False when the bytes are null, empty or not an image; the old picture then stays.
  bool SetPicture(const unsigned char* bytes, long length);
  // Shows a copy of the bitmap; a null bitmap clears the picture.
  bool SetPicture(HBITMAP bitmap);
  void ClearPicture();
  bool HasPicture() const;
  // The picture's size in pixels; 0x0 when empty.
  SIZE GetPictureSize() const;
  // The picture as a bitmap owned by the control (null when empty); valid until the
  // picture changes.
  HBITMAP GetImageInfo();
  void PaintStatusImage(HDC hDC) override;

 private:
  void Show(const QImage& image);

  std::unique_ptr<QImage> m_image;  // null when empty
  HBITMAP m_hBitmap = nullptr;
};

}  // namespace DuiLib
