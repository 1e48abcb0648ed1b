// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AppModelServices.h"

// The background-video services of the application, over the FFmpeg movie
// reader and the preview player. Kept apart from AppModel so that the model
// itself needs no video library and tests can hand it fakes.
namespace pacemark {

// Fills in readVideoStillFrame, readVideoMetadata and makeVideoPlayer.
void addVideoBackgroundServices(AppModelServices& services);

// Fills in burnInClip over FFmpegClipBurnIn, drawing with `renderers`.
void addBurnInService(AppModelServices& services, ExportFrameRendererMaker renderers);

}  // namespace pacemark
