// Velstrom: the DICOM tag viewer the 2D viewer starts as
//   Velstrom ORVANTA_DICOM_TAGS [file]
// It lists every attribute of the file, with a search field.

#include <cstring>
#include <string>

#include "SOSystemConfig.h"
#include "SOUtil.h"
#include "SOWinApp.h"
#include "VelstromWnd.h"

using namespace DuiLib;

int main(int argc, char** argv) {
  std::string path;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "ORVANTA_DICOM_TAGS") != 0) path = argv[i];
  return SOWin::RunApplication(argc, argv, [&] {
    const std::string programDir = SOUtil::GetModulePath();
    SOSystemConfig* config = SOSystemConfig::Instance();
    config->InitLanguage();
    ui_setlocal(0, config->GetCurrentLanguage().c_str());
    ui_bindtextdomain("orvanta", (programDir + "locale").c_str());
    ui_textdomain("orvanta");
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8(programDir + "skin/").c_str());
    VelstromWnd window(path);
    if (!window.Create(nullptr, L"Velstrom", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 0, 0, 0)) return 1;
    window.CenterWindow();
    window.ShowWindow(true);
    CPaintManagerUI::MessageLoop();
    return 0;
  });
}
