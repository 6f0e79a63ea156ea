// Model calls of the regression engines (LBFCN, LBDERV) and the host run
// protocol: the time-limit test and box, terminal lines, value rows.
#include <algorithm>
#include <cmath>

#include "frame/hostdata.hpp"
#include "frame/lines.hpp"
#include "frame/units.hpp"
#include "orvika/host.h"
#include "regress/regress.hpp"

namespace orvika {

void LBFCN(const double* z, const double* zm, void* mdat2, const double* p, IWORD ndat,
           IWORD nmmax, const IWORD* nmeas, void* mdat1, IWORD npar, IWORD ncmax,
           const IWORD* ncons, IWORD req, double* f, double* fz, double* fp, bool lform9,
           ORVK_MODELFN model, void* muser) {
  if (!lform9) {
    auto fn = reinterpret_cast<ORVK_MODEL16>(model);
    fn(z, zm, mdat2, p, &ndat, &nmmax, nmeas, mdat1, &npar, &ncmax, ncons, &req, f, fz, fp,
       muser);
    return;
  }
  auto fn = reinterpret_cast<ORVK_MODEL9>(model);
  fn(&npar, &ndat, mdat1, p, mdat2, &req, f, fp, muser);
  const Mat1<double> F(f, ncmax);
  const Mat1<const double> Z(z, nmmax);
  for (IWORD i = 1; i <= ndat; ++i) F(1, i) -= Z(1, i);
}

void LBDERV(IWORD npar, IWORD ndat, IWORD nmmax, const IWORD* nmeas, void* mdat1, IWORD ncmax,
            const IWORD* ncons, IWORD ndrv, double* p, double* z, const double* zm, void* mdat2,
            double* f, double* fz, double* fp, ORVK_MODELFN model, IWORD kprint, IWORD iterno,
            double* zsave, double* fpert, double ssnd, IWORD& ncall, void* muser, IWORD iunit,
            bool lform9, bool lbase, bool lderz, bool lderp, double* fzs, double* fps) {
  const double rmis = host::rmisval();
  // What a model writes into its derivative arguments on a value request
  // lands in arrays of their full size and is not used.
  double* sfz = fzs != nullptr ? fzs : fz;
  double* sfp = fps != nullptr ? fps : fp;
  const Mat1<double> F(f, ncmax), FPERT(fpert, ncmax), Z(z, nmmax);
  const Arr3<double> FZ(fz, ncmax, nmmax), FP(fp, ncmax, npar);
  const Vec1<const IWORD> NMEAS(nmeas), NCONS(ncons);
  const Vec1<double> P(p), ZSAVE(zsave);
  auto call = [&](const double* zz, const double* pp, IWORD req, double* ff, double* ffz,
                  double* ffp) {
    ++ncall;
    LBFCN(zz, zm, mdat2, pp, ndat, nmmax, nmeas, mdat1, npar, ncmax, ncons, req, ff, ffz, ffp,
          lform9, model, muser);
  };

  ORVK_PPSCLR.EVALKIND = iterno <= 1 ? 1 : 2;
  const IWORD ndir = std::min<IWORD>(std::max<IWORD>(ndrv, 1), 2);
  const double hs = std::fabs(ssnd);
  if (ndrv == 0) {
    call(z, p, 0, f, fz, fp);
  } else {
    if (lbase) call(z, p, 1, f, sfz, sfp);
    if (!lform9 && lderz && ndat > 0) {
      IWORD maxm = 0;
      for (IWORD i = 1; i <= ndat; ++i) maxm = std::max(maxm, NMEAS(i));
      for (IWORD m = 1; m <= maxm; ++m)
        for (IWORD d = 1; d <= ndir; ++d) {
          for (IWORD i = 1; i <= ndat; ++i) {
            if (m > NMEAS(i)) continue;
            ZSAVE(i) = Z(m, i);
            if (Z(m, i) == rmis) continue;
            double h = Z(m, i) == 0 ? hs : hs * std::max(0.01, std::fabs(Z(m, i)));
            if (d == 2) h = -h;
            Z(m, i) += h;
          }
          ORVK_PPSCLR.EVALKIND = 10 * m + 3;
          call(z, p, 1, fpert, sfz, sfp);
          for (IWORD i = 1; i <= ndat; ++i) {
            if (m > NMEAS(i) || ZSAVE(i) == rmis) continue;
            // The step actually taken; one lost below the resolution of Z
            // gives no information and a zero quotient.
            const double delta = Z(m, i) - ZSAVE(i);
            for (IWORD k = 1; k <= NCONS(i); ++k) {
              const double q = delta != 0 ? (FPERT(k, i) - F(k, i)) / delta : 0.0;
              FZ(k, m, i) = d == 1 ? q : 0.5 * (q + FZ(k, m, i));
            }
            Z(m, i) = ZSAVE(i);
          }
        }
    }
    if (lderp && npar > 0) {
      for (IWORD j = 1; j <= npar; ++j) {
        const double pj = P(j);
        for (IWORD d = 1; d <= ndir; ++d) {
          double h = pj == 0 ? hs : hs * std::max(0.01, std::fabs(pj));
          if (d == 2) h = -h;
          P(j) = pj + h;
          ORVK_PPSCLR.EVALKIND = 3;
          call(z, p, 1, fpert, sfz, sfp);
          for (IWORD i = 1; i <= ndat; ++i)
            for (IWORD k = 1; k <= NCONS(i); ++k) {
              const double q = (FPERT(k, i) - F(k, i)) / h;
              FP(k, j, i) = d == 1 ? q : 0.5 * (q + FP(k, j, i));
            }
        }
        P(j) = pj;
      }
    }
  }
  // Nine-argument form: the constraint y - z has dF/dz = -1.
  if (lform9 && lderz)
    for (IWORD i = 1; i <= ndat; ++i)
      for (IWORD m = 1; m <= NMEAS(i); ++m) {
        for (IWORD k = 1; k <= NCONS(i); ++k) FZ(k, m, i) = 0;
        if (m <= NCONS(i)) FZ(m, m, i) = -1;
      }

  if (!(kprint >= 4 || (kprint == 3 && iterno <= 1))) return;
  const IWORD u = iunit;
  if (!lform9) {
    write_empty(u);
    write_rec(u, "  MEAS ----------- Z(MEAS,DATA) - TRUE/MEASURED -------");
    for (IWORD m = 1; m <= nmmax; ++m) {
      const Rec head = Rec().I(m, 5).X(6);
      value_lines(u, ndat, 8, 11, [&](Rec& r, IWORD q) { r.G(Z(m, q + 1), 13, 5); }, &head);
    }
  }
  write_empty(u);
  write_rec(u, "  ---------------- P - PARAMETER VALUES ---------------");
  value_lines(u, npar, 8, 11, [&](Rec& r, IWORD q) { r.G(p[q], 13, 5); });
  write_empty(u);
  write_rec(u, "  CONS ----------- F(CONS,DATA) - CONSTRAINTS ---------");
  for (IWORD k = 1; k <= ncmax; ++k) {
    const Rec head = Rec().I(k, 5).X(6);
    value_lines(u, ndat, 8, 11, [&](Rec& r, IWORD q) { r.G(F(k, q + 1), 13, 5); }, &head);
  }
  if (!lform9 && lderz) {
    write_empty(u);
    write_rec(u, "  CONS MEAS ------ FZ(CONS,MEAS,DATA) - D(F)/D(Z) -----");
    for (IWORD k = 1; k <= ncmax; ++k)
      for (IWORD m = 1; m <= nmmax; ++m) {
        const Rec head = Rec().I(k, 5).I(m, 5).X(1);
        value_lines(u, ndat, 8, 11, [&](Rec& r, IWORD q) { r.G(FZ(k, m, q + 1), 13, 5); }, &head);
      }
  }
  if (lderp) {
    write_empty(u);
    write_rec(u, "  CONS PARA ------ FP(CONS,PARA,DATA) - D(F)/D(P) -----");
    for (IWORD k = 1; k <= ncmax; ++k)
      for (IWORD j = 1; j <= npar; ++j) {
        const Rec head = Rec().I(k, 5).I(j, 5).X(1);
        value_lines(u, ndat, 8, 11, [&](Rec& r, IWORD q) { r.G(FP(k, j, q + 1), 13, 5); }, &head);
      }
  }
}

// ---- host run protocol ------------------------------------------------------

bool time_exhausted(double t, double tprev) { return 1.5 * (t - tprev) > host::tlimit() - t; }

void time_limit_box(IWORD unit) {
  Rec lines[10];
  const std::string_view stars = "********************************************************************";
  lines[3].X(1).A(stars);
  lines[4].X(1).A("*  PXR TERMINATED BECAUSE MAX TIME OF").F(host::tlimit(), 9, 2).A(
      " SECONDS APPROACHED  *");
  lines[5].X(1).A("*  PARTIAL REPORT WILL BE GENERATED").X(32).A("*");
  lines[6].X(1).A(stars);
  for (const Rec& r : lines) write_rec(unit, r);
  terminal(lines, 10);
}

void terminal(const Rec* lines, int n) {
  if (host::termon() <= 0) return;
  n = std::min(n, static_cast<int>(VLK_MAXWRT_LINES));
  for (int k = 0; k < n; ++k) host::set_maxwrt(k + 1, lines[k].view());
  const IWORD nn = n;
  VLK_WRTTRM(&nn);
}

bool regress_counts_ok(IWORD npar, IWORD nmmax, const IWORD* nmeas, IWORD ndat, IWORD ncmax,
                       const IWORD* ncons, bool lform9) {
  if (npar < 0 || ndat < 0 || nmmax < 0 || ncmax < 0) return false;
  if (lform9 && ndat >= 1 && (nmmax < 1 || ncmax < 1)) return false;
  for (IWORD i = 0; i < ndat; ++i) {
    if (nmeas[i] < 0 || nmeas[i] > nmmax) return false;
    if (ncons[i] < 0 || ncons[i] > ncmax) return false;
  }
  return true;
}

bool EngineArgs::start_ok(bool need_pack, bool numeric) const {
  if (regress_counts_ok(npar, nmmax, nmeas, ndat, ncmax, ncons, lform9) &&
      !(need_pack && lpack < ncmax * (ncmax + 1) / 2) &&
      !(numeric && (ssnd == 0 || std::isnan(ssnd))))
    return true;
  *istat = -1;
  *ncall = 0;
  *iter = 0;
  return false;
}

void EngineArgs::echo_counts(std::string_view text, IWORD mx, const IWORD* v) const {
  write_empty(iunit);
  write_rec(iunit, Rec().A(text).I(mx, 4));
  // The counts start on a new record, which stays empty when there are none.
  value_lines(iunit, ndat, 30, 5, [&](Rec& r, IWORD q) { r.I(v[q], 4); });
}

}  // namespace orvika
