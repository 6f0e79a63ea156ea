// ZWPART: partition of the sparse LU package's work space into sub-arrays.
#include "sparselu/sparselu.hpp"

namespace orvika {

// Straight-line evaluation of the partition formulas, in storage order:
// leading arrays (B, IRP, X, scale factors, W18, IORN), the shared scratch
// region (W24/W28/W37, W25/W30/W31, W35, W36), IVECT, W38, W34, the status
// flags and W39, ICI/JVECT, the room S and MAXA with the method group's
// arrays, then the copies behind the factor area.  Integer positions count
// integer words, real positions real words (I4FAC integers to a real).
IWORD ZWPART(IWORD N, IWORD NZ, IWORD SPENDE, IWORD ORDOPT, IWORD METHOD, IWORD SCLOPT,
             IWORD RSTOPT, IWORD I4FAC, IWORD NRHSMX, ORVK_SPOPT2_T& P) {
  if (N < 0 || NZ < 0 || I4FAC < 1 || NRHSMX < 0) return 0;
  const IWORD I = I4FAC;
  auto ceil_r = [I](IWORD k) { return (k + I - 1) / I; };  // real word covering integer position k
  const IWORD Z = NRHSMX * N;

  // Leading arrays.
  P.IB = 1;
  P.IRP = I * Z + 1;
  const IWORD q1 = ceil_r(P.IRP + N);
  P.X = q1 + 1;
  IWORD p = P.X + Z;  // next free real word
  if (SCLOPT == 1) {
    P.ROWSC = P.X + Z;
    P.COLSC = P.ROWSC + N;
    p = P.COLSC + N;
  }
  P.W18 = I * (p - 1) + 1;
  P.IORN = P.W18 + N + 2;

  // Shared scratch region.
  const IWORD q2 = ceil_r(P.IORN + N);
  P.W24 = q2 + 1;
  P.W28 = I * q2 + 1;
  P.W29 = P.W28;
  P.W37 = P.W28 + N + 1;
  P.W25 = P.W24 + N + 1;
  P.W30 = I * (P.W25 - 1) + 1;
  P.W31 = P.W30 + N;
  const IWORD r = std::max(P.W25 + N + 1, ceil_r(P.W31 + N - 1) + 1);
  P.W35 = I * (r - 1) + 1;
  P.W36 = P.W35 + N;

  // Triplet rows, ordering scratch, status flags, column map.
  P.IVECT = P.W35 + 2 * N;
  P.W38 = P.IVECT + NZ;
  P.W34 = (ORDOPT == 1 || ORDOPT == 3) ? P.W38 : P.W38 + 2 * N;
  const IWORD q4 = ceil_r(P.W34 + NZ - 1);
  P.W40 = I * q4 + 1;
  P.W41 = P.W40 + N;
  P.W39 = P.W40 + 2 * N;
  P.ICI = P.W39 + N + 1;
  P.JVECT = P.ICI;

  // Room for the matrix and its factors.
  const IWORD a = ceil_r(P.ICI - 1) + 1;
  IWORD S = SPENDE;
  const bool m12 = (METHOD == 1 || METHOD == 2);
  if (RSTOPT == 1 && m12) S -= NZ + (3 * N + NZ + 3) / I + Z + 6;
  if (RSTOPT == 1 && SCLOPT == 1 && !m12) S -= Z + NZ;
  if (METHOD == 2) S -= NZ + (N + NZ) / I + 6;

  const double x = 1.0 + 1.0 / static_cast<double>(I);
  IWORD end;  // next free real word
  if (METHOD == 2 || METHOD == 3) {
    const IWORD br = 2 * (S - (N + 1) / I - a - 10);
    P.MAXA = static_cast<IWORD>(static_cast<double>(br) / (3.0 * x));
    const IWORD h = P.MAXA / 2 + 1;
    P.W42 = P.ICI + P.MAXA;
    P.W32 = P.W42 + h;
    P.IA = (P.W32 + N + I - 1) / I + 1;
    P.W26 = P.IA + P.MAXA;
    end = P.W26 + h;
  } else if (METHOD == 5 || METHOD == 6) {
    const IWORD br = S - (2 * N + 2) / I - a - 16;
    P.MAXA = static_cast<IWORD>(static_cast<double>(br) / (2.0 * x));
    const IWORD h = P.MAXA / 2 + 1;
    P.W42 = P.ICI + P.MAXA;
    P.W43 = P.W42 + h;
    P.W32 = P.W43 + h;
    P.W33 = P.W32 + N + 1;
    P.IA = (P.W33 + N + I - 1) / I + 1;
    P.W26 = P.IA + P.MAXA;
    P.W27 = P.W26 + h;
    end = P.W27 + h;
  } else {
    const IWORD br = S - a - 4;
    P.MAXA = static_cast<IWORD>(static_cast<double>(br) / x);
    P.IA = (P.ICI + P.MAXA + I - 1) / I + 1;
    end = P.IA + P.MAXA;
  }

  // Copies behind the factor area.
  if (RSTOPT == 1 && m12) {
    P.W48 = end;
    P.W44 = P.W48 + NZ;
    P.W45 = I * (P.W44 + Z - 1) + 1;
    P.W46 = P.W45 + N + 1;
    P.W47 = P.W46 + N + 1;
    P.W49 = P.W47 + NZ;
    end = ceil_r(P.W49 + N) + 1;
  } else if (RSTOPT == 1 && SCLOPT == 1) {
    P.W48 = end;
    P.W44 = P.W48 + NZ;
    end = P.W44 + Z;
  }
  if (METHOD == 2) {
    P.W50 = end;
    P.W52 = I * (P.W50 + NZ - 1) + 1;
    P.W51 = P.W52 + N;
    end = ceil_r(P.W51 + NZ - 1) + 1;
  }
  return end - 1;
}

}  // namespace orvika

namespace orvika {

IWORD sp_min_spende(IWORD N, IWORD NZ, IWORD METHOD, IWORD I4FAC, double SPCFAC) {
  const IWORD I = I4FAC < 1 ? 1 : I4FAC;
  IWORD base = 9 * (N + NZ / 4 + (N + (5 * N) / 8 + NZ / 2) / I) + 90;
  if (METHOD == 2) {
    base += (9 * (NZ / 2 + (N + NZ / 2) / I)) / 8;
    base += (9 * (NZ + (N + NZ) / I)) / 8;
  } else if (METHOD == 5) {
    base += (9 * (NZ + (NZ + 2 * N) / I)) / 8;
  }
  const double f = SPCFAC > 1.0 ? SPCFAC : 1.0;
  return static_cast<IWORD>(f * static_cast<double>(base));
}

}  // namespace orvika
