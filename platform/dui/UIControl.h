#pragma once

#include "UIDefs.h"

#include <map>
#include <memory>

namespace DuiLib {

typedef CControlUI* (*FINDCONTROLPROC)(CControlUI*, void*);

// A windowless control: a rectangle of the window, drawn and fed events by the paint
// manager. Layout sizes follow the skin engine's rules: a fixed width/height wins, 0 means
// "share what is left"; padding is outside, inset inside the rectangle.
class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();

  virtual CDuiString GetName() const { return m_sName; }
  virtual void SetName(const wchar_t* name) { m_sName = name; }
  virtual const wchar_t* GetClass() const;
  virtual void* GetInterface(const wchar_t* name);
  virtual UINT GetControlFlags() const { return 0; }

  virtual bool Activate();
  virtual CPaintManagerUI* GetManager() const { return m_pManager; }
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true);
  virtual CControlUI* GetParent() const { return m_pParent; }

  // Text
  virtual CDuiString GetText() const { return m_sText; }
  virtual void SetText(const wchar_t* text);
  CDuiString GetToolTip() const { return m_sToolTip; }
  void SetToolTip(const wchar_t* text) { m_sToolTip = text; }

  // Appearance
  DWORD GetBkColor() const { return m_dwBackColor; }
  void SetBkColor(DWORD color);
  DWORD GetBkColor2() const { return m_dwBackColor2; }
  void SetBkColor2(DWORD color);
  const wchar_t* GetBkImage() const { return m_sBkImage; }
  void SetBkImage(const wchar_t* image);
  DWORD GetBorderColor() const { return m_dwBorderColor; }
  void SetBorderColor(DWORD color);
  DWORD GetFocusBorderColor() const { return m_dwFocusBorderColor; }
  void SetFocusBorderColor(DWORD color) { m_dwFocusBorderColor = color; }
  int GetBorderSize() const { return m_nBorderSize; }
  void SetBorderSize(int size);
  SIZE GetBorderRound() const { return m_cxyBorderRound; }
  void SetBorderRound(SIZE round);

  // Position
  virtual const RECT& GetPos() const { return m_rcItem; }
  virtual void SetPos(RECT rc, bool needInvalidate = true);
  virtual int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
  virtual int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }
  virtual int GetX() const { return m_rcItem.left; }
  virtual int GetY() const { return m_rcItem.top; }
  virtual RECT GetPadding() const { return m_rcPadding; }
  virtual void SetPadding(RECT padding);
  virtual SIZE GetFixedXY() const { return m_cXY; }
  virtual void SetFixedXY(SIZE xy);
  virtual int GetFixedWidth() const { return m_cxyFixed.cx; }
  virtual void SetFixedWidth(int cx);
  virtual int GetFixedHeight() const { return m_cxyFixed.cy; }
  virtual void SetFixedHeight(int cy);
  virtual int GetMinWidth() const { return m_cxyMin.cx; }
  virtual void SetMinWidth(int cx);
  virtual int GetMaxWidth() const { return m_cxyMax.cx; }
  virtual void SetMaxWidth(int cx);
  virtual int GetMinHeight() const { return m_cxyMin.cy; }
  virtual void SetMinHeight(int cy);
  virtual int GetMaxHeight() const { return m_cxyMax.cy; }
  virtual void SetMaxHeight(int cy);
  // The size this control wants inside `available`; 0 in a dimension means "stretch".
  virtual SIZE EstimateSize(SIZE available);

  // Data
  const wchar_t* GetUserData() const { return m_sUserData; }
  void SetUserData(const wchar_t* text) { m_sUserData = text; }
  UINT_PTR GetTag() const { return m_pTag; }
  void SetTag(UINT_PTR tag) { m_pTag = tag; }
  // Attaches an object that is deleted with the control (replacing and deleting any earlier one).
  void SetDeleteObject(CDeleteObject* object) { m_pDeleteObject.reset(object); }
  CDeleteObject* GetDeleteObject() const { return m_pDeleteObject.get(); }
  // Attributes the control does not know, kept as written in the skin.
  void AddCustomAttribute(const wchar_t* name, const wchar_t* value);
  const wchar_t* GetCustomAttribute(const wchar_t* name) const;
  bool RemoveCustomAttribute(const wchar_t* name);

  // State
  virtual bool IsVisible() const { return m_bVisible && m_bInternVisible; }
  virtual void SetVisible(bool visible = true);
  virtual void SetInternVisible(bool visible = true);
  virtual bool IsEnabled() const { return m_bEnabled; }
  virtual void SetEnabled(bool enable = true);
  virtual bool IsMouseEnabled() const { return m_bMouseEnabled; }
  virtual void SetMouseEnabled(bool enable = true) { m_bMouseEnabled = enable; }
  virtual bool IsFocused() const { return m_bFocused; }
  virtual void SetFocus();
  virtual bool IsFloat() const { return m_bFloat; }
  virtual void SetFloat(bool floating = true);

  // Finds the first control for which `proc` returns non-null, walking this subtree.
  virtual CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags);

  void Invalidate();
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  void NeedUpdate();
  void NeedParentUpdate();

  virtual void Init();
  virtual void DoInit() {}
  virtual void Event(TEventUI& event);
  virtual void DoEvent(TEventUI& event);

  virtual void SetAttribute(const wchar_t* name, const wchar_t* value);
  CControlUI* ApplyAttributeList(const wchar_t* list);
  CControlUI* ApplyAttributes(const AttributePairs& pairs);

  // Paints the part of this control inside rcPaint, in window coordinates.
  virtual void DoPaint(HDC hDC, const RECT& rcPaint);
  virtual void PaintBkColor(HDC hDC);
  virtual void PaintBkImage(HDC hDC);
  virtual void PaintStatusImage(HDC hDC) {}
  virtual void PaintText(HDC hDC) {}
  virtual void PaintBorder(HDC hDC);

  // Draws an image attribute ("file.png" or "file='a.png' source='..' corner='..' dest='..'")
  // into this control's rectangle.
  bool DrawImage(HDC hDC, const wchar_t* image, const wchar_t* modify = nullptr);

 public:
  CEventSource OnInit;
  CEventSource OnDestroy;
  CEventSource OnSize;
  CEventSource OnEvent;
  CEventSource OnNotify;

 protected:
  CPaintManagerUI* m_pManager = nullptr;
  CControlUI* m_pParent = nullptr;
  CDuiString m_sName;
  bool m_bUpdateNeeded = true;
  RECT m_rcItem{};
  RECT m_rcPadding{};
  SIZE m_cXY{};
  SIZE m_cxyFixed{};
  SIZE m_cxyMin{};
  SIZE m_cxyMax{9999, 9999};
  bool m_bVisible = true;
  bool m_bInternVisible = true;
  bool m_bEnabled = true;
  bool m_bMouseEnabled = true;
  bool m_bFocused = false;
  bool m_bFloat = false;
  bool m_bSetPos = false;

  CDuiString m_sText;
  CDuiString m_sToolTip;
  CDuiString m_sUserData;
  UINT_PTR m_pTag = 0;
  std::unique_ptr<CDeleteObject> m_pDeleteObject;
  std::map<std::wstring, std::wstring> m_customAttributes;

  DWORD m_dwBackColor = 0;
  DWORD m_dwBackColor2 = 0;
  CDuiString m_sBkImage;
  DWORD m_dwBorderColor = 0;
  DWORD m_dwFocusBorderColor = 0;
  int m_nBorderSize = 0;
  SIZE m_cxyBorderRound{};
};

}  // namespace DuiLib
