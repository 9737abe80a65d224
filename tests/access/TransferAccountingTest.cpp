#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "access/AccessTestSupport.h"
#include "access/DirectoryRights.h"
#include "access/TransferAccounting.h"

namespace orvane {
namespace {

const char kSorry[] = "550-You do not have enough credits to download this file ! Sorry ...";
const char kUploadFirst[] =
    "550-You do not have enough credits to download this file ! Please upload first !";

class TransferAccountingTest : public test::DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    Dir("pub/sub");
    Dir("freedir/sub");
    File("pub/f1000", std::string(1000, 'a'));
    File("pub/f1001", std::string(1001, 'a'));
    record_.UserName = "bob";
    record_.Dirs[0] = {"C:\\pub", "RWLS"};
    record_.Dirs[1] = {"C:\\freedir", "RWLS"};
    record_.Xupl = record_.Xdl = 1;
    session_.SetDirectory("C:\\pub\\");
  }

  bool Get(const std::string& path) {
    std::string filePath = path;
    bool allowed = true;
    accounting_.FtpServer1ValidateGet(session_, filePath, allowed, record_);
    return allowed;
  }

  // A download through its hooks: start, blocks of `block` bytes, end.
  void Download(const std::string& path, int bytes, int block = 1000) {
    session_.FilePath = path;
    accounting_.FtpServer1RetrSessionConnected(session_, 0, record_);
    for (int sent = 0; sent < bytes; sent += block) {
      accounting_.FtpServer1UpdateXfer(session_, std::min(block, bytes - sent), record_);
      accounting_.FtpServer1RetrDataSent(session_, 0, record_);
    }
    accounting_.FtpServer1RetrSessionClosed(session_, 0, record_);
  }

  void Upload(const std::string& name, int bytes, int block) {
    session_.FileName = name;
    accounting_.FtpServer1StorSessionConnected(session_, 0, record_);
    const std::string buffer(static_cast<std::size_t>(block), 'u');
    for (int received = 0; received < bytes; received += block) {
      accounting_.FtpServer1StorDataAvailable(session_, buffer.data(),
                                              std::min(block, bytes - received), 0, record_);
    }
    accounting_.FtpServer1StorSessionClosed(session_, 0, record_);
  }

  DirectoryRights rights_{host_};
  TransferAccounting accounting_{host_, rights_};
  test::FakeSession session_;
  Usrdata record_;
};

TEST_F(TransferAccountingTest, AllowanceCoversAFileOfExactlyTheCredit) {
  record_.EnableMaxdl = true;
  record_.Credit = 1000;
  EXPECT_TRUE(Get("C:\\pub\\f1000"));
  EXPECT_TRUE(
      host_.Logged(7, "bob (127.0.0.9) asked to download C:\\pub\\f1000 --> Access allowed"));
  EXPECT_TRUE(session_.sent.empty());

  EXPECT_FALSE(Get("C:\\pub\\f1001"));
  EXPECT_EQ(session_.sent, (std::vector<std::string>{std::string(kSorry) + "\r\n"}));
  EXPECT_TRUE(host_.Logged(11, std::string("bob (127.0.0.9) ") + kSorry));
  EXPECT_TRUE(host_.Logged(
      7,
      "bob (127.0.0.9) asked to download C:\\pub\\f1001 --> Access denied (not enough credits)"));
  EXPECT_EQ(record_.Credit, 1000);
}

// A file that grows while it is sent: what goes beyond the allowance is never sent.
TEST_F(TransferAccountingTest, GrowingFileStopsWhenTheAllowanceRunsOut) {
  record_.EnableMaxdl = true;
  record_.Credit = 1500;
  ASSERT_TRUE(Get("C:\\pub\\f1000"));
  session_.FilePath = "C:\\pub\\f1000";
  accounting_.FtpServer1RetrSessionConnected(session_, 0, record_);
  accounting_.FtpServer1UpdateXfer(session_, 1000, record_);
  EXPECT_THROW(accounting_.FtpServer1UpdateXfer(session_, 1000, record_), std::runtime_error);
  EXPECT_EQ(record_.Credit, 500);  // the refused chunk is not counted
  EXPECT_TRUE(
      host_.Logged(7, "bob (127.0.0.9) download of C:\\pub\\f1000 stopped --> not enough credits"));
  // Without an allowance the file is sent to its end.
  record_.EnableMaxdl = false;
  accounting_.FtpServer1UpdateXfer(session_, 1000, record_);
  EXPECT_EQ(record_.Credit, -500);
}

TEST_F(TransferAccountingTest, RefusalWithARatioTellsTheRatioAndCredit) {
  record_.EnableMaxdl = record_.EnableRatio = true;
  record_.Xupl = 2;
  record_.Credit = 1000;
  EXPECT_FALSE(Get("C:\\pub\\f1001"));
  const std::string ratio = "226-Using U/D Ratio 2/1. Current credit 1000 bytes";
  EXPECT_EQ(session_.sent,
            (std::vector<std::string>{std::string(kUploadFirst) + "\r\n", ratio + "\r\n"}));
  EXPECT_TRUE(host_.Logged(11, std::string("bob (127.0.0.9) ") + kUploadFirst));
  EXPECT_TRUE(host_.Logged(11, "bob (127.0.0.9) " + ratio));
}

TEST_F(TransferAccountingTest, AllowanceComparesSizesBeyondTwoGigabytes) {
  const int64_t big = (int64_t{1} << 31) + 10;
  File("pub/big");
  std::filesystem::resize_file(Posix("pub/big"), static_cast<std::uintmax_t>(big));  // sparse
  record_.EnableMaxdl = true;
  record_.Credit = big;
  EXPECT_TRUE(Get("C:\\pub\\big"));
  record_.Credit = big - 1;
  EXPECT_FALSE(Get("C:\\pub\\big"));
}

TEST_F(TransferAccountingTest, RightsComeFirstAndMissingFilesAreLeftToTheEngine) {
  record_.EnableMaxdl = true;
  record_.Credit = 0;
  File("other.txt");
  EXPECT_FALSE(Get("C:\\other.txt"));
  EXPECT_TRUE(host_.Logged(7, "bob (127.0.0.9) asked to download C:\\other.txt --> Access denied"));
  EXPECT_TRUE(Get("C:\\pub\\missing"));  // answered when the data connection opens
  EXPECT_TRUE(session_.sent.empty());
  EXPECT_EQ(host_.log.size(), 1u);
}

TEST_F(TransferAccountingTest, DownloadCountsBytesAndLowersCredit) {
  record_.Credit = 5000;
  record_.Idle = 5;
  Download("C:\\pub\\f1000", 2500);
  EXPECT_TRUE(host_.Logged(7, "bob (127.0.0.9) started to download C:\\pub\\f1000"));
  EXPECT_TRUE(host_.Logged(8, "bob (127.0.0.9) finished to download C:\\pub\\f1000"));
  ASSERT_EQ(host_.statuses.size(), 2u);
  EXPECT_EQ(host_.statuses[0], "Downloading C:\\pub\\f1000");
  EXPECT_EQ(record_.Status, "Current Directory C:\\pub\\");
  EXPECT_EQ(host_.downloaded, 2500);
  EXPECT_EQ(record_.Downloaded, 2500);
  EXPECT_EQ(record_.IntervalBytes, 2500);
  EXPECT_EQ(record_.Credit, 2500);
  EXPECT_EQ(record_.Idle, 0);

  // Credit is charged whatever EnableMaxdl says, and may go below zero.
  Download("C:\\pub\\f1000", 3000);
  EXPECT_EQ(record_.Credit, -500);
}

TEST_F(TransferAccountingTest, ListingsAreNotLoggedAsDownloads) {
  Download("", 0);
  EXPECT_TRUE(host_.log.empty());
  EXPECT_EQ(record_.Status, "Current Directory C:\\pub\\");
}

TEST_F(TransferAccountingTest, UploadEarnsCreditPerBlockAtTheRatio) {
  record_.EnableMaxdl = record_.EnableRatio = true;
  record_.Xupl = 2;
  record_.Credit = 0;
  Upload("up.bin", 10000, 1000);
  EXPECT_EQ(record_.Credit, 5000);
  EXPECT_EQ(record_.Uploaded, 10000);
  EXPECT_EQ(record_.IntervalBytes, 10000);
  EXPECT_EQ(host_.uploaded, 10000);
  const std::string ratio = "226-Using U/D Ratio 2/1. Current credit 5000 bytes";
  EXPECT_EQ(session_.sent, (std::vector<std::string>{ratio + "\r\n"}));
  EXPECT_TRUE(host_.Logged(11, "bob (127.0.0.9) " + ratio));
  EXPECT_TRUE(host_.Logged(5, "bob (127.0.0.9) started to upload up.bin in C:\\pub\\"));
  EXPECT_TRUE(host_.Logged(6, "bob (127.0.0.9) finished to upload up.bin in C:\\pub\\"));
  EXPECT_EQ(host_.statuses.front(), "Uploading up.bin in C:\\pub\\");
  EXPECT_EQ(record_.Status, "Current Directory C:\\pub\\");

  // Each block's remainder is lost: 3/1 earns 333 per 1000-byte block.
  record_.Xupl = 3;
  record_.Credit = 0;
  Upload("up2.bin", 3000, 1000);
  EXPECT_EQ(record_.Credit, 999);
  EXPECT_EQ(TransferAccounting::EarnedCredit(1000, 3, 1), 333);
  EXPECT_EQ(TransferAccounting::EarnedCredit(int64_t{3} << 31, 1, 4), int64_t{3} << 33);
}

TEST_F(TransferAccountingTest, RatioWithoutAllowanceEarnsNothingButStillReports) {
  record_.EnableRatio = true;
  record_.Credit = 100;
  Upload("up.bin", 5000, 1000);
  EXPECT_EQ(record_.Credit, 100);
  EXPECT_EQ(session_.sent.back(), "226-Using U/D Ratio 1/1. Current credit 100 bytes\r\n");
  EXPECT_TRUE(Get("C:\\pub\\f1001"));  // never refused for credit
  Download("C:\\pub\\f1001", 1001);
  EXPECT_EQ(record_.Credit, -901);
}

TEST_F(TransferAccountingTest, FreeFilesAreNotCharged) {
  File("pub/free.bin");
  File("freedir/x.bin");
  File("freedir/sub/x.bin");
  File("pub/sub/index.txt");
  File("pub/A.ZIP");
  File("pub/b.zip2");
  for (const char* item :
       {"C:\\pub\\free.bin", "C:\\freedir\\", "index.txt", "*.zip", "*.zi", "*zip"}) {
    host_.freeList.Add(item);
  }
  auto charged = [&](const std::string& path) {
    record_.Credit = 1000;
    Download(path, 100);
    EXPECT_FALSE(record_.FreeFile);  // cleared when the download ends
    return record_.Credit != 1000;
  };
  EXPECT_FALSE(charged("C:\\pub\\free.bin"));
  EXPECT_FALSE(charged("C:\\FREEDIR\\x.bin"));
  EXPECT_FALSE(charged("C:\\pub\\sub\\index.txt"));
  EXPECT_FALSE(charged("C:\\pub\\A.ZIP"));
  EXPECT_TRUE(charged("C:\\freedir\\sub\\x.bin"));
  EXPECT_TRUE(charged("C:\\pub\\b.zip2"));
  EXPECT_TRUE(charged("C:\\pub\\f1000"));
}

TEST_F(TransferAccountingTest, FreeFileStillNeedsTheAllowance) {
  host_.freeList.Add("*.bin");
  File("pub/free.bin", std::string(500, 'f'));
  record_.EnableMaxdl = true;
  record_.Credit = 499;
  EXPECT_FALSE(Get("C:\\pub\\free.bin"));
  record_.Credit = 500;
  EXPECT_TRUE(Get("C:\\pub\\free.bin"));
}

TEST_F(TransferAccountingTest, FileVanishingBeforeTheDataConnectionFailsTheDownload) {
  ASSERT_TRUE(Get("C:\\pub\\f1000"));
  std::filesystem::remove(Posix("pub/f1000"));
  session_.FilePath = "C:\\pub\\f1000";
  EXPECT_THROW(accounting_.FtpServer1RetrSessionConnected(session_, 0, record_),
               std::runtime_error);
  EXPECT_TRUE(session_.FilePath.empty());  // no later hook reports the file
  EXPECT_EQ(session_.refusals, std::vector<std::string>{"File doesn't exist"});
  const test::FakeHostView::Line& line = host_.log.back();
  EXPECT_EQ(line.category, 7);
  EXPECT_EQ(line.screen, "bob (127.0.0.9) tried to download C:\\pub\\f1000 --> File doesn't exist");
  EXPECT_EQ(line.file, "bob (127.0.0.9) tried to download C:\\pub\\f1000 File doesn't exist");
}

// The file named at RETR was replaced by a bigger one before the data connection came.
TEST_F(TransferAccountingTest, AllowanceIsCheckedAgainWhenTheDownloadOpens) {
  record_.EnableMaxdl = true;
  record_.Credit = 1000;
  ASSERT_TRUE(Get("C:\\pub\\f1000"));
  File("pub/f1000", std::string(1001, 'b'));
  session_.FilePath = "C:\\pub\\f1000";
  EXPECT_THROW(accounting_.FtpServer1RetrSessionConnected(session_, 0, record_),
               std::runtime_error);
  EXPECT_EQ(session_.refusals, std::vector<std::string>{"Not enough credits"});
  EXPECT_TRUE(session_.FilePath.empty());
  EXPECT_TRUE(host_.Logged(
      7,
      "bob (127.0.0.9) asked to download C:\\pub\\f1000 --> Access denied (not enough credits)"));
  EXPECT_EQ(record_.Credit, 1000);
}

TEST_F(TransferAccountingTest, TransferErrorsGoToTheLogWindowOnly) {
  record_.UserName = "bobby";  // the record's copy names the client in error lines
  accounting_.FtpServer1RetrSessionConnected(session_, 10061, record_);
  accounting_.FtpServer1RetrDataSent(session_, 10054, record_);
  accounting_.FtpServer1RetrSessionClosed(session_, 10054, record_);
  accounting_.FtpServer1StorSessionConnected(session_, 10061, record_);
  EXPECT_TRUE(host_.log.empty());
  EXPECT_EQ(host_.screenOnly.size(), 4u);
  EXPECT_EQ(host_.screenOnly[0], "bobby (127.0.0.9) Error #10061");

  // An upload that ended in error still reports the ratio.
  record_.EnableRatio = true;
  session_.FileName = "up.bin";
  accounting_.FtpServer1StorSessionClosed(session_, 10054, record_);
  EXPECT_EQ(host_.screenOnly.back(), "bobby (127.0.0.9) Error #10054");
  EXPECT_EQ(session_.sent.size(), 1u);
  EXPECT_FALSE(host_.Logged(6, "bob (127.0.0.9) finished to upload up.bin in C:\\pub\\"));
}

}  // namespace
}  // namespace orvane
