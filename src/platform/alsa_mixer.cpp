#include "platform/alsa_mixer.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcMixer, "zorva.mixer")

namespace zorva {
namespace {

// ALSA prints its own errors to stderr; ours go to the log instead.
void SilentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(SilentAlsaErrors); });
}

// The operations whose failures are logged; each is logged once until it
// works again, so a drag over a broken mixer does not flood the log.
enum Operation : unsigned {
  kProbe = 1u << 0,
  kOpen = 1u << 1,
  kCapabilities = 1u << 2,
  kFind = 1u << 3,
  kRead = 1u << 4,
  kWrite = 1u << 5,
  kEvents = 1u << 6,
};

// The speakers' volume: the first of these that has a playback volume.
constexpr const char* kSpeakersVolumeNames[] = {"Master", "PCM"};

class AlsaMixer final : public Mixer {
 public:
  explicit AlsaMixer(std::string device) : m_device(std::move(device)) { SilenceAlsa(); }
  ~AlsaMixer() override { Close(); }

  uint32_t DeviceCount() override {
    // A device that cannot be attached is not there: with no sound server and
    // no card "default" answers ENOENT, a made-up name the same.
    snd_mixer_t* probe = nullptr;
    int err = snd_mixer_open(&probe, 0);
    if (err == 0) err = snd_mixer_attach(probe, m_device.c_str());
    if (probe) snd_mixer_close(probe);
    if (err < 0) {
      LogFailure(kProbe, "no such mixer device", err);
      return 0;
    }
    Succeeded(kProbe);
    return 1;
  }

  MixerHandle Open() override {
    Close();
    snd_mixer_t* mixer = nullptr;
    int err = snd_mixer_open(&mixer, 0);
    if (err == 0) err = snd_mixer_attach(mixer, m_device.c_str());
    if (err == 0) err = snd_mixer_selem_register(mixer, nullptr, nullptr);
    if (err == 0) {
      // Set before loading, so every element gets an identifier as it is added.
      snd_mixer_set_callback(mixer, &AlsaMixer::MixerEvent);
      snd_mixer_set_callback_private(mixer, this);
      err = snd_mixer_load(mixer);
    }
    if (err < 0) {
      if (mixer) snd_mixer_close(mixer);
      m_elements.clear();
      LogFailure(kOpen, "cannot open", err);
      return 0;
    }
    m_mixer = mixer;
    m_lost = false;
    if (!WatchEvents()) {
      Close();
      return 0;
    }
    Succeeded(kOpen);
    return Handle();
  }

  bool QueryCapabilities() override {
    if (!Usable()) return false;
    // The device's card information is what it says about itself.
    snd_hctl_t* hctl = nullptr;
    int err = snd_mixer_get_hctl(m_mixer, m_device.c_str(), &hctl);
    snd_ctl_card_info_t* info = nullptr;
    if (err == 0) err = snd_ctl_card_info_malloc(&info);
    if (err == 0) err = snd_ctl_card_info(snd_hctl_ctl(hctl), info);
    if (info) snd_ctl_card_info_free(info);
    if (err < 0) {
      LogFailure(kCapabilities, "cannot read the device's capabilities", err);
      return false;
    }
    Succeeded(kCapabilities);
    return true;
  }

  std::optional<MixerVolumeControl> FindSpeakersVolume() override {
    if (!Usable()) return std::nullopt;
    for (const char* name : kSpeakersVolumeNames) {
      snd_mixer_selem_id_t* sid = nullptr;
      snd_mixer_selem_id_alloca(&sid);
      snd_mixer_selem_id_set_name(sid, name);
      snd_mixer_selem_id_set_index(sid, 0);
      snd_mixer_elem_t* elem = snd_mixer_find_selem(m_mixer, sid);
      if (!elem || !snd_mixer_selem_has_playback_volume(elem)) continue;
      long minimum = 0;
      long maximum = 0;
      int err = snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
      if (err < 0) {
        LogFailure(kFind, "cannot read the volume range", err);
        return std::nullopt;
      }
      // The slider holds the control's own units: they must fit an int.
      if (minimum < 0 || maximum < minimum || maximum > std::numeric_limits<int>::max()) {
        LogLine(kFind, QStringLiteral("volume range %1 ... %2 of \"%3\" is not usable")
                           .arg(minimum)
                           .arg(maximum)
                           .arg(QString::fromUtf8(name)));
        return std::nullopt;
      }
      Succeeded(kFind);
      return MixerVolumeControl{IdOf(elem), static_cast<uint32_t>(minimum),
                                static_cast<uint32_t>(maximum)};
    }
    LogLine(kFind, QStringLiteral("no \"Master\" or \"PCM\" playback volume"));
    return std::nullopt;
  }

  std::optional<uint32_t> GetValue(uint32_t controlId) override {
    snd_mixer_elem_t* elem = VolumeElement(controlId);
    if (!elem) return std::nullopt;
    long minimum = 0;
    long maximum = 0;
    int err = snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
    // Channels can differ (a balance set elsewhere): the reading is the highest.
    bool any = false;
    long highest = 0;
    for (int c = 0; err == 0 && c <= SND_MIXER_SCHN_LAST; ++c) {
      auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
      if (!snd_mixer_selem_has_playback_channel(elem, channel)) continue;
      long value = 0;
      err = snd_mixer_selem_get_playback_volume(elem, channel, &value);
      if (err == 0 && (!any || value > highest)) highest = value;
      any = any || err == 0;
    }
    if (err == 0 && !any) err = -ENOENT;
    if (err < 0) {
      LogFailure(kRead, "cannot read the volume", err);
      return std::nullopt;
    }
    Succeeded(kRead);
    // A sound server reports more than the maximum for a volume over 100%.
    return static_cast<uint32_t>(std::clamp(highest, minimum, maximum));
  }

  bool SetValue(uint32_t controlId, uint32_t value) override {
    snd_mixer_elem_t* elem = VolumeElement(controlId);
    if (!elem) return false;
    long minimum = 0;
    long maximum = 0;
    int err = snd_mixer_selem_get_playback_volume_range(elem, &minimum, &maximum);
    // A sound server silently ignores a write above the maximum.
    if (err == 0) {
      long clamped = std::clamp(static_cast<long>(value), minimum, maximum);
      err = snd_mixer_selem_set_playback_volume_all(elem, clamped);
    }
    if (err < 0) {
      LogFailure(kWrite, "cannot write the volume", err);
      return false;
    }
    Succeeded(kWrite);
    return true;
  }

  void Close() override {
    m_notifiers.clear();
    m_elements.clear();
    m_pending.clear();
    if (m_mixer) snd_mixer_close(m_mixer);
    m_mixer = nullptr;
    m_lost = false;
  }

 private:
  MixerHandle Handle() const { return reinterpret_cast<MixerHandle>(m_mixer); }
  bool Usable() const { return m_mixer && !m_lost; }

  snd_mixer_elem_t* VolumeElement(uint32_t controlId) const {
    if (!Usable()) return nullptr;
    auto found = m_elements.find(controlId);
    if (found == m_elements.end() || !snd_mixer_selem_has_playback_volume(found->second))
      return nullptr;
    return found->second;
  }

  uint32_t IdOf(snd_mixer_elem_t* elem) const {
    for (const auto& [id, e] : m_elements)
      if (e == elem) return id;
    return 0;
  }

  // Elements get identifiers from 1 in the order the device adds them.
  static int MixerEvent(snd_mixer_t* mixer, unsigned int mask, snd_mixer_elem_t* elem) {
    auto* self = static_cast<AlsaMixer*>(snd_mixer_get_callback_private(mixer));
    if (self && (mask & SND_CTL_EVENT_MASK_ADD)) {
      uint32_t id = ++self->m_lastId;
      self->m_elements[id] = elem;
      snd_mixer_elem_set_callback(elem, &AlsaMixer::ElementEvent);
      snd_mixer_elem_set_callback_private(elem, self);
    }
    return 0;
  }

  static int ElementEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    auto* self = static_cast<AlsaMixer*>(snd_mixer_elem_get_callback_private(elem));
    if (!self) return 0;
    uint32_t id = self->IdOf(elem);
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
      self->m_elements.erase(id);
    } else if ((mask & SND_CTL_EVENT_MASK_VALUE) && id != 0) {
      self->m_pending.push_back(id);
    }
    return 0;
  }

  bool WatchEvents() {
    int count = snd_mixer_poll_descriptors_count(m_mixer);
    std::vector<pollfd> fds(static_cast<size_t>(std::max(count, 0)));
    int err = count < 0 ? count : snd_mixer_poll_descriptors(m_mixer, fds.data(), count);
    if (err < 0) {
      LogFailure(kOpen, "cannot watch for changes", err);
      return false;
    }
    for (const pollfd& fd : fds) {
      if (fd.events & POLLIN) AddNotifier(fd.fd, QSocketNotifier::Read);
      if (fd.events & POLLOUT) AddNotifier(fd.fd, QSocketNotifier::Write);
    }
    return true;
  }

  void AddNotifier(int fd, QSocketNotifier::Type type) {
    auto notifier = std::make_unique<QSocketNotifier>(fd, type);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [this] { HandleEvents(); });
    m_notifiers.push_back(std::move(notifier));
  }

  // A wake-up on a poll descriptor: let ALSA read its events, then report the
  // changed controls. A device that has gone away (the sound server stopped)
  // is no longer watched, read or written; nothing else changes.
  void HandleEvents() {
    if (!Usable()) return;
    int count = snd_mixer_poll_descriptors_count(m_mixer);
    std::vector<pollfd> fds(static_cast<size_t>(std::max(count, 0)));
    int err = count < 0 ? count : snd_mixer_poll_descriptors(m_mixer, fds.data(), count);
    unsigned short revents = 0;
    if (err >= 0 && poll(fds.data(), fds.size(), 0) < 0) err = -errno;
    if (err >= 0) err = snd_mixer_poll_descriptors_revents(m_mixer, fds.data(), count, &revents);
    if (err >= 0 && (revents & (POLLERR | POLLHUP | POLLNVAL))) err = -EIO;
    if (err >= 0 && (revents & POLLIN)) err = snd_mixer_handle_events(m_mixer);
    if (err < 0) {
      LogFailure(kEvents, "the device went away", err);
      m_lost = true;
      m_pending.clear();
      // Deleted later: this runs inside one of their signals.
      for (auto& notifier : m_notifiers) notifier.release()->deleteLater();
      m_notifiers.clear();
      return;
    }
    Succeeded(kEvents);
    std::vector<uint32_t> changed;
    changed.swap(m_pending);
    MixerHandle handle = Handle();
    for (uint32_t id : changed) NotifyChange(handle, id);
  }

  void LogFailure(Operation op, const char* what, int err) {
    LogLine(op, QStringLiteral("%1 (%2)").arg(QString::fromUtf8(what),
                                              QString::fromLocal8Bit(snd_strerror(err))));
  }

  void LogLine(Operation op, const QString& line) {
    if (m_logged & op) return;
    m_logged |= op;
    qCWarning(lcMixer).noquote()
        << QStringLiteral("mixer \"%1\": %2").arg(QString::fromStdString(m_device), line);
  }

  void Succeeded(Operation op) { m_logged &= ~static_cast<unsigned>(op); }

  std::string m_device;
  snd_mixer_t* m_mixer = nullptr;
  bool m_lost = false;
  uint32_t m_lastId = 0;
  std::map<uint32_t, snd_mixer_elem_t*> m_elements;
  std::vector<uint32_t> m_pending;
  std::vector<std::unique_ptr<QSocketNotifier>> m_notifiers;
  unsigned m_logged = 0;
};

}  // namespace

std::unique_ptr<Mixer> CreateAlsaMixer(const std::string& device) {
  return std::make_unique<AlsaMixer>(device);
}

std::unique_ptr<Mixer> CreateSystemMixer() {
  const char* device = std::getenv("ZORVA_MIXER_DEVICE");
  return CreateAlsaMixer(device && *device ? device : "default");
}

}  // namespace zorva
