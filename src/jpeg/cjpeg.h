// cJpeg: a self-contained baseline sequential JPEG encoder (ITU-T T.81) with
// Huffman tables optimised for every picture. A caller sets the quality, the
// sampling factors and a comment, captures a rectangle of a Surface with
// SampleHDC (colour conversion, subsampling, forward DCT and quantisation)
// and writes a JFIF file with SaveFile. The encoder's output is defined to
// the bit by the stage files beside this header.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/surface.h"

namespace quillet {

struct cJpegTestAccess;

// A captured plane: zigzag order in a block, blocks in raster order.
using Coefficients = LargeVector<std::int16_t>;

class cJpeg {
 public:
  cJpeg();

  // Quality 1..100; values outside that range are ignored. Takes effect at
  // the next SampleHDC.
  void Quality(std::int32_t vData);
  std::int32_t Quality() const;

  // Sampling factors 1..4 per component; H2, V2, H3, V3 all 0 makes a grey
  // picture of one component. Raises error 1 "Invalid Sampling Value" and
  // changes nothing when a factor is out of range.
  void SetSamplingFrequencies(std::int32_t H1, std::int32_t V1, std::int32_t H2, std::int32_t V2, std::int32_t H3,
                              std::int32_t V3);

  // Captures the lWidth x lHeight rectangle at (lSrcLeft, lSrcTop) of the
  // surface (pixels outside it read as black). Returns 0 when done and 1
  // when nothing was captured (a zero or negative size).
  std::int32_t SampleHDC(const Surface& surface, std::int32_t lWidth, std::int32_t lHeight, std::int32_t lSrcLeft,
                         std::int32_t lSrcTop);

  // Threads a capture may use: 1 (the default) captures on the calling
  // thread alone, 0 uses one per processor. The bytes are the same either
  // way. A program that runs an encoder per processor keeps 1.
  void Threads(std::int32_t count);
  std::int32_t Threads() const;

  // At most 65533 bytes, else error 1 "Illegal Comment Length".
  void Comment(const std::string& Value);
  std::string Comment() const;

  // Writes the last capture as a JFIF file, replacing FileName only once the
  // whole stream is built and written. Returns 1 for an empty name, 0 when
  // done; throws quillet::Error on any failure.
  std::int32_t SaveFile(const std::string& FileName);

 private:
  friend struct cJpegTestAccess;

  static constexpr int kBlockSize = 64;
  static constexpr int kTableCount = 4;
  static constexpr int kSymbolCount = 256;
  // The reserved pseudo-symbol of the code construction (T.81 K.2).
  static constexpr int kReservedSymbol = 256;

  struct ComponentRecord {
    std::int32_t C = 0;
    std::int32_t H = 1;
    std::int32_t V = 1;
    std::int32_t Tq = 0;
    Coefficients Data;  // zigzag order in a block, blocks in raster order
  };

  struct QuantTable {
    std::array<std::int16_t, kBlockSize> Qk{};  // zigzag order, as written in DQT
    std::array<float, kBlockSize> Divisor{};    // zigzag order
  };

  struct HuffmanTable {
    std::array<std::uint8_t, 16> BITS{};
    std::array<std::uint8_t, kSymbolCount> HUFFVAL{};
    std::array<std::int32_t, kSymbolCount> CodeMask{};  // 2^(L-1), 0 = no code
    std::array<std::int32_t, kSymbolCount> Code{};      // -1 = no code
    std::array<std::uint8_t, kSymbolCount> Length{};    // code length, 0 = no code
  };

  // One entry of the list of components to code: which component, with which
  // tables.
  struct ScanEntry {
    std::int32_t compIdx = 0;
    std::int32_t dcSel = 0;
    std::int32_t acSel = 0;
  };

  // A run of entries first..last that forms one scan.
  struct ScanGroup {
    std::int32_t first = 0;
    std::int32_t last = 0;
    bool Interleaved() const { return last > first; }
  };

  using SymbolCounts = std::array<std::int64_t, kSymbolCount + 1>;

  // Settings (encoder_settings.cpp)
  void PrepareQuantTable(std::int32_t k);

  // Colour conversion (image_capture.cpp): `count` RGB pixels to samples of
  // component 0 (Y, level-shifted), 1 (Cb) or 2 (Cr).
  static void ConvertColours(const std::uint8_t* rgb, std::int32_t count, std::int32_t component, float* samples);

  // Capture (image_capture.cpp): one plane's picture, geometry, divisors
  // and coefficients.
  struct PlaneSize {
    std::int32_t width = 0;         // Wc
    std::int32_t height = 0;        // Hc
    std::int32_t paddedWidth = 0;   // Pw
    std::int32_t paddedHeight = 0;  // Ph
    friend bool operator==(const PlaneSize&, const PlaneSize&) = default;
  };
  struct PlaneJob {
    std::int32_t component = 0;
    PlaneSize size;
    const Surface* plane = nullptr;
    std::size_t drawing = 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    const std::array<float, kBlockSize>* divisor = nullptr;
    std::int16_t* data = nullptr;
  };
  // Each component's plane size and picture: the rectangle itself, read in
  // place, or its box-filtered drawing; `planes` receives room for the
  // coefficients.
  std::vector<PlaneJob> PlanPlanes(const Surface& surface, std::int32_t lWidth, std::int32_t lHeight,
                                   std::int32_t lSrcLeft, std::int32_t lSrcTop, std::vector<Coefficients>& planes);
  // Every block row of every plane, on the capture threads; false when a
  // coefficient does not fit 16 bits.
  bool CaptureAll(const std::vector<PlaneJob>& jobs);
  bool CaptureRow(const PlaneJob& job, std::int32_t blockRow, float* strip, bool vector);
  std::int32_t CaptureThreads() const;

  // Forward DCT and quantisation (forward_dct.cpp)
  void ForwardDCT();
  void QuantizeBlock(std::vector<std::int16_t>& destination, std::int32_t& p,
                     const std::array<float, kBlockSize>& divisor) const;

  // Huffman tables (huffman_tables.cpp)
  static std::int32_t Category(std::int32_t value);
  std::int32_t BuildTables(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last);
  void CountDCSymbols(const Coefficients& data, SymbolCounts& counts) const;
  void CountDCSymbolsInterleaved(const Coefficients& data, SymbolCounts& counts, std::int32_t H, std::int32_t V) const;
  void CountACSymbols(const Coefficients& data, SymbolCounts& counts) const;
  std::int64_t FillerBlockCount(const ComponentRecord& component) const;
  static void GenerateOptimalTable(HuffmanTable& table, SymbolCounts& counts);
  static void DeriveHuffmanCodes(HuffmanTable& table, std::int32_t largestSymbol);

  // Scan coding (scan_coder.cpp)
  static std::vector<ScanGroup> GroupScans(const std::vector<ComponentRecord>& components,
                                           const std::vector<ScanEntry>& entries, std::int32_t first,
                                           std::int32_t last);
  std::int32_t BlocksPerLine(const ComponentRecord& component) const;
  void BitWriterReset();
  void PutBits(std::int32_t mask, std::int32_t value);
  void Put(std::uint64_t bits, std::int32_t count);
  void EmitWord();
  void EnsureRoom();
  void BitWriterFlush();
  void EncodeBlock(const Coefficients& D, std::int32_t& s, std::int32_t& P, std::int32_t Td, std::int32_t Ta);
  void WriteSOS(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last);
  void EncodeScanSingle(const std::vector<ScanEntry>& entries, std::int32_t position);
  void EncodeScanInterleaved(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last);
  void EncodeScans(const std::vector<ScanEntry>& entries, std::int32_t first, std::int32_t last);

  // Stream writer (jfif_writer.cpp)
  std::vector<std::uint8_t> BuildStream();
  void WriteStream();
  void WriteByte(std::int64_t value);
  void WriteMarker(std::int32_t code);
  void WriteAPP0();
  void WriteCOM(const std::string& text);
  void WriteDQT(std::int32_t segmentStart, std::int32_t Tq);
  void WriteSOF(std::int32_t marker);
  void WriteDHT(std::int32_t segmentStart, std::int32_t Th, bool ac);
  void CloseSegment(std::int32_t segmentStart);

  // Constant tables
  std::array<std::array<std::int32_t, 8>, 8> m_ZigZag{};
  std::array<std::int16_t, kBlockSize> m_StdLum{};
  std::array<std::int16_t, kBlockSize> m_StdChr{};
  std::array<double, 8> m_AanScale{};

  // Frame
  std::int32_t m_P = 0;
  std::int32_t m_Y = 0;
  std::int32_t m_X = 0;
  std::int32_t m_Nf = 0;
  std::int32_t m_Hmax = 0;
  std::int32_t m_Vmax = 0;
  std::vector<ComponentRecord> m_Comp;

  // Quantisation: the tables of the settings, and the Qk tables the last
  // capture was quantised with (what SaveFile writes).
  std::array<QuantTable, kTableCount> m_QTable{};
  std::array<std::array<std::int16_t, kBlockSize>, kTableCount> m_CapturedQk{};
  std::int32_t m_Quality = 0;

  // Huffman coding
  std::array<HuffmanTable, kTableCount> m_HuffDC{};
  std::array<HuffmanTable, kTableCount> m_HuffAC{};

  // Work area and output
  std::array<float, kBlockSize> m_Block{};
  std::int32_t m_Threads = 1;
  std::vector<Coefficients> m_SparePlanes;  // the previous capture's buffers
  std::vector<Surface> m_Drawings;          // the box-filtered planes of the last capture
  std::vector<std::uint8_t> m_Data;
  std::int32_t m_Pos = 0;
  std::uint64_t m_BitBuf = 0;   // pending bits, the latest lowest
  std::int32_t m_BitFree = 64;  // bits of m_BitBuf not yet holding one
  std::string m_Comment;
};

}  // namespace quillet
