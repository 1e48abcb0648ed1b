// SPDX-License-Identifier: GPL-3.0-or-later
#include "GPXParser.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <memory>
#include <new>

#include "TextTrimming.h"

namespace pacemark {

GPXParserError::GPXParserError(int xmlErrorCode, std::uint64_t line, std::uint64_t column)
    : PacemarkError("Файл GPX повреждён: " + reasonText(xmlErrorCode) + " (строка " + std::to_string(line) +
                    ", столбец " + std::to_string(column) + ")."),
      xmlErrorCode_(xmlErrorCode),
      line_(line),
      column_(column) {}

GPXParserError GPXParserError::withReadablePointCount(std::size_t count) const {
    GPXParserError error = *this;
    error.readablePointCount_ = count;
    return error;
}

std::string GPXParserError::xmlMessage() const {
    const XML_LChar* message = XML_ErrorString(static_cast<XML_Error>(xmlErrorCode_));
    return message != nullptr ? message : "";
}

std::string GPXParserError::reasonText(int xmlErrorCode) {
    switch (static_cast<XML_Error>(xmlErrorCode)) {
    case XML_ERROR_NO_MEMORY: return "не хватает памяти для разбора";
    case XML_ERROR_SYNTAX: return "синтаксическая ошибка XML";
    case XML_ERROR_NO_ELEMENTS: return "документ пуст или оборван, элементы не закрыты";
    case XML_ERROR_INVALID_TOKEN: return "недопустимый символ, это не правильно построенный XML";
    case XML_ERROR_UNCLOSED_TOKEN: return "незавершённая конструкция XML";
    case XML_ERROR_PARTIAL_CHAR: return "неполный символ";
    case XML_ERROR_TAG_MISMATCH: return "закрывающий тег не совпадает с открывающим";
    case XML_ERROR_DUPLICATE_ATTRIBUTE: return "атрибут повторяется";
    case XML_ERROR_JUNK_AFTER_DOC_ELEMENT: return "лишние данные после корневого элемента";
    case XML_ERROR_PARAM_ENTITY_REF: return "недопустимая ссылка на параметрическую сущность";
    case XML_ERROR_UNDEFINED_ENTITY: return "неизвестная сущность";
    case XML_ERROR_RECURSIVE_ENTITY_REF: return "сущность ссылается сама на себя";
    case XML_ERROR_ASYNC_ENTITY: return "сущность не согласована с разметкой";
    case XML_ERROR_BAD_CHAR_REF: return "ссылка на недопустимый символ";
    case XML_ERROR_BINARY_ENTITY_REF: return "ссылка на двоичную сущность";
    case XML_ERROR_ATTRIBUTE_EXTERNAL_ENTITY_REF: return "ссылка на внешнюю сущность в значении атрибута";
    case XML_ERROR_MISPLACED_XML_PI: return "объявление XML не в начале документа";
    case XML_ERROR_UNKNOWN_ENCODING: return "неизвестная кодировка";
    case XML_ERROR_INCORRECT_ENCODING: return "кодировка из объявления XML не совпадает с содержимым";
    case XML_ERROR_UNCLOSED_CDATA_SECTION: return "секция CDATA не закрыта";
    case XML_ERROR_EXTERNAL_ENTITY_HANDLING: return "ошибка при чтении внешней сущности";
    case XML_ERROR_NOT_STANDALONE: return "документ не автономен";
    case XML_ERROR_ENTITY_DECLARED_IN_PE: return "сущность объявлена внутри параметрической сущности";
    case XML_ERROR_UNBOUND_PREFIX: return "префикс пространства имён не объявлен";
    case XML_ERROR_UNDECLARING_PREFIX: return "объявление префикса нельзя отменить";
    case XML_ERROR_INCOMPLETE_PE: return "неполная параметрическая сущность";
    case XML_ERROR_XML_DECL: return "объявление XML построено неверно";
    case XML_ERROR_TEXT_DECL: return "текстовое объявление построено неверно";
    case XML_ERROR_PUBLICID: return "недопустимые символы в публичном идентификаторе";
    case XML_ERROR_RESERVED_PREFIX_XML:
    case XML_ERROR_RESERVED_PREFIX_XMLNS:
    case XML_ERROR_RESERVED_NAMESPACE_URI: return "зарезервированный префикс или пространство имён";
    case XML_ERROR_AMPLIFICATION_LIMIT_BREACH:
        return "раскрытие сущностей превышает допустимый предел (похоже на «бомбу сущностей»)";
    default: return "ошибка разбора XML (код " + std::to_string(xmlErrorCode) + ")";
    }
}

namespace {

bool isASCIIDigit(char c) {
    return c >= '0' && c <= '9';
}

void lowerASCII(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

// The readings a track point takes from its child elements.
enum class TrackPointField { none, trackPoint, altitude, time, heartRate, cadence, power, speed };

TrackPointField fieldForElement(const char* name) {
    const std::string key = GPXParser::normalized(name);
    if (key == "trkpt") return TrackPointField::trackPoint;
    if (key == "ele") return TrackPointField::altitude;
    if (key == "time") return TrackPointField::time;
    if (key == "hr") return TrackPointField::heartRate;
    if (key == "cad") return TrackPointField::cadence;
    if (key == "power" || key == "watts") return TrackPointField::power;
    if (key == "speed") return TrackPointField::speed;
    return TrackPointField::none;
}

// Reads a whole XML attribute value as a coordinate; absent when missing or
// not a decimal number (values are deliberately not trimmed).
std::optional<double> coordinateAttribute(const char** attributes, std::string_view wanted) {
    for (const char** pair = attributes; pair[0] != nullptr; pair += 2) {
        if (wanted == pair[0]) return GPXParser::parseDecimal(pair[1]);
    }
    return std::nullopt;
}

// Document bytes are handed to expat in one call where its int length allows,
// so that no token is ever rescanned across chunk boundaries; larger inputs go
// in pieces of this size.
constexpr std::size_t largestExpatChunk = std::size_t{1} << 30;

}  // namespace

std::string GPXParser::normalized(std::string_view elementName) {
    std::string_view key = elementName;
    const std::size_t end = elementName.find_last_not_of(':');
    if (end != std::string_view::npos) {
        const std::size_t colon = elementName.find_last_of(':', end);
        const std::size_t begin = colon == std::string_view::npos ? 0 : colon + 1;
        key = elementName.substr(begin, end + 1 - begin);
    }
    std::string result(key);
    lowerASCII(result);
    return result;
}

std::string_view GPXParser::trimmed(std::string_view text) { return trimmedWhitespace(text); }

std::optional<double> GPXParser::parseDecimal(std::string_view text) {
    // The grammar is checked here, so that from_chars only ever sees a plain
    // decimal (it would accept "inf", "nan" and reject a leading '+').
    if (text.empty()) return std::nullopt;
    std::size_t pos = 0;
    if (text[0] == '+' || text[0] == '-') ++pos;
    const std::size_t numberStart = text[0] == '+' ? 1 : 0;
    std::size_t integerDigits = 0, fractionDigits = 0;
    // Decimal order of magnitude of the first significant digit, to tell an
    // overflow from an underflow when from_chars reports the value out of range.
    std::int64_t leadingDigitOrder = 0;
    bool seenSignificant = false;
    while (pos < text.size() && isASCIIDigit(text[pos])) {
        if (!seenSignificant && text[pos] != '0') seenSignificant = true;
        if (seenSignificant) ++leadingDigitOrder;
        ++integerDigits;
        ++pos;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && isASCIIDigit(text[pos])) {
            if (!seenSignificant) {
                --leadingDigitOrder;
                if (text[pos] != '0') seenSignificant = true;
            }
            ++fractionDigits;
            ++pos;
        }
    }
    if (integerDigits + fractionDigits == 0) return std::nullopt;
    std::int64_t exponent = 0;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        bool negative = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
        std::size_t exponentDigits = 0;
        while (pos < text.size() && isASCIIDigit(text[pos])) {
            exponent = std::min<std::int64_t>(exponent * 10 + (text[pos] - '0'), 1'000'000'000);
            ++exponentDigits;
            ++pos;
        }
        if (exponentDigits == 0) return std::nullopt;
        if (negative) exponent = -exponent;
    }
    if (pos != text.size()) return std::nullopt;

    double value = 0;
    const char* first = text.data() + numberStart;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error == std::errc::result_out_of_range) {
        if (leadingDigitOrder + exponent > 0) return std::nullopt;  // beyond the largest double
        return text[0] == '-' ? -0.0 : 0.0;                         // below the smallest one
    }
    if (error != std::errc() || end != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> GPXParser::parseInteger(std::string_view text) {
    std::size_t digitsStart = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) digitsStart = 1;
    if (digitsStart == text.size()) return std::nullopt;
    if (!std::all_of(text.begin() + static_cast<std::ptrdiff_t>(digitsStart), text.end(), isASCIIDigit)) {
        return std::nullopt;
    }
    // from_chars takes a '-' but not a '+'.
    const char* first = text.data() + (text[0] == '+' ? 1 : 0);
    const char* last = text.data() + text.size();
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

namespace {
// The character maps of single-byte encodings expat does not know (below).
int unknownEncoding(void*, const XML_Char* name, XML_Encoding* info);
}  // namespace

struct GPXParser::ExpatHandlers {
    template <typename Body>
    static void guarded(void* userData, Body body) {
        auto* reader = static_cast<GPXParser*>(userData);
        if (reader->handlerFailure_) return;
        try {
            body(*reader);
        } catch (...) {
            reader->handlerFailure_ = std::current_exception();
            XML_StopParser(static_cast<XML_Parser>(reader->activeParser_), XML_FALSE);
        }
    }

    static void startElement(void* userData, const XML_Char* name, const XML_Char** attributes) {
        guarded(userData, [&](GPXParser& reader) { reader.didStartElement(name, attributes); });
    }
    static void endElement(void* userData, const XML_Char* name) {
        guarded(userData, [&](GPXParser& reader) { reader.didEndElement(name); });
    }
    static void characters(void* userData, const XML_Char* text, int length) {
        guarded(userData, [&](GPXParser& reader) {
            reader.foundCharacters(std::string_view(text, static_cast<std::size_t>(length)));
        });
    }
    static void startCDATA(void* userData) { static_cast<GPXParser*>(userData)->insideCDATA_ = true; }
    static void endCDATA(void* userData) { static_cast<GPXParser*>(userData)->insideCDATA_ = false; }

    using Handle = std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)>;

    // A fresh expat parser for `reader`, whose state is reset.
    static Handle begin(GPXParser& reader) {
        reader.samples_.clear();
        reader.currentSample_.reset();
        reader.currentText_.clear();
        reader.insideCDATA_ = false;
        reader.handlerFailure_ = nullptr;
        reader.intactBytes_ = 0;
        // Namespace processing stays off: names arrive with their prefix, so an
        // undeclared prefix is no error and matching goes by the last piece.
        Handle parser(XML_ParserCreate(nullptr), &XML_ParserFree);
        if (!parser) throw std::bad_alloc();
        reader.activeParser_ = parser.get();
        XML_SetUserData(parser.get(), &reader);
        XML_SetElementHandler(parser.get(), &startElement, &endElement);
        XML_SetCharacterDataHandler(parser.get(), &characters);
        XML_SetCdataSectionHandler(parser.get(), &startCDATA, &endCDATA);
        XML_SetUnknownEncodingHandler(parser.get(), &unknownEncoding, nullptr);
        // Never read anything but the given bytes: no external DTD subset or
        // parameter entities, and with no external entity handler set, references
        // to external entities are skipped rather than loaded. Internal entity
        // expansion is bounded by expat's amplification limit (entity bombs fail
        // with an XML error).
        XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
        return parser;
    }

    // Parses one piece (at most largestExpatChunk bytes); false on an XML
    // error. A failure inside a handler is rethrown here.
    static bool feed(GPXParser& reader, XML_Parser parser, const char* bytes, std::size_t count, bool isFinal) {
        const XML_Status status = XML_Parse(parser, bytes, static_cast<int>(count), isFinal ? XML_TRUE : XML_FALSE);
        if (reader.handlerFailure_) {
            const std::exception_ptr failure = reader.handlerFailure_;
            reader.handlerFailure_ = nullptr;
            reader.activeParser_ = nullptr;
            reader.samples_.clear();
            reader.currentSample_.reset();
            std::rethrow_exception(failure);
        }
        return status == XML_STATUS_OK;
    }

    // The points read so far and, when `parsed` is false, the XML error
    // where the parser stopped.
    static Recovery finish(GPXParser& reader, XML_Parser parser, bool parsed) {
        reader.activeParser_ = nullptr;
        reader.currentSample_.reset();
        reader.currentText_.clear();
        Recovery recovery;
        if (!parsed) {
            recovery.damage = GPXParserError(static_cast<int>(XML_GetErrorCode(parser)),
                                             static_cast<std::uint64_t>(XML_GetCurrentLineNumber(parser)),
                                             static_cast<std::uint64_t>(XML_GetCurrentColumnNumber(parser)) + 1);
        }
        recovery.intactBytes = reader.intactBytes_;
        recovery.samples = reader.samples_.take();
        return recovery;
    }

    // A strict parse's result: the points, or the error with their count.
    static std::vector<TelemetrySample> strict(Recovery recovery) {
        if (recovery.damage) throw recovery.damage->withReadablePointCount(recovery.samples.size());
        return std::move(recovery.samples);
    }
};

namespace {

// Single-byte Cyrillic encodings that expat does not know by itself; files
// written by Russian-language software declare them.
// Bytes 0x80-0xFF; -1 marks a byte with no character.
constexpr int kWindows1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C,
    0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, -1, 0x2122, 0x0459, 0x203A,
    0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9,
    0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415,
    0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431,
    0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D,
    0x044E, 0x044F};

// Bytes 0x80-0xFF; -1 marks a byte with no character.
constexpr int kKOI8R[128] = {
    0x2500, 0x2502, 0x250C, 0x2510, 0x2514, 0x2518, 0x251C, 0x2524, 0x252C, 0x2534, 0x253C, 0x2580, 0x2584, 0x2588,
    0x258C, 0x2590, 0x2591, 0x2592, 0x2593, 0x2320, 0x25A0, 0x2219, 0x221A, 0x2248, 0x2264, 0x2265, 0x00A0, 0x2321,
    0x00B0, 0x00B2, 0x00B7, 0x00F7, 0x2550, 0x2551, 0x2552, 0x0451, 0x2553, 0x2554, 0x2555, 0x2556, 0x2557, 0x2558,
    0x2559, 0x255A, 0x255B, 0x255C, 0x255D, 0x255E, 0x255F, 0x2560, 0x2561, 0x0401, 0x2562, 0x2563, 0x2564, 0x2565,
    0x2566, 0x2567, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x00A9, 0x044E, 0x0430, 0x0431, 0x0446, 0x0434, 0x0435,
    0x0444, 0x0433, 0x0445, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x044F, 0x0440, 0x0441,
    0x0442, 0x0443, 0x0436, 0x0432, 0x044C, 0x044B, 0x0437, 0x0448, 0x044D, 0x0449, 0x0447, 0x044A, 0x042E, 0x0410,
    0x0411, 0x0426, 0x0414, 0x0415, 0x0424, 0x0413, 0x0425, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E,
    0x041F, 0x042F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0416, 0x0412, 0x042C, 0x042B, 0x0417, 0x0428, 0x042D, 0x0429,
    0x0427, 0x042A};

// Gives expat the character map of a declared single-byte encoding it does
// not know. Names are matched without regard to letter case.
int unknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    std::string lower(name ? name : "");
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const int* upper = nullptr;
    if (lower == "windows-1251" || lower == "cp1251" || lower == "x-cp1251") upper = kWindows1251;
    if (lower == "koi8-r" || lower == "koi8r") upper = kKOI8R;
    if (!upper) return XML_STATUS_ERROR;
    for (int byte = 0; byte < 128; ++byte) info->map[byte] = byte;
    for (int byte = 0; byte < 128; ++byte) info->map[128 + byte] = upper[byte];
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

}  // namespace

std::vector<TelemetrySample> GPXParser::parse(std::span<const std::uint8_t> data) {
    return ExpatHandlers::strict(parseRecovering(data));
}

std::vector<TelemetrySample> GPXParser::parse(const ByteSource& read, std::size_t expectedPoints) {
    return ExpatHandlers::strict(parseRecovering(read, expectedPoints));
}

GPXParser::Recovery GPXParser::parseRecovering(std::span<const std::uint8_t> data) {
    const auto parser = ExpatHandlers::begin(*this);
    const char* bytes = reinterpret_cast<const char*>(data.data());
    std::size_t remaining = data.size();
    bool parsed = true;
    do {
        const std::size_t chunk = std::min(remaining, largestExpatChunk);
        parsed = ExpatHandlers::feed(*this, parser.get(), bytes, chunk, chunk == remaining);
        bytes += chunk;
        remaining -= chunk;
    } while (parsed && remaining > 0);
    Recovery recovery = ExpatHandlers::finish(*this, parser.get(), parsed);
    recovery.fileBytes = data.size();
    if (!recovery.damage) recovery.intactBytes = data.size();
    return recovery;
}

GPXParser::Recovery GPXParser::parseRecovering(const ByteSource& read, std::size_t expectedPoints) {
    const auto parser = ExpatHandlers::begin(*this);
    samples_.reserve(expectedPoints);
    // Two buffers: the next piece is read before the current one is parsed,
    // so that the last piece is parsed as the final one, as with one buffer.
    constexpr std::size_t pieceBytes = std::size_t{1} << 18;
    std::vector<std::uint8_t> buffers[2] = {std::vector<std::uint8_t>(pieceBytes),
                                            std::vector<std::uint8_t>(pieceBytes)};
    int current = 0;
    std::size_t count = read(buffers[current].data(), pieceBytes);
    std::size_t total = count;
    for (;;) {
        const std::size_t nextCount = count == 0 ? 0 : read(buffers[1 - current].data(), pieceBytes);
        total += nextCount;
        const bool isFinal = nextCount == 0;
        const bool parsed = ExpatHandlers::feed(*this, parser.get(),
                                                reinterpret_cast<const char*>(buffers[current].data()), count, isFinal);
        if (!parsed || isFinal) {
            Recovery recovery = ExpatHandlers::finish(*this, parser.get(), parsed);
            // The rest is read, so that a failing read is reported and the
            // length of a damaged document is known.
            if (!parsed && nextCount > 0) {
                for (std::size_t more; (more = read(buffers[current].data(), pieceBytes)) > 0;) total += more;
            }
            recovery.fileBytes = total;
            if (!recovery.damage) recovery.intactBytes = total;
            return recovery;
        }
        current = 1 - current;
        count = nextCount;
    }
}

void GPXParser::didStartElement(const char* name, const char** attributes) {
    currentText_.clear();
    if (fieldForElement(name) != TrackPointField::trackPoint) return;
    // A track point that opens inside another one replaces it.
    const auto parser = static_cast<XML_Parser>(activeParser_);
    startTagEnd_ = static_cast<std::size_t>(XML_GetCurrentByteIndex(parser) + XML_GetCurrentByteCount(parser));
    TelemetrySample sample;
    sample.latitude = coordinateAttribute(attributes, "lat");
    sample.longitude = coordinateAttribute(attributes, "lon");
    currentSample_ = sample;
}

void GPXParser::foundCharacters(std::string_view piece) {
    // CDATA sections are not read as values. Text outside a track point is
    // never used (the point's start element clears it), so it is not kept.
    if (insideCDATA_ || !currentSample_) return;
    currentText_.append(piece);
}

void GPXParser::didEndElement(const char* name) {
    if (currentSample_) {
        const std::string_view text = trimmed(currentText_);
        TelemetrySample& sample = *currentSample_;
        // Every reading overwrites its field; text that does not parse makes
        // it absent rather than keeping an earlier value.
        switch (fieldForElement(name)) {
            case TrackPointField::altitude: sample.altitudeMeters = parseDecimal(text); break;
            case TrackPointField::time: sample.timestamp = parseISO8601InternetDateTime(text); break;
            case TrackPointField::heartRate: sample.heartRateBPM = parseInteger(text); break;
            case TrackPointField::cadence: sample.cadenceRPM = parseInteger(text); break;
            case TrackPointField::power: sample.powerWatts = parseInteger(text); break;
            case TrackPointField::speed: sample.speedMetersPerSecond = parseDecimal(text); break;
            case TrackPointField::trackPoint: {
                if (sample.latitude && sample.longitude) samples_.append(sample);
                currentSample_.reset();
                // An empty-element tag (<trkpt …/>) has no end tag of its own.
                const auto parser = static_cast<XML_Parser>(activeParser_);
                const int endTagBytes = XML_GetCurrentByteCount(parser);
                intactBytes_ = endTagBytes > 0
                                   ? static_cast<std::size_t>(XML_GetCurrentByteIndex(parser) + endTagBytes)
                                   : startTagEnd_;
                break;
            }
            case TrackPointField::none: break;
        }
    }
    currentText_.clear();
}

}  // namespace pacemark
