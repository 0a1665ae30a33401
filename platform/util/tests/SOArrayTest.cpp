#include <gtest/gtest.h>

#include "SOArray.h"
#include "SOData.h"
#include "SOPointF.h"
#include "SOPtrArray.h"
#include "SOString.h"

namespace {

// Counts live instances, so leaks and double frees of cells show up.
struct Counted {
  static int live;
  int value;
  explicit Counted(int v) : value(v) { ++live; }
  Counted(const Counted& o) : value(o.value) { ++live; }
  ~Counted() { --live; }
};
int Counted::live = 0;

TEST(SOArray, CopiesAreDeepAndAssignmentFreesOldCells) {
  {
    SOArray<Counted> a;
    for (int i = 0; i < 3; ++i) a.Add(Counted(i));
    EXPECT_EQ(Counted::live, 3);

    SOArray<Counted> b;
    b.Add(Counted(99));
    b = a;
    EXPECT_EQ(Counted::live, 6);  // b's old cell freed, three new ones
    ASSERT_EQ(b.GetLength(), 3);
    b.GetValue(1).value = 42;
    EXPECT_EQ(a.GetValue(1).value, 1);
    EXPECT_NE(&a.GetValue(0), &b.GetValue(0));

    const SOArray<Counted> c(a);
    a.Clear();
    EXPECT_EQ(c.GetValue(2).value, 2);
    EXPECT_EQ(Counted::live, 6);
  }
  EXPECT_EQ(Counted::live, 0);
}

TEST(SOArray, CellsStayPutWhileTheListChanges) {
  SOArray<SOPointF> points;
  points.Add({1, 2});
  const SOPointF* first = &points.GetValue(0);
  for (int i = 0; i < 100; ++i) points.Add({float(i), 0});
  points.Insert(0, {-1, -1});
  EXPECT_EQ(&points.GetValue(1), first);
  EXPECT_TRUE(points.Remove(0));
  EXPECT_FALSE(points.Remove(points.GetLength()));
  EXPECT_EQ(points.GetValue(0), (SOPointF{1, 2}));

  SOArray<SOString> names;
  names.Add("b");
  names.Insert(99, "c");
  names.Insert(-5, "a");
  ASSERT_EQ(names.GetLength(), 3);
  EXPECT_TRUE(names[0] == "a" && names[1] == "b" && names[2] == "c");
}

TEST(SOPtrArray, BorrowsPointersAndAnswersNullOutOfRange) {
  int x = 1, y = 2;
  SOPtrArray list;
  list.Add(&x);
  list.Insert(0, &y);
  EXPECT_EQ(list.GetValue(0), &y);
  EXPECT_EQ(list.GetValue(1), &x);
  EXPECT_EQ(list.GetValue(2), nullptr);
  EXPECT_EQ(list.GetValue(-1), nullptr);
  list.Clear();
  EXPECT_EQ(list.GetLength(), 0);
}

TEST(SOData, OwnsCopiesAndNeverFreesBorrowedBuffers) {
  SOData<short> a;
  a.Resize(4);
  ASSERT_EQ(a.count, 4u);
  EXPECT_TRUE(a.owned);
  for (uint32_t i = 0; i < a.count; ++i) EXPECT_EQ(a.data[i], 0);
  a.data[2] = 7;

  SOData<short> b = a;  // deep
  EXPECT_NE(b.data, a.data);
  EXPECT_EQ(b.data[2], 7);

  short outside[3] = {1, 2, 3};
  {
    SOData<short> borrowed(outside, 3);
    EXPECT_FALSE(borrowed.owned);
    SOData<short> copy = borrowed;  // a copy owns its own buffer
    EXPECT_TRUE(copy.owned);
    EXPECT_NE(copy.data, outside);
    borrowed.Free();
    EXPECT_EQ(borrowed.data, nullptr);
    EXPECT_EQ(borrowed.count, 0u);
  }
  EXPECT_EQ(outside[2], 3);

  SOData<short> empty;
  b.Assign(empty);
  EXPECT_EQ(b.data, nullptr);
  EXPECT_EQ(b.count, 0u);

  SOData<short> moved = std::move(a);
  EXPECT_EQ(a.data, nullptr);
  EXPECT_EQ(moved.data[2], 7);
  b.Resize(0);
  EXPECT_EQ(b.data, nullptr);
}

}  // namespace
