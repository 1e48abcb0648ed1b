// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "Layout/UUID.h"

using namespace pacemark;

TEST(UUIDTest, RandomVersion4UpperCaseText) {
    const UUID id = UUID::random();
    const std::string text = id.uuidString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    EXPECT_EQ(UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")->uuidString(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_FALSE(UUID::fromString("E621E1F8C36C-495A-93FC-0C247A3E6E5F0"));
}
