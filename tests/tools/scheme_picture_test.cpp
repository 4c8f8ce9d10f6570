// The scheme window's picture as drawn: where each block and each text went.
#include <gtest/gtest.h>

#include <QPushButton>
#include <algorithm>
#include <cmath>

#include "tools/scheme_picture.h"
#include "ui_aux/shema.h"

using namespace thermo;

namespace {

// Ink closer than this to a line it does not belong to reads as touching it.
constexpr double kClear = 3;

QRectF grown(const QRectF& r, double by) {
    return r.adjusted(-by, -by, by, by);
}

// How far a rectangle's nearest point lies from a point outside it.
double distance(const QRectF& r, QPointF p) {
    const double dx = std::max({r.left() - p.x(), 0.0, p.x() - r.right()});
    const double dy = std::max({r.top() - p.y(), 0.0, p.y() - r.bottom()});
    return std::hypot(dx, dy);
}

} // namespace

// "ШИМ" ran into the plant block's frame. Every text keeps clear of every
// block it is not written in, of the summing junctions, of every other text
// and of the window's button, and stands inside what the window shows; a
// block's own text keeps clear of its frame.
TEST(SchemePicture, EveryTextStandsClearOfBlocksAndTextsInsideTheWindow) {
    const SchemeDrawing d = drawScheme();
    ASSERT_EQ(d.image.size(), QSize(960, 720));
    ASSERT_EQ(d.blocks.size(), 8u);
    ASSERT_EQ(d.junctions.size(), 4u);
    ASSERT_GE(d.texts.size(), 30u);
    const TF_Shema window;
    const QRectF shown(0, 0, TF_Shema::kWidth, TF_Shema::kHeight);
    const QRectF diagram(0, 0, kSchemeDiagramWidth, kSchemeDiagramHeight);
    const QRectF button = window.Button1->geometry();
    for (const QRectF& b : d.blocks)
        EXPECT_TRUE(diagram.contains(b)) << b.right() << ',' << b.bottom();
    for (std::size_t i = 0; i < d.texts.size(); ++i) {
        const SchemeText& t = d.texts[i];
        const std::string name = t.text.toStdString();
        EXPECT_TRUE(shown.contains(t.box)) << name;
        EXPECT_FALSE(grown(t.box, kClear).intersects(button)) << name;
        for (const QRectF& b : d.blocks) {
            if (b.contains(t.box))
                EXPECT_TRUE(grown(b, -kClear).contains(t.box)) << name << " on its frame";
            else
                EXPECT_FALSE(grown(t.box, kClear).intersects(b))
                    << name << " touches the block at " << b.x() << ',' << b.y();
        }
        for (const SchemeCircle& c : d.junctions)
            EXPECT_GE(distance(t.box, c.centre), c.radius + kClear)
                << name << " touches the junction at " << c.centre.x() << ',' << c.centre.y();
        for (std::size_t j = i + 1; j < d.texts.size(); ++j)
            EXPECT_FALSE(grown(t.box, 1).intersects(d.texts[j].box))
                << name << " / " << d.texts[j].text.toStdString();
    }
}
