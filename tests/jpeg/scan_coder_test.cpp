// The scan coder: bit packing with stuffing and the 1-bit flush, block
// coding (DC difference, runs, ZRL, EOB), missing codes, the grouping of
// components into scans, and the MCU order with filler blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>

#include "platform/error.h"
#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;
using test::ErrorOf;
using Bytes = std::vector<std::uint8_t>;

// --- PutBits and the flush -------------------------------------------------

struct BitCase {
  const char* why;
  std::vector<std::pair<std::int32_t, std::int32_t>> puts;  // mask, value
  Bytes expected;
};

TEST(PutBits, PacksMostSignificantFirstStuffsAndFlushesWithOnes) {
  const BitCase cases[] = {
      {"101 pending flushes to 0xBF", {{4, 0b101}}, {0xBF}},
      {"nothing pending writes nothing", {}, {}},
      {"a mask of 0 writes nothing", {{0, 0x55}}, {}},
      {"eight 1-bits are stuffed", {{128, 0xFF}}, {0xFF, 0x00}},
      {"a flush that makes 0xFF is stuffed too", {{8, 0xF}}, {0xFF, 0x00}},
      {"sixteen bits", {{1 << 15, 0xABCD}}, {0xAB, 0xCD}},
      {"only the masked bits of the value", {{2, 0b1110}}, {0xBF}},
      {"-1 gives 1-bits", {{4, -1}, {1, 0}}, {0xEF}},
      {"across bytes", {{1 << 5, 0b101010}, {1 << 4, 0b11001}}, {0xAB, 0x3F}},
      {"stuffing in the middle", {{1 << 3, 0xF}, {1 << 7, 0xF0}, {1 << 3, 0}}, {0xFF, 0x00, 0x00}},
  };
  for (const BitCase& c : cases) {
    cJpeg j;
    Access::StartOutput(j);
    for (const auto& [mask, value] : c.puts) Access::PutBits(j, mask, value);
    Access::BitWriterFlush(j);
    EXPECT_EQ(Access::Output(j), c.expected) << c.why;
    EXPECT_EQ(Access::PendingBits(j), 0) << c.why;
  }
}

// --- EncodeBlock -------------------------------------------------------------

// Tables whose codes are 8 bits long and equal to the symbol: DC symbols
// 0..11, AC symbols 0..254 (255 would be all 1-bits).
void InstallIdentityTables(cJpeg& j, std::size_t number) {
  auto& dc = Access::HuffDC(j)[number];
  dc = {};
  dc.BITS[7] = 12;
  std::iota(dc.HUFFVAL.begin(), dc.HUFFVAL.begin() + 12, 0);
  Access::DeriveHuffmanCodes(dc, 11);
  auto& ac = Access::HuffAC(j)[number];
  ac = {};
  ac.BITS[7] = 255;
  std::iota(ac.HUFFVAL.begin(), ac.HUFFVAL.begin() + 255, 0);
  Access::DeriveHuffmanCodes(ac, 255);
}

struct BlockCase {
  const char* why;
  std::int32_t predictor;
  std::int16_t dc;
  std::vector<std::pair<int, std::int16_t>> coefficients;  // zigzag position, value
  test::BitString expected;
};

TEST(EncodeBlock, CodesDcDifferenceRunsZrlAndEob) {
  using test::BitString;
  const BlockCase cases[] = {
      {"DC only: symbol, extra bits, EOB", 0, 5, {}, BitString().Add(3, 8).Add(0b101, 3).Add(0x00, 8)},
      {"DC difference 0 has no extra bits", 9, 9, {}, BitString().Add(0, 8).Add(0x00, 8)},
      {"+3 and -3 are category 2 with extra bits 11 and 00; -1 has extra bit 0",
       0,
       -3,
       {{1, 3}, {2, -1}},
       BitString().Add(2, 8).Add(0b00, 2).Add(0x02, 8).Add(0b11, 2).Add(0x01, 8).Add(0, 1).Add(0x00, 8)},
      {"15 zeros before a coefficient: symbol 0xF1",
       0,
       0,
       {{16, 1}},
       BitString().Add(0, 8).Add(0xF1, 8).Add(1, 1).Add(0x00, 8)},
      {"16 zeros: ZRL, then the coefficient",
       0,
       0,
       {{17, -2}},
       BitString().Add(0, 8).Add(0xF0, 8).Add(0x02, 8).Add(0b01, 2).Add(0x00, 8)},
      {"32 zeros: two ZRLs",
       0,
       0,
       {{33, 1}},
       BitString().Add(0, 8).Add(0xF0, 8).Add(0xF0, 8).Add(0x01, 8).Add(1, 1).Add(0x00, 8)},
      {"a coefficient at position 63 ends the block without EOB",
       0,
       0,
       {{63, 2}},
       BitString().Add(0, 8).Add(0xF0, 8).Add(0xF0, 8).Add(0xF0, 8).Add(0xE2, 8).Add(0b10, 2)},
      {"zeros up to the end give EOB only, no ZRL",
       0,
       0,
       {{1, 1}},
       BitString().Add(0, 8).Add(0x01, 8).Add(1, 1).Add(0x00, 8)},
      {"difference against the predictor", 10, 7, {}, BitString().Add(2, 8).Add(0b00, 2).Add(0x00, 8)},
      {"large difference: category 11", -1024, 1023, {}, BitString().Add(11, 8).Add(2047, 11).Add(0x00, 8)},
  };
  for (const BlockCase& c : cases) {
    cJpeg j;
    InstallIdentityTables(j, 1);
    std::vector<std::int16_t> data(128, 0);
    data[64] = c.dc;
    for (const auto& [z, value] : c.coefficients) data[static_cast<std::size_t>(64 + z)] = value;
    Access::StartOutput(j);
    std::int32_t s = 64;
    std::int32_t predictor = c.predictor;
    Access::EncodeBlock(j, data, s, predictor, 1, 1);
    Access::BitWriterFlush(j);
    EXPECT_EQ(Access::Output(j), c.expected.Bytes()) << c.why;
    EXPECT_EQ(s, 128) << c.why;
    EXPECT_EQ(predictor, c.dc) << c.why;
  }
}

TEST(EncodeBlock, SymbolWithoutCodeIsAnError) {
  cJpeg j;
  InstallIdentityTables(j, 0);
  // An AC table holding only symbol 0x01: a block ending in zeros needs EOB.
  auto& ac = Access::HuffAC(j)[0];
  ac = {};
  ac.BITS[0] = 1;
  ac.HUFFVAL[0] = 0x01;
  Access::DeriveHuffmanCodes(ac, 255);
  std::vector<std::int16_t> data(64, 0);
  Access::StartOutput(j);
  std::int32_t s = 0;
  std::int32_t predictor = 0;
  EXPECT_EQ(ErrorOf([&] { Access::EncodeBlock(j, data, s, predictor, 0, 0); }), "1: Bad Huffman Table");

  // A DC category the DC table lacks.
  InstallIdentityTables(j, 0);
  auto& dc = Access::HuffDC(j)[0];
  dc = {};
  dc.BITS[0] = 1;
  dc.HUFFVAL[0] = 0;
  Access::DeriveHuffmanCodes(dc, 11);
  data[0] = 4;
  s = 0;
  EXPECT_EQ(ErrorOf([&] { Access::EncodeBlock(j, data, s, predictor, 0, 0); }), "1: Bad Huffman Table");
}

TEST(EncodeBlock, TableNumberOutOfRangeIsASubscriptError) {
  cJpeg j;
  std::vector<std::int16_t> data(64, 0);
  Access::StartOutput(j);
  std::int32_t s = 0;
  std::int32_t predictor = 0;
  EXPECT_EQ(ErrorOf([&] { Access::EncodeBlock(j, data, s, predictor, 4, 0); }).substr(0, 2), "9:");
}

// --- Grouping ------------------------------------------------------------------

struct GroupCase {
  std::int32_t factors[6];
  std::vector<std::pair<std::int32_t, std::int32_t>> groups;
};

TEST(GroupScans, AtMostThreeComponentsAndTenBlocksPerMcu) {
  const GroupCase cases[] = {
      {{2, 2, 1, 1, 1, 1}, {{0, 2}}},
      {{1, 1, 1, 1, 1, 1}, {{0, 2}}},
      {{1, 1, 0, 0, 0, 0}, {{0, 0}}},
      {{4, 4, 1, 1, 1, 1}, {{0, 0}, {1, 2}}},  // 16 alone, then 1 + 1
      {{3, 3, 1, 1, 1, 1}, {{0, 1}, {2, 2}}},  // 9 + 1 = 10, then Cr
      {{2, 2, 2, 2, 2, 2}, {{0, 1}, {2, 2}}},  // 4 + 4, then 12 would exceed
      {{1, 1, 4, 4, 1, 1}, {{0, 0}, {1, 1}, {2, 2}}},
      {{4, 2, 1, 1, 1, 1}, {{0, 2}}},          // 8 + 1 + 1 = 10
      {{4, 3, 1, 1, 1, 1}, {{0, 0}, {1, 2}}},  // 12 alone
      {{2, 4, 2, 1, 1, 1}, {{0, 1}, {2, 2}}},  // 8 + 2 = 10, then 11 would exceed
      {{3, 3, 2, 1, 1, 1}, {{0, 0}, {1, 2}}},  // 9 + 2 = 11: Y alone
  };
  for (const GroupCase& c : cases) {
    cJpeg j;
    const auto f = c.factors;
    j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    std::vector<Access::Entry> entries;
    for (std::int32_t i = 0; i < Access::Nf(j); ++i) entries.push_back({i, i == 0 ? 0 : 1, i == 0 ? 0 : 1});
    std::vector<std::pair<std::int32_t, std::int32_t>> groups;
    for (const auto& g : Access::GroupScans(j, entries, 0, Access::Nf(j) - 1)) groups.emplace_back(g.first, g.last);
    EXPECT_EQ(groups, c.groups) << f[0] << f[1] << f[2] << f[3] << f[4] << f[5];
  }
}

// --- Whole scans ---------------------------------------------------------------

struct ScanCase {
  int width, height;
  std::int32_t factors[6];
};

// The expected scans, written from the block grid: for an interleaved scan,
// MCU rows, MCU columns, components in order, V rows of H blocks, a block
// outside the component's grid coded as difference 0 and EOB.
Bytes ExpectedScans(cJpeg& j) {
  const auto& comp = Access::Comp(j);
  std::vector<Access::Entry> entries;
  for (std::size_t i = 0; i < comp.size(); ++i) {
    const std::int32_t table = i == 0 ? 0 : 1;
    entries.push_back({static_cast<std::int32_t>(i), table, table});
  }
  const auto groups = Access::GroupScans(j, entries, 0, static_cast<std::int32_t>(comp.size()) - 1);
  const int hmax = Access::Hmax(j), vmax = Access::Vmax(j), width = Access::X(j), height = Access::Y(j);

  auto codeBlock = [](test::BitString& bits, int difference) {
    const int category = Access::Category(difference);
    bits.Add(static_cast<std::uint32_t>(category), 8);
    if (category > 0) bits.Add(static_cast<std::uint32_t>(difference >= 0 ? difference : difference - 1), category);
    bits.Add(0x00, 8);  // EOB: the test blocks have no AC coefficients
  };

  Bytes out;
  for (const auto& group : groups) {
    const int ns = group.last - group.first + 1;
    const Bytes header{0xFF, 0xDA, 0, static_cast<std::uint8_t>(6 + 2 * ns), static_cast<std::uint8_t>(ns)};
    out.insert(out.end(), header.begin(), header.end());
    for (int e = group.first; e <= group.last; ++e) {
      out.push_back(static_cast<std::uint8_t>(comp[static_cast<std::size_t>(e)].C));
      out.push_back(e == 0 ? 0x00 : 0x11);
    }
    out.insert(out.end(), {0, 63, 0});

    test::BitString bits;
    if (ns == 1) {
      int predictor = 0;
      const auto& data = comp[static_cast<std::size_t>(group.first)].Data;
      for (std::size_t n = 0; n < data.size(); n += 64) {
        codeBlock(bits, data[n] - predictor);
        predictor = data[n];
      }
    } else {
      std::vector<int> predictors(static_cast<std::size_t>(ns), 0);
      const int mcuColumns = (width + 8 * hmax - 1) / (8 * hmax);
      const int mcuRows = (height + 8 * vmax - 1) / (8 * vmax);
      for (int mr = 0; mr < mcuRows; ++mr)
        for (int mc = 0; mc < mcuColumns; ++mc)
          for (int e = group.first; e <= group.last; ++e) {
            const auto& c = comp[static_cast<std::size_t>(e)];
            const int blocksWide = (static_cast<int>(std::ceil(static_cast<double>(c.H) * width / hmax)) + 7) / 8;
            const int blocksHigh = (static_cast<int>(std::ceil(static_cast<double>(c.V) * height / vmax)) + 7) / 8;
            int& predictor = predictors[static_cast<std::size_t>(e - group.first)];
            for (int row = 0; row < c.V; ++row)
              for (int column = 0; column < c.H; ++column) {
                const int bx = mc * c.H + column, by = mr * c.V + row;
                if (bx >= blocksWide || by >= blocksHigh) {
                  codeBlock(bits, 0);
                  continue;
                }
                const int dc = c.Data[static_cast<std::size_t>((by * blocksWide + bx) * 64)];
                codeBlock(bits, dc - predictor);
                predictor = dc;
              }
          }
    }
    const Bytes entropy = bits.Bytes();
    out.insert(out.end(), entropy.begin(), entropy.end());
  }
  return out;
}

TEST(EncodeScans, McuOrderFillerBlocksAndScanSplits) {
  const ScanCase cases[] = {
      {100, 75, {2, 2, 1, 1, 1, 1}},  // last MCU column: one real, one filler block per row
      {100, 50, {2, 2, 1, 1, 1, 1}},  // and the last MCU row's second block row is all filler
      {129, 73, {2, 2, 1, 1, 1, 1}}, {64, 32, {2, 2, 1, 1, 1, 1}},  // no filler blocks
      {37, 21, {1, 1, 1, 1, 1, 1}},                                 // one block of each per MCU, never filler
      {37, 21, {1, 1, 0, 0, 0, 0}},                                 // one component: one scan, stored order
      {70, 45, {4, 4, 1, 1, 1, 1}},                                 // Y alone, then Cb and Cr
      {70, 45, {3, 3, 1, 1, 1, 1}},                                 // Y and Cb, then Cr alone
      {45, 70, {1, 2, 2, 1, 1, 1}},  {9, 9, {4, 2, 2, 4, 1, 1}},
  };
  for (const ScanCase& c : cases) {
    cJpeg j;
    const auto f = c.factors;
    j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    j.SampleHDC(test::SlidePicture(c.width, c.height), c.width, c.height, 0, 0);
    auto& comp = Access::Comp(j);
    for (std::size_t i = 0; i < comp.size(); ++i)
      for (std::size_t k = 0; k < comp[i].Data.size(); ++k)
        comp[i].Data[k] = k % 64 == 0 ? static_cast<std::int16_t>((k / 64 * 7 + i * 5) % 41 - 20) : 0;
    InstallIdentityTables(j, 0);
    InstallIdentityTables(j, 1);
    std::vector<Access::Entry> entries;
    for (std::int32_t i = 0; i < Access::Nf(j); ++i) entries.push_back({i, i == 0 ? 0 : 1, i == 0 ? 0 : 1});
    Access::StartOutput(j, 1 << 16);
    Access::EncodeScans(j, entries, 0, Access::Nf(j) - 1);
    EXPECT_EQ(Access::Output(j), ExpectedScans(j)) << c.width << "x" << c.height << " " << f[0] << f[1];
  }
}

}  // namespace
}  // namespace quillet
