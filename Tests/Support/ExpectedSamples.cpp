#include "ExpectedSamples.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "Telemetry/TelemetryTime.h"

namespace pacemark::testing {
namespace {

// The expectation files are flat objects whose values are numbers and plain
// strings, so a few lines of reading suffice; a JSON library would be a new
// dependency for this alone.
class FlatObjectReader {
public:
    explicit FlatObjectReader(const std::string& text) : text_(text) {}

    ExpectedObject read() {
        ExpectedObject object;
        skipSpace();
        expect('{');
        skipSpace();
        if (peek() == '}') {
            ++pos_;
        } else {
            for (;;) {
                skipSpace();
                std::string key = readString();
                skipSpace();
                expect(':');
                skipSpace();
                ExpectedValue value = peek() == '"' ? stringValue() : numberValue();
                if (!object.emplace(key, std::move(value)).second) fail("duplicate key \"" + key + "\"");
                skipSpace();
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect('}');
                break;
            }
        }
        skipSpace();
        if (pos_ != text_.size()) fail("text after the object");
        return object;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw std::runtime_error("bad expectation line (" + why + " at column " + std::to_string(pos_ + 1) +
                                 "): " + text_);
    }
    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void skipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) ++pos_;
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected '") + c + "'");
        ++pos_;
    }
    std::string readString() {
        expect('"');
        std::string out;
        for (;;) {
            if (pos_ >= text_.size()) fail("unterminated string");
            const char c = text_[pos_++];
            if (c == '"') return out;
            if (c == '\\') {
                if (pos_ >= text_.size()) fail("unterminated escape");
                const char e = text_[pos_++];
                switch (e) {
                case '"':
                case '\\':
                case '/': out += e; break;
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                default: fail(std::string("unsupported escape \\") + e);
                }
            } else {
                out += c;
            }
        }
    }
    ExpectedValue stringValue() {
        ExpectedValue value;
        value.kind = ExpectedValue::Kind::string;
        value.text = readString();
        return value;
    }
    ExpectedValue numberValue() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos)
            ++pos_;
        ExpectedValue value;
        value.text = text_.substr(start, pos_ - start);
        if (value.text.empty()) fail("expected a number or a string");
        const char* first = value.text.data();
        const char* last = first + value.text.size();
        auto [end, error] = std::from_chars(first, last, value.number);
        if (error != std::errc() || end != last) fail("bad number " + value.text);
        if (value.text.find_first_of(".eE") == std::string::npos) {
            auto [intEnd, intError] = std::from_chars(first, last, value.integer);
            value.isInteger = intError == std::errc() && intEnd == last;
        }
        return value;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

std::string formatDouble(double value) {
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : "?";
}

struct ActualField {
    const char* key;
    bool present;
    bool isInteger;
    double number;
    std::int64_t integer;
};

// The sample's fields in the order and under the keys of the expectation format.
std::vector<ActualField> fieldsOf(const TelemetrySample& s) {
    auto real = [](const char* key, const std::optional<double>& v) {
        return ActualField{key, v.has_value(), false, v.value_or(0), 0};
    };
    auto integer = [](const char* key, const std::optional<std::int64_t>& v) {
        return ActualField{key, v.has_value(), true, 0, v.value_or(0)};
    };
    return {real("latitude", s.latitude),
            real("longitude", s.longitude),
            real("altitudeMeters", s.altitudeMeters),
            real("distanceMeters", s.distanceMeters),
            real("gradePercent", s.gradePercent),
            real("speedMetersPerSecond", s.speedMetersPerSecond),
            integer("heartRateBPM", s.heartRateBPM),
            integer("cadenceRPM", s.cadenceRPM),
            integer("powerWatts", s.powerWatts)};
}

std::string keySet(const ExpectedObject& object) {
    std::string out;
    for (const auto& [key, value] : object) out += (out.empty() ? "" : ",") + key;
    return "{" + out + "}";
}

// Differences between one decoded sample and its expectation, "" when none.
std::string compareSample(const TelemetrySample& actual, const ExpectedObject& expected,
                          std::int64_t toleranceMilliseconds) {
    std::string problems;
    auto report = [&](const std::string& text) { problems += (problems.empty() ? "" : "; ") + text; };

    if (actual.elapsed != 0) report("elapsed " + formatDouble(actual.elapsed) + " (decoders leave it 0)");

    const auto expectedTimestamp = expected.find("timestamp");
    if (expectedTimestamp == expected.end()) {
        if (actual.timestamp) report("timestamp " + formatISO8601Milliseconds(*actual.timestamp) + " not expected");
    } else if (!actual.timestamp) {
        report("timestamp missing, expected " + expectedTimestamp->second.text);
    } else {
        const auto parsed = parseISO8601InternetDateTime(expectedTimestamp->second.text);
        if (!parsed) {
            report("expected timestamp unreadable: " + expectedTimestamp->second.text);
        } else {
            using std::chrono::floor;
            using std::chrono::milliseconds;
            const auto actualMs = floor<milliseconds>(*actual.timestamp).time_since_epoch().count();
            const auto expectedMs = floor<milliseconds>(*parsed).time_since_epoch().count();
            if (std::llabs(actualMs - expectedMs) > toleranceMilliseconds)
                report("timestamp " + formatISO8601Milliseconds(*actual.timestamp) + ", expected " +
                       expectedTimestamp->second.text);
        }
    }

    std::size_t knownKeys = expectedTimestamp == expected.end() ? 0 : 1;
    for (const ActualField& field : fieldsOf(actual)) {
        const auto found = expected.find(field.key);
        if (found == expected.end()) {
            if (field.present)
                report(std::string(field.key) + " = " +
                       (field.isInteger ? std::to_string(field.integer) : formatDouble(field.number)) +
                       " not expected");
            continue;
        }
        ++knownKeys;
        const ExpectedValue& want = found->second;
        if (!field.present) {
            report(std::string(field.key) + " missing, expected " + want.text);
            continue;
        }
        if (want.kind != ExpectedValue::Kind::number) {
            report(std::string(field.key) + " expected as a string: " + want.text);
        } else if (field.isInteger) {
            if (!want.isInteger || want.integer != field.integer)
                report(std::string(field.key) + " = " + std::to_string(field.integer) + ", expected " + want.text);
        } else if (!(std::fabs(field.number - want.number) <= 1e-9 * std::max(1.0, std::fabs(want.number)))) {
            report(std::string(field.key) + " = " + formatDouble(field.number) + ", expected " + want.text);
        }
    }
    if (knownKeys != expected.size()) report("expectation has unknown keys: " + keySet(expected));
    return problems;
}

}  // namespace

std::optional<std::int64_t> ManifestEntry::expectedCount() const {
    std::int64_t count = 0;
    auto [end, error] = std::from_chars(expected.data(), expected.data() + expected.size(), count);
    if (error != std::errc() || end != expected.data() + expected.size()) return std::nullopt;
    return count;
}

std::optional<std::string> ManifestEntry::expectedError() const {
    constexpr std::string_view prefix = "error:";
    if (expected.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return expected.substr(prefix.size());
}

ExpectedObject parseExpectedObject(const std::string& line) { return FlatObjectReader(line).read(); }

ExpectedOutcome readExpectation(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    ExpectedOutcome outcome;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        ExpectedObject object = parseExpectedObject(line);
        const auto error = object.find("error");
        if (error == object.end()) {
            outcome.samples.push_back(std::move(object));
            continue;
        }
        if (!outcome.samples.empty() || outcome.errorCase)
            throw std::runtime_error(path.string() + ": an error line must be the only line");
        outcome.errorCase = error->second.text;
        if (const auto local = object.find("localMessage"); local != object.end())
            outcome.errorLocalMessage = local->second.integer;
    }
    return outcome;
}

std::vector<ManifestEntry> readManifest(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    std::vector<ManifestEntry> entries;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (header) {
            header = false;
            continue;
        }
        if (line.empty()) continue;
        std::vector<std::string> columns;
        std::stringstream stream(line);
        for (std::string column; std::getline(stream, column, '\t');) columns.push_back(column);
        if (columns.size() < 4) throw std::runtime_error(path.string() + ": short line: " + line);
        ManifestEntry entry;
        entry.file = columns[0];
        entry.kind = columns[1];
        entry.expected = columns[2];
        entry.timestampToleranceMilliseconds = std::stoll(columns[3]);
        if (columns.size() > 4) entry.features = columns[4];
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::filesystem::path expectationPath(const std::filesystem::path& testDataFolder, const ManifestEntry& entry) {
    return testDataFolder / "expected" / entry.kind / (entry.file + ".jsonl");
}

::testing::AssertionResult samplesMatch(const std::string& fileName, const std::vector<TelemetrySample>& actual,
                                        const std::vector<ExpectedObject>& expected,
                                        std::int64_t timestampToleranceMilliseconds) {
    constexpr int maxReported = 5;
    std::string message;
    int mismatches = 0;
    if (actual.size() != expected.size())
        message += fileName + ": " + std::to_string(actual.size()) + " samples, expected " +
                   std::to_string(expected.size()) + "\n";
    const std::size_t common = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        const std::string problems = compareSample(actual[i], expected[i], timestampToleranceMilliseconds);
        if (problems.empty()) continue;
        if (++mismatches <= maxReported)
            message += fileName + " sample " + std::to_string(i) + ": " + problems + "\n  decoded  " +
                       describeSample(actual[i]) + "\n";
    }
    if (mismatches > maxReported)
        message += fileName + ": " + std::to_string(mismatches - maxReported) + " more samples differ\n";
    if (message.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << message;
}

std::string describeSample(const TelemetrySample& sample) {
    std::string out;
    auto add = [&](const std::string& key, const std::string& value) {
        out += (out.empty() ? "" : ",") + ("\"" + key + "\":" + value);
    };
    if (sample.elapsed != 0) add("elapsed", formatDouble(sample.elapsed));
    if (sample.timestamp) add("timestamp", "\"" + formatISO8601Milliseconds(*sample.timestamp) + "\"");
    for (const ActualField& field : fieldsOf(sample))
        if (field.present)
            add(field.key, field.isInteger ? std::to_string(field.integer) : formatDouble(field.number));
    return "{" + out + "}";
}

}  // namespace pacemark::testing
