// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PacemarkError.h"

#include <string>

namespace pacemark {

// A failure of the HEVC-with-alpha writer, with its Russian description.
// The exporter passes it on as the writer's own error text.
class HEVCAlphaEncodingError : public PacemarkError {
public:
    enum class Case {
        encoderFailed,     // libx265 refused the settings or a picture
        layersDisagree,    // the colour and alpha encodes took different decisions
        invalidBitstream,  // an encode produced something the layering cannot rewrite
        unsupportedSize,   // the picture size cannot be coded as 4:2:0
        muxingFailed,      // the movie file could not be written
    };

    HEVCAlphaEncodingError(Case errorCase, const std::string& description)
        : PacemarkError(description), case_(errorCase) {}
    Case errorCase() const { return case_; }

private:
    Case case_;
};

}  // namespace pacemark
