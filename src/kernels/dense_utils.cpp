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
namespace {

// Word (i,j) of a block, 1-based: position IO+i + (JO+j-1)*LD.
inline IWORD blk(IWORD ld, IWORD io, IWORD jo, IWORD i, IWORD j) {
  return io + i + (jo + j - 1) * ld - 1;  // 0-based index
}

}  // namespace

void MTVMUL(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD IOX, const double* X,
            IWORD IOY, double* Y) {
  if (M <= 0) return;
  const double* x = X + IOX;
  for (IWORD i = 1; i <= M; ++i) {
    const double* col = A + IOA + (i - 1) * N;
    double s = 0.0;
    for (IWORD k = 0; k < N; ++k) s += col[k] * x[k];
    Y[IOY + i - 1] = s;
  }
}

void MRVMUL(IWORD M, IWORD N, IWORD LDA, IWORD IOA, IWORD JOA, const double* A, IWORD IOX,
            const double* X, IWORD IOY, double* Y) {
  if (M <= 0) return;
  for (IWORD i = 1; i <= M; ++i) {
    double s = 0.0;
    for (IWORD j = 1; j <= N; ++j) s += A[blk(LDA, IOA, JOA, i, j)] * X[IOX + j - 1];
    Y[IOY + i - 1] = s;
  }
}

void MRMULT(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD K, IWORD IOB, const double* B,
            IWORD IOC, double* C) {
  if (M <= 0 || K <= 0) return;
  for (IWORD i = 1; i <= M; ++i) {
    double* c = C + IOC + (i - 1) * K;
    for (IWORD k = 0; k < K; ++k) c[k] = 0.0;
    for (IWORD j = 1; j <= N; ++j) {
      const double a = A[IOA + (i - 1) * N + j - 1];
      const double* b = B + IOB + (j - 1) * K;
      for (IWORD k = 0; k < K; ++k) c[k] += b[k] * a;
    }
  }
}

void MRADD(IWORD M, IWORD N, double ALPHA, IWORD LDA, IWORD IOA, IWORD JOA, const double* A,
           double BETA, IWORD LDB, IWORD IOB, IWORD JOB, const double* B, IWORD LDC, IWORD IOC,
           IWORD JOC, double* C) {
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= M; ++i)
      C[blk(LDC, IOC, JOC, i, j)] =
          ALPHA * A[blk(LDA, IOA, JOA, i, j)] + BETA * B[blk(LDB, IOB, JOB, i, j)];
}

void MRCOPY(IWORD M, IWORD N, IWORD LDA, IWORD IOA, IWORD JOA, const double* A, IWORD LDB,
            IWORD IOB, IWORD JOB, double* B) {
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= M; ++i) B[blk(LDB, IOB, JOB, i, j)] = A[blk(LDA, IOA, JOA, i, j)];
}

void MRZERO(IWORD LDA, IWORD M, IWORD IOA, IWORD N, IWORD JOA, double* A) {
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= M; ++i) A[blk(LDA, IOA, JOA, i, j)] = 0.0;
}

void MRSCAL(IWORD N, IWORD M, IWORD IOA, const double* A, double X, IWORD IOB, double* B) {
  if (N <= 0 || M <= 0) return;
  const IWORD nm = N * M;
  for (IWORD k = 0; k < nm; ++k) B[IOB + k] = X * A[IOA + k];
}

// Every word of B(IOB+1..IOB+M*N) receives an element, so nothing outside
// that range is touched.
void MRTRAN(IWORD M, IWORD N, IWORD IOA, const double* A, IWORD IOB, double* B) {
  if (M <= 0 || N <= 0) return;
  for (IWORD j = 1; j <= M; ++j)
    for (IWORD i = 1; i <= N; ++i) B[IOB + (i - 1) * M + j - 1] = A[IOA + (j - 1) * N + i - 1];
}

void MVCOPY(IWORD NR, IWORD NC, IWORD IOFF, double* V, IWORD IOA, IWORD JOA, IWORD LDA,
            double* A, IWORD MODE) {
  if (MODE != 1 && MODE != 2) return;
  for (IWORD j = 1; j <= NC; ++j)
    for (IWORD i = 1; i <= NR; ++i) {
      double& v = V[IOFF + (i - 1) * NC + j - 1];
      double& a = A[blk(LDA, IOA, JOA, i, j)];
      if (MODE == 1)
        a = v;
      else
        v = a;
    }
}

void TRPROD(IWORD N, IWORD LDA, const double* A, IWORD LDB, const double* B, double& T) {
  double t = 0.0;
  for (IWORD i = 1; i <= N; ++i)
    for (IWORD j = 1; j <= N; ++j) t += A[(i - 1) + (j - 1) * LDA] * B[(j - 1) + (i - 1) * LDB];
  T = t;
}

void MRINV(IWORD N, double* A) {
  if (N <= 0) return;
  auto a = [A, N](IWORD i, IWORD j) -> double& { return A[(i - 1) + (j - 1) * N]; };
  for (IWORD k = 1; k <= N; ++k) {
    a(k, k) = 1.0 / a(k, k);
    const double piv = a(k, k);
    const double* ck = &a(1, k);
    for (IWORD j = 1; j <= N; ++j) {
      if (j == k) continue;
      double* cj = &a(1, j);
      cj[k - 1] *= piv;
      const double akj = cj[k - 1];
      for (IWORD i = 0; i < k - 1; ++i) cj[i] -= ck[i] * akj;
      for (IWORD i = k; i < N; ++i) cj[i] -= ck[i] * akj;
    }
    for (IWORD i = 1; i <= N; ++i)
      if (i != k) a(i, k) = -a(i, k) * piv;
  }
}

void MSGNCK(IWORD N, const double* A, LWORD& L) {
  for (IWORD j = 1; j <= N; ++j)
    for (IWORD i = 1; i <= N; ++i) {
      const double v = A[(i - 1) + (j - 1) * N];
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
  double* a = A + ioff;
  for (IWORD k = 0; k < n * n; ++k) a[k] = 0.0;
  for (IWORD i = 0; i < n; ++i) a[i * (n + 1)] = 1.0;
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
  const IWORD np = n * (n + 1) / 2;
  for (IWORD k = 0; k < np; ++k) AP[k] = 0.0;
  IWORD pos = 0;
  if (mode == 1) {
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = 1; i <= j; ++i) AP[pos++] = A[(i - 1) + (j - 1) * n];
  } else if (mode == 2) {
    for (IWORD j = 1; j <= n; ++j)
      for (IWORD i = j; i <= n; ++i) AP[pos++] = A[(i - 1) + (j - 1) * n];
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
  IWORD pos = 0;
  for (IWORD j = 1; j <= n; ++j) {
    const IWORD i0 = (mode == 1) ? 1 : j;
    const IWORD i1 = (mode == 1) ? j : n;
    for (IWORD i = i0; i <= i1; ++i) {
      const double v = AP[pos++];
      A[(i - 1) + (j - 1) * n] = v;
      A[(j - 1) + (i - 1) * n] = v;
    }
  }
}
