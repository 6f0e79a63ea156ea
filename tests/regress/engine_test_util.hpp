// Direct calls of the two engines in the sixteen-argument form, with work
// arrays sized from the counts, and the straight line with errors in both
// variables that both engines fit.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "orvika/regress.h"
#include "regress/regress_test_util.hpp"

namespace regress_test {

struct Engine {
  IWORD npar, nmmax, ndat, ncmax, lpack;
  std::vector<IWORD> nmeas, ncons, iperm;
  std::vector<double> f, p, z, zm, fz, fp, r, w, wpack, zfirst, fpw, delp, znew, elin, grad, hmat,
      stplo, stpup, cpack, ftry, plow, pupp, qpwork, pold, dscal, lam, lam2, fbase, dz, psave,
      pscl;
  IWORD iprint = 0, iods = 0, istat = -99, iter = 50, kdem = 1, isv = 0, nzmit = 1, ndrv = 0,
        ncall = 0, ibound = 1, arg = 0;
  double tol = 1e-10, sigma = 0, ssq = 0, stpsiz = 1.0, ssnd = 1e-6;

  Engine(IWORD np, IWORD nm, IWORD nd, IWORD nc)
      : npar(np), nmmax(nm), ndat(nd), ncmax(nc), lpack(std::max<IWORD>(1, nc * (nc + 1) / 2)) {
    nmeas.assign(nd, nm);
    ncons.assign(nd, nc);
    iperm.assign(np, 0);
    const size_t zs = nm * nd, fs = nc * nd;
    f.assign(fs, 0);
    p.assign(np, 0);
    z.assign(zs, 0);
    zm.assign(zs, 0);
    fz.assign(nc * nm * nd, 0);
    fp.assign(nc * np * nd, 0);
    r.assign(zs, 1);
    w.assign(std::max<size_t>(nc * nc, lpack) * nd, 0);
    wpack.assign(lpack * nd, 0);
    zfirst.assign(std::max(zs, np * fs), 0);
    fpw = zfirst;
    delp.assign(np, 0);
    znew.assign(zs, 0);
    elin.assign(fs, 0);
    grad.assign(np, 0);
    hmat.assign(np * np, 0);
    stplo.assign(np, 0);
    stpup.assign(np, 0);
    cpack.assign(np * (np + 1) / 2, 0);
    ftry.assign(fs, 0);
    plow.assign(np, -1e10);
    pupp.assign(np, 1e10);
    qpwork.assign(3 * np, 0);
    pold.assign(np, 0);
    dscal.assign(np, 0);
    lam.assign(fs, 0);
    lam2.assign(fs, 0);
    fbase.assign(fs, 0);
    dz.assign(nm, 0);
    psave.assign(np, 0);
    pscl.assign(np, 1);
  }

  void luebrn(ORVK_MODELFN model) {
    ORVK_LUEBRN(&npar, &nmmax, nmeas.data(), nullptr, &ndat, &ncmax, ncons.data(), &arg, &lpack,
                f.data(), p.data(), z.data(), zm.data(), nullptr, fz.data(), fp.data(), r.data(),
                w.data(), wpack.data(), zfirst.data(), fpw.data(), delp.data(), znew.data(),
                elin.data(), grad.data(), hmat.data(), stplo.data(), stpup.data(), cpack.data(),
                model, &iprint, &iods, &istat, &iter, &arg, &tol, iperm.data(), &kdem, &isv, &sigma,
                &ssq, ftry.data(), &nzmit, nullptr, &ndrv, &ssnd, &ncall, nullptr, plow.data(),
                pupp.data(), qpwork.data(), nullptr, nullptr, nullptr, nullptr, pold.data(),
                dscal.data(), lam.data(), lam2.data(), fbase.data(), dz.data(), psave.data(),
                pscl.data());
  }
  // ORVK_LUEBRI: ZNEW serves as DELZ, ZFIRST as ZPERT.
  void luebri(ORVK_MODELFN model) {
    ORVK_LUEBRI(&npar, &nmmax, nmeas.data(), nullptr, &ndat, &ncmax, ncons.data(), &arg, &lpack,
                f.data(), p.data(), z.data(), zm.data(), nullptr, fz.data(), fp.data(), r.data(),
                w.data(), wpack.data(), zfirst.data(), fpw.data(), delp.data(), znew.data(),
                elin.data(), grad.data(), hmat.data(), stplo.data(), stpup.data(), cpack.data(),
                model, &iprint, &iods, &istat, &iter, &arg, &tol, iperm.data(), &kdem, &isv, &sigma,
                &ssq, ftry.data(), nullptr, &stpsiz, &ndrv, &ssnd, &ncall, &ibound, plow.data(),
                pupp.data(), qpwork.data(), nullptr, nullptr, nullptr, nullptr, pscl.data());
  }
};

// F = y - p1 - p2 x with z = (x, y).
inline void line16(const double* z, const double*, void*, const double* p, const IWORD* ndat,
                   const IWORD* nmmax, const IWORD*, void*, const IWORD*, const IWORD* ncmax,
                   const IWORD*, const IWORD* req, double* f, double* fz, double* fp, void*) {
  for (IWORD i = 0; i < *ndat; ++i) {
    const double x = z[i * *nmmax], y = z[1 + i * *nmmax];
    f[i * *ncmax] = y - p[0] - p[1] * x;
    if (*req == 0) {
      fz[0 + i * 2] = -p[1];
      fz[1 + i * 2] = 1;
      fp[0 + i * 2] = -1;
      fp[1 + i * 2] = -x;
    }
  }
}

// Error-in-variables data: x and y both measured, standard deviations SX, SY.
struct Eiv {
  Vec x, y;
  double sx = 0.2, sy = 0.1;
  Eiv() {
    const double ex[9] = {0.15, -0.22, 0.08, 0.31, -0.12, -0.05, 0.18, -0.27, 0.09};
    const double ey[9] = {-0.07, 0.11, 0.04, -0.13, 0.02, 0.09, -0.06, 0.05, -0.1};
    for (int i = 0; i < 9; ++i) {
      x.push_back(i + ex[i]);
      y.push_back(1.0 + 0.5 * i + ey[i]);
    }
  }
  // Ordinary least squares of y on x: the fixed point of Deming iterations,
  // whose weights 1/(b^2 SX^2 + SY^2) are equal at every point.
  Vec ols() const {
    const int n = static_cast<int>(x.size());
    Vec a(2 * n);
    for (int i = 0; i < n; ++i) {
      a[i] = 1;
      a[n + i] = x[i];
    }
    return lstsq(n, 2, a, y);
  }
  // Closed-form solution (intercept, slope) of the Deming regression.
  Vec reference() const {
    const int n = static_cast<int>(x.size());
    double mx = 0, my = 0;
    for (int i = 0; i < n; ++i) {
      mx += x[i] / n;
      my += y[i] / n;
    }
    double sxx = 0, syy = 0, sxy = 0;
    for (int i = 0; i < n; ++i) {
      sxx += (x[i] - mx) * (x[i] - mx);
      syy += (y[i] - my) * (y[i] - my);
      sxy += (x[i] - mx) * (y[i] - my);
    }
    const double d = sy * sy / (sx * sx);
    const double b = (syy - d * sxx + std::sqrt((syy - d * sxx) * (syy - d * sxx) + 4 * d * sxy * sxy)) /
                     (2 * sxy);
    return {my - b * mx, b};
  }
  void load(Engine& e) const {
    for (size_t i = 0; i < x.size(); ++i) {
      e.zm[2 * i] = x[i];
      e.zm[2 * i + 1] = y[i];
      e.r[2 * i] = sx;
      e.r[2 * i + 1] = sy;
    }
    e.p = {0.0, 1.0};
  }
  // An engine of the nine points, starting from the measurements.
  Engine engine() const {
    Engine e(2, 2, 9, 1);
    load(e);
    e.z = e.zm;
    return e;
  }
};

// Ellipse ((x - p1)/p3)^2 + ((y - p2)/p4)^2 - 1 = 0, z = (x, y).
inline void ellipse16(const double* z, const double*, void*, const double* p, const IWORD* ndat,
                      const IWORD*, const IWORD*, void*, const IWORD*, const IWORD*, const IWORD*,
                      const IWORD* req, double* f, double* fz, double* fp, void*) {
  for (IWORD i = 0; i < *ndat; ++i) {
    const double u = (z[2 * i] - p[0]) / p[2], v = (z[2 * i + 1] - p[1]) / p[3];
    f[i] = u * u + v * v - 1;
    if (*req == 0) {
      fz[2 * i] = 2 * u / p[2];
      fz[2 * i + 1] = 2 * v / p[3];
      fp[4 * i] = -2 * u / p[2];
      fp[4 * i + 1] = -2 * v / p[3];
      fp[4 * i + 2] = -2 * u * u / p[2];
      fp[4 * i + 3] = -2 * v * v / p[3];
    }
  }
}

}  // namespace regress_test
