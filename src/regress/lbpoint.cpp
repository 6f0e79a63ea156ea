// Per-point routines of ORVK_LUEBRN: constraint covariance and its inverse
// (LBCOVI) or Cholesky factor with whitening (LBFACT, LBSOLV), linearised
// residuals (LBLINC), the measurement update (LBPRED) and the sums of the
// objective (LBSUMS).  Every routine works on one data point at a time.
#include <algorithm>
#include <cmath>

#include "frame/units.hpp"
#include "regress/regress.hpp"

namespace orvika {
namespace {

inline IWORD pk(IWORD j, IWORD k) { return k * (k - 1) / 2 + j - 1; }  // (j <= k), 0-based

// Packed covariance of point I: c(j, k) = sum_m R(m,i)^2 FZ(j,m,i) FZ(k,m,i).
void point_cov(IWORD i, IWORD nc, IWORD nm, IWORD nmmax, IWORD ncmax, const double* fz,
               const double* r, double* c) {
  const Mat1<const double> fzi = Arr3<const double>(fz, ncmax, nmmax).slice(i);
  const Vec1<const double> ri = Mat1<const double>(r, nmmax).col(i);
  for (IWORD k = 1; k <= nc; ++k)
    for (IWORD j = 1; j <= k; ++j) {
      double s = 0;
      for (IWORD m = 1; m <= nm; ++m) s += ri(m) * ri(m) * fzi(j, m) * fzi(k, m);
      c[pk(j, k)] = s;
    }
}

void trouble_line(IWORD unit, IWORD i, IWORD irank, IWORD nc) {
  write_rec(unit, Rec()
                      .A(" ***TROUBLE-DATA POINT ")
                      .I(i, 4)
                      .A(" CONSTRAINT JACOBIAN HAS RANK")
                      .I(irank - 1, 3)
                      .A(" INSTEAD OF")
                      .I(nc, 3));
}

}  // namespace

bool saturated(IWORD npar, const double* p, const double* h, double size, const double* p0) {
  for (IWORD j = 0; j < npar; ++j)
    if (saturating(p[j], std::fabs(p0[j]) + 0.01, h[j + j * npar], !(p[j] == p0[j]), size))
      return true;
  return false;
}

bool at_infinity(IWORD npar, const double* p, const double* p0, const double* h, double size) {
  if (!ran_away(npar, p, p0)) return false;
  double dhd = 0, sep = 0;
  for (IWORD m = 0; m < npar; ++m) {
    const double dm = p[m] - p0[m];
    const double hmm = h[m + m * npar];
    const double typ = std::fabs(p0[m]) + 0.01;
    if (std::fabs(p[m]) > kRunaway * typ && saturating(p[m], typ, hmm, true, size)) return true;
    sep += dm * dm * hmm;
    double cross = 0;
    for (IWORD l = 0; l < m; ++l) cross += (p[l] - p0[l]) * h[l + m * npar];
    dhd += dm * (dm * hmm + 2 * cross);
  }
  return growth_flat(dhd, sep);
}

bool dependent(IWORD npar, const double* h, const IWORD* iperm, IWORD nfree, const double* w,
               const double* p, const double* plow, const double* pupp, bool differences,
               double ssnd) {
  const double level =
      differences ? std::clamp(kDepSteps * ssnd * ssnd, kDependent, kDepMax) : kDependent;
  for (IWORD q = 1; q <= npar; ++q) {
    const IWORD k = iperm[q - 1] - 1;
    if (k < 0 || k >= npar) continue;
    const double hkk = h[k + k * npar];
    if (!(hkk > 0) || (q > nfree && !(plow[k] < p[k] && p[k] < pupp[k]))) continue;
    if (!(w[2 * npar + q - 1] > level * hkk)) return true;
  }
  return false;
}

double exact_variance(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax,
                      const IWORD* ncons, const double* fz, const double* r) {
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  const Arr3<const double> FZ(fz, ncmax, nmmax);
  const Mat1<const double> R(r, nmmax);
  double vmin = 0;
  for (IWORD i = 1; i <= ndat; ++i) {
    for (IWORD k = 1; k <= NCONS(i); ++k) {
      double v = 0;
      for (IWORD m = 1; m <= NMEAS(i); ++m) {
        const double t = R(m, i) * FZ(k, m, i);
        v += t * t;
      }
      if (v > 0 && std::isfinite(v) && (vmin == 0 || v < vmin)) vmin = v;
    }
  }
  return vmin > 0 ? kExactVariance * vmin : 1.0;
}

void LBCOVI(IWORD iunit, IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax,
            const IWORD* ncons, const double* fz, const double* r, double* w, double* wpack,
            IWORD& ierr) {
  const double tol = static_cast<double>(1e-14f);
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  const Arr3<double> W(w, ncmax, ncmax);
  double vexact = -1;  // found when first needed
  for (IWORD i = 1; i <= ndat; ++i) {
    const IWORD nc = NCONS(i);
    if (nc <= 0) continue;
    point_cov(i, nc, NMEAS(i), nmmax, ncmax, fz, r, wpack);
    for (IWORD q = 0; q < nc * (nc + 1) / 2; ++q)
      if (wpack[q] == 0) wpack[q] = 1e-30;
    // An exact constraint (zero variance) is weighted far above the others,
    // but not so far that their information drowns in its rounding.
    for (IWORD k = 1; k <= nc; ++k)
      if (wpack[pk(k, k)] == 1e-30) {
        if (vexact < 0) vexact = exact_variance(ndat, nmmax, nmeas, ncmax, ncons, fz, r);
        wpack[pk(k, k)] = vexact;
      }
    if (nc == 1) {
      wpack[0] = 1.0 / wpack[0];
    } else {
      IWORD irank = 0;
      DPKINV(wpack, nc, tol, irank);
      if (irank != 0) {
        trouble_line(iunit, i, irank, nc);
        if (ierr == 0) ierr = 7;
      }
    }
    for (IWORD k = 1; k <= nc; ++k)
      for (IWORD j = 1; j <= k; ++j) W(j, k, i) = W(k, j, i) = wpack[pk(j, k)];
  }
}

void LBFACT(IWORD ncol, IWORD ndat, IWORD nmmax, const IWORD* nmeas, void* mdat1, IWORD ncmax,
            const IWORD* ncons, IWORD lpack, IWORD ndrv, double* p, double* z, const double* zm,
            void* mdat2, double* f, double* fz, double* fp, ORVK_MODELFN model, IWORD kprint,
            IWORD iterno, double* zsave, double* fpert, double ssnd, IWORD& ncall, void* muser,
            IWORD iunit, bool lform9, bool lbase, bool lresid, bool lcovf, bool lderp,
            const double* r, double* rlin, double* ufac, double* pwork, double* fzs,
            double* fps) {
  if (lbase || lcovf || lderp) {
    // With no derivative wanted the base point is evaluated as values only,
    // so that analytic derivatives do not overwrite the whitened FP.
    const IWORD sw = (!lcovf && !lderp) ? std::max<IWORD>(ndrv, 1) : ndrv;
    LBDERV(ncol, ndat, nmmax, nmeas, mdat1, ncmax, ncons, sw, p, z, zm, mdat2, f, fz, fp, model,
           0, iterno, zsave, fpert, ssnd, ncall, muser, iunit, lform9, lbase, lcovf, lderp, fzs,
           fps);
  }
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  if (lcovf) {
    double vexact = -1;  // found when first needed
    for (IWORD i = 1; i <= ndat; ++i) {
      const IWORD nc = NCONS(i);
      if (nc <= 0) continue;
      point_cov(i, nc, NMEAS(i), nmmax, ncmax, fz, r, pwork);
      // A zero variance (an exact constraint) would give a zero pivot and
      // infinite whitened values: it is weighted as in LBCOVI.
      for (IWORD k = 1; k <= nc; ++k)
        if (pwork[pk(k, k)] == 0) {
          if (vexact < 0) vexact = exact_variance(ndat, nmmax, nmeas, ncmax, ncons, fz, r);
          pwork[pk(k, k)] = vexact;
        }
      if (nc == 1) {
        pwork[0] = std::sqrt(pwork[0]);
      } else {
        IWORD irank = 0;
        DMCHOL(pwork, nc, 1e-8, irank);
        if (irank != 0 && kprint >= 2) trouble_line(iunit, i, irank, nc);
      }
      double* ui = ufac + (i - 1) * lpack;
      for (IWORD q = 0; q < nc * (nc + 1) / 2; ++q) ui[q] = pwork[q];
    }
  }
  if (lresid) {
    const Mat1<const double> F(f, ncmax), ZM(zm, nmmax), Z(z, nmmax);
    const Arr3<const double> FZ(fz, ncmax, nmmax);
    const Mat1<double> RLIN(rlin, ncmax);
    for (IWORD i = 1; i <= ndat; ++i) {
      for (IWORD k = 1; k <= NCONS(i); ++k) {
        double s = F(k, i);
        for (IWORD m = 1; m <= NMEAS(i); ++m) s += FZ(k, m, i) * (ZM(m, i) - Z(m, i));
        RLIN(k, i) = s;
      }
    }
    LBSOLV(ndat, ncmax, ncons, 1, lpack, rlin, ufac, rlin);
  }
  if (lderp) LBSOLV(ndat, ncmax, ncons, ncol, lpack, fp, ufac, fp);
}

void LBSOLV(IWORD ndat, IWORD ncmax, const IWORD* ncons, IWORD ncol, IWORD lpack,
            const double* b, const double* ufac, double* y) {
  const Vec1<const IWORD> NCONS(ncons);
  const Arr3<const double> B(b, ncmax, ncol);
  const Arr3<double> Y(y, ncmax, ncol);
  for (IWORD c = 1; c <= ncol; ++c)
    for (IWORD i = 1; i <= ndat; ++i) {
      const IWORD nc = NCONS(i);
      if (nc <= 0) continue;
      const double* u = ufac + (i - 1) * lpack;
      for (IWORD k = 1; k <= nc; ++k) {
        double s = B(k, c, i);
        for (IWORD j = 1; j < k; ++j) s -= u[pk(j, k)] * Y(j, c, i);
        Y(k, c, i) = s / u[pk(k, k)];
      }
    }
}

void LBLINC(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax, const IWORD* ncons,
            double* v, const double* fz, const double* z1, const double* z2) {
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  const Mat1<double> V(v, ncmax);
  const Arr3<const double> FZ(fz, ncmax, nmmax);
  const Mat1<const double> Z1(z1, nmmax), Z2(z2, nmmax);
  for (IWORD i = 1; i <= ndat; ++i) {
    for (IWORD m = 1; m <= NMEAS(i); ++m) {
      const double dz = Z1(m, i) - Z2(m, i);
      for (IWORD k = 1; k <= NCONS(i); ++k) V(k, i) += FZ(k, m, i) * dz;
    }
  }
}

void LBPRED(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax, const IWORD* ncons,
            const double* w, const double* v, const double* fz, const double* zm,
            const double* z, const double* r, double* lam, double rmax, double* znew,
            double& reladj, double* dz) {
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  const Arr3<const double> W(w, ncmax, ncmax), FZ(fz, ncmax, nmmax);
  const Mat1<const double> V(v, ncmax), ZM(zm, nmmax), Z(z, nmmax), R(r, nmmax);
  const Mat1<double> LAM(lam, ncmax), ZNEW(znew, nmmax);
  const Vec1<double> DZ(dz);
  double s = 0;
  IWORD cnt = 0;
  for (IWORD i = 1; i <= ndat; ++i) {
    const IWORD nc = NCONS(i), nm = NMEAS(i);
    for (IWORD k = 1; k <= nc; ++k) {
      double t = 0;
      for (IWORD l = 1; l <= nc; ++l) t += W(k, l, i) * V(l, i);
      LAM(k, i) = t;
    }
    double relmax = 0;
    for (IWORD m = 1; m <= nm; ++m) {
      double t = 0;
      for (IWORD k = 1; k <= nc; ++k) t += FZ(k, m, i) * LAM(k, i);
      const double rm = R(m, i);
      DZ(m) = (ZM(m, i) - Z(m, i)) - rm * rm * t;
      const double rel =
          std::fabs(DZ(m)) / std::max({std::fabs(ZM(m, i)), std::fabs(Z(m, i)), 1.0});
      s += rel * rel;
      ++cnt;
      relmax = std::max(relmax, rel);
    }
    const double t = relmax > rmax ? rmax / relmax : 1.0;
    for (IWORD m = 1; m <= nm; ++m) ZNEW(m, i) = Z(m, i) + t * DZ(m);
    for (IWORD m = nm + 1; m <= nmmax; ++m) ZNEW(m, i) = ZM(m, i);
  }
  // No measured variable at all: nothing to adjust.
  reladj = cnt > 0 ? std::sqrt(s / static_cast<double>(cnt)) : 0.0;
}

void LBSUMS(IWORD ndat, IWORD nmmax, const IWORD* nmeas, IWORD ncmax, const IWORD* ncons,
            const double* z1, const double* z2, const double* r, const double* a,
            const double* b, double& ssqd, double& sabs) {
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  const Mat1<const double> Z1(z1, nmmax), Z2(z2, nmmax), R(r, nmmax), A(a, ncmax), B(b, ncmax);
  ssqd = 0;
  sabs = 0;
  for (IWORD i = 1; i <= ndat; ++i) {
    for (IWORD m = 1; m <= NMEAS(i); ++m) {
      const double d = Z1(m, i) - Z2(m, i);
      // An exact measurement (R = 0) that is not adjusted adds nothing.
      if (d == 0) continue;
      const double q = d / R(m, i);
      ssqd += q * q;
    }
    for (IWORD k = 1; k <= NCONS(i); ++k) sabs += std::fabs(A(k, i) * B(k, i));
  }
}

}  // namespace orvika
