// The library's one work-space word type: a caller's array seen as 64-bit
// integers and as 64-bit reals.
//
// A caller hands one array of words (the sparse LU package's SPENDE words, a
// solver's integer-and-real work vector, a saved-state block); each routine
// sees parts of it as IWORDs and other parts (or the same words at another
// time) as doubles.
// Every word is read and written through std::memcpy on its bytes, so no
// integer or real lvalue ever aliases the other type.  Positions are 1-based
// word positions: with 8-byte integers and reals an integer position and a
// real position of the same value address the same word.
//
// WVec<T> is a 1-based view of consecutive words seen as T; v(i) yields a
// small reference object that loads on conversion and stores on assignment,
// so stage code reads as array code (v(i) = x; v(i) += 1; double y = a(k)).
// In debug and sanitizer builds every access is checked against the view's
// length, which by default runs to the end of the work space.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "orvika/orvika_types.h"

#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(ORVIKA_WS_CHECK)
#define ORVIKA_WS_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVIKA_WS_CHECKED 1
#endif
#endif
#ifndef ORVIKA_WS_CHECKED
#define ORVIKA_WS_CHECKED 0
#endif

namespace orvika {

// A word of the work space is 8 bytes whichever way it is seen.
inline constexpr std::size_t kWordBytes = 8;
static_assert(sizeof(IWORD) == kWordBytes && sizeof(double) == kWordBytes);

// An access outside a view: a programming error of the library, never a
// consequence of caller input (routines check their room first).
[[noreturn]] inline void ws_out_of_bounds() { __builtin_trap(); }

// One word seen as T (IWORD or double).
template <class T>
class WRef {
  static_assert(std::is_same_v<T, IWORD> || std::is_same_v<T, double>);

 public:
  explicit WRef(unsigned char* p) : p_(p) {}
  WRef(const WRef&) = default;

  T get() const {
    T v;
    std::memcpy(&v, p_, sizeof v);
    return v;
  }
  void set(T v) const { std::memcpy(p_, &v, sizeof v); }

  operator T() const { return get(); }
  WRef& operator=(T v) {
    set(v);
    return *this;
  }
  WRef& operator=(const WRef& o) {
    set(o.get());
    return *this;
  }
  WRef& operator+=(T v) { set(get() + v); return *this; }
  WRef& operator-=(T v) { set(get() - v); return *this; }
  WRef& operator*=(T v) { set(get() * v); return *this; }
  WRef& operator/=(T v) { set(get() / v); return *this; }
  WRef& operator++() { set(get() + 1); return *this; }
  WRef& operator--() { set(get() - 1); return *this; }
  T operator++(int) { T v = get(); set(v + 1); return v; }
  T operator--(int) { T v = get(); set(v - 1); return v; }

 private:
  unsigned char* p_;
};

// 1-based view of N consecutive words seen as T.
template <class T>
class WVec {
 public:
  WVec() = default;
  // Words BASE[0..N-1] (bytes of the work space).
  WVec(unsigned char* base, IWORD n) : base_(base), n_(n) {}
  // A plain array of N elements of T (tests, callers with typed arrays).
  WVec(T* p, IWORD n) : base_(reinterpret_cast<unsigned char*>(p)), n_(n) {}
  // A caller's read-only array of N elements of T: the view is only read.
  WVec(const T* p, IWORD n)
      : base_(reinterpret_cast<unsigned char*>(const_cast<T*>(p))), n_(n) {}

  WRef<T> operator()(IWORD i) const {
    check(i);
    return WRef<T>(base_ + static_cast<std::size_t>(i - 1) * kWordBytes);
  }
  T get(IWORD i) const { return (*this)(i).get(); }
  void set(IWORD i, T v) const { (*this)(i).set(v); }

  // Number of words the view may touch.
  IWORD size() const { return n_; }
  bool empty() const { return base_ == nullptr; }

  // The view of elements FIRST..FIRST+LEN-1 (LEN < 0: up to the end).
  WVec sub(IWORD first, IWORD len = -1) const {
    if (len < 0) len = n_ - first + 1;
    if (ORVIKA_WS_CHECKED && (first < 1 || len < 0 || first - 1 + len > n_)) ws_out_of_bounds();
    return WVec(base_ + static_cast<std::size_t>(first - 1) * kWordBytes, len);
  }
  // The same words seen as U.
  template <class U>
  WVec<U> as() const { return WVec<U>(base_, n_); }

  // Copies LEN elements from position FROM to position TO, in the direction
  // that never overwrites an element not yet copied.
  void move(IWORD from, IWORD to, IWORD len) const {
    if (len <= 0 || from == to) return;
    check(from);
    check(from + len - 1);
    check(to);
    check(to + len - 1);
    std::memmove(base_ + static_cast<std::size_t>(to - 1) * kWordBytes,
                 base_ + static_cast<std::size_t>(from - 1) * kWordBytes,
                 static_cast<std::size_t>(len) * kWordBytes);
  }
  // Sets elements FIRST..FIRST+LEN-1 to V.
  void fill(IWORD first, IWORD len, T v) const {
    for (IWORD i = first; i < first + len; ++i) set(i, v);
  }

  unsigned char* bytes() const { return base_; }

 private:
  void check(IWORD i) const {
    if (ORVIKA_WS_CHECKED && (i < 1 || i > n_)) ws_out_of_bounds();
  }
  unsigned char* base_ = nullptr;
  IWORD n_ = 0;
};

using IV = WVec<IWORD>;
using RV = WVec<double>;

// The caller's work array of WORDS words (integer and real positions alike).
class WorkSpace {
 public:
  WorkSpace() = default;
  WorkSpace(void* base, IWORD words) : base_(static_cast<unsigned char*>(base)), n_(words) {}

  IWORD words() const { return n_; }

  IWORD geti(IWORD p) const { return ivec(1)(p); }
  void seti(IWORD p, IWORD v) const { ivec(1)(p) = v; }
  double getr(IWORD q) const { return rvec(1)(q); }
  void setr(IWORD q, double v) const { rvec(1)(q) = v; }

  // True when words P..P+LEN-1 lie inside the work space.
  bool holds(IWORD p, IWORD len) const { return p >= 1 && len >= 0 && p - 1 + len <= n_; }

  // Integer sub-array starting at integer position P, LEN words (LEN < 0:
  // up to the end of the work space).
  IV ivec(IWORD p, IWORD len = -1) const { return view<IWORD>(p, len); }
  // Real sub-array starting at real position Q.
  RV rvec(IWORD q, IWORD len = -1) const { return view<double>(q, len); }

 private:
  template <class T>
  WVec<T> view(IWORD p, IWORD len) const {
    if (len < 0) len = n_ - p + 1;
    if (ORVIKA_WS_CHECKED && !holds(p, len)) ws_out_of_bounds();
    return WVec<T>(base_ + static_cast<std::size_t>(p - 1) * kWordBytes, len);
  }
  unsigned char* base_ = nullptr;
  IWORD n_ = 0;
};

}  // namespace orvika
