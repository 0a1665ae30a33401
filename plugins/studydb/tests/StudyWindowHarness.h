#pragma once

// The study database window on a test store with a recording host, and studies to fill it.

#include "DicomFixtures.h"
#include "IKelvast.h"
#include "ISOPlugin.h"
#include "SODcmSR.h"
#include "SODcmUtil.h"
#include "SOTabriskWnd.h"
#include "SOUtil.h"
#include "SOWin32.h"
#include "StudyJobs.h"
#include "TestSupport.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace studytest {

namespace fs = std::filesystem;

// A host that records what the plug-in asks of it, as "Activate Tessaly",
// "Command Tessaly LOADDIR <folder>", "Broadcast 50001".
class RecordingHost : public ISOExecuter {
 public:
  bool commandResult = true;
  std::vector<std::string> calls;
  std::vector<std::string> viewedFiles;  // the file list of the last view or film broadcast
  void* lastData = nullptr;

  bool HasPlugin(const wchar_t*) override { return true; }
  bool ActivatePlugin(const wchar_t* name) override {
    calls.push_back("Activate " + SOWin::ToUtf8(name));
    return true;
  }
  bool SetStatusText(const char* text) override {
    std::lock_guard<std::mutex> lock(statusMutex_);
    statuses_.push_back(text ? text : "");
    return true;
  }
  bool SendCommand(const wchar_t* name, const char* command, void* data) override {
    std::string call = "Command " + SOWin::ToUtf8(name) + " " + command;
    if (std::string(command) == SOCMD_LOADDIR) call += std::string(" ") + static_cast<const char*>(data);
    if (std::string(command) == SOCMD_OPEN_SR_FILEG) {
      const auto* request = static_cast<const SROpenRequest*>(data);
      call += request->modified ? " new" : request->readOnly ? " read-only" : " editable";
    }
    calls.push_back(call);
    return commandResult;
  }
  bool Broadcast(int id, void* data, HWND) override {
    calls.push_back(SOUtil::Format("Broadcast %x", id));
    if (id == SOMSG_VIEW_FILES || id == SOMSG_FILM_FILES) viewedFiles = *static_cast<std::vector<std::string>*>(data);
    lastData = data;
    return true;
  }
  void SetBadge(ISOPlugin*, int) override {}

  std::vector<std::string> Statuses() {
    std::lock_guard<std::mutex> lock(statusMutex_);
    return statuses_;
  }

 private:
  std::mutex statusMutex_;
  std::vector<std::string> statuses_;
};

// The program folder's skins and catalogs, for windows made in a test.
inline void UseProgramSkins() {
  orvanta::test::EnsureQtApp();
  const fs::path bin = orvanta::test::ProgramFolder();
  DuiLib::CPaintManagerUI::SetResourcePath(((bin / "skin").wstring() + L"/").c_str());
  ui_bindtextdomain("orvanta", (bin / "locale").string().c_str());
  ui_textdomain("orvanta");
}

// The window as a top-level window of the given size, on that store and host.
inline tabrisk::SOTabriskWnd* OpenStudyWindow(IKelvast* store, ISOExecuter* host, int width = 1100, int height = 700) {
  auto* window = new tabrisk::SOTabriskWnd(store);
  window->SetExecuter(host);
  window->Create(nullptr, L"SOTabriskWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, width, height);
  return window;
}

inline void CloseStudyWindow(tabrisk::SOTabriskWnd* window) {
  if (!window) return;
  window->WaitForJobs();
  if (IsWindow(window->GetHWND())) DestroyWindow(window->GetHWND());
  SOWin::PumpEvents(10);
  delete window;
}

// What a test study holds: its patient, series of CT slices and reports.
struct StudyContents {
  std::string patientId;
  std::string patientName;
  int series = 1;
  int slices = 3;
  int reports = 0;  // reports made from the study's first image
};

// Writes the study's files below folder and imports them into the store; the study id.
inline std::string AddStudy(IKelvast* store, const fs::path& folder, const StudyContents& study) {
  std::vector<std::string> files;
  std::string studyUid;
  for (int s = 0; s < study.series; ++s) {
    orvanta::fixtures::CtSeriesOptions options;
    options.slices = study.slices;
    options.rows = options.columns = 16;
    options.patientId = study.patientId;
    options.patientName = study.patientName;
    options.studyUid = studyUid;
    auto written = orvanta::fixtures::WriteCtSeries(folder / ("s" + std::to_string(s)), options);
    studyUid = written.studyUid;
    for (const auto& file : written.files) files.push_back(file.string());
  }
  for (int r = 0; r < study.reports; ++r) {
    SODcmSR sr;
    SODcmUtil::CreateSR(sr, files.front().c_str());
    sr.SetFinding(SOUtil::UTF82WStr(SOUtil::Format("Finding %d", r + 1).c_str()).c_str());
    sr.SetConclusion(L"Conclusion");
    if (r == 0) sr.VerifyDocument();
    const fs::path path = folder / ("report" + std::to_string(r) + ".dcm");
    sr.SaveFile(path.c_str());
    files.push_back(path.string());
  }
  RunImport(files, store, nullptr);
  return study.patientId + "_" + studyUid;
}

}  // namespace studytest
