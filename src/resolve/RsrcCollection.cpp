#include "RsrcCollection.h"

#include "VornReport.h"

RsrcCollection::iterator RsrcCollection::iterator::operator+(int32_t i) const {
  VORN_REPORT(mCollection != nullptr && mIndex + i < mCollection->size(),
              "mIndex+i < mCollection->size()");
  return iterator(mCollection, mIndex + i);
}

RsrcCollection::iterator RsrcCollection::iterator::operator-(int32_t i) const {
  VORN_REPORT(mIndex - i >= 0, "mIndex-i >= 0");
  return iterator(mCollection, mIndex - i);
}

const RsrcDescriptor& RsrcCollection::iterator::operator*() const {
  static const RsrcDescriptor kNone;
  bool inside = mCollection != nullptr && mIndex >= 0 && mIndex < mCollection->size();
  VORN_REPORT(inside, "mIndex >= 0 && mIndex < mCollection->size()");
  return inside ? mCollection->fDescriptors[static_cast<size_t>(mIndex)] : kNone;
}

int32_t RsrcCollection::Add(const std::string& inDir, const char* fileName, const RsrcType& type) {
  VORN_REPORT(!inDir.empty() && inDir.back() == '\\', "inDir[inDir.length()-1] == '\\\\'");
  RsrcDescriptor descriptor(inDir.c_str(), fileName, type);
  if (!fKeys.emplace(descriptor.GetFullName(), descriptor.GetID()).second) return 3;
  fDescriptors.push_back(descriptor);
  return 0;
}
