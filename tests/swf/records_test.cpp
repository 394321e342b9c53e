// Bit-packed records of the SWF file format against golden bytes: minimal
// bit counts, RECT, MATRIX, CXFORM / CXFORMWITHALPHA, and fields too wide
// for their count fields.
#include <gtest/gtest.h>

#include <limits>

#include "platform/error.h"
#include "swf/bit_writer.h"
#include "swf/records.h"
#include "test_support.h"

namespace swf {
namespace {

using swf_test::Hex;

struct BitCountCase {
  std::int32_t value;
  int unsignedBits;  // -1 when the value is negative
  int signedBits;
};

TEST(BitCounts, MinimalCountsForUnsignedAndSignedFields) {
  const BitCountCase cases[] = {
      {0, 0, 0},
      {1, 1, 2},
      {2, 2, 3},
      {255, 8, 9},
      {256, 9, 10},
      {1000, 10, 11},
      {2000, 11, 12},
      {4000, 12, 13},
      {-1, -1, 1},
      {-2, -1, 2},
      {-128, -1, 8},
      {-129, -1, 9},
      {-1000, -1, 11},
      {65535, 16, 17},
      {-65536, -1, 17},
      {std::numeric_limits<std::int32_t>::max(), 31, 32},
      {std::numeric_limits<std::int32_t>::min(), -1, 32},
  };
  for (const BitCountCase& entry : cases) {
    if (entry.unsignedBits >= 0) {
      EXPECT_EQ(UnsignedBitCount(static_cast<std::uint32_t>(entry.value)), entry.unsignedBits) << entry.value;
    }
    EXPECT_EQ(SignedBitCount(entry.value), entry.signedBits) << entry.value;
  }
}

TEST(BitWriter, PacksFromTheTopBitAndPadsBeforeByteFields) {
  BitWriter writer;
  writer.WriteUnsignedBits(0b101, 3);
  writer.WriteSignedBits(-1, 2);
  writer.WriteUI16(0x1234);  // pads 101 11 000 first
  writer.WriteUnsignedBits(1, 1);
  EXPECT_EQ(Hex(writer.Bytes()), "B8 34 12 80");
}

struct RectCase {
  Rect rect;
  const char* golden;
};

TEST(RectRecord, GoldenBytes) {
  const RectCase cases[] = {
      {{0, 0, 0, 0}, "00"},
      {{0, 12800, 0, 9600}, "78 00 06 40 00 00 12 C0 00"},   // 640 x 480 pixels
      {{0, 16000, 0, 12000}, "78 00 07 D0 00 00 17 70 00"},  // 800 x 600
      {{0, 4000, 0, 4000}, "68 00 1F 40 00 07 D0 00"},       // 200 x 200
      {{-1000, 1000, -1000, 1000}, "5C 18 7D 10 61 F4 00"},
      {{0, 333, 72, 362}, "50 00 A6 89 0B 50"},
  };
  for (const RectCase& entry : cases) {
    BitWriter writer;
    WriteRect(writer, entry.rect);
    EXPECT_EQ(Hex(writer.Bytes()), entry.golden) << entry.rect.xMax << " x " << entry.rect.yMax;
  }
}

TEST(RectRecord, ValueWiderThanThirtyOneBitsIsRefused) {
  BitWriter writer;
  try {
    WriteRect(writer, Rect{0, std::numeric_limits<std::int32_t>::max(), 0, 1});
    FAIL() << "no error";
  } catch (const quillet::Error& error) {
    EXPECT_STREQ(error.what(), "a value of an SWF RECT needs 32 bits but the field holds at most 31");
  }
}

struct MatrixCase {
  Matrix matrix;
  const char* golden;
};

Matrix Scaled(std::int32_t scale, std::int32_t x, std::int32_t y) {
  Matrix matrix = Matrix::Translation(x, y);
  matrix.scaleX = scale;
  matrix.scaleY = scale;
  return matrix;
}

TEST(MatrixRecord, GoldenBytes) {
  Matrix rotated;
  rotated.rotateSkew0 = 65536;
  rotated.rotateSkew1 = -65536;
  const MatrixCase cases[] = {
      {Matrix{}, "00"},
      {Matrix::Translation(2000, 2000), "18 FA 0F A0"},
      {Matrix::Translation(-40, 0), "0F 60 00"},
      {Matrix::Translation(5700, 4900), "1C B2 22 64 80"},
      {Scaled(20 * 65536, 0, 0), "D9 40 00 05 00 00 00"},
      {Scaled(20 * 65536, 2000, 1000), "D9 40 00 05 00 00 0C 7D 03 E8"},
      // HasScale 0, HasRotate 1, 18 bits: 65536 and -65536, then no translation.
      {rotated, "64 80 00 60 00 00"},
  };
  for (const MatrixCase& entry : cases) {
    BitWriter writer;
    WriteMatrix(writer, entry.matrix);
    EXPECT_EQ(Hex(writer.Bytes()), entry.golden) << entry.golden;
  }
}

struct ColorTransformCase {
  ColorTransform transform;
  ColorTransformKind kind;
  const char* golden;
};

TEST(ColorTransformRecord, GoldenBytesWithAddFlagFirstAndMultiplyTermsFirst) {
  using Terms = std::array<std::int16_t, 4>;
  const ColorTransformCase cases[] = {
      {ColorTransform{}, ColorTransformKind::kWithAlpha, "00"},
      {ColorTransform{}, ColorTransformKind::kWithoutAlpha, "00"},
      {ColorTransform{std::nullopt, Terms{32, 32, 32, 0}}, ColorTransformKind::kWithAlpha, "9D 02 04 00 00"},
      {ColorTransform{std::nullopt, Terms{32, 32, 32, 0}}, ColorTransformKind::kWithoutAlpha, "9D 02 04 00"},
      {ColorTransform{Terms{256, 256, 256, 128}, std::nullopt}, ColorTransformKind::kWithAlpha, "69 00 40 10 02 00"},
      // The arrows' over and down states.
      {ColorTransform{std::nullopt, Terms{128, 0, 0, 0}}, ColorTransformKind::kWithAlpha, "A5 00 00 00 00 00"},
      {ColorTransform{std::nullopt, Terms{128, -128, 0, 0}}, ColorTransformKind::kWithAlpha, "A5 01 80 00 00 00"},
  };
  for (const ColorTransformCase& entry : cases) {
    BitWriter writer;
    WriteColorTransform(writer, entry.transform, entry.kind);
    EXPECT_EQ(Hex(writer.Bytes()), entry.golden) << entry.golden;
  }
}

TEST(ColorTransformRecord, TermWiderThanFifteenBitsIsRefused) {
  BitWriter writer;
  const ColorTransform transform{std::nullopt, std::array<std::int16_t, 4>{-32768, 0, 0, 0}};
  EXPECT_THROW(WriteColorTransform(writer, transform, ColorTransformKind::kWithAlpha), quillet::Error);
}

}  // namespace
}  // namespace swf
