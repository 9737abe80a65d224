// The download and upload paths with large chunks: byte-exact sizes around the chunk and across
// 4 GiB, REST, slow and vanishing clients, ABOR, files changed while sent, the hooks' order and
// counts, and other sessions served while a fast transfer runs. Large files are sparse.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ftp/EngineTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/TempDir.h"

namespace orvane::test {
namespace {

constexpr int64_t kChunk = 128 * 1024;  // the download chunk
constexpr int64_t kBlock = 256 * 1024;  // the upload block
constexpr int64_t k4GiB = int64_t{1} << 32;

// A recognisable byte for every offset, so that a shifted or repeated range shows.
char PatternAt(int64_t offset) {
  return static_cast<char>((offset * 7 + offset / 251) & 0xff);
}

std::string Pattern(int64_t from, int64_t length) {
  std::string out(static_cast<size_t>(length), '\0');
  for (int64_t i = 0; i < length; ++i) out[static_cast<size_t>(i)] = PatternAt(from + i);
  return out;
}

// A sparse file of `size` bytes with `mark` written at `at`.
void MakeSparse(const std::string& path, int64_t size, int64_t at = 0,
                const std::string& mark = "") {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  ASSERT_TRUE(fd);
  ASSERT_EQ(::ftruncate(fd.Get(), size), 0);
  if (!mark.empty()) {
    ASSERT_EQ(::pwrite(fd.Get(), mark.data(), mark.size(), at), static_cast<ssize_t>(mark.size()));
  }
}

// Equal byte strings; a failure names the sizes and the first differing offset only.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  return ::testing::AssertionFailure() << "got " << got.size() << " bytes, want " << want.size()
                                       << ", first difference at " << at;
}

int64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// What a download's hooks reported, in order: "U<count>" for OnUpdateXfer, "S" for
// OnRetrDataSent.
struct HookLog {
  std::vector<std::string> events;
  int64_t updated = 0;
  int64_t stored = 0;
  int storeBlocks = 0;
};

class TFtpServerDataPathTest : public DriveEngineTest {
 protected:
  void SetUp() override {
    DriveEngineTest::SetUp();
    server_->OnUpdateXfer = [this](TFtpServer&, TFtpCtrlSocket&, int count) {
      log_.events.push_back("U" + std::to_string(count));
      log_.updated += count;
    };
    server_->OnRetrDataSent = [this](TFtpServer&, TFtpCtrlSocket&, TWSocket&, uint16_t) {
      log_.events.push_back("S");
      if (afterChunk_) afterChunk_();
    };
    server_->OnStorDataAvailable = [this](TFtpServer&, TFtpCtrlSocket&, TWSocket&, const char*,
                                          int len, uint16_t) {
      log_.stored += len;
      ++log_.storeBlocks;
    };
  }

  // PASV on the session and a data client connected to the port it names.
  std::unique_ptr<FtpClient> Passive(FtpClient& control, int rcvBuf = 0) {
    const std::string pasv = control.Command("PASV");
    int p1 = 0, p2 = 0;
    const size_t at = pasv.find("(127,0,0,1,");
    EXPECT_NE(at, std::string::npos) << pasv;
    if (at == std::string::npos) return nullptr;
    EXPECT_EQ(std::sscanf(pasv.c_str() + at + 11, "%d,%d", &p1, &p2), 2);
    auto data = std::make_unique<FtpClient>(loop_, p1 * 256 + p2, rcvBuf);
    EXPECT_TRUE(data->Connected());
    return data;
  }

  // Steps the loop until the data connection ends, taking its bytes as they come.
  std::string ReadAll(FtpClient& data) {
    std::string bytes;
    loop_.RunUntil(
        [&] {
          bytes += data.TakeInput();
          return data.SawEof() || data.SawReset();
        },
        10s);
    bytes += data.TakeInput();
    return bytes;
  }

  // RETR of `name` (after REST `rest` when > 0) over a fresh passive connection; the bytes.
  std::string Download(FtpClient& control, const std::string& name, int64_t rest = 0) {
    auto data = Passive(control);
    if (!data) return "<no data connection>";
    if (rest > 0) {
      EXPECT_EQ(control.Command("REST " + std::to_string(rest)),
                "350 REST supported. Ready to resume at byte offset " + std::to_string(rest) + ".");
    }
    EXPECT_EQ(control.Command("RETR " + name), "150 Opening data connection for " + name + ".");
    std::string bytes = ReadAll(*data);
    EXPECT_EQ(control.ReadLine(), "226 File sent ok");
    return bytes;
  }

  // STOR of `bytes` to `name` (after REST when > 0); the reply after the upload.
  std::string Upload(FtpClient& control, const std::string& name, const std::string& bytes,
                     int64_t rest = 0) {
    auto data = Passive(control);
    if (!data) return "<no data connection>";
    if (rest > 0) control.Command("REST " + std::to_string(rest));
    EXPECT_EQ(control.Command("STOR " + name), "150 Opening data connection for " + name + ".");
    EXPECT_TRUE(data->Send(bytes));
    data->Close();
    return control.ReadLine();
  }

  // The hooks came as OnUpdateXfer, OnRetrDataSent pairs, each chunk at most kChunk bytes.
  void ExpectUpdatePairs() {
    ASSERT_EQ(log_.events.size() % 2, 0u);
    for (size_t i = 0; i < log_.events.size(); i += 2) {
      ASSERT_EQ(log_.events[i][0], 'U') << i;
      EXPECT_LE(std::stoll(log_.events[i].substr(1)), kChunk);
      ASSERT_EQ(log_.events[i + 1], "S") << i;
    }
  }

  HookLog log_;
  std::function<void()> afterChunk_;
};

TEST_F(TFtpServerDataPathTest, DownloadsAroundTheChunkSizeAreByteExactWithOneUpdatePerChunk) {
  auto control = Login();
  for (const int64_t size :
       {int64_t{0}, int64_t{1}, kChunk - 1, kChunk, kChunk + 1, 2 * kChunk + 7}) {
    SCOPED_TRACE(size);
    WriteBytes(root_ / "f.bin", Pattern(0, size));
    log_ = HookLog{};
    EXPECT_TRUE(SameBytes(Download(*control, "f.bin"), Pattern(0, size)));
    // An empty file sends no chunk; the connection's first write report still comes through.
    if (size == 0) {
      EXPECT_LE(log_.events.size(), 1u);
    } else {
      ExpectUpdatePairs();
    }
    EXPECT_EQ(log_.updated, size);
    EXPECT_EQ(static_cast<int64_t>(log_.events.size() / 2), (size + kChunk - 1) / kChunk);
  }
}

TEST_F(TFtpServerDataPathTest, RestOffsetsInsideAndBeyondTheFile) {
  WriteBytes(root_ / "f.bin", Pattern(0, kChunk + 300));
  auto control = Login();
  EXPECT_TRUE(SameBytes(Download(*control, "f.bin", 100), Pattern(100, kChunk + 200)));
  EXPECT_EQ(log_.updated, kChunk + 200);
  log_ = HookLog{};
  EXPECT_EQ(Download(*control, "f.bin", kChunk + 300), "");
  EXPECT_EQ(Download(*control, "f.bin", 5 * kChunk), "");
  EXPECT_EQ(log_.updated, 0);
  // The offset was for one transfer only.
  EXPECT_EQ(Download(*control, "f.bin").size(), static_cast<size_t>(kChunk + 300));
}

TEST_F(TFtpServerDataPathTest, DownloadAndUploadAcrossFourGibibytes) {
  const int64_t size = k4GiB + kChunk / 2;
  const int64_t markAt = k4GiB - 3;
  MakeSparse(root_ / "big.bin", size, markAt, "abcdef");
  auto control = Login();
  const int64_t rest = k4GiB - kChunk - kChunk / 2;
  std::string expected(static_cast<size_t>(size - rest), '\0');
  expected.replace(static_cast<size_t>(markAt - rest), 6, "abcdef");
  EXPECT_TRUE(SameBytes(Download(*control, "big.bin", rest), expected));
  EXPECT_EQ(log_.updated, size - rest);
  ExpectUpdatePairs();

  // An upload that starts below 4 GiB and ends above it.
  MakeSparse(root_ / "up.bin", k4GiB - 10);
  const std::string block = Pattern(0, kBlock + 20);
  EXPECT_EQ(Upload(*control, "up.bin", block, k4GiB - 10), "226 File received ok");
  EXPECT_EQ(FileSize(root_ / "up.bin"), k4GiB - 10 + kBlock + 20);
  UniqueFd fd(::open((root_ / "up.bin").c_str(), O_RDONLY | O_CLOEXEC));
  std::string back(block.size(), '\0');
  ASSERT_EQ(::pread(fd.Get(), back.data(), back.size(), k4GiB - 10),
            static_cast<ssize_t>(back.size()));
  EXPECT_TRUE(SameBytes(back, block));
  EXPECT_EQ(log_.stored, kBlock + 20);
}

TEST_F(TFtpServerDataPathTest, UploadsAroundTheBlockSizeAreByteExactAndCountedToTheByte) {
  auto control = Login();
  for (const int64_t size : {int64_t{1}, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 5}) {
    SCOPED_TRACE(size);
    log_ = HookLog{};
    const std::string bytes = Pattern(size, size);
    EXPECT_EQ(Upload(*control, "u.bin", bytes), "226 File received ok");
    EXPECT_TRUE(SameBytes(ReadBytes(root_ / "u.bin"), bytes));
    EXPECT_EQ(log_.stored, size);
    EXPECT_GE(log_.storeBlocks, (size + kBlock - 1) / kBlock);
    // The block buffer lives as long as the upload.
    EXPECT_FALSE((*server_->FindClient(1)).Data().HoldsUploadBuffer());
  }
}

// A client that reads a little at a time still gets every byte, and the chunk that waits for it
// holds no second session back.
TEST_F(TFtpServerDataPathTest, SlowReaderGetsEveryByteWhileAnotherSessionIsServed) {
  const int64_t size = 2 * kChunk + 11;
  WriteBytes(root_ / "f.bin", Pattern(0, size));
  auto control = Login();
  auto other = Login();
  auto data = Passive(*control, 4096);
  ASSERT_EQ(control->Command("RETR f.bin"), "150 Opening data connection for f.bin.");
  std::string bytes;
  int noops = 0;
  loop_.RunUntil(
      [&] {
        // At most 16 small reads per loop step, and a NOOP on the other session now and then.
        ssize_t n = -1;
        for (int i = 0; i < 16; ++i) {
          char buf[4096];
          n = ::recv(data->Fd(), buf, sizeof buf, MSG_DONTWAIT);
          if (n <= 0) break;
          bytes.append(buf, static_cast<size_t>(n));
        }
        if (bytes.size() > static_cast<size_t>(noops + 1) * kChunk / 2 && noops < 4) {
          EXPECT_EQ(other->Command("NOOP"), "200 Noop command successful.");
          ++noops;
        }
        return n == 0;
      },
      20s);
  EXPECT_EQ(noops, 4);
  EXPECT_TRUE(SameBytes(bytes, Pattern(0, size)));
  EXPECT_EQ(control->ReadLine(), "226 File sent ok");
  EXPECT_EQ(log_.updated, size);
}

// Another session's NOOP is answered while a fast download runs: its reply comes before the
// download's end, with most of the file still to come.
TEST_F(TFtpServerDataPathTest, NoopOfAnotherSessionIsAnsweredDuringAFastDownload) {
  const int64_t size = 64 * kChunk;
  MakeSparse(root_ / "big.bin", size);
  auto control = Login();
  auto other = Login();
  auto data = Passive(*control);
  ASSERT_EQ(control->Command("RETR big.bin"), "150 Opening data connection for big.bin.");
  ASSERT_TRUE(other->Send("NOOP\r\n"));
  int64_t received = 0;
  int64_t receivedAtNoop = -1;
  std::string noopReply;
  loop_.RunUntil(
      [&] {
        received += static_cast<int64_t>(data->TakeInput().size());
        if (receivedAtNoop < 0) {
          noopReply = other->ReadLine(0ms);
          if (noopReply != "<none>") receivedAtNoop = received;
        }
        return data->SawEof() || data->SawReset();
      },
      20s);
  EXPECT_EQ(noopReply, "200 Noop command successful.");
  EXPECT_GE(receivedAtNoop, 0);
  EXPECT_LT(receivedAtNoop, size / 2);
  EXPECT_EQ(received, size);
  EXPECT_EQ(control->ReadLine(), "226 File sent ok");
}

TEST_F(TFtpServerDataPathTest, ClientVanishingMidChunkEndsTheDownloadAndKeepsTheSession) {
  MakeSparse(root_ / "big.bin", 16 * kChunk);
  auto control = Login();
  auto data = Passive(*control, 4096);
  ASSERT_EQ(control->Command("RETR big.bin"), "150 Opening data connection for big.bin.");
  // Some bytes arrive, then the client resets in the middle of a chunk.
  std::string head;
  loop_.RunUntil(
      [&] {
        head += data->TakeInput();
        return head.size() >= 4096;
      },
      5s);
  data->Reset();
  const std::string reply = control->ReadLine();
  EXPECT_TRUE(reply.rfind("426 ", 0) == 0 || reply.rfind("501 Cannot RETR.", 0) == 0) << reply;
  EXPECT_NE(reply, "226 File sent ok");
  EXPECT_EQ(control->Command("NOOP"), "200 Noop command successful.");
  EXPECT_LT(log_.updated, 16 * kChunk);
  // The next download on the session is whole.
  WriteBytes(root_ / "small.bin", Pattern(0, 5000));
  EXPECT_TRUE(SameBytes(Download(*control, "small.bin"), Pattern(0, 5000)));
}

// A connection the client reset before its RETR: the engine learns of it only when the first
// chunk goes out, and the close then happens inside that send, while the chunk code still holds
// the file. The download ends once, as a failure, with the transfer handed to its close hook.
TEST_F(TFtpServerDataPathTest, ResetMetInsideTheFirstSendEndsTheDownloadOnce) {
  WriteBytes(root_ / "small.bin", Pattern(0, 4096));
  std::vector<std::string> closes;
  server_->OnRetrSessionClosed = [&](TFtpServer&, TFtpCtrlSocket& c, TWSocket&, const Transfer& t,
                                     uint16_t e) {
    closes.push_back(std::string(t.AllSent() ? "complete" : "short") +
                     (e != 0 || t.Aborted() ? ",failed" : "") + (t.stream ? ",with stream" : "") +
                     (c.Data().Current().stream ? ",channel holds one" : ""));
  };
  auto control = Login();
  auto data = Passive(*control);
  ASSERT_TRUE(loop_.RunUntil(
      [&] { return server_->FindClient(1)->Data().GetState() == DataChannel::State::Connected; },
      FtpClient::kWait));
  data->Reset();
  ASSERT_EQ(control->Command("RETR small.bin"), "150 Opening data connection for small.bin.");
  const std::string reply = control->ReadLine();
  EXPECT_TRUE(reply.rfind("426 ", 0) == 0 || reply.rfind("501 Cannot RETR.", 0) == 0) << reply;
  EXPECT_EQ(control->Command("NOOP"), "200 Noop command successful.");
  EXPECT_EQ(closes, (std::vector<std::string>{"short,failed,with stream"}));
  EXPECT_TRUE(SameBytes(Download(*control, "small.bin"), Pattern(0, 4096)));
}

TEST_F(TFtpServerDataPathTest, AborDuringALargeChunkThenTransferAgain) {
  MakeSparse(root_ / "big.bin", 16 * kChunk);
  auto control = Login();
  auto data = Passive(*control, 4096);
  // Small buffers at both ends, so that a chunk cannot vanish into them whole.
  TWSocket& socket = (*server_->FindClient(1)).Data().Socket();
  ASSERT_TRUE(loop_.RunUntil([&] { return socket.State() == wsConnected; }, FtpClient::kWait));
  const int small = 4096;
  ASSERT_EQ(::setsockopt(socket.HSocket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
  ASSERT_EQ(control->Command("RETR big.bin"), "150 Opening data connection for big.bin.");
  // The client reads nothing: soon a chunk waits, partly sent, for room in the connection.
  ASSERT_TRUE(loop_.RunUntil([&] { return socket.BufferedBytes() > 0; }, FtpClient::kWait));
  const std::vector<std::string> before = log_.events;
  ASSERT_EQ(before.back(), "U" + std::to_string(kChunk));
  ASSERT_TRUE(control->Send("ABOR\r\n"));
  EXPECT_EQ(control->ReadLine(), "426 Connection closed; transfer aborted.");
  EXPECT_EQ(control->ReadLine(), "226 ABOR command successful.");
  EXPECT_TRUE(data->WaitClosed());
  // The aborted chunk never reports that it left, and no chunk follows it.
  EXPECT_EQ(log_.events, before);
  WriteBytes(root_ / "small.bin", Pattern(0, kChunk + 1));
  EXPECT_TRUE(SameBytes(Download(*control, "small.bin"), Pattern(0, kChunk + 1)));
}

TEST_F(TFtpServerDataPathTest, FileTruncatedWhileSentIsAFailureNotASuccess) {
  WriteBytes(root_ / "f.bin", Pattern(0, 3 * kChunk));
  auto control = Login();
  afterChunk_ = [&] { ::truncate((root_ / "f.bin").c_str(), 10); };
  auto data = Passive(*control);
  ASSERT_EQ(control->Command("RETR f.bin"), "150 Opening data connection for f.bin.");
  const std::string bytes = ReadAll(*data);
  EXPECT_EQ(control->ReadLine(), "501 Cannot RETR. File truncated while being sent");
  // The first chunk went whole. (Its content may already show the truncation: the system sends
  // a file's pages as they are when they leave.)
  EXPECT_EQ(bytes.size(), static_cast<size_t>(kChunk));
  EXPECT_EQ(log_.updated, kChunk);
}

TEST_F(TFtpServerDataPathTest, FileGrowingWhileSentIsSentToItsNewEnd) {
  WriteBytes(root_ / "f.bin", Pattern(0, kChunk));
  auto control = Login();
  afterChunk_ = [&] {
    afterChunk_ = nullptr;
    WriteBytes(root_ / "f.bin", Pattern(0, kChunk + 77));
  };
  EXPECT_TRUE(SameBytes(Download(*control, "f.bin"), Pattern(0, kChunk + 77)));
  EXPECT_EQ(log_.updated, kChunk + 77);
}

// A file deleted while it is sent is still sent whole from the open handle; the per-chunk
// file-exists test then keeps OnUpdateXfer from counting the chunks of a file that is gone.
TEST_F(TFtpServerDataPathTest, FileDeletedWhileSentIsSentWholeWithoutFurtherUpdates) {
  WriteBytes(root_ / "f.bin", Pattern(0, 2 * kChunk + 5));
  auto control = Login();
  afterChunk_ = [&] {
    afterChunk_ = nullptr;
    ::unlink((root_ / "f.bin").c_str());
  };
  EXPECT_TRUE(SameBytes(Download(*control, "f.bin"), Pattern(0, 2 * kChunk + 5)));
  EXPECT_EQ(log_.updated, kChunk);
  EXPECT_EQ(log_.events, (std::vector<std::string>{"U" + std::to_string(kChunk), "S", "S", "S"}));
}

// Many downloads at once take turns in the loop's rounds: the ones beyond a round's bytes wait
// in line, and still every one arrives whole and counted to the byte. One aborted while the
// others run ends alone, and its session downloads again.
TEST_F(TFtpServerDataPathTest, ManyDownloadsAtOnceTakeTurnsAndEachArrivesWholeAndCounted) {
  constexpr int kSessions = 24;
  const int64_t size = 24 * kChunk + 3;
  WriteBytes(root_ / "f.bin", Pattern(0, size));
  std::map<const TFtpCtrlSocket*, int64_t> counted;
  server_->OnUpdateXfer = [&](TFtpServer&, TFtpCtrlSocket& client, int count) {
    counted[&client] += count;
  };
  std::vector<std::unique_ptr<FtpClient>> controls;
  std::vector<std::unique_ptr<FtpClient>> datas;
  for (int i = 0; i < kSessions; ++i) {
    controls.push_back(Login());
    datas.push_back(Passive(*controls.back()));
    ASSERT_TRUE(datas.back());
  }
  for (auto& control : controls) ASSERT_TRUE(control->Send("RETR f.bin\r\n"));
  std::vector<std::string> bytes(kSessions);
  size_t mostWaiting = 0;
  bool aborted = false;
  loop_.RunUntil(
      [&] {
        mostWaiting = std::max(mostWaiting, server_->DownloadRounds().Waiting());
        bool done = true;
        for (int i = 0; i < kSessions; ++i) {
          bytes[i] += datas[i]->TakeInput();
          if (!datas[i]->SawEof() && !datas[i]->SawReset()) done = false;
        }
        if (!aborted && bytes[0].size() >= static_cast<size_t>(kChunk)) {
          aborted = true;
          EXPECT_TRUE(controls[0]->Send("ABOR\r\n"));
        }
        return done;
      },
      30s);
  EXPECT_GT(mostWaiting, 0u);
  EXPECT_EQ(controls[0]->ReadLine(), "150 Opening data connection for f.bin.");
  EXPECT_EQ(controls[0]->ReadLine(), "426 Connection closed; transfer aborted.");
  EXPECT_EQ(controls[0]->ReadLine(), "226 ABOR command successful.");
  for (int i = 1; i < kSessions; ++i) {
    EXPECT_EQ(controls[i]->ReadLine(), "150 Opening data connection for f.bin.") << i;
    EXPECT_EQ(controls[i]->ReadLine(), "226 File sent ok") << i;
    EXPECT_TRUE(SameBytes(bytes[i], Pattern(0, size))) << i;
    EXPECT_EQ(counted[server_->FindClient(i + 1)], size) << i;
  }
  EXPECT_LT(counted[server_->FindClient(1)], size);
  EXPECT_TRUE(SameBytes(Download(*controls[0], "f.bin"), Pattern(0, size)));
}

// Listings keep the ordinary path: RcvSize pieces, no file counted.
TEST_F(TFtpServerDataPathTest, ListingsUseTheOrdinaryPath) {
  for (int i = 0; i < 200; ++i) WriteBytes(root_ / ("name-" + std::to_string(i) + ".txt"), "x");
  auto control = Login();
  auto data = Passive(*control);
  ASSERT_EQ(control->Command("NLST"), "150 Opening data connection for directory list.");
  const std::string listing = ReadAll(*data);
  EXPECT_EQ(control->ReadLine(), "226 File sent ok");
  EXPECT_NE(listing.find("name-199.txt"), std::string::npos);
  EXPECT_EQ(log_.updated, 0);
}

}  // namespace
}  // namespace orvane::test
