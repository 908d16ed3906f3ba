// Rewrite of "syslog.warnat" texts into their '+'-joined look-up form.
#pragma once

#include <string>
#include <string_view>

// "a b c d e" becomes "a+b+' c '+' d e '": the first three blanks split the
// text into the first, second and third word and the rest. A text with fewer
// than three blanks comes back unchanged.
std::string repair_warnat(std::string_view text);

// Whether a log text asks for the rewrite.
bool has_warnat(std::string_view text);
