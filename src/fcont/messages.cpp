// Message output of the continuation solver: the presence test of the
// caller's routines, the line printers, display names and the vector dump.
#include <cstring>

#include "fcont/fcont.hpp"
#include "frame/format.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"

namespace orvika {
namespace {

bool is_gap(char c) { return c == ' ' || c == '\0'; }

// Length of TEXT(1:LEN) less trailing blanks and NULs; LEN itself when <= 0.
int64_t trimmed(const char* text, int64_t len) {
  if (len <= 0) return len;
  const Vec1<const char> TEXT(text, len);
  while (len > 0 && is_gap(TEXT(len))) --len;
  return len;
}

// Word M (1-based) of name I of a stored-names array with K words per name
// (characters (8, K, number of names)).
void name_word(const void* names, IWORD k, IWORD i, IWORD m, char out[8]) {
  if (names == nullptr) {
    std::memset(out, ' ', 8);
    return;
  }
  const Arr3<const char> chars(static_cast<const char*>(names), 8, k);
  std::memcpy(out, &chars(1, m, i), 8);
}

bool word_blank(const char w[8]) {
  for (int c = 0; c < 8; ++c)
    if (w[c] != ' ') return false;
  return true;
}

}  // namespace

IWORD fcont_present(const void* rtn) {
  if (rtn == nullptr) return 0;
  unsigned char b[8];
  std::memcpy(b, rtn, 8);
  for (unsigned char c : b)
    if (c != 0) return 1;
  return 0;
}

void fcont_callmsg(const void* rtn, IWORD unit, IWORD count, const char* text, int64_t textlen) {
  if (fcont_present(rtn) == 0) return;
  auto f = reinterpret_cast<FCONT_MSGRTN>(const_cast<void*>(rtn));
  f(&unit, &count, text, textlen);
}

void fcont_prtline(IWORD unit, const void* msgrtn, IWORD spacing, const char* text, int64_t len) {
  const IWORD before = spacing / 10;
  const IWORD after = spacing - 10 * before;
  const int64_t count = trimmed(text, len);
  if (unit == 0) return;
  if (unit >= 1 && unit <= 100) {
    for (IWORD k = 0; k < before; ++k) write_empty(unit);
    if (count > 0)
      write_rec(unit, std::string_view(text, static_cast<std::size_t>(count)));
    else
      write_empty(unit);
    for (IWORD k = 0; k < after; ++k) write_empty(unit);
    return;
  }
  // Any other unit belongs to the message routine; without one the line is
  // dropped (a unit set by the parameter file is not checked again).
  if (fcont_present(msgrtn) == 0) return;
  for (IWORD k = 0; k < before; ++k) fcont_callmsg(msgrtn, unit, 0, " ", 1);
  fcont_callmsg(msgrtn, unit, count, text, len);
  for (IWORD k = 0; k < after; ++k) fcont_callmsg(msgrtn, unit, 0, " ", 1);
}

void neq_prtline(IWORD unit, const void* msgrtn, IWORD spacing, const char* text) {
  fcont_prtline(unit, msgrtn, spacing, text, fcont::kLineLen);
}

void fcont_prthead(IWORD unit, const void* msgrtn, IWORD spacing, const char* text, int64_t len) {
  const IWORD before = spacing / 10;
  const IWORD after = spacing - 10 * before;
  const Vec1<const char> TEXT(text, len);
  int64_t first = 0, last = 0;
  for (int64_t k = 1; k <= len; ++k) {
    if (!is_gap(TEXT(k))) {  // trailing NULs are not underlined
      if (first == 0) first = k;
      last = k;
    }
  }
  if (first == 0) {
    fcont_prtline(unit, msgrtn, spacing, text, len);
    return;
  }
  fcont_prtline(unit, msgrtn, before * 10, text, len);
  char line[fcont::kLineLen];
  std::memset(line, ' ', sizeof line);
  const int64_t stop = last < fcont::kLineLen ? last : fcont::kLineLen;
  const Vec1<char> LINE(line, fcont::kLineLen);
  for (int64_t k = first; k <= stop; ++k) LINE(k) = '-';
  fcont_prtline(unit, msgrtn, after, line, fcont::kLineLen);
}

void fcont_prtpair(IWORD unit, const void* msgrtn, const char* label, IWORD l1, const char* text,
                   IWORD l2) {
  char line[fcont::kLineLen];
  std::memset(line, ' ', sizeof line);
  IWORD p = 0;
  for (IWORD k = 0; k < l1 && p < fcont::kLineLen; ++k) line[p++] = label[k];
  if (p < fcont::kLineLen && l1 > 0) ++p;  // one blank after the label field
  for (IWORD k = 0; k < l2 && p < fcont::kLineLen; ++k) line[p++] = text[k];
  fcont_prtline(unit, msgrtn, 0, line, fcont::kLineLen);
}

void fcont_dumpvec(IWORD unit, const void* msgrtn, const char* title, IWORD n, const double* v,
                   int64_t titlelen) {
  if (n < 1 || unit == 0) return;
  if (trimmed(title, titlelen) > 0) fcont_prtline(unit, msgrtn, 10, title, titlelen);
  const Vec1<const double> V(v, n);
  char line[fcont::kLineLen];
  // Five values to a line, each line led by the number of its first value.
  value_lines_with(
      n, 5, [](Rec& r, IWORD k) { r.I(k + 1, 6); },
      [&](Rec& r, IWORD k) { r.G(V(k + 1), 14, 6, 1); },
      [&](const Rec& r) {
        r.to_text(line, sizeof line);
        fcont_prtline(unit, msgrtn, 0, line, fcont::kLineLen);
      });
}

void fcont_nameinit(IWORD count, IWORD* desc, const void* names, const void* namrtn) {
  const IWORD mode = desc[0];
  if (mode > 0) {
    IWORD w = 1;
    for (IWORD m = mode; m >= 2 && count >= 1; --m) {
      bool used = false;
      for (IWORD i = 1; i <= count && !used; ++i) {
        char word[8];
        name_word(names, mode, i, m, word);
        used = !word_blank(word);
      }
      if (used) {
        w = m;
        break;
      }
    }
    bool eight = false;
    for (IWORD i = 1; i <= count && !eight; ++i) {
      char word[8];
      name_word(names, mode, i, 1, word);
      eight = !is_gap(word[0]) && !is_gap(word[4]);
    }
    desc[1] = eight ? -w : w;
  } else {
    desc[1] = mode;
  }
  desc[3] = count;
  IWORD longest = 8;
  if (mode != 0 && count >= 1) {
    char text[128];
    for (IWORD i = 1; i <= count; ++i) {
      IWORD len = 0;
      fcont_getname(i, desc, names, namrtn, text, len, sizeof text);
      if (len > longest) longest = len;
    }
  }
  desc[2] = longest;
}

void fcont_getname(IWORD index, const IWORD* desc, const void* names, const void* namrtn,
                   char* text, IWORD& length, int64_t textlen) {
  const IWORD mode = desc[0];
  const IWORD form = desc[1];
  const IWORD count = desc[3];
  char raw[128];
  std::memset(raw, ' ', sizeof raw);
  auto put_index = [&](IWORD v, int at) {
    Rec r;
    r.I(v, 6);
    r.to_text(raw + at, 6);
  };
  if (index > count) {
    std::memcpy(raw, "CONT.", 5);
    put_index(index - count, 5);
  } else if (index < 1) {
    // No stored or routine name exists for such an item: show the index.
    put_index(index, 0);
  } else if (mode > 0 && form != 0) {
    // Words beyond the stored K words of a name are never read.
    const IWORD piece = form > 0 ? 4 : 8;
    IWORD words = form > 0 ? form : -form;
    const IWORD cap = form > 0 ? 32 : 16;
    if (words > cap) words = cap;
    if (words > mode) words = mode;
    for (IWORD m = 1; m <= words; ++m) {
      char word[8];
      name_word(names, mode, index, m, word);
      std::memcpy(raw + (m - 1) * piece, word, static_cast<std::size_t>(piece));
    }
  } else if (mode < 0 && fcont_present(namrtn) != 0) {
    IWORD len = 128;
    auto f = reinterpret_cast<FCONT_NAMRTN>(const_cast<void*>(namrtn));
    f(&index, names, &len, raw, 128);
    if (len < 0) len = 0;
    if (len < 128) std::memset(raw + len, ' ', static_cast<std::size_t>(128 - len));
  } else if (mode <= 0) {
    put_index(index, 0);
  }
  // Join the non-blank pieces with "_", never ending on "_".
  int64_t placed = 0;
  int k = 0;
  bool full = textlen <= 0;
  while (!full && k < 128) {
    while (k < 128 && is_gap(raw[k])) ++k;
    if (k >= 128) break;
    if (placed > 0) {
      if (placed + 2 > textlen) break;
      text[placed++] = '_';
    }
    while (k < 128 && !is_gap(raw[k])) {
      if (placed >= textlen) {
        full = true;
        break;
      }
      text[placed++] = raw[k++];
    }
  }
  for (int64_t c = placed; c < textlen; ++c) text[c] = ' ';
  length = placed;
}

}  // namespace orvika
