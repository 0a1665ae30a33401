// The study/series list: texts, order of rows, collapsing, and the two series predicates.

#include "ISODcmDataCenter.h"
#include "ISODcmObject.h"
#include "SODcmFile.h"
#include "TessalyTestUtil.h"

using namespace DuiLib;
using namespace tessalytest;
namespace fx = orvanta::fixtures;

namespace {

// A data centre holding the given files.
struct Loaded {
  explicit Loaded(const std::vector<fs::path>& files) : center(CreateDcmDataCenter()) {
    for (const auto& f : files) {
      SOArray<ISODcmObject*> objects;
      center->LoadFile(f.c_str(), objects);
    }
  }
  ~Loaded() { ReleaseDcmDataCenter(center); }
  ISODcmSeries* Series(const std::string& uid) { return center->FindSeries(uid.c_str()); }
  ISODcmDataCenter* center;
};

void Edit(const fs::path& file, unsigned long tag, const char* value) {
  SODcmFile dcm;
  ASSERT_TRUE(dcm.LoadFile(file.c_str(), true));
  if (value)
    dcm.GetDataset()->SetString(tag, value);
  else
    dcm.GetDataset()->DeleteAttribute(tag);
  ASSERT_TRUE(dcm.SaveFile(file.c_str()));
}

std::wstring TextAt(CControlUI* row, std::initializer_list<int> path) {
  CControlUI* c = row;
  for (int i : path) {
    auto* container = dynamic_cast<CContainerUI*>(c);
    c = container ? container->GetItemAt(i) : nullptr;
  }
  return c ? std::wstring(c->GetText().GetData()) : L"<none>";
}

}  // namespace

TEST(StudyDateTime, FormatsWhatItCanAndShowsShortValuesAsTheyAre) {
  struct {
    const char* date;
    const char* time;
    const char* text;
  } cases[] = {{"20240131", "093015.12", "2024/01/31 09:30:15.12"},
               {"20240131", "", "2024/01/31"},
               {"20240131", "0930", "2024/01/31 09:30"},
               {"202401", "", "2024/01"},
               {"2024", "93", "2024 93"},
               {"", "093015", "09:30:15"},
               {"", "", ""}};
  for (const auto& c : cases) EXPECT_EQ(FormatStudyDateTime(c.date, c.time), c.text) << c.date << " " << c.time;
}

TEST(SeriesPredicates, VolumeNeedsFourParallelSlicesAtDistinctPositions) {
  struct Case {
    const char* what;
    int slices;
    double spacing;
    std::function<void(const fx::WrittenSeries&)> change;
    bool volume;
  } cases[] = {
      {"four parallel slices", 4, 1.25, nullptr, true},
      {"three slices", 3, 1.25, nullptr, false},
      {"one position", 4, 0, nullptr, false},
      {"last tilted by 0.01", 4, 1.25,
       [](const fx::WrittenSeries& s) { Edit(s.files.back(), 0x00200037, "1\\0\\0\\0\\0.99\\0.01"); }, false},
      {"last tilted by 0.004", 4, 1.25,
       [](const fx::WrittenSeries& s) { Edit(s.files.back(), 0x00200037, "1\\0\\0\\0\\0.996\\0.004"); }, true},
      {"no orientation", 4, 1.25,
       [](const fx::WrittenSeries& s) {
         for (const auto& f : s.files) Edit(f, 0x00200037, nullptr);
       },
       false},
  };
  for (const auto& c : cases) {
    fx::CtSeriesOptions options;
    options.slices = c.slices;
    options.rows = options.columns = 16;
    options.sliceSpacing = c.spacing;
    options.shuffleInstanceNumbers = false;
    const auto written = fx::WriteCtSeries(orvanta::test::MakeTempDir("vol"), options);
    if (c.change) c.change(written);
    Loaded loaded(written.files);
    ISODcmSeries* series = loaded.Series(written.seriesUid);
    ASSERT_NE(series, nullptr) << c.what;
    EXPECT_EQ(IsVolumeSeries(series), c.volume) << c.what;
    EXPECT_TRUE(IsImageSeries(series)) << c.what;
  }
  EXPECT_FALSE(IsVolumeSeries(nullptr));
  EXPECT_FALSE(IsImageSeries(nullptr));
  const fs::path sr = fx::WriteBasicTextSr(orvanta::test::MakeTempDir("sr"));
  Loaded report({sr});
  ASSERT_EQ(report.center->GetStudyCount(), 1);
  EXPECT_FALSE(IsImageSeries(report.center->GetStudyAt(0)->GetSeriesAt(0)));
}

TEST_F(Viewer, RowsKeepTheirStudyTogetherAndRefreshInsteadOfRepeating) {
  const fs::path dir = orvanta::test::MakeTempDir("rows");
  fx::CtSeriesOptions options;
  options.slices = 4;
  options.rows = options.columns = 16;
  options.patientName = "Zhang^San";
  options.shuffleInstanceNumbers = false;
  const auto a = fx::WriteCtSeries(dir / "a", options);
  options.studyUid = a.studyUid;
  const auto b = fx::WriteCtSeries(dir / "b", options);
  options.studyUid.clear();
  const auto other = fx::WriteCtSeries(dir / "c", options);
  for (const auto& f : b.files) Edit(f, 0x0008103E, nullptr);  // no description: Image Type value 3
  Edit(a.files[0], 0x00080020, "20240131");
  Edit(a.files[0], 0x00080030, "093015");

  // Series a and the other study arrive first; b later, with one file first and all after.
  Loaded loaded({a.files[0], a.files[1], a.files[2], a.files[3], other.files[0], b.files[0]});
  CStudySeriesListUI* list = List();
  list->AddSeries(loaded.Series(a.seriesUid));
  list->AddSeries(loaded.Series(other.seriesUid));
  StudyListItem* study = list->GetStudies()[0];
  list->SetCollapsed(study, true);
  list->AddSeries(loaded.Series(b.seriesUid));
  for (size_t i = 1; i < b.files.size(); ++i) {
    SOArray<ISODcmObject*> objects;
    loaded.center->LoadFile(b.files[i].c_str(), objects);
  }
  list->AddSeries(loaded.Series(b.seriesUid));
  list->AddSeries(nullptr);

  ASSERT_EQ(list->GetStudies().size(), 2u);
  ASSERT_EQ(study->series.size(), 2u);
  EXPECT_EQ(list->GetCount(), 5);  // study, a, b, other study, its series
  EXPECT_EQ(list->GetItemIndex(study->series[1]->control), 2);
  EXPECT_EQ(study->series[1]->seriesUID, b.seriesUid);
  EXPECT_EQ(TextAt(study->series[1]->control, {3, 1}), L"4");
  EXPECT_FALSE(study->series[1]->control->IsVisible());  // added while collapsed
  EXPECT_EQ(TextAt(study->control, {1}), L"+");
  EXPECT_EQ(TextAt(study->control, {2, 0}), L"2024/01/31 09:30:15");
  EXPECT_EQ(TextAt(study->control, {2, 1}), L"Zhang^San");
  std::wstring imageType;
  loaded.Series(b.seriesUid)->GetObjectAt(0)->GetAttributeValue(0x00080008, imageType, 2);
  EXPECT_FALSE(imageType.empty());
  EXPECT_EQ(TextAt(study->series[1]->control, {2, 0}), imageType);
  list->SetCollapsed(study, false);
  EXPECT_TRUE(study->series[0]->control->IsVisible() && study->series[1]->control->IsVisible());
  EXPECT_EQ(TextAt(study->control, {1}), L"-");

  // Selection without notification, and the first selected row wins.
  EXPECT_EQ(list->GetSelectedSeries(), nullptr);
  list->SelectSeries(loaded.Series(other.seriesUid));
  EXPECT_EQ(list->GetSelectedSeries(), loaded.Series(other.seriesUid));
  list->RemoveAll();
  EXPECT_EQ(list->GetCount(), 0);
  EXPECT_EQ(PM().GetImage(SOWin::FromUtf8(a.seriesUid).c_str()), nullptr);
}

TEST_F(Viewer, ThumbnailsArriveAfterTheirRowsAndNotAfterAClearOrTheWindow) {
  const fs::path dir = orvanta::test::MakeTempDir("thumbs");
  fx::CtSeriesOptions options;
  options.slices = 2;
  options.rows = options.columns = 32;
  std::vector<fx::WrittenSeries> written;
  std::vector<fs::path> files;
  for (const char* name : {"a", "b", "c", "d"}) {
    written.push_back(fx::WriteCtSeries(dir / name, options));
    files.insert(files.end(), written.back().files.begin(), written.back().files.end());
  }
  Loaded loaded(files);
  auto registered = [&](const fx::WrittenSeries& s) {
    return PM().GetImage(SOWin::FromUtf8(s.seriesUid).c_str()) != nullptr;
  };
  CStudySeriesListUI* list = List();

  // The row is there at once; its thumbnail only once the UI thread takes it.
  list->AddSeries(loaded.Series(written[0].seriesUid));
  ASSERT_EQ(list->GetStudies().size(), 1u);
  EXPECT_EQ(list->PendingThumbnails(), 1);
  EXPECT_FALSE(registered(written[0]));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return list->PendingThumbnails() == 0; }, 20000));
  EXPECT_TRUE(registered(written[0]));
  CControlUI* thumbnail = dynamic_cast<CContainerUI*>(list->GetStudies()[0]->series[0]->control)->GetItemAt(1);
  EXPECT_EQ(std::wstring(thumbnail->GetBkImage()), SOWin::FromUtf8(written[0].seriesUid));
  list->AddSeries(loaded.Series(written[0].seriesUid));  // a refill asks no second time
  EXPECT_EQ(list->PendingThumbnails(), 0);

  // One asked for before a clear is dropped; one asked for after it arrives. Deliveries keep
  // their order, so once the later one is in, the earlier one has been handled.
  list->AddSeries(loaded.Series(written[1].seriesUid));
  list->RemoveAll();
  EXPECT_EQ(list->PendingThumbnails(), 0);
  list->AddSeries(loaded.Series(written[2].seriesUid));
  ASSERT_TRUE(SOWin::PumpUntil([&] { return list->PendingThumbnails() == 0; }, 20000));
  EXPECT_TRUE(registered(written[2]));
  EXPECT_FALSE(registered(written[1]));
  EXPECT_EQ(list->GetCount(), 2);

  // The window goes while a thumbnail is on its way: the delivery finds no list.
  list->AddSeries(loaded.Series(written[3].seriesUid));
  CloseWindow();
  SOWin::PumpEvents(50);
}

TEST_F(Viewer, TheContextMenuOffersThreeDOnlyOnVolumes) {
  const fs::path dir = orvanta::test::MakeTempDir("menu");
  fx::CtSeriesOptions options;
  options.slices = 4;
  options.rows = options.columns = 16;
  const auto volume = fx::WriteCtSeries(dir / "v", options);
  options.slices = 2;
  options.studyUid = volume.studyUid;
  fx::WriteCtSeries(dir / "t", options);
  LoadDir(dir);
  int menus = 0;
  SOWin::SetPopupMenuHook([&](HMENU menu, int, int, HWND) {
    ++menus;
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    return 1u;
  });
  for (SeriesListItem* row : List()->GetStudies()[0]->series) {
    TNotifyUI msg;
    msg.sType = L"menu";
    msg.pSender = dynamic_cast<CContainerUI*>(row->control)->GetItemAt(0);
    msg.pSender->OnNotify(&msg);
  }
  EXPECT_EQ(menus, 1);
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].command, "LOADFILES");
  EXPECT_EQ(std::count(host.commands[0].text.begin(), host.commands[0].text.end(), '|'), 3);
}
