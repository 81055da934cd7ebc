// Windows command lines: splitting by the Microsoft C runtime's rules, and quoting one argument
// so that the split gives it back unchanged.
#pragma once

#include <string>
#include <vector>

namespace plat {

// Splits a command line as a Windows program's argv: the program name up to the first blank
// (or between its quotes), then arguments separated by blanks, where quotes group blanks, a
// doubled quote inside quotes is a literal quote, and 2n backslashes before a quote give n
// backslashes (2n+1 give n and a literal quote). Backslashes elsewhere are literal.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// The argument quoted when it needs quotes, so that splitCommandLine gives it back.
std::string quoteArgument(const std::string& argument);

}  // namespace plat
