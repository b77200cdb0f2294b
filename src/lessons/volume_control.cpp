#include "lessons/volume_control.h"

#include <QSlider>
#include <QWidget>

namespace zorva {

VolumeControl::VolumeControl(QSlider* slider, QWidget* label, std::unique_ptr<Mixer> mixer,
                             QObject* parent)
    : QObject(parent), m_slider(slider), m_label(label), m_mixer(std::move(mixer)) {
  if (m_mixer) m_mixer->SetChangeHandler([this] { OnMixerControlChange(); });
  if (m_slider) {
    connect(m_slider, &QSlider::valueChanged, this, &VolumeControl::OnSliderValueChanged);
  }
}

VolumeControl::~VolumeControl() {
  if (m_mixer) m_mixer->SetChangeHandler({});
}

void VolumeControl::SetUp() {
  if (!m_slider) return;
  const std::optional<MixerRange> range = m_mixer ? m_mixer->Open() : std::nullopt;
  if (!range) {
    m_slider->setEnabled(false);
    return;
  }
  m_open = true;
  m_dwVolumeMin = range->minimum;
  m_dwVolumeMax = range->maximum;
  // The trackbar's own steps: a fifth of the range a page, one unit a line.
  const int minimum = static_cast<int>(m_dwVolumeMin);
  const int maximum = static_cast<int>(m_dwVolumeMax);
  m_movingSlider = true;
  m_slider->setMinimum(minimum);
  m_slider->setMaximum(maximum);
  m_slider->setPageStep((maximum - minimum) / 5);
  m_slider->setSingleStep(1);
  m_movingSlider = false;
  uint32_t volume = 0;
  if (GetVolume(volume)) MoveSlider(static_cast<int>(volume));
}

bool VolumeControl::GetVolume(uint32_t& volume) {
  if (!m_open) return false;
  const std::optional<uint32_t> value = m_mixer->Read();
  if (!value) return false;
  volume = *value;
  return true;
}

bool VolumeControl::SetVolume(uint32_t volume) { return m_open && m_mixer->Write(volume); }

void VolumeControl::OnSliderValueChanged(int value) {
  if (m_movingSlider || value < 0) return;
  SetVolume(static_cast<uint32_t>(value));  // a failed write changes nothing
}

// The notification is checked against what the mixer now reports, not
// against what was last written: a mute flipped elsewhere reports the volume
// the slider already shows and leaves it there, while a slider left on a
// value the mixer did not take comes back to the mixer's volume.
void VolumeControl::OnMixerControlChange() {
  uint32_t volume = 0;
  if (!m_slider || !GetVolume(volume)) return;
  if (m_slider->value() == static_cast<int>(volume)) return;
  MoveSlider(static_cast<int>(volume));
}

void VolumeControl::MoveSlider(int value) {
  if (!m_slider) return;
  m_movingSlider = true;
  m_slider->setValue(value);
  m_movingSlider = false;
}

}  // namespace zorva
