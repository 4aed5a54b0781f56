// The capture's dialogs offscreen, answered as a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "FakeCameraControls.h"
#include "capture/ui/CCameraFormatDlg.h"
#include "capture/ui/QtCaptureDialogs.h"
#include "support/TestDir.h"

namespace viren {
namespace {

QApplication* app = nullptr;

// The application object goes before the test program's statics do.
class QtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "capture_ui_tests";
    static char* argv[] = {name, nullptr};
    app = new QApplication(argc, argv);
  }
  void TearDown() override {
    delete app;
    app = nullptr;
  }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

// Runs `act` on the modal dialog of type T once it is open; `seen` tells
// whether it ever opened.
template <typename T>
void AnswerWhenOpen(std::function<void(T*)> act, bool& seen, int triesLeft = 400) {
  QTimer::singleShot(5, [act = std::move(act), &seen, triesLeft]() mutable {
    auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible()) {
      if (triesLeft > 0) AnswerWhenOpen<T>(std::move(act), seen, triesLeft - 1);
      return;
    }
    seen = true;
    act(dialog);
    // A dialog the answer did not close fails the test instead of hanging it.
    QPointer<QDialog> open(dialog);
    QTimer::singleShot(3000, [open] {
      if (!open || !open->isVisible()) return;
      ADD_FAILURE() << "the dialog stayed open";
      open->reject();
    });
  });
}

QStringList ListTexts(const QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
  return texts;
}

const std::vector<FrameSize> kOffered = {{640, 480}, {160, 120}, {320, 240}, {1280, 720}};

TEST(CCameraFormatDlgTest, listsTheSizesSmallestFirstWithTheCurrentOneSelected) {
  CCameraFormatDlg dlg("USB Camera (046d:0825)", kOffered, {320, 240});
  EXPECT_TRUE(dlg.isModal());
  EXPECT_EQ(dlg.windowTitle(), QStringLiteral("USB Camera (046d:0825)"));
  EXPECT_EQ(ListTexts(dlg.sizeList()),
            (QStringList{"160 x 120", "320 x 240", "640 x 480", "1280 x 720"}));
  ASSERT_TRUE(dlg.selectedSize().has_value());
  EXPECT_EQ(*dlg.selectedSize(), (FrameSize{320, 240}));
  EXPECT_EQ(dlg.cancelButton()->text(), QString::fromUtf8("キャンセル"));
  EXPECT_TRUE(dlg.okButton()->isEnabled());

  // A size the camera does not offer: the smallest is selected; a repeated
  // or empty size is listed once or not at all.
  CCameraFormatDlg other("cam", {{640, 480}, {640, 480}, {0, 0}, {320, 240}}, {800, 600});
  EXPECT_EQ(ListTexts(other.sizeList()), (QStringList{"320 x 240", "640 x 480"}));
  EXPECT_EQ(*other.selectedSize(), (FrameSize{320, 240}));
}

TEST(CCameraFormatDlgTest, aCameraThatListsNoSizesIsOfferedTheCommonOnesAndItsOwn) {
  CCameraFormatDlg dlg("cam", {}, {352, 288});
  EXPECT_EQ(ListTexts(dlg.sizeList()), (QStringList{"160 x 120", "320 x 240", "352 x 288",
                                                    "640 x 480", "800 x 600", "1280 x 720"}));
  EXPECT_EQ(*dlg.selectedSize(), (FrameSize{352, 288}));
}

// The camera's own controls beside the sizes, as a person uses them.
TEST(CCameraFormatDlgTest, controlsSetTheCameraAsTheyChangeAndResetPutsItsDefaultsBack) {
  using namespace test;
  auto device = FakeCameraControls::Webcam();
  FakeCameraControls controls(device);
  CCameraFormatDlg dlg("cam", kOffered, {320, 240}, &controls);
  ASSERT_NE(dlg.findChild<QWidget*>(QStringLiteral("controls")), nullptr);
  auto* brightness = qobject_cast<QSpinBox*>(dlg.controlWidget(kBrightness));
  auto* mode = qobject_cast<QComboBox*>(dlg.controlWidget(kExposureMode));
  auto* time = qobject_cast<QSpinBox*>(dlg.controlWidget(kExposureTime));
  auto* whiteBalance = qobject_cast<QCheckBox*>(dlg.controlWidget(kAutoWhiteBalance));
  ASSERT_TRUE(brightness && mode && time && whiteBalance);
  EXPECT_EQ(brightness->value(), 128);
  EXPECT_EQ(mode->currentText(), QStringLiteral("Aperture Priority Mode"));
  EXPECT_FALSE(time->isEnabled());  // governed by automatic exposure
  EXPECT_TRUE(whiteBalance->isChecked());

  brightness->setValue(90);
  EXPECT_EQ(FakeCameraControls::ValueOf(*device, kBrightness), 90);
  mode->setCurrentIndex(mode->findText(QStringLiteral("Manual Mode")));
  emit mode->activated(mode->currentIndex());
  EXPECT_EQ(FakeCameraControls::ValueOf(*device, kExposureMode), kExposureManual);
  EXPECT_TRUE(time->isEnabled());
  time->setValue(500);
  EXPECT_EQ(FakeCameraControls::ValueOf(*device, kExposureTime), 500);
  whiteBalance->click();
  EXPECT_EQ(FakeCameraControls::ValueOf(*device, kAutoWhiteBalance), 0);
  // A value the camera refuses shows what it kept.
  time->setValue(2047);
  device->controls.back().maximum = 1000;
  time->setValue(1500);
  EXPECT_EQ(time->value(), 2047);

  dlg.resetButton()->click();
  for (const CameraControl& c : device->controls) EXPECT_EQ(c.value, c.defaultValue) << c.name;
  EXPECT_EQ(brightness->value(), 128);
  EXPECT_FALSE(time->isEnabled());
  EXPECT_EQ(mode->currentText(), QStringLiteral("Aperture Priority Mode"));
}

TEST(CCameraFormatDlgTest, aCameraWithoutControlsShowsTheSizeListAlone) {
  test::FakeCameraControls none(std::make_shared<test::FakeCameraControls::State>());
  for (CameraControls* controls :
       {static_cast<CameraControls*>(nullptr), static_cast<CameraControls*>(&none)}) {
    CCameraFormatDlg dlg("cam", kOffered, {320, 240}, controls);
    EXPECT_EQ(dlg.findChild<QWidget*>(QStringLiteral("controls")), nullptr);
    EXPECT_EQ(dlg.resetButton(), nullptr);
    EXPECT_EQ(dlg.sizeList()->count(), 4);
  }
}

TEST(QtCaptureDialogsTest, okReturnsTheSizeChosenCancelAndCloseReturnNothing) {
  QtCaptureDialogs dialogs(nullptr);
  bool seen = false;
  AnswerWhenOpen<CCameraFormatDlg>(
      [](CCameraFormatDlg* d) {
        EXPECT_EQ(d->windowTitle(), QStringLiteral("cam"));
        d->sizeList()->setCurrentRow(2);
        QTest::mouseClick(d->okButton(), Qt::LeftButton);
      },
      seen);
  EXPECT_EQ(dialogs.ChooseCameraFormat("cam", kOffered, {320, 240}, nullptr),
            (FrameSize{640, 480}));
  EXPECT_TRUE(seen);

  seen = false;
  AnswerWhenOpen<CCameraFormatDlg>(
      [](CCameraFormatDlg* d) {
        d->sizeList()->setCurrentRow(3);
        QTest::mouseClick(d->cancelButton(), Qt::LeftButton);
      },
      seen);
  EXPECT_EQ(dialogs.ChooseCameraFormat("cam", kOffered, {320, 240}, nullptr), std::nullopt);
  EXPECT_TRUE(seen);

  seen = false;
  AnswerWhenOpen<CCameraFormatDlg>([](CCameraFormatDlg* d) { d->close(); }, seen);
  EXPECT_EQ(dialogs.ChooseCameraFormat("cam", kOffered, {320, 240}, nullptr), std::nullopt);
  EXPECT_TRUE(seen);

  // Untouched, OK keeps the current size; a double click is OK.
  seen = false;
  AnswerWhenOpen<CCameraFormatDlg>(
      [](CCameraFormatDlg* d) { QTest::mouseClick(d->okButton(), Qt::LeftButton); }, seen);
  EXPECT_EQ(dialogs.ChooseCameraFormat("cam", kOffered, {1280, 720}, nullptr),
            (FrameSize{1280, 720}));
  seen = false;
  AnswerWhenOpen<CCameraFormatDlg>(
      [](CCameraFormatDlg* d) {
        QListWidget* list = d->sizeList();
        const QRect at = list->visualItemRect(list->item(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at.center());
      },
      seen);
  EXPECT_EQ(dialogs.ChooseCameraFormat("cam", kOffered, {1280, 720}, nullptr),
            (FrameSize{160, 120}));
  EXPECT_TRUE(seen);
}

class VideoFileDialogTest : public ::testing::Test {
 protected:
  VideoFileDialogTest() {
    std::filesystem::create_directories(dir.File("dump"));
    dir.Write("moving.avi", "RIFF");
    dir.Write("phone.MP4", "ftyp");
    dir.Write("dump/000001.bmp", "BM");
    dir.Write("dump/000002.bmp", "BM");
  }
  // Opens File > open, picks `file` under `filter` and accepts.
  std::optional<std::string> Choose(const QString& filter, const std::string& file) {
    bool seen = false;
    AnswerWhenOpen<QFileDialog>(
        [&](QFileDialog* d) {
          EXPECT_EQ(d->nameFilters(),
                    (QStringList{QString::fromUtf8("動画ファイル (*.avi *.mp4 *.mkv *.webm *.mov)"),
                                 QString::fromUtf8("画像ﾌｧｲﾙ (*.avi)"), "MP4 (*.mp4)",
                                 "Matroska (*.mkv)", "WebM (*.webm)", "QuickTime (*.mov)",
                                 QString::fromUtf8("連番ビットマップ (*.bmp)")}));
          EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFile);
          EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
          if (file.empty()) {
            d->reject();
            return;
          }
          d->selectNameFilter(filter);
          d->selectFile(QString::fromStdString(file));
          static_cast<QDialog*>(d)->accept();  // as the open button does
        },
        seen);
    auto chosen = dialogs.ChooseVideoFile();
    EXPECT_TRUE(seen);
    return chosen;
  }
  test::TestDir dir;
  QtCaptureDialogs dialogs{nullptr};
};

TEST_F(VideoFileDialogTest, anAviIsPlayedItselfABitmapPlaysItsFolderCancelPlaysNothing) {
  EXPECT_EQ(Choose(QtCaptureDialogs::kVideoFilter, dir.File("moving.avi")), dir.File("moving.avi"));
  EXPECT_EQ(Choose(QtCaptureDialogs::kAllVideosFilter, dir.File("phone.MP4")),
            dir.File("phone.MP4"));
  EXPECT_EQ(Choose(QtCaptureDialogs::kFolderFilter, dir.File("dump/000002.bmp")), dir.File("dump"));
  EXPECT_EQ(Choose(QtCaptureDialogs::kVideoFilter, ""), std::nullopt);
}

TEST_F(VideoFileDialogTest, aNameTypedWithoutExtensionTakesThatOfTheFilter) {
  bool seen = false;
  QString suffix, mkvSuffix;
  AnswerWhenOpen<QFileDialog>(
      [&](QFileDialog* d) {
        suffix = d->defaultSuffix();
        emit d->filterSelected(QStringLiteral("Matroska (*.mkv)"));
        mkvSuffix = d->defaultSuffix();
        d->selectNameFilter(QtCaptureDialogs::kFolderFilter);
        emit d->filterSelected(QtCaptureDialogs::kFolderFilter);
        d->selectFile(QString::fromStdString(dir.File("dump/000001")));
        static_cast<QDialog*>(d)->accept();  // as the open button does
      },
      seen);
  EXPECT_EQ(dialogs.ChooseVideoFile(), dir.File("dump"));
  EXPECT_TRUE(seen);
  EXPECT_EQ(suffix, QStringLiteral("avi"));
  EXPECT_EQ(mkvSuffix, QStringLiteral("mkv"));
}

TEST(QtCaptureDialogsTest, videoSourceOfAChoice) {
  EXPECT_EQ(QtCaptureDialogs::VideoSourceOf("/data/run1/000017.BMP"), "/data/run1");
  EXPECT_EQ(QtCaptureDialogs::VideoSourceOf("/data/run1/lap.avi"), "/data/run1/lap.avi");
}

}  // namespace
}  // namespace viren
