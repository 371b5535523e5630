// Turns the service's "\uXXXX" escapes into ANSI characters before parsing,
// so that reply texts reach the program in the thread's code page.
#pragma once

#include <string>

std::string UnescapeUnicode(const std::string& json);
