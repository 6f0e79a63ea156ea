// ORVK_NVPRNT: labelled print of a vector on the host's report unit.

#include <string_view>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "orvika/tearconv_newton_method.h"

namespace {

constexpr IWORD kPerLine = 5;  // elements on one line

void put_word(orvika::Rec& r, IWORD w) {
  char c[4];
  orvika::a4chars(w, c);
  r.A(std::string_view(c, 4));
}

}  // namespace

/* ORVK_NVPRNT: prints V(1..N) on the report unit REPUNIT.
 *
 * Layout: an empty line; then 6 blanks, NAME words 1-2 and LABEL words 1-3
 * (four characters each), followed by the groups of elements 1..min(5, N);
 * each further line holds five more groups after 26 blanks.  A group is two
 * blanks, the element number as I3 and the value as G13.5.
 * Arguments, all by address:
 *   V      in  real (N)     the values.
 *   N      in  IWORD        number of values; nothing is printed when N < 1.
 *   NAME   in  IWORD (2)    name words of the calling routine.
 *   LABEL  in  IWORD (3)    name words of the label.
 * Cost: O(N). */
extern "C" ORVK_API void ORVK_NVPRNT(const double* V, const IWORD* N, const IWORD* NAME,
                                     const IWORD* LABEL) {
  const IWORD n = *N;
  if (n < 1) return;
  const IWORD unit = orvika::host::repunit();
  const orvika::Vec1<const double> v(V, n);
  orvika::write_empty(unit);
  // The first line opens with the names, each further one with 26 blanks.
  auto open = [&](orvika::Rec& r, IWORD k) {
    if (k > 0) {
      r.X(26);
      return;
    }
    r.X(6);
    put_word(r, NAME[0]);
    put_word(r, NAME[1]);
    for (int w = 0; w < 3; ++w) put_word(r, LABEL[w]);
  };
  orvika::value_lines_with(
      n, kPerLine, open, [&](orvika::Rec& r, IWORD k) { r.X(2).I(k + 1, 3).G(v(k + 1), 13, 5); },
      [&](const orvika::Rec& r) { orvika::write_rec(unit, r); });
}
