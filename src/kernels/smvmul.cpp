// Compressed-row matrix-vector products: general, transposed, symmetric
// (full rows or half storage), row ranges and scattered results.
#include "frame/views.hpp"
#include "kernels/sparse.hpp"

using orvika::Vec1;

namespace {

// First position of a row that starts at row pointer KB: positions below 1
// lie outside the entry arrays and take no part.
inline IWORD first_entry(IWORD kb) { return kb < 1 ? 1 : kb; }

// Row sum of entries k = kb..ke-1: sum A(ioa+k) X(iox+JA(k)), two partial
// sums so that the loads of one entry overlap the multiply of the other.
// Positions below 1 are left out.
inline double row_dot(IWORD kb, IWORD ke, const IWORD* ja, IWORD ioa, const double* a, IWORD iox,
                      const double* x) {
  const double* av = a + (ioa - 1);
  const double* xv = x + (iox - 1);
  const IWORD* jv = ja - 1;
  double s0 = 0.0, s1 = 0.0;
  IWORD k = first_entry(kb);
  for (; k + 1 < ke; k += 2) {
    s0 += av[k] * xv[jv[k]];
    s1 += av[k + 1] * xv[jv[k + 1]];
  }
  if (k < ke) s0 += av[k] * xv[jv[k]];
  return s0 + s1;
}

}  // namespace

/* y = A x on a range of rows of a compressed-row matrix.
 *
 *   N    in  IWORD  not read
 *   I1   in  IWORD  first row of the range
 *   I2   in  IWORD  last row of the range; I2 < I1 does nothing
 *   IA   in  IWORD  row pointers, size >= I2+1 (positions below 1 are left out)
 *   JA   in  IWORD  column numbers
 *   IOA  in  IWORD  value offset: entry k has the value A(IOA+k)
 *   A    in  real   values (one array may hold several value sets)
 *   IOX  in  IWORD  offset of x: element j is X(IOX+j)
 *   X    in  real   vector x
 *   IOY  in  IWORD  offset of y
 *   Y    out real   Y(IOY + r - I1 + 1) = sum_k A(IOA+k) X(IOX+JA(k)), r = I1..I2
 *
 * Cost: one pass over the entries of the rows. */
extern "C" ORVK_API void ORVK_SMVMUL(const IWORD* N, const IWORD* I1, const IWORD* I2,
                                     const IWORD* IA, const IWORD* JA, const IWORD* IOA,
                                     const double* A, const IWORD* IOX, const double* X,
                                     const IWORD* IOY, double* Y) {
  Vec1<const IWORD> ia(IA);
  const IWORD i1 = *I1, i2 = *I2;
  if (i2 < i1 || i1 < 1) return;
  const IWORD ioa = *IOA, iox = *IOX;
  const Vec1<double> y(Y + (*IOY - i1 + 1));  // y(r) is Y(IOY + r - I1 + 1)
  for (IWORD r = i1; r <= i2; ++r) y(r) = row_dot(ia(r), ia(r + 1), JA, ioa, A, iox, X);
}

/* y = A^T x for a compressed-row matrix of M rows and N columns.
 *
 *   N    in  IWORD  number of columns of A (length of y)
 *   M    in  IWORD  number of rows of A (length of x)
 *   IA   in  IWORD  row pointers, size M+1 (positions below 1 are left out)
 *   JA   in  IWORD  column numbers, in 1..N (others are skipped)
 *   IOA  in  IWORD  value offset
 *   A    in  real   values A(IOA+k)
 *   IOX  in  IWORD  offset of x
 *   X    in  real   X(IOX+1..IOX+M)
 *   IOY  in  IWORD  offset of y
 *   Y    out real   Y(IOY+1..IOY+N) = A^T x
 *
 * Cost: one pass over the entries. */
extern "C" ORVK_API void ORVK_SVMMUL(const IWORD* N, const IWORD* M, const IWORD* IA,
                                     const IWORD* JA, const IWORD* IOA, const double* A,
                                     const IWORD* IOX, const double* X, const IWORD* IOY,
                                     double* Y) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A), x(X);
  Vec1<double> y(Y);
  const IWORD n = *N, m = *M, ioa = *IOA, iox = *IOX, ioy = *IOY;
  for (IWORD j = 1; j <= n; ++j) y(ioy + j) = 0.0;
  for (IWORD i = 1; i <= m; ++i) {
    const double xi = x(iox + i);
    for (IWORD k = first_entry(ia(i)); k < ia(i + 1); ++k) {
      const IWORD c = ja(k);
      if (c < 1 || c > n) continue;
      y(ioy + c) += a(ioa + k) * xi;
    }
  }
}

namespace orvika {

void SSMVML(IWORD NR, IWORD N, const IWORD* IA, const IWORD* JA, IWORD IOA, const double* A,
            IWORD IOX, const double* X, IWORD IOY, double* Y, IWORD MODE) {
  if (N < 1) return;
  double* y = Y + IOY - 1;
  const double* x = X + IOX - 1;
  const double* a = A + IOA - 1;
  if (MODE != 2) {
    for (IWORD r = 1; r <= N; ++r) y[r] = row_dot(IA[r - 1], IA[r], JA, IOA, A, IOX, X);
    return;
  }
  for (IWORD r = 1; r <= N; ++r) y[r] = 0.0;
  for (IWORD r = 1; r <= N; ++r) {
    const double xr = x[r];
    double s = 0.0;
    for (IWORD k = IA[r - 1]; k < IA[r]; ++k) {
      const IWORD c = JA[k - 1];
      if (c < 1 || c > N) continue;
      const double v = a[k];
      s += v * x[c];
      if (c != r) y[c] += v * xr;
    }
    y[r] += s;
  }
}

void SSMVPR(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, const double* X,
            double* Y) {
  // One pass: every entry (j, c) adds to Y(j); an entry with c < j is also
  // mirrored into Y(c) when it is the first entry of row j with column c.
  // An entry beyond the largest column seen so far in its row is always a
  // first one, so the backward search runs only for unsorted rows.
  if (N < 1) return;
  const double* x = X - 1;
  const double* a = A - 1;
  const IWORD* ja = JA - 1;
  double* y = Y - 1;
  for (IWORD j = 1; j <= N; ++j) y[j] = 0.0;
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD kb = IA[j - 1], ke = IA[j];
    const double xj = x[j];
    double s = 0.0;
    IWORD cmax = 0;
    for (IWORD k = kb; k < ke; ++k) {
      const IWORD c = ja[k];
      if (c < 1 || c > N) continue;
      const double v = a[k];
      s += v * x[c];
      if (c < j) {
        bool first = c > cmax;
        if (!first) {
          first = true;
          for (IWORD q = kb; q < k; ++q)
            if (ja[q] == c) {
              first = false;
              break;
            }
        }
        if (first) y[c] += v * xj;
      }
      if (c > cmax) cmax = c;
    }
    y[j] += s;
  }
}

void SMVPRD(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, const double* X,
            double* Y) {
  Vec1<const IWORD> ia(IA);
  Vec1<double> y(Y);
  for (IWORD i = 1; i <= N; ++i) y(i) = row_dot(ia(i), ia(i + 1), JA, 0, A, 0, X);
}

void SVMPRD(IWORD N, IWORD M, const IWORD* IA, const IWORD* JA, const double* A, const double* X,
            double* Y) {
  Vec1<const IWORD> ia(IA), ja(JA);
  Vec1<const double> a(A), x(X);
  Vec1<double> y(Y);
  for (IWORD j = 1; j <= M; ++j) y(j) = 0.0;
  for (IWORD i = 1; i <= N; ++i) {
    const double xi = x(i);
    for (IWORD k = ia(i); k < ia(i + 1); ++k) {
      const IWORD c = ja(k);
      if (c < 1 || c > M) continue;
      y(c) += a(k) * xi;
    }
  }
}

void SMVML2(IWORD N, IWORD IOFF, const IWORD* IA, const IWORD* JA, const double* A,
            const double* X, IWORD IOY, double* Y) {
  Vec1<const IWORD> ia(IA);
  Vec1<double> y(Y);
  for (IWORD r = IOFF + 1; r <= IOFF + N; ++r)
    y(IOY + r - IOFF) = row_dot(ia(r), ia(r + 1), JA, 0, A, 0, X);
}

void SMVSCT(IWORD N, const IWORD* LIST, IWORD IOFF, const IWORD* IA, const IWORD* JA,
            const double* A, const double* X, IWORD IOY, double* Y) {
  Vec1<const IWORD> list(LIST), ia(IA);
  Vec1<double> y(Y);
  for (IWORD r = IOFF + 1; r <= IOFF + N; ++r)
    y(IOY + list(r)) = row_dot(ia(r), ia(r + 1), JA, 0, A, 0, X);
}

}  // namespace orvika
