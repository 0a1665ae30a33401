// The capture dialog: secondary captures in the local store and in folders, image files, the
// clipboard, and the checks before writing.

#include <QImage>
#include <map>

#include "CCaptureDlg.h"
#include "Gossamy.h"
#include "IKelvast.h"
#include "ISODcmObject.h"
#include "SODcmFile.h"
#include "SOGdi.h"
#include "SOWinQt.h"
#include "SeriesRecord.h"
#include "TessalyTestUtil.h"

using namespace DuiLib;
using namespace tessalytest;
namespace fx = orvanta::fixtures;

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 200;

// Pixel (x, y) of the test bitmap.
unsigned char Red(int x, int) { return static_cast<unsigned char>(x); }
unsigned char Green(int, int y) { return static_cast<unsigned char>(y); }
constexpr unsigned char kBlue = 77;

HBITMAP TestBitmap() {
  BITMAPINFO info{};
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;  // top-down
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  auto* p = static_cast<unsigned char*>(bits);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x, p += 4) {
      p[0] = kBlue;
      p[1] = Green(x, y);
      p[2] = Red(x, y);
      p[3] = 255;
    }
  return bitmap;
}

class Capture : public testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    ::setenv("XDG_CONFIG_HOME", orvanta::test::MakeTempDir("config").c_str(), 1);
    Gossamy::ReleaseArchiveDB();
    Gossamy::SetStorePath(orvanta::test::MakeTempDir("store").c_str());
    CPaintManagerUI::SetResourcePath(
        SOWin::FromUtf8((orvanta::test::ProgramFolder() / "skin").string() + "/").c_str());
    fx::CtSeriesOptions options;
    options.slices = 1;
    options.rows = options.columns = 16;
    options.patientName = "Li^Si";
    ct = fx::WriteCtSeries(orvanta::test::MakeTempDir("ct"), options);
    center = CreateDcmDataCenter();
    SOArray<ISODcmObject*> objects;
    ASSERT_TRUE(center->LoadFile(ct.files[0].c_str(), objects));
    source = objects[0];
    bitmap = TestBitmap();
  }
  void TearDown() override {
    DeleteObject(bitmap);
    ReleaseDcmDataCenter(center);
    Gossamy::ReleaseArchiveDB();
  }

  // Runs the dialog; `answer` acts inside it. Whether it was still open after the answer.
  bool Run(const std::function<void(CPaintManagerUI&)>& answer, ISODcmObject* from) {
    bool open = false;
    UITest::OnModal(L"CCaptureDlg", [&](CWindowWnd* w) {
      auto* dialog = dynamic_cast<CCaptureDlg*>(w);
      answer(*dialog->GetPaintManager());
      SOWin::PumpEvents(10);
      open = IsWindow(w->GetHWND());
      if (open) dialog->Close(IDCANCEL);
    });
    CCaptureDlg::Run(nullptr, bitmap, from, &host, L"2d/capture_dlg.xml");
    return open;
  }
  bool Run(const std::function<void(CPaintManagerUI&)>& answer) { return Run(answer, source); }

  static std::function<void(CPaintManagerUI&)> Choose(const wchar_t* option, const std::string& folder = "") {
    return [option, folder](CPaintManagerUI& pm) {
      UITest::Click(pm, option);
      if (!folder.empty()) UITest::SetText(pm, L"imagePathEdit", SOWin::FromUtf8(folder).c_str());
      UITest::Click(pm, L"confirmBtn");
    };
  }

  fx::WrittenSeries ct;
  ISODcmDataCenter* center = nullptr;
  ISODcmObject* source = nullptr;
  HBITMAP bitmap = nullptr;
  RecordingHost host;
};

std::string Text(SODcmFile& file, unsigned long tag) {
  std::string value;
  file.GetDataset()->GetString(tag, value);
  return value;
}

}  // namespace

TEST_F(Capture, StoredCapturesAreSecondaryCapturesOfTheStudyInFreeSeriesNumbers) {
  EXPECT_FALSE(Run(Choose(L"toLocalOpt")));
  EXPECT_FALSE(Run(Choose(L"toLocalOpt")));
  std::vector<SeriesRecord> series;
  ASSERT_TRUE(Gossamy::LocalDB()->GetAllSeriesRecords(series, true));
  std::vector<std::string> numbers, uids;
  for (const auto& s : series) {
    if (s.seriesUID == ct.seriesUid) continue;
    numbers.push_back(s.seriesNumber);
    uids.push_back(s.seriesUID);
    EXPECT_EQ(s.studyUID, ct.studyUid);
    ASSERT_EQ(s.instances.size(), 1u);
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(s.instances[0].storePath.c_str(), true));
    EXPECT_EQ(Text(file, 0x00080016), "1.2.840.10008.5.1.4.1.1.7");
    EXPECT_EQ(Text(file, 0x00280010), std::to_string(kHeight));
    EXPECT_EQ(Text(file, 0x00280011), std::to_string(kWidth));
    EXPECT_EQ(Text(file, 0x00100010), "Li^Si");
    const unsigned char* pixels = nullptr;
    unsigned long count = 0;
    ASSERT_TRUE(file.GetDataset()->GetUint8Array(0x7FE00010, pixels, count));
    ASSERT_EQ(count, static_cast<unsigned long>(kWidth * kHeight * 3));
    // Top row first, red, green, blue.
    for (auto [x, y] : {std::pair{0, 0}, {299, 0}, {0, 199}, {123, 45}}) {
      const unsigned char* p = pixels + (static_cast<size_t>(y) * kWidth + x) * 3;
      EXPECT_EQ((std::vector<int>{p[0], p[1], p[2]}), (std::vector<int>{Red(x, y), Green(x, y), kBlue}))
          << x << "," << y;
    }
    // Valid for peers: the validator reports no error.
    const std::string out = orvanta::test::MakeTempDir("v").string() + "/dciodvfy.txt";
    orvanta::test::RunCommand("dciodvfy '" + s.instances[0].storePath + "' > '" + out + "' 2>&1");
    const std::string report = orvanta::test::FileBytes(out);
    EXPECT_EQ(report.find("Error"), std::string::npos) << report;
  }
  std::sort(numbers.begin(), numbers.end());
  EXPECT_EQ(numbers, (std::vector<std::string>{"50001", "50002"}));
  ASSERT_EQ(uids.size(), 2u);
  EXPECT_NE(uids[0], uids[1]);
}

TEST_F(Capture, FilesAreWrittenUnderTheirNamesOnlyIntoAnExistingFolder) {
  const fs::path folder = orvanta::test::MakeTempDir("export");
  struct {
    const wchar_t* option;
    const char* extension;
    const char* format;  // Qt's reader name; null for DICOM
  } cases[] = {{L"formatPngOpt", ".png", "png"},
               {L"formatJpegOpt", ".jpg", "jpeg"},
               {L"formatBmpOpt", ".bmp", "bmp"},
               {L"formatDicomOpt", ".dcm", nullptr}};
  for (const auto& c : cases) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    EXPECT_FALSE(Run(Choose(c.option, folder.string())));
    std::vector<fs::path> written{fs::directory_iterator(folder), fs::directory_iterator()};
    ASSERT_EQ(written.size(), 1u) << c.extension;
    EXPECT_EQ(written[0].extension(), c.extension);
    if (c.format) {
      QImage image(QString::fromStdString(written[0].string()), c.format);
      ASSERT_FALSE(image.isNull()) << c.extension;
      EXPECT_EQ(image.width(), kWidth);
      EXPECT_EQ(image.height(), kHeight);
    } else {
      SODcmFile file;
      ASSERT_TRUE(file.LoadFile(written[0].c_str()));
      EXPECT_EQ(written[0].stem().string(), Text(file, 0x00080018));
    }
  }

  // A missing or empty folder: the message, the dialog stays, nothing is written.
  std::vector<std::wstring> messages;
  auto answerBox = [&] {
    UITest::OnModal(L"CMessageBoxUI", [&](CWindowWnd* w) {
      CPaintManagerUI& pm = *dynamic_cast<WindowImplBase*>(w)->GetPaintManager();
      messages.push_back(pm.FindControl(L"textText")->GetText().GetData());
      UITest::Click(pm, L"confirmBtn");
    });
  };
  answerBox();
  EXPECT_TRUE(Run(Choose(L"formatPngOpt", (folder / "missing").string())));
  answerBox();
  EXPECT_TRUE(Run(Choose(L"formatDicomOpt", "")));
  EXPECT_EQ(messages, (std::vector<std::wstring>(2, ui_gettext(L"文件保存目录不存在！"))));
  // Without a source there is no study to file a capture under: the dialog stays open.
  EXPECT_TRUE(Run(Choose(L"formatDicomOpt", folder.string()), nullptr));
  EXPECT_TRUE(Run(Choose(L"toLocalOpt"), nullptr));
  EXPECT_TRUE(Run(Choose(L"toReportOpt"), nullptr));
  EXPECT_TRUE(host.commands.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(Capture, ThePathPanelFollowsTheFormatsAndTheOtherDestinationsDeliver) {
  bool enabledAtFirst = true, enabledWithFormat = false, enabledAfter = true;
  EXPECT_TRUE(Run([&](CPaintManagerUI& pm) {
    CControlUI* panel = pm.FindControl(L"exportPathPanel");
    enabledAtFirst = panel->IsEnabled();
    UITest::Click(pm, L"formatBmpOpt");
    enabledWithFormat = panel->IsEnabled();
    UITest::Click(pm, L"toClipboardOpt");
    enabledAfter = panel->IsEnabled();
  }));
  EXPECT_FALSE(enabledAtFirst);
  EXPECT_TRUE(enabledWithFormat);
  EXPECT_FALSE(enabledAfter);

  // Nothing chosen: nothing happens.
  EXPECT_TRUE(Run([](CPaintManagerUI& pm) { UITest::Click(pm, L"confirmBtn"); }));

  EXPECT_FALSE(Run(Choose(L"toClipboardOpt")));
  ASSERT_TRUE(OpenClipboard(nullptr));
  HBITMAP pasted = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
  BITMAP bm{};
  EXPECT_TRUE(pasted && GetObjectW(pasted, sizeof(bm), &bm));
  CloseClipboard();
  EXPECT_EQ(bm.bmWidth, kWidth);
  EXPECT_EQ(bm.bmHeight, kHeight);

  EXPECT_FALSE(Run(Choose(L"toReportOpt")));
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].plugin, L"Sevrane");
  EXPECT_EQ(host.commands[0].command, "SR_PICTURE");
}

// The camera button of a window showing a CT with 2x2 images: the icon captures the active
// image, the menu's "Capture Series" the whole grid; each goes through the dialog into the
// local store as the next free series of the CT's study.
TEST_F(Viewer, TheCameraButtonCapturesIntoTheDialogAndTheStore) {
  Gossamy::ReleaseArchiveDB();
  Gossamy::SetStorePath(orvanta::test::MakeTempDir("store").c_str());
  fx::CtSeriesOptions options;
  options.slices = 6;
  options.rows = options.columns = 64;
  const auto ct = fx::WriteCtSeries(orvanta::test::MakeTempDir("ct"), options);
  LoadDir(ct.files[0].parent_path());
  SendMessageW(window->GetHWND(), WM_SO_IMAGE_LAYOUT, 2, 2);
  SOWin::PumpEvents(20);
  ISOSeriesWnd* grid = Lumexa()->GetSeriesWnd(0);
  ASSERT_EQ(grid->GetImageWndCount(), 4);
  RECT gridRect{}, imageRect{};
  GetClientRect(grid->GetHWND(), &gridRect);
  GetClientRect(grid->GetImageWnd(0)->GetHWND(), &imageRect);
  InflateRect(&imageRect, -1, -1);  // an image is captured inside its one-pixel frame

  int dialogs = 0;
  auto storeLocally = [&] {
    UITest::OnModal(L"CCaptureDlg", [&](CWindowWnd* w) {
      ++dialogs;
      CPaintManagerUI& pm = *dynamic_cast<CCaptureDlg*>(w)->GetPaintManager();
      UITest::Click(pm, L"toLocalOpt");
      UITest::Click(pm, L"confirmBtn");
      SOWin::PumpEvents(10);
      if (IsWindow(w->GetHWND())) dynamic_cast<CCaptureDlg*>(w)->Close(IDCANCEL);
    });
  };
  storeLocally();
  ClickAt(Centre(Rect(L"cameraIcon")));  // the icon: the active image
  storeLocally();
  EXPECT_EQ(ChooseFromMenu(L"cameraDownBtn", 2), 1);  // the menu: the series, all four images
  EXPECT_EQ(dialogs, 2);

  std::vector<SeriesRecord> series;
  ASSERT_TRUE(Gossamy::LocalDB()->GetAllSeriesRecords(series, true));
  std::map<std::string, const SeriesRecord*> captures;
  for (const auto& s : series)
    if (s.seriesUID != ct.seriesUid) captures[s.seriesNumber] = &s;
  ASSERT_EQ(captures.size(), 2u);
  // Where the phantom's white centre must show, in quarters of the capture's width and height.
  const std::vector<std::pair<int, int>> single{{2, 2}}, quadrants{{1, 1}, {3, 1}, {1, 3}, {3, 3}};
  struct {
    const char* number;
    RECT size;
    const std::vector<std::pair<int, int>>& centres;
  } expected[] = {{"50001", imageRect, single}, {"50002", gridRect, quadrants}};
  for (const auto& e : expected) {
    ASSERT_TRUE(captures.count(e.number)) << e.number;
    const SeriesRecord& record = *captures[e.number];
    EXPECT_EQ(record.studyUID, ct.studyUid);
    ASSERT_EQ(record.instances.size(), 1u);
    SODcmFile file;
    ASSERT_TRUE(file.LoadFile(record.instances[0].storePath.c_str(), true));
    const int rows = std::stoi(Text(file, 0x00280010));
    const int columns = std::stoi(Text(file, 0x00280011));
    EXPECT_EQ(columns, e.size.right - e.size.left) << e.number;
    EXPECT_EQ(rows, e.size.bottom - e.size.top) << e.number;
    const unsigned char* pixels = nullptr;
    unsigned long length = 0;
    ASSERT_TRUE(file.GetDataset()->GetUint8Array(0x7FE00010, pixels, length));
    ASSERT_EQ((length + 1) / 2, (static_cast<unsigned long>(rows) * columns * 3 + 1) / 2);  // padded to even
    for (auto [qx, qy] : e.centres) {
      const unsigned char* p = pixels + (static_cast<size_t>(rows * qy / 4) * columns + columns * qx / 4) * 3;
      EXPECT_GT(p[0], 200) << e.number << " at " << qx << "," << qy;
    }
  }
  Gossamy::ReleaseArchiveDB();
}
