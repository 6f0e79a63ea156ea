// FCONT_SOLVE: entry of the continuation solver; lays out the work arrays
// and hands every call to the driver.
#include "fcont/fcont.hpp"
#include "frame/format.hpp"
#include "frame/views.hpp"

namespace orvika {
namespace {

using namespace fcont;

constexpr int kFirst = ii::IF0;                    // word 29
constexpr int kWords = ii::JNEXT - ii::IF0 + 1;    // words 29-47

// Section starts (IINFO words 29-47) for the arguments of this call;
// PRESENT tells which sections are laid out.  OVERFLOW: a start or length
// does not fit in an IWORD (the starts are then not used).
struct Layout {
  IWORD w[kWords];
  bool present[kWords];
  bool overflow = false;
  IWORD& at(int word) { return w[word - kFirst]; }
  bool& has(int word) { return present[word - kFirst]; }
  // A + B, A - B and A * B, noting an overflow instead of wrapping.
  IWORD add(IWORD a, IWORD b) {
    IWORD r = 0;
    if (__builtin_add_overflow(a, b, &r)) overflow = true;
    return r;
  }
  IWORD sub(IWORD a, IWORD b) {
    IWORD r = 0;
    if (__builtin_sub_overflow(a, b, &r)) overflow = true;
    return r;
  }
  IWORD mul(IWORD a, IWORD b) {
    IWORD r = 0;
    if (__builtin_mul_overflow(a, b, &r)) overflow = true;
    return r;
  }
};

Layout layout(IWORD n, IWORD nz, IWORD istore, IWORD jmode, IWORD ihom, IWORD lw, IWORD imiss) {
  Layout L{};
  for (bool& p : L.present) p = true;
  const IWORD np1 = L.add(n, 1);
  L.at(ii::IF0) = 1;
  L.at(ii::IXINIT) = np1;
  L.at(ii::IXSAVE) = L.add(L.mul(2, n), 1);
  L.at(ii::IXBASE) = L.add(L.mul(3, n), 1);
  L.at(ii::IYB) = L.add(L.mul(4, n), 1);
  IWORD next = L.at(ii::IYB);
  for (int word : {ii::ITB, ii::IYP, ii::ITP, ii::ITPRED, ii::IW1, ii::IW2}) {
    next = L.add(next, np1);
    L.at(word) = next;
  }
  next = L.add(next, np1);
  if (ihom == 2) {
    L.at(ii::IAJ) = next;
    L.at(ii::IW8S) = L.add(next, istore == 1 ? nz : L.mul(n, n));
  } else {
    L.at(ii::IAJ) = imiss;
    L.has(ii::IAJ) = false;
    L.at(ii::IW8S) = next;
  }
  L.at(ii::NWLIN) = L.add(L.sub(lw, L.at(ii::IW8S)), 1);
  IWORD inext = 1;
  if (istore == 1 && jmode != 1) {
    L.at(ii::JICP) = 1;
    L.at(ii::JMAPZ) = L.add(n, 2);
    L.at(ii::JIGRP) = L.add(nz, L.add(n, 2));
    inext = L.add(L.at(ii::JIGRP), n);
  } else {
    for (int word : {ii::JICP, ii::JMAPZ, ii::JIGRP}) {
      L.at(word) = imiss;
      L.has(word) = false;
    }
  }
  if (istore == 1 && ihom == 3) {
    L.at(ii::JLOCD) = inext;
    inext = L.add(inext, n);
  } else {
    L.at(ii::JLOCD) = imiss;
    L.has(ii::JLOCD) = false;
  }
  L.at(ii::JNEXT) = inext;
  if (L.overflow) {  // nothing laid out
    for (int k = 0; k < kWords; ++k) {
      L.w[k] = imiss;
      L.present[k] = false;
    }
  }
  return L;
}

}  // namespace

/* Continuation solver (see include/orvika/fcont.h for the arguments and
 * codes).  On ISOLV = -1 the work arrays are divided into sections whose
 * starts go to IINFO words 29-47:
 *   W:  F0 (N), XINIT (N), XSAVE (N), XBASE (N), YB, TB, YP, TP, TPRED, W1,
 *       W2 (N+1 each), AJ0 (IHOM = 2 only: NZ or N*N), then WLIN, the
 *       linear solver's work (NWLIN = LW - IW8S + 1 words).
 *   IW: column grouping (sparse, JMODE not 1: N+1, NZ, N), diagonal
 *       positions (sparse, IHOM = 3: N).
 * The layout is computed with checked arithmetic: when a start or length
 * would exceed the IWORD range the run ends with code 15 (IINFO words
 * 29-47 then hold IMISS).  Later calls read the starts from IINFO; a
 * layout that does not belong to the arguments of the call (IINFO changed
 * during a run, or no start call) ends the call with code 12.  ISOLV >= 0
 * on entry is a caller error: a message is printed and nothing changes. */
extern "C" ORVK_API void FCONT_SOLVE(IWORD* ISOLV, const IWORD* ISTORE, const IWORD* JMODE,
                                     const IWORD* IHOM, IWORD* IFERR, const IWORD* N, double* X,
                                     double* RLAM, double* F, const IWORD* NZ, const IWORD* IRN,
                                     const IWORD* ICN, const IWORD* LDB, double* AJAC,
                                     IWORD* IPERM, IWORD* IPARAM, double* RPARAM, IWORD* IINFO,
                                     double* RINFO, const double* XLB, const double* XUB,
                                     double* FSCALE, double* XSCALE, const IWORD* MXNAME,
                                     const void* XNAMES, const IWORD* MFNAME, const void* FNAMES,
                                     FCONT_NAMRTN NAMRTN, FCONT_MSGRTN MSGRTN, const IWORD* LIW,
                                     IWORD* IW, const IWORD* LW, double* W) {
  const void* namrtn = reinterpret_cast<const void*>(NAMRTN);
  const void* msgrtn = reinterpret_cast<const void*>(MSGRTN);
  const Vec1<const IWORD> iparam(IPARAM, kIparamWords);
  const Vec1<IWORD> iinfo(IINFO, kIinfoWords);
  if (*ISOLV >= 0) {
    Rec r;
    r.A("!!!Fcont_Solve called with ISOLV =").I(*ISOLV, 6);
    char line[kLineLen];
    r.to_text(line, sizeof line);
    fcont_prtline(iparam(ip::KPLUNT), msgrtn, 11, line, kLineLen);
    fcont_prtline(iparam(ip::KPTUNT), msgrtn, 11, line, kLineLen);
    return;
  }
  const IWORD nzv = *ISTORE == 1 ? *NZ : 0;
  Layout L = layout(*N, nzv, *ISTORE, *JMODE, *IHOM, *LW, iparam(ip::IMISS));
  if (*ISOLV == -1) {
    for (int k = 0; k < kWords; ++k) iinfo(kFirst + k) = L.w[k];
  } else if (L.overflow) {
    *ISOLV = 15;
    return;
  } else {
    for (int k = 0; k < kWords; ++k) {
      if (L.present[k] && iinfo(kFirst + k) != L.w[k]) {
        *ISOLV = 12;
        return;
      }
    }
  }
  auto wsec = [&](int word) -> double* { return L.has(word) ? W + (L.at(word) - 1) : nullptr; };
  auto isec = [&](int word) -> IWORD* { return L.has(word) ? IW + (L.at(word) - 1) : nullptr; };
  FcontWork work{wsec(ii::IF0),  wsec(ii::IXINIT), wsec(ii::IXSAVE), wsec(ii::IXBASE),
                 wsec(ii::IYB),  wsec(ii::ITB),    wsec(ii::IYP),    wsec(ii::ITP),
                 wsec(ii::ITPRED), wsec(ii::IW1),  wsec(ii::IW2),    wsec(ii::IAJ),
                 isec(ii::JICP), isec(ii::JMAPZ),  isec(ii::JIGRP),  isec(ii::JLOCD),
                 wsec(ii::IW8S), L.overflow ? -1 : L.at(ii::NWLIN), L.overflow};
  FcontArgs args{ISOLV, ISTORE, JMODE, IHOM,   IFERR,  N,      X,      RLAM,   F,
                 NZ,    IRN,    ICN,   LDB,    AJAC,   IPERM,  IPARAM, RPARAM, IINFO,
                 RINFO, XLB,    XUB,   FSCALE, XSCALE, MXNAME, XNAMES, MFNAME, FNAMES,
                 namrtn, msgrtn, LIW,  IW,     LW,     W};
  fcont_driver(args, work);
}

}  // namespace orvika
