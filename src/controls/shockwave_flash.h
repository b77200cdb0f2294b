#pragma once

#include <QWidget>

#include <memory>

#include "controls/movie_player.h"

namespace zorva {

// The lesson window's movie player control: a widget offering the six
// operations of a movie player and forwarding them to a backend. The default
// backend plays movies for real in a web view; the headless timeline backend
// stands in where the web engine cannot start or ZORVA_PLAYER=timeline is
// set. Only layer 0 is used.
class CShockwaveflash1 : public QWidget, public MoviePlayer {
  Q_OBJECT

 public:
  // Chooses the backend as described above.
  explicit CShockwaveflash1(QWidget* parent = nullptr);
  // Uses the given backend (tests).
  CShockwaveflash1(std::unique_ptr<MoviePlayer> backend, QWidget* parent);
  ~CShockwaveflash1() override;

  void LoadMovie(int layer, const Text& url) override;
  void Play() override;
  void StopPlay() override;
  bool IsPlaying() override;
  int TotalFrames() override;
  int CurrentFrame() override;
  void NextMovies(const std::vector<Text>& urls) override;

  MoviePlayer* Backend() const { return m_backend.get(); }

 private:
  std::unique_ptr<MoviePlayer> m_backend;
};

}  // namespace zorva
