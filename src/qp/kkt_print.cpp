// Print and timer helpers shared by the sparse KKT solvers and the simplex
// feasibility check.
#include "frame/format.hpp"
#include "frame/units.hpp"
#include "orvika/host.h"
#include "orvika/kernels_vector.h"
#include "orvika/qp.h"
#include "qp/qp.hpp"

namespace orvika::kkt_detail {

void dump_i(IWORD unit, IWORD n, const IWORD* v, std::string_view label) {
  const Label10 l(label);
  const IWORD ioff = 0;
  ORVK_VIDUMP(&unit, &n, &ioff, v, l.s, 10);
}

void dump_r(IWORD unit, IWORD n, const double* v, std::string_view label) {
  const Label10 l(label);
  const IWORD ioff = 0;
  ORVK_VRDUMP(&unit, &n, &ioff, v, l.s, 10);
}

void dump_si(IWORD unit, IWORD v, std::string_view label) {
  const Label10 l(label);
  ORVK_SIDUMP(&unit, &v, l.s, 10);
}

void dump_sr(IWORD unit, double v, std::string_view label) {
  const Label10 l(label);
  ORVK_SRDUMP(&unit, &v, l.s, 10);
}

void size_pr(IWORD unit, IWORD n, std::string_view label) {
  const Label10 l(label);
  ORVK_SIZEPR(&unit, &n, l.s, 10);
}

void phase_line(IWORD unit, std::string_view text) {
  write_empty(unit);
  write_empty(unit);
  write_rec(unit, Rec().T(5).A(text));
}

double timer(double& t0) {
  const IWORD mode = 1;
  double t = 0.0;
  VLK_TIMINT(&mode, &t0, &t);
  return t;
}

}  // namespace orvika::kkt_detail
