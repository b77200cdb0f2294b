#include "platform/interval_timer.h"

#include <QTimer>

namespace zorva {

namespace {

class QtIntervalTimer : public IntervalTimer {
 public:
  QtIntervalTimer() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      if (m_handler) m_handler();
    });
  }

  void Start(int periodMs, Handler handler) override {
    m_handler = std::move(handler);
    m_timer.start(periodMs);
  }
  void Stop() override { m_timer.stop(); }
  bool IsActive() const override { return m_timer.isActive(); }

 private:
  QTimer m_timer;
  Handler m_handler;
};

}  // namespace

std::unique_ptr<IntervalTimer> MakeQtIntervalTimer() { return std::make_unique<QtIntervalTimer>(); }

}  // namespace zorva
