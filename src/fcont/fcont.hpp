// Continuation solver: record layouts and the internal routines of the
// driver, the option check, the parameter file, the record directory and
// the message output.
//
// The four records IPARAM (14 integer options), RPARAM (20 real options),
// IINFO (47 integer state words) and RINFO (21 real state words) are plain
// caller arrays; the constants below give the 1-based word of each name.
#pragma once

#include <cstdint>

#include "orvika/fcont.h"
#include "orvika/orvika_types.h"

namespace orvika {
namespace fcont {

inline constexpr int kIparamWords = 14;
inline constexpr int kRparamWords = 20;
inline constexpr int kIinfoWords = 47;
inline constexpr int kIinfoNames = 41;
inline constexpr int kRinfoWords = 21;

// IPARAM words.
namespace ip {
enum : int {
  IMISS = 1,  // integer missing marker
  KPLUNT,     // first message unit
  KPLLEV,     // print level of the first unit
  KPTUNT,     // second message unit
  KPTLEV,     // print level of the second unit
  MAXITER,    // largest total of corrector iterations
  MAXPOINT,   // largest number of path points
  MAXCORR,    // largest number of corrector iterations at one point
  MAXINIT,    // largest number of start-point correction iterations
  MAXSLOW,    // largest number of consecutive slow points
  LUBNDS,     // 1: bounds in force
  REVERSE,    // 1: reverse once at the parameter limit
  NEWTON,     // 1: new Jacobian for every corrector iteration
  FINMSG      // 1: print the final message
};
}  // namespace ip

// RPARAM words.
namespace rp {
enum : int {
  RMISS = 1,  // real missing marker
  PLIMIT,     // parameter limit
  FRATIO,     // predicted-point residual ratio
  INISTP,     // first step factor of a branch
  MINSTP,     // smallest step length
  MAXSTP,     // largest step length
  STPGRO,     // step growth / reduction factor
  RIDEAL,     // wanted residual contraction
  LIDEAL,     // wanted correction contraction
  SPOWER,     // exponent of the step rule
  FTOL,       // residual tolerance (times sqrt(N))
  XTOL,       // correction tolerance
  BNDAPP,     // fraction of the distance to a bound
  PERTF,      // relative perturbation of differences
  XPMIN,      // smallest base of a perturbation
  DIFREL,     // relative tolerance of the Jacobian check
  DIFABS,     // absolute tolerance of the Jacobian check
  EPSMCH,     // machine precision of the dense LU
  SINGT,      // singular-pivot threshold of the dense LU
  PIVTOL      // not read
};
}  // namespace rp

// IINFO words (LXNAME and LFNAME are four words each).
namespace ii {
enum : int {
  NTITER = 1,
  NPOINT = 2,
  IPOINT = 3,
  IGOTO = 4,
  NJITER = 5,
  NGRP = 6,
  ITER = 7,
  NJAC = 8,
  NFUN = 9,
  NBOUND = 10,
  NSLOW = 11,
  LIMCUT = 12,
  LXNAME = 13,  // words 13-16: mode, form, longest, count
  LFNAME = 17,  // words 17-20
  JCALC = 21,
  PFIXED = 22,
  IFAIL = 23,
  JFROM = 24,
  NEWJAC = 25,
  ISOLVS = 26,
  IREORD = 27,
  NZ2 = 28,
  IF0 = 29,
  IXINIT = 30,
  IXSAVE = 31,
  IXBASE = 32,
  IYB = 33,
  ITB = 34,
  IYP = 35,
  ITP = 36,
  ITPRED = 37,
  IW1 = 38,
  IW2 = 39,
  IAJ = 40,
  IW8S = 41,
  NWLIN = 42,
  JICP = 43,
  JMAPZ = 44,
  JIGRP = 45,
  JLOCD = 46,
  JNEXT = 47
};
}  // namespace ii

// RINFO words.
namespace ri {
enum : int {
  HTAN = 1,
  HTAN0,
  ARCLEN,
  RLAM,
  RLAMSV,
  DELS,
  PFINAL,
  PSCALE,
  SQRTN,
  FNORM0,
  FNORM,
  FNORM1,
  DXNEWT,
  RHOLEN,
  DYLEN,
  LCALC,
  RCALC,
  HFAIL,
  RLAM0,
  RLAMFA,
  ALPHA
};
}  // namespace ri

// Length of the message lines of the solver.
inline constexpr int kLineLen = 132;
// Length of the display-name texts passed to fcont_getname.
inline constexpr int kNameLen = 60;

}  // namespace fcont

// ---- caller routines (message routine, name routine) ----------------------------
// A routine argument is the address the caller passed: a routine, or the
// address of a 64-bit word holding 0 (absent), or null (absent).

// 1 when the routine at RTN is given (the first 8 bytes there are not all
// zero), else 0.
IWORD fcont_present(const void* rtn);

// Calls the message routine RTN as RTN(unit, count, text, textlen); does
// nothing when RTN is absent.
void fcont_callmsg(const void* rtn, IWORD unit, IWORD count, const char* text, int64_t textlen);

// ---- message output ---------------------------------------------------------------

// Prints TEXT(1:LEN) less trailing blanks and NULs on UNIT: 0 silent, 1-100
// written records, any other unit to the message routine; the tens digit of
// SPACING gives blank lines before, the units digit blank lines after.
void fcont_prtline(IWORD unit, const void* msgrtn, IWORD spacing, const char* text, int64_t len);
// The same for a text of exactly 132 characters.
void neq_prtline(IWORD unit, const void* msgrtn, IWORD spacing, const char* text);
// Underlined heading, label/text pair (no caller inside the library).
void fcont_prthead(IWORD unit, const void* msgrtn, IWORD spacing, const char* text, int64_t len);
void fcont_prtpair(IWORD unit, const void* msgrtn, const char* label, IWORD l1, const char* text,
                   IWORD l2);
// Prints N values of V under TITLE, five per line (I6,1P,5G14.6).
void fcont_dumpvec(IWORD unit, const void* msgrtn, const char* title, IWORD n, const double* v,
                   int64_t titlelen);

// Fills words 2-4 of the name descriptor DESC (word 1, the mode, set by the
// caller) for COUNT items.
void fcont_nameinit(IWORD count, IWORD* desc, const void* names, const void* namrtn);
// Display name of item INDEX into TEXT(1:TEXTLEN) (blank-filled); LENGTH
// receives the number of characters placed.
void fcont_getname(IWORD index, const IWORD* desc, const void* names, const void* namrtn,
                   char* text, IWORD& length, int64_t textlen);

// ---- text helpers shared by the parameter file and the directory ---------------

// Upper-cases "a"-"z" in place, turns TAB and NUL into blanks; FIRST and
// LAST receive the first and last non-blank positions (0 when none).
void fcont_upcase(char* text, IWORD& first, IWORD& last, int64_t len);
// From POS (in/out, below 1 counts as 1) skips blanks, TABs and NULs and
// gives the next word in FIRST..LAST (0, 0 when none); POS receives the
// delimiter after the word, or 0 at the end of the text.
void fcont_nextword(const char* text, IWORD& pos, IWORD& first, IWORD& last, int64_t len);

// ---- options ------------------------------------------------------------------------

// Defaults and repairs of the options at the start of a run, with the
// parameter file read between the unit rules and the range repairs.
// IERR := 1 when ISTORE or JMODE is invalid.
void fcont_chkparam(IWORD istore, IWORD jmode, IWORD* iparam, double* rparam, IWORD& ierr,
                    const void* msgrtn);
// Reads options from the file NAME(1:NAMELEN); messages on UNIT.
void fcont_loadparam(const char* name, IWORD* iparam, double* rparam, IWORD unit,
                     const void* msgrtn, int64_t namelen);

// Name lookup of the record directory: 1-based index of NAME among the
// names of KIND (1 IPARAM, 2 RPARAM, 3 IINFO, 4 RINFO), 0 when not found;
// POS and LEN receive the word position and word count.
IWORD fcont_lookup(IWORD kind, const char* name, int64_t namelen, IWORD& pos, IWORD& len);

// Integer option value of a real V, truncated toward zero, into VALUE;
// false (VALUE unchanged) for a NaN, an infinity or a value outside the
// 64-bit range, which no integer option can take.
bool fcont_truncate(double v, IWORD& value);

// ---- the driver ------------------------------------------------------------------

// Section pointers of the work arrays, resolved from IINFO by FCONT_SOLVE.
struct FcontWork {
  double* F0;
  double* XINIT;
  double* XSAVE;
  double* XBASE;
  double* YB;
  double* TB;
  double* YP;
  double* TP;
  double* TPRED;
  double* W1;
  double* W2;
  double* AJ0;    // null when not laid out
  IWORD* JICP;    // null when not laid out
  IWORD* JMAPZ;
  IWORD* JIGRP;
  IWORD* JLOCD;
  double* WLIN;   // the linear solver's work, NWLIN words
  IWORD NWLIN;
  bool overflow = false;  // the layout does not fit in IWORDs: nothing laid out
};

// All arguments of FCONT_SOLVE, by address as the caller passed them.
struct FcontArgs {
  IWORD* ISOLV;
  const IWORD* ISTORE;
  const IWORD* JMODE;
  const IWORD* IHOM;
  IWORD* IFERR;
  const IWORD* N;
  double* X;
  double* RLAM;
  double* F;
  const IWORD* NZ;
  const IWORD* IRN;
  const IWORD* ICN;
  const IWORD* LDB;
  double* AJAC;
  IWORD* IPERM;
  IWORD* IPARAM;
  double* RPARAM;
  IWORD* IINFO;
  double* RINFO;
  const double* XLB;
  const double* XUB;
  double* FSCALE;
  double* XSCALE;
  const IWORD* MXNAME;
  const void* XNAMES;
  const IWORD* MFNAME;
  const void* FNAMES;
  const void* NAMRTN;
  const void* MSGRTN;
  const IWORD* LIW;
  IWORD* IW;
  const IWORD* LW;
  double* W;
};

// One step of the continuation state machine (called by FCONT_SOLVE for
// every call after the work layout).
void fcont_driver(const FcontArgs& a, const FcontWork& w);

}  // namespace orvika
