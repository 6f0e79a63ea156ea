// ORVK_LUEBRI in the sixteen-argument form: error-in-variables lines by
// Britt-Luecke and Deming iterations, implicit models on exact data,
// statistics and their report, the time limit and bad counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "frame/format.hpp"
#include "orvika/host_stub.h"
#include "regress/engine_test_util.hpp"
#include "regress/regress_test_util.hpp"
#include "support/capture.hpp"

namespace {

using regress_test::Engine;
using regress_test::Vec;
using regress_test::ellipse16;

using regress_test::Eiv;
auto kLine16 = reinterpret_cast<ORVK_MODELFN>(regress_test::line16);

class LuebriTest : public ::testing::Test {
 protected:
  void SetUp() override {
    orvk_host_reset();
    orvk_host_set_timer_step(1.0);
  }
};

TEST_F(LuebriTest, ErrorsInVariablesLine) {
  const Eiv d;
  struct Case {
    const char* what;
    IWORD kdem, iods, ndrv;
    bool exact;
  } cases[] = {{"Britt-Luecke throughout", 0, 0, 0, true},
               {"two Deming iterations, then Britt-Luecke", 2, 1, 0, true},
               {"forward differences", 0, 0, 1, true},
               {"central differences", 0, 0, 2, true},
               {"Deming only, line search", -1, 2, 0, false},
               {"Deming only, no search", -1, 0, 0, false}};
  const Vec exact = d.reference(), ols = d.ols();
  for (const auto& c : cases) {
    Engine e = d.engine();
    e.kdem = c.kdem;
    e.iods = c.iods;
    e.ndrv = c.ndrv;
    e.ssq = 1e30;
    e.tol = 1e-12;
    e.iter = 100;
    e.luebri(kLine16);
    const Vec& ref = c.exact ? exact : ols;
    EXPECT_EQ(e.istat, 0) << c.what;
    EXPECT_NEAR(e.p[0], ref[0], 1e-5) << c.what;
    EXPECT_NEAR(e.p[1], ref[1], 1e-6) << c.what;
    // Z = ZM - DELZ up to the last step (Z is taken before the last update).
    if (c.exact)
      for (int i = 0; i < 18; ++i) EXPECT_NEAR(e.z[i], e.zm[i] - e.znew[i], 1e-6) << c.what;
  }
}

// Implicit models on data that satisfy them exactly: the fit is the model's
// own parameters, with no adjustment of the measurements.  The linearised
// constraints of the circle and the ellipse can be met exactly from any
// start (each is linear in a reparametrisation of its parameters, up to a
// common factor), so the step's predicted objective is 0 long before the
// fit is; the third model has two constraints per point.
// Circle (x - p1)^2 + (y - p2)^2 - p3^2 = 0, z = (x, y).
void circle16(const double* z, const double*, void*, const double* p, const IWORD* ndat,
              const IWORD*, const IWORD*, void*, const IWORD*, const IWORD*, const IWORD*,
              const IWORD* req, double* f, double* fz, double* fp, void*) {
  for (IWORD i = 0; i < *ndat; ++i) {
    const double dx = z[2 * i] - p[0], dy = z[2 * i + 1] - p[1];
    f[i] = dx * dx + dy * dy - p[2] * p[2];
    if (*req == 0) {
      fz[2 * i] = 2 * dx;
      fz[2 * i + 1] = 2 * dy;
      fp[3 * i] = -2 * dx;
      fp[3 * i + 1] = -2 * dy;
      fp[3 * i + 2] = -2 * p[2];
    }
  }
}
// Two constraints y - p1 - p2 x = 0 and w - p3 x y = 0, z = (x, y, w).
void pair16(const double* z, const double*, void*, const double* p, const IWORD* ndat,
            const IWORD*, const IWORD*, void*, const IWORD*, const IWORD*, const IWORD*,
            const IWORD* req, double* f, double* fz, double* fp, void*) {
  for (IWORD i = 0; i < *ndat; ++i) {
    const double x = z[3 * i], y = z[3 * i + 1], w = z[3 * i + 2];
    f[2 * i] = y - p[0] - p[1] * x;
    f[2 * i + 1] = w - p[2] * x * y;
    if (*req == 0) {
      double* a = fz + 6 * i;  // FZ(k, m) at k + 2 (m - 1)
      a[0] = -p[1], a[1] = -p[2] * y, a[2] = 1, a[3] = -p[2] * x, a[4] = 0, a[5] = 1;
      double* b = fp + 6 * i;  // FP(k, l) at k + 2 (l - 1)
      b[0] = -1, b[1] = 0, b[2] = -x, b[3] = 0, b[4] = 0, b[5] = -x * y;
    }
  }
}

TEST_F(LuebriTest, ExactImplicitDataGiveTheModelsParameters) {
  struct Model {
    const char* what;
    ORVK_MODELFN fn;
    IWORD nm, nc;
    Vec truth, start, sd;
    std::vector<Vec> points;
  };
  std::vector<Model> models;
  {
    Model m{"circle", reinterpret_cast<ORVK_MODELFN>(circle16), 2, 1, {1, 2, 3},
            {0.5, 1.5, 2.5}, {0.1, 0.1}, {}};
    for (int i = 0; i < 8; ++i) {
      const double t = 0.3 + 0.2 * M_PI * i;
      m.points.push_back({1 + 3 * std::cos(t), 2 + 3 * std::sin(t)});
    }
    models.push_back(m);
  }
  {
    Model m{"ellipse", reinterpret_cast<ORVK_MODELFN>(ellipse16), 2, 1, {1, -1, 3, 2},
            {0.8, -0.7, 2.6, 2.3}, {0.05, 0.08}, {}};
    for (int i = 0; i < 10; ++i) {
      const double t = 0.2 + 0.2 * M_PI * i;
      m.points.push_back({1 + 3 * std::cos(t), -1 + 2 * std::sin(t)});
    }
    models.push_back(m);
  }
  {
    Model m{"two constraints", reinterpret_cast<ORVK_MODELFN>(pair16), 3, 2, {0.5, 2, 0.3},
            {0, 1, 1}, {0.1, 0.2, 0.3}, {}};
    for (int i = 0; i < 6; ++i) {
      const double x = 0.5 + i, y = 0.5 + 2 * x;
      m.points.push_back({x, y, 0.3 * x * y});
    }
    models.push_back(m);
  }
  struct Run {
    const char* what;
    IWORD kdem, iods, ndrv;
  } runs[] = {{"Britt-Luecke throughout", 0, 0, 0},
              {"two Deming iterations, then Britt-Luecke", 2, 1, 0},
              {"Deming only, line search", -1, 2, 0},
              {"Deming only, no search", -1, 0, 0},
              {"Britt-Luecke, forward differences", 0, 0, 1},
              {"Deming only, central differences", -1, 0, 2}};
  for (const Model& m : models)
    for (const Run& c : runs) {
      SCOPED_TRACE(std::string(m.what) + ", " + c.what);
      const IWORD np = static_cast<IWORD>(m.truth.size());
      const IWORD nd = static_cast<IWORD>(m.points.size());
      Engine e(np, m.nm, nd, m.nc);
      for (IWORD i = 0; i < nd; ++i)
        for (IWORD j = 0; j < m.nm; ++j) {
          e.zm[j + i * m.nm] = m.points[i][j];
          e.r[j + i * m.nm] = m.sd[j];
        }
      e.z = e.zm;
      e.p = m.start;
      e.kdem = c.kdem;
      e.iods = c.iods;
      e.ndrv = c.ndrv;
      e.ssq = 1e30;
      e.tol = 1e-10;
      e.iter = 100;
      e.luebri(m.fn);
      EXPECT_EQ(e.istat, 0);
      for (IWORD l = 0; l < np; ++l)
        EXPECT_NEAR(e.p[l], m.truth[l], 1e-9 * std::fabs(m.truth[l])) << "parameter " << l + 1;
      EXPECT_LE(e.ssq, 1e-20);
      for (size_t q = 0; q < e.z.size(); ++q)
        EXPECT_NEAR(e.z[q], e.zm[q], 1e-9 * std::max(1.0, std::fabs(e.zm[q]))) << q;
    }
}

TEST_F(LuebriTest, StatisticsAndTheirReport) {
  const Eiv d;
  Engine e = d.engine();
  e.kdem = 0;
  e.ssq = 1e30;
  e.tol = 1e-12;
  e.iter = 100;
  e.iprint = 1;
  e.pscl = {4.0, 1.0};
  orvika_test::UnitCapture cap(6);
  e.luebri(kLine16);
  ASSERT_EQ(e.istat, 0);
  const double s2 = e.ssq / 7;
  EXPECT_NEAR(e.sigma, std::sqrt(s2), 1e-14);
  // HMAT holds the unscaled covariance (upper triangle); CPACK the same over
  // sqrt(PSCL(i) PSCL(j)).
  EXPECT_NEAR(e.cpack[0], e.hmat[0] / 4, 1e-15);
  EXPECT_NEAR(e.cpack[1], e.hmat[2] / 2, 1e-15);
  EXPECT_NEAR(e.cpack[2], e.hmat[3], 1e-15);
  EXPECT_GT(e.hmat[0], 0);
  const std::string text = cap.text();
  EXPECT_NE(text.find("*****      BRITT-LUECKE ALGORITHM       *****"), std::string::npos);
  EXPECT_NE(text.find("              K    M         MEASURED            ESTIMATED"
                      "           ADJUSTMENT"),
            std::string::npos)
      << text;
  const std::string wss =
      std::string(orvika::Rec().X(10).A("WEIGHTED SUM OF SQUARES").T(40).D(e.ssq, 15, 7).view());
  EXPECT_NE(text.find(wss), std::string::npos) << text;
  EXPECT_NE(text.find("          PARAMETER CORRELATION MATRIX"), std::string::npos);
  const double c12 = e.hmat[2] / std::sqrt(e.hmat[0] * e.hmat[3]);
  const std::string row2 =
      std::string(orvika::Rec().X(2).F(c12, 10, 7).F(1.0, 10, 7).view());
  EXPECT_NE(text.find("\n" + row2 + "\n"), std::string::npos) << row2;
}

TEST_F(LuebriTest, TimeLimitAndIterationLimit) {
  const Eiv d;
  {
    Engine e = d.engine();
    e.kdem = -1;
    e.iods = 0;
    e.ssq = 1e30;
    e.tol = 0;
    VLK_RGLOB[VLK_W_TLIMIT - 1] = 3.5;
    orvika_test::UnitCapture cap(6);
    e.luebri(kLine16);
    EXPECT_EQ(e.istat, 10);
    EXPECT_NE(cap.text().find("PXR TERMINATED BECAUSE MAX TIME OF     3.50"), std::string::npos);
  }
  orvk_host_reset();
  {
    Engine e = d.engine();
    e.iter = 0;
    e.iprint = 2;
    orvika_test::UnitCapture cap(6);
    e.luebri(kLine16);
    EXPECT_EQ(e.istat, 1);
    EXPECT_EQ(e.iter, 0);
    EXPECT_EQ(e.ncall, 1);  // the final call only
    EXPECT_NE(cap.text().find("0   PROBLEM DID NOT REACH SATISFACTORY CONVERGENCE AFTER    0 ITERATIONS"),
              std::string::npos);
  }
}

TEST_F(LuebriTest, BadCountsAreRefused) {
  const Eiv d;
  Engine e = d.engine();
  e.ncons[3] = 2;  // above NCMAX
  e.luebri(kLine16);
  EXPECT_EQ(e.istat, -1);
  EXPECT_EQ(e.ncall, 0);
}

}  // namespace
