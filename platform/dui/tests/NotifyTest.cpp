#include "DuiTestUtil.h"
#include "TestSupport.h"
#include "UITestDriver.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace DuiLib;

namespace {

// Records every notification as "type:sender".
struct Recorder : INotifyUI {
  std::vector<std::wstring> seen;
  std::function<void(TNotifyUI&)> also;
  void Notify(TNotifyUI& msg) override {
    seen.push_back(msg.sType.str() + L":" + (msg.pSender ? msg.pSender->GetName().str() : L""));
    if (also) also(msg);
  }
  int Count(const std::wstring& entry) const { return int(std::count(seen.begin(), seen.end(), entry)); }
};

class DuiNotify : public ::testing::Test {
 protected:
  void SetUp() override {
    orvanta::test::EnsureQtApp();
    ASSERT_TRUE(host.Open());
    pm.AddNotifier(&rec);
    UITest::ProcessEvents(0);  // "windowinit"
    rec.seen.clear();
  }
  Recorder rec;  // outlives the window
  duitest::SkinHost host{L"dui_test/fixture.xml"};
  CPaintManagerUI& pm = host.m_PaintManager;
};

}  // namespace

TEST_F(DuiNotify, SkinBuildsControlsFoundByName) {
  EXPECT_EQ(pm.FindControl(L"noSuchControl"), nullptr);
  EXPECT_EQ(pm.FindControl(L""), nullptr);
  struct Expect {
    const wchar_t* name;
    const wchar_t* cls;
  };
  for (const Expect& e : {Expect{L"root", L"VerticalLayout"},   Expect{L"titleBar", L"HorizontalLayout"},
                          Expect{L"switch", L"TabLayout"},      Expect{L"nameEdit", L"Edit"},
                          Expect{L"sexCombo", L"Combo"},        Expect{L"unitCombo", L"EditCombo"},
                          Expect{L"studyDate", L"DateTime"},    Expect{L"findingEdit", L"RichEdit"},
                          Expect{L"statusLabel", L"Label"},     Expect{L"noteText", L"Text"},
                          Expect{L"okBtn", L"Button"},          Expect{L"generalOpt", L"Option"},
                          Expect{L"autoLoginOpt", L"CheckBox"}, Expect{L"progress", L"Progress"},
                          Expect{L"zoomSlider", L"Slider"},     Expect{L"studyList", L"List"},
                          Expect{L"caseTree", L"TreeView"},     Expect{L"preview", L"Picture"},
                          Expect{L"tiles", L"TileLayout"},      Expect{L"childArea", L"ChildLayout"},
                          Expect{L"childLabel", L"Label"}}) {
    CControlUI* c = pm.FindControl(e.name);
    ASSERT_NE(c, nullptr) << QString::fromWCharArray(e.name).toStdString();
    EXPECT_STREQ(c->GetClass(), e.cls);
  }
  EXPECT_STREQ(pm.GetTitle(), L"Skin fixture");
  EXPECT_STREQ(pm.GetWindowCustomAttribute(L"notlogintext"), L"Not logged in");
  EXPECT_EQ(pm.GetInitSize().cx, 600);
  EXPECT_STREQ(pm.FindControl(L"okBtn")->GetCustomAttribute(L"template_role"), L"primary");
  EXPECT_STREQ(pm.FindControl(L"nameEdit")->GetUserData(), L"0010,0010");
  // Default attributes of the class apply; the control's own win.
  EXPECT_EQ(pm.FindControl(L"okBtn")->GetFixedHeight(), 30);
  EXPECT_EQ(pm.FindControl(L"closebtn")->GetBkColor(), 0u);
  // A style sets a width on every caption label.
  EXPECT_EQ(pm.FindSubControlByClass(pm.FindControl(L"generalPage"), L"Label", 0)->GetFixedWidth(), 90);
  EXPECT_STREQ(static_cast<CEditUI*>(pm.FindControl(L"passwordEdit"))->GetText(), L"secret");
  EXPECT_TRUE(static_cast<CEditUI*>(pm.FindControl(L"passwordEdit"))->IsPasswordMode());
}

TEST_F(DuiNotify, BrokenSkinFailsWithAReason) {
  CPaintManagerUI other;
  CDialogBuilder builder;
  EXPECT_EQ(builder.Create(L"<Window><VerticalLayout></Window>", (unsigned int)0, nullptr, &other), nullptr);
  EXPECT_NE(std::wstring(builder.GetLastErrorMessage()), L"");
  EXPECT_EQ(builder.Create(L"dui_test/missing.xml", (unsigned int)0, nullptr, &other), nullptr);
  EXPECT_EQ(builder.CreateFromAbsolutePath(L"/nonexistent/x.xml"), nullptr);
  // Unknown elements are skipped with their content; the known ones still build.
  CControlUI* root = builder.Create(L"<Window><Gadget><Button name='x'/></Gadget><Label name='y'/></Window>",
                                    (unsigned int)0, nullptr, &other);
  ASSERT_NE(root, nullptr);
  EXPECT_STREQ(root->GetClass(), L"Label");
  delete root;
}

// Skin files come from users too (imported templates): nothing in one may crash or exhaust the
// program, nor reach files outside the skin folder and its own.
TEST_F(DuiNotify, HostileSkinsAreRefusedOrBuiltWithoutTheirHostileParts) {
  const std::filesystem::path own = orvanta::test::MakeTempDir("dui_hostile"), elsewhere = orvanta::test::MakeTempDir("dui_else");
  auto write = [](const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  };
  auto build = [](const std::filesystem::path& file) {
    CDialogBuilder builder;
    CPaintManagerUI manager;
    std::unique_ptr<CControlUI> root(builder.CreateFromAbsolutePath(file.wstring().c_str(), nullptr, &manager));
    std::vector<std::wstring> names;
    if (auto* box = root ? static_cast<CContainerUI*>(root->GetInterface(L"Container")) : nullptr)
      for (int i = 0; i < box->GetCount(); ++i) names.push_back(box->GetItemAt(i)->GetName().str());
    return std::make_pair(root != nullptr, names);
  };
  std::string deep;
  for (int i = 0; i < 40000; ++i) deep += "<a>";
  write(own / "deep.xml", "<Window><VerticalLayout>" + deep + "</VerticalLayout></Window>");
  write(own / "cut.xml", "<l2>C\xEF");  // ends inside a UTF-8 sequence
  write(own / "a.xml", "<Window><VerticalLayout><Label name='a'/><Include source='" + (own / "b.xml").string() +
                           "'/></VerticalLayout></Window>");
  write(own / "b.xml", "<Window><Label name='b'/><Include source='" + (own / "a.xml").string() + "'/></Window>");
  write(elsewhere / "secret.xml", "<Window><Label name='secret'/></Window>");
  write(own / "plain.xml", "<Window><Label name='plain'/></Window>");
  write(own / "reach.xml", "<Window><VerticalLayout><Label name='mine'/><Include source='/dev/zero'/><Include source='" +
                               (elsewhere / "secret.xml").string() + "'/><Include source='" +
                               (own / "plain.xml").string() + "'/></VerticalLayout></Window>");
  struct Case {
    const char* file;
    bool built;
    std::vector<std::wstring> names;
  } cases[] = {
      {"deep.xml", false, {}},
      {"cut.xml", false, {}},
      // a includes b, whose include of a again is refused
      {"a.xml", true, {L"a", L"b"}},
      // the device and the folder elsewhere are refused; the own folder is not
      {"reach.xml", true, {L"mine", L"plain"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const auto [built, names] = build(own / c.file);
    EXPECT_EQ(built, c.built);
    EXPECT_EQ(names, c.names);
  }
  // A file far larger than any skin is not read.
  std::ofstream(own / "huge.xml", std::ios::binary).seekp(64 << 20) << 'x';
  EXPECT_FALSE(build(own / "huge.xml").first);
}

// Skin files are parsed once and shared; a file written again is read again, and every build
// gives a tree of its own.
TEST_F(DuiNotify, SkinFileBuiltAgainFollowsItsLatestContent) {
  std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("dui_rebuild_" + std::to_string(::getpid()) + ".xml");
  auto write = [&](const char* text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
  };
  auto build = [&](CPaintManagerUI& m) {
    CDialogBuilder builder;
    return builder.CreateFromAbsolutePath(file.wstring().c_str(), nullptr, &m);
  };
  write("<Window size='10,10'><Label name='a' text='one'/></Window>");
  CPaintManagerUI m1, m2, m3;
  std::unique_ptr<CControlUI> first(build(m1)), second(build(m2));
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());
  EXPECT_STREQ(second->GetText(), L"one");
  first->SetText(L"changed");
  EXPECT_STREQ(second->GetText(), L"one");
  write("<Window size='20,20'><Button name='b' text='two'/></Window>");
  std::unique_ptr<CControlUI> third(build(m3));
  ASSERT_TRUE(third);
  EXPECT_STREQ(third->GetClass(), L"Button");
  EXPECT_STREQ(third->GetText(), L"two");
  EXPECT_EQ(m3.GetInitSize().cx, 20);
  // Rewritten with text of the same size: the newer time alone tells it changed.
  write("<Window size='20,20'><Button name='b' text='2nd'/></Window>");
  std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) + std::chrono::seconds(2));
  CPaintManagerUI m4;
  std::unique_ptr<CControlUI> fourth(build(m4));
  ASSERT_TRUE(fourth);
  EXPECT_STREQ(fourth->GetText(), L"2nd");
  std::filesystem::remove(file);
  CDialogBuilder gone;
  EXPECT_EQ(gone.CreateFromAbsolutePath(file.wstring().c_str()), nullptr);
}

TEST_F(DuiNotify, GroupedOptionRaisesOneSelectChanged) {
  auto* general = static_cast<COptionUI*>(pm.FindControl(L"generalOpt"));
  auto* list = static_cast<COptionUI*>(pm.FindControl(L"listOpt"));
  ASSERT_TRUE(general->IsSelected());
  ASSERT_TRUE(UITest::Click(pm, L"listOpt"));
  EXPECT_EQ(rec.Count(L"selectchanged:listOpt"), 1);
  EXPECT_EQ(rec.Count(L"selectchanged:generalOpt"), 0);
  EXPECT_EQ(rec.Count(L"click:listOpt"), 1);
  EXPECT_TRUE(list->IsSelected());
  EXPECT_FALSE(general->IsSelected());
  // Clicking the selected one again changes nothing.
  rec.seen.clear();
  ASSERT_TRUE(UITest::Click(pm, L"listOpt"));
  EXPECT_EQ(rec.Count(L"selectchanged:listOpt"), 0);
  // Without the event flag the state changes silently.
  rec.seen.clear();
  general->Selected(true, false);
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_FALSE(list->IsSelected());
}

TEST_F(DuiNotify, UngroupedOptionRaisesSelectChangedBothWays) {
  auto* check = static_cast<CCheckBoxUI*>(pm.FindControl(L"autoLoginOpt"));
  ASSERT_TRUE(UITest::Click(pm, L"autoLoginOpt"));
  EXPECT_TRUE(check->GetCheck());
  ASSERT_TRUE(UITest::Click(pm, L"autoLoginOpt"));
  EXPECT_FALSE(check->GetCheck());
  EXPECT_EQ(rec.Count(L"selectchanged:autoLoginOpt"), 2);
}

TEST_F(DuiNotify, QueuedNotificationArrivesAfterTheCurrentHandler) {
  CControlUI* ok = pm.FindControl(L"okBtn");
  rec.also = [&](TNotifyUI& msg) {
    if (msg.sType == L"click") {
      pm.SendNotify(ok, L"later", 7, 0, true);
      rec.seen.push_back(L"handler end");
    }
  };
  ASSERT_TRUE(UITest::Click(pm, L"okBtn"));
  UITest::ProcessEvents(0);
  ASSERT_GE(rec.seen.size(), 2u);
  EXPECT_EQ(rec.seen[rec.seen.size() - 2], L"handler end");
  EXPECT_EQ(rec.seen.back(), L"later:okBtn");
}

TEST_F(DuiNotify, QueuedNotificationOfADestroyedSenderIsDropped) {
  auto* bar = static_cast<CContainerUI*>(pm.FindControl(L"buttonBar"));
  CControlUI* cancel = pm.FindControl(L"cancelBtn");
  pm.SendNotify(cancel, L"later", 0, 0, true);
  pm.SendNotify(pm.FindControl(L"okBtn"), L"later", 0, 0, true);
  ASSERT_TRUE(bar->Remove(cancel));
  UITest::ProcessEvents(0);
  EXPECT_EQ(rec.Count(L"later:cancelBtn"), 0);
  EXPECT_EQ(rec.Count(L"later:okBtn"), 1);
}

TEST_F(DuiNotify, ReturnThenKillFocusInOrder) {
  ASSERT_TRUE(UITest::SetText(pm, L"nameEdit", L"Zhang San"));
  ASSERT_TRUE(UITest::PressReturn(pm, L"nameEdit"));
  UITest::KillFocus(pm);
  EXPECT_EQ(rec.Count(L"textchanged:nameEdit"), 9) << "one per typed character";
  std::erase(rec.seen, L"textchanged:nameEdit");
  std::vector<std::wstring> expected{L"setfocus:nameEdit", L"return:nameEdit", L"killfocus:nameEdit",
                                     L"setfocus:passwordEdit"};
  EXPECT_EQ(rec.seen, expected);
  EXPECT_STREQ(pm.FindControl(L"nameEdit")->GetText(), L"Zhang San");
}

TEST_F(DuiNotify, TypingEditsTheTextWithinItsLimits) {
  auto* edit = static_cast<CEditUI*>(pm.FindControl(L"nameEdit"));
  edit->SetMaxChar(4);
  edit->SetFocus();
  auto key = [&](int type, wchar_t ch) {
    TEventUI e;
    e.Type = type;
    e.chKey = ch;
    edit->Event(e);
  };
  for (wchar_t c : std::wstring(L"ab张cd")) key(UIEVENT_CHAR, c);
  EXPECT_STREQ(edit->GetText(), L"ab张c");
  key(UIEVENT_KEYDOWN, VK_BACK);
  key(UIEVENT_KEYDOWN, VK_HOME);
  key(UIEVENT_KEYDOWN, VK_DELETE);
  EXPECT_STREQ(edit->GetText(), L"b张");
  EXPECT_EQ(rec.Count(L"textchanged:nameEdit"), 6);
  edit->SetReadOnly(true);
  key(UIEVENT_CHAR, L'x');
  EXPECT_STREQ(edit->GetText(), L"b张");
}

TEST_F(DuiNotify, ListSelectionNotifiesOnceWithNewAndOldIndex) {
  ASSERT_TRUE(UITest::SelectItem(pm, L"switch", 1));
  auto* list = static_cast<CListUI*>(pm.FindControl(L"studyList"));
  for (int i = 0; i < 3; ++i) {
    auto* row = new CListTextElementUI;
    row->SetName((L"row" + std::to_wstring(i)).c_str());
    ASSERT_TRUE(list->Add(row));
    row->SetText(0, L"Patient");
  }
  ASSERT_EQ(list->GetCount(), 3);
  std::vector<std::pair<WPARAM, LPARAM>> selects;
  rec.also = [&](TNotifyUI& msg) {
    if (msg.sType == L"itemselect") selects.emplace_back(msg.wParam, msg.lParam);
  };
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", 1));
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", 1));  // already selected: nothing
  ASSERT_TRUE(UITest::SelectItem(pm, L"studyList", 2));
  ASSERT_EQ(selects.size(), 2u);
  EXPECT_EQ(selects[0], (std::pair<WPARAM, LPARAM>{1, LPARAM(-1)}));
  EXPECT_EQ(selects[1], (std::pair<WPARAM, LPARAM>{2, 1}));
  EXPECT_EQ(list->GetCurSel(), 2);
  // Removing a row before the selection moves the selection with its row.
  ASSERT_TRUE(list->RemoveAt(0));
  EXPECT_EQ(list->GetCurSel(), 1);
  ASSERT_TRUE(UITest::ActivateItem(pm, L"studyList", 1));
  EXPECT_EQ(rec.Count(L"itemdbclick:row2"), 1);
  EXPECT_EQ(rec.Count(L"itemactivate:row2"), 1);
  // A row inserted at the top moves the rows after it: each reports its new index.
  auto* top = new CListTextElementUI;
  top->SetName(L"top");
  ASSERT_TRUE(list->AddAt(top, 0));
  std::vector<WPARAM> indexes;
  rec.also = [&](TNotifyUI& msg) {
    if (msg.sType == L"itemactivate") indexes.push_back(msg.wParam);
  };
  ASSERT_TRUE(UITest::ActivateItem(pm, L"studyList", 2));
  ASSERT_TRUE(UITest::ActivateItem(pm, L"studyList", 0));
  EXPECT_EQ(rec.Count(L"itemactivate:row2"), 2);
  EXPECT_EQ(rec.Count(L"itemactivate:top"), 1);
  EXPECT_EQ(indexes, (std::vector<WPARAM>{2, 0}));
}

TEST_F(DuiNotify, ComboItemsCarryUserData) {
  auto* combo = static_cast<CComboUI*>(pm.FindControl(L"sexCombo"));
  ASSERT_EQ(combo->GetCount(), 3);
  EXPECT_EQ(combo->GetCurSel(), -1);
  EXPECT_STREQ(combo->GetText(), L"");
  ASSERT_TRUE(UITest::SelectItem(pm, L"sexCombo", 1));
  EXPECT_STREQ(combo->GetItemAt(combo->GetCurSel())->GetUserData(), L"F");
  EXPECT_STREQ(combo->GetText(), L"Female");
  EXPECT_EQ(rec.Count(L"itemselect:sexCombo"), 1);
  // A selection without the event flag is silent.
  combo->SelectItem(0, false, false);
  EXPECT_EQ(rec.Count(L"itemselect:sexCombo"), 1);
  EXPECT_FALSE(combo->SelectItem(5));
}

TEST_F(DuiNotify, TabSelectionAndTreeFolding) {
  auto* tab = static_cast<CTabLayoutUI*>(pm.FindControl(L"switch"));
  ASSERT_TRUE(UITest::SelectItem(pm, L"switch", 2));
  EXPECT_EQ(tab->GetCurSel(), 2);
  EXPECT_TRUE(pm.FindControl(L"treePage")->IsVisible());
  EXPECT_FALSE(pm.FindControl(L"generalPage")->IsVisible());
  EXPECT_EQ(rec.Count(L"tabselect:switch"), 1);

  auto* tree = static_cast<CTreeViewUI*>(pm.FindControl(L"caseTree"));
  ASSERT_EQ(tree->GetCount(), 5);  // rows in depth-first order
  EXPECT_EQ(tree->GetItemIndex(pm.FindControl(L"mrNode")), 3);
  auto* ct = static_cast<CTreeNodeUI*>(pm.FindControl(L"ctNode"));
  tree->FoldItem(ct, true);
  EXPECT_FALSE(pm.FindControl(L"headNode")->IsVisible());
  tree->FoldItem(ct, false);
  EXPECT_TRUE(pm.FindControl(L"headNode")->IsVisible());
  auto* spine = new CTreeNodeUI;
  spine->SetName(L"spineNode");
  ASSERT_TRUE(ct->Add(spine));
  EXPECT_EQ(tree->GetItemIndex(spine), 3);
  ASSERT_TRUE(tree->SelectItem(3, false, true));
  EXPECT_EQ(rec.Count(L"itemselect:caseTree"), 1);
}

TEST_F(DuiNotify, DateTimeAndPicture) {
  auto* date = static_cast<CDateTimeUI*>(pm.FindControl(L"studyDate"));
  EXPECT_TRUE(date->SetTime(2024, 2, 29));
  EXPECT_STREQ(date->GetText(), L"2024-02-29");
  EXPECT_FALSE(date->SetTime(2023, 2, 29));
  int y = 0, m = 0, d = 0;
  ASSERT_TRUE(date->GetTime(y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240229);
  date->SetText(L"20240101x");
  EXPECT_STREQ(date->GetText(), L"20240101x");
  EXPECT_FALSE(date->GetTime(y, m, d));

  auto* picture = static_cast<CPictureUI*>(pm.FindControl(L"preview"));
  QImage img(8, 4, QImage::Format_RGB32);
  img.fill(Qt::red);
  QByteArray png;
  QBuffer buf(&png);
  buf.open(QIODevice::WriteOnly);
  img.save(&buf, "PNG");
  const unsigned char junk[] = {1, 2, 3};
  EXPECT_FALSE(picture->SetPicture(nullptr, 10));
  EXPECT_FALSE(picture->SetPicture(junk, sizeof junk));
  EXPECT_FALSE(picture->HasPicture());
  ASSERT_TRUE(picture->SetPicture(reinterpret_cast<const unsigned char*>(png.data()), long(png.size())));
  EXPECT_EQ(picture->GetPictureSize().cx, 8);
  EXPECT_EQ(picture->GetPictureSize().cy, 4);
  HBITMAP bitmap = picture->GetImageInfo();
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(SOWin::ImageOf(bitmap), nullptr);
  EXPECT_EQ(SOWin::ImageOf(bitmap)->size(), QSize(8, 4));
}

TEST_F(DuiNotify, EventHooksOfOneControl) {
  CControlUI* ok = pm.FindControl(L"okBtn");
  struct Hook {
    int notifies = 0, sizes = 0;
    bool OnNotify(void* p) {
      ++notifies;
      return static_cast<TNotifyUI*>(p)->sType == L"click";
    }
    bool OnSize(void*) {
      ++sizes;
      return true;
    }
  } hook;
  ok->OnNotify += MakeDelegate(&hook, &Hook::OnNotify);
  ok->OnNotify += MakeDelegate(&hook, &Hook::OnNotify);  // once only
  ok->OnSize += MakeDelegate(&hook, &Hook::OnSize);
  UITest::Click(pm, L"okBtn");
  EXPECT_EQ(hook.notifies, 2);  // setfocus and click
  pm.UpdateLayout(SIZE{640, 520});
  EXPECT_GE(hook.sizes, 1);
  ok->OnNotify -= MakeDelegate(&hook, &Hook::OnNotify);
  UITest::Click(pm, L"okBtn");
  EXPECT_EQ(hook.notifies, 2);
}

TEST_F(DuiNotify, DraggingAHeaderEdgeSizesTheColumn) {
  ASSERT_TRUE(UITest::SelectItem(pm, L"switch", 1));
  pm.UpdateLayout(SIZE{600, 560});
  auto* list = static_cast<CListUI*>(pm.FindControl(L"studyList"));
  CControlUI* first = list->GetHeader()->GetItemAt(0);
  CControlUI* second = list->GetHeader()->GetItemAt(1);
  RECT rc = first->GetPos();
  const LONG middle = (rc.top + rc.bottom) / 2;
  ASSERT_TRUE(UITest::Drag(pm, POINT{rc.right - 2, middle}, POINT{rc.right + 38, middle}));
  EXPECT_EQ(first->GetFixedWidth(), 200);
  pm.UpdateLayout(SIZE{600, 560});
  EXPECT_EQ(second->GetPos().left, rc.left + 200);
  // A click inside the title is a header click, not a resize.
  rec.seen.clear();
  ASSERT_TRUE(UITest::ClickAt(pm, POINT{rc.left + 20, middle}));
  EXPECT_EQ(rec.Count(L"headerclick:"), 1);
  EXPECT_EQ(first->GetFixedWidth(), 200);
}
