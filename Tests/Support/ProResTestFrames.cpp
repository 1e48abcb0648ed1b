// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProResTestFrames.h"

#include <initializer_list>
#include <random>

namespace pacemark::testing {
namespace {

void putBig(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(value >> (8 * i)));
}

void setBig(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[at + std::size_t(i)] = std::uint8_t(value);
}

std::vector<std::uint8_t> bigWords(std::initializer_list<std::uint64_t> values) {
    std::vector<std::uint8_t> out;
    for (const std::uint64_t value : values) putBig(out, value, 4);
    return out;
}

// `first`, then each of `rest`, one after another.
std::vector<std::uint8_t> joined(std::vector<std::uint8_t> first, const std::vector<std::vector<std::uint8_t>>& rest) {
    for (const auto& part : rest) first.insert(first.end(), part.begin(), part.end());
    return first;
}

class BitWriter {
public:
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            if ((value >> i) & 1) bytes_.back() |= std::uint8_t(0x80 >> (bits_ % 8));
            ++bits_;
        }
    }
    std::vector<std::uint8_t> bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t bits_ = 0;
};

void putRun(BitWriter& bits, std::uint32_t run) {
    if (run == 0) {
        bits.put(1, 1);
    } else if (run < 16) {
        bits.put(run, 5);
    } else {
        bits.put(run, 16);
    }
}

// Differences of up to 64 (16-bit) or 8 (8-bit) take the short code.
std::vector<std::uint8_t> codeAlpha(const std::vector<std::uint16_t>& values, int alphaBits, bool finalRun) {
    const int mask = (1 << alphaBits) - 1;
    const int shortLimit = alphaBits == 8 ? 8 : 64;
    BitWriter bits;
    int previous = mask;
    std::uint32_t run = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int value = values[i] & mask;
        if (i > 0 && value == previous) {
            ++run;
            continue;
        }
        if (i > 0) putRun(bits, run);
        run = 0;
        int difference = (value - previous) & mask;
        if (difference > mask / 2) difference -= mask + 1;
        if (difference == 0 || difference > shortLimit || difference < -shortLimit) {
            bits.put(1, 1);
            bits.put(std::uint32_t(difference) & std::uint32_t(mask), alphaBits);
        } else {
            const int magnitude = difference < 0 ? -difference : difference;
            bits.put(0, 1);
            bits.put(std::uint32_t(magnitude - 1), alphaBits == 8 ? 3 : 6);
            bits.put(difference < 0, 1);
        }
        previous = value;
    }
    if (run || finalRun) putRun(bits, run);
    return bits.bytes();
}

}  // namespace

std::vector<std::uint8_t> buildProResFrame(int width, int height, const std::vector<std::vector<std::uint16_t>>& alpha,
                                           ProResFrameFaults faults, int alphaBits, bool interlaced) {
    std::vector<std::uint8_t> frame(4, 0);
    for (char c : std::string("icpf")) frame.push_back(std::uint8_t(c));
    putBig(frame, 20, 2);
    putBig(frame, faults.versionZero ? 0 : 1, 2);
    for (char c : std::string("apl0")) frame.push_back(std::uint8_t(c));
    putBig(frame, std::uint64_t(width), 2);
    putBig(frame, std::uint64_t(height), 2);
    frame.push_back(std::uint8_t(0xC0 | (interlaced ? 0x04 : 0)));
    frame.insert(frame.end(), {0, 1, 1, 1});
    frame.push_back(std::uint8_t((faults.reservedAlphaBits ? 0x40 : 0) | alphaBits / 8));
    frame.insert(frame.end(), {0, 0});

    const int pictures = interlaced ? 2 : 1;
    const std::size_t slicesPerPicture = alpha.size() / std::size_t(pictures);
    for (int p = 0; p < pictures; ++p) {
        const std::size_t pictureAt = frame.size();
        frame.push_back(0x40);
        putBig(frame, 0, 4);
        putBig(frame, slicesPerPicture, 2);
        frame.push_back(0x30);  // eight macroblocks a slice
        const std::size_t indexAt = frame.size();
        frame.resize(frame.size() + 2 * slicesPerPicture);
        for (std::size_t s = 0; s < slicesPerPicture; ++s) {
            const std::size_t sliceAt = frame.size();
            if (alphaBits == 0) {
                frame.insert(frame.end(), {0x30, 1, 0, 2, 0, 2, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
                setBig(frame, indexAt + 2 * s, frame.size() - sliceAt, 2);
                continue;
            }
            const auto coded =
                codeAlpha(alpha[std::size_t(p) * slicesPerPicture + s], alphaBits, !faults.missingFinalRunCode);
            frame.insert(frame.end(), {0x40, 1, 0, 2, 0, 2, 0, 2, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
            frame.insert(frame.end(), coded.begin(), coded.end());
            setBig(frame, indexAt + 2 * s, frame.size() - sliceAt, 2);
        }
        setBig(frame, pictureAt + 1, frame.size() - pictureAt, 4);
    }
    setBig(frame, 0, frame.size(), 4);
    return frame;
}

std::vector<std::uint8_t> noisyPicture(std::int64_t width, std::int64_t height, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bgra(std::size_t(width * height * 4));
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        const auto alpha = std::uint8_t(random() & 0xFF);
        for (int c = 0; c < 3; ++c) bgra[i + std::size_t(c)] = std::uint8_t(random() % (alpha + 1u));
        bgra[i + 3] = alpha;
    }
    return bgra;
}

std::vector<std::uint8_t> quickTimeBox(const std::string& type, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> box;
    putBig(box, payload.size() + 8, 4);
    box.insert(box.end(), type.begin(), type.end());
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

std::vector<std::uint8_t> buildQuickTimeMovie(const std::string& format, int width, int height, int depth,
                                              const std::vector<std::vector<std::uint8_t>>& extensions,
                                              const std::vector<std::vector<std::uint8_t>>& frames,
                                              const QuickTimeTestTiming& timing) {
    const auto ftyp = quickTimeBox("ftyp", {'q', 't', ' ', ' ', 0, 0, 2, 0, 'q', 't', ' ', ' '});
    const std::size_t mediaAt = ftyp.size() + 8;

    std::vector<std::uint8_t> entry(6, 0);
    putBig(entry, 1, 2);                 // data reference
    entry.resize(entry.size() + 16, 0);  // version, revision, vendor, qualities
    putBig(entry, std::uint64_t(width), 2);
    putBig(entry, std::uint64_t(height), 2);
    const auto resolutionAndDataSize = bigWords({0x00480000, 0x00480000, 0});
    entry.insert(entry.end(), resolutionAndDataSize.begin(), resolutionAndDataSize.end());
    putBig(entry, 1, 2);
    entry.resize(entry.size() + 32, 0);  // compressor name
    putBig(entry, std::uint64_t(depth), 2);
    putBig(entry, 0xFFFF, 2);
    entry = joined(entry, extensions);

    // One chunk holding every sample, of the frames' sizes.
    auto stsz = bigWords({0, 0, frames.size()});
    for (const auto& frame : frames) putBig(stsz, frame.size(), 4);
    auto stbl = joined(quickTimeBox("stsd", joined({0, 0, 0, 0, 0, 0, 0, 1}, {quickTimeBox(format, entry)})),
                       {quickTimeBox("stsz", stsz), quickTimeBox("stsc", bigWords({0, 1, 1, frames.size(), 1})),
                        quickTimeBox("stco", bigWords({0, 1, mediaAt}))});
    if (timing.withDurations) {
        auto runs = timing.runs;
        if (runs.empty()) runs.push_back({std::uint32_t(frames.size()), timing.duration});
        auto stts = bigWords({0, runs.size()});
        for (const auto& [count, duration] : runs) {
            putBig(stts, count, 4);
            putBig(stts, duration, 4);
        }
        stbl = joined(stbl, {quickTimeBox("stts", stts)});
    }
    std::vector<std::uint8_t> hdlr = {0, 0, 0, 0, 0, 0, 0, 0, 'v', 'i', 'd', 'e', 'v', 'i', 'd', 'e'};
    hdlr.resize(hdlr.size() + 13, 0);
    const auto minf = quickTimeBox("minf", quickTimeBox("stbl", stbl));
    // Version 0: times of 4 bytes, then the time scale, duration, language, quality.
    std::vector<std::uint8_t> mdhd = bigWords({0, 0, 0, timing.timeScale, frames.size() * timing.duration});
    mdhd.resize(mdhd.size() + 4, 0);
    auto media = quickTimeBox("hdlr", hdlr);
    if (timing.timeScale != 0) media = joined(quickTimeBox("mdhd", mdhd), {media});
    const auto mdia = quickTimeBox("mdia", joined(media, {minf}));
    return joined(ftyp, {quickTimeBox("mdat", joined({}, frames)), quickTimeBox("moov", quickTimeBox("trak", mdia))});
}

}  // namespace pacemark::testing
