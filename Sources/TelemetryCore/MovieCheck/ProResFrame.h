// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PacemarkError.h"

namespace pacemark {

// A coded ProRes frame that breaks the format's grammar. `slice` is the
// slice's number in the frame (0-based, across both fields of an interlaced
// frame), or -1 when the frame or picture headers are at fault.
class ProResFormatError : public PacemarkError {
public:
    ProResFormatError(const std::string& description, int slice = -1) : PacemarkError(description), slice_(slice) {}
    int slice() const { return slice_; }

private:
    int slice_;
};

// How a slice's alpha data ends. The run-length coding of alpha puts a run
// code after every value; an encoder that leaves out the last one (when the
// slice's final value differs from the one before it) produces data that
// lenient decoders accept and strict ones misread.
enum class ProResAlphaEnding { complete, missingFinalRunCode };

struct ProResAlphaScan {
    ProResAlphaEnding ending = ProResAlphaEnding::complete;
    std::size_t endBit = 0;  // the bit after the last code, counted from the start of the alpha data
};

// Reads the alpha data of one slice: `valueCount` values of `alphaBits`
// (8 or 16) bits, each a difference to the previous value followed by a run
// code, then zero padding to the byte. Throws ProResFormatError (with slice
// -1; the caller knows the slice) on any other deviation.
ProResAlphaScan scanProResAlpha(std::span<const std::uint8_t> alphaData, int alphaBits, int valueCount);

// Where one slice of a frame lies, from the slice index and its header.
struct ProResSlice {
    std::size_t offset = 0;           // of the slice header, in the frame
    std::size_t size = 0;             // header and every plane, as in the slice index
    std::size_t sizeEntryOffset = 0;  // of its 16-bit entry in the slice index
    std::size_t pictureIndex = 0;
    std::size_t alphaOffset = 0;      // of its alpha data (size 0 without alpha)
    std::size_t alphaSize = 0;
    int macroblocks = 0;
};

struct ProResPicture {
    std::size_t offset = 0;  // of the picture header; its 32-bit size follows the first byte
    std::size_t size = 0;
};

// The layout of one coded ProRes frame (one sample of a QuickTime track):
// the frame header, one picture (two for interlaced frames) with its slice
// index, and every slice's planes. Parsing checks the whole grammar except
// the contents of the colour planes; the three faults an encoder is known to
// leave (version 0, reserved bits of the alpha type, the missing final alpha
// run code) are reported as values, not as errors, so they can be counted
// and repaired.
struct ProResFrame {
    static constexpr std::size_t kVersionOffset = 10;    // 16-bit bitstream version
    static constexpr std::size_t kAlphaTypeOffset = 25;  // reserved high nibble, alpha type low nibble

    int version = 0;
    int width = 0;
    int height = 0;
    int chromaFormat = 0;   // 2: 4:2:2, 3: 4:4:4
    int interlaceMode = 0;  // 0 progressive, 1 top field first, 2 bottom field first
    std::uint8_t alphaTypeByte = 0;
    int alphaBits = 0;  // 0, 8 or 16
    std::vector<ProResPicture> pictures;
    std::vector<ProResSlice> slices;

    // Version 0 is only for 4:2:2 without alpha.
    bool needsVersionOne() const { return chromaFormat == 3 || alphaBits != 0; }
    bool versionTooLow() const { return version == 0 && needsVersionOne(); }
    bool reservedAlphaBitsSet() const { return (alphaTypeByte & 0xF0) != 0; }

    // Parses the frame; throws ProResFormatError. The sample may carry zero
    // bytes after the frame. The alpha data of the slices is located, not
    // scanned: see scanProResAlpha.
    static ProResFrame parse(std::span<const std::uint8_t> bytes);
};

}  // namespace pacemark
