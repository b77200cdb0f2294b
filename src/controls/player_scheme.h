#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

namespace zorva {

// Serves the movie player's page over kPlayerScheme: the page and Ruffle's
// files from the player folder beside the program, qwebchannel.js from Qt's
// resources, and movies handed over in memory under "/movie/ID". Nothing
// else: a name with a folder in it, or not in the folder, is not found.
class PlayerSchemeHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

 public:
  // The handler of the shared profile, installed on first use.
  static PlayerSchemeHandler* Instance();

  // The folder of the player's files: "player" beside the program, or the
  // one the build fills (for tests and benchmarks run from the build tree).
  // Empty when neither holds ruffle.js.
  static QString PlayerDirectory();

  // The page's address, naming the renderer Ruffle should use where the
  // program chooses it.
  static QString PageUrl();

  // Makes bytes available as "/movie/<id>" until removed.
  void AddMovie(int id, QByteArray bytes);
  void RemoveMovie(int id);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  explicit PlayerSchemeHandler(QObject* parent);
  QHash<int, QByteArray> m_movies;
};

}  // namespace zorva
