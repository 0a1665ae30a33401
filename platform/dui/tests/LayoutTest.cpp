#include "DuiTestUtil.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace DuiLib;

namespace {

struct LayoutCase {
  const char* what;
  const wchar_t* markup;  // root control inside <Window>
  int width, height;
  std::vector<std::pair<const wchar_t*, const wchar_t*>> expected;  // name -> "l,t,r,b"
};

const LayoutCase kCases[] = {
    {"fixed first, the rest shared evenly",
     L"<VerticalLayout><Control name='a' height='50'/><Control name='b'/><Control "
     L"name='c'/></VerticalLayout>",
     100,
     300,
     {{L"a", L"0,0,100,50"}, {L"b", L"0,50,100,175"}, {L"c", L"0,175,100,300"}}},
    {"inset and child padding come off before sharing",
     L"<VerticalLayout inset='10,10,10,10' childpadding='5'><Control name='a' height='50'/><Control "
     L"name='b'/>"
     L"</VerticalLayout>",
     100,
     300,
     {{L"a", L"10,10,90,60"}, {L"b", L"10,65,90,290"}}},
    {"the last unfixed item takes the remainder",
     L"<VerticalLayout><Control name='a'/><Control name='b'/><Control name='c'/></VerticalLayout>",
     10,
     100,
     {{L"a", L"0,0,10,33"}, {L"b", L"0,33,10,66"}, {L"c", L"0,66,10,100"}}},
    {"padding is outside the item, across and along",
     L"<VerticalLayout><Control name='a' height='20' padding='5,10,5,10'/><Control "
     L"name='b'/></VerticalLayout>",
     100,
     100,
     {{L"a", L"5,10,95,30"}, {L"b", L"0,40,100,100"}}},
    {"max height clamps a shared item and the next takes the rest",
     L"<VerticalLayout><Control name='a' maxheight='50'/><Control name='b'/></VerticalLayout>",
     100,
     300,
     {{L"a", L"0,0,100,50"}, {L"b", L"0,50,100,300"}}},
    {"min width holds against a narrow fixed width",
     L"<HorizontalLayout><Control name='a' width='10' minwidth='40'/><Control name='b'/></HorizontalLayout>",
     200,
     20,
     {{L"a", L"0,0,40,20"}, {L"b", L"40,0,200,20"}}},
    {"horizontal: fixed widths, fixed height across",
     L"<HorizontalLayout childpadding='4'><Control name='a' width='80'/><Control name='b' height='10'/>"
     L"<Control name='c' width='30'/></HorizontalLayout>",
     300,
     50,
     {{L"a", L"0,0,80,50"}, {L"b", L"84,0,266,10"}, {L"c", L"270,0,300,50"}}},
    {"fixed items overflow instead of shrinking; unfixed ones get nothing",
     L"<VerticalLayout><Control name='a' height='200'/><Control name='b'/><Control name='c' height='200'/>"
     L"</VerticalLayout>",
     50,
     300,
     {{L"a", L"0,0,50,200"}, {L"b", L"0,200,50,200"}, {L"c", L"0,200,50,400"}}},
    {"a floating item sits at its pos and takes no space",
     L"<VerticalLayout><Control name='f' float='true' pos='10,20,60,40'/><Control "
     L"name='a'/></VerticalLayout>",
     100,
     100,
     {{L"f", L"10,20,60,40"}, {L"a", L"0,0,100,100"}}},
    {"hidden items take no space",
     L"<VerticalLayout><Control name='a' height='30' visible='false'/><Control name='b'/></VerticalLayout>",
     100,
     100,
     {{L"b", L"0,0,100,100"}}},
    {"tile layout: columns share the width, rows take the tallest item",
     L"<TileLayout columns='3'><Control name='a' height='40'/><Control name='b' height='30'/>"
     L"<Control name='c' height='40'/><Control name='d' height='20'/></TileLayout>",
     300,
     200,
     {{L"a", L"0,0,100,40"}, {L"b", L"100,0,200,30"}, {L"d", L"0,40,100,60"}}},
    {"tab layout: only the selected page is laid out, over the whole inner area",
     L"<TabLayout selectedid='1' inset='2,2,2,2'><Control name='p0'/><Control name='p1'/></TabLayout>",
     100,
     50,
     {{L"p1", L"2,2,98,48"}}},
};

}  // namespace

TEST(DuiLayout, MatchesTheLayoutRules) {
  orvanta::test::EnsureQtApp();
  for (const LayoutCase& c : kCases) {
    SCOPED_TRACE(c.what);
    CPaintManagerUI pm;
    ASSERT_NE(duitest::Build(pm, std::wstring(L"<Window>") + c.markup + L"</Window>", c.width, c.height),
              nullptr);
    for (const auto& [name, rect] : c.expected) {
      CControlUI* control = pm.FindControl(name);
      ASSERT_NE(control, nullptr) << "missing " << QString::fromWCharArray(name).toStdString();
      EXPECT_EQ(duitest::RectText(control->GetPos()), rect) << QString::fromWCharArray(name).toStdString();
    }
  }
}

TEST(DuiLayout, OverflowingContainerScrollsWithItsBar) {
  orvanta::test::EnsureQtApp();
  CPaintManagerUI pm;
  std::wstring items;
  for (int i = 0; i < 10; ++i) items += L"<Control name='i" + std::to_wstring(i) + L"' height='40'/>";
  CControlUI* root = duitest::Build(
      pm, L"<Window><VerticalLayout vscrollbar='true'>" + items + L"</VerticalLayout></Window>", 100, 200);
  ASSERT_NE(root, nullptr);
  auto* layout = static_cast<CContainerUI*>(root);
  ASSERT_TRUE(layout->GetVerticalScrollBar()->IsVisible());
  EXPECT_EQ(layout->GetScrollRange().cy, 200);
  // The bar takes its width from the content.
  EXPECT_EQ(pm.FindControl(L"i0")->GetPos().right, 100 - layout->GetVerticalScrollBar()->GetFixedWidth());
  layout->SetScrollPos(SIZE{0, 80});
  EXPECT_EQ(pm.FindControl(L"i2")->GetPos().top, 0);
  layout->SetScrollPos(SIZE{0, 10000});
  EXPECT_EQ(layout->GetScrollPos().cy, 200);
}

TEST(DuiLayout, UnsizedTextGrowsWithItsWrappedLines) {
  orvanta::test::EnsureQtApp();
  CPaintManagerUI pm;
  ASSERT_NE(
      duitest::Build(pm,
                     L"<Window><VerticalLayout><Label name='one' text='Short'/>"
                     L"<Text name='many' text='A sentence long enough to need several lines at this width.'/>"
                     L"<Control name='rest'/></VerticalLayout></Window>",
                     120, 400),
      nullptr);
  int line = pm.FindControl(L"one")->GetHeight();
  EXPECT_GT(line, 10);
  EXPECT_GE(pm.FindControl(L"many")->GetHeight(), 3 * (line - 4));
  EXPECT_EQ(pm.FindControl(L"rest")->GetPos().bottom, 400);
}
