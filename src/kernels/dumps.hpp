// Labelled dumps, work-space checks and bookkeeping without an export.
#pragma once

#include <string_view>

#include "orvika/kernels_vector.h"

namespace orvika {

// Reports a too-short work array: when AVAIL < REQUESTED writes the warning
// lines on UNIT and sets IERR = 1 (never clears it).
void LENCHK(IWORD unit, IWORD avail, IWORD requested, std::string_view label, IWORD& ierr);
// IAVAIL -= N; warns on the report unit when the result is negative.
void STGCHK(IWORD n, IWORD& iavail);
// IPTR += N.
void PTRADV(IWORD n, IWORD& iptr);

// Dumps of logical vectors, real sections (row by row), real sections in
// an integer field, complex vectors, scalars and sections.  A complex array
// holds (real, imaginary) pairs; its leading dimension counts complex elements.
void VLDUMP(IWORD unit, IWORD n, IWORD ioff, const LWORD* lv, std::string_view label);
void MRDUMP(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label);
void MIDUMP(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label);
void VCDUMP(IWORD unit, IWORD n, IWORD ioff, const double* cv, std::string_view label);
void SCDUMP(IWORD unit, const double* z, std::string_view label);
void MCDUMP(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label);
void MCPRNT(IWORD unit, IWORD lda, IWORD m, IWORD ioff, IWORD n, IWORD joff, const double* a,
            std::string_view label);

}  // namespace orvika
