// Unchecked runs of work-space words for hot loops (the sparse LU
// package's eliminations, replays and scalings).
//
// span(v, first, len) checks once that elements FIRST..FIRST+LEN-1 lie in
// the view V and returns a WSpan addressing the same elements with the same
// 1-based positions; its accesses are plain 8-byte loads and stores through
// std::memcpy (no aliasing of integer and real words), without a test per
// element.  In debug and sanitizer builds every access is still checked,
// against the run the span was made for.
#pragma once

#include <cstring>

#include "frame/workspace.hpp"

namespace orvika {

template <class T>
class WSpan {
 public:
  WSpan(unsigned char* one, IWORD first, IWORD last) : one_(one), first_(first), last_(last) {}

  T operator[](IWORD i) const {
    check(i);
    T v;
    std::memcpy(&v, one_ + static_cast<std::ptrdiff_t>(i - 1) * static_cast<std::ptrdiff_t>(kWordBytes), sizeof v);
    return v;
  }
  void set(IWORD i, T v) const {
    check(i);
    std::memcpy(one_ + static_cast<std::ptrdiff_t>(i - 1) * static_cast<std::ptrdiff_t>(kWordBytes), &v, sizeof v);
  }
  // The bytes of element I, for a kernel that works on the run word by
  // word through std::memcpy (elements I..last lie behind it).
  unsigned char* bytes(IWORD i) const {
    check(i);
    return one_ + static_cast<std::ptrdiff_t>(i - 1) * static_cast<std::ptrdiff_t>(kWordBytes);
  }

 private:
  void check(IWORD i) const {
    if (ORVIKA_WS_CHECKED && (i < first_ || i > last_)) ws_out_of_bounds();
  }
  unsigned char* one_;  // where element 1 would lie
  IWORD first_, last_;
};

// Elements FIRST..FIRST+LEN-1 of V as an unchecked run; a run outside V is
// a programming error of the package and stops as the checked access would.
template <class T>
WSpan<T> span(const WVec<T>& v, IWORD first, IWORD len) {
  if (len < 0 || first < 1 || first - 1 + len > v.size()) ws_out_of_bounds();
  return WSpan<T>(v.bytes(), first, first + len - 1);
}

// The same run addressed from 0: element K of the span is element
// FIRST+K of the view.  For loops written over offsets.
template <class T>
class RawSpan {
 public:
  RawSpan(const WVec<T>& v, IWORD first, IWORD len)
      : s_(len > 0 ? span(v, first, len) : WSpan<T>(v.bytes(), first, first - 1)), first_(first) {}
  T get(IWORD k) const { return s_[first_ + k]; }
  void set(IWORD k, T x) const { s_.set(first_ + k, x); }
  unsigned char* bytes(IWORD k) const { return s_.bytes(first_ + k); }

 private:
  WSpan<T> s_;
  IWORD first_;
};

}  // namespace orvika
