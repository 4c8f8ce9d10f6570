#pragma once
// The lab report's pages as a PDF writer paints them: A4, a cursor running
// down each page, a block that does not fit below it moved to the next page,
// "стр. N" at the foot of each. Units are 1/96 inch, the pixels a chart is
// laid out in on screen, so a chart drawn here keeps its on-screen fonts and
// proportions; everything painted stays vector, the fonts embedded.

#include <cstddef>
#include <vector>

#include <QColor>
#include <QRectF>
#include <QString>

class QCustomPlot;
class QCPPainter;
class QPdfWriter;

namespace thermo {

// A table of text cells, row 0 its heading. Columns get the width their
// longest line asks for, shrunk together to the page when wider, the text
// then wrapped at blanks.
struct ReportTable {
    struct Cell {
        QString text;
        bool header = false; // bold on grey: the heading row and column
        bool best = false;   // bold on green: the best of its kind
        int rowSpan = 1;     // the cells it covers below are left out
        QColor swatch;       // a square of this colour before the text
    };
    std::vector<std::vector<Cell>> rows;
    double fontPoints = 7.5;
    // The first column's share of the width at most (its headings wrap).
    double firstColumnMax = 0.45;
    // Figures stand right-aligned under their heading; text reads from the left.
    bool valuesRight = true;
};

class ReportPages {
public:
    // Starts the first page. Check ok() before drawing.
    explicit ReportPages(QPdfWriter& writer);
    ~ReportPages();
    ReportPages(const ReportPages&) = delete;
    ReportPages& operator=(const ReportPages&) = delete;

    [[nodiscard]] bool ok() const;
    [[nodiscard]] double width() const { return width_; }
    [[nodiscard]] int page() const { return page_; }
    // Ends the last page (its number drawn). Nothing may be drawn after.
    void finish();

    void newPage();
    // A new page unless `height` fits below the cursor.
    void need(double height);
    void space(double height) { y_ += height; }

    // Level 1: the report's title; 2: a section (a run); 3: a block within it.
    // It goes to the next page unless `keep` (at least a few lines) of what
    // follows fits below it.
    void heading(const QString& text, int level, double keep = 0);
    // Wrapped text over the page's width, moved whole to the next page when
    // it does not fit.
    void paragraph(const QString& text, double points = 9);
    void table(const ReportTable& t);
    // The height table(t) takes.
    [[nodiscard]] double tableHeight(const ReportTable& t);
    // The chart laid out at w x h (the page's width when w is 0) and drawn
    // at the cursor's left + x; the cursor moves below it when `advance`.
    // Where it went, in page units.
    QRectF chart(QCustomPlot& plot, double h, double x = 0, double w = 0, bool advance = true);

private:
    struct TableLayout {
        std::vector<double> widths, heights;
        double total = 0;
    };
    TableLayout layOut(const ReportTable& t);
    void pageFooter();

    QPdfWriter& writer_;
    QCPPainter* painter_;
    double width_ = 0, height_ = 0, y_ = 0;
    int page_ = 1;
    bool finished_ = false;
};

} // namespace thermo
