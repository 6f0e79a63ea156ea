// Raw spans of work-space words for the hot loops of the column-segment
// methods: a span is checked against its view once, when it is made, and
// its elements are then read and written through std::memcpy on a plain
// byte pointer, so that a loop over it carries no per-element test and
// nothing the compiler must reload after each store.  Everything else keeps
// the checked 1-based views of workspace.hpp.
#pragma once

#include <cstring>

#include "sparselu/workspace.hpp"

namespace orvika {

// Elements FIRST..FIRST+LEN-1 of a view, 0-based inside the span.
template <class T>
class RawSpan {
 public:
  RawSpan(WVec<T> v, IWORD first, IWORD len) {
    if (len > 0 && (first < 1 || first - 1 + len > v.size())) ws_out_of_bounds();
    p_ = v.bytes() + static_cast<std::size_t>(first - 1) * kWordBytes;
  }
  T get(IWORD k) const {
    T x;
    std::memcpy(&x, p_ + static_cast<std::size_t>(k) * kWordBytes, sizeof x);
    return x;
  }
  void set(IWORD k, T x) const { std::memcpy(p_ + static_cast<std::size_t>(k) * kWordBytes, &x, sizeof x); }

 private:
  unsigned char* p_ = nullptr;
};

}  // namespace orvika
