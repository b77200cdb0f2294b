#include "platform/quit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

namespace zorva {

namespace {

const QEvent::Type kQuitEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class QuitEvent : public QEvent {
 public:
  explicit QuitEvent(int code) : QEvent(kQuitEventType), m_code(code) {}
  int Code() const { return m_code; }

 private:
  int m_code;
};

int g_handledQuitCode = -1;

class QuitReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != kQuitEventType) return QObject::event(e);
    g_handledQuitCode = static_cast<QuitEvent*>(e)->Code();
    QCoreApplication::exit(g_handledQuitCode);
    return true;
  }
};

// Takes quit events out of the stream while a pump runs. A handler the pump
// dispatches may open a modal loop of its own; a quit arriving inside that
// loop is left to end it (and the program), as it would be without the pump.
class QuitTaker : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != kQuitEventType) return false;
    if (QThread::currentThread()->loopLevel() != m_loopLevel) return false;
    if (m_code < 0) m_code = static_cast<QuitEvent*>(e)->Code();
    return true;
  }
  int m_code = -1;
  int m_loopLevel = QThread::currentThread()->loopLevel();
};

QuitReceiver* Receiver() {
  static QuitReceiver* receiver = new QuitReceiver;
  return receiver;
}

}  // namespace

void PostQuitMessage(int exitCode) {
  QCoreApplication::postEvent(Receiver(), new QuitEvent(exitCode));
}

int HandledQuitCode() { return g_handledQuitCode; }

void ResetHandledQuitCode() { g_handledQuitCode = -1; }

bool QtMessagePump::PumpMessages() {
  QuitTaker taker;
  Receiver()->installEventFilter(&taker);
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  Receiver()->removeEventFilter(&taker);
  if (taker.m_code < 0) return true;
  if (m_takenQuitCode < 0) m_takenQuitCode = taker.m_code;
  return false;
}

void QtMessagePump::Idle(uint32_t ms) { QThread::msleep(ms); }

void QtMessagePump::EndOfPumping() {
  if (m_takenQuitCode < 0) return;
  int code = m_takenQuitCode;
  m_takenQuitCode = -1;
  PostQuitMessage(code);
}

int QtMessagePump::LoopLevel() const { return QThread::currentThread()->loopLevel(); }

void InstallQtMessagePump() {
  static QtMessagePump pump;
  Receiver();
  InstallMessagePump(&pump);
}

}  // namespace zorva
