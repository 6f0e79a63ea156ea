// Test helpers of the regression routines: model routines, an independent
// weighted least-squares solver (Householder QR, or LAPACK's dgels), and a
// driver of ORVK_BNLLSQ that sizes its work arrays.
#pragma once

#include <cmath>
#include <vector>

#include "orvika/host_stub.h"
#include "orvika/regress.h"

#ifdef ORVIKA_HAVE_LAPACK
extern "C" void dgels_(const char* trans, const int* m, const int* n, const int* nrhs, double* a,
                       const int* lda, double* b, const int* ldb, double* work, const int* lwork,
                       int* info, size_t trans_len);
#endif

namespace regress_test {

using Vec = std::vector<double>;

// Nine-argument models: MDAT1 points at the x values (NDAT doubles).
// Straight line y = p1 + p2 x.
inline void line9(const IWORD* npar, const IWORD* ndat, void* mdat1, const double* p, void*,
                  const IWORD* req, double* f, double* fp, void*) {
  const double* x = static_cast<const double*>(mdat1);
  for (IWORD i = 0; i < *ndat; ++i) {
    f[i] = p[0] + p[1] * x[i];
    if (*req == 0) {
      fp[0 + i * *npar] = 1;
      fp[1 + i * *npar] = x[i];
    }
  }
}
// Antoine equation ln P = A - B/(T + C), x = T.
inline void antoine9(const IWORD* npar, const IWORD* ndat, void* mdat1, const double* p, void*,
                     const IWORD* req, double* f, double* fp, void*) {
  const double* x = static_cast<const double*>(mdat1);
  for (IWORD i = 0; i < *ndat; ++i) {
    const double d = x[i] + p[2];
    f[i] = p[0] - p[1] / d;
    if (*req == 0) {
      fp[0 + i * *npar] = 1;
      fp[1 + i * *npar] = -1 / d;
      fp[2 + i * *npar] = p[1] / (d * d);
    }
  }
}
inline double antoine(const double* p, double t) { return p[0] - p[1] / (t + p[2]); }

// Least squares min |A x - b| for A (m x n, column-major), m >= n.
inline Vec lstsq(int m, int n, Vec a, Vec b) {
#ifdef ORVIKA_HAVE_LAPACK
  int nrhs = 1, lwork = 64 * (m + n), info = 0;
  Vec work(lwork);
  dgels_("N", &m, &n, &nrhs, a.data(), &m, b.data(), &m, work.data(), &lwork, &info, 1);
  return Vec(b.begin(), b.begin() + n);
#else
  for (int k = 0; k < n; ++k) {
    double s = 0;
    for (int i = k; i < m; ++i) s += a[i + k * m] * a[i + k * m];
    const double alpha = a[k + k * m] > 0 ? -std::sqrt(s) : std::sqrt(s);
    Vec v(m, 0.0);
    for (int i = k; i < m; ++i) v[i] = a[i + k * m];
    v[k] -= alpha;
    double vv = 0;
    for (int i = k; i < m; ++i) vv += v[i] * v[i];
    if (vv == 0) continue;
    for (int j = k; j < n; ++j) {
      double t = 0;
      for (int i = k; i < m; ++i) t += v[i] * a[i + j * m];
      t = 2 * t / vv;
      for (int i = k; i < m; ++i) a[i + j * m] -= t * v[i];
    }
    double t = 0;
    for (int i = k; i < m; ++i) t += v[i] * b[i];
    t = 2 * t / vv;
    for (int i = k; i < m; ++i) b[i] -= t * v[i];
  }
  Vec x(n);
  for (int k = n - 1; k >= 0; --k) {
    double s = b[k];
    for (int j = k + 1; j < n; ++j) s -= a[k + j * m] * x[j];
    x[k] = s / a[k + k * m];
  }
  return x;
#endif
}

// Inverse of a small symmetric positive definite matrix (Gauss-Jordan).
inline Vec inverse(int n, Vec a) {
  Vec inv(n * n, 0.0);
  for (int i = 0; i < n; ++i) inv[i + i * n] = 1;
  for (int k = 0; k < n; ++k) {
    const double piv = a[k + k * n];
    for (int j = 0; j < n; ++j) {
      a[k + j * n] /= piv;
      inv[k + j * n] /= piv;
    }
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const double f = a[i + k * n];
      for (int j = 0; j < n; ++j) {
        a[i + j * n] -= f * a[k + j * n];
        inv[i + j * n] -= f * inv[k + j * n];
      }
    }
  }
  return inv;
}

// Weighted Gauss-Newton through LSTSQ for a nine-argument model: the
// independent reference of the nonlinear fits.  Returns P; JTJ receives the
// weighted normal matrix at the solution.
template <class Model>
Vec gauss_newton(Model model, int npar, const Vec& x, const Vec& y, const Vec& r, Vec p,
                 Vec* jtj = nullptr) {
  const int m = static_cast<int>(x.size());
  IWORD np = npar, nd = m, req = 0;
  Vec f(m), fp(npar * m);
  for (int it = 0; it < 100; ++it) {
    model(&np, &nd, const_cast<double*>(x.data()), p.data(), nullptr, &req, f.data(), fp.data(),
          nullptr);
    Vec a(m * npar), b(m);
    for (int i = 0; i < m; ++i) {
      b[i] = (y[i] - f[i]) / r[i];
      for (int j = 0; j < npar; ++j) a[i + j * m] = fp[j + i * npar] / r[i];
    }
    if (jtj) {
      jtj->assign(npar * npar, 0.0);
      for (int j = 0; j < npar; ++j)
        for (int l = 0; l < npar; ++l)
          for (int i = 0; i < m; ++i) (*jtj)[j + l * npar] += a[i + j * m] * a[i + l * m];
    }
    const Vec d = lstsq(m, npar, a, b);
    double dn = 0, pn = 0;
    for (int j = 0; j < npar; ++j) {
      p[j] += d[j];
      dn += d[j] * d[j];
      pn += p[j] * p[j];
    }
    if (dn <= 1e-30 * (1 + pn)) break;
  }
  return p;
}

// One ORVK_BNLLSQ run with work arrays of the minimum lengths.
struct Bnllsq {
  IWORD npar, ndat;
  Vec x, zm, r, p, plow, pupp, pscl;
  IWORD iter = 50, iods = 0, iprint = 0, ndrv = 0, ibound = 0, ieng = 0;
  double stpsiz = 1.0, tol = 1e-10, ssnd = 1e-6;
  // results
  IWORD iflag1 = 0, ncall = 0, istat = -99;
  double ssq = 0, sigma = 0;
  Vec z, cpack, hmat, rwork;
  std::vector<IWORD> iwork;

  Bnllsq(IWORD np, Vec xv, Vec zmv, Vec rv, Vec p0)
      : npar(np), ndat(static_cast<IWORD>(xv.size())), x(std::move(xv)), zm(std::move(zmv)),
        r(std::move(rv)), p(std::move(p0)), plow(np, 0.0), pupp(np, 0.0), pscl(np, 1.0) {}

  void run(ORVK_MODEL9 model) {
    const IWORD np = npar < 0 ? 0 : npar, nd = ndat < 0 ? 0 : ndat;  // sizes only
    const IWORD a = np * nd;
    rwork.assign(2 * a + 10 * nd + 9 * np + 1, 0.0);
    iwork.assign(np + 2 * nd + 1, 0);
    z.assign(nd + 1, 0.0);
    cpack.assign(np * (np + 1) / 2 + 1, 0.0);
    hmat.assign(np * np + np + 1, 0.0);
    ORVK_BNLLSQ(&npar, &ndat, x.data(), p.data(), zm.data(), nullptr, r.data(), model, &iter,
                &iods, &stpsiz, &tol, &iprint, &ndrv, &ibound, plow.data(), pupp.data(), &iflag1,
                nullptr, nullptr, &ssnd, rwork.data(), iwork.data(), &ssq, &sigma, z.data(),
                cpack.data(), hmat.data(), &ncall, &istat, nullptr, &ieng, pscl.data());
  }
};

}  // namespace regress_test
