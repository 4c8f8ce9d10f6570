#pragma once
// What the term window's three "Ok" buttons and the main window's rule-grid
// "ok" do with the texts of their fields, without any widget: the windows
// read their fields, call one of these and act on the outcome.
//
// Every group is applied field by field in its order. An empty field stops
// silently; a field that is not a number shows "Ошибочная запись числа: "
// with the text as typed and stops. Each good field is stored the moment it
// is read, so the fields before the one that stopped keep their new values:
// the control cycle may already have used them.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/dialogs.h"
#include "control/params.h"

namespace thermo {

inline constexpr const char* kMalformedNumber = "Ошибочная запись числа: ";

// The deviation group edits Edit1 ... Edit9, the rate group Edit10 ... Edit18,
// both in the same order: from, to, A1, B1, A2, B2, C2, A3, B3.
enum class TermGroup { Deviation, Rate };

struct ApplyOutcome {
    enum class Stop {
        None,       // every field stored
        EmptyField, // stopped without a message
        Malformed,  // the message was shown
    };
    Stop stop = Stop::None;
    int field = -1; // 0-based index in the group of the field that stopped it

    [[nodiscard]] bool complete() const { return stop == Stop::None; }
};

// The two range fields are shown in degrees and stored in tenths, so the
// typed value is multiplied by 10; a value that overflows doing so counts as
// malformed rather than storing an infinite universe.
[[nodiscard]] ApplyOutcome applyTermFields(TermGroup group, const std::array<std::string, 9>& texts,
                                           TControlParams& params, UserDialogs& dialogs,
                                           char decimalSep);

// vih_1 ... vih_9, whole numbers; only the low eight bits are kept (300 is
// stored as 44), and values above 100 % are accepted.
[[nodiscard]] ApplyOutcome applyOutputTerms(const std::array<std::string, 9>& texts,
                                            TControlParams& params, UserDialogs& dialogs);

// m1 ... m9, whole numbers kept to their low eight bits like the output terms;
// the rule cells take one digit, and 0 (no output term) is a valid entry.
[[nodiscard]] ApplyOutcome applyRuleBase(const std::array<std::string, 9>& cells,
                                         TControlParams& params, UserDialogs& dialogs);

// What the fields show: the range in degrees (tenths / 10) and the
// breakpoints as held, all in the shortest general form.
[[nodiscard]] std::array<std::string, 9>
termFieldTexts(TermGroup group, const TControlParams& params, char decimalSep);
[[nodiscard]] std::array<std::string, 9> outputTermTexts(const TControlParams& params);
[[nodiscard]] std::array<std::string, 9> ruleBaseTexts(const TControlParams& params);

// A typed whole number: optional sign and decimal digits, blanks around
// ignored; nothing when malformed or outside 32 bits.
[[nodiscard]] std::optional<std::int32_t> parseWholeNumber(std::string_view text);

} // namespace thermo
