// Messages and labelled vector prints of ORVK_NEWTON: every text it offers
// to the host's message filter is built here.
#pragma once

#include <string_view>

#include "orvika/orvika_types.h"

namespace orvika {

// Offers a message of class MSGCLASS to the host's filter; true when it
// is to be written.
bool newton_msg_admitted(const IWORD* opt, IWORD msgclass);
// Writes LINES into the host's message buffer and issues them.
void newton_msg_issue(const std::string_view* lines, int nlines);

// Labelled vector print under the name NEWTON; LABEL is up to 12 characters.
void newton_vector(const double* v, IWORD n, std::string_view label);

// Class 1: the perturbation P of a bounded variable exceeds half its RANGE.
void newton_msg_step_size(const IWORD* opt, double p, double range);
// Class 2: the predicted step RMS fell below LIMIT with variables at bounds.
void newton_msg_small_step(const IWORD* opt, double rms, double limit);
// Class 4: the line search used its POINTS trial points; GO_ON tells
// whether the iteration continues from the last point.
void newton_msg_search_failed(const IWORD* opt, IWORD points, bool go_on);
// Class 5: no convergence within LIMIT Newton iterations.
void newton_msg_not_converged(const IWORD* opt, IWORD limit);

}  // namespace orvika
