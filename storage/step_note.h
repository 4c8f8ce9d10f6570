#pragma once
// The step experiment's note beside its archive. The archive's two files
// hold no manual value, so the run session appends one line to FILE.step
// when a step experiment completes: where the step lies in the archive and
// the heater's values before and after it. The lab report finds the step
// there, and `archive identify FILE` takes it when no span is given.
//
// One line per experiment, whole numbers whatever the locale:
//   experiment first=A last=B from_pct=P0 to_pct=P1 hold=N0 ticks=N1 interval_ms=MS
//              baseline=N
// first is the position of the tick that switched the heater from P0 to P1,
// last the last sample at P1 and baseline the samples before first that the
// experiment's fit took as the level (StepSpan's positions; older notes lack
// baseline). Lines that do not
// read as a plausible step are skipped; keys may come in any order, unknown
// keys are ignored.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace thermo {

struct StepNote {
    std::size_t first = 0, last = 0;
    int fromPct = 0, toPct = 0;
    long hold = 0, ticks = 0;
    int intervalMs = 0;
    std::optional<std::size_t> baseline;

    bool operator==(const StepNote&) const = default;
};

// FILE + ".step", beside FILE and its FILE + "UST".
[[nodiscard]] std::string stepNoteFileName(const std::string& archive);

// The line for one note, with its line feed.
[[nodiscard]] std::string stepNoteLine(const StepNote& note);
[[nodiscard]] std::vector<StepNote> parseStepNotes(std::string_view text);

// Appends the note's line, creating the file. Throws IoError.
void appendStepNote(const std::string& archive, const StepNote& note);
// The notes beside the archive, in the order written; none when there is no
// note file or it cannot be read.
[[nodiscard]] std::vector<StepNote> readStepNotes(const std::string& archive);

} // namespace thermo
