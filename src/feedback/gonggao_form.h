#pragma once

#include <QDialog>

class QRect;
class QWebEngineView;

namespace zorva {

class AnnouncementPage;

// The announcement window: a small window showing the service's page
// "/gonggao.htm". It shows a grey placeholder page until the server's page
// arrives. Cancel (the close box, Esc, or a click on "ButtonCancel" in the
// page) only hides it; the window that owns it deletes it.
class gonggao_form : public QDialog {
  Q_OBJECT

 public:
  explicit gonggao_form(QWidget* parent = nullptr);
  ~gonggao_form() override;

  // Puts the window's inside at `place` and fixes its size there: the server's page
  // is laid out for the window and has no scroll bars, so the user cannot
  // resize it.
  void Place(const QRect& place);

  QWebEngineView* View() const { return m_view; }
  AnnouncementPage* Page() const { return m_page; }

  // The page shown until the server's page arrives.
  static QString PlaceholderHtml();

 private:
  void NavigateToServerPage();

  QWebEngineView* m_view;
  AnnouncementPage* m_page;
};

}  // namespace zorva
