// EQUILR, EQUILT, EQUILD: row and column equilibration of a matrix in row
// form, in triplets or dense, so that the scaled entries RF(i)*a(i,j)*CF(j)
// have their largest magnitude near 1 in every row and column.  Mode 5 is
// the simultaneous square-root iteration of A. R. Curtis and J. K. Reid,
// "On the automatic scaling of matrices for Gaussian elimination", J. Inst.
// Maths Applics 10 (1972) 118-124, with a fixed number of sweeps.
#include <cmath>
#include <cstddef>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sparselu/sparselu.hpp"
#include "frame/wspan.hpp"

namespace orvika {

namespace {

// The larger of a maximum W and a magnitude S: S when S > W, else W (also
// when S is NaN), without a branch on the data.
inline double raise_max(double w, double s) {
#if defined(__SSE2__)
  return _mm_cvtsd_f64(_mm_max_sd(_mm_set_sd(s), _mm_set_sd(w)));
#else
  return s > w ? s : w;
#endif
}

// F(k) := F(k) / sqrt(W(k)) where W(k) > 0, k = 1..LEN.  Two factors at a
// time where the machine has packed double arithmetic: the packed square
// root and division round as the scalar ones do, and a lane whose W(k) is
// not positive keeps its F(k).
void sqrt_step(IWORD len, WSpan<double> F, WSpan<double> W) {
  IWORD k = 1;
#if defined(__SSE2__)
  const __m128d zero = _mm_setzero_pd();
  for (; k + 1 <= len; k += 2) {
    double f[2], w[2];
    f[0] = F[k];
    f[1] = F[k + 1];
    w[0] = W[k];
    w[1] = W[k + 1];
    const __m128d fv = _mm_loadu_pd(f);
    const __m128d wv = _mm_loadu_pd(w);
    const __m128d pos = _mm_cmpgt_pd(wv, zero);
    const __m128d q = _mm_div_pd(fv, _mm_sqrt_pd(wv));
    _mm_storeu_pd(f, _mm_or_pd(_mm_and_pd(pos, q), _mm_andnot_pd(pos, fv)));
    F.set(k, f[0]);
    F.set(k + 1, f[1]);
  }
#endif
  for (; k <= len; ++k) {
    const double w = W[k];
    if (w > 0.0) F.set(k, F[k] / std::sqrt(w));
  }
}

// |R·C·A|, the magnitude of an entry scaled by its row and column factors
// in the sweeps of mode 5: (R·C)·A, or with SAFE, where the product R·C of
// the two factors overflows (a row and a column whose largest magnitudes
// are subnormal give factors near 1e160 each), R·(C·A), one factor at a
// time, as the overflow would otherwise make the maximum infinite and the
// factor 0.
template <bool SAFE>
inline double scaled_mag(double r, double c, double a) {
  const double rc = r * c;
  if constexpr (SAFE) {
    if (std::isinf(rc)) return std::fabs(r * (c * a));
  }
  return std::fabs(rc * a);
}

// True when some of the LEN maxima W is infinite: a sweep met a product of
// factors that overflowed (or an infinite entry) and is run again with the
// safe products.
inline bool some_infinite(IWORD len, WSpan<double> W) {
  bool inf = false;
  for (IWORD k = 1; k <= len; ++k) inf = inf || std::isinf(W[k]);
  return inf;
}

// F(1..LEN) := V.
void fill(IWORD len, WSpan<double> F, double v) {
  for (IWORD k = 1; k <= len; ++k) F.set(k, v);
}

// Computes the factors for MODE; EACH(f) calls f(i, j, a) for every entry
// in the storage order of the matrix.  SWEEP(RF, CF, WR, WC), when given,
// does one sweep of mode 5 (maxima into cleared WR and WC) faster than
// EACH would for its storage form, with the same maxima.  The sweeps run
// over unchecked runs of the four factor arrays, their bounds checked here
// once.
template <class Each, class Sweep>
void equilibrate(IWORD M, IWORD N, IWORD MODE, RV RFv, RV CFv, RV WRv, RV WCv, Each each,
                 Sweep sweep) {
  const WSpan<double> RF = span(RFv, 1, M);
  const WSpan<double> CF = span(CFv, 1, N);
  // Modes 1 and 2 use only the column or only the row scratch.
  const WSpan<double> WR = span(WRv, 1, MODE != 0 && MODE != 1 ? M : 0);
  const WSpan<double> WC = span(WCv, 1, MODE != 0 && MODE != 2 ? N : 0);
  // A maximum is replaced only by a larger magnitude (raise_max), as the
  // test s > w would replace it.
  auto row_pass = [&](bool with_cf) {
    fill(M, WR, 0.0);
    each([&](IWORD i, IWORD j, double a) {
      const double s = with_cf ? std::fabs(a * CF[j]) : std::fabs(a);
      WR.set(i, raise_max(WR[i], s));
    });
    for (IWORD i = 1; i <= M; ++i) RF.set(i, WR[i] == 0.0 ? 1.0 : 1.0 / WR[i]);
  };
  auto col_pass = [&](bool with_rf) {
    fill(N, WC, 0.0);
    each([&](IWORD i, IWORD j, double a) {
      const double s = with_rf ? std::fabs(RF[i] * a) : std::fabs(a);
      WC.set(j, raise_max(WC[j], s));
    });
    for (IWORD j = 1; j <= N; ++j) CF.set(j, WC[j] == 0.0 ? 1.0 : 1.0 / WC[j]);
  };

  switch (MODE) {
    case 0:
      fill(M, RF, 1.0);
      fill(N, CF, 1.0);
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
  fill(M, RF, 1.0);
  fill(N, CF, 1.0);
  for (int sweep_no = 0; sweep_no < 4; ++sweep_no) {
    // Each sweep with the plain products, and again with the safe ones when
    // a maximum came out infinite (the first sweep reads the entries alone).
    auto run = [&](auto safe) {
      fill(M, WR, 0.0);
      fill(N, WC, 0.0);
      if constexpr (std::is_same_v<Sweep, std::nullptr_t>) {
        each([&](IWORD i, IWORD j, double a) {
          const double s = scaled_mag<decltype(safe)::value>(RF[i], CF[j], a);
          WR.set(i, raise_max(WR[i], s));
          WC.set(j, raise_max(WC[j], s));
        });
      } else {
        sweep(RF, CF, WR, WC, sweep_no == 0, safe);
      }
    };
    run(std::false_type{});
    if (sweep_no > 0 && some_infinite(M, WR)) run(std::true_type{});
    sqrt_step(M, RF, WR);
    sqrt_step(N, CF, WC);
  }
}

}  // namespace

void EQUILR(IWORD M, IWORD N, IWORD NZ, IV IRP, IV ICI, RV A, IWORD MODE, RV RF, RV CF, RV WR, RV WC) {
  if (M < 0 || N < 0) return;
  const WSpan<IWORD> irp = span(IRP, 1, M >= 1 ? M + 1 : 0);
  const IWORD last = M >= 1 ? irp[M + 1] - 1 : 0;
  const WSpan<IWORD> ici = span(ICI, 1, last);
  const WSpan<double> a = span(A, 1, last);
  auto rows = [&](auto f) {
    for (IWORD i = 1; i <= M; ++i) {
      const IWORD hi = irp[i + 1];
      for (IWORD k = irp[i]; k < hi; ++k) {
        const IWORD j = ici[k];
        if (j >= 1 && j <= N) f(i, j, a[k]);
      }
    }
  };
  // A sweep of mode 5 row by row: the row's factor and maximum stay in
  // registers, only the column maxima are stored per entry.  In the first
  // sweep every factor is 1 and 1·1·a is a itself.
  auto sweep = [&](WSpan<double> RFs, WSpan<double> CFs, WSpan<double> WRs, WSpan<double> WCs,
                   bool first, auto safe) {
    IWORD lo = M >= 1 ? irp[1] : 0;
    for (IWORD i = 1; i <= M; ++i) {
      const IWORD hi = irp[i + 1];
      const double ri = RFs[i];
      double w = 0.0;
      if (first) {
        for (IWORD k = lo; k < hi; ++k) {
          const IWORD j = ici[k];
          if (j < 1 || j > N) continue;
          const double s = std::fabs(a[k]);
          w = raise_max(w, s);
          WCs.set(j, raise_max(WCs[j], s));
        }
      } else {
        for (IWORD k = lo; k < hi; ++k) {
          const IWORD j = ici[k];
          if (j < 1 || j > N) continue;
          const double s = scaled_mag<decltype(safe)::value>(ri, CFs[j], a[k]);
          w = raise_max(w, s);
          WCs.set(j, raise_max(WCs[j], s));
        }
      }
      WRs.set(i, w);
      lo = hi;
    }
  };
  equilibrate(M, N, MODE, RF, CF, WR, WC, rows, sweep);
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
  }, nullptr);
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
  }, nullptr);
}

}  // namespace orvika
