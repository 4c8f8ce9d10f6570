#include "common/numfmt.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace thermo {
namespace {

constexpr int kSourceDigits = 18;

// The decimal digits of |value| taken to 18 significant digits:
// value = 0.d1d2...d18 x 10^(exponent + 1), i.e. digits[i] has the place
// 10^(exponent - i).
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal toDecimal(double magnitude) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", kSourceDigits - 1, magnitude);
    Decimal d;
    const char* p = buf;
    for (; *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            d.digits.push_back(*p);
    }
    d.exponent = std::atoi(p + 1);
    return d;
}

// Keeps the first `keep` digits, rounding half away from zero on the next
// one. A carry out of the first digit raises the exponent (9.99 -> 10.0).
void roundDigits(Decimal& d, int keep) {
    if (keep >= static_cast<int>(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.clear();
        return;
    }
    const bool up = d.digits[keep] >= '5';
    d.digits.resize(keep);
    if (!up)
        return;
    for (int i = keep - 1; i >= 0; --i) {
        if (d.digits[i] != '9') {
            ++d.digits[i];
            return;
        }
        d.digits[i] = '0';
    }
    // Every kept digit rolled over (or none was kept): one more place.
    d.digits.insert(d.digits.begin(), '1');
    d.exponent += 1;
}

std::string nonFinite(double value) {
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

} // namespace

std::string formatFixed(double value, std::string_view pattern, char decimalSep) {
    if (!std::isfinite(value))
        return nonFinite(value);

    int minInt = 0, reqDec = 0, optDec = 0;
    bool afterPoint = false;
    for (char c : pattern) {
        if (c == '.') {
            afterPoint = true;
        } else if (!afterPoint && c == '0') {
            ++minInt;
        } else if (afterPoint && c == '0') {
            ++reqDec;
        } else if (afterPoint && c == '#') {
            ++optDec;
        }
    }
    const int maxDec = reqDec + optDec;

    // Integer and fraction digits after rounding to maxDec decimals.
    std::string intPart, fracPart;
    if (value != 0.0) {
        Decimal d = toDecimal(std::fabs(value));
        roundDigits(d, d.exponent + maxDec + 1);
        for (int place = std::max(d.exponent, 0); place >= -maxDec; --place) {
            const int i = d.exponent - place;
            const char digit =
                (i >= 0 && i < static_cast<int>(d.digits.size())) ? d.digits[i] : '0';
            (place >= 0 ? intPart : fracPart).push_back(digit);
        }
    } else {
        intPart.assign(1, '0'); // not = "0": GCC 12 warns falsely (-Wrestrict) under ASan
        fracPart.assign(maxDec, '0');
    }

    // Leading zeros beyond the pattern's integer digits go.
    while (intPart.size() > 1 && intPart.front() == '0' &&
           static_cast<int>(intPart.size()) > minInt)
        intPart.erase(intPart.begin());
    if (minInt == 0 && intPart == "0" && !fracPart.empty())
        intPart.clear();
    while (static_cast<int>(intPart.size()) < minInt)
        intPart.insert(intPart.begin(), '0');
    // Optional decimals drop their trailing zeros.
    while (static_cast<int>(fracPart.size()) > reqDec && fracPart.back() == '0')
        fracPart.pop_back();

    const bool zero = intPart.find_first_not_of('0') == std::string::npos &&
                      fracPart.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (value < 0 && !zero)
        out.push_back('-');
    out += intPart.empty() ? "0" : intPart;
    if (!fracPart.empty()) {
        out.push_back(decimalSep);
        out += fracPart;
    }
    return out;
}

std::string formatGeneral(double value, char decimalSep) {
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0.0)
        return "0";
    constexpr int kPrecision = 15;
    Decimal d = toDecimal(std::fabs(value));
    roundDigits(d, kPrecision);
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();

    std::string out;
    if (value < 0)
        out.push_back('-');
    if (d.exponent >= kPrecision || d.exponent < -4) {
        out.push_back(d.digits[0]);
        if (d.digits.size() > 1) {
            out.push_back(decimalSep);
            out.append(d.digits, 1);
        }
        out += 'E' + std::to_string(d.exponent);
    } else if (d.exponent >= 0) {
        for (int i = 0; i <= d.exponent; ++i)
            out.push_back(i < static_cast<int>(d.digits.size()) ? d.digits[i] : '0');
        if (static_cast<int>(d.digits.size()) > d.exponent + 1) {
            out.push_back(decimalSep);
            out.append(d.digits, d.exponent + 1);
        }
    } else {
        out += '0';
        out.push_back(decimalSep);
        out.append(-d.exponent - 1, '0');
        out += d.digits;
    }
    return out;
}

void appendRoundTrip(std::string& out, double value) {
    char buf[32]; // the longest, "-2.2250738585072014e-308", takes 24
    const auto r = std::to_chars(buf, buf + sizeof buf, value == 0 ? 0.0 : value);
    out.append(buf, r.ptr);
}

std::string formatRoundTrip(double value) {
    std::string out;
    appendRoundTrip(out, value);
    return out;
}

std::string formatJsonNumber(double value) {
    return std::isfinite(value) ? formatRoundTrip(value) : "null";
}

std::string formatSignificant(double value, int digits) {
    char buf[32]; // 17 digits, sign, point and "e-308" fit
    const auto r = std::to_chars(buf, buf + sizeof buf, value == 0 ? 0.0 : value,
                                 std::chars_format::general, std::clamp(digits, 1, 17));
    return std::string(buf, r.ptr);
}

std::string_view trimBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::optional<double> parseNumber(std::string_view text, char decimalSep) {
    text = trimBlanks(text);
    std::string plain; // the same number with '.' as its mark, for from_chars
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int mantissaDigits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++mantissaDigits)
        plain.push_back(text[i]);
    if (i < text.size() && text[i] == decimalSep) {
        plain.push_back('.');
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++mantissaDigits)
            plain.push_back(text[i]);
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            plain.push_back(text[i++]);
        int expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++expDigits)
            plain.push_back(text[i]);
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;

    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    // Outside the range of a double (either way) is not a number anyone means.
    if (ec != std::errc() || end != plain.data() + plain.size())
        return std::nullopt;
    return negative ? -value : value;
}

double roundHalfEven(double value) {
    // nearbyint follows the current rounding mode, which is round-to-nearest,
    // ties-to-even unless someone changed it; std::round would take ties away
    // from zero.
    return std::nearbyint(value);
}

} // namespace thermo
