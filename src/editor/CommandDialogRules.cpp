#include "editor/CommandDialogRules.h"

#include <cctype>
#include <charconv>
#include <string_view>

#include "core/Messages.h"

namespace viren {
namespace {

std::string Text(int id) {
  return std::string(MessageText(id));
}

int CameraLimit(const CommandDialogContext& context) {
  return (context.cameraWidth > 0 ? context.cameraWidth : 640) - 1;
}

DialogRefusal Refuse(int control, int messageId, std::vector<std::string> args = {}) {
  return DialogRefusal{control, messageId, std::move(args)};
}

}  // namespace

EventDialogSetup SetUpEventDialog(EventKind kind, const CommandDialogContext& context) {
  EventDialogSetup s;
  switch (kind) {
    case EVENT_CAR:
      s.caption = Text(MSG_CAR_CAPTION);
      if (context.roboQ)
        s.radios = {"停止", "低速前進", "中速前進", "高速前進"};
      else
        s.radios = {"停止", "前進", "後進", ""};
      s.value1Shown = true;
      s.label1 = "距離";
      s.spin1Min = 0;
      s.spin1Max = CameraLimit(context);
      s.checkShown = context.enableTurbo && !context.roboQ;
      s.checkText = "ターボ";
      break;
    case EVENT_HANDLE:
      s.caption = Text(MSG_STEERING_CAPTION);
      s.radios = {"直進", "左折", "右折", ""};
      s.value1Shown = true;
      s.label1 = "角度";
      s.spin1Max = 360;
      s.checkShown = true;
      s.checkText = "旋回";
      break;
    case EVENT_POSITION:
      s.caption = Text(MSG_POSITION_CAPTION);
      s.radios = {"ｺｰｽ範囲外", "ｶﾒﾗ範囲外", "ｶﾒﾗ中央", "ユーザ定義"};
      s.value1Shown = true;
      s.label1 = "X座標";
      s.spin1Max = 639;
      s.value2Shown = true;
      s.label2 = "Y座標";
      s.spin2Max = 479;
      s.referenceShown = true;
      s.referenceText = context.captureRunning ? "ｶﾒﾗ参照" : "ﾚｲｱｳﾄ参照";
      break;
    case EVENT_REPEAT:
      s.caption = Text(MSG_REPEAT_CAPTION);
      s.value1Shown = true;
      s.label1 = "回数";
      s.spin1Min = 1;
      s.spin1Max = 99;
      break;
    case EVENT_SOUND:
      s.caption = Text(MSG_SOUND_CAPTION);
      s.radios = {"停止", "再生", "繰返し再生", ""};
      s.value1Shown = true;
      s.label1 = "ｻｳﾝﾄﾞ番号";
      s.spin1Min = 1;
      s.spin1Max = context.soundCount;
      s.referenceShown = true;
      s.referenceText = "サウンド設定";
      break;
    case EVENT_BALL:
      s.caption = Text(MSG_BALL_CAPTION);
      s.radios = {"ボール認識終了", "ボール追従開始", "ボール回避開始", ""};
      s.value1Shown = true;
      s.label1 = "回避開始距離";
      s.spin1Min = 16;
      s.spin1Max = 100;
      s.checkShown = true;
      s.checkText = "位置検出";
      break;
    default:
      break;
  }
  return s;
}

EventDialogEnabling EnableEventControls(EventKind kind, const EventDialogValues& values,
                                        const EventDialogSetup& setup) {
  EventDialogEnabling e;
  e.spin1Min = setup.spin1Min;
  e.spin1Max = setup.spin1Max;
  const bool moving = values.option != 0;
  switch (kind) {
    case EVENT_CAR:
      e.value1 = e.check = moving;
      break;
    case EVENT_HANDLE:
      e.value1 = e.check = moving;
      if (values.check != 0) {
        e.label1 = "回転数";
        e.spin1Min = 0;
        e.spin1Max = 99;
      } else {
        e.label1 = "角度";
        e.spin1Min = 0;
        e.spin1Max = 360;
      }
      break;
    case EVENT_POSITION:
      e.value1 = e.value2 = e.reference = values.option == POSITION_POINT;
      break;
    case EVENT_SOUND:
      e.reference = moving;
      break;
    case EVENT_BALL:
      e.value1 = values.option == BALL_AVOID;
      e.check = moving;
      break;
    default:
      break;
  }
  return e;
}

std::optional<DialogRefusal> ExchangeInt(const std::string& text, int minimum, int maximum,
                                         int control, int& value) {
  std::string_view t = text;
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.front()))) t.remove_prefix(1);
  while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
  if (!t.empty() && t.front() == '+') t.remove_prefix(1);
  int parsed = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), parsed);
  if (t.empty() || error == std::errc::invalid_argument || end != t.data() + t.size())
    return Refuse(control, MSG_ENTER_INTEGER);
  if (error == std::errc::result_out_of_range || parsed < minimum || parsed > maximum)
    return Refuse(control, MSG_ENTER_INTEGER_BETWEEN,
                  {std::to_string(minimum), std::to_string(maximum)});
  value = parsed;
  return std::nullopt;
}

std::optional<DialogRefusal> ValidateTimer(int seconds, int tenths) {
  if (seconds < 0 || seconds > 59) return Refuse(IDC_TIME_SECONDS, MSG_TIMER_RANGE);
  if (tenths < 0 || tenths > 9 || (seconds == 0 && tenths == 0))
    return Refuse(IDC_TIME_TENTHS, MSG_TIMER_RANGE);
  return std::nullopt;
}

std::optional<DialogRefusal> ValidateEvent(EventKind kind, const EventDialogValues& v,
                                           const CommandDialogContext& context) {
  switch (kind) {
    case EVENT_CAR:
      if (v.value1 > CameraLimit(context)) return Refuse(IDC_EVENT_VALUE1, MSG_DISTANCE_TOO_LARGE);
      break;
    case EVENT_HANDLE:
      if (v.check != 0) {
        if (v.value1 < 0 || v.value1 > 99) return Refuse(IDC_EVENT_VALUE1, MSG_TURN_COUNT_RANGE);
      } else if (v.value1 < 0 || v.value1 > 360) {
        return Refuse(IDC_EVENT_VALUE1, MSG_STEERING_ANGLE_WRONG);
      }
      break;
    case EVENT_POSITION:
      // No message of the string table speaks of a point; the dialogs' own
      // range message names the limits of the plane.
      if (v.value1 > kLayoutPlaneWidth)
        return Refuse(IDC_EVENT_VALUE1, MSG_ENTER_INTEGER_BETWEEN,
                      {"0", std::to_string(kLayoutPlaneWidth)});
      if (v.value2 > kLayoutPlaneHeight)
        return Refuse(IDC_EVENT_VALUE2, MSG_ENTER_INTEGER_BETWEEN,
                      {"0", std::to_string(kLayoutPlaneHeight)});
      break;
    case EVENT_REPEAT:
      if (v.value1 < 1 || v.value1 > 99) return Refuse(IDC_EVENT_VALUE1, MSG_REPEAT_COUNT_RANGE);
      break;
    case EVENT_SOUND:
      if (v.value1 < 1 || v.value1 > context.soundCount)
        return Refuse(IDC_EVENT_VALUE1, MSG_SOUND_NUMBER_RANGE,
                      {std::to_string(context.soundCount)});
      break;
    case EVENT_BALL:
      // The spin and the message say 16..100; what is accepted is 10..200.
      if (v.value1 < 10 || v.value1 > 200)
        return Refuse(IDC_EVENT_VALUE1, MSG_AVOID_DISTANCE_RANGE);
      break;
    default:
      break;
  }
  return std::nullopt;
}

void StoreEventValues(EventRecord& record, const EventDialogValues& v) {
  record.option = static_cast<std::uint8_t>(v.option);
  record.value1 = static_cast<std::int16_t>(v.value1);
  switch (record.kind) {
    case EVENT_CAR:
    case EVENT_HANDLE:
    case EVENT_BALL:
      record.value2 = static_cast<std::int16_t>(v.check);
      break;
    case EVENT_POSITION:
      record.value2 = static_cast<std::int16_t>(v.value2);
      break;
    default:
      record.value2 = 0;
      break;
  }
}

EventDialogValues EventValuesOf(const EventRecord& record) {
  EventDialogValues v;
  v.option = record.option;
  v.value1 = record.value1;
  switch (record.kind) {
    case EVENT_CAR:
    case EVENT_HANDLE:
    case EVENT_BALL:
      v.check = record.value2 != 0 ? 1 : 0;
      break;
    case EVENT_POSITION:
      v.value2 = record.value2;
      break;
    default:
      break;
  }
  return v;
}

}  // namespace viren
