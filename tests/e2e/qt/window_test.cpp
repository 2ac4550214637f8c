// The Qt window end to end, on a private X display: the real start-up and event loop run in
// this process, and the program itself runs beside it, while other programs (xclip, xdotool,
// xprop, import) change the clipboard, click the window and read it from outside.
#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <optional>

#include "clipwatch/clipwatch.h"
#include "platform/qt/fm_test.h"
#include "platform/qt/qt_platform.h"

using namespace Qt::StringLiterals;

namespace tesqua {
namespace {

constexpr int kWait = 20000;  // bound of every poll, in milliseconds

const QByteArray kDefaultLibrary =
    "$ZIG\r\n$PEAK\r\n$PEAKBARS\r\n$TROUGH\r\n$TROUGHBARS\r\n$FLATZIG\r\n$FLATZIGA\r\n"
    "$PEAKA\r\n$PEAKBARSA\r\n$TROUGHA\r\n$ZIGA\r\n$FFT\r\n$BACKSET\r\n$WINNER\r\n$LWINNER\r\n"
    "$COST\r\n$DYNAINFO\r\n$FINANCE\r\n$DRAWLINE\r\n#YEAR\r\n#MONTH\r\n#WEEK\r\nCAPITAL\r\n"
    "DCLOSE\r\nDOPEN\r\nDLOW\r\nDVOL\r\n";
// Text1's instructions, each line without its padding spaces.
const QString kInstructions =
    u"\n\n\n\n1、使用方法：只要复制公式代码软\n\n件自动提示是否有未来函数！\n\n"
    u"2、可自定义未来函数特征库，请按\n\n提示编辑特征库以便更加准确识别\n\n"
    u"未来函数！\n\n更多更好的股软请访问Xuvo软件\n\n工作室网站！\n"_s;
const QString kHits = u"{测试} MA1:=MA(C,5); X:=zig(3,5); Y:=DVOL+Peak(1,2,3);"_s;
const QString kHitsVerdict =
    u"\n注意：发现未来函数ZIG！\n注意：发现未来函数PEAK！\n注意：发现未来函数DVOL！"_s;
const QString kNoHits = u"MA5:=MA(CLOSE,5); {均线 ZIG (1)}"_s;
const QString kNoHitVerdict = u"没有发现未来函数！"_s;
const QString kPicture = u"<picture>"_s;  // a copy of a PNG picture and no text
const QString kEmptied = u"<emptied>"_s;  // the program serving the clipboard ends
const QStringList kPaste{u"-selection"_s, u"clipboard"_s, u"-o"_s};

// A stand-in for a program the window starts, first on PATH: it writes down its process and
// its arguments, waits while PROGRAM.hold exists, leaves PROGRAM.ended and exits with the
// status appended.
const QByteArray kStandIn = R"(#!/bin/sh
echo $$ > "$0.pid"; printf '%s' "$*" > "$0.tmp"; mv "$0.tmp" "$0.arguments"
while [ -e "$0.hold" ]; do sleep 0.1; done
: > "$0.ended"; exit )";

// Tools are found on the PATH the tests started with: the window's own programs are not.
const QStringList kToolPath = qEnvironmentVariable("PATH").split(u':');
QString Tool(const QString& name) {
  const QString found = QStandardPaths::findExecutable(name, kToolPath);
  if (found.isEmpty()) qFatal("%s is not installed", qPrintable(name));
  return found;
}

// Runs a tool to its end while this process goes on serving the X display: its output (and
// errors) if it succeeded.
std::optional<QByteArray> RunTool(const QString& tool, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(Tool(tool), arguments);
  process.closeWriteChannel();
  if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWait) ||
      process.error() != QProcess::UnknownError || process.exitCode() != 0) {
    return std::nullopt;
  }
  return process.readAll();
}

QByteArray ReadFile(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
}

bool WriteFile(const QString& name, const QByteArray& bytes) {
  QFile file(name);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QImage Screenshot(const QString& window, const QString& name) {
  const QString file = QStringLiteral(TESQUA_ARTIFACTS_DIR "/") + name;
  return RunTool(u"import"_s, {u"-window"_s, window, file}) ? QImage(file) : QImage();
}

// The X window of a widget as it is now: Qt makes a new one when the window's flags change.
QString XWindow(const QWidget& window) {
  return QString::number(window.windowHandle()->winId());
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> directory_;
  std::unique_ptr<fmTest> window_;
  std::unique_ptr<QProcess> owner_;  // the xclip serving the clipboard

  void Start() {
    window_ = std::make_unique<fmTest>();
    window_->show();
    // The notice of start-up's own emptying of the clipboard comes before the first exposure
    // (the X server sends events in order): every later notice is a change made here.
    QVERIFY(QTest::qWaitForWindowExposed(window_.get(), kWait));
  }
  std::uint64_t Notices() const { return window_->Backend().ClipboardSequenceNumber(); }

  // Another program puts text or a picture on the clipboard, or the one serving it ends;
  // returns once the window has had the notice, or before a start once the copy is served.
  void Copy(const QString& step) {
    const std::uint64_t before = window_ ? Notices() : 0;
    const std::unique_ptr<QProcess> previous = std::move(owner_);  // ends on losing the clipboard
    if (step == kEmptied) previous->kill();
    if (step != kEmptied) {
      const bool picture = step == kPicture;
      owner_ = std::make_unique<QProcess>();
      owner_->start(Tool(u"xclip"_s), {u"-quiet"_s, u"-selection"_s, u"clipboard"_s, u"-t"_s,
                                       picture ? u"image/png"_s : u"UTF8_STRING"_s});
      owner_->write(picture ? ReadFile(TESQUA_ASSETS_DIR "/tesqua-32.png") : step.toUtf8());
      owner_->closeWriteChannel();
    }
    QVERIFY(QTest::qWaitFor(
        [&] { return window_ ? Notices() > before : RunTool(u"xclip"_s, kPaste) == step.toUtf8(); },
        kWait));
    if (previous) previous->waitForFinished(kWait);
  }

  template <typename T = QWidget>
  T& Child(const QString& name) const {
    T* child = window_->findChild<T*>(name);
    if (child == nullptr) qFatal("no control %s", qPrintable(name));
    return *child;
  }

  // A real click: the X server moves the pointer and presses its button.
  void Click(QWidget& control, QPoint at) {
    const QPoint p = control.mapTo(window_.get(), at);
    QVERIFY(RunTool(u"xdotool"_s,
                    {u"mousemove"_s, u"--window"_s, XWindow(*window_), QString::number(p.x()),
                     QString::number(p.y()), u"click"_s, u"1"_s}));
  }

  // Text1 as shown, each line without its padding spaces.
  QString Shown() const {
    QStringList lines = Child<QTextEdit>(u"Text1"_s).toPlainText().split(u'\n');
    for (QString& line : lines) line = line.trimmed();
    return lines.join(u'\n');
  }

 private slots:
  void init() {  // and before each case of a table
    window_.reset();
    if (owner_) owner_->kill(), owner_->waitForFinished(kWait), owner_.reset();
    directory_ = std::make_unique<QTemporaryDir>();
    QVERIFY(directory_->isValid() && QDir::setCurrent(directory_->path()));
  }

  void ClipboardChangesAreScanned() {
    const struct {
      const char* name;
      QByteArray library;  // null: no code.ini yet
      QString before;      // on the clipboard before the start
      QStringList copies;
      QString shown;
      int format;  // GetClipFormat at the end
    } cases[] = {
        {"first start, text held before", {}, kHits, {kNoHits}, kNoHitVerdict, 1},
        {"hits, in library order, any case", {}, {}, {kHits}, kHitsVerdict, 1},
        {"a picture leaves the verdict", {}, {}, {kHits, kPicture}, kHitsVerdict, 2},
        {"emptied leaves the verdict", {}, {}, {kHits, kNoHits, kEmptied}, kNoHitVerdict, 0},
        {"an existing library", "MA\r\n", {}, {kNoHits}, u"\n注意：发现未来函数MA！"_s, 1},
        {"an empty library", "", {}, {kHits}, kInstructions, 1},
    };
    for (const auto& c : cases) {
      qInfo("%s", c.name);
      init();
      if (!c.library.isNull()) QVERIFY(WriteFile(u"code.ini"_s, c.library));
      if (!c.before.isEmpty()) Copy(c.before);
      Start();
      QCOMPARE(Shown(), kInstructions);
      QCOMPARE(RunTool(u"xclip"_s, kPaste), std::nullopt);  // start-up emptied the clipboard
      for (const QString& copy : c.copies) Copy(copy);
      QTRY_COMPARE_WITH_TIMEOUT(Shown(), c.shown, kWait);
      QCOMPARE(GetClipFormat(window_->Backend()), c.format);
      QCOMPARE(ReadFile(u"code.ini"_s), c.library.isNull() ? kDefaultLibrary : c.library);
    }
  }

  void Check1TogglesKeepAbove() {
    Start();
    auto& check1 = Child<QCheckBox>(u"Check1"_s);
    const QPoint position = window_->pos();
    for (const int clicks : {0, 1, 2}) {
      const bool above = clicks != 1;
      if (clicks > 0) Click(check1, QPoint(6, check1.height() / 2));
      QTRY_COMPARE_WITH_TIMEOUT(check1.isChecked(), above, kWait);
      QCOMPARE(window_->windowFlags().testFlag(Qt::WindowStaysOnTopHint), above);
      // Without a window manager, the state the window asks for when it is mapped again.
      QVERIFY(QTest::qWaitForWindowExposed(window_.get(), kWait));
      QCOMPARE(window_->pos(), position);
      const QByteArray state =
          RunTool(u"xprop"_s, {u"-id"_s, XWindow(*window_), u"_NET_WM_STATE"_s}).value_or("");
      QVERIFY2(state.startsWith("_NET_WM_STATE") && state.contains("_ABOVE") == above, state);
    }
  }

  void ControlsKeepTheirPlaceAndColours() {
    Start();
    window_->setGeometry(0, 0, 300, 450);  // controls stay put when the window grows
    QTRY_COMPARE_WITH_TIMEOUT(window_->geometry(), QRect(0, 0, 300, 450), kWait);
    const QColor white(255, 255, 255), dark_red(128, 0, 0), light_yellow(255, 255, 192);
    QImage shot;
    QVERIFY(QTest::qWaitFor(
        [&] {  // painted: Text1's light yellow and the window's dark red are on the screen
          shot = Screenshot(XWindow(*window_), u"tesqua-qt.png"_s);
          return shot.pixelColor(230, 340) == light_yellow && shot.pixelColor(290, 440) == dark_red;
        },
        kWait));
    const struct {
      const char* name;
      QRect rect;
      QString text;
      QColor fore, back;
    } controls[] = {
        {"Label1", {0, 8, 145, 17}, u"点此编辑未来函数特征库"_s, white, dark_red},
        {"Check1", {168, 8, 73, 17}, u"窗口置顶"_s, white, dark_red},
        {"Text1", {0, 24, 241, 345}, {}, QColor(255, 0, 0), light_yellow},
        {"Label3", {0, 376, 241, 17}, u"访问Xuvo软件工作室网站"_s, QColor(255, 255, 0), dark_red},
    };
    for (const auto& c : controls) {
      QWidget& control = Child(QString::fromLatin1(c.name));
      QCOMPARE(control.geometry(), c.rect);
      QCOMPARE(control.property("text").toString(), c.text);
      const QImage area = shot.copy(c.rect);
      int fore = 0, back = 0;  // pixels of each colour
      for (int i = 0; i < area.width() * area.height(); ++i) {
        fore += area.pixelColor(i % area.width(), i / area.width()) == c.fore;
        back += area.pixelColor(i % area.width(), i / area.width()) == c.back;
      }
      QVERIFY2(fore > 20 && back * 4 > area.width() * area.height(),
               qPrintable(u"%1: %2 %3"_s.arg(c.name).arg(fore).arg(back)));
    }
    QVERIFY(Child<QLabel>(u"Label3"_s).alignment() & Qt::AlignHCenter);
    QVERIFY(Child(u"List1"_s).isHidden());
    const QFont font = Child(u"Text1"_s).font();
    QCOMPARE(font.families().front(), u"宋体"_s);
    QCOMPARE(font.pointSizeF(), 10.5);
    QCOMPARE(font.weight(), QFont::Bold);
    // The faces drawn have the Chinese glyphs.
    QVERIFY(QRawFont::fromFont(font).supportsCharacter(U'未'));
    QVERIFY(QRawFont::fromFont(window_->font()).supportsCharacter(U'未'));
  }

  // Label1 shows the rules, then opens code.ini in an editor; Label3 opens the web page.
  void LabelsStartPrograms() {
    const QString terminal = u"x-terminal-emulator"_s, xdg_open = u"xdg-open"_s;
    const QString in_terminal = u"-e my-editor --new-window %1"_s;  // %1: code.ini's full path
    const QByteArray visual = "my-editor --new-window";
    const struct {
      const char* name;
      const char* label;
      QByteArray visual;  // empty: unset
      QString started;    // the stand-in started; empty: none can be
      QString arguments;
      int exit_status;
      int boxes;  // shown: the rules, then the one naming code.ini
      bool outlives_window;
    } cases[] = {
        {"xdg-open", "Label1", {}, xdg_open, u"%1"_s, 0, 1, false},
        {"xdg-open fails", "Label1", {}, xdg_open, u"%1"_s, 4, 2, false},
        {"$VISUAL in the terminal", "Label1", visual, terminal, in_terminal, 0, 1, false},
        {"the terminal fails", "Label1", visual, terminal, in_terminal, 1, 2, false},
        {"no editor can start", "Label1", {}, {}, {}, 0, 2, false},
        {"the editor outlives the window", "Label1", {}, xdg_open, u"%1"_s, 1, 1, true},
        {"the web page", "Label3", {}, xdg_open, u"http://www.xuvo.example/"_s, 0, 0, false},
    };
    for (const auto& c : cases) {
      qInfo("%s", c.name);
      init();
      const QString library = QDir::current().filePath(u"code.ini"_s);
      const QString bin = QDir::current().filePath(u"bin"_s), stand_in = bin + u'/' + c.started;
      QVERIFY(QDir().mkpath(bin));
      for (const QString& program : {xdg_open, terminal, u"my-editor"_s}) {
        const int status = program == c.started ? c.exit_status : 0;
        QVERIFY(c.started.isEmpty() ||
                WriteFile(bin + u'/' + program, kStandIn + QByteArray::number(status) + '\n'));
        QFile::setPermissions(bin + u'/' + program, QFile::ReadOwner | QFile::ExeOwner);
      }
      qputenv("PATH", (c.started.isEmpty() ? bin : bin + u':' + kToolPath.join(u':')).toUtf8());
      qputenv("VISUAL", c.visual);
      qputenv("EDITOR", c.visual.isEmpty() ? "" : "xdg-open");  // $VISUAL comes first
      if (c.outlives_window) QVERIFY(WriteFile(stand_in + u".hold"_s, {}));

      // The user reads each box and presses OK; the box naming code.ini is kept as a screenshot.
      QStringList boxes;
      QTimer reader;
      connect(&reader, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !QTest::qWaitForWindowExposed(box, kWait)) return;
        const bool ok_only = box->standardButtons() == QMessageBox::Ok;
        boxes << box->windowTitle() + (ok_only ? u" OK: "_s : u" ?: "_s) + box->text();
        if (boxes.size() == 2) Screenshot(XWindow(*box), u"tesqua-qt-editor-failed.png"_s);
        box->accept();
      });
      reader.start(100);

      Start();
      QWidget& label = Child(QString::fromLatin1(c.label));
      Click(label, QPoint(label.width() - 3, label.height() - 3));  // a corner, not the text
      if (!c.started.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stand_in + u".arguments"_s), kWait);
        QCOMPARE(ReadFile(stand_in + u".arguments"_s),
                 QString(c.arguments).replace(u"%1"_s, library).toUtf8());
        if (c.outlives_window) {
          window_.reset();
          QFile::remove(stand_in + u".hold"_s);
          QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stand_in + u".ended"_s), kWait);  // not killed
        }
        // Reaped: its end has been seen and, if it failed, told.
        const QString process = u"/proc/"_s + ReadFile(stand_in + u".pid"_s).trimmed();
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(process), kWait);
      }
      const QStringList shown{
          u"TesquaV2.0 OK: 带参数的函数，请在前面加$,否则容易识别错误!\n编辑完成保存后重新打开程序即可!"_s,
          u"TesquaV2.0 OK: 无法启动文本编辑器，请手动打开特征库文件：\n"_s + library};
      QTRY_COMPARE_WITH_TIMEOUT(boxes, shown.mid(0, c.boxes), kWait);
      // No other program was started.
      QCOMPARE(QDir(bin).entryList({u"*.arguments"_s}),
               c.started.isEmpty() ? QStringList() : QStringList{c.started + u".arguments"_s});
    }
  }

  // The tesqua program as users start it, read from outside.
  void TheProgram() {
    QProcess tesqua;
    tesqua.start(QStringLiteral(TESQUA_PROGRAM));
    std::optional<QByteArray> found;
    QVERIFY(QTest::qWaitFor(
        [&] {
          return (found = RunTool(u"xdotool"_s, {u"search"_s, u"--name"_s, u"^TesquaV2.0$"_s}))
              .has_value();
        },
        kWait));
    const QString id = QString::fromLatin1(found->trimmed());
    const QByteArray seen =
        RunTool(u"xprop"_s, {u"-id"_s, id, u"WM_NAME"_s, u"WM_CLASS"_s, u"_NET_WM_ICON"_s})
            .value_or("") +
        RunTool(u"xwininfo"_s, {u"-id"_s, id}).value_or("");
    // Flush right and centred vertically on the 1280 x 1024 screen, without a frame.
    for (const char* expected :
         {R"(WM_NAME\(\w+\) = "TesquaV2.0")", R"(WM_CLASS\(STRING\) = "tesqua", "tesqua")",
          R"(_NET_WM_ICON\(CARDINAL\) = )", "upper-left X:  1038\n", "upper-left Y:  31[56]\n",
          "Width: 242\n", "Height: 393\n"}) {
      QVERIFY2(QRegularExpression(QString::fromLatin1(expected)).match(seen).hasMatch(), seen);
    }
    QVERIFY(!Screenshot(id, u"tesqua-program.png"_s).isNull());
    tesqua.kill();
    tesqua.waitForFinished(kWait);
    // Without a display, the starter says how to get one, and fails.
    const QString run = QStringLiteral(TESQUA_SOURCE_DIR "/script/run");
    const auto said = RunTool(u"env"_s, {u"-u"_s, u"DISPLAY"_s, u"-u"_s, u"WAYLAND_DISPLAY"_s,
                                         u"sh"_s, u"-c"_s, run + u" 2>&1; [ $? != 0 ]"_s});
    QVERIFY2(said && said->contains("xvfb-run -a " + run.toUtf8()), said.value_or("succeeded"));
  }
};

}  // namespace tesqua

QTEST_MAIN(tesqua::WindowTest)
#include "window_test.moc"
