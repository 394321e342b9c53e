// Builds shape records from absolute points: MoveTo, straight and quadratic
// edges, closing of contours, and the bounds of everything drawn. Points are
// rounded to whole units by the caller; deltas are taken here, so a closed
// contour closes exactly, and an edge longer than an edge record can carry is
// split.
#pragma once

#include <optional>
#include <vector>

#include "swf/swf_types.h"

namespace swf {

class ShapeBuilder {
 public:
  // The style change the first MoveTo carries (fill styles); later MoveTos
  // carry only the position.
  explicit ShapeBuilder(StyleChange firstStyle) : firstStyle_(firstStyle) {}

  // Starts a new contour at an absolute point, closing the one before.
  void MoveTo(Point point);
  void LineTo(Point point);
  void CurveTo(Point control, Point anchor);
  // Draws a straight edge back to the contour's start when the pen is elsewhere.
  void CloseContour();

  const std::vector<ShapeRecord>& Records() const { return records_; }
  // Bounds of every point drawn, control points included; all zero when empty.
  Rect Bounds() const;

 private:
  void Include(Point point);

  StyleChange firstStyle_;
  bool styled_ = false;
  std::vector<ShapeRecord> records_;
  Point pen_;
  Point contourStart_;
  bool contourOpen_ = false;
  std::optional<Rect> bounds_;
};

// A quadratic Bézier piece: control point and end point, in double precision.
struct QuadraticPiece {
  double controlX = 0;
  double controlY = 0;
  double anchorX = 0;
  double anchorY = 0;
};

// Approximates the cubic Bézier (x0,y0) (x1,y1) (x2,y2) (x3,y3) by quadratic
// pieces whose distance from the cubic stays below tolerance: the cubic is
// halved until each half's one-quadratic error bound, sqrt(3)/36 times
// |p3 - 3 p2 + 3 p1 - p0|, is small enough.
std::vector<QuadraticPiece> ApproximateCubic(const double (&x)[4], const double (&y)[4], double tolerance);

}  // namespace swf
