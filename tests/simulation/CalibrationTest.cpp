// The calibration manoeuvre on the simulated car (virtual clock): it measures
// the simulation's own steps back, stores them in option.ini, and lets go of
// the car on every way out.
#include <gtest/gtest.h>

#include <cmath>

#include "SimRig.h"
#include "core/DriveTypes.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "simulation/Calibration.h"
#include "support/TestDir.h"

namespace viren {
namespace {

// The manoeuvre watches the simulation as it would watch the camera.
struct CalibrationRig : SimulationStepObserver {
  explicit CalibrationRig(const SimulationSettings& steps) {
    rig.sim.SetSettings(steps);
    rig.sim.SetStepObserver(this);
    rig.sim.StartSimulation();
  }
  ~CalibrationRig() override { rig.sim.StopSimulation(); }  // before the manoeuvre goes
  void OnSimulationStep() override { calibration.OnFrame(); }
  // Time goes on while the manoeuvre runs; a join alone would hold it still.
  void Finish() {
    while (calibration.running()) rig.Advance(50);
    calibration.Wait();
  }
  test::SimRig rig;
  CalibrationRun calibration{rig.clock, rig.drive, rig.car};
};

TEST(CalibrationTest, measuresTheSimulatedCarsOwnSpeedAndRadius) {
  struct Case {
    float positionStep, directionStep;
  };
  for (const Case c : {Case{1.5f, 0.05f}, Case{8.0f, 0.02f}, Case{3.0f, 0.03f}}) {
    SCOPED_TRACE(::testing::Message() << c.positionStep << " px, " << c.directionStep << " rad");
    SimulationSettings steps;
    steps.positionStep = c.positionStep;
    steps.directionStep = c.directionStep;
    CalibrationRig r(steps);
    r.calibration.Start();
    r.Finish();
    EXPECT_EQ(r.rig.drive.DriveState(), 0u) << "the car is let go of at the end";
    const CalibrationResult result = r.calibration.Result();
    ASSERT_TRUE(result.valid);
    EXPECT_NEAR(result.speed, c.positionStep * 100, c.positionStep * 100 * 0.05);
    const double radius = c.positionStep / c.directionStep;
    EXPECT_NEAR(result.radiusLeft, radius, radius * 0.05);
    EXPECT_NEAR(result.radiusRight, radius, radius * 0.05);
    EXPECT_NEAR(result.PositionStep(10), c.positionStep, c.positionStep * 0.05);
    EXPECT_NEAR(result.DirectionStep(10), c.directionStep, c.directionStep * 0.05);

    test::TestDir dir;
    dir.Write("option.ini", "[SIMULATION]\r\nCAMERA_ERRORS=1\r\n");
    Settings settings;
    settings.SetPaths(dir.path(), dir.File("VIREN.ini"), dir.File("option.ini"));
    ASSERT_TRUE(StoreCalibration(settings, result, 10));
    const SimulationSettings stored = SimulationSettings::Load(settings);
    EXPECT_NEAR(stored.positionStep, c.positionStep, c.positionStep * 0.05);
    EXPECT_NEAR(stored.directionStep, c.directionStep, c.directionStep * 0.05);
    EXPECT_TRUE(stored.cameraErrors) << "the section's other keys stay";
    EXPECT_FALSE(dir.Exists("VIREN.ini")) << "VIREN.ini is only read";
  }
}

// Cancelled (Esc) in each part, or never seen by the camera: the car stands
// with nothing pressed and there is no result to store.
TEST(CalibrationTest, everyWayOutLetsGoOfTheCar) {
  struct Case {
    const char* name;
    int cancelAtMs;  // -1: no frames at all
  };
  for (const Case c :
       {Case{"straight", 1000}, Case{"left", 3000}, Case{"right", 6000}, Case{"no camera", -1}}) {
    SCOPED_TRACE(c.name);
    SimulationSettings steps;
    steps.positionStep = 1.5f;
    steps.directionStep = 0.05f;
    CalibrationRig r(steps);
    if (c.cancelAtMs < 0) r.rig.sim.SetStepObserver(nullptr);
    r.calibration.Start();
    if (c.cancelAtMs >= 0) {
      r.rig.Advance(c.cancelAtMs);
      EXPECT_NE(r.rig.drive.DriveState() & DRIVE_STATE_FORWARD, 0u);
      r.calibration.Cancel();
    }
    r.Finish();
    EXPECT_FALSE(r.calibration.running());
    EXPECT_EQ(r.rig.drive.DriveState(), 0u);
    EXPECT_FALSE(r.calibration.Result().valid);
  }
}

}  // namespace
}  // namespace viren
