#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FilmTestUtil.h"
#include "SOFilmSession.h"
#include "SOImageObject.h"

using film_test::Objects;

namespace {

// "A1 A2 B2": each image's series (its UID's last letter) and instance number, in session order.
std::string Order(SOFilmSession& session) {
  std::string text;
  for (int i = 0; i < session.GetImageCount(); ++i) {
    ISODcmObject* object = session.GetImage(i)->GetDcmObject();
    if (!text.empty()) text += ' ';
    text += std::string(object->GetSeriesInstanceUID()).back() + std::to_string(object->GetInstanceNumber());
  }
  return text;
}

std::vector<int> Cells(SOFilmSession& session) {
  std::vector<int> counts;
  for (int k = 0; k < session.GetFilmBoxCount(); ++k) counts.push_back(session.GetFilmBox(k)->GetImageCount());
  return counts;
}

std::string Selected(SOFilmSession& session) {
  std::string text;
  for (int k = 0; k < session.GetFilmBoxCount(); ++k) text += session.GetFilmBox(k)->IsSelected() ? 'x' : '.';
  return text;
}

void AddSeries(SOFilmSession& session, Objects& objects, const std::string& series, int count) {
  for (int i = 1; i <= count; ++i) session.AddImage(objects.Add(series, i));
}

struct Log : ISOFilmSessionCallback {
  void OnSessionChanged(ISOFilmSession*) override { ++changed; }
  void OnFilmBoxRemoved(ISOFilmSession*, ISOFilmBox*) override { ++removed; }
  int changed = 0;
  int removed = 0;
};

}  // namespace

TEST(FilmSession, ReflowAddsAndDropsFilms) {
  Objects objects;
  SOFilmSession session;
  ASSERT_EQ(session.GetFilmBoxCount(), 1);
  auto* first = static_cast<SOFilmBox*>(session.GetFilmBox(0));
  EXPECT_EQ(first->GetPageNumber(), 1);
  EXPECT_EQ(first->GetPageCount(), 1);
  EXPECT_EQ(first->GetImageBoxCount(), 24);

  Log log;
  session.RegisterCallback(&log);
  AddSeries(session, objects, "1.A", 25);
  EXPECT_EQ(Cells(session), (std::vector<int>{24, 1}));
  EXPECT_EQ(static_cast<SOFilmBox*>(session.GetFilmBox(1))->GetPageCount(), 2);
  session.SelectImage(session.GetImage(24), 0);
  session.DeleteImage();
  EXPECT_EQ(Cells(session), (std::vector<int>{24}));
  EXPECT_EQ(log.removed, 1);
  EXPECT_EQ(session.GetImageBoxCount(), 24);
  EXPECT_EQ(session.GetImageBox(23)->GetImageObject(), session.GetImage(23));
  EXPECT_EQ(session.GetImageBox(24), nullptr);

  // New films take the default layout; films that exist keep theirs.
  ASSERT_TRUE(session.SetDefaultImageLayout(2, 2));
  session.AddImage(objects.Add("1.A", 30));
  EXPECT_EQ(Cells(session), (std::vector<int>{24, 1}));
  EXPECT_EQ(session.GetFilmBox(1)->GetImageBoxCount(), 4);
  EXPECT_FALSE(session.SetDefaultImageLayout(0, 4));

  // Film sizes outside the table are refused; so are copies below 1.
  session.SetFilmSize(13);
  session.SetFilmSize(0);
  EXPECT_EQ(session.GetFilmSize(), 8);
  session.SetFilmSize(11);
  EXPECT_EQ(session.GetFilmBox(1)->GetFilmSize(), 11);
  EXPECT_FALSE(session.SetCopies(0));
  EXPECT_FALSE(session.SetDPI(0));
}

TEST(FilmSession, ImagesKeepSeriesAndInstanceOrder) {
  Objects objects;
  SOFilmSession session;
  SODcmObject* a3 = objects.Add("1.A", 3);
  session.AddImage(a3);
  session.AddImage(objects.Add("1.A", 1));
  session.AddImage(objects.Add("1.B", 2));
  session.AddImage(objects.Add("1.A", 2));
  EXPECT_EQ(Order(session), "A1 A2 A3 B2");
  // The same instance again (a second load) rebinds its image and adds nothing.
  auto again = film_test::MakeObject("1.A", 3, a3->GetSopInstanceUID());
  SOImageObject* image = session.AddImage(again.get());
  EXPECT_EQ(session.GetImageCount(), 4);
  EXPECT_EQ(image->GetDcmObject(), again.get());
  EXPECT_EQ(session.AddImage(nullptr), nullptr);
}

TEST(FilmSession, ChangesFollowTheSeriesOnce) {
  Objects objects;
  SOFilmSession session;
  AddSeries(session, objects, "1.A", 3);
  AddSeries(session, objects, "1.B", 1);
  SOImageObject* a1 = session.GetImage(0);
  a1->WW(40, 400);
  for (int i = 1; i < 3; ++i) {
    EXPECT_EQ(session.GetImage(i)->GetImagePresentationState().windowWidth, 400) << i;
    EXPECT_EQ(session.GetImage(i)->GetImagePresentationState().windowCenter, 40) << i;
  }
  EXPECT_NE(session.GetImage(3)->GetImagePresentationState().windowWidth, 400);

  a1->Zoom(2);
  a1->Pan(0.1f, 0.2f);
  EXPECT_FLOAT_EQ(session.GetImage(2)->GetImagePresentationState().zoom, 2);
  EXPECT_FLOAT_EQ(session.GetImage(2)->GetImagePresentationState().panY, 0.2f);
  // One quarter turn everywhere: the sender's own turn is not applied again.
  a1->Rotate(false);
  const SOMatrix2R2C& sender = a1->GetImagePresentationState().matrix;
  const SOMatrix2R2C& other = session.GetImage(1)->GetImagePresentationState().matrix;
  EXPECT_EQ(sender.m01, other.m01);
  EXPECT_EQ(sender.m10, other.m10);
  EXPECT_NE(sender.m01, 0);
  EXPECT_EQ(session.GetImage(3)->GetImagePresentationState().matrix.m01, 0);
}

TEST(FilmSession, ClickSelection) {
  Objects objects;
  SOFilmSession session;
  session.SetImageLayout(1, 1, true);
  AddSeries(session, objects, "1.A", 8);
  ASSERT_EQ(session.GetFilmBoxCount(), 8);
  auto film = [&](int k) { return session.GetFilmBox(k); };
  struct Click {
    int film;
    unsigned keys;
    const char* selected;
  };
  const Click clicks[] = {
      {1, 0, ".x......"},
      {4, MK_SHIFT, ".xxxx..."},           // from the selected one before up to the click
      {6, MK_CONTROL, ".xxxx.x."},         // Control adds
      {6, MK_CONTROL, ".xxxx.x."},         // and never takes away
      {2, MK_SHIFT, ".xx....."},           // after the click everything goes
      {0, MK_SHIFT, "xxx....."},           // nothing selected before: up to the last after
      {5, 0, ".....x.."},
  };
  for (const Click& click : clicks) {
    session.SelectFilmBox(film(click.film), click.keys);
    EXPECT_EQ(Selected(session), click.selected) << click.film << " keys " << click.keys;
  }
  session.SelectImage(session.GetImage(2), 0);
  session.SelectImage(session.GetImage(4), MK_SHIFT);
  int selected = 0;
  for (int i = 0; i < 8; ++i) selected += session.GetImage(i)->IsSelected();
  EXPECT_EQ(selected, 3);
}

TEST(FilmSession, DeleteAndRecoverInGroups) {
  Objects objects;
  SOFilmSession session;
  session.SetImageLayout(2, 2, true);
  AddSeries(session, objects, "1.A", 12);
  AddSeries(session, objects, "1.B", 4);
  ASSERT_EQ(session.GetFilmBoxCount(), 4);
  const std::string all = Order(session);

  session.SelectImage(session.GetImage(0), 0);
  session.DeleteImage();
  session.SelectFilmBox(session.GetFilmBox(1), 0);
  session.SelectFilmBox(session.GetFilmBox(3), MK_CONTROL);
  session.DeleteFilm();
  EXPECT_EQ(Order(session), "A2 A3 A4 A5 A10 A11 A12 B1");
  EXPECT_EQ(session.GetFilmBoxCount(), 2);

  session.RecoverFilm();  // both films in one step
  EXPECT_EQ(Order(session), "A2 A3 A4 A5 A6 A7 A8 A9 A10 A11 A12 B1 B2 B3 B4");
  session.RecoverFilm();
  EXPECT_EQ(Order(session), all);
  session.RecoverFilm();  // nothing left
  EXPECT_EQ(Order(session), all);

  // Deleting every film leaves one empty film.
  for (int k = 0; k < session.GetFilmBoxCount(); ++k) session.SelectFilmBox(session.GetFilmBox(k), MK_CONTROL);
  session.DeleteFilm();
  EXPECT_EQ(session.GetFilmBoxCount(), 1);
  EXPECT_EQ(session.GetImageCount(), 0);
}

TEST(FilmSession, ScrollingAndCurrentFilm) {
  Objects objects;
  SOFilmSession session;
  session.SetImageLayout(1, 1, true);
  AddSeries(session, objects, "1.A", 4);
  session.ScrollFilms(3);
  EXPECT_EQ(session.GetCurrentFilmBoxIndex(), 3);
  EXPECT_EQ(Selected(session), "...x");
  session.ScrollFilms(1);  // past the end: stays
  EXPECT_EQ(session.GetCurrentFilmBoxIndex(), 3);
  // Two films left: the current index falls to the last.
  session.SelectImage(session.GetImage(2), 0);
  session.SelectImage(session.GetImage(3), MK_CONTROL);
  session.DeleteImage();
  EXPECT_EQ(session.GetCurrentFilmBoxIndex(), 1);
  session.ScrollFilms(-5);
  EXPECT_EQ(session.GetCurrentFilmBoxIndex(), 0);

  session.SetOrientation(2, false);
  EXPECT_EQ(session.GetFilmBox(0)->GetOrientation(), 2);
  EXPECT_EQ(session.GetFilmBox(1)->GetOrientation(), 1);
  session.SetOrientation(2, true);
  session.AddImage(objects.Add("1.A", 9));
  EXPECT_EQ(session.GetFilmBox(2)->GetOrientation(), 2);
}
