// Linear solves of the continuation driver: the scaled homotopy matrix,
// the dense path (own LU) and the sparse path through ORVK_CONTRL with its
// accuracy check, and the combination of the solutions into a tangent, a
// bordered corrector step or a fixed-parameter Newton step.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "fcont/driver_ctx.hpp"
#include "fcont/fcont_parts.hpp"
#include "frame/format.hpp"
#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "kernels/sparse.hpp"
#include "orvika/sparselu.h"
#include "sparselu/checked_solve.hpp"

namespace orvika::fcont {
namespace {

bool inside(IWORD start, IWORD len, IWORD total) {
  return len <= 0 || (start >= 1 && start - 1 <= total - len);
}

// Forms the scaled homotopy matrix in AJAC (type 3 sparse: without the
// diagonal term, which goes into the solver's copy).
void form_matrix(Ctx& c) {
  const FcontArgs& a = c.a;
  const double lam = c.rlam();
  const IWORD ihom = c.ihom();
  const IWORD n = c.n;
  const Vec1<const double> FS(a.FSCALE, n), XS(a.XSCALE, n);
  if (c.sparse()) {
    const IWORD nz = c.nz();
    const Vec1<double> AJAC(a.AJAC, nz);
    const Vec1<const double> AJ0(c.w.AJ0, nz);
    const Vec1<const IWORD> IRN(a.IRN, nz), ICN(a.ICN, nz);
    for (IWORD k = 1; k <= nz; ++k) {
      double m = AJAC(k);
      if (ihom == 2)
        m = (1.0 - lam) * m + lam * AJ0(k);
      else if (ihom == 3)
        m = (1.0 - lam) * m;
      AJAC(k) = FS(IRN(k)) * m * XS(ICN(k));
    }
    c.R(ri::RLAMFA) = lam;
    return;
  }
  const Mat1<double> AJAC(a.AJAC, c.ldb());
  const Mat1<const double> AJ0(c.w.AJ0, n);
  for (IWORD j = 1; j <= n; ++j) {
    for (IWORD i = 1; i <= n; ++i) {
      double m = AJAC(i, j);
      if (ihom == 2)
        m = (1.0 - lam) * m + lam * AJ0(i, j);
      else if (ihom == 3)
        m = (1.0 - lam) * m;
      AJAC(i, j) = FS(i) * m * XS(j);
    }
    if (ihom == 3) AJAC(j, j) += lam;
  }
}

void print_both(Ctx& c, IWORD spacing, const Rec& r) {
  char line[kLineLen];
  r.to_text(line, sizeof line);
  fcont_prtline(c.P(ip::KPLUNT), c.a.MSGRTN, spacing, line, kLineLen);
  fcont_prtline(c.P(ip::KPTUNT), c.a.MSGRTN, spacing, line, kLineLen);
}

// The sparse solver's options of the run: private copies of the words of
// ORVK_SPOPT1-3 that the run sets, or that ORVK_CONTRL leaves for the
// next call of the run (partition, entry count).  They are put into the
// shared blocks only around each call, so a host's own use of the blocks
// between two requests and the run never disturb one another.  (One run
// at a time, like the rest of the solver's static storage.)
SparseOptions g_sparse;

// Whether the solution of the latest linear solve of the run was accepted
// with a residual ratio above the accuracy limit, or from a dense factor
// with an infinite pivot (see last_solve_inaccurate).
bool g_inaccurate = false;

// The solver's own unit for the sparse package's messages: the first of
// the two message units that the library writes itself (1..100); a unit of
// the caller's message routine means nothing to the package.
IWORD own_unit(const Ctx& c) {
  for (const IWORD u : {c.P(ip::KPLUNT), c.P(ip::KPTUNT)})
    if (u >= 1 && u <= 100) return u;
  return 0;
}

// True when IPERM(1..N) is a row numbering the package can take: |IPERM|
// a permutation of 1..N (a sign marks the end of a block).  MARKS: N words
// of scratch.
bool row_order_usable(IWORD n, const IWORD* iperm, double* marks) {
  const IV mark = WorkSpace(marks, std::max<IWORD>(n, 0)).ivec(1);
  for (IWORD i = 1; i <= n; ++i) mark(i) = 0;
  const Vec1<const IWORD> IPERM(iperm, n);
  for (IWORD i = 1; i <= n; ++i) {
    const IWORD v = IPERM(i);
    if (v == 0 || v < -n || v > n) return false;
    const IWORD r = v < 0 ? -v : v;
    if (mark(r) != 0) return false;
    mark(r) = 1;
  }
  return true;
}

// The driver's input positions in a work area of NWLIN words: right-hand
// sides first, row and column numbers from a quarter of the area, the row
// numbering just below them, the values at the end.
void place_input(IWORD nwlin, IWORD n, IWORD nz2, ORVK_SPOPT2_T& o) {
  o.IB = 1;
  o.IVECT = (o.I4FAC * nwlin) / 4;
  o.JVECT = o.IVECT + nz2;
  o.IORN = o.IVECT - 2 * n;
  o.IA = nwlin - nz2;
}

// The continuation solver as a client of the checked sparse solve: its own
// option words (G_SPARSE), the triplets with the type 3 diagonal in WLIN,
// its messages on both print units.
class SparseClient {
 public:
  SparseClient(Ctx& c, IWORD nrhs) : c_(c), a_(c.a), n_(c.n), nz_(c.nz()), nrhs_(nrhs) {}

  IWORD place(bool& /*reuse*/) {
    const IWORD nwlin = c_.w.NWLIN;
    double* wl = c_.w.WLIN;
    const IV iwl = WorkSpace(wl, nwlin).ivec(1);
    const Vec1<double> WL(wl, nwlin);
    const Vec1<const IWORD> IPERM(a_.IPERM, n_), IRN(a_.IRN, nz_), ICN(a_.ICN, nz_);
    const IWORD nz2 = c_.I(ii::NZ2);
    ORVK_SPOPT2_T& o = g_sparse.opt2;
    if (c_.I(ii::IREORD) == 1) {
      o.ORDOPT = 6;
    } else {
      o.ORDOPT = 2;
      if (o.IORNIN == 1) {
        if (!inside(o.IORN, n_, nwlin) || !inside(1, n_, nwlin)) return 15;
        // The right-hand sides are copied after it: their place is scratch.
        if (row_order_usable(n_, a_.IPERM, wl)) {
          for (IWORD i = 1; i <= n_; ++i) iwl(o.IORN + i - 1) = IPERM(i);
        } else {
          o.IORNIN = 0;  // a fresh ordering from here on
        }
      }
    }
    const IWORD ib = o.IB, iv = o.IVECT, jv = o.JVECT;
    ia_ = o.IA;
    if (!inside(ib, nrhs_ * n_, nwlin) || !inside(iv, nz2, nwlin) || !inside(jv, nz2, nwlin) ||
        !inside(ia_, nz2, nwlin))
      return 15;
    std::copy(c_.w.W1, c_.w.W1 + n_, wl + ib - 1);
    if (nrhs_ == 2) std::copy(c_.w.W2, c_.w.W2 + n_, wl + ib - 1 + n_);
    for (IWORD k = 1; k <= nz_; ++k) {
      iwl(iv + k - 1) = IRN(k);
      iwl(jv + k - 1) = ICN(k);
    }
    std::copy(a_.AJAC, a_.AJAC + nz_, wl + ia_ - 1);
    if (c_.ihom() == 3) {
      const double lamfa = c_.R(ri::RLAMFA);
      const Vec1<const IWORD> JLOCD(c_.w.JLOCD, n_);
      for (IWORD i = 1; i <= n_; ++i) {
        const IWORD p = JLOCD(i);
        if (p <= nz_) {
          WL(ia_ + p - 1) += lamfa;
        } else {
          iwl(iv + p - 1) = i;
          iwl(jv + p - 1) = i;
          WL(ia_ + p - 1) = lamfa;
        }
      }
    }
    return 0;
  }

  IWORD call() {
    IWORD nn = n_, nzz = c_.I(ii::NZ2);
    return sparse_call(g_sparse, c_.w.WLIN, c_.w.NWLIN, nn, nzz, 2, nrhs_);
  }

  void fresh() { c_.I(ii::IREORD) = 0; }

  static IWORD failed(IWORD code) {
    if (code >= ORVK_SP_DATA_LAST) return 14;
    if (code == ORVK_SP_STRUCT_SINGULAR) return 5;
    if (code == ORVK_SP_NUM_SINGULAR) return 4;
    return 15;
  }

  // The residual of the first solution against the triplets of the
  // caller's matrix (the type 3 diagonal taken off the right-hand side).
  IWORD residual(double& ratio) {
    c_.I(ii::IREORD) = 1;
    const IWORD nwlin = c_.w.NWLIN;
    double* wl = c_.w.WLIN;
    const ORVK_SPOPT2_T& o = g_sparse.opt2;
    const IWORD ibx = o.IB, ix = o.X;
    if (!inside(ibx, 2 * n_, nwlin) || !inside(ix, nrhs_ * n_, nwlin)) return 15;
    rhs_ = wl + ibx - 1;
    sol_ = wl + ix - 1;
    if (c_.ihom() == 3) {
      const double lamfa = c_.R(ri::RLAMFA);
      const Vec1<double> RHS(rhs_, n_);
      const Vec1<const double> SOL(sol_, n_);
      for (IWORD i = 1; i <= n_; ++i) RHS(i) -= lamfa * SOL(i);
    }
    RESIDC(n_, nz_, a_.IRN, a_.ICN, a_.AJAC, sol_, rhs_, rhs_ + n_, znorm_, ratio);
    zratio_ = ratio;
    return 0;
  }

  void report(IWORD attempt) {
    const ORVK_SPOPT1_T& t = g_sparse.opt1;
    const IWORD kplunt = c_.P(ip::KPLUNT);
    Rec r1;
    r1.A("  Fcont_Solve: CHKT  =").G(t.PIVTL1, 13, 5).A(" PIVT   =").G(t.PIVTL2, 13, 5);
    print_both(c_, 10, r1);
    Rec r2;
    r2.A("               ZNORM =").G(znorm_, 13, 5).A(" ZRATIO =").G(zratio_, 13, 5);
    print_both(c_, 1, r2);
    if (c_.P(ip::KPLLEV) >= 9) {
      if (attempt == 1) {
        static constexpr char kHead[] = "  Jacobian dump:";
        fcont_prtline(kplunt, a_.MSGRTN, 10, kHead, sizeof kHead - 1);
        char line[kLineLen];
        const Vec1<const double> WL(c_.w.WLIN, c_.w.NWLIN);
        const Vec1<const IWORD> IRN(a_.IRN, nz_), ICN(a_.ICN, nz_);
        for (IWORD k = 1; k <= nz_; ++k) {
          Rec r;
          r.I(IRN(k), 7).I(ICN(k), 7).E(WL(ia_ + k - 1), 18, 10, 1);
          r.to_text(line, sizeof line);
          fcont_prtline(kplunt, a_.MSGRTN, 0, line, kLineLen);
        }
        fcont_dumpvec(kplunt, a_.MSGRTN, "  RHS Dump:", n_, rhs_, 11);
      }
      fcont_dumpvec(kplunt, a_.MSGRTN, "  DX Dump:", n_, sol_, 10);
    }
  }

  static ORVK_SPOPT1_T& tolerances() { return g_sparse.opt1; }

  // Raised tolerances also stay for later users of the shared block (never
  // lowered there).
  static void raised() {
    ORVK_SPOPT1.PIVTL1 = std::max(ORVK_SPOPT1.PIVTL1, g_sparse.opt1.PIVTL1);
    ORVK_SPOPT1.PIVTL2 = std::max(ORVK_SPOPT1.PIVTL2, g_sparse.opt1.PIVTL2);
  }

  IWORD accept() {
    g_inaccurate = sparse_ratio_inaccurate(zratio_, false);
    std::copy(sol_, sol_ + n_, c_.w.W1);
    if (nrhs_ == 2) std::copy(sol_ + n_, sol_ + 2 * n_, c_.w.W2);
    return 0;
  }

 private:
  Ctx& c_;
  const FcontArgs& a_;
  const IWORD n_, nz_, nrhs_;
  IWORD ia_ = 0;             // position of the values of the last call
  double* rhs_ = nullptr;    // right-hand sides and solutions of the last call
  const double* sol_ = nullptr;
  double znorm_ = 0.0, zratio_ = 0.0;
};

// Sparse solve of the right-hand sides in W1 (and W2) through ORVK_CONTRL;
// a ratio that is not a number passes the check.
IWORD sparse_solve(Ctx& c, IWORD nrhs) {
  SparseClient client(c, nrhs);
  return checked_sparse_solve(client, c.I(ii::IREORD) == 1, false);
}

}  // namespace

IWORD sparse_setup(Ctx& c) {
  const FcontArgs& a = c.a;
  const IWORD n = c.n, nz = c.nz();
  c.I(ii::IREORD) = 0;
  // Diagonal positions for type 3: existing diagonal entries, or new ones
  // appended after the caller's entries.
  IWORD nz2 = nz;
  if (c.ihom() == 3) {
    const Vec1<IWORD> LOC(c.w.JLOCD, n);
    const Vec1<const IWORD> IRN(a.IRN, nz), ICN(a.ICN, nz);
    for (IWORD i = 1; i <= n; ++i) LOC(i) = 0;
    for (IWORD k = 1; k <= nz; ++k)
      if (IRN(k) == ICN(k)) LOC(IRN(k)) = k;
    for (IWORD i = 1; i <= n; ++i)
      if (LOC(i) == 0) LOC(i) = ++nz2;
  }
  c.I(ii::NZ2) = nz2;

  // The run's own options, taken from the caller's blocks once; the
  // blocks themselves are not changed.
  g_sparse = sparse_options_from_blocks();
  ORVK_SPOPT2_T& o = g_sparse.opt2;
  const IWORD nwlin = c.w.NWLIN;
  if (o.CHKMODE != 1 && o.CHKMODE != 3) o.CHKMODE = 2;
  o.INPFRM = 1;
  if (o.ORDOPT < 1 || o.ORDOPT > 6) o.ORDOPT = 2;
  o.METHOD = sparse_factoring_method(o.METHOD);
  if (o.SCLOPT != 2) o.SCLOPT = 1;
  o.RSTOPT = 1;
  // A row numbering is handed over only when IPERM is one (checked with
  // W2 as scratch, free until the first tangent).
  if (n < 1 || !row_order_usable(n, a.IPERM, c.w.W2)) o.IORNIN = 0;
  if (o.CBSROW < 1 || o.CBSROW > n) o.CBSROW = n;
  if (o.RNKOPT != 0) o.RNKOPT = 1;
  o.MSGUNIT = sparse_message_unit(o.MSGUNIT, own_unit(c));
  o.I4FAC = 1;
  place_input(nwlin, n, nz2, o);

  ORVK_SPOPT1_T& t = g_sparse.opt1;
  if (!(t.PIVTL1 > 0.0 && t.PIVTL1 <= 1.0)) t.PIVTL1 = 1e-4;
  if (!(t.PIVTL2 > 0.0 && t.PIVTL2 <= 1.0)) t.PIVTL2 = 1e-4;
  if (t.SPCFAC >= c.Q(rp::RMISS) || t.SPCFAC < 0.1) t.SPCFAC = 1.0;

  // The work area must hold what the package needs for a new analysis
  // with these positions; the least length is named in the message.  A
  // structure without any entry is never factorised (its empty rows end
  // the run with the first Jacobian), so no room is needed for it.
  SparseOptions first = g_sparse;
  first.opt2.ORDOPT = 2;
  if (nz2 > 0 && !sparse_accepts(first, n, nz2, 2, nwlin)) {
    const IWORD least = sparse_least_work(first, n, nz2, 2, [&](IWORD len, ORVK_SPOPT2_T& p) {
      place_input(len, n, nz2, p);
    });
    const IWORD lead = c.a.LW[0] - nwlin;  // the words in front of WLIN
    Rec r;
    if (least > 0 && least <= INT64_MAX - lead)
      r.A("!!!Fcont_Solve: work array W too short, LW must be at least").I(lead + least, 20);
    else
      r.A("!!!Fcont_Solve: work array W too short for the sparse solver");
    print_both(c, 11, r);
    return 15;
  }
  return 0;
}

bool last_solve_inaccurate() { return g_inaccurate; }

IWORD linear_solve(Ctx& c, IWORD purpose, IWORD nrhs) {
  g_inaccurate = false;
  const IWORD n = c.n;
  double* w1 = c.w.W1;
  double* w2 = c.w.W2;
  const Vec1<double> W1(w1, c.np1), W2(w2, c.np1);
  const Vec1<const double> FS(c.a.FSCALE, n);
  for (IWORD i = 1; i <= n; ++i) W1(i) *= FS(i);
  if (nrhs == 2)
    for (IWORD i = 1; i <= n; ++i) W2(i) *= FS(i);
  c.R(ri::RHOLEN) = fcont_l2norm(n, w1);
  const bool fresh = c.I(ii::NEWJAC) == 1;
  if (fresh) form_matrix(c);
  if (c.sparse()) {
    const IWORD code = sparse_solve(c, nrhs);
    if (code != 0) return code;
  } else {
    if (fresh) {
      fcont_lufact(n, c.ldb(), c.a.AJAC, c.a.IPERM, c.Q(rp::SINGT), c.Q(rp::EPSMCH));
      if (Vec1<const IWORD>(c.a.IPERM, n)(n) > 0) return 4;
    }
    fcont_lusolve(n, c.a.IPERM, c.ldb(), c.a.AJAC, w1);
    if (nrhs == 2) fcont_lusolve(n, c.a.IPERM, c.ldb(), c.a.AJAC, w2);
    // An infinite pivot (an infinite derivative) divides its part of the
    // solution to 0: the step's length then says nothing about the
    // distance to the path.
    const Mat1<const double> LU(c.a.AJAC, c.ldb());
    for (IWORD k = 1; k <= n && !g_inaccurate; ++k) g_inaccurate = !std::isfinite(LU(k, k));
  }
  const double* tpred = c.w.TPRED;
  const IWORD np1 = c.np1;
  if (purpose == 2) {
    W1(np1) = 1.0;
  } else if (nrhs == 1) {
    W1(np1) = 0.0;
  } else {
    const double av = fcont_inner(n, tpred, w1);
    const double bv = fcont_inner(n, tpred, w2);
    const double d = bv + Vec1<const double>(tpred, np1)(np1);
    if (std::fabs(d) > 1e-4 * std::fabs(av)) {
      const double mu = -av / d;
      for (IWORD i = 1; i <= n; ++i) W1(i) += mu * W2(i);
      W1(np1) = mu;
    } else {
      W1(np1) = 0.0;
    }
  }
  // A Jacobian or right-hand side with values that are not finite numbers
  // (an evaluation outside the model's domain, an overflow in the
  // factorisation) gives no usable direction: the caller is never asked for
  // its model at a point made from it.
  for (IWORD i = 1; i <= np1; ++i)
    if (!std::isfinite(W1(i))) return 4;
  c.R(ri::DYLEN) = fcont_l2norm(np1, w1);
  if (purpose == 2) {
    double s = 1.0 / c.R(ri::DYLEN);
    if (fcont_inner(np1, tpred, w1) < 0.0) s = -s;
    const Vec1<double> TB(c.w.TB, np1);
    for (IWORD i = 1; i <= np1; ++i) TB(i) = s * W1(i);
  }
  return 0;
}

}  // namespace orvika::fcont
