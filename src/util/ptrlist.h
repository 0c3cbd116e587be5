// PtrList<T>: a singly linked list of item pointers with a 16-bit count. The list owns its
// nodes, never its items: DeleteAll deletes the items and empties the list. Appends ignore
// null and duplicate items. Order is insertion order for Append, reverse for Prepend.
// PtrListIterator<T> walks a list from its head. Append, Prepend and Contains take constant
// time (the list keeps its tail and a set of its items), so filling a list is linear in its
// length. Not thread-safe: one owner at a time.
#pragma once

#include <cstdint>
#include <unordered_set>

#include "XAssert.h"

template <class T>
class PtrListIterator;

template <class T>
class PtrList {
 public:
  // The most items a list holds: its count is a signed 16-bit number.
  static constexpr int16_t kMaxCount = INT16_MAX;

  PtrList() = default;
  ~PtrList() {
    RemoveAll();
    XASSERT(fCount == 0, "count error in ptrlist");
  }
  PtrList(const PtrList&) = delete;
  PtrList& operator=(const PtrList&) = delete;

  // Adds `item` at the tail unless it is null, already in the list, or the list is full
  // (a full list reports "ptrlist full" and stays as it is).
  void Append(T* item) {
    if (!item || Contains(item) || !HasRoom()) return;
    Node* node = new Node{item, nullptr};
    if (fTail) {
      fTail->next = node;
    } else {
      fHead = node;
    }
    fTail = node;
    fMembers.insert(item);
    ++fCount;
  }

  // Adds `item` at the head, with the same rules as Append.
  void Prepend(T* item) {
    if (!item || Contains(item) || !HasRoom()) return;
    fHead = new Node{item, fHead};
    if (!fTail) fTail = fHead;
    fMembers.insert(item);
    ++fCount;
  }

  int16_t Count() const {
    int32_t cnt = 0;
    for (Node* n = fHead; n; n = n->next) ++cnt;
    XASSERT(fCount == cnt, "whoops");
    return fCount;
  }

  // The item at the 0-based `index`; null when the index is negative or at or past the end.
  T* Nth(int32_t index) const {
    if (index < 0) return nullptr;
    for (Node* n = fHead; n; n = n->next, --index)
      if (index == 0) return n->item;
    return nullptr;
  }

  bool Contains(const T* item) const { return item != nullptr && fMembers.count(item) != 0; }

  // Unlinks the first node holding `item` (the item itself is not deleted).
  void Remove(const T* item) {
    if (!Contains(item)) return;
    Node* previous = nullptr;
    for (Node** link = &fHead; *link; previous = *link, link = &(*link)->next) {
      if ((*link)->item == item) {
        Node* node = *link;
        *link = node->next;
        if (fTail == node) fTail = previous;
        fMembers.erase(item);
        delete node;
        --fCount;
        XASSERT(fCount >= 0, "whoops");
        return;
      }
    }
  }

  // Frees every node; the items are not deleted.
  void RemoveAll() {
    while (fHead) {
      Node* node = fHead;
      fHead = node->next;
      delete node;
      --fCount;
      XASSERT(fCount >= 0, "whoops");
    }
    XASSERT(fCount == 0, "whoops");
    fCount = 0;
    fTail = nullptr;
    fMembers.clear();
  }

 private:
  friend class PtrListIterator<T>;

  struct Node {
    T* item;
    Node* next;
  };

  bool HasRoom() const {
    if (fCount < kMaxCount) return true;
    XASSERT(fCount < kMaxCount, "ptrlist full");
    return false;
  }

  Node* fHead = nullptr;
  Node* fTail = nullptr;                 // last node, null when empty
  int16_t fCount = 0;
  std::unordered_set<const T*> fMembers;  // the items, for the duplicate test
};

template <class T>
class PtrListIterator {
 public:
  explicit PtrListIterator(const PtrList<T>* list = nullptr) : fList(list) { Reset(); }
  explicit PtrListIterator(const PtrList<T>& list) : fList(&list) { Reset(); }

  // Back to the head; with no list bound there is no current item and the index is -1.
  void Reset() {
    fCurrent = fList ? fList->fHead : nullptr;
    fIndex = fList ? 0 : -1;
  }

  T* Current() const { return fCurrent ? fCurrent->item : nullptr; }

  // Moves to the next item; nothing at the end.
  void Next() {
    if (!fCurrent) return;
    fCurrent = fCurrent->next;
    ++fIndex;
  }

  int32_t Index() const { return fIndex; }

 private:
  const PtrList<T>* fList;
  typename PtrList<T>::Node* fCurrent = nullptr;
  int32_t fIndex = -1;
};

// Deletes every item of `list` (through its virtual destructor where it has one), then
// empties the list.
template <class T>
void DeleteAll(PtrList<T>& list) {
  for (PtrListIterator<T> it(list); it.Current(); it.Next()) delete it.Current();
  list.RemoveAll();
}
