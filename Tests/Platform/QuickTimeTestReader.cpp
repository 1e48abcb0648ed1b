#include "QuickTimeTestReader.h"

#include "MovieCheck/QuickTimeTrackReader.h"
#include "TestSupport.h"

#include <optional>
#include <stdexcept>
#include <utility>

namespace pacemark::testing {
namespace {

std::uint32_t be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    if (at + 4 > d.size()) throw std::runtime_error("truncated box");
    return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) | (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

// The payload [first, second) of the first box of `type` among the boxes
// in [begin, end), if there is one.
std::optional<std::pair<std::size_t, std::size_t>> findBox(const std::vector<std::uint8_t>& d, std::size_t begin,
                                                           std::size_t end, const std::string& type) {
    while (begin + 8 <= end) {
        std::uint64_t size = be32(d, begin);
        std::size_t header = 8;
        if (size == 1) {
            size = (std::uint64_t{be32(d, begin + 8)} << 32) | be32(d, begin + 12);
            header = 16;
        } else if (size == 0) {
            size = end - begin;
        }
        if (size < header || begin + size > end) throw std::runtime_error("bad box size");
        if (std::string(reinterpret_cast<const char*>(&d[begin + 4]), 4) == type) {
            return std::pair{begin + header, static_cast<std::size_t>(begin + size)};
        }
        begin += static_cast<std::size_t>(size);
    }
    return std::nullopt;
}

}  // namespace

QuickTimeHEVCTrack readQuickTimeHEVCTrack(const std::filesystem::path& path) {
    // The sample entry and the samples as the movie checker reads them (it
    // shares no code with the muxer); the timing and the sync samples, which
    // it does not need, from the boxes here.
    FileMovieSource source(path);
    const QuickTimeVideoTrack video = readQuickTimeVideoTrack(source);
    const std::vector<std::uint8_t> d = readFileBytes(path);
    QuickTimeHEVCTrack track{video.format, video.sampleEntry, video.width, video.height, {}, {}, {}, {}, {}};
    for (const auto& box : video.extensions) {
        track.sampleEntryChildBoxes.push_back(box.type);
        if (box.type == "hvcC") track.hvcC = box.payload;
    }
    for (const auto& sample : video.samples) {
        const auto begin = d.begin() + static_cast<std::ptrdiff_t>(sample.offset);
        track.samples.emplace_back(begin, begin + sample.size);
    }

    std::pair<std::size_t, std::size_t> stbl{0, d.size()};
    for (const char* type : {"moov", "trak", "mdia", "minf", "stbl"}) {
        const auto box = findBox(d, stbl.first, stbl.second, type);
        if (!box) throw std::runtime_error(std::string("missing box ") + type);
        stbl = *box;
    }
    const auto stts = findBox(d, stbl.first, stbl.second, "stts").value();
    for (std::uint32_t i = 0; i < be32(d, stts.first + 4); ++i) {
        const std::uint32_t n = be32(d, stts.first + 8 + 8 * i);
        for (std::uint32_t k = 0; k < n; ++k) track.sampleDurations.push_back(be32(d, stts.first + 12 + 8 * i));
    }
    track.syncSamples.assign(track.samples.size(), true);
    if (const auto stss = findBox(d, stbl.first, stbl.second, "stss")) {
        track.syncSamples.assign(track.samples.size(), false);
        for (std::uint32_t i = 0; i < be32(d, stss->first + 4); ++i) track.syncSamples.at(be32(d, stss->first + 8 + 4 * i) - 1) = true;
    }
    return track;
}

std::vector<std::vector<std::uint8_t>> hvcCNalUnits(const std::vector<std::uint8_t>& hvcC) {
    std::vector<std::vector<std::uint8_t>> units;
    if (hvcC.size() < 23) throw std::runtime_error("hvcC too short");
    std::size_t at = 22;
    const int arrays = hvcC[at++];
    for (int a = 0; a < arrays; ++a) {
        const int count = (hvcC.at(at + 1) << 8) | hvcC.at(at + 2);
        at += 3;
        for (int n = 0; n < count; ++n) {
            const std::size_t length = (std::size_t{hvcC.at(at)} << 8) | hvcC.at(at + 1);
            at += 2;
            if (at + length > hvcC.size()) throw std::runtime_error("hvcC NAL unit outside the record");
            units.emplace_back(hvcC.begin() + static_cast<std::ptrdiff_t>(at), hvcC.begin() + static_cast<std::ptrdiff_t>(at + length));
            at += length;
        }
    }
    return units;
}

std::vector<std::vector<std::uint8_t>> lengthPrefixedNalUnits(const std::vector<std::uint8_t>& sample) {
    std::vector<std::vector<std::uint8_t>> units;
    std::size_t at = 0;
    while (at + 4 <= sample.size()) {
        const std::size_t length = be32(sample, at);
        at += 4;
        if (at + length > sample.size()) throw std::runtime_error("NAL unit outside the sample");
        units.emplace_back(sample.begin() + static_cast<std::ptrdiff_t>(at), sample.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return units;
}

}  // namespace pacemark::testing
