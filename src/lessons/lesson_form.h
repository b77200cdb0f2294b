#pragma once

#include <QDialog>

#include <memory>

#include "core/text.h"
#include "lessons/catalogue.h"
#include "lessons/entry_table.h"
#include "lessons/page_table.h"
#include "lessons/playback_state.h"

class QCheckBox;
class QPushButton;
class QSlider;
class QTreeWidgetItem;

namespace Ui {
class lesson_form;
}

namespace zorva {

class CShockwaveflash1;
class CatalogueTree;
class LessonFormPlayback;
class RightPressAsLeft;
class VolumeControl;

// The lesson window: the catalogue tree, the movie player that fills the
// window beneath it, and the button row across the top. The main frame
// creates it after the sign-in and it stays until the frame closes: the
// close box, Enter and Esc do nothing. The catalogue building and the
// resolution of a selection live in lessons/catalogue.h; playback drives
// the window through the accessors below.
class lesson_form : public QDialog, private CatalogueView {
  Q_OBJECT

 public:
  // The object alone; Create makes the window.
  lesson_form();
  ~lesson_form() override;

  // Creates the window from its template as a popup owned by parent, centred
  // on the screen, and initialises it: playback state reset, "自动播放下一课程"
  // ticked, the tree's background, the catalogue, the volume. The caller
  // shows it. False when the window could not be created.
  virtual bool Create(QWidget* parent);

  // Fetches the catalogue and rebuilds the tree and the entry table.
  void LoadCatalogue(CatalogueLookup lookup = CatalogueLookup::Indexed);

  // The entry table row of the tree's caret item, or -1 after telling the
  // user why there is none.
  int ResolveSelectedItem();

  // Shows or hides the button row: "播放", "应用列表", "下一页", "暂停",
  // "上一页", "音量", the volume slider, "自动播放下一课程" and the row's frame.
  void ShowButtonRow(bool show);

  Text Title() const;
  void SetTitle(const Text& title) override;

  // Timer 1, the playback tick (1000 ms); starting it again restarts it.
  void StartPlaybackTimer();
  void StopPlaybackTimer() override;
  bool IsPlaybackTimerRunning() const { return m_playbackTimer != 0; }

  CShockwaveflash1* Player() const;
  CatalogueTree* Tree() const;
  EntryTable& Entries() { return m_entries; }
  const EntryTable& Entries() const { return m_entries; }
  PageTable& Pages() { return m_pages; }
  PlaybackState& State() { return m_state; }
  QCheckBox* AutoNextBox() const;
  QPushButton* PlayButton() const;
  QPushButton* PrevPageButton() const;
  QPushButton* NextPageButton() const;
  QPushButton* PauseButton() const;
  QPushButton* AppListButton() const;
  QPushButton* CloseButton() const;
  QSlider* VolumeSlider() const;
  // Lesson playback and program items, driven by "播放", timer 1, the page
  // buttons and "暂停".
  LessonFormPlayback* Playback() const { return m_playback; }
  // The nine controls of the button row, in ShowButtonRow's order.
  QList<QWidget*> ButtonRow() const;

 signals:
  // "播放" resolved the selection to this entry table row.
  void playRequested(int row);
  // A tick of timer 1.
  void playbackTick();

 public slots:
  // Enter and Esc end nothing here.
  void accept() override {}
  void reject() override {}

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  // CatalogueView
  void DeleteAllTreeItems() override;
  void AddLevel1Item(const Text& text) override;
  void AddLevel2Item(const Text& text) override;
  void AddLevel3Item(const Text& text) override;

  void OnInitDialog();
  void OnCloseButton();
  void OnAppList();
  void OnPlay();
  void ExpandCaretItem();
  // The volume slider on the system mixer.
  void SetUpVolume();

  std::unique_ptr<Ui::lesson_form> m_ui;
  RightPressAsLeft* m_rightPressAsLeft = nullptr;
  LessonFormPlayback* m_playback = nullptr;
  VolumeControl* m_volume = nullptr;
  EntryTable m_entries;
  PageTable m_pages;
  PlaybackState m_state;
  int m_playbackTimer = 0;
  QTreeWidgetItem* m_level1 = nullptr;
  QTreeWidgetItem* m_level2 = nullptr;
};

}  // namespace zorva
