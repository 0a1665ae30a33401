#pragma once

#include "UIControl.h"

#include <deque>
#include <map>
#include <memory>

namespace DuiLib {

struct TFontInfo {
  CDuiString sFontName;
  int iSize = 12;
  bool bBold = false;
  bool bUnderline = false;
  bool bItalic = false;
};

struct TImageInfo {
  HBITMAP hBitmap = nullptr;  // set when the image came from AddImage
  int nX = 0;
  int nY = 0;
  bool bAlpha = true;
  bool bShared = false;  // shared images survive RemoveAllImages of one window
};

// What the manager keeps with each font and image for drawing them.
struct CFontEntry;
struct CImageEntry;

// The heart of a skinned window: it owns the control tree, turns window messages into
// control events, dispatches notifications to the window's notifiers, keeps fonts, images
// and default attributes of the skin, and paints. One per window, UI thread only.
class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();

  void Init(HWND hWnd, const wchar_t* name = nullptr);
  HWND GetPaintWindow() const { return m_hWndPaint; }
  CDuiString GetName() const { return m_sName; }
  bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
  void NeedUpdate() { m_bUpdateNeeded = true; }
  void Invalidate();
  void Invalidate(const RECT& rc);

  // Process-wide paths, ending with '/'. The instance path is the running program's folder;
  // the resource path, where skins and their images are read, is the instance path plus
  // the first window's skin folder unless set before (tests set it to their own skins).
  static HINSTANCE GetInstance();
  static void SetInstance(HINSTANCE instance);
  static CDuiString GetInstancePath();
  static CDuiString GetResourcePath();
  static void SetResourcePath(const wchar_t* path);
  // Runs the UI thread's message loop until WM_QUIT.
  static void MessageLoop();

  // Window attributes from the skin's Window element.
  SIZE GetInitSize() const { return m_szInitWindowSize; }
  void SetInitSize(int cx, int cy);
  SIZE GetMinInfo() const { return m_szMinWindow; }
  void SetMinInfo(int cx, int cy) { m_szMinWindow = SIZE{cx, cy}; }
  SIZE GetMaxInfo() const { return m_szMaxWindow; }
  void SetMaxInfo(int cx, int cy) { m_szMaxWindow = SIZE{cx, cy}; }
  RECT& GetSizeBox() { return m_rcSizeBox; }
  void SetSizeBox(const RECT& rc) { m_rcSizeBox = rc; }
  RECT& GetCaptionRect() { return m_rcCaption; }
  void SetCaptionRect(const RECT& rc) { m_rcCaption = rc; }
  SIZE GetRoundCorner() const { return m_szRoundCorner; }
  void SetRoundCorner(int cx, int cy) { m_szRoundCorner = SIZE{cx, cy}; }
  // The window title of the skin (Window attribute "title" or "caption").
  const wchar_t* GetTitle() const { return m_sTitle; }
  void SetTitle(const wchar_t* title) { m_sTitle = title; }
  bool IsShowUpdateRect() const { return false; }

  // Zoom of everything painted: 1.0 is one skin pixel per device pixel.
  double GetZoomRatio() const { return m_fZoom; }
  void SetZoomRatio(double zoom);

  // Fonts: index order of the skin's Font elements. Index -1 is the default font.
  int AddFont(const wchar_t* name, int size, bool bold, bool underline, bool italic);
  void SetDefaultFont(const wchar_t* name, int size, bool bold, bool underline, bool italic);
  TFontInfo* GetFontInfo(int index);
  const TFontInfo* GetFontInfo(int index) const;
  TFontInfo* GetDefaultFontInfo();
  int GetFontCount() const { return int(m_fonts.size()); }
  DWORD GetDefaultFontColor() const { return m_dwDefaultFontColor; }
  void SetDefaultFontColor(DWORD color) { m_dwDefaultFontColor = color; }
  DWORD GetDefaultDisabledColor() const { return m_dwDefaultDisabledColor; }
  void SetDefaultDisabledColor(DWORD color) { m_dwDefaultDisabledColor = color; }

  // Images by name: a file below the resource path (loaded on first use) or a bitmap
  // added by the application.
  const TImageInfo* GetImage(const wchar_t* name);
  const TImageInfo* GetImageEx(const wchar_t* name, const wchar_t* type = nullptr, DWORD mask = 0);
  // Caches the bitmap under `name` and takes it over (freed with the image). Null, with the
  // bitmap still the caller's, when the name is taken or the bitmap is invalid.
  const TImageInfo* AddImage(const wchar_t* name, HBITMAP bitmap, int width, int height, bool alpha,
                             bool shared = false);
  bool RemoveImage(const wchar_t* name);
  void RemoveAllImages();

  // Default attributes applied to every control of a class before its own.
  void AddDefaultAttributeList(const wchar_t* controlName, const wchar_t* attributes);
  const wchar_t* GetDefaultAttributeList(const wchar_t* controlName) const;
  // Named attribute lists a control can apply with style="name" (Style elements).
  void AddStyle(const wchar_t* name, const wchar_t* attributes);
  const wchar_t* GetStyle(const wchar_t* name) const;
  // The same lists as pairs, parsed once when added; null when there is none.
  const AttributePairs* GetDefaultAttributes(const wchar_t* controlName) const;
  const AttributePairs* GetStyleAttributes(const wchar_t* name) const;
  // Window-level custom attributes.
  void AddWindowCustomAttribute(const wchar_t* name, const wchar_t* value);
  const wchar_t* GetWindowCustomAttribute(const wchar_t* name) const;

  // The control tree.
  bool AttachDialog(CControlUI* root);
  bool InitControls(CControlUI* control, CControlUI* parent = nullptr);
  void ReapObjects(CControlUI* control);
  CControlUI* GetRoot() const { return m_pRoot.get(); }
  CControlUI* FindControl(POINT pt) const;
  CControlUI* FindControl(const wchar_t* name) const;
  CControlUI* FindSubControlByPoint(CControlUI* parent, POINT pt) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const wchar_t* name) const;
  CControlUI* FindSubControlByClass(CControlUI* parent, const wchar_t* className, int index = 0);
  std::vector<CControlUI*> FindSubControlsByClass(CControlUI* parent, const wchar_t* className);
  bool AddOptionGroup(const wchar_t* group, CControlUI* control);
  std::vector<CControlUI*>* GetOptionGroup(const wchar_t* group);
  void RemoveOptionGroup(const wchar_t* group, CControlUI* control);

  CControlUI* GetFocus() const { return m_pFocus; }
  void SetFocus(CControlUI* control, bool focusWindow = true);
  void SetFocusNeeded(CControlUI* control) { SetFocus(control, false); }
  bool SetNextTabControl(bool forward = true);
  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return m_bMouseCapture; }

  // Timers of controls: delivered as UIEVENT_TIMER with wParam = id.
  bool SetTimer(CControlUI* control, UINT timerId, UINT elapse);
  bool KillTimer(CControlUI* control, UINT timerId);
  void KillTimer(CControlUI* control);
  void RemoveAllTimers();

  // Notifications. A synchronous one reaches every notifier (and the sender's OnNotify)
  // now; a queued one after the current message, and is dropped when its sender is
  // destroyed meanwhile. Without `enableRepeat` a queued duplicate (same sender and type)
  // is not queued twice.
  void SendNotify(TNotifyUI& msg, bool async = false, bool enableRepeat = true);
  void SendNotify(CControlUI* control, const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0,
                  bool async = false, bool enableRepeat = true);
  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  bool AddPreMessageFilter(IMessageFilterUI* filter);
  bool RemovePreMessageFilter(IMessageFilterUI* filter);
  bool AddMessageFilter(IMessageFilterUI* filter);
  bool RemoveMessageFilter(IMessageFilterUI* filter);

  // Window messages: filters first, then the control tree. Returns true when handled.
  bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
  // Delivers queued notifications now (the manager also does it after every message).
  void DispatchQueuedNotifies();

  // Lays out the tree to the window's client size (or `size`) if needed.
  void UpdateLayout();
  void UpdateLayout(SIZE clientSize);
  // Paints the whole tree into any DC (a window's, a memory DC's bitmap, a printer page) at the
  // zoom ratio, with the DC's origin and clip.
  void Paint(HDC hDC);
  // Renders the client area (size from the window or the root's size) into a new 32-bit bitmap
  // on white, owned by the caller (DeleteObject); null when there is nothing to render.
  HBITMAP RenderToBitmap();

  // Called by controls when they are destroyed, so that nothing refers to them any more.
  void ControlDestroyed(CControlUI* control);

 private:
  // Turns a window position (device pixels) into skin coordinates.
  POINT ToSkin(POINT pt) const;
  void SetHot(CControlUI* control, POINT pt);
  void Deliver(TNotifyUI& msg);

  HWND m_hWndPaint = nullptr;
  CDuiString m_sName;
  std::unique_ptr<CControlUI> m_pRoot;
  CControlUI* m_pFocus = nullptr;
  CControlUI* m_pEventHover = nullptr;
  CControlUI* m_pEventClick = nullptr;
  bool m_bMouseCapture = false;
  bool m_bUpdateNeeded = true;
  bool m_bFirstLayout = true;
  double m_fZoom = 1.0;
  POINT m_ptLastMousePos{-1, -1};

  SIZE m_szInitWindowSize{};
  SIZE m_szMinWindow{};
  SIZE m_szMaxWindow{};
  SIZE m_szRoundCorner{};
  RECT m_rcSizeBox{};
  RECT m_rcCaption{};
  CDuiString m_sTitle;

  std::unique_ptr<CFontEntry> m_defaultFont;
  std::vector<std::unique_ptr<CFontEntry>> m_fonts;
  DWORD m_dwDefaultFontColor = 0xFF1F2328;
  DWORD m_dwDefaultDisabledColor = 0xFFA0A4AA;
  std::map<std::wstring, std::unique_ptr<CImageEntry>> m_images;
  struct TAttributeList {
    std::wstring text;
    AttributePairs pairs;
  };
  std::map<std::wstring, TAttributeList, std::less<>> m_defaultAttributes;
  std::map<std::wstring, TAttributeList, std::less<>> m_styles;
  std::map<std::wstring, std::wstring> m_windowCustomAttributes;
  std::map<std::wstring, std::vector<CControlUI*>> m_optionGroups;

  struct TimerInfo {
    CControlUI* control;
    UINT localId;
    UINT_PTR winId;
  };
  std::vector<TimerInfo> m_timers;
  UINT_PTR m_nextTimerId = 0x1000;

  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_preMessageFilters;
  std::vector<IMessageFilterUI*> m_messageFilters;
  std::deque<TNotifyUI> m_asyncNotify;
  // Cleared when the manager goes, so that queued work and running loops see it.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace DuiLib
