#include "simulation/RunTrack.h"

#include <cmath>
#include <cstdio>

#include "program/EventRecord.h"

namespace viren {
namespace {

bool Inside(Point p, const Rect& r) {
  return p.x >= r.left && p.x <= r.right && p.y >= r.top && p.y <= r.bottom;
}

const char* KindName(int kind) {
  switch (kind) {
    case EVENT_START:
      return "開始";
    case EVENT_TIMER:
      return "タイマー";
    case EVENT_CAR:
      return "車";
    case EVENT_HANDLE:
      return "ハンドル";
    case EVENT_POSITION:
      return "位置";
    case EVENT_REPEAT:
      return "繰返し";
    case EVENT_SOUND:
      return "サウンド";
    case EVENT_END:
      return "終了";
    case EVENT_BALL:
      return "ボール";
    default:
      return "-";
  }
}

}  // namespace

RunReport SummariseRun(const std::vector<TrackRow>& runRows, const Rect& range) {
  RunReport report;
  if (runRows.empty()) return report;
  report.durationMs = runRows.back().tMs - runRows.front().tMs;
  report.lastCommand = runRows.back().command;
  bool inside = Inside(runRows.front().position, range);
  for (size_t i = 1; i < runRows.size(); ++i) {
    const Point a = runRows[i - 1].position;
    const Point b = runRows[i].position;
    report.distance += std::hypot(static_cast<double>(b.x - a.x), static_cast<double>(b.y - a.y));
    const bool now = Inside(b, range);
    if (inside && !now) ++report.courseRangeExits;
    inside = now;
  }
  return report;
}

std::string FormatRunReport(const RunReport& r) {
  char line[256];
  std::snprintf(line, sizeof line,
                "走行結果: 時間 %.1f秒, 距離 %.0fドット, 実行コマンド %d個, コース範囲外へ %d回, "
                "終了時のコマンド %d(%s)",
                static_cast<double>(r.durationMs) / 1000.0, r.distance, r.commandsExecuted,
                r.courseRangeExits, r.lastCommand, KindName(r.lastCommandKind));
  return line;
}

std::string FormatRunStatus(int command, int kind, std::int64_t elapsedMs) {
  const double seconds = static_cast<double>(elapsedMs < 0 ? 0 : elapsedMs) / 1000.0;
  char line[128];
  if (command < 0)
    std::snprintf(line, sizeof line, "自動運転中  %.1f秒", seconds);
  else
    std::snprintf(line, sizeof line, "自動運転中: コマンド %d(%s)  %.1f秒", command, KindName(kind),
                  seconds);
  return line;
}

std::string RunReportCsv(const RunReport& r) {
  char text[512];
  std::snprintf(text, sizeof text,
                "key,value\nduration_ms,%lld\ndistance_px,%.1f\ncommands_executed,%d\n"
                "course_range_exits,%d\nlast_command,%d\nlast_command_kind,%d\n",
                static_cast<long long>(r.durationMs), r.distance, r.commandsExecuted,
                r.courseRangeExits, r.lastCommand, r.lastCommandKind);
  return text;
}

std::string RunReportPathFor(const std::string& trackPath) {
  const std::string csv = ".csv";
  const bool hasCsv = trackPath.size() > csv.size() &&
                      trackPath.compare(trackPath.size() - csv.size(), csv.size(), csv) == 0;
  return (hasCsv ? trackPath.substr(0, trackPath.size() - csv.size()) : trackPath) + ".report.csv";
}

void RunTrack::Record(const TrackRow& row, int run) {
  std::lock_guard lock(mutex_);
  if (run != run_) {
    rows_.clear();
    run_ = run;
  }
  rows_.push_back(row);
}

std::vector<TrackRow> RunTrack::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::vector<Point> RunTrack::Points() const {
  std::lock_guard lock(mutex_);
  std::vector<Point> points;
  points.reserve(rows_.size());
  for (const TrackRow& row : rows_) points.push_back(row.position);
  return points;
}

void RunTrack::Finish(const Rect& courseRange, int commandsExecuted, int lastCommand,
                      int lastCommandKind) {
  {
    std::lock_guard lock(mutex_);
    report_ = SummariseRun(rows_, courseRange);
    report_.commandsExecuted = commandsExecuted;
    report_.lastCommand = lastCommand;
    report_.lastCommandKind = lastCommandKind;
  }
  ++reportNumber_;
}

RunReport RunTrack::LastReport() const {
  std::lock_guard lock(mutex_);
  return report_;
}

}  // namespace viren
