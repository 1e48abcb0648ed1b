// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PacemarkError.h"
#include "TelemetrySample.h"
#include "TelemetrySampleCollector.h"

namespace pacemark {

// The document is not well-formed XML (an empty file included). Carries the
// XML parser's error code and the 1-based position where it stopped; the
// description is our own Russian text for the code, with that position.
class GPXParserError : public PacemarkError {
public:
    // `xmlErrorCode` is the XML parser's code (expat's XML_Error).
    GPXParserError(int xmlErrorCode, std::uint64_t line, std::uint64_t column);

    // The Russian reason for an XML parser error code, as the description
    // shows it ("документ оборван: …").
    static std::string reasonText(int xmlErrorCode);

    int xmlErrorCode() const { return xmlErrorCode_; }
    // The XML parser's own English message, for diagnostics only.
    std::string xmlMessage() const;
    std::uint64_t line() const { return line_; }
    std::uint64_t column() const { return column_; }

    // Track points that closed before the error: what a recovering parse of
    // the same bytes returns; a caller may offer recovery when this is above
    // zero.
    std::size_t readablePointCount() const { return readablePointCount_; }
    GPXParserError withReadablePointCount(std::size_t count) const;

private:
    int xmlErrorCode_;
    std::uint64_t line_;
    std::uint64_t column_;
    std::size_t readablePointCount_ = 0;
};

// Reads the track points of a GPX document into raw samples, one per <trkpt>
// that has both coordinates, in document order. Sensor extensions (hr, cad,
// power/watts, speed) are recognised under any namespace prefix and in any
// letter case. Nothing is normalized: every sample has `elapsed` 0.
//
// Bad values never fail the parse: a reading that does not parse is absent,
// and a point without a usable position is dropped. Only malformed XML fails,
// with GPXParserError, which tells how many points a recovering parse reads.
// A reader is meant for one document at a time and must not be shared between
// threads while parsing.
class GPXParser {
public:
    GPXParser() = default;

    // What a recovering parse could read: the track points whose end tag
    // precedes the first XML error.
    struct Recovery {
        std::vector<TelemetrySample> samples;
        // The error that ended the parse; absent when the document is whole.
        std::optional<GPXParserError> damage;
        // Offset of the first byte after the end tag of the last complete
        // track point (the document's length when nothing was damaged).
        std::size_t intactBytes = 0;
        // The length of the whole document.
        std::size_t fileBytes = 0;
    };

    std::vector<TelemetrySample> parse(std::span<const std::uint8_t> data);

    // Reads up to `capacity` bytes into `into`; 0 at the end. Failures are
    // thrown and end the parse.
    using ByteSource = std::function<std::size_t(std::uint8_t* into, std::size_t capacity)>;
    // The same, for a document read piece by piece (a file streamed from
    // disk), so that the whole document is never in memory at once.
    // `expectedPoints`, when known, is room made for the samples beforehand.
    std::vector<TelemetrySample> parse(const ByteSource& read, std::size_t expectedPoints = 0);

    // For documents cut short (a battery, a crash while writing, a partial
    // download): the points of every complete track point before the first
    // XML error, and that error. Reads the source to its end.
    Recovery parseRecovering(std::span<const std::uint8_t> data);
    Recovery parseRecovering(const ByteSource& read, std::size_t expectedPoints = 0);

    // Element name to matching key: the last non-empty piece after ':',
    // lower-cased ("gpxtpx:HR" -> "hr"); the whole name when every piece is empty.
    static std::string normalized(std::string_view elementName);

    // A decimal number making up the whole text: optional sign, digits with an
    // optional '.', optional exponent, C locale. Infinity, NaN and hexadecimal
    // forms are not decimal numbers; values beyond the double range are absent,
    // values too small for it become zero.
    static std::optional<double> parseDecimal(std::string_view text);
    // An optional '+' or '-' followed by decimal digits only, within int64.
    static std::optional<std::int64_t> parseInteger(std::string_view text);
    // The text without leading and trailing white space and line breaks
    // (ASCII and Unicode spaces, UTF-8 encoded).
    static std::string_view trimmed(std::string_view text);

    struct ExpatHandlers;

private:
    friend struct ExpatHandlers;

    void didStartElement(const char* name, const char** attributes);
    void foundCharacters(std::string_view piece);
    void didEndElement(const char* name);

    TelemetrySampleCollector samples_;
    std::optional<TelemetrySample> currentSample_;
    std::string currentText_;
    bool insideCDATA_ = false;
    // An exception thrown inside a handler (out of memory) is kept here, the
    // XML parser is stopped, and it is rethrown once control is back in C++.
    std::exception_ptr handlerFailure_;
    // The expat parser of the running parse (an XML_Parser), for stopping it.
    void* activeParser_ = nullptr;
    // Offset just past the end tag of the latest track point.
    std::size_t intactBytes_ = 0;
    // Offset just past the start tag of the current track point.
    std::size_t startTagEnd_ = 0;
};

}  // namespace pacemark
