#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>

namespace zorva::bench {

// Starts "zorva-server serve" on a free loopback port; the base address, or
// empty when it did not come up within 20 s.
inline QString StartServer(QProcess& server, const QString& exe, const QString& content,
                           const QString& db) {
  server.setStandardErrorFile(QProcess::nullDevice());
  server.start(exe, {"serve", "--listen", "127.0.0.1:0", "--content", content, "--db", db});
  QString out;
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 20000) {
    server.waitForReadyRead(200);
    out += QString::fromUtf8(server.readAllStandardOutput());
    const qsizetype at = out.indexOf("listening on ");
    if (at >= 0 && out.indexOf('\n', at) > at) {
      return out.mid(at + 13, out.indexOf('\n', at) - at - 13).trimmed();
    }
    if (server.state() == QProcess::NotRunning) break;
  }
  return {};
}

}  // namespace zorva::bench
