#include "sound/SoundLog.h"

#include <cinttypes>
#include <cstdio>

#include "core/Clock.h"

namespace viren {

std::string FormatSoundLogEntry(const SoundLogEntry& entry) {
  char time[32];
  std::snprintf(time, sizeof time, "%" PRId64, entry.tMs);
  std::string line = time;
  line += entry.event == SoundLogEntry::Event::Play ? ",play," : ",stop,";
  line += entry.file;
  line += entry.repeat == SoundRepeat::Endless ? ",endless" : ",once";
  return line;
}

void SoundLog::Add(SoundLogEntry::Event event, std::string file, SoundRepeat repeat) {
  SoundLogEntry entry{clock_.NowMs(), event, std::move(file), repeat};
  std::lock_guard lock(mutex_);
  entries_.push_back(std::move(entry));
}

std::vector<SoundLogEntry> SoundLog::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::string SoundLog::Csv() const {
  std::string csv(kSoundLogHeader);
  csv += '\n';
  for (const SoundLogEntry& entry : Entries()) csv += FormatSoundLogEntry(entry) + '\n';
  return csv;
}

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The library's segment with what the log names it by. Only the owning
// player's thread changes the repeat setting (the sound system serialises the
// calls per player), and Play reads it on that same thread.
class LoggedSegment final : public SoundSegment {
 public:
  LoggedSegment(std::unique_ptr<SoundSegment> inner, std::string file)
      : inner_(std::move(inner)), file_(std::move(file)) {}
  int SetRepeats(SoundRepeat repeat) override {
    const int rc = inner_->SetRepeats(repeat);
    if (rc >= 0) repeat_ = repeat;
    return rc;
  }
  SoundSegment& inner() { return *inner_; }
  const SoundSegment& inner() const { return *inner_; }
  const std::string& file() const { return file_; }
  SoundRepeat repeat() const { return repeat_; }

 private:
  std::unique_ptr<SoundSegment> inner_;
  std::string file_;
  SoundRepeat repeat_ = SoundRepeat::Once;
};

// Every segment a player of this back end sees was loaded by it.
LoggedSegment& Logged(SoundSegment& segment) {
  return static_cast<LoggedSegment&>(segment);
}
const LoggedSegment& Logged(const SoundSegment& segment) {
  return static_cast<const LoggedSegment&>(segment);
}

class LoggedPlayer final : public SoundPlayer {
 public:
  LoggedPlayer(std::unique_ptr<SoundPlayer> inner, SoundLog& log)
      : inner_(std::move(inner)), log_(log) {}
  int InitAudio() override { return inner_->InitAudio(); }
  int Download(SoundSegment& segment) override { return inner_->Download(Logged(segment).inner()); }
  int Unload(SoundSegment& segment) override { return inner_->Unload(Logged(segment).inner()); }
  int Play(SoundSegment& segment) override {
    LoggedSegment& logged = Logged(segment);
    const int rc = inner_->Play(logged.inner());
    if (rc >= 0) log_.Add(SoundLogEntry::Event::Play, logged.file(), logged.repeat());
    return rc;
  }
  int Stop(SoundSegment& segment) override {
    LoggedSegment& logged = Logged(segment);
    const int rc = inner_->Stop(logged.inner());
    if (rc >= 0) log_.Add(SoundLogEntry::Event::Stop, logged.file(), logged.repeat());
    return rc;
  }
  bool IsPlaying(const SoundSegment& segment) const override {
    return inner_->IsPlaying(Logged(segment).inner());
  }

 private:
  std::unique_ptr<SoundPlayer> inner_;
  SoundLog& log_;
};

class LoggingBackend final : public SoundBackend {
 public:
  LoggingBackend(std::unique_ptr<SoundBackend> inner, SoundLog& log)
      : inner_(std::move(inner)), log_(log) {}
  int CreateLoader() override { return inner_->CreateLoader(); }
  int CreatePlayer(std::unique_ptr<SoundPlayer>* player) override {
    std::unique_ptr<SoundPlayer> made;
    const int rc = inner_->CreatePlayer(&made);
    if (rc >= 0 && made) *player = std::make_unique<LoggedPlayer>(std::move(made), log_);
    return rc;
  }
  int LoadSegment(const std::string& path, std::unique_ptr<SoundSegment>* segment) override {
    std::unique_ptr<SoundSegment> loaded;
    const int rc = inner_->LoadSegment(path, &loaded);
    if (rc >= 0 && loaded)
      *segment = std::make_unique<LoggedSegment>(std::move(loaded), BaseName(path));
    return rc;
  }
  void SetSoundFont(const std::string& configured) override { inner_->SetSoundFont(configured); }
  SoundErrorText DescribeError(int code) const override { return inner_->DescribeError(code); }

 private:
  std::unique_ptr<SoundBackend> inner_;
  SoundLog& log_;
};

}  // namespace

std::unique_ptr<SoundBackend> MakeLoggingSoundBackend(std::unique_ptr<SoundBackend> inner,
                                                      SoundLog& log) {
  return std::make_unique<LoggingBackend>(std::move(inner), log);
}

}  // namespace viren
