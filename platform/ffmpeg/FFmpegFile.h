// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

struct AVFormatContext;
struct AVStream;

// Files through FFmpeg, the same way for every reader and writer: names that
// are never read as protocol URLs, write errors that are never lost, and
// Russian failure texts.
namespace pacemark::ffmpeg {

// The name to give FFmpeg for a local file. "file:" makes FFmpeg take it as a
// file whatever it holds, so a relative name with a colon ("take:1.mov") is
// not read as a protocol ("take").
std::string fileURL(const std::filesystem::path& path);

// Opens `path` for writing as the output container's file (its pb), creating
// or truncating it. Returns FFmpeg's code (negative on failure).
int openOutputFile(AVFormatContext& container, const std::filesystem::path& path);

// `result` of a write into the container, or the first write error its file
// recorded: FFmpeg's muxers do not return every failed write (a full disk may
// show only on the file), so every write is checked with this.
int checkedWrite(const AVFormatContext& container, int result);

// Writes the container's index (trailer) and closes its file, checking both.
// Returns FFmpeg's code (negative on failure).
int finishOutputFile(AVFormatContext& container);

// The Russian reason for FFmpeg's failure `code` (negative): an errno value
// through the system's table (systemErrorReason), FFmpeg's own codes through
// a table of this file, the number for anything else.
std::string failureReason(int code);

// Clockwise quarter turns (0, 90, 180 or 270) that make a video stream's
// pictures upright, from its display matrix; the matrix gives a
// counter-clockwise angle, and odd angles are rounded to the nearest quarter.
int clockwiseRotationDegrees(const AVStream& stream);

// `fixedText` (a Russian sentence ending in ".") with the reason added
// ("...: на диске нет места."); out of memory is outOfMemoryDescription()
// whatever the step; `fixedText` itself for a code that is no failure.
std::string failureText(std::string fixedText, int code);

}  // namespace pacemark::ffmpeg
