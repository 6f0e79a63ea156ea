// 1-based views over caller arrays.
//
// The library's routines index their arguments from 1, as their callers
// do.  A view is a pointer and nothing more (plus an optional length used
// only by debug assertions); it never owns memory.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstddef>
#include <cstring>

#include "orvika/orvika_types.h"

namespace orvika {

// Vector view: v(i) is p[i-1].
template <class T>
struct Vec1 {
  T* p = nullptr;
  IWORD n = -1;  // known length, or -1 when the caller gave none
  Vec1() = default;
  Vec1(T* ptr, IWORD len = -1) : p(ptr), n(len) {}
  T& operator()(IWORD i) const {
    assert(i >= 1 && (n < 0 || i <= n));
    return p[i - 1];
  }
  T* at(IWORD i) const { return p + (i - 1); }  // address of element i
};

// Column-major matrix view with leading dimension ld: a(i,j) = p[(i-1)+(j-1)*ld].
template <class T>
struct Mat1 {
  T* p = nullptr;
  IWORD ld = 0;
  Mat1() = default;
  Mat1(T* ptr, IWORD lda) : p(ptr), ld(lda) {}
  T& operator()(IWORD i, IWORD j) const {
    assert(i >= 1 && j >= 1);
    return p[(i - 1) + (j - 1) * ld];
  }
  T* col(IWORD j) const { return p + (j - 1) * ld; }  // address of a(1,j)
};

// Column-major 3-D array view with leading dimensions ld1 and ld2:
// a(i,j,k) = p[(i-1) + (j-1)*ld1 + (k-1)*ld1*ld2].
template <class T>
struct Arr3 {
  T* p = nullptr;
  IWORD ld1 = 0, ld2 = 0;
  Arr3() = default;
  Arr3(T* ptr, IWORD d1, IWORD d2) : p(ptr), ld1(d1), ld2(d2) {}
  T& operator()(IWORD i, IWORD j, IWORD k) const {
    assert(i >= 1 && j >= 1 && k >= 1);
    return p[(i - 1) + (j - 1) * ld1 + (k - 1) * ld1 * ld2];
  }
  // The 2-D section a(:,:,k).
  Mat1<T> slice(IWORD k) const { return Mat1<T>(p + (k - 1) * ld1 * ld2, ld1); }
};

template <class T>
Vec1<T> vec1(T* p, IWORD n = -1) { return Vec1<T>(p, n); }
template <class T>
Mat1<T> mat1(T* p, IWORD ld) { return Mat1<T>(p, ld); }
template <class T>
Arr3<T> arr3(T* p, IWORD ld1, IWORD ld2) { return Arr3<T>(p, ld1, ld2); }

// Logical words: true is -1, tested on the lowest bit.
inline bool is_true(LWORD v) { return (v & 1) != 0; }
inline LWORD lword(bool b) { return b ? ORVK_TRUE : ORVK_FALSE; }

// V + 1 for a count word, held at the largest IWORD instead of overflowing.
inline IWORD plus_one(IWORD v) {
  IWORD r = v;
  return __builtin_add_overflow(v, 1, &r) ? v : r;
}

// A4WORD name words: four characters left-justified and blank-padded in a
// 64-bit word (the upper four bytes blank as well).
template <std::size_t N>
constexpr IWORD a4word(const char (&s)[N]) {
  static_assert(N <= 5, "a name word holds four characters");
  std::uint64_t w = 0;
  for (int k = 7; k >= 0; --k) {
    char c = (k < 4 && static_cast<std::size_t>(k) < N - 1) ? s[k] : ' ';
    if (c == '\0') c = ' ';
    w = (w << 8) | static_cast<unsigned char>(c);
  }
  return static_cast<IWORD>(w);
}
// First four characters of a name word.
inline void a4chars(IWORD w, char out[4]) {
  std::uint64_t u = static_cast<std::uint64_t>(w);
  for (int k = 0; k < 4; ++k) out[k] = static_cast<char>((u >> (8 * k)) & 0xFF);
}

}  // namespace orvika
