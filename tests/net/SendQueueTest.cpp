#include <gtest/gtest.h>

#include <string>

#include "net/SendQueue.h"
#include "net/TBuffer.h"

namespace orvane {
namespace {

TEST(TBufferTest, CapacityWriteRemoveAndReuse) {
  EXPECT_EQ(TBuffer(0).Capacity(), 1514);
  EXPECT_EQ(TBuffer(-3).Capacity(), 1514);
  TBuffer b(10);
  int32_t length = -1;
  EXPECT_EQ(b.Peek(length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(b.Remove(5), 0);
  EXPECT_EQ(b.Write("abc", -1), 0);
  EXPECT_EQ(b.Write("0123456789AB", 12), 10);  // only what fits
  EXPECT_EQ(b.Write("x", 1), 0);               // full
  EXPECT_EQ(b.Remove(4), 4);
  const char* p = b.Peek(length);
  EXPECT_EQ(std::string(p, static_cast<size_t>(length)), "456789");
  // Removing more than is unsent removes only the unsent bytes; both counts return to 0.
  EXPECT_EQ(b.Remove(100), 6);
  EXPECT_EQ(b.ReadCount(), 0);
  EXPECT_EQ(b.WriteCount(), 0);
  EXPECT_EQ(b.Write("0123456789", 10), 10);
}

TEST(SendQueueTest, AppendFillsTheLastChunkFirstAndDrainsInOrder) {
  SendQueue q;
  q.Append("x", 0);
  q.Append("x", -1);
  EXPECT_EQ(q.ChunkCount(), 0u);
  const std::string big(1515, 'b');
  q.Append(big.data(), 1514);
  q.Append("x", 0);
  ASSERT_EQ(q.ChunkCount(), 1u);
  SendQueue q2;
  q2.Append(big.data(), 1515);
  ASSERT_EQ(q2.ChunkCount(), 2u);
  EXPECT_EQ(q2.Chunk(1).WriteCount(), 1);

  SendQueue q3;
  std::string all;
  for (int i = 0; i < 2100; ++i) all += static_cast<char>('A' + i % 26);
  q3.Append(all.data(), 100);
  q3.Append(all.data() + 100, 2000);
  ASSERT_EQ(q3.ChunkCount(), 2u);
  EXPECT_EQ(q3.Chunk(0).WriteCount(), 1514);
  EXPECT_EQ(q3.Chunk(1).WriteCount(), 586);

  std::string out;  // the system takes at most 700 bytes per call
  int32_t length = 0;
  while (const char* p = q3.Front(length)) {
    out.append(p, static_cast<size_t>(std::min(length, 700)));
    q3.Consume(std::min(length, 700));
  }
  EXPECT_EQ(out, all);
  ASSERT_EQ(q3.ChunkCount(), 1u);  // the last chunk stays for reuse, emptied
  EXPECT_EQ(q3.Chunk(0).WriteCount(), 0);
}

}  // namespace
}  // namespace orvane
