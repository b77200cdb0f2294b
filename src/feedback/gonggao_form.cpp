#include "feedback/gonggao_form.h"

#include <QFile>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "feedback/announcement_page.h"
#include "net/service_requests.h"
#include "platform/dialog_units.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"

namespace zorva {

gonggao_form::gonggao_form(QWidget* parent)
    : QDialog(parent), m_view(new QWebEngineView(this)), m_page(new AnnouncementPage(m_view)) {
  setWindowTitle(QStringLiteral("Dialog"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(DluSize(186, 95));

  // The browser fills the window edge to edge, without a border of its own.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(m_view);
  m_view->setPage(m_page);

  connect(m_page, &AnnouncementPage::cancelRequested, this, &gonggao_form::reject);

  // The placeholder first; the server's page follows once it is up, so that
  // the grey page is what shows while the server answers.
  connect(
      m_page, &QWebEnginePage::loadFinished, this, [this] { NavigateToServerPage(); },
      Qt::SingleShotConnection);
  m_page->setHtml(PlaceholderHtml());
}

gonggao_form::~gonggao_form() = default;

void gonggao_form::Place(const QRect& place) {
  setFixedSize(place.size());
  setGeometry(place);
}

QString gonggao_form::PlaceholderHtml() {
  QFile file(QStringLiteral(":/feedback/gonggao_form.htm"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

void gonggao_form::NavigateToServerPage() {
  m_page->load(QUrl(ToQString(requests::Announcement(ServerBaseAddress()))));
}

}  // namespace zorva
