/* ORVIKA - quadratic programming and optimisation support. */
#ifndef ORVIKA_QP_H
#define ORVIKA_QP_H

#include "orvika_types.h"

ORVK_BEGIN_DECLS

/* Integer option, state and counter words of the QP solver family
 * (words numbered from 1; zero at load). */
enum {
  ORVK_NLPINT_WORDS = 100,
  ORVK_NLPINT_QPUNIT = 1,  /* output unit of the QP solver */
  ORVK_NLPINT_NACTIV = 4   /* number of active inequality rows */
};
extern ORVK_API IWORD ORVK_NLPINT[ORVK_NLPINT_WORDS];

ORVK_END_DECLS

#endif
