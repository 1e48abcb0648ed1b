// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "Telemetry/RussianPlural.h"
#include "Telemetry/TelemetryFormatters.h"
#include "Telemetry/TelemetryTime.h"

using namespace pacemark;
namespace F = pacemark::TelemetryFormatters;

TEST(TelemetryFormattersTest, ReadingsAreRoundedForDisplay) {
    EXPECT_EQ(F::elapsed(59.5), "01:00");
    EXPECT_EQ(F::elapsed(3599.5), "1:00:00");
    EXPECT_EQ(F::distance(999.6), "1000 м");
    EXPECT_EQ(F::distance(1000), "1.0 км");
    EXPECT_EQ(F::distance(std::nullopt), "--");
    EXPECT_EQ(F::distance(INFINITY), "--");
    EXPECT_EQ(F::elevation(412.5001), "413 м");
    EXPECT_EQ(F::elevation(std::nullopt), "--");
    EXPECT_EQ(F::integer(0, "Вт"), "--");
    EXPECT_EQ(F::integer(250, "Вт"), "250 Вт");
    EXPECT_EQ(F::integer(std::nullopt, "уд/мин"), "--");
    EXPECT_EQ(F::gradePercent(-0.04, true), "0.0 %");
    EXPECT_EQ(F::gradePercent(12.34, true), "12 %");
    EXPECT_EQ(F::gradePercent(9.96, true), "10.0 %");
    EXPECT_EQ(F::gradePercent(-0.05, false), "-0.1");
    EXPECT_EQ(F::gradePercent(std::nullopt, true), "--");
}

TEST(TelemetryTimeTest, InternetDateTimesParseStrictly) {
    EXPECT_EQ(formatISO8601Milliseconds(*parseISO8601InternetDateTime("2024-05-01T10:15:30.5Z")),
              "2024-05-01T10:15:30.500Z");
    EXPECT_EQ(formatISO8601Milliseconds(*parseISO8601InternetDateTime("2016-01-01T00:00:00.9999999-01:30")),
              "2016-01-01T01:30:00.999Z");
    for (const char* bad : {"2024-05-01T10:15:30", "2023-02-29T10:15:30Z", "2024-05-01T24:00:00Z",
                            "2024-05-01T10:15:30+0300"}) {
        EXPECT_FALSE(parseISO8601InternetDateTime(bad)) << bad;
    }
    // Times before the Unix epoch format too.
    EXPECT_EQ(formatISO8601Milliseconds(TelemetryTimestamp(std::chrono::milliseconds(-1))), "1969-12-31T23:59:59.999Z");
}

TEST(TelemetryFormattersTest, RussianCountsTakeTheFormTheirLastDigitsAsk) {
    EXPECT_EQ(russianCount(1, pointNoun), "1 точка");
    EXPECT_EQ(russianCount(21, pointNoun), "21 точка");
    EXPECT_EQ(russianCount(5, pointNoun), "5 точек");
    // The teens are "many" whatever the last digit.
    EXPECT_EQ(russianCount(11, pointNoun), "11 точек");
    EXPECT_EQ(russianCount(114, pointNoun), "114 точек");
    EXPECT_EQ(russianCount(122, pointNoun), "122 точки");
}
