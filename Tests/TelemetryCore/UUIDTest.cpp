// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "Layout/UUID.h"

using namespace pacemark;

// (The text of random ids: TelemetryVideoExporterTest's temporary names; a
// malformed id in a layout file: PacemarkLayoutFileTest.)
TEST(UUIDTest, LowerCaseTextReadsAsTheSameId) {
    EXPECT_EQ(UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")->uuidString(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
}
