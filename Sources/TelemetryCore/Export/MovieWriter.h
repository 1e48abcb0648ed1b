// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "Rendering/PixelBuffer.h"
#include "Export/TelemetryVideoCodec.h"
#include "Telemetry/FrameRate.h"

namespace pacemark {

// Compression properties of the HEVC-with-alpha writer. Filled by
// TelemetryExportSettings::writerSettings; the writer maps them onto its encoder.
struct MovieWriterHEVCSettings {
    std::int64_t averageBitRateBitsPerSecond = 0;  // the mean rate the movie stays under
    std::int64_t maxKeyFrameIntervalFrames = 1;    // >= 1
    bool premultipliedAlpha = true;                // colour is stored multiplied by alpha

    bool operator==(const MovieWriterHEVCSettings&) const = default;
};

// What a writer is opened with. TelemetryExportSettings::writerSettings makes
// them within the codec's row of the codec table; a writer refuses settings
// outside that row (tests open writers directly) but never narrows it.
struct MovieWriterSettings {
    // The highest rate any writer times frames at (the settings offer less).
    static constexpr std::int64_t maximumFramesPerSecond = 1000;

    std::filesystem::path file;  // the movie to create (the exporter passes its temporary file)
    TelemetryVideoCodec codec = TelemetryVideoCodec::proRes4444;
    std::int64_t width = 0;            // picture size in pixels, > 0
    std::int64_t height = 0;
    // Known, 1...maximumFramesPerSecond frames a second; frame i is presented
    // at i × D / N seconds (FrameRate::seconds), so a writer times samples in
    // units of 1/N second (or a multiple) and gives each a duration of D.
    FrameRate frameRate = 1;
    std::optional<MovieWriterHEVCSettings> hevc;  // present exactly when codec is hevcWithAlpha

    bool operator==(const MovieWriterSettings&) const = default;
};

// Writes one QuickTime movie with a single video track that carries alpha.
//
// Contract for implementations:
// - Threads. One thread drives a writer from open to finish()/cancel(); the
//   methods are not safe to call concurrently. An implementation may encode
//   and write on threads of its own; errors raised there are reported by the
//   next call on the driving thread (append, appendRepeat or finish).
// - Lifecycle. startWriting() once, then any number of appends with strictly
//   increasing frame indices starting at 0, then finish() once. cancel() may
//   be called at any point, also after a failed call; afterwards only
//   destruction is allowed. Destroying a writer that was started but not
//   finished cancels it.
// - Files. The writer creates settings.file when writing starts and owns it
//   until finish() returns, after which the file is a complete movie that the
//   caller may move. cancel() (and a failed startWriting()) removes whatever
//   part of the file was written; the caller removes it again, ignoring
//   errors, so a writer that cannot is not fatal.
// - Errors. Every failure is thrown as a PacemarkError with a Russian text:
//   the platform's own description when there is one, otherwise
//   TelemetryVideoExportError::writerFailed with the step's fixed text.
class MovieWriter {
public:
    virtual ~MovieWriter() = default;

    // Creates the file and writes what precedes the first frame.
    virtual void startWriting() = 0;

    // False while the writer holds as many frames as it is willing to queue;
    // the caller then waits (checking for cancellation) and asks again. Never
    // stays false for ever once earlier frames are encoded, even after an
    // error on a writer thread (the error is reported by the next call).
    virtual bool isReadyForMoreMediaData() const = 0;

    // Hands out a picture of the configured size (BGRA premultiplied, row 0 at
    // the top) from the writer's own pool. The memory belongs to the writer;
    // the caller draws into it and passes it to append() exactly once before
    // asking for the next one. Its previous contents are unspecified. Returns
    // an invalid view (isValid() false) when no buffer can be had.
    virtual PixelBufferView makePixelBuffer() = 0;

    // Queues the picture handed out by makePixelBuffer() as frame frameIndex,
    // presented at frameRate.seconds(frameIndex). The buffer returns to the
    // writer: the caller must not touch it afterwards.
    virtual void append(PixelBufferView buffer, std::int64_t frameIndex) = 0;

    // Queues frame frameIndex as a repeat of the frame appended last (which
    // must exist). Intra-only codecs write the coded frame again without
    // encoding; others may encode the previous picture anew.
    virtual void appendRepeat(std::int64_t frameIndex) = 0;

    // Writes every queued frame and completes the file. Blocks until done.
    virtual void finish() = 0;

    // Abandons the movie: stops writer threads, closes and removes the file.
    // Never throws; safe to call more than once.
    virtual void cancel() noexcept = 0;
};

// Opens writers. Shared between exports and used from any thread, so
// implementations keep no mutable state.
class MovieWriterFactory {
public:
    virtual ~MovieWriterFactory() = default;

    // A writer for these settings, not yet started. Throws a PacemarkError
    // when the codec or size cannot be written (for example
    // TelemetryVideoExportError::cannotAddVideoInput); nothing is created on
    // disk by this call.
    virtual std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const = 0;
};

}  // namespace pacemark
