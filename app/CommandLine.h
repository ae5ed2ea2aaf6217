#pragma once

#include <string>
#include <vector>

#include "common/Enums.h"

namespace tavox {

class Files;
class Parameters;

// Cuts a command line at every single blank into at most eight fields; the
// eighth holds the rest, blanks included. An empty text has no fields.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);
// Fields of the executable's arguments: one argument a field, the eighth and
// later joined with single blanks; a single argument that holds blanks is cut
// as a whole command line. No arguments give no fields.
std::vector<std::string> FieldsFromArguments(const std::vector<std::string>& arguments);

fftMethodEnum MethodFromLetter(const std::string& field);  // raises 1001
bool PhaseFromLetter(const std::string& field) noexcept;
bool CenterFromLetter(const std::string& field) noexcept;
fftWindowEnum WindowFromLetter(const std::string& field);  // raises 1001

// True when the repeat field (the sixth) is there and reads as a number,
// so that it sets the repeat count.
bool RepeatFieldGiven(const std::vector<std::string>& fields) noexcept;

// Applies the fields of a command line in their order: method, phase and
// centring from the first, the window from the second, the width from the
// third, then one disk entry (source, target) added to `files`, then the
// optional repeat, start and finish. Fewer than five fields raise 1002 and
// change nothing; an unknown letter raises 1001; a width that does not convert
// and the errors of the setters and of Files.Add pass unchanged. What was set
// before an error stays set. An optional field that cannot be applied leaves
// its parameter as it was; fields beyond the eighth join the finish, each
// after a single blank.
void ApplyCommandLineFields(const std::vector<std::string>& fields, Parameters& parameters, Files& files);

}  // namespace tavox
