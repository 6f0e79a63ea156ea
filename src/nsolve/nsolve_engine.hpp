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
  void run();
  void start();
  void defaults();
  IWORD validate();
  void residual_pass();
  bool residual_rest();
  bool tests();
  void jacobian_pass();
  void after_solve();
  void after_solve2();
  void full();
  void glob();
  void dogleg_setup();
  void line_search();
  void search_trial();
  void relax_search();
  void judge_full();
  void judge_dogleg();
  void judge_search();
  void judge_relax();
  void accept();
  void finish(IWORD code);

  void rcscal();
  void scale_x();
  void scale_point();
  double rms() const;
  bool trial_bad() const;
  void update(const double* base, double t);
  void bndstp_from(const double* base, double lambda);
  void keep_base();
  void unit_step();
  void restore_base();
  void restore_dogleg_base();
  void compute_viol();
  double step_measure() const;
  void merit_history();
  void dogleg_trial();

  // ---- linear solves and work-space positions (nsolve_linsolve.cpp) ---------------------
  bool layout(SparsePos& p) const;
  bool kept_positions(SparsePos& p) const;
  bool result_positions(SparsePos& p) const;
  void set_positions(const SparsePos& p) const;
  bool solve_sparse(bool broyden);
  bool solve_dense(bool broyden);
  bool call_dogleg(IWORD mode);

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
