// Test driver of the continuation solver: runs FCONT_SOLVE through its
// request protocol on a problem given by residual and Jacobian functions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fcont/fcont.hpp"
#include "orvika/fcont.h"

namespace fcont_test {

using ::IWORD;
namespace ip = orvika::fcont::ip;
namespace rp = orvika::fcont::rp;
namespace ii = orvika::fcont::ii;
namespace ri = orvika::fcont::ri;

constexpr IWORD kImiss = 999999;
constexpr double kRmiss = 1e30;

// A system F(x, lambda) = 0 of N equations.  The Jacobian is dense
// (column-major N x N); sparse runs take its values at the pattern.
struct Problem {
  std::string name;
  int n = 0;
  std::vector<double> x0;
  std::function<void(const double* x, double lam, double* f)> F;
  std::function<void(const double* x, double lam, double* j)> J;
  std::vector<IWORD> irn, icn;  // sparse pattern (1-based)
};

// x^3 - 3x - 6 lambda + 4 = 0, an S-curve in (lambda, x) through x = 2 at
// lambda = 1 with turning points at x = 1 (lambda 1/3) and x = -1 (lambda
// 1), started at X0.
inline Problem s_curve(double x0) {
  Problem p;
  p.n = 1;
  p.x0 = {x0};
  p.F = [](const double* x, double lam, double* f) {
    f[0] = x[0] * x[0] * x[0] - 3.0 * x[0] - 6.0 * lam + 4.0;
  };
  p.J = [](const double* x, double, double* j) { j[0] = 3.0 * x[0] * x[0] - 3.0; };
  p.irn = {1};
  p.icn = {1};
  return p;
}

inline const IWORD kZeroWord = 0;  // "no routine"

struct ContRun {
  const Problem p;
  IWORD isolv = -1, istore = 2, jmode = 1, ihom = 1, iferr = 0, n = 0, nz = 0, ldb = 0;
  IWORD mxname = 0, mfname = 0, liw = 0, lw = 0;
  double rlam = 0.0;
  std::vector<double> x, f, ajac, xlb, xub, fscale, xscale, w;
  std::vector<IWORD> irn, icn, iperm, iw;
  IWORD iparam[14];
  double rparam[20];
  IWORD iinfo[47];
  double rinfo[21];
  const void* xnames = nullptr;
  const void* fnames = nullptr;
  FCONT_NAMRTN namrtn = nullptr;
  FCONT_MSGRTN msgrtn = nullptr;
  // Request log and hooks.
  std::vector<IWORD> requests;
  std::vector<double> lam_at_request;
  std::vector<double> x_at_request;  // X(1) at each request
  // The points reported with -5 (turning point) and -6 (path point).
  struct Reported {
    IWORD code;
    double lam;
    std::vector<double> x;
  };
  std::vector<Reported> reported;
  std::function<void(ContRun&)> on_eval;  // after F is written (may set iferr)
  IWORD calls = 0;

  explicit ContRun(const Problem& prob, IWORD storage = 2, IWORD extra_w = 0) : p(prob) {
    n = p.n;
    istore = storage;
    nz = static_cast<IWORD>(p.irn.size());
    ldb = n;
    x = p.x0;
    f.assign(n, 0.0);
    ajac.assign(storage == 1 ? std::max<IWORD>(nz, 1) : std::max<IWORD>(n * n, 1), 0.0);
    irn = p.irn;
    icn = p.icn;
    if (irn.empty()) irn.push_back(1), icn.push_back(1);
    iperm.assign(std::max<IWORD>(n, 1), 0);
    xlb.assign(std::max<IWORD>(n, 1), -1e20);
    xub.assign(std::max<IWORD>(n, 1), 1e20);
    fscale.assign(std::max<IWORD>(n, 1), 0.0);
    xscale.assign(std::max<IWORD>(n, 1), 0.0);
    for (IWORD& v : iparam) v = kImiss;
    iparam[ip::IMISS - 1] = kImiss;
    iparam[ip::KPLUNT - 1] = 0;
    iparam[ip::KPTUNT - 1] = 0;
    // A missing switch counts as nonzero (= 1): these are set explicitly.
    iparam[ip::REVERSE - 1] = 0;
    iparam[ip::NEWTON - 1] = 0;
    iparam[ip::FINMSG - 1] = 0;
    for (double& v : rparam) v = kRmiss;
    rparam[rp::RMISS - 1] = kRmiss;
    std::memset(iinfo, 0, sizeof iinfo);
    std::memset(rinfo, 0, sizeof rinfo);
    liw = nz + 3 * n + 10;
    iw.assign(liw, 0);
    lw = 11 * n + 8 + n * n + nz + 40 * (nz + n) + 200 + extra_w;
    w.assign(lw, 0.0);
  }

  void set_i(int word, IWORD v) { iparam[word - 1] = v; }
  void set_r(int word, double v) { rparam[word - 1] = v; }

  void call() {
    ++calls;
    FCONT_SOLVE(&isolv, &istore, &jmode, &ihom, &iferr, &n, x.data(), &rlam, f.data(), &nz,
                irn.data(), icn.data(), &ldb, ajac.data(), iperm.data(), iparam, rparam, iinfo,
                rinfo, xlb.data(), xub.data(), fscale.data(), xscale.data(), &mxname, xnames,
                &mfname, fnames, namrtn ? namrtn : reinterpret_cast<FCONT_NAMRTN>(
                                                       const_cast<IWORD*>(&kZeroWord)),
                msgrtn ? msgrtn : reinterpret_cast<FCONT_MSGRTN>(const_cast<IWORD*>(&kZeroWord)),
                &liw, iw.data(), &lw, w.data());
  }

  void jacobian() {
    std::vector<double> j(static_cast<std::size_t>(n * n));
    p.J(x.data(), rlam, j.data());
    if (istore == 1) {
      for (IWORD k = 0; k < nz; ++k) ajac[k] = j[(irn[k] - 1) + (icn[k] - 1) * n];
    } else {
      for (IWORD c = 0; c < n; ++c)
        for (IWORD r = 0; r < n; ++r) ajac[r + c * ldb] = j[r + c * n];
    }
  }

  // Runs until a final code (or MAXCALLS calls); returns the final code.
  IWORD solve(IWORD maxcalls = 20000) {
    isolv = -1;
    for (IWORD k = 0; k < maxcalls; ++k) {
      call();
      if (isolv >= 0) return isolv;
      requests.push_back(isolv);
      lam_at_request.push_back(rlam);
      x_at_request.push_back(n > 0 ? x[0] : 0.0);
      if (isolv == -5 || isolv == -6) reported.push_back({isolv, rlam, x});
      if (isolv == -2) {
        p.F(x.data(), rlam, f.data());
        if (on_eval) on_eval(*this);
      } else if (isolv == -3) {
        jacobian();
      }
    }
    return -999;
  }

  IWORD info(int word) const { return iinfo[word - 1]; }
  double rinf(int word) const { return rinfo[word - 1]; }
  IWORD count(IWORD code) const {
    IWORD c = 0;
    for (IWORD r : requests) c += r == code;
    return c;
  }
  // Largest scaled homotopy residual max |FSCALE(i) H_i(X, LAM)| of the
  // run's type, started at X0 (type 2: with the Jacobian there; type 3:
  // with the run's scale factors).
  double homotopy_residual(const std::vector<double>& xv, double lam,
                           const std::vector<double>& x0) const {
    std::vector<double> f(n), f0(n), j0(static_cast<std::size_t>(n * n));
    p.F(xv.data(), lam, f.data());
    p.F(x0.data(), 1.0, f0.data());
    p.J(x0.data(), 1.0, j0.data());
    double m = 0.0;
    for (IWORD i = 0; i < n; ++i) {
      double h = f[i];
      if (ihom == 1) {
        h = f[i] - lam * f0[i];
      } else if (ihom == 2) {
        double jd = 0.0;
        for (IWORD k = 0; k < n; ++k) jd += j0[i + k * n] * (xv[k] - x0[k]);
        h = (1.0 - lam) * f[i] + lam * jd;
      } else if (ihom == 3) {
        h = (1.0 - lam) * f[i] + lam * (xv[i] - x0[i]) / (fscale[i] * xscale[i]);
      }
      m = std::max(m, std::fabs(fscale[i] * h));
    }
    return m;
  }
  // The largest homotopy residual over the points reported with -6.
  double worst_path_point(const std::vector<double>& x0) const {
    double m = 0.0;
    for (const Reported& r : reported)
      if (r.code == -6) m = std::max(m, homotopy_residual(r.x, r.lam, x0));
    return m;
  }

  // Largest |F(X, 0)| at the returned point.
  double residual_at_target() const {
    std::vector<double> r(n);
    p.F(x.data(), 0.0, r.data());
    double m = 0.0;
    for (double v : r) m = std::max(m, std::fabs(v));
    return m;
  }
};

}  // namespace fcont_test
