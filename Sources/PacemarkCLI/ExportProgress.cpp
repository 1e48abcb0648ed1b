// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportProgress.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace pacemark::cli {
namespace {

std::string clockText(double seconds) {
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

}  // namespace

ExportProgressMode exportProgressMode(bool quiet) {
    if (quiet) return ExportProgressMode::quiet;
    return isatty(STDERR_FILENO) == 1 ? ExportProgressMode::terminal : ExportProgressMode::plain;
}

ExportProgress::ExportProgress(std::ostream& out, ExportProgressMode mode, std::int64_t frameCount,
                               FrameRate frameRate)
    : out_(out), mode_(mode), frameCount_(frameCount), frameRate_(frameRate), started_(Clock::now()),
      lastPlainLine_(started_) {}

void ExportProgress::update(double fraction) {
    switch (mode_) {
    case ExportProgressMode::terminal:
        out_ << "\r" << line(fraction) << "\033[K" << std::flush;
        break;
    case ExportProgressMode::plain:
        if (const auto now = Clock::now(); now - lastPlainLine_ >= plainLineInterval) {
            lastPlainLine_ = now;
            out_ << line(fraction) << "\n" << std::flush;
        }
        break;
    case ExportProgressMode::quiet:
        break;
    }
}

void ExportProgress::finish(double fraction) {
    if (mode_ == ExportProgressMode::quiet) return;
    if (mode_ == ExportProgressMode::terminal) out_ << "\r";
    out_ << line(fraction) << (mode_ == ExportProgressMode::terminal ? "\033[K\n" : "\n") << std::flush;
}

std::string ExportProgress::line(double fraction) const {
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    const auto frames = static_cast<std::int64_t>(fraction * double(frameCount_) + 0.5);
    const double rate = seconds > 0 ? double(frames) / seconds : 0;
    constexpr int width = 24;
    const int filled = static_cast<int>(fraction * width);
    char text[200];
    std::snprintf(text, sizeof text, "[%s%s] %3d%%  кадр %lld/%lld  %.0f к/с (%.1f×)",
                  std::string(std::size_t(filled), '#').c_str(), std::string(std::size_t(width - filled), '.').c_str(),
                  static_cast<int>(fraction * 100), static_cast<long long>(frames),
                  static_cast<long long>(frameCount_), rate, rate / frameRate_.framesPerSecond());
    std::string result = text;
    if (rate > 0 && frames < frameCount_) result += "  осталось " + clockText(double(frameCount_ - frames) / rate);
    return result;
}

}  // namespace pacemark::cli
