// The encoder object and its settings: constant tables, the quality rule,
// sampling factors, the comment, and validation before any change.
#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;
using test::ErrorOf;

TEST(Construction, ZigZagRowsFollowFigureA6) {
  cJpeg j;
  const auto& z = Access::ZigZag(j);
  EXPECT_EQ(z[0], (std::array<std::int32_t, 8>{0, 1, 5, 6, 14, 15, 27, 28}));
  EXPECT_EQ(z[1], (std::array<std::int32_t, 8>{2, 4, 7, 13, 16, 26, 29, 42}));
  EXPECT_EQ(z[7], (std::array<std::int32_t, 8>{35, 36, 48, 49, 57, 58, 62, 63}));
  // Every position once, and each step of the sequence moves to a neighbour.
  std::array<std::pair<int, int>, 64> cell{};
  std::array<int, 64> seen{};
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      ++seen[static_cast<std::size_t>(z[r][c])];
      cell[static_cast<std::size_t>(z[r][c])] = {r, c};
    }
  for (int k = 0; k < 64; ++k) EXPECT_EQ(seen[static_cast<std::size_t>(k)], 1) << k;
  for (int k = 1; k < 64; ++k) {
    const auto [r0, c0] = cell[static_cast<std::size_t>(k - 1)];
    const auto [r1, c1] = cell[static_cast<std::size_t>(k)];
    EXPECT_LE(std::abs(r1 - r0), 1) << k;
    EXPECT_LE(std::abs(c1 - c0), 1) << k;
  }
}

TEST(Construction, ExampleTablesInZigZagOrder) {
  cJpeg j;
  const auto& lum = Access::StdLum(j);
  const std::int16_t lumStart[] = {16, 11, 12, 14, 12, 10, 16, 14, 13, 14, 18, 17};
  for (int k = 0; k < 12; ++k) EXPECT_EQ(lum[static_cast<std::size_t>(k)], lumStart[k]) << k;
  EXPECT_EQ(lum[60], 92);
  EXPECT_EQ(lum[61], 101);
  EXPECT_EQ(lum[62], 103);
  EXPECT_EQ(lum[63], 99);
  const auto& chr = Access::StdChr(j);
  const std::int16_t chrStart[] = {17, 18, 18, 24, 21, 24, 47, 26, 26, 47, 99, 66, 56, 66};
  for (int k = 0; k < 14; ++k) EXPECT_EQ(chr[static_cast<std::size_t>(k)], chrStart[k]) << k;
  for (int k = 14; k < 64; ++k) EXPECT_EQ(chr[static_cast<std::size_t>(k)], 99) << k;
}

TEST(Construction, AanScaleHoldsTheStoredValues) {
  cJpeg j;
  const std::array<double, 8> expected = {0.353553390593273, 0.25489778955208,  0.270598050073098, 0.300672443467523,
                                          0.353553390593273, 0.449988111568207, 0.653281482438186, 1.28145772387074};
  EXPECT_EQ(Access::AanScale(j), expected);
}

TEST(Construction, Defaults) {
  cJpeg j;
  EXPECT_EQ(j.Quality(), 75);
  EXPECT_EQ(Access::Nf(j), 3);
  EXPECT_EQ(Access::Hmax(j), 2);
  EXPECT_EQ(Access::Vmax(j), 2);
  EXPECT_EQ(Access::P(j), 0);
  EXPECT_EQ(j.Comment(), "");
  const auto& comp = Access::Comp(j);
  ASSERT_EQ(comp.size(), 3u);
  EXPECT_EQ(comp[0].H * 10 + comp[0].V, 22);
  EXPECT_EQ(comp[1].H * 10 + comp[1].V, 11);
  EXPECT_EQ(comp[2].H * 10 + comp[2].V, 11);
  EXPECT_EQ(comp[0].Tq, 0);
  EXPECT_EQ(comp[1].Tq, 1);
  EXPECT_EQ(comp[2].Tq, 1);
  for (const auto& c : comp) EXPECT_TRUE(c.Data.empty());
}

// --- Quality ---------------------------------------------------------------

TEST(Quality, HundredMakesEveryEntryOne) {
  cJpeg j;
  j.Quality(100);
  for (int t = 0; t < 2; ++t)
    for (std::int16_t q : Access::QTable(j)[static_cast<std::size_t>(t)].Qk) EXPECT_EQ(q, 1);
}

TEST(Quality, OneMakesEveryEntry255) {
  cJpeg j;
  j.Quality(1);
  for (int t = 0; t < 2; ++t)
    for (std::int16_t q : Access::QTable(j)[static_cast<std::size_t>(t)].Qk) EXPECT_EQ(q, 255);
}

TEST(Quality, FiftyKeepsEvenAndRaisesOddBaseValues) {
  cJpeg j;
  j.Quality(50);
  for (std::size_t z = 0; z < 64; ++z) {
    const std::int16_t lum = Access::StdLum(j)[z];
    const std::int16_t chr = Access::StdChr(j)[z];
    EXPECT_EQ(Access::QTable(j)[0].Qk[z], lum + lum % 2) << z;
    EXPECT_EQ(Access::QTable(j)[1].Qk[z], chr + chr % 2) << z;
  }
}

TEST(Quality, SeventyFiveRoundsTiesToEven) {
  cJpeg j;
  j.Quality(75);
  const std::int16_t lum[] = {8, 6, 6, 8, 6, 6, 8, 8};
  const std::int16_t chr[] = {9, 10, 10, 12, 11, 12, 24, 14};
  for (std::size_t z = 0; z < 8; ++z) {
    EXPECT_EQ(Access::QTable(j)[0].Qk[z], lum[z]) << z;
    EXPECT_EQ(Access::QTable(j)[1].Qk[z], chr[z]) << z;
  }
}

struct QualityEntry {
  std::int32_t quality;
  int table;
  std::size_t z;
  std::int16_t expected;
  const char* why;
};

TEST(Quality, LowQualitiesRoundTheScaleToEven) {
  const QualityEntry cases[] = {
      {16, 0, 0, 50, "S = 312 (5000/16 = 312.5): 16*312+50 = 5042 -> 50"},
      {30, 1, 63, 166, "S = 167: 99*167+50 = 16583 -> 166"},
      {3, 0, 2, 201, "S = 1667: 12*1667+50 = 20054 -> 201"},
      {3, 0, 0, 255, "clamped"},
      {49, 0, 0, 17, "S = 102 (5000/49 = 102.04): 16*102+50 = 1682 -> 17"},
  };
  for (const QualityEntry& c : cases) {
    cJpeg j;
    j.Quality(c.quality);
    EXPECT_EQ(Access::QTable(j)[static_cast<std::size_t>(c.table)].Qk[c.z], c.expected) << c.why;
  }
}

TEST(Quality, OutOfRangeValuesAreIgnored) {
  for (std::int32_t value : {0, 101, -5, 1000}) {
    cJpeg j;
    j.Quality(40);
    const auto before = Access::QTable(j);
    j.Quality(value);
    EXPECT_EQ(j.Quality(), 40) << value;
    for (int t = 0; t < 2; ++t) {
      EXPECT_EQ(Access::QTable(j)[static_cast<std::size_t>(t)].Qk, before[static_cast<std::size_t>(t)].Qk);
      EXPECT_EQ(Access::QTable(j)[static_cast<std::size_t>(t)].Divisor, before[static_cast<std::size_t>(t)].Divisor);
    }
  }
  cJpeg fresh;
  fresh.Quality(0);
  EXPECT_EQ(fresh.Quality(), 75);
}

TEST(Quality, DivisorFoldsTheAanScaleIntoTheStep) {
  cJpeg j;
  j.Quality(75);
  const auto& table = Access::QTable(j)[0];
  const auto& scale = Access::AanScale(j);
  // (0, 0): 0.353553390593273 squared over 8, about 0.125 / 8.
  EXPECT_EQ(table.Divisor[0], static_cast<float>(scale[0] * scale[0] / 8));
  EXPECT_NEAR(table.Divisor[0], 0.125 / 8, 1e-9);
  // (7, 7) is zigzag position 63; (0, 1) is 1; (1, 0) is 2.
  EXPECT_EQ(table.Divisor[63], static_cast<float>(scale[7] * scale[7] / table.Qk[63]));
  EXPECT_EQ(table.Divisor[1], static_cast<float>(scale[0] * scale[1] / table.Qk[1]));
  EXPECT_EQ(table.Divisor[2], static_cast<float>(scale[1] * scale[0] / table.Qk[2]));
}

TEST(PrepareQuantTable, RefusesEntriesOutsideOneTo255AndChangesNothing) {
  for (std::int16_t bad : {0, 256, -1}) {
    cJpeg j;
    auto& table = Access::QTable(j)[1];
    const auto divisors = table.Divisor;
    table.Qk[40] = bad;
    EXPECT_EQ(ErrorOf([&] { Access::PrepareQuantTable(j, 1); }), "1: Bad Quantization Table");
    EXPECT_EQ(table.Divisor, divisors);
  }
}

TEST(PrepareQuantTable, TableNumberOutOfRangeIsASubscriptError) {
  cJpeg j;
  EXPECT_EQ(ErrorOf([&] { Access::PrepareQuantTable(j, 4); }).substr(0, 2), "9:");
}

// --- Sampling factors ------------------------------------------------------

struct SamplingCase {
  std::int32_t factors[6];
  bool accepted;
  std::int32_t nf;
  std::int32_t hmax;
  std::int32_t vmax;
};

TEST(SetSamplingFrequencies, ValidatesAndBuildsTheComponents) {
  const SamplingCase cases[] = {
      {{1, 1, 0, 0, 0, 0}, true, 1, 1, 1},  {{4, 3, 0, 0, 0, 0}, true, 1, 1, 1},  // grey: H1, V1 checked, not used
      {{2, 2, 1, 1, 1, 1}, true, 3, 2, 2},  {{4, 4, 1, 1, 1, 1}, true, 3, 4, 4},   {{1, 1, 2, 3, 1, 4}, true, 3, 2, 4},
      {{0, 1, 1, 1, 1, 1}, false, 0, 0, 0}, {{1, 5, 1, 1, 1, 1}, false, 0, 0, 0},  {{5, 1, 0, 0, 0, 0}, false, 0, 0, 0},
      {{2, 2, 0, 1, 1, 1}, false, 0, 0, 0},  // H2 = 0 checked once any of the last four is set
      {{2, 2, 1, 1, 1, 5}, false, 0, 0, 0}, {{2, 2, 1, -1, 1, 1}, false, 0, 0, 0}, {{2, 2, 0, 0, 0, 1}, false, 0, 0, 0},
  };
  for (const SamplingCase& c : cases) {
    cJpeg j;
    j.SetSamplingFrequencies(3, 1, 1, 2, 1, 1);
    const auto f = c.factors;
    const std::string error = ErrorOf([&] { j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]); });
    const std::string label = std::to_string(f[0]) + std::to_string(f[1]) + std::to_string(f[2]) +
                              std::to_string(f[3]) + std::to_string(f[4]) + std::to_string(f[5]);
    if (!c.accepted) {
      EXPECT_EQ(error, "1: Invalid Sampling Value") << label;
      // Nothing changed: the earlier 3x1, 1x2, 1x1 setting stands.
      EXPECT_EQ(Access::Nf(j), 3) << label;
      EXPECT_EQ(Access::Hmax(j), 3) << label;
      EXPECT_EQ(Access::Vmax(j), 2) << label;
      EXPECT_EQ(Access::Comp(j)[1].V, 2) << label;
      continue;
    }
    EXPECT_EQ(error, "no error") << label;
    EXPECT_EQ(Access::Nf(j), c.nf) << label;
    EXPECT_EQ(Access::Hmax(j), c.hmax) << label;
    EXPECT_EQ(Access::Vmax(j), c.vmax) << label;
    const auto& comp = Access::Comp(j);
    ASSERT_EQ(comp.size(), static_cast<std::size_t>(c.nf));
    if (c.nf == 1) {
      EXPECT_EQ(comp[0].H, 1);
      EXPECT_EQ(comp[0].V, 1);
      EXPECT_EQ(comp[0].Tq, 0);
      continue;
    }
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(comp[i].H, f[2 * i]) << label;
      EXPECT_EQ(comp[i].V, f[2 * i + 1]) << label;
      EXPECT_EQ(comp[i].Tq, i == 0 ? 0 : 1) << label;
      EXPECT_EQ(comp[i].C, 0) << label;
    }
  }
}

TEST(SetSamplingFrequencies, DiscardsTheLastCapture) {
  cJpeg j;
  ASSERT_EQ(j.SampleHDC(Surface(16, 16, Rgb{1, 2, 3}), 16, 16, 0, 0), 0);
  ASSERT_FALSE(Access::Comp(j)[0].Data.empty());
  j.SetSamplingFrequencies(1, 1, 1, 1, 1, 1);
  for (const auto& c : Access::Comp(j)) EXPECT_TRUE(c.Data.empty());
}

TEST(SetSamplingFrequencies, RejectedCallKeepsTheCapture) {
  cJpeg j;
  ASSERT_EQ(j.SampleHDC(Surface(16, 16, Rgb{1, 2, 3}), 16, 16, 0, 0), 0);
  const auto data = Access::Comp(j)[0].Data;
  EXPECT_THROW(j.SetSamplingFrequencies(2, 2, 1, 1, 1, 9), Error);
  EXPECT_EQ(Access::Comp(j)[0].Data, data);
}

// --- Comment ---------------------------------------------------------------

TEST(Comment, LimitIs65533Bytes) {
  cJpeg j;
  j.Comment(std::string(65533, 'x'));
  EXPECT_EQ(j.Comment().size(), 65533u);
  j.Comment("kept");
  EXPECT_EQ(ErrorOf([&] { j.Comment(std::string(65534, 'x')); }), "1: Illegal Comment Length");
  EXPECT_EQ(j.Comment(), "kept");
  j.Comment("");
  EXPECT_EQ(j.Comment(), "");
}

TEST(Comment, CountsBytesOfUtf8Text) {
  cJpeg j;
  std::string text;
  for (int i = 0; i < 32767; ++i) text += "\xC3\xA9";  // 65534 bytes, 32767 letters
  EXPECT_EQ(ErrorOf([&] { j.Comment(text); }), "1: Illegal Comment Length");
}

}  // namespace
}  // namespace quillet
