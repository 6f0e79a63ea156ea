// ORVK_WEGSTN2, ORVK_WEGSTN and ACCTST: the Wegstein accelerator of the
// host's tear streams.
//
// One call takes the point X and the change DX = G(X) - X and returns the
// next point.  On a fixed schedule it alternates plain substitution
// X := X + DX with Wegstein steps X := Q*X + (1 - Q)*G(X), where each
// variable's factor Q = s/(s - 1) comes from the secant slope s of G and is
// bounded to [QMIN, QMAX].  Missing values of DX (equal to RMISVAL) are
// replaced by DXOLD and reported through the host's message service.
//
// Reference: J. H. Wegstein, Accelerating convergence of iterative
// processes, Comm. ACM 1 (1958) 9-13.

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "orvika/host.h"
#include "tearconv/accel.hpp"

namespace orvika {

void ACCTST(IWORD iter, IWORD nw, IWORD ndirect, IWORD& iout, IWORD naccel) {
  // The cycle length and the place in the cycle are formed in 128 bits, where
  // no counts and schedule words overflow; a remainder beyond the IWORD range
  // (only possible when substituting) is reported as the largest IWORD.
  const __int128 cycle = static_cast<__int128>(ndirect) + naccel;
  if (cycle == 0) {  // no cycle to run: substitute
    iout = 1;
    return;
  }
  const __int128 r = (static_cast<__int128>(iter) - nw - 1) % cycle;
  if (iter <= nw) {
    iout = 1;
  } else if (r >= naccel) {
    constexpr IWORD kMax = std::numeric_limits<IWORD>::max();
    iout = r > kMax ? kMax : static_cast<IWORD>(r);
  } else {
    iout = 0;
  }
}

namespace {

constexpr int kListWidth = 64;     // a list line holds at most kListWidth - 1 characters
constexpr int kListIndent = 6;     // leading blanks of every message line
constexpr IWORD kPageLines = 10;   // lines of VLK_ERROUT
constexpr IWORD kHeaderLines = 4;  // heading lines of each page of the list

// Asks the host's message filter about a message of this routine.
IWORD ask_filter(const IWORD* opt) {
  static constexpr IWORD kName[2] = {a4word("WEGS"), a4word("TN2")};
  const IWORD three = 3, msgclass = 1, zero1 = 0, zero2 = 0, two = 2;
  return VLK_IRRCHK(kName, &three, &msgclass, opt, host::imisval_addr(), &zero1, &zero2, &two);
}

// The three-line message for a single missing variable J.
void report_single(IWORD j, const IWORD* opt) {
  if (ask_filter(opt) == 0) return;
  Rec r;
  r.X(kListIndent).A("VALUE IS MISSING FOR VARIABLE ").I(j, 4).A(".");
  host::set_errout(1, r.view());
  r.clear();
  r.X(kListIndent).A("THIS MAY BE CAUSED BY A ZERO-FLOW STREAM.");
  host::set_errout(2, r.view());
  r.clear();
  r.X(kListIndent).A("THE PREVIOUS VALUE OF THE VARIABLE WILL BE USED.");
  host::set_errout(3, r.view());
  const IWORD nlines = 3;
  VLK_ERRPRT(&nlines);
}

// The list of missing variables, kept in a block of the host's pool.
struct MissingList {
  IWORD handle = 0;
  IWORD offset = 0;
  IWORD cap = 0;
  IWORD count = 0;

  IWORD& entry(IWORD k) const { return VLK_PLEX[offset - 1 + k]; }  // k from 0

  // Reserves room for CAP entries; false when the host has no block.
  bool reserve(IWORD n) {
    VLK_ALLOCI(&n, &handle, &offset);
    if (handle == 0) return false;
    if (offset < 1 || n > VLK_PLEX_WORDS || offset > VLK_PLEX_WORDS - n + 1) {
      release();  // a block outside the pool cannot be used
      return false;
    }
    cap = n;
    count = 0;
    return true;
  }

  void release() {
    if (handle != 0) VLK_ATFREE(&handle);
    handle = 0;
  }

  // Appends variable J (increasing order): a run of consecutive variables
  // is kept as its first number followed by the negated last one.
  void add(IWORD j) {
    if (count > 0) {
      IWORD& last = entry(count - 1);
      if (last == -(j - 1)) {
        last = -j;
        return;
      }
      if (last == j - 1) {
        if (count < cap) entry(count++) = -j;
        return;
      }
    }
    if (count < cap) entry(count++) = j;
  }
};

// Appends the host's text for variable K, enclosed in double quotes.
void append_name(Rec& r, IWORD k) {
  char text[VLK_MSGLINE_LEN];
  std::fill(std::begin(text), std::end(text), ' ');
  IWORD len = 0;
  VLK_IAPWRI(&k, text, &len, VLK_MSGLINE_LEN);
  len = std::clamp<IWORD>(len, 0, VLK_MSGLINE_LEN);
  r.A("\"").A(std::string_view(text, static_cast<std::size_t>(len))).A("\"");
}

// Writes the list into pages of VLK_ERROUT: four heading lines and at most
// six list lines each, every page offered to the filter with MSGCTL.
void print_list(const MissingList& list) {
  IWORD nlines = 0;
  Rec line;
  int used = 0;       // characters on the line under construction
  bool open = false;  // a line is under construction
  bool first = true;  // no entry on it yet
  IWORD k = 0;

  auto complete_line = [&]() {
    ++nlines;
    host::set_errout(static_cast<int>(nlines), line.view());
    open = false;
  };
  auto issue_page = [&]() -> bool {
    if (ask_filter(host::msgctl()) == 0) return false;
    VLK_ERRPRT(&nlines);
    nlines = 0;
    return true;
  };

  while (k < list.count) {
    if (nlines == 0) {
      static constexpr std::string_view kHead[kHeaderLines] = {
          "THE VALUES FOR SOME VARIABLES ARE MISSING.",
          "THIS MAY BE CAUSED BY A ZERO-FLOW STREAM.",
          "THE PREVIOUS VALUES OF THE VARIABLES WILL BE USED.",
          "THE MISSING VARIABLES ARE:"};
      for (int h = 0; h < kHeaderLines; ++h) {
        Rec r;
        r.X(kListIndent).A(kHead[h]);
        host::set_errout(h + 1, r.view());
      }
      nlines = kHeaderLines;
    }
    if (!open) {
      line.clear();
      line.X(kListIndent);
      used = kListIndent;
      open = true;
      first = true;
    }

    // The entry's text, with the end of its range when one follows.
    Rec text;
    const IWORD v = list.entry(k);
    IWORD take = 1;
    append_name(text, v);
    if (k + 1 < list.count && list.entry(k + 1) < 0) {
      text.A(" THRU ");
      append_name(text, -list.entry(k + 1));
      take = 2;
    }
    const int sep = first ? 0 : 3;
    const int len = sep + static_cast<int>(text.size());

    if (used + len >= kListWidth) {
      if (!first) {  // the entry opens the next line
        complete_line();
        if (nlines >= kPageLines && !issue_page()) return;
        continue;
      }
      // Too long for any line: alone on its line, cut to fit.
      const int room = kListWidth - 1 - kListIndent;
      line.A(text.view().substr(0, static_cast<std::size_t>(room)));
      used = kListWidth - 1;
    } else {
      if (!first) line.A(",  ");
      line.A(text.view());
      used += len;
    }
    first = false;
    k += take;

    if (k >= list.count) {
      complete_line();
      issue_page();
      return;
    }
  }
}

}  // namespace

}  // namespace orvika

using namespace orvika;

// ORVK_WEGSTN2: one step of the Wegstein accelerator.
//
//  X      (in/out) real(N)  current point; the next point on return
//  XOLD   (in/out) real(N)  in: previous point; out: X at entry
//  N      (in)              number of tear variables (N <= 0: no update)
//  DX     (in/out) real(N)  G(X) - X; missing entries replaced by DXOLD
//  DXOLD  (in/out) real(N)  in: previous DX; out: DX as used
//  KACCEL (out)             1 after an accelerated step past the wait
//  KSTEP  (out)             2 after an accelerated step
//  OPT    (in)     int(6+)  OPT(1) print level (>= 8: one line per variable
//                           on REPUNIT), OPT(6) = 2 cancels the wait while
//                           ITER <= NWAIT; passed to the message filter
//  ITER   (in)              outer iteration number, from 1
//  Q      (in/out) real(N)  acceleration factors
//  QBND   (in)     real(2)  QMAX, QMIN
//  IOPT   (in)     int(4+)  IOPT(2) NWAIT, IOPT(3) NDIRECT, IOPT(4) NACCEL
//  XLOW, XHIGH (in) real(N) bounds: X <= XHIGH; a step below XLOW halves X
//
// No status.  Missing DX values are reported as one message (the last
// variable alone) or as a paged list held in a block of the host's pool,
// released before return.  Cost: O(N).
extern "C" ORVK_API void ORVK_WEGSTN2(double* X, double* XOLD, const IWORD* N, double* DX,
                                      double* DXOLD, IWORD* KACCEL, IWORD* KSTEP, const IWORD* OPT,
                                      const void*, const IWORD* ITER, double* Q, const double* QBND,
                                      const void*, const IWORD* IOPT, const void*,
                                      const double* XLOW, const double* XHIGH) {
  const IWORD n = *N;
  const double rmisval = host::rmisval();
  const double rtiny = host::rtiny();
  Vec1<double> x(X), xold(XOLD), dx(DX), dxold(DXOLD), q(Q);
  Vec1<const double> xlow(XLOW), xhigh(XHIGH);
  Vec1<const IWORD> opt(OPT), iopt(IOPT);

  // 1. Repair missing values of DX and collect the variables to report.
  MissingList list;
  bool asked = false;
  IWORD answer = 0;
  bool listing = false;
  for (IWORD j = 1; j <= n; ++j) {
    if (dx(j) != rmisval) continue;
    dx(j) = dxold(j);
    if (dx(j) == rmisval) continue;
    if (j == n && !listing) {
      report_single(j, OPT);
      continue;
    }
    if (!asked) {
      asked = true;
      answer = ask_filter(OPT);
      if (answer == 1) listing = list.reserve(n - j + 1);
    }
    if (listing) list.add(j);
  }

  // 2. The paged list of missing variables.
  if (listing) {
    print_list(list);
    list.release();
  }

  // 3. Substitution or acceleration in this iteration.
  const IWORD it = *ITER;
  IWORD nw = iopt(2);
  if (opt(6) == 2 && it <= iopt(2)) nw = 0;
  IWORD iout = 0;
  ACCTST(it, nw, iopt(3), iout, iopt(4));

  // 4. Plain substitution.
  if (iout != 0) {
    for (IWORD j = 1; j <= n; ++j) {
      xold(j) = x(j);
      dxold(j) = dx(j);
      x(j) = (x(j) == rmisval) ? dx(j) : x(j) + dx(j);
    }
    return;
  }

  // 5. Factors from the secant slope of G, unless the first step uses the
  //    caller's factors.
  const double qmax = QBND[0];
  const double qmin = QBND[1];
  if (!(nw == 0 && it == 1)) {
    for (IWORD j = 1; j <= n; ++j) {
      const double g = (x(j) == rmisval) ? dx(j) : x(j) + dx(j);
      const double gold = (xold(j) == rmisval) ? dxold(j) : xold(j) + dxold(j);
      const double delta = x(j) - xold(j);
      double qj = 0.9;
      if (std::fabs(delta) >= rtiny && delta != 0.0) {
        const double s = (g - gold) / delta;
        if (std::isinf(s)) {
          qj = 1.0;  // vertical secant: s/(s - 1) tends to 1, inf/inf would be NaN
        } else if (std::fabs(s - 1.0) > rtiny && s != 1.0) {
          qj = s / (s - 1.0);
        }
      }
      qj = std::max(qmin, qj);
      q(j) = std::min(qmax, qj);
    }
  }

  // 6. The Wegstein step, bounded.
  const bool print = opt(1) >= 8;
  const IWORD unit = print ? host::repunit() : 0;
  for (IWORD j = 1; j <= n; ++j) {
    if (x(j) == rmisval && xold(j) == rmisval) {
      xold(j) = rmisval;
      dxold(j) = dx(j);
      x(j) = dx(j);
      continue;
    }
    const double xj = x(j);
    const double d = dx(j);
    xold(j) = xj;
    dxold(j) = d;
    double xnew;
    if (xj < rmisval) {
      xnew = q(j) * xj + (1.0 - q(j)) * (xj + d);
      // The two products of the weighted mean can overflow in opposite
      // directions (a large X with a factor beyond 1 in magnitude, or
      // X + DX past the range with the factor 1) while the point they
      // stand for, X + (1 - Q)*DX, is a number: then it is formed directly.
      if (!std::isfinite(xnew) && std::isfinite(xj) && std::isfinite(d) && std::isfinite(q(j)))
        xnew = xj + (1.0 - q(j)) * d;
    } else {
      xnew = (d < rmisval) ? d : xj;
    }
    // Capped only when above the bound: a change that is not a number (a
    // failed pass) gives a point that is not a number, as a substitution
    // step does, rather than the bound as if it were a result.
    if (xnew > xhigh(j)) xnew = xhigh(j);
    x(j) = (xnew < xlow(j) && xj != rmisval) ? 0.5 * xj : xnew;
    if (print) {
      Rec r;
      r.X(1).A("VARIABLE ").I(j, 3).A(" ,Q= ").G(q(j), 15, 8);
      write_rec(unit, r);
    }
  }

  // 7. Status words.
  if (it > nw) *KACCEL = 1;
  *KSTEP = 2;
}

// ORVK_WEGSTN: the 26-argument tear-block entry; arguments 1-5, 8-13 and
// 21-26 go to ORVK_WEGSTN2 unchanged as its arguments 1-17 (see there);
// 6, 7 and 14-20 are not referenced.  Cost: that of ORVK_WEGSTN2, O(N).
extern "C" ORVK_API void ORVK_WEGSTN(double* X, double* XOLD, const IWORD* N, double* DX,
                                     double* DXOLD, const void*, const void*, IWORD* KACCEL,
                                     IWORD* KSTEP, const IWORD* OPT, const void* UNUSED11,
                                     const IWORD* ITER, double* Q, const void*, const void*,
                                     const void*, const void*, const void*, const void*,
                                     const void*, const double* QBND, const void* UNUSED22,
                                     const IWORD* IOPT, const void* UNUSED24, const double* XLOW,
                                     const double* XHIGH) {
  ORVK_WEGSTN2(X, XOLD, N, DX, DXOLD, KACCEL, KSTEP, OPT, UNUSED11, ITER, Q, QBND, UNUSED22,
               IOPT, UNUSED24, XLOW, XHIGH);
}
