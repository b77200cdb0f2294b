#include "lessons/lesson_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QSlider>
#include <QTimerEvent>

#include "controls/shockwave_flash.h"
#include "core/cp936.h"
#include "lessons/catalogue_tree.h"
#include "lessons/lesson_form_playback.h"
#include "lessons/volume_control.h"
#include "lessons/right_press_as_left.h"
#include "platform/alsa_mixer.h"
#include "platform/dialog_units.h"
#include "platform/qt_text.h"
#include "ui_lesson_form.h"

namespace zorva {

namespace {

constexpr int kPlaybackPeriodMs = 1000;
const QColor kTreeBackground(239, 201, 239);

// A tree item keeps its text's bytes beside the shown string, so that a
// selection resolves by exactly the bytes the catalogue gave, whatever the
// conversion for display made of them.
constexpr int kTextBytesRole = Qt::UserRole;

QTreeWidgetItem* MakeItem(const Text& text) {
  auto* item = new QTreeWidgetItem(QStringList(ToQString(text)));
  item->setData(0, kTextBytesRole, QByteArray(text.str().data(), text.GetLength()));
  return item;
}

Text ItemText(const QTreeWidgetItem* item) {
  const QByteArray bytes = item->data(0, kTextBytesRole).toByteArray();
  return Text(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

}  // namespace

lesson_form::lesson_form() = default;

lesson_form::~lesson_form() { StopPlaybackTimer(); }

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

  connect(m_ui->btnClose, &QPushButton::clicked, this, &lesson_form::OnCloseButton);
  connect(m_ui->btnAppList, &QPushButton::clicked, this, &lesson_form::OnAppList);
  connect(m_ui->btnPlay, &QPushButton::clicked, this, &lesson_form::OnPlay);
  connect(m_ui->tree, &CatalogueTree::clickedBeforeSelection, this, &lesson_form::ExpandCaretItem);
  connect(m_ui->tree, &QTreeWidget::currentItemChanged, this, &lesson_form::ExpandCaretItem);
  m_playback = new LessonFormPlayback(*this);

  OnInitDialog();
  return true;
}

void lesson_form::OnInitDialog() {
  m_state = PlaybackState();
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
  zorva::LoadCatalogue(*this, m_entries, lookup);
}

int lesson_form::ResolveSelectedItem() {
  const QTreeWidgetItem* caret = m_ui->tree->currentItem();
  return zorva::ResolveSelectedItem(caret ? std::optional<Text>(ItemText(caret)) : std::nullopt,
                                    m_entries, this);
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

void lesson_form::StartPlaybackTimer() {
  StopPlaybackTimer();
  m_playbackTimer = startTimer(kPlaybackPeriodMs);
}

void lesson_form::StopPlaybackTimer() {
  if (m_playbackTimer == 0) return;
  killTimer(m_playbackTimer);
  m_playbackTimer = 0;
}

void lesson_form::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_playbackTimer) {
    QDialog::timerEvent(event);
    return;
  }
  emit playbackTick();
}

void lesson_form::closeEvent(QCloseEvent* event) { event->ignore(); }

void lesson_form::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  // The player keeps its template size whatever the window's size; it only
  // goes back to the window's corner.
  if (m_ui) m_ui->flash->move(0, 0);
}

void lesson_form::OnCloseButton() {
  StopPlaybackTimer();
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

void lesson_form::AddLevel3Item(const Text& text) { m_level2->addChild(MakeItem(text)); }

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
