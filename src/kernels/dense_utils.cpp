// Small dense-matrix tools: identity, symmetric packing, products, block
// copies, clearing, scaling, transposition, sums, trace of a product, an
// in-place inverse without pivoting and a sign-pattern test.
//
// Matrices are column-major.  Block routines address A(IOA+i, JOA+j) of an
// array with leading dimension LDA; contiguous routines address an r x c
// matrix stored in the r*c words after word IOA.  Sizes <= 0 give an empty
// operation; offsets are the caller's responsibility.

#include "frame/views.hpp"
#include "kernels/dense.hpp"

namespace orvika {

void MTVMUL(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD IOX, const double* X,
            IWORD IOY, double* Y) {
  if (M <= 0) return;
  const Mat1<const double> a(A + IOA, N);  // N x M
  const Vec1<const double> x(X + IOX);
  const Vec1<double> y(Y);
  for (IWORD i = 1; i <= M; ++i) {
    double s = 0.0;
    for (IWORD k = 1; k <= N; ++k) s += a(k, i) * x(k);
    y(IOY + i) = s;
  }
}

void MRVMUL(IWORD M, IWORD N, IWORD LDA, IWORD IOA, IWORD JOA, const double* A, IWORD IOX,
            const double* X, IWORD IOY, double* Y) {
  if (M <= 0) return;
  const Mat1<const double> a(A, LDA);
  const Vec1<const double> x(X);
  const Vec1<double> y(Y);
  for (IWORD i = 1; i <= M; ++i) {
    double s = 0.0;
    for (IWORD j = 1; j <= N; ++j) s += a(IOA + i, JOA + j) * x(IOX + j);
    y(IOY + i) = s;
  }
}

void MRMULT(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD K, IWORD IOB, const double* B,
            IWORD IOC, double* C) {
  if (M <= 0 || K <= 0) return;
  const Mat1<const double> am(A + IOA, N), bm(B + IOB, K);  // N x M, K x N
  const Mat1<double> cm(C + IOC, K);                          // K x M
  for (IWORD i = 1; i <= M; ++i) {
    const Vec1<double> c(cm.col(i));
    for (IWORD k = 1; k <= K; ++k) c(k) = 0.0;
    for (IWORD j = 1; j <= N; ++j) {
      const double a = am(j, i);
      const Vec1<const double> b(bm.col(j));
      for (IWORD k = 1; k <= K; ++k) c(k) += b(k) * a;
    }
  }
}

void MRADD(IWORD M, IWORD N, double ALPHA, IWORD LDA, IWORD IOA, IWORD JOA, const double* A,
           double BETA, IWORD LDB, IWORD IOB, IWORD JOB, const double* B, IWORD LDC, IWORD IOC,
           IWORD JOC, double* C) {
  const Mat1<const double> a(A, LDA), b(B, LDB);
  const Mat1<double> c(C, LDC);
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= M; ++i)
      c(IOC + i, JOC + j) = ALPHA * a(IOA + i, JOA + j) + BETA * b(IOB + i, JOB + j);
}

void MRCOPY(IWORD M, IWORD N, IWORD LDA, IWORD IOA, IWORD JOA, const double* A, IWORD LDB,
            IWORD IOB, IWORD JOB, double* B) {
  const Mat1<const double> a(A, LDA);
  const Mat1<double> b(B, LDB);
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= M; ++i) b(IOB + i, JOB + j) = a(IOA + i, JOA + j);
}

void MRZERO(IWORD LDA, IWORD M, IWORD IOA, IWORD N, IWORD JOA, double* A) {
  const Mat1<double> a(A, LDA);
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= M; ++i) a(IOA + i, JOA + j) = 0.0;
}

void MRSCAL(IWORD N, IWORD M, IWORD IOA, const double* A, double X, IWORD IOB, double* B) {
  if (N <= 0 || M <= 0) return;
  const IWORD nm = N * M;
  const Vec1<const double> a(A + IOA);
  const Vec1<double> b(B + IOB);
  for (IWORD k = 1; k <= nm; ++k) b(k) = X * a(k);
}

// Every word of B(IOB+1..IOB+M*N) receives an element, so nothing outside
// that range is touched.
void MRTRAN(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD IOB, double* B) {
  if (M <= 0 || N <= 0) return;
  const Mat1<const double> a(A + IOA, N);  // N x M
  const Mat1<double> b(B + IOB, M);        // M x N
  for (IWORD j = 1; j <= M; ++j)
    for (IWORD i = 1; i <= N; ++i) b(j, i) = a(i, j);
}

void MVCOPY(IWORD NR, IWORD NC, IWORD IOFF, double* V, IWORD IOA, IWORD JOA, IWORD LDA,
            double* A, IWORD MODE) {
  if (MODE != 1 && MODE != 2) return;
  const Mat1<double> vm(V + IOFF, NC);  // vm(j, i) = V(IOFF+(i-1)NC+j)
  const Mat1<double> am(A, LDA);
  for (IWORD j = 1; j <= NC; ++j)
    for (IWORD i = 1; i <= NR; ++i) {
      double& v = vm(j, i);
      double& a = am(IOA + i, JOA + j);
      if (MODE == 1)
        a = v;
      else
        v = a;
    }
}

void TRPROD(IWORD N, IWORD LDA, const double* A, IWORD LDB, const double* B, double& T) {
  const Mat1<const double> a(A, LDA), b(B, LDB);
  double t = 0.0;
  for (IWORD i = 1; i <= N; ++i)
    for (IWORD j = 1; j <= N; ++j) t += a(i, j) * b(j, i);
  T = t;
}

void MRINV(IWORD N, double* A) {
  if (N <= 0) return;
  const Mat1<double> a(A, N);
  for (IWORD k = 1; k <= N; ++k) {
    a(k, k) = 1.0 / a(k, k);
    const double piv = a(k, k);
    const Vec1<const double> ck(a.col(k));
    for (IWORD j = 1; j <= N; ++j) {
      if (j == k) continue;
      const Vec1<double> cj(a.col(j));
      cj(k) *= piv;
      const double akj = cj(k);
      for (IWORD i = 1; i <= k - 1; ++i) cj(i) -= ck(i) * akj;
      for (IWORD i = k + 1; i <= N; ++i) cj(i) -= ck(i) * akj;
    }
    for (IWORD i = 1; i <= N; ++i)
      if (i != k) a(i, k) = -a(i, k) * piv;
  }
}

void MSGNCK(IWORD N, const double* A, LWORD& L) {
  const Mat1<const double> a(A, N);
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= N; ++i) {
      const double v = a(i, j);
      const bool ok = (i == j) ? (v >= 0.0) : (v <= 0.0);
      if (!ok) {
        L = ORVK_FALSE;
        return;
      }
    }
  L = ORVK_TRUE;
}

}  // namespace orvika

using namespace orvika;

/* ORVK_MIDENT: A := identity of order N.
 *   N     in  IWORD     order, N >= 1 (nothing is written otherwise)
 *   IOFF  in  IWORD     word offset of the matrix in A, >= 0
 *   A     out real(IOFF+N*N)  A(IOFF+1..IOFF+N*N) = the N x N identity
 * Cost: N*N stores. */
extern "C" ORVK_API void ORVK_MIDENT(const IWORD* N, const IWORD* IOFF, double* A) {
  const IWORD n = *N, ioff = *IOFF;
  if (n < 1 || ioff < 0) return;
  const Vec1<double> v(A + ioff);
  const Mat1<double> a(A + ioff, n);
  for (IWORD k = 1; k <= n * n; ++k) v(k) = 0.0;
  for (IWORD i = 1; i <= n; ++i) a(i, i) = 1.0;
}

/* ORVK_MPACK: packs the N x N matrix A (contiguous) into AP.
 *   N     in  IWORD           order
 *   A     in  real(N*N)       matrix
 *   AP    out real(N(N+1)/2)  MODE 1: upper triangle by columns (A(i,j), i <= j,
 *                             at j(j-1)/2+i); MODE 2: lower triangle by columns
 *                             (A(i,j), i >= j, at i+(j-1)(2N-j)/2); other MODEs: zeros
 *   MODE  in  IWORD
 * Cost: N*N/2 moves. */
extern "C" ORVK_API void ORVK_MPACK(const IWORD* N, const double* A, double* AP, const IWORD* MODE) {
  const IWORD n = *N, mode = *MODE;
  if (n < 1) return;
  const Mat1<const double> a(A, n);
  const Vec1<double> ap(AP);
  const IWORD np = n * (n + 1) / 2;
  for (IWORD k = 1; k <= np; ++k) ap(k) = 0.0;
  IWORD pos = 0;
  if (mode == 1) {
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = 1; i <= j; ++i) ap(++pos) = a(i, j);
  } else if (mode == 2) {
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = j; i <= n; ++i) ap(++pos) = a(i, j);
  }
}

/* ORVK_MUNPAK: inverse of ORVK_MPACK for MODE 1 and 2; each packed element
 * goes to both (i,j) and (j,i) of the N x N matrix A.
 *   N     in  IWORD           order
 *   AP    in  real(N(N+1)/2)  packed triangle
 *   A     out real(N*N)       full symmetric matrix (untouched for other MODEs)
 *   MODE  in  IWORD           1 upper, 2 lower triangle
 * Cost: N*N moves. */
extern "C" ORVK_API void ORVK_MUNPAK(const IWORD* N, const double* AP, double* A, const IWORD* MODE) {
  const IWORD n = *N, mode = *MODE;
  if (n < 1 || (mode != 1 && mode != 2)) return;
  const Vec1<const double> ap(AP);
  const Mat1<double> a(A, n);
  IWORD pos = 0;
  for (IWORD j = 1; j <= n; ++j) {
    const IWORD i0 = (mode == 1) ? 1 : j;
    const IWORD i1 = (mode == 1) ? j : n;
    for (IWORD i = i0; i <= i1; ++i) {
      const double v = ap(++pos);
      a(i, j) = v;
      a(j, i) = v;
    }
  }
}
