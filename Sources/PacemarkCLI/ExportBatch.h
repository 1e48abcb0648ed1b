// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Telemetry/FrameRate.h"

namespace pacemark::cli {

// One movie of an export run: where the ride is read and the movie written.
struct ExportJob {
    std::filesystem::path source;
    std::filesystem::path output;
};

// What one finished export wrote.
struct ExportedMovie {
    std::int64_t frameCount = 0;
    FrameRate frameRate = 1;
};

// Runs the movies of one `export` call one after another and reports on them
// the way scripts and batch runners rely on: a failure of one file is printed
// (in Russian, naming the file) and the run goes on with the next; stdout gets
// one line per finished movie ("Готово: PATH", or a JSON object); a run of
// several files ends with a summary on stderr. The exit status is 0 when every
// movie is there, 1 when any failed and 130 when the run was stopped.
class ExportBatch {
public:
    struct Options {
        bool json = false;          // JSON objects on stdout instead of "Готово:" lines
        bool skipExisting = false;  // leave destinations that already hold a complete movie
    };

    // Writes one movie; throws PacemarkError on failure and
    // TelemetryVideoExportCancelled when stopped.
    using ExportOne = std::function<ExportedMovie(const ExportJob&)>;

    // The jobs for `sources`: each movie beside its source as
    // "NAME-telemetry.mov", or in `outputDirectory`; `output` names the movie
    // of a single source. Throws CLIUsageError for `output` with several
    // sources, for both `output` and `outputDirectory`, and when two sources
    // would write the same movie (the later one would silently replace the
    // earlier).
    static std::vector<ExportJob> plan(const std::vector<std::string>& sources,
                                       const std::optional<std::filesystem::path>& output,
                                       const std::optional<std::filesystem::path>& outputDirectory);

    // Throws CLIUsageError when two jobs would write the same movie (the later
    // one would silently replace the earlier), however the paths are spelled.
    static void checkDistinctOutputs(const std::vector<ExportJob>& jobs);

    // True when `path` is a QuickTime file whose top-level boxes tile it
    // exactly and include the movie header and the media data: what a finished
    // write leaves, and what a truncated copy or an interrupted writer does not.
    static bool isCompleteMovie(const std::filesystem::path& path);

    ExportBatch(Options options, std::ostream& out, std::ostream& err);

    // Runs every job and returns the exit status.
    int run(const std::vector<ExportJob>& jobs, const ExportOne& exportOne);

private:
    void reportFinished(const ExportJob& job, const std::optional<ExportedMovie>& movie);

    Options options_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace pacemark::cli
