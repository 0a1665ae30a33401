#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "FilmTestUtil.h"
#include "SODcmDataset.h"
#include "SODcmFile.h"
#include "SOFilmSession.h"
#include "TestSupport.h"

using film_test::Objects;

namespace {

struct Progress : ISOFilmSessionCallback {
  void OnExportProgress(ISOFilmSession*, SODcmFile*, int done, int total) override {
    reports.push_back({done, total});
  }
  void OnExportFinished(ISOFilmSession*, SODcmFile*, int done, int total) override { finished = {done, total}; }
  std::vector<std::pair<int, int>> reports;
  std::pair<int, int> finished{-1, -1};
};

std::string Text(SODcmFile& file, unsigned long tag) {
  std::string value;
  file.GetDataset()->GetString(tag, value);
  return value;
}

unsigned short Word(SODcmFile& file, unsigned long tag) {
  unsigned short value = 0;
  file.GetDataset()->GetUint16(tag, value);
  return value;
}

unsigned long PixelBytes(SODcmFile& file) {
  const unsigned char* data = nullptr;
  unsigned long count = 0;
  file.GetDataset()->GetUint8Array(0x7FE00010, data, count);
  return count;
}

}  // namespace

TEST(FilmExport, AllFilmsAreFramesOfOneImage) {
  orvanta::test::EnsureQtApp();
  Objects objects;
  SOFilmSession session;
  session.SetStudyInstanceUID("1.2.3.4");
  session.SetTitle(SOString("张三"));
  session.SetImageLayout(1, 1, true);
  session.AddImage(objects.Add("1.A", 1));
  session.AddImage(objects.Add("1.A", 2));
  Progress progress;
  session.RegisterCallback(&progress);

  SODcmFile file;
  ASSERT_TRUE(session.ExportFilms(&file, true, nullptr));
  EXPECT_EQ(Word(file, 0x00280010), 5100);
  EXPECT_EQ(Word(file, 0x00280011), 4200);
  EXPECT_EQ(Text(file, 0x00280008), "2");
  EXPECT_EQ(PixelBytes(file), 42840000u);
  EXPECT_EQ(progress.reports, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));
  EXPECT_EQ(progress.finished, std::make_pair(2, 2));
  EXPECT_EQ(Text(file, 0x00080016), "1.2.840.10008.5.1.4.1.1.7");
  EXPECT_EQ(Text(file, 0x0020000D), "1.2.3.4");
  EXPECT_EQ(Text(file, 0x00100010), "张三");
  EXPECT_EQ(Text(file, 0x00281050), "128");

  // A second export: new series and instance, same study; the current film alone has no
  // Number of Frames.
  SODcmFile current;
  ASSERT_TRUE(session.ExportFilms(&current, false, "caption"));
  EXPECT_FALSE(current.GetDataset()->TagExists(0x00280008));
  EXPECT_EQ(PixelBytes(current), 4200u * 5100u);
  EXPECT_EQ(progress.finished, std::make_pair(1, 1));
  EXPECT_NE(Text(current, 0x0020000E), Text(file, 0x0020000E));
  EXPECT_NE(Text(current, 0x00080018), Text(file, 0x00080018));
  EXPECT_EQ(Text(current, 0x0020000D), "1.2.3.4");

  EXPECT_FALSE(session.ExportFilms(nullptr, true, nullptr));
}

TEST(FilmExport, RowsStayOneFilmHighForManyFilms) {
  orvanta::test::EnsureQtApp();
  Objects objects;
  SOFilmSession session;
  // 30 DPI: 420 x 510 pixels a film; 130 films are 66,300 rows, past a 16-bit count.
  ASSERT_TRUE(session.SetDPI(30));
  session.SetImageLayout(1, 1, true);
  for (int i = 1; i <= 130; ++i) session.AddImage(objects.Add("1.A", i));
  SODcmFile file;
  ASSERT_TRUE(session.ExportFilms(&file, true, nullptr));
  EXPECT_EQ(Word(file, 0x00280010), 510);
  EXPECT_EQ(Word(file, 0x00280011), 420);
  EXPECT_EQ(Text(file, 0x00280008), "130");
  EXPECT_EQ(PixelBytes(file), 130u * 420u * 510u);
}
