#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "access/FreeList.h"
#include "platform/IniFile.h"

namespace orvane {
namespace {

TEST(FreeList, AddRefusesEmptyAndDuplicatesIgnoringCase) {
  FreeList list;
  EXPECT_TRUE(list.Add("C:\\Temp\\"));
  EXPECT_FALSE(list.Add("c:\\TEMP\\"));
  EXPECT_FALSE(list.Add(""));
  EXPECT_TRUE(list.Add("*.exe"));
  EXPECT_FALSE(list.Remove(2));
  EXPECT_TRUE(list.Remove(0));
  EXPECT_EQ(list.Items(), std::vector<std::string>{"*.exe"});
}

TEST(FreeList, MembershipForms) {
  FreeList list;
  list.Add("*.zip");
  list.Add("C:\\temp\\");
  list.Add("index.txt");
  list.Add("D:\\files.bin");
  list.Add("*");
  EXPECT_TRUE(list.Contains("D:\\pub\\A.ZIP"));
  EXPECT_TRUE(list.Contains("C:\\temp\\x.bin"));
  EXPECT_FALSE(list.Contains("C:\\temp\\sub\\x.bin"));
  EXPECT_TRUE(list.Contains("E:\\deep\\dir\\INDEX.TXT"));
  EXPECT_TRUE(list.Contains("C:index.txt"));  // a drive colon also ends the directory part
  EXPECT_TRUE(list.Contains("d:\\FILES.bin"));
  EXPECT_FALSE(list.Contains("D:\\other\\files.bin"));
  EXPECT_TRUE(list.Contains("C:\\bin\\README"));  // no extension: looked up as "*"
  EXPECT_FALSE(list.Contains("C:\\pub\\a.tar.gz"));

  FreeList near;
  near.Add("*.zi");
  near.Add("*zip");
  near.Add("C:\\temp");
  EXPECT_FALSE(near.Contains("D:\\pub\\A.ZIP"));
  EXPECT_FALSE(near.Contains("C:\\temp\\x.bin"));
  EXPECT_FALSE(near.Contains("C:\\pub\\README"));
}

TEST(FreeList, StoreAndLoadThroughTheConfigurationFile) {
  char pattern[] = "/tmp/orvane-free-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string path = dir + "/FTPsrv.ini";
  std::ofstream(path, std::ios::binary)
      << "[Setup]\r\nPort=21\r\n[FreeFiles]\r\nFile0=*.zip\r\nFile1=*.ZIP\r\nFile2=a.txt\r\n"
         "File4=lost.txt\r\nFile3=\r\n";

  IniFile ini(path);
  FreeList list;
  list.Add("stale");
  list.Load(ini);  // the duplicate is dropped, the empty File3 ends the list
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"*.zip", "a.txt"}));

  list.Remove(0);
  ASSERT_TRUE(list.Store(ini));
  IniFile reread(path);
  EXPECT_EQ(reread.Keys("FreeFiles"), std::vector<std::string>{"File0"});
  EXPECT_EQ(reread.ReadString("Setup", "Port", ""), "21");
  FreeList loaded;
  loaded.Load(reread);
  EXPECT_EQ(loaded.Items(), std::vector<std::string>{"a.txt"});
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace orvane
