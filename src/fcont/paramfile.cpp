// Start-of-run option check of the continuation solver and its parameter
// file "fcont_solve.par" (lines of a keyword and a value).
#include <cstring>
#include <string_view>

#include "fcont/fcont.hpp"
#include "frame/format.hpp"
#include "frame/units.hpp"
#include "frame/views.hpp"

namespace orvika {
namespace {

using namespace fcont;

bool is_sep(char c) { return c == ' ' || c == '\t' || c == '\0'; }

constexpr int kFileLine = 80;    // characters of a file line that count
constexpr int kMaxLines = 10000;  // lines read at most
constexpr int kKeyLen = 32;      // key field

// Prints "PREFIX" + TEXT as one message (spacing code 11).
void message(IWORD unit, const void* msgrtn, std::string_view prefix, std::string_view text,
             std::string_view suffix = {}) {
  Rec r;
  r.A(prefix).A(text).A(suffix);
  char line[kLineLen];
  r.to_text(line, sizeof line);
  fcont_prtline(unit, msgrtn, 11, line, kLineLen);
}

}  // namespace

void fcont_upcase(char* text, IWORD& first, IWORD& last, int64_t len) {
  const Vec1<char> TEXT(text, len);
  first = 0;
  last = 0;
  for (int64_t k = 1; k <= len; ++k) {
    char& c = TEXT(k);
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c == '\t' || c == '\0') c = ' ';
    if (c != ' ') {
      if (first == 0) first = k;
      last = k;
    }
  }
}

void fcont_nextword(const char* text, IWORD& pos, IWORD& first, IWORD& last, int64_t len) {
  const Vec1<const char> TEXT(text, len);
  IWORD k = pos < 1 ? 1 : pos;
  first = 0;
  last = 0;
  while (k <= len && is_sep(TEXT(k))) ++k;
  if (k > len) {
    pos = 0;
    return;
  }
  first = k;
  while (k <= len && !is_sep(TEXT(k))) ++k;
  last = k - 1;
  pos = k <= len ? k : 0;
}

void fcont_loadparam(const char* name, IWORD* iparam, double* rparam, IWORD unit,
                     const void* msgrtn, int64_t namelen) {
  const Vec1<const char> NAME(name, namelen);
  int64_t nl = namelen;
  while (nl > 0 && (NAME(nl) == ' ' || NAME(nl) == '\0')) --nl;
  if (nl <= 0) return;
  const std::string_view fname(name, static_cast<std::size_t>(nl));
  if (!file_exists(fname)) return;
  // The message unit is in use for this call's messages even when nobody
  // connected it: reading the file on it would send them into the file.
  IWORD lu = 0;
  for (IWORD u = 3; u <= 99 && lu == 0; ++u)
    if (u != unit && !unit_opened(u)) lu = u;
  if (lu == 0) {
    message(unit, msgrtn, "fcont_loadparam!!! No unit for opening ", fname);
    return;
  }
  if (unit_open(lu, fname, "OLD") != 0) {
    message(unit, msgrtn, "fcont_loadparam!!! Error opening ", fname);
    return;
  }
  char line[kFileLine];
  const Vec1<const char> LINE(line, kFileLine);
  const Vec1<IWORD> IPARAM(iparam);
  const Vec1<double> RPARAM(rparam);
  for (int nline = 0; nline < kMaxLines; ++nline) {
    const long got = read_rec(lu, line, sizeof line);
    if (got < 0) break;
    if (got < kFileLine) std::memset(line + got, ' ', static_cast<std::size_t>(kFileLine - got));
    if (char* eq = static_cast<char*>(std::memchr(line, '=', kFileLine))) *eq = ' ';
    IWORD pos = 1, first = 0, last = 0;
    fcont_nextword(line, pos, first, last, kFileLine);
    if (first == 0 || LINE(first) == ';' || LINE(first) == '#') continue;
    char key[kKeyLen];
    std::memset(key, ' ', sizeof key);
    const IWORD keylen = last - first + 1;
    std::memcpy(key, LINE.at(first), static_cast<std::size_t>(keylen < kKeyLen ? keylen : kKeyLen));
    double value = 0.0;
    bool ok = false;
    if (pos != 0) {
      IWORD vf = 0, vl = 0;
      fcont_nextword(line, pos, vf, vl, kFileLine);
      // A lone comma or a repeated null (R*) is a null value: no number
      // was given.
      if (vf != 0 && LINE(vf) != ',' && LINE(vl) != '*')
        ok = list_read_reals(std::string_view(LINE.at(vf), static_cast<std::size_t>(vl - vf + 1)),
                             &value, 1) == 1;
    }
    const std::string_view bad = "fcont_loadparam!!! Bad input: ";
    if (!ok) {
      message(unit, msgrtn, bad, std::string_view(line, kFileLine));
      continue;
    }
    IWORD p = 0, l = 0;
    if (fcont_lookup(1, key, 24, p, l) != 0) {
      // An integer option keeps its value when the number has no integer
      // part (NaN, infinite, beyond the 64-bit range).
      IWORD v = 0;
      if (fcont_truncate(value, v))
        IPARAM(p) = v;
      else
        message(unit, msgrtn, bad, std::string_view(line, kFileLine));
    } else if (fcont_lookup(2, key, 24, p, l) != 0) {
      RPARAM(p) = value;
    } else {
      const std::size_t shown = static_cast<std::size_t>(keylen < kKeyLen ? keylen : kKeyLen);
      message(unit, msgrtn, "fcont_loadparam!!! Unknown parameter ", std::string_view(key, shown),
              " ignored");
    }
  }
  unit_close(lu);
}

void fcont_chkparam(IWORD istore, IWORD jmode, IWORD* iparam, double* rparam, IWORD& ierr,
                    const void* msgrtn) {
  const Vec1<IWORD> I(iparam);
  const Vec1<double> R(rparam);
  ierr = 0;
  const IWORD imiss = I(ip::IMISS);
  const double rmiss = R(rp::RMISS);
  const bool have_msg = fcont_present(msgrtn) != 0;

  if (I(ip::KPLUNT) < 0 || I(ip::KPLUNT) > 99) {
    if (I(ip::KPLUNT) >= imiss)
      I(ip::KPLUNT) = 6;
    else if (!have_msg)
      I(ip::KPLUNT) = 0;
  }
  if (I(ip::KPTUNT) < 0 || I(ip::KPTUNT) > 99) {
    if (I(ip::KPTUNT) >= imiss || !have_msg) I(ip::KPTUNT) = 0;
  }
  if (I(ip::KPLLEV) < 0 || I(ip::KPLLEV) >= imiss) I(ip::KPLLEV) = 6;
  if (I(ip::KPTLEV) < 0 || I(ip::KPTLEV) >= imiss) I(ip::KPTLEV) = 5;
  if (I(ip::KPLLEV) == 0) I(ip::KPLUNT) = 0;
  if (I(ip::KPTLEV) == 0) I(ip::KPTUNT) = 0;
  if (I(ip::KPTUNT) == I(ip::KPLUNT)) I(ip::KPTUNT) = 0;

  static constexpr char kFile[] = "fcont_solve.par";
  fcont_loadparam(kFile, iparam, rparam, I(ip::KPLUNT), msgrtn, sizeof kFile - 1);

  auto count_opt = [&](int w, IWORD def) {
    if (I(w) <= 0 || I(w) >= imiss) I(w) = def;
  };
  count_opt(ip::MAXITER, 1000);
  count_opt(ip::MAXPOINT, 100);
  count_opt(ip::MAXCORR, 5);
  count_opt(ip::MAXSLOW, 10);
  count_opt(ip::MAXINIT, 30);
  if (I(ip::LUBNDS) != 0) I(ip::LUBNDS) = 1;
  if (I(ip::REVERSE) != 0) I(ip::REVERSE) = 1;
  if (I(ip::NEWTON) != 1) I(ip::NEWTON) = 0;
  if (I(ip::FINMSG) != 0) I(ip::FINMSG) = 1;

  if ((istore != 1 && istore != 2) || jmode < 1 || jmode > 4) ierr = 1;

  // Real repairs: lo/hi exclusive unless noted; a NaN passes every test.
  auto below_miss = [&](int w, double def) {  // (0, RMISS)
    if (R(w) <= 0.0 || R(w) >= rmiss) R(w) = def;
  };
  auto in_open = [&](int w, double lo, double hi, double def) {
    if (R(w) <= lo || R(w) >= hi) R(w) = def;
  };
  if (R(rp::PLIMIT) >= rmiss) R(rp::PLIMIT) = 5.0;
  in_open(rp::FRATIO, 0.0, 2.0, 0.25);
  below_miss(rp::INISTP, 0.1);
  in_open(rp::MINSTP, 0.0, 1.0, 1e-7);
  below_miss(rp::MAXSTP, 10.0);
  in_open(rp::STPGRO, 1.5, 10.0, 3.0);
  in_open(rp::RIDEAL, 0.0, 10.0, 0.01);
  in_open(rp::LIDEAL, 0.0, 10.0, 0.5);
  if (R(rp::SPOWER) < 1.0 || R(rp::SPOWER) >= 10.0) R(rp::SPOWER) = 2.0;
  below_miss(rp::FTOL, 1e-6);
  below_miss(rp::XTOL, 1e-6);
  if (R(rp::BNDAPP) <= 0.0 || R(rp::BNDAPP) > 1.0) R(rp::BNDAPP) = 0.9;
  in_open(rp::PERTF, 0.0, 0.1, 1e-5);
  in_open(rp::XPMIN, 0.0, 1.0, 1e-5);
  in_open(rp::DIFREL, 0.0, 1.0, 0.01);
  below_miss(rp::DIFABS, 1e-6);
  in_open(rp::EPSMCH, 1e-18, 1e-4, 1e-16);
  in_open(rp::SINGT, 0.0, 1.0, 1e-16);
}

}  // namespace orvika
