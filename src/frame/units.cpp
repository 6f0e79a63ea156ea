// Numbered units: the run-time layer behind every output unit number.
//
// A unit is either a standard stream, a file the library or the host
// opened, or a sink that the host (or a test) connected.  Unit 6 and every
// unit nobody connected write to standard output, unit 0 to standard error;
// unit 5 reads standard input.
#include "frame/units.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "orvika/units.h"

namespace orvika {
namespace {

struct Unit {
  std::FILE* file = nullptr;  // owned when opened by name
  orvk_line_sink sink = nullptr;
  void* ctx = nullptr;
  // A file opened by unit_open for reading and writing.  As in a sequential
  // file, a record written where records follow becomes the last one: the
  // first write after the open of an existing file, or after a read, cuts
  // the file behind it (PATH is the file's absolute name).
  bool update = false;
  bool wrote = false;  // the last transfer was a write
  bool cut = false;    // the next write ends the file
  std::filesystem::path path;
};

struct UnitTable {
  std::mutex mu;
  std::map<int, Unit> units;
};

UnitTable& table() {
  static UnitTable t;
  return t;
}

[[noreturn]] void default_stop(const char* msg, std::size_t len) {
  if (len > 0) {
    std::fwrite(msg, 1, len, stderr);
    std::fputc('\n', stderr);
  }
  orvk_units_flush();
  std::fflush(nullptr);
  std::exit(2);
}

void default_stop_hook(const char* msg, std::size_t len) { default_stop(msg, len); }

orvk_stop_hook g_stop_hook = &default_stop_hook;

void close_locked(Unit& u) {
  if (u.file) std::fclose(u.file);
  u = Unit{};
}

// Writes out what UNIT's file still holds in its buffer.  Called before a
// new file is opened for the unit: when that is the same file, opening it
// again must not let the old connection's last records land in it later.
void flush_unit(int unit) {
  UnitTable& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = t.units.find(unit);
  if (it != t.units.end() && it->second.file) std::fflush(it->second.file);
}

// Connects UNIT to an open FILE or to SINK, closing what it had before.
void attach(int unit, std::FILE* file, orvk_line_sink sink, void* ctx) {
  UnitTable& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  Unit& slot = t.units[unit];
  close_locked(slot);
  slot.file = file;
  slot.sink = sink;
  slot.ctx = ctx;
}

}  // namespace

void write_rec(IWORD unit, std::string_view text) {
  if (text.empty()) text = std::string_view("", 0);  // never pass a null pointer on
  int u = unit_of(unit);
  orvk_line_sink sink = nullptr;
  void* ctx = nullptr;
  std::FILE* f = nullptr;
  {
    UnitTable& t = table();
    std::lock_guard<std::mutex> lock(t.mu);
    auto it = t.units.find(u);
    if (it != t.units.end()) {
      sink = it->second.sink;
      ctx = it->second.ctx;
      f = it->second.file;
      if (f) {
        Unit& slot = it->second;
        // switching from reading to writing needs a positioning call
        if (slot.update && !slot.wrote) std::fseek(f, 0, SEEK_CUR);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fputc('\n', f);
        slot.wrote = true;
        if (slot.cut) {
          slot.cut = false;
          std::fflush(f);
          const long end = std::ftell(f);
          std::error_code ec;
          if (end >= 0 && !std::ferror(f))
            std::filesystem::resize_file(slot.path, static_cast<std::uintmax_t>(end), ec);
        }
        return;
      }
    }
  }
  if (sink) {
    sink(ctx, u, text.data(), text.size());
    return;
  }
  std::FILE* std_out = (u == 0) ? stderr : stdout;
  std::fwrite(text.data(), 1, text.size(), std_out);
  std::fputc('\n', std_out);
}

bool file_exists(std::string_view name) {
  // Asks the file system, not an open: a file that exists but cannot be
  // read (no permission, a socket, a directory) still exists, so that the
  // open that follows can fail and say so.
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::path(std::string(name)), ec);
}

int unit_open(IWORD unit, std::string_view name, std::string_view status) {
  int u = unit_of(unit);
  std::string path(name);
  while (!path.empty() && path.back() == ' ') path.pop_back();
  flush_unit(u);
  std::FILE* f = nullptr;
  bool read_only = false;
  if (status == "SCRATCH") {
    f = std::tmpfile();
  } else {
    if (path.empty()) return 2;
    bool exists = file_exists(path);
    if (status == "OLD") {
      if (!exists) return 2;
      // A directory opens for reading on some platforms but is no file of records.
      std::error_code ec;
      if (std::filesystem::is_directory(std::filesystem::path(path), ec)) return 21;
      f = std::fopen(path.c_str(), "r+");
      if (!f) {
        f = std::fopen(path.c_str(), "r");
        read_only = true;
      }
    } else if (status == "NEW") {
      if (exists) return 17;
      f = std::fopen(path.c_str(), "w+");
    } else if (status == "REPLACE") {
      f = std::fopen(path.c_str(), "w+");
    } else {  // UNKNOWN
      f = exists ? std::fopen(path.c_str(), "r+") : std::fopen(path.c_str(), "w+");
    }
  }
  if (!f) return 5;
  attach(u, f, nullptr, nullptr);
  UnitTable& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  Unit& slot = t.units[u];
  slot.update = !read_only;
  if (slot.update && status != "SCRATCH") {
    std::error_code ec;
    slot.path = std::filesystem::absolute(std::filesystem::path(path), ec);
    // an existing file opened at its start: the first record written ends it
    slot.cut = !ec && (status == "OLD" || status == "UNKNOWN");
  }
  return 0;
}

void unit_close(IWORD unit) {
  UnitTable& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  auto it = t.units.find(unit_of(unit));
  if (it == t.units.end()) return;
  close_locked(it->second);
  t.units.erase(it);
}

bool unit_opened(IWORD unit) {
  UnitTable& t = table();
  std::lock_guard<std::mutex> lock(t.mu);
  return t.units.count(unit_of(unit)) != 0;
}

long read_rec(IWORD unit, char* buf, std::size_t cap) {
  int u = unit_of(unit);
  std::FILE* f = nullptr;
  {
    UnitTable& t = table();
    std::lock_guard<std::mutex> lock(t.mu);
    auto it = t.units.find(u);
    if (it != t.units.end()) {
      Unit& slot = it->second;
      f = slot.file;
      // switching from writing to reading needs a positioning call
      if (f && slot.update && slot.wrote) std::fseek(f, 0, SEEK_CUR);
      slot.wrote = false;
      if (f && slot.update && !slot.path.empty()) slot.cut = true;
    }
  }
  if (!f && u == 5) f = stdin;
  if (!f) return -2;
  std::size_t n = 0;
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (n < cap) buf[n++] = static_cast<char>(c);
  }
  if (!any) return -1;
  if (n > 0 && buf[n - 1] == '\r') --n;
  return static_cast<long>(n);
}

void stop(std::string_view msg) { g_stop_hook(msg.data(), msg.size()); }

}  // namespace orvika

extern "C" {

ORVK_API int orvk_unit_connect_file(int unit, const char* path, int append) {
  if (!path) return -1;
  orvika::flush_unit(unit);
  std::FILE* f = std::fopen(path, append ? "a" : "w");
  if (!f) return -1;
  orvika::attach(unit, f, nullptr, nullptr);
  return 0;
}

ORVK_API int orvk_unit_connect_sink(int unit, orvk_line_sink sink, void* ctx) {
  if (!sink) return -1;
  orvika::attach(unit, nullptr, sink, ctx);
  return 0;
}

ORVK_API void orvk_unit_disconnect(int unit) { orvika::unit_close(unit); }

ORVK_API void orvk_units_flush(void) {
  auto& t = orvika::table();
  std::lock_guard<std::mutex> lock(t.mu);
  for (auto& [u, slot] : t.units)
    if (slot.file) std::fflush(slot.file);
  std::fflush(stdout);
  std::fflush(stderr);
}

ORVK_API orvk_stop_hook orvk_set_stop_hook(orvk_stop_hook hook) {
  orvk_stop_hook old = orvika::g_stop_hook;
  orvika::g_stop_hook = hook ? hook : &orvika::default_stop_hook;
  return old;
}
}
