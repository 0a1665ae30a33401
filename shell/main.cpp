// Orvanta: one program per user; a second start brings the running one to the front.

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <memory>
#include <thread>

#include "CMainFrameWnd.h"
#include "SOSingleInstance.h"
#include "SOSystemConfig.h"
#include "SOWinApp.h"
#include "ShellRequests.h"

using namespace DuiLib;

int main(int argc, char** argv) {
  // Requests to end (SIGTERM, SIGHUP, SIGINT) are taken by one thread of ours and reach the
  // frame as a message, whatever loop the UI thread is in. Every thread inherits the mask.
  sigset_t ends;
  sigemptyset(&ends);
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&ends, sig);
  pthread_sigmask(SIG_BLOCK, &ends, nullptr);

  SOSingleInstance instance;
  if (!instance.Acquire()) {
    SOSingleInstance::Send(kActivateRequest);
    return 0;
  }

  return SOWin::RunApplication(argc, argv, [&] {
    const std::string programDir = ProgramDir();
    SOSystemConfig* config = SOSystemConfig::Instance();
    config->InitLanguage();
    ui_setlocal(0, config->GetCurrentLanguage().c_str());
    ui_bindtextdomain("orvanta", (programDir + "locale").c_str());
    ui_textdomain("orvanta");
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CPaintManagerUI::SetResourcePath(SOWin::FromUtf8(programDir + "skin/").c_str());
    CWndShadow::Initialize(GetModuleHandleW(nullptr));

    CMainFrameWnd::Options options;
    options.programDir = programDir;
    options.plugins = config->GetPlugins();
    auto frame = std::make_unique<CMainFrameWnd>(std::move(options));
    const HWND hwnd = frame->CreateFrame();
    if (!hwnd) return 1;
    instance.Listen(HandleShellRequest);

    std::atomic<bool> ending{false};
    std::thread ender([&] {
      int sig = 0;
      sigwait(&ends, &sig);
      if (!ending) PostMessageW(hwnd, WM_ENDSESSION, 1, 1);
    });
    CPaintManagerUI::MessageLoop();
    ending = true;
    pthread_kill(ender.native_handle(), SIGTERM);
    ender.join();
    frame.reset();
    return 0;
  });
}
