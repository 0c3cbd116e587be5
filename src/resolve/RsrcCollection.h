// The resources of one type found on a site: descriptors in the order they were added, no two
// equal (same name and id). One thread at a time.
#ifndef RESOLVE_RSRCCOLLECTION_H
#define RESOLVE_RSRCCOLLECTION_H

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "RsrcPkt.h"
#include "RsrcSite.h"
#include "RsrcType.h"

class RsrcCollection {
 public:
  // A position in a collection. Moving it outside the collection is reported; reading a
  // position outside gives an empty descriptor (also reported).
  class iterator {
   public:
    iterator() = default;
    iterator(const RsrcCollection* collection, int32_t index)
        : mCollection(collection), mIndex(index) {}
    iterator(const iterator& other) = default;
    iterator& operator=(const iterator& other) = default;

    iterator& operator++() {
      ++mIndex;
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++mIndex;
      return before;
    }
    iterator operator+(int32_t i) const;
    iterator operator-(int32_t i) const;
    // Compare the indices only.
    bool operator==(const iterator& other) const { return mIndex == other.mIndex; }
    bool operator!=(const iterator& other) const { return mIndex != other.mIndex; }
    const RsrcDescriptor& operator*() const;
    const RsrcDescriptor* operator->() const { return &**this; }

   private:
    const RsrcCollection* mCollection = nullptr;
    int32_t mIndex = -1;
  };

  RsrcCollection() = default;
  RsrcCollection(const RsrcCollection& other) = default;
  RsrcCollection& operator=(const RsrcCollection& other) = default;
  ~RsrcCollection() = default;

  // Adds the descriptor of `fileName` in `inDir` (which must end in '\\', reported when it
  // does not). 3 when an equal descriptor is held already (nothing added), else 0.
  int32_t Add(const std::string& inDir, const char* fileName, const RsrcType& type);

  void SetSite(const RsrcSite& site) { fSite = site; }
  const RsrcSite& GetSite() const { return fSite; }
  void SetType(const RsrcType& type) { fType = type; }
  const RsrcType& GetType() const { return fType; }

  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, static_cast<int32_t>(fDescriptors.size())); }
  int32_t size() const { return static_cast<int32_t>(fDescriptors.size()); }

 private:
  friend class iterator;

  RsrcSite fSite;
  RsrcType fType;
  std::vector<RsrcDescriptor> fDescriptors;
  std::set<std::pair<std::string, int32_t>> fKeys;  // (name, id) of every descriptor held
};

#endif  // RESOLVE_RSRCCOLLECTION_H
