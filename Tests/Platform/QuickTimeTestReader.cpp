// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickTimeTestReader.h"

#include "FFmpegHandles.h"
#include "MovieCheck/QuickTimeTrackReader.h"
#include "TestSupport.h"

#include <stdexcept>

namespace pacemark::testing {
namespace {

std::uint32_t be32(const std::vector<std::uint8_t>& d, std::size_t at) {
    if (at + 4 > d.size()) throw std::runtime_error("truncated box");
    return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) | (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
}

}  // namespace

QuickTimeHEVCTrack readQuickTimeHEVCTrack(const std::filesystem::path& path) {
    // The sample entry and the samples as the movie checker reads them (it
    // shares no code with the muxer); the timing and the sync samples, which
    // it does not need, as FFmpeg's demuxer reads them from stts and stss.
    FileMovieSource source(path);
    const QuickTimeVideoTrack video = readQuickTimeVideoTrack(source);
    const std::vector<std::uint8_t> d = readFileBytes(path);
    QuickTimeHEVCTrack track{video.sampleEntry, {}, {}, {}, {}};
    for (const auto& box : video.extensions) {
        if (box.type == "hvcC") track.hvcC = box.payload;
    }
    for (const auto& sample : video.samples) {
        const auto begin = d.begin() + static_cast<std::ptrdiff_t>(sample.offset);
        track.samples.emplace_back(begin, begin + sample.size);
    }

    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        throw std::runtime_error("FFmpeg cannot open the movie");
    }
    const ffmpeg::InputFormatHandle input(raw);
    const ffmpeg::PacketHandle packet(av_packet_alloc());
    while (av_read_frame(raw, packet.get()) >= 0) {
        const ffmpeg::PacketReference release(packet.get());
        track.sampleDurations.push_back(static_cast<std::uint32_t>(packet->duration));
        track.syncSamples.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
    }
    if (track.syncSamples.size() != track.samples.size()) throw std::runtime_error("FFmpeg reads other samples");
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
