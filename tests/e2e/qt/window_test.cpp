// The Qt window end to end on a private X display: the real start-up and event loop here, the
// program beside it, and xclip, xdotool, xprop, xwininfo and import acting from outside.
#include <QtTest>
#include <QtWidgets>

#include "clipwatch/clipwatch.h"
#include "platform/qt/fm_test.h"
#include "platform/qt/qt_platform.h"
#include "tesqua_version.h"

using namespace Qt::StringLiterals;

namespace tesqua {
namespace {

constexpr int kWait = 20000;  // bound of every poll, in milliseconds

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

// A program the window starts: writes down its process and arguments, waits while
// PROGRAM.hold exists, leaves PROGRAM.ended and exits with the status appended.
const QByteArray kStandIn = R"(#!/bin/sh
echo $$ > "$0.pid"; printf '%s' "$*" > "$0.tmp"; mv "$0.tmp" "$0.arguments"
while [ -e "$0.hold" ]; do sleep 0.1; done
: > "$0.ended"; exit )";

const QString kToolPath = u"PATH="_s + qEnvironmentVariable("PATH");  // the PATH tools run with

// Runs a command to its end while this process serves the display: its output if it succeeded.
std::optional<QByteArray> Shell(const QString& command) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(u"/usr/bin/env"_s, {kToolPath, u"sh"_s, u"-c"_s, command});
  const bool ok = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWait) &&
                  process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
  return ok ? std::optional(process.readAll()) : std::nullopt;
}

QByteArray ReadFile(const QString& name) {
  QFile file(name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : "(unreadable)";
}
const QByteArray kDefaultLibrary = ReadFile(TESQUA_SOURCE_DIR "/tests/data/default_code.ini");

bool WriteFile(const QString& name, const QByteArray& bytes) {
  QFile file(name);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The window as the X server shows it, kept in the artifacts.
QImage Screenshot(const QWidget& window, const QString& name) {
  const QString file = QStringLiteral(TESQUA_ARTIFACTS_DIR "/") + name;
  const auto id = window.windowHandle()->winId();
  return Shell(u"import -window %1 %2"_s.arg(id).arg(file)) ? QImage(file) : QImage();
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> directory_;
  std::unique_ptr<fmTest> window_;
  std::unique_ptr<QProcess> owner_;  // the xclip serving the clipboard

  void Start() {
    window_ = std::make_unique<fmTest>();
    window_->show();  // start-up's own emptying is noticed before the first exposure
    QVERIFY(QTest::qWaitForWindowExposed(window_.get(), kWait));
  }

  // Another program copies text or a picture, or the one serving the clipboard ends; returns
  // once the window has had the notice, or before a start once the copy is served.
  void Copy(const QString& step) {
    const auto notices = [&] { return window_->Backend().ClipboardSequenceNumber(); };
    const std::uint64_t before = window_ ? notices() : 0;
    const std::unique_ptr<QProcess> previous = std::move(owner_);  // ends on losing the clipboard
    if (step == kEmptied) {
      previous->kill();
    } else {
      const bool picture = step == kPicture;
      owner_ = std::make_unique<QProcess>();
      owner_->start(u"xclip"_s, {u"-quiet"_s, u"-selection"_s, u"clipboard"_s, u"-t"_s,
                                 picture ? u"image/png"_s : u"UTF8_STRING"_s});
      owner_->write(picture ? ReadFile(TESQUA_ASSETS_DIR "/tesqua-32.png") : step.toUtf8());
      owner_->closeWriteChannel();
    }
    const auto served = [&] { return Shell(u"xclip -selection clipboard -o"_s) == step.toUtf8(); };
    QVERIFY(QTest::qWaitFor([&] { return window_ ? notices() > before : served(); }, kWait));
  }

  QWidget& Child(const char* name) const { return *window_->findChild<QWidget*>(name); }

  // Text1 as shown, without the padding spaces of the instructions.
  QString Shown() const { return Child("Text1").property("plainText").toString().remove(u' '); }

 private slots:
  void init() {  // and before each case of a table
    window_.reset();
    qputenv("PATH", kToolPath.mid(5).toUtf8());
    owner_.reset();  // kills the xclip serving the clipboard
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
        {"hits in library order, then a picture", {}, {}, {kHits, kPicture}, kHitsVerdict, 2},
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
      QCOMPARE(Shell(u"xclip -selection clipboard -o"_s), std::nullopt);  // emptied at start
      for (const QString& copy : c.copies) Copy(copy);
      QTRY_COMPARE_WITH_TIMEOUT(Shown(), c.shown, kWait);
      QCOMPARE(GetClipFormat(window_->Backend()), c.format);
      QCOMPARE(ReadFile(u"code.ini"_s), c.library.isNull() ? kDefaultLibrary : c.library);
    }
  }

  void ControlsKeepTheirPlaceAndColours() {
    Start();
    window_->setGeometry(0, 0, 300, 450);  // controls stay put when the window grows
    const QColor white(255, 255, 255), dark_red(128, 0, 0), light_yellow(255, 255, 192);
    QImage shot;
    const auto painted = [&] {  // Text1's light yellow and the grown window's dark red on screen
      shot = Screenshot(*window_, u"tesqua-qt.png"_s);
      return shot.pixelColor(230, 340) == light_yellow && shot.pixelColor(290, 440) == dark_red;
    };
    QVERIFY(QTest::qWaitFor(painted, kWait));
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
      QCOMPARE(Child(c.name).geometry(), c.rect);
      QCOMPARE(Child(c.name).property("text").toString(), c.text);
      const QImage area = shot.copy(c.rect).convertToFormat(QImage::Format_RGB32);
      const auto* pixels = reinterpret_cast<const QRgb*>(area.constBits());
      const qsizetype size = area.width() * area.height(),
                      fore = std::count(pixels, pixels + size, c.fore.rgb()),
                      back = std::count(pixels, pixels + size, c.back.rgb());
      QVERIFY2(fore > 20 && back * 4 > size,
               qPrintable(u"%1: %2 %3"_s.arg(c.name).arg(fore).arg(back)));
    }
    QVERIFY(qobject_cast<QLabel*>(&Child("Label3"))->alignment() & Qt::AlignHCenter);
    QVERIFY(Child("List1").isHidden());
    const QFont font = Child("Text1").font();
    QCOMPARE(std::tuple(font.family(), font.pointSizeF(), font.weight()),
             std::tuple(u"宋体"_s, 10.5, QFont::Bold));
    QVERIFY(QRawFont::fromFont(font).supportsCharacter(U'未') &&  // faces with Chinese glyphs
            QRawFont::fromFont(window_->font()).supportsCharacter(U'未'));
  }

  // Label1 shows the rules, then opens code.ini in an editor; Label3 opens the web page. A
  // failure to open either shows a box naming the file or the address.
  void LabelsStartPrograms() {
    const QString terminal = u"x-terminal-emulator"_s, xdg_open = u"xdg-open"_s;
    const QString in_terminal = u"-e my-editor --new-window %1"_s;  // %1: code.ini's full path
    const struct {
      const char* name;
      const char* label;
      QString started, arguments;  // the stand-in started and its arguments; empty: none can be
      int exit_status, boxes;      // Label1's boxes: the rules, then the one naming code.ini
      bool outlives_window;
      bool unwritable = false;  // code.ini cannot be written: one box saying so, no editor
    } cases[] = {
        {"xdg-open", "Label1", xdg_open, u"%1"_s, 0, 1, false},
        {"xdg-open fails", "Label1", xdg_open, u"%1"_s, 4, 2, false},
        {"$VISUAL in the terminal", "Label1", terminal, in_terminal, 0, 1, false},
        {"the terminal fails", "Label1", terminal, in_terminal, 1, 2, false},
        {"no editor can start", "Label1", {}, {}, 0, 2, false},
        {"the editor outlives the window", "Label1", xdg_open, u"%1"_s, 1, 1, true},
        {"the web page", "Label3", xdg_open, u"http://www.xuvo.example/"_s, 0, 0, false},
        {"xdg-open finds no browser", "Label3", xdg_open, u"http://www.xuvo.example/"_s, 3, 1,
         false},
        {"no xdg-open", "Label3", {}, {}, 0, 1, false},
        {"a folder that cannot hold code.ini", "Label1", {}, {}, 0, 1, false, true},
    };
    for (const auto& c : cases) {
      qInfo("%s", c.name);
      init();
      const QString library = QDir::current().filePath(u"code.ini"_s);
      const QString bin = QDir::current().filePath(u"bin"_s), stand_in = bin + u'/' + c.started;
      QVERIFY(QDir().mkpath(bin));
      for (const QString& program : {xdg_open, terminal, u"my-editor"_s}) {
        QVERIFY(c.started.isEmpty() ||
                (WriteFile(bin + u'/' + program, kStandIn + QByteArray::number(c.exit_status)) &&
                 QFile::setPermissions(bin + u'/' + program, QFile::ReadOwner | QFile::ExeOwner)));
      }
      qputenv("PATH", (c.started.isEmpty() ? bin : bin + u':' + kToolPath.mid(5)).toUtf8());
      const bool visual = c.started == terminal;
      qputenv("VISUAL", visual ? "my-editor --new-window" : "");
      qputenv("EDITOR", visual ? "xdg-open" : "");  // $VISUAL comes first
      if (c.outlives_window) QVERIFY(WriteFile(stand_in + u".hold"_s, {}));
      // Nothing can be created in a removed current folder.
      if (c.unwritable) QVERIFY(QDir(directory_->path()).removeRecursively());

      // The user reads each box and presses OK; a box naming code.ini or the address is kept as
      // a screenshot.
      QStringList boxes;
      const bool label1 = std::string_view(c.label) == "Label1";
      QTimer reader;
      connect(&reader, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !QTest::qWaitForWindowExposed(box, kWait)) return;
        const bool ok_only = box->standardButtons() == QMessageBox::Ok;
        boxes << box->windowTitle() + (ok_only ? u" OK: "_s : u" ?: "_s) + box->text();
        if (boxes.size() == (label1 ? 2 : 1))  // the failure's box
          Screenshot(*box, u"tesqua-qt-%1-failed.png"_s.arg(label1 ? "editor"_L1 : "browser"_L1));
        if (c.unwritable) Screenshot(*box, u"tesqua-qt-library-in-memory.png"_s);
        box->accept();
      });
      reader.start(100);
      Start();
      const QPoint p = Child(c.label).geometry().bottomRight() - QPoint(2, 2);  // a real X click
      QVERIFY(Shell(QString::asprintf("xdotool mousemove --window %llu %d %d click 1",
                                      qulonglong(window_->windowHandle()->winId()), p.x(), p.y())));
      if (!c.started.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(ReadFile(stand_in + u".arguments"_s),
                                  QString(c.arguments).replace(u"%1"_s, library).toUtf8(), kWait);
        if (c.outlives_window) {
          window_.reset();
          QFile::remove(stand_in + u".hold"_s);
          QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stand_in + u".ended"_s), kWait);  // not killed
        }
        // Reaped, so a failure would have been told by now.
        QTRY_VERIFY_WITH_TIMEOUT(
            !QFile::exists(u"/proc/"_s + ReadFile(stand_in + u".pid"_s).trimmed()), kWait);
      }
      const QStringList shown{
          u"TesquaV2.0 OK: 带参数的函数，请在前面加$,否则容易识别错误!\n编辑完成保存后重新打开程序即可!"_s,
          u"TesquaV2.0 OK: 无法启动文本编辑器，请手动打开特征库文件：\n"_s + library,
          u"TesquaV2.0 OK: 无法在当前文件夹中写入特征库文件 code.ini，现在使用的是内置的特征库。\n"
          u"要编辑特征库，请在您可以写入的文件夹（例如“文档”，而不是 Program Files）中运行本程序，"
          u"然后再点此编辑。"_s};
      const QStringList web{
          u"TesquaV2.0 OK: 无法打开网页，请在浏览器中访问：\nhttp://www.xuvo.example/"_s};
      QTRY_COMPARE_WITH_TIMEOUT(boxes, (label1 ? shown : web).mid(c.unwritable ? 2 : 0, c.boxes),
                                kWait);
      QCOMPARE(QDir(bin).entryList({u"*.arguments"_s}),  // and no other program ran
               c.started.isEmpty() ? QStringList() : QStringList{c.started + u".arguments"_s});
    }
  }

  // The tesqua program as users start it, read from outside (found by its caption). Each click
  // on Check1 toggles keep-above (with no window manager: what the window asks for when mapped).
  void TheProgram() {
    QProcess tesqua;  // killed at the end
    tesqua.start(QStringLiteral(TESQUA_PROGRAM));
    const QString window =
        u"id=$(xdotool search --onlyvisible --name '^TesquaV2.0$' | head -n 1) && [ \"$id\" ] && "_s;
    const QString read =
        u"xprop -len 16 -id $id WM_CLASS _NET_WM_ICON _NET_WM_STATE && xwininfo -id $id && "
        u"import -window $id " TESQUA_ARTIFACTS_DIR u"/tesqua-program.png"_s;
    QByteArray seen;
    for (const int clicks : {0, 1, 2}) {
      if (clicks > 0) QVERIFY(Shell(window + u"xdotool mousemove --window $id 174 16 click 1"_s));
      const auto shows = [&] {  // flush right and centred vertically on the 1280 x 1024 screen
        seen = Shell(window + read).value_or("");
        return seen.contains("WM_CLASS(STRING) = \"tesqua\", \"tesqua\"") &&
               seen.contains("_NET_WM_ICON(CARDINAL) = ") &&
               seen.contains("_NET_WM_STATE_ABOVE") == (clicks != 1) &&
               seen.contains("Absolute upper-left X:  1038\n") &&
               (seen.contains("upper-left Y:  315\n") || seen.contains("upper-left Y:  316\n")) &&
               seen.contains("Width: 242\n") && seen.contains("Height: 393\n");
      };
      QVERIFY2(QTest::qWaitFor(shows, kWait), seen);
    }
    // Without a display, the starter says how to get one, and fails.
    const QString run = QStringLiteral(TESQUA_SOURCE_DIR "/script/run");
    const auto said = Shell(u"env -u DISPLAY -u WAYLAND_DISPLAY "_s + run + u"; [ $? != 0 ]"_s);
    QVERIFY2(said && said->contains("xvfb-run -a " + run.toUtf8()), said.value_or("succeeded"));
  }

  // The program's command line, answered without a display (--version: in the package check);
  // the menu entry's command with one, the home and configuration folders temporary.
  void TheCommandLineAndTheMenuEntry() {
    const QString program = QStringLiteral(TESQUA_PROGRAM);
    const std::tuple<QString, QByteArray, int> commands[] = {
        // a part of the output (all of it without a DISPLAY), the status
        {u"tesqua --help"_s,
         "from the desktop menu (with --config-folder), Tesqua works in ~/.config/", 0},
        {u"tesqua --help --verbose"_s, "tesqua: unknown option --verbose\n", 2},
        {u"tesqua"_s, "tesqua: needs a desktop session (X11 or XWayland); DISPLAY is not set\n1\n",
         1},
        {u"DISPLAY=:9999 tesqua"_s,
         "tesqua: needs a desktop session (X11 or XWayland); no display could be opened "
         "(DISPLAY=:9999)\n1\n",
         1}};
    for (const auto& [command, part, status] : commands) {
      const auto said = Shell(
          u"env -u DISPLAY %1 2>&1; echo $?"_s.arg(QString(command).replace(u"tesqua"_s, program)));
      QVERIFY2(said && said->contains(part) && said->endsWith(QByteArray::number(status) + '\n') &&
                   (command != u"tesqua"_s || *said == part),
               said.value_or("failed"));
    }
    const QString exec =
        QSettings(TESQUA_SOURCE_DIR "/platform/qt/tesqua.desktop"_L1, QSettings::IniFormat)
            .value("Desktop Entry/Exec")
            .toString();
    const struct {
      QByteArray home, folder;  // code.ini before, in the home folder and in the new one
      QByteArray home_after, folder_after;  // and after the start ("(unreadable)": none)
    } starts[] = {{"MA\r\n", {}, "(unreadable)", "MA\r\n"},  // moved to the folder, made for it
                  {"MA\r\n", "DVOL\r\n", "MA\r\n", "DVOL\r\n"}};  // one already there: both stay
    for (const auto& c : starts) {
      init();
      const QString home = QDir::current().filePath(u"home"_s),
                    config = QDir::current().filePath(u"config"_s), folder = config + u"/tesqua"_s;
      for (const auto& [where, bytes] : {std::pair(home, c.home), std::pair(folder, c.folder)})
        QVERIFY(bytes.isNull() ||
                (QDir().mkpath(where) && WriteFile(where + u"/code.ini"_s, bytes)));
      QProcess tesqua;
      tesqua.start(u"env"_s, {u"HOME="_s + home, u"XDG_CONFIG_HOME="_s + config,
                              u"PATH="_s + QFileInfo(program).path() + u':' + kToolPath.mid(5),
                              u"sh"_s, u"-c"_s, u"exec "_s + exec});
      const QString shown = u"xdotool search --onlyvisible --pid %1"_s.arg(tesqua.processId());
      QVERIFY(QTest::qWaitFor([&] { return Shell(shown).has_value(); }, kWait));
      QCOMPARE(QFile::symLinkTarget(u"/proc/%1/cwd"_s.arg(tesqua.processId())), folder);
      QCOMPARE(ReadFile(home + u"/code.ini"_s), c.home_after);
      QCOMPARE(ReadFile(folder + u"/code.ini"_s), c.folder_after);
      tesqua.kill();
      QVERIFY(tesqua.waitForFinished(kWait));
    }
  }
};

}  // namespace tesqua

QTEST_MAIN(tesqua::WindowTest)
#include "window_test.moc"
