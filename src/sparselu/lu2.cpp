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
#include "frame/wspan.hpp"

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
  lu_replay(N, MSGUNIT, B, NRHS, X, W39, IORN, W32, W42, W26, IRP, ICI, IA, W41, IERR, nullptr);
}

void lu_replay(IWORD N, IWORD MSGUNIT, RV B, IWORD NRHS, RV X, IV W39, IV IORN, IV W32, IV W42,
               RV W26, IV IRP, IV ICI, RV IA, IV W41, IWORD& IERR, ReplayFuse* FUSE) {
  const bool two = NRHS >= 2;
  const RV* RS = FUSE ? FUSE->RS : nullptr;
  const RV* CS = FUSE ? FUSE->CS : nullptr;
  // B scaled in place, where the replay stops before reading it.
  auto scale_b = [&]() { replay_scale_b(FUSE, N, two, B); };
  if (N < 1) return;
  constexpr std::string_view kHead = "THESE LU FACTORS SHOULD NOT BE USED";
  if (!kept_flags_ok(N, MSGUNIT, W41, kHead, "THE ORIGINAL MATRIX HAD EMPTY ROWS AND/OR COLUMNS",
                     "LU1P3", IERR))
    return scale_b();
  // The kept maps must index 1..N; the L rows and U rows must be ordered.
  auto refuse = [&]() {
    scale_b();
    kept_factors_bad(MSGUNIT, kHead, "LU1P3", IERR);
  };
  if (!(FUSE && FUSE->maps_checked))
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

  // The loops run over unchecked spans, their extents checked above: the
  // maps, the right-hand sides and the solution, the L rows up to W32(N+1)
  // and the U rows up to IRP(N+1).  Column indices are still checked, since
  // a caller may have spoiled the kept factors.
  const IWORD nv = two ? 2 * N : N;
  const WSpan<IWORD> w39 = span(W39, 1, N), iorn = span(IORN, 1, N), w32 = span(W32, 1, N + 1);
  const WSpan<IWORD> irp = span(IRP, 1, N + 1);
  const WSpan<double> b = span(B, 1, nv), x = span(X, 1, nv);
  const IWORD nl = w32[N + 1] - 1, nu = irp[N + 1] - 1;
  const WSpan<IWORD> lc = span(W42, 1, nl), uc = span(ICI, 1, nu);
  const WSpan<double> lv = span(W26, 1, nl), uv = span(IA, 1, nu);
  const WSpan<double> rs = span(RS ? *RS : B, 1, RS ? N : 0);
  IWORD s0 = 1;
  for (IWORD j = 1; j <= N; ++j) {
    const IWORD r = std::abs(iorn[j]);
    double y = b[r];
    double y2 = two ? b[N + r] : 0.0;
    if (RS) {
      y *= rs[r];
      y2 *= rs[r];
    }
    const IWORD lb = w32[j];
    const IWORD le = w32[j + 1];
    if (le <= lb) {
      scale_b();
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("ROW ").i(j).t(" OF L MATRIX IS EMPTY").tag("LU1P3"));
      IERR = kSpEmptyRow;
      return;
    }
    const double v = lv[le - 1];
    if (!(std::fabs(v) > 1e-30) || !std::isfinite(v)) {
      scale_b();
      if (MSGUNIT > 0)
        sp_message(MSGUNIT, SpLine().t("MATRIX IS NUMERICALLY SINGULAR AT ROW ").i(j).t("  (LU1P3) "));
      IERR = kSpNumSing;
      return;
    }
    if (two) {
      for (IWORD k = lb; k <= le - 2; ++k) {
        const IWORD c = lc[k];
        if (c < 1 || c > N) return refuse();
        const IWORD s = w39[c];
        const double l = lv[k];
        y = y - l * x[s];
        y2 = y2 - l * x[N + s];
      }
    } else {
      for (IWORD k = lb; k <= le - 2; ++k) {
        const IWORD c = lc[k];
        if (c < 1 || c > N) return refuse();
        y = y - lv[k] * x[w39[c]];
      }
    }
    // Multiplying by the reciprocal, as the factorisation did.
    const double g = 1.0 / v;
    x.set(j, y * g);
    if (two) x.set(N + j, y2 * g);
    if (iorn[j] < 0 || j == N) {
      for (IWORD rr = j - 1; rr >= s0; --rr) {
        double xr = x[rr];
        double xr2 = two ? x[N + rr] : 0.0;
        const IWORD ue = irp[rr + 1];
        for (IWORD k = irp[rr]; k < ue; ++k) {
          const IWORD c = uc[k];
          if (c < 1 || c > N) return refuse();
          const IWORD s = w39[c];
          const double u = uv[k];
          xr = xr - u * x[s];
          if (two) xr2 = xr2 - u * x[N + s];
        }
        x.set(rr, xr);
        if (two) x.set(N + rr, xr2);
      }
      s0 = j + 1;
    }
  }
  // B(c) is the value of step W39(c); X receives it (unscaled with CS).
  for (IWORD c = 1; c <= N; ++c) b.set(c, x[w39[c]]);
  if (two)
    for (IWORD c = 1; c <= N; ++c) b.set(N + c, x[N + w39[c]]);
  if (CS) {
    const WSpan<double> cs = span(*CS, 1, N);
    for (IWORD c = 1; c <= N; ++c) x.set(c, b[c] * cs[c]);
    if (two)
      for (IWORD c = 1; c <= N; ++c) x.set(N + c, b[N + c] * cs[c]);
    FUSE->scaled_x = true;
  } else {
    for (IWORD c = 1; c <= N; ++c) x.set(c, b[c]);
    if (two)
      for (IWORD c = 1; c <= N; ++c) x.set(N + c, b[N + c]);
  }
}

}  // namespace orvika
