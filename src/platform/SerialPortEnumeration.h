#pragma once

#include <string>
#include <vector>

namespace viren {

// The serial devices of this machine in the order COM numbers take them:
// the stable names in <devRoot>/serial/by-id (sorted), then <devRoot>/ttyUSB<k>
// and <devRoot>/ttyACM<k> in the order of k, leaving out devices a by-id name
// already stands for. COM number n is entry n - 1.
std::vector<std::string> ListSerialDevices(const std::string& devRoot = "/dev");

}  // namespace viren
