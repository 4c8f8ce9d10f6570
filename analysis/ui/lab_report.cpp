#include "analysis/ui/lab_report.h"

#include <QDate>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

#include "analysis/config_history.h"
#include "analysis/run_path.h"
#include "analysis/score_sheet.h"
#include "analysis/step_span.h"
#include "analysis/surface.h"
#include "analysis/tuning.h"
#include "analysis/ui/identify_window.h"
#include "analysis/ui/report_pages.h"
#include "analysis/ui/score_window.h"
#include "analysis/ui/surface_window.h"
#include "common/numfmt.h"
#include "common/save_target.h"
#include "common/timefmt.h"
#include "storage/step_note.h"
#include "widgets/compare_chart.h"
#include "widgets/membership_chart.h"
#include "widgets/score_marks.h"
#include "widgets/surface_chart.h"
#include "widgets/trend_chart.h"

#ifndef THERMO_VERSION
#define THERMO_VERSION "0"
#endif

namespace thermo {

namespace {

// The step experiment's setpoint step the saturation warning assumes, as the
// identification window and `identify` take it by default.
constexpr double kReportStepC = 10;
// Segments side by side in one scorecard table: each a column, the figures
// its rows, so the headings stay whole on a portrait page.
constexpr std::size_t kSegmentsPerTable = 6;
constexpr double kTermChartHeight = 150;
constexpr double kGap = 8;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

using Cell = ReportTable::Cell;

Cell header(const QString& text) {
    Cell c;
    c.text = text;
    c.header = true;
    return c;
}

Cell plain(const QString& text) {
    Cell c;
    c.text = text;
    return c;
}

QString onOff(bool on) {
    return on ? QStringLiteral("вкл.") : QStringLiteral("выкл.");
}

class ReportWriter {
public:
    ReportWriter(QPdfWriter& writer, ReportPages& pages, char sep, ReportOutcome& outcome)
        : pages_(pages), sep_(sep), outcome_(outcome),
          origin_(writer.pageLayout().paintRectPixels(writer.resolution()).topLeft()) {}

    void titleBlock(const ReportTitleBlock& t, const Comparison& c);
    void comparison(const Comparison& c);
    void run(std::size_t index, const ComparedRun& r, const ArchiveReader& a,
             std::size_t stepNumber);

private:
    QString general(double v) const { return qs(formatGeneral(v, sep_)); }
    QString fixed(double v) const { return qs(formatFixed(v, "0.##", sep_)); }
    QString name(const ComparedRun& r) const { return qs(runName(r, sep_)); }
    void chart(const char* kind, QCustomPlot& plot, double h, double x = 0, double w = 0,
               bool advance = true) {
        const QRectF where = pages_.chart(plot, h, x, w, advance);
        outcome_.charts.push_back({kind, pages_.page(), where.translated(origin_)});
    }

    void startConfiguration(const ArchiveReader& a);
    void changes(const ArchiveReader& a);
    void terms(const TControlParams& p);
    void rules(const TControlParams& p);
    void trend(const ComparedRun& r, const ArchiveReader& a);
    void scorecard(const ComparedRun& r);
    void stepChart(const ComparedRun& r, const ArchiveReader& a, std::size_t stepNumber);
    void surface(const ComparedRun& r, const ArchiveReader& a);
    void experiments(const ComparedRun& r, const ArchiveReader& a);

    ReportPages& pages_;
    char sep_;
    ReportOutcome& outcome_;
    QPointF origin_;
};

void ReportWriter::titleBlock(const ReportTitleBlock& t, const Comparison& c) {
    pages_.heading(qs(t.title.empty() ? kDefaultReportTitle : t.title), 1);
    ReportTable table;
    table.fontPoints = 9;
    table.valuesRight = false;
    auto row = [&](const char* what, const QString& value) {
        table.rows.push_back({header(QString::fromUtf8(what)), plain(value)});
    };
    row("студент", qs(t.student));
    row("группа", qs(t.group));
    row("дата", qs(t.date));
    row("программа", QStringLiteral("thermostand ") + qs(t.version));
    row("порты стенда", qs(t.ports));
    QStringList files;
    for (const ComparedRun& r : c.runs)
        files << qs(r.path);
    row(c.runs.size() == 1 ? "архив" : "архивы", files.join('\n'));
    pages_.table(table);
}

void ReportWriter::comparison(const Comparison& c) {
    pages_.heading(QStringLiteral("Сравнение прогонов"), 2);
    const QString origin =
        c.align == CompareAlign::Step
            ? QStringLiteral("время отсчитано от ступеньки задания №%1 каждого прогона (прогон "
                             "без неё — от начала)")
                  .arg(c.stepNumber)
            : QStringLiteral("время отсчитано от начала каждого прогона; оценена ступенька "
                             "задания №%1")
                  .arg(c.stepNumber);
    pages_.paragraph(origin + QStringLiteral(". Сплошная линия — температура, штриховая того же "
                                             "цвета — задание. Лучшее значение показателя "
                                             "выделено."));
    ReportTable list;
    list.fontPoints = 9;
    list.valuesRight = false;
    std::vector<QString> legend;
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        Cell n = header(QString::number(i + 1));
        n.swatch = CompareChart::runColour(i);
        list.rows.push_back({n, plain(name(c.runs[i]))});
        legend.push_back(QStringLiteral("%1. %2").arg(i + 1).arg(qs(c.runs[i].label)));
    }
    pages_.table(list);
    CompareChart overlay;
    overlay.showComparison(c, legend);
    chart("compare", overlay, 300);

    ReportTable table;
    std::vector<Cell> head{header(QStringLiteral("показатель"))};
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        Cell h = header(QStringLiteral("%1. %2").arg(i + 1).arg(qs(c.runs[i].label)));
        h.swatch = CompareChart::runColour(i);
        head.push_back(h);
    }
    table.rows.push_back(head);
    const std::size_t fields = scoreFieldNames().size();
    for (std::size_t f = 0; f < fields; ++f) {
        std::vector<Cell> row{header(scoreHeading(f))};
        for (const ComparedRun& r : c.runs) {
            Cell cell;
            if (r.step) {
                cell.text = qs(scoreCellText(*r.step, f, sep_));
                cell.best = r.isBest(f);
            } else if (f == 0) {
                cell.text = QStringLiteral("нет ступеньки задания");
                cell.rowSpan = static_cast<int>(fields);
            }
            row.push_back(cell);
        }
        table.rows.push_back(row);
    }
    pages_.table(table);
}

void ReportWriter::startConfiguration(const ArchiveReader& a) {
    pages_.heading(QStringLiteral("Конфигурация в начале прогона"), 3);
    if (a.ConfigCount == 0) {
        pages_.paragraph(QStringLiteral("в архиве нет записей конфигурации"));
        return;
    }
    const TConfigRecord& r = a.Configs[1];
    const TControlParams& p = r.params;
    ReportTable t;
    t.rows.push_back({header(QString()), header(QStringLiteral("регулятор")), header("П"),
                      header("И"), header("Д"), header("C0"), header("C1"), header("C2")});
    t.rows.push_back({header(QStringLiteral("1 (нечёткий) и добавки")), plain(onOff(r.Fuzzy_on)),
                      plain(onOff(p.prop_1)), plain(onOff(p.integ_1)), plain(onOff(p.diff_1)),
                      plain(general(p.C0_1)), plain(general(p.C1_1)), plain(general(p.C2_1))});
    t.rows.push_back({header(QStringLiteral("2 (ПИД)")), plain(onOff(r.PID_on)),
                      plain(onOff(p.prop_2)), plain(onOff(p.integ_2)), plain(onOff(p.diff_2)),
                      plain(general(p.C0_2)), plain(general(p.C1_2)), plain(general(p.C2_2))});
    pages_.table(t);
    pages_.paragraph(QStringLiteral("задание %1 °C; нагрев %2; интервал %3 мс")
                         .arg(general(r.Zadan), onOff(r.Nagrev))
                         .arg(r.Interval));
}

void ReportWriter::changes(const ArchiveReader& a) {
    pages_.heading(QStringLiteral("Изменения по ходу прогона"), 3);
    bool any = false;
    for (const ConfigChange& c : configHistory(a, sep_)) {
        if (c.changes.empty())
            continue;
        any = true;
        QStringList what;
        for (const std::string& s : c.changes)
            what << qs(s);
        const QString when = c.seconds
                                 ? QStringLiteral("отсчёт %1, %2 (t = %3 с)")
                                       .arg(c.position)
                                       .arg(qs(formatTimeOfDay(*c.timeOfDay)), fixed(*c.seconds))
                                 : QStringLiteral("отсчёт %1 (после последнего)").arg(c.position);
        pages_.paragraph(when + QStringLiteral(", запись %1: ").arg(c.record) +
                         what.join(QStringLiteral("; ")));
    }
    if (!any)
        pages_.paragraph(QStringLiteral("изменений не было"));
}

void ReportWriter::terms(const TControlParams& p) {
    pages_.heading(QStringLiteral("Термы"), 3);
    ReportTable t;
    std::vector<Cell> head{header(QStringLiteral("вход")), header(QStringLiteral("универсум"))};
    for (const char* b : {"A1", "B1", "A2", "B2", "C2", "A3", "B3"})
        head.push_back(header(QString::fromUtf8(b)));
    t.rows.push_back(head);
    auto row = [&](const QString& what, double left, double right,
                   std::initializer_list<double> points) {
        // Universe ends are kept in tenths.
        std::vector<Cell> cells{
            header(what), plain(general(-left / 10) + QStringLiteral(" … ") + general(right / 10))};
        for (double v : points)
            cells.push_back(plain(general(v)));
        t.rows.push_back(cells);
    };
    row(QStringLiteral("отклонение, °C"), p.otkl_left, p.otkl_right,
        {p.otkl_A1, p.otkl_B1, p.otkl_A2, p.otkl_B2, p.otkl_C2, p.otkl_A3, p.otkl_B3});
    row(QStringLiteral("скорость, °C/такт"), p.skor_left, p.skor_right,
        {p.skor_A1, p.skor_B1, p.skor_A2, p.skor_B2, p.skor_C2, p.skor_A3, p.skor_B3});
    pages_.table(t);

    MembershipChart deviation(termDeviationChartLook()), rate(termRateChartLook());
    deviation.setDecimalSeparator(sep_);
    rate.setDecimalSeparator(sep_);
    deviation.xAxis->setLabel(QStringLiteral("отклонение, °C"));
    rate.xAxis->setLabel(QStringLiteral("скорость, °C/такт"));
    showDeviationTerms(deviation, p);
    showRateTerms(rate, p);
    const double half = (pages_.width() - kGap) / 2;
    pages_.need(kTermChartHeight);
    chart("terms-otkl", deviation, kTermChartHeight, 0, half, false);
    chart("terms-skor", rate, kTermChartHeight, half + kGap, half);
}

void ReportWriter::rules(const TControlParams& p) {
    pages_.heading(QStringLiteral("База правил и выходные термы"), 3);
    // Rows the deviation's terms, columns the rate's, as the window's grid.
    const char* const names[] = {"о", "н", "п"};
    ReportTable grid;
    grid.fontPoints = 9;
    grid.rows.push_back({header(QStringLiteral("откл. \\ скорость")), header(names[0]),
                         header(names[1]), header(names[2])});
    for (int i = 0; i < 3; ++i) {
        std::vector<Cell> row{header(QString::fromUtf8(names[i]))};
        for (int j = 0; j < 3; ++j)
            row.push_back(plain(QString::number(p.m[static_cast<std::size_t>(3 * i + j)])));
        grid.rows.push_back(row);
    }
    pages_.table(grid);
    ReportTable out;
    std::vector<Cell> head{header(QStringLiteral("выходной терм"))},
        values{header(QStringLiteral("%"))};
    for (std::size_t n = 0; n < p.vih.size(); ++n) {
        head.push_back(header(QString::number(n + 1)));
        values.push_back(plain(QString::number(p.vih[n])));
    }
    out.rows = {head, values};
    pages_.table(out);
}

void ReportWriter::trend(const ComparedRun& r, const ArchiveReader& a) {
    pages_.heading(QStringLiteral("Ход прогона"), 3);
    const std::size_t n = a.SampleCount;
    std::vector<double> x(n), temper(n), zadan(n), tod(n);
    bool anySetpoint = false;
    for (std::size_t p = 1; p <= n; ++p) {
        x[p - 1] = double(p);
        temper[p - 1] = a.Samples[p].Temper;
        tod[p - 1] = a.Samples[p].Vremya;
        // Where no segment holds the sample there is no setpoint; the
        // temperature stands in, so the axis keeps the data's range.
        anySetpoint = anySetpoint || !std::isnan(r.zadan[p - 1]);
        zadan[p - 1] = std::isnan(r.zadan[p - 1]) ? temper[p - 1] : r.zadan[p - 1];
    }
    TrendChart chartOfRun;
    chartOfRun.setPoints(x, temper, zadan, tod);
    if (!anySetpoint)
        chartOfRun.setpointSeries()->data()->clear();
    chart("trend", chartOfRun, 240);
}

void ReportWriter::scorecard(const ComparedRun& r) {
    const QString title = QStringLiteral("Оценка переходного процесса");
    if (r.segments.empty()) {
        pages_.heading(title, 3);
        pages_.paragraph(QStringLiteral("нет отсчётов с заданием: оценивать нечего"));
        return;
    }
    const std::size_t fields = scoreFieldNames().size();
    std::vector<ReportTable> tables;
    for (std::size_t from = 0; from < r.segments.size(); from += kSegmentsPerTable) {
        const std::size_t to = std::min(r.segments.size(), from + kSegmentsPerTable);
        ReportTable t;
        std::vector<Cell> head{header(QStringLiteral("участок"))};
        for (std::size_t s = from; s < to; ++s) {
            const bool compared = r.step && r.step->first == r.segments[s].first;
            head.push_back(header(compared ? QStringLiteral("%1 (ступенька)").arg(s + 1)
                                           : QString::number(s + 1)));
        }
        t.rows.push_back(head);
        for (std::size_t f = 0; f < fields; ++f) {
            std::vector<Cell> row{header(scoreHeading(f))};
            for (std::size_t s = from; s < to; ++s)
                row.push_back(plain(qs(scoreCellText(r.segments[s], f, sep_))));
            t.rows.push_back(row);
        }
        tables.push_back(std::move(t));
    }
    // The heading goes where its first table does.
    pages_.heading(title, 3, pages_.tableHeight(tables.front()));
    for (const ReportTable& t : tables)
        pages_.table(t);
}

void ReportWriter::stepChart(const ComparedRun& r, const ArchiveReader& a, std::size_t stepNumber) {
    pages_.heading(QStringLiteral("Ступенька задания №%1").arg(stepNumber), 3);
    if (!r.step) {
        pages_.paragraph(QStringLiteral("нет ступеньки задания"));
        return;
    }
    const SegmentScore& s = *r.step;
    // A little of what came before, so the step itself shows.
    const std::size_t lead = std::min<std::size_t>(s.first - 1, (s.last - s.first) / 10 + 1);
    std::vector<double> x, temper, zadan, tod;
    for (std::size_t p = s.first - lead; p <= s.last && p <= a.SampleCount; ++p) {
        x.push_back(double(p));
        temper.push_back(a.Samples[p].Temper);
        zadan.push_back(std::isnan(r.zadan[p - 1]) ? a.Samples[p].Temper : r.zadan[p - 1]);
        tod.push_back(a.Samples[p].Vremya);
    }
    TrendChart chartOfStep;
    chartOfStep.setPoints(x, temper, zadan, tod);
    ScoreMarks marks = drawScoreMarks(chartOfStep, s, 0);
    // Room for the band and for the labels above the marks at the top.
    QCPRange y = chartOfStep.yAxis->range();
    y.lower = std::min(y.lower, s.setpoint - 2 * s.band);
    y.upper = std::max(y.upper, s.setpoint + 2 * s.band);
    y.upper += 0.12 * y.size();
    chartOfStep.yAxis->setRange(y);
    pages_.paragraph(QStringLiteral("отсчёты %1–%2: зона ±%3 °C, отметки 10 % и 90 % скачка, "
                                    "пик и установление")
                         .arg(s.first)
                         .arg(s.last)
                         .arg(fixed(s.band)));
    chart("step", chartOfStep, 230);
    removeScoreMarks(chartOfStep, marks);
}

void ReportWriter::surface(const ComparedRun& r, const ArchiveReader& a) {
    // The step's own configuration when it had the fuzzy regulator on, else
    // the first that had.
    std::optional<TControlParams> params;
    if (r.regulators && r.regulators->Fuzzy_on)
        params = r.regulators->params;
    for (std::size_t k = 1; !params && k <= a.ConfigCount; ++k)
        if (a.Configs[k].Fuzzy_on)
            params = a.Configs[k].params;
    if (!params)
        return;
    pages_.heading(QStringLiteral("Поверхность управления"), 3);
    const std::size_t first = r.step ? r.step->first : 1;
    const std::size_t last = r.step ? r.step->last : a.SampleCount;
    pages_.paragraph(QStringLiteral("выход нечёткой части, ед. ШИМ; линия — путь прогона по "
                                    "отсчётам %1–%2")
                         .arg(first)
                         .arg(last));
    SurfaceChart map;
    map.showSurface(computeSurface(*params, kWindowSurfaceGrid));
    std::vector<double> otkl, skor;
    for (const PathPoint& p : replayPath(a, first, last)) {
        otkl.push_back(p.otkl);
        skor.push_back(p.skor);
    }
    map.setPath(otkl, skor);
    chart("surface", map, 300);
}

void ReportWriter::experiments(const ComparedRun& r, const ArchiveReader& a) {
    for (const StepNote& note : readStepNotes(r.path)) {
        // The level the experiment's own fit took; an older note without it,
        // the default archive identify takes.
        const std::size_t baseline =
            note.baseline.value_or(std::min(kDefaultBaseline, note.first - 1));
        const auto span = archiveStepSpan(a, note.first, note.last, baseline);
        if (!span)
            continue; // the note names samples this archive does not hold
        pages_.heading(QStringLiteral("Опыт со ступенькой"), 3);
        pages_.paragraph(QStringLiteral("мощность %1 % → %2 % на отсчёте %3 (до него %4 тактов), "
                                        "отклик по отсчёт %5; интервал %6 мс")
                             .arg(note.fromPct)
                             .arg(note.toPct)
                             .arg(note.first)
                             .arg(note.hold)
                             .arg(note.last)
                             .arg(note.intervalMs));
        const StepIdentification id = identifyStep(*span, note.fromPct, note.toPct, kReportStepC);
        if (id.fit.refusal != FitRefusal::None) {
            pages_.paragraph(qs(fitRefusalText(id.fit, sep_)));
        } else {
            pages_.paragraph(modelText(id, span->intervalS, sep_));
            ReportTable t;
            std::vector<Cell> head{header(QStringLiteral("правило"))};
            for (std::size_t c = 0; c < 9; ++c)
                head.push_back(header(tuningHeading(c)));
            t.rows.push_back(head);
            for (const Tuning& tu : id.tunings) {
                std::vector<Cell> row{header(QString::fromUtf8(tuningRuleName(tu.rule)))};
                for (double v : {tu.textbook.Kc, tu.textbook.Ti, tu.textbook.Td, tu.regulator2.C0,
                                 tu.regulator2.C1, tu.regulator2.C2, tu.regulator1.C0,
                                 tu.regulator1.C1, tu.regulator1.C2})
                    row.push_back(plain(coefficientText(v, sep_)));
                t.rows.push_back(row);
            }
            pages_.table(t);
            for (const Tuning& tu : id.tunings)
                if (tu.saturates)
                    pages_.paragraph(qs(saturationWarning(tu, id.request, sep_)));
        }
        QCustomPlot fit;
        setUpStepFitChart(fit);
        drawStepFit(fit, *span, id);
        chart("fit", fit, 220);
    }
}

void ReportWriter::run(std::size_t index, const ComparedRun& r, const ArchiveReader& a,
                       std::size_t stepNumber) {
    pages_.heading(QStringLiteral("Прогон %1: %2").arg(index + 1).arg(name(r)), 2);
    QString about = QStringLiteral("файл %1; отсчётов %2").arg(qs(r.path)).arg(a.SampleCount);
    if (a.SampleCount > 0)
        about += QStringLiteral(", с %1 по %2 (%3 с)")
                     .arg(qs(formatTimeOfDay(a.Samples[1].Vremya)),
                          qs(formatTimeOfDay(a.Samples[a.SampleCount].Vremya)),
                          fixed(r.t.back() - r.t.front()));
    pages_.paragraph(about + QStringLiteral("; записей конфигурации %1").arg(a.ConfigCount));
    startConfiguration(a);
    changes(a);
    if (a.ConfigCount > 0) {
        const TControlParams& p = (r.regulators ? *r.regulators : a.Configs[1]).params;
        terms(p);
        rules(p);
    }
    trend(r, a);
    scorecard(r);
    stepChart(r, a, stepNumber);
    surface(r, a);
    experiments(r, a);
}

} // namespace

std::string reportPorts(const TSettings& s) {
    std::string com = "COM — нет";
    if (s.SavedComPort >= 1 && s.SavedComPort <= static_cast<int>(s.devices.com.size()))
        com = "COM" + std::to_string(s.SavedComPort) + " — " +
              s.devices.com[static_cast<std::size_t>(s.SavedComPort - 1)];
    return com + ", LPT — " + s.devices.lpt;
}

std::string programVersion() {
    return THERMO_VERSION;
}

std::string reportDate() {
    return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")).toStdString();
}

ReportOutcome writeLabReport(QIODevice& out, const ReportTitleBlock& title,
                             const std::vector<CompareInput>& runs, CompareAlign align,
                             std::size_t stepNumber, char sep) {
    ReportOutcome outcome;
    const Comparison c = compareRuns(runs, align, stepNumber);
    QPdfWriter writer(&out);
    writer.setTitle(qs(title.title.empty() ? kDefaultReportTitle : title.title));
    writer.setCreator(QStringLiteral("thermostand ") + qs(title.version));
    ReportPages pages(writer);
    if (!pages.ok()) {
        outcome.error = "the PDF writer could not start";
        return outcome;
    }
    ReportWriter w(writer, pages, sep, outcome);
    w.titleBlock(title, c);
    if (c.runs.size() > 1)
        w.comparison(c);
    for (std::size_t i = 0; i < c.runs.size(); ++i) {
        pages.newPage();
        w.run(i, c.runs[i], *runs[i].archive, c.stepNumber);
    }
    outcome.pages = pages.page();
    pages.finish();
    return outcome;
}

ReportOutcome writeLabReport(const std::string& path, const ReportTitleBlock& title,
                             const std::vector<CompareInput>& runs, CompareAlign align,
                             std::size_t stepNumber, char sep) {
    std::string problem;
    const std::string target = saveTarget(path, &problem);
    if (target.empty())
        return {"Cannot create file \"" + path + "\". " + problem, 0, {}};
    QSaveFile file(QString::fromStdString(target));
    if (!file.open(QIODevice::WriteOnly))
        return {"Cannot create file \"" + path + "\". " + file.errorString().toStdString(), 0, {}};
    ReportOutcome outcome = writeLabReport(file, title, runs, align, stepNumber, sep);
    if (outcome.error) {
        file.cancelWriting();
        return outcome;
    }
    if (!file.commit())
        outcome.error = "Cannot create file \"" + path + "\". " + file.errorString().toStdString();
    return outcome;
}

} // namespace thermo
