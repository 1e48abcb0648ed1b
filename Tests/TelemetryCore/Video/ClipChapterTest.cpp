// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Video/ClipChapter.h"

namespace pacemark {
namespace {

TEST(ClipChapterTest, NumberedChaptersShareTheirRecording) {
    const auto first = ClipChapter::fromFileName("/cam/GX010123.MP4");
    const auto second = ClipChapter::fromFileName("/cam/GX020123.MP4");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->number, 1);
    EXPECT_EQ(second->number, 2);
    EXPECT_EQ(first->recording, second->recording);
    // Copied with lower-case names they are still the same recording.
    EXPECT_EQ(ClipChapter::fromFileName("/cam/gx020123.mp4"), second);
}

TEST(ClipChapterTest, EveryPartOfTheNameButTheChapterSeparatesRecordings) {
    const auto recording = [](const char* name) { return ClipChapter::fromFileName(name)->recording; };
    const std::string reference = recording("a/GX010123.MP4");
    EXPECT_NE(recording("a/GH010123.MP4"), reference);
    EXPECT_NE(recording("a/GL010123.LRV"), recording("a/GL010123.MP4"));
    EXPECT_NE(recording("a/GX010124.MP4"), reference);
    EXPECT_NE(recording("b/GX010123.MP4"), reference);
    EXPECT_EQ(recording("a/../a/GX020123.MP4"), reference);
}

TEST(ClipChapterTest, OtherNamesAreNoChapters) {
    for (const char* name : {"max-heromode.mp4", "GX000123.MP4", "GX0101234.MP4", "GOPRO123.MP4"}) {
        EXPECT_FALSE(ClipChapter::fromFileName(name)) << name;
    }
}

}  // namespace
}  // namespace pacemark
