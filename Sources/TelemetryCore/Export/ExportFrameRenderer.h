// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "Layout/PacemarkWidget.h"
#include "Rendering/PixelBuffer.h"
#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetryMotion.h"

namespace pacemark {

// What the exporter needs of a frame renderer: draw an instant, and say which
// instants look the same. Frames whose keys are equal are identical, so the
// exporter renders and encodes only the first of a run. Called from the
// exporting thread only.
class ExportFrameRenderer {
public:
    virtual ~ExportFrameRenderer() = default;
    // Clears `into` and draws the overlay at `elapsedSeconds` of activity time.
    virtual void render(double elapsedSeconds, PixelBufferView into) const = 0;
    // Equal for two instants exactly when their frames are identical.
    virtual std::size_t frameKey(double elapsedSeconds) const = 0;
};

// Builds the renderer of one export (activity, layout, picture size, and the
// motion that decides what each instant shows and which frames repeat).
using ExportFrameRendererMaker = std::function<std::unique_ptr<const ExportFrameRenderer>(
    std::shared_ptr<const TelemetryActivity> activity, const PacemarkLayout& layout, std::int64_t width,
    std::int64_t height, const TelemetryMotion& motion)>;

}  // namespace pacemark
