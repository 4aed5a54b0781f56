#include "Bridge.h"

#include <mosquitto.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "core/DriveTypes.h"

namespace viren::bridge {

namespace {

using std::chrono::milliseconds;

constexpr int kQos = 1;
constexpr std::size_t kMaxQueued = 16;
constexpr auto kAttachRetry = milliseconds(500);
constexpr auto kConnectAnswerTimeout = std::chrono::seconds(10);
constexpr int kStopWaitMs = 1000;

bool Moves(int driveParameter) {
  // Forward and reverse move every car; on the ROBO-Q the interface turns
  // the turbo codes into forward at another speed.
  return driveParameter == DRIVE_FORWARD || driveParameter == DRIVE_REVERSE ||
         driveParameter == DRIVE_TURBO_ON || driveParameter == DRIVE_TURBO_OFF;
}

}  // namespace

std::int64_t WallClockMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Bridge::Bridge(BridgeSettings settings, Log log)
    : settings_(std::move(settings)), log_(std::move(log)), car_(settings_.shmPrefix) {
  mosquitto_lib_init();
}

Bridge::~Bridge() {
  if (mqtt_) mosquitto_destroy(mqtt_);
  mosquitto_lib_cleanup();
}

void Bridge::ConnectCallback(mosquitto*, void* self, int rc) {
  static_cast<Bridge*>(self)->OnConnect(rc);
}
void Bridge::DisconnectCallback(mosquitto*, void* self, int rc) {
  static_cast<Bridge*>(self)->OnDisconnect(rc);
}
void Bridge::MessageCallback(mosquitto*, void* self, const mosquitto_message* message) {
  if (message) static_cast<Bridge*>(self)->OnMessage(*message);
}

bool Bridge::SetUpClient() {
  // A clean session: the broker keeps no subscription and no message for
  // the bridge while it is away, so nothing old is delivered after a
  // reconnect. The library picks a random client id.
  mqtt_ = mosquitto_new(nullptr, true, this);
  if (!mqtt_) {
    log_("cannot create the broker client");
    return false;
  }
  mosquitto_int_option(mqtt_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_int_option(mqtt_, MOSQ_OPT_TCP_NODELAY, 1);
  const std::string online = settings_.Topic("online");
  if (mosquitto_will_set(mqtt_, online.c_str(), 5, "false", kQos, true) != MOSQ_ERR_SUCCESS) {
    log_("cannot set the last will on " + online);
    return false;
  }
  if (!settings_.username.empty() &&
      mosquitto_username_pw_set(
          mqtt_, settings_.username.c_str(),
          settings_.password.empty() ? nullptr : settings_.password.c_str()) != MOSQ_ERR_SUCCESS) {
    log_("cannot set the user name");
    return false;
  }
  if (settings_.tls) {
    const auto orNull = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const char* caPath = orNull(settings_.caPath);
    if (settings_.caFile.empty() && settings_.caPath.empty()) caPath = "/etc/ssl/certs";
    int rc = mosquitto_tls_set(mqtt_, orNull(settings_.caFile), caPath, orNull(settings_.certFile),
                               orNull(settings_.keyFile), nullptr);
    if (rc == MOSQ_ERR_SUCCESS) {
      rc = mosquitto_tls_opts_set(mqtt_, 1, orNull(settings_.tlsVersion), nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(mqtt_, settings_.tlsInsecure);
    if (rc != MOSQ_ERR_SUCCESS) {
      log_(std::string("TLS settings refused: ") + mosquitto_strerror(rc));
      return false;
    }
  }
  // The library's own error lines say what a bare "TLS error" does not (a
  // certificate that does not verify); each different one is shown once.
  mosquitto_log_callback_set(mqtt_, [](mosquitto*, void* self, int level, const char* text) {
    auto* bridge = static_cast<Bridge*>(self);
    if (level != MOSQ_LOG_ERR || !text || bridge->lastLibraryError_ == text) return;
    bridge->lastLibraryError_ = text;
    bridge->log_(text);
  });
  mosquitto_connect_callback_set(mqtt_, &Bridge::ConnectCallback);
  mosquitto_disconnect_callback_set(mqtt_, &Bridge::DisconnectCallback);
  mosquitto_message_callback_set(mqtt_, &Bridge::MessageCallback);
  return true;
}

int Bridge::Run(const std::atomic<bool>& stop) {
  if (!SetUpClient()) return 1;
  const auto poll = milliseconds(settings_.pollIntervalMs);
  nextPoll_ = nextAttempt_ = nextAttach_ = Clock::now();
  while (!stop.load()) {
    Clock::time_point now = Clock::now();
    if (!connected_ && !connecting_ && now >= nextAttempt_) StartConnect(now);
    if (connecting_ && !connected_ && now - attemptStarted_ > kConnectAnswerTimeout) {
      mosquitto_disconnect(mqtt_);
      LinkLost("the broker did not answer", now);
    }
    // Rounded up: a wait of 0 ms while the poll is still some microseconds
    // away would spin.
    const long long untilPoll = std::max<long long>(
        0, (std::chrono::duration_cast<std::chrono::microseconds>(nextPoll_ - now).count() + 999) /
               1000);
    if (connecting_ || connected_) {
      const int rc = mosquitto_loop(mqtt_, static_cast<int>(untilPoll), 1);
      if (rc != MOSQ_ERR_SUCCESS) LinkLost(mosquitto_strerror(rc), Clock::now());
    } else {
      std::this_thread::sleep_for(milliseconds(untilPoll));
    }
    now = Clock::now();
    if (now >= nextPoll_) {
      PollInterface(now);
      nextPoll_ = std::max(nextPoll_ + poll, now);
    }
  }

  // Leaving: nobody on the broker can stop a car this bridge set moving.
  queue_.clear();
  if (settings_.stopOnLinkLoss) StopCarIfBridgeMovedIt(kStopWaitMs);
  leaving_ = true;
  if (connected_) {
    mosquitto_publish(mqtt_, nullptr, settings_.Topic("online").c_str(), 5, "false", kQos, true);
    mosquitto_disconnect(mqtt_);
    // Sends what is still buffered; the loop ends when the socket closes.
    for (int i = 0; i < 20 && mosquitto_loop(mqtt_, 10, 1) == MOSQ_ERR_SUCCESS; ++i) {
    }
  }
  car_.Close();
  return 0;
}

void Bridge::StartConnect(Clock::time_point now) {
  const int rc =
      mosquitto_connect_async(mqtt_, settings_.host.c_str(), settings_.port, settings_.keepAliveS);
  connecting_ = true;
  attemptStarted_ = now;
  if (rc != MOSQ_ERR_SUCCESS) {
    LinkLost(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc), now);
  }
}

void Bridge::LinkLost(const std::string& why, Clock::time_point now) {
  if (!connected_ && !connecting_) return;
  const bool wasConnected = connected_;
  connected_ = connecting_ = false;
  backOffMs_ = backOffMs_ == 0 ? settings_.reconnectMinMs
                               : std::min(backOffMs_ * 2, settings_.reconnectMaxMs);
  nextAttempt_ = now + milliseconds(backOffMs_);
  // Nothing waits for the car while the bridge is away from the broker.
  queue_.clear();
  if (wasConnected) {
    log_("lost the broker (" + why + "); reconnecting");
    if (settings_.stopOnLinkLoss) StopCarIfBridgeMovedIt(kStopWaitMs);
  } else if (backOffMs_ == settings_.reconnectMinMs || backOffMs_ == settings_.reconnectMaxMs) {
    // The first failure and then the slowest pace: not one line per attempt.
    log_("cannot reach the broker " + settings_.host + ":" + std::to_string(settings_.port) + " (" +
         why + "); trying again every " + std::to_string(backOffMs_) + " ms");
  }
}

void Bridge::OnConnect(int rc) {
  if (rc != 0) {
    if (rc != lastRefusal_) {
      log_(std::string("the broker refused the connection: ") + mosquitto_connack_string(rc));
    }
    lastRefusal_ = rc;
    return;  // the loop reports the closed link next
  }
  lastRefusal_ = 0;
  connecting_ = false;
  connected_ = true;
  backOffMs_ = 0;
  sessionStartMs_ = WallClockMs();
  log_((everConnected_ ? "reconnected to " : "connected to ") + settings_.host + ":" +
       std::to_string(settings_.port) + " as " + settings_.Topic(""));
  everConnected_ = true;
  mosquitto_subscribe(mqtt_, nullptr, settings_.Topic("command").c_str(), kQos);
  // A restarted broker may have lost the retained values: send them again.
  position_.dirty = status_.dirty = ball_.dirty = true;
  publishedOnline_.reset();
  PublishOnline();
}

void Bridge::OnDisconnect(int rc) {
  if (leaving_) return;
  LinkLost(rc == 0 ? "disconnected" : "connection lost", Clock::now());
}

void Bridge::OnMessage(const mosquitto_message& message) {
  if (!message.topic || settings_.Topic("command") != message.topic) return;
  if (message.retain) {
    // Kept by the broker from some earlier time: never for the car now.
    Answer(CommandResult::Stale, nullptr, {},
           "a retained command is never carried out; clear it with mosquitto_pub -r -n -t " +
               settings_.Topic("command"));
    return;
  }
  const std::string_view payload(static_cast<const char*>(message.payload ? message.payload : ""),
                                 static_cast<std::size_t>(std::max(0, message.payloadlen)));
  CommandParse parsed = ParseCommandMessage(payload);
  if (!parsed.request) {
    Answer(CommandResult::Invalid, nullptr, parsed.idJson, parsed.error);
    return;
  }
  const CommandRequest& request = *parsed.request;
  if (request.timeStampMs) {
    const std::int64_t ageMs = WallClockMs() - *request.timeStampMs;
    if (*request.timeStampMs < sessionStartMs_) {
      Answer(CommandResult::Stale, &request, parsed.idJson,
             "sent before the bridge's connection to the broker began (" + std::to_string(ageMs) +
                 " ms ago)");
      log_("refused a command sent " + std::to_string(ageMs) +
           " ms ago, before the present broker connection");
      return;
    }
    // A stamp from the future cannot vouch for the command's age either.
    if (ageMs > settings_.commandMaxAgeMs || -ageMs > settings_.commandMaxAgeMs) {
      Answer(CommandResult::Stale, &request, parsed.idJson,
             "sent " + std::to_string(ageMs) + " ms ago; the limit is " +
                 std::to_string(settings_.commandMaxAgeMs) + " ms (are the clocks in step?)");
      return;
    }
  } else if (settings_.requireTimeStamp) {
    Answer(CommandResult::Invalid, &request, parsed.idJson,
           "this bridge takes only commands with a time stamp \"t\"");
    return;
  }
  if (!attached_) {
    Answer(CommandResult::Offline, &request, parsed.idJson,
           "VIREN's program interface is not running");
    return;
  }
  if (queue_.size() >= kMaxQueued) {
    Answer(CommandResult::Busy, &request, parsed.idJson, "too many commands waiting");
    return;
  }
  queue_.push_back({request, std::move(parsed.idJson), Clock::now()});
}

void Bridge::Answer(CommandResult result, const CommandRequest* request, const std::string& idJson,
                    const std::string& error) {
  if (!connected_) return;
  const std::string ack = AckJson(result, request, idJson, error, WallClockMs());
  mosquitto_publish(mqtt_, nullptr, settings_.Topic("command/ack").c_str(),
                    static_cast<int>(ack.size()), ack.data(), kQos, false);
}

void Bridge::PollInterface(Clock::time_point now) {
  if (!attached_) {
    if (now < nextAttach_) return;
    Attach(now);
    if (!attached_) return;
  }
  // Holding the blocks keeps them registered, and VIREN cannot create them
  // again while they are: once VIREN has gone, let go at once.
  if (!car_.ServerPresent()) {
    Detach("VIREN's program interface has ended; waiting for it to start again");
    return;
  }
  PublishRecords();
  ServeCommands(now);
}

void Bridge::Attach(Clock::time_point now) {
  const int rc = car_.Open();
  if (rc != api::SHM_OK) {
    if (nextAttach_ == Clock::time_point{}) {
      log_(std::string("waiting for VIREN's program interface (start VIREN with -s): ") +
           client::ShmResultText(rc));
    }
    nextAttach_ = now + kAttachRetry;
    return;
  }
  attached_ = true;
  log_("attached to VIREN's program interface");
  position_.dirty = status_.dirty = ball_.dirty = true;
  PublishOnline();
}

void Bridge::Detach(const std::string& why) {
  car_.Close();
  attached_ = false;
  nextAttach_ = Clock::now() + kAttachRetry;
  log_(why);
  if (inFlight_) {
    Answer(CommandResult::Offline, &inFlight_->request, inFlight_->idJson, why);
    inFlight_.reset();
  }
  for (const auto& p : queue_) Answer(CommandResult::Offline, &p.request, p.idJson, why);
  queue_.clear();
  bridgeMovedCar_ = false;
  PublishOnline();
}

void Bridge::PublishOnline() {
  const bool online = connected_ && attached_;
  if (!connected_ || publishedOnline_ == online) return;
  publishedOnline_ = online;
  const char* text = online ? "true" : "false";
  mosquitto_publish(mqtt_, nullptr, settings_.Topic("online").c_str(),
                    static_cast<int>(std::strlen(text)), text, kQos, true);
}

void Bridge::PublishRecord(const char* leaf, Record& last, const std::string& unstamped,
                           const std::string& payload) {
  if (!last.dirty && unstamped == last.json) return;
  last.json = unstamped;
  last.dirty = false;
  // Latest value only (QoS 0, retained): a watcher that falls behind gets the
  // newest record, never a queue of old ones.
  mosquitto_publish(mqtt_, nullptr, settings_.Topic(leaf).c_str(), static_cast<int>(payload.size()),
                    payload.data(), 0, true);
}

void Bridge::PublishRecords() {
  if (!connected_) return;
  const std::int64_t t = WallClockMs();
  // Compared without the time stamp: only a change of the record goes out.
  if (auto p = car_.ReadPosition(); p && p->state != api::RECORD_EMPTY) {
    PublishRecord("position", position_, PositionJson(*p, 0), PositionJson(*p, t));
  }
  if (auto s = car_.ReadStatus(); s && s->state != api::RECORD_EMPTY) {
    PublishRecord("status", status_, StatusJson(*s, 0), StatusJson(*s, t));
  }
  if (auto b = car_.ReadBall(); b && b->state != api::RECORD_EMPTY) {
    PublishRecord("ball", ball_, BallJson(*b, 0), BallJson(*b, t));
  }
}

void Bridge::ServeCommands(Clock::time_point now) {
  const auto maxAge = milliseconds(settings_.commandMaxAgeMs);
  if (inFlight_) {
    int taken = 0;  // 1 taken, -1 withdrawn or failed
    std::string error;
    if (auto c = car_.ReadCommand(); c && c->state != api::RECORD_NEW) {
      taken = 1;
    } else if (now - inFlight_->received > maxAge) {
      const int rc = car_.WithdrawCommand();
      taken = rc == 1 ? 1 : -1;
      error = rc == 0 ? "VIREN did not take it within " +
                            std::to_string(settings_.commandMaxAgeMs) + " ms; withdrawn"
                      : client::ShmResultText(rc);
    }
    if (taken == 0) return;
    const CommandRequest& r = inFlight_->request;
    if (taken > 0) {
      if (r.code == api::COMMAND_DRIVE && r.parameter == DRIVE_STOP) bridgeMovedCar_ = false;
      if (r.code == api::COMMAND_EXTERNAL && r.parameter == api::EXTERNAL_OFF) {
        bridgeMovedCar_ = false;
      }
      if (r.code == api::COMMAND_DRIVE && Moves(r.parameter)) bridgeMovedCar_ = true;
      Answer(CommandResult::Taken, &r, inFlight_->idJson);
    } else {
      Answer(CommandResult::NotTaken, &r, inFlight_->idJson, error);
    }
    inFlight_.reset();
  }
  while (!inFlight_ && !queue_.empty()) {
    Pending& next = queue_.front();
    if (now - next.received > maxAge) {
      Answer(CommandResult::Expired, &next.request, next.idJson,
             "waited more than " + std::to_string(settings_.commandMaxAgeMs) +
                 " ms behind earlier commands");
      queue_.pop_front();
      continue;
    }
    const int rc = car_.PostCommand(next.request.code, next.request.parameter, 0);
    if (rc == api::SHM_TIMEOUT) return;  // another program's command waits; next poll
    Pending p = std::move(next);
    queue_.pop_front();
    if (rc != api::SHM_OK) {
      Answer(CommandResult::NotTaken, &p.request, p.idJson, client::ShmResultText(rc));
      continue;
    }
    inFlight_ = std::move(p);
  }
}

void Bridge::StopCarIfBridgeMovedIt(int waitMs) {
  if (!attached_ || !bridgeMovedCar_) return;
  bridgeMovedCar_ = false;
  const auto status = car_.ReadStatus();
  if (!status) return;
  // A driving program that runs now steers the car itself.
  if ((status->driveState & DRIVE_STATE_AUTO) || !(status->driveState & DRIVE_STATE_MOVING)) {
    return;
  }
  inFlight_.reset();
  const int rc = car_.PostCommand(api::COMMAND_DRIVE, DRIVE_STOP, waitMs);
  if (rc == api::SHM_OK && car_.WaitCommandTaken(waitMs)) {
    log_("stopped the car that commands from the broker had set moving");
  } else {
    log_(std::string("could not stop the car: ") + client::ShmResultText(rc));
  }
}

}  // namespace viren::bridge
