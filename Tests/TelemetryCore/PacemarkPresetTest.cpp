// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

}  // namespace

// What every preset promises its users, whatever its table says: widgets that
// fit the picture as they are (clamping changes nothing), all visible, no
// kind twice, captions only where the cinematic style needs its
// short upper-case labels, and fresh widget ids each time it is applied.
TEST(PacemarkPresetTest, EveryPresetIsAUsableLayout) {
    for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        EXPECT_EQ(PacemarkPreset::fromRawValueOrCaseName(preset.rawValue()), preset);
        EXPECT_EQ(PacemarkPreset::fromRawValueOrCaseName(preset.caseName()), preset);
        const auto layout = PacemarkLayout::preset(preset);
        std::set<Kind::Value> kinds;
        for (const PacemarkWidget& w : layout.widgets) {
            EXPECT_EQ(w.frame.clamped(), w.frame);
            EXPECT_TRUE(w.isVisible);
            EXPECT_TRUE(kinds.insert(w.kind).second) << w.kind.rawValue();
            const bool captioned = w.panelStyle == Style::cinematic && w.kind != Kind::progress;
            EXPECT_EQ(!w.titleOverride.empty(), captioned) << w.kind.rawValue();
        }
        std::set<UUID> ids;
        for (const PacemarkWidget& w : layout.widgets) ids.insert(w.id);
        for (const PacemarkWidget& w : PacemarkLayout::preset(preset).widgets) ids.insert(w.id);
        EXPECT_EQ(ids.size(), 2 * layout.widgets.size());
    }

    // A caption stored in the override survives a change of kind.
    auto cinematic = PacemarkLayout::preset(PacemarkPreset::cinematicHud);
    cinematic.widgets[0].kind = Kind::power;
    EXPECT_EQ(cinematic.widgets[0].displayTitle(), "СКОР");
}
