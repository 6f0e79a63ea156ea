// Calls of ORVK_CONTRL for a client that keeps its own options: the client
// holds private copies of the option blocks, puts them into the shared
// blocks around each call and gives the caller's values back afterwards,
// so that the host's own calls of the package between two calls of the
// client (its own partition, its own options) and the client's calls never
// disturb one another.
#pragma once

#include "orvika/orvika_types.h"
#include "orvika/sparselu.h"

namespace orvika {

// Return codes of ORVK_CONTRL as its clients read them.
namespace contrl_code {
inline constexpr IWORD kSuccess = 0;           // > 0: a repaired or warned matrix, solved
inline constexpr IWORD kDataErrorFirst = -1;   // -1 .. -6: errors in the data
inline constexpr IWORD kDataErrorLast = -6;
inline constexpr IWORD kStructSingular = -7;
inline constexpr IWORD kNumSingular = -8;      // below: work space short or badly partitioned
inline constexpr IWORD kFactorsUnusable = -11;
inline constexpr IWORD kOrderingRefused = -12;
inline constexpr IWORD kWorkBelowMinimum = -13;
}  // namespace contrl_code

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

}  // namespace orvika
