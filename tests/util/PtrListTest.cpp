#include "ptrlist.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Appends after removals and prepends land where a walk from the head would put them, and a
// removed item may come back.
TEST(PtrList, AppendsAfterRemovalsAndPrepends) {
  int a = 1, b = 2, c = 3, d = 4;
  struct Case {
    std::vector<std::pair<char, int*>> steps;  // 'a' Append, 'p' Prepend, 'r' Remove, 'x' RemoveAll
    std::vector<int> items;
  };
  const Case cases[] = {
      {{{'a', &a}, {'a', &b}, {'r', &b}, {'a', &c}}, {1, 3}},            // the tail removed
      {{{'a', &a}, {'r', &a}, {'a', &b}, {'a', &c}}, {2, 3}},            // the only item removed
      {{{'p', &a}, {'a', &b}, {'p', &c}, {'a', &d}}, {3, 1, 2, 4}},      // prepends into empty
      {{{'a', &a}, {'a', &b}, {'r', &a}, {'a', &a}, {'a', &b}}, {2, 1}}, // back after removal
      {{{'a', &a}, {'a', &b}, {'x', nullptr}, {'a', &c}, {'a', &a}}, {3, 1}},
      {{{'a', &a}, {'a', &b}, {'a', &c}, {'r', &b}, {'a', &d}, {'r', &d}, {'a', &b}}, {1, 3, 2}},
  };
  for (const Case& k : cases) {
    PtrList<int> list;
    for (const auto& [op, item] : k.steps) {
      if (op == 'a') list.Append(item);
      if (op == 'p') list.Prepend(item);
      if (op == 'r') list.Remove(item);
      if (op == 'x') list.RemoveAll();
    }
    EXPECT_EQ(Items(list), k.items);
    EXPECT_EQ(list.Count(), int16_t(k.items.size()));
    for (int* item : {&a, &b, &c, &d}) {
      const bool in = std::find(k.items.begin(), k.items.end(), *item) != k.items.end();
      EXPECT_EQ(list.Contains(item), in) << *item;
    }
  }
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
