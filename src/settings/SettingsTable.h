#pragma once

#include <span>
#include <string>
#include <string_view>

namespace viren {

// Which of the two settings files a key lives in. Each key is read from
// exactly one of them; the same key in the other file is ignored.
enum class SettingsFileKind { Viren, Option };

enum class SettingType { Integer, String, Real, Colour, Pair };

// One row of the settings table: every reader of a key gets the same file,
// section and default from here.
struct SettingKey {
  std::string_view section;
  std::string_view key;
  SettingsFileKind file;
  SettingType type;
  std::string_view defaultText;  // integers too, as their text

  int DefaultInt() const;
};

namespace keys {
using enum SettingsFileKind;
using enum SettingType;
// clang-format off
inline constexpr SettingKey AGREEMENT        {"AGREEMENT",  "AGREEMENT",           Option, Integer, "0"};
inline constexpr SettingKey COMM_INTERVAL    {"API",        "COMM_INTERVAL",       Viren,  Integer, "100"};
inline constexpr SettingKey EMERGENCY_COUNT  {"AUTO",       "EMERGENCY_COUNT",     Viren,  Integer, "15"};
inline constexpr SettingKey POSITION_RANGE   {"AUTO",       "POSITION_RANGE",      Viren,  Integer, "32"};
inline constexpr SettingKey DIRECTION_RANGE  {"AUTO",       "DIRECTION_RANGE",     Viren,  Integer, "90"};
inline constexpr SettingKey CAPTURE_DEVICE   {"CAPTURE",    "DEVICE",              Option, Integer, "0"};
inline constexpr SettingKey CAPTURE_LOOP     {"CAPTURE",    "LOOP",                Viren,  Integer, "1"};
inline constexpr SettingKey RESOLUTION       {"CAPTURE",    "RESOLUTION",          Option, Pair,    "320,240"};
inline constexpr SettingKey FOLDER_RATE      {"CAPTURE",    "FOLDER_RATE",         Option, Integer, "30"};
inline constexpr SettingKey DOC_URL          {"HELP",       "DOC_URL",             Viren,  String,  ""};
inline constexpr SettingKey CONTROL_4WD      {"CONTROL",    "CONTROL_4WD",         Option, Integer, "0"};
inline constexpr SettingKey ENABLE_TURBO     {"CONTROL",    "ENABLE_TURBO",        Option, Integer, "1"};
inline constexpr SettingKey CONTROL_ROBOQ    {"CONTROL",    "CONTROL_ROBOQ",       Option, Integer, "0"};
inline constexpr SettingKey DEBUG_CAPTURE    {"DEBUG",      "CAPTURE",             Option, String,  ""};
inline constexpr SettingKey DEBUG_CENTER     {"DEBUG",      "CENTER",              Option, Integer, "0"};
inline constexpr SettingKey LOG_POSITION     {"DEBUG",      "LOG_POSITION",        Option, Integer, "0"};
inline constexpr SettingKey MARKER_DISPLAY   {"DEBUG",      "MARKER_DISPLAY",      Option, Integer, "0"};
inline constexpr SettingKey DEBUG_MENU       {"DEBUG",      "MENU",                Option, Integer, "0"};
inline constexpr SettingKey LOG_FILE         {"DEBUG",      "LOG_FILE",            Viren,  String,  ""};
inline constexpr SettingKey DUMP_LIMIT       {"DEBUG",      "DUMP_LIMIT",          Viren,  Integer, "500"};
inline constexpr SettingKey EVENT_COLOR      {"EVENT",      "EVENT_COLOR",         Viren,  Colour,  "#FFF9BD"};
inline constexpr SettingKey LINK_COLOR       {"EVENT",      "LINK_COLOR",          Viren,  Colour,  "#0000FF"};
inline constexpr SettingKey LINK_WIDTH       {"EVENT",      "LINK_WIDTH",          Viren,  Integer, "1"};
inline constexpr SettingKey SELECT_COLOR     {"EVENT",      "SELECT_COLOR",        Viren,  Colour,  "#00FF00"};
inline constexpr SettingKey SELECT_WIDTH     {"EVENT",      "SELECT_WIDTH",        Viren,  Integer, "2"};
inline constexpr SettingKey EVENT_FILE_NAME  {"EVENT",      "FILE_NAME",           Option, String,  ""};
inline constexpr SettingKey BORDER_WIDTH     {"LAYOUT",     "BORDER_WIDTH",        Option, Integer, "320"};
inline constexpr SettingKey BORDER_HEIGHT    {"LAYOUT",     "BORDER_HEIGHT",       Option, Integer, "240"};
inline constexpr SettingKey CAR_COLOR        {"LAYOUT",     "CAR_COLOR",           Option, Colour,  "#808080"};
inline constexpr SettingKey CAR_FILE         {"LAYOUT",     "CAR_FILE",            Option, String,  ""};
inline constexpr SettingKey CAR_SIZE         {"LAYOUT",     "CAR_SIZE",            Viren,  Pair,    "30,20"};
inline constexpr SettingKey CAR_TYPE         {"LAYOUT",     "CAR_TYPE",            Option, Integer, "0"};
inline constexpr SettingKey LAYOUT_COLOR     {"LAYOUT",     "LAYOUT_COLOR",        Option, Colour,  "#FFFFFF"};
inline constexpr SettingKey LAYOUT_FILE      {"LAYOUT",     "LAYOUT_FILE",         Option, String,  "course.bmp"};
inline constexpr SettingKey LAYOUT_TYPE      {"LAYOUT",     "LAYOUT_TYPE",         Option, Integer, "0"};
inline constexpr SettingKey LAYOUT_PEN_WIDTH {"LAYOUT",     "PEN_WIDTH",           Viren,  Integer, "1"};
inline constexpr SettingKey PM_FIND_DISTANCE {"PM",         "findDistance",        Viren,  Integer, "1"};
inline constexpr SettingKey PM_NUM_OF_BASIS  {"PM",         "numOfBasis",          Viren,  Integer, "50"};
inline constexpr SettingKey PM_BOTTOM_UP     {"PM",         "bottomUpStartPercent", Viren, Integer, "10"};
inline constexpr SettingKey PM_DISTANCE_START{"PM",         "distanceStartPercent", Viren, Integer, "2"};
inline constexpr SettingKey PM_REJECT        {"PM",         "rejectThreshold",     Option, Integer, "75"};
inline constexpr SettingKey PM_FRAME         {"PM",         "PM_FRAME",            Option, Integer, "30"};
inline constexpr SettingKey PM_ESCAPE        {"PM",         "EscapeDistance",      Viren,  Integer, "100"};
inline constexpr SettingKey PATTERN_FILE     {"PM",         "PATTERN_FILE",        Option, String,  ""};
inline constexpr SettingKey SIMULATION_SPEED {"SIMULATION", "SIMULATION_SPEED",    Viren,  Integer, "10"};
inline constexpr SettingKey POSITION_STEP    {"SIMULATION", "POSITION_STEP",       Viren,  Real,    "8.0"};
inline constexpr SettingKey DIRECTION_STEP   {"SIMULATION", "DIRECTION_STEP",      Viren,  Real,    "0.02"};
inline constexpr SettingKey SIM_TURBO        {"SIMULATION", "TURBO",               Viren,  Real,    "2.0"};
inline constexpr SettingKey SIM_ROBOQ        {"SIMULATION", "ROBOQ",               Viren,  Real,    "0.5"};
inline constexpr SettingKey CAMERA_ERRORS    {"SIMULATION", "CAMERA_ERRORS",       Viren,  Integer, "0"};
inline constexpr SettingKey CAMERA_NOISE     {"SIMULATION", "CAMERA_NOISE",        Viren,  Real,    "1.0"};
inline constexpr SettingKey CAMERA_DROP      {"SIMULATION", "CAMERA_DROP",         Viren,  Integer, "10"};
inline constexpr SettingKey CAMERA_DELAY     {"SIMULATION", "CAMERA_DELAY",        Viren,  Integer, "100"};
inline constexpr SettingKey CAMERA_RATE      {"SIMULATION", "CAMERA_RATE",         Viren,  Integer, "30"};
inline constexpr SettingKey CAMERA_SEED      {"SIMULATION", "CAMERA_SEED",         Viren,  Integer, "1"};
inline constexpr SettingKey FRAME_POSITION   {"WINDOW",     "FRAME_POSITION",      Option, Pair,    ""};
inline constexpr SettingKey CONTROL_POSITION {"WINDOW",     "CONTROL_POSITION",    Option, Pair,    ""};
inline constexpr SettingKey SOUND_FONT       {"SOUND",      "SOUND_FONT",          Viren,  String,  ""};
inline constexpr SettingKey COM_NO           {"USB",        "COM_NO",              Option, Integer, "0"};
inline constexpr SettingKey RELAY_ID         {"USB",        "RELAY_ID",            Viren,  String,  "0123456789"};
inline constexpr SettingKey ROBOQ_BAND       {"USB",        "ROBOQ_BAND",          Option, Integer, "0"};
inline constexpr SettingKey ROBOQ_CH         {"USB",        "ROBOQ_CH",            Option, Integer, "0"};
inline constexpr SettingKey ROBOQ_INTERVAL   {"USB",        "ROBOQ_INTERVAL",      Viren,  Integer, "0"};
inline constexpr SettingKey VECTOR_PEN_COLOR {"VECTOR",     "PEN_COLOR",           Viren,  Colour,  "#FF0000"};
inline constexpr SettingKey VECTOR_PEN_WIDTH {"VECTOR",     "PEN_WIDTH",           Viren,  Integer, "2"};
inline constexpr SettingKey COMPARE_FRAME    {"VIEW",       "COMPARE_FRAME",       Option, Integer, "1"};
inline constexpr SettingKey DIFF_LEVEL       {"VIEW",       "DIFF_LEVEL",          Option, Integer, "90"};
inline constexpr SettingKey MARKER_CHECK     {"VIEW",       "MARKER_CHECK",        Option, Integer, "0"};
inline constexpr SettingKey MARKER_LEVEL     {"VIEW",       "MARKER_LEVEL",        Option, Integer, "16"};
inline constexpr SettingKey SAMPLING_FRAME   {"VIEW",       "SAMPLING_FRAME",      Viren,  Integer, "100"};
inline constexpr SettingKey SAMPLING_MINIMUM {"VIEW",       "SAMPLING_MINIMUM",    Viren,  Integer, "5"};
// clang-format on
}  // namespace keys

// Every fixed key of the table, in the table's order (the numbered sound keys
// and the device-path keys are formed by the functions below).
std::span<const SettingKey> AllSettingKeys();

// [SOUND] SOUND_FILE<n>, n = 1..100, in option.ini; empty ends the list.
inline constexpr int kMaxSoundFiles = 100;
std::string SoundFileKeyName(int number);

// [USB] COM_DEVICE<n> in VIREN.ini: the device path that COM number n stands
// for on this machine (empty: the n-th serial device found).
std::string ComDeviceKeyName(int number);

}  // namespace viren
