#include "lessons/lesson_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QSlider>

#include "controls/shockwave_flash.h"
#include "core/cp936.h"
#include "lessons/catalogue_search.h"
#include "lessons/catalogue_tree.h"
#include "lessons/full_screen_player.h"
#include "lessons/lesson_keys.h"
#include "lessons/right_press_as_left.h"
#include "lessons/volume_control.h"
#include "platform/alsa_mixer.h"
#include "platform/dialog_units.h"
#include "platform/interval_timer.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"
#include "platform/window_frame.h"
#include "ui_lesson_form.h"

namespace zorva {

namespace {

const QColor kTreeBackground(239, 201, 239);

// A lesson-level tree item carries the entry table row it was built for;
// the items above it carry none.
constexpr int kEntryRowRole = Qt::UserRole;

QTreeWidgetItem* MakeItem(const Text& text, int row = -1) {
  auto* item = new QTreeWidgetItem(QStringList(ToQString(text)));
  item->setData(0, kEntryRowRole, row);
  return item;
}

}  // namespace

lesson_form::lesson_form(std::unique_ptr<IntervalTimer> timer) : m_timer(std::move(timer)) {}

lesson_form::~lesson_form() = default;

bool lesson_form::Create(QWidget* parent) {
  if (m_ui) return false;
  m_ui = std::make_unique<Ui::lesson_form>();
  m_ui->setupUi(this);
  MapDialogUnits(this);
  // A popup owned by the frame: it stays over the frame and goes with it.
  // Caption, system menu, minimise and maximise boxes; the close box is
  // there but does nothing.
  setParent(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  // The blank page behind the controls.
  QPalette colours = palette();
  colours.setColor(QPalette::Window, Qt::white);
  setPalette(colours);
  setAutoFillBackground(true);
  // The row's frame only frames: clicks go to what lies beneath it.
  m_ui->buttonRowFrame->setAttribute(Qt::WA_TransparentForMouseEvents);
  for (QPushButton* button : {m_ui->btnAppList, m_ui->btnPlay, m_ui->btnPrevPage, m_ui->btnNextPage,
                              m_ui->btnPause, m_ui->btnClose}) {
    // Enter does nothing in this window: no button may become the
    // dialog's default and take it.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFlat(true);
    // A flat button still needs a face of its own over a playing movie.
    button->setAutoFillBackground(true);
  }
  // So do the row's label, slider and check box: their text is drawn in
  // the window's text colour, which a dark movie would swallow.
  for (QWidget* control :
       std::initializer_list<QWidget*>{m_ui->labelVolume, m_ui->volumeSlider, m_ui->chkAutoNext}) {
    control->setAutoFillBackground(true);
  }
  m_rightPressAsLeft = new RightPressAsLeft(this);
  m_search = new CatalogueSearch(m_ui->tree);
  m_fullScreen = new FullScreenPlayer(this, m_ui->flash, {m_ui->tree, m_search->Field()});
  new LessonKeys({this, m_ui->flash, m_ui->tree, m_search->Field(), m_ui->btnPlay,
                  m_ui->btnPrevPage, m_ui->btnNextPage, m_ui->btnPause, m_fullScreen});
  connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
    if (!m_fullScreen->IsOn()) m_search->Open(m_search->Field()->text());
  });

  connect(m_ui->btnClose, &QPushButton::clicked, this, &lesson_form::OnCloseButton);
  connect(m_ui->btnAppList, &QPushButton::clicked, this, &lesson_form::OnAppList);
  connect(m_ui->btnPlay, &QPushButton::clicked, this, &lesson_form::OnPlay);
  connect(m_ui->tree, &CatalogueTree::clickedBeforeSelection, this, &lesson_form::ExpandCaretItem);
  connect(m_ui->tree, &QTreeWidget::currentItemChanged, this, &lesson_form::ExpandCaretItem);
  const SignInValues& user = SignedIn();
  m_playback = std::make_unique<LessonPlayback>(
      static_cast<PlaybackView&>(*this), *m_ui->flash, m_entries,
      LessonSource{ServerBaseAddress(), user.userName, user.password}, std::move(m_timer));
  connect(m_ui->btnPrevPage, &QPushButton::clicked, this, [this] { m_playback->OnPrevPage(); });
  connect(m_ui->btnNextPage, &QPushButton::clicked, this, [this] { m_playback->OnNextPage(); });
  connect(m_ui->btnPause, &QPushButton::clicked, this, [this] { m_playback->OnPauseResume(); });
  connect(this, &lesson_form::playRequested, this, [this](int row) { m_playback->OnPlay(row); });

  OnInitDialog();
  return true;
}

void lesson_form::OnInitDialog() {
  // The window comes first, so the catalogue loads under its own title on
  // screen.
  ShowNow(*this);
  m_ui->chkAutoNext->setChecked(true);
  m_ui->tree->SetBackgroundColor(kTreeBackground);
  LoadCatalogue();
  SetUpVolume();
}

void lesson_form::SetUpVolume() {
  // The slider sets and follows the system mixer for as long as the window
  // lives; the control closes the mixer with the window.
  m_volume = new VolumeControl(m_ui->volumeSlider, m_ui->labelVolume, CreateSystemMixer(), this);
  m_volume->SetUp();
}

void lesson_form::LoadCatalogue(CatalogueLookup lookup) {
  if (m_playback) m_playback->StopTimer();
  zorva::LoadCatalogue(*this, m_entries, lookup);
}

int lesson_form::ResolveSelectedItem() {
  const QTreeWidgetItem* caret = m_ui->tree->currentItem();
  return zorva::ResolveSelectedItem(
      caret ? std::optional<int>(caret->data(0, kEntryRowRole).toInt()) : std::nullopt, m_entries,
      this);
}

QList<QWidget*> lesson_form::ButtonRow() const {
  return {m_ui->btnPlay,      m_ui->btnAppList,  m_ui->btnNextPage,
          m_ui->btnPause,     m_ui->btnPrevPage, m_ui->labelVolume,
          m_ui->volumeSlider, m_ui->chkAutoNext, m_ui->buttonRowFrame};
}

void lesson_form::ShowButtonRow(bool show) {
  for (QWidget* control : ButtonRow()) control->setVisible(show);
}

Text lesson_form::Title() const { return FromQString(windowTitle()); }

void lesson_form::SetTitle(const Text& title) { setWindowTitle(ToQString(title)); }

QPoint lesson_form::CursorPosition() const { return QCursor::pos(); }

bool lesson_form::AutoNextChecked() const { return m_ui->chkAutoNext->isChecked(); }

void lesson_form::HideTreeAndPageStore() {
  // The page table is no control here, so only the tree has to go; in full
  // screen it stays away when the window comes back.
  m_ui->tree->hide();
  m_fullScreen->KeepHiddenAfterwards({m_ui->tree, m_search->Field()});
}

void lesson_form::ShowBlankPage() {
  // The blank page is the window's own white background behind the player;
  // painting it again is all there is to do.
  update();
}

void lesson_form::SetPauseButtonText(const Text& text) { m_ui->btnPause->setText(ToQString(text)); }

void lesson_form::closeEvent(QCloseEvent* event) { event->ignore(); }

void lesson_form::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The player keeps its template size whatever the window's size; it only
  // goes back to the window's corner.
  if (m_ui) m_ui->flash->move(0, 0);
}

void lesson_form::OnCloseButton() {
  m_playback->StopTimer();
  hide();
  // The frame holds a guarded reference that clears itself; the object
  // goes once the handler that pressed the button has returned.
  deleteLater();
}

void lesson_form::OnAppList() { m_ui->tree->setVisible(!m_ui->tree->isVisible()); }

void lesson_form::OnPlay() {
  const int row = ResolveSelectedItem();
  if (row >= 0) emit playRequested(row);
}

void lesson_form::ExpandCaretItem() {
  if (QTreeWidgetItem* caret = m_ui->tree->currentItem()) caret->setExpanded(true);
}

void lesson_form::DeleteAllTreeItems() {
  m_level1 = nullptr;
  m_level2 = nullptr;
  m_ui->tree->clear();
}

void lesson_form::AddLevel1Item(const Text& text) {
  m_level1 = MakeItem(text);
  m_level2 = nullptr;
  m_ui->tree->addTopLevelItem(m_level1);
}

void lesson_form::AddLevel2Item(const Text& text) {
  m_level2 = MakeItem(text);
  m_level1->addChild(m_level2);
}

void lesson_form::AddLevel3Item(const Text& text, int row) {
  m_level2->addChild(MakeItem(text, row));
}

CShockwaveflash1* lesson_form::Player() const { return m_ui->flash; }
CatalogueTree* lesson_form::Tree() const { return m_ui->tree; }
QCheckBox* lesson_form::AutoNextBox() const { return m_ui->chkAutoNext; }
QPushButton* lesson_form::PlayButton() const { return m_ui->btnPlay; }
QPushButton* lesson_form::PrevPageButton() const { return m_ui->btnPrevPage; }
QPushButton* lesson_form::NextPageButton() const { return m_ui->btnNextPage; }
QPushButton* lesson_form::PauseButton() const { return m_ui->btnPause; }
QPushButton* lesson_form::AppListButton() const { return m_ui->btnAppList; }
QPushButton* lesson_form::CloseButton() const { return m_ui->btnClose; }
QSlider* lesson_form::VolumeSlider() const { return m_ui->volumeSlider; }

}  // namespace zorva
