#include "analysis/ui/report_pages.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <algorithm>
#include <numeric>
#include <qcustomplot.h>

#include "widgets/layout_font.h"

namespace thermo {

namespace {

constexpr int kUnitsPerInch = 96;
constexpr double kFooter = 22;  // below the text, for the page number
constexpr double kCellPad = 3;  // each side of a cell's text
constexpr double kBlockGap = 6; // below a paragraph, a table or a chart
const QColor kHeaderFill(232, 232, 232);
const QColor kBestFill(198, 239, 206);
const QColor kRule(150, 150, 150);

QFont textFont(double points, bool bold = false) {
    QFont f = layoutFont(points);
    f.setBold(bold);
    return f;
}

} // namespace

ReportPages::ReportPages(QPdfWriter& writer) : writer_(writer) {
    writer_.setResolution(kUnitsPerInch);
    writer_.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(15, 12, 15, 10), QPageLayout::Millimeter));
    const QRect paint = writer_.pageLayout().paintRectPixels(kUnitsPerInch);
    width_ = paint.width();
    height_ = paint.height() - kFooter;
    painter_ = new QCPPainter(&writer_);
    if (painter_->isActive()) {
        // Charts as vector drawing: no cached pixmaps, no pixel-grid nudges,
        // and hairline pens made one unit wide so they print.
        painter_->setMode(QCPPainter::pmVectorized);
        painter_->setMode(QCPPainter::pmNoCaching);
        painter_->setMode(QCPPainter::pmNonCosmetic);
    }
}

ReportPages::~ReportPages() {
    finish();
    delete painter_;
}

bool ReportPages::ok() const {
    return painter_->isActive();
}

void ReportPages::finish() {
    if (finished_ || !ok())
        return;
    finished_ = true;
    pageFooter();
    painter_->end();
}

void ReportPages::pageFooter() {
    painter_->save();
    painter_->setFont(textFont(8));
    painter_->setPen(Qt::black);
    painter_->drawText(QRectF(0, height_, width_, kFooter), Qt::AlignHCenter | Qt::AlignBottom,
                       QStringLiteral("стр. %1").arg(page_));
    painter_->restore();
}

void ReportPages::newPage() {
    pageFooter();
    writer_.newPage();
    ++page_;
    y_ = 0;
}

void ReportPages::need(double height) {
    if (y_ > 0 && y_ + height > height_)
        newPage();
}

void ReportPages::heading(const QString& text, int level, double keep) {
    const double points = level == 1 ? 15 : level == 2 ? 12 : 10;
    const QFont f = textFont(points, true);
    painter_->setFont(f);
    const QRectF box = painter_->boundingRect(QRectF(0, 0, width_, 1e6), Qt::TextWordWrap, text);
    // A heading keeps some of what follows on its page.
    const double gapAbove = level == 1 ? 0 : level == 2 ? 8 : 5;
    need(gapAbove + box.height() + std::max(keep, level == 3 ? 150.0 : 60.0));
    if (y_ > 0)
        y_ += gapAbove;
    painter_->setPen(Qt::black);
    painter_->drawText(QRectF(0, y_, width_, box.height()), Qt::TextWordWrap, text);
    y_ += box.height() + 3;
}

void ReportPages::paragraph(const QString& text, double points) {
    painter_->setFont(textFont(points));
    const QRectF box = painter_->boundingRect(QRectF(0, 0, width_, 1e6), Qt::TextWordWrap, text);
    need(box.height());
    painter_->setPen(Qt::black);
    painter_->drawText(QRectF(0, y_, width_, box.height()), Qt::TextWordWrap, text);
    y_ += box.height() + kBlockGap / 2;
}

ReportPages::TableLayout ReportPages::layOut(const ReportTable& t) {
    TableLayout l;
    const QFont normal = textFont(t.fontPoints), bold = textFont(t.fontPoints, true);
    const QFontMetricsF fmNormal(normal, &writer_), fmBold(bold, &writer_);
    const double swatch = fmNormal.height() * 0.7;
    std::size_t columns = 0;
    for (const auto& row : t.rows)
        columns = std::max(columns, row.size());
    auto fontOf = [&](const ReportTable::Cell& c) { return c.header || c.best ? bold : normal; };
    auto textWidth = [&](const ReportTable::Cell& c) {
        const QFontMetricsF& fm = c.header || c.best ? fmBold : fmNormal;
        double w = 0;
        for (const QString& line : c.text.split('\n'))
            w = std::max(w, fm.horizontalAdvance(line));
        return w + (c.swatch.isValid() ? swatch + 3 : 0);
    };

    // Natural widths, the first column capped, then all shrunk to the page.
    std::vector<double> widths(columns, 0);
    for (const auto& row : t.rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            if (row[c].rowSpan == 1)
                widths[c] = std::max(widths[c], textWidth(row[c]) + 2 * kCellPad);
    if (columns > 1)
        widths[0] = std::min(widths[0], width_ * t.firstColumnMax);
    const double natural = std::accumulate(widths.begin(), widths.end(), 0.0);
    if (natural > width_)
        for (double& w : widths)
            w *= width_ / natural;

    // Row heights from the wrapped text; a cell spanning rows adds nothing.
    const int flags = Qt::TextWordWrap | Qt::AlignVCenter;
    auto cellTextRect = [&](const ReportTable::Cell& c, double w) {
        const double inner = w - 2 * kCellPad - (c.swatch.isValid() ? swatch + 3 : 0);
        painter_->setFont(fontOf(c));
        return painter_->boundingRect(QRectF(0, 0, std::max(inner, 1.0), 1e6), flags, c.text);
    };
    std::vector<double> heights(t.rows.size(), fmNormal.height() + 2 * kCellPad);
    for (std::size_t r = 0; r < t.rows.size(); ++r)
        for (std::size_t c = 0; c < t.rows[r].size(); ++c)
            if (t.rows[r][c].rowSpan == 1)
                heights[r] = std::max(heights[r], cellTextRect(t.rows[r][c], widths[c]).height() +
                                                      2 * kCellPad);
    l.widths = std::move(widths);
    l.heights = std::move(heights);
    l.total = std::accumulate(l.heights.begin(), l.heights.end(), 0.0);
    return l;
}

double ReportPages::tableHeight(const ReportTable& t) {
    return t.rows.empty() ? 0 : layOut(t).total;
}

void ReportPages::table(const ReportTable& t) {
    if (t.rows.empty())
        return;
    const QFont normal = textFont(t.fontPoints), bold = textFont(t.fontPoints, true);
    const QFontMetricsF fmNormal(normal, &writer_);
    const double swatch = fmNormal.height() * 0.7;
    std::size_t columns = 0;
    for (const auto& row : t.rows)
        columns = std::max(columns, row.size());
    auto fontOf = [&](const ReportTable::Cell& c) { return c.header || c.best ? bold : normal; };
    const int flags = Qt::TextWordWrap | Qt::AlignVCenter;
    const TableLayout l = layOut(t);
    const std::vector<double>& widths = l.widths;
    const std::vector<double>& heights = l.heights;
    need(l.total);

    std::vector<double> rowTop(t.rows.size() + 1, y_);
    for (std::size_t r = 0; r < t.rows.size(); ++r)
        rowTop[r + 1] = rowTop[r] + heights[r];
    std::vector<std::vector<bool>> covered(t.rows.size(), std::vector<bool>(columns, false));
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        double x = 0;
        for (std::size_t c = 0; c < columns; ++c) {
            const double w = widths[c];
            if (covered[r][c] || c >= t.rows[r].size()) {
                x += w;
                continue;
            }
            const ReportTable::Cell& cell = t.rows[r][c];
            const std::size_t last = std::min(t.rows.size(), r + std::max(cell.rowSpan, 1)) - 1;
            for (std::size_t k = r + 1; k <= last; ++k)
                covered[k][c] = true;
            const QRectF box(x, rowTop[r], w, rowTop[last + 1] - rowTop[r]);
            if (cell.header || cell.best)
                painter_->fillRect(box, cell.header ? kHeaderFill : kBestFill);
            painter_->setPen(QPen(kRule, 0.5));
            painter_->drawRect(box);
            QRectF inner = box.adjusted(kCellPad, kCellPad, -kCellPad, -kCellPad);
            if (cell.swatch.isValid()) {
                painter_->fillRect(
                    QRectF(inner.left(), inner.center().y() - swatch / 2, swatch, swatch),
                    cell.swatch);
                inner.setLeft(inner.left() + swatch + 3);
            }
            painter_->setFont(fontOf(cell));
            painter_->setPen(Qt::black);
            const bool number = t.valuesRight && !cell.header && c > 0 && cell.rowSpan == 1;
            painter_->drawText(inner, flags | (number ? Qt::AlignRight : Qt::AlignLeft), cell.text);
            x += w;
        }
    }
    y_ = rowTop.back() + kBlockGap;
}

QRectF ReportPages::chart(QCustomPlot& plot, double h, double x, double w, bool advance) {
    if (w <= 0)
        w = width_;
    need(h);
    const int pw = static_cast<int>(w), ph = static_cast<int>(h);
    // Laid out at this size first: the axes work out their ticks from the
    // layout before the one they are drawn in.
    plot.resize(pw, ph);
    plot.setViewport(QRect(0, 0, pw, ph));
    plot.replot();
    const QRectF where(x, y_, pw, ph);
    painter_->save();
    painter_->translate(where.topLeft());
    painter_->setClipRect(QRectF(0, 0, pw, ph));
    plot.toPainter(painter_, pw, ph);
    painter_->restore();
    if (advance)
        y_ += ph + kBlockGap;
    return where;
}

} // namespace thermo
