// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Export/MovieWriter.h"

namespace pacemark {

// What a recording writer saw, shared with whoever made the factory so that it
// outlives the writer.
struct MovieWriterRecording {
    struct Frame {
        std::int64_t frameIndex = 0;
        bool isRepeat = false;
        std::uint64_t pictureHash = 0;  // FNV-1a of the picture's pixels (of the repeated one for repeats)
        bool operator==(const Frame&) const = default;
    };

    std::vector<MovieWriterSettings> openedSettings;
    std::vector<Frame> frames;
    bool started = false;
    bool finished = false;
    bool cancelled = false;
};

// Failures and hooks a test can ask of the recording writers.
struct MovieWriterRecordingScript {
    bool failsToStart = false;
    std::optional<std::int64_t> failsAppendingFrame;  // this frame index fails, picture or repeat
    bool failsToFinish = false;
    int notReadyPollsPerFrame = 0;  // isReadyForMoreMediaData() answers false this often before each frame
    std::function<void(std::int64_t frameIndex)> onAppend;  // called after a frame is recorded
};

// A writer that encodes nothing: it records every call and writes a small text
// file (one line per frame) so that the temporary-file and move logic of the
// exporter runs against a real file. Used by tests and as the null back end.
class RecordingMovieWriter final : public MovieWriter {
public:
    RecordingMovieWriter(MovieWriterSettings settings, std::shared_ptr<MovieWriterRecording> recording,
                         MovieWriterRecordingScript script);
    ~RecordingMovieWriter() override;

    void startWriting() override;
    bool isReadyForMoreMediaData() const override;
    PixelBufferView makePixelBuffer() override;
    void append(PixelBufferView buffer, std::int64_t frameIndex) override;
    void appendRepeat(std::int64_t frameIndex) override;
    void finish() override;
    void cancel() noexcept override;

    static std::uint64_t pictureHash(PixelBufferView picture);

private:
    void record(MovieWriterRecording::Frame frame);

    MovieWriterSettings settings_;
    std::shared_ptr<MovieWriterRecording> recording_;
    MovieWriterRecordingScript script_;
    std::vector<std::uint8_t> pixels_;
    std::ofstream file_;
    std::optional<std::uint64_t> lastHash_;
    mutable int pollsLeft_ = 0;
    bool started_ = false;
    bool done_ = false;
};

class RecordingMovieWriterFactory final : public MovieWriterFactory {
public:
    explicit RecordingMovieWriterFactory(MovieWriterRecordingScript script = {});

    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override;
    const std::shared_ptr<MovieWriterRecording>& recording() const { return recording_; }

private:
    std::shared_ptr<MovieWriterRecording> recording_;
    MovieWriterRecordingScript script_;
};

}  // namespace pacemark
