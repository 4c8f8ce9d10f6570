#pragma once
// A QPaintDevice that records what is painted on it as a placeable Windows
// metafile: lines and areas become polylines, polygons and rectangles with
// their pens and brushes, text stays text (a font of the Cyrillic character
// set, CP1251 bytes), images become bitmaps. One logical pixel of the device
// is `unitsPerPixel` metafile units, so that lines keep sub-pixel positions;
// the header's inch is 96 pixels, the size the picture had on screen.

#include <QPaintDevice>
#include <memory>
#include <vector>

namespace thermo {

class WmfPaintEngine;

class WmfPaintDevice : public QPaintDevice {
public:
    // width and height in pixels, at most 32767 units each after scaling.
    WmfPaintDevice(int width, int height);
    ~WmfPaintDevice() override;

    QPaintEngine* paintEngine() const override;

    // The metafile of everything painted so far (complete once the painter
    // has ended).
    [[nodiscard]] std::vector<std::uint8_t> metafile() const;
    [[nodiscard]] int unitsPerPixel() const { return unitsPerPixel_; }

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int width_, height_, unitsPerPixel_;
    std::unique_ptr<WmfPaintEngine> engine_;
};

} // namespace thermo
