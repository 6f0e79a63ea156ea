// Private view of one call of ORVK_NSOLVE or ORVK_NSOLVE2: the caller's
// arguments, the state blocks, the sections of the work arrays and the
// named steps of a call.  Shared by the iteration (nsolve_engine.cpp), the
// linear solves and work-space positions (nsolve_linsolve.cpp) and the
// prints (nsolve_messages.cpp).
#pragma once

#include <string_view>

#include "frame/views.hpp"
#include "frame/workspace.hpp"
#include "nsolve/nsolve.hpp"
#include "orvika/nsolve.h"
#include "orvika/sparselu.h"

namespace orvika::nsolve {

constexpr double kBig = 1e15;                 // clamp of scaled residuals and steps
constexpr IWORD kMaxDenseOrder = 2000000000;  // 11N + 2N^2 stays inside an IWORD

// Positions of the sparse arrays in the work space.
struct SparsePos {
  IWORD ivect = 0, jvect = 0, iorn = 0, ia = 0;  // caller-side triplets (before the call)
  IWORD irp = 0, ici = 0, x = 0, nzc = 0;        // the package's result (after the call)
};

struct Engine {
  Engine(const NsolveArgs& a, int variant, NsolveSaved& sv)
      : a_(a), v2_(variant == 2), sv_(sv), N(*a.N), ICODE(*a.ICODE), ITER(*a.ITER),
        RMSERR(*a.RMSERR), S1(ORVK_NSOLV1), S2(ORVK_NSOLV2) {}

  // ---- arguments and state ---------------------------------------------------------
  const NsolveArgs& a_;
  const bool v2_;
  NsolveSaved& sv_;
  const IWORD N;
  IWORD& ICODE;
  IWORD& ITER;
  double& RMSERR;
  ORVK_NSOLV1_T& S1;
  ORVK_NSOLV2_T& S2;

  IWORD iprint() const { return *a_.IPRINT; }
  IWORD unit() const { return *a_.IOUT; }
  bool sparse() const { return *a_.ISTOR == 1; }
  IWORD irscl() const { return *a_.IRSCL; }
  IWORD icscl() const { return *a_.ICSCL; }
  IWORD lwork() const { return *a_.LWORK; }
  IWORD nzd() const { return sparse() ? *a_.NZ : N * N; }  // entries of BJ

  // ---- sections of WORK and RWORK ------------------------------------------------------
  double* XS() const { return a_.WORK + 5 * N; }
  double* FS() const { return a_.WORK + 6 * N; }
  double* WB() const { return a_.WORK; }      // base X, or the Newton step for the dogleg
  double* FB() const { return a_.WORK + N; }  // base F
  double* DW() const { return a_.WORK + N; }  // dogleg work (4N)
  double* DX() const;                         // the Newton step
  // The LWORK words of RWORK/IWORK seen as integers.
  IV iwork() const { return IV(a_.IWORK, lwork()); }
  double unscaled_step(IWORD i) const {
    const double d = DX()[i];
    return icscl() > 0 ? d * a_.CSCALE[i] : d;
  }

  // ---- the iteration (nsolve_engine.cpp) -----------------------------------------------
  void run();             // one call: a start, or the step the returned request asked for
  void start();           // defaults, input checks, positions, state, first prints
  void defaults();        // missing options take their defaults (written back)
  IWORD validate();       // 0, or the final code of a start call with bad input
  void residual_pass();   // request 2 answered: scale factors (first pass), residual_rest
  bool residual_rest();   // scaled point, RMS, iteration block and tests
  bool tests();           // convergence and failure tests; true when a Jacobian is wanted
  void jacobian_pass();   // requests 6 and 7 answered: the Newton step and what follows
  void after_solve();     // ORVK_NSOLVE: bound list, best point, full or global step
  void after_solve2();    // ORVK_NSOLVE2: signed bound list, cut-step count, merit history
  void full();            // the full Newton step as the trial (request 3)
  void glob();            // the globalised step: dogleg or line search
  void dogleg_setup();    // a new dogleg base and its first trial (request 4)
  void line_search();     // ORVK_NSOLVE's line search from the current point
  void search_trial();    // its next trial (request 5)
  void relax_search();    // ORVK_NSOLVE2's relaxation search (request 5)
  void judge_full();      // request 3 answered
  void judge_dogleg();    // request 4 answered
  void judge_search();    // request 5 answered (ORVK_NSOLVE)
  void judge_relax();     // request 5 answered (ORVK_NSOLVE2)
  void accept();          // an accepted trial: step measure, iteration block, tests
  void finish(IWORD code);  // a final code, with its message below 0

  void rcscal();                                        // row and column scale factors
  void scale_x();                                       // XS from X
  void scale_point();                                   // XS and FS from X and F
  double rms() const;                                   // RMS of FS
  bool trial_bad() const;                               // F not all finite
  void update(const double* base, double t);            // X := bounded BASE + T DX
  void bndstp_from(const double* base, double lambda);  // X := BNDSTP step from BASE
  void keep_base();                                     // WB, FB := X, F
  void unit_step();                                     // the full step from X
  void restore_base();                                  // X, F := WB, FB
  void restore_dogleg_base();                           // X, F from the dogleg's base
  void compute_viol();                                  // bound violation of the full step
  double step_measure() const;                          // relative size of the last step
  bool first_step() const;                              // ITER = ITER0 + 1
  void merit_history();                                 // ORVK_NSOLVE2's reference merit
  void dogleg_trial();                                  // the dogleg's step as the trial

  // ---- linear solves and work-space positions (nsolve_linsolve.cpp) ---------------------
  bool layout(SparsePos& p) const;            // the input layout of a fresh analysis
  bool kept_positions(SparsePos& p) const;    // the input positions kept for a reuse
  bool result_positions(SparsePos& p) const;  // the positions of the package's result
  void set_positions(const SparsePos& p) const;  // input positions into ORVK_SPOPT2
  bool solve_sparse(bool broyden);            // the Newton step DX, sparse storage
  bool solve_dense(bool broyden);             // the Newton step DX, dense storage
  bool call_dogleg(IWORD mode);               // the dogleg on the matrix of the step

  // ---- prints (nsolve_messages.cpp) -----------------------------------------------------
  void print_failure(IWORD code);
  void print_start();
  void print_matrix(IWORD nz, const double* bjs);
  void print_solve(IWORD attempt, IWORD nz, const double* dx);
  void print_block();
  void print_terminal();
  void print_strategy(std::string_view title);
  void print_search();
  void print_relax(double r);
  void largest(std::string_view title, IWORD mode, const double* v, const double* s,
               double thresh);
  void print_bound_list();
  void print_bound_block(double ratio);
  void print_dogleg_step();
};

inline double* Engine::DX() const {
  if (!sparse()) return a_.RWORK + 3 * N;
  return a_.RWORK + (ORVK_SPOPT2.X - 1);
}

}  // namespace orvika::nsolve
