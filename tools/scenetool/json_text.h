// Small JSON text helpers for scenetool's output.
#pragma once

#include <string>
#include <string_view>

// Appends `text` as a JSON string. Text that is valid UTF-8 is kept as it is
// (only quotes, backslashes and control characters are escaped); otherwise
// every byte above 0x7F is escaped as \u00XX.
void appendJsonString(std::string& out, std::string_view text);

// Appends a double in the shortest form that reads back to the same value.
// JSON has no NaN or infinity; those are written as the strings "NaN",
// "Infinity" and "-Infinity".
void appendJsonNumber(std::string& out, double value);

bool isValidUtf8(std::string_view text);
