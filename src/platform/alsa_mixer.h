#pragma once

#include <memory>
#include <string>

#include "platform/mixer.h"

namespace zorva {

// The system mixer: ALSA's "default" device, or the device named by the
// environment variable ZORVA_MIXER_DEVICE when it is set and not empty.
std::unique_ptr<Mixer> CreateSystemMixer();

// A mixer on one ALSA device through ALSA's simple mixer interface. Its
// speakers' volume is the "Master" playback volume, or "PCM" where there is
// no "Master". Change events are watched on the device's poll descriptors
// from the thread's Qt event loop. ALSA prints nothing; each failure reaches
// the log (category "zorva.mixer") as one line, and a failure that repeats
// is logged again only after the operation has worked in between.
std::unique_ptr<Mixer> CreateAlsaMixer(const std::string& device);

}  // namespace zorva
