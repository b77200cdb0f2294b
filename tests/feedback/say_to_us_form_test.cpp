// The suggestion dialog (offscreen) with a counter timer the test fires,
// saving against the real zorva-server, and against a scripted service for
// the replies zorva-server never gives.
#include "feedback/say_to_us_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "core/cp936.h"
#include "platform/dialog_units.h"
#include "platform/message_box.h"
#include "platform/program_values.h"
#include "platform/qt_text.h"
#include "support/scripted_server.h"
#include "support/server_process.h"

namespace zorva::test {
namespace {

const char kUser[] = "建议者";
const char kPassword[] = "Pa55-word";
const char kExplanation[] =
    "非常感谢您的建议。我们将认真考虑您的建议。但如果由于我们的发展方向和您的考虑不一致，或者由于"
    "时间、人手等关系，而最终导致您的建议无法实现，也请您不要介意。";
const char kNoCategory[] = "请选择分类！";
const char kTooLong[] = "字数超过50个了！请修改！";
const char kTooShort[] = "字数小于5个了！字数太少,我们看不明白的哦。呵呵。请修改！";
const char kSaved[] = "保存成功！";
const char kSaveFailed[] = "糟糕，在保存的时候发生了错误！";

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "say_to_us_form_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

// Chinese text arrives through the input method, one character at a time.
void TypeThroughInputMethod(QWidget* box, const QString& text) {
  for (QChar c : text) {
    QInputMethodEvent event;
    event.setCommitString(QString(c));
    QApplication::sendEvent(box, &event);
  }
}

// The dialog with its parts and the timer the test fires in place of the
// clock.
struct Dialog {
  Dialog() {
    auto manual = std::make_unique<ManualIntervalTimer>();
    timer = manual.get();
    form = std::make_unique<say_to_us_form>(nullptr, std::move(manual));
    categories = form->findChild<QComboBox*>("categoryList");
    text = form->findChild<QPlainTextEdit*>("suggestionText");
    counter = form->findChild<QLabel*>("counter");
    explanation = form->findChild<QLabel*>("explanation");
    save = form->findChild<QPushButton*>("saveButton");
    cancel = form->findChild<QPushButton*>("cancelButton");
    form->show();
  }

  std::string Text() const { return text->toPlainText().toStdString(); }
  std::string Counter() const { return counter->text().toStdString(); }
  std::string Explanation() const { return explanation->text().toStdString(); }
  // Fills in the form as a user would and presses "保存".
  void Save(int category, const std::string& utf8) {
    categories->setCurrentIndex(category);
    text->setPlainText(QString::fromStdString(utf8));
    QTest::mouseClick(save, Qt::LeftButton);
  }

  ManualIntervalTimer* timer;
  std::unique_ptr<say_to_us_form> form;
  QComboBox* categories;
  QPlainTextEdit* text;
  QLabel* counter;
  QLabel* explanation;
  QPushButton* save;
  QPushButton* cancel;
};

class SuggestionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    MutableSignedIn() = SignInValues{FromUtf8(kUser), FromUtf8(kPassword), Text(), Text()};
    SetServerBaseAddress(Text());
    SetMessageBoxHandler([this](MessageBoxStyle, const zorva::Text& text, const zorva::Text&) {
      m_messages.push_back(ToUtf8(text));
      return true;
    });
  }
  void TearDown() override {
    SetMessageBoxHandler({});
    SetServerBaseAddress(Text());
    MutableSignedIn() = SignInValues{};
  }

  // zorva-server with the signed-in user, as the program's server.
  void StartServer() {
    m_server = std::make_unique<ServerProcess>();
    ASSERT_TRUE(m_server->AddUser(kUser, kPassword));
    SetServerBaseAddress(zorva::Text(m_server->BaseUrl()));
  }
  // The suggestions zorva-server holds: "user\ttype\tcontent" per line,
  // line breaks in the content shown as \r and \n.
  std::vector<std::string> Stored() const {
    std::vector<std::string> rows;
    std::string listing = RunServerCommand({"suggestions", "--db", m_server->DbPath()});
    size_t start = 0;
    for (size_t end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1) {
      std::string line = listing.substr(start, end - start);
      // Drop the id and the time.
      line = line.substr(line.find('\t') + 1);
      rows.push_back(line.substr(line.find('\t') + 1));
    }
    return rows;
  }

  std::vector<std::string> m_messages;
  std::unique_ptr<ServerProcess> m_server;
};

TEST_F(SuggestionTest, OpensAsItsTemplateWithTheCounterTimerRunning) {
  Dialog dialog;
  EXPECT_EQ(dialog.form->windowTitle(), QStringLiteral("感谢您给我们提建议"));
  ASSERT_EQ(dialog.categories->count(), 5);
  const char* categories[] = {"要求改进本程序", "发现本程序出现错误", "要求改进课程",
                              "发现课程有错", "其他"};
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(dialog.categories->itemText(i).toStdString(), categories[i]);
  EXPECT_EQ(dialog.categories->currentIndex(), -1);
  EXPECT_FALSE(dialog.categories->isEditable());

  EXPECT_EQ(dialog.Explanation(), kExplanation);
  EXPECT_EQ(dialog.Counter(), "目前可输入50个汉字");
  std::vector<std::string> statics;
  for (QLabel* label : dialog.form->findChildren<QLabel*>())
    statics.push_back(label->text().toStdString());
  EXPECT_NE(std::find(statics.begin(), statics.end(),
                      "因为我们空间有限，因此，目前只允许输入50个字符，请见谅！"),
            statics.end());
  EXPECT_NE(std::find(statics.begin(), statics.end(), "建议的分类："), statics.end());

  EXPECT_EQ(dialog.text->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(dialog.save->text(), QStringLiteral("保存"));
  EXPECT_EQ(dialog.cancel->text(), QStringLiteral("取消"));
  for (QPushButton* button : {dialog.save, dialog.cancel}) {
    EXPECT_FALSE(button->isDefault());
    EXPECT_FALSE(button->autoDefault());
  }
  EXPECT_TRUE(dialog.timer->IsActive());
  EXPECT_EQ(dialog.timer->PeriodMs(), 2000);
}

TEST_F(SuggestionTest, EnterInTheTextBoxStartsANewLine) {
  Dialog dialog;
  dialog.text->setFocus();
  QTest::keyClicks(dialog.text, "ab");
  QTest::keyClick(dialog.text, Qt::Key_Return);
  QTest::keyClicks(dialog.text, "cd");
  EXPECT_EQ(dialog.Text(), "ab\ncd");
  EXPECT_TRUE(dialog.form->isVisible());
  // The line break counts as the two bytes it is sent as.
  dialog.timer->Fire();
  EXPECT_EQ(dialog.Counter(), "当前还可以输入47个汉字");
}

struct CounterCase {
  const char* name;
  std::string typed;  // UTF-8, "\n" between lines
  std::string kept;   // the box after the tick
  int left;           // the counter's number
};
void PrintTo(const CounterCase& c, std::ostream* os) { *os << c.name; }

class CounterTest : public SuggestionTest, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(CounterTest, TickCutsToOneHundredBytesAndShowsWhatIsLeft) {
  Dialog dialog;
  dialog.text->setPlainText(QString::fromStdString(GetParam().typed));
  ASSERT_TRUE(dialog.timer->Fire());
  EXPECT_EQ(dialog.Text(), GetParam().kept);
  EXPECT_EQ(dialog.Counter(), "当前还可以输入" + std::to_string(GetParam().left) + "个汉字");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CounterTest,
    ::testing::Values(
        CounterCase{"Empty", "", "", 50},
        CounterCase{"NinetyNineLetters", Repeat("a", 99), Repeat("a", 99), 0},
        CounterCase{"SixtyChineseCutToFifty", Repeat("字", 60), Repeat("字", 50), 0},
        CounterCase{"MixedWidths", "abc" + Repeat("字", 10), "abc" + Repeat("字", 10), 38},
        // The cut would split the character: its first byte goes too.
        CounterCase{"CutInsideACharacter", Repeat("a", 99) + "字", Repeat("a", 99), 0},
        // The cut would split the line break: its carriage return goes too.
        CounterCase{"CutInsideALineBreak", Repeat("a", 99) + "\nb", Repeat("a", 99), 0},
        CounterCase{"LineBreakBeforeTheCut", Repeat("a", 98) + "\nbc", Repeat("a", 98) + "\n", 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SuggestionTest, CaretStaysUsableAfterACut) {
  Dialog dialog;
  dialog.text->setFocus();
  TypeThroughInputMethod(dialog.text, QString::fromStdString(Repeat("字", 60)));
  dialog.timer->Fire();
  ASSERT_EQ(dialog.Text(), Repeat("字", 50));
  EXPECT_EQ(dialog.text->textCursor().position(), 50);
  QTest::keyClick(dialog.text, Qt::Key_Backspace);
  QTest::keyClicks(dialog.text, "ok");
  EXPECT_EQ(dialog.Text(), Repeat("字", 49) + "ok");
}

struct RefusalCase {
  const char* name;
  int category;
  std::string text;
  const char* message;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class RefusalTest : public SuggestionTest, public ::testing::WithParamInterface<RefusalCase> {};

// Each check stops the save with its message and leaves everything running.
TEST_P(RefusalTest, CheckRefusesWithItsMessageAndSendsNothing) {
  StartServer();
  Dialog dialog;
  dialog.Save(GetParam().category, GetParam().text);
  EXPECT_EQ(m_messages, std::vector<std::string>{GetParam().message});
  EXPECT_TRUE(dialog.form->isVisible());
  EXPECT_TRUE(dialog.timer->IsActive());
  EXPECT_EQ(dialog.Explanation(), kExplanation);
  EXPECT_EQ(m_server->LogText().find("save_suggest"), std::string::npos);
  EXPECT_TRUE(Stored().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusalTest,
    ::testing::Values(RefusalCase{"NoCategory", -1, "一条很好的建议", kNoCategory},
                      // The category is checked before the length.
                      RefusalCase{"NoCategoryAndTooShort", -1, "a", kNoCategory},
                      // Pasted and saved before the next tick cuts it.
                      RefusalCase{"HundredAndOneLetters", 0, Repeat("a", 101), kTooLong},
                      RefusalCase{"NineBytes", 4, Repeat("字", 4) + "a", kTooShort},
                      RefusalCase{"Empty", 2, "", kTooShort}),
    [](const auto& row) { return std::string(row.param.name); });

struct StoredCase {
  const char* name;
  int category;
  std::string typed;   // UTF-8
  std::string stored;  // as zorva-server lists it
};
void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.name; }

class StoredTest : public SuggestionTest, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(StoredTest, SavedSuggestionArrivesAsTypedAndClosesTheDialog) {
  StartServer();
  Dialog dialog;
  dialog.Save(GetParam().category, GetParam().typed);
  EXPECT_EQ(m_messages, std::vector<std::string>{kSaved});
  EXPECT_FALSE(dialog.form->isVisible());
  EXPECT_EQ(dialog.form->result(), QDialog::Accepted);
  EXPECT_EQ(SignedIn().lastReply, "ok");
  EXPECT_EQ(Stored(), std::vector<std::string>{std::string(kUser) + "\t" +
                                               std::to_string(GetParam().category) + "\t" +
                                               GetParam().stored});
  // The password travelled scrambled.
  EXPECT_EQ(m_server->LogText().find(kPassword), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StoredTest,
    ::testing::Values(StoredCase{"HundredLetters", 0, Repeat("a", 100), Repeat("a", 100)},
                      StoredCase{"TenBytes", 3, Repeat("字", 5), Repeat("字", 5)},
                      StoredCase{"ApostrophesBecomeDoubleQuotes", 1, "it's '好的'",
                                 "it\"s \"好的\""},
                      StoredCase{"QueryCharactersAndLineBreak", 4, "课程 & 100% #1+2=3?\n谢谢",
                                 "课程 & 100% #1+2=3?\\r\\n谢谢"}),
    [](const auto& row) { return std::string(row.param.name); });

struct FailedCase {
  const char* name;
  const char* reply;  // the body of the service's 200 reply
  bool addressed;     // false: no server answered at sign-in
  const char* lastReply;
};
void PrintTo(const FailedCase& c, std::ostream* os) { *os << c.name; }

class FailedSaveTest : public SuggestionTest, public ::testing::WithParamInterface<FailedCase> {};

// Anything but exactly "ok" is a failure: the explanation says so, the focus
// goes to the text, the dialog stays open and the counter stops for good.
// Without a server address nothing is sent, although the service that would
// accept the suggestion is every candidate server: the dialog does not go
// looking for a server of its own.
TEST_P(FailedSaveTest, ExplanationShowsTheErrorAndTheCounterStops) {
  ScriptedServer service;
  service.On("/Handler.asp", ScriptedReply::Ok(GetParam().reply));
  const std::string candidates = service.Base() + ";" + service.Base() + ";" + service.Base();
  const QByteArray oldCandidates = qgetenv("ZORVA_SERVER_CANDIDATES");
  qputenv("ZORVA_SERVER_CANDIDATES", QByteArray::fromStdString(candidates));
  const auto restore = qScopeGuard([&] {
    if (oldCandidates.isNull())
      qunsetenv("ZORVA_SERVER_CANDIDATES");
    else
      qputenv("ZORVA_SERVER_CANDIDATES", oldCandidates);
  });
  if (GetParam().addressed) SetServerBaseAddress(zorva::Text(service.Base()));
  Dialog dialog;
  dialog.Save(1, Repeat("字", 6));
  EXPECT_TRUE(m_messages.empty());
  EXPECT_TRUE(dialog.form->isVisible());
  EXPECT_EQ(dialog.Explanation(), kSaveFailed);
  EXPECT_EQ(dialog.form->focusWidget(), dialog.text);
  EXPECT_EQ(SignedIn().lastReply, GetParam().lastReply);
  EXPECT_EQ(service.Requests().size(), GetParam().addressed ? 1u : 0u);

  dialog.text->setPlainText(QString::fromStdString(Repeat("a", 120)));
  EXPECT_FALSE(dialog.timer->Fire());
  EXPECT_EQ(dialog.Text(), Repeat("a", 120));
  EXPECT_EQ(dialog.Counter(), "目前可输入50个汉字");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FailedSaveTest,
    ::testing::Values(FailedCase{"Capitals", "<save_static>OK</save_static>", true, "OK"},
                      FailedCase{"Blanks", "<save_static> ok </save_static>", true, " ok "},
                      FailedCase{"Error", "<save_static>error</save_static>", true, "error"},
                      FailedCase{"NoElement", "<user_login>ok</user_login>", true, ""},
                      FailedCase{"NoServerAddress", "<save_static>ok</save_static>", false, ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(SuggestionTest, SaveAfterAFailureStillClosesTheDialog) {
  StartServer();
  MutableSignedIn().password = FromUtf8("wrong");
  Dialog dialog;
  dialog.Save(2, Repeat("字", 6));
  ASSERT_EQ(dialog.Explanation(), kSaveFailed);

  MutableSignedIn().password = FromUtf8(kPassword);
  QTest::mouseClick(dialog.save, Qt::LeftButton);
  EXPECT_EQ(m_messages, std::vector<std::string>{kSaved});
  EXPECT_EQ(dialog.form->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.form->isVisible());
  EXPECT_EQ(Stored(), std::vector<std::string>{std::string(kUser) + "\t2\t" + Repeat("字", 6)});
}

TEST_F(SuggestionTest, CancelEndsWithoutSendingAndStopsTheCounter) {
  StartServer();
  Dialog dialog;
  dialog.categories->setCurrentIndex(0);
  dialog.text->setPlainText(QStringLiteral("一条没有发出的建议"));
  QTest::mouseClick(dialog.cancel, Qt::LeftButton);
  EXPECT_EQ(dialog.form->result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.form->isVisible());
  EXPECT_FALSE(dialog.timer->IsActive());
  EXPECT_TRUE(Stored().empty());
  EXPECT_TRUE(m_messages.empty());
}

}  // namespace
}  // namespace zorva::test
