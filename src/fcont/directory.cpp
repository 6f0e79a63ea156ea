// FCONT_GETINFO, FCONT_SETPARAM: the names of the continuation solver's
// option and state records, their word positions and lengths.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "fcont/fcont.hpp"
#include "frame/views.hpp"

namespace orvika {
namespace {

struct Table {
  const char* const* names;
  const IWORD* pos;  // null: name k at word k
  IWORD nnames;
  IWORD nwords;

  // Name number K (1..NNAMES).
  const char* name(IWORD k) const { return Vec1<const char* const>(names, nnames)(k); }
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
  return &Vec1<const Table>(t, 4)(kind);
}

IWORD position(const Table& t, IWORD k) {
  return t.pos ? Vec1<const IWORD>(t.pos, t.nnames)(k) : k;
}
IWORD length(const Table& t, IWORD k) {
  const IWORD next = k < t.nnames ? position(t, k + 1) : t.nwords + 1;
  return next - position(t, k);
}

}  // namespace

bool fcont_truncate(double v, IWORD& value) {
  // The 64-bit range is [-2^63, 2^63); NaN and infinities fail the tests.
  const double lim = 9223372036854775808.0;  // 2^63
  if (!(v >= -lim && v < lim)) return false;
  value = static_cast<IWORD>(v);
  return true;
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
  // A name longer than any key matches only when the rest is blank.
  for (int64_t c = 24; name != nullptr && c < namelen; ++c)
    if (name[c] != ' ' && name[c] != '\t' && name[c] != '\0') return 0;
  IWORD first = 0, last = 0;
  fcont_upcase(key, first, last, sizeof key);
  for (IWORD k = 1; k <= t->nnames; ++k) {
    const char* nm = t->name(k);
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

/* FCONT_GETINFO: names of the continuation solver's records, their word
 * positions and word counts.
 *
 * MODE     in   IWORD  1 LEN := number of names of KIND; 2 LEN := number of
 *                      words of KIND; 3 look up NAME; 4 name number INDEX.
 * KIND     in   IWORD  1 IPARAM, 2 RPARAM, 3 IINFO, 4 RINFO; any other
 *                      kind has no names (LEN 0, INDEX 0).
 * NAME     in/out char (NAME_LEN)  MODE 3: the name (case, trailing blanks,
 *                      TABs and NULs ignored); MODE 4: receives the name,
 *                      blank-filled (all blank for an unknown INDEX).
 * INDEX    in/out IWORD  MODE 3: receives the name number (0 not found);
 *                      MODE 4: the name number.
 * POS, LEN out  IWORD  first word (1-based) and word count of the name
 *                      (0, 0 when not found); MODE 1, 2: LEN only.
 * Any other MODE changes nothing.  No work space.  Cost: O(number of
 * names). */
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
      const char* nm = t->name(k);
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

/* FCONT_SETPARAM: sets one option of the continuation solver by name.
 *
 * NAME     in   char (NAME_LEN)  option name, matched as by FCONT_GETINFO.
 * KIND     in   IWORD  1 IPARAM(POS) := IVAL; 2 RPARAM(POS) := RVAL;
 *                      0 integer names first (IPARAM := RVAL truncated
 *                      toward zero; a NaN, an infinity or a value beyond
 *                      the 64-bit range is refused: POS 0, nothing set),
 *                      then real names (RPARAM := RVAL).
 * IVAL     in   IWORD  value for KIND 1.
 * RVAL     in   real   value for KIND 0 and 2.
 * IPARAM   in/out IWORD (14), RPARAM in/out real (20): the option records.
 * POS      out  IWORD  word set: > 0 in IPARAM (KIND 0, 1) or RPARAM
 *                      (KIND 2); < 0 its negative in RPARAM (KIND 0);
 *                      0 name not found, KIND unknown or an integer
 *                      value refused (nothing set).
 * No work space.  Cost: O(number of names). */
extern "C" ORVK_API void FCONT_SETPARAM(const char* NAME, const IWORD* KIND, const IWORD* IVAL,
                                        const double* RVAL, IWORD* IPARAM, double* RPARAM,
                                        IWORD* POS, int64_t NAME_LEN) {
  const Vec1<IWORD> iparam(IPARAM, fcont::kIparamWords);
  const Vec1<double> rparam(RPARAM, fcont::kRparamWords);
  *POS = 0;
  IWORD p = 0, l = 0;
  switch (*KIND) {
    case 1:
      if (fcont_lookup(1, NAME, NAME_LEN, p, l) != 0) {
        iparam(p) = *IVAL;
        *POS = p;
      }
      return;
    case 2:
      if (fcont_lookup(2, NAME, NAME_LEN, p, l) != 0) {
        rparam(p) = *RVAL;
        *POS = p;
      }
      return;
    case 0:
      if (fcont_lookup(1, NAME, NAME_LEN, p, l) != 0) {
        // An integer option takes only a value that has an integer part.
        IWORD v = 0;
        if (fcont_truncate(*RVAL, v)) {
          iparam(p) = v;
          *POS = p;
        }
      } else if (fcont_lookup(2, NAME, NAME_LEN, p, l) != 0) {
        rparam(p) = *RVAL;
        *POS = -p;
      }
      return;
    default:
      return;
  }
}

}  // namespace orvika
