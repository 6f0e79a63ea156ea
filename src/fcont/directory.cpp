// FCONT_GETINFO, FCONT_SETPARAM: the names of the continuation solver's
// option and state records, their word positions and lengths.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "fcont/fcont.hpp"

namespace orvika {
namespace {

struct Table {
  const char* const* names;
  const IWORD* pos;  // null: name k at word k
  IWORD nnames;
  IWORD nwords;
};

constexpr const char* kIparamNames[] = {"IMISS",   "KPLUNT",  "KPLLEV",  "KPTUNT", "KPTLEV",
                                        "MAXITER", "MAXPOINT", "MAXCORR", "MAXINIT", "MAXSLOW",
                                        "LUBNDS",  "REVERSE", "NEWTON",  "FINMSG"};
constexpr const char* kRparamNames[] = {"RMISS",  "PLIMIT", "FRATIO", "INISTP", "MINSTP",
                                        "MAXSTP", "STPGRO", "RIDEAL", "LIDEAL", "SPOWER",
                                        "FTOL",   "XTOL",   "BNDAPP", "PERTF",  "XPMIN",
                                        "DIFREL", "DIFABS", "EPSMCH", "SINGT",  "PIVTOL"};
constexpr const char* kIinfoNames[] = {
    "NTITER", "NPOINT", "IPOINT", "IGOTO",  "NJITER", "NGRP",   "ITER",   "NJAC",   "NFUN",
    "NBOUND", "NSLOW",  "LIMCUT", "LXNAME", "LFNAME", "JCALC",  "PFIXED", "IFAIL",  "JFROM",
    "NEWJAC", "ISOLVS", "IREORD", "NZ2",    "IF0",    "IXINIT", "IXSAVE", "IXBASE", "IYB",
    "ITB",    "IYP",    "ITP",    "ITPRED", "IW1",    "IW2",    "IAJ",    "IW8S",   "NWLIN",
    "JICP",   "JMAPZ",  "JIGRP",  "JLOCD",  "JNEXT"};
constexpr IWORD kIinfoPos[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 17,
                               21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
                               35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47};
constexpr const char* kRinfoNames[] = {"HTAN",   "HTAN0",  "ARCLEN", "RLAM",   "RLAMSV", "DELS",
                                       "PFINAL", "PSCALE", "SQRTN",  "FNORM0", "FNORM",  "FNORM1",
                                       "DXNEWT", "RHOLEN", "DYLEN",  "LCALC",  "RCALC",  "HFAIL",
                                       "RLAM0",  "RLAMFA", "ALPHA"};

static_assert(sizeof kIparamNames / sizeof kIparamNames[0] == fcont::kIparamWords);
static_assert(sizeof kRparamNames / sizeof kRparamNames[0] == fcont::kRparamWords);
static_assert(sizeof kIinfoNames / sizeof kIinfoNames[0] == fcont::kIinfoNames);
static_assert(sizeof kIinfoPos / sizeof kIinfoPos[0] == fcont::kIinfoNames);
static_assert(sizeof kRinfoNames / sizeof kRinfoNames[0] == fcont::kRinfoWords);

const Table* table(IWORD kind) {
  static const Table t[4] = {
      {kIparamNames, nullptr, fcont::kIparamWords, fcont::kIparamWords},
      {kRparamNames, nullptr, fcont::kRparamWords, fcont::kRparamWords},
      {kIinfoNames, kIinfoPos, fcont::kIinfoNames, fcont::kIinfoWords},
      {kRinfoNames, nullptr, fcont::kRinfoWords, fcont::kRinfoWords},
  };
  if (kind < 1 || kind > 4) return nullptr;
  return &t[kind - 1];
}

IWORD position(const Table& t, IWORD k) { return t.pos ? t.pos[k - 1] : k; }
IWORD length(const Table& t, IWORD k) {
  const IWORD next = k < t.nnames ? position(t, k + 1) : t.nwords + 1;
  return next - position(t, k);
}

}  // namespace

IWORD fcont_truncate(double v) {
  if (std::isnan(v)) return 0;
  const double lim = 9223372036854775807.0;  // 2^63
  if (v >= lim) return std::numeric_limits<IWORD>::max();
  if (v <= -lim) return std::numeric_limits<IWORD>::min();
  return static_cast<IWORD>(v);
}

IWORD fcont_lookup(IWORD kind, const char* name, int64_t namelen, IWORD& pos, IWORD& len) {
  pos = 0;
  len = 0;
  const Table* t = table(kind);
  if (t == nullptr) return 0;
  char key[24];
  std::memset(key, ' ', sizeof key);
  if (name != nullptr && namelen > 0)
    std::memcpy(key, name, static_cast<std::size_t>(namelen < 24 ? namelen : 24));
  IWORD first = 0, last = 0;
  fcont_upcase(key, first, last, sizeof key);
  for (IWORD k = 1; k <= t->nnames; ++k) {
    const char* nm = t->names[k - 1];
    const std::size_t nl = std::strlen(nm);
    if (std::memcmp(key, nm, nl) != 0) continue;
    bool rest_blank = true;
    for (std::size_t c = nl; c < sizeof key; ++c)
      if (key[c] != ' ') rest_blank = false;
    if (!rest_blank) continue;
    pos = position(*t, k);
    len = length(*t, k);
    return k;
  }
  return 0;
}

// Names of a continuation record, their positions and word counts.
extern "C" ORVK_API void FCONT_GETINFO(const IWORD* MODE, const IWORD* KIND, char* NAME,
                                       IWORD* INDEX, IWORD* POS, IWORD* LEN, int64_t NAME_LEN) {
  const Table* t = table(*KIND);
  switch (*MODE) {
    case 1:
      *LEN = t ? t->nnames : 0;
      return;
    case 2:
      *LEN = t ? t->nwords : 0;
      return;
    case 3: {
      IWORD p = 0, l = 0;
      const IWORD k = fcont_lookup(*KIND, NAME, NAME_LEN, p, l);
      *INDEX = k;
      *POS = p;
      *LEN = l;
      return;
    }
    case 4: {
      if (NAME != nullptr && NAME_LEN > 0) std::memset(NAME, ' ', static_cast<std::size_t>(NAME_LEN));
      *POS = 0;
      *LEN = 0;
      const IWORD k = *INDEX;
      if (t == nullptr || k < 1 || k > t->nnames) return;
      const char* nm = t->names[k - 1];
      const int64_t nl = static_cast<int64_t>(std::strlen(nm));
      if (NAME != nullptr && NAME_LEN > 0)
        std::memcpy(NAME, nm, static_cast<std::size_t>(nl < NAME_LEN ? nl : NAME_LEN));
      *POS = position(*t, k);
      *LEN = length(*t, k);
      return;
    }
    default:
      return;
  }
}

// Sets one option of IPARAM or RPARAM by name.
extern "C" ORVK_API void FCONT_SETPARAM(const char* NAME, const IWORD* KIND, const IWORD* IVAL,
                                        const double* RVAL, IWORD* IPARAM, double* RPARAM,
                                        IWORD* POS, int64_t NAME_LEN) {
  *POS = 0;
  IWORD p = 0, l = 0;
  switch (*KIND) {
    case 1:
      if (fcont_lookup(1, NAME, NAME_LEN, p, l) != 0) {
        IPARAM[p - 1] = *IVAL;
        *POS = p;
      }
      return;
    case 2:
      if (fcont_lookup(2, NAME, NAME_LEN, p, l) != 0) {
        RPARAM[p - 1] = *RVAL;
        *POS = p;
      }
      return;
    case 0:
      if (fcont_lookup(1, NAME, NAME_LEN, p, l) != 0) {
        IPARAM[p - 1] = fcont_truncate(*RVAL);
        *POS = p;
      } else if (fcont_lookup(2, NAME, NAME_LEN, p, l) != 0) {
        RPARAM[p - 1] = *RVAL;
        *POS = -p;
      }
      return;
    default:
      return;
  }
}

}  // namespace orvika
