// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "Telemetry/GPXParser.h"
#include "Telemetry/TelemetryFileLoader.h"

using namespace pacemark;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<TelemetrySample> parseText(const std::string& text) { return GPXParser().parse(bytesOf(text)); }

// A document with one track and one segment around `points`.
std::string trackDocument(const std::string& points) {
    return "<gpx version=\"1.1\"><trk><trkseg>\n" + points + "</trkseg></trk></gpx>\n";
}

std::string point(const std::string& children, const std::string& attributes = R"(lat="47.1" lon="8.5")") {
    return "<trkpt " + attributes + ">" + children + "</trkpt>\n";
}

TelemetrySample onlySample(const std::string& children) {
    const auto samples = parseText(trackDocument(point(children)));
    EXPECT_EQ(samples.size(), 1u);
    return samples.empty() ? TelemetrySample{} : samples.front();
}

}  // namespace

TEST(GPXParserTest, DropsTrackPointsWithoutAUsablePosition) {
    const auto samples =
        parseText(trackDocument(point("<ele>5</ele><time>2024-05-01T10:15:30Z</time>", R"(lat="47.1")") +  // no lon
                                point("", R"(lon="8.5")") +                                                // no lat
                                point("", R"(lat="47.1" lon="inf")") +
                                point("<ele>7</ele>", R"(lat="47.5" lon="-8.25")")));
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].latitude, 47.5);
    EXPECT_EQ(samples[0].longitude, -8.25);
    EXPECT_EQ(samples[0].altitudeMeters, 7.0);
}

// The common extension elements (gpxtpx:hr, bare <power>, ...) are read in
// the real recordings; here the rarer forms.
TEST(GPXParserTest, RecognisesSensorExtensionsHoweverSpelled) {
    const auto other = onlySample(R"(<extensions><ns3:TrackPointExtension>
        <ns3:HR>120</ns3:HR><ns3:cad>0</ns3:cad><x:y:Watts>300</x:y:Watts><SPEED>4.25</SPEED>
        </ns3:TrackPointExtension></extensions>)");
    EXPECT_EQ(other.heartRateBPM, 120);
    EXPECT_EQ(other.cadenceRPM, 0);  // a zero reading is kept, not treated as absent
    EXPECT_EQ(other.powerWatts, 300);
    EXPECT_EQ(other.speedMetersPerSecond, 4.25);  // taken as metres per second as written
}

TEST(GPXParserTest, ReadingsFollowTheNumberGrammar) {
    // Spaces around the number are trimmed (Unicode ones too); text in CDATA
    // sections is not read, only the ordinary character data counts.
    const std::pair<const char*, std::optional<std::int64_t>> heartRates[] = {
        {"<hr>151.0</hr>", std::nullopt}, {"<hr>\u00A0151\u2003</hr>", 151}, {"<hr>1<![CDATA[99]]>5</hr>", 15},
    };
    for (const auto& [children, rate] : heartRates) EXPECT_EQ(onlySample(children).heartRateBPM, rate) << children;

    EXPECT_EQ(GPXParser::parseInteger("-9223372036854775808"), INT64_MIN);
    for (const char* bad : {"9223372036854775808", "+-7", "1e2", "١٢"}) {
        EXPECT_EQ(GPXParser::parseInteger(bad), std::nullopt) << bad;
    }

    // Decimals follow the C locale's grammar, whole text only.
    const std::pair<const char*, double> good[] = {{".5", 0.5}, {"1.5E-2", 0.015}, {"1e-400", 0}};
    for (const auto& [text, value] : good) EXPECT_EQ(GPXParser::parseDecimal(text), value) << text;
    for (const char* bad : {"", "1,5", " 1", "nan", "0x1p3", "1e999", "12m"}) {
        EXPECT_EQ(GPXParser::parseDecimal(bad), std::nullopt) << bad;
    }
}

// XML damage is described in Russian, with the position where the XML
// parser stopped (which words go with which of the library's error codes is
// a plain table), and the reader keeps nothing from a failed parse.
TEST(GPXParserTest, DescribesXMLDamageInRussianWithItsPosition) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "Файл GPX повреждён: документ пуст или оборван, элементы не закрыты (строка 1, столбец 1)."},
        {"<gpx>\n<trk><trkseg><trkpt lat=\"1\" lon=\"2\"></trkpt>\n  </trk>\n</gpx>",
         "Файл GPX повреждён: закрывающий тег не совпадает с открывающим (строка 3, столбец 5)."},
    };
    for (const auto& [document, description] : cases) {
        const auto error = pacemark::testing::thrownBy<GPXParserError>([&] { return parseText(document); });
        EXPECT_EQ(error.errorDescription(), description) << error.xmlMessage();
    }
    GPXParser reader;
    EXPECT_THROW(reader.parse(bytesOf(trackDocument(point("")) + "<gpx/>")), GPXParserError);
    EXPECT_EQ(reader.parse(bytesOf(trackDocument(point("")))).size(), 1u);
}

TEST(GPXParserTest, EntityExpansionIsBounded) {
    std::string document = "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx [\n<!ENTITY a0 \"ha\">\n";
    for (int level = 1; level <= 12; ++level) {
        document += "<!ENTITY a" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) document += "&a" + std::to_string(level - 1) + ";";
        document += "\">\n";
    }
    document += "]>\n<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><name>&a12;</name></trkpt></trkseg></trk></gpx>";
    // 10^12 expansions: only a limit on amplification ends this.
    const auto error = pacemark::testing::thrownBy<GPXParserError>([&] { return parseText(document); });
    EXPECT_TRUE(error.errorDescription().starts_with(
        "Файл GPX повреждён: раскрытие сущностей превышает допустимый предел"))
        << error.errorDescription();
}

TEST(GPXParserTest, ExternalEntitiesAreNeverLoaded) {
    pacemark::testing::TemporaryFolder folder;
    pacemark::testing::writeFileText(folder / "secret.txt", "123");
    pacemark::testing::writeFileText(folder / "outer.dtd", "<!ENTITY secret SYSTEM \"secret.txt\">");
    const std::string uri = "file://" + (folder / "secret.txt").string();
    const std::string dtd = "file://" + (folder / "outer.dtd").string();
    const auto samples =
        parseText("<?xml version=\"1.0\"?><!DOCTYPE gpx SYSTEM \"" + dtd + "\" [<!ENTITY secret SYSTEM \"" + uri +
                  "\">]><gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"><ele>&secret;</ele>"
                  "</trkpt></trkseg></trk></gpx>");
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].altitudeMeters, std::nullopt);
}

// Files from Russian-language software often declare a single-byte Cyrillic
// encoding; the bytes must read, not fail as an unknown encoding.
TEST(GPXParserTest, ReadsCyrillicSingleByteEncodings) {
    // "Заезд" in each encoding.
    for (const auto& [encoding, name] : {std::pair<std::string, std::string>{"WINDOWS-1251", "\xC7\xE0\xE5\xE7\xE4"},
                                         {"KOI8-R", "\xFA\xC1\xC5\xDA\xC4"}}) {
        const auto samples = parseText("<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" +
                                       trackDocument(point("<name>" + name + "</name><hr>131</hr>")));
        ASSERT_EQ(samples.size(), 1u) << encoding;
        EXPECT_EQ(samples[0].heartRateBPM, 131) << encoding;
    }
}

// A document cut anywhere gives, through the loader, the points of the track
// points whose end tag precedes the cut and says where the intact part ends;
// the strict load of the same bytes fails but counts those points, and with no
// complete point the recovering load fails as the strict one.
TEST(GPXParserTest, ACutDocumentRecoversEveryCompleteTrackPoint) {
    const std::string first = point("<ele>1</ele>");
    const std::string second = R"(<trkpt lat="47.2" lon="8.6"/>)";  // an empty-element tag
    const std::string third = point("<ele>3</ele>", R"(lat="47.3" lon="8.7")");
    const std::string document = trackDocument(first + second + "\n" + third);
    const auto whole = parseText(document);
    ASSERT_EQ(whole.size(), 3u);
    const std::size_t firstEnd = document.find(first) + first.size() - 1;  // before its line break
    const std::size_t secondEnd = document.find(second) + second.size();
    const std::size_t thirdEnd = document.find(third) + third.size() - 1;
    const std::pair<std::size_t, std::size_t> cuts[] = {
        // cut after byte, complete points, intact bytes
        {firstEnd - 1, 0}, {firstEnd, 1}, {secondEnd - 1, 1}, {secondEnd, 2}, {thirdEnd - 3, 2}, {thirdEnd, 3},
    };
    const std::size_t intact[] = {0, firstEnd, secondEnd, thirdEnd};
    pacemark::testing::TemporaryFolder folder;
    const auto path = folder / "cut.gpx";
    for (const auto& [cut, points] : cuts) {
        pacemark::testing::writeFileText(path, document.substr(0, cut));
        const auto strict = pacemark::testing::thrownBy<GPXParserError>([&] { TelemetryFileLoader::decode(path); });
        EXPECT_EQ(strict.readablePointCount(), points) << cut;
        if (points == 0) {
            EXPECT_THROW(TelemetryFileLoader::decode(path, TelemetryDecoding::recover), GPXParserError);
            continue;
        }
        std::optional<TelemetryDamage> damage;
        EXPECT_EQ(TelemetryFileLoader::decode(path, TelemetryDecoding::recover, &damage),
                  std::vector(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(points)))
            << cut;
        ASSERT_TRUE(damage.has_value()) << cut;
        EXPECT_EQ(damage->readableRecordCount, points) << cut;
        EXPECT_EQ(damage->intactBytes, intact[points]) << cut;
        EXPECT_EQ(damage->fileBytes, cut);
        EXPECT_EQ(damage->strictDescription, strict.errorDescription());
    }
    pacemark::testing::writeFileText(path, document);
    std::optional<TelemetryDamage> damage;
    EXPECT_EQ(TelemetryFileLoader::decode(path, TelemetryDecoding::recover, &damage), whole);
    EXPECT_FALSE(damage.has_value());
}
