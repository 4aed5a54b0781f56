#pragma once

// The small adapters through which the engine's parts reach each other
// without knowing each other's classes.

#include "device/DeviceInterfaces.h"
#include "vision/CFrameAnalyser.h"

namespace viren {

// Drive commands restart the heading estimate of the frame analysis.
class AnalyserPositionTrack final : public PositionTrack {
 public:
  explicit AnalyserPositionTrack(CFrameAnalyser& analyser) : analyser_(analyser) {}
  void ResetPositionRing() override { analyser_.ResetPositionRing(); }
  void WritePositionSnapshot() override { analyser_.WritePositionSnapshot(); }

 private:
  CFrameAnalyser& analyser_;
};

}  // namespace viren
