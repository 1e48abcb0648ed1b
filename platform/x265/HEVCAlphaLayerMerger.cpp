// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaLayerMerger.h"

#include "HEVCAlphaEncodingError.h"
#include "HEVCAlphaParameterSets.h"
#include "HEVCBitReader.h"

#include <string>

namespace pacemark {
namespace {

constexpr int alphaLayerId = 1;
constexpr std::uint32_t alphaParameterSetId = 1;

HEVCAlphaEncodingError invalidStream(const std::string& detail) {
    return HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::invalidBitstream,
                                  "Кодировщик HEVC выдал поток, который не удалось разобрать (" + detail + ").");
}

const char* sliceTypeName(HEVCSliceType type) {
    switch (type) {
    case HEVCSliceType::i: return "I";
    case HEVCSliceType::p: return "P";
    case HEVCSliceType::b: return "B";
    }
    return "?";
}

}  // namespace

HEVCAlphaLayerMerger::LayerState HEVCAlphaLayerMerger::readHeaders(const std::vector<HEVCNalUnit>& headers,
                                                                   const char* layerName) {
    LayerState layer;
    bool haveSps = false, havePps = false;
    for (const HEVCNalUnit& unit : headers) {
        if (unit.layerId != 0) throw invalidStream(std::string(layerName) + ": набор параметров вне слоя 0");
        if (unit.type == HEVCNalType::sps) {
            if (haveSps) throw invalidStream(std::string(layerName) + ": больше одного SPS");
            layer.spsRbsp = unit.rbsp;
            layer.sps = HEVCSequenceParameterSet::parse(unit.rbsp);
            haveSps = true;
        } else if (unit.type == HEVCNalType::pps) {
            if (havePps) throw invalidStream(std::string(layerName) + ": больше одного PPS");
            layer.ppsRbsp = unit.rbsp;
            layer.pps = HEVCPictureParameterSet::parse(unit.rbsp);
            havePps = true;
        }
    }
    if (!haveSps || !havePps) throw invalidStream(std::string(layerName) + ": нет SPS или PPS");
    if (layer.pps.sequenceParameterSetId != layer.sps.id) throw invalidStream(std::string(layerName) + ": PPS ссылается на другой SPS");
    return layer;
}

HEVCAlphaLayerMerger::HEVCAlphaLayerMerger(const std::vector<HEVCNalUnit>& colourHeaders,
                                           const std::vector<HEVCNalUnit>& alphaHeaders) {
    try {
        colour_ = readHeaders(colourHeaders, "слой цвета");
        alpha_ = readHeaders(alphaHeaders, "слой альфа-канала");
        const HEVCSequenceParameterSet& c = colour_.sps;
        const HEVCSequenceParameterSet& a = alpha_.sps;
        // The VPS describes both layers with one representation format.
        if (c.widthLumaSamples != a.widthLumaSamples || c.heightLumaSamples != a.heightLumaSamples ||
            c.chromaFormatIdc != a.chromaFormatIdc || c.bitDepthLumaMinus8 != a.bitDepthLumaMinus8 ||
            c.bitDepthChromaMinus8 != a.bitDepthChromaMinus8 || c.confWinRight != a.confWinRight ||
            c.confWinBottom != a.confWinBottom || c.confWinLeft != a.confWinLeft || c.confWinTop != a.confWinTop) {
            throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::layersDisagree,
                                         "Кодировщики цвета и альфа-канала выдали разные размеры или форматы кадра.");
        }
        colourSps_ = c;

        HEVCNalUnit vps;
        vps.type = HEVCNalType::vps;
        vps.rbsp = hevcWriteAlphaVideoParameterSet(c);
        HEVCNalUnit colourSps{HEVCNalType::sps, 0, 1, colour_.spsRbsp};
        HEVCNalUnit alphaSps{HEVCNalType::sps, alphaLayerId, 1,
                             hevcRewriteSequenceParameterSetId(alpha_.spsRbsp, alphaParameterSetId)};
        HEVCNalUnit colourPps{HEVCNalType::pps, 0, 1, colour_.ppsRbsp};
        HEVCNalUnit alphaPps{HEVCNalType::pps, alphaLayerId, 1,
                             hevcRewritePictureParameterSetIds(alpha_.ppsRbsp, alphaParameterSetId, alphaParameterSetId)};
        // The renderer hands over premultiplied BGRA and the colour picture is
        // converted from it as is, so the decoded colour is already
        // multiplied by alpha: use_idc 1 tells compositors not to multiply
        // again (straight alpha would darken every soft edge).
        parameterSets_ = {vps, colourSps, alphaSps, colourPps, alphaPps,
                          hevcMakeAlphaChannelInfo(HEVCAlphaColourMode::premultiplied)};
    } catch (const HEVCBitstreamError& error) {
        throw invalidStream(error.what());
    }
}

HEVCAlphaLayerMerger::PictureInfo HEVCAlphaLayerMerger::collectSlices(LayerState& layer,
                                                                      const HEVCEncodedPicture& picture,
                                                                      bool alphaLayer,
                                                                      std::vector<HEVCNalUnit>& out) const {
    PictureInfo info;
    bool first = true;
    for (const HEVCNalUnit& unit : picture.nalUnits) {
        if (unit.layerId != 0) throw invalidStream("NAL-блок вне слоя 0");
        if (unit.type == HEVCNalType::sps || unit.type == HEVCNalType::pps) {
            // Dropped: the stream's parameter sets live in the sample
            // description. A changed one would silently break decoding.
            const auto& initial = unit.type == HEVCNalType::sps ? layer.spsRbsp : layer.ppsRbsp;
            if (unit.rbsp != initial) throw invalidStream("набор параметров изменился посреди потока");
            continue;
        }
        if (!HEVCNalType::isVcl(unit.type)) continue;  // VPS, AUD, SEI (info, hash), end of sequence
        const std::uint32_t ppsId = HEVCSliceHeader::peekPictureParameterSetId(unit);
        if (ppsId != layer.pps.id) throw invalidStream("срез ссылается на неизвестный PPS");
        const HEVCSliceHeader header = HEVCSliceHeader::parse(unit, layer.sps, layer.pps);
        if (first) {
            if (!header.firstSliceSegmentInPic) throw invalidStream("кадр начинается не с первого среза");
            info.nalType = unit.type;
            info.sliceType = header.sliceType;
            info.pictureOrderCount =
                layer.counter.next(unit.type, unit.temporalIdPlus1 - 1, header.picOrderCntLsb, layer.sps.log2MaxPicOrderCntLsb);
            first = false;
        } else if (header.firstSliceSegmentInPic) {
            throw invalidStream("два кадра в одном блоке доступа");
        }
        out.push_back(alphaLayer ? hevcRewriteSlice(unit, header, alphaParameterSetId, alphaLayerId) : unit);
    }
    if (first) throw invalidStream("блок доступа без среза");
    return info;
}

HEVCLayeredAccessUnit HEVCAlphaLayerMerger::merge(const HEVCEncodedPicture& colour, const HEVCEncodedPicture& alpha) {
    HEVCLayeredAccessUnit unit;
    PictureInfo colourInfo, alphaInfo;
    try {
        colourInfo = collectSlices(colour_, colour, false, unit.nalUnits);
        alphaInfo = collectSlices(alpha_, alpha, true, unit.nalUnits);
    } catch (const HEVCBitstreamError& error) {
        throw invalidStream(error.what());
    }
    const std::int64_t index = accessUnitIndex_++;
    if (colourInfo.nalType != alphaInfo.nalType || colourInfo.sliceType != alphaInfo.sliceType ||
        colourInfo.pictureOrderCount != alphaInfo.pictureOrderCount ||
        colour.presentationIndex != alpha.presentationIndex) {
        throw HEVCAlphaEncodingError(
            HEVCAlphaEncodingError::Case::layersDisagree,
            "Кодировщики цвета и альфа-канала разошлись в кадре " + std::to_string(index + 1) + " (цвет: " +
                sliceTypeName(colourInfo.sliceType) + "-кадр, порядок " + std::to_string(colourInfo.pictureOrderCount) +
                "; альфа: " + sliceTypeName(alphaInfo.sliceType) + "-кадр, порядок " +
                std::to_string(alphaInfo.pictureOrderCount) + "). Видео HEVC с альфой не записано.");
    }
    unit.presentationIndex = colour.presentationIndex;
    unit.decodeIndex = colour.decodeIndex;
    unit.pictureOrderCount = colourInfo.pictureOrderCount;
    unit.randomAccessPoint = HEVCNalType::isIrap(colourInfo.nalType);
    return unit;
}

}  // namespace pacemark
