// Reach into cJpeg's stages for the tests: every private stage and field the
// tests drive or inspect, by its own name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/cjpeg.h"
#include "jpeg/vector_path.h"

namespace quillet {

struct cJpegTestAccess {
  using Table = cJpeg::HuffmanTable;
  using Counts = cJpeg::SymbolCounts;
  using Entry = cJpeg::ScanEntry;
  using Group = cJpeg::ScanGroup;
  using Component = cJpeg::ComponentRecord;

  static auto& ZigZag(cJpeg& j) { return j.m_ZigZag; }
  static auto& StdLum(cJpeg& j) { return j.m_StdLum; }
  static auto& StdChr(cJpeg& j) { return j.m_StdChr; }
  static auto& AanScale(cJpeg& j) { return j.m_AanScale; }
  static auto& QTable(cJpeg& j) { return j.m_QTable; }
  static auto& Comp(cJpeg& j) { return j.m_Comp; }
  static auto& Block(cJpeg& j) { return j.m_Block; }
  static auto& HuffDC(cJpeg& j) { return j.m_HuffDC; }
  static auto& HuffAC(cJpeg& j) { return j.m_HuffAC; }
  static auto& Data(cJpeg& j) { return j.m_Data; }
  static auto& Pos(cJpeg& j) { return j.m_Pos; }
  static std::int32_t PendingBits(const cJpeg& j) { return 64 - j.m_BitFree; }
  static std::int32_t P(const cJpeg& j) { return j.m_P; }
  static std::int32_t X(const cJpeg& j) { return j.m_X; }
  static std::int32_t Y(const cJpeg& j) { return j.m_Y; }
  static std::int32_t Nf(const cJpeg& j) { return j.m_Nf; }
  static std::int32_t Hmax(const cJpeg& j) { return j.m_Hmax; }
  static std::int32_t Vmax(const cJpeg& j) { return j.m_Vmax; }
  static void SetFrame(cJpeg& j, std::int32_t x, std::int32_t y) {
    j.m_X = x;
    j.m_Y = y;
    j.m_P = 8;
  }

  static void ConvertColours(const std::uint8_t* rgb, std::int32_t count, std::int32_t component, float* samples) {
    cJpeg::ConvertColours(rgb, count, component, samples);
  }
  static void PrepareQuantTable(cJpeg& j, std::int32_t k) { j.PrepareQuantTable(k); }
  static void ForwardDCT(cJpeg& j) { j.ForwardDCT(); }
  static void QuantizeBlock(cJpeg& j, std::vector<std::int16_t>& d, std::int32_t& p,
                            const std::array<float, 64>& divisor) {
    j.QuantizeBlock(d, p, divisor);
  }

  static std::int32_t Category(std::int32_t v) { return cJpeg::Category(v); }
  static std::int32_t BuildTables(cJpeg& j, const std::vector<Entry>& e, std::int32_t first, std::int32_t last) {
    return j.BuildTables(e, first, last);
  }
  template <class Data>
  static void CountDCSymbols(cJpeg& j, const Data& d, Counts& c) {
    j.CountDCSymbols(Coefficients(d.begin(), d.end()), c);
  }
  template <class Data>
  static void CountDCSymbolsInterleaved(cJpeg& j, const Data& d, Counts& c, std::int32_t h, std::int32_t v) {
    j.CountDCSymbolsInterleaved(Coefficients(d.begin(), d.end()), c, h, v);
  }
  template <class Data>
  static void CountACSymbols(cJpeg& j, const Data& d, Counts& c) {
    j.CountACSymbols(Coefficients(d.begin(), d.end()), c);
  }
  static void GenerateOptimalTable(Table& t, Counts& c) { cJpeg::GenerateOptimalTable(t, c); }
  static void DeriveHuffmanCodes(Table& t, std::int32_t largest) { cJpeg::DeriveHuffmanCodes(t, largest); }

  static std::vector<Group> GroupScans(cJpeg& j, const std::vector<Entry>& e, std::int32_t first, std::int32_t last) {
    return cJpeg::GroupScans(j.m_Comp, e, first, last);
  }
  // Starts an output buffer of `size` bytes at position 0.
  static void StartOutput(cJpeg& j, std::size_t size = 4096) {
    j.m_Data.assign(size, 0);
    j.m_Pos = 0;
    j.BitWriterReset();
  }
  static std::vector<std::uint8_t> Output(cJpeg& j) { return {j.m_Data.begin(), j.m_Data.begin() + j.m_Pos}; }
  static void PutBits(cJpeg& j, std::int32_t mask, std::int32_t value) { j.PutBits(mask, value); }
  static void BitWriterFlush(cJpeg& j) { j.BitWriterFlush(); }
  template <class Data>
  static void EncodeBlock(cJpeg& j, const Data& d, std::int32_t& s, std::int32_t& p, std::int32_t td, std::int32_t ta) {
    j.EncodeBlock(Coefficients(d.begin(), d.end()), s, p, td, ta);
  }
  static void EncodeScans(cJpeg& j, const std::vector<Entry>& e, std::int32_t first, std::int32_t last) {
    j.EncodeScans(e, first, last);
  }
  static std::vector<std::uint8_t> BuildStream(cJpeg& j) { return j.BuildStream(); }
  static void WriteCOM(cJpeg& j, const std::string& text) { j.WriteCOM(text); }
};

}  // namespace quillet
