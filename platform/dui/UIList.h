#pragma once

#include "UICommonControls.h"

namespace DuiLib {

class CListUI;
class CListHeaderUI;

// What a list needs of its rows.
class IListItemUI {
 public:
  virtual int GetIndex() const = 0;
  virtual void SetIndex(int index) = 0;
  virtual CControlUI* GetOwnerControl() const = 0;
  virtual void SetOwner(CControlUI* owner) = 0;
  virtual bool IsSelected() const = 0;
  virtual bool Select(bool select = true, bool triggerEvent = true) = 0;

 protected:
  ~IListItemUI() = default;
};

// What a row needs of its list.
class IListOwnerUI {
 public:
  virtual int GetCurSel() const = 0;
  virtual bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true) = 0;
  virtual void DoEvent(TEventUI& event) = 0;
  // The header whose column edges the row's cells follow (null: none).
  virtual CListHeaderUI* GetListHeader() const { return nullptr; }
  virtual DWORD GetItemSelectedBkColor() const { return 0xFFD6E8FB; }
  virtual DWORD GetItemHotBkColor() const { return 0xFFEEF4FB; }
  virtual DWORD GetItemTextColor() const { return 0xFF1F2328; }
  virtual int GetItemFont() const { return -1; }

 protected:
  ~IListOwnerUI() = default;
};

// A column title. Dragging its right edge (the last `sepwidth` pixels, 4 by default, 0 for
// none) sets the column's width; a click raises "headerclick".
class CListHeaderItemUI : public CButtonUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void DoEvent(TEventUI& event) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintBorder(HDC hDC) override;

 private:
  bool OnSeparator(POINT pt) const { return m_iSepWidth > 0 && pt.x >= m_rcItem.right - m_iSepWidth; }

  int m_iSepWidth = 4;
  int m_iDragStartX = -1;
  int m_iDragStartWidth = 0;
};

class CListHeaderUI : public CHorizontalLayoutUI {
 public:
  CListHeaderUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  SIZE EstimateSize(SIZE available) override;
};

// A row of a list or combo. Click selects it ("itemclick" then the list's "itemselect"),
// a double click raises "itemdbclick" and "itemactivate", a right click "menu".
class CListElementUI : public CControlUI, public IListItemUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;
  int GetIndex() const override { return m_iIndex; }
  void SetIndex(int index) override { m_iIndex = index; }
  CControlUI* GetOwnerControl() const override { return m_pOwner; }
  void SetOwner(CControlUI* owner) override;
  bool IsSelected() const override { return m_bSelected; }
  bool Select(bool select = true, bool triggerEvent = true) override;
  void SetVisible(bool visible = true) override;
  SIZE EstimateSize(SIZE available) override;
  void DoEvent(TEventUI& event) override;
  void PaintBkColor(HDC hDC) override;

 protected:
  IListOwnerUI* Owner() const;

  int m_iIndex = -1;
  CControlUI* m_pOwner = nullptr;
  bool m_bSelected = false;
  bool m_bHot = false;
};

// A row of one text (combo items and menus use it).
class CListLabelElementUI : public CListElementUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  SIZE EstimateSize(SIZE available) override;
  void PaintText(HDC hDC) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  UINT m_uTextStyle = DT_VCENTER_UI | DT_SINGLELINE_UI;
  RECT m_rcTextPadding{8, 0, 8, 0};
  DWORD m_dwTextColor = 0;
};

// A row with one text per header column. A text "<i file>" draws that image instead.
// A marked row is drawn in bold.
class CListTextElementUI : public CListLabelElementUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  const wchar_t* GetText(int column) const;
  void SetText(int column, const wchar_t* text);
  using CControlUI::GetText;
  using CControlUI::SetText;
  bool IsMarked() const { return m_bMarked; }
  void SetMarked(bool marked) {
    m_bMarked = marked;
    Invalidate();
  }
  void PaintText(HDC hDC) override;

 private:
  std::vector<CDuiString> m_texts;
  bool m_bMarked = false;
};

// A row that holds arbitrary controls (laid out like a horizontal layout).
class CListContainerElementUI : public CHorizontalLayoutUI, public IListItemUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;
  int GetIndex() const override { return m_iIndex; }
  void SetIndex(int index) override { m_iIndex = index; }
  CControlUI* GetOwnerControl() const override { return m_pOwner; }
  void SetOwner(CControlUI* owner) override { m_pOwner = owner; }
  bool IsSelected() const override { return m_bSelected; }
  bool Select(bool select = true, bool triggerEvent = true) override;
  SIZE EstimateSize(SIZE available) override;
  void DoEvent(TEventUI& event) override;
  void PaintBkColor(HDC hDC) override;

 protected:
  int m_iIndex = -1;
  CControlUI* m_pOwner = nullptr;
  bool m_bSelected = false;
  bool m_bHot = false;
};

// A vertical list with an optional header; rows are the children other than the header.
// "itemselect" carries the new index in wParam and the old one in lParam.
class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
 public:
  CListUI();
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;

  CListHeaderUI* GetHeader() const { return m_pHeader; }
  CListHeaderUI* GetListHeader() const override { return m_pHeader; }
  // Rows (the header is not counted).
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(CControlUI* control) const;
  bool SetItemIndex(CControlUI* control, int index);
  int GetCount() const;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  bool RemoveAt(int index, bool doNotDestroy = false) override;
  void RemoveAll() override;

  int GetCurSel() const override { return m_iCurSel; }
  // Selecting the selected row again raises nothing; -1 clears the selection.
  bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true) override;
  void EnsureVisible(int index);
  DWORD GetItemSelectedBkColor() const override { return m_dwSelectedBkColor; }
  DWORD GetItemHotBkColor() const override { return m_dwHotBkColor; }
  DWORD GetItemTextColor() const override { return m_dwItemTextColor; }
  int GetItemFont() const override { return m_iItemFont; }

  void SetPos(RECT rc, bool needInvalidate = true) override;
  void DoEvent(TEventUI& event) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;

 protected:
  // Rows are the items after the header.
  int FirstRow() const { return m_pHeader ? 1 : 0; }
  RECT BodyRect() const;
  // Tells the rows from `from` on their index (rows before it keep theirs), so appending a row
  // costs one row, not the whole list.
  void Reindex(int from = 0);

  CListHeaderUI* m_pHeader = nullptr;
  int m_iCurSel = -1;
  DWORD m_dwSelectedBkColor = 0xFFD6E8FB;
  DWORD m_dwHotBkColor = 0xFFEEF4FB;
  DWORD m_dwItemTextColor = 0xFF1F2328;
  int m_iItemFont = -1;
};

// A drop-down list: items are list elements (usually CListLabelElementUI with user data).
// The closed combo shows the selected item's text; clicking opens the list below it.
class CComboUI : public CContainerUI, public IListOwnerUI {
 public:
  CComboUI();
  ~CComboUI() override;
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  UINT GetControlFlags() const override;

  CDuiString GetText() const override;
  void SetEnabled(bool enable = true) override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  bool RemoveAt(int index, bool doNotDestroy = false) override;
  void RemoveAll() override;

  int GetCurSel() const override { return m_iCurSel; }
  bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true) override;
  bool Activate() override;
  bool IsDropped() const { return m_pDropWnd != nullptr; }
  void CloseDrop();
  DWORD GetItemSelectedBkColor() const override { return m_dwSelectedBkColor; }
  DWORD GetItemHotBkColor() const override { return m_dwHotBkColor; }
  DWORD GetItemTextColor() const override { return m_dwItemTextColor; }
  int GetItemFont() const override { return m_iFont; }

  void SetPos(RECT rc, bool needInvalidate = true) override;
  SIZE EstimateSize(SIZE available) override;
  void DoEvent(TEventUI& event) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  CControlUI* FindControl(FINDCONTROLPROC proc, void* data, UINT flags) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintText(HDC hDC) override;
  void PaintStatusImage(HDC hDC) override;

 protected:
  friend class CComboDropWnd;
  void Reindex(int from = 0);  // as CListUI::Reindex

  int m_iCurSel = -1;
  bool m_bHot = false;
  int m_iFont = -1;
  SIZE m_szDropBox{0, 150};
  DWORD m_dwTextColor = 0xFF1F2328;
  RECT m_rcTextPadding{8, 0, 24, 0};
  DWORD m_dwSelectedBkColor = 0xFFD6E8FB;
  DWORD m_dwHotBkColor = 0xFFEEF4FB;
  DWORD m_dwItemTextColor = 0xFF1F2328;
  class CComboDropWnd* m_pDropWnd = nullptr;
};

// A combo whose text can also be typed; "textchanged" follows typing.
class CEditComboUI : public CComboUI {
 public:
  CEditComboUI();
  ~CEditComboUI() override;
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  CDuiString GetText() const override { return m_sText; }
  void SetText(const wchar_t* text) override;
  bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true) override;
  void SetPos(RECT rc, bool needInvalidate = true) override;
  void DoEvent(TEventUI& event) override;
  void PaintText(HDC hDC) override;

 private:
  RECT TextRect() const;
  void PlaceEditor();
  // While focused in a window a Qt editor lies over the text part (see CEditUI).
  std::unique_ptr<CEditorHost> m_editor;
};

class CTreeViewUI;

// A tree node: a row (folder button, check box, label) and child nodes shown below it
// while it is expanded. Child nodes are also rows of the owning tree view.
class CTreeNodeUI : public CListContainerElementUI {
 public:
  CTreeNodeUI(CTreeNodeUI* parentNode = nullptr);
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  void SetVisible(bool visible = true) override;
  void SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void DoEvent(TEventUI& event) override;
  void DoPaint(HDC hDC, const RECT& rcPaint) override;
  void SetPos(RECT rc, bool needInvalidate = true) override;

  CTreeNodeUI* GetParentNode() const { return m_pParentTreeNode; }
  void SetParentNode(CTreeNodeUI* node) { m_pParentTreeNode = node; }
  CTreeViewUI* GetTreeView() const { return m_pTreeView; }
  void SetTreeView(CTreeViewUI* tree) { m_pTreeView = tree; }
  int GetCountChild() const { return int(m_children.size()); }
  CTreeNodeUI* GetChildNode(int index) const;
  bool IsHasChild() const { return !m_children.empty(); }
  int GetTreeLevel() const;
  bool IsExpanded() const { return m_bExpanded; }
  void SetExpanded(bool expanded);
  void SetItemText(const wchar_t* text) { SetText(text); }
  CDuiString GetItemText() const { return GetText(); }
  bool IsCheckBoxSelected() const { return m_bChecked; }
  void SetCheckBoxSelected(bool checked) {
    m_bChecked = checked;
    Invalidate();
  }
  void SetVisibleFolderBtn(bool visible) {
    m_bFolderVisible = visible;
    Invalidate();
  }
  void SetVisibleCheckBtn(bool visible) {
    m_bCheckVisible = visible;
    Invalidate();
  }
  void PaintText(HDC hDC) override;

 private:
  friend class CTreeViewUI;
  CTreeNodeUI* m_pParentTreeNode = nullptr;
  CTreeViewUI* m_pTreeView = nullptr;
  std::vector<CTreeNodeUI*> m_children;
  bool m_bExpanded = true;
  bool m_bChecked = false;
  bool m_bFolderVisible = true;
  bool m_bCheckVisible = false;
  int m_iIndent = 16;
  DWORD m_dwTextColor = 0;
};

// A list whose rows are tree nodes in depth-first order.
class CTreeViewUI : public CListUI {
 public:
  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  // Adds a root node (with its subtree). Other controls are refused.
  bool Add(CControlUI* control) override;
  bool AddAt(CControlUI* control, int index) override;
  bool Remove(CControlUI* control, bool doNotDestroy = false) override;
  // Folds (true) or unfolds a node's subtree.
  void FoldItem(CTreeNodeUI* node, bool fold);

 private:
  friend class CTreeNodeUI;
  // Inserts `node` and its subtree as rows after row `after` (-1: at the end).
  void InsertRows(CTreeNodeUI* node, int at);
};

}  // namespace DuiLib
