// thermostand-cli report: the lab report of the windows' "отчёт", for a
// whole group's archives at once or a script.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "common/options.h"

#ifdef THERMO_CLI_CHARTS
#include "analysis/ui/lab_report.h"
#include "cli/offscreen_app.h"
#include "cli/settings_sep.h"
#include "widgets/locale_sep.h"
#endif

namespace thermo::cli {

namespace {

const char* kReportUsage =
    R"(usage: thermostand-cli report FILE... -o OUT [--title T] [--student S]
                              [--group G] [--align start|step] [--step N]
                              [--settings FILE]

Writes the lab report of 1..6 archives as the PDF file OUT, as the windows'
"отчёт" does: A4 pages, numbered; a title block (title, student, group, date,
the program's version, the stand's ports); with several archives their
comparison first (as `archive compare`, with the overlay chart); then each
run: its configuration at the start and every change with its time, the
terms, the rule base and the output terms, the trend chart, the scorecard,
the compared step's chart with its marks, the control surface with the
run's path when the fuzzy regulator was on, and the step experiment's model
and tunings when a note beside the archive (FILE.step, written when a step
experiment completes) says where its step lies. Numbers with the decimal
mark of the locale (LC_ALL, LC_NUMERIC, LANG), as the windows show them.

  -o OUT           the PDF to write; it replaces OUT only once complete
  --title T, --student S, --group G
                   the title block; by default what the settings file's
                   [report] keeps (the windows keep the last one entered)
  --align WHERE, --step N   as for `archive compare`
  --settings FILE  the settings file whose stored port and [devices] the
                   title block names and whose [report] gives the defaults
                   (default: the program's)

Exit status: 0 when the report was written, 1 when an archive could not be
read or OUT not written, 2 for a usage error.
)";

} // namespace

#ifdef THERMO_CLI_CHARTS

int report(int argc, char** argv) {
    CompareOptions o;
    o.minFiles = 1;
    std::string out, settings;
    std::string title, student, group;
    OptionParser p("thermostand-cli report", kReportUsage);
    p.text("-o", out, "a file name");
    p.text("--title", title, "a text");
    p.text("--student", student, "a text");
    p.text("--group", group, "a text");
    p.text("--settings", settings, "a file name");
    if (const auto end = parseCompareOptions(p, o, argc, argv))
        return *end;
    if (out.empty())
        return p.fail("-o OUT is needed");
    std::vector<std::unique_ptr<ArchiveReader>> archives;
    std::vector<CompareInput> inputs;
    if (const auto end = readArchives(o.files, archives, inputs))
        return *end;

    const std::string settingsPath = settings.empty() ? programSettingsPath() : settings;
    const TSettings stand = loadProgramSettings(settingsPath, settingsDecimalSeparator());
    const ReportSettings kept = LoadReportSettings(settingsPath);
    ReportTitleBlock block;
    block.title = p.given("--title") ? title : kept.title;
    block.student = p.given("--student") ? student : kept.student;
    block.group = p.given("--group") ? group : kept.group;

    const OffscreenApp app;
    block.date = reportDate();
    block.version = programVersion();
    block.ports = reportPorts(stand);
    const ReportOutcome done =
        writeLabReport(out, block, inputs, o.align, static_cast<std::size_t>(o.step),
                       decimalSeparator(QLocale::system()));
    if (done.error) {
        std::cerr << "report: " << *done.error << '\n';
        return 1;
    }
    return 0;
}

#else

int report(int, char**) {
    std::cerr << "thermostand-cli report: this build has no charts\n";
    return 2;
}

#endif

} // namespace thermo::cli
