#pragma once

#include "ISOOstrel.h"
#include "ISOPlugin.h"
#include "PrinterConfig.h"
#include "SOPrintQueue.h"
#include "UIlib.h"

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>
#include <optional>

namespace brenvik {

// What one print click asks for: the chosen printer (a copy) and whether all films print.
struct FilmPrintTask {
  PrinterRecord printer;
  bool allFilms = false;
};

// The film plug-in: the film layout control with one tab per study, the layout, orientation
// and tool buttons, the printer choice and printing through the print queue.
class SOPluginFilmWnd : public DuiLib::WindowImplBase,
                        public ISOPlugin,
                        public ISOOstrelCallback,
                        public ISOFilmConfigCallback,
                        public ISOPrintQueueCallback {
 public:
  // config and queue default to the process's own.
  explicit SOPluginFilmWnd(PrinterConfig* config = nullptr, SOPrintQueue* queue = nullptr);
  // The host keeps its plug-in for the life of the process; a window made on its own (tests,
  // pictures) ends here, after its window is destroyed and its generation threads are done.
  ~SOPluginFilmWnd() override;

  const wchar_t* GetName() override { return L"Brenvik"; }
  const wchar_t* GetTitle() override { return m_PaintManager.GetTitle(); }
  const wchar_t* GetIcon() override { return L"film/film.png"; }
  void SetExecuter(ISOExecuter* host) override { m_host = host; }
  ISOExecuter* GetExecuter() override { return m_host; }
  bool OnCommand(const char*, void*) override { return false; }
  bool OnMessage(int id, void* data, HWND owner) override;
  HWND CreateWnd(HWND parent, int x, int y, int cx, int cy) override;

  const wchar_t* GetWindowClassName() const override { return L"SOPluginFilmWnd"; }
  void InitWindow() override;
  void Notify(DuiLib::TNotifyUI& msg) override;

  void OnLoadProgress(int done, int total) override;
  void OnLoadFinished(int done, int total) override;
  void OnSessionAdded(ISOFilmSession* session) override;
  void OnSessionRemoved(ISOFilmSession* session) override;
  void OnSessionSelected(ISOFilmSession* session) override;
  void OnExportProgress(ISOFilmSession* session, SODcmFile* file, int done, int total) override;
  void OnExportFinished(ISOFilmSession* session, SODcmFile* file, int done, int total) override;
  void OnPrinterConfigChanged() override;
  // Tells the user how the films this window queued came out.
  void OnPrintQueueChanged(std::vector<PrintJob> jobs) override;

  ISOOstrel* GetOstrel() const { return m_ostrel; }
  std::optional<PrinterRecord> GetSelectedPrinter();
  // Generation threads still running.
  int Generating() const { return m_generating.load(); }
  // Starts printing the current film or all films; false (with the message shown) without a
  // printer.
  bool Print(bool allFilms);

 protected:
  DuiLib::CDuiString GetSkinFolder() override { return L"skin/"; }
  DuiLib::CDuiString GetSkinFile() override { return L"film/main.xml"; }
  LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

 private:
  void GenerateFilms(FilmPrintTask task);
  void FillPrinterCombo();
  void ApplyPrinterHeader();
  bool AllFilms();
  void ToggleTool(const wchar_t* icon, int tool);
  void SelectGraphic(int page, bool toggle);
  void OpenLayoutPicker(DuiLib::CControlUI* below);
  int PopupMenu(DuiLib::CControlUI* below, const std::vector<const wchar_t*>& items);
  POINT BelowControl(DuiLib::CControlUI* control);
  bool OnPanelSize(void* param);
  void OpenFolder();
  void OpenFile();
  void LoadPaths(const std::vector<std::string>& paths);
  DuiLib::CContainerUI* TabOf(ISOFilmSession* session);
  void ShowMessage(const wchar_t* key);
  void ShowOutcome(int state);
  SOPrintQueue* Queue();

  ISOExecuter* m_host = nullptr;
  DuiLib::CHorizontalLayoutUI* m_tabs = nullptr;
  DuiLib::CComboUI* m_printerCombo = nullptr;
  ISOOstrel* m_ostrel = nullptr;
  PrinterConfig* m_config;
  SOPrintQueue* m_queue;
  DuiLib::CInvoke m_invoke;
  std::atomic<int> m_generating{0};
  // Guards the two sets below, which the generation threads and the queue's thread share.
  std::mutex m_jobsMutex;
  // Jobs this window queued whose outcome the user has not been told yet.
  std::set<std::string> m_pending;
  // Jobs the queue finished before their generation thread had noted them: their outcome.
  std::map<std::string, int> m_finished;
};

}  // namespace brenvik
