#include <gtest/gtest.h>

#include "access/EntryTable.h"
#include "access/TDir.h"
#include "access/Usrdata.h"

namespace orvane {
namespace {

TEST(EntryTable, StoresOnlyUpToTheLastEntrySetAndReadsEmptyBeyond) {
  EntryTable<TDir, kDirEntries> table;
  const auto& view = table;
  EXPECT_EQ(view.begin(), view.end());
  EXPECT_TRUE(view[150].Dir.empty());
  EXPECT_EQ(view.begin(), view.end());  // reading stores nothing

  table[3] = {"C:\\up", "RW"};
  EXPECT_EQ(view.end() - view.begin(), 4);
  EXPECT_TRUE(view[0].Dir.empty() && view[2].Attr.empty());
  EXPECT_EQ(view[3].Attr, "RW");
  EXPECT_TRUE(view[4].Dir.empty());
  EXPECT_EQ(table.size(), kDirEntries);

  table.clear();
  EXPECT_EQ(view.begin(), view.end());
  EXPECT_TRUE(view[3].Dir.empty());
}

TEST(EntryTable, ARecordCopiesItsAccountsEntriesAtTheirIndices) {
  users account;
  account.Dirs[0] = {"C:\\ftp", "R---L-"};
  account.Dirs[150] = {"C:\\last", "RW"};
  Usrdata record;
  record.LinkTable[7] = {"pub", "C:\\pub"};
  record.CopyAccount(account);
  EXPECT_EQ(record.Dirs[0].Dir, "C:\\ftp");
  EXPECT_EQ(record.Dirs[150].Attr, "RW");
  EXPECT_TRUE(record.Dirs[75].Dir.empty());
  const Usrdata& view = record;
  EXPECT_EQ(view.LinkTable.begin(), view.LinkTable.end());
}

}  // namespace
}  // namespace orvane
