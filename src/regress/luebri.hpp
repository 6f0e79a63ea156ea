// State of one ORVK_LUEBRI run: the caller's arguments and the run values
// carried between the steps of the call.
#pragma once

#include "orvika/regress.h"
#include "regress/regress.hpp"

namespace orvika {

struct Luebri : EngineArgs {
  // ---- arguments of this engine only
  double *zpert, *delz;
  double stpsiz;
  IWORD ibound;

  // ---- run state
  IWORD iterno = 0;
  double gamma = 0, rms = 0, slin = 0;
  bool stalled = false;     // the last line search found no lower point
  double pred_rel = 0;      // decrease predicted by the full undamped step, relative
  double obj_base = 0;      // objective of the linear model where it was formed
  bool nonfinite = false;   // the last linearisation held values that are not finite
  double mu = 0;            // damping of the normal matrix (0: Gauss-Newton)
  double size = 0;          // sum of the squared weighted measurements

  // 1-based views: ZPERT and DELZ are Z-shaped, FZ(k,m,i) per point.
  Mat1<double> ZP{zpert, nmmax}, DZ{delz, nmmax};
  Arr3<double> FZ{fz, ncmax, nmmax};

  double* fp_free(bool fp_busy) const;
  void call(const double* z1, const double* z2, const double* pp, IWORD req, double* ff,
            double* ffz, double* ffp);
  void run();
  void derivatives(bool check, bool deming);
  void derivative_dump(bool check);
  void iteration(bool deming);
  void line_search();
  void final_phase();

  // luebri_report.cpp
  void echo();
  void header();
  void not_converged(IWORD n);
  void final_report();
  void statistics(bool report);
  void rows10(const double* v, IWORD n, IWORD stride);
};

}  // namespace orvika
