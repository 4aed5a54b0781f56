#include "program/ProgramCheck.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "core/Messages.h"
#include "program/DrivingProgram.h"
#include "settings/Settings.h"

namespace viren {
namespace {

// Sound files named without a folder are looked for here, as the sound list does.
constexpr std::string_view kSoundFolder = "sample/sound";
constexpr std::string_view kSoundSection = "SOUND";

constexpr int kPlaneWidth = 640;
constexpr int kPlaneHeight = 480;

class Checker {
 public:
  Checker(const EventRecord* records, int count, const ProgramCheckContext& context)
      : records_(records), count_(std::clamp(count, 0, kProgramSlots)), context_(context) {}

  std::vector<CheckFinding> Run() {
    if (count_ < 1) return {};
    const std::vector<int> chain = WalkChain(0);
    reached_.assign(static_cast<size_t>(count_), false);
    for (int i : chain) reached_[static_cast<size_t>(i)] = true;

    const EventRecord& last = records_[chain.back()];
    if (chain.size() < 2) {
      Add(0, CheckSeverity::Error, CheckKind::NothingToRun,
          "開始コマンドの後にコマンドがありません。自動運転では何も実行されません");
    } else if (last.kind != EVENT_END && last.link == -1) {
      Add(chain.back(), CheckSeverity::Warning, CheckKind::NoEnd,
          "終了コマンドがありません。自動運転を止めるまで、車は最後のコマンドの動作を続けます");
    }
    for (int i : chain) CheckCommand(i);
    CheckOtherChains();

    std::stable_sort(
        findings_.begin(), findings_.end(),
        [](const CheckFinding& a, const CheckFinding& b) { return a.command < b.command; });
    return std::move(findings_);
  }

 private:
  bool Used(int i) const { return i >= 0 && i < count_ && records_[i].kind != EVENT_FREE; }

  // The records of the chain that starts at `head`, in order; a successor
  // that is not a used record, or that was met before, ends it.
  std::vector<int> WalkChain(int head) const {
    std::vector<int> chain;
    std::vector<bool> seen(static_cast<size_t>(count_), false);
    for (int i = head; Used(i) && !seen[static_cast<size_t>(i)]; i = records_[i].next) {
      seen[static_cast<size_t>(i)] = true;
      chain.push_back(i);
    }
    return chain;
  }

  void Add(int command, CheckSeverity severity, CheckKind kind, std::string_view text,
           const std::vector<std::string>& args = {}) {
    findings_.push_back({command, severity, kind, FormatText(text, args)});
  }

  void CheckCommand(int i) {
    const EventRecord& r = records_[i];
    if (r.link != -1) CheckLink(i);
    switch (r.kind) {
      case EVENT_SOUND:
        CheckSound(i);
        break;
      case EVENT_BALL:
        if (!context_.ballLearned && !context_.simulating)
          Add(i, CheckSeverity::Warning, CheckKind::BallNotLearned,
              "ボールが学習されていません。カメラでの自動運転ではこのボールコマンドは実行されませ"
              "ん");
        break;
      case EVENT_POSITION:
        if (r.option == POSITION_POINT) CheckPoint(i);
        break;
      default:
        break;
    }
  }

  void CheckLink(int i) {
    const EventRecord& r = records_[i];
    const bool repeat = r.kind == EVENT_REPEAT;
    // The run follows a link back along its own chain only; anything else
    // leaves it idling at this command.
    const int timed = viren::CountTimedCommands(records_, count_, i, r.link);
    if (timed == -1 || !Used(r.link)) {
      Add(i, CheckSeverity::Error, CheckKind::LinkOutsideChain,
          repeat ? "繰返しのリンク先(%1)が同じ列のこのコマンドより前にありません。"
                   "自動運転はここで止まったままになります"
                 : "リンク先(%1)が同じ列のこのコマンドより前にありません。"
                   "自動運転はここで止まったままになります",
          {std::to_string(r.link)});
    } else if (timed == 0) {
      Add(i, CheckSeverity::Warning, CheckKind::LoopWithoutWait,
          "繰返しにタイマー等の時間のかかるコマンドがありません。1秒に1回しか繰返しません");
    }
  }

  void CheckSound(int i) {
    const int number = records_[i].value1;
    const int listed = static_cast<int>(context_.soundFiles.size());
    if (number < 1 || number > listed) {
      if (listed == 0)
        Add(i, CheckSeverity::Error, CheckKind::SoundBeyondList,
            "サウンド番号%1はサウンドリストにありません(サウンドリストは空です)",
            {std::to_string(number)});
      else
        Add(i, CheckSeverity::Error, CheckKind::SoundBeyondList,
            "サウンド番号%1はサウンドリストにありません(1～%2)",
            {std::to_string(number), std::to_string(listed)});
      return;
    }
    const std::string& path = context_.soundFiles[static_cast<size_t>(number - 1)];
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec))
      Add(i, CheckSeverity::Error, CheckKind::SoundFileMissing,
          "%1番のサウンドファイル[%2]が存在しません", {std::to_string(number), path});
  }

  void CheckPoint(int i) {
    const int x = records_[i].value1;
    const int y = records_[i].value2;
    const std::vector<std::string> point = {std::to_string(x), std::to_string(y)};
    if (x < 0 || x > kPlaneWidth || y < 0 || y > kPlaneHeight) {
      Add(i, CheckSeverity::Error, CheckKind::PositionOutside,
          "目標位置(%1,%2)がカメラの範囲(640x480)の外です", point);
      return;
    }
    // The course range as the run tests it, bounds included.
    const int w = context_.borderWidth;
    const int h = context_.borderHeight;
    const int left = (kPlaneWidth - w) / 2;
    const int top = (kPlaneHeight - h) / 2;
    const int right = (kPlaneWidth + w) / 2;
    const int bottom = (kPlaneHeight + h) / 2;
    if (x < left || x > right || y < top || y > bottom)
      Add(i, CheckSeverity::Warning, CheckKind::PositionOutside,
          "目標位置(%1,%2)がコース範囲(%3,%4)-(%5,%6)の外です",
          {point[0], point[1], std::to_string(left), std::to_string(top), std::to_string(right),
           std::to_string(bottom)});
  }

  // Chains other than the start chain are never run: one finding at each
  // head. A record whose predecessor does not lead to it heads what is left
  // of a damaged chain.
  bool IsHead(int i) const {
    const int prev = records_[i].prev;
    return prev == -1 || !Used(prev) || records_[prev].next != i;
  }

  void CheckOtherChains() {
    for (int i = 1; i < count_; ++i) {
      if (!Used(i) || reached_[static_cast<size_t>(i)] || !IsHead(i)) continue;
      const std::vector<int> chain = WalkChain(i);
      for (int k : chain) reached_[static_cast<size_t>(k)] = true;
      Add(i, CheckSeverity::Warning, CheckKind::Unreachable,
          "このコマンドから始まる%"
          "1個のコマンドは開始コマンドにつながっていないため、実行されません",
          {std::to_string(chain.size())});
    }
  }

  const EventRecord* records_;
  int count_;
  const ProgramCheckContext& context_;
  std::vector<bool> reached_;
  std::vector<CheckFinding> findings_;
};

}  // namespace

ProgramCheckContext ReadProgramCheckContext(const Settings& settings) {
  ProgramCheckContext context;
  for (int n = 1; n <= kMaxSoundFiles; ++n) {
    const std::string value =
        settings.ReadSettingString(kSoundSection, SoundFileKeyName(n), "", settings.optionFile());
    if (value.empty()) break;
    context.soundFiles.push_back(settings.ResolveDataPath(kSoundFolder, value));
  }
  context.borderWidth = settings.ReadInt(keys::BORDER_WIDTH);
  context.borderHeight = settings.ReadInt(keys::BORDER_HEIGHT);
  return context;
}

std::vector<CheckFinding> CheckProgram(const EventRecord* records, int count,
                                       const ProgramCheckContext& context) {
  return Checker(records, count, context).Run();
}

bool HasErrors(const std::vector<CheckFinding>& findings) {
  return std::any_of(findings.begin(), findings.end(),
                     [](const CheckFinding& f) { return f.severity == CheckSeverity::Error; });
}

std::string FormatFindingLine(const CheckFinding& finding) {
  return "command " + std::to_string(finding.command) + ": " + finding.text;
}

}  // namespace viren
