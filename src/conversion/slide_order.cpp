// The slide order. Numbers are read in 64-bit arithmetic with a digit limit,
// so any slide count orders and no name can overflow the reading.
#include "conversion/slide_order.h"

#include <cstdint>

#include "platform/error.h"

namespace quillet {
namespace {

constexpr std::size_t kMostDigits = 9;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<std::string> OrderSlides(const std::vector<std::string>& fileJpg) {
  if (fileJpg.empty()) throw Error(kGeneral, "the slide export wrote no pictures");
  const std::string& first = fileJpg.front();
  std::size_t p = 0;  // 0-based position of the first digit of the first name
  while (p < first.size() && !IsDigit(first[p])) ++p;
  if (p == first.size()) {
    throw Error(kGeneral, "the slide picture \"" + first + "\" has no slide number in its name");
  }

  const std::int64_t count = static_cast<std::int64_t>(fileJpg.size());
  std::vector<std::string> listSlide(fileJpg.size());
  std::vector<bool> taken(fileJpg.size(), false);
  for (const std::string& name : fileJpg) {
    const std::size_t d = name.find('.');
    const std::size_t end = d == std::string::npos ? name.size() : d;
    const std::string digits = end > p ? name.substr(p, end - p) : std::string();
    bool valid = !digits.empty() && digits.size() <= kMostDigits;
    for (char c : digits) valid = valid && IsDigit(c);
    if (!valid) {
      throw Error(kGeneral, "the slide picture \"" + name + "\" has no slide number where \"" + first +
                                "\" has it (from character " + std::to_string(p + 1) + " to the first \".\")");
    }
    const std::int64_t number = std::stoll(digits);
    if (number < 1 || number > count) {
      throw Error(kGeneral, "the slide picture \"" + name + "\" has the number " + std::to_string(number) +
                                ", outside 1 to " + std::to_string(count));
    }
    const std::size_t index = static_cast<std::size_t>(number - 1);
    if (taken[index]) {
      throw Error(kGeneral, "the slide pictures \"" + listSlide[index] + "\" and \"" + name +
                                "\" both have the number " + std::to_string(number));
    }
    taken[index] = true;
    listSlide[index] = name;
  }
  return listSlide;
}

}  // namespace quillet
