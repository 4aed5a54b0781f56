#include "settings/SettingsTable.h"

#include "settings/IniFile.h"

namespace viren {

int SettingKey::DefaultInt() const {
  return ParseProfileInt(defaultText);
}

std::span<const SettingKey> AllSettingKeys() {
  using namespace keys;
  static constexpr SettingKey kAll[] = {
      AGREEMENT,        COMM_INTERVAL,    EMERGENCY_COUNT,  POSITION_RANGE,
      DIRECTION_RANGE,  CAPTURE_DEVICE,   CAPTURE_LOOP,     RESOLUTION,
      CONTROL_4WD,      ENABLE_TURBO,     CONTROL_ROBOQ,    DEBUG_CAPTURE,
      DEBUG_CENTER,     LOG_POSITION,     MARKER_DISPLAY,   DEBUG_MENU,
      EVENT_COLOR,      LINK_COLOR,       LINK_WIDTH,       SELECT_COLOR,
      SELECT_WIDTH,     EVENT_FILE_NAME,  BORDER_WIDTH,     BORDER_HEIGHT,
      CAR_COLOR,        CAR_FILE,         CAR_SIZE,         CAR_TYPE,
      LAYOUT_COLOR,     LAYOUT_FILE,      LAYOUT_TYPE,      LAYOUT_PEN_WIDTH,
      PM_FIND_DISTANCE, PM_NUM_OF_BASIS,  PM_BOTTOM_UP,     PM_DISTANCE_START,
      PM_REJECT,        PM_FRAME,         PM_ESCAPE,        PATTERN_FILE,
      SIMULATION_SPEED, POSITION_STEP,    DIRECTION_STEP,   SIM_TURBO,
      SIM_ROBOQ,        COM_NO,           RELAY_ID,         ROBOQ_BAND,
      ROBOQ_CH,         ROBOQ_INTERVAL,   VECTOR_PEN_COLOR, VECTOR_PEN_WIDTH,
      COMPARE_FRAME,    DIFF_LEVEL,       MARKER_CHECK,     MARKER_LEVEL,
      SAMPLING_FRAME,   SAMPLING_MINIMUM, DOC_URL,          FOLDER_RATE,
      SOUND_FONT,       FRAME_POSITION,   CONTROL_POSITION, CAMERA_ERRORS,
      CAMERA_NOISE,     CAMERA_DROP,      CAMERA_DELAY,     CAMERA_RATE,
      CAMERA_SEED,      LOG_FILE,         DUMP_LIMIT,
  };
  return kAll;
}

std::string SoundFileKeyName(int number) {
  return "SOUND_FILE" + std::to_string(number);
}

std::string ComDeviceKeyName(int number) {
  return "COM_DEVICE" + std::to_string(number);
}

}  // namespace viren
