// The step experiment's note beside its archive.
#include <gtest/gtest.h>

#include "storage/io_error.h"
#include "storage/step_note.h"
#include "tests/temp_dir.h"

using namespace thermo;
using thermo::testing::readFile;
using thermo::testing::TempDir;
using thermo::testing::writeFile;

TEST(StepNote, NotesAreAppendedAsLinesAndReadBackInOrder) {
    TempDir dir;
    const std::string archive = dir.file("run.txt");
    EXPECT_TRUE(readStepNotes(archive).empty()) << "no note file: no notes";
    const StepNote a{61, 360, 0, 50, 60, 300, 1000, std::nullopt},
        b{400, 520, 50, 20, 30, 120, 500, 10};
    appendStepNote(archive, a);
    appendStepNote(archive, b);
    EXPECT_EQ(readFile(dir.file("run.txt.step")),
              "experiment first=61 last=360 from_pct=0 to_pct=50 hold=60 ticks=300 "
              "interval_ms=1000\n"
              "experiment first=400 last=520 from_pct=50 to_pct=20 hold=30 ticks=120 "
              "interval_ms=500 baseline=10\n");
    EXPECT_EQ(readStepNotes(archive), (std::vector<StepNote>{a, b}));

    // A folder that takes no file: the system's reason.
    EXPECT_THROW(appendStepNote(dir.file("no/such/run.txt"), a), IoError);
}

TEST(StepNote, LinesThatAreNoPlausibleStepAreSkipped) {
    const std::vector<StepNote> notes = parseStepNotes(
        "# a comment\n"
        "experiment to_pct=40 from_pct=10 last=90 first=30 colour=red\r\n" // any order, CR LF
        "experiment first=30 last=20 from_pct=0 to_pct=40\n"               // ends before it starts
        "experiment first=30 last=90 from_pct=40 to_pct=40\n"              // no step
        "experiment first=30 last=90 from_pct=0 to_pct=140\n"              // not a percentage
        "experiment first=3x last=90 from_pct=0 to_pct=40\n"               // not a number
        "experiment first=5 last=9 from_pct=0 to_pct=40");                 // no final newline
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0], (StepNote{30, 90, 10, 40, 0, 0, 0, std::nullopt}));
    EXPECT_EQ(notes[1].first, 5u);
}
