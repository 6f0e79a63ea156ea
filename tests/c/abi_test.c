/* The public headers compile as C and the exported routines link from C. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "orvika/orvika.h"
#include "orvika/host_stub.h"

static int failures = 0;
#define CHECK(cond)                                              \
  do {                                                           \
    if (!(cond)) {                                               \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                \
    }                                                            \
  } while (0)

static char captured[4096];
static void sink(void *ctx, int unit, const char *text, size_t len) {
  (void)ctx;
  (void)unit;
  strncat(captured, text, len < 200 ? len : 200);
  strcat(captured, "\n");
}

int main(void) {
  IWORD n = 2, zero = 0, one = 1, unit = 42;
  double x[3] = {3.0, 4.0, 0.0}, y[3] = {1.0, 1.0, 1.0};
  CHECK(ORVK_AP2NRM(&n, &zero, x) == 5.0);
  CHECK(ORVK_DINNER(&n, &zero, x, &one, y) == 7.0);
  double a = 2.0, b = -1.0;
  ORVK_VRADD(&n, &a, &zero, x, &b, &zero, y, &zero, y);
  CHECK(y[0] == 5.0 && y[1] == 7.0 && y[2] == 1.0);

  orvk_host_reset();
  CHECK(orvk_unit_connect_sink(42, sink, NULL) == 0);
  ORVK_SIZEPR(&unit, &n, "X", (int64_t)1);
  orvk_unit_disconnect(42);
  CHECK(strcmp(captured, "\n  SIZE OF VECTOR     XIS             2\n") == 0);
  CHECK(ORVK_TRUE == -1 && (ORVK_TRUE & 1));
  CHECK(sizeof(IWORD) == 8 && sizeof(LWORD) == 8 && sizeof(IDX16) == 2);
  CHECK(ORVK_NLPINT[ORVK_NLPINT_NACTIV - 1] == 0);
  CHECK(VLK_GLOBAL[VLK_W_REPUNIT - 1] == 6);
  /* The block kept for the host: its full size, zero at load, writable. */
  CHECK(sizeof ORVK_ODEJAC == ORVK_ODEJAC_WORDS * 8);
  for (int k = 0; k < ORVK_ODEJAC_WORDS; ++k) CHECK(ORVK_ODEJAC.WORDS[k] == 0.0);
  ORVK_ODEJAC.WORDS[ORVK_ODEJAC_WORDS - 1] = 1.5;
  CHECK(ORVK_ODEJAC.WORDS[ORVK_ODEJAC_WORDS - 1] == 1.5);

  if (failures) return 1;
  printf("abi_c_test: ok\n");
  return 0;
}
