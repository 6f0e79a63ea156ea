// LU2SOL, LU2P2, LU1P3: methods 2 and 3 of the sparse LU package.  Method 2
// is the row-wise elimination of method 1 keeping its factors (the L rows as
// they are met, the U rows of every block saved before the next block
// overwrites them); method 3 solves new right-hand sides with them,
// repeating method 2's operations in the same order, so that a re-solve of
// the factoring right-hand side gives the same bits.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sparselu/lumethods.hpp"

namespace orvika {

void LU2SOL(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
            RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W32, IV W42, RV W26, IWORD LOWMAX,
            IV W29, IV W40, IV W41, const ORVK_SPOPT2_T& SPOPT2, RV W50, IV W51, IV W52, IV STEPC,
            IWORD& IERR, LuRecord* REC) {
  // Room of the block saves: the lengths of the views (the partition gives
  // each NZ entries).
  const IWORD savecap = std::min(W50.size(), W51.size());
  if (!lu_rhs_to_steps(N, MSGUNIT, IORN, B, NRHS, X, "LU2SOL", IERR)) return;
  for (IWORD j = 1; j <= N; ++j) W29(j) = IORN.get(j);
  LU1P1(N, MAXA, MSGUNIT, IRP, ICI, IA, IORN, X.as<IWORD>(), IERR);
  if (IERR < 0) return;
  LU2P2(N, MAXA, PIVTL1, PIVTL2, MSGUNIT, IRP, ICI, IA, B, NRHS, X, IORN, W39, W32, W42, W26,
        LOWMAX, W40, W41, SPOPT2, W50, W51, W52, savecap, STEPC, IERR, REC);
  if (IERR < 0) return;
  for (IWORD j = 1; j <= N; ++j) IORN(j) = W29.get(j);
  // Assemble U: each saved block's rows start relative to the block's own
  // first entry; the saved blocks go back to IA/ICI one after the other,
  // behind them the blocks that stayed in place (W52 = -1: the saves were
  // full), moved up as one piece.
  IWORD Hs = 0;
  bool kept = false;
  for (IWORD k = 1; k <= N && !kept; ++k)
    if (IORN.get(k) < 0 || k == N) {
      if (W52.get(k) < 0)
        kept = true;
      else
        Hs += W52.get(k);
    }
  if (kept) {
    const IWORD T = IRP.get(N + 1) - 1;  // entries of the blocks in place
    if (Hs + T > MAXA) {
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("NOT ENOUGH SPACE; MAXA TOO SMALL").tag("LU2SOL"),
                   SpLine().t("PROGRAM EXECUTION TERMINATED").tag("LU2SOL"));
      IERR = kSpNoRoom;
      return;
    }
    ICI.move(1, Hs + 1, T);
    IA.move(1, Hs + 1, T);
  }
  IWORD Q = 0;
  bool in_place = false;
  for (IWORD k = 1; k <= N; ++k) {
    IRP(k) = IRP.get(k) + (in_place ? Hs : Q);
    if (!in_place && (IORN.get(k) < 0 || k == N)) {
      const IWORD K = W52.get(k);
      if (K < 0) {
        in_place = true;
        continue;
      }
      for (IWORD e = Q + 1; e <= Q + K; ++e) {
        IA(e) = W50.get(e);
        ICI(e) = W51.get(e);
      }
      Q += K;
    }
  }
  if (N >= 1) IRP(N + 1) = IRP.get(N + 1) + (in_place ? Hs : Q);
}

void LU2P2(IWORD N, IWORD MAXA, double& PIVTL1, double& PIVTL2, IWORD MSGUNIT, IV IRP, IV ICI,
           RV IA, RV B, IWORD NRHS, RV X, IV IORN, IV W39, IV W32, IV W42, RV W26, IWORD LOWMAX,
           IV W40, IV W41, const ORVK_SPOPT2_T& SPOPT2, RV W50, IV W51, IV W52, IWORD SAVECAP,
           IV STEPC, IWORD& IERR, LuRecord* REC) {
  LuKeep keep{W32, W42, W26, LOWMAX, W50, W51, W52, SAVECAP, REC};
  lu_rows(N, PIVTL1, PIVTL2, MSGUNIT, IRP, ICI, IA, B, NRHS, X, IORN, W39, W40, W41,
          SPOPT2.CHKMODE, STEPC, &keep, IERR);
}

bool kept_flags_ok(IWORD N, IWORD MSGUNIT, IV W41, std::string_view head, std::string_view lead,
                   std::string_view tag, IWORD& IERR) {
  for (IWORD k = 1; k <= N; ++k) {
    if (W41.get(k) != 1) {
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t(head).tag(tag), SpLine().t(lead),
                   SpLine().t("AND/OR WAS FOUND TO BE NUMERICALLY AND/OR"),
                   SpLine().t("STRUCTURALLY SINGULAR"));
      IERR = kSpFactorsBad;
      return false;
    }
  }
  return true;
}

void kept_factors_bad(IWORD MSGUNIT, std::string_view head, std::string_view tag, IWORD& IERR) {
  if (MSGUNIT > 0)
    sp_message(MSGUNIT, SpLine().t(head).tag(tag), SpLine().t("THE KEPT FACTORS ARE NOT CONSISTENT"));
  IERR = kSpFactorsBad;
}

void LU1P3(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W39, IV IORN, IV W32, IV W42,
           RV W26, IV IRP, IV ICI, RV IA, IV W41, IWORD& IERR) {
  if (N < 1) return;
  constexpr std::string_view kHead = "THESE LU FACTORS SHOULD NOT BE USED";
  if (!kept_flags_ok(N, MSGUNIT, W41, kHead, "THE ORIGINAL MATRIX HAD EMPTY ROWS AND/OR COLUMNS",
                     "LU1P3", IERR))
    return;
  // The kept maps must index 1..N; the L rows and U rows must be ordered.
  auto refuse = [&]() { kept_factors_bad(MSGUNIT, kHead, "LU1P3", IERR); };
  for (IWORD k = 1; k <= N; ++k) {
    const IWORD s = W39.get(k);
    const IWORD r = std::abs(IORN.get(k));
    if (s < 1 || s > N || r < 1 || r > N) return refuse();
  }
  if (W32.get(1) < 1 || IRP.get(1) < 1) return refuse();
  for (IWORD k = 1; k <= N; ++k)
    if (W32.get(k + 1) < W32.get(k) || IRP.get(k + 1) < IRP.get(k)) return refuse();
  if (W32.get(N + 1) - 1 > std::min(W42.size(), W26.size()) ||
      IRP.get(N + 1) - 1 > std::min(ICI.size(), IA.size()))
    return refuse();

  const bool two = NRHS >= 2;
  IWORD s0 = 1;
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD r = std::abs(IORN.get(j));
    double y = B.get(r);
    double y2 = two ? B.get(N + r) : 0.0;
    const IWORD lb = W32.get(j);
    const IWORD le = W32.get(j + 1);
    if (le <= lb) {
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("ROW ").i(j).t(" OF L MATRIX IS EMPTY").tag("LU1P3"));
      IERR = kSpEmptyRow;
      return;
    }
    const double v = W26.get(le - 1);
    if (!(std::fabs(v) > 1e-30) || !std::isfinite(v)) {
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(j).t("  (LU1P3) "));
      IERR = kSpNumSing;
      return;
    }
    for (IWORD k = lb; k <= le - 2; ++k) {
      const IWORD c = W42.get(k);
      if (c < 1 || c > N) return refuse();
      const IWORD s = W39.get(c);
      const double l = W26.get(k);
      y = y - l * X.get(s);
      if (two) y2 = y2 - l * X.get(N + s);
    }
    // Multiplying by the reciprocal, as the factorisation did.
    const double g = 1.0 / v;
    X(j) = y * g;
    if (two) X(N + j) = y2 * g;
    if (IORN.get(j) < 0 || j == N) {
      for (IWORD rr = j - 1; rr >= s0; --rr) {
        double x = X.get(rr);
        double x2 = two ? X.get(N + rr) : 0.0;
        const IWORD ue = IRP.get(rr + 1);
        for (IWORD k = IRP.get(rr); k < ue; ++k) {
          const IWORD c = ICI.get(k);
          if (c < 1 || c > N) return refuse();
          const IWORD s = W39.get(c);
          const double u = IA.get(k);
          x = x - u * X.get(s);
          if (two) x2 = x2 - u * X.get(N + s);
        }
        X(rr) = x;
        if (two) X(N + rr) = x2;
      }
      s0 = j + 1;
    }
  }
  for (IWORD c = 1; c <= N; ++c) B(c) = X.get(W39.get(c));
  for (IWORD c = 1; c <= N; ++c) X(c) = B.get(c);
  if (two) {
    for (IWORD c = 1; c <= N; ++c) B(N + c) = X.get(N + W39.get(c));
    for (IWORD c = 1; c <= N; ++c) X(N + c) = B.get(N + c);
  }
}

}  // namespace orvika
