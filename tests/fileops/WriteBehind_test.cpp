// The write-behind of the split and join loop: blocks reach the sink whole and in order while
// the caller fills the next buffers, the sum covers every byte handed over, a failed write
// drops the rest, and nothing is left running when the object goes.
#include "fileops/WriteBehind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fileops/CRC32.h"

namespace {
// Block n's bytes: distinct per block, so a buffer refilled before its write shows.
void Fill(char* buffer, DWORD count, int n) {
  for (DWORD i = 0; i < count; ++i) buffer[i] = static_cast<char>(n * 31 + i * 7 + i / 253);
}
}  // namespace

TEST(WriteBehind, BlocksArriveWholeAndInOrderWhileTheNextAreFilled) {
  // A slow sink keeps every buffer busy, so the caller must wait before refilling one.
  const DWORD block = 4096;
  struct Case {
    unsigned Slots;
    int SleepEvery;
  } cases[] = {{2, 1}, {3, 1}, {3, 0}, {5, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "slots " << c.Slots << " sleep every " << c.SleepEvery);
    std::string written, all;
    int calls = 0;
    TWriteBehind pipe(block, c.Slots);
    pipe.Begin(
        [&](const char* data, DWORD count) -> DWORD {
          if (c.SleepEvery && ++calls % c.SleepEvery == 0) Sleep(1);
          written.append(data, count);
          return 0;
        },
        true, 0xFFFFFFFF);
    int64_t done = 0;
    for (int n = 0; n < 40; ++n) {
      DWORD count = n % 7 == 6 ? 1 : block - static_cast<DWORD>(n * 13 % 100);
      // The first block carries a header that is summed but not written.
      DWORD skip = n == 0 ? 10 : 0;
      char* buffer = pipe.NextBuffer();
      Fill(buffer, count, n);
      all.append(buffer, count);
      pipe.Submit(count, skip);
      done += pipe.TakeDone();
    }
    uint32_t crc = pipe.Finish();
    done += pipe.TakeDone();
    EXPECT_EQ(pipe.Error(), 0u);
    EXPECT_EQ(written, all.substr(10));
    EXPECT_EQ(done, static_cast<int64_t>(all.size()));  // the header counts as done
    EXPECT_EQ(crc, CRC32Update(0xFFFFFFFF, all.data(), all.size()));
  }
}

TEST(WriteBehind, AFailedWriteDropsTheRestAndTheNextRunStartsClean) {
  const DWORD block = 1000;
  TWriteBehind pipe(block);
  int calls = 0;
  std::string written;
  pipe.Begin(
      [&](const char* data, DWORD count) -> DWORD {
        if (++calls == 3) return ERROR_DISK_FULL;
        written.append(data, count);
        return 0;
      },
      false, 0x12345678);
  int64_t done = 0;
  for (int n = 0; n < 12; ++n) {
    Fill(pipe.NextBuffer(), block, n);
    pipe.Submit(block);
    done += pipe.TakeDone();
  }
  // No sum asked: the register comes back as it was given.
  EXPECT_EQ(pipe.Finish(), 0x12345678u);
  done += pipe.TakeDone();
  EXPECT_EQ(pipe.Error(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(calls, 3);  // nothing after the failure reached the sink
  EXPECT_EQ(written.size(), 2u * block);
  EXPECT_EQ(done, 2 * static_cast<int64_t>(block));  // only what was written counts

  // The same pipe serves the next piece: the error is cleared, the sum starts where told.
  std::string next;
  pipe.Begin(
      [&](const char* data, DWORD count) -> DWORD {
        next.append(data, count);
        return 0;
      },
      true, 0xFFFFFFFF);
  char* buffer = pipe.NextBuffer();
  std::memcpy(buffer, "123456789", 9);
  pipe.Submit(9);
  EXPECT_EQ(pipe.Finish() ^ 0xFFFFFFFFu, 0xCBF43926u);  // the check value of CRC-32
  EXPECT_EQ(pipe.Error(), 0u);
  EXPECT_EQ(pipe.TakeDone(), 9);
  EXPECT_EQ(next, "123456789");
}

TEST(WriteBehind, DestroyingItWaitsForTheBlocksHandedOver) {
  std::string written;
  {
    TWriteBehind pipe(64, 3);
    pipe.Begin(
        [&](const char* data, DWORD count) -> DWORD {
          Sleep(5);
          written.append(data, count);
          return 0;
        },
        false, 0);
    for (int n = 0; n < 3; ++n) {
      std::memset(pipe.NextBuffer(), 'a' + n, 64);
      pipe.Submit(64);
    }
  }
  EXPECT_EQ(written, std::string(64, 'a') + std::string(64, 'b') + std::string(64, 'c'));
}
