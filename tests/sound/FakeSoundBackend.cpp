#include "FakeSoundBackend.h"

#include "sound/SoundErrors.h"

namespace viren::test {

namespace {

class FakeSegment : public SoundSegment {
 public:
  int SetRepeats(SoundRepeat) override { return 0; }
};

class FakePlayer : public SoundPlayer {
 public:
  explicit FakePlayer(std::shared_ptr<FakeSoundBackend::Script> script)
      : script_(std::move(script)) {}
  int InitAudio() override {
    std::lock_guard lock(script_->mutex);
    return script_->failInitAudio;
  }
  int Download(SoundSegment& s) override {
    std::lock_guard lock(mutex_);
    downloaded_ = &s;
    playing_ = false;
    return 0;
  }
  int Unload(SoundSegment& s) override {
    {
      std::lock_guard lock(script_->mutex);
      if (script_->failUnload) return script_->failUnload;
    }
    std::lock_guard lock(mutex_);
    if (downloaded_ != &s) return kSoundErrorNotDownloaded;
    downloaded_ = nullptr;
    playing_ = false;
    return 0;
  }
  int Play(SoundSegment& s) override {
    std::lock_guard lock(mutex_);
    if (downloaded_ != &s) return kSoundErrorNotDownloaded;
    playing_ = true;
    return 0;
  }
  int Stop(SoundSegment& s) override {
    {
      std::lock_guard lock(script_->mutex);
      if (script_->failStop) return script_->failStop;
    }
    std::lock_guard lock(mutex_);
    if (downloaded_ != &s) return kSoundErrorNotDownloaded;
    playing_ = false;
    return 0;
  }
  bool IsPlaying(const SoundSegment& s) const override {
    std::lock_guard lock(mutex_);
    return downloaded_ == &s && playing_;
  }

 private:
  std::shared_ptr<FakeSoundBackend::Script> script_;
  mutable std::mutex mutex_;
  const SoundSegment* downloaded_ = nullptr;
  bool playing_ = false;
};

}  // namespace

int FakeSoundBackend::CreateLoader() {
  std::lock_guard lock(script_->mutex);
  return script_->failLoader;
}

int FakeSoundBackend::CreatePlayer(std::unique_ptr<SoundPlayer>* player) {
  std::lock_guard lock(script_->mutex);
  if (script_->failCreatePlayer) return script_->failCreatePlayer;
  ++script_->playerCount;
  *player = std::make_unique<FakePlayer>(script_);
  return 0;
}

int FakeSoundBackend::LoadSegment(const std::string& path, std::unique_ptr<SoundSegment>* segment) {
  std::function<void(const std::string&)> onLoad;
  {
    std::lock_guard lock(script_->mutex);
    onLoad = script_->onLoad;
  }
  if (onLoad) onLoad(path);
  std::lock_guard lock(script_->mutex);
  script_->loads.push_back(path);
  if (!script_->failLoadOf.empty() && path.find(script_->failLoadOf) != std::string::npos)
    return kSoundErrorFileOpen;
  *segment = std::make_unique<FakeSegment>();
  return 0;
}

SoundErrorText FakeSoundBackend::DescribeError(int code) const {
  return StandardSoundErrorText(code);
}

}  // namespace viren::test
