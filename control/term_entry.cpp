#include "control/term_entry.h"

#include <cmath>
#include <limits>

#include "common/numfmt.h"

namespace thermo {

namespace {

// The nine parameters of a term group in field order; the first two are the
// universe ends, held in tenths.
template <class Params>
auto termTargets(TermGroup group, Params& p) -> std::array<decltype(&p.otkl_left), 9> {
    if (group == TermGroup::Deviation)
        return {&p.otkl_left, &p.otkl_right, &p.otkl_A1, &p.otkl_B1, &p.otkl_A2,
                &p.otkl_B2,   &p.otkl_C2,    &p.otkl_A3, &p.otkl_B3};
    return {&p.skor_left, &p.skor_right, &p.skor_A1, &p.skor_B1, &p.skor_A2,
            &p.skor_B2,   &p.skor_C2,    &p.skor_A3, &p.skor_B3};
}

constexpr int kRangeFields = 2;
constexpr double kUniverseDivisor = 10.0;

ApplyOutcome malformed(int field, const std::string& typed, UserDialogs& dialogs) {
    // The text goes into the message as typed, blanks included, so the user
    // recognises the field.
    dialogs.message(MessageKind::Plain, "", kMalformedNumber + typed);
    return {ApplyOutcome::Stop::Malformed, field};
}

ApplyOutcome applyBytes(const std::array<std::string, 9>& texts, std::array<std::uint8_t, 9>& out,
                        UserDialogs& dialogs) {
    for (int k = 0; k < 9; ++k) {
        const std::string& text = texts[static_cast<size_t>(k)];
        if (text.empty())
            return {ApplyOutcome::Stop::EmptyField, k};
        const auto value = parseWholeNumber(text);
        if (!value)
            return malformed(k, text, dialogs);
        // The parameters are bytes: the low eight bits of the typed number.
        out[static_cast<size_t>(k)] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(*value));
    }
    return {};
}

std::array<std::string, 9> byteTexts(const std::array<std::uint8_t, 9>& values) {
    std::array<std::string, 9> texts;
    for (size_t k = 0; k < 9; ++k)
        texts[k] = std::to_string(values[k]);
    return texts;
}

} // namespace

std::optional<std::int32_t> parseWholeNumber(std::string_view text) {
    text = trimBlanks(text);
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit)
            return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

ApplyOutcome applyTermFields(TermGroup group, const std::array<std::string, 9>& texts,
                             TControlParams& params, UserDialogs& dialogs, char decimalSep) {
    const auto targets = termTargets(group, params);
    for (int k = 0; k < 9; ++k) {
        const std::string& text = texts[static_cast<size_t>(k)];
        if (text.empty())
            return {ApplyOutcome::Stop::EmptyField, k};
        auto value = parseNumber(text, decimalSep);
        if (value && k < kRangeFields)
            *value *= kUniverseDivisor;
        if (!value || !std::isfinite(*value))
            return malformed(k, text, dialogs);
        *targets[static_cast<size_t>(k)] = *value;
    }
    return {};
}

ApplyOutcome applyOutputTerms(const std::array<std::string, 9>& texts, TControlParams& params,
                              UserDialogs& dialogs) {
    return applyBytes(texts, params.vih, dialogs);
}

ApplyOutcome applyRuleBase(const std::array<std::string, 9>& cells, TControlParams& params,
                           UserDialogs& dialogs) {
    return applyBytes(cells, params.m, dialogs);
}

std::array<std::string, 9> termFieldTexts(TermGroup group, const TControlParams& params,
                                          char decimalSep) {
    const auto targets = termTargets(group, params);
    std::array<std::string, 9> texts;
    for (int k = 0; k < 9; ++k) {
        double value = *targets[static_cast<size_t>(k)];
        if (k < kRangeFields)
            value /= kUniverseDivisor;
        texts[static_cast<size_t>(k)] = formatGeneral(value, decimalSep);
    }
    return texts;
}

std::array<std::string, 9> outputTermTexts(const TControlParams& params) {
    return byteTexts(params.vih);
}

std::array<std::string, 9> ruleBaseTexts(const TControlParams& params) {
    return byteTexts(params.m);
}

} // namespace thermo
