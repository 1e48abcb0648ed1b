// SPDX-License-Identifier: GPL-3.0-or-later
#include "OverlayCompositor.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace pacemark {

namespace {

// Transparent gaps shorter than this (in samples) stay inside a run: a run's
// bookkeeping costs more than blending a few samples with "keep everything".
constexpr std::int32_t runGapSamples = 16;
constexpr std::uint32_t one = 1u << OverlayCompositor::shareBits;

struct MatrixWeights {
    double red;
    double blue;
};

MatrixWeights weights(YUVMatrix matrix) {
    switch (matrix) {
        case YUVMatrix::bt601: return {0.299, 0.114};
        case YUVMatrix::bt709: return {0.2126, 0.0722};
        case YUVMatrix::bt2020: return {0.2627, 0.0593};
    }
    return {0.2126, 0.0722};
}

// A premultiplied overlay pixel in the clip's code values: alpha (0…1) and
// the premultiplied Y', Cb, Cr contributions in code units of the bit depth.
struct Contribution {
    double alpha = 0;
    double luma = 0;
    double blue = 0;
    double red = 0;
};

// HDR reference white: 203 cd/m² (ITU-R BT.2408), as PQ's share of 10 000
// cd/m² and as HLG's scene light (the light whose HLG signal is 0.75).
constexpr double pqReferenceWhite = 203.0 / 10000.0;
constexpr double hlgA = 0.17883277;
constexpr double hlgB = 1.0 - 4.0 * hlgA;
const double hlgC = 0.5 - hlgA * std::log(4.0 * hlgA);
const double hlgReferenceWhite = (std::exp((0.75 - hlgC) / hlgA) + hlgB) / 12.0;

double srgbToLinear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

double pqEncode(double light) {
    constexpr double m1 = 2610.0 / 16384.0, m2 = 2523.0 / 4096.0 * 128.0;
    constexpr double c1 = 3424.0 / 4096.0, c2 = 2413.0 / 4096.0 * 32.0, c3 = 2392.0 / 4096.0 * 32.0;
    const double p = std::pow(std::max(light, 0.0), m1);
    return std::pow((c1 + c2 * p) / (1.0 + c3 * p), m2);
}

double hlgEncode(double light) {
    light = std::max(light, 0.0);
    return light <= 1.0 / 12.0 ? std::sqrt(3.0 * light) : hlgA * std::log(12.0 * light - hlgB) + hlgC;
}

// A straight (not premultiplied) sRGB colour as the HDR clip's R'G'B'.
void toHDRSignal(double& r, double& g, double& b, YUVTransfer transfer) {
    const double lr = srgbToLinear(r), lg = srgbToLinear(g), lb = srgbToLinear(b);
    // BT.709 primaries to BT.2020 (ITU-R BT.2087).
    const double wr = 0.6274 * lr + 0.3293 * lg + 0.0433 * lb;
    const double wg = 0.0691 * lr + 0.9195 * lg + 0.0114 * lb;
    const double wb = 0.0164 * lr + 0.0880 * lg + 0.8956 * lb;
    if (transfer == YUVTransfer::pq) {
        r = pqEncode(wr * pqReferenceWhite);
        g = pqEncode(wg * pqReferenceWhite);
        b = pqEncode(wb * pqReferenceWhite);
    } else {
        r = hlgEncode(wr * hlgReferenceWhite);
        g = hlgEncode(wg * hlgReferenceWhite);
        b = hlgEncode(wb * hlgReferenceWhite);
    }
}

Contribution contribution(std::uint32_t bgra, const YUVPictureFormat& format, MatrixWeights k) {
    double b = static_cast<double>(bgra & 0xff) / 255.0;
    double g = static_cast<double>((bgra >> 8) & 0xff) / 255.0;
    double r = static_cast<double>((bgra >> 16) & 0xff) / 255.0;
    const double a = static_cast<double>(bgra >> 24) / 255.0;
    if (format.transfer != YUVTransfer::sdr && a > 0) {
        // The curves are not linear: convert the straight colour, then
        // premultiply again.
        r = std::min(r / a, 1.0);
        g = std::min(g / a, 1.0);
        b = std::min(b / a, 1.0);
        toHDRSignal(r, g, b, format.transfer);
        r *= a;
        g *= a;
        b *= a;
    }
    const double y = k.red * r + (1.0 - k.red - k.blue) * g + k.blue * b;
    const double cb = (b - y) / (2.0 * (1.0 - k.blue));
    const double cr = (r - y) / (2.0 * (1.0 - k.red));
    Contribution c;
    c.alpha = a;
    if (format.fullRange) {
        const double top = std::ldexp(1.0, format.bitDepth) - 1.0;
        const double middle = std::ldexp(1.0, format.bitDepth - 1);
        c.luma = y * top;
        c.blue = middle * a + cb * top;
        c.red = middle * a + cr * top;
    } else {
        const double scale = std::ldexp(1.0, format.bitDepth - 8);
        c.luma = (16.0 * a + 219.0 * y) * scale;
        c.blue = (128.0 * a + 224.0 * cb) * scale;
        c.red = (128.0 * a + 224.0 * cr) * scale;
    }
    return c;
}

std::uint16_t keepShare(double alpha) {
    return static_cast<std::uint16_t>(std::lround((1.0 - alpha) * one));
}

// The addition with the rounding of the final shift folded in.
std::uint32_t addition(double value) {
    return static_cast<std::uint32_t>(std::lround(std::max(value, 0.0) * one)) + one / 2;
}

// Runs of `count` samples where covered(i) holds, joined over short gaps.
template <typename Covered>
void appendRuns(std::int32_t row, std::int32_t count, Covered&& covered, std::vector<std::pair<std::int32_t, std::int32_t>>& spans) {
    spans.clear();
    std::int32_t x = 0;
    while (x < count) {
        while (x < count && !covered(x)) ++x;
        if (x == count) break;
        const std::int32_t first = x;
        std::int32_t last = x;  // one past the last covered sample
        while (x < count) {
            if (covered(x)) {
                last = ++x;
            } else if (x - last < runGapSamples) {
                ++x;
            } else {
                break;
            }
        }
        spans.emplace_back(first, last);
    }
    (void)row;
}

template <typename Sample>
void blendRuns(const std::vector<std::uint16_t>& keep, const std::vector<std::uint32_t>& add, std::size_t firstEntry,
               std::int32_t count, Sample* samples, std::uint32_t top) {
    const std::uint16_t* k = keep.data() + firstEntry;
    const std::uint32_t* a = add.data() + firstEntry;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t value = (static_cast<std::uint32_t>(samples[i]) * k[i] + a[i]) >> OverlayCompositor::shareBits;
        samples[i] = static_cast<Sample>(std::min(value, top));
    }
}

}  // namespace

OverlayCompositor::OverlayCompositor(YUVPictureFormat format, std::int64_t width, std::int64_t height,
                                     int clockwiseRotationDegrees)
    : format_(format), width_(width), height_(height), rotation_(clockwiseRotationDegrees) {
    if (width <= 0 || height <= 0 || format.bitDepth < 8 || format.bitDepth > 16 || format.chromaShiftX < 0 ||
        format.chromaShiftX > 2 || format.chromaShiftY < 0 || format.chromaShiftY > 2 ||
        (rotation_ != 0 && rotation_ != 90 && rotation_ != 180 && rotation_ != 270)) {
        throw std::invalid_argument("OverlayCompositor: unsupported picture");
    }
}

std::int64_t OverlayCompositor::overlayWidth() const { return rotation_ % 180 == 0 ? width_ : height_; }
std::int64_t OverlayCompositor::overlayHeight() const { return rotation_ % 180 == 0 ? height_ : width_; }

std::int64_t OverlayCompositor::coveredLumaSamples() const { return static_cast<std::int64_t>(luma_.keep.size()); }

void OverlayCompositor::setOverlay(PixelBufferView overlay) {
    if (!overlay.isValid() || overlay.width != overlayWidth() || overlay.height != overlayHeight()) {
        throw std::invalid_argument("OverlayCompositor: overlay of the wrong size");
    }
    uprightOverlay(overlay);
    convertLuma();
    convertChroma();
}

// The stored picture at (x, y) shows the upright picture turned clockwise by
// the rotation; so the stored sample at (x, y) takes the upright pixel the
// turn brings there.
void OverlayCompositor::uprightOverlay(PixelBufferView overlay) {
    stored_.resize(static_cast<std::size_t>(width_ * height_));
    const std::int64_t w = width_;
    const std::int64_t h = height_;
    for (std::int64_t y = 0; y < h; ++y) {
        std::uint32_t* out = stored_.data() + y * w;
        if (rotation_ == 0) {
            const auto* in = reinterpret_cast<const std::uint32_t*>(overlay.row(y));
            std::copy(in, in + w, out);
            continue;
        }
        for (std::int64_t x = 0; x < w; ++x) {
            std::int64_t ux = 0, uy = 0;
            if (rotation_ == 90) {
                ux = h - 1 - y;
                uy = x;
            } else if (rotation_ == 180) {
                ux = w - 1 - x;
                uy = h - 1 - y;
            } else {
                ux = y;
                uy = w - 1 - x;
            }
            out[x] = reinterpret_cast<const std::uint32_t*>(overlay.row(uy))[ux];
        }
    }
}

void OverlayCompositor::convertLuma() {
    const MatrixWeights k = weights(format_.matrix);
    luma_ = {};
    std::vector<std::pair<std::int32_t, std::int32_t>> spans;
    for (std::int32_t y = 0; y < static_cast<std::int32_t>(height_); ++y) {
        const std::uint32_t* row = stored_.data() + static_cast<std::int64_t>(y) * width_;
        appendRuns(y, static_cast<std::int32_t>(width_), [row](std::int32_t x) { return (row[x] >> 24) != 0; }, spans);
        for (const auto& [first, last] : spans) {
            luma_.runs.push_back({y, first, last - first, luma_.keep.size()});
            for (std::int32_t x = first; x < last; ++x) {
                const Contribution c = contribution(row[x], format_, k);
                luma_.keep.push_back(keepShare(c.alpha));
                luma_.add[0].push_back(addition(c.luma));
            }
        }
    }
}

// A chroma sample covers a block of luma samples; its share and addition are
// the block's means (the premultiplied overlay filtered down to the chroma grid).
void OverlayCompositor::convertChroma() {
    const MatrixWeights k = weights(format_.matrix);
    chroma_ = {};
    const std::int32_t blockWidth = 1 << format_.chromaShiftX;
    const std::int32_t blockHeight = 1 << format_.chromaShiftY;
    const auto chromaWidth = static_cast<std::int32_t>((width_ + blockWidth - 1) >> format_.chromaShiftX);
    const auto chromaHeight = static_cast<std::int32_t>((height_ + blockHeight - 1) >> format_.chromaShiftY);
    std::vector<std::pair<std::int32_t, std::int32_t>> spans;
    for (std::int32_t cy = 0; cy < chromaHeight; ++cy) {
        const std::int32_t firstRow = cy * blockHeight;
        const std::int32_t lastRow = std::min<std::int32_t>(firstRow + blockHeight, static_cast<std::int32_t>(height_));
        auto covered = [&](std::int32_t cx) {
            const std::int32_t firstColumn = cx * blockWidth;
            const std::int32_t lastColumn = std::min<std::int32_t>(firstColumn + blockWidth, static_cast<std::int32_t>(width_));
            for (std::int32_t y = firstRow; y < lastRow; ++y) {
                const std::uint32_t* row = stored_.data() + static_cast<std::int64_t>(y) * width_;
                for (std::int32_t x = firstColumn; x < lastColumn; ++x) {
                    if ((row[x] >> 24) != 0) return true;
                }
            }
            return false;
        };
        appendRuns(cy, chromaWidth, covered, spans);
        for (const auto& [first, last] : spans) {
            chroma_.runs.push_back({cy, first, last - first, chroma_.keep.size()});
            for (std::int32_t cx = first; cx < last; ++cx) {
                const std::int32_t firstColumn = cx * blockWidth;
                const std::int32_t lastColumn =
                    std::min<std::int32_t>(firstColumn + blockWidth, static_cast<std::int32_t>(width_));
                Contribution sum;
                int samples = 0;
                for (std::int32_t y = firstRow; y < lastRow; ++y) {
                    const std::uint32_t* row = stored_.data() + static_cast<std::int64_t>(y) * width_;
                    for (std::int32_t x = firstColumn; x < lastColumn; ++x) {
                        const Contribution c = contribution(row[x], format_, k);
                        sum.alpha += c.alpha;
                        sum.blue += c.blue;
                        sum.red += c.red;
                        ++samples;
                    }
                }
                chroma_.keep.push_back(keepShare(sum.alpha / samples));
                chroma_.add[0].push_back(addition(sum.blue / samples));
                chroma_.add[1].push_back(addition(sum.red / samples));
            }
        }
    }
}

void OverlayCompositor::composite(const YUVPlanes& picture) const {
    const auto top = static_cast<std::uint32_t>((1u << format_.bitDepth) - 1);
    const bool wide = format_.bitDepth > 8;
    auto blendPlane = [&](const PlaneRuns& runs, int addIndex, int plane) {
        for (const Run& run : runs.runs) {
            std::uint8_t* row = picture.data[plane] + static_cast<std::ptrdiff_t>(run.row) * picture.bytesPerRow[plane];
            if (wide) {
                blendRuns(runs.keep, runs.add[addIndex], run.firstEntry, run.columnCount,
                          reinterpret_cast<std::uint16_t*>(row) + run.firstColumn, top);
            } else {
                blendRuns(runs.keep, runs.add[addIndex], run.firstEntry, run.columnCount, row + run.firstColumn, top);
            }
        }
    };
    blendPlane(luma_, 0, 0);
    blendPlane(chroma_, 0, 1);
    blendPlane(chroma_, 1, 2);
}

}  // namespace pacemark
