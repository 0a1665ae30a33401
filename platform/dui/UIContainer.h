#pragma once

#include "UIControl.h"

namespace DuiLib {

class CScrollBarUI;

// A control with children. The base container gives every child the whole inner
// rectangle (minus the child's padding); the layouts below divide it.
class CContainerUI : public CControlUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;

  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(CControlUI* control) const;
  bool SetItemIndex(CControlUI* control, int index);
  int GetCount() const { return int(m_items.size()); }
  virtual bool Add(CControlUI* control);
  virtual bool AddAt(CControlUI* control, int index);
  // Removes and (unless auto-destroy is off) deletes the control.
  virtual bool Remove(CControlUI* control, bool doNotDestroy = false);
  virtual bool RemoveAt(int index, bool doNotDestroy = false);
  virtual void RemoveAll();

  bool IsAutoDestroy() const { return m_bAutoDestroy; }
  void SetAutoDestroy(bool on) { m_bAutoDestroy = on; }
  RECT GetInset() const { return m_rcInset; }
  void SetInset(RECT inset);
  int GetChildPadding() const { return m_iChildPadding; }
  void SetChildPadding(int padding);
  bool IsMouseChildEnabled() const { return m_bMouseChildEnabled; }
  void SetMouseChildEnabled(bool enable = true) { m_bMouseChildEnabled = enable; }

  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;
  void SetEnabled(bool enable = true) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool init = true) override;
  void SetPos(RECT rc, bool needInvalidate = true) override;
  void DoEvent(TEventUI& event) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags) override;

  // Scrolling of overflowing content.
  virtual SIZE GetScrollPos() const;
  virtual SIZE GetScrollRange() const;
  virtual void SetScrollPos(SIZE pos);
  virtual void LineUp();
  virtual void LineDown();
  void EnableScrollBar(bool vertical = true, bool horizontal = false);
  CScrollBarUI* GetVerticalScrollBar() const { return m_pVerticalScrollBar; }
  CScrollBarUI* GetHorizontalScrollBar() const { return m_pHorizontalScrollBar; }
  // The inner rectangle: item rect minus inset and shown scroll bars.
  RECT InnerRect() const;

 protected:
  // Places a floating child from its fixed position relative to this container.
  void SetFloatPos(int index);
  // Shows or hides the scroll bars for content of the given size and places them.
  void ProcessScrollBar(RECT rc, int cxRequired, int cyRequired);

  std::vector<CControlUI*> m_items;
  RECT m_rcInset{};
  int m_iChildPadding = 0;
  bool m_bAutoDestroy = true;
  bool m_bMouseChildEnabled = true;
  CScrollBarUI* m_pVerticalScrollBar = nullptr;
  CScrollBarUI* m_pHorizontalScrollBar = nullptr;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetPos(RECT rc, bool needInvalidate = true) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetPos(RECT rc, bool needInvalidate = true) override;
};

// Children in rows of `columns` cells (or of cells `itemsize` wide when that is given).
class CTileLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetPos(RECT rc, bool needInvalidate = true) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  int GetColumns() const { return m_nColumns; }
  void SetColumns(int columns);
  SIZE GetItemSize() const { return m_szItem; }
  void SetItemSize(SIZE size);

 protected:
  int m_nColumns = 1;
  SIZE m_szItem{};
};

// Shows one child (page) at a time.
class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  void RemoveAll() override;
  void SetPos(RECT rc, bool needInvalidate = true) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  int GetCurSel() const { return m_iCurSel; }
  // Shows page `index`; with `triggerEvent` the window gets "tabselect" (wParam new, lParam old).
  virtual bool SelectItem(int index, bool triggerEvent = true);
  virtual bool SelectItem(CControlUI* control, bool triggerEvent = true);

 protected:
  int m_iCurSel = -1;
};

// A container whose children come from another skin file (attribute "xmlfile").
class CChildLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void Init() override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  CDuiString GetChildLayoutXML() const { return m_sXmlFile; }
  void SetChildLayoutXML(const wchar_t* file) { m_sXmlFile = file; }

 private:
  CDuiString m_sXmlFile;
};

class CScrollBarUI : public CControlUI {
 public:
  CScrollBarUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  CContainerUI* GetOwner() const { return m_pOwner; }
  void SetOwner(CContainerUI* owner) { m_pOwner = owner; }
  bool IsHorizontal() const { return m_bHorizontal; }
  void SetHorizontal(bool horizontal = true);
  int GetScrollRange() const { return m_nRange; }
  void SetScrollRange(int range);
  int GetScrollPos() const { return m_nScrollPos; }
  void SetScrollPos(int pos);
  int GetLineSize() const { return m_nLineSize; }
  void SetLineSize(int size) { m_nLineSize = size; }
  void DoEvent(TEventUI& event) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 private:
  RECT ThumbRect() const;

  CContainerUI* m_pOwner = nullptr;
  bool m_bHorizontal = false;
  int m_nRange = 100;
  int m_nScrollPos = 0;
  int m_nLineSize = 24;
  int m_nDragOffset = -1;
  DWORD m_dwThumbColor = 0xFFC4C8CE;
};

}  // namespace DuiLib
