// One exception type for Quillet's errors: a number and a text a user can act
// on. The encoder raises number 1 with its fixed texts, 6 for an overflow and
// 9 for a subscript out of range; other subsystems use kGeneral.
#pragma once

#include <stdexcept>
#include <string>

namespace quillet {

enum ErrorNumber : int {
  kGeneral = 1,
  kOverflow = 6,
  kSubscriptOutOfRange = 9,
};

class Error : public std::runtime_error {
 public:
  Error(int number, const std::string& text) : std::runtime_error(text), number_(number) {}
  int Number() const { return number_; }

 private:
  int number_;
};

}  // namespace quillet
