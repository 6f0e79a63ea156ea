/* The host stand-in and the library load at run time the way a host loads
 * them: the stand-in first, then the library, every symbol bound at once
 * (RTLD_NOW).  The stand-in then opens a file on a numbered unit of the
 * library, a routine of the library writes to that unit, and the file holds
 * the line.  Arguments: the stand-in, the library, a scratch file path. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "orvika/orvika_types.h"

typedef IWORD (*openew_fn)(IWORD *, const char *, IWORD *, int64_t);
typedef void (*sizepr_fn)(const IWORD *, const IWORD *, const char *, int64_t);
typedef void (*disconnect_fn)(int);

static int failures = 0;
#define CHECK(cond, what)                                                          \
  do {                                                                             \
    if (!(cond)) {                                                                 \
      fprintf(stderr, "%s:%d: %s failed: %s\n", __FILE__, __LINE__, #cond, what); \
      ++failures;                                                                  \
    }                                                                              \
  } while (0)

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: dlopen_c_test HOST_LIBRARY LIBRARY SCRATCH_FILE\n");
    return 2;
  }
  void *host = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  CHECK(host != NULL, host ? "" : dlerror());
  void *lib = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  CHECK(lib != NULL, lib ? "" : dlerror());
  if (!host || !lib) return 1;

  openew_fn openew = (openew_fn)dlsym(host, "RTO_SHARE_OPENEW");
  sizepr_fn sizepr = (sizepr_fn)dlsym(lib, "ORVK_SIZEPR");
  disconnect_fn disconnect = (disconnect_fn)dlsym(lib, "orvk_unit_disconnect");
  CHECK(openew && sizepr && disconnect, "routines found");
  if (failures) return 1;

  /* The name as a host passes it: blank-padded, with its length. */
  char name[512];
  const size_t len = strlen(argv[3]);
  CHECK(len + 4 < sizeof name, "scratch path length");
  if (failures) return 1;
  memcpy(name, argv[3], len);
  memset(name + len, ' ', 4);
  remove(argv[3]);
  IWORD unit = 77, priv = 0, n = 2;
  CHECK(openew(&unit, name, &priv, (int64_t)(len + 4)) == 0, "file opened on the unit");
  sizepr(&unit, &n, "X", (int64_t)1);
  disconnect(77);

  char text[256] = {0};
  FILE *f = fopen(argv[3], "r");
  CHECK(f != NULL, "file exists");
  if (f) {
    const size_t got = fread(text, 1, sizeof text - 1, f);
    text[got] = '\0';
    fclose(f);
  }
  CHECK(strcmp(text, "\n  SIZE OF VECTOR     XIS             2\n") == 0, text);

  CHECK(dlclose(lib) == 0, "library closed");
  CHECK(dlclose(host) == 0, "stand-in closed");
  if (failures) return 1;
  printf("dlopen_c_test: ok\n");
  return 0;
}
