// Fonts: fontconfig finds the face for a name (or refuses), FreeType's
// outlines become closed glyph contours with curved edges, and cubic arcs
// are approximated by quadratics within their tolerance.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"
#include "swf/font_outlines.h"
#include "swf/shape_builder.h"

namespace swf {
namespace {

constexpr std::int32_t kEm = 20480;

TEST(FontFace, ArialFindsAMetricCompatibleFace) {
  const FontFaceLocation face = FindFontFace("Arial");
  const FontOutlines outlines(face, kEm);
  EXPECT_TRUE(outlines.FamilyName() == "Liberation Sans" || outlines.FamilyName() == "Arimo" ||
              outlines.FamilyName() == "Arial")
      << outlines.FamilyName();
  EXPECT_FALSE(outlines.Bold());
  EXPECT_FALSE(outlines.Italic());
}

TEST(FontFace, GenericFamilyTakesTheDefaultFace) { EXPECT_FALSE(FindFontFace("sans-serif").file.empty()); }

TEST(FontFace, UnknownAndEmptyNamesAreRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"No Such Font Quillet",
       "no font face was found for \"No Such Font Quillet\" (install the font or a metric-compatible one)"},
      {"", "no font name was given"},
  };
  for (const auto& [name, message] : cases) {
    try {
      FindFontFace(name);
      ADD_FAILURE() << name << ": found";
    } catch (const quillet::Error& error) {
      EXPECT_STREQ(error.what(), message);
    }
  }
}

// Follows a glyph's records and returns the number of contours; every
// contour must end where it started.
int CheckClosedContours(const FontGlyph& glyph, int& curves) {
  int contours = 0;
  Point pen, start;
  bool open = false;
  for (const ShapeRecord& record : glyph.shape.records) {
    if (const auto* change = std::get_if<StyleChange>(&record)) {
      if (!change->moveTo) continue;
      if (open) {
        EXPECT_EQ(pen, start) << "contour " << contours << " of U+" << glyph.code << " is open";
      }
      pen = start = *change->moveTo;
      open = true;
      ++contours;
    } else if (const auto* line = std::get_if<StraightEdge>(&record)) {
      pen.x += line->deltaX;
      pen.y += line->deltaY;
    } else {
      const auto& curve = std::get<CurvedEdge>(record);
      pen.x += curve.controlDeltaX + curve.anchorDeltaX;
      pen.y += curve.controlDeltaY + curve.anchorDeltaY;
      ++curves;
    }
  }
  if (open) {
    EXPECT_EQ(pen, start) << "last contour of U+" << glyph.code << " is open";
  }
  return contours;
}

TEST(FontOutlines, GlyphsAreClosedContoursWithCurvesFilledOnTheLeft) {
  const FontOutlines outlines(FindFontFace("Arial"), kEm);
  const std::pair<char32_t, int> cases[] = {{U'O', 2}, {U'1', 1}, {U'/', 1}, {U'8', 3}, {U'i', 2}};
  for (const auto& [code, contours] : cases) {
    const FontGlyph glyph = outlines.Glyph(code);
    int curves = 0;
    EXPECT_EQ(CheckClosedContours(glyph, curves), contours) << "U+" << static_cast<int>(code);
    if (code == U'O' || code == U'8') {
      EXPECT_GT(curves, 4) << "U+" << static_cast<int>(code);
    }
    const auto& first = std::get<StyleChange>(glyph.shape.records.front());
    EXPECT_EQ(first.fillStyle0, std::optional<std::uint32_t>(1));  // TrueType winding
    // Ink above the baseline has negative y; nothing reaches above the ascent.
    EXPECT_LT(glyph.bounds.yMin, 0);
    EXPECT_GE(glyph.bounds.yMin, -outlines.Ascent());
    EXPECT_GT(glyph.advance, 0);
    EXPECT_LT(glyph.advance, kEm);
  }
}

TEST(FontOutlines, SpaceIsBlankAndDigitsShareOneAdvance) {
  const FontOutlines outlines(FindFontFace("Arial"), kEm);
  const FontGlyph space = outlines.Glyph(U' ');
  EXPECT_TRUE(space.shape.records.empty());
  EXPECT_EQ(space.bounds, Rect{});
  EXPECT_GT(space.advance, 0);
  for (char32_t digit = U'1'; digit <= U'9'; ++digit)
    EXPECT_EQ(outlines.Glyph(digit).advance, outlines.Glyph(U'0').advance);
  EXPECT_GT(outlines.Ascent(), outlines.Descent());
  EXPECT_GT(outlines.Descent(), 0);
}

TEST(FontOutlines, EmSquareScalesTheOutlines) {
  const FontFaceLocation face = FindFontFace("Arial");
  const FontGlyph large = FontOutlines(face, 20480).Glyph(U'1');
  const FontGlyph small = FontOutlines(face, 1024).Glyph(U'1');
  EXPECT_NEAR(large.advance / 20.0, small.advance, 1.0);
  EXPECT_NEAR(large.bounds.yMin / 20.0, small.bounds.yMin, 1.0);
}

struct CubicCase {
  double x[4];
  double y[4];
};

double CubicAt(const double (&v)[4], double t) {
  const double s = 1 - t;
  return s * s * s * v[0] + 3 * s * s * t * v[1] + 3 * s * t * t * v[2] + t * t * t * v[3];
}

// Largest distance from sampled points of the quadratic pieces to the cubic.
double LargestDeviation(const CubicCase& cubic, const std::vector<QuadraticPiece>& pieces) {
  std::vector<std::pair<double, double>> curve;
  for (int step = 0; step <= 4000; ++step)
    curve.emplace_back(CubicAt(cubic.x, step / 4000.0), CubicAt(cubic.y, step / 4000.0));
  double largest = 0;
  double fromX = cubic.x[0], fromY = cubic.y[0];
  for (const QuadraticPiece& piece : pieces) {
    for (int step = 0; step <= 50; ++step) {
      const double t = step / 50.0, s = 1 - t;
      const double x = s * s * fromX + 2 * s * t * piece.controlX + t * t * piece.anchorX;
      const double y = s * s * fromY + 2 * s * t * piece.controlY + t * t * piece.anchorY;
      double nearest = 1e300;
      for (const auto& [cx, cy] : curve) nearest = std::min(nearest, std::hypot(cx - x, cy - y));
      largest = std::max(largest, nearest);
    }
    fromX = piece.anchorX;
    fromY = piece.anchorY;
  }
  return largest;
}

TEST(CubicApproximation, PiecesStayWithinTheToleranceAndEndAtTheEnd) {
  const CubicCase cases[] = {
      {{0, 0, 1000, 1000}, {0, 1000, 1000, 0}},     // an arch
      {{0, 2000, -1000, 1000}, {0, 500, 500, 0}},   // an S with a loop
      {{0, 300, 600, 900}, {0, 100, 200, 300}},     // a straight line
      {{0, 10000, -10000, 0}, {0, 8000, 8000, 0}},  // a sharp cusp
  };
  for (const double tolerance : {1.0, 10.0}) {
    for (const CubicCase& cubic : cases) {
      const std::vector<QuadraticPiece> pieces = ApproximateCubic(cubic.x, cubic.y, tolerance);
      ASSERT_FALSE(pieces.empty());
      EXPECT_DOUBLE_EQ(pieces.back().anchorX, cubic.x[3]);
      EXPECT_DOUBLE_EQ(pieces.back().anchorY, cubic.y[3]);
      EXPECT_LE(LargestDeviation(cubic, pieces), tolerance * 1.01) << cubic.x[1] << " with tolerance " << tolerance;
    }
  }
}

TEST(CubicApproximation, DegreeElevatedQuadraticIsOnePieceWithItsControlPoint) {
  // The quadratic (0,0) (600,900) (1200,0) written as a cubic.
  const CubicCase cubic{{0, 400, 800, 1200}, {0, 600, 600, 0}};
  const std::vector<QuadraticPiece> pieces = ApproximateCubic(cubic.x, cubic.y, 0.5);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(pieces[0].controlX, 600);
  EXPECT_DOUBLE_EQ(pieces[0].controlY, 900);
}

TEST(ShapeBuilder, ClosesOpenContoursAndTracksBounds) {
  StyleChange fill;
  fill.fillStyle1 = 1;
  ShapeBuilder builder(fill);
  builder.MoveTo({10, 20});
  builder.LineTo({110, 20});
  builder.CurveTo({200, 70}, {110, 120});
  builder.MoveTo({0, 0});  // closes the first contour
  builder.LineTo({5, 5});
  builder.CloseContour();
  const auto& records = builder.Records();
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(std::get<StraightEdge>(records[3]), (StraightEdge{-100, -100}));
  EXPECT_EQ(std::get<StyleChange>(records[4]).fillStyle1, std::nullopt);  // styles only on the first MoveTo
  EXPECT_EQ(std::get<StraightEdge>(records[6]), (StraightEdge{-5, -5}));
  EXPECT_EQ(builder.Bounds(), (Rect{0, 200, 0, 120}));
}

}  // namespace
}  // namespace swf
