// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaMovieCheck.h"

#include "HEVCBitReader.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"
#include "HEVCSliceHeader.h"
#include "HEVCVideoParameterSet.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>

namespace pacemark {
namespace {

constexpr std::size_t visualSampleEntrySize = 86;  // box header + VisualSampleEntry fields
constexpr std::uint32_t alphaChannelInfoPayload = 165;

// Findings in reading order; faults of samples are gathered per kind so that
// a fault in every frame of a long movie reads as one line.
class FindingList {
public:
    void add(std::string message) { findings_.push_back({std::move(message)}); }
    void sampleFault(const std::string& kind, std::size_t sampleIndex, const std::string& detail) {
        const auto [entry, isNew] = repeated_.try_emplace(kind, Repeated{findings_.size(), 0});
        if (isNew) add("Кадр " + std::to_string(sampleIndex + 1) + " дорожки: " + detail);
        ++entry->second.count;
    }
    std::vector<MovieCheckFinding> finish() {
        for (const auto& [kind, repeated] : repeated_) {
            if (repeated.count > 1) {
                findings_[repeated.findingIndex].message += " Таких кадров: " + std::to_string(repeated.count) + ".";
            }
        }
        return std::move(findings_);
    }

private:
    struct Repeated {
        std::size_t findingIndex = 0;
        std::size_t count = 0;
    };
    std::vector<MovieCheckFinding> findings_;
    std::map<std::string, Repeated> repeated_;
};

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = (value << 8) | bytes[at + i];
    return value;
}

// A box type as text; bytes that are not printable ASCII become '?', so
// that a damaged file never puts invalid UTF-8 into a message.
std::string fourCharacterCode(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::string code;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint8_t c = bytes[at + i];
        code += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    return code;
}

std::string layerName(int layerId) {
    if (layerId == 0) return "слоя цвета";
    if (layerId == 1) return "слоя альфа-канала";
    return "слоя " + std::to_string(layerId);
}

std::string layerSetText(const std::vector<int>& layers) {
    std::string text = "{";
    for (std::size_t i = 0; i < layers.size(); ++i) text += (i ? ", " : "") + std::to_string(layers[i]);
    return text + "}";
}

struct AlphaChannelInfo {
    bool cancel = false;
    std::uint32_t useIdc = 0;
    std::uint32_t bitDepth = 8;
    std::uint32_t transparentValue = 0;
    std::uint32_t opaqueValue = 0;
};

// The alpha_channel_info message of an SEI NAL unit, if it has one. Throws
// HEVCBitstreamError when the SEI messages do not parse.
std::optional<AlphaChannelInfo> findAlphaChannelInfo(const HEVCNalUnit& sei) {
    const std::vector<std::uint8_t>& d = sei.rbsp;
    std::size_t at = 0;
    auto readVariable = [&] {
        std::uint32_t value = 0;
        for (;;) {
            if (at >= d.size()) throw HEVCBitstreamError("заголовок сообщения SEI выходит за конец NAL-блока");
            const std::uint8_t byte = d[at++];
            value += byte;
            if (byte != 0xFF) return value;
        }
    };
    // Messages follow each other until the rbsp_trailing_bits byte.
    while (at < d.size() && !(at + 1 == d.size() && d[at] == 0x80)) {
        const std::uint32_t type = readVariable();
        const std::uint32_t size = readVariable();
        if (size > d.size() - at) throw HEVCBitstreamError("данные сообщения SEI выходят за конец NAL-блока");
        if (type == alphaChannelInfoPayload) {
            HEVCBitReader reader(std::span<const std::uint8_t>(d.data() + at, size));
            AlphaChannelInfo info;
            info.cancel = reader.readFlag();
            if (!info.cancel) {
                info.useIdc = reader.readBits(3);
                info.bitDepth = reader.readBits(3) + 8;
                info.transparentValue = reader.readBits(static_cast<int>(info.bitDepth) + 1);
                info.opaqueValue = reader.readBits(static_cast<int>(info.bitDepth) + 1);
                reader.readFlag();                      // alpha_channel_incr_flag
                if (reader.readFlag()) reader.readFlag();  // alpha_channel_clip_flag, clip_type_flag
            }
            return info;
        }
        at += size;
    }
    return std::nullopt;
}

struct LayerParameterSets {
    std::map<std::uint32_t, HEVCSequenceParameterSet> sequenceSets;
    std::map<std::uint32_t, HEVCPictureParameterSet> pictureSets;
};

// What the hvcC holds, read and checked.
struct TrackConfiguration {
    std::size_t nalLengthSize = 4;
    int profileIdc = 0;
    std::uint32_t chromaFormatIdc = 0;
    std::uint32_t bitDepthLumaMinus8 = 0;
    std::optional<HEVCVideoParameterSet> videoParameterSet;
    bool videoParameterSetSeen = false;
    LayerParameterSets layers[2];
    std::optional<AlphaChannelInfo> alphaChannelInfo;
};

// Reads the sample entry; returns its hvcC payload when there is one.
std::optional<std::span<const std::uint8_t>> readSampleEntry(std::span<const std::uint8_t> entry, FindingList& findings,
                                                            std::uint32_t& width, std::uint32_t& height, bool& hvc1) {
    if (entry.size() < visualSampleEntrySize) {
        findings.add("Описание дорожки видео короче " + std::to_string(visualSampleEntrySize) +
                     " байт: дорожка повреждена.");
        return std::nullopt;
    }
    const std::uint32_t declared = bigEndian(entry, 0, 4);
    if (declared != entry.size()) {
        findings.add("Описание дорожки видео: размер в заголовке (" + std::to_string(declared) +
                     " байт) не совпадает с размером блока (" + std::to_string(entry.size()) + " байт).");
    }
    const std::string type = fourCharacterCode(entry, 4);
    hvc1 = type == "hvc1";
    if (type == "hev1") {
        findings.add("Описание дорожки видео «hev1»: редакторы на macOS ожидают «hvc1», где параметры потока "
                     "хранятся только в описании дорожки.");
    } else if (type != "hvc1") {
        findings.add("Описание дорожки видео «" + type + "», а не «hvc1»: это не HEVC в форме, которую читают редакторы.");
    }
    width = bigEndian(entry, 32, 2);
    height = bigEndian(entry, 34, 2);
    const std::uint32_t depth = bigEndian(entry, 82, 2);
    if (depth != 24 && depth != 32) {
        findings.add("Описание дорожки видео: глубина цвета " + std::to_string(depth) + ", а ожидается 24.");
    }

    const std::size_t end = std::min<std::size_t>(entry.size(), std::max<std::size_t>(declared, visualSampleEntrySize));
    std::optional<std::span<const std::uint8_t>> hvcC;
    int hvcCCount = 0;
    for (std::size_t at = visualSampleEntrySize; at < end;) {
        const std::size_t size = end - at >= 8 ? bigEndian(entry, at, 4) : 0;
        if (size < 8 || size > end - at) {
            findings.add("Описание дорожки видео: вложенный блок по смещению " + std::to_string(at) +
                         " повреждён (неверный размер).");
            break;
        }
        if (fourCharacterCode(entry, at + 4) == "hvcC" && hvcCCount++ == 0) hvcC = entry.subspan(at + 8, size - 8);
        at += size;
    }
    if (hvcCCount == 0) findings.add("В описании дорожки видео нет блока hvcC с параметрами потока HEVC.");
    if (hvcCCount > 1) findings.add("В описании дорожки видео " + std::to_string(hvcCCount) + " блока hvcC, а должен быть один.");
    return hvcC;
}

void readParameterSet(const HEVCNalUnit& unit, TrackConfiguration& config, FindingList& findings) {
    const std::string where = " " + layerName(unit.layerId);
    try {
        if (unit.type == HEVCNalType::vps) {
            if (config.videoParameterSetSeen) return;
            config.videoParameterSetSeen = true;
            config.videoParameterSet = HEVCVideoParameterSet::parse(unit.rbsp);
        } else if (unit.type == HEVCNalType::sps) {
            // sps_ext_or_max_sub_layers_minus1 7: the short multi-layer form.
            if (unit.layerId > 0 && !unit.rbsp.empty() && ((unit.rbsp[0] >> 1) & 7) == 7) {
                findings.add("SPS" + where + " записан в сокращённой многослойной форме; редакторы ждут полный SPS.");
                return;
            }
            const HEVCSequenceParameterSet sps = HEVCSequenceParameterSet::parse(unit.rbsp);
            if (unit.layerId <= 1) config.layers[unit.layerId].sequenceSets.emplace(sps.id, sps);
        } else if (unit.type == HEVCNalType::pps) {
            const HEVCPictureParameterSet pps = HEVCPictureParameterSet::parse(unit.rbsp);
            if (unit.layerId <= 1) config.layers[unit.layerId].pictureSets.emplace(pps.id, pps);
        } else if (unit.type == HEVCNalType::prefixSei || unit.type == HEVCNalType::suffixSei) {
            if (!config.alphaChannelInfo) config.alphaChannelInfo = findAlphaChannelInfo(unit);
        }
    } catch (const HEVCBitstreamError& error) {
        const char* name = unit.type == HEVCNalType::vps ? "VPS"
                           : unit.type == HEVCNalType::sps ? "SPS"
                           : unit.type == HEVCNalType::pps ? "PPS"
                                                           : "SEI";
        findings.add(std::string(name) + where + " в hvcC не разобран (" + error.what() + ").");
    }
}

// Reads the hvcC record. Returns nothing when the samples cannot be read
// with it. Only 'hvc1' requires complete parameter-set arrays ('hev1' is
// reported on its own).
std::optional<TrackConfiguration> readConfiguration(std::span<const std::uint8_t> hvcC, bool hvc1, FindingList& findings) {
    if (hvcC.size() < 23) {
        findings.add("Блок hvcC короче 23 байт: параметры потока HEVC не прочитать.");
        return std::nullopt;
    }
    TrackConfiguration config;
    if (hvcC[0] != 1) findings.add("hvcC: версия записи " + std::to_string(hvcC[0]) + ", а не 1.");
    config.profileIdc = hvcC[1] & 0x1F;
    config.chromaFormatIdc = hvcC[16] & 3u;
    config.bitDepthLumaMinus8 = hvcC[17] & 7u;
    config.nalLengthSize = (hvcC[21] & 3u) + 1;
    if (config.nalLengthSize == 3) {
        findings.add("hvcC: длина NAL-блоков в кадрах 3 байта — недопустимое значение; кадры не прочитать.");
        return std::nullopt;
    }
    std::size_t at = 23;
    bool incompleteReported = false;
    for (std::uint32_t array = 0, arrays = hvcC[22]; array < arrays; ++array) {
        if (hvcC.size() - at < 3) {
            findings.add("hvcC обрезан: массивы NAL-блоков выходят за конец блока.");
            return config;
        }
        const bool complete = (hvcC[at] & 0x80) != 0;
        const int type = hvcC[at] & 0x3F;
        const std::uint32_t count = bigEndian(hvcC, at + 1, 2);
        at += 3;
        const bool parameterSets = type == HEVCNalType::vps || type == HEVCNalType::sps || type == HEVCNalType::pps;
        if (hvc1 && parameterSets && !complete && !incompleteReported) {
            findings.add("hvcC: массив параметров (тип NAL " + std::to_string(type) +
                         ") не помечен полным (array_completeness 0), а для «hvc1» это обязательно.");
            incompleteReported = true;
        }
        for (std::uint32_t n = 0; n < count; ++n) {
            const std::size_t length = hvcC.size() - at >= 2 ? bigEndian(hvcC, at, 2) : hvcC.size();
            if (hvcC.size() - at < 2 || length > hvcC.size() - at - 2) {
                findings.add("hvcC обрезан: NAL-блок выходит за конец блока.");
                return config;
            }
            at += 2;
            try {
                const HEVCNalUnit unit = HEVCNalUnit::parse(hvcC.subspan(at, length));
                if (unit.type != type) {
                    findings.add("hvcC: в массиве типа " + std::to_string(type) + " лежит NAL-блок типа " +
                                 std::to_string(unit.type) + ".");
                }
                if (unit.layerId > 1) findings.add("hvcC: NAL-блок " + layerName(unit.layerId) + "; ожидаются только слои 0 и 1.");
                readParameterSet(unit, config, findings);
            } catch (const HEVCBitstreamError& error) {
                findings.add(std::string("hvcC: NAL-блок не разобран (") + error.what() + ").");
            }
            at += length;
        }
    }
    return config;
}

void checkVideoParameterSet(const TrackConfiguration& config, FindingList& findings) {
    if (!config.videoParameterSetSeen) {
        findings.add("В hvcC нет VPS: слои потока не описаны.");
        return;
    }
    if (!config.videoParameterSet) return;  // reported as not parsed
    const HEVCVideoParameterSet& vps = *config.videoParameterSet;
    if (vps.maxLayersMinus1 != 1) {
        findings.add("VPS: слоёв " + std::to_string(vps.maxLayersMinus1 + 1) + ", а нужно два — цвет и альфа-канал.");
        return;
    }
    if (!vps.extensionPresent) {
        findings.add("VPS без многослойного расширения (vps_extension): второй слой не описан как альфа-канал.");
        return;
    }
    const bool auxiliary = (vps.scalabilityMask & (0x8000u >> HEVCVideoParameterSet::scalabilityAuxId)) != 0;
    if (!auxiliary || vps.auxId[1] != 1) findings.add("VPS: второй слой не объявлен альфа-каналом (AuxId 1).");
    if (vps.layerIdInNuh[1] != 1) {
        findings.add("VPS: второй слой имеет nuh_layer_id " + std::to_string(vps.layerIdInNuh[1]) + ", а ожидается 1.");
    }
    if (vps.dependsOnBaseLayer[1]) {
        findings.add("VPS: альфа-слой объявлен зависимым от слоя цвета; он должен кодироваться независимо.");
    }
    const std::vector<std::vector<int>> baseSets(vps.layerSets.begin(), vps.layerSets.begin() + static_cast<std::ptrdiff_t>(vps.baseLayerSetCount));
    const std::vector<std::vector<int>> addedSets(vps.layerSets.begin() + static_cast<std::ptrdiff_t>(vps.baseLayerSetCount), vps.layerSets.end());
    auto listText = [](const std::vector<std::vector<int>>& sets) {
        std::string text;
        for (const auto& set : sets) text += (text.empty() ? "" : ", ") + layerSetText(set);
        return text.empty() ? std::string("нет") : text;
    };
    if (baseSets != std::vector<std::vector<int>>{{0}}) {
        findings.add("VPS: в базовой части наборы слоёв " + listText(baseSets) + "; нужен только {0}.");
    }
    if (addedSets != std::vector<std::vector<int>>{{1}}) {
        findings.add("VPS: дополнительные наборы слоёв: " + listText(addedSets) + "; нужен один набор {1} с альфа-слоем.");
    }
    const bool alphaOutput = vps.outputLayerSets.size() == 1 &&
                             vps.layerSets[vps.outputLayerSets[0].layerSetIndex] == std::vector<int>{1} &&
                             vps.outputLayerSets[0].outputLayers == std::vector<bool>{true};
    if (!alphaOutput) findings.add("VPS: выходной набор слоёв 1 должен состоять из слоя 1 и выводить его.");
    if (vps.profileTierLevelCount != 2) {
        findings.add("VPS: записей profile_tier_level " + std::to_string(vps.profileTierLevelCount) + ", а нужно две.");
    }
    if (!vps.pocLsbAligned) findings.add("VPS: vps_poc_lsb_aligned_flag 0, а нужно 1 (оба слоя кадра с одним POC).");
    if (!vps.pocLsbNotPresent[1]) {
        findings.add("VPS: poc_lsb_not_present_flag[1] 0, а нужно 1 (в IDR-срезах альфа-слоя нет младших битов POC).");
    }
    const auto& sequenceSets = config.layers[1].sequenceSets;
    const std::uint32_t formatIndex = vps.representationFormatIndex[1];
    if (!sequenceSets.empty() && formatIndex < vps.representationFormats.size()) {
        const auto& format = vps.representationFormats[formatIndex];
        const HEVCSequenceParameterSet& sps = sequenceSets.begin()->second;
        if (format.widthLumaSamples != sps.widthLumaSamples || format.heightLumaSamples != sps.heightLumaSamples ||
            format.chromaFormatIdc != sps.chromaFormatIdc || format.bitDepthLumaMinus8 != sps.bitDepthLumaMinus8) {
            findings.add("VPS: формат альфа-слоя (rep_format) не совпадает с его SPS.");
        }
    }
}

void checkLayers(const TrackConfiguration& config, std::uint32_t entryWidth, std::uint32_t entryHeight, FindingList& findings) {
    for (int layer = 0; layer < 2; ++layer) {
        const LayerParameterSets& sets = config.layers[layer];
        if (sets.sequenceSets.empty()) findings.add("В hvcC нет SPS " + layerName(layer) + " (nuh_layer_id " + std::to_string(layer) + ").");
        if (sets.pictureSets.empty()) findings.add("В hvcC нет PPS " + layerName(layer) + " (nuh_layer_id " + std::to_string(layer) + ").");
        for (const auto& [id, pps] : sets.pictureSets) {
            if (!sets.sequenceSets.contains(pps.sequenceParameterSetId)) {
                findings.add("PPS " + std::to_string(id) + " " + layerName(layer) + " ссылается на SPS " +
                             std::to_string(pps.sequenceParameterSetId) + ", которого в этом слое нет.");
            }
        }
    }
    const auto& colourSets = config.layers[0].sequenceSets;
    const auto& alphaSets = config.layers[1].sequenceSets;
    if (!colourSets.empty()) {
        const HEVCSequenceParameterSet& colour = colourSets.begin()->second;
        if (colour.profileTierLevel.profileIdc != config.profileIdc || colour.chromaFormatIdc != config.chromaFormatIdc ||
            colour.bitDepthLumaMinus8 != config.bitDepthLumaMinus8) {
            findings.add("hvcC: профиль, формат цветности или разрядность не совпадают с SPS слоя цвета.");
        }
        const std::int64_t subWidth = colour.chromaFormatIdc == 1 || colour.chromaFormatIdc == 2 ? 2 : 1;
        const std::int64_t subHeight = colour.chromaFormatIdc == 1 ? 2 : 1;
        const std::int64_t width = std::int64_t{colour.widthLumaSamples} - subWidth * (std::int64_t{colour.confWinLeft} + colour.confWinRight);
        const std::int64_t height = std::int64_t{colour.heightLumaSamples} - subHeight * (std::int64_t{colour.confWinTop} + colour.confWinBottom);
        if (width != entryWidth || height != entryHeight) {
            findings.add("Описание дорожки видео: размер " + std::to_string(entryWidth) + "×" + std::to_string(entryHeight) +
                         ", а в потоке HEVC " + std::to_string(width) + "×" + std::to_string(height) + ".");
        }
        for (const auto& [id, alpha] : alphaSets) {
            if (alpha.widthLumaSamples != colour.widthLumaSamples || alpha.heightLumaSamples != colour.heightLumaSamples) {
                findings.add("Размер кадра альфа-слоя " + std::to_string(alpha.widthLumaSamples) + "×" +
                             std::to_string(alpha.heightLumaSamples) + " не совпадает с размером слоя цвета.");
            }
        }
    }
    for (const auto& [id, alpha] : alphaSets) {
        if (!alpha.videoFullRange) {
            findings.add("SPS альфа-слоя: video_full_range_flag 0 — значения альфы 0–255 будут прочитаны как "
                         "ограниченный диапазон; нужен полный диапазон (1).");
        }
    }

    if (!config.alphaChannelInfo) {
        findings.add("Нет SEI alpha_channel_info (тип 165): редактор не узнает, что второй слой — альфа-канал.");
        return;
    }
    const AlphaChannelInfo& info = *config.alphaChannelInfo;
    if (info.cancel) {
        findings.add("SEI alpha_channel_info отменяет альфа-канал (alpha_channel_cancel_flag 1).");
        return;
    }
    if (info.useIdc == 2) {
        findings.add("SEI alpha_channel_info: alpha_channel_use_idc 2 (не указано) — редактор не знает, умножен ли цвет на альфу.");
    } else if (info.useIdc > 2) {
        findings.add("SEI alpha_channel_info: alpha_channel_use_idc " + std::to_string(info.useIdc) + " — зарезервированное значение.");
    }
    if (!alphaSets.empty() && info.bitDepth != alphaSets.begin()->second.bitDepthLumaMinus8 + 8) {
        findings.add("SEI alpha_channel_info: разрядность альфы " + std::to_string(info.bitDepth) + " бит не совпадает с разрядностью альфа-слоя.");
    }
    if (info.transparentValue == info.opaqueValue) {
        findings.add("SEI alpha_channel_info: значения «прозрачно» и «непрозрачно» совпадают.");
    }
}

struct LayerPicture {
    bool present = false;
    int nalType = 0;
    std::uint32_t picOrderCntLsb = 0;
};

void checkSample(std::span<const std::uint8_t> sample, std::size_t index, const TrackConfiguration& config,
                 std::optional<AlphaChannelInfo>& sampleAlphaInfo, FindingList& findings) {
    LayerPicture pictures[2];
    const std::size_t lengthSize = config.nalLengthSize;
    for (std::size_t at = 0; at < sample.size();) {
        if (sample.size() - at < lengthSize) {
            findings.sampleFault("truncated-length", index, "обрезан посреди длины NAL-блока.");
            break;
        }
        const std::size_t length = bigEndian(sample, at, lengthSize);
        at += lengthSize;
        if (length > sample.size() - at) {
            findings.sampleFault("truncated", index, "длина NAL-блока выходит за конец кадра.");
            break;
        }
        const auto bytes = sample.subspan(at, length);
        at += length;
        try {
            const HEVCNalUnit unit = HEVCNalUnit::parse(bytes);
            if (unit.layerId > 1) {
                findings.sampleFault("layer", index, "NAL-блок " + layerName(unit.layerId) + "; ожидаются только слои 0 и 1.");
                continue;
            }
            if (unit.type == HEVCNalType::vps || unit.type == HEVCNalType::sps || unit.type == HEVCNalType::pps) {
                findings.sampleFault("in-band", index, "параметры потока внутри кадра; у «hvc1» они должны быть только в hvcC.");
                continue;
            }
            if (unit.type == HEVCNalType::prefixSei && !sampleAlphaInfo) sampleAlphaInfo = findAlphaChannelInfo(unit);
            if (!HEVCNalType::isVcl(unit.type)) continue;
            const int layer = unit.layerId;
            if (layer == 0 && pictures[1].present) findings.sampleFault("order", index, "срез цвета идёт после среза альфа-канала.");
            const LayerParameterSets& sets = config.layers[layer];
            const std::uint32_t ppsId = HEVCSliceHeader::peekPictureParameterSetId(unit);
            const auto pps = sets.pictureSets.find(ppsId);
            const auto sps = pps == sets.pictureSets.end() ? sets.sequenceSets.end()
                                                           : sets.sequenceSets.find(pps->second.sequenceParameterSetId);
            if (sps == sets.sequenceSets.end()) {
                findings.sampleFault("pps" + std::to_string(layer), index,
                                     "срез " + layerName(layer) + " ссылается на PPS " + std::to_string(ppsId) +
                                         ", которого (или чьего SPS) нет в этом слое.");
                pictures[layer].present = true;
                continue;
            }
            const HEVCSliceHeader header = HEVCSliceHeader::parse(unit, sps->second, pps->second);
            if (!pictures[layer].present) {
                if (!header.firstSliceSegmentInPic) {
                    findings.sampleFault("first" + std::to_string(layer), index, "кадр " + layerName(layer) + " начинается не с первого среза.");
                }
                pictures[layer] = {true, unit.type, header.picOrderCntLsb};
            } else if (header.firstSliceSegmentInPic) {
                findings.sampleFault("two" + std::to_string(layer), index, "два кадра " + layerName(layer) + " в одном кадре дорожки.");
            }
        } catch (const HEVCBitstreamError& error) {
            findings.sampleFault("nal", index, std::string("NAL-блок или заголовок среза не разобран (") + error.what() + ").");
        }
    }
    if (!pictures[0].present) findings.sampleFault("no-colour", index, "нет среза слоя цвета (nuh_layer_id 0).");
    if (!pictures[1].present) findings.sampleFault("no-alpha", index, "нет среза альфа-канала (nuh_layer_id 1).");
    if (pictures[0].present && pictures[1].present &&
        (HEVCNalType::isIrap(pictures[0].nalType) != HEVCNalType::isIrap(pictures[1].nalType) ||
         HEVCNalType::isIdr(pictures[0].nalType) != HEVCNalType::isIdr(pictures[1].nalType) ||
         pictures[0].picOrderCntLsb != pictures[1].picOrderCntLsb)) {
        findings.sampleFault("mismatch", index,
                             "слои цвета и альфа-канала расходятся (тип NAL " + std::to_string(pictures[0].nalType) + " и " +
                                 std::to_string(pictures[1].nalType) + ", младшие биты POC " +
                                 std::to_string(pictures[0].picOrderCntLsb) + " и " + std::to_string(pictures[1].picOrderCntLsb) + ").");
    }
}

}  // namespace

std::vector<MovieCheckFinding> checkHEVCAlphaTrack(std::span<const std::uint8_t> sampleEntry,
                                                   const std::vector<std::span<const std::uint8_t>>& samples) {
    FindingList findings;
    try {
        std::uint32_t width = 0, height = 0;
        bool hvc1 = false;
        const auto hvcC = readSampleEntry(sampleEntry, findings, width, height, hvc1);
        std::optional<TrackConfiguration> config;
        if (hvcC) config = readConfiguration(*hvcC, hvc1, findings);
        if (!config) return findings.finish();

        checkVideoParameterSet(*config, findings);
        // The alpha SEI may also travel in the first sample instead of the hvcC.
        std::optional<AlphaChannelInfo> sampleAlphaInfo;
        FindingList sampleFindings;
        for (std::size_t s = 0; s < samples.size(); ++s) checkSample(samples[s], s, *config, sampleAlphaInfo, sampleFindings);
        if (!config->alphaChannelInfo) config->alphaChannelInfo = sampleAlphaInfo;
        checkLayers(*config, width, height, findings);
        if (samples.empty()) findings.add("В дорожке видео нет ни одного кадра.");
        for (auto& finding : sampleFindings.finish()) findings.add(std::move(finding.message));
    } catch (const std::exception& error) {
        // Every parser above reports through HEVCBitstreamError; anything
        // else is a fault of the checker, still told rather than thrown.
        findings.add(std::string("Проверка потока HEVC прервана: ") + error.what() + ".");
    }
    return findings.finish();
}

std::optional<FrameRate> hevcTrackFrameRate(std::span<const std::uint8_t> sampleEntry) {
    FindingList ignored;
    try {
        std::uint32_t width = 0, height = 0;
        bool hvc1 = false;
        const auto hvcC = readSampleEntry(sampleEntry, ignored, width, height, hvc1);
        if (!hvcC) return std::nullopt;
        const auto config = readConfiguration(*hvcC, hvc1, ignored);
        if (!config || config->layers[0].sequenceSets.empty()) return std::nullopt;
        const HEVCSequenceParameterSet& sps = config->layers[0].sequenceSets.begin()->second;
        if (sps.timeScale == 0 || sps.numUnitsInTick == 0) return std::nullopt;
        return FrameRate(sps.timeScale, sps.numUnitsInTick);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace pacemark
