#pragma once
// The scheme window's picture: the block diagram of the control loop,
// 960 x 720, drawn with Qt. thermo_gen_pictures encodes it into
// resources/scheme.jpg; the test of the drawing reads where it put each
// block and each text, so a text that runs into a block, into another text or
// out of what the window shows is caught before anybody looks.

#include <QImage>
#include <QRectF>
#include <QString>
#include <vector>

namespace thermo {

struct SchemeText {
    QString text;
    QRectF box; // where the glyphs' ink goes
};

// A summing junction's circle, its pen included.
struct SchemeCircle {
    QPointF centre;
    double radius = 0;
};

struct SchemeDrawing {
    QImage image;
    std::vector<QRectF> blocks; // the boxes, their frame's pen included
    std::vector<SchemeCircle> junctions;
    std::vector<SchemeText> texts;
};

// The window shows the picture's top-left part unscaled (TF_Shema, 870 x 640)
// with its "закрыть" button near that corner: the diagram keeps inside
// kSchemeDiagramWidth x kSchemeDiagramHeight.
inline constexpr int kSchemeDiagramWidth = 850;
inline constexpr int kSchemeDiagramHeight = 560;

[[nodiscard]] SchemeDrawing drawScheme();

} // namespace thermo
