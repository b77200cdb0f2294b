#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace zorva {

// The bounds of the speakers' volume, in the control's own units.
struct MixerRange {
  uint32_t minimum = 0;
  uint32_t maximum = 0;
};

// The computer's sound mixer as the volume slider sees it: the volume of the
// first device's speakers, one value for all channels alike, and word when
// it changes elsewhere. A machine without a mixer is a normal case.
class Mixer {
 public:
  // Called on the user-interface thread when the speakers' volume control
  // changed elsewhere: its value, or a switch that belongs to it (a mute).
  // The mixer's own writes are not reported back.
  using ChangeHandler = std::function<void()>;

  // Closes the device: no more notifications.
  virtual ~Mixer() = default;

  // Opens the device and finds its speakers' volume; its range, or nothing
  // when there is no device, it cannot be opened, or it has no such volume.
  // Change notifications may arrive from here on.
  virtual std::optional<MixerRange> Open() = 0;
  // The volume (the highest of its channels) clamped to the range; nothing
  // when it cannot be read or nothing is open.
  virtual std::optional<uint32_t> Read() = 0;
  // Writes one value to all channels, clamped to the range first; false when
  // the write fails or nothing is open.
  virtual bool Write(uint32_t value) = 0;

  void SetChangeHandler(ChangeHandler handler) { m_changeHandler = std::move(handler); }

 protected:
  void NotifyChange() const {
    if (m_changeHandler) m_changeHandler();
  }

 private:
  ChangeHandler m_changeHandler;
};

}  // namespace zorva
