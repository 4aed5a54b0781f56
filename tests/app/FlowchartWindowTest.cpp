// The flowchart editor in the assembled window beyond the menu commands: a
// program larger than the view, scrolled and zoomed with the mouse and the
// keys; commands copied between two windows; boxes dragged; the flowchart
// exported as a picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QXmlStreamReader>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "UiSteps.h"
#include "app/CControlDlg.h"
#include "app/CDriveApp.h"
#include "app/CDriveView.h"
#include "app/CMainFrame.h"
#include "core/CommandIds.h"
#include "editor/ProgramEditor.h"
#include "editor/ProgramLayout.h"
#include "engine/CDriveSystem.h"
#include "program/DrivingProgram.h"
#include "program/ProgramFile.h"
#include "program/ProgramRunner.h"
#include "support/FakeUiHost.h"
#include "support/ProgramBytes.h"
#include "support/TestDir.h"

namespace viren {
namespace {

// The start chain of 49 commands and ten chains of five timers: 100 records
// in 15 rows, reaching far below the 480 pixels of the view.
std::string HundredCommandFile() {
  ProgramRecords r{};
  r[0] = MakeStartRecord();
  int index = 1;
  auto append = [&](int after) {
    EventRecord& e = r[index];
    e.kind = EVENT_TIMER;
    e.value1 = static_cast<std::int16_t>(index % 60);
    e.next = e.link = -1;
    e.prev = static_cast<std::int16_t>(after);
    if (after != -1) r[after].next = static_cast<std::int16_t>(index);
    return index++;
  };
  int last = 0;
  for (int i = 0; i < 49; ++i) last = append(last);
  for (int chain = 0; chain < 10; ++chain) {
    last = append(-1);
    for (int i = 0; i < 4; ++i) last = append(last);
  }
  LayoutProgram(r.data(), 100);
  return EncodeProgramFile(r.data(), 100);
}

class FlowchartWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "flowchart_window_tests";
    static char* argv[] = {name, nullptr};
    if (!qApp) new QApplication(argc, argv);
  }
  FlowchartWindowTest() {
    std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", dir.File("VIREN.ini"));
    std::filesystem::create_directories(dir.File("sample/program"));
  }
  // A started frame in the program view, showing `program` (a file name in
  // the folder) read at start-up.
  std::unique_ptr<CMainFrame> StartedFrame(const std::string& program = "") {
    std::string option = "[AGREEMENT]\r\nAGREEMENT=1\r\n";
    if (!program.empty()) option += "[EVENT]\r\nFILE_NAME=" + dir.File(program) + "\r\n";
    dir.Write("option.ini", option);
    auto frame = std::make_unique<CMainFrame>(dir.path(), "", &ui);
    frame->show();
    frame->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame->view()->engine().engineReady(); }, 5000));
    frame->ActionFor(ID_VIEW_PROGRAM)->trigger();
    // The window program's host sizes the frame for the program view; the
    // scripted host does not.
    frame->FitFrameToClient(640, 480);
    frame->view()->setFocus();
    QApplication::processEvents();
    return frame;
  }
  static void Wheel(QWidget* view, QPoint at, QPoint angle, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(at, view->mapToGlobal(at), QPoint(), angle, Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &event);
  }
  // Where the command's box centre stands in the view, if it is in view.
  static std::optional<QPoint> BoxCentreInView(CDriveView& view, int index) {
    const EventRecord r = view.engine().program().Record(index);
    const ProgramViewport& v = view.programViewport();
    const Point p = v.ToWidget({r.x + 20, r.y + 20});
    if (p.x < 0 || p.y < 0 || p.x >= v.viewWidth() || p.y >= v.viewHeight()) return std::nullopt;
    return QPoint(p.x, p.y);
  }

  test::TestDir dir;
  test::FakeUiHost ui;
};

// Every command of a 100-command program can be reached with the wheel and
// clicked; the keys page through it and zoom it.
TEST_F(FlowchartWindowTest, aHundredCommandProgramIsReachedByScrollingAndZooming) {
  dir.Write("hundred.ntc", HundredCommandFile());
  auto frame = StartedFrame("hundred.ntc");
  CDriveView& view = *frame->view();
  DrivingProgram& program = view.engine().program();
  ASSERT_EQ(program.count(), 100);
  EXPECT_EQ(view.size(), QSize(640, 480)) << "the view keeps its described size";
  EXPECT_TRUE(view.verticalScrollBar()->isVisible());
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
  EXPECT_FALSE(BoxCentreInView(view, 99)) << "the last row starts out of view";

  // Down the program with the wheel, clicking each box as it comes into view.
  const QPoint middle(300, 200);
  for (int index = 0; index < 100; ++index) {
    for (int notch = 0; notch < 40 && !BoxCentreInView(view, index); ++notch)
      Wheel(&view, middle, QPoint(0, -120));
    const std::optional<QPoint> at = BoxCentreInView(view, index);
    ASSERT_TRUE(at) << "command " << index << " cannot be scrolled into view";
    QTest::mouseClick(&view, Qt::LeftButton, {}, *at);
    ASSERT_EQ(program.selection, index);
  }
  EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
  // The picture shown is the bottom of the flowchart: the last box, with
  // its selection frame, where the mapping says it is.
  const QPoint last = *BoxCentreInView(view, 99);
  EXPECT_EQ(view.grab().toImage().pixelColor(last.x() - 20, last.y()), QColor(0, 0xFF, 0));

  // Home and PageDown, and the arrow keys keep the selection in view.
  QTest::keyClick(&view, Qt::Key_Home);
  EXPECT_EQ(view.verticalScrollBar()->value(), 0);
  QTest::keyClick(&view, Qt::Key_PageDown);
  EXPECT_GT(view.verticalScrollBar()->value(), 0);
  QTest::keyClick(&view, Qt::Key_Home);
  QTest::mouseClick(&view, Qt::LeftButton, {}, *BoxCentreInView(view, 0));
  for (int i = 0; i < 12; ++i) QTest::keyClick(&view, Qt::Key_Down);
  EXPECT_TRUE(BoxCentreInView(view, program.selection));
  EXPECT_GT(program.Record(program.selection).y, 480);

  // Zoom: Ctrl+minus, Ctrl+wheel, and Ctrl+0 for the whole flowchart.
  QTest::keyClick(frame.get(), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_LT(view.programViewport().zoom(), 1.0);
  Wheel(&view, middle, QPoint(0, 120), Qt::ControlModifier);
  Wheel(&view, middle, QPoint(0, 120), Qt::ControlModifier);
  EXPECT_GT(view.programViewport().zoom(), 1.0);
  QTest::keyClick(frame.get(), Qt::Key_0, Qt::ControlModifier);
  EXPECT_FALSE(view.verticalScrollBar()->isVisible()) << "the whole flowchart fits";
  // A click on the zoomed-out picture still selects the box under it.
  const std::optional<QPoint> far = BoxCentreInView(view, 99);
  ASSERT_TRUE(far);
  QTest::mouseClick(&view, Qt::LeftButton, {}, *far);
  EXPECT_EQ(program.selection, 99);
  frame->OnCommand(ID_APP_EXIT);
}

// start -> 3 s timer -> car 100 -> repeat 2 (back to the timer) -> 1 s timer
// that jumps back to the car.
std::string LoopFile() {
  ProgramRecords r{};
  r[0] = MakeStartRecord();
  const EventKind kinds[] = {EVENT_START, EVENT_TIMER, EVENT_CAR, EVENT_REPEAT, EVENT_TIMER};
  const int values[] = {0, 3, 100, 2, 1};
  for (int i = 1; i < 5; ++i) {
    r[i].kind = kinds[i];
    r[i].option = kinds[i] == EVENT_CAR ? 1 : 0;
    r[i].value1 = static_cast<std::int16_t>(values[i]);
    r[i].prev = static_cast<std::int16_t>(i - 1);
    r[i - 1].next = static_cast<std::int16_t>(i);
    r[i].next = r[i].link = -1;
  }
  r[3].link = 1;
  r[4].link = 2;
  LayoutProgram(r.data(), 5);
  return EncodeProgramFile(r.data(), 5);
}

// Saved, read back and written again: the same bytes, in the described
// layout (header, then 32 bytes a record).
void ExpectSavesAndLoadsTheSame(CDriveSystem& engine, const std::string& path) {
  ASSERT_TRUE(engine.programFiles().WriteProgramFile(path));
  ProgramRecords read{};
  int count = 0;
  ASSERT_EQ(ReadProgramBytes(path, read, count), ProgramReadStatus::Ok);
  EXPECT_EQ(count, engine.program().count());
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), static_cast<size_t>(32 + count * 32));
  EXPECT_EQ(bytes.substr(0, 8), std::string(".ntc\x02\0\0\0", 8));
  EXPECT_EQ(EncodeProgramFile(read.data(), count), bytes) << "read and written again";
  const ProgramRecords now = engine.program().Snapshot();
  EXPECT_EQ(std::memcmp(now.data(), read.data(), count * sizeof(EventRecord)), 0);
}

// A chain copied in one window is pasted into another through the
// clipboard, as text another program can read; duplicate and cut work on
// what the selection spans; Ctrl+X stays the unlink key.
TEST_F(FlowchartWindowTest, aChainCopiedInOneWindowIsPastedIntoAnother) {
  dir.Write("loop.ntc", LoopFile());
  auto from = StartedFrame("loop.ntc");
  // The other window is another program folder's, with a program of its own.
  test::TestDir other;
  std::filesystem::copy_file(test::ProgramFolder() + "/VIREN.ini", other.File("VIREN.ini"));
  other.Write("option.ini", "[AGREEMENT]\r\nAGREEMENT=1\r\n");
  test::FakeUiHost otherUi;
  auto frame2 = std::make_unique<CMainFrame>(other.path(), "", &otherUi);
  frame2->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return frame2->view()->engine().engineReady(); }, 5000));
  frame2->ActionFor(ID_VIEW_PROGRAM)->trigger();
  frame2->FitFrameToClient(640, 480);
  CDriveView& a = *from->view();
  CDriveView& b = *frame2->view();
  DrivingProgram& pa = a.engine().program();
  DrivingProgram& pb = b.engine().program();
  ASSERT_EQ(pa.count(), 5);
  ASSERT_EQ(pb.count(), 1);

  // The car, then Shift+click on the last timer and Shift+Left: car..repeat.
  auto centre = [](CDriveView& view, int index) {
    const EventRecord r = view.engine().program().Record(index);
    return QPoint(r.x + 20, r.y + 20);
  };
  from->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(from.get()));
  QTest::mouseClick(&a, Qt::LeftButton, {}, centre(a, 2));
  QTest::mouseClick(&a, Qt::LeftButton, Qt::ShiftModifier, centre(a, 4));
  a.setFocus();
  QTest::keyClick(&a, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(a.engine().editor().SelectedStretch(), (std::pair{2, 3}));
  // Both boxes carry the selection frame.
  const QImage shown = a.grab().toImage();
  EXPECT_EQ(shown.pixelColor(pa.Record(2).x, pa.Record(2).y + 10), QColor(0, 0xFF, 0));
  EXPECT_EQ(shown.pixelColor(pa.Record(3).x, pa.Record(3).y + 10), QColor(0, 0xFF, 0));
  from->UpdateCommands();
  QTest::keyClick(from.get(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(),
            QStringLiteral("VIREN commands 1\nCAR option=1 value1=100 value2=0\n"
                           "REPEAT option=0 value1=2 value2=0\n"))
      << "the repeat's loop leaves the copied commands";

  // Pasted behind the other window's start command.
  frame2->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(frame2.get()));
  QTest::mouseClick(&b, Qt::LeftButton, {}, centre(b, 0));
  frame2->UpdateCommands();
  QTest::keyClick(frame2.get(), Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(pb.count(), 3);
  EXPECT_EQ(pb.Record(0).next, 1);
  EXPECT_EQ(pb.Record(1).kind, EVENT_CAR);
  EXPECT_EQ(pb.Record(1).value1, 100);
  EXPECT_EQ(pb.Record(2).kind, EVENT_REPEAT);
  EXPECT_EQ(pb.Record(2).link, -1);
  EXPECT_EQ(pb.Record(2).x, 128) << "laid out as an insertion is";
  // Ctrl+D: a second copy right behind the pasted two, one undo step.
  frame2->UpdateCommands();
  QTest::keyClick(frame2.get(), Qt::Key_D, Qt::ControlModifier);
  ASSERT_EQ(pb.count(), 5);
  EXPECT_EQ(pb.Record(2).next, 3);
  EXPECT_EQ(pb.Record(4).kind, EVENT_REPEAT);
  QTest::keyClick(frame2.get(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(pb.count(), 3);
  QTest::keyClick(frame2.get(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(pb.count(), 5);
  ExpectSavesAndLoadsTheSame(b.engine(), dir.File("pasted.ntc"));

  // Ctrl+X unlinks as it always did; cut is the Edit menu's.
  from->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(from.get()));
  QTest::mouseClick(&a, Qt::LeftButton, {}, centre(a, 4));
  from->UpdateCommands();
  QTest::keyClick(from.get(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(pa.Record(4).link, -1);
  EXPECT_EQ(pa.Record(4).kind, EVENT_TIMER);
  QTest::mouseClick(&a, Qt::LeftButton, {}, centre(a, 2));
  from->UpdateCommands();
  ASSERT_TRUE(from->ActionFor(ID_CUT_COMMANDS)->isEnabled());
  from->ActionFor(ID_CUT_COMMANDS)->trigger();
  EXPECT_EQ(pa.Record(1).next, 3);
  EXPECT_EQ(pa.Record(2).kind, EVENT_FREE);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral("CAR option=1")));
  frame2->OnCommand(ID_APP_EXIT);
  from->OnCommand(ID_APP_EXIT);
}

// Dragging the head of a chain moves the chain, dragging another box moves
// that box alone; each drag is one undo step; the places are saved.
TEST_F(FlowchartWindowTest, dragMovesABoxOrTheWholeChainFromItsHead) {
  dir.Write("loop.ntc", LoopFile());
  auto frame = StartedFrame("loop.ntc");
  CDriveView& view = *frame->view();
  DrivingProgram& program = view.engine().program();
  ASSERT_EQ(program.count(), 5);
  const ProgramRecords before = program.Snapshot();
  auto drag = [&](QPoint from, QPoint to) {
    QTest::mousePress(&view, Qt::LeftButton, {}, from);
    QTest::mouseMove(&view, (from + to) / 2);
    QTest::mouseMove(&view, to);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
  };

  // The start command heads the chain: all five boxes go 30 right, 100 down.
  drag(QPoint(36, 36), QPoint(66, 136));
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(program.Record(i).x, before[i].x + 30) << i;
    EXPECT_EQ(program.Record(i).y, before[i].y + 100) << i;
  }
  EXPECT_EQ(program.selection, 0);
  EXPECT_EQ(view.grab().toImage().pixelColor(46 + 2, 116 + 2), QColor(0xFF, 0xF9, 0xBD))
      << "the start box is drawn where it went";

  // The car alone, then a click without moving still only selects.
  const EventRecord car = program.Record(2);
  drag(QPoint(car.x + 20, car.y + 20), QPoint(car.x + 20, car.y + 200));
  EXPECT_EQ(program.Record(2).y, car.y + 180) << "dragged 180 down";
  EXPECT_EQ(program.Record(1).y, before[1].y + 100) << "its neighbours stay";
  EXPECT_EQ(program.Record(3).y, before[3].y + 100);
  QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(program.Record(3).x + 20, 136));
  EXPECT_EQ(program.selection, 3);
  EXPECT_EQ(program.Record(3).y, before[3].y + 100);

  // Dragged far up and left, the boxes stop at the canvas edge.
  drag(QPoint(66, 136), QPoint(1, 1));  // (0, 0) would be the middle to QTest
  EXPECT_EQ(program.Record(0).x, 0);
  EXPECT_EQ(program.Record(0).y, 0);
  ExpectSavesAndLoadsTheSame(view.engine(), dir.File("dragged.ntc"));

  // One undo step a drag.
  auto undo = [&] {
    frame->UpdateCommands();
    QTest::keyClick(frame.get(), Qt::Key_Z, Qt::ControlModifier);
  };
  undo();
  EXPECT_EQ(program.Record(0).x, before[0].x + 30);
  undo();
  EXPECT_EQ(program.Record(2).y, before[2].y + 100);
  undo();
  const ProgramRecords undone = program.Snapshot();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(undone[i].y, before[i].y) << i;
  frame->OnCommand(ID_APP_EXIT);
}

// While a program runs the zoomed-in view keeps the running command in view.
TEST_F(FlowchartWindowTest, theViewFollowsTheRunningCommand) {
  std::vector<test::CommandBytes> commands(12, {EVENT_TIMER, 0, 0, 3});
  commands.push_back({EVENT_END});
  dir.Write("steps.ntc", test::ProgramFileBytes(test::StartChain(commands)));
  std::filesystem::copy(test::ProgramFolder() + "/control1", dir.File("control1"),
                        std::filesystem::copy_options::recursive);
  auto frame = StartedFrame("steps.ntc");
  CDriveView& view = *frame->view();
  CDriveSystem& engine = view.engine();
  frame->CreateController();
  frame->OnCommand(ID_SIMULATION);
  frame->OnCommand(ID_VIEW_PROGRAM);
  for (int i = 0; i < 5; ++i) frame->OnCommand(ID_ZOOM_IN);
  ASSERT_DOUBLE_EQ(view.programViewport().zoom(), 4.0);
  QTest::mouseClick(&view, Qt::LeftButton, {}, *BoxCentreInView(view, 0));
  ASSERT_FALSE(BoxCentreInView(view, 9));

  // The controller's auto button starts the run.
  const Rect b = frame->controller()->panel().buttonRect(7);
  const QPoint at((b.left + b.right) / 2, (b.top + b.bottom) / 2);
  QTest::mouseMove(frame->controller(), at);
  QTest::mouseClick(frame->controller(), Qt::LeftButton, {}, at);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.state().autoDriving.load(); }, 3000))
      << ui.messageIds().size();
  for (int command : {5, 9, 11}) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.runner().CurrentCommand() >= command; }, 8000));
    const int now = engine.runner().CurrentCommand();
    EXPECT_TRUE(QTest::qWaitFor([&] { return BoxCentreInView(view, now).has_value(); }, 1000))
        << "command " << now << " is out of view";
  }
  frame->OnCommand(ID_AUTO_DRIVING);
  frame->OnCommand(ID_SIMULATION);
  frame->OnCommand(ID_APP_EXIT);
}

// Types `path` into the save dialog's name box (after choosing `filter`)
// and presses Enter.
test::UiSteps::Step SaveAs(QString path, QString filter = {}) {
  return test::OnModal([path, filter](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog || dialog->acceptMode() != QFileDialog::AcceptSave) return false;
    auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!box || QApplication::focusWidget() != box) return false;
    if (!filter.isEmpty()) dialog->selectNameFilter(filter);
    if (!filter.isEmpty()) emit dialog->filterSelected(filter);
    box->selectAll();
    QTest::keyClicks(box, path);
    QTest::keyClick(box, Qt::Key_Return);
    return true;
  });
}

// The File menu's export writes the whole program, also what lies below the
// view, as PNG, and as SVG when that type is chosen.
TEST_F(FlowchartWindowTest, exportWritesTheWholeProgramAsPngAndSvg) {
  dir.Write("hundred.ntc", HundredCommandFile());
  auto frame = StartedFrame("hundred.ntc");
  CDriveSystem& engine = frame->view()->engine();
  engine.program().selection = 99;
  {
    test::UiSteps script({SaveAs(QString::fromStdString(dir.File("flow")))});
    frame->UpdateCommands();
    frame->ActionFor(ID_EXPORT_PICTURE)->trigger();
    EXPECT_TRUE(script.finished());
  }
  const QImage png(QString::fromStdString(dir.File("flow.png")));
  ASSERT_FALSE(png.isNull()) << "no flow.png";
  EXPECT_EQ(png.size(), QSize(640, 16 + 14 * 56 + 40 + 32)) << "all 15 rows";
  const EventRecord last = engine.program().Record(99);
  EXPECT_EQ(png.pixelColor(last.x + 2, last.y + 2), QColor(0xFF, 0xF9, 0xBD));
  EXPECT_EQ(png.pixelColor(last.x, last.y + 10), QColor(0, 0, 0)) << "no selection frame";

  {
    test::UiSteps script(
        {SaveAs(QString::fromStdString(dir.File("flow")), QStringLiteral("SVG画像 (*.svg)"))});
    frame->ActionFor(ID_EXPORT_PICTURE)->trigger();
    EXPECT_TRUE(script.finished());
  }
  QFile svg(QString::fromStdString(dir.File("flow.svg")));
  ASSERT_TRUE(svg.open(QIODevice::ReadOnly)) << "no flow.svg";
  QXmlStreamReader xml(&svg);
  int boxes = 0;
  int pictures = 0;
  int lines = 0;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name() == QStringLiteral("rect") && xml.attributes().hasAttribute("x")) ++boxes;
    if (xml.name() == QStringLiteral("image")) ++pictures;
    if (xml.name() == QStringLiteral("polyline")) ++lines;
  }
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_EQ(boxes, 100);
  EXPECT_EQ(pictures, 100);
  EXPECT_EQ(lines, 89) << "chain lines: 49 + 10 x 4";
  frame->OnCommand(ID_APP_EXIT);
}

}  // namespace
}  // namespace viren
