// SPDX-License-Identifier: GPL-3.0-or-later
#include "MovieChecker.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "ProResFrame.h"

namespace pacemark {
namespace {

// Largest coded frame read whole; ProRes 4444 XQ of an 8K picture stays far below.
constexpr std::uint32_t kMaxFrameBytes = 256u << 20;

constexpr std::array<std::pair<const char*, const char*>, 6> kProResFormats = {{
    {"apco", "ProRes 422 Proxy"},
    {"apcs", "ProRes 422 LT"},
    {"apcn", "ProRes 422"},
    {"apch", "ProRes 422 HQ"},
    {"ap4h", "ProRes 4444"},
    {"ap4x", "ProRes 4444 XQ"},
}};

std::uint32_t readBig(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | bytes[at + std::size_t(i)];
    return value;
}

// One kind of fault across the frames: how often, and where first.
struct FaultTally {
    std::size_t frames = 0;
    std::size_t slices = 0;
    std::size_t firstFrame = 0;  // 0-based
    int firstSlice = -1;         // 0-based, -1 for a header
    std::string firstDetail;

    void add(std::size_t frame, int slice, std::size_t sliceCount = 0, std::string detail = {}) {
        if (frames++ == 0) {
            firstFrame = frame;
            firstSlice = slice;
            firstDetail = std::move(detail);
        }
        slices += sliceCount;
    }

    // "<what> — в 60 из 60 кадров (1 170 срезов), впервые в кадре 1, срез 37."
    void report(std::vector<MovieCheckFinding>& findings, const std::string& what, std::size_t frameCount) const {
        if (frames == 0) return;
        std::string text = what;
        if (!firstDetail.empty()) text += ": " + firstDetail;
        text += " — в " + std::to_string(frames) + " из " + std::to_string(frameCount) + " кадров";
        if (slices) text += " (срезов: " + std::to_string(slices) + ")";
        text += ", впервые в кадре " + std::to_string(firstFrame + 1);
        if (firstSlice >= 0) text += ", срез " + std::to_string(firstSlice + 1);
        findings.push_back({text + "."});
    }
};

struct ProResFrameSummary {
    int width = 0;
    int height = 0;
    int interlaceMode = 0;
    int alphaBits = 0;
};

void checkProResSampleEntry(const QuickTimeVideoTrack& track, const std::optional<ProResFrameSummary>& first,
                            std::vector<MovieCheckFinding>& findings) {
    const bool alpha = first && first->alphaBits != 0;
    if (first && !alpha) findings.push_back({"В кадрах нет альфа-канала: фон будет непрозрачным."});
    if (alpha && track.format != "ap4h" && track.format != "ap4x") {
        findings.push_back({"Кадры несут альфа-канал, но формат дорожки «" + track.format +
                            "» его не предусматривает (нужен «ap4h» или «ap4x»)."});
    }
    if (alpha && track.depth != 32) {
        findings.push_back({"Глубина в описании сэмплов — " + std::to_string(track.depth) +
                            ", а для видео с альфа-каналом нужна 32: редактор может не увидеть прозрачность."});
    }
    if (first && (track.width != first->width || track.height != first->height)) {
        findings.push_back({"Размер в описании сэмплов (" + std::to_string(track.width) + "×" +
                            std::to_string(track.height) + ") не совпадает с размером кадров (" +
                            std::to_string(first->width) + "×" + std::to_string(first->height) + ")."});
    }

    const auto* colr = track.extension("colr");
    if (!colr) {
        findings.push_back({"В описании сэмплов нет блока «colr» (цветовое пространство)."});
    } else {
        const auto& c = colr->payload;
        const bool known = c.size() >= 10 && (std::equal(c.begin(), c.begin() + 4, "nclc") ||
                                              std::equal(c.begin(), c.begin() + 4, "nclx"));
        if (!known) {
            findings.push_back({"Блок «colr» не описывает цветовое пространство параметрами (nclc/nclx)."});
        } else if (readBig(c, 4, 2) != 1 || readBig(c, 6, 2) != 1 || readBig(c, 8, 2) != 1) {
            findings.push_back({"Блок «colr» описывает не BT.709 (основные цвета " + std::to_string(readBig(c, 4, 2)) +
                                ", передаточная функция " + std::to_string(readBig(c, 6, 2)) + ", матрица " +
                                std::to_string(readBig(c, 8, 2)) + ")."});
        }
    }

    const auto* fiel = track.extension("fiel");
    if (!fiel) {
        findings.push_back({"В описании сэмплов нет блока «fiel» (развёртка)."});
    } else if (fiel->payload.size() < 2 || (first && fiel->payload[0] != (first->interlaceMode == 0 ? 1 : 2))) {
        findings.push_back({"Блок «fiel» не совпадает с развёрткой кадров."});
    }

    const auto* pasp = track.extension("pasp");
    if (!pasp) {
        findings.push_back({"В описании сэмплов нет блока «pasp» (форма пикселя)."});
    } else if (pasp->payload.size() < 8 || readBig(pasp->payload, 0, 4) == 0 || readBig(pasp->payload, 4, 4) == 0) {
        findings.push_back({"Блок «pasp» задаёт нулевую форму пикселя."});
    }
}

MovieCheckReport checkProResTrack(MovieByteSource& source, const QuickTimeVideoTrack& track) {
    MovieCheckReport report;
    FaultTally grammar, version, reserved, finalRun;
    std::optional<ProResFrameSummary> first;
    std::vector<std::uint8_t> bytes;
    for (std::size_t f = 0; f < track.samples.size(); ++f) {
        const auto& sample = track.samples[f];
        if (sample.size > kMaxFrameBytes) {
            grammar.add(f, -1, 0, "кадр слишком велик (" + std::to_string(sample.size) + " байт)");
            continue;
        }
        bytes.resize(sample.size);
        source.read(sample.offset, bytes);
        const std::span<const std::uint8_t> frameBytes(bytes);
        try {
            const ProResFrame frame = ProResFrame::parse(frameBytes);
            if (!first) first = ProResFrameSummary{frame.width, frame.height, frame.interlaceMode, frame.alphaBits};
            if (frame.versionTooLow()) version.add(f, -1);
            if (frame.reservedAlphaBitsSet()) {
                char detail[64];
                std::snprintf(detail, sizeof detail, "0x%02X вместо 0x%02X", frame.alphaTypeByte,
                              frame.alphaTypeByte & 0x0F);
                reserved.add(f, -1, 0, detail);
            }
            if (!frame.alphaBits) continue;
            std::size_t missing = 0;
            int firstMissing = -1;
            for (std::size_t s = 0; s < frame.slices.size(); ++s) {
                const ProResSlice& slice = frame.slices[s];
                try {
                    const ProResAlphaScan scan = scanProResAlpha(frameBytes.subspan(slice.alphaOffset, slice.alphaSize),
                                                                 frame.alphaBits, slice.macroblocks * 256);
                    if (scan.ending == ProResAlphaEnding::missingFinalRunCode && missing++ == 0) firstMissing = int(s);
                } catch (const ProResFormatError& error) {
                    throw ProResFormatError(error.errorDescription(), int(s));
                }
            }
            if (missing) finalRun.add(f, firstMissing, missing);
        } catch (const ProResFormatError& error) {
            grammar.add(f, error.slice(), 0, error.errorDescription());
        }
    }

    const std::size_t count = track.samples.size();
    grammar.report(report.findings, "Кадр ProRes нарушает формат", count);
    version.report(report.findings, "Заголовок кадра: версия битового потока 0, а для 4:4:4 и альфа-канала нужна 1",
                   count);
    reserved.report(report.findings,
                    "Заголовок кадра: заняты зарезервированные старшие биты байта типа альфа-канала", count);
    finalRun.report(report.findings,
                    "Альфа-канал среза: нет завершающего кода серии, строгий декодер прочтёт альфу неверно", count);
    checkProResSampleEntry(track, first, report.findings);
    if (first) {
        report.width = first->width;
        report.height = first->height;
    }
    return report;
}

// The rate editors take from the track: its time scale over the one duration
// every sample has. A varying duration, samples the table leaves out and an
// HEVC stream that states another rate are findings.
void checkFrameRate(const QuickTimeVideoTrack& track, const std::optional<FrameRate>& streamRate,
                    MovieCheckReport& report) {
    if (!track.hasMediaHeader || track.timeScale == 0) {
        report.findings.push_back({"У видеодорожки нет шкалы времени (блок «mdhd»): частота кадров не определена."});
        return;
    }
    if (!track.hasDurationTable) {
        report.findings.push_back({"У видеодорожки нет таблицы длительностей кадров (блок «stts»): частота кадров "
                                   "не определена."});
        return;
    }
    std::uint64_t covered = 0;
    std::uint32_t shortest = 0, longest = 0;
    for (const auto& run : track.sampleDurations) {
        if (run.count == 0) continue;
        covered += run.count;
        shortest = covered == run.count ? run.duration : std::min(shortest, run.duration);
        longest = std::max(longest, run.duration);
    }
    if (covered != track.samples.size()) {
        report.findings.push_back({"Таблица длительностей описывает кадров: " + std::to_string(covered) +
                                   ", а в дорожке их " + std::to_string(track.samples.size()) + "."});
        return;
    }
    if (shortest != longest) {
        report.findings.push_back({"Кадры длятся по-разному (от " + std::to_string(shortest) + " до " +
                                   std::to_string(longest) + " единиц при " + std::to_string(track.timeScale) +
                                   " в секунду): у фильма нет постоянной частоты кадров, монтажная программа "
                                   "сдвинет кадры."});
        return;
    }
    if (shortest == 0) {
        report.findings.push_back({"Кадры дорожки имеют нулевую длительность: частота кадров не определена."});
        return;
    }
    report.frameRate = FrameRate(track.timeScale, shortest);
    if (streamRate && *streamRate != report.frameRate) {
        report.findings.push_back({"Частота кадров в параметрах потока HEVC (" + streamRate->text() +
                                   ") не совпадает с частотой дорожки (" + report.frameRate.text() + ")."});
    }
}

}  // namespace

MovieCheckReport MovieChecker::check(MovieByteSource& source) const {
    const QuickTimeVideoTrack track = readQuickTimeVideoTrack(source);
    for (const auto& [code, name] : kProResFormats) {
        if (track.format != code) continue;
        MovieCheckReport report = checkProResTrack(source, track);
        report.codec = std::string(name) + " («" + track.format + "»)";
        report.frameCount = track.samples.size();
        if (!report.width) {
            report.width = track.width;
            report.height = track.height;
        }
        checkFrameRate(track, std::nullopt, report);
        return report;
    }
    if (track.format == "hvc1" || track.format == "hev1") {
        if (!hevcChecker_) throw MovieCheckError("Проверка HEVC с альфа-слоем в этой сборке не подключена.");
        std::vector<std::vector<std::uint8_t>> storage(track.samples.size());
        std::vector<std::span<const std::uint8_t>> samples;
        samples.reserve(track.samples.size());
        for (std::size_t i = 0; i < track.samples.size(); ++i) {
            if (track.samples[i].size > kMaxFrameBytes) throw MovieCheckError("Кадр HEVC слишком велик.");
            storage[i].resize(track.samples[i].size);
            source.read(track.samples[i].offset, storage[i]);
            samples.emplace_back(storage[i]);
        }
        MovieCheckReport report;
        report.codec = "HEVC («" + track.format + "»)";
        report.width = track.width;
        report.height = track.height;
        report.frameCount = samples.size();
        report.findings = hevcChecker_(track.sampleEntry, samples);
        std::optional<FrameRate> streamRate;
        if (hevcFrameRate_) streamRate = hevcFrameRate_(track.sampleEntry);
        checkFrameRate(track, streamRate, report);
        return report;
    }
    throw MovieCheckError("Кодек «" + track.format + "» не проверяется: только ProRes и HEVC с альфа-слоем.");
}

}  // namespace pacemark
