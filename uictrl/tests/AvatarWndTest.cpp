#include "AvatarLayout.h"
#include "ZarnetTestUtil.h"

#include <gtest/gtest.h>

#include <stb_image.h>
#include <stb_image_write.h>

#include <QColor>
#include <QImage>

#include <fstream>

namespace {

// A picture of three colours: the centred square green, the strips beside it (left/top)
// red and (right/bottom) blue.
std::vector<unsigned char> ThreeColourPng(int width, int height) {
  const int side = std::min(width, height);
  const int left = (width - side) / 2, top = (height - side) / 2;
  std::vector<unsigned char> rgba(size_t(width) * height * 4);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &rgba[(size_t(y) * width + x) * 4];
      bool before = x < left || y < top, after = x >= left + side || y >= top + side;
      p[0] = before ? 255 : 0;
      p[1] = before || after ? 0 : 255;
      p[2] = after ? 255 : 0;
      p[3] = 255;
    }
  std::vector<unsigned char> png;
  stbi_write_png_to_func(
      [](void* out, void* data, int n) {
        auto* v = static_cast<std::vector<unsigned char>*>(out);
        v->insert(v->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + n);
      },
      &png, width, height, 4, rgba.data(), width * 4);
  return png;
}

// A plain top-level window to hold the avatar window.
class CHostWnd : public CWindowBase {
 public:
  const wchar_t* GetClassNameW() override { return L"ZarnetAvatarHost"; }
  DWORD GetClassStyle() override { return 0; }
  const wchar_t* GetWindowName() override { return L"host"; }
  DWORD GetWndStyle() override { return WS_POPUP; }
};

// Records which handlers saw which keys.
class CKeyWnd : public CHostWnd {
 public:
  std::vector<WPARAM> down, up;
  LRESULT OnKeyDown(WPARAM key, LPARAM, BOOL& handled) override {
    down.push_back(key);
    return 7;
  }
  LRESULT OnKeyUp(WPARAM key, LPARAM, BOOL& handled) override {
    up.push_back(key);
    handled = FALSE;
    return 7;
  }
};

}  // namespace

TEST(AvatarLayout, FrameIsCentredAndThePictureCoversIt) {
  const struct {
    int clientW, clientH, imageW, imageH;
    AvatarLayout expected;
  } cases[] = {
      {210, 210, 400, 300, {5, 5, 200, -28, 5, 266, 200}},
      {210, 210, 300, 400, {5, 5, 200, 5, -28, 200, 266}},
      {310, 210, 100, 100, {55, 5, 200, 55, 5, 200, 200}},
      {210, 210, 0, 0, {5, 5, 200, 0, 0, 0, 0}},
      {8, 30, 400, 300, {4, 15, 0, 4, 15, 0, 0}},  // too small: an empty frame, never negative
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.clientW << "x" << c.clientH << " / " << c.imageW << "x" << c.imageH);
    AvatarLayout l = LayoutAvatar(c.clientW, c.clientH, c.imageW, c.imageH);
    const AvatarLayout& e = c.expected;
    EXPECT_EQ(std::vector<int>({l.frameLeft, l.frameTop, l.frameSize}),
              std::vector<int>({e.frameLeft, e.frameTop, e.frameSize}));
    if (c.imageW)
      EXPECT_EQ(std::vector<int>({l.drawLeft, l.drawTop, l.drawWidth, l.drawHeight}),
                std::vector<int>({e.drawLeft, e.drawTop, e.drawWidth, e.drawHeight}));
  }
}

TEST(AvatarWnd, GivesTheCentredSquareAsJpeg) {
  orvanta::test::EnsureQtApp();
  CHostWnd host;
  ASSERT_NE(host.Create(nullptr, 0, 0, 210, 210), nullptr);
  host.ShowWindow(true);
  CAvatarWnd avatar;
  ASSERT_NE(avatar.Create(host.GetWnd(), 0, 0, 210, 210), nullptr);
  for (auto [w, h] : {std::pair{400, 300}, std::pair{300, 400}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    std::vector<unsigned char> png = ThreeColourPng(w, h);
    ASSERT_TRUE(avatar.LoadImageMemory(png.data(), png.size()));
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    ASSERT_TRUE(avatar.GetAvatarImage(jpeg, size));
    ASSERT_GT(size, 2u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    int dw = 0, dh = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(jpeg, int(size), &dw, &dh, &channels, 3);
    delete[] jpeg;
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(dw, 300);
    EXPECT_EQ(dh, 300);
    // Every pixel is the green square, with JPEG's tolerance (edges included).
    int worst = 0;
    for (int i = 0; i < dw * dh; ++i)
      worst = std::max({worst, int(pixels[i * 3]), 255 - int(pixels[i * 3 + 1]), int(pixels[i * 3 + 2])});
    stbi_image_free(pixels);
    EXPECT_LT(worst, 60);

    // Painted: the frame's outline white, the frame's inside as the picture, outside dimmed.
    HWND wnd = avatar.GetWnd();
    std::filesystem::path shot = orvanta::test::MakeTempDir("avatar") / "avatar.png";
    ASSERT_TRUE(SOWin::SaveWindowImage(wnd, shot.string()));
    if (w == 400) EXPECT_TRUE(zarnettest::Screenshot(wnd, "avatar"));
    QImage image(QString::fromStdString(shot.string()));
    ASSERT_EQ(image.size(), QSize(210, 210));
    EXPECT_EQ(QColor(image.pixel(5, 50)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(204, 50)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(50, 204)), QColor(Qt::white));
    QColor inside(image.pixel(50, 50));
    EXPECT_GT(inside.green(), 200);
    EXPECT_LT(inside.red(), 40);
    // Outside the frame: the red (left/top) strip under black of alpha 0xBB.
    QColor outside(image.pixel(w == 400 ? 2 : 50, w == 400 ? 50 : 2));
    EXPECT_NEAR(outside.red(), 255 * (255 - 0xBB) / 255, 6);
  }
}

TEST(AvatarWnd, WithoutAPictureThereIsNoAvatarAndOutputsAreUntouched) {
  orvanta::test::EnsureQtApp();
  std::filesystem::path notImage = orvanta::test::MakeTempDir("avatar") / "notes.txt";
  std::ofstream(notImage) << "not a picture";
  const std::string text = "plain text";
  const struct {
    const char* how;
    bool (*load)(CAvatarWnd&, const std::string&, const std::string&);
  } failures[] = {
      {"nothing loaded", [](CAvatarWnd&, const std::string&, const std::string&) { return false; }},
      {"file that is not a picture", [](CAvatarWnd& a, const std::string& file,
                                        const std::string&) { return a.LoadImageFile(file.c_str()); }},
      {"missing file", [](CAvatarWnd& a, const std::string& file,
                          const std::string&) { return a.LoadImageFile((file + ".missing").c_str()); }},
      {"bytes that are not a picture",
       [](CAvatarWnd& a, const std::string&, const std::string& bytes) {
         return a.LoadImageMemory(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
       }},
      {"null bytes",
       [](CAvatarWnd& a, const std::string&, const std::string&) { return a.LoadImageMemory(nullptr, 9); }},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.how);
    CAvatarWnd avatar;
    // A picture loaded before is gone after a failed load.
    if (std::string(f.how) != "nothing loaded") {
      std::vector<unsigned char> png = ThreeColourPng(40, 30);
      ASSERT_TRUE(avatar.LoadImageMemory(png.data(), png.size()));
    }
    EXPECT_FALSE(f.load(avatar, notImage.string(), text));
    unsigned char marker = 0;
    unsigned char* data = &marker;
    unsigned long size = 12345;
    EXPECT_FALSE(avatar.GetAvatarImage(data, size));
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(size, 12345u);
  }
}

TEST(WindowBase, RoutesKeysIncludingF10AndKeepsItsRectangle) {
  orvanta::test::EnsureQtApp();
  CKeyWnd wnd;
  HWND hwnd = wnd.Create(nullptr, 10, 10, 100, 80);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(SendMessageW(hwnd, WM_KEYDOWN, 'A', 0), 7);
  EXPECT_EQ(SendMessageW(hwnd, WM_SYSKEYDOWN, VK_F10, 0), 7);
  SendMessageW(hwnd, WM_SYSKEYDOWN, 'B', 0);
  // A handler that leaves the message unhandled gives the default answer.
  EXPECT_EQ(SendMessageW(hwnd, WM_SYSKEYUP, VK_F10, 0), 0);
  EXPECT_EQ(wnd.down, std::vector<WPARAM>({'A', VK_F10}));
  EXPECT_EQ(wnd.up, std::vector<WPARAM>({VK_F10}));

  EXPECT_TRUE(wnd.MoveWindow(20, 30, 120, 90));
  RECT rc = wnd.GetRectInParent();
  EXPECT_EQ(std::vector<int>({rc.left, rc.top, rc.right, rc.bottom}), std::vector<int>({20, 30, 140, 120}));
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 120);

  // A second window of the same class needs no second registration.
  CKeyWnd another;
  EXPECT_NE(another.Create(nullptr, 0, 0, 10, 10), nullptr);
}
