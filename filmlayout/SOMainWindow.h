#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "ISODcmDataCenter.h"
#include "ISOOstrel.h"
#include "SOFilmSessionWindow.h"
#include "SOWindowBase.h"

// The data centre's notifications, moved to the UI thread as blocking sends.
constexpr UINT SO_MSG_DCM_FILE_LOADED = 8045;
constexpr UINT SO_MSG_DCM_LOAD_FINISHED = 8046;
constexpr UINT SO_MSG_DCM_CLEARED = 8047;

class SOLoaderLink;

// The film layout control: loads files with a data centre of its own, keeps one film session
// (with its window) per study and shows the current one. UI thread only, but for ExportFilms.
class SOMainWindow : public SOWindowBase, public ISOOstrel, public ISOFilmSessionCallback {
 public:
  SOMainWindow();
  ~SOMainWindow() override;

  const wchar_t* GetWindowClassName() override { return L"SOMainWindowClass"; }
  DWORD GetWindowClassStyle() override { return CS_HREDRAW | CS_VREDRAW; }
  const wchar_t* GetWindowName() override { return L"SOMainWindow"; }
  DWORD GetWndStyle() override { return WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN; }

  HWND Create(HWND parent, int x, int y, int cx, int cy) override;
  bool Move(int x, int y, int cx, int cy) override;
  bool LoadDir(const char* folder) override;
  bool LoadFiles(SOPtrArray* paths) override;
  int StopLoading(int reserved) override;
  int GetSessionCount() override;
  ISOFilmSession* GetSession(int index) override;
  ISOFilmSession* GetCurrentSession() override;
  bool SelectSessionByStudyUID(const char* studyInstanceUID) override;
  bool SelectSession(ISOFilmSession* session) override;
  bool SelectSessionAt(int index) override;
  int FindSessionByStudyUID(const char* studyInstanceUID) override;
  int GetSessionIndex(ISOFilmSession* session) override;
  void RemoveSessionAt(int index) override;
  void RemoveCurrentSession() override;
  void RemoveSession(ISOFilmSession* session) override;
  bool SetDefaultImageLayout(int rows, int cols) override;
  void GetDefaultImageLayout(int* rows, int* cols) override;
  void SetImageLayout(int rows, int cols, bool allFilms) override;
  void SetCurrentFilmOrientation(int orientation) override;
  void SetOrientation(int orientation, bool allFilms) override;
  void DeleteFilm() override;
  void DeleteImage() override;
  void RecoverFilm() override;
  void SetMouseTool(int tool) override;
  int GetMouseTool() override { return tool_; }
  void ClearGraphics() override;
  void SetHeaderVisible(bool visible) override;
  bool IsHeaderVisible() override { return headerVisible_; }
  bool SetHeaderRatio(float ratio) override;
  bool SetFilmLayout(int rows, int cols) override;
  void SetBackgroundColor(DWORD argb) override;
  bool ExportFilms(SODcmFile* out, bool allFilms, const char* caption) override;
  void RegisterCallback(ISOOstrelCallback* callback) override;
  void UnRegisterCallback(ISOOstrelCallback* callback) override;

  SOFilmSessionWindow* GetSessionWindow(int index);

  LRESULT HandleCustomerMessage(UINT msg, WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam, BOOL& handled) override;
  LRESULT OnSize(WPARAM wParam, LPARAM lParam, BOOL& handled) override;

 private:
  void OnFileLoaded(const SODcmLoadEvent& event);
  SOFilmSessionWindow* AddSession(ISODcmObject* object);
  SOFilmSessionWindow* Current();
  template <typename Call>
  void Notify(Call call);

  // Shared with export snapshots: the data centre and its objects live while either needs them.
  std::shared_ptr<SOLoaderLink> link_;
  uint64_t loadStamp_ = 0;
  int defaultRows_ = 6;
  int defaultCols_ = 4;
  bool headerVisible_ = true;
  float headerRatio_ = 0.02f;
  int current_ = -1;
  std::vector<std::unique_ptr<SOFilmSessionWindow>> sessions_;
  std::vector<ISOOstrelCallback*> callbacks_;
  int tool_ = 0;
  unsigned long background_ = 0xFF939393;
};
