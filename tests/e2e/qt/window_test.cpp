// The Qt window end to end, on a private X display: the real start-up and event loop run in
// this process while other programs (xclip, xdotool, xprop, import) change the clipboard,
// click the window and read it from outside.
#include <QAbstractButton>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QRawFont>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QUrl>
#include <QWindow>
#include <cmath>
#include <map>
#include <memory>

#include "clipwatch/clipwatch.h"
#include "platform/qt/fm_test.h"
#include "platform/qt/qt_platform.h"
#include "ui/layout.h"

using namespace Qt::StringLiterals;

namespace tesqua {
namespace {

constexpr int kWait = 10000;  // bound of every poll, in milliseconds

const QByteArray kDefaultLibrary =
    "$ZIG\r\n$PEAK\r\n$PEAKBARS\r\n$TROUGH\r\n$TROUGHBARS\r\n$FLATZIG\r\n$FLATZIGA\r\n"
    "$PEAKA\r\n$PEAKBARSA\r\n$TROUGHA\r\n$ZIGA\r\n$FFT\r\n$BACKSET\r\n$WINNER\r\n$LWINNER\r\n"
    "$COST\r\n$DYNAINFO\r\n$FINANCE\r\n$DRAWLINE\r\n#YEAR\r\n#MONTH\r\n#WEEK\r\nCAPITAL\r\n"
    "DCLOSE\r\nDOPEN\r\nDLOW\r\nDVOL\r\n";

const QString kFormulaWithHits = u"{测试} MA1:=MA(C,5); X:=zig(3,5); Y:=DVOL+Peak(1,2,3);"_s;
// Text1 shows each CR LF of the verdict as one line break.
const QString kHitsVerdict =
    u"\n注意：发现未来函数ZIG！\n注意：发现未来函数PEAK！\n注意：发现未来函数DVOL！"_s;
const QString kFormulaWithoutHits = u"MA5:=MA(CLOSE,5); {均线 ZIG (1)}"_s;
const QString kNoHitVerdict = u"没有发现未来函数！"_s;

QString Lines(QString text) {
  return text.replace(u"\r\n"_s, u"\n"_s);
}

// Runs a program to its end while this process goes on serving the X display. The tools are
// looked up once, so that a test may change PATH for the program under test.
struct Run {
  int exit_code = -1;
  QByteArray output;
};

QString Tool(const QString& name) {
  static QHash<QString, QString> found;
  if (!found.contains(name)) found.insert(name, QStandardPaths::findExecutable(name));
  return found.value(name);
}

Run RunProgram(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
  QProcess process;
  process.start(Tool(program), arguments);
  if (!process.waitForStarted(kWait)) return {};
  process.write(input);
  process.closeWriteChannel();
  if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWait)) {
    process.kill();
    return {};
  }
  const Run run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput()};
  if (run.exit_code != 0) {
    qInfo("%s: %s", qPrintable(program), process.readAllStandardError().constData());
  }
  return run;
}

// Another program puts content on the clipboard and serves it until someone else takes it.
bool Copy(const QByteArray& bytes, const QString& type = {}) {
  QStringList arguments{u"-selection"_s, u"clipboard"_s, u"-i"_s};
  if (!type.isEmpty()) arguments << u"-t"_s << type;
  return RunProgram(u"xclip"_s, arguments, bytes).exit_code == 0;
}

bool CopyText(const QString& text) {
  return Copy(text.toUtf8());
}

QString ReadFile(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void FirstStartWritesTheDefaultLibraryByteForByte();
  void StartShowsTheInstructionsEvenWithTextOnTheClipboard();
  void FormulaWithHitsShowsOneWarningPerEntry();
  void FormulaWithoutHitsShowsTheNoHitVerdict();
  void PictureOnlyCopyLeavesTheVerdict();
  void EmptiedClipboardLeavesTheVerdict();
  void EmptyLibraryLeavesTheText();
  void Check1TogglesKeepAbove();
  void WindowIsLaidOutAndPlacedAsDesigned();
  void Label3OpensTheWebPage();
  void Label1ShowsTheRulesThenOpensTheLibraryInTheEditor_data();
  void Label1ShowsTheRulesThenOpensTheLibraryInTheEditor();

 public slots:
  void OpenUrl(const QUrl& url) { opened_urls_ << url; }

 private:
  void Start();
  void WaitForNotice(std::uint64_t before);
  int ClipFormat() { return GetClipFormat(window_->Backend()); }
  // The window's X window as it is now: Qt makes a new one when the window's flags change, and
  // QWidget::winId() does not follow.
  QString XWindow() const { return QString::number(window_->windowHandle()->winId()); }
  QString Text1() const;
  template <typename T>
  T& Child(const char* name) const;
  void Click(QWidget& control, QPoint at);
  void Click(QWidget& control) { Click(control, control.rect().center()); }
  QByteArray NetWmState();
  void AddStandIn(const QString& program, int exit_status);
  QString LibraryPath() const { return QDir(directory_->path()).filePath(u"code.ini"_s); }
  bool eventFilter(QObject* watched, QEvent* event) override;

  std::unique_ptr<QTemporaryDir> directory_;
  QString previous_directory_;
  std::unique_ptr<fmTest> window_;
  QList<QUrl> opened_urls_;
  struct Box {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
  };
  QList<Box> message_boxes_;
  QString box_shot_;  // where the second message box is saved, if anywhere
  std::map<QByteArray, QByteArray> saved_environment_;  // a null value: the variable was unset
};

void WindowTest::initTestCase() {
  for (const QString& tool : {u"xclip"_s, u"xdotool"_s, u"xprop"_s, u"import"_s}) {
    QVERIFY2(!Tool(tool).isEmpty(), qPrintable(tool));
  }
}

void WindowTest::init() {
  for (const char* name : {"PATH", "VISUAL", "EDITOR"}) {
    saved_environment_[name] = qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray();
  }
  directory_ = std::make_unique<QTemporaryDir>();
  QVERIFY(directory_->isValid());
  previous_directory_ = QDir::currentPath();
  QVERIFY(QDir::setCurrent(directory_->path()));
}

void WindowTest::cleanup() {
  window_.reset();
  qApp->removeEventFilter(this);
  QDesktopServices::unsetUrlHandler(u"http"_s);
  for (const auto& [name, value] : saved_environment_) {
    if (value.isNull()) {
      qunsetenv(name.constData());
    } else {
      qputenv(name.constData(), value);
    }
  }
  QDir::setCurrent(previous_directory_);
  directory_.reset();
  opened_urls_.clear();
  message_boxes_.clear();
  box_shot_.clear();
}

void WindowTest::Start() {
  window_ = std::make_unique<fmTest>();
  window_->show();
  // The notice of the program's own emptying of the clipboard, if any, comes before the window's
  // first exposure, as the X server sends events in order: from here on every notice is a change
  // made by a test.
  QVERIFY(QTest::qWaitForWindowExposed(window_.get(), kWait));
}

void WindowTest::WaitForNotice(std::uint64_t before) {
  QVERIFY(QTest::qWaitFor([&] { return window_->Backend().ClipboardSequenceNumber() > before; },
                          kWait));
}

QString WindowTest::Text1() const {
  return Child<QTextEdit>("Text1").toPlainText();
}

template <typename T>
T& WindowTest::Child(const char* name) const {
  T* child = window_->findChild<T*>(QString::fromLatin1(name));
  if (child == nullptr) qFatal("no control %s", name);
  return *child;
}

// A real click: the X server moves the pointer and presses its button.
void WindowTest::Click(QWidget& control, QPoint at) {
  const QPoint in_window = control.mapTo(window_.get(), at);
  const Run run = RunProgram(
      u"xdotool"_s, {u"mousemove"_s, u"--window"_s, XWindow(), QString::number(in_window.x()),
                     QString::number(in_window.y()), u"click"_s, u"1"_s});
  QCOMPARE(run.exit_code, 0);
}

QByteArray WindowTest::NetWmState() {
  const Run run = RunProgram(u"xprop"_s, {u"-id"_s, XWindow(), u"_NET_WM_STATE"_s});
  qInfo("%s", run.output.trimmed().constData());
  return run.exit_code == 0 && run.output.startsWith("_NET_WM_STATE") ? run.output : "xprop failed";
}

// A stand-in for a program the window starts, found first on PATH: it writes down its process
// and its arguments, waits while a file PROGRAM.hold exists, and ends with exit_status, leaving
// PROGRAM.ended.
void WindowTest::AddStandIn(const QString& program, int exit_status) {
  const QString bin = directory_->filePath(u"bin"_s);
  QDir().mkpath(bin);
  QFile script(bin + u'/' + program);
  script.open(QIODevice::WriteOnly);
  script.write(
      "#!/bin/sh\necho $$ > \"$0.pid\"\nprintf '%s' \"$*\" > \"$0.tmp\"\n"
      "mv \"$0.tmp\" \"$0.arguments\"\nwhile [ -e \"$0.hold\" ]; do sleep 0.1; done\n"
      ": > \"$0.ended\"\nexit " +
      QByteArray::number(exit_status) + "\n");
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QByteArray path = qgetenv("PATH");
  if (!path.startsWith(bin.toUtf8() + ':')) qputenv("PATH", bin.toUtf8() + ':' + path);
}

bool WindowTest::eventFilter(QObject* watched, QEvent* event) {
  auto* box = qobject_cast<QMessageBox*>(watched);
  if (box != nullptr && event->type() == QEvent::Show) {
    message_boxes_.append({box->windowTitle(), box->text(), box->standardButtons()});
    // The user reads the box and presses its button, once the box is running; the box that
    // names the library is kept as a screenshot.
    const QString shot = message_boxes_.size() == 2 ? box_shot_ : QString();
    QMetaObject::invokeMethod(
        this,
        [box, shot] {
          if (!shot.isEmpty() && QTest::qWaitForWindowExposed(box, kWait)) {
            QCoreApplication::processEvents();
            const QString window = QString::number(box->windowHandle()->winId());
            RunProgram(u"import"_s, {u"-window"_s, window, shot});
          }
          QAbstractButton* ok = box->button(QMessageBox::Ok);
          ok != nullptr ? ok->click() : box->reject();
        },
        Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

void WindowTest::FirstStartWritesTheDefaultLibraryByteForByte() {
  QVERIFY(!QFile::exists(u"code.ini"_s));
  Start();
  QFile library(u"code.ini"_s);
  QVERIFY(library.open(QIODevice::ReadOnly));
  QCOMPARE(library.readAll(), kDefaultLibrary);
  library.close();
  QCOMPARE(Child<QListWidget>("List1").count(), 27);
  QCOMPARE(Child<QListWidget>("List1").item(26)->text(), u"DVOL"_s);

  // A second start finds the file and leaves it as the user made it.
  window_.reset();
  QVERIFY(library.open(QIODevice::WriteOnly | QIODevice::Truncate));
  library.write("MA\r\n");
  library.close();
  Start();
  QVERIFY(library.open(QIODevice::ReadOnly));
  QCOMPARE(library.readAll(), QByteArray("MA\r\n"));
  library.close();
  QCOMPARE(Child<QListWidget>("List1").count(), 1);
}

void WindowTest::StartShowsTheInstructionsEvenWithTextOnTheClipboard() {
  QVERIFY(CopyText(kFormulaWithHits));
  QCOMPARE(RunProgram(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-o"_s}).output,
           kFormulaWithHits.toUtf8());

  Start();
  QCOMPARE(Text1(), Lines(QString::fromStdU16String(Instructions())));
  QCOMPARE(Text1().split(u'\n').at(4), u"1、使用方法：只要复制公式代码软"_s);
  // Start-up emptied the clipboard: seen from outside, it holds nothing.
  QVERIFY(RunProgram(u"xclip"_s, {u"-selection"_s, u"clipboard"_s, u"-o"_s}).exit_code != 0);
  QCOMPARE(ClipFormat(), 0);

  // The next change is the first one scanned.
  const std::uint64_t before = window_->Backend().ClipboardSequenceNumber();
  QVERIFY(CopyText(kFormulaWithoutHits));
  WaitForNotice(before);
  QCOMPARE(Text1(), kNoHitVerdict);
}

void WindowTest::FormulaWithHitsShowsOneWarningPerEntry() {
  Start();
  QVERIFY(CopyText(kFormulaWithHits));
  QTRY_COMPARE_WITH_TIMEOUT(Text1(), kHitsVerdict, kWait);
  QCOMPARE(ClipFormat(), 1);
  // The scan leaves no entry of the library selected.
  QCOMPARE(Child<QListWidget>("List1").currentRow(), -1);
}

void WindowTest::FormulaWithoutHitsShowsTheNoHitVerdict() {
  Start();
  QVERIFY(CopyText(kFormulaWithHits));
  QTRY_COMPARE_WITH_TIMEOUT(Text1(), kHitsVerdict, kWait);
  QVERIFY(CopyText(kFormulaWithoutHits));
  QTRY_COMPARE_WITH_TIMEOUT(Text1(), kNoHitVerdict, kWait);
}

void WindowTest::PictureOnlyCopyLeavesTheVerdict() {
  Start();
  QVERIFY(CopyText(kFormulaWithHits));
  QTRY_COMPARE_WITH_TIMEOUT(Text1(), kHitsVerdict, kWait);

  const std::uint64_t before = window_->Backend().ClipboardSequenceNumber();
  QFile picture(QStringLiteral(TESQUA_ASSETS_DIR "/tesqua-32.png"));
  QVERIFY(picture.open(QIODevice::ReadOnly));
  QVERIFY(Copy(picture.readAll(), u"image/png"_s));
  WaitForNotice(before);
  QTRY_COMPARE_WITH_TIMEOUT(ClipFormat(), 2, kWait);  // CF_BITMAP, and no text
  QCOMPARE(Text1(), kHitsVerdict);
}

void WindowTest::EmptiedClipboardLeavesTheVerdict() {
  Start();
  // xclip in the foreground owns the clipboard until it ends; then the clipboard is empty.
  QProcess owner;
  owner.setStandardOutputFile(QProcess::nullDevice());
  owner.setStandardErrorFile(QProcess::nullDevice());
  owner.start(u"xclip"_s, {u"-quiet"_s, u"-selection"_s, u"clipboard"_s, u"-i"_s});
  QVERIFY(owner.waitForStarted(kWait));
  owner.write(kFormulaWithoutHits.toUtf8());
  owner.closeWriteChannel();
  QTRY_COMPARE_WITH_TIMEOUT(Text1(), kNoHitVerdict, kWait);

  const std::uint64_t before = window_->Backend().ClipboardSequenceNumber();
  owner.kill();
  QVERIFY(owner.waitForFinished(kWait));
  WaitForNotice(before);
  QTRY_COMPARE_WITH_TIMEOUT(ClipFormat(), 0, kWait);
  QCOMPARE(Text1(), kNoHitVerdict);
}

void WindowTest::EmptyLibraryLeavesTheText() {
  QFile library(u"code.ini"_s);
  QVERIFY(library.open(QIODevice::WriteOnly));
  library.close();
  Start();
  QCOMPARE(Child<QListWidget>("List1").count(), 0);

  const std::uint64_t before = window_->Backend().ClipboardSequenceNumber();
  QVERIFY(CopyText(kFormulaWithHits));
  WaitForNotice(before);
  QCOMPARE(ClipFormat(), 1);
  QCOMPARE(Text1(), Lines(QString::fromStdU16String(Instructions())));
  QCOMPARE(library.size(), 0);
}

void WindowTest::Check1TogglesKeepAbove() {
  Start();
  auto& check1 = Child<QCheckBox>("Check1");
  QVERIFY(check1.isChecked());
  QVERIFY(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  // Without a window manager the state is what the window asks for when it is mapped.
  QVERIFY(NetWmState().contains("_NET_WM_STATE_ABOVE"));
  const QPoint position = window_->pos();

  Click(check1, QPoint(6, check1.height() / 2));
  QTRY_VERIFY_WITH_TIMEOUT(!check1.isChecked(), kWait);
  QVERIFY(!window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QVERIFY(QTest::qWaitForWindowExposed(window_.get(), kWait));
  QCOMPARE(window_->pos(), position);
  const QByteArray state = NetWmState();
  QVERIFY2(state.startsWith("_NET_WM_STATE") && !state.contains("_NET_WM_STATE_ABOVE"), state);

  Click(check1, QPoint(6, check1.height() / 2));
  QTRY_VERIFY_WITH_TIMEOUT(check1.isChecked(), kWait);
  QVERIFY(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QVERIFY(QTest::qWaitForWindowExposed(window_.get(), kWait));
  QCOMPARE(window_->pos(), position);
  QVERIFY(NetWmState().contains("_NET_WM_STATE_ABOVE"));
}

void WindowTest::WindowIsLaidOutAndPlacedAsDesigned() {
  Start();
  QCOMPARE(window_->windowTitle(), u"TesquaV2.0"_s);
  QCOMPARE(window_->size(), QSize(242, 393));
  QVERIFY(!window_->windowIcon().isNull());
  QCOMPARE(window_->windowIcon().availableSizes().size(), 4);

  // Vertically centred, flush with the right edge (no window manager: no frame).
  const QRect screen = window_->screen()->geometry();
  QCOMPARE(window_->frameGeometry().right(), screen.right());
  QVERIFY(std::abs(window_->y() - (screen.height() - 393) / 2.0) <= 0.5);

  QCOMPARE(Child<QLabel>("Label1").geometry(), QRect(0, 8, 145, 17));
  QCOMPARE(Child<QLabel>("Label1").text(), u"点此编辑未来函数特征库"_s);
  QCOMPARE(Child<QCheckBox>("Check1").geometry(), QRect(168, 8, 73, 17));
  QCOMPARE(Child<QCheckBox>("Check1").text(), u"窗口置顶"_s);
  QCOMPARE(Child<QTextEdit>("Text1").geometry(), QRect(0, 24, 241, 345));
  QCOMPARE(Child<QLabel>("Label3").geometry(), QRect(0, 376, 241, 17));
  QCOMPARE(Child<QLabel>("Label3").text(), u"访问Xuvo软件工作室网站"_s);
  QVERIFY(Child<QLabel>("Label3").alignment().testFlag(Qt::AlignHCenter));
  QVERIFY(Child<QListWidget>("List1").isHidden());

  auto& text1 = Child<QTextEdit>("Text1");
  QCOMPARE(text1.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QCOMPARE(text1.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QVERIFY(!text1.isReadOnly());
  QCOMPARE(text1.font().families().front(), u"宋体"_s);
  QCOMPARE(text1.font().pointSizeF(), 10.5);
  QCOMPARE(text1.font().weight(), QFont::Bold);
  // The face actually used has the Chinese glyphs.
  QVERIFY(QRawFont::fromFont(text1.font()).supportsCharacter(U'未'));

  // The screen shows it: colours read back from the X server's copy of the window.
  const QString shot = QStringLiteral(TESQUA_ARTIFACTS_DIR "/tesqua-qt.png");
  QDir().mkpath(QStringLiteral(TESQUA_ARTIFACTS_DIR));
  QImage image;
  const auto shows_window = [&] {
    if (RunProgram(u"import"_s, {u"-window"_s, XWindow(), shot}).exit_code != 0) {
      return false;
    }
    image = QImage(shot);
    // painted: the light-yellow box and the dark-red frame are there
    return image.size() == QSize(242, 393) && image.pixelColor(230, 340) == QColor(255, 255, 192) &&
           image.pixelColor(155, 12) == QColor(128, 0, 0);
  };
  QVERIFY(QTest::qWaitFor(shows_window, kWait));
  const auto count = [&](QRect area, QColor colour) {
    int found = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) found += image.pixelColor(x, y) == colour;
    }
    return found;
  };
  QVERIFY(count(QRect(0, 8, 145, 17), QColor(255, 255, 255)) > 20);  // Label1, white
  QVERIFY(count(QRect(0, 376, 241, 17), QColor(255, 255, 0)) > 20);  // Label3, yellow
  QVERIFY(count(QRect(0, 24, 241, 345), QColor(255, 0, 0)) > 200);   // Text1, red
  QCOMPARE(image.pixelColor(2, 388), QColor(128, 0, 0));             // Label3's back

  // Resizing moves nothing and never reveals List1.
  window_->resize(900, 900);
  QTRY_COMPARE_WITH_TIMEOUT(window_->size(), QSize(900, 900), kWait);
  QCOMPARE(Child<QTextEdit>("Text1").geometry(), QRect(0, 24, 241, 345));
  QCOMPARE(Child<QLabel>("Label3").geometry(), QRect(0, 376, 241, 17));
  QVERIFY(Child<QListWidget>("List1").isHidden());
}

void WindowTest::Label3OpensTheWebPage() {
  QDesktopServices::setUrlHandler(u"http"_s, this, "OpenUrl");
  Start();
  auto& label3 = Child<QLabel>("Label3");
  Click(label3, QPoint(label3.width() - 3, label3.height() - 3));  // a corner, not the text
  QTRY_COMPARE_WITH_TIMEOUT(opened_urls_.size(), 1, kWait);
  QCOMPARE(opened_urls_.front(), QUrl(u"http://www.xuvo.example/"_s));
}

void WindowTest::Label1ShowsTheRulesThenOpensTheLibraryInTheEditor_data() {
  QTest::addColumn<QByteArray>("visual");  // empty: unset
  QTest::addColumn<QString>("started");    // the stand-in started; empty: none can be
  QTest::addColumn<QString>("arguments");  // what it is given before the file
  QTest::addColumn<int>("exit_status");
  QTest::addColumn<bool>("outlives_window");  // still running when the window closes
  const QString xdg_open = u"xdg-open"_s;
  const QString terminal = u"x-terminal-emulator"_s;
  const QString in_terminal = u"-e my-editor --new-window "_s;
  QTest::newRow("xdg-open") << QByteArray() << xdg_open << QString() << 0 << false;
  QTest::newRow("xdg-open without a handler")
      << QByteArray() << xdg_open << QString() << 4 << false;
  QTest::newRow("$VISUAL in the terminal emulator")
      << QByteArray("my-editor --new-window") << terminal << in_terminal << 0 << false;
  QTest::newRow("the terminal emulator fails")
      << QByteArray("my-editor --new-window") << terminal << in_terminal << 1 << false;
  QTest::newRow("no editor can be started") << QByteArray() << QString() << QString() << 0 << false;
  QTest::newRow("the editor outlives the window")
      << QByteArray() << xdg_open << QString() << 1 << true;
}

void WindowTest::Label1ShowsTheRulesThenOpensTheLibraryInTheEditor() {
  QFETCH(QByteArray, visual);
  QFETCH(QString, started);
  QFETCH(QString, arguments);
  QFETCH(int, exit_status);
  QFETCH(bool, outlives_window);
  const QString other = started == u"xdg-open"_s ? u"x-terminal-emulator"_s : u"xdg-open"_s;
  if (started.isEmpty()) {
    qputenv("PATH", directory_->path().toUtf8());  // nothing to start there
  } else {
    AddStandIn(started, exit_status);
    AddStandIn(other, 0);
    AddStandIn(u"my-editor"_s, 0);
  }
  const QString stand_in = directory_->filePath(u"bin/"_s + started);
  if (outlives_window) QVERIFY(QFile(stand_in + u".hold"_s).open(QIODevice::WriteOnly));
  qunsetenv("VISUAL");
  qunsetenv("EDITOR");
  if (!visual.isEmpty()) {
    qputenv("VISUAL", visual);
    qputenv("EDITOR", "xdg-open");  // $VISUAL comes first
  }
  if (started == u"xdg-open"_s && exit_status != 0 && !outlives_window) {
    QDir().mkpath(QStringLiteral(TESQUA_ARTIFACTS_DIR));
    box_shot_ = QStringLiteral(TESQUA_ARTIFACTS_DIR "/tesqua-qt-editor-failed.png");
    QFile::remove(box_shot_);
  }
  qApp->installEventFilter(this);

  Start();
  auto& label1 = Child<QLabel>("Label1");
  Click(label1, QPoint(label1.width() - 2, 2));  // a corner, not the text
  if (!started.isEmpty()) {
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stand_in + u".arguments"_s), kWait);
    QCOMPARE(ReadFile(stand_in + u".arguments"_s), arguments + LibraryPath());
    const QString process = u"/proc/"_s + ReadFile(stand_in + u".pid"_s).trimmed();
    if (outlives_window) {
      window_.reset();
      QFile::remove(stand_in + u".hold"_s);
      QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stand_in + u".ended"_s), kWait);  // not killed
    }
    // Reaped: its end has been seen and, if it failed, told.
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(process), kWait);
    QVERIFY(!QFile::exists(directory_->filePath(u"bin/"_s + other + u".arguments"_s)));
  }
  const bool told = (started.isEmpty() || exit_status != 0) && !outlives_window;
  QTRY_COMPARE_WITH_TIMEOUT(message_boxes_.size(), told ? 2 : 1, kWait);
  for (const Box& box : message_boxes_) QCOMPARE(box.title, u"TesquaV2.0"_s);
  QCOMPARE(message_boxes_.front().text,
           u"带参数的函数，请在前面加$,否则容易识别错误!\n编辑完成保存后重新打开程序即可!"_s);
  QCOMPARE(message_boxes_.front().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  if (told) {
    QCOMPARE(message_boxes_.at(1).text,
             u"无法启动文本编辑器，请手动打开特征库文件：\n"_s + LibraryPath());
  }
  QVERIFY(box_shot_.isEmpty() || !QImage(box_shot_).isNull());
}

}  // namespace tesqua

QTEST_MAIN(tesqua::WindowTest)
#include "window_test.moc"
