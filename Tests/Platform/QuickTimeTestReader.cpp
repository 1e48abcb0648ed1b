// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickTimeTestReader.h"

#include "FFmpegHandles.h"
#include "MovieCheck/QuickTimeTrackReader.h"
#include "TestSupport.h"

#include <stdexcept>

namespace pacemark::testing {

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

}  // namespace pacemark::testing
