// A small stand-in for the host simulator's services, so that the library
// can be built, tested and demonstrated without the host.  It keeps logs
// that tests read back through host_stub.h.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "orvika/host_stub.h"

extern "C" {
ORVK_HOST_API IWORD VLK_GLOBAL[VLK_GLOBAL_WORDS];
ORVK_HOST_API double VLK_RGLOB[VLK_RGLOB_WORDS];
ORVK_HOST_API IWORD VLK_ERRTWO[VLK_ERRTWO_WORDS];
ORVK_HOST_API IWORD VLK_FLES[VLK_FLES_WORDS];
ORVK_HOST_API double VLK_PPRIV[VLK_PPRIV_WORDS];
ORVK_HOST_API IWORD VLK_DBGOUT[VLK_DBGOUT_WORDS];
ORVK_HOST_API IWORD VLK_IPOFF4[VLK_IPOFF4_WORDS];
ORVK_HOST_API IWORD VLK_VLK[VLK_VLK_WORDS];
ORVK_HOST_API IWORD VLK_INITV[VLK_INITV_WORDS];
ORVK_HOST_API IWORD VLK_PLEX[VLK_PLEX_WORDS];
ORVK_HOST_API char VLK_ERROUT[VLK_ERROUT_LINES][VLK_MSGLINE_LEN];
ORVK_HOST_API char VLK_MAXWRT[VLK_MAXWRT_LINES][VLK_MSGLINE_LEN];
}

namespace {

using Lines = std::vector<std::string>;

struct HostState {
  IWORD filter_answer = 1;
  std::vector<IWORD> filter_script;
  std::vector<orvk_host_filter_call> filter_calls;
  std::vector<Lines> messages;
  std::vector<Lines> pages;
  // pool: offset -> size of each live reservation, by handle
  std::map<IWORD, std::pair<IWORD, IWORD>> reservations;
  IWORD next_handle = 1;
  IWORD fail_next = 0;
  std::map<IWORD, std::string> varnames;
  std::map<IWORD, IWORD> varname_lengths;  // forced lengths of VLK_IAPWRI
  std::vector<IWORD> hook_script;
  bool hook_disabled = false;
  size_t hook_calls = 0;
  void* hook_args[80] = {};
  orvk_host_hook_fn hook_fn = nullptr;
  void* hook_ctx = nullptr;
  double timer_step = 0.0;
  double timer_now = 0.0;
  IWORD pp_ent = 0, pp_iter = 0, pp_ext = 0;
};

HostState& st() {
  static HostState s;
  return s;
}

std::string trimmed(const char* line, size_t len) {
  while (len > 0 && line[len - 1] == ' ') --len;
  return std::string(line, len);
}

void set_defaults() {
  std::memset(VLK_GLOBAL, 0, sizeof VLK_GLOBAL);
  std::memset(VLK_RGLOB, 0, sizeof VLK_RGLOB);
  std::memset(VLK_ERRTWO, 0, sizeof VLK_ERRTWO);
  std::memset(VLK_FLES, 0, sizeof VLK_FLES);
  std::memset(VLK_PPRIV, 0, sizeof VLK_PPRIV);
  std::memset(VLK_DBGOUT, 0, sizeof VLK_DBGOUT);
  std::memset(VLK_IPOFF4, 0, sizeof VLK_IPOFF4);
  std::memset(VLK_VLK, 0, sizeof VLK_VLK);
  std::memset(VLK_INITV, 0, sizeof VLK_INITV);
  std::memset(VLK_PLEX, 0, sizeof VLK_PLEX);
  std::memset(VLK_ERROUT, ' ', sizeof VLK_ERROUT);
  std::memset(VLK_MAXWRT, ' ', sizeof VLK_MAXWRT);
  VLK_GLOBAL[VLK_W_REPUNIT - 1] = 6;
  VLK_GLOBAL[VLK_W_IMISVAL - 1] = -999999;
  VLK_GLOBAL[VLK_W_HWFNUM - 1] = 4;
  VLK_VLK[VLK_W_HWFDEN - 1] = 1;
  VLK_RGLOB[VLK_W_RMISVAL - 1] = 1.0e35;
  VLK_RGLOB[VLK_W_RTINY - 1] = 1.0e-30;
  VLK_RGLOB[VLK_W_TLIMIT - 1] = 1.0e35;
  VLK_ERRTWO[VLK_W_QUOTCH - 1] = '"' | (static_cast<IWORD>(0x20202020) << 32) |
                                 (static_cast<IWORD>(0x202020) << 8);
  VLK_FLES[VLK_W_TERMON - 1] = 1;
  VLK_PPRIV[VLK_W_PTINY - 1] = 1.0e-30;
  VLK_IPOFF4[VLK_W_NAMOFF - 1] = 1;
}

// The stand-in's blocks hold their defaults from load time on.
struct Init {
  Init() { set_defaults(); }
} g_init;

}  // namespace

extern "C" {

ORVK_HOST_API void orvk_host_reset(void) {
  set_defaults();
  st() = HostState{};
}

ORVK_HOST_API void orvk_host_set_filter(IWORD answer) {
  st().filter_answer = answer;
  st().filter_script.clear();
}

ORVK_HOST_API void orvk_host_set_filter_script(const IWORD* script, size_t count) {
  st().filter_script.assign(script, script + count);
}

ORVK_HOST_API size_t orvk_host_filter_calls(void) { return st().filter_calls.size(); }

ORVK_HOST_API int orvk_host_filter_call_get(size_t k, orvk_host_filter_call* out) {
  if (k >= st().filter_calls.size() || !out) return -1;
  *out = st().filter_calls[k];
  return 0;
}

ORVK_HOST_API size_t orvk_host_messages(void) { return st().messages.size(); }
ORVK_HOST_API size_t orvk_host_message_lines(size_t msg) {
  return msg < st().messages.size() ? st().messages[msg].size() : 0;
}
ORVK_HOST_API const char* orvk_host_message_line(size_t msg, size_t line) {
  if (msg >= st().messages.size() || line >= st().messages[msg].size()) return nullptr;
  return st().messages[msg][line].c_str();
}
ORVK_HOST_API size_t orvk_host_terminal_pages(void) { return st().pages.size(); }
ORVK_HOST_API size_t orvk_host_terminal_lines(size_t page) {
  return page < st().pages.size() ? st().pages[page].size() : 0;
}
ORVK_HOST_API const char* orvk_host_terminal_line(size_t page, size_t line) {
  if (page >= st().pages.size() || line >= st().pages[page].size()) return nullptr;
  return st().pages[page][line].c_str();
}

ORVK_HOST_API IWORD orvk_host_pool_outstanding(void) {
  return static_cast<IWORD>(st().reservations.size());
}
ORVK_HOST_API void orvk_host_pool_fail_next(IWORD count) { st().fail_next = count; }

ORVK_HOST_API void orvk_host_set_varname_length(IWORD value, IWORD length) {
  st().varname_lengths[value] = length;
}

ORVK_HOST_API void orvk_host_set_varname(IWORD value, const char* name) {
  st().varnames[value] = name ? std::string(name).substr(0, 80) : std::string();
}

ORVK_HOST_API void orvk_host_set_hook_script(const IWORD* script, size_t count) {
  st().hook_script.assign(script, script + count);
}
ORVK_HOST_API void orvk_host_set_hook_disabled(int disabled) { st().hook_disabled = disabled != 0; }
ORVK_HOST_API size_t orvk_host_hook_calls(void) { return st().hook_calls; }
ORVK_HOST_API void* const* orvk_host_hook_last_args(void) { return st().hook_args; }
ORVK_HOST_API void orvk_host_set_hook_callback(orvk_host_hook_fn fn, void* ctx) {
  st().hook_fn = fn;
  st().hook_ctx = ctx;
}

ORVK_HOST_API void orvk_host_set_timer_step(double step) {
  st().timer_step = step;
  st().timer_now = 0.0;
}

ORVK_HOST_API void orvk_host_pp_counts(IWORD* ent, IWORD* iter, IWORD* ext) {
  if (ent) *ent = st().pp_ent;
  if (iter) *iter = st().pp_iter;
  if (ext) *ext = st().pp_ext;
}

// ---- the host routines -------------------------------------------------------

ORVK_HOST_API IWORD VLK_IRRCHK(const IWORD* name2, const IWORD* three, const IWORD* msgclass,
                               const IWORD* opt, const IWORD* imisval, const IWORD* zero1,
                               const IWORD* zero2, const IWORD* two) {
  HostState& s = st();
  orvk_host_filter_call c{};
  if (name2) {
    std::memcpy(c.name, &name2[0], 4);
    std::memcpy(c.name + 4, &name2[1], 4);
  }
  c.name[8] = '\0';
  c.three = three ? *three : 0;
  c.msgclass = msgclass ? *msgclass : 0;
  c.opt0 = opt ? *opt : 0;
  c.imisval = imisval ? *imisval : 0;
  c.zero1 = zero1 ? *zero1 : 0;
  c.zero2 = zero2 ? *zero2 : 0;
  c.two = two ? *two : 0;
  c.opt = opt;
  s.filter_calls.push_back(c);
  size_t k = s.filter_calls.size();
  if (k <= s.filter_script.size()) return s.filter_script[k - 1];
  return s.filter_answer;
}

ORVK_HOST_API void VLK_ERRPRT(const IWORD* n) {
  Lines msg;
  IWORD m = n ? *n : 0;
  if (m > VLK_ERROUT_LINES) m = VLK_ERROUT_LINES;
  for (IWORD k = 0; k < m; ++k) msg.push_back(trimmed(VLK_ERROUT[k], VLK_MSGLINE_LEN));
  st().messages.push_back(msg);
}

ORVK_HOST_API void VLK_WRTTRM(const IWORD* n) {
  Lines page;
  IWORD m = n ? *n : 0;
  if (m > VLK_MAXWRT_LINES) m = VLK_MAXWRT_LINES;
  for (IWORD k = 0; k < m; ++k) page.push_back(trimmed(VLK_MAXWRT[k], VLK_MSGLINE_LEN));
  st().pages.push_back(page);
}

ORVK_HOST_API void VLK_NLARGE(const IWORD* n, const IWORD* nmax, const IWORD* mode, const double* v,
                              const double* scale, const double* thresh, IWORD* nfound, IWORD* ilist,
                              double* val) {
  // The largest |V(i)*S(i)| above the threshold, in descending order.
  IWORD cnt = 0;
  IWORD lim = (nmax && *nmax < 10) ? *nmax : 10;
  IWORD nn = n ? *n : 0;
  double th = thresh ? *thresh : 0.0;
  for (IWORD i = 1; i <= nn; ++i) {
    double a = v[i - 1] * (scale ? scale[i - 1] : 1.0);
    double aa = a < 0 ? -a : a;
    if (!(aa > th)) continue;
    IWORD pos = cnt;
    while (pos > 0) {
      double b = val[pos - 1] < 0 ? -val[pos - 1] : val[pos - 1];
      if (b >= aa) break;
      if (pos < lim) {
        ilist[pos] = ilist[pos - 1];
        val[pos] = val[pos - 1];
      }
      --pos;
    }
    if (pos < lim) {
      ilist[pos] = i;
      val[pos] = a;
      if (cnt < lim) ++cnt;
    }
  }
  *nfound = cnt;
}

ORVK_HOST_API void VLK_TIMINT(const IWORD* mode, double* ref, double* t) {
  HostState& s = st();
  if (s.timer_step > 0) {
    s.timer_now += s.timer_step;
    *t = s.timer_now;
    return;
  }
  using clock = std::chrono::steady_clock;
  static const clock::time_point start = clock::now();
  *t = std::chrono::duration<double>(clock::now() - start).count();
}

ORVK_HOST_API void VLK_PPENT(void) { ++st().pp_ent; }
ORVK_HOST_API void VLK_PPITER(void) { ++st().pp_iter; }
ORVK_HOST_API void VLK_PPEXT(void) { ++st().pp_ext; }

// Handle 1 stands for QL_ACNVGD of module QUELTOOL, the only routine known.
ORVK_HOST_API void VLK_GETFNC(const IWORD* mod4, const IWORD* func5, IWORD* handle) {
  char mod[17] = {}, fn[21] = {};
  for (int k = 0; k < 4; ++k) std::memcpy(mod + 4 * k, &mod4[k], 4);
  for (int k = 0; k < 5; ++k) std::memcpy(fn + 4 * k, &func5[k], 4);
  std::string m = trimmed(mod, 16), f = trimmed(fn, 20);
  *handle = (!st().hook_disabled && m == "QUELTOOL" && f == "QL_ACNVGD") ? 1 : 0;
}

#define ORVK_PASS10(p) p##1, p##2, p##3, p##4, p##5, p##6, p##7, p##8, p##9, p##10
#define ORVK_PASS80 ORVK_PASS10(a), ORVK_PASS10(b), ORVK_PASS10(c), ORVK_PASS10(d), \
  ORVK_PASS10(e), ORVK_PASS10(f), ORVK_PASS10(g), ORVK_PASS10(h)

ORVK_HOST_API void VLK_DOCALL(const IWORD* handle, ORVK_ARGS80) {
  if (!handle || *handle != 1) return;
  QL_ACNVGD(ORVK_PASS80);
}

ORVK_HOST_API void QL_ACNVGD(ORVK_ARGS80) {
  HostState& s = st();
  void* args[80] = {ORVK_PASS80};
  std::memcpy(s.hook_args, args, sizeof args);
  ++s.hook_calls;
  IWORD flag = s.hook_calls <= s.hook_script.size() ? s.hook_script[s.hook_calls - 1] : 0;
  if (a5) *static_cast<IWORD*>(a5) = flag;
  if (s.hook_fn) s.hook_fn(s.hook_ctx, s.hook_args);
}

ORVK_HOST_API void VLK_ALLOCI(const IWORD* n, IWORD* handle, IWORD* offset) {
  HostState& s = st();
  *handle = 0;
  if (s.fail_next > 0) {
    --s.fail_next;
    return;
  }
  IWORD need = n ? *n : 0;
  // More words than the pool has never fit; refusing them here also keeps
  // the offset sums below in range.
  if (need < 0 || need > VLK_PLEX_WORDS) return;
  // first fit between live reservations (offsets are 1-based)
  IWORD start = 1;
  bool moved = true;
  while (moved) {
    moved = false;
    for (auto& [h, r] : s.reservations) {
      IWORD ro = r.first, rn = r.second;
      if (start < ro + rn && ro < start + (need > 0 ? need : 1)) {
        start = ro + rn;
        moved = true;
      }
    }
  }
  if (start + need - 1 > VLK_PLEX_WORDS) return;
  IWORD h = s.next_handle++;
  s.reservations[h] = {start, need};
  *handle = h;
  *offset = start;
}

ORVK_HOST_API void VLK_ATFREE(IWORD* handle) {
  if (!handle) return;
  st().reservations.erase(*handle);
  *handle = 0;
}

ORVK_HOST_API void VLK_IAPWRI(const IWORD* value, char* text, IWORD* length, int64_t text_len) {
  auto& names = st().varnames;
  std::string name;
  auto it = names.find(*value);
  if (it != names.end()) {
    name = it->second;
  } else {
    char buf[40];
    std::snprintf(buf, sizeof buf, "VAR%lld", static_cast<long long>(*value));
    name = buf;
  }
  int64_t cap = text_len < 80 ? text_len : 80;
  int64_t n = static_cast<int64_t>(name.size()) < cap ? static_cast<int64_t>(name.size()) : cap;
  if (n > 0) std::memcpy(text, name.data(), static_cast<size_t>(n));
  for (int64_t k = n; k < text_len; ++k) text[k] = ' ';
  *length = n;
  auto forced = st().varname_lengths.find(*value);
  if (forced != st().varname_lengths.end()) *length = forced->second;
}

ORVK_HOST_API IWORD VLK_STRLEN(const char* text, int64_t text_len) {
  int64_t n = text_len;
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

}  // extern "C"
