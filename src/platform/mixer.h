#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace zorva {

// Identifies an open mixer; 0 means none is open.
using MixerHandle = std::uintptr_t;

// A volume control of a mixer: its identifier (never 0) and its bounds, in
// the control's own units.
struct MixerVolumeControl {
  uint32_t id = 0;
  uint32_t minimum = 0;
  uint32_t maximum = 0;
};

// The computer's sound mixer as the volume slider sees it: the first device,
// the volume control of its speakers, and word when a control of it changes
// elsewhere. One value applies to all channels alike. A machine without a
// mixer is a normal case: DeviceCount answers 0.
class Mixer {
 public:
  // Called on the user-interface thread when a control of the open mixer
  // changed elsewhere: its value, or a switch that belongs to the same
  // control. The mixer's own writes are not reported back.
  using ChangeHandler = std::function<void(MixerHandle mixer, uint32_t controlId)>;

  virtual ~Mixer() = default;

  // How many mixer devices the system offers; 0 when there is none.
  virtual uint32_t DeviceCount() = 0;
  // Opens the first device; its handle, or 0 when it cannot be opened.
  // Change notifications may arrive from here on.
  virtual MixerHandle Open() = 0;
  // Asks the open device for its capabilities; false when that fails.
  virtual bool QueryCapabilities() = 0;
  // The volume control of the open device's speakers, or nothing when the
  // device has none.
  virtual std::optional<MixerVolumeControl> FindSpeakersVolume() = 0;
  // Reads a control's value (the highest of its channels), clamped to its
  // bounds; nothing when it cannot be read.
  virtual std::optional<uint32_t> GetValue(uint32_t controlId) = 0;
  // Writes one value to all channels of a control, clamped to its bounds
  // first; false when the write fails.
  virtual bool SetValue(uint32_t controlId, uint32_t value) = 0;
  // Closes the device: no more notifications, reads or writes. Harmless when
  // nothing is open.
  virtual void Close() = 0;

  void SetChangeHandler(ChangeHandler handler) { m_changeHandler = std::move(handler); }

 protected:
  void NotifyChange(MixerHandle mixer, uint32_t controlId) const {
    if (m_changeHandler) m_changeHandler(mixer, controlId);
  }

 private:
  ChangeHandler m_changeHandler;
};

}  // namespace zorva
