// RCSCAL: row and column scale factors of the sparse Newton solvers.
#include <algorithm>
#include <cmath>

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
  for (IWORD k = 0; k < len; ++k) FIT[k] = COUNT[k] = 0.0;
  auto add = [&](IWORD i, IWORD j, double v) {  // 0-based row and column
    if (!(std::fabs(v) > 0.0)) return;
    const double u = std::log(std::fabs(v));
    if (rows_given) {
      FIT[j] += u - std::log(GIVEN[i]);
      COUNT[j] += 1.0;
    } else {
      FIT[i] += u + std::log(GIVEN[j]);
      COUNT[i] += 1.0;
    }
  };
  if (coord) {
    for (IWORD k = 0; k < NZ; ++k) {
      const IWORD i = IRN[k], j = ICN[k];
      if (i >= 1 && i <= M && j >= 1 && j <= N) add(i - 1, j - 1, BJ[k]);
    }
  } else {
    for (IWORD j = 0; j < N; ++j)
      for (IWORD i = 0; i < M; ++i) add(i, j, BJ[i + M * j]);
  }
  for (IWORD k = 0; k < len; ++k) FIT[k] = COUNT[k] > 0.0 ? -FIT[k] / COUNT[k] : 0.0;
}

}  // namespace

void RCSCAL(IWORD M, IWORD N, IWORD NZ, IWORD IRSCL, IWORD ICSCL, IWORD ISTOR, IWORD NEQ,
            const IWORD* EQMAP, IWORD NVAR, const IWORD* VARMAP, const IWORD* TERMPTR,
            const IWORD* /*ISPARE*/, const IWORD* FACPTR, const IWORD* FACVAR,
            const double* FACEXP, const double* /*F*/, const double* X, const IWORD* IRN,
            const IWORD* ICN, const double* BJ, double* RSCALE, double* CSCALE, double* WORK) {
  if (IRSCL == 0 && ICSCL == 0) return;
  // 1. Logarithmic least squares: raw exponents into RSCALE and CSCALE.  A
  // side given by the caller (mode 3) is never overwritten: it is brought
  // into the range of factors first, and the other side is fitted to it.
  if (IRSCL == 3 && ICSCL == 2) {
    for (IWORD i = 0; i < M; ++i) RSCALE[i] = clamp_factor(RSCALE[i]);
    fit_one_side(M, N, NZ, ISTOR == 1, IRN, ICN, BJ, true, RSCALE, CSCALE, WORK);
  } else if (IRSCL == 2 && ICSCL == 3) {
    for (IWORD j = 0; j < N; ++j) CSCALE[j] = clamp_factor(CSCALE[j]);
    fit_one_side(M, N, NZ, ISTOR == 1, IRN, ICN, BJ, false, CSCALE, RSCALE, WORK);
  } else if (IRSCL == 2 || ICSCL == 2) {
    IWORD ne = NZ;
    LOGSCL(M, N, ne, ISTOR == 1 ? 1 : 2, IRN, ICN, BJ, RSCALE, CSCALE, WORK, WORK + 2 * M);
  }
  // 2. Variable sizes: largest |x| (at least 1e-8) and largest signed x
  // (at least -80) over the columns of each structured variable.
  const bool structural = IRSCL == 1 || ICSCL == 1;
  if (NVAR >= 1 && structural) {
    for (IWORD v = 0; v < NVAR; ++v) {
      WORK[v] = 1e-8;
      WORK[NVAR + v] = -80.0;
    }
    for (IWORD j = 0; j < N; ++j) {
      const IWORD v = VARMAP[j];
      if (v < 1 || v > NVAR) continue;
      WORK[v - 1] = std::fmax(WORK[v - 1], std::fabs(X[j]));
      WORK[NVAR + v - 1] = std::fmax(WORK[NVAR + v - 1], X[j]);
    }
  }
  // 3. Equation sizes: the largest term value, each term a product of its
  // factors evaluated at the variable sizes.
  if (NEQ >= 1 && IRSCL == 1) {
    for (IWORD e = 1; e <= NEQ; ++e) {
      double s = 0.0;
      for (IWORD t = std::max<IWORD>(TERMPTR[e - 1], 1); t < TERMPTR[e]; ++t) {
        double term = 1.0;
        for (IWORD k = std::max<IWORD>(FACPTR[t - 1], 1); k < FACPTR[t]; ++k) {
          const IWORD v = FACVAR[k - 1];
          const double p = FACEXP[k - 1];
          if (v > NVAR || v < 0) continue;
          if (v == 0)
            term *= p;
          else if (p >= 1000.0)
            term *= std::exp(std::fmin(80.0, WORK[NVAR + v - 1]));
          else if (p <= -1000.0)
            term *= std::log(WORK[v - 1]);
          else if (p != 0.0)
            term *= std::pow(WORK[v - 1], p);
        }
        s = std::fmax(s, term);
      }
      WORK[2 * std::max<IWORD>(NVAR, 0) + e - 1] = s;
    }
  }
  // 4. Row factors.
  if (IRSCL == 1) {
    for (IWORD i = 0; i < M; ++i) {
      const IWORD e = EQMAP[i];
      RSCALE[i] = (e >= 1 && e <= NEQ) ? WORK[2 * std::max<IWORD>(NVAR, 0) + e - 1] : 1.0;
    }
  } else if (IRSCL == 2) {
    for (IWORD i = 0; i < M; ++i) RSCALE[i] = 1.0 / std::exp(RSCALE[i]);
  }
  // 5. Column factors.
  if (ICSCL == 1) {
    for (IWORD j = 0; j < N; ++j) {
      const IWORD v = VARMAP[j];
      CSCALE[j] = (v >= 1 && v <= NVAR) ? WORK[v - 1] : 1.0;
    }
  } else if (ICSCL == 2) {
    for (IWORD j = 0; j < N; ++j) CSCALE[j] = std::exp(CSCALE[j]);
  }
  // 6. Every factor of a scaled side inside [1e-35, 1e35].
  if (IRSCL > 0)
    for (IWORD i = 0; i < M; ++i) RSCALE[i] = clamp_factor(RSCALE[i]);
  if (ICSCL > 0)
    for (IWORD j = 0; j < N; ++j) CSCALE[j] = clamp_factor(CSCALE[j]);
}

}  // namespace orvika
