// Formatted output records: the edit descriptors of formatted sequential
// output, written into fixed buffers.
//
// Digits come from the C library's correctly rounded conversions
// (snprintf with %e / %f), which round the exact binary value to nearest
// with ties to even, as the Fortran run-time does in its default mode.
#include "frame/format.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvika {
namespace {

constexpr int kNumBuf = 512;
// Most significant digits (and exponent digits) an E or G field may ask for;
// a field asking for more is asterisks (it could not fit a record anyway).
constexpr int kMaxDigits = kNumBuf - 16;

void fill_stars(char* out, int w) {
  for (int k = 0; k < w; ++k) out[k] = '*';
}

// Right-justifies S (length n) in W columns; asterisks when it does not fit.
int right_justify(char* out, const char* s, int n, int w) {
  if (w <= 0) return 0;
  if (n > w) {
    fill_stars(out, w);
    return w;
  }
  int pad = w - n;
  for (int k = 0; k < pad; ++k) out[k] = ' ';
  std::memcpy(out + pad, s, static_cast<std::size_t>(n));
  return w;
}

// Infinity and NaN in a real field, as the run-time writes them.
int edit_nonfinite(char* out, double v, int w) {
  if (std::isnan(v)) return right_justify(out, "NaN", 3, w);
  if (v > 0) {
    if (w >= 8) return right_justify(out, "Infinity", 8, w);
    return right_justify(out, "Inf", 3, w);
  }
  if (w >= 9) return right_justify(out, "-Infinity", 9, w);
  return right_justify(out, "-Inf", 4, w);
}

// Decimal digits and exponent of |v| rounded to S significant digits
// (1 <= S <= kMaxDigits; DIGITS holds S characters):
// |v| ~ 0.DIGITS x 10^EXP10 (so EXP10 is one more than the %e exponent).
// Returns the number of digits (S), or 0 for a zero value.
int sig_digits(double a, int s, char* digits, int* exp10) {
  if (a == 0.0) {
    for (int k = 0; k < s; ++k) digits[k] = '0';
    *exp10 = 0;
    return 0;
  }
  char buf[kNumBuf];
  std::snprintf(buf, sizeof buf, "%.*e", s - 1, a);
  // buf = "D.DDDDe+XX" (or "De+XX" when s == 1)
  int n = 0;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits[n++] = *p;
  *exp10 = std::atoi(p + 1) + 1;
  return n;
}

// The digits of A rounded to a multiple of 10^M (M >= 1), ties to even,
// without the trailing M zeros ("0" when A rounds to zero), written into
// BUF (kNumBuf characters); returns their number.  The integer part of A
// is an exact integer in binary, so its digits and whether A has a
// fraction decide the rounding exactly.
int round_left_of_point(double a, int m, char* buf) {
  const double ip = std::floor(a);
  char ib[kNumBuf];
  const int ni = std::snprintf(ib, sizeof ib, "%.0f", ip);  // exact: an integer
  const int kept = ni - m;  // digits kept, left of the rounding position
  if (kept < 0) {  // below 10^(M-1): rounds to 0
    buf[0] = '0';
    buf[1] = '\0';
    return 1;
  }
  bool rest = a != ip;  // anything beyond the first dropped digit
  for (int i = kept + 1; i < ni && !rest; ++i) rest = ib[i] != '0';
  const char first = ib[kept];
  const bool odd = kept > 0 && (ib[kept - 1] - '0') % 2 == 1;
  const bool up = first > '5' || (first == '5' && (rest || odd));
  int n = 0;
  for (int i = 0; i < kept; ++i) buf[n++] = ib[i];
  if (up) {
    int i = n - 1;
    while (i >= 0 && buf[i] == '9') buf[i--] = '0';
    if (i >= 0) {
      ++buf[i];
    } else {  // carry out of the leading digit
      std::memmove(buf + 1, buf, static_cast<std::size_t>(n));
      buf[0] = '1';
      ++n;
    }
  }
  if (n == 0) buf[n++] = '0';
  buf[n] = '\0';
  return n;
}

// Appends the exponent part of an E/D field to NUM; false when it does not fit.
bool append_exponent(char* num, int* n, int e10, int expdigits, char letter) {
  int ae = e10 < 0 ? -e10 : e10;
  char sign = e10 < 0 ? '-' : '+';
  if (expdigits > 0) {
    int lim = 1;  // 10^expdigits, or more than any exponent of a double
    for (int k = 0; k < expdigits && lim <= ae; ++k) lim *= 10;
    if (ae >= lim) return false;
    num[(*n)++] = letter;
    num[(*n)++] = sign;
    for (int k = expdigits - 1, q = ae; k >= 0; --k, q /= 10) num[*n + k] = static_cast<char>('0' + q % 10);
    *n += expdigits;
    return true;
  }
  if (ae <= 99) {
    num[(*n)++] = letter;
    num[(*n)++] = sign;
    num[(*n)++] = static_cast<char>('0' + ae / 10);
    num[(*n)++] = static_cast<char>('0' + ae % 10);
    return true;
  }
  if (ae <= 999) {
    num[(*n)++] = sign;
    num[(*n)++] = static_cast<char>('0' + ae / 100);
    num[(*n)++] = static_cast<char>('0' + (ae / 10) % 10);
    num[(*n)++] = static_cast<char>('0' + ae % 10);
    return true;
  }
  return false;
}

}  // namespace

int edit_I(char* out, IWORD v, int w, int m) {
  if (w <= 0) return 0;
  if (m > w || m > kMaxDigits) {  // M digits never fit in fewer columns
    fill_stars(out, w);
    return w;
  }
  std::uint64_t mag = v < 0 ? (~static_cast<std::uint64_t>(v) + 1) : static_cast<std::uint64_t>(v);
  char digits[kNumBuf];
  int nd = 0;
  if (mag == 0) {
    if (m == 0) {  // Iw.0 of zero: all blanks
      for (int k = 0; k < w; ++k) out[k] = ' ';
      return w;
    }
    digits[nd++] = '0';
  }
  while (mag) {
    digits[nd++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  }
  while (m > 0 && nd < m) digits[nd++] = '0';
  char s[kNumBuf + 1];
  int n = 0;
  if (v < 0) s[n++] = '-';
  for (int k = nd - 1; k >= 0; --k) s[n++] = digits[k];
  return right_justify(out, s, n, w);
}

int edit_F(char* out, double v, int w, int d, int scale) {
  if (w <= 0) return 0;
  if (!std::isfinite(v)) return edit_nonfinite(out, v, w);
  if (d < 0) d = 0;
  // The point and D digits need D+1 columns; a number longer than the
  // number buffer holds is asterisks as well.
  if (d >= w || d + 6 >= kNumBuf) {
    fill_stars(out, w);
    return w;
  }
  double a = std::fabs(v);
  // A scale factor k moves the decimal point: the digits of |v| with d+k
  // decimals, shown with d decimals, so the value is rounded only once.
  const long long prec = static_cast<long long>(d) + scale;
  char buf[kNumBuf];
  int len;
  if (prec >= kNumBuf) {  // more digits than the number buffer holds
    fill_stars(out, w);
    return w;
  }
  if (prec >= 0) {
    len = std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(prec), a);
  } else {
    len = round_left_of_point(a, static_cast<int>(-prec < kNumBuf ? -prec : kNumBuf), buf);
  }
  if (len < 0 || len >= kNumBuf - 4 - (scale > 0 ? scale : 0)) {
    fill_stars(out, w);
    return w;
  }
  if (scale != 0) {
    // digits without the point, then the point placed d digits from the end
    char dig[kNumBuf];
    int nd = 0;
    for (int i = 0; i < len; ++i)
      if (buf[i] != '.') dig[nd++] = buf[i];
    int ip = nd - d;  // integer digits
    int start = 0;
    while (start < ip - 1 && dig[start] == '0') ++start;  // strip leading zeros
    len = 0;
    if (ip <= 0) {
      buf[len++] = '0';
    } else {
      for (int i = start; i < ip; ++i) buf[len++] = dig[i];
    }
    if (d > 0) {
      buf[len++] = '.';
      for (int i = 0; i < d; ++i) {
        int src = ip + i;
        buf[len++] = src >= 0 ? dig[src] : '0';
      }
    }
    buf[len] = '\0';
  }
  // buf = "III.DDD" or "III" when d == 0
  char num[kNumBuf];
  int n = 0;
  bool neg = std::signbit(v);
  if (neg) num[n++] = '-';
  int lead_zero_at = -1;
  if (buf[0] == '0' && (buf[1] == '.' || buf[1] == '\0')) lead_zero_at = n;
  std::memcpy(num + n, buf, static_cast<std::size_t>(len));
  n += len;
  if (d == 0) num[n++] = '.';
  // The zero before the point may go when the field is short, but not when
  // it is the only digit (Fw.0): a lone point shows no value.
  if (n > w && lead_zero_at >= 0 && d > 0) {
    std::memmove(num + lead_zero_at, num + lead_zero_at + 1, static_cast<std::size_t>(n - lead_zero_at - 1));
    --n;
  }
  return right_justify(out, num, n, w);
}

int edit_E(char* out, double v, int w, int d, int scale, int expdigits, char letter) {
  if (w <= 0) return 0;
  if (!std::isfinite(v)) return edit_nonfinite(out, v, w);
  if (d < 0) d = 0;
  if (expdigits < 0) expdigits = 0;
  // The point, d digits and an exponent never fit in d or fewer columns;
  // so many digits or exponent digits do not fit the number buffer.
  if (d >= w || d > kMaxDigits || expdigits > kMaxDigits - d) {
    fill_stars(out, w);
    return w;
  }
  // Significant digits: d+1 with a positive scale factor, d+k otherwise.
  const int k = scale;
  int s = (k > 0) ? d + 1 : (k > -d ? d + k : 0);
  if (k > 0 && k >= d + 2) s = 0;  // not representable
  if (s <= 0) {
    fill_stars(out, w);
    return w;
  }
  char digits[kNumBuf];
  int e10 = 0;
  double a = std::fabs(v);
  bool zero = sig_digits(a, s, digits, &e10) == 0;
  int shown_exp = zero ? 0 : e10 - k;
  char num[kNumBuf + 32];
  int n = 0;
  if (std::signbit(v)) num[n++] = '-';
  int lead_zero_at = -1;
  if (k > 0) {
    for (int i = 0; i < k; ++i) num[n++] = digits[i];
    num[n++] = '.';
    for (int i = k; i < s; ++i) num[n++] = digits[i];
  } else {
    lead_zero_at = n;
    num[n++] = '0';
    num[n++] = '.';
    for (int i = 0; i < -k; ++i) num[n++] = '0';
    for (int i = 0; i < s; ++i) num[n++] = digits[i];
  }
  if (!append_exponent(num, &n, shown_exp, expdigits, letter)) {
    fill_stars(out, w);
    return w;
  }
  if (n > w && lead_zero_at >= 0) {
    std::memmove(num + lead_zero_at, num + lead_zero_at + 1, static_cast<std::size_t>(n - lead_zero_at - 1));
    --n;
  }
  return right_justify(out, num, n, w);
}

int edit_G(char* out, double v, int w, int d, int scale) {
  if (w <= 0) return 0;
  if (!std::isfinite(v)) return edit_nonfinite(out, v, w);
  if (d <= 0 || d > kMaxDigits) return edit_E(out, v, w, d, scale, 0, 'E');
  constexpr int nblank = 4;
  double a = std::fabs(v);
  int fd = -1;  // decimals of the fixed form, or -1 for the exponent form
  if (a == 0.0) {
    fd = d - 1;
  } else {
    char digits[kNumBuf];
    int e10 = 0;
    sig_digits(a, d, digits, &e10);  // rounded value lies in [10^(e10-1), 10^e10)
    if (e10 >= 0 && e10 <= d) fd = d - e10;
  }
  if (fd < 0) return edit_E(out, v, w, d, scale, 0, 'E');
  if (w - nblank <= 0) {
    fill_stars(out, w);
    return w;
  }
  edit_F(out, v, w - nblank, fd, 0);
  if (out[0] == '*') {
    fill_stars(out, w);
    return w;
  }
  for (int k = w - nblank; k < w; ++k) out[k] = ' ';
  return w;
}

// ---- Rec -------------------------------------------------------------------

void Rec::put(std::string_view s) {
  if (pos_ > len_) {  // a gap left by T or X: fill with blanks
    std::size_t gap_end = pos_ < kCap ? pos_ : kCap;
    for (std::size_t k = len_; k < gap_end; ++k) buf_[k] = ' ';
    len_ = gap_end;
  }
  for (char c : s) {
    if (pos_ >= kCap) break;
    buf_[pos_++] = c;
  }
  if (pos_ > len_) len_ = pos_;
}

void Rec::blanks(int n) {
  static constexpr char kBlanks[] = "                                                                ";
  // Nothing goes past the record's end: a wider field costs no more.
  if (n > static_cast<int>(kCap)) n = static_cast<int>(kCap);
  while (n > 0) {
    int k = n < 64 ? n : 64;
    put({kBlanks, static_cast<std::size_t>(k)});
    n -= k;
  }
}

namespace {
// Appends a numeric field of width W (at most the record's capacity), edited
// by EDIT(buffer, width).
template <class Edit>
Rec& field(Rec& r, int w, Edit edit) {
  char tmp[Rec::kCap];
  if (w > static_cast<int>(Rec::kCap)) w = static_cast<int>(Rec::kCap);
  const int n = edit(tmp, w);
  return r.A(std::string_view(tmp, static_cast<std::size_t>(n)));
}
}  // namespace

Rec& Rec::I(IWORD v, int w, int m) {
  return field(*this, w, [&](char* out, int ww) { return edit_I(out, v, ww, m); });
}

Rec& Rec::F(double v, int w, int d, int scale) {
  return field(*this, w, [&](char* out, int ww) { return edit_F(out, v, ww, d, scale); });
}

Rec& Rec::E(double v, int w, int d, int scale, int expdigits) {
  return field(*this, w,
               [&](char* out, int ww) { return edit_E(out, v, ww, d, scale, expdigits, 'E'); });
}

Rec& Rec::D(double v, int w, int d, int scale) {
  return field(*this, w, [&](char* out, int ww) { return edit_E(out, v, ww, d, scale, 0, 'D'); });
}

Rec& Rec::G(double v, int w, int d, int scale) {
  return field(*this, w, [&](char* out, int ww) { return edit_G(out, v, ww, d, scale); });
}

Rec& Rec::A(std::string_view s) {
  put(s);
  return *this;
}

Rec& Rec::A(std::string_view s, int w) {
  if (w <= 0) return *this;
  std::size_t uw = static_cast<std::size_t>(w);
  if (s.size() >= uw) {
    put(s.substr(0, uw));
  } else {
    blanks(static_cast<int>(uw - s.size()));
    put(s);
  }
  return *this;
}

Rec& Rec::L(LWORD v, int w) { return Lb((v & 1) != 0, w); }

Rec& Rec::Lb(bool v, int w) {
  if (w <= 0) return *this;
  if (w > 1) blanks(w - 1);
  put(v ? "T" : "F");
  return *this;
}

Rec& Rec::X(int n) {
  if (n > 0) pos_ += static_cast<std::size_t>(n);
  if (pos_ > kCap) pos_ = kCap;
  return *this;
}

Rec& Rec::T(int col) {
  pos_ = col > 1 ? static_cast<std::size_t>(col - 1) : 0;
  if (pos_ > kCap) pos_ = kCap;
  return *this;
}

Rec& Rec::TR(int n) { return X(n); }

Rec& Rec::TL(int n) {
  std::size_t un = n > 0 ? static_cast<std::size_t>(n) : 0;
  pos_ = un >= pos_ ? 0 : pos_ - un;
  return *this;
}

// List-directed output: every item is preceded by one blank, except text
// that follows text; integers take 20 columns, reals 25 (fixed form with 17
// significant digits and 5 trailing blanks for 0.1 <= |x| < 1e17, else
// 1PE25.16E3).
void Rec::list_sep(bool text) {
  if (!(text && last_item_ == 2)) put(" ");
  last_item_ = text ? 2 : 1;
}

Rec& Rec::list_int(IWORD v) {
  list_sep(false);
  I(v, 20);
  return *this;
}

Rec& Rec::list_real(double v) {
  list_sep(false);
  char tmp[64];
  constexpr int w = 25, d = 17;
  double a = std::fabs(v);
  if (!std::isfinite(v)) {
    edit_nonfinite(tmp, v, w);
    put({tmp, static_cast<std::size_t>(w)});
    return *this;
  }
  char digits[64];
  int e10 = 0;
  bool fixed = (a == 0.0);
  if (!fixed) {
    sig_digits(a, d, digits, &e10);
    fixed = (e10 >= 0 && e10 <= d);
  }
  if (fixed) {
    int fd = (a == 0.0) ? d - 1 : d - e10;
    edit_F(tmp, v, w - 5, fd, 0);
    for (int k = w - 5; k < w; ++k) tmp[k] = ' ';
    put({tmp, static_cast<std::size_t>(w)});
  } else {
    edit_E(tmp, v, w, d - 1, 1, 3, 'E');
    put({tmp, static_cast<std::size_t>(w)});
  }
  return *this;
}

Rec& Rec::list_text(std::string_view s) {
  list_sep(true);
  put(s);
  return *this;
}

void Rec::to_text(char* text, std::size_t len) const {
  std::size_t n = len_ < len ? len_ : len;
  std::memcpy(text, buf_, n);
  for (std::size_t k = n; k < len; ++k) text[k] = ' ';
}

// ---- list-directed read ----------------------------------------------------

namespace {

// Splits TEXT into list items; calls FN(item) for each value and stops at
// a slash.  A null item (two commas in a row) is passed as an empty view.
template <class Fn>
int list_items(std::string_view text, int maxn, Fn fn) {
  int count = 0;
  std::size_t i = 0, n = text.size();
  bool want_value = true;  // a comma right after a comma is a null value
  while (i < n && count < maxn) {
    char c = text[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    if (c == '/') break;
    if (c == ',') {
      if (want_value) {
        if (!fn(std::string_view{}, count)) return -1;
        ++count;
      }
      want_value = true;
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < n && text[j] != ' ' && text[j] != '\t' && text[j] != ',' && text[j] != '/') ++j;
    std::string_view item = text.substr(i, j - i);
    // A repeat count R*C stands for R items C (R*: R null values).
    long long repeat = 1;
    const std::size_t star = item.find('*');
    if (star != std::string_view::npos) {
      repeat = 0;
      for (std::size_t k = 0; k < star; ++k) {
        const char d = item[k];
        if (d < '0' || d > '9' || repeat > maxn) return -1;
        repeat = 10 * repeat + (d - '0');
      }
      if (repeat < 1) return -1;
      item.remove_prefix(star + 1);
    }
    for (; repeat > 0 && count < maxn; --repeat) {
      if (!fn(item, count)) return -1;
      ++count;
    }
    i = j;
    // skip blanks and at most one comma as the separator; a comma right
    // after that one stands for a null value
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    want_value = i < n && text[i] == ',';
    if (want_value) ++i;
  }
  return count;
}

bool parse_real(std::string_view item, double* out) {
  // The exponent letter may be E, D or Q, or left out before a signed
  // exponent (1.0+2 is 100); hexadecimal forms are not numbers here.
  char buf[130];
  if (item.size() >= 128) return false;
  std::size_t n = 0;
  bool letter = false;
  for (std::size_t k = 0; k < item.size(); ++k) {
    char c = item[k];
    if (c == 'x' || c == 'X') return false;
    if (c == 'd' || c == 'D' || c == 'q' || c == 'Q' || c == 'e' || c == 'E') {
      c = 'e';
      letter = true;
    } else if ((c == '+' || c == '-') && k > 0 && !letter &&
               ((item[k - 1] >= '0' && item[k - 1] <= '9') || item[k - 1] == '.')) {
      buf[n++] = 'e';
      letter = true;
    }
    buf[n++] = c;
  }
  buf[n] = '\0';
  char* end = nullptr;
  double v = std::strtod(buf, &end);
  if (end == buf || *end != '\0') return false;
  *out = v;
  return true;
}

}  // namespace

int list_read_reals(std::string_view text, double* out, int maxn) {
  return list_items(text, maxn, [&](std::string_view item, int k) {
    if (item.empty()) return true;  // null value: leave as it was
    return parse_real(item, &out[k]);
  });
}

int list_read_ints(std::string_view text, IWORD* out, int maxn) {
  return list_items(text, maxn, [&](std::string_view item, int k) {
    if (item.empty()) return true;
    char buf[64];
    if (item.size() >= sizeof buf) return false;
    std::memcpy(buf, item.data(), item.size());
    buf[item.size()] = '\0';
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(buf, &end, 10);
    // beyond the 64-bit range is an error, not the nearest end of the range
    if (end == buf || *end != '\0' || errno == ERANGE) return false;
    out[k] = static_cast<IWORD>(v);
    return true;
  });
}

}  // namespace orvika
