// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <optional>
#include <vector>

#include "MovieCheck/MovieCheckFinding.h"
#include "Telemetry/FrameRate.h"

namespace pacemark {

// Checks an HEVC track with an alpha layer the way editors on macOS read
// it, and reports every fault found; an empty result means well formed.
//
// `sampleEntry` is the whole 'hvc1' sample entry box including its 8-byte
// header; `samples` are the track's samples in decoding order (4-, 2- or
// 1-byte NAL lengths, as the hvcC says). Checked: the sample entry (type,
// size, one hvcC); the hvcC and its arrays (complete parameter-set arrays,
// types, fields matching the SPS); the VPS (two layers, layer 1 an
// independent alpha layer with AuxId 1, and the layout the macOS encoders
// write: layer set {0} in the base part, one additional layer set {1} that
// output layer set 1 outputs, two profile-tier-level entries, aligned POC
// LSBs and none in layer-1 IDR slices); the SPS and PPS of both layers, with
// video_full_range_flag 1 on the alpha layer; the alpha_channel_info SEI
// (present, not cancelled, use_idc 0 or 1, bit depth of the alpha layer);
// and in every sample one picture of each layer, colour first, with slice
// headers that parse and the same picture type and POC in both layers.
// Faults of samples are reported once per kind with the first sample and
// how many samples have it.
//
// The input is untrusted: any bytes give findings, never a crash, an
// exception or a read outside the spans.
std::vector<MovieCheckFinding> checkHEVCAlphaTrack(std::span<const std::uint8_t> sampleEntry,
                                                   const std::vector<std::span<const std::uint8_t>>& samples);

// The frame rate the colour layer's SPS states in its timing information
// (time_scale / num_units_in_tick), read from the same sample entry; none
// when the SPS carries no timing or cannot be read (checkHEVCAlphaTrack
// reports the latter). Untrusted input as above.
std::optional<FrameRate> hevcTrackFrameRate(std::span<const std::uint8_t> sampleEntry);

}  // namespace pacemark
