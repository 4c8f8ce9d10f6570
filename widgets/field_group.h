#pragma once
// Nine entry fields applied together: the rule base, a term group, the
// output terms. The windows hand the fields' texts to one of the checks of
// control/term_entry.h and write back what is stored.

#include <array>
#include <functional>
#include <span>
#include <string>

#include "control/term_entry.h"

class QLineEdit;

namespace thermo {

using FieldTexts = std::array<std::string, 9>;
using NineFields = std::span<QLineEdit* const, 9>;

// Hands the fields' texts, in order, to `apply`. The field it stopped at as
// malformed gets the focus with its text selected, ready to be typed over.
// Returns what `apply` said.
ApplyOutcome applyFields(NineFields fields,
                         const std::function<ApplyOutcome(const FieldTexts&)>& apply);

// texts[k] into field k.
void showTexts(NineFields fields, const FieldTexts& texts);

} // namespace thermo
