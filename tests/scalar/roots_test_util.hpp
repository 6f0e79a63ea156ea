// Helpers of the root-finder tests: named test functions with known roots
// and a driver of the reverse-communication loop that counts evaluations.
#pragma once

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "orvika/orvika_types.h"

namespace scalar_test {

// A scalar equation F(x) = target with a known root.
struct Equation {
  std::string name;
  std::function<double(double)> f;
  double target;
  double root;
};

// x^3 - 2x - 5 = 0 (Wallis' example), exp(x) = 3, Kepler's equation
// E - 0.5 sin E = 1, cos x = x.
inline std::vector<Equation> classic_equations() {
  return {
      {"wallis", [](double x) { return (x * x - 2.0) * x - 5.0; }, 0.0, 2.0945514815423265},
      {"exp", [](double x) { return std::exp(x); }, 3.0, std::log(3.0)},
      {"kepler", [](double e) { return e - 0.5 * std::sin(e); }, 1.0, 1.4987011335178484},
      {"dottie", [](double x) { return std::cos(x) - x; }, 0.0, 0.7390851332151607},
  };
}

// The work record of the ROOTFM family with its inputs set: bounds LO and
// HI, tolerances, the first step and the target; the rest zero.
using Record = std::array<double, 16>;
inline Record record(double lo, double hi, double rtol, double xtol, double step, double target) {
  Record w{};
  w[0] = lo;
  w[1] = hi;
  w[2] = rtol;
  w[3] = xtol;
  w[4] = step;
  w[5] = target;
  return w;
}

// Result of driving a routine until its code is final.
struct RunResult {
  IWORD code = 0;        // the final code
  double x = 0.0;        // X at the end
  int evals = 0;         // evaluations of F, the start point included
  std::vector<IWORD> codes;  // every code returned
};

// Calls STEP(code, x, f) with F evaluated at the returned X while IS_REQUEST
// holds for the code, at most CAP calls.
inline RunResult drive(const std::function<void(IWORD&, double&, double&)>& step,
                 const std::function<double(double)>& f, double x0, IWORD code0,
                 const std::function<bool(IWORD)>& is_request, int cap = 200) {
  RunResult r;
  IWORD code = code0;
  double x = x0;
  double fx = f(x);
  r.evals = 1;
  for (int call = 0; call < cap; ++call) {
    step(code, x, fx);
    r.codes.push_back(code);
    if (!is_request(code)) break;
    fx = f(x);
    ++r.evals;
  }
  r.code = code;
  r.x = x;
  return r;
}

}  // namespace scalar_test
