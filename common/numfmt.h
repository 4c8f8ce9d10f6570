#pragma once
// Number formatting and parsing for every display, entry field and the
// settings file. The decimal separator is always passed in: the windows take
// it from the user's locale, the settings file uses the same one, so a file
// written under a comma locale holds "0,12".

#include <cstddef>
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

namespace detail {

// Where the decimal digits of `value` end when they stand at `at` in `text`
// as a number of their own (no digit just before or after); npos otherwise.
[[nodiscard]] constexpr std::size_t numberEnd(std::string_view text, std::size_t at,
                                              unsigned long long value) {
    char digits[20]; // reversed
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (at + n > text.size() || (at > 0 && isDigit(text[at - 1])) ||
        (at + n < text.size() && isDigit(text[at + n])))
        return std::string_view::npos;
    for (std::size_t i = 0; i < n; ++i)
        if (text[at + i] != digits[n - 1 - i])
            return std::string_view::npos;
    return at + n;
}

} // namespace detail

// For a static_assert beside a fixed text that states a constant: the
// wording stays as it is, and the build fails when the constant moves
// without it. True when `text` holds `value` as a number of its own (not
// inside a longer run of digits); mentionsRange looks for "lo..hi".
[[nodiscard]] constexpr bool mentionsNumber(std::string_view text, unsigned long long value) {
    for (std::size_t at = 0; at < text.size(); ++at)
        if (detail::numberEnd(text, at, value) != std::string_view::npos)
            return true;
    return false;
}
[[nodiscard]] constexpr bool mentionsRange(std::string_view text, unsigned long long lo,
                                           unsigned long long hi) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::size_t end = detail::numberEnd(text, at, lo);
        if (end != std::string_view::npos && text.substr(end, 2) == ".." &&
            detail::numberEnd(text, end + 2, hi) != std::string_view::npos)
            return true;
    }
    return false;
}

// Blanks (space, tab, CR, LF) removed from both ends.
[[nodiscard]] std::string_view trimBlanks(std::string_view text);

} // namespace thermo
