#include "ptrlist.h"

#include <gtest/gtest.h>

#include <vector>

#include "DebugCapture.h"

namespace {

std::vector<int> Items(const PtrList<int>& list) {
  std::vector<int> out;
  for (PtrListIterator<int> it(list); it.Current(); it.Next()) out.push_back(*it.Current());
  return out;
}

struct Counted {
  explicit Counted(int* deletes) : fDeletes(deletes) {}
  virtual ~Counted() { ++*fDeletes; }
  int* fDeletes;
};

}  // namespace

TEST(PtrList, AppendPrependOrderAndDuplicates) {
  int a = 1, b = 2, c = 3;
  PtrList<int> app, pre;
  for (int* p : {&a, &b, &c}) {
    app.Append(p);
    pre.Prepend(p);
  }
  app.Append(&a);
  app.Append(nullptr);
  pre.Prepend(&b);
  EXPECT_EQ(Items(app), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Items(pre), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(app.Count(), 3);
  EXPECT_TRUE(app.Contains(&b));
}

TEST(PtrList, NthAndRemove) {
  int a = 1, b = 2, c = 3, absent = 4;
  PtrList<int> list;
  EXPECT_EQ(list.Nth(0), nullptr);
  list.Append(&a);
  list.Append(&b);
  list.Append(&c);
  EXPECT_EQ(list.Nth(1), &b);
  EXPECT_EQ(list.Nth(list.Count()), nullptr);
  EXPECT_EQ(list.Nth(-1), nullptr);
  list.Remove(&absent);
  EXPECT_EQ(list.Count(), 3);
  list.Remove(&a);
  EXPECT_EQ(list.Nth(0), &b);
  EXPECT_EQ(list.Count(), 2);
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0);
}

TEST(PtrList, UnboundIterator) {
  PtrListIterator<int> it;
  EXPECT_EQ(it.Index(), -1);
  EXPECT_EQ(it.Current(), nullptr);
  it.Next();
  EXPECT_EQ(it.Current(), nullptr);
}

TEST(PtrList, DeleteAllDeletesEachItemOnce) {
  int deletes = 0;
  PtrList<Counted> list;
  for (int i = 0; i < 5; ++i) list.Append(new Counted(&deletes));
  DeleteAll(list);
  EXPECT_EQ(deletes, 5);
  EXPECT_EQ(list.Count(), 0);
}

TEST(PtrList, FullListRefusesMoreItemsInsteadOfWrapping) {
  ScopedDebugCapture capture;
  std::vector<int> items(PtrList<int>::kMaxCount + 2);
  PtrList<int> list;
  for (int i = 0; i < PtrList<int>::kMaxCount; ++i) list.Prepend(&items[i]);
  EXPECT_EQ(list.Count(), PtrList<int>::kMaxCount);
  EXPECT_EQ(capture.ReportCount(), 0u);
  list.Append(&items[PtrList<int>::kMaxCount]);
  list.Prepend(&items[PtrList<int>::kMaxCount + 1]);
  EXPECT_EQ(list.Count(), PtrList<int>::kMaxCount);
  EXPECT_EQ(capture.Count("ptrlist full"), 2);
  EXPECT_FALSE(list.Contains(&items[PtrList<int>::kMaxCount]));
}
