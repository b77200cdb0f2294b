#pragma once

#include <QDialog>

#include <memory>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/entry_table.h"
#include "lessons/lesson_playback.h"
#include "platform/interval_timer.h"

class QCheckBox;
class QPushButton;
class QSlider;
class QTreeWidgetItem;

namespace Ui {
class lesson_form;
}

namespace zorva {

class CShockwaveflash1;
class CatalogueSearch;
class CatalogueTree;
class FullScreenPlayer;
class RightPressAsLeft;
class VolumeControl;

// The lesson window: the catalogue tree, the movie player that fills the
// window beneath it, and the button row across the top. The main frame
// creates it after the sign-in and it stays until the frame closes: the
// close box, Enter and Esc do nothing. The catalogue building and the
// resolution of a selection live in lessons/catalogue.h, the playback in
// lessons/lesson_playback.h; the window shows what they decide.
class lesson_form : public QDialog, private CatalogueView, private PlaybackView {
  Q_OBJECT

 public:
  // The object alone; Create makes the window. Playback ticks on timer, or
  // on a Qt timer when none is given.
  explicit lesson_form(std::unique_ptr<IntervalTimer> timer = {});
  ~lesson_form() override;

  // Creates the window from its template as a popup owned by parent, centred
  // on the screen, and initialises it: the window shown, playback state
  // reset, "自动播放下一课程" ticked, the tree's background, the catalogue
  // (under its loading title, on screen), the volume. Lessons come from the
  // server base address for the signed-in user of this moment. False when
  // the window could not be created.
  virtual bool Create(QWidget* parent);

  // Stops the playback timer, fetches the catalogue and rebuilds the tree
  // and the entry table.
  void LoadCatalogue(CatalogueLookup lookup = CatalogueLookup::Indexed);

  // The entry table row of the tree's caret item, or -1 after telling the
  // user why there is none.
  int ResolveSelectedItem();

  // Shows or hides the button row: "播放", "应用列表", "下一页", "暂停",
  // "上一页", "音量", the volume slider, "自动播放下一课程" and the row's frame.
  void ShowButtonRow(bool show);

  Text Title() const;
  void SetTitle(const Text& title) override;

  CShockwaveflash1* Player() const;
  CatalogueTree* Tree() const;
  const EntryTable& Entries() const { return m_entries; }
  QCheckBox* AutoNextBox() const;
  QPushButton* PlayButton() const;
  QPushButton* PrevPageButton() const;
  QPushButton* NextPageButton() const;
  QPushButton* PauseButton() const;
  QPushButton* AppListButton() const;
  QPushButton* CloseButton() const;
  QSlider* VolumeSlider() const;
  // Lesson playback and program items, driven by "播放", timer 1, the page
  // buttons and "暂停"; null before Create.
  LessonPlayback* Playback() const { return m_playback.get(); }
  // The nine controls of the button row, in ShowButtonRow's order.
  QList<QWidget*> ButtonRow() const;
  // The search above the tree (Ctrl+F, or typing in the tree) and the
  // full-screen player (F11); the window's keys drive both.
  CatalogueSearch* Search() const { return m_search; }
  FullScreenPlayer* FullScreen() const { return m_fullScreen; }

 signals:
  // "播放" resolved the selection to this entry table row.
  void playRequested(int row);

 public slots:
  // Enter and Esc end nothing here.
  void accept() override {}
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // CatalogueView
  void DeleteAllTreeItems() override;
  void AddLevel1Item(const Text& text) override;
  void AddLevel2Item(const Text& text) override;
  void AddLevel3Item(const Text& text, int row) override;

  // PlaybackView
  QPoint CursorPosition() const override;
  bool AutoNextChecked() const override;
  void HideTreeAndPageStore() override;
  void ShowBlankPage() override;
  void SetPauseButtonText(const Text& text) override;
  QWidget* MessageOwner() override { return this; }

  void OnInitDialog();
  void OnCloseButton();
  void OnAppList();
  void OnPlay();
  void ExpandCaretItem();
  // The volume slider on the system mixer.
  void SetUpVolume();

  std::unique_ptr<Ui::lesson_form> m_ui;
  RightPressAsLeft* m_rightPressAsLeft = nullptr;
  CatalogueSearch* m_search = nullptr;
  FullScreenPlayer* m_fullScreen = nullptr;
  VolumeControl* m_volume = nullptr;
  EntryTable m_entries;
  std::unique_ptr<IntervalTimer> m_timer;  // until Create hands it to playback
  std::unique_ptr<LessonPlayback> m_playback;
  QTreeWidgetItem* m_level1 = nullptr;
  QTreeWidgetItem* m_level2 = nullptr;
};

}  // namespace zorva
