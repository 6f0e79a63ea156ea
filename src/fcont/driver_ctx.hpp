// Private view of one call of the continuation driver: the caller's
// arguments, the sections of the work arrays and named access to the
// records.  Shared by the driver, its linear solves and its Jacobian steps.
#pragma once

#include <cmath>

#include "fcont/fcont.hpp"
#include "frame/views.hpp"

namespace orvika::fcont {

struct Ctx {
  const FcontArgs& a;
  const FcontWork& w;
  IWORD n;
  IWORD np1;

  // NP1 is only used once N has passed the start checks (N >= 1 and a
  // layout within the IWORD range); it is formed without overflow for any N.
  Ctx(const FcontArgs& args, const FcontWork& work)
      : a(args), w(work), n(*args.N), np1(plus_one(*args.N)) {}

  IWORD& I(int word) const { return vec1(a.IINFO)(word); }     // IINFO
  double& R(int word) const { return vec1(a.RINFO)(word); }    // RINFO
  IWORD& P(int word) const { return vec1(a.IPARAM)(word); }    // IPARAM
  double& Q(int word) const { return vec1(a.RPARAM)(word); }   // RPARAM
  IWORD istore() const { return *a.ISTORE; }
  IWORD ihom() const { return *a.IHOM; }
  bool sparse() const { return *a.ISTORE == 1; }
  IWORD nz() const { return *a.NZ; }
  IWORD ldb() const { return *a.LDB; }
  double& rlam() const { return R(ri::RLAM); }

  // Scaled residual norm sqrt(sum (FSCALE(i) v(i))^2).
  double rnorm(const double* v) const {
    double s = 0.0;
    for (IWORD i = 0; i < n; ++i) {
      const double t = a.FSCALE[i] * v[i];
      s += t * t;
    }
    return std::sqrt(s);
  }
};

// Outcome of a step of the driver: true when the call must return to the
// caller (a request or a final code has been handed out).
using Done = bool;

// Request exit: ISOLV := CODE, state IGOTO; RLAM handed out, IFERR cleared.
Done request(Ctx& c, IWORD code, IWORD igoto);
// Final exit with CODE (restores the best point first when needed).
Done final_exit(Ctx& c, IWORD code);

// Obtains a Jacobian (request -3 or the difference loop) and goes on by JFROM.
Done obtain_jacobian(Ctx& c);
// The difference loop of neq_jacfd (state 7's work).
Done difference_loop(Ctx& c);
// A complete Jacobian: type-4 parameter derivative first, then by JFROM.
Done jacobian_complete(Ctx& c);
// Goes on by JFROM once the Jacobian (and type 4 derivative) is in hand.
Done jacobian_dispatch(Ctx& c);
// Start set-up with the first Jacobian of a run.
Done start_setup(Ctx& c);

// Step T (tangent at YB), step P (prediction), corrector step, start-point
// correction step.
Done step_tangent(Ctx& c);
Done step_predict(Ctx& c);
Done corrector_step(Ctx& c);
Done initial_correction_step(Ctx& c);

// Sparse options and diagonal positions at the start of a sparse run;
// returns 0 or a final code.
IWORD sparse_setup(Ctx& c);
// One linear solve (right-hand sides in W1, W2); PURPOSE 1 start-point
// correction, 2 tangent, 3 corrector step; NRHS 1 or 2.  Result in W1
// (N+1 components), RHOLEN, DYLEN.  Returns 0 or a final code.
IWORD linear_solve(Ctx& c, IWORD purpose, IWORD nrhs);
// True when the solution of the latest linear solve failed the sparse
// accuracy check and was taken only because the pivot tolerances could
// rise no further (a repaired zero pivot, for one), or whose dense factor
// has an infinite pivot (a zero part of the step): its length then says
// nothing about how near the iterate is to the path.
bool last_solve_inaccurate();

}  // namespace orvika::fcont
