// Stands in for the driver in a build without src/conversion: every
// conversion fails with a message that says so.
#include "platform/error.h"
#include "ui/default_conversion.h"

namespace quillet::ui {

ConversionFunction DefaultConversion() {
  return [](JobState&, const std::string&, const std::string&, const ConversionSetup&,
            ConversionObserver&, const CancelFlag&) -> ConversionOutcome {
    throw Error(kGeneral, "this build of Quillet has no converter.");
  };
}

}  // namespace quillet::ui
