// The library's own clients of ORVK_CONTRL: the call for a client that
// keeps its own options (it holds private copies of the option blocks,
// puts them into the shared blocks around each call and gives the caller's
// values back afterwards, so that the host's own calls of the package
// between two calls of the client and the client's calls never disturb one
// another), and the checked solve shared by the sparse Newton and the
// continuation solvers: a fresh ordering when a kept one no longer serves,
// and tighter pivoting when the residual shows an inaccurate solution.
#pragma once

#include "orvika/orvika_types.h"
#include "orvika/sparselu.h"

namespace orvika {

// A client's private copies of the words of ORVK_SPOPT1-3 that ORVK_CONTRL
// reads and leaves behind: the options, the positions of the input, the
// partition of the last call (which a reuse of the ordering must find
// again) and the entry count of the last call.
struct SparseOptions {
  ORVK_SPOPT1_T opt1{};
  ORVK_SPOPT2_T opt2{};
  ORVK_SPOPT3_T opt3{};
};

// Method M of ORVK_SPOPT2 word 4 when it factors (1, 2, 4, 5, 7); 1 for a
// re-solve with kept factors (3, 6) and for any other value.  A client that
// starts with new matrices must not inherit a re-solve preset.
IWORD sparse_factoring_method(IWORD m);

// Message unit word 10 for the package: kept when 1..999, else UNIT (the
// client's own unit; 0 silences the package).
IWORD sparse_message_unit(IWORD word10, IWORD unit);

// The shared blocks ORVK_SPOPT1-3 as they stand now, as a client's
// starting copies.
SparseOptions sparse_options_from_blocks();

// One call of ORVK_CONTRL on WORK (SPENDE words seen as integers and
// reals) with the client's options O: the shared blocks ORVK_SPOPT1-4 are
// saved, O is put into ORVK_SPOPT1-3 and NRHSMX, NRHS into ORVK_SPOPT4,
// the package runs, what it left in ORVK_SPOPT1-3 (partition, entry count,
// the words it sets) is taken back into O, and the saved blocks are
// restored.  N and NZ as ORVK_CONTRL changes them.  Returns its code.
IWORD sparse_call(SparseOptions& o, double* work, IWORD spende, IWORD& n, IWORD& nz, IWORD nrhsmx,
                  IWORD nrhs);

// True when ORVK_CONTRL, called with the options and input positions of O
// for a new analysis of order N with NZ entries and NRHSMX right-hand
// sides, accepts SPENDE words: the least size of the package, the order
// and separation of the input arrays, and room for its partition.  (Fill
// during the factorisation can still exhaust an accepted work space.)
bool sparse_accepts(const SparseOptions& o, IWORD n, IWORD nz, IWORD nrhsmx, IWORD spende);

// The least work length L >= 1 for which sparse_accepts holds once
// PLACE(L, o.opt2) has set the input positions for L words; -1 when there
// is none below 2^62.  The conditions only relax as L grows (the package's
// minimum is fixed, the partition's room and the gaps between positions
// placed in proportion to L grow), so a bisection finds it.
template <class Place>
IWORD sparse_least_work(SparseOptions o, IWORD n, IWORD nz, IWORD nrhsmx, Place place) {
  auto ok = [&](IWORD len) {
    place(len, o.opt2);
    return sparse_accepts(o, n, nz, nrhsmx, len);
  };
  IWORD hi = 64;
  constexpr IWORD kTop = IWORD{1} << 62;
  while (!ok(hi)) {
    if (hi >= kTop) return -1;
    hi *= 2;
  }
  IWORD lo = 0;  // not accepted (or nothing below HI tried)
  while (hi - lo > 1) {
    const IWORD mid = lo + (hi - lo) / 2;
    if (ok(mid))
      hi = mid;
    else
      lo = mid;
  }
  return hi;
}

// ---- the checked solve -----------------------------------------------------

// Residual ratio |B - A X| / max(|B|, 1e-10) above which a solution counts
// as inaccurate.
inline constexpr double kSparseRatioLimit = 0.01;

// True when a call that reused the kept ordering ended with CODE that a
// fresh ordering may mend: a repaired or warned matrix (> 0; a pattern the
// kept ordering no longer suits) or an ordering the package refused.
bool sparse_fresh_ordering_helps(IWORD code);

// True when the residual ratio RATIO of a solution is above the limit; a
// ratio that is not a number counts as above it when NAN_INACCURATE.
bool sparse_ratio_inaccurate(double ratio, bool nan_inaccurate);

// Tighter pivoting after an inaccurate solution: PIVTL1 <= 1.01e-4 rises
// to at least 1e-3 and PIVTL1 <= 1.01e-3 to at least 0.01, PIVTL2 to at
// least 0.1 in both cases; a larger PIVTL1 leaves both.  True when either
// rose by more than half, so that a fresh ordering under the new
// tolerances is worth another call.
bool sparse_raise_pivot_tolerances(double& pivtl1, double& pivtl2);

// One checked sparse solve for client C, which owns its work space, its
// option words and its messages; REUSE: the first call may keep the last
// ordering.  C provides
//   IWORD place(bool& reuse)   positions and input of one call (REUSE may
//                              be dropped there); nonzero stops the solve
//   IWORD call()               one call of ORVK_CONTRL; its code
//   void fresh()               the next call orders afresh (the client's
//                              own record of it)
//   IWORD failed(IWORD code)   a code < 0: the client's nonzero stop value
//   IWORD residual(double& r)  the residual ratio of the solution; nonzero
//                              stops the solve
//   void report(IWORD attempt) messages of an inaccurate solution
//                              (ATTEMPT = 1 for the first call)
//   ORVK_SPOPT1_T& tolerances() the pivot tolerances it solves with
//   void raised()              after the tolerances were raised
//   IWORD accept()             takes the solution; 0
// A call that reused the ordering and ends with a code a fresh ordering may
// mend is repeated with a fresh one; an inaccurate solution (NAN_INACCURATE
// as in sparse_ratio_inaccurate) is reported, the tolerances raised, and
// the solve repeated with a fresh ordering when they rose by more than half
// (at most twice: the tolerances stop rising at 0.01 and 0.1).  Returns
// the value of the hook that ended it.
template <class Client>
IWORD checked_sparse_solve(Client& c, bool reuse, bool nan_inaccurate) {
  for (IWORD attempt = 1;; ++attempt) {
    if (const IWORD s = c.place(reuse); s != 0) return s;
    const IWORD code = c.call();
    if (reuse && sparse_fresh_ordering_helps(code)) {
      c.fresh();
      reuse = false;
      continue;
    }
    if (code < 0) return c.failed(code);
    double ratio = 0.0;
    if (const IWORD s = c.residual(ratio); s != 0) return s;
    if (sparse_ratio_inaccurate(ratio, nan_inaccurate)) {
      c.report(attempt);
      ORVK_SPOPT1_T& t = c.tolerances();
      const bool rose = sparse_raise_pivot_tolerances(t.PIVTL1, t.PIVTL2);
      c.raised();
      if (rose) {
        c.fresh();
        reuse = false;
        continue;
      }
    }
    return c.accept();
  }
}

}  // namespace orvika
