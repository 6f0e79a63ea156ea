// Dense linear systems by compact elimination with row interchanges that
// report doubtful pivots: ORVK_LINEQ (factor and solve), ORVK_LINEQ1 (solve
// with kept factors), ORVK_LINEQA (stand-alone variant), and the inner
// product kernel DOTACC.  Each element of the factors is finished by one
// inner product (Crout's arrangement of Gaussian elimination).

#include <cmath>
#include <string_view>
#include <utility>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "kernels/dense.hpp"

extern "C" {
ORVK_API ORVK_CLINEQ_BLOCK ORVK_CLINEQ = {0};
ORVK_API ORVK_RDFRC3_BLOCK ORVK_RDFRC3 = {0, 0, 0, 0};
}

namespace orvika {

void DOTACC(const double* X, IWORD INCX, const double* Y, IWORD INCY, double CONST, double& OUT,
            IWORD N, IWORD MODE) {
  double s = 0.0;
  if (INCX == 1 && INCY == 1) {
    for (IWORD i = 0; i < N; ++i) s += X[i] * Y[i];
  } else {
    for (IWORD i = 0; i < N; ++i) s += X[i * INCX] * Y[i * INCY];
  }
  IWORD mode = MODE;
  if (mode > 3) mode -= 4;
  double s1 = 1.0, s2 = 1.0;
  if (mode == 1 || mode == 3) s1 = -1.0;
  if (mode == 2 || mode == 3) s2 = -1.0;
  const double c = CONST;
  OUT = s1 * s + s2 * c;
}

namespace {

// W holds N 8-byte words, each a real or an IWORD depending on the phase.
inline IV w_words(void* W, IWORD n) { return IV(static_cast<unsigned char*>(W), n); }

// " LINEQ  HAS FOUND THAT PIVOT    12 IS ZERO , RESULTS MAY BE UNRELIABLE."
void warn(std::string_view name, IWORD status) {
  Rec r;
  r.A(name).A("HAS FOUND THAT").A(" PIVOT  ").I(status < 0 ? -status : status, 4).X(1);
  r.A(status < 0 ? "IS SMALL" : "IS ZERO ").A(", RESULTS MAY BE UNRELIABLE.");
  write_rec(host::repunit(), r);
}

inline void swap_rows(Mat1<double> a, IWORD n, IWORD k, IWORD p) {
  for (IWORD j = 1; j <= n; ++j) std::swap(a(k, j), a(p, j));
}

// Factorisation shared by ORVK_LINEQ and ORVK_LINEQA.  CMAX(k) is the
// reference magnitude of column k; SMALL the relative threshold of a small
// pivot.  LINEQ mode (floor == false): status -k for each small pivot, +k
// for a zero one, the later step winning; reciprocal 1 when |A(k,k)| <
// RTINY.  LINEQA mode (floor == true): -k only for the first small pivot,
// +k for a zero one, the pivot replaced by SMALL*CMAX(k).  PIVOT_ROW(k, p)
// records the row chosen at step k.
template <class ColMax, class SetPivot>
void crout_factor(double* A, IWORD lda, IWORD n, ColMax cmax, SetPivot pivot_row, double small,
                  bool floor, double rtiny, IWORD& status) {
  const Mat1<double> a(A, lda);
  for (IWORD k = 1; k <= n; ++k) {
    for (IWORD i = k; i <= n; ++i) DOTACC(&a(i, 1), lda, &a(1, k), 1, a(i, k), a(i, k), k - 1, 1);
    IWORD p = k;
    double d = 0.0;
    for (IWORD i = k; i <= n; ++i) {
      const double v = std::fabs(a(i, k));
      if (v > d) {
        d = v;
        p = i;
      }
    }
    const double ref = small * cmax(k);
    const bool doubtful = d <= ref || d == 0.0;
    // An infinite pivot (an infinite element, or one grown out of range)
    // leaves no usable factors: it is reported like a small one (d is never
    // a NaN: a column of NaNs keeps d = 0 and reports a zero pivot).
    if (doubtful || !std::isfinite(d)) {
      if (!floor || status == 0) status = -k;
      if (d == 0.0) status = k;
      if (floor && doubtful) a(p, k) = ref;
    }
    if (p != k) swap_rows(a, n, k, p);
    pivot_row(k, p);
    if (k == n) break;
    const double akk = a(k, k);
    // A negligible pivot leaves its column unscaled; an exact zero always
    // does, so a host RTINY of 0 never turns zero multipliers into 0*inf.
    const double r = (floor || (std::fabs(akk) >= rtiny && akk != 0.0)) ? 1.0 / akk : 1.0;
    for (IWORD j = k + 1; j <= n; ++j) {
      a(j, k) *= r;
      DOTACC(&a(k, 1), lda, &a(1, j), 1, a(k, j), a(k, j), k - 1, 1);
    }
  }
}

// Forward substitution with the row exchanges ROW(i) in step order and the
// unit lower factor; then back substitution.  With TEST, a diagonal element
// of magnitude <= RTINY gives a zero component and status +u.
template <class Row>
void crout_solve(const double* A, IWORD lda, IWORD n, double* B, Row row, bool test, double rtiny,
                 IWORD& status) {
  const Mat1<const double> a(A, lda);
  const Vec1<double> b(B);
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD w = row(i);
    const double t = b(w);
    b(w) = b(i);
    DOTACC(&a(i, 1), lda, B, 1, t, b(i), i - 1, 1);
  }
  for (IWORD u = n; u >= 1; --u) {
    const double d = a(u, u);
    // A diagonal element that is not a number (from an infinite or NaN
    // input) is no more usable than a negligible one.
    if (test && !(std::fabs(d) > rtiny)) {
      status = u;
      b(u) = 0.0;
    } else {
      double s = b(u);
      if (u < n) DOTACC(&a(u, u + 1), lda, b.at(u + 1), 1, s, s, n - u, 1);
      b(u) = s / d;
    }
  }
}

// Completion of ORVK_LINEQ and ORVK_LINEQ1: a negative status travels in
// W(N); the warning line when the host's message level is 2 or more.
void complete(std::string_view name, IWORD n, IV w) {
  const IWORD s = ORVK_CLINEQ.PIVSTA;
  if (s == 0) return;
  if (s < 0) w(n) = s;
  if (ORVK_RDFRC3.MSGLVL >= 2) warn(name, s);
}

// The pivot rows W(1..N) of a factorisation of order N: W(i) in i..N.
bool rows_valid(IWORD n, IV w) {
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD r = w(i);
    if (r < i || r > n) return false;
  }
  return true;
}

}  // namespace
}  // namespace orvika

using namespace orvika;

/* ORVK_LINEQ: solves A*x = b by compact LU factorisation with row
 * interchanges, and reports doubtful pivots.
 *   A    in/out real(LDA,N)  matrix; on return U on and above the diagonal,
 *                            the multipliers of L below it (rows exchanged)
 *   LDA  in     IWORD        leading dimension, >= N
 *   N    in     IWORD        order
 *   B    in/out real(N)      right-hand side; the solution on return
 *   W    out    8-byte words(N)  column maxima, then W(k) = the row exchanged
 *                            with row k at step k; W(N) = the status when negative
 * Status in ORVK_CLINEQ.PIVSTA: 0; -k when pivot k was small (<= 4*RTINY
 * times the column maximum) or infinite; +k when pivot k was exactly zero
 * or the diagonal element k had magnitude <= RTINY or was not a number in
 * the back substitution (that component is then 0).  A warning line goes
 * to the report unit when ORVK_RDFRC3.MSGLVL >= 2.  N < 1 or LDA < N only
 * set PIVSTA = 0.
 * Cost: 2N^3/3 + 2N^2 flops. */
extern "C" ORVK_API void ORVK_LINEQ(double* A, const IWORD* LDA, const IWORD* N, double* B, void* W) {
  const IWORD lda = *LDA, n = *N;
  ORVK_CLINEQ.PIVSTA = 0;
  if (n < 1 || lda < n) return;
  const double rtiny = host::rtiny();
  const Mat1<const double> a(A, lda);
  const IV wi = w_words(W, n);
  const RV wr = wi.as<double>();
  for (IWORD j = 1; j <= n; ++j) {
    double m = 0.0;
    for (IWORD i = 1; i <= n; ++i) m = std::fmax(m, std::fabs(a(i, j)));
    wr(j) = m;
  }
  IWORD status = 0;
  crout_factor(
      A, lda, n, [wr](IWORD k) { return wr.get(k); }, [wi](IWORD k, IWORD p) { wi(k) = p; },
      4.0 * rtiny, false, rtiny, status);
  ORVK_CLINEQ.PIVSTA = status;
  crout_solve(
      A, lda, n, B, [wi](IWORD i) { return wi.get(i); }, true, rtiny, ORVK_CLINEQ.PIVSTA);
  complete(" LINEQ  ", n, wi);
}

/* ORVK_LINEQ1: solves A*x = b for a further right-hand side with the factors
 * and pivot rows that ORVK_LINEQ left in A and W.
 *   A, LDA, N  as for ORVK_LINEQ (A only read)
 *   B    in/out real(N)         right-hand side; the solution on return
 *   W    in/out 8-byte words(N) pivot rows; a negative status in W(N) is
 *                               taken into PIVSTA, reported and kept
 * Status and warning line as for ORVK_LINEQ (name LINEQ1).  Nothing but
 * PIVSTA = 0 is done when N < 1, LDA < N or W holds no pivot rows of order N
 * (W(N) below -N included).
 * Cost: 2N^2 flops. */
extern "C" ORVK_API void ORVK_LINEQ1(const double* A, const IWORD* LDA, const IWORD* N, double* B,
                                     void* W) {
  const IWORD lda = *LDA, n = *N;
  if (n < 1 || lda < n) {
    ORVK_CLINEQ.PIVSTA = 0;
    return;
  }
  const IV wi = w_words(W, n);
  const IWORD wn = wi(n);
  // A saved status is -k for a pivot k of this order: anything below -N is
  // no record of a factorisation of order N.
  if (wn < -n) {
    ORVK_CLINEQ.PIVSTA = 0;
    return;
  }
  IWORD status = 0;
  if (wn < 1) {
    status = wn;
    wi(n) = n;
  }
  if (!rows_valid(n, wi)) {
    if (status < 0) wi(n) = status;
    ORVK_CLINEQ.PIVSTA = 0;
    return;
  }
  ORVK_CLINEQ.PIVSTA = status;
  const double rtiny = host::rtiny();
  crout_solve(
      A, lda, n, B, [wi](IWORD i) { return wi.get(i); }, true, rtiny, ORVK_CLINEQ.PIVSTA);
  complete(" LINEQ1 ", n, wi);
}

/* ORVK_LINEQA: stand-alone ORVK_LINEQ with floored column maxima and tiny
 * pivots replaced by a small positive value.
 *   A, LDA, N, B  as for ORVK_LINEQ
 *   CMAX   out real(N)   max(1e-10, largest |A(i,j)| of column j)
 *   IPVT   out IWORD(N)  IPVT(k) = the row exchanged with row k at step k;
 *                        IPVT(N) = ISTAT when ISTAT < 0
 *   IPRT   in  IWORD     nonzero: write the warning line on the report unit
 *   ISTAT  out IWORD     0; -k for the first pivot of magnitude <= 1e-50*CMAX(k)
 *                        or infinite;
 *                        +k for the last exactly zero pivot (either pivot
 *                        is replaced by 1e-50*CMAX(k))
 * N < 1 or LDA < N only set ISTAT = 0.  Cost: 2N^3/3 + 2N^2 flops. */
extern "C" ORVK_API void ORVK_LINEQA(double* A, const IWORD* LDA, const IWORD* N, double* B,
                                     double* CMAX, IWORD* IPVT, const IWORD* IPRT, IWORD* ISTAT) {
  const IWORD lda = *LDA, n = *N;
  *ISTAT = 0;
  if (n < 1 || lda < n) return;
  const Mat1<const double> a(A, lda);
  const Vec1<double> cmax(CMAX, n);
  const Vec1<IWORD> ipvt(IPVT, n);
  for (IWORD j = 1; j <= n; ++j) {
    double m = 1e-10;
    for (IWORD i = 1; i <= n; ++i) m = std::fmax(m, std::fabs(a(i, j)));
    cmax(j) = m;
  }
  IWORD status = 0;
  crout_factor(
      A, lda, n, [cmax](IWORD k) { return cmax(k); },
      [ipvt](IWORD k, IWORD p) { ipvt(k) = p; }, 1e-50, true, 0.0, status);
  crout_solve(
      A, lda, n, B, [ipvt](IWORD i) { return ipvt(i); }, false, 0.0, status);
  *ISTAT = status;
  if (status < 0) ipvt(n) = status;
  if (status != 0 && *IPRT != 0) warn(" LINEQ  ", status);
}
