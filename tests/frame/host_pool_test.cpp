// The host stand-in's integer pool: reservations that cannot fit are
// refused (handle 0), whatever their size.
#include <gtest/gtest.h>

#include <limits>

#include "orvika/host_stub.h"

namespace {

TEST(HostPool, ReservationsTooLargeAreRefused) {
  constexpr IWORD kMax = std::numeric_limits<IWORD>::max();
  struct Row {
    IWORD held;  // words reserved first (0: none)
    IWORD n;
    bool fits;
  };
  const Row rows[] = {
      {0, kMax, false},
      {0, kMax - 5, false},
      {0, VLK_PLEX_WORDS + 1, false},
      {0, VLK_PLEX_WORDS, true},
      {10, kMax, false},
      {10, VLK_PLEX_WORDS - 10, true},
      {10, VLK_PLEX_WORDS - 9, false},
  };
  for (const Row& row : rows) {
    orvk_host_reset();
    IWORD h0 = 0, off0 = 0;
    if (row.held > 0) {
      VLK_ALLOCI(&row.held, &h0, &off0);
      ASSERT_NE(h0, 0);
    }
    IWORD h = -1, off = 0;
    VLK_ALLOCI(&row.n, &h, &off);
    EXPECT_EQ(h != 0, row.fits) << "held " << row.held << ", n " << row.n;
    if (h != 0) {
      EXPECT_EQ(off, row.held + 1);
      VLK_ATFREE(&h);
    }
    if (h0 != 0) VLK_ATFREE(&h0);
    EXPECT_EQ(orvk_host_pool_outstanding(), 0);
  }
}

}  // namespace
