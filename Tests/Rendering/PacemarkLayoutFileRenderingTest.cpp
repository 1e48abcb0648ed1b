#include <gtest/gtest.h>

#include "CairoDrawingSurface.h"
#include "CairoPNG.h"
#include "Layout/PacemarkLayoutFile.h"
#include "RideFixture.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "TestSupport.h"

using namespace pacemark;

namespace {

std::vector<std::uint8_t> renderedBytes(const PacemarkLayout& layout, double elapsed) {
    static const auto ride = pacemark::testing::makeRide(1200);
    const LayoutFrameRenderer renderer(ride, layout, 640, 360, std::make_shared<const CairoDrawingSurfaceFactory>());
    OwnedPixelBuffer frame(640, 360);
    renderer.render(elapsed, frame.view());
    return frame.bytes;
}

// Every kind in every style (styles cycle over the kinds twice), with odd
// frames, colours and captions, and one widget hidden.
PacemarkLayoutFile everyKindAndStyle() {
    PacemarkLayoutFile file = PacemarkLayoutFile::fromPreset(PacemarkPreset::raceBroadcast);
    file.layout.widgets.clear();
    const auto& kinds = TelemetryWidgetKind::allCases();
    const auto& styles = TelemetryWidgetPanelStyle::allCases();
    for (std::size_t k = 0; k < 2 * kinds.size(); ++k) {
        const double step = static_cast<double>(k) / static_cast<double>(2 * kinds.size());
        const std::string caption = k % 3 == 0 ? "" : k % 3 == 1 ? "Подъём № " + std::to_string(k) : " \U0001F6B4 ";
        file.layout.widgets.emplace_back(UUID::random(), kinds[k % kinds.size()],
                                         TelemetryWidgetFrame{step * 0.9, 1.0 / 3 + step * 0.4, 0.1 + step / 7, 0.07},
                                         caption, 0x10FF80 + static_cast<std::uint32_t>(k) * 0x010203, 0xC0C0C0 - k,
                                         0xFFFFFF - 0x0F0F0F * (k % 4), styles[k % styles.size()], k != 5);
    }
    return file;
}

}  // namespace

TEST(PacemarkLayoutFileRenderingTest, SavedAndOpenedLayoutsRenderTheSameFrames) {
    pacemark::testing::TemporaryFolder folder;
    std::vector<PacemarkLayoutFile> layouts;
    for (const PacemarkPreset preset : PacemarkPreset::allCases()) layouts.push_back(PacemarkLayoutFile::fromPreset(preset));
    layouts.push_back(everyKindAndStyle());
    for (const PacemarkLayoutFile& layout : layouts) {
        const auto path = folder / (std::string(layout.basePreset.caseName()) + ".pacemark-layout");
        layout.write(path);
        const PacemarkLayoutFile opened = PacemarkLayoutFile::read(path);
        EXPECT_EQ(opened, layout) << path;
        for (const double elapsed : {0.0, 700.0}) {
            EXPECT_EQ(renderedBytes(opened.layout, elapsed), renderedBytes(layout.layout, elapsed)) << path;
        }
    }
}
