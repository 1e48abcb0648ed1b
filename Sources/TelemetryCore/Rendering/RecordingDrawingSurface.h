// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "DrawingSurface.h"

namespace pacemark {

// One call made on a RecordingDrawingSurface, with its arguments and the
// state in force once the call was made.
struct RecordedDrawingCall {
    enum class Type : std::uint8_t {
        clear,
        saveState,
        restoreState,
        setFillColor,
        setStrokeColor,
        setLineWidth,
        setLineCap,
        setLineJoin,
        setShadow,
        clipToRect,
        clipToPath,
        addPath,
        fillPath,
        strokePath,
        fillEllipse,
        strokeEllipse,
        drawLinearGradient,
        drawText,
    };

    Type type = Type::clear;
    DrawingRect rect;          // clear, clipToRect, fillEllipse, strokeEllipse, drawText
    DrawingPath path;          // addPath: the path added; fillPath, strokePath, clipToPath: the whole path used
    DrawingColor color;        // setFillColor, setStrokeColor, drawText; drawLinearGradient: start colour
    DrawingColor endColor;     // drawLinearGradient
    DrawingPoint start;        // drawLinearGradient
    DrawingPoint end;          // drawLinearGradient
    double lineWidth = 0;      // setLineWidth
    DrawingLineCap lineCap = DrawingLineCap::butt;
    DrawingLineJoin lineJoin = DrawingLineJoin::miter;
    DrawingShadow shadow;      // setShadow
    std::string text;          // drawText
    DrawingFont font;          // drawText
    DrawingTextAlignment alignment = DrawingTextAlignment::left;
    DrawingState state;        // the state after the call

    // Fills, strokes, ellipses, gradients and texts: the calls that change pixels.
    bool isPainting() const;
};

// A surface that draws nothing and records every call, for tests of what the
// renderers ask for. It keeps the state stack like a real surface so that each
// painting call carries the colours, line state, shadow and clip it used.
class RecordingDrawingSurface final : public DrawingSurface {
public:
    RecordingDrawingSurface(std::int64_t width, std::int64_t height) : width_(width), height_(height) {}

    // When set, drawLinearGradient reports failure (records the call, paints nothing).
    void setGradientsFail(bool fail) { gradientsFail_ = fail; }

    const std::vector<RecordedDrawingCall>& calls() const { return calls_; }
    // Only the painting calls, in order.
    std::vector<RecordedDrawingCall> paintingCalls() const;
    // The texts drawn, in order.
    std::vector<std::string> texts() const;
    void reset();

    std::int64_t width() const override { return width_; }
    std::int64_t height() const override { return height_; }
    void clear(DrawingRect rect) override;
    void saveState() override;
    void restoreState() override;
    void setFillColor(DrawingColor color) override;
    void setStrokeColor(DrawingColor color) override;
    void setLineWidth(double width) override;
    void setLineCap(DrawingLineCap cap) override;
    void setLineJoin(DrawingLineJoin join) override;
    void setShadow(DrawingShadow shadow) override;
    void clipToRect(DrawingRect rect) override;
    void clipToPath() override;
    void addPath(const DrawingPath& path) override;
    void fillPath() override;
    void strokePath() override;
    void fillEllipse(DrawingRect rect) override;
    void strokeEllipse(DrawingRect rect) override;
    bool drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                            DrawingPoint end) override;
    void drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                  DrawingTextAlignment alignment) override;

private:
    RecordedDrawingCall& record(RecordedDrawingCall::Type type);

    std::int64_t width_;
    std::int64_t height_;
    bool gradientsFail_ = false;
    DrawingState state_;
    std::vector<DrawingState> stack_;
    DrawingPath currentPath_;
    std::vector<RecordedDrawingCall> calls_;
};

}  // namespace pacemark
