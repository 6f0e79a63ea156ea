// RCSCAL: row and column scale factors of the sparse Newton solvers.
#include <algorithm>
#include <cmath>

#include "frame/views.hpp"
#include "nsolve/nsolve.hpp"

namespace orvika {

namespace {

constexpr double kFacMin = 1e-35, kFacMax = 1e35;

// A factor inside [1e-35, 1e35]; one that is not a number becomes 1.
double clamp_factor(double s) {
  if (std::isnan(s)) return 1.0;
  return std::clamp(s, kFacMin, kFacMax);
}

// One side's exponents fitted with the other side's factors held fixed: with
// caller-given row factors RS the column exponent C_j makes the mean of
// ln|a_ij| - ln RS_i + C_j over the nonzero entries of column j vanish (the
// least-squares fit of that side alone); with caller-given column factors CS
// the row exponent R_i does the same for ln|a_ij| + ln CS_j + R_i over row i.
// FIT receives the exponents (0 for a line without nonzero entries); COUNT
// (the fitted side's length) is work.
void fit_one_side(IWORD M, IWORD N, IWORD NZ, bool coord, const IWORD* IRN, const IWORD* ICN,
                  const double* BJ, bool rows_given, const double* GIVEN, double* FIT,
                  double* COUNT) {
  const IWORD len = rows_given ? N : M;
  const Vec1<const double> given(GIVEN, rows_given ? M : N);
  const Vec1<double> fit(FIT, len), count(COUNT, len);
  for (IWORD k = 1; k <= len; ++k) fit(k) = count(k) = 0.0;
  auto add = [&](IWORD i, IWORD j, double v) {
    if (!(std::fabs(v) > 0.0)) return;
    const double u = std::log(std::fabs(v));
    if (rows_given) {
      fit(j) += u - std::log(given(i));
      count(j) += 1.0;
    } else {
      fit(i) += u + std::log(given(j));
      count(i) += 1.0;
    }
  };
  if (coord) {
    const Vec1<const IWORD> irn(IRN, NZ), icn(ICN, NZ);
    const Vec1<const double> bj(BJ, NZ);
    for (IWORD k = 1; k <= NZ; ++k) {
      const IWORD i = irn(k), j = icn(k);
      if (i >= 1 && i <= M && j >= 1 && j <= N) add(i, j, bj(k));
    }
  } else {
    const Mat1<const double> bj(BJ, M);
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= M; ++i) add(i, j, bj(i, j));
  }
  for (IWORD k = 1; k <= len; ++k) fit(k) = count(k) > 0.0 ? -fit(k) / count(k) : 0.0;
}

}  // namespace

void RCSCAL(IWORD M, IWORD N, IWORD NZ, IWORD IRSCL, IWORD ICSCL, IWORD ISTOR, IWORD NEQ,
            const IWORD* EQMAP, IWORD NVAR, const IWORD* VARMAP, const IWORD* TERMPTR,
            const IWORD* /*ISPARE*/, const IWORD* FACPTR, const IWORD* FACVAR,
            const double* FACEXP, const double* /*F*/, const double* X, const IWORD* IRN,
            const IWORD* ICN, const double* BJ, double* RSCALE, double* CSCALE, double* WORK) {
  if (IRSCL == 0 && ICSCL == 0) return;
  const Vec1<double> rscale(RSCALE, M), cscale(CSCALE, N);
  const Vec1<const double> x(X, N);
  const Vec1<const IWORD> eqmap(EQMAP, M), varmap(VARMAP, N);
  // WORK of the structural factors: the variable sizes (largest |x|, largest
  // x) and the equation sizes.
  const IWORD nv = std::max<IWORD>(NVAR, 0);
  const Vec1<double> vabs(WORK, nv), vmax(WORK + nv, nv), esize(WORK + 2 * nv, NEQ);
  // 1. Logarithmic least squares: raw exponents into RSCALE and CSCALE.  A
  // side given by the caller (mode 3) is never overwritten: it is brought
  // into the range of factors first, and the other side is fitted to it.
  if (IRSCL == 3 && ICSCL == 2) {
    for (IWORD i = 1; i <= M; ++i) rscale(i) = clamp_factor(rscale(i));
    fit_one_side(M, N, NZ, ISTOR == 1, IRN, ICN, BJ, true, RSCALE, CSCALE, WORK);
  } else if (IRSCL == 2 && ICSCL == 3) {
    for (IWORD j = 1; j <= N; ++j) cscale(j) = clamp_factor(cscale(j));
    fit_one_side(M, N, NZ, ISTOR == 1, IRN, ICN, BJ, false, CSCALE, RSCALE, WORK);
  } else if (IRSCL == 2 || ICSCL == 2) {
    IWORD ne = NZ;
    LOGSCL(M, N, ne, ISTOR == 1 ? 1 : 2, IRN, ICN, BJ, RSCALE, CSCALE, WORK, WORK + 2 * M);
  }
  // 2. Variable sizes: largest |x| (at least 1e-8) and largest signed x
  // (at least -80) over the columns of each structured variable.
  const bool structural = IRSCL == 1 || ICSCL == 1;
  if (NVAR >= 1 && structural) {
    for (IWORD v = 1; v <= NVAR; ++v) {
      vabs(v) = 1e-8;
      vmax(v) = -80.0;
    }
    for (IWORD j = 1; j <= N; ++j) {
      const IWORD v = varmap(j);
      if (v < 1 || v > NVAR) continue;
      vabs(v) = std::fmax(vabs(v), std::fabs(x(j)));
      vmax(v) = std::fmax(vmax(v), x(j));
    }
  }
  // 3. Equation sizes: the largest term value, each term a product of its
  // factors evaluated at the variable sizes.
  if (NEQ >= 1 && IRSCL == 1) {
    const Vec1<const IWORD> termptr(TERMPTR, NEQ + 1), facptr(FACPTR), facvar(FACVAR);
    const Vec1<const double> facexp(FACEXP);
    for (IWORD e = 1; e <= NEQ; ++e) {
      double s = 0.0;
      for (IWORD t = std::max<IWORD>(termptr(e), 1); t < termptr(e + 1); ++t) {
        double term = 1.0;
        for (IWORD k = std::max<IWORD>(facptr(t), 1); k < facptr(t + 1); ++k) {
          const IWORD v = facvar(k);
          const double p = facexp(k);
          if (v > NVAR || v < 0) continue;
          if (v == 0)
            term *= p;
          else if (p >= 1000.0)
            term *= std::exp(std::fmin(80.0, vmax(v)));
          else if (p <= -1000.0)
            term *= std::log(vabs(v));
          else if (p != 0.0)
            term *= std::pow(vabs(v), p);
        }
        s = std::fmax(s, term);
      }
      esize(e) = s;
    }
  }
  // 4. Row factors.
  if (IRSCL == 1) {
    for (IWORD i = 1; i <= M; ++i) {
      const IWORD e = eqmap(i);
      rscale(i) = (e >= 1 && e <= NEQ) ? esize(e) : 1.0;
    }
  } else if (IRSCL == 2) {
    for (IWORD i = 1; i <= M; ++i) rscale(i) = 1.0 / std::exp(rscale(i));
  }
  // 5. Column factors.
  if (ICSCL == 1) {
    for (IWORD j = 1; j <= N; ++j) {
      const IWORD v = varmap(j);
      cscale(j) = (v >= 1 && v <= NVAR) ? vabs(v) : 1.0;
    }
  } else if (ICSCL == 2) {
    for (IWORD j = 1; j <= N; ++j) cscale(j) = std::exp(cscale(j));
  }
  // 6. Every factor of a scaled side inside [1e-35, 1e35].
  if (IRSCL > 0)
    for (IWORD i = 1; i <= M; ++i) rscale(i) = clamp_factor(rscale(i));
  if (ICSCL > 0)
    for (IWORD j = 1; j <= N; ++j) cscale(j) = clamp_factor(cscale(j));
}

}  // namespace orvika
