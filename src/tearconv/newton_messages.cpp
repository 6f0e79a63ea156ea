// Messages and labelled vector prints of ORVK_NEWTON.

#include "tearconv/newton_messages.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "frame/format.hpp"
#include "frame/hostdata.hpp"
#include "orvika/host.h"
#include "orvika/tearconv_newton_method.h"
#include "tearconv/newton.hpp"

namespace orvika {

bool newton_msg_admitted(const IWORD* opt, IWORD msgclass) {
  const IWORD three = 3, zero1 = 0, zero2 = 0, two = 2;
  return VLK_IRRCHK(kNewtonName, &three, &msgclass, opt, host::imisval_addr(), &zero1, &zero2,
                    &two) != 0;
}

void newton_msg_issue(const std::string_view* lines, int nlines) {
  for (int k = 0; k < nlines; ++k) host::set_errout(k + 1, lines[k]);
  const IWORD n = nlines;
  VLK_ERRPRT(&n);
}

void newton_vector(const double* v, IWORD n, std::string_view label) {
  // The label as three name words: four characters each, blank-padded.
  IWORD words[3];
  for (std::size_t w = 0; w < 3; ++w) {
    std::uint64_t u = 0;
    for (std::size_t k = 8; k-- > 0;) {
      const std::size_t at = 4 * w + k;
      const char ch = (k < 4 && at < label.size()) ? label[at] : ' ';
      u = (u << 8) | static_cast<unsigned char>(ch);
    }
    words[w] = static_cast<IWORD>(u);
  }
  ORVK_NVPRNT(v, &n, kNewtonName, words);
}

void newton_msg_step_size(const IWORD* opt, double p, double range) {
  if (!newton_msg_admitted(opt, 1)) return;
  Rec r1, r2, r3;
  r1.X(6).A("STEP-SIZE (").G(p, 15, 5).A(") LARGER THAN HALF ");
  r2.X(6).A("THE RANGE (").G(range, 15, 5).A(").");
  r3.X(6).A("DEFAULT VALUE TAKEN.");
  const std::string_view lines[3] = {r1.view(), r2.view(), r3.view()};
  newton_msg_issue(lines, 3);
}

void newton_msg_small_step(const IWORD* opt, double rms, double limit) {
  if (!newton_msg_admitted(opt, 2)) return;
  const char q[1] = {host::quotch()};
  Rec r1, r2;
  r1.X(6).A("PREDICTED STEP (").G(rms, 13, 5).A(") LESS THAN ").A({q, 1}).G(limit, 13, 5).A({q, 1});
  r2.X(6).A("ITERATION STOPPED.");
  const std::string_view lines[2] = {r1.view(), r2.view()};
  newton_msg_issue(lines, 2);
}

void newton_msg_search_failed(const IWORD* opt, IWORD points, bool go_on) {
  if (!newton_msg_admitted(opt, 4)) return;
  const char q[1] = {host::quotch()};
  Rec r1, r2;
  r1.X(6).A("LINE SEARCH NOT CONVERGED IN ").A({q, 1}).I(points, 4).A({q, 1}).A(" ITERATIONS.");
  r2.X(6).A(go_on ? "CONTINUING WITH LAST POINT." : "ITERATION STOPPED.");
  const std::string_view lines[2] = {r1.view(), r2.view()};
  newton_msg_issue(lines, 2);
}

void newton_msg_not_converged(const IWORD* opt, IWORD limit) {
  if (!newton_msg_admitted(opt, 5)) return;
  const char q[1] = {host::quotch()};
  Rec r;
  r.X(6).A("NEWTON NOT CONVERGED IN ").A({q, 1}).I(limit, 4).A({q, 1}).A(" ITERATIONS");
  const std::string_view lines[1] = {r.view()};
  newton_msg_issue(lines, 1);
}

}  // namespace orvika
