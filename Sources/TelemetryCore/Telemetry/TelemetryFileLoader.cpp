#include "TelemetryFileLoader.h"

#include "FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "FITParser.h"
#include "GPXParser.h"

namespace pacemark {

namespace {

// Opens `path` for reading: a FileReadError for a missing or unreadable file
// or a folder.
int openForReading(const std::filesystem::path& path, struct stat& status) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) throw FileReadError(path.string(), errno);
    if (::fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(descriptor);
        throw FileReadError(path.string(), error);
    }
    return descriptor;
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

// A file read from its start in pieces, with the failures and the size limit
// of readWholeFile but without holding its bytes. A regular file can be read
// again from the start (rewind), for a first pass that counts the points.
class FilePieces {
public:
    explicit FilePieces(const std::filesystem::path& path)
        : path_(path), file_(openForReading(path, status_)) {
        if (regular() && static_cast<std::uintmax_t>(status_.st_size) > TelemetryFileLoader::maxFileSizeBytes) {
            throw FileReadError(path_.string(), EFBIG);
        }
    }

    bool regular() const { return S_ISREG(status_.st_mode); }

    // Up to `capacity` bytes; 0 at the end. The limit is checked as bytes
    // arrive, so an endless source cannot run on for ever.
    std::size_t read(std::uint8_t* into, std::size_t capacity) {
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

private:
    std::filesystem::path path_;
    struct stat status_ {};
    FileDescriptor file_;
    std::uintmax_t total_ = 0;
};

std::vector<TelemetrySample> decodeGPXStream(const std::filesystem::path& path) {
    FilePieces file(path);
    const auto read = [&](std::uint8_t* into, std::size_t capacity) { return file.read(into, capacity); };
    // A first pass over a regular file counts the track points, so that the
    // samples are stored without growing; a pipe is read once.
    std::size_t expectedPoints = 0;
    if (file.regular()) {
        TrackPointTagCounter counter;
        std::vector<std::uint8_t> piece(std::size_t{1} << 20);
        for (std::size_t count; (count = read(piece.data(), piece.size())) > 0;) counter.scan(piece.data(), count);
        expectedPoints = counter.tags();
        file.rewind();
    }
    return GPXParser().parse(read, expectedPoints);
}

// The FIT decoder over the file as it is read, two passes over a regular
// file as for GPX.
std::vector<TelemetrySample> decodeFITStream(const std::filesystem::path& path, TelemetryDecoding decoding,
                                             std::optional<TelemetryDamage>* damage,
                                             std::optional<std::int64_t>* localTimeOffset = nullptr) {
    FilePieces file(path);
    const FITParser::ByteSource read = [&](std::uint8_t* into, std::size_t capacity) {
        return file.read(into, capacity);
    };
    std::size_t expectedRecords = 0;
    if (file.regular()) {
        expectedRecords = FITParser().countRecordMessages(read);
        file.rewind();
    }
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

    // A regular file gets a buffer of its size plus one byte, so that the end
    // is seen without growing; pipes and devices start small and grow.
    std::size_t capacity = std::min<std::size_t>(std::size_t{1} << 20, maxBytes + 1);
    if (S_ISREG(status.st_mode)) {
        const auto size = static_cast<std::uintmax_t>(status.st_size);
        if (size > maxBytes) throw FileReadError(path.string(), EFBIG);
        capacity = static_cast<std::size_t>(size) + 1;
    }
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
                                                         std::optional<TelemetryDamage>* damage) {
    if (damage) damage->reset();
    const std::string extension = fileExtension(path);
    // Files are read from disk piece by piece, never whole: a file is large
    // for its points (about 25 bytes for a FIT record, 80 for a minimal GPX
    // point) and would otherwise sit in memory beside all of its samples.
    if (extension == "gpx") return decodeGPXStream(path);
    if (extension == "fit") return decodeFITStream(path, decoding, damage);
    // The file is read before its extension is judged, so an unreadable file
    // reports the read failure whatever its name.
    FilePieces(path).skipRest();
    throw TelemetryLoadError::unsupportedExtension(extension);
}

TelemetryActivity TelemetryFileLoader::load(const std::filesystem::path& path, TelemetryDecoding decoding,
                                            std::optional<TelemetryDamage>* damage) {
    std::optional<std::int64_t> localTimeOffset;
    std::vector<TelemetrySample> samples;
    if (fileExtension(path) == "fit") {
        if (damage) damage->reset();
        samples = decodeFITStream(path, decoding, damage, &localTimeOffset);
    } else {
        samples = decode(path, decoding, damage);
    }
    TelemetryActivity activity(path, std::move(samples));
    activity.localTimeOffsetSeconds = localTimeOffset;
    if (activity.samples.empty()) throw TelemetryLoadError::emptyActivity();
    return activity;
}

}  // namespace pacemark
