// Huffman table construction: categories, symbol counting in stored and MCU
// order, the optimal code with its tie rules and length limit, code
// derivation and its errors, and the table statistics of whole pictures.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <span>

#include "platform/error.h"
#include "test_access.h"
#include "test_support.h"

namespace quillet {
namespace {

using Access = cJpegTestAccess;
using test::ErrorOf;
using Counts = Access::Counts;
using Table = Access::Table;

std::vector<std::uint8_t> Bits(const Table& t) { return {t.BITS.begin(), t.BITS.end()}; }
std::vector<std::uint8_t> Values(const Table& t, std::size_t count) {
  return {t.HUFFVAL.begin(), t.HUFFVAL.begin() + static_cast<std::ptrdiff_t>(count)};
}
std::vector<std::uint8_t> BitsOf(std::initializer_list<int> lengths) {
  std::vector<std::uint8_t> bits(16, 0);
  std::size_t i = 0;
  for (int n : lengths) bits[i++] = static_cast<std::uint8_t>(n);
  return bits;
}

TEST(Category, IsTheNumberOfSignificantBits) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0, 0},     {1, 1},     {-1, 1},     {2, 2},     {3, 2},      {-3, 2},      {4, 3},
      {7, 3},     {8, 4},     {-8, 4},     {15, 4},    {16, 5},     {255, 8},     {256, 9},
      {1023, 10}, {1024, 11}, {-2047, 11}, {2048, 12}, {32767, 15}, {-32768, 16}, {65535, 16},
  };
  for (const auto& [value, category] : cases) EXPECT_EQ(Access::Category(value), category) << value;
}

// --- GenerateOptimalTable and DeriveHuffmanCodes ---------------------------

TEST(GenerateOptimalTable, OneSymbolGetsTheOneBitCodeZero) {
  Counts counts{};
  counts[0] = 7;
  Table table;
  Access::GenerateOptimalTable(table, counts);
  EXPECT_EQ(Bits(table), BitsOf({1}));
  EXPECT_EQ(table.HUFFVAL[0], 0);
  Access::DeriveHuffmanCodes(table, 11);
  EXPECT_EQ(table.CodeMask[0], 1);
  EXPECT_EQ(table.Code[0], 0);
  for (int s = 1; s < 256; ++s) {
    EXPECT_EQ(table.CodeMask[static_cast<std::size_t>(s)], 0);
    EXPECT_EQ(table.Code[static_cast<std::size_t>(s)], -1);
  }
}

// Counts 5, 3, 3: the reserved point (1) joins symbol 2, the larger of the
// two symbols of count 3; then symbol 1 joins that pair, then symbol 0.
// Sizes: 0 -> 1, 1 -> 2, 2 -> 3 (and the reserved point 3, removed).
TEST(GenerateOptimalTable, EqualCountsFavourTheLargerSymbol) {
  Counts counts{};
  counts[0] = 5;
  counts[1] = 3;
  counts[2] = 3;
  Table table;
  Access::GenerateOptimalTable(table, counts);
  EXPECT_EQ(Bits(table), BitsOf({1, 1, 1}));
  EXPECT_EQ(Values(table, 3), (std::vector<std::uint8_t>{0, 1, 2}));
  Access::DeriveHuffmanCodes(table, 11);
  EXPECT_EQ(table.Code[0], 0b0);
  EXPECT_EQ(table.Code[1], 0b10);
  EXPECT_EQ(table.Code[2], 0b110);
  EXPECT_EQ(table.CodeMask[0], 1);
  EXPECT_EQ(table.CodeMask[1], 2);
  EXPECT_EQ(table.CodeMask[2], 4);
}

TEST(GenerateOptimalTable, LeavesEveryCountAtZero) {
  Counts counts{};
  const std::int64_t values[] = {5, 3, 3, 0, 9, 1, 1, 40, 2};
  for (std::size_t s = 0; s < std::size(values); ++s) counts[s * 17] = values[s];
  Table table;
  Access::GenerateOptimalTable(table, counts);
  for (std::size_t s = 0; s < counts.size(); ++s) EXPECT_EQ(counts[s], 0) << s;
}

// Counts 2^17, 2^16, ..., 2, 1 make a chain: sizes 1..17 and 18 twice (the
// last symbol and the reserved point). Figure K.3 moves the codes longer
// than 16 bits up: 13 codes of lengths 1..13, two of 15, four of 16, less
// the reserved point. The symbols are listed by their size before the cut.
TEST(GenerateOptimalTable, LimitsCodesTo16BitsAndListsSymbolsBySizeBeforeTheCut) {
  Counts counts{};
  std::vector<std::uint8_t> order;
  for (int k = 0; k <= 17; ++k) {
    const int symbol = 200 - 11 * k;  // neither ascending nor descending in count order by value
    counts[static_cast<std::size_t>(symbol)] = std::int64_t{1} << (17 - k);
    order.push_back(static_cast<std::uint8_t>(symbol));
  }
  Table table;
  Access::GenerateOptimalTable(table, counts);
  EXPECT_EQ(Bits(table), BitsOf({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 2, 3}));
  EXPECT_EQ(Values(table, 18), order);
  Access::DeriveHuffmanCodes(table, 255);
  // The last code of 16 bits is 1111111111111110: never all 1-bits.
  EXPECT_EQ(table.CodeMask[order.back()], 1 << 15);
  EXPECT_EQ(table.Code[order.back()], 0xFFFE);
}

TEST(GenerateOptimalTable, EmptyCountsGiveAnEmptyTable) {
  Counts counts{};
  Table table;
  Access::GenerateOptimalTable(table, counts);
  EXPECT_EQ(Bits(table), BitsOf({}));
  EXPECT_EQ(ErrorOf([&] { Access::DeriveHuffmanCodes(table, 11); }), "1: Bad Huffman Table");
}

TEST(GenerateOptimalTable, CodesSatisfyKraftForManyDistributions) {
  for (unsigned seed = 1; seed <= 50; ++seed) {
    std::mt19937 random(seed);
    Counts counts{};
    const int symbols = 1 + static_cast<int>(random() % 256);
    for (int i = 0; i < symbols; ++i)
      counts[random() % 256] += 1 + (random() % 3 == 0 ? random() % 100000 : random() % 10);
    std::size_t used = 0;
    for (int s = 0; s < 256; ++s) used += counts[static_cast<std::size_t>(s)] > 0;
    Table table;
    Access::GenerateOptimalTable(table, counts);
    std::size_t total = 0;
    for (std::uint8_t b : table.BITS) total += b;
    EXPECT_EQ(total, used) << seed;
    EXPECT_EQ(ErrorOf([&] { Access::DeriveHuffmanCodes(table, 255); }), "no error") << seed;
  }
}

struct BadTable {
  const char* why;
  std::vector<std::uint8_t> bits;
  std::vector<std::uint8_t> values;
  std::int32_t largest;
};

TEST(DeriveHuffmanCodes, RefusesBadTables) {
  const BadTable cases[] = {
      {"two one-bit codes: the second is all 1-bits", BitsOf({2}), {0, 1}, 11},
      {"three two-bit codes plus one of one bit overflow", BitsOf({1, 2}), {0, 1, 2}, 11},
      {"a symbol above the largest legal one", BitsOf({0, 1}), {12}, 11},
      {"a symbol listed twice", BitsOf({0, 2}), {3, 3}, 11},
      {"no symbol at all", BitsOf({}), {}, 11},
      {"more than 256 symbols", BitsOf({0, 0, 0, 0, 0, 0, 0, 0, 255, 2}), {}, 255},
  };
  for (const BadTable& c : cases) {
    Table table;
    std::copy(c.bits.begin(), c.bits.end(), table.BITS.begin());
    for (std::size_t s = 0; s < 256; ++s) table.HUFFVAL[s] = static_cast<std::uint8_t>(s);  // distinct
    std::copy(c.values.begin(), c.values.end(), table.HUFFVAL.begin());
    EXPECT_EQ(ErrorOf([&] { Access::DeriveHuffmanCodes(table, c.largest); }), "1: Bad Huffman Table") << c.why;
  }
}

TEST(DeriveHuffmanCodes, CodesOfEachLengthFollowInOrder) {
  Table table;
  const auto bits = BitsOf({0, 2, 3});
  std::copy(bits.begin(), bits.end(), table.BITS.begin());
  const std::uint8_t values[] = {9, 4, 0, 7, 1};
  std::copy(std::begin(values), std::end(values), table.HUFFVAL.begin());
  Access::DeriveHuffmanCodes(table, 11);
  EXPECT_EQ(table.Code[9], 0b00);
  EXPECT_EQ(table.Code[4], 0b01);
  EXPECT_EQ(table.Code[0], 0b100);
  EXPECT_EQ(table.Code[7], 0b101);
  EXPECT_EQ(table.Code[1], 0b110);
  EXPECT_EQ(table.CodeMask[9], 2);
  EXPECT_EQ(table.CodeMask[1], 4);
}

// --- Counting ---------------------------------------------------------------

std::vector<std::int16_t> BlocksWithDc(std::initializer_list<std::int16_t> dcs) {
  std::vector<std::int16_t> data;
  for (std::int16_t dc : dcs) {
    data.push_back(dc);
    data.insert(data.end(), 63, 0);
  }
  return data;
}

TEST(CountDCSymbols, CategoriesOfDifferencesInStoredOrder) {
  cJpeg j;
  Counts counts{};
  Access::CountDCSymbols(j, BlocksWithDc({5, 5, -3, 0, 1024}), counts);
  // Differences 5, 0, -8, 3, 1024.
  std::map<int, std::int64_t> expected{{3, 1}, {0, 1}, {4, 1}, {2, 1}, {11, 1}};
  for (std::size_t s = 0; s < counts.size(); ++s)
    EXPECT_EQ(counts[s], expected.count(static_cast<int>(s)) ? expected[static_cast<int>(s)] : 0) << s;
}

struct AcCase {
  const char* why;
  std::vector<std::pair<int, std::int16_t>> coefficients;  // zigzag position, value
  std::map<int, std::int64_t> expected;
};

TEST(CountACSymbols, RunsZrlAndEob) {
  const AcCase cases[] = {
      {"all zero: EOB only", {}, {{0x00, 1}}},
      {"first AC of 3", {{1, 3}}, {{0x02, 1}, {0x00, 1}}},
      {"15 zeros then -1", {{16, -1}}, {{0xF1, 1}, {0x00, 1}}},
      {"16 zeros then 1", {{17, 1}}, {{0xF0, 1}, {0x01, 1}, {0x00, 1}}},
      {"32 zeros then 100", {{33, 100}}, {{0xF0, 2}, {0x07, 1}, {0x00, 1}}},
      {"last position set: no EOB", {{63, 1}}, {{0xF0, 3}, {0xE1, 1}}},
      {"trailing zeros need no ZRL", {{1, 1}, {2, 1}}, {{0x01, 2}, {0x00, 1}}},
  };
  cJpeg j;
  for (const AcCase& c : cases) {
    std::vector<std::int16_t> block(64, 0);
    block[0] = 77;  // the DC is not counted here
    for (const auto& [z, value] : c.coefficients) block[static_cast<std::size_t>(z)] = value;
    Counts counts{};
    Access::CountACSymbols(j, block, counts);
    for (std::size_t s = 0; s < counts.size(); ++s) {
      const auto found = c.expected.find(static_cast<int>(s));
      EXPECT_EQ(counts[s], found == c.expected.end() ? 0 : found->second) << c.why << ", symbol " << s;
    }
  }
}

// The MCU walk written with block coordinates: MCU rows, MCU columns, V rows
// of H blocks; a block outside the component's grid is a filler (DC
// difference 0, predictor unchanged).
Counts ReferenceInterleavedDc(std::span<const std::int16_t> data, int width, int height, int hmax, int vmax, int h,
                              int v) {
  const int mcuColumns = (width + 8 * hmax - 1) / (8 * hmax);
  const int mcuRows = (height + 8 * vmax - 1) / (8 * vmax);
  const int blocksWide = (static_cast<int>(std::ceil(static_cast<double>(h) * width / hmax)) + 7) / 8;
  const int blocksHigh = (static_cast<int>(std::ceil(static_cast<double>(v) * height / vmax)) + 7) / 8;
  Counts counts{};
  int predictor = 0;
  for (int mr = 0; mr < mcuRows; ++mr)
    for (int mc = 0; mc < mcuColumns; ++mc)
      for (int row = 0; row < v; ++row)
        for (int column = 0; column < h; ++column) {
          const int bx = mc * h + column;
          const int by = mr * v + row;
          if (bx >= blocksWide || by >= blocksHigh) {
            ++counts[0];
            continue;
          }
          const int dc = data[static_cast<std::size_t>((by * blocksWide + bx) * 64)];
          ++counts[static_cast<std::size_t>(Access::Category(dc - predictor))];
          predictor = dc;
        }
  return counts;
}

struct InterleavedCase {
  int width, height;
  std::int32_t factors[6];
  std::int64_t positions;  // luminance block positions the scan visits
  std::int64_t fillers;
};

TEST(CountDCSymbolsInterleaved, VisitsBlocksInMcuOrderWithFillerBlocks) {
  const InterleavedCase cases[] = {
      {100, 75, {2, 2, 1, 1, 1, 1}, 140, 10},  // 7 x 5 MCUs; 13 x 10 blocks
      {100, 50, {2, 2, 1, 1, 1, 1}, 112, 21},  // 7 x 4 MCUs; 13 x 7 blocks
      {129, 73, {2, 2, 1, 1, 1, 1}, 180, 10},  // 9 x 5 MCUs; 17 x 10 blocks
      {64, 48, {2, 2, 1, 1, 1, 1}, 48, 0},
      {40, 20, {3, 3, 1, 1, 1, 1}, 18, 3},  // 2 x 1 MCUs; 5 x 3 blocks
      {9, 9, {1, 1, 1, 1, 1, 1}, 4, 0},
      {17, 33, {1, 2, 2, 1, 1, 1}, 12, 2},  // Y 9 x 33: 2 x 5 blocks in 2 x 3 MCUs of 1 x 2
  };
  for (const InterleavedCase& c : cases) {
    cJpeg j;
    const auto f = c.factors;
    j.SetSamplingFrequencies(f[0], f[1], f[2], f[3], f[4], f[5]);
    j.SampleHDC(test::SlidePicture(c.width, c.height), c.width, c.height, 0, 0);
    auto& luminance = Access::Comp(j)[0];
    // Distinct DCs, so that only filler blocks give category 0.
    for (std::size_t n = 0; n * 64 < luminance.Data.size(); ++n)
      luminance.Data[n * 64] = static_cast<std::int16_t>(n + 1);
    Counts counts{};
    Access::CountDCSymbolsInterleaved(j, luminance.Data, counts, luminance.H, luminance.V);
    std::int64_t total = 0;
    for (std::int64_t n : counts) total += n;
    EXPECT_EQ(total, c.positions) << c.width << "x" << c.height;
    EXPECT_EQ(counts[0], c.fillers) << c.width << "x" << c.height;
    EXPECT_EQ(counts, ReferenceInterleavedDc(luminance.Data, c.width, c.height, Access::Hmax(j), Access::Vmax(j),
                                             luminance.H, luminance.V))
        << c.width << "x" << c.height;
  }
}

// --- BuildTables --------------------------------------------------------------

TEST(BuildTables, GreyFrameUsesTable0Only) {
  cJpeg j;
  j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
  j.SampleHDC(test::SlidePicture(40, 24), 40, 24, 0, 0);
  Access::BuildTables(j, {{0, 0, 0}}, 0, 0);
  EXPECT_GT(Bits(Access::HuffDC(j)[0]), BitsOf({}));
  EXPECT_GT(Bits(Access::HuffAC(j)[0]), BitsOf({}));
  for (std::size_t k = 1; k < 4; ++k) {
    EXPECT_EQ(Bits(Access::HuffDC(j)[k]), BitsOf({}));
    EXPECT_EQ(Bits(Access::HuffAC(j)[k]), BitsOf({}));
  }
}

// The estimate is the sum over the counted symbols of count x (code length
// + extra bits), in bytes rounded up.
std::int64_t EstimatedBits(const Table& dcTable, const Counts& dcCounts, const Table& acTable, const Counts& acCounts) {
  auto length = [](const Table& t, std::size_t s) { return std::bit_width(static_cast<unsigned>(t.CodeMask[s])); };
  std::int64_t bits = 0;
  for (std::size_t s = 0; s < 16; ++s) bits += dcCounts[s] * (length(dcTable, s) + static_cast<int>(s));
  for (std::size_t s = 0; s < 256; ++s) bits += acCounts[s] * (length(acTable, s) + static_cast<int>(s % 16));
  return bits;
}

TEST(BuildTables, EstimatesTheEntropyCodedSize) {
  cJpeg j;
  j.SetSamplingFrequencies(1, 1, 0, 0, 0, 0);
  j.SampleHDC(test::SlidePicture(61, 45), 61, 45, 0, 0);
  const auto& data = Access::Comp(j)[0].Data;
  Counts dc{}, ac{};
  Access::CountDCSymbols(j, data, dc);
  Access::CountACSymbols(j, data, ac);
  const std::int32_t estimate = Access::BuildTables(j, {{0, 0, 0}}, 0, 0);
  EXPECT_EQ(estimate, (EstimatedBits(Access::HuffDC(j)[0], dc, Access::HuffAC(j)[0], ac) + 7) / 8);
}

// Luminance blocks whose 63 AC coefficients are all set never end in an
// end-of-block; the filler blocks of a 100 x 75 picture (10 of them) still
// need one, so the table gets an EOB counted once per filler block.
TEST(BuildTables, FillerBlocksGetAnEobCodeWhenNoRealBlockHasOne) {
  cJpeg j;
  j.SampleHDC(test::SlidePicture(100, 75), 100, 75, 0, 0);
  auto& comp = Access::Comp(j);
  for (std::size_t k = 0; k < comp[0].Data.size(); ++k)
    comp[0].Data[k] = static_cast<std::int16_t>(k % 64 == 0 ? 3 : 1);
  const std::vector<Access::Entry> entries{{0, 0, 0}, {1, 1, 1}, {2, 1, 1}};
  const std::int32_t estimate = Access::BuildTables(j, entries, 0, 2);
  EXPECT_GT(Access::HuffAC(j)[0].CodeMask[0x00], 0);
  EXPECT_GT(Access::HuffAC(j)[0].CodeMask[0x01], 0);

  // The same picture written whole decodes without complaint.
  test::ScratchFolder folder("filler-eob");
  ASSERT_EQ(j.SaveFile((folder.Path() / "f.jpg").string()), 0);
  const test::Decoded decoded = test::DecodeLuminance(test::ReadFile(folder.Path() / "f.jpg"));
  EXPECT_TRUE(decoded.ok) << decoded.message;
  EXPECT_EQ(decoded.warnings, 0);
  EXPECT_GT(estimate, 0);
}

// When real blocks end in zeros, the counts stay as they are: the filler
// blocks' end-of-block codes are not counted (the estimate would grow by
// ten end-of-block codes if they were).
TEST(BuildTables, FillerBlocksAddNoCountsWhenTheTableHasAnEob) {
  cJpeg j;
  j.SampleHDC(test::SlidePicture(100, 75), 100, 75, 0, 0);
  const auto& comp = Access::Comp(j);
  Counts dc0{}, ac0{}, dc1{}, ac1{};
  Access::CountDCSymbolsInterleaved(j, comp[0].Data, dc0, 2, 2);
  Access::CountACSymbols(j, comp[0].Data, ac0);
  ASSERT_GT(ac0[0x00], 0);
  for (std::size_t i = 1; i < 3; ++i) {
    Access::CountDCSymbolsInterleaved(j, comp[i].Data, dc1, 1, 1);
    Access::CountACSymbols(j, comp[i].Data, ac1);
  }
  const std::vector<Access::Entry> entries{{0, 0, 0}, {1, 1, 1}, {2, 1, 1}};
  const std::int32_t estimate = Access::BuildTables(j, entries, 0, 2);
  const std::int64_t bits = EstimatedBits(Access::HuffDC(j)[0], dc0, Access::HuffAC(j)[0], ac0) +
                            EstimatedBits(Access::HuffDC(j)[1], dc1, Access::HuffAC(j)[1], ac1);
  EXPECT_EQ(estimate, (bits + 7) / 8);
}

TEST(BuildTables, NeverCapturedIsASubscriptError) {
  cJpeg j;
  test::ScratchFolder folder("never-captured");
  const std::string message = ErrorOf([&] { j.SaveFile((folder.Path() / "x.jpg").string()); });
  EXPECT_EQ(message.substr(0, 2), "9:");
  EXPECT_TRUE(test::AllNames(folder.Path()).empty());
}

}  // namespace
}  // namespace quillet
