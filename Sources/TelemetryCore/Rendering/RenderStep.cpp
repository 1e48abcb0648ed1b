// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenderStep.h"

#include <algorithm>

#include "DrawingBounds.h"

namespace pacemark {

std::vector<bool> planStaticLayer(const std::vector<RenderStep>& steps) {
    std::vector<bool> cached(steps.size(), false);
    std::vector<DrawingRect> perFrame;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const RenderStep& step = steps[k];
        const bool blocked = std::any_of(perFrame.begin(), perFrame.end(),
                                         [&](const DrawingRect& b) { return bounds::intersects(b, step.bounds); });
        if (step.isStatic && !blocked) {
            cached[k] = true;
        } else {
            perFrame.push_back(step.bounds);
        }
    }
    return cached;
}

}  // namespace pacemark
