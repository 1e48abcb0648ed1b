// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pacemark {

// An exact frame rate: numerator / denominator frames per second, always in
// lowest terms with both terms positive (30000/1001 for the 29.97 of video
// cameras, 30/1 for 30). The unknown rate, 0/1, is what a movie that states
// none reports, and what a rate of 0 or less or a zero denominator becomes.
//
// Frame i lasts from i × D / N to (i + 1) × D / N seconds. Every instant is
// computed from the frame number in integers and divided once, so frame
// 1,000,000 at 30000/1001 is at 33366.6 s exactly as far as a double holds
// it, with no error summed over the frames before it; at a whole rate the
// instant is i / N, bit for bit what dividing the frame number gives.
class FrameRate {
public:
    constexpr FrameRate() = default;
    // A whole rate: 30 is 30/1. Implicit, so that a whole number of frames
    // per second reads as the rate it is.
    constexpr FrameRate(std::int64_t framesPerSecond) : FrameRate(framesPerSecond, 1) {}
    // numerator / denominator, reduced; unknown unless both are positive.
    constexpr FrameRate(std::int64_t numerator, std::int64_t denominator) {
        if (numerator <= 0 || denominator <= 0) return;
        std::int64_t a = numerator, b = denominator;
        while (b != 0) {
            const std::int64_t r = a % b;
            a = b;
            b = r;
        }
        numerator_ = numerator / a;
        denominator_ = denominator / a;
    }

    constexpr std::int64_t numerator() const { return numerator_; }
    constexpr std::int64_t denominator() const { return denominator_; }
    constexpr bool isKnown() const { return numerator_ > 0; }
    constexpr bool isWhole() const { return isKnown() && denominator_ == 1; }
    // N / D as a double, 0 when unknown: for display and estimates, never for timing.
    double framesPerSecond() const;

    // The instant frame `frameIndex` starts at, in seconds from frame 0
    // (i × D / N, see above). 0 for an unknown rate.
    double seconds(std::int64_t frameIndex) const;
    // Frames needed to cover `seconds`: ⌈seconds × N / D⌉, at least 0 and at
    // most 2^62 (a NaN covers nothing). 0 for an unknown rate. A product
    // within a millionth of a frame of a whole number is that number: 10.01 s
    // are 300 frames at 30000/1001, though 10.01 × 30000 / 1001 comes out a
    // hair above 300 in doubles.
    std::int64_t framesCovering(double seconds) const;
    // The whole second of the movie frame `frameIndex` starts in (⌊i × D / N⌋).
    std::int64_t secondOfFrame(std::int64_t frameIndex) const;
    // Whether frame `frameIndex` is the first to start in its second of the
    // movie (frame 0 always is): at 30 every 30th frame, at 30000/1001
    // frames 0, 30, 60 ... 990, 1019 (frame 1019 starts at 34.0006 s).
    bool startsSecond(std::int64_t frameIndex) const;

    // "30000/1001", "30/1": the exact rate, as FFmpeg and the command line write it.
    std::string text() const;
    // Russian text for the window: a whole rate as its number ("30"), any
    // other rounded to three decimals without trailing zeros and with a
    // decimal comma ("29,97", "23,976", "12,5").
    std::string title() const;

    // Reads a rate as the user or a script writes it: a whole number ("30"),
    // a fraction ("30000/1001") or a decimal with a point or a comma ("12.5",
    // "25,0"). The NTSC decimals "23.976", "29.97" and "59.94" are the exact
    // 24000/1001, 30000/1001 and 60000/1001 they stand for, not 2997/125 and
    // so on. Whether the rate is one a movie can be written at is the export
    // settings' concern; this only refuses text that is no rate at all, or
    // whose terms pass largestParsedTerm. Returns none then; parseError says why.
    static std::optional<FrameRate> parse(std::string_view text);
    // Russian text saying why `text` is no rate, none when parse accepts it.
    static std::optional<std::string> parseError(std::string_view text);
    // The largest numerator or denominator parse takes (before reducing):
    // well past any rate a camera or editor uses, and small enough that
    // every term fits a movie's 32-bit time scale and durations.
    static constexpr std::int64_t largestParsedTerm = 1'000'000;

    constexpr bool operator==(const FrameRate&) const = default;

private:
    std::int64_t numerator_ = 0;
    std::int64_t denominator_ = 1;
};

}  // namespace pacemark
