// Support routines of the continuation solver: equation-system checks,
// homotopy functions and scaling, predictor and turning points, dense LU and
// vector kernels, column grouping and the finite-difference Jacobian.
//
// All routines are internal (namespace orvika).  Input scalars are taken by
// value, output scalars by reference, arrays by pointer (1-based in the
// comments).  Names arrays (XNAMES, FNAMES) and the caller's optional
// routines (NAMRTN, MSGRTN) are passed as the addresses the caller gave; a
// routine counts as absent when the first 8 bytes at its address are zero.
// Arguments described as "words" are caller arrays of 8-byte words that the
// routine uses as IWORDs (the driver passes sections of its real work array);
// they are seen through the work-space word views of frame/workspace.hpp,
// never through an aliasing cast.
#pragma once

#include <cstdint>

#include "orvika/orvika_types.h"

namespace orvika {

// ---------------------------------------------------------------------------
// Equation-system checks
// ---------------------------------------------------------------------------

// Checks the bound pairs XLB(i) < XUB(i) when LUBNDS = 1, moving a start value
// outside valid bounds just inside them, and (DXCHK = 1) that every DXBND(i)
// is positive.  Counts the invalid pairs in NBERR and the bad DX bounds in
// NDXERR; reports each on UNIT1 and then UNIT2.  DXBND is read only when
// DXCHK = 1.  LXNAME: the 4-word name descriptor of the variables.
void neq_chkbnd(IWORD n, double* x, IWORD lubnds, const double* xlb, const double* xub,
                IWORD dxchk, const double* dxbnd, IWORD& nberr, IWORD& ndxerr,
                const IWORD* lxname, const void* xnames, const void* namrtn, IWORD unit1,
                IWORD unit2, const void* msgrtn);

// Structure and value check of a Jacobian (ISTORE 1: NZ triplets IRN, ICN,
// AJAC; otherwise dense AJAC(LDB, NVAR)).  EQCNT (NEQ words) and VARCNT (NVAR
// words) receive the entry counts (sparse only), EQMAX and VARMAX the largest
// magnitudes.  NEMPTY counts equations and variables without entries (sparse),
// NZERO those whose values are all zero.  Entries whose row or column lies
// outside 1..NEQ or 1..NVAR are passed over.
void neq_zerorc(IWORD istore, IWORD neq, IWORD nvar, IWORD nz, IWORD ldb, const IWORD* irn,
                const IWORD* icn, const double* ajac, void* eqcnt, void* varcnt, IWORD& nzero,
                IWORD& nempty, double* eqmax, double* varmax, const IWORD* lxname,
                const void* xnames, const IWORD* lfname, const void* fnames, const void* namrtn,
                IWORD unit1, IWORD unit2, const void* msgrtn);

// The structural half of neq_zerorc alone: equations and variables without
// entries, counted in NERR and reported.  EQCNT, VARCNT: words as above.
void neq_empty(IWORD neq, IWORD nvar, IWORD nz, const IWORD* irn, const IWORD* icn, void* eqcnt,
               void* varcnt, IWORD& nerr, const IWORD* lxname, const void* xnames,
               const IWORD* lfname, const void* fnames, const void* namrtn, IWORD unit1,
               IWORD unit2, const void* msgrtn);

// ---------------------------------------------------------------------------
// Homotopy functions and scaling
// ---------------------------------------------------------------------------

// H(1..N) := the homotopy of type IHOM (1 residual shift, 2 start Jacobian,
// 3 scaled fixed point, 4 natural parameter) at (X, LAM) from the residual F.
// AJ0: NZ values (ISTORE 1, pattern IRN/ICN) or an N x N matrix with leading
// dimension N.  Any other IHOM leaves H unchanged.
void fcont_homres(IWORD ihom, IWORD n, const double* x, double lam, const double* f,
                  const double* x0, const double* f0, const double* aj0, double* h,
                  const double* fscale, const double* xscale, IWORD istore, IWORD nz,
                  const IWORD* irn, const IWORD* icn);

// D(1..N) := -dH/dLAM for types 2 and 3; D untouched for the other types.
void fcont_homlam(IWORD ihom, IWORD n, const double* x, double lam, const double* f,
                  const double* x0, const double* aj0, const double* fscale,
                  const double* xscale, IWORD istore, IWORD nz, const IWORD* irn,
                  const IWORD* icn, double* d);

// Y(1..N+1) := (X / XSCALE, LAM / PSCALE).
void fcont_scale(IWORD n, const double* x, double lam, const double* xscale, double pscale,
                 double* y);

// X := Y(1..N) XSCALE, LAM := PSCALE Y(N+1).
void fcont_unscale(IWORD n, const double* y, const double* xscale, double pscale, double* x,
                   double& lam);

// With LUBNDS = 1: counts the X(i) outside [XLB, XUB] in NBOUND and limits each
// X(i) to the fraction BNDAPP of the way from XB(i) to its bounds.
void fcont_bndapp(IWORD n, IWORD lubnds, double bndapp, const double* xb, double* x,
                  const double* xlb, const double* xub, IWORD& nbound);

// ---------------------------------------------------------------------------
// Predictor, target step and turning points (scaled space, NP1 = N + 1)
// ---------------------------------------------------------------------------

// One component of the cubic Hermite path model through (YP, TP) at s = -DELS
// and (YB, TB) at s = 0: P = p(S); MODE >= 2 also P1 = p'(S); MODE >= 3 also
// P2 = p''(S).
void fcont_hermite(IWORD mode, double dels, double s, double yb, double tb, double yp,
                   double tp, double& p, double& p1, double& p2);

// Safeguarded Newton solve on [LO, HI] (narrowed in place) of p(s) = TARGET
// (MODE 1) or p'(s) = TARGET, from S.  STATUS 0 found, 1 zero derivative,
// 2 stopped at an end, 3 no convergence in 40 steps.
void fcont_cubsolve(IWORD mode, double dels, double target, double yb, double tb, double yp,
                    double tp, double& lo, double& hi, double& s, IWORD& status);

// Predicted point Y(1..NP1) at arc position H and (MODE >= 2) the predicted
// unit tangent TPRED(1..NP1); H is halved while the tangent bends too far.
// TP(1) > 1 marks a branch without a previous point: the straight line is
// used, as it is when DELS is not a positive length.
void fcont_predict(IWORD np1, double dels, double& h, const double* yb, const double* tb,
                   const double* yp, const double* tp, IWORD mode, double* y, double* tpred);

// Adjusts the step H so that the parameter target PFINAL is hit, sets PFIXED
// to 1 when the next point lies on the target, writes a report into
// TEXT(1..LTEXT) (blank when nothing changed).  LIMCUT is not read.
// Straight-line target when TP(1) > 1 or DELS is not positive.
void fcont_tgtstep(double& h, IWORD np1, double dels, double pfinal, const double* yb,
                   const double* tb, const double* yp, const double* tp, char* text,
                   IWORD& pfixed, IWORD limcut, std::int64_t ltext);

// Looks in components K+1..NP1 for a sign change of the tangent between TP and
// TB.  Out: K the component found (0 none, also when DELS is not positive),
// S its arc position in [-DELS, 0].
void fcont_turnpt(IWORD np1, IWORD& k, double dels, const double* yb, const double* tb,
                  const double* yp, const double* tp, double& s);

// Step factor in [0.125, 8] from convergence measures A, B and counts K, M, L.
void fcont_stpfac(double a, double b, IWORD k, IWORD m, IWORD l, double& fac);

// Curvature-based step length from the angle ANG turned over the step H.
// CURV: in the previous curvature, out the new one.
void fcont_curvstp(double ang, double h, double hprev, double tola, double tolb, double& curv,
                   double grow, double hmin, double hmax, IWORD iflag, double& hnew);

// Caller routine of fcont_getscl: CB(I, MODE, V, S1, S2, S3, L, TEXT, len).
using FcontSclRtn = void (*)(const IWORD* i, const IWORD* mode, const double* v, double* s1,
                             double* s2, double* s3, const IWORD* l, char* text,
                             std::int64_t ltext);

// Default scale values of item I (S1 = V(I) when V(1) > 0, else 1; S2 = 1;
// S3 = 0; TEXT blank), then, when MODE >= 0 and CB is given, what CB returns.
// CB: the address of an FcontSclRtn, or of a zero word.
void fcont_getscl(IWORD i, IWORD mode, const double* v, const void* cb, double& s1, double& s2,
                  double& s3, char* text, std::int64_t ltext);

// ---------------------------------------------------------------------------
// Dense LU and vector kernels
// ---------------------------------------------------------------------------

// LU factorisation with partial pivoting of A(LDA, N) in place.  IPVT(1..N-1)
// the interchanges, IPVT(N) the number of pivots below SINGT in magnitude;
// pivots below 16 EPSMCH are floored.  LDA < N: A untouched, IPVT(1..N-1)
// := identity, IPVT(N) := N (every pivot unusable).
void fcont_lufact(IWORD n, IWORD lda, double* a, IWORD* ipvt, double singt, double epsmch);

// B := A^-1 B with the factors of fcont_lufact.
void fcont_lusolve(IWORD n, const IWORD* ipvt, IWORD lda, const double* a, double* b);

// Euclidean norm of X(1..N), rescaled outside [1e-20, 1e20]; 0 for N <= 0.
double fcont_l2norm(IWORD n, const double* x);
// Dot product of X(1..N) and Y(1..N); 0 for N <= 0.
double fcont_inner(IWORD n, const double* x, const double* y);

// Applies the interchanges IPVT(1..N-1) to IV: FLAG false forwards, true
// backwards.
void fcont_iperm(LWORD flag, IWORD n, const IWORD* ipvt, IWORD* iv);
// Y := A X (FLAG false) or A^T X (FLAG true) from the factors of fcont_lufact.
void fcont_lumult(LWORD flag, IWORD n, const IWORD* ipvt, const double* a, IWORD lda,
                  const double* x, double* y);
// Replaces the unpivoted factors in A by those of L U + P Q^T; P, Q
// overwritten.
void fcont_luupdate(IWORD n, double* p, double* q, double* a, IWORD lda, double epsmch);
double fcont_abssum(IWORD n, const double* x);
double fcont_absmax(IWORD n, const double* x);
// FLAG 0: Y := X; else MODE 1: Y := X / S, other MODE: Y := X S.
void fcont_elemscale(IWORD mode, IWORD n, const double* x, IWORD flag, const double* s,
                     double* y);
// Y := A X.
void fcont_scalecopy(IWORD n, const double* x, double a, double* y);
// Y := X.
void fcont_vcopy(IWORD n, const double* x, double* y);

// ---------------------------------------------------------------------------
// Column grouping and finite-difference Jacobian
// ---------------------------------------------------------------------------

// Groups the N columns of the M x N structure IRN/ICN (NZ entries) so that no
// two columns of a group share a row.  Out: JICP(N+1) column starts into
// JMAPZ(NZ) (entry numbers by column), NGRP, JIGRP(N) the grouped columns,
// the last of each group negated, zeros after.  S1 (max(M, N) words) and S2
// (M words) are scratch.  Entries with a row or column out of range are left
// out of the grouping.
void neq_colgroup(IWORD m, IWORD n, IWORD nz, const IWORD* irn, const IWORD* icn, IWORD* jicp,
                  IWORD* jmapz, IWORD& ngrp, IWORD* jigrp, void* s1, void* s2);

// One step of a finite-difference Jacobian by reverse communication (see
// NJITER): forms (JMODE 2) or checks (JMODE 3, 4) the Jacobian A.  Grouped
// mode for ISTORE 1 and JMODE not 4, else column by column.  XB, FS, FB:
// base point, copy of F at the start, residual at the base point.
void neq_jacfd(IWORD istore, IWORD jmode, IWORD m, IWORD n, IWORD nz, double* x, double* f,
               const double* xlb, const double* xub, IWORD& njiter, IWORD ldb, const IWORD* irn,
               double* a, const IWORD* jicp, const IWORD* jmapz, const IWORD* jigrp,
               double pertf, double xpmin, double difrel, double difabs, double* xb, double* fs,
               double* fb, IWORD lubnds, const IWORD* lxname, const void* xnames,
               const IWORD* lfname, const void* fnames, const void* namrtn, IWORD kplunt,
               const void* msgrtn);

// Prints one 132-character report line of neq_jacfd on UNIT (message rules of
// the continuation solver).
void neq_prtbuf(IWORD unit, const void* msgrtn, IWORD spacing, const char* text);

}  // namespace orvika
