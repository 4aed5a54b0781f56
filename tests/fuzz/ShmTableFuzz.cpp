// The management table as other processes may leave it: entries written
// byte by byte over the shared table between the table operations of two
// holders, which create, open, read, write and release blocks by the script.
// Whatever the table says, no operation reaches outside what is mapped or
// returns a result outside the documented ones.
#include <cstring>
#include <memory>
#include <set>

#include "FuzzSupport.h"
#include "ShmSupport.h"
#include "api/SharedSection.h"
#include "api/ShmTable.h"

using namespace viren;
using namespace viren::api;

namespace {

constexpr std::string_view kNames[] = {"Command", "Position", "a", "b", "CMD", ""};

std::string_view Name(fuzz::FuzzInput& in) {
  if (in.Bool()) return kNames[in.Range(0, std::size(kNames) - 1)];
  return in.Text(33);
}

bool Allowed(int result, bool index) {
  if (index && result >= 0 && result < kShmEntryCount) return true;
  static const std::set<int> results = {SHM_OK,         SHM_FAILED,         SHM_INVALID,
                                        SHM_TABLE_FULL, SHM_SECTION_FAILED, SHM_TIMEOUT,
                                        SHM_NOT_IN_USE, SHM_ABANDONED};
  return results.count(result) == 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::RemoveShmObjectsAtExit();
  fuzz::FuzzInput in(data, size);
  {
    ShmTableOptions options{fuzz::ShmPrefix(), 50};
    ShmTable holders[2] = {ShmTable(options), ShmTable(options)};
    FUZZ_CHECK(holders[0].ShmAttachTable() && holders[1].ShmAttachTable());
    auto shared = SharedSection::Open(holders[0].PosixName(kShmTableName), sizeof(ShmTableLayout));
    FUZZ_CHECK(shared != nullptr);
    std::byte* table = shared->data();

    std::vector<std::byte> buffer(4096);
    for (int step = 0; step < 32 && !in.empty(); ++step) {
      ShmTable& t = holders[in.Bool()];
      switch (in.Range(0, 5)) {
        case 0: {  // another program writes some bytes of the table
          const int at = in.Range(0, sizeof(ShmTableLayout) - 1);
          const std::string_view bytes = in.Text(sizeof(ShmTableLayout) - at);
          std::memcpy(table + at, bytes.data(), bytes.size());
          break;
        }
        case 1: {
          const std::string_view name = Name(in);
          const std::string_view mutex = Name(in);
          const int index = t.ShmCreateBlock(name, mutex, in.Range(-2, 2048), in.Range(-2, 6));
          FUZZ_CHECK(Allowed(index, true));
          break;
        }
        case 2:
          FUZZ_CHECK(Allowed(t.ShmOpenBlock(Name(in)), true));
          break;
        case 3: {
          const int index = in.Range(-1, kShmEntryCount);
          const int record = in.Range(-1, 8);
          const int useMutex = in.Bool() ? kUseBlockMutex : 0;
          const std::size_t room = static_cast<std::size_t>(in.Range(0, 4096));
          const std::span<std::byte> span(buffer.data(), room);
          const int result = in.Bool() ? t.ShmReadRecord(index, span, record, useMutex, 0)
                                       : t.ShmWriteRecord(index, span, record, useMutex, 0);
          FUZZ_CHECK(Allowed(result, false));
          if (result == SHM_OK) {
            const ShmTableEntry e = t.LocalEntry(index);
            FUZZ_CHECK(record >= 1 && record <= e.recordCount);
            FUZZ_CHECK(e.recordSize > 0 && static_cast<std::size_t>(e.recordSize) <= room);
          }
          break;
        }
        case 4:
          FUZZ_CHECK(Allowed(t.ShmReleaseBlock(in.Range(-1, kShmEntryCount)), false));
          break;
        case 5:
          t.ShmHeldElsewhere(in.Range(-1, kShmEntryCount));
          t.ReadSharedTable();
          break;
      }
    }
    for (ShmTable& t : holders)
      for (int i = 0; i < kShmEntryCount; ++i) t.ShmReleaseBlock(i);
  }
  fuzz::RemoveShmObjects();
  return 0;
}
