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

// What a failure is about, so that the window can say what to do about it.
enum class FailureCause {
  kOther,
  kDeckUnreadable,      // LibreOffice cannot open the deck
  kPasswordProtected,   // the deck needs its password
  kOutputFolder,        // the output folder is missing or cannot be written
  kLibreOfficeMissing,  // LibreOffice is not installed
};

class Error : public std::runtime_error {
 public:
  Error(int number, const std::string& text, FailureCause cause = FailureCause::kOther)
      : std::runtime_error(text), number_(number), cause_(cause) {}
  int Number() const { return number_; }
  FailureCause Cause() const { return cause_; }

 private:
  int number_;
  FailureCause cause_;
};

}  // namespace quillet
