// The slide order: any listing (names separated by line feeds) is ordered
// into a permutation of itself, or refused with quillet::Error.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversion/slide_order.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> names(1);
  for (std::size_t at = 0; at < size; ++at) {
    if (data[at] == '\n') {
      names.emplace_back();
    } else {
      names.back() += static_cast<char>(data[at]);
    }
  }
  try {
    std::vector<std::string> ordered = quillet::OrderSlides(names);
    std::sort(names.begin(), names.end());
    std::sort(ordered.begin(), ordered.end());
    if (ordered != names) std::abort();
  } catch (const quillet::Error&) {
  }
  return 0;
}
