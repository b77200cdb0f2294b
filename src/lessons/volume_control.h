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

  // Opens the mixer and puts the slider on its volume:
  // - no mixer, or one without a usable volume: the slider is disabled, the
  //   label stays enabled, and nothing reaches the mixer;
  // - otherwise the range becomes the volume's bounds, then the position its
  //   current value (kept when the value cannot be read).
  void SetUp();

 private:
  // Reads the volume; false (and `volume` untouched) when nothing can be read.
  bool GetVolume(uint32_t& volume);
  // Writes the volume; false when nothing was written.
  bool SetVolume(uint32_t volume);
  // The slider moved (by the user): write its position.
  void OnSliderValueChanged(int value);
  // The volume changed elsewhere.
  void OnMixerControlChange();
  // Moves the slider without writing the position back to the mixer.
  void MoveSlider(int value);

  QPointer<QSlider> m_slider;
  QPointer<QWidget> m_label;
  std::unique_ptr<Mixer> m_mixer;
  // Whether the mixer opened with a volume: only then is it read or written.
  bool m_open = false;

  uint32_t m_dwVolumeMin = 0;
  uint32_t m_dwVolumeMax = 0;

  // True while the program itself moves the slider.
  bool m_movingSlider = false;
};

}  // namespace zorva
