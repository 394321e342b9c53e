// Shape records from absolute points, for the SWF file format's shape edges:
// each edge is a delta from the pen, at most 65535 twips per axis in one
// record, so longer edges are split into equal parts whose deltas add up
// exactly. Cubic curves, which SWF shapes cannot hold, become quadratics.
#include "swf/shape_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace swf {
namespace {

// An edge record's NumBits field allows 17-bit deltas.
constexpr std::int64_t kLongestDelta = 65535;

std::int64_t PiecesFor(std::int64_t deltaX, std::int64_t deltaY) {
  const std::int64_t longest = std::max(std::llabs(deltaX), std::llabs(deltaY));
  return std::max<std::int64_t>(1, (longest + kLongestDelta - 1) / kLongestDelta);
}

// Point k of n equal steps from `from` towards `to`, rounded down.
std::int32_t Step(std::int32_t from, std::int32_t to, std::int64_t k, std::int64_t n) {
  return static_cast<std::int32_t>(from + (static_cast<std::int64_t>(to) - from) * k / n);
}

constexpr int kMostHalvings = 10;

void Approximate(const double (&x)[4], const double (&y)[4], double tolerance, int depth,
                 std::vector<QuadraticPiece>& pieces) {
  const double errorX = x[3] - 3 * x[2] + 3 * x[1] - x[0];
  const double errorY = y[3] - 3 * y[2] + 3 * y[1] - y[0];
  const double bound = std::sqrt(3.0) / 36.0 * std::hypot(errorX, errorY);
  if (bound <= tolerance || depth >= kMostHalvings) {
    pieces.push_back({(3 * (x[1] + x[2]) - x[0] - x[3]) / 4, (3 * (y[1] + y[2]) - y[0] - y[3]) / 4, x[3], y[3]});
    return;
  }
  // de Casteljau at t = 1/2.
  const auto half = [](const double(&v)[4], double(&left)[4], double(&right)[4]) {
    const double a = (v[0] + v[1]) / 2, b = (v[1] + v[2]) / 2, c = (v[2] + v[3]) / 2;
    const double d = (a + b) / 2, e = (b + c) / 2, middle = (d + e) / 2;
    left[0] = v[0], left[1] = a, left[2] = d, left[3] = middle;
    right[0] = middle, right[1] = e, right[2] = c, right[3] = v[3];
  };
  double leftX[4], rightX[4], leftY[4], rightY[4];
  half(x, leftX, rightX);
  half(y, leftY, rightY);
  Approximate(leftX, leftY, tolerance, depth + 1, pieces);
  Approximate(rightX, rightY, tolerance, depth + 1, pieces);
}

}  // namespace

void ShapeBuilder::MoveTo(Point point) {
  CloseContour();
  StyleChange change;
  if (!styled_) {
    change = firstStyle_;
    styled_ = true;
  }
  change.moveTo = point;
  records_.push_back(change);
  pen_ = point;
  contourStart_ = point;
  contourOpen_ = true;
  Include(point);
}

void ShapeBuilder::LineTo(Point point) {
  const std::int64_t pieces = PiecesFor(std::int64_t{point.x} - pen_.x, std::int64_t{point.y} - pen_.y);
  Point at = pen_;
  for (std::int64_t k = 1; k <= pieces; ++k) {
    const Point next{Step(pen_.x, point.x, k, pieces), Step(pen_.y, point.y, k, pieces)};
    records_.push_back(StraightEdge{next.x - at.x, next.y - at.y});
    at = next;
  }
  pen_ = point;
  Include(point);
}

void ShapeBuilder::CurveTo(Point control, Point anchor) {
  const std::int64_t longest =
      std::max({std::llabs(std::int64_t{control.x} - pen_.x), std::llabs(std::int64_t{control.y} - pen_.y),
                std::llabs(std::int64_t{anchor.x} - control.x), std::llabs(std::int64_t{anchor.y} - control.y)});
  if (longest > kLongestDelta) {
    // Halve the quadratic (de Casteljau) until its deltas fit.
    const Point left{static_cast<std::int32_t>((std::int64_t{pen_.x} + control.x) / 2),
                     static_cast<std::int32_t>((std::int64_t{pen_.y} + control.y) / 2)};
    const Point right{static_cast<std::int32_t>((std::int64_t{control.x} + anchor.x) / 2),
                      static_cast<std::int32_t>((std::int64_t{control.y} + anchor.y) / 2)};
    const Point middle{static_cast<std::int32_t>((std::int64_t{left.x} + right.x) / 2),
                       static_cast<std::int32_t>((std::int64_t{left.y} + right.y) / 2)};
    CurveTo(left, middle);
    CurveTo(right, anchor);
    return;
  }
  records_.push_back(CurvedEdge{control.x - pen_.x, control.y - pen_.y, anchor.x - control.x, anchor.y - control.y});
  pen_ = anchor;
  Include(control);
  Include(anchor);
}

void ShapeBuilder::CloseContour() {
  if (!contourOpen_) return;
  if (!(pen_ == contourStart_)) LineTo(contourStart_);
  contourOpen_ = false;
}

Rect ShapeBuilder::Bounds() const { return bounds_.value_or(Rect{}); }

void ShapeBuilder::Include(Point point) {
  if (!bounds_) {
    bounds_ = Rect{point.x, point.x, point.y, point.y};
    return;
  }
  bounds_->xMin = std::min(bounds_->xMin, point.x);
  bounds_->xMax = std::max(bounds_->xMax, point.x);
  bounds_->yMin = std::min(bounds_->yMin, point.y);
  bounds_->yMax = std::max(bounds_->yMax, point.y);
}

std::vector<QuadraticPiece> ApproximateCubic(const double (&x)[4], const double (&y)[4], double tolerance) {
  std::vector<QuadraticPiece> pieces;
  Approximate(x, y, tolerance, 0, pieces);
  return pieces;
}

}  // namespace swf
