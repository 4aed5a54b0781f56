// The interface blocks as another program fills them: command records of any
// bytes posted into "Command" and taken by the interface's poll, in any
// state of the engine; and the records the interface reads back decoded.
#include <cstring>

#include "../api/ApiFakes.h"
#include "FuzzSupport.h"
#include "ShmSupport.h"
#include "api/InterfaceRecords.h"
#include "api/ProgramInterface.h"
#include "core/CarState.h"
#include "core/EngineState.h"

using namespace viren;
using namespace viren::api;

namespace {

struct Rig {
  Rig() {
    fuzz::RemoveShmObjectsAtExit();
    // A long poll interval: only the fuzzer's own polls take commands.
    FUZZ_CHECK(api.Start(true, 600000));
    FUZZ_CHECK(client.ShmAttachTable());
    command = client.ShmOpenBlock(kCommandBlock.name);
    FUZZ_CHECK(command >= 0);
  }
  fuzz::CountingUiHost ui;
  EngineState state;
  CarState car;
  test::FakeDrive drive;
  test::FakeTarget target;
  ProgramInterface api{ui, state, car, drive, target, ShmTableOptions{fuzz::ShmPrefix()}};
  ShmTable client{ShmTableOptions{fuzz::ShmPrefix()}};
  int command = -1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Rig* rig = new Rig;
  fuzz::FuzzInput in(data, size);
  rig->state.simulating = in.Bool();
  rig->state.controlRoboQ = in.Bool();
  rig->state.targetFollowing = in.Bool();
  rig->state.autoDriving = in.Bool();
  rig->target.programCount = in.Range(0, 3);
  rig->target.ballLearned = in.Bool();
  rig->target.clipboard = std::string(in.Text(64));
  rig->drive.Clear();
  rig->target.Clear();

  while (in.remaining() >= kInterfaceRecordSize) {
    InterfaceRecord record;
    for (auto& b : record) b = static_cast<std::byte>(in.Byte());
    // Every record decodes to fields that encode back to the same bytes
    // where the record has fields.
    const CommandRecord c = DecodeCommand(record);
    FUZZ_CHECK(DecodeCommand(EncodeCommand(c)) == c);
    const QuadRecord q = DecodeQuad(record);
    FUZZ_CHECK(DecodeQuad(EncodeQuad(q)) == q);
    const StatusRecord s = DecodeStatus(record);
    FUZZ_CHECK(DecodeStatus(EncodeStatus(s)) == s);

    FUZZ_CHECK(rig->client.ShmWriteRecord(rig->command, record, 1, kUseBlockMutex, 1000) == SHM_OK);
    const bool taken = rig->api.PollCommand();
    InterfaceRecord after;
    FUZZ_CHECK(rig->client.ShmReadRecord(rig->command, after, 1, kUseBlockMutex, 1000) == SHM_OK);
    // A posted command is marked taken; anything else is left as it was.
    if (c.state == RECORD_NEW) {
      FUZZ_CHECK(taken);
      FUZZ_CHECK(DecodeCommand(after).state == RECORD_TAKEN);
    } else {
      FUZZ_CHECK(!taken);
    }
  }
  for (int code : rig->drive.commands()) FUZZ_CHECK(code >= DRIVE_CHECK && code <= DRIVE_AUTO_OFF);
  rig->api.PublishStatus();
  rig->api.PublishPosition();
  return 0;
}
