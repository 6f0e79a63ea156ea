// Tagged sorting: partition, range bookkeeping and Shell sort, alone and as
// a complete sort driven the way the host drives them, against std::sort.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "orvika/kernels_sparse.h"

namespace {

using Pairs = std::vector<std::pair<double, IWORD>>;

Pairs zip(const std::vector<double>& a, const std::vector<IWORD>& ind) {
  Pairs p;
  for (size_t i = 0; i < a.size(); ++i) p.push_back({a[i], ind[i]});
  return p;
}

TEST(Kb03xd, Examples) {
  struct Case {
    const char* what;
    std::vector<double> a;
    std::vector<IWORD> ind;
    IWORD m;                          // expected split
    std::vector<double> a_after;      // keys after the partition
    std::vector<IWORD> ind_after;     // tags after the partition
  };
  const Case cases[] = {
      {"pivot (1, 2) ends at position 1", {3, 1, 2}, {1, 2, 3}, 2, {1, 3, 2}, {2, 1, 3}},
      {"the pivot is the largest pair: nothing moves", {1, 9, 2}, {1, 2, 3}, 4, {1, 9, 2},
       {1, 2, 3}},
      {"equal keys: (5, 7) is greater than the pivot (5, 3)", {5, 5, 5}, {7, 3, 1}, 3, {5, 5, 5},
       {1, 3, 7}},
  };
  for (const Case& c : cases) {
    std::vector<double> a = c.a;
    std::vector<IWORD> ind = c.ind;
    IWORD i = 1, j = 3, m = 0;
    ORVK_KB03XD(&i, &j, &m, a.data(), ind.data());
    EXPECT_EQ(m, c.m) << c.what;
    EXPECT_EQ(a, c.a_after) << c.what;
    EXPECT_EQ(ind, c.ind_after) << c.what;
  }
  // An empty range touches nothing.
  IWORD i = 4, j = 3, m = 0;
  ORVK_KB03XD(&i, &j, &m, nullptr, nullptr);
  EXPECT_EQ(m, 4);
}

TEST(Kb03xd, PartitionPropertyOnRandomRanges) {
  std::mt19937_64 rng(3);
  for (int rep = 0; rep < 200; ++rep) {
    const IWORD n = 1 + rep % 37;
    std::uniform_int_distribution<int> key(0, rep % 2 ? 4 : 1000);
    std::vector<double> a(n);
    std::vector<IWORD> ind(n);
    for (IWORD k = 0; k < n; ++k) a[k] = key(rng), ind[k] = key(rng);
    IWORD i = 1 + (n > 3 ? rep % 3 : 0), j = n - (n > 5 ? rep % 2 : 0), m = 0;
    const Pairs before = zip(a, ind);
    const auto pivot = before[(i + j) / 2 - 1];
    ORVK_KB03XD(&i, &j, &m, a.data(), ind.data());
    const Pairs after = zip(a, ind);
    ASSERT_GE(m, i + 1);  // the pivot itself stays in the lower part
    ASSERT_LE(m, j + 1);
    for (IWORD p = i; p <= j; ++p)
      EXPECT_EQ(after[p - 1] > pivot, p >= m) << "rep " << rep << " position " << p;
    for (IWORD p = 1; p <= n; ++p)
      if (p < i || p > j) EXPECT_EQ(after[p - 1], before[p - 1]);
    Pairs sb = before, sa = after;
    std::sort(sb.begin(), sb.end());
    std::sort(sa.begin(), sa.end());
    EXPECT_EQ(sa, sb);
  }
}

TEST(Kb03yd, RecordsBothParts) {
  const IWORD n = 9, kp = 1, i = 1, j = 9, m = 5, nlim = 3;
  IWORD l = 2;
  std::vector<IWORD> stack = {10 * 4 + 1, 0, 0};
  ORVK_KB03YD(&i, &j, &m, &kp, &l, nullptr, &nlim, stack.data(), &n, nullptr);
  EXPECT_EQ(stack[1], 45);
  EXPECT_EQ(stack[0], 21);
  EXPECT_EQ(l, 3);
  // Small parts are marked negative.
  const IWORD nlim5 = 5;
  l = 2;
  stack = {10 * 4 + 1, 0, 0};
  ORVK_KB03YD(&i, &j, &m, &kp, &l, nullptr, &nlim5, stack.data(), &n, nullptr);
  EXPECT_EQ(stack[0], -21);
  EXPECT_EQ(stack[1], -45);
}

// The entries h*(N+1) + s of a list position must fit in a word: an order
// so large that they would not leaves the list and L as they were.
TEST(Kb03yd, EntriesThatDoNotFitAreNotRecorded) {
  struct Case {
    const char* what;
    IWORD n, l;
  };
  const IWORD big = std::numeric_limits<IWORD>::max();
  const Case cases[] = {{"N + 1 overflows", big, 2},
                        {"(N + 1) * L overflows", IWORD{1} << 62, 2},
                        {"(N + 1) * L + I overflows", big - 1, 1}};
  const IWORD kp = 1, i = 1, j = 9, m = 5, nlim = 3;
  for (const Case& c : cases) {
    IWORD l = c.l;
    std::vector<IWORD> stack = {41, 0, 0};
    ORVK_KB03YD(&i, &j, &m, &kp, &l, nullptr, &nlim, stack.data(), &c.n, nullptr);
    EXPECT_EQ(l, c.l) << c.what;
    EXPECT_EQ(stack, (std::vector<IWORD>{41, 0, 0})) << c.what;
  }
  // The entries of an order just below that limit are recorded as usual.
  const IWORD n = big / 3 - 1;
  IWORD l = 2;
  std::vector<IWORD> stack = {1, 0, 0};
  ORVK_KB03YD(&i, &j, &m, &kp, &l, nullptr, &nlim, stack.data(), &n, nullptr);
  EXPECT_EQ(l, 3);
  EXPECT_EQ(stack, (std::vector<IWORD>{(n + 1) * 2 + 1, m, 0}));
}

TEST(Kb03yd, NoProgressAllEqualOrRetry) {
  const IWORD n = 4, kp = 1, i = 1, j = 4, m = 5, nlim = 1;
  IWORD l = 2;
  std::vector<double> a = {2, 2, 2, 2};
  std::vector<IWORD> ind = {4, 3, 2, 1};
  std::vector<IWORD> stack = {1, 0};
  ORVK_KB03YD(&i, &j, &m, &kp, &l, a.data(), &nlim, stack.data(), &n, ind.data());
  EXPECT_EQ(stack[0], -1);
  EXPECT_EQ(l, 2);
  EXPECT_EQ(ind, (std::vector<IWORD>{4, 3, 2, 1}));
  // Keys differ: the first key unlike the one at mid = 2 moves into mid.
  a = {2, 2, 1, 3};
  stack = {1, 0};
  ORVK_KB03YD(&i, &j, &m, &kp, &l, a.data(), &nlim, stack.data(), &n, ind.data());
  EXPECT_EQ(stack[0], 1);
  EXPECT_EQ(a, (std::vector<double>{2, 1, 2, 3}));
  EXPECT_EQ(ind, (std::vector<IWORD>{4, 2, 3, 1}));
}

TEST(Kb03zd, Examples) {
  std::vector<double> a = {2, 1, 2, 1};
  std::vector<IWORD> ind = {4, 3, 2, 1};
  const IWORD n = 4, k0 = 1;
  ORVK_KB03ZD(a.data(), &n, &k0, ind.data());
  EXPECT_EQ(a, (std::vector<double>{1, 1, 2, 2}));
  EXPECT_EQ(ind, (std::vector<IWORD>{1, 3, 2, 4}));
  double one = 5;
  IWORD tag = 9;
  const IWORD n1 = 1;
  ORVK_KB03ZD(&one, &n1, &k0, &tag);
  EXPECT_EQ(one, 5);
  EXPECT_EQ(tag, 9);
}

// Key sets of the sort tests.
enum class Keys { kRandom, kDuplicates, kSorted, kReversed, kAllEqual };

void make_keys(Keys kind, IWORD n, std::mt19937_64& rng, std::vector<double>& a,
               std::vector<IWORD>& ind) {
  std::uniform_real_distribution<double> u(-1e3, 1e3);
  std::uniform_int_distribution<int> small(0, 5);
  a.resize(n);
  ind.resize(n);
  for (IWORD k = 0; k < n; ++k) {
    ind[k] = small(rng) * 1000 + k % 7;  // tags with repeats
    switch (kind) {
      case Keys::kRandom: a[k] = u(rng); break;
      case Keys::kDuplicates: a[k] = small(rng); break;
      case Keys::kSorted: a[k] = static_cast<double>(k / 2); break;
      case Keys::kReversed: a[k] = static_cast<double>(n - k); break;
      case Keys::kAllEqual: a[k] = 1.5; break;
    }
  }
}

// Complete sort as the host drives the routines: partition the ranges of
// the list until every entry is negative, then Shell-sort each range from
// its start K0.  Entries are h*(N+1) + s; h = 0 ends the list.  DONE, when
// given, tells whether the partitions ended before the guard stopped them.
void host_sort(std::vector<double>& a, std::vector<IWORD>& ind, IWORD nlim,
               bool* done = nullptr) {
  const IWORD n = static_cast<IWORD>(a.size());
  if (done) *done = true;
  if (n == 0) return;
  const IWORD c = n + 1;
  std::vector<IWORD> stack(n + 2, 0);
  stack[0] = n <= nlim ? -1 : 1;
  IWORD l = 2;
  auto start = [&](IWORD e) { return std::abs(stack[e - 1]) % c; };
  auto link = [&](IWORD e) { return std::abs(stack[e - 1]) / c; };
  auto end = [&](IWORD e) { return link(e) == 0 ? n : start(link(e)) - 1; };
  if (done) *done = false;
  for (int guard = 0; guard < 100000; ++guard) {
    IWORD kp = 1;
    while (kp != 0 && stack[kp - 1] < 0) kp = link(kp);
    if (kp == 0) {
      if (done) *done = true;
      break;
    }
    IWORD i = start(kp), j = end(kp), m = 0;
    ORVK_KB03XD(&i, &j, &m, a.data(), ind.data());
    ORVK_KB03YD(&i, &j, &m, &kp, &l, a.data(), &nlim, stack.data(), &n, ind.data());
    ASSERT_LE(l, n + 2);
  }
  for (IWORD e = 1; e != 0; e = link(e)) {
    IWORD k0 = start(e), len = end(e) - start(e) + 1;
    ORVK_KB03ZD(a.data(), &len, &k0, ind.data());
  }
}

class SortCase : public ::testing::TestWithParam<std::tuple<Keys, IWORD>> {};

TEST_P(SortCase, MatchesStdSort) {
  const auto [kind, n] = GetParam();
  std::mt19937_64 rng(100 + n + static_cast<int>(kind));
  std::vector<double> a;
  std::vector<IWORD> ind;
  make_keys(kind, n, rng, a, ind);
  Pairs want = zip(a, ind);
  std::sort(want.begin(), want.end());

  std::vector<double> a1 = a;
  std::vector<IWORD> i1 = ind;
  const IWORD k0 = 1;
  ORVK_KB03ZD(a1.data(), &n, &k0, i1.data());
  EXPECT_EQ(zip(a1, i1), want) << "Shell sort";

  for (IWORD nlim : {IWORD{1}, IWORD{4}, IWORD{16}}) {
    std::vector<double> a2 = a;
    std::vector<IWORD> i2 = ind;
    host_sort(a2, i2, nlim);
    EXPECT_EQ(zip(a2, i2), want) << "driven sort, NLIM " << nlim;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, SortCase,
    ::testing::Combine(::testing::Values(Keys::kRandom, Keys::kDuplicates, Keys::kSorted,
                                         Keys::kReversed, Keys::kAllEqual),
                       ::testing::Values(IWORD{0}, IWORD{1}, IWORD{2}, IWORD{3}, IWORD{5},
                                         IWORD{10}, IWORD{50}, IWORD{1000})));

// Keys that are not numbers: the driven sort still ends (a range whose
// pivot or other keys are NaN must still split), every pair is kept, and
// the keys that are numbers come out ascending with their tags.
TEST(Kb03, NanKeysDoNotStallTheDrivenSort) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::vector<double> keys;
    IWORD nlim;
  };
  std::vector<Case> cases = {
      {"all NaN", std::vector<double>(10, nan), 4},
      {"NaN and a number, ranges split to single keys", {nan, 3}, 1},
      {"number and NaN", {3, nan}, 1},
      {"NaN pivot of a longer range", {1, 2, nan, 4, 5, 6}, 2},
      {"mixed with repeats", {3, nan, 1, nan, 2, nan, 5, 0, nan, 4, 4, nan}, 2},
  };
  std::mt19937_64 rng(2024);
  std::uniform_int_distribution<int> pick(0, 9);
  for (IWORD nlim : {IWORD{1}, IWORD{4}}) {
    std::vector<double> keys(100);
    for (double& k : keys) k = pick(rng) == 0 ? nan : pick(rng);
    cases.push_back({"100 keys, one in ten NaN", keys, nlim});
  }
  for (const auto& c : cases) {
    const IWORD n = static_cast<IWORD>(c.keys.size());
    std::vector<double> a = c.keys;
    std::vector<IWORD> ind(n);
    for (IWORD k = 0; k < n; ++k) ind[k] = k + 1;
    bool done = false;
    host_sort(a, ind, c.nlim, &done);
    EXPECT_TRUE(done) << c.what << ": the partitions never ended";
    // Each tag once, with the key it came with.
    std::vector<bool> seen(n + 1, false);
    for (IWORD k = 0; k < n; ++k) {
      ASSERT_TRUE(ind[k] >= 1 && ind[k] <= n && !seen[ind[k]]) << c.what;
      seen[ind[k]] = true;
      const double orig = c.keys[ind[k] - 1];
      EXPECT_TRUE(a[k] == orig || (std::isnan(a[k]) && std::isnan(orig))) << c.what;
    }
    Pairs numbers, want;
    for (IWORD k = 0; k < n; ++k)
      if (!std::isnan(a[k])) numbers.push_back({a[k], ind[k]});
    want = numbers;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(numbers, want) << c.what;
  }
}

}  // namespace
