#include "TestSupport.h"
#include "UIlib.h"

#include <gtest/gtest.h>

#include <QString>

#include <ctime>
#include <filesystem>
#include <fstream>

TEST(DuiGettext, CatalogTranslatesAndUnknownKeysComeBack) {
  std::filesystem::path dir = orvanta::test::MakeTempDir("locale");
  std::filesystem::create_directories(dir / "zh_CN/LC_MESSAGES");
  std::filesystem::path po = dir / "orvanta.po";
  std::ofstream(po) << "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                       "msgid \"Feedback can not be empty!\"\nmsgstr \"反馈内容不能为空！\"\n\n"
                       "msgid \"Log in\"\nmsgstr \"登录\"\n\n"
                       "msgid \"Untranslated\"\nmsgstr \"\"\n\n"
                       "msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"打开菜单\"\n";
  ASSERT_EQ(orvanta::test::RunCommand("msgfmt -o '" + (dir / "zh_CN/LC_MESSAGES/orvanta.mo").string() +
                                      "' '" + po.string() + "'"),
            0);

  ui_setlocal(0, "zh_CN");
  ui_bindtextdomain("orvanta", dir.string().c_str());
  EXPECT_STREQ(ui_textdomain("orvanta"), "orvanta");
  EXPECT_STREQ(ui_gettext("Feedback can not be empty!"), "反馈内容不能为空！");
  EXPECT_STREQ(ui_gettext(L"Feedback can not be empty!"), L"反馈内容不能为空！");
  const wchar_t* unknown = L"No such key";
  EXPECT_EQ(ui_gettext(unknown), unknown);
  const char* empty = "Untranslated";
  EXPECT_EQ(ui_gettext(empty), empty);
  // Skin texts are translated as they are built; texts set by code are not.
  DuiLib::CPaintManagerUI pm;
  DuiLib::CDialogBuilder builder;
  DuiLib::CControlUI* button =
      builder.Create(L"<Window title='Log in'><Button text='Log in' tooltip='Nope'/></Window>",
                     (unsigned int)0, nullptr, &pm);
  ASSERT_NE(button, nullptr);
  EXPECT_STREQ(button->GetText(), L"登录");
  EXPECT_STREQ(button->GetToolTip(), L"Nope");
  EXPECT_STREQ(pm.GetTitle(), L"登录");
  button->SetText(L"Log in");
  EXPECT_STREQ(button->GetText(), L"Log in");
  delete button;
  // A context entry does not answer the bare key.
  EXPECT_STREQ(ui_gettext("Open"), "Open");

  // Another language without a catalog falls back to the keys.
  ui_setlocal(0, "en_US.UTF-8");
  EXPECT_STREQ(ui_gettext("Feedback can not be empty!"), "Feedback can not be empty!");
  EXPECT_STREQ(ui_setlocal(0, "zh_HK"), "zh_TW");
  ui_setlocal(0, "en_US");
}

TEST(DuiGettext, DamagedCatalogGivesKeys) {
  std::filesystem::path dir = orvanta::test::MakeTempDir("badlocale");
  std::filesystem::create_directories(dir / "zh_TW/LC_MESSAGES");
  std::ofstream(dir / "zh_TW/LC_MESSAGES/broken.mo", std::ios::binary)
      << std::string("\xde\x12\x04\x95\x00\x00\x00\x00\xff\xff\xff\x7f\x1c\x00\x00\x00\xff\xff\xff\x00", 20);
  ui_setlocal(0, "zh_TW");
  ui_bindtextdomain("broken", dir.string().c_str());
  ui_textdomain("broken");
  EXPECT_STREQ(ui_gettext("Key"), "Key");
  ui_textdomain("orvanta");
  ui_setlocal(0, "en_US");
}

TEST(DuiGettext, TimeText) {
  auto expected = [](time_t t, const char* fmt) {
    char buf[64];
    std::strftime(buf, sizeof buf, fmt, std::localtime(&t));
    return QString::fromUtf8(buf).toStdWString();
  };
  EXPECT_EQ(ui_time(0), expected(0, "%Y-%m-%d %H:%M:%S"));
  EXPECT_EQ(ui_time(1700000000, L"yyyy/MM/dd HH:mm"), expected(1700000000, "%Y/%m/%d %H:%M"));
}
