// The study database window over a store of many studies: opening the plug-in until its list is
// shown, and one search (text typed, then the search button) until the list is refreshed,
// beside the store's own list and search on the same database in the same run (the peer: what
// the window cannot avoid). Prints both times in ms, what the window adds and the ratio; the
// goals are at most 50 ms added at 10,000 studies and at most 2x the store's time at 100,000.
// Also the resident memory with the window open (rows are made for what the list shows and
// what scrolling reaches, not for every study).
// Usage: bench_studylist [studies=10000] [rounds=5] [store folder, kept and reused when it
// already holds that many studies]

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ArchiveConfig.h"
#include "BenchSupport.h"
#include "IKelvast.h"
#include "SOSCPManager.h"
#include "SOTabriskWnd.h"
#include "TestSupport.h"
#include "UITestDriver.h"
#include "UIlib.h"

using bench::Median;
using bench::Seconds;
using namespace DuiLib;

namespace {

// Studies with two series each, written as index rows; every hundredth matches the search.
IKelvast* BuildStore(int studyCount, const std::string& folder) {
  IKelvast* store = BuildDB(folder.c_str());
  int present = 0;
  if (store && store->GetStudyCount(&present) && present == studyCount) return store;
  for (int s = present; s < studyCount; ++s) {
    PatientRecord record;
    record.patientID = "P" + std::to_string(s);
    record.patientName = "Patient^" + std::to_string(s);
    record.patientSex = s % 2 ? "F" : "M";
    record.patientAge = "045Y";
    record.studyUID = "1.2.826.0.1." + std::to_string(s);
    record.studyDate = "20240305";
    record.studyTime = "081502";
    record.studyDescription = s % 100 == 7 ? "HEAD SMITH PROTOCOL" : "CT CHEST";
    for (int n = 1; n <= 2; ++n) {
      SeriesRecord series;
      series.seriesUID = record.studyUID + "." + std::to_string(n);
      series.seriesNumber = std::to_string(n);
      series.modality = n == 1 ? "CT" : "SR";
      series.bodyPartExamined = "CHEST";
      series.institutionName = "General";
      InstanceRecord instance;
      instance.sopClassUID = "1.2.840.10008.5.1.4.1.1.2";
      instance.sopInstanceUID = series.seriesUID + ".1";
      instance.instanceNumber = "1";
      series.instances.push_back(instance);
      record.series.push_back(series);
    }
    if (!store->AddPatientRecord(record)) {
      std::fprintf(stderr, "bench_studylist: writing study %d failed\n", s);
      std::exit(1);
    }
  }
  return store;
}

int Rows(tabrisk::SOTabriskWnd* window) {
  auto* list = dynamic_cast<CListUI*>(window->GetPaintManager()->FindControl(L"studyList"));
  return list ? list->GetCount() : -1;
}

// Lays out and paints the window now, as its first showing would.
void Paint(tabrisk::SOTabriskWnd* window) {
  HBITMAP bitmap = window->GetPaintManager()->RenderToBitmap();
  DeleteObject(bitmap);
}

}  // namespace

int main(int argc, char** argv) {
  orvanta::test::InitScratch();
  orvanta::test::EnsureQtApp();
  CPaintManagerUI::SetResourcePath((orvanta::test::ProgramFolder() / "skin").wstring().append(L"/").c_str());
  const int studyCount = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  ArchiveConfig::Instance().SetSCP(orvanta::test::FreeLoopbackPort(), "Storage");

  double writing = 0;
  IKelvast* store = nullptr;
  const std::string folder =
      argc > 3 ? argv[3] : (orvanta::test::MakeTempDir("bench-studylist") / "LOCAL").string();
  writing = Seconds([&] { store = BuildStore(studyCount, folder); });
  std::printf("%d studies written in %.1f s\n", studyCount, writing);

  std::vector<double> storeLists, storeSearches, opens, searches;
  long rssOpen = 0;
  size_t listed = 0, found = 0;
  int shown = 0, shownFound = 0;
  for (int round = 0; round <= rounds; ++round) {
    std::vector<PatientRecord> records;
    const double list = Seconds([&] { store->GetPatientRecords(records, nullptr, false); });
    listed = records.size();
    records.clear();
    const double search = Seconds([&] { store->GetPatientRecords(records, "SMITH", false); });
    found = records.size();

    tabrisk::SOTabriskWnd* window = nullptr;
    const double open = Seconds([&] {
      window = new tabrisk::SOTabriskWnd(store);
      window->Create(nullptr, L"SOTabriskWnd", WS_POPUP | WS_VISIBLE, 0, 0, 0, 1200, 720);
      Paint(window);
    });
    shown = Rows(window);
    rssOpen = bench::RssMb();
    CPaintManagerUI& pm = *window->GetPaintManager();
    UITest::SetText(pm, L"likeSearchEdit", L"SMITH");
    const double keystroke = Seconds([&] {
      UITest::Click(pm, L"searchBtn");
      Paint(window);
    });
    shownFound = Rows(window);
    DestroyWindow(window->GetHWND());
    SOWin::PumpEvents(10);
    delete window;
    if (round == 0) continue;  // warm-up
    storeLists.push_back(list);
    storeSearches.push_back(search);
    opens.push_back(open);
    searches.push_back(keystroke);
  }
  SOSCPManager::Instance().Stop();

  const double storeList = Median(storeLists) * 1000, open = Median(opens) * 1000;
  const double storeSearch = Median(storeSearches) * 1000, search = Median(searches) * 1000;
  std::printf("rows: list %zu shown %d, search %zu shown %d; medians of %d rounds after a warm-up\n", listed, shown,
              found, shownFound, rounds);
  const char* goal = studyCount >= 100000 ? "goal: ratio <= 2" : "goal: adds <= 50 ms";
  std::printf("%-44s %8.1f ms   store list alone   %8.1f ms   window adds %7.1f ms  ratio %.2f (%s)\n",
              "open the plug-in to the list shown", open, storeList, open - storeList, open / storeList, goal);
  std::printf("%-44s %8.1f ms   store search alone %8.1f ms   window adds %7.1f ms  ratio %.2f (%s)\n",
              "search keystroke to the list refreshed", search, storeSearch, search - storeSearch, search / storeSearch,
              goal);
  std::printf("resident memory with the window open: %ld MB; load %.1f\n", rssOpen, bench::LoadAverage());
  ReleaseDB(store);
  orvanta::test::ShutdownScratch();
  return 0;
}
