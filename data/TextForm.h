#pragma once

#include <string>

#include "common/Variant.h"

namespace tavox {

// The text a value reads as: a text itself, "True"/"False", a number in its
// shortest exact form; empty for any other kind. A spreadsheet cell is read
// through it, and a source or mask given as a number takes this form.
std::string TextForm(const Variant& value);

}  // namespace tavox
