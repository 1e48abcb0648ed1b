#include "Export/TelemetryVideoExportError.h"
#include "FFmpegHandles.h"
#include "HEVCAlphaEncodingError.h"
#include "HEVCAlphaMovieCheck.h"
#include "HEVCAlphaMovieWriter.h"
#include "HEVCNalUnit.h"
#include "OverlayTestFrames.h"
#include "QuickTimeTestReader.h"
#include "TestSupport.h"
#include "ExportEncoderSettings.h"

#include <gtest/gtest.h>


#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>

namespace pacemark {
namespace {

using pacemark::testing::OverlayTestFrame;
using pacemark::testing::TemporaryFolder;

constexpr int movieWidth = 320;
constexpr int movieHeight = 180;
constexpr int movieFrames = 36;
constexpr int movieFramesPerSecond = 12;

// Writes one frame per entry of `repeats`: a new picture, or (true) a repeat
// of its predecessor, as the exporter does for instants that show the same
// sample. Returns the rendered frames, kept for comparing with decodes.
std::vector<std::vector<std::uint8_t>> writeMovie(const std::filesystem::path& path,
                                                  const HEVCAlphaEncoderSettings& settings,
                                                  const std::vector<bool>& repeats) {
    HEVCAlphaMovieWriter writer(path, settings);
    writer.startWriting();
    OverlayTestFrame frame(settings.width, settings.height);
    std::vector<std::vector<std::uint8_t>> rendered;
    for (std::size_t i = 0; i < repeats.size(); ++i) {
        if (repeats[i]) {
            rendered.push_back(rendered.back());
            writer.appendRepeat(static_cast<std::int64_t>(i));
            continue;
        }
        frame.draw(static_cast<int>(i));
        rendered.push_back(frame.pixels());
        const PixelBufferView buffer = writer.makePixelBuffer();
        EXPECT_TRUE(buffer.isValid());
        std::copy(frame.pixels().begin(), frame.pixels().end(), buffer.data);
        writer.append(buffer, static_cast<std::int64_t>(i));
    }
    writer.finish();
    return rendered;
}

using testing::CommandResult;
using testing::quoted;
using testing::runCommand;

// FFmpeg 8 through node-av decodes both layers: every frame as yuva420p, one
// after the other, and what the decoding script printed. Empty when node or
// the package is missing (the reason is in `skipped`).
struct IndependentDecode {
    std::string skipped;
    std::string output;
    std::vector<std::uint8_t> yuva;
};

IndependentDecode decodeWithNodeAv(const std::filesystem::path& movie, const std::filesystem::path& raw) {
    const std::filesystem::path packages = PACEMARK_HEVC_ALPHA_DECODER_FOLDER;
    if (std::string(PACEMARK_NODE).empty() || !std::filesystem::exists(PACEMARK_NODE)) return {"node not found", {}, {}};
    if (!std::filesystem::exists(packages / "node_modules" / "node-av" / "package.json")) {
        return {"decoder node-av not installed (npm missing or registry unreachable)", {}, {}};
    }
    const auto result = runCommand(std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_HEVC_ALPHA_DECODE_SCRIPT) + " " +
                                   quoted(packages) + " " + quoted(movie) + " " + quoted(raw));
    EXPECT_EQ(result.status, 0) << result.output;
    // Nothing to complain about (no unknown profile, no unexpected scalability type).
    EXPECT_EQ(result.output.find("[hevc @"), std::string::npos) << result.output;
    if (result.status != 0) return {"", result.output, {}};
    return {"", result.output, pacemark::testing::readFileBytes(raw)};
}

double psnr(double squaredErrorSum, double count) {
    if (squaredErrorSum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * count / squaredErrorSum);
}

// The base layer as the system's FFmpeg decodes it: every picture's planes,
// tightly packed, and how many errors the decoder logged.
struct SystemDecode {
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::int64_t> timestamps;
    int errors = 0;
};

SystemDecode decodeWithSystemFFmpeg(const std::filesystem::path& path, int width, int height) {
    static int errors = 0;
    errors = 0;
    av_log_set_callback([](void*, int level, const char*, va_list) {
        if (level <= AV_LOG_ERROR) ++errors;
    });
    SystemDecode result;
    AVFormatContext* opened = nullptr;
    EXPECT_EQ(avformat_open_input(&opened, path.c_str(), nullptr, nullptr), 0);
    const ffmpeg::InputFormatHandle format(opened);
    if (!format) return result;
    EXPECT_GE(avformat_find_stream_info(format.get(), nullptr), 0);
    const AVStream* stream = format->streams[0];
    EXPECT_EQ(stream->codecpar->codec_id, AV_CODEC_ID_HEVC);
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_HEVC);
    const ffmpeg::CodecContextHandle context(avcodec_alloc_context3(codec));
    EXPECT_GE(avcodec_parameters_to_context(context.get(), stream->codecpar), 0);
    EXPECT_EQ(avcodec_open2(context.get(), codec, nullptr), 0);
    const ffmpeg::PacketHandle packet(av_packet_alloc());
    const ffmpeg::FrameHandle frame(av_frame_alloc());
    auto drain = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            EXPECT_EQ(frame->width, width);
            EXPECT_EQ(frame->height, height);
            EXPECT_EQ(frame->format, AV_PIX_FMT_YUV420P);
            result.timestamps.push_back(frame->best_effort_timestamp);
            std::vector<std::uint8_t> planes;
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane ? (width + 1) / 2 : width, h = plane ? (height + 1) / 2 : height;
                for (int row = 0; row < h; ++row) {
                    const std::uint8_t* line = frame->data[plane] + std::ptrdiff_t{row} * frame->linesize[plane];
                    planes.insert(planes.end(), line, line + w);
                }
            }
            result.frames.push_back(std::move(planes));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        EXPECT_EQ(avcodec_send_packet(context.get(), packet.get()), 0);
        av_packet_unref(packet.get());
        drain();
    }
    avcodec_send_packet(context.get(), nullptr);
    drain();
    av_log_set_callback(av_log_default_callback);
    result.errors = errors;
    return result;
}

class HEVCAlphaMovieWriterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TemporaryFolder();
        moviePath = (*folder) / "overlay.mov";
        std::vector<bool> repeats;
        for (int i = 0; i < movieFrames; ++i) repeats.push_back(i % 4 == 3);
        rendered = writeMovie(moviePath, testing::exportEncoderSettings(movieWidth, movieHeight, movieFramesPerSecond),
                              repeats);
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }
    static TemporaryFolder* folder;
    static std::filesystem::path moviePath;
    static std::vector<std::vector<std::uint8_t>> rendered;
};
TemporaryFolder* HEVCAlphaMovieWriterTest::folder = nullptr;
std::filesystem::path HEVCAlphaMovieWriterTest::moviePath;
std::vector<std::vector<std::uint8_t>> HEVCAlphaMovieWriterTest::rendered;

TEST_F(HEVCAlphaMovieWriterTest, MovieHoldsAnHvc1TrackWithBothLayersThatTheSystemDecoderReads) {
    const auto track = pacemark::testing::readQuickTimeHEVCTrack(moviePath);
    EXPECT_EQ(track.sampleEntryType, "hvc1");
    EXPECT_EQ(track.width, movieWidth);
    EXPECT_EQ(track.height, movieHeight);
    EXPECT_EQ(std::count(track.sampleEntryChildBoxes.begin(), track.sampleEntryChildBoxes.end(), "hvcC"), 1);
    EXPECT_EQ(std::count(track.sampleEntryChildBoxes.begin(), track.sampleEntryChildBoxes.end(), "lhvC"), 0);
    ASSERT_GE(track.hvcC.size(), 23u);
    EXPECT_EQ(track.hvcC[0], 1);
    EXPECT_EQ(track.hvcC[21] & 3, 3) << "4-byte NAL lengths";

    std::vector<std::pair<int, int>> configuration;
    for (const auto& bytes : pacemark::testing::hvcCNalUnits(track.hvcC)) {
        const auto unit = HEVCNalUnit::parse(bytes);
        configuration.emplace_back(unit.type, unit.layerId);
    }
    EXPECT_EQ(configuration, (std::vector<std::pair<int, int>>{{32, 0}, {33, 0}, {33, 1}, {34, 0}, {34, 1}, {39, 0}}));
    const std::vector<std::span<const std::uint8_t>> samples(track.samples.begin(), track.samples.end());
    for (const auto& finding : checkHEVCAlphaTrack(track.sampleEntry, samples)) ADD_FAILURE() << finding.message;

    ASSERT_EQ(track.samples.size(), static_cast<std::size_t>(movieFrames));
    ASSERT_EQ(track.sampleDurations.size(), track.samples.size());
    for (const auto duration : track.sampleDurations) EXPECT_EQ(duration, track.sampleDurations.front());
    EXPECT_GT(track.sampleDurations.front(), 0u);
    for (std::size_t s = 0; s < track.samples.size(); ++s) {
        std::vector<int> layers;
        for (const auto& bytes : pacemark::testing::lengthPrefixedNalUnits(track.samples[s])) {
            const auto unit = HEVCNalUnit::parse(bytes);
            EXPECT_TRUE(HEVCNalType::isVcl(unit.type)) << "sample " << s;
            layers.push_back(unit.layerId);
        }
        EXPECT_EQ(layers, (std::vector<int>{0, 1})) << "sample " << s;
    }

    // The base layer as FFmpeg 5.1 decodes it: every frame, no errors, in order.
    const SystemDecode decoded = decodeWithSystemFFmpeg(moviePath, movieWidth, movieHeight);
    EXPECT_EQ(decoded.frames.size(), static_cast<std::size_t>(movieFrames));
    EXPECT_EQ(decoded.errors, 0);
    for (std::size_t i = 1; i < decoded.timestamps.size(); ++i) EXPECT_GT(decoded.timestamps[i], decoded.timestamps[i - 1]);
}

TEST_F(HEVCAlphaMovieWriterTest, StreamDumperParsesEveryParameterSetToItsTrailingBits) {
    if (std::string(PACEMARK_PYTHON3).empty() || !std::filesystem::exists(PACEMARK_PYTHON3)) GTEST_SKIP() << "python3 not found";
    const auto dumper = pacemark::testing::sharedReferenceFolder() / "hevc-alpha" / "hevc_dump.py";
    if (!std::filesystem::exists(dumper)) GTEST_SKIP() << "stream dumper not found: " << dumper;
    const auto result = runCommand(std::string(PACEMARK_PYTHON3) + " " + quoted(dumper) + " " + quoted(moviePath) + " --max=100");
    ASSERT_EQ(result.status, 0) << result.output;
    const auto count = [&](const std::string& text) {
        std::size_t n = 0;
        for (auto at = result.output.find(text); at != std::string::npos; at = result.output.find(text, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("rbsp_trailing_ok = True"), 5u) << result.output;
    EXPECT_EQ(count("rbsp_trailing_ok = False"), 0u);
    EXPECT_EQ(count("parse_error"), 0u);
    EXPECT_EQ(count("err="), 0u);
    EXPECT_EQ(count("AuxId = 1"), 2u) << "scalability mask and the alpha layer's dimension";
    EXPECT_EQ(count("use_idc = 1"), 1u) << "premultiplied colour";
    EXPECT_EQ(count("pps_id=1"), static_cast<std::size_t>(movieFrames));
    EXPECT_NE(result.output.find(std::to_string(movieFrames) + " samples"), std::string::npos);
}

TEST_F(HEVCAlphaMovieWriterTest, IndependentDecoderReturnsColourAndAlphaOfTheRenderedFrames) {
    const IndependentDecode result = decodeWithNodeAv(moviePath, (*folder) / "decoded.yuva");
    if (!result.skipped.empty()) GTEST_SKIP() << result.skipped;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(result.output, match, std::regex(R"(\{"frames":(\d+),"formats":\[([^\]]*)\],"widths":\[([^\]]*)\],"heights":\[([^\]]*)\])")))
        << result.output;
    EXPECT_EQ(std::stoi(match[1]), movieFrames);
    EXPECT_EQ(match[2].str(), "\"yuva420p\"");
    EXPECT_EQ(match[3].str(), std::to_string(movieWidth));
    EXPECT_EQ(match[4].str(), std::to_string(movieHeight));

    const std::size_t lumaSize = movieWidth * movieHeight, chromaSize = lumaSize / 4;
    const std::size_t frameSize = 2 * lumaSize + 2 * chromaSize;
    const auto& decoded = result.yuva;
    ASSERT_EQ(decoded.size(), frameSize * movieFrames);

    // BT.709 limited range back to RGB, compared with the premultiplied
    // colour and the alpha that were rendered.
    double alphaError = 0, colourError = 0;
    for (int f = 0; f < movieFrames; ++f) {
        const std::uint8_t* y = &decoded[frameSize * static_cast<std::size_t>(f)];
        const std::uint8_t* u = y + lumaSize;
        const std::uint8_t* v = u + chromaSize;
        const std::uint8_t* a = v + chromaSize;
        const auto& source = rendered[static_cast<std::size_t>(f)];
        for (int row = 0; row < movieHeight; ++row) {
            for (int col = 0; col < movieWidth; ++col) {
                const std::size_t at = static_cast<std::size_t>(row) * movieWidth + static_cast<std::size_t>(col);
                const std::size_t c = static_cast<std::size_t>(row / 2) * (movieWidth / 2) + static_cast<std::size_t>(col / 2);
                const double luma = 1.164383 * (y[at] - 16.0), cb = u[c] - 128.0, cr = v[c] - 128.0;
                const double rgb[3] = {luma + 1.792741 * cr, luma - 0.213249 * cb - 0.532909 * cr, luma + 2.112402 * cb};
                const std::uint8_t* px = &source[at * 4];
                const double expected[3] = {double(px[2]), double(px[1]), double(px[0])};
                for (int k = 0; k < 3; ++k) {
                    const double d = std::clamp(rgb[k], 0.0, 255.0) - expected[k];
                    colourError += d * d;
                }
                const double da = double(a[at]) - px[3];
                alphaError += da * da;
            }
        }
    }
    const double pixels = double(lumaSize) * movieFrames;
    const double alphaPsnr = psnr(alphaError, pixels), colourPsnr = psnr(colourError, 3 * pixels);
    std::cout << "alpha PSNR " << alphaPsnr << " dB, colour PSNR " << colourPsnr << " dB\n";
    EXPECT_GE(alphaPsnr, 40.0);
    EXPECT_GE(colourPsnr, 36.0);
}

// A run of repeats longer than the range of slice_pic_order_cnt_lsb (x265
// codes 8 bits), a new picture right after it, short runs, and a new last
// frame.
constexpr std::size_t longRun = 300;
std::vector<bool> repeatRuns() {
    std::vector<bool> repeats(4, false);
    repeats.insert(repeats.end(), longRun, true);
    for (int i = 0; i < 6; ++i) repeats.insert(repeats.end(), {false, true, true});
    repeats.push_back(false);
    return repeats;
}

// The base layer as an Annex B byte stream, for decoders that read no
// QuickTime.
void writeBaseLayerByteStream(const pacemark::testing::QuickTimeHEVCTrack& track, const std::filesystem::path& path) {
    std::vector<std::uint8_t> stream;
    const auto append = [&](const std::vector<std::uint8_t>& nal) {
        if (HEVCNalUnit::parse(nal).layerId != 0) return;
        stream.insert(stream.end(), {0, 0, 0, 1});
        stream.insert(stream.end(), nal.begin(), nal.end());
    };
    for (const auto& nal : pacemark::testing::hvcCNalUnits(track.hvcC)) append(nal);
    for (const auto& sample : track.samples) {
        for (const auto& nal : pacemark::testing::lengthPrefixedNalUnits(sample)) append(nal);
    }
    pacemark::testing::writeFileBytes(path, stream);
}

TEST(HEVCSkipPictureTest, RepeatsDecodeBitIdenticallyToThePictureBeforeThemInEveryDecoder) {
    // Neither side is a multiple of the 64-pixel coding tree unit, so the
    // skip pictures split at the right and bottom edges.
    constexpr int width = 200, height = 120;
    TemporaryFolder folder;
    const auto path = folder / "runs.mov";
    const std::vector<bool> repeats = repeatRuns();
    writeMovie(path, testing::exportEncoderSettings(width, height, 10), repeats);

    // Every repeat is a skip picture: tiny, and not a sync sample.
    const auto track = pacemark::testing::readQuickTimeHEVCTrack(path);
    ASSERT_EQ(track.samples.size(), repeats.size());
    std::vector<std::size_t> skips;
    for (std::size_t i = 0; i < repeats.size(); ++i) {
        if (!repeats[i]) continue;
        skips.push_back(i);
        EXPECT_FALSE(track.syncSamples[i]) << "sample " << i;
        EXPECT_LT(track.samples[i].size(), 64u) << "sample " << i;
    }
    EXPECT_TRUE(track.syncSamples[0]);

    const SystemDecode system = decodeWithSystemFFmpeg(path, width, height);
    EXPECT_EQ(system.errors, 0);
    ASSERT_EQ(system.frames.size(), repeats.size());
    for (const std::size_t i : skips) EXPECT_TRUE(system.frames[i] == system.frames[i - 1]) << "FFmpeg 5.1, frame " << i;
    EXPECT_FALSE(system.frames.back() == system.frames[system.frames.size() - 2]) << "the new last frame";
    EXPECT_FALSE(system.frames[4 + longRun] == system.frames[3 + longRun]) << "the new frame after the long run";

    if (std::string(PACEMARK_DEC265).empty() || !std::filesystem::exists(PACEMARK_DEC265)) {
        ADD_FAILURE() << "libde265's dec265 not found (Debian package libde265-examples)";
    } else {
        const auto stream = folder / "base.hevc";
        const auto yuv = folder / "base.yuv";
        writeBaseLayerByteStream(track, stream);
        const auto result = runCommand(std::string(PACEMARK_DEC265) + " -q -o " + quoted(yuv) + " " + quoted(stream));
        EXPECT_EQ(result.status, 0) << result.output;
        std::vector<std::uint8_t> expected;
        for (const auto& frame : system.frames) expected.insert(expected.end(), frame.begin(), frame.end());
        EXPECT_TRUE(pacemark::testing::readFileBytes(yuv) == expected) << "libde265 and FFmpeg 5.1 decode different pictures";
    }

    const IndependentDecode both = decodeWithNodeAv(path, folder / "decoded.yuva");
    if (!both.skipped.empty()) GTEST_SKIP() << both.skipped << ": alpha layer not decoded";
    const auto& decoded = both.yuva;
    const std::size_t frameSize = std::size_t{width} * height * 2 + 2 * std::size_t{width / 2} * (height / 2);
    ASSERT_EQ(decoded.size(), frameSize * repeats.size()) << both.output;
    const auto frameAt = [&](std::size_t i) {
        return std::vector<std::uint8_t>(decoded.begin() + static_cast<std::ptrdiff_t>(frameSize * i),
                                         decoded.begin() + static_cast<std::ptrdiff_t>(frameSize * (i + 1)));
    };
    for (const std::size_t i : skips) EXPECT_TRUE(frameAt(i) == frameAt(i - 1)) << "FFmpeg 8, both layers, frame " << i;
}

// Starts a 64×64 movie at `path` and appends its first frame.
std::unique_ptr<HEVCAlphaMovieWriter> startedMovie(const std::filesystem::path& path) {
    auto writer = std::make_unique<HEVCAlphaMovieWriter>(path, testing::exportEncoderSettings(64, 64, 10));
    EXPECT_FALSE(std::filesystem::exists(path)) << "no file before writing starts";
    writer->startWriting();
    OverlayTestFrame frame(64, 64);
    frame.draw(0);
    writer->append(frame.view(), 0);
    return writer;
}

TEST(HEVCAlphaMovieWriterFailureTest, AbandonedUnwritableOrRefusedMoviesLeaveNothing) {
    TemporaryFolder folder;
    const auto path = folder / "abandoned.mov";
    startedMovie(path).reset();
    EXPECT_FALSE(std::filesystem::exists(path));

    {
        // A gap in the frame numbers would break the one-frame durations.
        const auto writer = startedMovie(path);
        OverlayTestFrame frame(64, 64);
        EXPECT_THROW(writer->append(frame.view(), 2), TelemetryVideoExportError);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_FALSE(writer->makePixelBuffer().isValid());
    }  // no encoder threads left when the size-limited child is forked below

    try {
        HEVCAlphaMovieWriter missing(folder / "missing-folder" / "x.mov", testing::exportEncoderSettings(64, 64, 10));
        missing.startWriting();
        FAIL();
    } catch (const HEVCAlphaEncodingError& error) {
        EXPECT_EQ(error.errorCase(), HEVCAlphaEncodingError::Case::muxingFailed);
        EXPECT_NE(error.errorDescription().find("Не удалось открыть для записи"), std::string::npos) << error.what();
        EXPECT_EQ(error.errorDescription().find("No such"), std::string::npos) << "the reason is Russian";
    }

    // FFmpeg would read the relative name "take:1.mov" as the protocol "take".
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    startedMovie("take:1.mov")->finish();
    std::filesystem::current_path(before);
    EXPECT_GT(std::filesystem::file_size(folder / "take:1.mov"), 0u);

    // A write the file system refuses (here: past the process's file-size
    // limit) fails the movie with the reason, even where the muxer itself
    // does not return the error.
    const auto limited = folder / "limited.mov";
    const int status = testing::exitStatusWithFileSizeLimit(16 * 1024, [&] {
        try {
            HEVCAlphaMovieWriter writer(limited, testing::exportEncoderSettings(128, 96, 10));
            writer.startWriting();
            OverlayTestFrame frame(128, 96);
            for (int k = 0; k < 200; ++k) {
                frame.draw(k);
                writer.append(frame.view(), k);
            }
            writer.finish();
            return 1;
        } catch (const PacemarkError& error) {
            return std::string(error.what()).find("файл слишком большой") != std::string::npos ? 0 : 2;
        }
    });
    EXPECT_EQ(status, 0) << "1: no error, 2: another text";
    EXPECT_FALSE(std::filesystem::exists(limited));
}

}  // namespace
}  // namespace pacemark
