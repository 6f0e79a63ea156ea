// EQUILR, EQUILT, EQUILD: row and column equilibration of a matrix in row
// form, in triplets or dense, so that the scaled entries RF(i)*a(i,j)*CF(j)
// have their largest magnitude near 1 in every row and column.  Mode 5 is
// the simultaneous square-root iteration of A. R. Curtis and J. K. Reid,
// "On the automatic scaling of matrices for Gaussian elimination", J. Inst.
// Maths Applics 10 (1972) 118-124, with a fixed number of sweeps.
#include <cmath>

#include "sparselu/sparselu.hpp"

namespace orvika {

namespace {

// F(k) := F(k) / sqrt(W(k)) where W(k) > 0, k = 1..LEN.
void sqrt_step(IWORD len, RV F, RV W) {
  for (IWORD k = 1; k <= len; ++k) {
    const double w = W.get(k);
    if (w > 0.0) F(k) = F.get(k) / std::sqrt(w);
  }
}

// Computes the factors for MODE; EACH(f) calls f(i, j, a) for every entry
// in the storage order of the matrix.
template <class Each>
void equilibrate(IWORD M, IWORD N, IWORD MODE, RV RF, RV CF, RV WR, RV WC, Each each) {
  auto row_pass = [&](bool with_cf) {
    WR.fill(1, M, 0.0);
    each([&](IWORD i, IWORD j, double a) {
      const double s = with_cf ? std::fabs(a * CF(j)) : std::fabs(a);
      if (s > WR(i)) WR(i) = s;
    });
    for (IWORD i = 1; i <= M; ++i) RF(i) = WR(i) == 0.0 ? 1.0 : 1.0 / WR(i);
  };
  auto col_pass = [&](bool with_rf) {
    WC.fill(1, N, 0.0);
    each([&](IWORD i, IWORD j, double a) {
      const double s = with_rf ? std::fabs(RF(i) * a) : std::fabs(a);
      if (s > WC(j)) WC(j) = s;
    });
    for (IWORD j = 1; j <= N; ++j) CF(j) = WC(j) == 0.0 ? 1.0 : 1.0 / WC(j);
  };

  switch (MODE) {
    case 0:
      RF.fill(1, M, 1.0);
      CF.fill(1, N, 1.0);
      return;
    case 1:
      col_pass(true);
      return;
    case 2:
      row_pass(true);
      return;
    case 3:
      row_pass(false);
      col_pass(true);
      return;
    case 4:
      col_pass(false);
      row_pass(true);
      return;
    default:
      break;
  }
  RF.fill(1, M, 1.0);
  CF.fill(1, N, 1.0);
  for (int sweep = 0; sweep < 4; ++sweep) {
    WR.fill(1, M, 0.0);
    WC.fill(1, N, 0.0);
    each([&](IWORD i, IWORD j, double a) {
      const double s = std::fabs(RF(i) * CF(j) * a);
      if (s > WR(i)) WR(i) = s;
      if (s > WC(j)) WC(j) = s;
    });
    sqrt_step(M, RF, WR);
    sqrt_step(N, CF, WC);
  }
}

}  // namespace

void EQUILR(IWORD M, IWORD N, IWORD NZ, IV IRP, IV ICI, RV A, IWORD MODE, RV RF, RV CF, RV WR, RV WC) {
  if (M < 0 || N < 0) return;
  equilibrate(M, N, MODE, RF, CF, WR, WC, [&](auto f) {
    for (IWORD i = 1; i <= M; ++i) {
      const IWORD hi = IRP.get(i + 1);
      for (IWORD k = IRP.get(i); k < hi; ++k) {
        const IWORD j = ICI.get(k);
        if (j >= 1 && j <= N) f(i, j, A.get(k));
      }
    }
  });
}

void EQUILT(IWORD M, IWORD N, IWORD NZ, const IWORD* IRN, const IWORD* JCN, const double* A,
            IWORD MODE, double* RF, double* CF, double* WR, double* WC) {
  if (M < 0 || N < 0 || NZ < 0) return;
  equilibrate(M, N, MODE, RV(RF, M), RV(CF, N), RV(WR, M), RV(WC, N), [&](auto f) {
    for (IWORD k = 0; k < NZ; ++k) {
      const IWORD i = IRN[k];
      const IWORD j = JCN[k];
      if (i >= 1 && i <= M && j >= 1 && j <= N) f(i, j, A[k]);
    }
  });
}

void EQUILD(IWORD M, IWORD N, IWORD LDA, const double* A, IWORD MODE, double* RF, double* CF,
            double* WR, double* WC) {
  if (M < 0 || N < 0) return;
  if (LDA < (M > 1 ? M : 1)) {  // not a dense matrix: leave the matrix unscaled
    for (IWORD i = 0; i < M; ++i) RF[i] = 1.0;
    for (IWORD j = 0; j < N; ++j) CF[j] = 1.0;
    return;
  }
  equilibrate(M, N, MODE, RV(RF, M), RV(CF, N), RV(WR, M), RV(WC, N), [&](auto f) {
    for (IWORD j = 1; j <= N; ++j)
      for (IWORD i = 1; i <= M; ++i) f(i, j, A[(j - 1) * LDA + (i - 1)]);
  });
}

}  // namespace orvika
