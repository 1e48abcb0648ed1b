// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace pacemark {

class HEVCBitWriter;

// One context variable of the arithmetic coder: probability state and the
// value of the most probable symbol.
struct HEVCCabacContext {
    std::uint8_t state = 0;  // pStateIdx, 0...62
    std::uint8_t mostProbableSymbol = 0;

    // Initialises from a context's initValue at slice QP `sliceQp` (9.3.2.2).
    static HEVCCabacContext initialised(int initValue, int sliceQp);
};

// The binary arithmetic encoder of HEVC slice data (the engine whose decoder
// 9.3.4.3 specifies): context-coded bins, bypass bins and the terminating
// bin. Bits go into the caller's
// writer, which must be byte aligned when encoding starts (slice data
// starts on a byte boundary).
class HEVCCabacEncoder {
public:
    explicit HEVCCabacEncoder(HEVCBitWriter& writer) : writer_(writer) {}

    void encodeBin(HEVCCabacContext& context, int bin);
    // Equiprobable bins: the `count` low bits of `value`, most significant first.
    void encodeBypass(std::uint32_t value, int count);
    // end_of_slice_segment_flag and friends: 0 continues, 1 ends the
    // arithmetic code word and writes the bits still held in the register;
    // the caller then writes rbsp_slice_segment_trailing_bits().
    void encodeTerminate(int bin);

private:
    void renormalise();
    void putBit(int bit);

    HEVCBitWriter& writer_;
    std::uint32_t low_ = 0;
    std::uint32_t range_ = 510;
    std::uint32_t bitsOutstanding_ = 0;
    bool firstBit_ = true;
};

}  // namespace pacemark
