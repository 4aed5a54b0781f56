#include "support/TestDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace viren::test {

TestDir::TestDir() {
  std::string pattern = std::string(VIREN_TEST_TMP_PATH) + "/viren-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a test folder";
  path_ = pattern;
}

TestDir::~TestDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TestDir::Write(std::string_view name, std::string_view content) const {
  std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string TestDir::Read(std::string_view name) const {
  std::ifstream in(File(name), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool TestDir::Exists(std::string_view name) const {
  return std::filesystem::exists(File(name));
}

std::string ProgramFolder() {
  return VIREN_PROGRAM_FOLDER_PATH;
}

std::string SourceDir() {
  return VIREN_SOURCE_DIR_PATH;
}

}  // namespace viren::test
