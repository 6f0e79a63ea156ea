// Direct calls of the two engines in the sixteen-argument form, with work
// arrays sized from the counts.
#pragma once

#include <algorithm>
#include <vector>

#include "orvika/regress.h"

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

}  // namespace regress_test
