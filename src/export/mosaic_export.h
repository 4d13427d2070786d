#pragma once
// The mosaic export: every channel of a day's range read side by side by
// record time, decoded, composed into one picture per output frame
// (MosaicGraph), encoded (MosaicEncoder) into one MP4 file with the sound of
// one channel. Output frame n shows, in each cell, the channel's newest
// picture taken at or before origin + n frames (origin: the first picture
// of any channel); a channel without a picture in the second before shows
// black. The line at the bottom gives the recording's date and time of the
// frame and, when the recording has GPS, the speed and position.
//
// Runs on the conversion's worker; posts kMsgConvertProgress (row 0, percent)
// and kMsgMosaicSecond per second of the span.
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "catalogue/day_video.h"
#include "export/convert_job.h"
#include "export/gps_track.h"

namespace corvane {

using PostFunction = std::function<void(uint32_t id, int row, intptr_t value)>;

// Writes the mosaic of the settings' range into `mosaic.path`. `channels`
// (one per row) receive what was read of each channel (span, gaps, frames,
// sources); `gps` the track of the first channel with GPS.
void RunMosaicExport(CDayVideo& day, const ConvertSettings& settings, const std::atomic<int32_t>& stop,
                     const PostFunction& post, ChannelOutcome& mosaic, std::vector<ChannelOutcome>& channels,
                     std::vector<GpsPoint>& gps);

}  // namespace corvane
