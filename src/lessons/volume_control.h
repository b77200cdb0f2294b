#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <memory>

#include "platform/mixer.h"

class QSlider;
class QWidget;

namespace zorva {

// The lesson window's volume slider on the computer's mixer. The window
// hands over its slider, the slider's label and a mixer, and calls SetUp
// once, as the last step of its initialisation. From then on every value
// change of the slider (each drag step, keys, pages) is written to the mixer
// at once, and a volume changed elsewhere moves the slider. The slider's
// position is the mixer's value, in the control's own units.
//
// No message box is ever shown. A mixer that goes away leaves the slider as
// it is; it simply stops following. The mixer is closed on destruction.
class VolumeControl : public QObject {
 public:
  VolumeControl(QSlider* slider, QWidget* label, std::unique_ptr<Mixer> mixer,
                QObject* parent = nullptr);
  ~VolumeControl() override;

  // Opens the mixer, finds its volume control and puts the slider on it:
  // - no mixer device, or no volume control: the slider is disabled and the
  //   label stays enabled;
  // - the mixer cannot be opened or its capabilities read: the slider keeps
  //   its state and range and nothing reaches any mixer;
  // - otherwise the range becomes the control's bounds, then the position
  //   its current value (kept when the value cannot be read).
  void SetUp();

  // Resets the members below and opens the first mixer device. True with no
  // mixer open when there is no device; false when opening fails.
  bool OpenMixer();
  // Records the speakers' volume control and its bounds; false when no mixer
  // is open or it has no such control.
  bool FindVolumeControl();
  // Reads the volume; false (and `volume` untouched) when nothing can be read.
  bool GetVolume(uint32_t& volume);
  // Writes the volume; false when nothing was written.
  bool SetVolume(uint32_t volume);

  uint32_t MixerDevices() const { return m_nMixerDevices; }
  MixerHandle OpenHandle() const { return m_hMixer; }
  uint32_t VolumeControlId() const { return m_dwVolumeControlID; }
  uint32_t VolumeMin() const { return m_dwVolumeMin; }
  uint32_t VolumeMax() const { return m_dwVolumeMax; }

 private:
  // The slider moved (by the user): write its position.
  void OnSliderValueChanged(int value);
  // A control of a mixer changed elsewhere.
  void OnMixerControlChange(MixerHandle mixer, uint32_t controlId);
  // Moves the slider without writing the position back to the mixer.
  void MoveSlider(int value);

  QPointer<QSlider> m_slider;
  QPointer<QWidget> m_label;
  std::unique_ptr<Mixer> m_mixer;

  uint32_t m_nMixerDevices = 0;
  MixerHandle m_hMixer = 0;
  uint32_t m_dwVolumeControlID = 0;
  uint32_t m_dwVolumeMin = 0;
  uint32_t m_dwVolumeMax = 0;

  // The volume as last read or written: a change notification that leaves
  // it as it is (a mute switch) does not move the slider.
  uint32_t m_lastVolume = 0;
  bool m_haveLastVolume = false;
  // True while the program itself moves the slider.
  bool m_movingSlider = false;
};

}  // namespace zorva
