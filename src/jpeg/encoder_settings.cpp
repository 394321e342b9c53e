// The encoder object and its settings: the constant tables (the zigzag
// sequence of ITU-T T.81 Figure A.6, the example quantisation tables of
// Annex K.1, the AAN scale factors), the quality rule that scales the example
// tables, the sampling factors and the comment. Every setting is validated
// before anything changes, so a rejected call leaves the object as it was.
#include <algorithm>
#include <cmath>

#include "jpeg/cjpeg.h"
#include "platform/error.h"

namespace quillet {

namespace {

// T.81 Table K.1 and Table K.2, in natural (row by row) order.
constexpr std::int16_t kLuminanceNatural[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,   //
    12, 12, 14, 19, 26,  58,  60,  55,   //
    14, 13, 16, 24, 40,  57,  69,  56,   //
    14, 17, 22, 29, 51,  87,  80,  62,   //
    18, 22, 37, 56, 68,  109, 103, 77,   //
    24, 35, 55, 64, 81,  104, 113, 92,   //
    49, 64, 78, 87, 103, 121, 120, 101,  //
    72, 92, 95, 98, 112, 100, 103, 99,
};

constexpr std::int16_t kChrominanceNatural[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,  //
    18, 21, 26, 66, 99, 99, 99, 99,  //
    24, 26, 56, 99, 99, 99, 99, 99,  //
    47, 66, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,  //
    99, 99, 99, 99, 99, 99, 99, 99,
};

// 1/(2*sqrt 2) and 1/(4*cos(k*pi/16)), k = 1..7, exactly as stored.
constexpr double kAanScale[8] = {
    0.353553390593273, 0.25489778955208,  0.270598050073098, 0.300672443467523,
    0.353553390593273, 0.449988111568207, 0.653281482438186, 1.28145772387074,
};

constexpr std::int32_t kLargestComment = 65533;
constexpr std::int32_t kLowestQuality = 1;
constexpr std::int32_t kHighestQuality = 100;
constexpr std::int32_t kDefaultQuality = 75;

bool ValidFactor(std::int32_t factor) { return factor >= 1 && factor <= 4; }

void CheckFactor(std::int32_t factor) {
  if (!ValidFactor(factor)) throw Error(kGeneral, "Invalid Sampling Value");
}

}  // namespace

cJpeg::cJpeg() {
  // Walk the zigzag path (T.81 Figure A.6): runs up-right and down-left,
  // turning at the edges of the square.
  std::int32_t row = 0;
  std::int32_t column = 0;
  bool upRight = true;
  for (std::int32_t position = 0; position < kBlockSize; ++position) {
    m_ZigZag[row][column] = position;
    if (upRight) {
      if (row - 1 >= 0 && column + 1 <= 7) {
        --row;
        ++column;
      } else {
        if (column + 1 <= 7) {
          ++column;
        } else {
          ++row;
        }
        upRight = false;
      }
    } else {
      if (row + 1 <= 7 && column - 1 >= 0) {
        ++row;
        --column;
      } else {
        if (row + 1 <= 7) {
          ++row;
        } else {
          ++column;
        }
        upRight = true;
      }
    }
  }

  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      m_StdLum[m_ZigZag[r][c]] = kLuminanceNatural[r * 8 + c];
      m_StdChr[m_ZigZag[r][c]] = kChrominanceNatural[r * 8 + c];
    }
  for (int k = 0; k < 8; ++k) m_AanScale[k] = kAanScale[k];

  SetSamplingFrequencies(2, 2, 1, 1, 1, 1);
  Quality(kDefaultQuality);
}

void cJpeg::Quality(std::int32_t vData) {
  if (vData < kLowestQuality || vData > kHighestQuality) return;
  m_Quality = vData;

  // The scale factor of the example tables, in percent.
  const std::int32_t scale = vData >= 50 ? 200 - 2 * vData : static_cast<std::int32_t>(std::nearbyint(5000.0 / vData));

  auto scaled = [scale](std::int16_t base) {
    const std::int32_t numerator = base * scale + 50;
    const double t = std::nearbyint(static_cast<double>(numerator) / 100.0);
    if (t < 1) return std::int16_t{1};
    if (t > 255) return std::int16_t{255};
    return static_cast<std::int16_t>(t);
  };
  for (int z = 0; z < kBlockSize; ++z) {
    m_QTable[0].Qk[z] = scaled(m_StdLum[z]);
    m_QTable[1].Qk[z] = scaled(m_StdChr[z]);
  }
  PrepareQuantTable(0);
  PrepareQuantTable(1);
}

std::int32_t cJpeg::Quality() const { return m_Quality; }

// B.2.4.1: the table as written is Qk; the divisor folds the AAN output scale
// of (r, c) into the step: AanScale(r) * AanScale(c) / Qk.
void cJpeg::PrepareQuantTable(std::int32_t k) {
  if (k < 0 || k >= kTableCount) throw Error(kSubscriptOutOfRange, "Subscript out of range");
  QuantTable& table = m_QTable[static_cast<std::size_t>(k)];
  for (int z = 0; z < kBlockSize; ++z)
    if (table.Qk[z] < 1 || table.Qk[z] > 255) throw Error(kGeneral, "Bad Quantization Table");
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) {
      const std::int32_t z = m_ZigZag[r][c];
      table.Divisor[z] = static_cast<float>(m_AanScale[r] * m_AanScale[c] / table.Qk[z]);
    }
}

void cJpeg::SetSamplingFrequencies(std::int32_t H1, std::int32_t V1, std::int32_t H2, std::int32_t V2, std::int32_t H3,
                                   std::int32_t V3) {
  CheckFactor(H1);
  CheckFactor(V1);
  const bool grey = H2 == 0 && V2 == 0 && H3 == 0 && V3 == 0;
  if (!grey) {
    CheckFactor(H2);
    CheckFactor(H3);
    CheckFactor(V2);
    CheckFactor(V3);
  }

  std::vector<ComponentRecord> components;
  if (grey) {
    components.push_back({0, 1, 1, 0, {}});
  } else {
    components.push_back({0, H1, V1, 0, {}});
    components.push_back({0, H2, V2, 1, {}});
    components.push_back({0, H3, V3, 1, {}});
  }
  m_Comp = std::move(components);
  m_Nf = static_cast<std::int32_t>(m_Comp.size());
  m_Hmax = 0;
  m_Vmax = 0;
  for (const ComponentRecord& component : m_Comp) {
    m_Hmax = std::max(m_Hmax, component.H);
    m_Vmax = std::max(m_Vmax, component.V);
  }
}

void cJpeg::Comment(const std::string& Value) {
  if (Value.size() > static_cast<std::size_t>(kLargestComment)) throw Error(kGeneral, "Illegal Comment Length");
  m_Comment = Value;
}

std::string cJpeg::Comment() const { return m_Comment; }

}  // namespace quillet
