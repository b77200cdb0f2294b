#include "platform/alsa_mixer.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <limits>
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
  kOpen = 1u << 0,
  kFind = 1u << 1,
  kRead = 1u << 2,
  kWrite = 1u << 3,
  kEvents = 1u << 4,
};

// The speakers' volume: the first of these that has a playback volume.
constexpr const char* kSpeakersVolumeNames[] = {"Master", "PCM"};

class AlsaMixer final : public Mixer {
 public:
  explicit AlsaMixer(std::string device) : m_device(std::move(device)) { SilenceAlsa(); }
  ~AlsaMixer() override { Close(); }

  std::optional<MixerRange> Open() override {
    Close();
    // With no sound server and no card "default" cannot be attached (ENOENT),
    // nor can a made-up name: there is no mixer.
    snd_mixer_t* mixer = nullptr;
    int err = snd_mixer_open(&mixer, 0);
    if (err == 0) err = snd_mixer_attach(mixer, m_device.c_str());
    if (err == 0) err = snd_mixer_selem_register(mixer, nullptr, nullptr);
    if (err == 0) err = snd_mixer_load(mixer);
    if (err < 0) {
      if (mixer) snd_mixer_close(mixer);
      LogFailure(kOpen, "cannot open", err);
      return std::nullopt;
    }
    m_mixer = mixer;
    Succeeded(kOpen);
    std::optional<MixerRange> range = FindSpeakersVolume();
    if (!range || !WatchEvents()) {
      Close();
      return std::nullopt;
    }
    return range;
  }

  std::optional<uint32_t> Read() override {
    if (!Usable()) return std::nullopt;
    long minimum = 0;
    long maximum = 0;
    int err = snd_mixer_selem_get_playback_volume_range(m_volume, &minimum, &maximum);
    // Channels can differ (a balance set elsewhere): the reading is the highest.
    bool any = false;
    long highest = 0;
    for (int c = 0; err == 0 && c <= SND_MIXER_SCHN_LAST; ++c) {
      auto channel = static_cast<snd_mixer_selem_channel_id_t>(c);
      if (!snd_mixer_selem_has_playback_channel(m_volume, channel)) continue;
      long value = 0;
      err = snd_mixer_selem_get_playback_volume(m_volume, channel, &value);
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

  bool Write(uint32_t value) override {
    if (!Usable()) return false;
    long minimum = 0;
    long maximum = 0;
    int err = snd_mixer_selem_get_playback_volume_range(m_volume, &minimum, &maximum);
    // A sound server silently ignores a write above the maximum.
    if (err == 0) {
      long clamped = std::clamp(static_cast<long>(value), minimum, maximum);
      err = snd_mixer_selem_set_playback_volume_all(m_volume, clamped);
    }
    if (err < 0) {
      LogFailure(kWrite, "cannot write the volume", err);
      return false;
    }
    Succeeded(kWrite);
    return true;
  }

 private:
  bool Usable() const { return m_mixer && m_volume && !m_lost; }

  void Close() {
    m_notifiers.clear();
    if (m_mixer) snd_mixer_close(m_mixer);
    m_mixer = nullptr;
    m_volume = nullptr;
    m_changed = false;
    m_lost = false;
  }

  // Chooses the speakers' volume element and listens to it alone: another
  // element of the device changing is no word for the slider.
  std::optional<MixerRange> FindSpeakersVolume() {
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
      m_volume = elem;
      snd_mixer_elem_set_callback(elem, &AlsaMixer::VolumeEvent);
      snd_mixer_elem_set_callback_private(elem, this);
      return MixerRange{static_cast<uint32_t>(minimum), static_cast<uint32_t>(maximum)};
    }
    LogLine(kFind, QStringLiteral("no \"Master\" or \"PCM\" playback volume"));
    return std::nullopt;
  }

  static int VolumeEvent(snd_mixer_elem_t* elem, unsigned int mask) {
    auto* self = static_cast<AlsaMixer*>(snd_mixer_elem_get_callback_private(elem));
    if (!self) return 0;
    if (mask == SND_CTL_EVENT_MASK_REMOVE) {
      self->m_volume = nullptr;
    } else if (mask & SND_CTL_EVENT_MASK_VALUE) {
      self->m_changed = true;
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

  // A wake-up on a poll descriptor: let ALSA read its events, then report a
  // change of the volume. A device that has gone away (the sound server
  // stopped) is no longer watched, read or written; nothing else changes.
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
      m_changed = false;
      // Deleted later: this runs inside one of their signals.
      for (auto& notifier : m_notifiers) notifier.release()->deleteLater();
      m_notifiers.clear();
      return;
    }
    Succeeded(kEvents);
    if (m_changed && m_volume) {
      m_changed = false;
      NotifyChange();
    }
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
  snd_mixer_elem_t* m_volume = nullptr;  // the speakers' volume, owned by m_mixer
  bool m_changed = false;
  bool m_lost = false;
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
