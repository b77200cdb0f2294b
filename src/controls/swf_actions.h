#pragma once

#include <string>
#include <string_view>

#include "controls/swf_movie.h"

namespace zorva {

// The movie with a DoAction tag holding actions inserted into its first
// frame (after a leading FileAttributes tag, which must stay first), and
// its length field fixed. The result is an uncompressed "FWS" movie.
std::string InsertFrameActions(const SwfMovie& movie, std::string_view actions);

// The frame-reporting probe: actions that create an empty helper clip whose
// enter-frame handler sends "token,frame,total,playing" (frame 1-based,
// playing "true" or "false") through fscommand(kProbeCommand) whenever it
// changes; playing means the main timeline moved since the previous frame.
// The token tells the movie's reports from those of the movie before. For
// version 8 and later the actions also register the external callbacks
// kProbePlayCallback and kProbeStopCallback, which play and stop the main
// timeline. Needs version 6 or later and a movie without ActionScript 3.
std::string ProbeActions(int version, std::string_view token);
bool CanTakeProbe(const SwfMovie& movie);

inline constexpr char kProbeCommand[] = "zorva_frame";
inline constexpr char kProbePlayCallback[] = "zorvaPlay";
inline constexpr char kProbeStopCallback[] = "zorvaStop";

}  // namespace zorva
