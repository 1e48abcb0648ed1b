// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryFileLoader.h"

#include "FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "FITParser.h"
#include "GPXParser.h"
#include "RegularFileOpening.h"

namespace pacemark {

namespace {

int openForReading(const std::filesystem::path& path, struct stat& status) {
    return openRegularFileForReading(path, status);
}

// Counts start tags named trkpt (any prefix, any letter case): at least as
// many as the track points the reader can take, found by a plain scan.
class TrackPointTagCounter {
public:
    void scan(const std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const char c = static_cast<char>(bytes[i]);
            if (c == '<') {
                inName_ = true;
                closing_ = false;
                name_.clear();
            } else if (inName_ && c == '/' && name_.empty()) {
                closing_ = true;
            } else if (inName_ && (c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
                inName_ = false;
                const bool named = name_ == "trkpt" || (name_.size() > 5 && name_.ends_with(":trkpt"));
                if (!closing_ && named) ++tags_;
            } else if (inName_ && name_.size() < 64) {
                name_ += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
            }
        }
    }
    std::size_t tags() const { return tags_; }

private:
    bool inName_ = false;
    bool closing_ = false;
    std::string name_;
    std::size_t tags_ = 0;
};

// A regular file read from its start in pieces, with the failures and the
// size limit of readWholeFile but without holding its bytes. It can be read
// again from the start (rewind), for a first pass that counts the points.
// Every piece is read only while `stop` is not requested: the decoders ask
// for pieces of at most a megabyte, so a stop ends any load within
// milliseconds, in either pass, with TelemetryLoadCancelled.
class FilePieces {
public:
    explicit FilePieces(const std::filesystem::path& path, std::stop_token stop = {})
        : path_(path), file_(openForReading(path, status_)), stop_(std::move(stop)) {
        if (static_cast<std::uintmax_t>(status_.st_size) > TelemetryFileLoader::maxFileSizeBytes) {
            throw FileReadError(path_.string(), EFBIG);
        }
    }

    // Up to `capacity` bytes; 0 at the end. The limit is checked as bytes
    // arrive, so a file that grows while it is read cannot run on for ever.
    std::size_t read(std::uint8_t* into, std::size_t capacity) {
        throwIfStopped();
        for (;;) {
            const ssize_t count = ::read(file_.get(), into, capacity);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) throw FileReadError(path_.string(), errno);
            total_ += static_cast<std::uintmax_t>(count);
            if (total_ > TelemetryFileLoader::maxFileSizeBytes) throw FileReadError(path_.string(), EFBIG);
            return static_cast<std::size_t>(count);
        }
    }

    void rewind() {
        if (::lseek(file_.get(), 0, SEEK_SET) != 0) throw FileReadError(path_.string(), errno);
        total_ = 0;
    }

    // Reads to the end, so that a read failure is reported.
    void skipRest() {
        std::vector<std::uint8_t> piece(std::size_t{1} << 16);
        while (read(piece.data(), piece.size()) > 0) {
        }
    }

    void throwIfStopped() const {
        if (stop_.stop_requested()) throw TelemetryLoadCancelled();
    }

private:
    std::filesystem::path path_;
    struct stat status_ {};
    FileDescriptor file_;
    std::stop_token stop_;
    std::uintmax_t total_ = 0;
};

std::vector<TelemetrySample> decodeGPXStream(const std::filesystem::path& path, TelemetryDecoding decoding,
                                             std::optional<TelemetryDamage>* damage, std::stop_token stop) {
    FilePieces file(path, std::move(stop));
    const GPXParser::ByteSource read = [&](std::uint8_t* into, std::size_t capacity) {
        return file.read(into, capacity);
    };
    // A first pass counts the track points, so that the samples are stored
    // without growing, and a file with more points than fit in memory is
    // refused before any is stored.
    TrackPointTagCounter counter;
    {
        std::vector<std::uint8_t> piece(std::size_t{1} << 20);
        for (std::size_t count; (count = read(piece.data(), piece.size())) > 0;) counter.scan(piece.data(), count);
    }
    if (counter.tags() > telemetrySampleBudget) throw TelemetryLoadError::tooManySamples(telemetrySampleBudget);
    file.rewind();
    if (decoding == TelemetryDecoding::strict) return GPXParser().parse(read, counter.tags());
    GPXParser::Recovery recovery = GPXParser().parseRecovering(read, counter.tags());
    if (recovery.damage) {
        if (recovery.samples.empty()) throw *recovery.damage;
        if (damage) {
            *damage = TelemetryDamage{recovery.damage->errorDescription(), recovery.samples.size(),
                                      recovery.intactBytes, recovery.fileBytes};
        }
    }
    return std::move(recovery.samples);
}

// The FIT decoder over the file as it is read, in two passes as for GPX.
std::vector<TelemetrySample> decodeFITStream(const std::filesystem::path& path, TelemetryDecoding decoding,
                                             std::optional<TelemetryDamage>* damage, std::stop_token stop,
                                             std::optional<std::int64_t>* localTimeOffset = nullptr) {
    FilePieces file(path, std::move(stop));
    const FITParser::ByteSource read = [&](std::uint8_t* into, std::size_t capacity) {
        return file.read(into, capacity);
    };
    const std::size_t expectedRecords = FITParser().countRecordMessages(read);
    if (expectedRecords > telemetrySampleBudget) throw TelemetryLoadError::tooManySamples(telemetrySampleBudget);
    file.rewind();
    FITParser parser;
    if (decoding == TelemetryDecoding::strict) {
        auto samples = parser.parse(read, expectedRecords);
        if (localTimeOffset) *localTimeOffset = parser.localTimeOffsetSeconds();
        return samples;
    }
    FITParser::Recovery recovery = parser.parseRecovering(read, expectedRecords);
    if (localTimeOffset) *localTimeOffset = parser.localTimeOffsetSeconds();
    if (recovery.damage) {
        // Nothing before the damage: the strict error says more than an
        // empty activity would.
        if (recovery.samples.empty()) throw *recovery.damage;
        if (damage) {
            *damage = TelemetryDamage{recovery.damage->errorDescription(), recovery.samples.size(),
                                      recovery.intactBytes, recovery.fileBytes};
        }
    }
    return std::move(recovery.samples);
}

}  // namespace

std::string TelemetryFileLoader::fileExtension(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return "";
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

std::vector<std::uint8_t> TelemetryFileLoader::readWholeFile(const std::filesystem::path& path, std::uintmax_t maxBytes) {
    struct stat status {};
    const FileDescriptor file(openForReading(path, status));

    // A buffer of the file's size plus one byte, so that the end is seen
    // without growing.
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    if (size > maxBytes) throw FileReadError(path.string(), EFBIG);
    const std::size_t capacity = static_cast<std::size_t>(size) + 1;
    std::vector<std::uint8_t> bytes(capacity);
    // Read to the end rather than trusting the size: the file may change
    // while it is read. The limit is checked as bytes arrive, so an endless
    // source cannot exhaust memory.
    constexpr std::size_t largestRead = std::size_t{1} << 30;
    std::size_t length = 0;
    for (;;) {
        if (length == bytes.size()) bytes.resize(std::min<std::size_t>(bytes.size() * 2, maxBytes + 1));
        const std::size_t wanted = std::min(bytes.size() - length, largestRead);
        const ssize_t count = ::read(file.get(), bytes.data() + length, wanted);
        if (count < 0) {
            if (errno == EINTR) continue;
            throw FileReadError(path.string(), errno);
        }
        if (count == 0) break;
        length += static_cast<std::size_t>(count);
        if (length > maxBytes) throw FileReadError(path.string(), EFBIG);
    }
    bytes.resize(length);
    return bytes;
}

std::string TelemetryDamage::noteText() const {
    return "Файл повреждён с байта " + std::to_string(intactBytes) + " из " + std::to_string(fileBytes) + " (" +
           strictDescription + "): прочитано точек до повреждения: " + std::to_string(readableRecordCount) + ".";
}

std::vector<TelemetrySample> TelemetryFileLoader::decode(const std::filesystem::path& path,
                                                         TelemetryDecoding decoding,
                                                         std::optional<TelemetryDamage>* damage,
                                                         std::stop_token stop) {
    if (damage) damage->reset();
    const std::string extension = fileExtension(path);
    // Files are read from disk piece by piece, never whole: a file is large
    // for its points (about 25 bytes for a FIT record, 80 for a minimal GPX
    // point) and would otherwise sit in memory beside all of its samples.
    if (extension == "gpx") return decodeGPXStream(path, decoding, damage, std::move(stop));
    if (extension == "fit") return decodeFITStream(path, decoding, damage, std::move(stop));
    // The file is read before its extension is judged, so an unreadable file
    // reports the read failure whatever its name.
    FilePieces(path, std::move(stop)).skipRest();
    throw TelemetryLoadError::unsupportedExtension(extension);
}

TelemetryActivity TelemetryFileLoader::load(const std::filesystem::path& path, TelemetryDecoding decoding,
                                            std::optional<TelemetryDamage>* damage, std::stop_token stop) {
    std::optional<std::int64_t> localTimeOffset;
    std::vector<TelemetrySample> samples;
    if (fileExtension(path) == "fit") {
        if (damage) damage->reset();
        samples = decodeFITStream(path, decoding, damage, stop, &localTimeOffset);
    } else {
        samples = decode(path, decoding, damage, stop);
    }
    if (stop.stop_requested()) throw TelemetryLoadCancelled();
    TelemetryActivity activity(path, std::move(samples));
    activity.localTimeOffsetSeconds = localTimeOffset;
    if (activity.samples.empty()) throw TelemetryLoadError::emptyActivity();
    return activity;
}

}  // namespace pacemark
