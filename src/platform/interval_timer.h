#pragma once

#include <functional>
#include <memory>

namespace zorva {

// A window's repeating timer: after Start it calls its handler every period
// until Stop. Windows take one through their constructor so that a test can
// hand in a timer it fires itself instead of waiting for the clock.
class IntervalTimer {
 public:
  using Handler = std::function<void()>;

  virtual ~IntervalTimer() = default;

  // Starts (or restarts) the timer; the handler runs on the window's thread.
  virtual void Start(int periodMs, Handler handler) = 0;
  virtual void Stop() = 0;
  virtual bool IsActive() const = 0;
};

// The real timer, on the Qt event loop.
std::unique_ptr<IntervalTimer> MakeQtIntervalTimer();

// A timer that only fires when told to, for tests.
class ManualIntervalTimer : public IntervalTimer {
 public:
  void Start(int periodMs, Handler handler) override {
    m_periodMs = periodMs;
    m_handler = std::move(handler);
    m_active = true;
  }
  void Stop() override { m_active = false; }
  bool IsActive() const override { return m_active; }

  // One period has passed: runs the handler if the timer is running.
  // Returns whether it ran.
  bool Fire() {
    if (!m_active || !m_handler) return false;
    Handler handler = m_handler;  // the handler may stop or restart the timer
    handler();
    return true;
  }
  int PeriodMs() const { return m_periodMs; }

 private:
  Handler m_handler;
  int m_periodMs = 0;
  bool m_active = false;
};

}  // namespace zorva
