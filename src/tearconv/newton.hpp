// Internal pieces of ORVK_NEWTON shared by its driver (newton.cpp) and its
// Newton phase (newton_phase.cpp).
#pragma once

#include <string_view>

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

// Offers a message of class MSGCLASS to the host's filter; true when it
// is to be written.
bool newton_msg_admitted(const IWORD* opt, IWORD msgclass);
// Writes LINES into the host's message buffer and issues them.
void newton_msg_issue(const std::string_view* lines, int nlines);

// Labelled vector print under the name NEWTON; LABEL is up to 12 characters.
void newton_vector(const double* v, IWORD n, std::string_view label);

}  // namespace orvika
