// The remote-diagnosis plug-in against the consultation service stand-in in process: a member
// of 50 teams holding 10,000 orders logs in; the plug-in window shows every list's first page;
// then 20 orders change and one poll cycle brings them into the lists. Beside it, in the same
// run, the same web calls made directly one after another (the peer: what the plug-in cannot
// avoid: the login and the calls whose answers the first pages wait for; nothing the lists do
// not wait for). Prints both times in ms and their ratio, and the longest stretch the UI thread was
// busy in one go while the plug-in worked (a 1 ms timer's largest gap). For scale beside them: the
// same number of list windows and rows made by the skin engine alone, no plug-in logic, no calls.
// Peer and plug-in are measured in turn, round after round (a login, then three poll cycles
// each); the medians are compared. The process's first login, which also pays for the first
// windows, fonts and skins of the process, is printed on its own as well.
// Usage: bench_remote_poll [orders=10000] [teams=50] [rounds=5]

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "ConsultFixture.h"
#include "Jorvel.h"
#include "LinkManager.h"
#include "LinkWindows.h"
#include "MServer.h"
#include "QuillonWnd.h"
#include "TeamLink.h"
#include "TestSupport.h"
#include "UIlib.h"
#include "WebError.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// The largest gap between two ticks of a 1 ms timer on the UI thread while it runs.
class BusyProbe {
 public:
  BusyProbe() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const auto now = Clock::now();
      if (started_) worst_ = std::max(worst_, std::chrono::duration<double, std::milli>(now - last_).count());
      started_ = true;
      last_ = now;
    });
    timer_.setInterval(1);
  }
  void Start() {
    worst_ = 0;
    started_ = false;
    timer_.start();
  }
  double Stop() {
    timer_.stop();
    return worst_;
  }

 private:
  QTimer timer_;
  Clock::time_point last_;
  bool started_ = false;
  double worst_ = 0;
};

// Runs the UI thread's events until pred holds, looking after every wake-up (the probe's 1 ms
// timer or a post from a worker), so the time taken is not rounded up to a polling step.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  QTimer wake;  // a wake-up at least every millisecond, whether the probe runs or not
  wake.start(1);
  while (!pred()) {
    if (Clock::now() >= deadline) return pred();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "bench_remote_poll: %s failed\n", what);
  // The plug-in's objects and threads may be alive: end without the statics' destructors.
  std::fflush(stdout);
  _exit(1);
}

// A bare skinned window showing a list skin, for scale: what the skin engine alone costs to
// make the lists' windows and rows, without the plug-in's logic and without web calls.
class PlainListWindow : public DuiLib::WindowImplBase {
 public:
  explicit PlainListWindow(const wchar_t* skin) : skin_(skin) {}
  const wchar_t* GetWindowClassName() const override { return L"BenchPlainList"; }
  DuiLib::CDuiString GetSkinFolder() override { return L""; }
  DuiLib::CDuiString GetSkinFile() override { return skin_; }
  void OnFinalMessage(HWND) override { delete this; }
  DuiLib::CPaintManagerUI& Manager() { return m_PaintManager; }

 private:
  const wchar_t* skin_;
};

// Makes `windows` list windows, then `rows` rows in each from the row skin parsed once, the
// way the plug-in builds them; returns the time in ms. The windows are closed afterwards.
double SkinEngineAlone(HWND parent, int windows, int rows) {
  const auto start = Clock::now();
  std::vector<PlainListWindow*> made;
  DuiLib::CDialogBuilder rowBuilder;
  for (int w = 0; w < windows; ++w) {
    auto* window = new PlainListWindow(w == 0 ? L"remote/main_panel_my.xml" : L"remote/main_panel_team.xml");
    Check(window->Create(parent, L"BenchPlainList", w == 0 ? 0x56000000 : 0x46000000, 0, 0, 0, 1000, 600) != nullptr,
          "plain list window");
    auto* list = dynamic_cast<DuiLib::CListUI*>(window->Manager().FindControl(L"orderList"));
    Check(list != nullptr, "plain list");
    for (int r = 0; r < rows; ++r) {
      DuiLib::CControlUI* row = r == 0 && w == 0
                                    ? rowBuilder.Create(L"remote/list_item_team.xml", (unsigned int)0, nullptr,
                                                        &window->Manager())
                                    : rowBuilder.Create(nullptr, &window->Manager());
      Check(row != nullptr && list->Add(row), "plain row");
    }
    made.push_back(window);
  }
  SOWin::PumpEvents(0);
  const double ms = Ms(start);
  for (PlainListWindow* window : made) DestroyWindow(window->GetHWND());
  SOWin::PumpEvents(20);
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  const int orderCount = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int teamCount = argc > 2 ? std::atoi(argv[2]) : 50;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  DuiLib::CPaintManagerUI::SetResourcePath((orvanta::test::ProgramFolder() / "skin").wstring().append(L"/").c_str());

  ConsultFixture service;
  Check(service.Start() > 0, "starting the service");
  Web_SetSettings({service.BaseUrl(), 2000, 20000});
  service.Admin("SetNode", {{"aeTitle", "CONSULT"}, {"host", "127.0.0.1"}, {"port", 9}});
  service.AddUser("reporter", "pw", "13800000002", "Reporter");
  service.AddUser("client", "pw", "13800000001", "Client");
  WebError error;

  // The teams, then the orders spread over them, oldest first.
  const auto setupStart = Clock::now();
  Check(GetJorvel()->Login("reporter", "pw", &error), "login");
  std::vector<TeamRecord> teams(teamCount);
  const std::string mobile = "13800000002";
  for (int t = 0; t < teamCount; ++t) {
    Check(Web_VerifyCode(&mobile, &error), "verify code");
    Check(Web_TeamCreate("Team " + std::to_string(t), "bench", mobile, service.SmsCode(mobile), &teams[t], &error),
          "team creation");
  }
  Check(GetJorvel()->Login("client", "pw", &error), "client login");
  std::vector<std::string> orderIds;
  for (int i = 0; i < orderCount; ++i) {
    service.Admin("SetClock", {{"now", 1765000000 + i}});
    DiagnosticCreateRequest request;
    request.teamId = teams[i % teamCount].id;
    request.patientName = "Patient " + std::to_string(i);
    request.studyUID = "1.2.826.0.9." + std::to_string(i);
    request.seriesUIDs = {request.studyUID + ".1"};
    DiagnosticRecord answer;
    Check(Web_DiagnosticCreate(&request, &answer, &error), "order creation");
    orderIds.push_back(answer.id);
  }
  std::printf("set-up: %d teams, %d orders in %.1f s\n", teamCount, orderCount,
              std::chrono::duration<double>(Clock::now() - setupStart).count());
  // 20 of the newest orders change (each team's newest ones, so every list shows them). The
  // peer's cycles set REPORTED; the plug-in's alternate WAITING and PROCESSING, so each of its
  // cycles brings a state its lists do not show yet.
  int pluginChanges = 0;
  auto changeOrders = [&](const char* state) {
    for (int k = 0; k < 20; ++k)
      service.Admin("SetOrderState", {{"id", orderIds[orderIds.size() - 1 - k]}, {"state", state}});
  };

  // The peer: the web calls of a login's first poll and of one poll cycle, made directly.
  std::vector<int> stamps(teamCount);
  std::vector<std::string> lastIds(teamCount);
  size_t rawFirstCalls = 0, rawPollCalls = 0;
  auto rawFirstPages = [&] {
    service.Admin("ClearRequests");
    const auto start = Clock::now();  // the login is inside the clock, as it is for the plug-in
    Check(GetJorvel()->Login("reporter", "pw", &error), "reporter login");
    NotifyIndicator indicator;
    std::vector<TeamRecord> mine;
    std::vector<DiagnosticRecord> records;
    int stamp = 0;
    Check(Web_GetNotifyIndicator(&indicator, &error), "indicator");
    Check(Web_TeamListOfMine(&mine, &error), "team list");
    Check(Web_DiagnosticListOfMy(&records, "", 20, &stamp, &error), "own orders");
    for (int t = 0; t < teamCount; ++t) {
      records.clear();
      Check(Web_DiagnosticListOfTeam(teams[t].id, &records, "", 20, &stamps[t], &error), "team orders");
      lastIds[t] = records.empty() ? std::string() : records.back().id;
    }
    const double ms = Ms(start);
    rawFirstCalls = service.Admin("Requests").at("requests").size();
    return ms;
  };
  auto rawPoll = [&] {
    changeOrders("REPORTED");
    service.Admin("ClearRequests");
    const auto start = Clock::now();
    NotifyIndicator indicator;
    Check(Web_GetNotifyIndicator(&indicator, &error), "indicator");
    for (int t = 0; t < teamCount; ++t) {
      std::vector<DiagnosticRecord> records;
      int newStamp = 0;
      Check(Web_DiagnosticUpdatedListOfTeam(teams[t].id, &records, lastIds[t], stamps[t], &newStamp, &error),
            "changes");
      stamps[t] = newStamp;
    }
    const double ms = Ms(start);
    rawPollCalls = service.Admin("Requests").at("requests").size();
    return ms;
  };

  // The plug-in: its window, the login, every list's first page shown.
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = L"BenchRemoteHost";
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
  HWND host = CreateWindowExW(0, L"BenchRemoteHost", L"host", WS_POPUP, 0, 0, 1200, 700, nullptr, nullptr, nullptr,
                              nullptr);
  auto* plugin = new CQuillonWnd;  // lives to the end, as in the program
  Check(plugin->CreateWnd(host, 0, 0, 1200, 700) != nullptr, "plug-in window");
  SOWin::PumpEvents(20);
  auto listsShown = [&] {
    const auto& entries = plugin->Entries();
    if (int(entries.size()) != teamCount + 1) return false;
    for (size_t i = 1; i < entries.size(); ++i)
      if (!entries[i]->window || entries[i]->window->Items().size() != 20) return false;
    return true;
  };
  BusyProbe probe;
  double firstBusy = 0, pollBusy = 0;
  size_t pluginFirstCalls = 0, pluginPollCalls = 0;
  auto pluginFirstPages = [&] {
    service.Admin("ClearRequests");
    probe.Start();
    const auto start = Clock::now();
    Check(GetJorvel()->Login("reporter", "pw", &error), "plug-in login");
    Check(WaitFor(listsShown, 120000), "first pages shown");
    const double ms = Ms(start);
    firstBusy = std::max(firstBusy, probe.Stop());
    pluginFirstCalls = service.Admin("Requests").at("requests").size();
    return ms;
  };
  auto pluginPoll = [&] {
    const std::string wanted = pluginChanges++ % 2 ? "WAITING" : "PROCESSING";
    changeOrders(wanted.c_str());
    // The changed orders' objects, found before the clock starts: looking through every list
    // at each wake-up would cost the UI thread more than the poll itself.
    std::vector<std::shared_ptr<OrderObject>> changed;
    for (const auto& link : LinkManager::Instance().Teams())
      for (const auto& order : link->Orders())
        for (int k = 0; k < 20; ++k)
          if (order->Record().id == orderIds[orderIds.size() - 1 - k]) changed.push_back(order);
    Check(changed.size() == 20, "the changed orders listed");
    auto changedShown = [&] {
      for (const auto& order : changed)
        if (order->Record().state != wanted) return false;
      return true;
    };
    service.Admin("ClearRequests");
    probe.Start();
    const auto start = Clock::now();
    MServer::Instance().PollNow();
    Check(WaitFor(changedShown, 60000), "poll cycle");
    SOWin::PumpEvents(0);  // the rows' refreshes posted by the changes
    const double ms = Ms(start);
    pollBusy = std::max(pollBusy, probe.Stop());
    pluginPollCalls = service.Admin("Requests").at("requests").size();
    return ms;
  };

  // Peer and plug-in in turn, a login and three poll cycles each per round.
  std::vector<double> rawFirsts, pluginFirsts, rawPolls, pluginPolls;
  for (int round = 0; round < rounds; ++round) {
    rawFirsts.push_back(rawFirstPages());
    GetJorvel()->Logout();
    SOWin::PumpEvents(20);
    pluginFirsts.push_back(pluginFirstPages());
    for (int poll = 0; poll < 3; ++poll) {
      rawPolls.push_back(rawPoll());
      pluginPolls.push_back(pluginPoll());
    }
    GetJorvel()->Logout();
    SOWin::PumpEvents(50);
    std::printf("round %d: first pages plug-in %.1f ms, raw %.1f ms; polls plug-in %.1f %.1f %.1f ms, raw %.1f %.1f "
                "%.1f ms\n",
                round + 1, pluginFirsts.back(), rawFirsts.back(), pluginPolls[pluginPolls.size() - 3],
                pluginPolls[pluginPolls.size() - 2], pluginPolls.back(), rawPolls[rawPolls.size() - 3],
                rawPolls[rawPolls.size() - 2], rawPolls.back());
  }
  const double aloneMs = SkinEngineAlone(host, teamCount + 1, 20);

  const double rawFirst = bench::Median(rawFirsts), pluginFirst = bench::Median(pluginFirsts);
  const double rawPollMs = bench::Median(rawPolls), pluginPollMs = bench::Median(pluginPolls);
  std::printf("first pages shown (median of %d): plug-in %8.1f ms (%zu calls)  raw web calls %8.1f ms (%zu calls)  "
              "ratio %.2fx\n",
              rounds, pluginFirst, pluginFirstCalls, rawFirst, rawFirstCalls, pluginFirst / rawFirst);
  std::printf("first pages shown at the process's first login: plug-in %8.1f ms  raw web calls %8.1f ms  ratio "
              "%.2fx\n",
              pluginFirsts[0], rawFirsts[0], pluginFirsts[0] / rawFirsts[0]);
  std::printf("poll cycle, 20 changed orders (median of %d): plug-in %6.1f ms (%zu calls)  raw web calls %6.1f ms "
              "(%zu calls)  ratio %.2fx\n",
              3 * rounds, pluginPollMs, pluginPollCalls, rawPollMs, rawPollCalls, pluginPollMs / rawPollMs);
  std::printf("for scale, the skin engine alone making %d list windows of 1000x600 and %d rows: %8.1f ms "
              "(%.2fx the raw web calls)\n",
              teamCount + 1, (teamCount + 1) * 20, aloneMs, aloneMs / rawFirst);
  std::printf("UI thread longest busy stretch: first pages %.1f ms, poll cycles %.1f ms (goal <= 16 ms per poll)\n",
              firstBusy, pollBusy);
  std::printf("load %.1f\n", bench::LoadAverage());

  MServer::Instance().Stop();
  DestroyWindow(host);
  SOWin::PumpEvents(20);
  // The plug-in's objects live to the end of the process, as in the program; the process ends
  // here without running the destructors of the application's statics.
  std::fflush(stdout);
  _exit(0);
}
