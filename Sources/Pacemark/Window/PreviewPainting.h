// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QRectF>

class QPainter;

namespace pacemark {

class BackgroundVideoModel;

// Shared drawing of the preview pane and the canvases on it.

// The pane's backdrop: a dark vertical gradient with a faint checkerboard of
// 22-point squares over it (the checkerboard says "transparent").
void paintPreviewBackdrop(QPainter& painter, const QRectF& area);

// The background picture under the overlay: the player's current frame when a
// player exists, else the still frame; null when there is neither. The image
// shares the model's pixels (no copy).
QImage currentBackgroundImage(const BackgroundVideoModel& video);

// Draws the background on the canvas: `scale` times the canvas size, centred
// at (0.5 + offsetX, 0.5 + offsetY) of it, filled with the picture's aspect
// ratio kept (cropped, not stretched) and clipped to the canvas.
void paintVideoBackground(QPainter& painter, const QRectF& canvas, const QImage& image, double scale,
                          double offsetX, double offsetY);

// The thin rounded border around a canvas.
void paintCanvasBorder(QPainter& painter, const QRectF& canvas, double opacity);

}  // namespace pacemark
