#pragma once

#include "common/Variant.h"

namespace tavox::fuzz {

class FuzzInput;

// A Variant of any kind, its kind and contents taken from the input: texts
// with and without "%", extreme and non-finite numbers, decimals of any scale.
Variant TakeVariant(FuzzInput& input);

}  // namespace tavox::fuzz
