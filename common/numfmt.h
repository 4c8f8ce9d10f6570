#pragma once
// Number formatting and parsing for every display, entry field and the
// settings file. The decimal separator is always passed in: the windows take
// it from the user's locale, the settings file uses the same one, so a file
// written under a comma locale holds "0,12".

#include <optional>
#include <string>
#include <string_view>

namespace thermo {

// Fixed patterns such as "0.00", "0.##", "0.#", "0", "00.00": '0' is a
// digit that is always written, '#' a decimal digit written only when it is
// not a trailing zero. The value is taken to 18 significant digits and rounded
// half away from zero on those decimal digits, so 0.125 gives "0.13" and
// 49.959 gives "49.96" (printf would round the binary value, 0.125 -> "0.12").
[[nodiscard]] std::string formatFixed(double value, std::string_view pattern, char decimalSep);

// The shortest general form: up to 15 significant digits, no trailing zeros,
// exponent form ("1E15", "4.42E-5") only for more than 15 integer digits or
// magnitudes below 0.0001.
[[nodiscard]] std::string formatGeneral(double value, char decimalSep);

// The shortest text that reads back as the same double, with a point
// whatever the locale: for files and output that other programs read. A
// negative zero (a membership edge computes one) is written "0". NaN and the
// infinities come out as std::to_chars writes them ("nan", "-inf"); a format
// that has no such words checks first.
void appendRoundTrip(std::string& out, double value);
[[nodiscard]] std::string formatRoundTrip(double value);

// A JSON number: the round-trip text, or null for NaN and the infinities,
// which JSON has no number for.
[[nodiscard]] std::string formatJsonNumber(double value);

// `digits` significant digits (1 .. 17, others clamped) as printf's %g
// writes them (exponent form below 1e-4 and from 10^digits up, no trailing
// zeros), but with a point whatever the locale: "1234.6", "1.2e-05". A
// negative zero is written "0", NaN and the infinities as above.
[[nodiscard]] std::string formatSignificant(double value, int digits);

// A typed number: optional sign, digits with the given decimal separator,
// optional E/e exponent with an optional sign. Blanks around the text are
// ignored; anything else (a thousands separator, the other decimal mark,
// trailing letters) is rejected.
[[nodiscard]] std::optional<double> parseNumber(std::string_view text, char decimalSep);

// The heater command's rounding: to the nearest integer, a half going to the
// even neighbour (116.5 -> 116, 117.5 -> 118).
[[nodiscard]] double roundHalfEven(double value);

// Blanks (space, tab, CR, LF) removed from both ends.
[[nodiscard]] std::string_view trimBlanks(std::string_view text);

} // namespace thermo
