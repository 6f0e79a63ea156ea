// Internal pieces of ORVK_NEWTON shared by its driver (newton.cpp), its
// Newton phase (newton_phase.cpp) and its messages (newton_messages.cpp).
#pragma once

#include "frame/views.hpp"
#include "orvika/orvika_types.h"

namespace orvika {

// Name words of ORVK_NEWTON in its messages and vector prints.
inline constexpr IWORD kNewtonName[2] = {a4word("NEWT"), a4word("ON")};

// The arguments of one ORVK_NEWTON call that the Newton phase works on.
struct NewtonCall {
  IWORD n = 0;   // variables in all
  IWORD nb = 0;  // bounded variables, the last NB
  IWORD nt = 0;  // tear variables, the first N - NB
  Vec1<double> x, xold, dx, dxold;
  Vec1<const double> tols, ropt, xlow, xhigh;
  Vec1<const IWORD> iopt;
  Vec1<IWORD> iwk;
  IWORD* kaccel = nullptr;
  IWORD* kstep = nullptr;
  const IWORD* opt = nullptr;  // OPT(1) print level; the whole array goes to the filter
  double* rwk = nullptr;
  double* qwk = nullptr;
  IWORD* iperm = nullptr;
};

// Newton phase of one call: difference Jacobian, bounded Newton step and
// line search.  STATE receives the state code for IWK(11).
void NEWTPH(const NewtonCall& c, IWORD& state);

}  // namespace orvika
