// NIST StRD nonlinear regression problems: reader of the .dat files (model
// text, both starting vectors, certified values and data), the models with
// exact derivatives (forward-mode dual numbers), the log relative error, and
// drivers that fit a problem with ORVK_BNLLSQ (either engine) or ORVK_YSOLVE.
// Shared by the tests and the benchmark.
#pragma once

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "orvika/regress.h"

namespace nist {

using Vec = std::vector<double>;

// ---- dual numbers for exact first derivatives -----------------------------

constexpr int kMaxPar = 9;
struct Dual {
  double v = 0;
  double d[kMaxPar] = {};
  Dual() = default;
  Dual(double x) : v(x) {}  // NOLINT: constants mix freely
};
inline Dual lift(double v, const Dual& a, double da) {
  Dual r(v);
  for (int k = 0; k < kMaxPar; ++k) r.d[k] = da * a.d[k];
  return r;
}
inline Dual operator+(const Dual& a, const Dual& b) {
  Dual r(a.v + b.v);
  for (int k = 0; k < kMaxPar; ++k) r.d[k] = a.d[k] + b.d[k];
  return r;
}
inline Dual operator-(const Dual& a, const Dual& b) {
  Dual r(a.v - b.v);
  for (int k = 0; k < kMaxPar; ++k) r.d[k] = a.d[k] - b.d[k];
  return r;
}
inline Dual operator-(const Dual& a) { return lift(-a.v, a, -1); }
inline Dual operator*(const Dual& a, const Dual& b) {
  Dual r(a.v * b.v);
  for (int k = 0; k < kMaxPar; ++k) r.d[k] = a.d[k] * b.v + a.v * b.d[k];
  return r;
}
inline Dual operator/(const Dual& a, const Dual& b) {
  Dual r(a.v / b.v);
  for (int k = 0; k < kMaxPar; ++k) r.d[k] = (a.d[k] - r.v * b.d[k]) / b.v;
  return r;
}
inline Dual exp(const Dual& a) {
  const double e = std::exp(a.v);
  return lift(e, a, e);
}
inline Dual log(const Dual& a) { return lift(std::log(a.v), a, 1 / a.v); }
inline Dual pow(const Dual& a, double q) {
  return lift(std::pow(a.v, q), a, q * std::pow(a.v, q - 1));
}
inline Dual atan(const Dual& a) { return lift(std::atan(a.v), a, 1 / (1 + a.v * a.v)); }

// ---- problems ----------------------------------------------------------------

struct Problem {
  std::string name;
  int level = 0;  // 0 lower, 1 average, 2 higher difficulty
  int npar = 0;
  Vec start[2], cert, sd;
  double rss = 0;
  int dof = 0;
  Vec y, x1, x2;  // response, predictors
  int ndat() const { return static_cast<int>(y.size()); }
};

// NIST's BoxBOD (higher difficulty), written from its public certified
// values: y = b1 (1 - exp(-b2 x)) on six points.
inline Problem boxbod() {
  Problem pr;
  pr.name = "BoxBOD";
  pr.level = 2;
  pr.npar = 2;
  pr.start[0] = {1, 1};
  pr.start[1] = {100, 0.75};
  pr.cert = {2.1380940889E+02, 5.4723748542E-01};
  pr.sd = {1.2354515176E+01, 1.0455993237E-01};
  pr.rss = 1.1680088766E+03;
  pr.x1 = {1, 2, 3, 5, 7, 10};
  pr.y = {109, 149, 149, 191, 213, 224};
  pr.dof = 4;
  return pr;
}

// Further NIST problems written from their public certified values: the
// data of Misra1b and Misra1d are those of Misra1a (Misra1c too); Lanczos2
// is the Lanczos1 function of Lanczos1's abscissae rounded to six significant
// digits; Rat43 and MGH17 are short enough to write down.  Standard
// deviations are NIST's where known, else (sd empty) not judged.
inline std::vector<Problem> written_problems() {
  const Vec misra_x = {77.6,  114.9, 141.1, 190.8, 239.9, 289.0, 332.8,
                       378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0};
  const Vec misra_y = {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02,
                       44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78};
  std::vector<Problem> v;
  auto add = [&](const char* name, int level, Vec s1, Vec s2, Vec cert, Vec sd, double rss,
                 Vec x, Vec y) {
    Problem pr;
    pr.name = name;
    pr.level = level;
    pr.npar = static_cast<int>(cert.size());
    pr.start[0] = std::move(s1);
    pr.start[1] = std::move(s2);
    pr.cert = std::move(cert);
    pr.sd = std::move(sd);
    pr.rss = rss;
    pr.x1 = std::move(x);
    pr.y = std::move(y);
    pr.dof = pr.ndat() - pr.npar;
    v.push_back(std::move(pr));
  };
  add("Misra1b", 0, {500, 1e-4}, {300, 2e-4}, {3.3799746163E+02, 3.9039091287E-04},
      {3.1643950207E+00, 4.2547321834E-06}, 7.5464681533E-02, misra_x, misra_y);
  add("Misra1d", 1, {500, 1e-4}, {450, 3e-4}, {4.3736970754E+02, 3.0227324449E-04},
      {3.6489174345E+00, 2.9334354479E-06}, 5.6419295283E-02, misra_x, misra_y);
  Vec lx(24);
  for (int i = 0; i < 24; ++i) lx[i] = 0.05 * i;
  add("Lanczos2", 1, {1.2, 0.3, 5.6, 5.5, 6.5, 7.6}, {0.5, 0.7, 3.6, 4.2, 4, 6.3},
      {9.6251029939E-02, 1.0057332849E+00, 8.6424689056E-01, 3.0078283915E+00,
       1.5529016879E+00, 5.0028798100E+00},
      {}, 2.2299428125E-11, lx,
      {2.51340, 2.04433, 1.66840, 1.36642, 1.12323, 0.926890, 0.767934, 0.638878,
       0.533784, 0.447936, 0.377585, 0.319739, 0.272013, 0.232497, 0.199659, 0.172270,
       0.149341, 0.130070, 0.113812, 0.100042, 0.0883321, 0.0783354, 0.0697669, 0.0623931});
  add("Rat43", 2, {100, 10, 1, 1}, {700, 5, 0.75, 1.3},
      {6.9964151270E+02, 5.2771253025E+00, 7.5962938329E-01, 1.2792483859E+00}, {},
      8.7864049080E+03, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
      {16.08, 33.83, 65.80, 97.20, 191.55, 326.20, 386.87, 520.53, 590.03, 651.92, 724.93,
       699.56, 689.96, 637.56, 717.41});
  Vec mx(33);
  for (int i = 0; i < 33; ++i) mx[i] = 10.0 * i;
  add("MGH17", 2, {50, 150, -100, 1, 2}, {0.5, 1.5, -1, 0.01, 0.02},
      {3.7541005211E-01, 1.9358469127E+00, -1.4646871366E+00, 1.2867534640E-02,
       2.2122699662E-02},
      {}, 5.4648946975E-05, mx,
      {0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818, 0.784, 0.751,
       0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558, 0.538, 0.522, 0.506, 0.490,
       0.478, 0.467, 0.457, 0.448, 0.438, 0.431, 0.424, 0.420, 0.414, 0.411, 0.406});
  v.push_back(boxbod());
  return v;
}

// Model value and derivatives at B for observation I.
template <class T>
T model_value(const std::string& n, const T* b, double x, double x2) {
  using std::exp;
  using std::pow;
  using std::atan;
  using std::log;
  if (n == "Misra1a" || n == "BoxBOD") return b[0] * (1 - exp(-b[1] * x));
  if (n == "Misra1b") return b[0] * (1 - pow(1 + b[1] * x / 2, -2.0));
  if (n == "Misra1c") return b[0] * (1 - pow(1 + 2 * b[1] * x, -0.5));
  if (n == "Misra1d") return b[0] * b[1] * x / (1 + b[1] * x);
  if (n == "Chwirut1" || n == "Chwirut2") return exp(-b[0] * x) / (b[1] + b[2] * x);
  if (n.rfind("Lanczos", 0) == 0)
    return b[0] * exp(-b[1] * x) + b[2] * exp(-b[3] * x) + b[4] * exp(-b[5] * x);
  if (n.rfind("Gauss", 0) == 0)
    return b[0] * exp(-b[1] * x) + b[2] * exp(-(x - b[3]) * (x - b[3]) / (b[4] * b[4])) +
           b[5] * exp(-(x - b[6]) * (x - b[6]) / (b[7] * b[7]));
  if (n == "DanWood") return b[0] * exp(b[1] * std::log(x));
  if (n == "Kirby2") return (b[0] + b[1] * x + b[2] * x * x) / (1 + b[3] * x + b[4] * x * x);
  if (n == "Nelson") return b[0] - b[1] * x * exp(-b[2] * x2);
  if (n == "Roszman1")
    return b[0] - b[1] * x - atan(b[2] / (x - b[3])) / 3.141592653589793238462643383279;
  if (n == "MGH09") return b[0] * (x * x + x * b[1]) / (x * x + x * b[2] + b[3]);
  if (n == "Rat42") return b[0] / (1 + exp(b[1] - b[2] * x));
  if (n == "MGH10") return b[0] * exp(b[1] / (x + b[2]));
  if (n == "Rat43") return b[0] / exp(log(1 + exp(b[1] - b[2] * x)) / b[3]);
  if (n == "MGH17") return b[0] + b[1] * exp(-x * b[3]) + b[2] * exp(-x * b[4]);
  if (n == "Eckerle4") return (b[0] / b[1]) * exp(-0.5 * ((x - b[2]) / b[1]) * ((x - b[2]) / b[1]));
  return T(std::nan(""));
}
inline double value(const Problem& pr, const double* b, int i) {
  return model_value<double>(pr.name, b, pr.x1[i], pr.x2.empty() ? 0.0 : pr.x2[i]);
}
// Value, and dy/db_j into D(0..NPAR-1).
inline double value_and_derivs(const Problem& pr, const double* b, int i, double* d) {
  Dual bd[kMaxPar];
  for (int j = 0; j < pr.npar; ++j) {
    bd[j].v = b[j];
    bd[j].d[j] = 1;
  }
  const Dual r = model_value<Dual>(pr.name, bd, pr.x1[i], pr.x2.empty() ? 0.0 : pr.x2[i]);
  for (int j = 0; j < pr.npar; ++j) d[j] = r.d[j];
  return r.v;
}

// Directory of the shared problems ("" when absent): the environment
// variable ORVIKA_NIST_DIR, else ../shared/nist beside the project.
inline std::string data_dir() {
  if (const char* env = std::getenv("ORVIKA_NIST_DIR")) {
    std::ifstream probe(std::string(env) + "/README.md");
    if (probe) return env;
  }
#ifdef ORVIKA_NIST_DIR
  std::ifstream probe(std::string(ORVIKA_NIST_DIR) + "/README.md");
  if (probe) return ORVIKA_NIST_DIR;
#endif
  return {};
}

// Reads DIR/NAME.dat; false when the file is missing or malformed.
inline bool load(const std::string& dir, const std::string& name, Problem& pr) {
  std::ifstream in(dir + "/" + name + ".dat");
  if (!in) return false;
  pr = Problem();
  pr.name = name;
  std::vector<std::string> lines;
  for (std::string s; std::getline(in, s);) lines.push_back(s);
  size_t data_at = 0;
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::string& s = lines[k];
    if (s.find("Lower Level of Difficulty") != std::string::npos) pr.level = 0;
    if (s.find("Average Level of Difficulty") != std::string::npos) pr.level = 1;
    if (s.find("Higher Level of Difficulty") != std::string::npos) pr.level = 2;
    std::istringstream ls(s);
    std::string tok, eq;
    if (ls >> tok && tok.size() >= 2 && tok[0] == 'b' && std::isdigit(static_cast<unsigned char>(tok[1])) &&
        ls >> eq && eq == "=") {
      double s1, s2, c, d;
      if (ls >> s1 >> s2 >> c >> d) {
        pr.start[0].push_back(s1);
        pr.start[1].push_back(s2);
        pr.cert.push_back(c);
        pr.sd.push_back(d);
      }
    }
    if (s.rfind("Residual Sum of Squares:", 0) == 0)
      pr.rss = std::stod(s.substr(s.find(':') + 1));
    if (s.rfind("Degrees of Freedom:", 0) == 0) pr.dof = std::stoi(s.substr(s.find(':') + 1));
    if (s.rfind("Data:", 0) == 0) data_at = k;  // the last such line heads the data
  }
  int ncol = 0;
  {
    std::istringstream hs(lines[data_at].substr(5));
    for (std::string t; hs >> t;) ++ncol;
  }
  for (size_t k = data_at + 1; k < lines.size(); ++k) {
    std::istringstream ls(lines[k]);
    double v[3];
    int got = 0;
    while (got < ncol && ls >> v[got]) ++got;
    if (got != ncol) continue;
    pr.y.push_back(v[0]);
    pr.x1.push_back(v[1]);
    if (ncol == 3) pr.x2.push_back(v[2]);
  }
  // Nelson's model is for the logarithm of the response.
  if (name == "Nelson")
    for (double& v : pr.y) v = std::log(v);
  pr.npar = static_cast<int>(pr.cert.size());
  return pr.npar > 0 && pr.npar <= kMaxPar && !pr.y.empty() && pr.dof == pr.ndat() - pr.npar;
}

// The problems of the shared set, by difficulty.
inline const std::vector<std::string>& names() {
  static const std::vector<std::string> v = {
      "Misra1a", "Chwirut2", "Lanczos3", "Gauss1",  "DanWood", "Kirby2", "Nelson",
      "Lanczos1", "Misra1c", "Roszman1", "MGH09",  "Rat42",   "MGH10",  "Eckerle4"};
  return v;
}

// Log relative error, capped at 11 digits (the certified digits).
inline double lre(double got, double cert) {
  if (!std::isfinite(got)) return 0;
  const double e = cert != 0 ? std::fabs(got - cert) / std::fabs(cert) : std::fabs(got);
  if (e == 0) return 11;
  return std::max(0.0, std::min(11.0, -std::log10(e)));
}

// The representative of an answer under the exact symmetries of the models,
// taken before comparing with the certified values: Eckerle4 is unchanged by
// (b1, b2) -> (-b1, -b2), the Gaussian widths enter squared and the Gauss
// peaks, like the Lanczos and MGH17 exponential terms, may trade places.
// (Standard deviations follow their parameters.)
inline void canonical(const Problem& pr, Vec& p, Vec* sd) {
  auto swap_groups = [&](int a, int b, int len) {
    for (int q = 0; q < len; ++q) {
      std::swap(p[a + q], p[b + q]);
      if (sd) std::swap((*sd)[a + q], (*sd)[b + q]);
    }
  };
  if (pr.name == "Eckerle4" && p[1] < 0) {
    p[0] = -p[0];
    p[1] = -p[1];
  }
  if (pr.name.rfind("Gauss", 0) == 0) {
    p[4] = std::fabs(p[4]);
    p[7] = std::fabs(p[7]);
    if (p[3] > p[6]) swap_groups(2, 5, 3);
  }
  if (pr.name == "MGH17" && p[3] > p[4]) {
    std::swap(p[1], p[2]);
    std::swap(p[3], p[4]);
    if (sd) {
      std::swap((*sd)[1], (*sd)[2]);
      std::swap((*sd)[3], (*sd)[4]);
    }
  }
  if (pr.name.rfind("Lanczos", 0) == 0)
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 2 - a; ++b)
        if (p[2 * b + 1] > p[2 * b + 3]) swap_groups(2 * b, 2 * b + 2, 2);
}

// PR with the response in units SY times smaller and the predictor in units
// SX times smaller (y -> SY y, x -> SX x), for the problems whose parameters
// then just change their units: amplitudes scale with SY, rates with 1/SX.
// The starts, the certified values and standard deviations and the RSS
// follow, so that a fit must give the same digits.  False for other models.
inline bool scaled(const Problem& pr, double sy, double sx, Problem& out) {
  std::vector<int> kind;  // 1 amplitude, -1 rate, 0 unchanged
  const std::string& n = pr.name;
  if (n.rfind("Misra", 0) == 0 || n == "BoxBOD")
    kind = {1, -1};
  else if (n.rfind("Lanczos", 0) == 0)
    kind = {1, -1, 1, -1, 1, -1};
  else if (n == "Rat43")
    kind = {1, 0, -1, 0};
  else if (n == "MGH17")
    kind = {1, 1, 1, -1, -1};
  else
    return false;
  out = pr;
  for (double& v : out.y) v *= sy;
  for (double& v : out.x1) v *= sx;
  auto units = [&](Vec& b) {
    for (size_t j = 0; j < b.size(); ++j) b[j] *= kind[j] == 1 ? sy : kind[j] == -1 ? 1 / sx : 1;
  };
  units(out.start[0]);
  units(out.start[1]);
  units(out.cert);
  units(out.sd);
  out.rss *= sy * sy;
  return true;
}

inline double rss_at(const Problem& pr, const double* b) {
  double s = 0;
  for (int i = 0; i < pr.ndat(); ++i) {
    const double r = pr.y[i] - value(pr, b, i);
    s += r * r;
  }
  return s;
}

// ---- fits ----------------------------------------------------------------------

struct Fit {
  bool success = false;
  long status = 0;
  Vec p, sd;  // sd empty when the routine gives no covariance
  double rss = 0;
  long evals = 0;  // model evaluations (a Jacobian counts as one)
  // Smallest LRE over the parameters, the RSS (Lanczos1: 11 when below 1e-20,
  // else 0) and, when WITH_SD, the standard deviations.
  double min_lre(const Problem& pr, bool with_sd, double* lp = nullptr, double* lr = nullptr,
                 double* ls = nullptr) const {
    double a = 11, b, c = 11;
    Vec p = this->p, sd = this->sd;
    canonical(pr, p, sd.empty() ? nullptr : &sd);
    for (int j = 0; j < pr.npar; ++j) a = std::min(a, lre(p[j], pr.cert[j]));
    if (pr.rss < 1e-20)
      b = rss < 1e-20 ? 11 : 0;
    else
      b = lre(rss, pr.rss);
    const bool judge_sd = !sd.empty() && !pr.sd.empty();
    if (judge_sd)
      for (int j = 0; j < pr.npar; ++j) c = std::min(c, lre(sd[j], pr.sd[j]));
    if (lp) *lp = a;
    if (lr) *lr = b;
    if (ls) *ls = judge_sd ? c : -1;
    double m = std::min(a, b);
    if (with_sd && judge_sd) m = std::min(m, c);
    return m;
  }
};

struct Call9 {
  const Problem* pr;
  long evals;
};

inline void model9(const IWORD* npar, const IWORD* ndat, void* mdat1, const double* p, void*,
                   const IWORD* req, double* f, double* fp, void*) {
  auto* c = static_cast<Call9*>(mdat1);
  ++c->evals;
  double d[kMaxPar];
  for (IWORD i = 0; i < *ndat; ++i) {
    if (*req == 0) {
      f[i] = value_and_derivs(*c->pr, p, static_cast<int>(i), d);
      for (IWORD j = 0; j < *npar; ++j) fp[j + i * *npar] = d[j];
    } else {
      f[i] = value(*c->pr, p, static_cast<int>(i));
    }
  }
}

// ORVK_BNLLSQ with engine IENG (1 ORVK_LUEBRI, else ORVK_LUEBRN) from start K,
// analytic derivatives (NDRV 0) or differences.
inline Fit fit_bnllsq(const Problem& pr, int k, IWORD ieng, double tol = 1e-10,
                      IWORD itmax = 500, IWORD ndrv = 0) {
  IWORD npar = pr.npar, ndat = pr.ndat(), iter = itmax, iods = 1, iprint = 0,
        ibound = 0, iflag1 = 0, ncall = 0, istat = -99;
  double stpsiz = 1, ssnd = 1e-6, ssq = 0, sigma = 0;
  Vec p = pr.start[k], zm = pr.y, r(ndat, 1.0), plow(npar), pupp(npar), pscl(npar, 1.0);
  const IWORD a = npar * ndat;
  Vec rwork(2 * a + 10 * ndat + 9 * npar + 1), z(ndat), cpack(npar * (npar + 1) / 2),
      hmat(npar * npar + npar);
  std::vector<IWORD> iwork(npar + 2 * ndat);
  Call9 c{&pr, 0};
  ORVK_BNLLSQ(&npar, &ndat, &c, p.data(), zm.data(), nullptr, r.data(), model9, &iter, &iods,
              &stpsiz, &tol, &iprint, &ndrv, &ibound, plow.data(), pupp.data(), &iflag1, nullptr,
              nullptr, &ssnd, rwork.data(), iwork.data(), &ssq, &sigma, z.data(), cpack.data(),
              hmat.data(), &ncall, &istat, nullptr, &ieng, pscl.data());
  Fit f;
  f.status = istat;
  f.success = istat == 0;
  f.p = p;
  f.rss = rss_at(pr, p.data());
  f.evals = c.evals;
  f.sd.resize(npar);
  for (int j = 0; j < npar; ++j) {
    const double cjj = cpack[(j + 1) * (j + 2) / 2 - 1];
    // ORVK_LUEBRN returns the covariance scaled by the variance estimate,
    // ORVK_LUEBRI the unscaled one.
    f.sd[j] = ieng == 1 ? sigma * std::sqrt(cjj) : std::sqrt(cjj);
  }
  return f;
}

// ORVK_YSOLVE from start K with analytic derivative columns.
inline Fit fit_ysolve(const Problem& pr, int k, double eps = 1e-9, long maxcalls = 20000) {
  IWORD n = pr.npar, m = pr.ndat();
  std::vector<IWORD> ictl(26, 0);
  Vec rctl(16, 0.0), x(2 * n), pmode(n, -1.0), xup(n, 1e300), xlow(n, -1e300), ycalc(2 * m),
      dydx(m), stat(6), work(n * m + 2 * n + m), anorm(n * (n + 2)), asys(n * (n + 2));
  rctl[3] = eps;
  for (int j = 0; j < n; ++j) x[j] = pr.start[k][j];
  Fit f;
  auto eval = [&] {
    for (int i = 0; i < m; ++i) ycalc[i] = value(pr, x.data(), i);
    ++f.evals;
  };
  eval();
  ictl[0] = 1;
  Vec jac(static_cast<size_t>(n) * m);
  Vec jacx(n, std::nan(""));
  for (long calls = 0; calls < maxcalls; ++calls) {
    ORVK_YSOLVE(&n, &m, ictl.data(), rctl.data(), x.data(), pmode.data(), xup.data(),
                xlow.data(), pr.y.data(), ycalc.data(), dydx.data(), stat.data(), work.data(),
                anorm.data(), asys.data());
    const IWORD code = ictl[0];
    if (code == -1 || (ictl[1] == -1 && code != 5)) break;
    if (code == 2) {
      // One Jacobian at the accepted point serves all its columns.
      const IWORD j = ictl[3];
      bool same = true;
      for (int l = 0; l < n; ++l) same = same && jacx[l] == x[n + l];
      if (!same) {
        double d[kMaxPar];
        for (int i = 0; i < m; ++i) {
          value_and_derivs(pr, x.data() + n, i, d);
          for (int l = 0; l < n; ++l) jac[i + l * m] = d[l];
        }
        for (int l = 0; l < n; ++l) jacx[l] = x[n + l];
        ++f.evals;
      }
      for (int i = 0; i < m; ++i) dydx[i] = jac[i + (j - 1) * m];
    } else if (code == 3 || code == 4) {
      eval();
    }
  }
  f.status = ictl[2];
  f.success = ictl[0] == -1 && ictl[2] == 0;
  f.p.assign(x.begin() + n, x.end());
  f.rss = rss_at(pr, f.p.data());
  return f;
}

}  // namespace nist
