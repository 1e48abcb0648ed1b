#include "QuickTimeTestReader.h"

#include "MovieCheck/QuickTimeTrackReader.h"
#include "TestSupport.h"

#include <stdexcept>

namespace pacemark::testing {
namespace {

std::uint32_t be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    if (at + 4 > d.size()) throw std::runtime_error("truncated box");
    return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) | (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

struct Box {
    std::string type;
    std::size_t payload;
    std::size_t end;
};

std::vector<Box> children(const std::vector<std::uint8_t>& d, std::size_t begin, std::size_t end) {
    std::vector<Box> boxes;
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
        boxes.push_back({std::string(reinterpret_cast<const char*>(&d[begin + 4]), 4), begin + header,
                         static_cast<std::size_t>(begin + size)});
        begin += static_cast<std::size_t>(size);
    }
    return boxes;
}

Box child(const std::vector<std::uint8_t>& d, const Box& parent, const std::string& type) {
    for (const Box& box : children(d, parent.payload, parent.end)) {
        if (box.type == type) return box;
    }
    throw std::runtime_error("missing box " + type);
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

    const Box file{"", 0, d.size()};
    const Box stbl = child(d, child(d, child(d, child(d, child(d, file, "moov"), "trak"), "mdia"), "minf"), "stbl");
    const Box stts = child(d, stbl, "stts");
    const std::uint32_t entries = be32(d, stts.payload + 4);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint32_t n = be32(d, stts.payload + 8 + 8 * i);
        for (std::uint32_t k = 0; k < n; ++k) track.sampleDurations.push_back(be32(d, stts.payload + 12 + 8 * i));
    }
    track.syncSamples.assign(track.samples.size(), true);
    for (const Box& box : children(d, stbl.payload, stbl.end)) {
        if (box.type != "stss") continue;
        track.syncSamples.assign(track.samples.size(), false);
        for (std::uint32_t i = 0; i < be32(d, box.payload + 4); ++i) track.syncSamples.at(be32(d, box.payload + 8 + 4 * i) - 1) = true;
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
