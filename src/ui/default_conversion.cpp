// The window's conversion is the driver itself.
#include "ui/default_conversion.h"

namespace quillet::ui {

ConversionFunction DefaultConversion() { return &quillet::ConvertPresentation; }

}  // namespace quillet::ui
