// Predictor, target step and turning points of the continuation solver.
//
// Between the last two accepted points YP (arc position -DELS) and YB (0) the
// path is modelled, component by component, by the cubic Hermite curve p(s)
// with p(0) = YB, p'(0) = TB, p(-DELS) = YP, p'(-DELS) = TP.  The predictor
// extrapolates it (blending towards the tangent line beyond twice the last
// step), the target step solves p(s) = PFINAL for the parameter component
// and the turning-point search solves p'(s) = 0 between the two points.
// Reference: Allgower & Georg, Introduction to Numerical Continuation
// Methods, SIAM 2003, ch. 6.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fcont/fcont.hpp"
#include "fcont/fcont_parts.hpp"
#include "frame/format.hpp"
#include "frame/views.hpp"

namespace orvika {

namespace {

// Sign as the step routines take it: -1 for negative values, +1 otherwise.
inline double sgn(double v) { return v < 0.0 ? -1.0 : 1.0; }

// True when the branch has no usable previous point: the flag TP(1) > 1, or
// a last step that is not a positive length (the cubic would divide by it).
inline bool linear_case(double tp1, double dels) { return tp1 > 1.0 || !(dels > 0.0); }

void blank(char* text, std::int64_t len) {
  if (text != nullptr && len > 0) std::memset(text, ' ', static_cast<std::size_t>(len));
}

}  // namespace

void fcont_hermite(IWORD mode, double dels, double s, double yb, double tb, double yp,
                   double tp, double& p, double& p1, double& p2) {
  const double rd = 1.0 / dels;
  const double g = (yb - yp) * rd;
  const double c2 = (tb - g) * rd;
  const double c3 = (c2 - (g - tp) * rd) * rd;
  const double h = c2 + (dels + s) * c3;
  p = yb + s * (tb + s * h);
  if (mode >= 2) p1 = tb + s * h + s * (h + c3 * s);
  if (mode >= 3) p2 = 2.0 * (h + 2.0 * c3 * s);
}

void fcont_cubsolve(IWORD mode, double dels, double target, double yb, double tb, double yp,
                    double tp, double& lo, double& hi, double& s, IWORD& status) {
  double x = std::min(std::max(lo, s), hi);
  for (int step = 1; step <= 40; ++step) {
    double p = 0.0, p1 = 0.0, p2 = 0.0;
    double v, d;
    if (mode == 1) {
      fcont_hermite(2, dels, x, yb, tb, yp, tp, p, p1, p2);
      v = p;
      d = p1;
    } else {
      fcont_hermite(3, dels, x, yb, tb, yp, tp, p, p1, p2);
      v = p1;
      d = p2;
    }
    if (d == 0.0) {
      status = 1;
      s = x;
      return;
    }
    const double delta = -(v - target) / d;
    if ((x == lo && delta < 0.0) || (x == hi && delta > 0.0)) {
      status = 2;
      s = x;
      return;
    }
    if (delta >= 0.0) lo = x;
    if (delta <= 0.0) hi = x;
    x = std::min(std::max(lo, x + delta), hi);
    if (std::fabs(delta) < 1e-8 * dels) {
      status = 0;
      s = x;
      return;
    }
  }
  status = 3;
  s = x;
}

void fcont_predict(IWORD np1, double dels, double& h, const double* yb, const double* tb,
                   const double* yp, const double* tp, IWORD mode, double* y, double* tpred) {
  if (np1 <= 0) return;
  if (linear_case(tp[0], dels)) {
    for (IWORD i = 0; i < np1; ++i) y[i] = yb[i] + h * tb[i];
    if (mode >= 2)
      for (IWORD i = 0; i < np1; ++i) tpred[i] = tb[i];
    return;
  }
  for (;;) {
    double scratch = 0.0;
    for (IWORD i = 0; i < np1; ++i) {
      double p1 = 0.0;
      fcont_hermite(mode, dels, h, yb[i], tb[i], yp[i], tp[i], y[i], p1, scratch);
      if (mode >= 2) tpred[i] = p1;
    }
    if (h > 2.0 * dels) {
      const double w = 2.0 * dels / h;
      for (IWORD i = 0; i < np1; ++i) y[i] = w * y[i] + (1.0 - w) * (yb[i] + h * tb[i]);
      if (mode >= 2)
        for (IWORD i = 0; i < np1; ++i) tpred[i] = w * tpred[i] + (1.0 - w) * tb[i];
    }
    if (mode < 2) return;
    const double r = 1.0 / fcont_l2norm(np1, tpred);
    for (IWORD i = 0; i < np1; ++i) tpred[i] *= r;
    const double c = fcont_inner(np1, tb, tpred);
    // A NaN cosine ends the loop, and so does a step that cannot shrink any
    // further (TB not of unit length would otherwise never pass the test).
    if (!(c < 0.55) || h == 0.0) return;
    h = 0.5 * h;
  }
}

void fcont_tgtstep(double& h, IWORD np1, double dels, double pfinal, const double* yb,
                   const double* tb, const double* yp, const double* tp, char* text,
                   IWORD& pfixed, IWORD /*limcut*/, std::int64_t ltext) {
  blank(text, ltext);
  pfixed = 0;
  if (np1 <= 0) return;
  const double h0 = h;
  double s = h0, lo = 0.0, hi = 2.0 * h0;
  IWORD status = 1;
  const IWORD k = np1 - 1;  // the parameter component
  if (linear_case(tp[0], dels)) {
    const double d = pfinal - yb[k];
    if (tb[k] != 0.0 && sgn(d) == sgn(tb[k])) {
      s = d / tb[k];
      status = 0;
    }
  } else {
    fcont_cubsolve(1, dels, pfinal, yb[k], tb[k], yp[k], tp[k], lo, hi, s, status);
  }
  const char* kind = nullptr;
  if (status != 0 || s > 1.6 * h0) {
    // keep the step
  } else if (s > h0) {
    h = 0.55 * s;
    kind = "next param value";
  } else if (s > 0.0 && s < h0) {
    h = s;
    pfixed = 1;
    kind = "param value";
  }
  if (kind != nullptr && h != h0 && text != nullptr && ltext > 0) {
    Rec r;
    r.A("Reduce the step to").G(h, 12, 5, 1).A(" for ").A(kind);
    r.to_text(text, static_cast<std::size_t>(ltext));
  }
}

void fcont_turnpt(IWORD np1, IWORD& k, double dels, const double* yb, const double* tb,
                  const double* yp, const double* tp, double& s) {
  IWORD found = 0;
  if (np1 > 0 && dels > 0.0) {
    const Vec1<const double> YB(yb, np1), TB(tb, np1), YP(yp, np1), TP(tp, np1);
    double lo = -dels, hi = 0.0;
    for (IWORD i = std::max<IWORD>(k + 1, 1); i <= np1; ++i) {
      if (sgn(TB(i)) == sgn(TP(i))) continue;
      s = 0.5 * (lo + hi);
      IWORD status = 0;
      fcont_cubsolve(2, dels, 0.0, YB(i), TB(i), YP(i), TP(i), lo, hi, s, status);
      if (status == 0) {
        found = i;
        break;
      }
    }
  }
  k = found;
}

void fcont_stpfac(double a, double b, IWORD k, IWORD m, IWORD l, double& fac) {
  auto limit = [](double v) {
    if (std::isnan(v)) return 0.125;  // no usable measure: the cautious factor
    return std::min(std::max(v, 0.125), 8.0);
  };
  if (k <= 1 || b <= 2e-15) {
    fac = 8.0;
    return;
  }
  if (k <= m) {
    const IWORD s = (l - 1) / 2;
    if (k == s) {
      fac = 1.0;
    } else if (k >= l) {
      fac = 0.125;
    } else {
      const double den = std::ldexp(1.0, static_cast<int>(std::min<IWORD>(k - 1, 2000))) - 1.0;
      const double e = static_cast<double>(1.0f / static_cast<float>(den));
      const double g = std::pow(a / b, e);
      const double mm =
          std::pow(g, std::ldexp(1.0, static_cast<int>(std::clamp<IWORD>(k - s, -2000, 2000))));
      fac = limit((1.0 + g + 1.0 / g) / (1.0 + mm + 1.0 / mm));
    }
    return;
  }
  if (k == l) {
    fac = 1.0;
    return;
  }
  if (k >= 2 * l) {
    fac = 0.125;
    return;
  }
  const double t = std::pow(
      8.0, static_cast<double>(static_cast<float>(k - 1) / static_cast<float>(k - l)));
  const double r = a / b;
  if (k < l) {
    if (t > r) {
      fac = 8.0;
      return;
    }
    if (t > 1.0 / r) {
      fac = 0.125;
      return;
    }
  } else {
    if (r > t) {
      fac = 8.0;
      return;
    }
    if (1.0 / r > t) {
      fac = 0.125;
      return;
    }
  }
  fac = limit(
      std::pow(r, static_cast<double>(static_cast<float>(k - l) / static_cast<float>(k - 1))));
}

void fcont_curvstp(double ang, double h, double hprev, double tola, double tolb, double& curv,
                   double grow, double hmin, double hmax, IWORD iflag, double& hnew) {
  if (!(h > 0.0) || !(grow > 0.0)) {
    // No step to measure a curvature over: keep the step within its limits.
    hnew = std::min(std::max(h, hmin), hmax);
    return;
  }
  const double kappa = 2.0 * std::fabs(std::sin(0.5 * ang)) / h;
  const double prev = curv;
  curv = kappa;
  double est = (hprev != 0.0) ? kappa + (kappa - prev) * h / (hprev + h) : 2.0 * kappa;
  est = std::max(est, std::max(0.001, 0.01 / h));
  double step;
  if (tola != 0.0) {
    step = std::sqrt(2.0 * std::min(std::max(0.01 * h, tolb * tola), h) / est);
  } else {
    step = h * grow;
  }
  if (iflag > 0) step = std::min(step, 0.5 * (grow - 1.0) * h);
  step = std::min(std::max(step, h / grow), h * grow);
  hnew = std::min(std::max(step, hmin), hmax);
}

void fcont_getscl(IWORD i, IWORD mode, const double* v, const void* cb, double& s1, double& s2,
                  double& s3, char* text, std::int64_t ltext) {
  const Vec1<const double> V(v);
  s1 = (v != nullptr && V(1) > 0.0 && i >= 1) ? V(i) : 1.0;
  s2 = 1.0;
  s3 = 0.0;
  blank(text, ltext);
  if (mode >= 0 && fcont_present(cb) != 0) {
    const IWORD l = ltext;
    auto rtn = reinterpret_cast<FcontSclRtn>(const_cast<void*>(cb));
    rtn(&i, &mode, v, &s1, &s2, &s3, &l, text, ltext);
  }
}

}  // namespace orvika
