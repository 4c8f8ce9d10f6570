// The membership chart: series names and colours, what show() and clear()
// leave in the series, the tick labels' separator, the double click.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "widgets/membership_chart.h"

namespace thermo {
namespace {

std::vector<CurvePoint> defaultDeviationCurve() {
    TControlParams p;
    std::vector<CurvePoint> curve;
    membershipCurve(p.otkl_left, p.otkl_right, deviationTerms(p), curve);
    return curve;
}

TEST(MembershipChart, LooksOfTheFourCharts) {
    const struct {
        MembershipChartLook look;
        bool marker;
        const char* names[4];
        QColor colours[4];
    } cases[] = {
        {mainDeviationChartLook(),
         true,
         {"Series4", "Series5", "Series6", "Series7"},
         {{255, 255, 128}, {128, 255, 0}, {255, 0, 128}, {255, 128, 255}}},
        {mainRateChartLook(),
         true,
         {"FastLineSeries1", "FastLineSeries2", "FastLineSeries3", "FastLineSeries4"},
         {{255, 255, 128}, {128, 255, 0}, {255, 0, 128}, {255, 128, 255}}},
        {termDeviationChartLook(),
         false,
         {"", "FastLineSeries1", "FastLineSeries2", "FastLineSeries3"},
         {{}, {255, 255, 128}, {128, 255, 0}, {255, 0, 128}}},
        {termRateChartLook(),
         false,
         {"", "FastLineSeries5", "FastLineSeries6", "FastLineSeries7"},
         {{}, {255, 255, 128}, {128, 255, 0}, {255, 0, 128}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names[1]);
        MembershipChart chart(c.look);
        ASSERT_EQ(chart.graphCount(), c.marker ? 4 : 3);
        ASSERT_EQ(chart.markerSeries() != nullptr, c.marker);
        if (c.marker) {
            EXPECT_EQ(chart.graph(0), chart.markerSeries());
            EXPECT_EQ(chart.markerSeries()->name(), c.names[0]);
            EXPECT_EQ(chart.markerSeries()->pen().color(), c.colours[0]);
        }
        for (int t = 1; t <= 3; ++t) {
            QCPGraph* g = chart.termSeries(t);
            ASSERT_NE(g, nullptr);
            EXPECT_EQ(g->name(), c.names[t]);
            EXPECT_EQ(g->objectName(), c.names[t]);
            EXPECT_EQ(g->pen().color(), c.colours[t]);
        }
        EXPECT_EQ(chart.yAxis->range(), QCPRange(0, 1));
    }
}

TEST(MembershipChart, ShowDrawsCurvesAndAFullHeightMarker) {
    MembershipChart chart(mainDeviationChartLook());
    const auto curve = defaultDeviationCurve();
    chart.show(curve, 1.5);
    ASSERT_EQ(chart.termSeries(2)->dataCount(), 67);
    // The curves are exactly what the controller computes, point by point.
    auto it = chart.termSeries(2)->data()->constBegin();
    for (const CurvePoint& p : curve) {
        EXPECT_EQ(it->key, p.v);
        EXPECT_EQ(it->value, p.mu2);
        ++it;
    }
    const auto* m = chart.markerSeries()->data().data();
    ASSERT_EQ(m->size(), 2);
    EXPECT_EQ(m->at(0)->key, 1.5);
    EXPECT_EQ(m->at(1)->key, 1.5);
    EXPECT_EQ(m->at(0)->value, 0.0);
    EXPECT_EQ(m->at(1)->value, 1.0);
    EXPECT_DOUBLE_EQ(chart.xAxis->range().lower, -3.3);
    EXPECT_DOUBLE_EQ(chart.xAxis->range().upper, 3.3);
    EXPECT_EQ(chart.yAxis->range(), QCPRange(0, 1));

    // A second evaluation replaces, never appends.
    chart.show(curve, -0.5);
    EXPECT_EQ(chart.termSeries(1)->dataCount(), 67);
    EXPECT_EQ(chart.markerSeries()->dataCount(), 2);
    EXPECT_EQ(chart.markerSeries()->data()->at(0)->key, -0.5);

    chart.clear();
    for (int g = 0; g < chart.graphCount(); ++g)
        EXPECT_EQ(chart.graph(g)->dataCount(), 0) << g;
}

// A tick moves the marker over unchanged curves: only the marker's layer is
// drawn again, and the chart looks as a whole replot would have drawn it.
TEST(MembershipChart, AMarkerMovedAloneLooksAsAWholeReplotDrawsIt) {
    const auto curve = defaultDeviationCurve();
    MembershipChart moved(mainDeviationChartLook()), whole(mainDeviationChartLook());
    for (MembershipChart* c : {&moved, &whole}) {
        c->resize(220, 140);
        c->QWidget::show();
    }
    QSignalSpy replots(&moved, &QCustomPlot::beforeReplot);
    moved.show(curve, 1.5);
    QCoreApplication::processEvents();
    const qsizetype drawn = replots.count();
    ASSERT_GE(drawn, 1);
    moved.show(curve, -0.5);
    QCoreApplication::processEvents();
    EXPECT_EQ(replots.count(), drawn) << "the whole chart replotted for a marker";
    whole.show(curve, -0.5);
    QCoreApplication::processEvents();
    EXPECT_EQ(moved.grab().toImage(), whole.grab().toImage());

    TControlParams wider; // new terms: the curves are drawn again
    wider.otkl_right += 1;
    showDeviationTerms(moved, wider, -0.5);
    QCoreApplication::processEvents();
    EXPECT_EQ(replots.count(), drawn + 1);
}

TEST(MembershipChart, MarkerWithoutCurveAndChartWithoutMarker) {
    MembershipChart main(mainRateChartLook());
    main.show({}, 0.0);
    EXPECT_EQ(main.markerSeries()->dataCount(), 2);
    EXPECT_EQ(main.termSeries(1)->dataCount(), 0);
    EXPECT_LT(main.xAxis->range().lower, 0.0);
    EXPECT_GT(main.xAxis->range().upper, 0.0);

    MembershipChart term(termRateChartLook());
    term.show(defaultDeviationCurve(), 1.0); // the marker value has nowhere to go
    EXPECT_EQ(term.graphCount(), 3);
}

// The locale's separator by default, or the one the owner passes.
TEST(MembershipChart, TickLabelsInGeneralFormWithTheSeparator) {
    const struct {
        const char* what;
        QLocale locale;
        char explicitSep; // 0: none passed
        QChar want, other;
    } cases[] = {
        {"Russian locale", QLocale(QLocale::Russian, QLocale::Russia), 0, ',', '.'},
        {"C locale", QLocale::c(), 0, '.', ','},
        {"passed comma", QLocale::c(), ',', ',', '.'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QLocale::setDefault(c.locale);
        MembershipChart chart(mainDeviationChartLook());
        QLocale::setDefault(QLocale::c());
        if (c.explicitSep)
            chart.setDecimalSeparator(c.explicitSep);
        chart.resize(300, 180);
        chart.show(defaultDeviationCurve(), 0.0);
        chart.replot();
        QStringList labels = chart.xAxis->tickVectorLabels().toList();
        labels += chart.yAxis->tickVectorLabels().toList();
        ASSERT_FALSE(labels.isEmpty());
        EXPECT_TRUE(labels.contains("0"));
        bool found = false;
        for (const QString& l : labels) {
            EXPECT_FALSE(l.contains(c.other)) << l.toStdString();
            EXPECT_FALSE(l.contains('e', Qt::CaseInsensitive)) << l.toStdString();
            found = found || l.contains(c.want);
        }
        EXPECT_TRUE(found) << labels.join(' ').toStdString();
    }
}

TEST(MembershipChart, DoubleClickIsSignalled) {
    MembershipChart chart(mainDeviationChartLook());
    chart.resize(200, 120);
    chart.show();
    QSignalSpy spy(&chart, &MembershipChart::doubleClicked);
    QTest::mouseDClick(&chart, Qt::LeftButton, {}, QPoint(100, 60));
    EXPECT_EQ(spy.count(), 1);
}

} // namespace
} // namespace thermo
