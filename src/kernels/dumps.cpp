// Labelled dumps, the matrix print and work-space checks.
//
// A dump writes an empty line, the label line (two blanks and the label),
// then its values as one stream: a new line starts whenever a line holds its
// maximum number of items.  With nothing to print the value part is one
// empty line.
#include "kernels/dumps.hpp"

#include <cmath>
#include <limits>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"

namespace orvika {
namespace {

std::string_view text(const char* s, int64_t len) {
  return {s, len > 0 ? static_cast<std::size_t>(len) : 0};
}

void label_line(IWORD unit, std::string_view label, bool empty_first = true, char lead = ' ') {
  if (empty_first) write_empty(unit);
  Rec r;
  if (lead == ' ')
    r.X(2).A(label);
  else
    r.A(std::string_view(&lead, 1)).X(1).A(label);
  write_rec(unit, r);
}

// E-real field: 1PD13.5.
inline void ereal(Rec& r, double v) { r.D(v, 13, 5, 1); }
// Z-pair field: 3 blanks, real part, a comma, imaginary part.
inline void zpair(Rec& r, const double* z) {
  r.X(3);
  ereal(r, z[0]);
  r.A(",");
  ereal(r, z[1]);
}

// A real printed in a 5-column integer field: truncated toward zero;
// asterisks when it is not finite or does not fit.
inline void real_as_i5(Rec& r, double v) {
  if (!std::isfinite(v) || std::fabs(v) >= 1e5) {
    r.A("*****");
    return;
  }
  r.I(static_cast<IWORD>(v), 5);
}

// Element (i, j) of a real (STRIDE 1) or complex (STRIDE 2) array with
// leading dimension LDA counted in elements.
inline const double* elem(const double* a, IWORD lda, IWORD i, IWORD j, int stride) {
  return a + stride * ((i - 1) + (j - 1) * lda);
}

// The section A(IOFF+i, JOFF+j), i = 1..M, j = 1..N, as one stream of
// value lines: row by row, or column by column when BY_COLUMNS.  ITEM(rec,
// address of the element) appends one value.
template <class Item>
void section_lines(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff,
                   const double* a, int stride, bool by_columns, int per_line, int lead,
                   Item item) {
  const IWORD count = (m > 0 && n > 0) ? m * n : 0;
  value_lines(unit, count, per_line, lead, [&](Rec& r, IWORD k) {
    const IWORD i = by_columns ? k % m : k / n;
    const IWORD j = by_columns ? k / m : k % n;
    item(r, elem(a, lda, ioff + 1 + i, joff + 1 + j, stride));
  });
}

}  // namespace

void LENCHK(IWORD unit, IWORD avail, IWORD requested, std::string_view label, IWORD& ierr) {
  if (avail >= requested) return;
  write_empty(unit);
  write_rec(unit, Rec().X(2).A("Warning: Length of").X(5).A(label).A("is Exceeded"));
  write_rec(unit, Rec().X(2).A("Available: ").I(avail, 11).A(" Requested: ").I(requested, 11));
  ierr = 1;
}

void STGCHK(IWORD n, IWORD& iavail) {
  iavail -= n;
  if (iavail >= 0) return;
  const IWORD unit = host::repunit();
  write_empty(unit);
  write_empty(unit);
  write_rec(unit, Rec().X(4).A("*** WARNING: INSUFFICIENT STORAGE ***"));
}

void PTRADV(IWORD n, IWORD& iptr) { iptr += n; }

void VLDUMP(IWORD unit, IWORD n, IWORD ioff, const LWORD* lv, std::string_view label) {
  label_line(unit, label);
  value_lines(unit, n, 15, 5, [&](Rec& r, IWORD k) { r.L(lv[ioff + k], 3); });
}

void MRDUMP(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label) {
  label_line(unit, label);
  section_lines(unit, lda, m, ioff, n, joff, a, 1, false, 5, 3,
                [](Rec& r, const double* v) { ereal(r, *v); });
}

void MIDUMP(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label) {
  label_line(unit, label);
  section_lines(unit, lda, m, ioff, n, joff, a, 1, false, 1, 3,
                [](Rec& r, const double* v) { real_as_i5(r, *v); });
}

void VCDUMP(IWORD unit, IWORD n, IWORD ioff, const double* cv, std::string_view label) {
  label_line(unit, label);
  value_lines(unit, n, 2, 0, [&](Rec& r, IWORD k) { zpair(r, cv + 2 * (ioff + k)); });
}

void SCDUMP(IWORD unit, const double* z, std::string_view label) {
  label_line(unit, label);
  value_lines(unit, 1, 1, 0, [&](Rec& r, IWORD) { zpair(r, z); });
}

void MCDUMP(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label) {
  label_line(unit, label);
  section_lines(unit, lda, m, ioff, n, joff, a, 2, false, 2, 0, zpair);
}

void MCPRNT(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label) {
  write_rec(unit, Rec().A("0").X(1).A(label));
  section_lines(unit, lda, m, ioff, n, joff, a, 2, true, 2, 0, zpair);
}

}  // namespace orvika

using orvika::Rec;

extern "C" {

/* ORVK_VRDUMP: labelled dump of a real vector segment.
 *   IOUT   in  IWORD       output unit (low 32 bits)
 *   N      in  IWORD       number of values; N <= 0 prints one empty value line
 *   IOFF   in  IWORD       offset: the values are V(IOFF+1..IOFF+N)
 *   V      in  real        the vector
 *   LABEL  in  text        printed in its full length after 2 blanks
 * Writes an empty line, the label line, then lines of 3 blanks and up to 5
 * fields 1PD13.5.  Cost: O(N). */
ORVK_API void ORVK_VRDUMP(const IWORD* IOUT, const IWORD* N, const IWORD* IOFF, const double* V,
                          const char* LABEL, int64_t LABEL_LEN) {
  orvika::label_line(*IOUT, orvika::text(LABEL, LABEL_LEN));
  orvika::value_lines(*IOUT, *N, 5, 3, [&](Rec& r, IWORD k) { orvika::ereal(r, V[*IOFF + k]); });
}

/* ORVK_SRDUMP: labelled dump of one real RVAL (in), as ORVK_VRDUMP with N = 1.
 *   IOUT in IWORD; RVAL in real; LABEL in text.  Cost: O(1). */
ORVK_API void ORVK_SRDUMP(const IWORD* IOUT, const double* RVAL, const char* LABEL,
                          int64_t LABEL_LEN) {
  orvika::label_line(*IOUT, orvika::text(LABEL, LABEL_LEN));
  orvika::value_lines(*IOUT, 1, 1, 3, [&](Rec& r, IWORD) { orvika::ereal(r, *RVAL); });
}

/* ORVK_VIDUMP: labelled dump of an integer vector segment.
 *   IOUT   in  IWORD       output unit (low 32 bits)
 *   N      in  IWORD       number of values; N <= 0 prints one empty value line
 *   IOFF   in  IWORD       offset: the values are IV(IOFF+1..IOFF+N)
 *   IV     in  IWORD       the vector
 *   LABEL  in  text        printed in its full length after 2 blanks
 * Value lines: 3 blanks and up to 12 fields I5.  Cost: O(N). */
ORVK_API void ORVK_VIDUMP(const IWORD* IOUT, const IWORD* N, const IWORD* IOFF, const IWORD* IV,
                          const char* LABEL, int64_t LABEL_LEN) {
  orvika::label_line(*IOUT, orvika::text(LABEL, LABEL_LEN));
  orvika::value_lines(*IOUT, *N, 12, 3, [&](Rec& r, IWORD k) { r.I(IV[*IOFF + k], 5); });
}

/* ORVK_SIDUMP: labelled dump of one integer IVAL (in), as ORVK_VIDUMP with
 * N = 1.  IOUT in IWORD; IVAL in IWORD; LABEL in text.  Cost: O(1). */
ORVK_API void ORVK_SIDUMP(const IWORD* IOUT, const IWORD* IVAL, const char* LABEL,
                          int64_t LABEL_LEN) {
  orvika::label_line(*IOUT, orvika::text(LABEL, LABEL_LEN));
  orvika::value_lines(*IOUT, 1, 1, 3, [&](Rec& r, IWORD) { r.I(*IVAL, 5); });
}

/* ORVK_SIZEPR: report of a work-array length.
 *   IOUT   in  IWORD  output unit (low 32 bits)
 *   N      in  IWORD  the length, printed as I9
 *   LABEL  in  text   name of the array, printed in its full length
 * Writes an empty line, then "  SIZE OF VECTOR     <LABEL>IS     <N>".
 * Cost: O(1). */
ORVK_API void ORVK_SIZEPR(const IWORD* IOUT, const IWORD* N, const char* LABEL,
                          int64_t LABEL_LEN) {
  orvika::write_empty(*IOUT);
  orvika::write_rec(*IOUT, Rec()
                               .X(2)
                               .A("SIZE OF VECTOR")
                               .X(5)
                               .A(orvika::text(LABEL, LABEL_LEN))
                               .A("IS")
                               .X(5)
                               .I(*N, 9));
}

/* ORVK_NAPRNT: prints a matrix on the host's report unit REPUNIT.
 *   A      in  real(LDA,*)  the array; the line of second subscript i holds
 *                           A(j,i) for the first subscripts j of a block
 *   LDA    in  IWORD        leading dimension of A
 *   M      in  IWORD        number of lines per block (second subscript)
 *   N      in  IWORD        number of values per line, in blocks of 10
 *   NAME   in  IWORD(2)     name words of the caller (4 characters each)
 *   TITLE  in  IWORD(3)     title words
 * Writes an empty line and the title line announcing ceil(N/10)*(M+2) + 1
 * lines; then, for each block of up to 10 first subscripts, an empty line,
 * the header of subscript numbers (I2) and one line per second subscript
 * (6 blanks, I3, values as G12.5).  Cost: O(M*N). */
ORVK_API void ORVK_NAPRNT(const double* A, const IWORD* LDA, const IWORD* M, const IWORD* N,
                          const IWORD* NAME, const IWORD* TITLE) {
  const IWORD unit = orvika::host::repunit();
  const IWORD nn = *N, mm = *M, ld = *LDA;
  IWORD q = nn / 10;
  if (nn % 10 != 0) ++q;
  // The announced count q*(M+2) + 1, formed wide enough for any M and N; a
  // count outside the IWORD range is held at the bound, which the I6 field
  // shows as asterisks like every other count too wide for it.
  constexpr IWORD kMax = std::numeric_limits<IWORD>::max();
  constexpr IWORD kMin = std::numeric_limits<IWORD>::min();
  const __int128 count = static_cast<__int128>(q) * (static_cast<__int128>(mm) + 2) + 1;
  const IWORD lines = count > kMax ? kMax : count < kMin ? kMin : static_cast<IWORD>(count);
  char w[4];
  Rec r;
  r.X(6);
  for (int k = 0; k < 2; ++k) {
    orvika::a4chars(NAME[k], w);
    r.A(std::string_view(w, 4));
  }
  r.X(5);
  for (int k = 0; k < 3; ++k) {
    orvika::a4chars(TITLE[k], w);
    r.A(std::string_view(w, 4));
  }
  r.X(5).I(lines, 6).A(" LINES");
  orvika::write_empty(unit);
  orvika::write_rec(unit, r);
  if (nn < 1) return;
  const orvika::Mat1<const double> a(A, ld);
  for (IWORD j0 = 1; j0 <= nn; j0 += 10) {
    const IWORD j1 = j0 + 9 < nn ? j0 + 9 : nn;
    orvika::write_empty(unit);
    r.clear();
    r.X(13).I(j0, 2);
    for (IWORD j = j0 + 1; j <= j1; ++j) r.X(10).I(j, 2);
    orvika::write_rec(unit, r);
    for (IWORD i = 1; i <= mm; ++i) {
      r.clear();
      r.X(6).I(i, 3);
      for (IWORD j = j0; j <= j1; ++j) r.G(a(j, i), 12, 5);
      orvika::write_rec(unit, r);
    }
  }
}

}  // extern "C"
