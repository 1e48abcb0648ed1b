// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCCabacEncoder.h"

#include "HEVCBitWriter.h"

#include <algorithm>

namespace pacemark {
namespace {

// rangeTabLps[pStateIdx][qRangeIdx] (Table 9-52 of the H.265 text).
constexpr std::uint8_t rangeTabLps[64][4] = {
    {128, 176, 208, 240}, {128, 167, 197, 227}, {128, 158, 187, 216}, {123, 150, 178, 205}, {116, 142, 169, 195},
    {111, 135, 160, 185}, {105, 128, 152, 175}, {100, 122, 144, 166}, {95, 116, 137, 158},  {90, 110, 130, 150},
    {85, 104, 123, 142},  {81, 99, 117, 135},   {77, 94, 111, 128},   {73, 89, 105, 122},   {69, 85, 100, 116},
    {66, 80, 95, 110},    {62, 76, 90, 104},    {59, 72, 86, 99},     {56, 69, 81, 94},     {53, 65, 77, 89},
    {51, 62, 73, 85},     {48, 59, 69, 80},     {46, 56, 66, 76},     {43, 53, 63, 72},     {41, 50, 59, 69},
    {39, 48, 56, 65},     {37, 45, 54, 62},     {35, 43, 51, 59},     {33, 41, 48, 56},     {32, 39, 46, 53},
    {30, 37, 43, 50},     {29, 35, 41, 48},     {27, 33, 39, 45},     {26, 31, 37, 43},     {24, 30, 35, 41},
    {23, 28, 33, 39},     {22, 27, 32, 37},     {21, 26, 30, 35},     {20, 24, 29, 33},     {19, 23, 27, 31},
    {18, 22, 26, 30},     {17, 21, 25, 28},     {16, 20, 23, 27},     {15, 19, 22, 25},     {14, 18, 21, 24},
    {14, 17, 20, 23},     {13, 16, 19, 22},     {12, 15, 18, 21},     {12, 14, 17, 20},     {11, 14, 16, 19},
    {11, 13, 15, 18},     {10, 12, 15, 17},     {10, 12, 14, 16},     {9, 11, 13, 15},      {9, 11, 12, 14},
    {8, 10, 12, 14},      {8, 9, 11, 13},       {7, 9, 11, 12},       {7, 9, 10, 12},       {7, 8, 10, 11},
    {6, 8, 9, 11},        {6, 7, 9, 10},        {6, 7, 8, 9},         {2, 2, 2, 2},
};

// transIdxLps[pStateIdx] (Table 9-53); the MPS transition is min(p + 1, 62).
constexpr std::uint8_t transIdxLps[64] = {
    0,  0,  1,  2,  2,  4,  4,  5,  6,  7,  8,  9,  9,  11, 11, 12, 13, 13, 15, 15, 16, 16,
    18, 18, 19, 19, 21, 21, 22, 22, 23, 24, 24, 25, 26, 26, 27, 27, 28, 29, 29, 30, 30, 30,
    31, 32, 32, 33, 33, 33, 34, 34, 35, 35, 35, 36, 36, 36, 37, 37, 37, 38, 38, 63,
};

}  // namespace

HEVCCabacContext HEVCCabacContext::initialised(int initValue, int sliceQp) {
    const int slope = (initValue >> 4) * 5 - 45;
    const int offset = ((initValue & 15) << 3) - 16;
    const int preState = std::clamp(((slope * std::clamp(sliceQp, 0, 51)) >> 4) + offset, 1, 126);
    HEVCCabacContext context;
    context.mostProbableSymbol = preState <= 63 ? 0 : 1;
    context.state = static_cast<std::uint8_t>(context.mostProbableSymbol ? preState - 64 : 63 - preState);
    return context;
}

void HEVCCabacEncoder::encodeBin(HEVCCabacContext& context, int bin) {
    const std::uint32_t lps = rangeTabLps[context.state][(range_ >> 6) & 3];
    range_ -= lps;
    if (bin != context.mostProbableSymbol) {
        low_ += range_;
        range_ = lps;
        if (context.state == 0) context.mostProbableSymbol = static_cast<std::uint8_t>(1 - context.mostProbableSymbol);
        context.state = transIdxLps[context.state];
    } else {
        context.state = static_cast<std::uint8_t>(std::min(context.state + 1, 62));
    }
    renormalise();
}

void HEVCCabacEncoder::encodeBypass(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        low_ <<= 1;
        if ((value >> i) & 1u) low_ += range_;
        if (low_ >= 1024) {
            putBit(1);
            low_ -= 1024;
        } else if (low_ < 512) {
            putBit(0);
        } else {
            low_ -= 512;
            ++bitsOutstanding_;
        }
    }
}

void HEVCCabacEncoder::encodeTerminate(int bin) {
    range_ -= 2;
    if (!bin) {
        renormalise();
        return;
    }
    // Flush: the last two register bits, the second of which the trailing
    // bits' stop bit follows.
    low_ += range_;
    range_ = 2;
    renormalise();
    putBit(static_cast<int>((low_ >> 9) & 1));
    writer_.writeBits((low_ >> 8) & 1, 1);
}

void HEVCCabacEncoder::renormalise() {
    while (range_ < 256) {
        if (low_ < 256) {
            putBit(0);
        } else if (low_ >= 512) {
            low_ -= 512;
            putBit(1);
        } else {
            low_ -= 256;
            ++bitsOutstanding_;
        }
        range_ <<= 1;
        low_ <<= 1;
    }
}

void HEVCCabacEncoder::putBit(int bit) {
    // The first bit out of the register is the carry position of the
    // 9-bit offset the decoder starts with: it is always 0 and not sent.
    if (firstBit_) {
        firstBit_ = false;
    } else {
        writer_.writeBits(static_cast<std::uint32_t>(bit), 1);
    }
    for (; bitsOutstanding_ > 0; --bitsOutstanding_) writer_.writeBits(static_cast<std::uint32_t>(1 - bit), 1);
}

}  // namespace pacemark
