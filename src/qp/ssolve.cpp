// ORVK_SSOLVE: packed symmetric solve by L D L^T without pivoting, with a
// continuation mode that extends a kept factorisation by appended rows.
#include <cmath>
#include <limits>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "qp/qp.hpp"

namespace {

constexpr IWORD kMaxRows = 200;  // capacity of the kept factors

// Factors and forward-substituted vector kept between calls.
struct SsolveState {
  double d[kMaxRows] = {};                          // pivots
  double z[kMaxRows] = {};                          // forward-substituted vector
  double l[kMaxRows * (kMaxRows - 1) / 2] = {};    // multipliers, packed by rows
  IWORD apos = 0;                                   // entries of A consumed
  IWORD lpos = 0;                                   // entries of L filled
  IWORD rows = 0;                                   // rows factorised so far
};
SsolveState g_ss;

}  // namespace

/* ORVK_SSOLVE: solve A x = b for a symmetric A given as its lower triangle
 * packed by rows (element (i,j), j <= i, at i(i-1)/2 + j), by A = L D L^T
 * without pivoting (D diagonal, L unit lower triangular), then forward
 * substitution, diagonal scaling and back substitution.
 *
 *   N       in   IWORD         order, 1 <= N <= 200.
 *   A       in   real (N(N+1)/2)  packed matrix (not changed).
 *   B       in   real (N)      right-hand side.
 *   X       out  real (N)      solution.
 *   IPRINT  in   IWORD         > 2: dumps of L, D, Z and X on unit word 1 of ORVK_NLPINT.
 *
 * Continuation (word 91 of ORVK_NLPINT = 2 on its low 32 bits): only rows
 * word 70 .. word 71 are factorised and forward-substituted; the kept
 * factors and Z of the earlier rows are reused (the caller keeps A's and b's
 * earlier rows unchanged).  Any other mode starts afresh and sets word 70 = 1,
 * word 71 = N.  A continuation whose row range does not follow the kept
 * factorisation (word 70 - 1 rows factorised) or would leave rows up to N
 * unfactorised starts afresh.
 * A zero pivot is passed over: its column's multipliers are 0 and its
 * solution component is formed from 0.
 * N outside 1..200: X(1..N) is set to NaN (nothing else changes).
 * Cost: O(N^3/6) for a fresh factorisation, O(N^2) for the solve. */
extern "C" ORVK_API void ORVK_SSOLVE(const IWORD* N, const double* A, const double* B, double* X,
                                     const IWORD* IPRINT) {
  using orvika::nlpint;
  using orvika::Vec1;
  const IWORD n = *N;
  if (n < 1) return;
  if (n > kMaxRows) {
    for (IWORD i = 0; i < n; ++i) X[i] = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  SsolveState& s = g_ss;
  const IWORD unit = nlpint(ORVK_NLPINT_QPUNIT);
  const bool cont_mode = static_cast<int32_t>(nlpint(ORVK_NLPINT_SSMODE)) == 2;
  IWORD r0 = nlpint(ORVK_NLPINT_ROW1), r1 = nlpint(ORVK_NLPINT_ROW2);
  // A continuation must follow the kept rows and leave all N rows factorised.
  const bool cont = cont_mode && r0 >= 1 && r0 - 1 <= s.rows && r1 <= n &&
                    (r0 > r1 ? s.rows >= n
                             : (r0 - 1 == s.rows && s.apos == r0 * (r0 - 1) / 2 && r1 == n));
  if (!cont) {
    s.apos = 0;
    s.lpos = 0;
    s.rows = 0;
    r0 = 1;
    r1 = n;
    nlpint(ORVK_NLPINT_ROW1) = 1;
    nlpint(ORVK_NLPINT_ROW2) = n;
    for (IWORD i = 0; i < n; ++i) s.d[i] = 0;
  }
  // Multipliers packed by rows: L(i, c), c < i.
  auto L = [&](IWORD i, IWORD c) -> double& { return s.l[(i - 1) * (i - 2) / 2 + c - 1]; };
  const Vec1<double> d(s.d), z(s.z), x(X);
  const Vec1<const double> b(B);

  for (IWORD i = r0; i <= r1; ++i) {
    const Vec1<const double> arow(A + s.apos);  // a_i1 .. a_ii
    for (IWORD c = 1; c < i; ++c) {
      if (d(c) == 0) {
        L(i, c) = 0;
        continue;
      }
      double lic = arow(c) / d(c);
      for (IWORD k = 1; k < c; ++k) lic -= d(k) * L(i, k) * L(c, k) / d(c);
      L(i, c) = lic;
    }
    double di = arow(i);
    for (IWORD k = 1; k < i; ++k) di -= d(k) * L(i, k) * L(i, k);
    d(i) = di;
    s.apos += i;
    s.lpos += i - 1;
    s.rows = i;
  }
  const IWORD ip = *IPRINT;
  if (ip > 2) {
    orvika::qp_detail::dump_r(unit, n * (n - 1) / 2, 0, s.l, "L         ");
    orvika::qp_detail::dump_r(unit, n, 0, s.d, "D         ");
  }

  if (!cont) {
    for (IWORD i = 0; i < n; ++i) s.z[i] = 0;
  } else {
    for (IWORD i = r0; i <= r1; ++i) z(i) = 0;
  }
  for (IWORD i = nlpint(ORVK_NLPINT_ROW1); i <= nlpint(ORVK_NLPINT_ROW2); ++i) {
    double sum = 0;
    for (IWORD k = 1; k < i; ++k) sum += L(i, k) * z(k);
    z(i) = (z(i) - sum) + b(i);
  }
  if (ip > 2) orvika::qp_detail::dump_r(unit, n, 0, s.z, "Z         ");

  for (IWORD k = n; k >= 1; --k) {
    double xk = d(k) != 0 ? z(k) / d(k) : 0.0;
    for (IWORD j = k + 1; j <= n; ++j) xk -= L(j, k) * x(j);
    x(k) = xk;
  }
  if (ip > 2) orvika::qp_detail::dump_r(unit, n, 0, X, "X         ");
}
