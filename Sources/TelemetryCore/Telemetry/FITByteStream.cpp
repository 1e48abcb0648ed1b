// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry/FITByteStream.h"

#include <algorithm>
#include <cstring>

namespace pacemark {

FITByteStream::FITByteStream(const ByteSource& read)
    : read_(read), window_(std::make_unique_for_overwrite<std::uint8_t[]>(windowBytes)) {}

std::size_t FITByteStream::request(std::size_t count) {
    if (end_ - begin_ >= count || ended_) return std::min(count, end_ - begin_);
    // Unread bytes move to the front, so the piece is contiguous and the
    // rest of the window takes the next read.
    if (begin_ > 0) {
        std::memmove(window_.get(), window_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ < count && !ended_) {
        const std::size_t got = read_(window_.get() + end_, windowBytes - end_);
        if (got == 0) ended_ = true;
        end_ += got;
    }
    return std::min(count, end_ - begin_);
}

std::uint64_t FITByteStream::drain() {
    position_ += end_ - begin_;
    begin_ = end_ = 0;
    while (!ended_) {
        const std::size_t got = read_(window_.get(), windowBytes);
        if (got == 0) ended_ = true;
        position_ += got;
    }
    return position_;
}

}  // namespace pacemark
