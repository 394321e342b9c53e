// The conversion the window runs outside tests: quillet::ConvertPresentation.
#pragma once

#include "ui/conversion_runner.h"

namespace quillet::ui {

ConversionFunction DefaultConversion();

}  // namespace quillet::ui
