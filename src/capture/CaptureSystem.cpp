#include "capture/CaptureSystem.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "capture/BitmapFolderSource.h"
#include "capture/FrameSink.h"
#include "capture/GstCaptureGraph.h"
#include "core/CommandIds.h"
#include "core/EngineState.h"
#include "core/Messages.h"
#include "core/UiHost.h"
#include "settings/Settings.h"

namespace viren {
namespace {

// Longest library text MSG_VIDEO_ERROR shows.
constexpr std::size_t kMaxErrorTextChars = 160;

const char* StatusText(int status) {
  switch (status) {
    case CAPTURE_NO_CAMERA:
      return "no video input device";
    case CAPTURE_NOT_FOUND:
      return "the source cannot be opened";
    case CAPTURE_NOT_PLAYABLE:
      return "the source holds no playable video";
    case CAPTURE_STATE_FAILED:
      return "the pipeline refused the state change";
    case CAPTURE_SEEK_FAILED:
      return "the video cannot be rewound";
    case CAPTURE_SIZE_REFUSED:
      return "the camera does not offer this picture size";
    case CAPTURE_STREAM_ERROR:
      return "the video stream stopped with an error";
    default:
      return "unspecified video library failure";
  }
}

bool Offers(const std::vector<FrameSize>& sizes, FrameSize size) {
  for (const FrameSize& s : sizes)
    if (s == size) return true;
  return false;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

std::string ControlKey(std::uint32_t id) {
  char key[16];
  std::snprintf(key, sizeof key, "%08X", static_cast<unsigned>(id));
  return key;
}

std::optional<int> ParseStoredValue(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

// The camera's controls as the settings dialog changes them: every value
// the device takes is written to the camera's section of option.ini.
class RememberedControls final : public CameraControls {
 public:
  RememberedControls(CameraControls& device, const Settings& settings, std::string section)
      : device_(device), settings_(settings), section_(std::move(section)) {}
  std::vector<CameraControl> List() override { return device_.List(); }
  bool Set(std::uint32_t id, int value) override {
    if (!device_.Set(id, value)) return false;
    settings_.WriteSettingString(section_, ControlKey(id), std::to_string(value),
                                 settings_.optionFile());
    return true;
  }

 private:
  CameraControls& device_;
  const Settings& settings_;
  std::string section_;
};

}  // namespace

CaptureSystem::CaptureSystem(Settings& settings, EngineState& state, UiHost& ui, CaptureHost& host,
                             FrameSink& sink, std::unique_ptr<CameraProvider> cameras)
    : settings_(settings),
      state_(state),
      ui_(ui),
      host_(host),
      sink_(sink),
      cameras_(std::move(cameras)),
      delivery_(sink) {}

CaptureSystem::~CaptureSystem() {
  ShutdownCapture();
}

std::string CaptureSystem::ControlSection(const std::string& cameraName) {
  std::string section = "CAMERA:" + cameraName;
  // Characters that would end the section header or make a line of their own.
  for (char& c : section)
    if (c == '[' || c == ']' || c == '\r' || c == '\n' || c == '=' || c == ';') c = '_';
  return section;
}

bool CaptureSystem::LoadCaptureSettings() {
  TearDownCaptureGraph();
  state_.cameraIndex = settings_.ReadInt(keys::CAPTURE_DEVICE);
  loopVideo_ = settings_.ReadInt(keys::CAPTURE_LOOP) != 0;
  const SettingPair size = settings_.ReadPair(keys::RESOLUTION);
  state_.frameWidth = size.first;
  state_.frameHeight = size.second;
  // A rate below one frame a second would stall the folder rather than play it.
  const int folderRate = settings_.ReadInt(keys::FOLDER_RATE);
  folderFrameRate_ = folderRate > 0 ? folderRate : keys::FOLDER_RATE.DefaultInt();

  gstReady_ = GstCaptureGraph::InitLibrary();
  if (!gstReady_) return false;

  if (!cameras_) cameras_ = MakeGstCameraProvider();
  BuildCameraMenu();
  cameras_->WatchCameras([this] { host_.NotifyCamerasChanged(); });
  return true;
}

const std::vector<CameraMenuItem>& CaptureSystem::BuildCameraMenu() {
  cameraList_ = cameras_ ? cameras_->ListCameras() : std::vector<CameraInfo>{};
  // With DEVICE 0 the choice "no camera" stands whether or not cameras exist;
  // a chosen camera that is not there becomes "none present".
  if (cameraList_.empty() && state_.cameraIndex != 0) state_.cameraIndex = -1;
  const int index = state_.cameraIndex;
  if (index > 0 && static_cast<std::size_t>(index) <= cameraList_.size()) {
    selectedKey_ = cameraList_[static_cast<std::size_t>(index) - 1].Key();
    selectedName_ = cameraList_[static_cast<std::size_t>(index) - 1].name;
  }
  menu_ = MakeMenu();
  return menu_;
}

std::vector<CameraMenuItem> CaptureSystem::MakeMenu() const {
  std::vector<CameraMenuItem> menu;
  for (std::size_t i = 0; i < cameraList_.size(); ++i) {
    CameraMenuItem item;
    item.commandId = ID_CAMERA_FIRST + static_cast<int>(i);
    item.name = cameraList_[i].name;
    item.checked = state_.cameraIndex == static_cast<int>(i) + 1;
    item.enabled = i < static_cast<std::size_t>(kMaxSelectableCameras);
    menu.push_back(std::move(item));
  }
  return menu;
}

void CaptureSystem::OnCamerasChanged() {
  if (!cameras_) return;
  const bool cameraGraph = activeCamera_ >= 0;
  cameraList_ = cameras_->ListCameras();
  auto positionOf = [&](const std::string& key) -> int {
    if (key.empty()) return -1;
    for (std::size_t i = 0; i < cameraList_.size(); ++i)
      if (cameraList_[i].Key() == key) return static_cast<int>(i);
    return -1;
  };

  if (cameraGraph) {
    const int at = positionOf(selectedKey_);
    if (at < 0) {
      menu_ = MakeMenu();
      CameraLost();
      return;
    }
    activeCamera_ = at;
  }
  const int chosen = positionOf(selectedKey_);
  if (chosen >= 0 && state_.cameraIndex > 0 && chosen + 1 != state_.cameraIndex) {
    // The chosen camera moved in the list: the number follows it, here and
    // for the next start.
    state_.cameraIndex = chosen + 1;
    settings_.WriteInt(keys::CAPTURE_DEVICE, chosen + 1);
  }
  menu_ = MakeMenu();

  // The camera that was pulled out is back: it runs again, unless the
  // person has gone on with a video or the simulation meanwhile.
  const int back = positionOf(lostKey_);
  if (back >= 0 && !cameraGraph && !state_.captureRunning && !state_.simulating &&
      back < kMaxSelectableCameras) {
    lostKey_.clear();
    SelectCamera(back + 1);
  }
}

void CaptureSystem::CameraLost() {
  host_.StopCar();
  lostKey_ = selectedKey_;
  state_.captureRunning = false;
  StopCapture(false);
  TearDownCaptureGraph();
  // "None present" until it comes back; DEVICE keeps the choice.
  state_.cameraIndex = -1;
  menu_ = MakeMenu();
  ui_.Message(MSG_CAMERA_LOST, {selectedName_}, MsgIcon::Exclamation, MsgButtons::Ok);
}

int CaptureSystem::BuildCaptureGraph(const std::string& videoFile) {
  TearDownCaptureGraph();
  if (!gstReady_)
    return ReportCaptureError(CAPTURE_FAILED, capture_op::kCreateDevEnum,
                              "GStreamer is not initialised");
  const int built = videoFile.empty() ? BuildFromCamera() : BuildFromFile(videoFile);
  {
    // What plays from now on (the frame dump keeps away from it).
    std::lock_guard lock(sourceMutex_);
    videoFileName_ = built < 0 ? std::string() : videoFile;
  }
  return built;
}

int CaptureSystem::BuildFromFile(const std::string& path) {
  loopAtBuild_ = loopVideo_;
  auto notify = [this] { host_.NotifyGraphEvent(); };
  CaptureError error;
  if (IsFolder(path)) {
    auto folder = std::make_unique<BitmapFolderSource>(delivery_, notify);
    if (folder->Open(path, syncToClock_ ? folderFrameRate_ : 0, loopAtBuild_, error) < 0)
      return ReportCaptureError(error.status, error.operation, error.text);
    source_ = std::move(folder);
  } else {
    auto graph = std::make_unique<GstCaptureGraph>(delivery_, notify);
    GstCaptureGraph::Request request;
    request.kind = GstCaptureGraph::Kind::File;
    request.location = path;
    request.syncToClock = syncToClock_;
    request.notifyEndOfStream = loopAtBuild_;
    if (graph->Build(request, error) < 0) {
      graph.reset();  // down to NULL before the message box waits for the user
      return ReportCaptureError(error.status, error.operation, error.text);
    }
    source_ = std::move(graph);
  }
  state_.cameraIndex = -1;
  return CAPTURE_OK;
}

int CaptureSystem::BuildFromCamera() {
  loopAtBuild_ = false;
  const int index = state_.cameraIndex;
  if (index <= 0) return CAPTURE_NO_CAMERA;
  cameraList_ = cameras_ ? cameras_->ListCameras() : std::vector<CameraInfo>{};
  // A stored DEVICE beyond the cameras present (one was unplugged, or the
  // settings came from another machine) is "no camera", never a device that
  // does not exist.
  if (static_cast<std::size_t>(index) > cameraList_.size()) {
    state_.cameraIndex = -1;
    return CAPTURE_NO_CAMERA;
  }
  const CameraInfo& camera = cameraList_[static_cast<std::size_t>(index) - 1];

  // The stored size when the camera offers it (or cannot say what it offers).
  std::optional<FrameSize> size;
  const FrameSize wanted{state_.frameWidth, state_.frameHeight};
  bool sizeRefused = false;
  if (wanted.width > 0 && wanted.height > 0) {
    if (camera.sizes.empty() || Offers(camera.sizes, wanted))
      size = wanted;
    else
      sizeRefused = true;
  }

  auto notify = [this] { host_.NotifyGraphEvent(); };
  GstCaptureGraph::Request request;
  request.kind = GstCaptureGraph::Kind::Camera;
  request.location = camera.sourceDescription;
  request.device = camera.device;
  request.size = size;
  request.syncToClock = false;  // a live source paces itself
  CaptureError error;
  auto graph = std::make_unique<GstCaptureGraph>(delivery_, notify);
  int result = graph->Build(request, error);
  if (result < 0 && size && camera.sizes.empty() &&
      error.operation != capture_op::kAddCaptureDevice &&
      error.operation != capture_op::kEnumBind) {
    // The camera could not say its sizes and does not take this one.
    sizeRefused = true;
    request.size.reset();
    error = {};
    graph = std::make_unique<GstCaptureGraph>(delivery_, notify);
    result = graph->Build(request, error);
  }
  if (result < 0) {
    graph.reset();
    return ReportCaptureError(error.status, error.operation, error.text);
  }
  source_ = std::move(graph);
  activeCamera_ = index - 1;
  selectedKey_ = camera.Key();
  selectedName_ = camera.name;
  lostKey_.clear();
  OpenCameraControls(camera);
  if (sizeRefused) ShowMessage(ui_, MSG_CAMERA_SIZE_FAILED, MsgIcon::Stop);
  return CAPTURE_OK;
}

void CaptureSystem::OpenCameraControls(const CameraInfo& camera) {
  controls_ = controlsFactory_ ? controlsFactory_(camera) : OpenV4l2Controls(camera.controlDevice);
  if (!controls_) return;
  // The values this camera was last given here.
  const std::string section = ControlSection(camera.name);
  std::vector<std::pair<std::uint32_t, int>> stored;
  for (const CameraControl& c : controls_->List()) {
    const std::string text =
        settings_.ReadSettingString(section, ControlKey(c.id), "", settings_.optionFile());
    if (const auto value = ParseStoredValue(text);
        value && *value >= c.minimum && *value <= c.maximum)
      stored.emplace_back(c.id, *value);
  }
  ApplyControlValues(*controls_, stored);
}

std::vector<FrameSize> CaptureSystem::CameraSizes() const {
  if (activeCamera_ < 0 || static_cast<std::size_t>(activeCamera_) >= cameraList_.size()) return {};
  return cameraList_[static_cast<std::size_t>(activeCamera_)].sizes;
}

int CaptureSystem::ApplyCameraSize(std::optional<FrameSize> size) {
  const std::vector<FrameSize> sizes = CameraSizes();
  if (size && !sizes.empty() && !Offers(sizes, *size)) return CAPTURE_SIZE_REFUSED;
  const bool wasRunning = state_.captureRunning;
  if (wasRunning) {
    const int stopped = StopCapture(false);
    if (stopped < 0) return stopped;
  }
  CaptureError error;
  int result = source_->SetCameraSize(size, error);
  if (result < 0) ReportCaptureError(error.status, error.operation, error.text);
  if (wasRunning) {
    const int run = RunCapture();
    if (result >= 0) result = run;
  }
  return result;
}

int CaptureSystem::SetCameraFormat(int width, int height) {
  if (!source_ || activeCamera_ < 0) return CAPTURE_NO_CAMERA;

  if (width >= 0 || height >= 0) {
    if (width <= 0 || height <= 0) return ApplyCameraSize(std::nullopt);
    return ApplyCameraSize(FrameSize{width, height});
  }

  // The camera-format dialog.
  const CameraInfo& camera = cameraList_[static_cast<std::size_t>(activeCamera_)];
  const FrameSize current{state_.frameWidth, state_.frameHeight};
  std::optional<RememberedControls> controls;
  if (controls_) controls.emplace(*controls_, settings_, ControlSection(camera.name));
  std::optional<FrameSize> chosen =
      host_.ChooseCameraFormat(camera.name, camera.sizes, current, controls ? &*controls : nullptr);
  if (!chosen) return CAPTURE_OK;
  if (chosen->width > kDefaultFrameSize.width || chosen->height > kDefaultFrameSize.height) {
    if (ShowMessage(ui_, MSG_CAMERA_SIZE_LARGE, MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
      chosen = kDefaultFrameSize;
  }
  state_.frameWidth = chosen->width;
  state_.frameHeight = chosen->height;
  settings_.WritePair(keys::RESOLUTION, chosen->width, chosen->height);
  const int result = ApplyCameraSize(*chosen);
  // The wish stays stored for the next start; the camera keeps its own size.
  if (result == CAPTURE_SIZE_REFUSED) ShowMessage(ui_, MSG_CAMERA_SIZE_FAILED, MsgIcon::Stop);
  return result;
}

int CaptureSystem::SelectCamera(int n) {
  if (n < 0 || n > kMaxSelectableCameras) return CAPTURE_NO_CAMERA;
  state_.cameraIndex = n;
  settings_.WriteInt(keys::CAPTURE_DEVICE, n);
  for (CameraMenuItem& item : menu_) item.checked = item.commandId == ID_CAMERA_FIRST + n - 1;

  if (source_) StopCapture(false);
  state_.captureRunning = false;
  if (n == 0) {
    selectedKey_.clear();
    lostKey_.clear();
    TearDownCaptureGraph();  // lets other programs have the camera
    host_.RepaintView();
    return CAPTURE_OK;
  }

  const int built = BuildCaptureGraph("");
  if (built == CAPTURE_NO_CAMERA) {
    // The camera went away since the menu was made.
    if (!state_.simulating && ShowMessage(ui_, MSG_NO_CAMERA_SIMULATE, MsgIcon::Question,
                                          MsgButtons::YesNo) == MsgAnswer::Yes)
      ui_.PostCommand(ID_SIMULATION);
    return built;
  }
  if (built < 0) return built;
  const int run = RunCapture();
  if (run < 0) return run;
  state_.captureRunning = true;
  if (state_.simulating) {
    ShowMessage(ui_, MSG_CAMERA_SET, MsgIcon::Information);
    host_.LeaveSimulation();
    state_.viewMode = VIEW_LIVE;
    state_.overlayMode = OVERLAY_DIRECTION;
    host_.ShowLiveView();
  }
  return CAPTURE_OK;
}

int CaptureSystem::OpenVideoFile(const std::function<void()>& beforeOpen) {
  const std::optional<std::string> path = host_.ChooseVideoFile();
  if (!path || path->empty()) return CAPTURE_OK;
  if (beforeOpen) beforeOpen();
  return OpenVideo(*path);
}

int CaptureSystem::OpenVideo(const std::string& path) {
  if (state_.captureRunning.exchange(false)) StopCapture(false);
  const int built = BuildCaptureGraph(path);
  if (built < 0) {
    ShowMessage(ui_, MSG_VIDEO_LIBRARY_FAILED, MsgIcon::Stop);
    return built;
  }
  state_.overlayMode = OVERLAY_CENTROID;
  state_.viewMode = VIEW_LIVE;
  host_.ShowLiveView();
  state_.captureRunning = true;
  return RunCapture();
}

void CaptureSystem::OnGraphEvent() {
  if (!source_) return;
  for (const GraphEvent& event : source_->TakeEvents()) {
    if (event.kind == GraphEvent::Kind::EndOfStream) {
      if (!loopAtBuild_) continue;
      CaptureError error;
      if (source_->SeekToStart(error) < 0) {
        ReportCaptureError(error.status, error.operation, error.text);
        return;
      }
    } else if (!errorShown_) {
      if (activeCamera_ >= 0) {
        // A camera pulled out stops its stream with an error; the loss has
        // a message of its own, and the car is stopped.
        OnCamerasChanged();
        if (activeCamera_ < 0) return;
      }
      // One message for a failing stream, not one per element that noticed.
      errorShown_ = true;
      ReportCaptureError(event.error.status, event.error.operation, event.error.text);
    }
  }
}

int CaptureSystem::RunCapture() {
  if (!source_) return ReportCaptureError(CAPTURE_FAILED, capture_op::kRun, "no capture graph");
  errorShown_ = false;
  delivery_.Open();
  CaptureError error;
  if (source_->Run(error) < 0) {
    delivery_.Close();
    return ReportCaptureError(error.status, error.operation, error.text);
  }
  return CAPTURE_OK;
}

int CaptureSystem::StopCapture(bool quick) {
  // Closing waits for the frame in progress; no frame starts after it.
  delivery_.Close();
  if (!source_) return CAPTURE_OK;
  CaptureError error;
  if (source_->Stop(error) < 0)
    return ReportCaptureError(error.status, error.operation, error.text);
  if (!quick) sink_.ReleaseFrameBuffers();
  return CAPTURE_OK;
}

void CaptureSystem::TearDownCaptureGraph() {
  delivery_.Close();
  source_.reset();  // joins the source's threads
  controls_.reset();
  activeCamera_ = -1;
  loopAtBuild_ = false;
}

void CaptureSystem::ShutdownCapture() {
  if (cameras_) cameras_->StopWatching();
  TearDownCaptureGraph();
}

int CaptureSystem::ReportCaptureError(int status, std::string_view operation,
                                      std::string_view text) {
  const std::string detail =
      Utf8Prefix(text.empty() ? StatusText(status) : text, kMaxErrorTextChars);
  ui_.Message(MSG_VIDEO_ERROR, {std::string(operation), detail}, MsgIcon::Stop, MsgButtons::Ok);
  return status;
}

}  // namespace viren
