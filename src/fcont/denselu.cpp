// Dense LU factorisation and vector kernels of the continuation solver.
//
// fcont_lufact / fcont_lusolve: right-looking, column-oriented Gaussian
// elimination with partial pivoting (P A = L U, L unit lower), pivots floored
// at 16 EPSMCH so that the factors are always usable, with a count of pivots
// below SINGT for the caller's singularity test.  Cost: 2N^3/3 flops to
// factor, 2N^2 per solve.  Golub & Van Loan, Matrix Computations, sec. 3.4.
// fcont_luupdate: Bennett's rank-one update of unpivoted LU factors
// (J. M. Bennett, Numer. Math. 7 (1965) 217-221).
#include <cmath>
#include <cstring>

#include "fcont/fcont_parts.hpp"
#include "frame/views.hpp"

namespace orvika {

namespace {

// A pivot below the floor is replaced by the floor with its sign (+ for 0).
inline double floored(double g, double floor) {
  if (std::fabs(g) < floor) return g < 0.0 ? -floor : floor;
  return g;
}

}  // namespace

void fcont_lufact(IWORD n, IWORD lda, double* a_, IWORD* ipvt_, double singt, double epsmch) {
  if (n <= 0) return;
  Vec1<IWORD> ipvt(ipvt_, n);
  if (lda < n) {
    // The matrix does not fit its leading dimension: report every pivot as
    // unusable rather than read or write outside the columns.
    for (IWORD j = 1; j < n; ++j) ipvt(j) = j;
    ipvt(n) = n;
    return;
  }
  Mat1<double> a(a_, lda);
  const double floor = 16.0 * epsmch;
  IWORD count = 0;
  for (IWORD j = 1; j <= n; ++j) {
    if (j < n) {
      IWORD p = j;
      double big = std::fabs(a(j, j));
      for (IWORD i = j + 1; i <= n; ++i) {
        if (std::fabs(a(i, j)) > big) {
          big = std::fabs(a(i, j));
          p = i;
        }
      }
      ipvt(j) = p;
      if (p != j) {
        for (IWORD k = 1; k <= n; ++k) {
          double t = a(j, k);
          a(j, k) = a(p, k);
          a(p, k) = t;
        }
      }
      const double g = a(j, j);
      if (g != 0.0) {
        const double r = 1.0 / g;
        const Vec1<double> cj(a.col(j), n);
        for (IWORD i = j + 1; i <= n; ++i) cj(i) *= r;
        for (IWORD k = j + 1; k <= n; ++k) {
          const Vec1<double> ck(a.col(k), n);
          const double w = ck(j);
          if (w == 0.0) continue;
          for (IWORD i = j + 1; i <= n; ++i) ck(i) -= cj(i) * w;
        }
      }
    }
    const double g = a(j, j);
    if (std::fabs(g) < singt) ++count;
    a(j, j) = floored(g, floor);
  }
  ipvt(n) = count;
}

void fcont_lusolve(IWORD n, const IWORD* ipvt_, IWORD lda, const double* a_, double* b_) {
  if (n <= 0 || lda < n) return;
  Vec1<const IWORD> ipvt(ipvt_, n);
  Mat1<const double> a(a_, lda);
  Vec1<double> b(b_, n);
  for (IWORD k = 1; k < n; ++k) {
    const IWORD p = ipvt(k);
    if (p <= k || p > n) continue;  // no interchange (or none recorded)
    double t = b(k);
    b(k) = b(p);
    b(p) = t;
  }
  for (IWORD j = 1; j < n; ++j) {
    const double c = b(j);
    if (c == 0.0) continue;
    const Vec1<const double> cj(a.col(j), n);
    for (IWORD i = j + 1; i <= n; ++i) b(i) -= cj(i) * c;
  }
  for (IWORD j = n; j >= 1; --j) {
    b(j) = b(j) / a(j, j);
    const double d = b(j);
    if (d == 0.0) continue;
    const Vec1<const double> cj(a.col(j), n);
    for (IWORD i = 1; i < j; ++i) b(i) -= cj(i) * d;
  }
}

double fcont_l2norm(IWORD n, const double* x) {
  if (n <= 0) return 0.0;
  double m = 0.0;
  for (IWORD i = 0; i < n; ++i) {
    const double a = std::fabs(x[i]);
    // An entry that is not a number makes the norm not a number: a vector
    // of such entries must not pass for a zero vector.
    if (std::isnan(a)) return a;
    m = std::fmax(m, a);
  }
  if (m == 0.0) return 0.0;
  double sum = 0.0;
  if (m > 1e20 || m < 1e-20) {
    const double s = 1.0 / m;
    for (IWORD i = 0; i < n; ++i) {
      const double t = s * x[i];
      sum += t * t;
    }
    return m * std::sqrt(sum);
  }
  for (IWORD i = 0; i < n; ++i) sum += x[i] * x[i];
  return std::sqrt(sum);
}

double fcont_inner(IWORD n, const double* x, const double* y) {
  double sum = 0.0;
  for (IWORD i = 0; i < n; ++i) sum += x[i] * y[i];
  return sum;
}

void fcont_iperm(LWORD flag, IWORD n, const IWORD* ipvt_, IWORD* iv_) {
  if (n <= 1) return;
  Vec1<const IWORD> ipvt(ipvt_, n);
  Vec1<IWORD> iv(iv_, n);
  auto swap = [&](IWORD k) {
    const IWORD p = ipvt(k);
    if (p < 1 || p > n) return;
    IWORD t = iv(k);
    iv(k) = iv(p);
    iv(p) = t;
  };
  if (is_true(flag)) {
    for (IWORD k = n - 1; k >= 1; --k) swap(k);
  } else {
    for (IWORD k = 1; k < n; ++k) swap(k);
  }
}

void fcont_lumult(LWORD flag, IWORD n, const IWORD* ipvt_, const double* a_, IWORD lda,
                  const double* x_, double* y_) {
  if (n <= 0 || lda < n) return;
  Mat1<const double> a(a_, lda);
  Vec1<const double> x(x_, n);
  Vec1<double> y(y_, n);
  if (n == 1) {
    y(1) = a(1, 1) * x(1);
    return;
  }
  Vec1<const IWORD> ipvt(ipvt_, n);
  auto swap = [&](IWORD k) {
    const IWORD p = ipvt(k);
    if (p <= k || p > n) return;
    double t = y(k);
    y(k) = y(p);
    y(p) = t;
  };
  if (!is_true(flag)) {
    // Y := U X (row i uses X(i..N), so rows in increasing order are safe
    // even when X and Y are the same array).
    for (IWORD i = 1; i <= n; ++i) {
      double s = 0.0;
      for (IWORD k = i; k <= n; ++k) s += a(i, k) * x(k);
      y(i) = s;
    }
    // Y := L Y, rows N down to 2 (row i uses Y(1..i-1) not yet changed).
    for (IWORD i = n; i >= 2; --i) {
      double s = y(i);
      for (IWORD k = 1; k < i; ++k) s += a(i, k) * y(k);
      y(i) = s;
    }
    for (IWORD k = n - 1; k >= 1; --k) swap(k);
  } else {
    for (IWORD i = 1; i <= n; ++i) y(i) = x(i);
    for (IWORD k = 1; k < n; ++k) swap(k);
    // Y := L^T Y, rows 1..N-1 (row i uses Y(i+1..N), not yet changed).
    for (IWORD i = 1; i < n; ++i) {
      double s = y(i);
      for (IWORD k = i + 1; k <= n; ++k) s += a(k, i) * y(k);
      y(i) = s;
    }
    // Y := U^T Y, rows N down to 1 (row i uses Y(1..i)).
    for (IWORD i = n; i >= 1; --i) {
      double s = 0.0;
      for (IWORD k = 1; k <= i; ++k) s += a(k, i) * y(k);
      y(i) = s;
    }
  }
}

void fcont_luupdate(IWORD n, double* p_, double* q_, double* a_, IWORD lda, double epsmch) {
  if (n <= 0 || lda < n) return;
  Mat1<double> a(a_, lda);
  Vec1<double> p(p_, n);
  Vec1<double> q(q_, n);
  const double floor = 16.0 * epsmch;
  double c = 1.0;
  for (IWORD i = 1; i <= n; ++i) {
    const double g = c * p(i);
    const double dold = a(i, i);
    const double d = floored(dold + q(i) * g, floor);
    a(i, i) = d;
    for (IWORD k = i + 1; k <= n; ++k) {
      const double aik = a(i, k);
      a(i, k) = aik + g * q(k);
      q(k) -= (q(i) / dold) * aik;
      p(k) -= p(i) * a(k, i);
      a(k, i) += p(k) * q(i) * c / d;
    }
    c -= g * q(i) * c / d;
  }
}

double fcont_abssum(IWORD n, const double* x) {
  double s = 0.0;
  for (IWORD i = 0; i < n; ++i) s += std::fabs(x[i]);
  return s;
}

double fcont_absmax(IWORD n, const double* x) {
  double m = 0.0;
  for (IWORD i = 0; i < n; ++i) m = std::fmax(m, std::fabs(x[i]));
  return m;
}

void fcont_elemscale(IWORD mode, IWORD n, const double* x, IWORD flag, const double* s,
                     double* y) {
  if (n <= 0) return;
  if (flag == 0) {
    for (IWORD i = 0; i < n; ++i) y[i] = x[i];
  } else if (mode == 1) {
    for (IWORD i = 0; i < n; ++i) y[i] = x[i] / s[i];
  } else {
    for (IWORD i = 0; i < n; ++i) y[i] = x[i] * s[i];
  }
}

void fcont_scalecopy(IWORD n, const double* x, double a, double* y) {
  for (IWORD i = 0; i < n; ++i) y[i] = a * x[i];
}

void fcont_vcopy(IWORD n, const double* x, double* y) {
  if (n <= 0 || x == y) return;
  std::memmove(y, x, static_cast<std::size_t>(n) * sizeof(double));
}

}  // namespace orvika
