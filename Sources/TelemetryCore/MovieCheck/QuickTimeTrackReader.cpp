// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickTimeTrackReader.h"

#include <cerrno>
#include <optional>

#include "MovieCheckFinding.h"
#include "Telemetry/RegularFileOpening.h"

#include <sys/stat.h>
#include <unistd.h>

namespace pacemark {
namespace {

// The movie box is read into memory whole; real ones hold a few dozen bytes
// per frame, so this allows days of video and refuses absurd sizes.
constexpr std::uint64_t kMaxMovieBox = 512ull << 20;

[[noreturn]] void fail(const std::string& what) { throw MovieCheckError("Файл не читается как фильм QuickTime: " + what + "."); }

std::uint64_t readBig(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | bytes[at + std::size_t(i)];
    return value;
}

// One box inside a byte range: its type and payload range.
struct BoxSpan {
    std::string type;
    std::size_t start = 0;    // offset of the box header in the parent's bytes
    std::size_t payload = 0;  // offset of the payload in the parent's bytes
    std::size_t size = 0;     // of the payload
};

// The boxes of a payload, in order. A box that overruns its parent is an error.
std::vector<BoxSpan> childBoxes(std::span<const std::uint8_t> bytes, std::size_t from = 0) {
    std::vector<BoxSpan> boxes;
    std::size_t at = from;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8) fail("обрывок блока в конце блока");
        std::uint64_t size = readBig(bytes, at, 4);
        std::size_t header = 8;
        if (size == 1) {
            if (bytes.size() - at < 16) fail("обрывок блока в конце блока");
            size = readBig(bytes, at + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = bytes.size() - at;
        }
        if (size < header || size > bytes.size() - at) fail("блок выходит за пределы родительского");
        boxes.push_back({std::string(reinterpret_cast<const char*>(bytes.data() + at + 4), 4), at, at + header,
                         std::size_t(size) - header});
        at += std::size_t(size);
    }
    return boxes;
}

std::optional<BoxSpan> findBox(std::span<const std::uint8_t> bytes, const std::string& type, std::size_t from = 0) {
    for (const BoxSpan& box : childBoxes(bytes, from)) {
        if (box.type == type) return box;
    }
    return std::nullopt;
}

std::span<const std::uint8_t> payloadOf(std::span<const std::uint8_t> parent, const BoxSpan& box) {
    return parent.subspan(box.payload, box.size);
}

std::span<const std::uint8_t> requireBox(std::span<const std::uint8_t> parent, const std::string& type) {
    const auto box = findBox(parent, type);
    if (!box) fail("нет блока «" + type + "» у видеодорожки");
    return payloadOf(parent, *box);
}

// A full box's entry count, checked against the room its entries need.
std::size_t entryCount(std::span<const std::uint8_t> payload, std::size_t countAt, std::size_t entrySize,
                       const char* name) {
    if (payload.size() < countAt + 4) fail(std::string("блок «") + name + "» короче заголовка");
    const std::uint64_t count = readBig(payload, countAt, 4);
    if (count > (payload.size() - countAt - 4) / entrySize) fail(std::string("записи блока «") + name + "» не помещаются в него");
    return std::size_t(count);
}

void readSampleEntry(std::span<const std::uint8_t> stsd, QuickTimeVideoTrack& track) {
    if (entryCount(stsd, 4, 8, "stsd") < 1) fail("у видеодорожки нет описания сэмплов");
    const auto entries = childBoxes(stsd, 8);
    const BoxSpan& entry = entries.front();
    constexpr std::size_t kVisualFields = 78;  // fixed fields of a visual sample entry
    if (entry.size < kVisualFields) fail("описание сэмплов короче обязательных полей");
    track.format = entry.type;
    track.sampleEntry.assign(stsd.begin() + std::ptrdiff_t(entry.start),
                             stsd.begin() + std::ptrdiff_t(entry.payload + entry.size));
    const auto fields = payloadOf(stsd, entry);
    track.width = int(readBig(fields, 24, 2));
    track.height = int(readBig(fields, 26, 2));
    track.depth = int(readBig(fields, 74, 2));
    for (const BoxSpan& box : childBoxes(fields, kVisualFields)) {
        const auto payload = payloadOf(fields, box);
        track.extensions.push_back({box.type, std::vector<std::uint8_t>(payload.begin(), payload.end())});
    }
}

void readSampleTable(std::span<const std::uint8_t> stbl, QuickTimeVideoTrack& track, std::uint64_t fileSize) {
    readSampleEntry(requireBox(stbl, "stsd"), track);

    const auto stsz = requireBox(stbl, "stsz");
    if (stsz.size() < 12) fail("блок «stsz» короче заголовка");
    const std::uint32_t commonSize = std::uint32_t(readBig(stsz, 4, 4));
    const std::size_t sampleCount = commonSize ? std::size_t(readBig(stsz, 8, 4)) : entryCount(stsz, 8, 4, "stsz");
    if (sampleCount == 0) fail("в видеодорожке нет кадров");
    if (commonSize && sampleCount > fileSize / commonSize) fail("кадров больше, чем помещается в файл");

    std::vector<std::uint64_t> chunkOffsets;
    if (const auto stco = findBox(stbl, "stco")) {
        const auto payload = payloadOf(stbl, *stco);
        const std::size_t count = entryCount(payload, 4, 4, "stco");
        for (std::size_t i = 0; i < count; ++i) chunkOffsets.push_back(readBig(payload, 8 + 4 * i, 4));
    } else if (const auto co64 = findBox(stbl, "co64")) {
        const auto payload = payloadOf(stbl, *co64);
        const std::size_t count = entryCount(payload, 4, 8, "co64");
        for (std::size_t i = 0; i < count; ++i) chunkOffsets.push_back(readBig(payload, 8 + 8 * i, 8));
    } else {
        fail("нет таблицы смещений кусков («stco» или «co64»)");
    }

    const auto stsc = requireBox(stbl, "stsc");
    const std::size_t runs = entryCount(stsc, 4, 12, "stsc");
    if (runs == 0) fail("пустая таблица «stsc»");
    track.samples.reserve(sampleCount);
    for (std::size_t r = 0; r < runs && track.samples.size() < sampleCount; ++r) {
        const std::uint64_t firstChunk = readBig(stsc, 8 + 12 * r, 4);
        const std::uint64_t perChunk = readBig(stsc, 12 + 12 * r, 4);
        const std::uint64_t nextFirst = r + 1 < runs ? readBig(stsc, 8 + 12 * (r + 1), 4) : chunkOffsets.size() + 1;
        if (firstChunk < 1 || nextFirst <= firstChunk || nextFirst > chunkOffsets.size() + 1 || perChunk == 0) {
            fail("неверная таблица «stsc»");
        }
        for (std::uint64_t chunk = firstChunk; chunk < nextFirst && track.samples.size() < sampleCount; ++chunk) {
            std::uint64_t offset = chunkOffsets[std::size_t(chunk - 1)];
            for (std::uint64_t i = 0; i < perChunk && track.samples.size() < sampleCount; ++i) {
                const std::size_t index = track.samples.size();
                const std::uint32_t size = commonSize ? commonSize : std::uint32_t(readBig(stsz, 12 + 4 * index, 4));
                if (offset > fileSize || size > fileSize - offset) fail("кадр " + std::to_string(index + 1) + " лежит за концом файла");
                track.samples.push_back({offset, size});
                offset += size;
            }
        }
    }
    if (track.samples.size() != sampleCount) fail("таблицы сэмплов описывают меньше кадров, чем заявлено");

    // Timing is judged by the checker; only the table's bounds are the reader's.
    if (const auto stts = findBox(stbl, "stts")) {
        const auto payload = payloadOf(stbl, *stts);
        const std::size_t durationRuns = entryCount(payload, 4, 8, "stts");
        track.hasDurationTable = true;
        for (std::size_t r = 0; r < durationRuns; ++r) {
            track.sampleDurations.push_back(
                {std::uint32_t(readBig(payload, 8 + 8 * r, 4)), std::uint32_t(readBig(payload, 12 + 8 * r, 4))});
        }
    }
}

// The media header's time scale: after version and flags, creation and
// modification times of 4 bytes each (version 0) or 8 (version 1).
void readMediaHeader(std::span<const std::uint8_t> mdia, QuickTimeVideoTrack& track) {
    const auto mdhd = findBox(mdia, "mdhd");
    if (!mdhd) return;
    const auto payload = payloadOf(mdia, *mdhd);
    if (payload.empty()) fail("пустой блок «mdhd»");
    const std::size_t at = payload[0] == 1 ? 20 : 12;
    if (payload.size() < at + 4) fail("блок «mdhd» короче заголовка");
    track.hasMediaHeader = true;
    track.timeScale = std::uint32_t(readBig(payload, at, 4));
}

bool isVideoTrack(std::span<const std::uint8_t> mdia) {
    const auto hdlr = findBox(mdia, "hdlr");
    if (!hdlr) return false;
    const auto payload = payloadOf(mdia, *hdlr);
    return payload.size() >= 12 && payload[8] == 'v' && payload[9] == 'i' && payload[10] == 'd' && payload[11] == 'e';
}

}  // namespace

void MemoryMovieSource::read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (offset > bytes_.size() || into.size() > bytes_.size() - offset) fail("данные за концом файла");
    std::copy_n(bytes_.begin() + std::ptrdiff_t(offset), into.size(), into.begin());
}

namespace {

int openMovie(const std::filesystem::path& path, std::uint64_t& size) {
    struct stat status {};
    const int descriptor = openRegularFileForReading(path, status);
    size = std::uint64_t(status.st_size);
    return descriptor;
}

}  // namespace

FileMovieSource::FileMovieSource(const std::filesystem::path& path) : file_(openMovie(path, size_)) {}

void FileMovieSource::read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (offset > size_ || into.size() > size_ - offset) fail("данные за концом файла");
    for (std::size_t done = 0; done < into.size();) {
        const ssize_t count = ::pread(file_.get(), into.data() + done, into.size() - done, off_t(offset + done));
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) throw MovieCheckError("Не удалось прочитать фильм: ошибка ввода-вывода.");
        done += std::size_t(count);
    }
}

const QuickTimeVideoTrack::Box* QuickTimeVideoTrack::extension(const std::string& type) const {
    for (const Box& box : extensions) {
        if (box.type == type) return &box;
    }
    return nullptr;
}

QuickTimeVideoTrack readQuickTimeVideoTrack(MovieByteSource& source) {
    // Top-level boxes are walked by their headers; only 'moov' is read.
    std::optional<std::vector<std::uint8_t>> movie;
    std::uint64_t at = 0;
    const std::uint64_t fileSize = source.size();
    while (at < fileSize) {
        if (fileSize - at < 8) fail("обрывок блока в конце файла");
        std::uint8_t header[16];
        source.read(at, std::span(header, 8));
        std::uint64_t size = readBig(header, 0, 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (fileSize - at < 16) fail("обрывок блока в конце файла");
            source.read(at + 8, std::span(header + 8, 8));
            size = readBig(header, 8, 8);
            headerSize = 16;
        } else if (size == 0) {
            size = fileSize - at;
        }
        if (size < headerSize || size > fileSize - at) fail("блок верхнего уровня выходит за конец файла");
        if (std::string(reinterpret_cast<const char*>(header + 4), 4) == "moov") {
            if (movie) fail("два блока «moov»");
            if (size - headerSize > kMaxMovieBox) fail("блок «moov» слишком велик");
            movie.emplace(std::size_t(size - headerSize));
            source.read(at + headerSize, *movie);
        }
        at += size;
    }
    if (!movie) fail("нет блока «moov»");

    const std::span<const std::uint8_t> moov(*movie);
    for (const BoxSpan& trak : childBoxes(moov)) {
        if (trak.type != "trak") continue;
        const auto trakBytes = payloadOf(moov, trak);
        const auto mdia = findBox(trakBytes, "mdia");
        if (!mdia || !isVideoTrack(payloadOf(trakBytes, *mdia))) continue;
        const auto minf = requireBox(payloadOf(trakBytes, *mdia), "minf");
        QuickTimeVideoTrack track;
        readSampleTable(requireBox(minf, "stbl"), track, fileSize);
        readMediaHeader(payloadOf(trakBytes, *mdia), track);
        return track;
    }
    fail("нет видеодорожки");
}

}  // namespace pacemark
