// Dense analysis routines: GRMSCH, REDHES, PRJMAT, WRSPLT, MPOSCK, ACTMAT.
#include "frame/views.hpp"
#include "kernels/dense_analysis.hpp"

#include <array>
#include <memory>
#include <new>

#include "frame/format.hpp"
#include "frame/units.hpp"
#include "kernels/dense.hpp"
#include "orvika/kernels_vector.h"
#include "orvika/qp.h"

namespace orvika {

namespace {

constexpr int kPrintLevel = 3;
// An element x is not positive when x - kShift < kBound.
constexpr double kShift = 1e-9;
constexpr double kBound = 1e-8;

inline bool not_positive(double x) { return !(x - kShift >= kBound); }

void vdump(IWORD unit, IWORD iprint, IWORD n, IWORD ioff, const double* v, const char (&label)[11]) {
  if (iprint < kPrintLevel) return;
  ORVK_VRDUMP(&unit, &n, &ioff, v, label, 10);
}

void sdump(IWORD unit, IWORD iprint, double x, const char (&label)[11]) {
  if (iprint < kPrintLevel) return;
  ORVK_SRDUMP(&unit, &x, label, 10);
}

// First position (1-based) of A(1..n) that is not positive, or 0.
IWORD first_not_positive(IWORD n, const double* a) {
  const Vec1<const double> v(a);
  for (IWORD p = 1; p <= n; ++p)
    if (not_positive(v(p))) return p;
  return 0;
}

}  // namespace

void GRMSCH(IWORD N, IWORD M, const double* B, double* BN, IWORD UNIT, IWORD IPRINT) {
  if (N < 1 || M < 0 || M > N) return;
  for (IWORD p = 0; p < N * M; ++p) BN[p] = B[p];
  vdump(UNIT, IPRINT, N * M, 0, BN, "BASISN    ");
  for (IWORD n = M + 1; n <= N; ++n) {
    double* bn = BN + (n - 1) * N;
    const IWORD offn = (n - 1) * N;
    for (IWORD i = 0; i < N; ++i) bn[i] = B[offn + i];
    vdump(UNIT, IPRINT, N, offn, BN, " BNI      ");
    for (IWORD j = 1; j <= n - 1; ++j) {
      const IWORD offj = (j - 1) * N;
      // A zero column has no direction to project on: its coefficient is 0.
      const double nrm = ORVK_AP2NRM(&N, &offj, BN);
      const double alpha = nrm > 0.0 ? ORVK_DINNER(&N, &offn, B, &offj, BN) / (nrm * nrm) : 0.0;
      sdump(UNIT, IPRINT, alpha, " ALPH     ");
      const double* bj = BN + offj;
      for (IWORD i = 0; i < N; ++i) bn[i] -= alpha * bj[i];
    }
    vdump(UNIT, IPRINT, N, offn, BN, " BNI      ");
  }
}

void REDHES(IWORD N, IWORD NOTUSED, IWORD NZ, const double* A, IWORD M, double* P,
            const double* B, double* BN, double* AP, IWORD UNIT, IWORD IPRINT) {
  if (N < 1 || NZ < 1 || NZ > N || M < 0 || M > N) return;
  const IWORD K = N - NZ;
  GRMSCH(N, M, B, BN, UNIT, IPRINT);
  vdump(UNIT, IPRINT, N * (N - NZ), N * NZ, BN, " PN       ");
  for (IWORD c = K + 1; c <= N; ++c) {
    const IWORD off = (c - 1) * N;
    const double nrm = ORVK_AP2NRM(&N, &off, BN);
    if (!(nrm > 0.0)) continue;  // a zero column stays zero
    for (IWORD i = 0; i < N; ++i) BN[off + i] /= nrm;
  }
  vdump(UNIT, IPRINT, N * NZ, K * N, BN, " PN       ");

  // Z = BN(:, K+1..N); P := Z^T as an NZ x N array, element (r, i) at
  // P((i-1) NZ + r), which is how the products below read it.
  const Mat1<const double> z(BN + K * N, N);
  const Mat1<double> pt(P, NZ);
  for (IWORD p = 0; p < N * NZ; ++p) P[p] = 0.0;
  for (IWORD r = 1; r <= NZ; ++r)
    for (IWORD i = 1; i <= N; ++i) pt(r, i) = z(i, r);

  // AP := P A (NZ x N), then P(1..NZ*NZ) := AP Z (NZ x NZ); MRMULT clears
  // each product before accumulating it.
  MRMULT(N, N, 0, A, NZ, 0, P, 0, AP);
  vdump(UNIT, IPRINT, N * NZ, 0, AP, " AP       ");
  MRMULT(NZ, N, K * N, BN, NZ, 0, AP, 0, P);
  vdump(UNIT, IPRINT, NZ * NZ, 0, P, " PTAP     ");
}

void PRJMAT(IWORD M, const double* A, IWORD N, const double* V, double* PV, double* W1,
            double* W2, double* P) {
  // G(l, k) = A((l-1) N + k).  P serves as the M x N temporary (G G^T)^-1 G,
  // which needs M <= N words per column of P.
  if (M < 1 || N < 1 || M > N) return;
  const Mat1<const double> gt(A, N);  // gt(k, l) = G(l, k)
  auto G = [gt](IWORD l, IWORD k) { return gt(k, l); };
  const Mat1<double> w2(W2, M), pm(P, M), w1(W1, N), pn(P, N);
  const Vec1<const double> v(V);
  const Vec1<double> pv(PV);

  // W2 := (G G^T)^-1.
  for (IWORD p = 0; p < M * M; ++p) W2[p] = 0.0;
  for (IWORD l2 = 1; l2 <= M; ++l2)
    for (IWORD l1 = 1; l1 <= M; ++l1) {
      double s = 0.0;
      for (IWORD k = 1; k <= N; ++k) s += G(l1, k) * G(l2, k);
      w2(l1, l2) = s;
    }
  MRINV(M, W2);

  // P(1..M*N) := W2 G (M x N).
  for (IWORD p = 0; p < M * N; ++p) P[p] = 0.0;
  for (IWORD k = 1; k <= N; ++k)
    for (IWORD q = 1; q <= M; ++q) {
      const double gqk = G(q, k);
      for (IWORD l = 1; l <= M; ++l) pm(l, k) += w2(l, q) * gqk;
    }

  // W1 := G^T P (N x N).
  for (IWORD p = 0; p < N * N; ++p) W1[p] = 0.0;
  for (IWORD k = 1; k <= N; ++k)
    for (IWORD i = 1; i <= N; ++i) {
      double s = 0.0;
      for (IWORD l = 1; l <= M; ++l) s += G(l, i) * pm(l, k);
      w1(i, k) = s;
    }

  // P := I - W1; PV := P^T V.
  for (IWORD p = 0; p < N * N; ++p) P[p] = -W1[p];
  for (IWORD i = 1; i <= N; ++i) pn(i, i) += 1.0;
  for (IWORD i = 1; i <= N; ++i) {
    double s = 0.0;
    for (IWORD k = 1; k <= N; ++k) s += pn(k, i) * v(k);
    pv(i) = s;
  }
}

void WRSPLT(IWORD N, double* U, double* W, IWORD& IPOS, LWORD& LFLAG, IWORD UNIT, IWORD IPRINT) {
  LFLAG = ORVK_FALSE;
  if (N < 0) return;
  const IWORD nn = N * N;
  // True, with IPOS set and the message written, when M(1..N*N) has an
  // element that is not positive.
  auto rejects = [&](const double* m) {
    const IWORD pos = first_not_positive(nn, m);
    if (pos == 0) return false;
    IPOS = pos;
    if (IPRINT < kPrintLevel) return true;
    write_rec(UNIT, Rec()
                        .X(1)
                        .A("MATRIX DOES NOT HAVE WEAK REGULAR SPLITTING")
                        .X(2)
                        .A("ELEMENT")
                        .I(pos, 4)
                        .X(2)
                        .A("IS NEGATIVE"));
    return true;
  };

  vdump(UNIT, IPRINT, nn, 0, U, " U        ");
  for (IWORD p = 0; p < nn; ++p) W[p] = -W[p];
  vdump(UNIT, IPRINT, nn, 0, W, " W        ");
  MRINV(N, U);
  vdump(UNIT, IPRINT, nn, 0, U, " UINV     ");
  vdump(UNIT, IPRINT, nn, 0, U, " A        ");
  if (rejects(U)) return;

  // S := W U^-1, in scratch sized by N (on the stack for small orders).
  constexpr IWORD kSmall = 400;
  std::array<double, kSmall> small;
  std::unique_ptr<double[]> large;
  double* S = small.data();
  if (nn > kSmall) {
    large.reset(new (std::nothrow) double[nn]);
    if (!large) return;
    S = large.get();
  }
  const Mat1<const double> wm(W, N), um(U, N);
  const Mat1<double> sm(S, N);
  for (IWORD c = 1; c <= N; ++c)
    for (IWORD x = 1; x <= N; ++x) {
      double s = 0.0;
      for (IWORD k = 1; k <= N; ++k) s += wm(x, k) * um(k, c);
      sm(x, c) = s;
    }
  vdump(UNIT, IPRINT, nn, 0, S, " U-1W     ");
  vdump(UNIT, IPRINT, nn, 0, S, " A        ");
  if (rejects(S)) return;
  IPOS = nn;
  LFLAG = ORVK_TRUE;
}

void MPOSCK(IWORD N, const double* A, IWORD& IPOS, IWORD& IFLAG, IWORD UNIT, IWORD IPRINT) {
  IFLAG = 0;
  if (N < 1) return;
  const IWORD nn = N * N;
  vdump(UNIT, IPRINT, nn, 0, A, " A        ");
  if (IWORD pos = first_not_positive(nn, A)) {
    IPOS = pos;
    IFLAG = 1;
    return;
  }
  IPOS = nn;
}

void ACTMAT(IWORD MEQ, IWORD IADD, IWORD NR, IWORD NC, const IWORD* IA, const IWORD* JA,
            const double* A, double* D, const void* NOTUSED, const IWORD* IRACT) {
  if (NR < 1 || NC < 1) return;
  for (IWORD p = 0; p < NR * NC; ++p) D[p] = 0.0;
  if (MEQ < 0) return;
  // Result row `row` from compressed row r; columns outside 1..NC are skipped.
  const Vec1<const IWORD> ia(IA), ja(JA), iract(IRACT);
  const Vec1<const double> a(A);
  const Mat1<double> d(D, NC);  // column `row` holds result row `row`
  auto put_row = [&](IWORD row, IWORD r) {
    for (IWORD k = ia(r); k < ia(r + 1); ++k) {
      const IWORD c = ja(k);
      if (c >= 1 && c <= NC) d(c, row) = a(k);
    }
  };
  const IWORD neq = MEQ < NR ? MEQ : NR;
  for (IWORD i = 1; i <= neq; ++i) put_row(i, i);
  if (IADD == 0 || NR == MEQ) return;
  // The active count comes from the QP solver; only the rows D has room for
  // are filled.
  IWORD nact = Vec1<const IWORD>(ORVK_NLPINT)(ORVK_NLPINT_NACTIV);
  const IWORD room = NR - MEQ > 0 ? NR - MEQ : 0;
  if (nact > room) nact = room;
  for (IWORD l = 1; l <= nact; ++l) {
    const IWORD r = MEQ + iract(l);
    if (r < 1) continue;
    put_row(MEQ + l, r);
  }
}

}  // namespace orvika
