// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace pacemark {

// The bytes of a FIT file in order, through a window of fixed size: the
// decoder asks for the next few bytes in one piece, reads them and moves on,
// so a file of any length is decoded in the memory of one window. The
// largest piece the decoder needs is one data message (255 fields and 255
// developer fields of 255 bytes each), which always fits.
class FITByteStream {
public:
    // Reads up to `capacity` bytes into `into`; 0 at the end. Failures are
    // thrown and end the decoding.
    using ByteSource = std::function<std::size_t(std::uint8_t* into, std::size_t capacity)>;

    static constexpr std::size_t windowBytes = std::size_t{1} << 17;

    explicit FITByteStream(const ByteSource& read);

    // Makes the next `count` bytes (at most windowBytes) contiguous at
    // data(), reading as needed; returns how many are there, fewer than
    // `count` only when the source has ended.
    std::size_t request(std::size_t count);
    const std::uint8_t* data() const { return window_.get() + begin_; }
    // Moves past `count` bytes that request() made available.
    void consume(std::size_t count) {
        begin_ += count;
        position_ += count;
    }
    // Offset in the file of data().
    std::uint64_t position() const { return position_; }
    // Reads to the end without keeping anything; returns the file's length.
    std::uint64_t drain();

private:
    const ByteSource& read_;
    std::unique_ptr<std::uint8_t[]> window_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::uint64_t position_ = 0;
    bool ended_ = false;
};

}  // namespace pacemark
