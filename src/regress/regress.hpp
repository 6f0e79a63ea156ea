// Internal routines of the data-regression engines: model calls and the host
// run protocol, packed symmetric kernels, per-point routines of ORVK_LUEBRN,
// its parameter lines, and the covariance of ORVK_LUEBRI.
//
// Array shapes (column-major, 1-based): Z-shaped NMMAX x NDAT, F-shaped
// NCMAX x NDAT, FZ(NCMAX, NMMAX, NDAT), FP(NCMAX, NPAR, NDAT),
// W(NCMAX, NCMAX, NDAT); packed symmetric (PACKSYM) element (i, j), i <= j,
// at j(j-1)/2 + i.
#pragma once

#include <algorithm>
#include <cmath>
#include <string_view>

#include "frame/format.hpp"
#include "frame/views.hpp"
#include "orvika/orvika_types.h"
#include "orvika/regress.h"

namespace orvika {

// ---- model calls ----------------------------------------------------------

// Calls MODEL in its nine-argument form (LFORM9) or sixteen-argument form.
// In the nine-argument form the model's y_i(P) become F(1, i) - Z(1, i).
void LBFCN(const double* z, const double* zm, void* mdat2, const double* p, IWORD ndat,
           IWORD nmmax, const IWORD* nmeas, void* mdat1, IWORD npar, IWORD ncmax,
           const IWORD* ncons, IWORD req, double* f, double* fz, double* fp, bool lform9,
           ORVK_MODELFN model, void* muser);

// Constraint values and derivatives: analytic (NDRV = 0), forward (1) or
// central (>= 2) differences; P and Z come back unchanged.  On the value
// requests (1) the model's derivative arguments are FZS and FPS, arrays of
// the full sizes of FZ and FP (FZ and FP themselves when null).
void LBDERV(IWORD npar, IWORD ndat, IWORD nmmax, const IWORD* nmeas, void* mdat1, IWORD ncmax,
            const IWORD* ncons, IWORD ndrv, double* p, double* z, const double* zm, void* mdat2,
            double* f, double* fz, double* fp, ORVK_MODELFN model, IWORD kprint, IWORD iterno,
            double* zsave, double* fpert, double ssnd, IWORD& ncall, void* muser, IWORD iunit,
            bool lform9, bool lbase, bool lderz, bool lderp, double* fzs = nullptr,
            double* fps = nullptr);

// ---- host run protocol ----------------------------------------------------

// True when the last iteration took more than two thirds of the time left
// (1.5 (T - TPREV) > TLIMIT - T).
bool time_exhausted(double t, double tprev);
// The time-limit box on the report unit and, when TERMON > 0, the terminal.
void time_limit_box(IWORD unit);
// Shows the records LINES(1..N) on the host terminal (when TERMON > 0).
void terminal(const Rec* lines, int n);

// ---- packed symmetric kernels ---------------------------------------------

// A = U'U with a floor |a_ii TOL| on the pivots; IRANK -1 (N <= 0), 0, or the
// first floored row.
void DMCHOL(double* a, IWORD n, double tol, IWORD& irank);
// A := inverse of the floored factor product, in place.
void DPKINV(double* a, IWORD n, double tol, IWORD& irank);
// Sum over blocks j of S_j' M_j S_j (leading NSIZE(j) entries).
double DQFORM(IWORD ld, const IWORD* nsize, IWORD nblk, const double* s, const double* m);

// True when some parameter has an effect on the weighted values, the larger
// of |P(j)| and its typical magnitude at the start, |P0(j)| + 0.01, times the
// root of the diagonal H(j, j) of the normal matrix (leading dimension NPAR),
// that is below kSaturated of the root of SIZE (the sum of the squared
// weighted measurements): the model has saturated in it, at a limit where
// the first-order conditions hold without a fit.  (A parameter whose value
// has shrunk to about 0 with an ordinary derivative column is a fit with a
// zero coefficient, not a saturation: its column, not its value, tells.)
// An effect of exactly 0 counts only for a parameter that has left its start
// value P0 (one that never had an effect stays where it was).
constexpr double kSaturated = 1e-13;
bool saturated(IWORD npar, const double* p, const double* h, double size, const double* p0);
// The test for one parameter of value PJ and typical magnitude TYP whose
// derivative column has the squared norm CNORM2; MOVED: the parameter has
// left its start.
inline bool saturating(double pj, double typ, double cnorm2, bool moved, double size) {
  const double effect = std::max(std::fabs(pj), typ) * std::sqrt(cnorm2);
  if (effect == 0 && !moved) return false;
  return effect <= kSaturated * std::sqrt(size);
}

// Growth of a parameter over its typical magnitude at the start P0, |P0| +
// 0.01, beyond which the parameters may have followed a valley of the model
// outwards to a limit at infinity.
constexpr double kRunaway = 1e4;
inline bool ran_away(IWORD npar, const double* p, const double* p0) {
  for (IWORD j = 0; j < npar; ++j)
    if (std::fabs(p[j]) > kRunaway * (std::fabs(p0[j]) + 0.01)) return true;
  return false;
}
// Growth alone is no limit: a fit may lie far from its start (a constant of
// 500 started at 0).  Along a valley to infinity the parameters' effects
// cancel instead: the effect of the growth D, D'HD (H the normal matrix),
// is a vanishing part of the parameters' separate effects, sum D_j^2 H_jj
// (in y = p1 x/(p2 + x) with p1, p2 -> infinity the part is about
// (x/p2)^2), while for a genuine fit with independent derivative columns it
// stays of order one.  At or below kFlatGrowth of them the growth counts as
// having lost its effect (so does a growth whose effect is not a number).
constexpr double kFlatGrowth = 1e-4;
inline bool growth_flat(double dhd, double sep) { return !(dhd > kFlatGrowth * sep); }
// True when the parameters P ran away from their start P0 (ran_away) along
// a growth D = P - P0 that has lost its effect (growth_flat) by the normal
// matrix H (upper triangle and diagonal, leading dimension NPAR), or when a
// parameter that ran away has lost its own effect (saturating, with SIZE as
// in saturated): a limit of the model at infinity, not a fit.
bool at_infinity(IWORD npar, const double* p, const double* p0, const double* h, double size);

// A step that the convergence tests call negligible (by the relative
// parameter steps, whose floor of 1e-4 hides a parameter far below it, or
// by a search along difference quotients that finds no lower point) proves
// convergence only where the undamped step promises little: less than
// kStillToGain of the objective.  One that would remove most of it marks no
// minimum.
constexpr double kStillToGain = 0.5;

// Pivot of the normal matrix's factor, relative to its diagonal (that is, of
// the unit-diagonal scaled matrix), at or below which some combination of the
// parameters counts as having no effect on the values: a few hundred times
// the precision.  Difference quotients of relative step h resolve a pivot
// only down to about h^2 (their columns carry relative errors of about h), so
// with them the level is kDepSteps h^2 when that is larger, but never above
// kDepMax: fits that are merely ill-conditioned keep pivots far above it
// (1e-9 and more at the certified solutions of the hardest reference fits),
// and a coarse difference step must not take them for dependent.
constexpr double kDependent = 1e-13, kDepSteps = 10, kDepMax = 1e-11;
// True when, after ORVK_QUADPR on the undamped normal matrix H (leading
// dimension NPAR; IPERM, NFREE and its work W as it left them), some
// combination of the parameters inside their bounds PLOW < P < PUPP has no
// effect on the values: a pivot of the free block's factor (W(2 NPAR + q),
// q <= NFREE), or the reduced curvature of a parameter that the step held
// although it lies inside its bounds (one without positive curvature is
// never freed), at or below the level above times its diagonal.  Two terms
// of the model have become one, or the parameters have followed the model to
// a limit where it is a smaller model (a constant, a step): a stationary
// point of that smaller model, not a fit.  DIFFERENCES: the derivatives are
// difference quotients of relative step SSND.
bool dependent(IWORD npar, const double* h, const IWORD* iperm, IWORD nfree, const double* w,
               const double* p, const double* plow, const double* pupp, bool differences,
               double ssnd);

// ---- per-point routines of ORVK_LUEBRN --------------------------------------

// Variance of the constraint of an exact measurement (zero standard
// deviation): kExactVariance times the smallest positive constraint variance
// R^2 FZ^2 of the data set (1 when there is none).  The constraint is then
// held to about 1e-4 of the smallest standard deviation, while the normal
// matrix keeps the other points' information above its rounding.
constexpr double kExactVariance = 1e-8;
double exact_variance(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax,
                      const IWORD* ncons, const double* fz, const double* r);

// W(.,.,i) := (FZ diag(R^2) FZ')^-1 per point; IERR := 7 on rank loss.
void LBCOVI(IWORD iunit, IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax,
            const IWORD* ncons, const double* fz, const double* r, double* w, double* wpack,
            IWORD& ierr);
// Optional derivatives, per-point Cholesky factors of the constraint
// covariance, whitened linearised residual and whitened FP.
void LBFACT(IWORD ncol, IWORD ndat, IWORD nmmax, const IWORD* nmeas, void* mdat1, IWORD ncmax,
            const IWORD* ncons, IWORD lpack, IWORD ndrv, double* p, double* z, const double* zm,
            void* mdat2, double* f, double* fz, double* fp, ORVK_MODELFN model, IWORD kprint,
            IWORD iterno, double* zsave, double* fpert, double ssnd, IWORD& ncall, void* muser,
            IWORD iunit, bool lform9, bool lbase, bool lresid, bool lcovf, bool lderp,
            const double* r, double* rlin, double* ufac, double* pwork, double* fzs = nullptr,
            double* fps = nullptr);
// Y := U'^-1 B per point and column (Y may be B).
void LBSOLV(IWORD ndat, IWORD ncmax, const IWORD* ncons, IWORD ncol, IWORD lpack,
            const double* b, const double* ufac, double* y);
// V(:, i) += FZ(:, :, i) (Z1 - Z2)(:, i).
void LBLINC(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax, const IWORD* ncons,
            double* v, const double* fz, const double* z1, const double* z2);
// Measurement update for linearised residuals V; ZNEW may be Z.
void LBPRED(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax, const IWORD* ncons,
            const double* w, const double* v, const double* fz, const double* zm,
            const double* z, const double* r, double* lam, double rmax, double* znew,
            double& reladj, double* dz);
// SSQD = sum ((Z1 - Z2)/R)^2, SABS = sum |A B|.
void LBSUMS(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax, const IWORD* ncons,
            const double* z1, const double* z2, const double* r, const double* a,
            const double* b, double& ssqd, double& sabs);
// Parameter lines with bound marks (MODE 1 start, 2 iteration, other final).
void LBWPAR(IWORD iunit, IWORD npar, const double* p, const double* plow, const double* pupp,
            const double* pscl, IWORD mode);

// ---- covariance of ORVK_LUEBRI ----------------------------------------------

// In place (L D L')^-1 of the leading NF block: diagonal to WK(N+1..N+NF),
// strict lower triangle over L.
void VCOVAR(IWORD n, double* a, IWORD lda, double* wk, IWORD nf);

// ---- argument checks shared by the engines ----------------------------------

// True when the counts allow every index the engines form: NPAR, NDAT,
// NMMAX, NCMAX >= 0, 0 <= NMEAS(i) <= NMMAX, 0 <= NCONS(i) <= NCMAX, and in
// the nine-argument form NMMAX, NCMAX >= 1 when NDAT >= 1.
bool regress_counts_ok(IWORD npar, IWORD nmmax, const IWORD* nmeas, IWORD ndat, IWORD ncmax,
                       const IWORD* ncons, bool lform9);

// ---- arguments shared by the two engines ------------------------------------

// The caller's arguments that ORVK_LUEBRI and ORVK_LUEBRN take alike (counts
// by value, arrays by address), the run values both keep, and 1-based views
// of the arrays.  Each engine's state extends it.
struct EngineArgs {
  IWORD npar, nmmax, ndat, ncmax, lpack;
  const IWORD *nmeas, *ncons;
  void *mdat1, *mdat2, *muser;
  double *f, *p, *z;
  const double* zm;
  double *fz, *fp;
  const double* r;
  double *w, *wpack, *fpw, *delp, *elin, *grad, *hmat, *stplo, *stpup, *cpack;
  ORVK_MODELFN model;
  IWORD iprint, iods;
  IWORD* istat;
  IWORD* iter;
  double tol;
  IWORD* iperm;
  IWORD kdem, isv;
  double *sigma, *ssq, *ftry;
  IWORD ndrv;
  double ssnd;
  IWORD* ncall;
  const double *plow, *pupp;
  double* qpwork;
  const double* pscl;

  bool lform9 = false;
  IWORD iunit = 6, kprint = 0, kd = -1, casewd = 0, nfree = 0;
  double t0 = 0, t = 0, fobj = 0;

  // 1-based views of the arrays, named as the arguments: the vectors,
  // F-shaped (NCMAX,NDAT) and Z-shaped (NMMAX,NDAT) arrays, the per-point
  // blocks FP(k,j,i), W(k,l,i), FPW(l,k,i) (parameter l, constraint k, point
  // i) and the normal matrix H (NPAR,NPAR).
  Vec1<const IWORD> NMEAS{nmeas}, NCONS{ncons};
  Vec1<double> P{p}, DELP{delp}, GRAD{grad}, STPLO{stplo}, STPUP{stpup}, CPACK{cpack},
      QPWORK{qpwork};
  Vec1<IWORD> IPERM{iperm};
  Vec1<const double> PLOW{plow}, PUPP{pupp}, PSCL{pscl};
  Mat1<double> F{f, ncmax}, FTRY{ftry, ncmax}, ELIN{elin, ncmax}, Z{z, nmmax};
  Mat1<const double> ZM{zm, nmmax}, R{r, nmmax};
  Arr3<double> FP{fp, ncmax, npar}, W{w, ncmax, ncmax}, FPW{fpw, npar, ncmax};
  Mat1<double> H{hmat, npar};

  // The entry checks: the counts (regress_counts_ok), the room LPACK of the
  // packed factors when NEED_PACK, and a nonzero, non-NaN SSND when NUMERIC
  // (differences are taken).  On failure ISTAT = -1, NCALL = ITER = 0.
  bool start_ok(bool need_pack, bool numeric) const;
  // The input echo's lists of NMEAS or NCONS (TEXT and the maximum MX, then
  // the NDAT counts, 30 a row).
  void echo_counts(std::string_view text, IWORD mx, const IWORD* v) const;
};

}  // namespace orvika
