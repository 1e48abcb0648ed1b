// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportBatch.h"

#include <array>
#include <fstream>
#include <map>

#include "CLIArguments.h"
#include "CLIJSON.h"
#include "Export/TelemetryVideoExporter.h"
#include "Export/TelemetryExportSettings.h"
#include "PacemarkError.h"

namespace pacemark::cli {
namespace {

namespace fs = std::filesystem;

// The same file however it was spelled, for finding clashing destinations.
fs::path comparable(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::weakly_canonical(path, error);
    return error ? path.lexically_normal() : absolute;
}

std::uint64_t bigEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

}  // namespace

std::vector<ExportJob> ExportBatch::plan(const std::vector<std::string>& sources, const std::optional<fs::path>& output,
                                         const std::optional<fs::path>& outputDirectory) {
    if (sources.empty()) throw CLIUsageError("Не указан файл телеметрии.");
    if (output && outputDirectory) throw CLIUsageError("Укажите либо -o, либо --output-dir, но не оба.");
    if (output && sources.size() > 1) {
        throw CLIUsageError("С несколькими файлами -o не подходит: укажите --output-dir или ничего (фильмы лягут рядом "
                            "с исходными файлами).");
    }
    std::vector<ExportJob> jobs;
    for (const std::string& name : sources) {
        const fs::path source(name);
        fs::path movie = output ? *output
                         : outputDirectory ? *outputDirectory / TelemetryExportSettings::outputFileName(source)
                                           : TelemetryExportSettings::defaultOutputPath(source);
        jobs.push_back({source, std::move(movie)});
    }
    checkDistinctOutputs(jobs);
    return jobs;
}

void ExportBatch::checkDistinctOutputs(const std::vector<ExportJob>& jobs) {
    std::map<fs::path, fs::path> sourceOfOutput;
    for (const ExportJob& job : jobs) {
        const auto [existing, inserted] = sourceOfOutput.emplace(comparable(job.output), job.source);
        if (!inserted) {
            throw CLIUsageError("Файлы " + existing->second.string() + " и " + job.source.string() +
                                " дали бы один и тот же фильм " + job.output.string() + ".");
        }
    }
}

bool ExportBatch::isCompleteMovie(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t fileSize = fs::file_size(path, error);
    if (error || fileSize == 0) return false;
    std::ifstream file(path, std::ios::binary);
    bool hasMovieHeader = false;
    bool hasMediaData = false;
    std::uint64_t offset = 0;
    while (offset < fileSize) {
        std::array<unsigned char, 16> header{};
        file.seekg(static_cast<std::streamoff>(offset));
        if (!file.read(reinterpret_cast<char*>(header.data()), 8)) return false;
        std::uint64_t boxSize = bigEndian(header.data(), 4);
        if (boxSize == 1) {  // a 64-bit size follows the type
            if (!file.read(reinterpret_cast<char*>(header.data() + 8), 8)) return false;
            boxSize = bigEndian(header.data() + 8, 8);
        }
        // Size 0 ("up to the end of the file") is what a writer leaves before
        // it knows the length, so it counts as unfinished.
        if (boxSize < 8 || boxSize > fileSize - offset) return false;
        const std::string type(reinterpret_cast<const char*>(header.data() + 4), 4);
        hasMovieHeader = hasMovieHeader || type == "moov";
        hasMediaData = hasMediaData || type == "mdat";
        offset += boxSize;
    }
    return hasMovieHeader && hasMediaData;
}

ExportBatch::ExportBatch(Options options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err) {}

int ExportBatch::run(const std::vector<ExportJob>& jobs, const ExportOne& exportOne) {
    std::size_t exported = 0;
    std::size_t skipped = 0;
    std::vector<const ExportJob*> failed;
    bool stopped = false;
    for (const ExportJob& job : jobs) {
        if (options_.skipExisting && isCompleteMovie(job.output)) {
            ++skipped;
            reportFinished(job, std::nullopt);
            continue;
        }
        try {
            const ExportedMovie movie = exportOne(job);
            ++exported;
            reportFinished(job, movie);
        } catch (const TelemetryVideoExportCancelled&) {
            err_ << "Экспорт остановлен.\n";
            stopped = true;
            break;
        } catch (const std::exception& error) {
            // The Russian text of the failure (out of memory and system
            // errors included); anything else is a fault of ours, said as such.
            const std::string text = userFacingDescription(error);
            const std::string_view internal = "Внутренняя ошибка: ";
            if (text.starts_with(internal)) {
                err_ << internal << job.source.string() << ": " << text.substr(internal.size()) << "\n";
            } else {
                err_ << "Ошибка: " << job.source.string() << ": " << text << "\n";
            }
            failed.push_back(&job);
        }
        out_.flush();
    }
    if (jobs.size() > 1) {
        err_ << "Итого: готово " << exported << ", пропущено " << skipped << ", с ошибкой " << failed.size()
             << (stopped ? ", остановлено" : "") << " (файлов: " << jobs.size() << ").\n";
        for (const ExportJob* job : failed) err_ << "Не удалось: " << job->source.string() << "\n";
    }
    err_.flush();
    if (stopped) return 130;
    return failed.empty() ? 0 : 1;
}

// One line per movie on stdout; skipped movies (`movie` empty) are reported
// too, so a script sees every destination that is in place.
void ExportBatch::reportFinished(const ExportJob& job, const std::optional<ExportedMovie>& movie) {
    if (!options_.json) {
        out_ << (movie ? "Готово: " : "Уже есть: ") << job.output.string() << "\n";
        return;
    }
    JSONObjectWriter object;
    object.add("path", job.output.string());
    object.add("source", job.source.string());
    if (movie) {
        object.add("frames", movie->frameCount);
        object.add("seconds", movie->frameRate.seconds(movie->frameCount));
    } else {
        object.addRaw("skipped", "true");
    }
    std::error_code error;
    const std::uintmax_t bytes = fs::file_size(job.output, error);
    if (!error) object.add("bytes", static_cast<std::int64_t>(bytes));
    out_ << object.finish() << "\n";
}

}  // namespace pacemark::cli
