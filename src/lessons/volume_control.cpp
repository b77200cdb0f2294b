#include "lessons/volume_control.h"

#include <QSlider>
#include <QWidget>
#include <algorithm>

namespace zorva {

VolumeControl::VolumeControl(QSlider* slider, QWidget* label, std::unique_ptr<Mixer> mixer,
                             QObject* parent)
    : QObject(parent), m_slider(slider), m_label(label), m_mixer(std::move(mixer)) {
  if (m_mixer) {
    m_mixer->SetChangeHandler([this](MixerHandle handle, uint32_t controlId) {
      OnMixerControlChange(handle, controlId);
    });
  }
  if (m_slider) {
    connect(m_slider, &QSlider::valueChanged, this, &VolumeControl::OnSliderValueChanged);
  }
}

VolumeControl::~VolumeControl() {
  if (m_mixer) {
    m_mixer->SetChangeHandler({});
    m_mixer->Close();
  }
}

void VolumeControl::SetUp() {
  if (!m_slider) return;
  if (!OpenMixer()) return;
  if (!FindVolumeControl()) {
    m_slider->setEnabled(false);
    return;
  }
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
  if (GetVolume(volume)) {
    m_lastVolume = volume;
    m_haveLastVolume = true;
    MoveSlider(static_cast<int>(volume));
  }
}

bool VolumeControl::OpenMixer() {
  m_nMixerDevices = m_mixer ? m_mixer->DeviceCount() : 0;
  if (m_hMixer != 0) m_mixer->Close();
  m_hMixer = 0;
  m_dwVolumeMin = 0;
  m_dwVolumeMax = 0;
  m_dwVolumeControlID = 0;
  m_haveLastVolume = false;
  if (m_nMixerDevices == 0) return true;

  MixerHandle handle = m_mixer->Open();
  if (handle == 0) return false;
  if (!m_mixer->QueryCapabilities()) {
    // The device is unusable: hold nothing, so neither the slider nor a
    // notification reaches it.
    m_mixer->Close();
    return false;
  }
  m_hMixer = handle;
  return true;
}

bool VolumeControl::FindVolumeControl() {
  if (m_hMixer == 0) return false;
  std::optional<MixerVolumeControl> control = m_mixer->FindSpeakersVolume();
  if (!control) return false;
  m_dwVolumeControlID = control->id;
  m_dwVolumeMin = control->minimum;
  m_dwVolumeMax = control->maximum;
  return true;
}

bool VolumeControl::GetVolume(uint32_t& volume) {
  if (m_hMixer == 0) return false;
  std::optional<uint32_t> value = m_mixer->GetValue(m_dwVolumeControlID);
  if (!value) return false;
  volume = *value;
  return true;
}

bool VolumeControl::SetVolume(uint32_t volume) {
  if (m_hMixer == 0) return false;
  if (!m_mixer->SetValue(m_dwVolumeControlID, volume)) return false;
  // The mixer does not report our own writes back.
  m_lastVolume = std::clamp(volume, m_dwVolumeMin, m_dwVolumeMax);
  m_haveLastVolume = true;
  return true;
}

void VolumeControl::OnSliderValueChanged(int value) {
  if (m_movingSlider || value < 0) return;
  SetVolume(static_cast<uint32_t>(value));  // a failed write changes nothing
}

void VolumeControl::OnMixerControlChange(MixerHandle mixer, uint32_t controlId) {
  if (mixer != m_hMixer || m_hMixer == 0 || controlId != m_dwVolumeControlID) return;
  uint32_t volume = 0;
  if (!GetVolume(volume)) return;
  if (m_haveLastVolume && volume == m_lastVolume) return;
  m_lastVolume = volume;
  m_haveLastVolume = true;
  MoveSlider(static_cast<int>(volume));
}

void VolumeControl::MoveSlider(int value) {
  if (!m_slider) return;
  m_movingSlider = true;
  m_slider->setValue(value);
  m_movingSlider = false;
}

}  // namespace zorva
