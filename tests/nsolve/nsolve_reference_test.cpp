// ORVK_NSOLVE and ORVK_NSOLVE2 on the nonlinear-equation problems of More,
// Garbow and Hillstrom ("Testing unconstrained optimization software", ACM
// TOMS 7, 1981), written from their definitions, from the standard start and
// ten times it: every run must end with 0, its claimed residual must be the
// true residual at the returned X, and the root must be the known one where
// the system has a single root.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "nsolve_test_util.hpp"
#include "orvika/host_stub.h"

namespace {

using nsolve_test::Caller;
using nsolve_test::Problem;
using Cplx = std::complex<double>;

constexpr double kTol = 1e-8;  // scaled RMS residual asked for
constexpr double kPi = 3.14159265358979323846;

// ---- residuals, for real and complex arguments ----------------------------------------

template <class T>
void rosenbrock(int, const T* x, T* f) {
  f[0] = 10.0 * (x[1] - x[0] * x[0]);
  f[1] = 1.0 - x[0];
}
template <class T>
void powell_singular(int, const T* x, T* f) {
  f[0] = x[0] + 10.0 * x[1];
  f[1] = std::sqrt(5.0) * (x[2] - x[3]);
  f[2] = (x[1] - 2.0 * x[2]) * (x[1] - 2.0 * x[2]);
  f[3] = std::sqrt(10.0) * (x[0] - x[3]) * (x[0] - x[3]);
}
template <class T>
void powell_badly_scaled(int, const T* x, T* f) {
  f[0] = 1e4 * x[0] * x[1] - 1.0;
  f[1] = exp(-x[0]) + exp(-x[1]) - 1.0001;
}
// The gradient of Wood's function (halved).
template <class T>
void wood(int, const T* x, T* f) {
  f[0] = -200.0 * x[0] * (x[1] - x[0] * x[0]) - (1.0 - x[0]);
  f[1] = 200.0 * (x[1] - x[0] * x[0]) + 20.2 * (x[1] - 1.0) + 19.8 * (x[3] - 1.0);
  f[2] = -180.0 * x[2] * (x[3] - x[2] * x[2]) - (1.0 - x[2]);
  f[3] = 180.0 * (x[3] - x[2] * x[2]) + 20.2 * (x[3] - 1.0) + 19.8 * (x[1] - 1.0);
}
template <class T>
void helical_valley(int, const T* x, T* f) {
  T theta = atan(x[1] / x[0]) / (2.0 * kPi);
  if (std::real(x[0]) < 0.0) theta = theta + 0.5;
  f[0] = 10.0 * (x[2] - 10.0 * theta);
  f[1] = 10.0 * (sqrt(x[0] * x[0] + x[1] * x[1]) - 1.0);
  f[2] = x[2];
}
template <class T>
void broyden_banded(int n, const T* x, T* f) {
  for (int i = 0; i < n; ++i) {
    T s = 0.0;
    for (int j = std::max(0, i - 5); j <= std::min(n - 1, i + 1); ++j)
      if (j != i) s = s + x[j] * (1.0 + x[j]);
    f[i] = x[i] * (2.0 + 5.0 * x[i] * x[i]) + 1.0 - s;
  }
}
template <class T>
void discrete_boundary_value(int n, const T* x, T* f) {
  const double h = 1.0 / (n + 1);
  for (int i = 0; i < n; ++i) {
    const T xm = i > 0 ? x[i - 1] : T(0.0), xp = i + 1 < n ? x[i + 1] : T(0.0);
    const T u = x[i] + (i + 1) * h + 1.0;
    f[i] = 2.0 * x[i] - xm - xp + h * h * u * u * u / 2.0;
  }
}
template <class T>
void discrete_integral_equation(int n, const T* x, T* f) {
  const double h = 1.0 / (n + 1);
  for (int i = 0; i < n; ++i) {
    const double ti = (i + 1) * h;
    T below = 0.0, above = 0.0;
    for (int j = 0; j < n; ++j) {
      const double tj = (j + 1) * h;
      const T u = x[j] + tj + 1.0;
      if (j <= i)
        below = below + tj * u * u * u;
      else
        above = above + (1.0 - tj) * u * u * u;
    }
    f[i] = x[i] + h * ((1.0 - ti) * below + ti * above) / 2.0;
  }
}
// Variably dimensioned, as a square system: x_i - 1 + i s (1 + 2 s^2) with
// s = sum j (x_j - 1); its only root is x = 1.
template <class T>
void variably_dimensioned(int n, const T* x, T* f) {
  T s = 0.0;
  for (int j = 0; j < n; ++j) s = s + (j + 1.0) * (x[j] - 1.0);
  for (int i = 0; i < n; ++i) f[i] = x[i] - 1.0 + (i + 1.0) * s * (1.0 + 2.0 * s * s);
}
template <class T>
void brown_almost_linear(int n, const T* x, T* f) {
  T s = 0.0, p = 1.0;
  for (int j = 0; j < n; ++j) {
    s = s + x[j];
    p = p * x[j];
  }
  for (int i = 0; i + 1 < n; ++i) f[i] = x[i] + s - (n + 1.0);
  f[n - 1] = p - 1.0;
}
// Chebyquad: the mean of T_i(2 x_j - 1) equals the integral of T_i(2x - 1) on [0, 1].
template <class T>
void chebyquad(int n, const T* x, T* f) {
  for (int i = 0; i < n; ++i) f[i] = 0.0;
  for (int j = 0; j < n; ++j) {
    T t0 = 1.0, t1 = 2.0 * x[j] - 1.0;
    const T two_y = 2.0 * t1;
    for (int i = 0; i < n; ++i) {
      f[i] = f[i] + t1;
      const T t2 = two_y * t1 - t0;
      t0 = t1;
      t1 = t2;
    }
  }
  for (int i = 0; i < n; ++i) {
    f[i] = f[i] / double(n);
    if ((i + 1) % 2 == 0) f[i] = f[i] + 1.0 / ((i + 1.0) * (i + 1.0) - 1.0);
  }
}

// ---- the catalogue -----------------------------------------------------------------------

struct Reference {
  const char* name;
  int n;
  void (*f)(int, const double*, double*);
  void (*fc)(int, const Cplx*, Cplx*);  // the same residuals, for the complex step
  std::vector<double> x0;               // standard start
  std::vector<double> root;             // the only root, or empty
  bool relaxation;                      // ORVK_NSOLVE2's relaxation search takes part
};

std::vector<double> boundary_start(int n) {
  std::vector<double> x(n);
  for (int i = 0; i < n; ++i) {
    const double t = (i + 1.0) / (n + 1);
    x[i] = t * (t - 1.0);
  }
  return x;
}

std::vector<Reference> catalogue() {
  std::vector<Reference> c;
  auto ramp = [](int n, double a, double b) {
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = a + b * (i + 1.0);
    return x;
  };
  c.push_back({"Rosenbrock", 2, rosenbrock<double>, rosenbrock<Cplx>, {-1.2, 1.0}, {1.0, 1.0}, true});
  // Singular Jacobian at the root 0: the residual, not X, meets the tolerance.
  c.push_back({"Powell singular", 4, powell_singular<double>, powell_singular<Cplx>,
               {3.0, -1.0, 0.0, 1.0}, {}, true});
  c.push_back({"Powell badly scaled", 2, powell_badly_scaled<double>, powell_badly_scaled<Cplx>,
               {0.0, 1.0}, {}, true});
  c.push_back({"Wood", 4, wood<double>, wood<Cplx>, {-3.0, -1.0, -3.0, -1.0}, {}, true});
  c.push_back({"helical valley", 3, helical_valley<double>, helical_valley<Cplx>,
               {-1.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, true});
  c.push_back({"Broyden banded", 10, broyden_banded<double>, broyden_banded<Cplx>,
               std::vector<double>(10, -1.0), {}, true});
  c.push_back({"discrete boundary value", 10, discrete_boundary_value<double>,
               discrete_boundary_value<Cplx>, boundary_start(10), {}, true});
  c.push_back({"discrete integral equation", 10, discrete_integral_equation<double>,
               discrete_integral_equation<Cplx>, boundary_start(10), {}, true});
  c.push_back({"variably dimensioned", 10, variably_dimensioned<double>,
               variably_dimensioned<Cplx>, ramp(10, 1.0, -0.1), std::vector<double>(10, 1.0), true});
  // The non-monotone search lets the product term run away from this start.
  c.push_back({"Brown almost-linear", 10, brown_almost_linear<double>, brown_almost_linear<Cplx>,
               std::vector<double>(10, 0.5), {}, false});
  c.push_back({"Chebyquad", 3, chebyquad<double>, chebyquad<Cplx>, ramp(3, 0.0, 0.25), {}, true});
  return c;
}

// The problem in the solvers' test form: pattern and Jacobian values by
// complex-step differentiation, exact to rounding (d f / d x_j = Im f(x + i h e_j) / h).
Problem as_problem(const Reference& r, double start_factor) {
  Problem p;
  p.name = r.name;
  p.n = r.n;
  const int n = r.n;
  const auto fc = r.fc;
  auto column = [fc, n](const double* x, int j, std::vector<Cplx>& fj) {
    std::vector<Cplx> xc(x, x + n);
    xc[j] += Cplx(0.0, 1e-200);
    fc(n, xc.data(), fj.data());
    for (Cplx& v : fj) v = std::imag(v) / 1e-200;
  };
  // The pattern: the entries nonzero at a point with distinct, generic values.
  std::vector<double> generic(n);
  for (int i = 0; i < n; ++i) generic[i] = 0.3 + 0.137 * i + 0.01 * i * i;
  std::vector<Cplx> fj(n);
  for (int j = 0; j < n; ++j) {
    column(generic.data(), j, fj);
    for (int i = 0; i < n; ++i)
      if (std::real(fj[i]) != 0.0) {
        p.irn.push_back(i + 1);
        p.icn.push_back(j + 1);
      }
  }
  const auto f = r.f;
  p.fun = [f, n](const double* x, double* out) { f(n, x, out); };
  const auto irn = p.irn, icn = p.icn;
  p.jac = [column, n, irn, icn](const double* x, double* v) {
    std::vector<Cplx> col(n);
    for (std::size_t k = 0; k < irn.size(); ++k) {
      if (k == 0 || icn[k] != icn[k - 1]) column(x, static_cast<int>(icn[k] - 1), col);
      v[k] = std::real(col[irn[k] - 1]);
    }
  };
  p.x0 = r.x0;
  for (double& v : p.x0) v *= start_factor;
  p.box(-1e10, 1e10, 1e10);
  return p;
}

struct Variant {
  const char* label;
  bool v2;      // ORVK_NSOLVE2
  IWORD lsrch;  // 0 dogleg; 1 line search (NSOLVE) or relaxation search (NSOLVE2)
};
const Variant kVariants[] = {{"NSOLVE dogleg", false, 0},
                             {"NSOLVE line search", false, 1},
                             {"NSOLVE2 relaxation search", true, 1},
                             {"NSOLVE2 dogleg", true, 0}};

TEST(NsolveReference, MoreGarbowHillstromSystems) {
  for (const Reference& r : catalogue())
    for (double start_factor : {1.0, 10.0})
      for (IWORD istor : {1, 2})
        for (const Variant& v : kVariants) {
          if (v.v2 && v.lsrch != 0 && !r.relaxation) continue;
          SCOPED_TRACE(std::string(r.name) + " x" + std::to_string(int(start_factor)) +
                       (istor == 1 ? " sparse " : " dense ") + v.label);
          orvk_host_reset();
          nsolve_test::init_sparse_options();
          const Problem p = as_problem(r, start_factor);
          Caller c(p, istor, v.v2);
          c.lsrch = v.lsrch;
          c.tol = kTol;
          c.istpts = 0;
          c.maxit = 200;
          c.maxdiv = 50;
          c.maxbnd = 50;
          ASSERT_EQ(c.solve(20000), 0) << "iterations " << c.iter << ", RMS " << c.rmserr;
          // The claimed residual is the true one at the returned point.
          std::vector<double> f(p.n);
          p.fun(c.x.data(), f.data());
          for (IWORD i = 0; i < p.n; ++i) EXPECT_EQ(c.f[i], f[i]) << "F(" << i + 1 << ")";
          EXPECT_LE(p.rms(c.x.data()), kTol);
          EXPECT_NEAR(c.rmserr, p.rms(c.x.data()), 1e-12);
          for (std::size_t i = 0; i < r.root.size(); ++i)
            EXPECT_NEAR(c.x[i], r.root[i], 1e-6) << "X(" << i + 1 << ")";
        }
}

}  // namespace
