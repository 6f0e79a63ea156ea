// The conjugate-gradient iteration for logarithmic row and column scaling
// shared by the scaling routines of the sparse packages (MC19AD, SPSCAL and
// LOGSCL): the row values are found with the column values eliminated, the
// row and column counts acting as preconditioner (A. R. Curtis and J. K.
// Reid, "On the automatic scaling of matrices for Gaussian elimination",
// J. Inst. Maths Applics 10 (1972) 118-124).
#pragma once

#include <cmath>

#include "orvika/orvika_types.h"

namespace orvika {

// Where the callers of the iteration keep their own rules.
struct LogScaleRules {
  // The iteration ends once a weighted sum of squares is at or below SM.
  double sm = 0.0;
  // The starting sum adds r*r*n (true) or n*r*r (false) for each row.
  bool square_first = false;
  // Besides SM, the column half stops on a vanishing 1 - e that is either
  // non-finite itself (kQ) or comes from a non-finite e (kE); kNone: no guard.
  enum class Guard { kNone, kQ, kE } column_guard = Guard::kNone;
  // The row half takes q = 1 unless its sum exceeds SM (true), or takes
  // q = 1 - e unless its sum is at or below SM (false): the two differ on NaN.
  bool q_unless_above = false;
  // The step stops when the divisor of the column direction is 0 or not finite.
  bool guard_direction = false;
  // Row values are scaled back by their counts when the iteration never ran.
  bool rescale_without_iteration = false;
};

/* LOG_SCALE fits ROWLOG(i) + COLLOG(j) to -ln|a(i,j)| in least squares over
 * the entries that take part, at most 100 iterations.
 *   m, n    in    rows and columns
 *   each    in    each(fn) calls fn(i, j, a) for each entry that takes part
 *   r       out   (m) row logarithms; on entry zero
 *   c       out   (n) column logarithms, negated sums; on entry zero
 *   nr, nc  inout (m), (n) counts of the row and column entries (zero on
 *                 entry, real or integer words; empty ones set to 1)
 *   csum    inout (n) column sums, then the column solution; zero on entry
 *   cdir    inout (n) column directions; zero on entry
 *   rmean   out   (m) mean logarithm of each row
 * Views are 1-based; reals and counts are read through v(i).
 * Cost O(number of entries) per iteration. */
template <class Each, class RowV, class ColV, class RowN, class ColN, class ColW, class RowW>
void log_scale(IWORD m, IWORD n, Each&& each, const RowV& r, const ColV& c, const RowN& nr,
               const ColN& nc, const ColW& csum, const ColW& cdir, const RowW& rmean,
               const LogScaleRules& rule) {
  constexpr int kMaxIter = 100;
  const double sm = rule.sm;
  auto count = [](const auto& v, IWORD i) { return static_cast<double>(v(i)); };

  each([&](IWORD i, IWORD j, double a) {
    const double u = std::log(std::fabs(a));
    nr(i) += 1;
    nc(j) += 1;
    r(i) += u;
    csum(j) += u;
  });
  for (IWORD i = 1; i <= m; ++i) {
    if (nr(i) == 0) nr(i) = 1;
    r(i) = r(i) / count(nr, i);
    rmean(i) = r(i);
  }
  for (IWORD j = 1; j <= n; ++j) {
    if (nc(j) == 0) nc(j) = 1;
    csum(j) = csum(j) / count(nc, j);
  }
  each([&](IWORD i, IWORD j, double) { r(i) -= csum(j) / count(nr, i); });
  double s = 0.0;
  if (rule.square_first)
    for (IWORD i = 1; i <= m; ++i) s += r(i) * r(i) * count(nr, i);
  else
    for (IWORD i = 1; i <= m; ++i) s += count(nr, i) * r(i) * r(i);

  // r holds the row values in the scaled form of the column half unless the
  // iteration ends there.
  bool rescale = rule.rescale_without_iteration;
  if (s > sm) {
    rescale = true;
    double e = 0.0, q = 1.0;
    for (int it = 1; it <= kMaxIter; ++it) {
      each([&](IWORD i, IWORD j, double) { c(j) += r(i); });
      double sc = 0.0;
      for (IWORD j = 1; j <= n; ++j) {
        const double v = -c(j) / q;
        c(j) = v / count(nc, j);
        sc += v * c(j);
      }
      double ec = q * sc / s;
      const double qc = 1.0 - ec;
      bool stop = sc <= sm;
      if (rule.column_guard == LogScaleRules::Guard::kQ)
        stop = stop || qc == 0.0 || !std::isfinite(qc);
      else if (rule.column_guard == LogScaleRules::Guard::kE)
        stop = stop || qc == 0.0 || !std::isfinite(ec);
      if (stop) ec = 0.0;
      for (IWORD i = 1; i <= m; ++i) r(i) = r(i) * ec * count(nr, i);
      if (stop) {
        rescale = false;
        break;
      }
      const double em = e * ec;
      each([&](IWORD i, IWORD j, double) { r(i) += c(j); });
      double sr = 0.0;
      for (IWORD i = 1; i <= m; ++i) {
        const double v = -r(i) / qc;
        r(i) = v / count(nr, i);
        sr += v * r(i);
      }
      const double er = qc * sr / sc;
      double qr;
      if (rule.q_unless_above)
        qr = sr > sm ? 1.0 - er : 1.0;
      else
        qr = sr <= sm ? 1.0 : 1.0 - er;
      const double qq = qc * qr;
      if (rule.guard_direction && (qq == 0.0 || !std::isfinite(qq))) break;
      for (IWORD j = 1; j <= n; ++j) {
        cdir(j) = (em * cdir(j) + c(j)) / qq;
        csum(j) += cdir(j);
      }
      if (sr <= sm) break;
      for (IWORD j = 1; j <= n; ++j) c(j) = c(j) * er * count(nc, j);
      e = er;
      q = qr;
      s = sr;
    }
  }
  if (rescale)
    for (IWORD i = 1; i <= m; ++i) r(i) = r(i) * count(nr, i);

  each([&](IWORD i, IWORD j, double) { r(i) += csum(j); });
  for (IWORD i = 1; i <= m; ++i) r(i) = r(i) / count(nr, i) - rmean(i);
  for (IWORD j = 1; j <= n; ++j) c(j) = -csum(j);
}

}  // namespace orvika
