// Interim KKT solvers for word 67 = 2 and 3 of ORVK_NLPINT: both gather the
// lower triangle of K from its compressed rows into a packed triangle in the
// real work array RWLES and solve with the dense solver LDLTBK.  They keep
// the argument lists and result conventions of the sparse LDL^T and GMRES
// solvers, which replace them.
#include <utility>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dumps.hpp"
#include "qp/kkt.hpp"
#include "qp/qp.hpp"

namespace orvika {
namespace {

// Packed K (N(N+1)/2 words) at RW(1..), DWORK at the following N words,
// ISWAP (2N) and IPIVOT (N) in IW; false when the arrays are too short.
bool dense_solve(IWORD N, const IWORD* IA, const IWORD* JA, const double* A, const double* B,
                 double* X, IWORD LRW, double* RW, IWORD LIW, IWORD* IW, IWORD& ISING) {
  const IWORD np = N * (N + 1) / 2;
  if (LRW < np + N || LIW < 3 * N) return false;
  for (IWORD p = 0; p < np + N; ++p) RW[p] = 0;
  for (IWORD r = 1; r <= N; ++r)
    for (IWORD q = IA[r - 1]; q < IA[r]; ++q) {
      IWORD i = r, j = JA[q - 1];
      if (j > i) std::swap(i, j);
      RW[i * (i - 1) / 2 + j - 1] += A[q - 1];
    }
  for (IWORD i = 0; i < N; ++i) X[i] = B[i];
  for (IWORD i = 0; i < 3 * N; ++i) IW[i] = 0;
  LDLTBK(RW, N, X, 1, N, 0, IW, RW + np, IW + 2 * N, ISING, nlpint(ORVK_NLPINT_KKTUNIT),
         nlpint(ORVK_NLPINT_KKTLEVEL));
  return true;
}

}  // namespace

void LESSLV(IWORD MODE, IWORD N, IWORD NNZ, IWORD MEQ, IWORD MINEQ, IWORD NFILL, IWORD* IA,
            IWORD* JA, double* A, double* B, const double* BOLD, double* X, const IWORD* IRACTC,
            const IWORD* IACOLD, IWORD& ISROW, IWORD LDC, double* CWORK, IWORD LRWLES,
            double* RWLES, IWORD LIWLES, IWORD* IWLES, IWORD& ISING, IWORD& IFAIL) {
  ISROW = 0;
  const IWORD unit = nlpint(ORVK_NLPINT_KKTUNIT);
  IWORD ierr = 0;
  LENCHK(unit, LRWLES, N * (N + 1) / 2 + N, "RWLES     ", ierr);
  LENCHK(unit, LIWLES, 3 * N, "IWLES     ", ierr);
  if (ierr != 0) {
    IFAIL = 1;
    return;
  }
  dense_solve(N, IA, JA, A, B, X, LRWLES, RWLES, LIWLES, IWLES, ISING);
  if (ISING != 0) ISING = 1;
}

void GMRES(IWORD N, IWORD NX0, const double* XOLD, const IWORD* IA, const IWORD* JA,
           const double* A, const double* B, double* X, IWORD LIWLES, IWORD* IWLES,
           IWORD LRWLES, double* RWLES, IWORD& ISING) {
  if (!dense_solve(N, IA, JA, A, B, X, LRWLES, RWLES, LIWLES, IWLES, ISING)) {
    ISING = 1;
    return;
  }
  if (ISING != 0) ISING = 1;
}

}  // namespace orvika
