#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/CarState.h"
#include "core/EngineState.h"
#include "core/Geometry.h"
#include "vision/AnalysisPeers.h"
#include "vision/Contours.h"

namespace viren {

class Settings;

// Stores of the contour vectorization: fixed for the whole run.
inline constexpr int kMaxContours = 32;
inline constexpr int kMaxVertices = 4096;

// Image <-> layout (640 x 480) coordinates with integer division, for frames
// of width x height. Before the first frame (width or height 0) the point is
// returned unchanged.
Point ConvertPosition(Point p, bool toImage, int width, int height);

// Per-frame analysis of the camera picture: finds the moving car, keeps the
// car state, and hands the frame on to the ball search, the target check and
// the view. Owns the frame-size buffers (made on the first frame after the
// capture connects), the contour stores and the ring of recent positions.
//
// Threads: AnalyseFrame runs on the capture thread, never concurrently with
// itself. UpdateHeading also runs on the simulation thread. ResetPositionRing,
// RewindPositionRing, ConvertPosition, WritePositionSnapshot and the setters
// may be called from any thread. LoadAnalysisSettings, SetPeers and
// ReleaseFrameBuffers belong to the window thread while no frame arrives (they
// wait for a frame in progress to finish).
class CFrameAnalyser {
 public:
  CFrameAnalyser(CarState& car, EngineState& engine);
  CFrameAnalyser(const CFrameAnalyser&) = delete;
  CFrameAnalyser& operator=(const CFrameAnalyser&) = delete;

  void SetPeers(const AnalysisPeers& peers);
  // Where the position log goes; "debug_position.log" in the current folder
  // unless set.
  void SetPositionLogPath(std::string path);

  // Start-up: resets the car state, reads the analysis settings, makes the
  // ring and the contour stores. Returns 1.
  int LoadAnalysisSettings(const Settings& settings);

  // One frame from the capture: `buffer` holds width x height pixels of 3
  // bytes (blue, green, red), rows bottom-up, no padding; `length` is its
  // size in bytes. The size is taken on the first frame after (re)connection;
  // a frame shorter than that size is ignored.
  void AnalyseFrame(const std::uint8_t* buffer, std::size_t length, int width, int height);

  // Heading from the marker or from the ring of recent positions.
  void UpdateHeading();
  // Empties the ring and notes the turn count (every drive code 1..5). Takes
  // only the ring's own lock, so the drive control may call it while holding
  // its lock.
  void ResetPositionRing();
  // After a video rewind: two more samples are needed before the ring counts.
  void RewindPositionRing();
  Point ConvertPosition(Point p, bool toImage) const;
  // With LOG_POSITION set: truncates the position log and writes the car's
  // position, heading and the target. Does nothing otherwise.
  void WritePositionSnapshot();
  // Frees the frame-size buffers so that the next frame primes a new
  // reference; with `all` (shut-down) also the stores and the ring.
  void ReleaseFrameBuffers(bool all);

  // Values the parameter dialog changes; they take effect on the next frame.
  void SetDiffLevel(int level) { diffLevel_ = level; }
  void SetCompareFrame(int frames) { compareFrame_ = frames; }
  void SetMarkerCheck(int check) { markerCheck_ = check; }
  void SetMarkerLevel(int level) { markerLevel_ = level; }
  int diffLevel() const { return diffLevel_; }
  int compareFrame() const { return compareFrame_; }
  int markerCheck() const { return markerCheck_; }
  int markerLevel() const { return markerLevel_; }

  // Settings the views read (fixed after LoadAnalysisSettings).
  std::int32_t penColor() const { return penColor_; }
  int penWidth() const { return penWidth_; }
  bool markerDisplay() const { return markerDisplay_; }
  bool debugMenu() const { return debugMenu_; }
  bool debugCenter() const { return debugCenter_; }
  bool logPosition() const { return logPosition_; }
  // The frame dump of the live view: on starts again at file 1. Any thread.
  void SetFrameDump(bool on) { dumpCounter_ = on ? 1 : 0; }
  bool frameDumpOn() const { return dumpCounter_.load() > 0; }
  const std::string& captureDirectory() const { return captureDirectory_; }
  int samplingFrame() const { return samplingFrame_; }
  int samplingMinimum() const { return samplingMinimum_; }
  int emergencyCount() const { return emergencyCount_; }

  // The contours kept from the last analysed frame (difference image) and
  // their centroids; for the views, inside the AnalysisView calls only.
  const Point* vertices() const { return vertices_.data(); }
  const int* contourCounts() const { return counts_.data(); }
  const Point* contourCentroids() const { return centroids_.data(); }
  int contourCount() const { return contourCount_; }
  int vertexCount() const { return vertexTotal_; }

  // A copy of the reference frame (bottom-up BGR) for ball learning; false
  // before the first frame. Any thread.
  bool CopyReferenceFrame(std::vector<std::uint8_t>& pixels, int& width, int& height) const;

  int frameWidth() const { return width_; }
  int frameHeight() const { return height_; }
  bool framePrimed() const;
  int ringCount() const;
  int compareCountdown() const;

 private:
  void AnalyseDifference(const std::uint8_t* frame);
  int Vectorize(std::uint8_t* image);
  // Takes the car's centre from the traced contours (`found` as
  // VectorizeImage returns it), publishes it, updates the heading and tells
  // the driving thread.
  void FindCar(int found);
  std::array<std::int16_t, 4> PositionBlock() const;
  void BallSearchStep(const std::uint8_t* frame);
  void TargetCheck();
  void CountTurn(double direction);
  void AppendTrackLines();
  std::uint32_t DriveState() const;

  CarState& car_;
  EngineState& engine_;
  AnalysisPeers peers_;

  // Analysis settings.
  std::atomic<int> diffLevel_{90};
  std::atomic<int> compareFrame_{1};
  std::atomic<int> markerCheck_{0};
  std::atomic<int> markerLevel_{16};
  int samplingFrame_ = 100;
  int samplingMinimum_ = 5;
  std::int32_t penColor_ = 0x0000FF;
  int penWidth_ = 2;
  bool markerDisplay_ = false;
  bool debugMenu_ = false;
  bool debugCenter_ = false;
  std::atomic<bool> logPosition_{false};
  std::string captureDirectory_;
  int emergencyCount_ = 15;

  // Frame state: the capture thread's, guarded against the window thread's
  // release and reload.
  mutable std::mutex frameMutex_;
  int width_ = 0;
  int height_ = 0;
  std::size_t pixels_ = 0;
  std::vector<std::uint8_t> reference_;
  std::vector<std::uint8_t> diffImage_;
  std::vector<std::uint8_t> markerImage_;
  std::vector<std::uint8_t> shownImage_;  // the difference view's image, before erosion
  VectorizeScratch scratch_;
  std::vector<Point> vertices_;
  std::vector<int> counts_;
  std::vector<Point> centroids_;
  int contourCount_ = 0;
  int vertexTotal_ = 0;
  int compareCountdown_ = 1;
  std::atomic<int> dumpCounter_{0};  // the next dump file's number; 0: off

  // The ring of recent positions and the turn counting, shared by the
  // analysis, the simulation and every thread that sends drive commands.
  mutable std::mutex headingMutex_;
  std::vector<Point> ring_;
  int ringIndex_ = 0;
  int ringCount_ = 0;

  std::mutex logMutex_;
  std::string logPath_ = "debug_position.log";
};

}  // namespace viren
