#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ball/BallMatcher.h"
#include "core/Geometry.h"
#include "program/DrivingInterfaces.h"
#include "vision/AnalysisPeers.h"

namespace viren {

class Settings;
class UiHost;
struct CarState;
struct EngineState;

// The frame the analysis keeps as its reference (the last analysed frame):
// width x height pixels of blue, green, red, rows bottom-up, no row padding.
// Implemented by the engine over the frame analysis; called on the window
// thread while the capture thread may be analysing.
class ReferenceFrameSource {
 public:
  virtual ~ReferenceFrameSource() = default;
  // A copy of the reference frame; false when there is none yet.
  virtual bool CopyReferenceFrame(std::vector<std::uint8_t>& pixels, int& width, int& height) = 0;
};

// The learning dialog's save-file chooser: the current PATTERN_FILE as the
// proposed name; the chosen path, or nothing when the person cancelled.
using PatternFileChooser = std::function<std::optional<std::string>(const std::string& current)>;

// Ball recognition and ball learning: the learned pattern, the PM settings,
// the search every PM_FRAME frames for the frame analysis, the ball as
// following and the simulation see it, and the logic of the learning dialog.
//
// Threads: SearchFrame on the capture thread; the BallControl methods and the
// accessors marked so on any thread; everything else on the window thread.
class BallSystem final : public BallSearch, public BallControl {
 public:
  BallSystem(Settings& settings, UiHost& ui, CarState& car, EngineState& engine);
  ~BallSystem() override;
  BallSystem(const BallSystem&) = delete;
  BallSystem& operator=(const BallSystem&) = delete;

  void SetReferenceFrameSource(ReferenceFrameSource* source) { reference_ = source; }

  // Start-up: ballRect zeros, no pattern, no set-up, not learning, countdown
  // 0, patternSize 64; reads the PM settings and loads PATTERN_FILE when set.
  // Returns 1.
  int LoadPatternSettings();
  // 1 when the file gave a pattern (it replaces the one in force), else 0
  // with nothing changed and no message.
  int LoadPatternFile(const std::string& path);
  // Shut-down: pattern, learning state and matcher set-up released.
  void ReleaseBall();
  void DestroyPatternMatcher() { matcher_.DestroyPatternMatcher(); }

  // BallSearch (capture thread). A frame larger than the matcher takes is
  // not searched; the view is sent WM_BALL_FRAME_TOO_LARGE once, and again
  // only after a frame of a size it takes.
  bool SearchFrame(const std::uint8_t* frame, int width, int height, Rect& ballRect) override;
  // The next SearchFrame searches (a ball mode was just switched on).
  void RestartCountdown() { countdown_ = 0; }

  // BallControl (any thread).
  bool HasBallPattern() const override;
  int PatternSize() const override { return patternSize_; }
  Rect BallRect() const override;
  void SetBallRect(const Rect& rect) override;

  // FindBall over a frame as the analysis keeps it (no row padding); sets
  // ballRect when found. Any thread.
  int FindBall(const std::uint8_t* frame, int width, int height, const std::uint8_t* pattern,
               int patternSize, int threshold);

  // --- Learning (window thread) ---
  // The dialog opens: no ball search while learning (ball mode off), then the
  // dialog's start: no point, ballRect 0, learnSize = patternSize, and, when a
  // reference frame and a pattern exist, the point at the pattern found there.
  void OpenBallDialog();
  void SetLearnSize(int size);
  // A left click in the view while learning (client = image coordinates).
  void SelectBallPoint(Point point);
  // Cuts the square at ballRect out of the reference frame. False (nothing
  // changed) without a chosen point, without a reference frame, or when the
  // square does not lie inside the frame.
  bool LearnBall();
  // Searches the reference frame with the learned patch; MSG_BALL_NOT_RECOGNISED when it
  // is not found. True when found (ballRect moved).
  bool TestBall(int threshold);
  // OK (confirmed) or Cancel. Confirmed: the learned pattern, PM_FRAME and
  // rejectThreshold come into force and are stored, then MSG_SAVE_PATTERN offers
  // to save the pattern file through `chooser` (MSG_PATTERN_SAVE_FAILED when it cannot be
  // written).
  void CloseBallDialog(bool confirmed, int pmFrame, int threshold,
                       const PatternFileChooser& chooser);

  // Called after the learning state changed from outside the dialog (a click
  // in the view), so the dialog can update its buttons. Window thread.
  void SetLearningListener(std::function<void()> listener) { listener_ = std::move(listener); }

  bool ballLearning() const { return ballLearning_; }  // any thread
  Point learnPoint() const { return learnPoint_; }
  int learnSize() const { return learnSize_; }
  bool pointChosen() const { return pointChosen_; }
  bool learned() const { return learnedSize_ != 0; }
  int learnedSize() const { return learnedSize_; }
  const std::vector<std::uint8_t>& learnColourPatch() const { return learnColourPatch_; }
  const std::vector<std::uint8_t>& learnGreyPatch() const { return learnGreyPatch_; }

  // Settings in force (any thread).
  int rejectThreshold() const { return rejectThreshold_; }
  int pmFrame() const { return pmFrame_; }
  int escapeDistance() const { return escapeDistance_; }
  // A copy of the pattern in force (empty without one). Any thread.
  std::vector<std::uint8_t> BallPattern() const;
  BallMatcher& matcher() { return matcher_; }

 private:
  void UpdateRectangle();
  void SetPattern(std::shared_ptr<const std::vector<std::uint8_t>> pattern, int size);
  std::shared_ptr<const std::vector<std::uint8_t>> PatternSnapshot(int& size) const;
  void ClearLearning();

  Settings& settings_;
  UiHost& ui_;
  CarState& car_;
  EngineState& engine_;
  ReferenceFrameSource* reference_ = nullptr;
  BallMatcher matcher_;

  mutable std::mutex patternMutex_;
  std::shared_ptr<const std::vector<std::uint8_t>> ballPattern_;
  std::atomic<int> patternSize_{64};

  std::atomic<int> rejectThreshold_{75};
  std::atomic<int> pmFrame_{30};
  std::atomic<int> escapeDistance_{100};
  std::atomic<int> countdown_{0};
  std::atomic<bool> frameTooLargeTold_{false};

  std::atomic<bool> ballLearning_{false};
  Point learnPoint_{-1, -1};
  bool pointChosen_ = false;
  int learnSize_ = 64;
  int learnedSize_ = 0;                         // side of the patches; 0 before LearnBall
  std::vector<std::uint8_t> learnColourPatch_;  // bottom-up BGR
  std::vector<std::uint8_t> learnGreyPatch_;    // top-down grey
  std::function<void()> listener_;
};

}  // namespace viren
