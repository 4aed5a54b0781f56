#pragma once

#include <string>

namespace viren::test {

// A GStreamer device provider of the tests' own ("virentestcameras"),
// registered as a static plugin, so that the real device monitor sees
// cameras come and go. Its cameras are "Video/Source" devices whose source
// is a live videotestsrc offering 160 x 120 and 320 x 240.
//
// `node` is the V4L2 node the device claims to be ("" none): two devices
// with one node are one camera seen through two services.
void PlugTestCamera(const std::string& name, const std::string& node = "");
// Removes every camera of that name.
void UnplugTestCamera(const std::string& name);
void UnplugAllTestCameras();

}  // namespace viren::test
