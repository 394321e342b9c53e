// The slide order: the work folder lists its pictures by name (Slide1.jpg,
// Slide10.jpg, Slide11.jpg, Slide2.jpg, ...); the movie needs them by the
// slide number each name carries.
#pragma once

#include <string>
#include <vector>

namespace quillet {

// `fileJpg` is the listing of the work folder (at least one name). The digits
// of each name start at the position of the first digit of the first listed
// name (p) and end right before the name's first "." (d); that number n puts
// the name at entry n - 1 of the result (ListSlide). Throws quillet::Error
// when a name carries no number there, a number outside 1..N, or the same
// number as another name: every entry of the result names a picture.
std::vector<std::string> OrderSlides(const std::vector<std::string>& fileJpg);

}  // namespace quillet
