#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;

namespace zorva {

// The lesson window's full-screen presentation: the window takes the whole
// screen and the player, which shows its movie with the aspect kept, grows
// as far as its own aspect allows, centred on black, while the catalogue
// tree and its search make way. The button row stays where it is, over the
// movie, and comes and goes by the playback tick as in the window. Nothing
// is recreated: the same movie goes on playing, and the timer and the page
// state do not notice the switch. Leaving puts the window and the player
// back where and as large as they were.
class FullScreenPlayer : public QObject {
  Q_OBJECT

 public:
  // makeWay: widgets hidden while the player is full screen and shown again
  // after, each as it was.
  FullScreenPlayer(QWidget* window, QWidget* player, QList<QWidget*> makeWay);
  ~FullScreenPlayer() override;

  bool IsOn() const { return m_on; }
  void Enter();
  void Leave();
  void Toggle() { m_on ? Leave() : Enter(); }
  // These of the widgets that make way stay hidden when the full screen
  // ends, whatever they were before it (a lesson started meanwhile hid
  // them). Nothing changes when the player is not full screen.
  void KeepHiddenAfterwards(const QList<QWidget*>& widgets);

 signals:
  void switched(bool on);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fit();

  QWidget* m_window;
  QWidget* m_player;
  QWidget* m_backdrop;  // the black around the player
  QList<QWidget*> m_makeWay;
  QList<bool> m_wasVisible;
  bool m_on = false;
  QByteArray m_windowGeometry;
  QRect m_playerGeometry;
  QRect m_fitted;             // the player's place in full screen
  QPointer<QWidget> m_focus;  // where the keyboard was before the switch
};

}  // namespace zorva
