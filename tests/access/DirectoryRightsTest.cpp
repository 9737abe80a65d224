#include <gtest/gtest.h>

#include <stdexcept>

#include "access/AccessTestSupport.h"
#include "access/DirectoryRights.h"

namespace orvane {
namespace {

using Entries = DirectoryRights::Entries;

Entries Make(std::initializer_list<TDir> list) {
  Entries dirs;
  std::size_t i = 0;
  for (const TDir& entry : list) dirs[i++] = entry;
  return dirs;
}

class DirectoryRightsTest : public test::DriveFixture {
 protected:
  void SetUp() override {
    DriveFixture::SetUp();
    for (const char* dir : {"ftp/sub", "ftp/in", "ftp/up", "ftp/ro", "ftpx", "ftpdata", "other",
                            "etc", "Public", "secret"}) {
      Dir(dir);
    }
    File("ftp/a.txt");
    File("ftp/sub/b.txt");
    File("etc/passwd");
    session_.SetDirectory("C:\\ftp\\");
  }

  void Give(std::initializer_list<TDir> list) { record_.Dirs = Make(list); }

  DirectoryRights rights_{host_};
  test::FakeSession session_;
  Usrdata record_;
};

// --- The rules -------------------------------------------------------------------------------

TEST_F(DirectoryRightsTest, SubdirectoryEntryCoversItsTreeButNoSiblingWithTheSamePrefix) {
  const Entries withS = Make({{"C:\\ftp", "RWDMLS"}});
  EXPECT_TRUE(DirectoryRights::DirAllowed(withS, "C:\\ftp\\sub\\"));
  EXPECT_TRUE(DirectoryRights::Grants(withS, 'R', "C:\\ftp\\sub\\"));
  // The sibling C:\ftpx\ starts with the entry's letters: neither entered nor read.
  EXPECT_FALSE(DirectoryRights::DirAllowed(withS, "C:\\ftpx\\"));
  EXPECT_FALSE(DirectoryRights::Grants(withS, 'R', "C:\\ftpx\\"));
  EXPECT_FALSE(DirectoryRights::DirAllowed(Make({{"C:\\ftp\\", "RWDMLS"}}), "C:\\ftpx\\"));

  const Entries withoutS = Make({{"C:\\ftp", "RWDML"}});
  EXPECT_FALSE(DirectoryRights::DirAllowed(withoutS, "C:\\ftp\\sub\\"));
  EXPECT_TRUE(DirectoryRights::DirAllowed(withoutS, "C:\\ftp\\"));
  EXPECT_FALSE(DirectoryRights::Grants(withoutS, 'R', "C:\\ftp\\sub\\"));
  // Comparisons ignore letter case; a directory that does not exist is always refused.
  EXPECT_TRUE(DirectoryRights::Grants(withoutS, 'R', "C:\\FTP\\"));
  EXPECT_FALSE(DirectoryRights::DirAllowed(withS, "C:\\ftp\\nowhere\\"));
  EXPECT_FALSE(DirectoryRights::Grants(withS, 'R', "C:\\ftp\\nowhere\\"));
}

TEST_F(DirectoryRightsTest, AttackCaseTwinOfTheAccountDirectory) {
  // Linux keeps "ftp" and "FTP" apart: an entry for one must cover nothing of the other, in
  // whatever case the client spells it, while a spelling that reaches the entry's own directory
  // still counts.
  Dir("FTP/sub");
  File("FTP/x.txt");
  const Entries dirs = Make({{"C:\\ftp", "RWDMLS"}});
  for (const char* twin : {"C:\\FTP\\", "C:\\FTP\\sub\\", "C:\\fTp\\sub\\"}) {
    SCOPED_TRACE(twin);
    // "fTp" resolves to whichever twin the file system offers: only ftp itself may be covered.
    const bool reachesFtp = FileSystem::ToPosix(twin) == FileSystem::ToPosix("C:\\ftp\\sub\\");
    EXPECT_EQ(DirectoryRights::DirAllowed(dirs, twin), reachesFtp);
    for (char letter : {'R', 'W', 'D', 'M', 'L'}) {
      EXPECT_EQ(DirectoryRights::Grants(dirs, letter, twin), reachesFtp) << letter;
    }
  }
  // Passing through to an entry: only the directories really above it.
  Dir("ftp/deep/er");
  Dir("FTP/deep");
  const Entries deep = Make({{"C:\\ftp\\deep\\er", "RL"}});
  EXPECT_TRUE(DirectoryRights::LeadsToEntry(deep, "C:\\ftp\\deep\\"));
  EXPECT_FALSE(DirectoryRights::LeadsToEntry(deep, "C:\\FTP\\deep\\"));
  EXPECT_FALSE(DirectoryRights::LeadsToEntry(deep, "C:\\FTP\\"));
  EXPECT_FALSE(DirectoryRights::PutAllowed(dirs, "C:\\FTP\\new.txt", true));
  EXPECT_TRUE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\new.txt", true));
  // An entry spelled in another case than the disk still covers the one directory it reaches.
  Give({{"c:\\FTP", "R-----"}});
  EXPECT_TRUE(rights_.CheckGet(record_, "C:\\FTP\\x.txt"));
  EXPECT_FALSE(rights_.CheckGet(record_, "C:\\ftp\\a.txt"));
}

TEST_F(DirectoryRightsTest, AttackCaseTwinThroughTheHooks) {
  Dir("FTP");
  File("FTP/x.txt");
  Give({{"C:\\ftp", "RWDMLS"}});
  bool allowed = true;
  session_.SetDirectory("C:\\FTP\\");  // the engine sets the directory before the hook
  rights_.FtpServer1ChangeDirectory(session_, "C:\\FTP\\", allowed, record_);
  EXPECT_FALSE(allowed);
  std::string path = "C:\\ftp\\..\\FTP\\x.txt";
  EXPECT_FALSE(rights_.ValidateGetRights(session_, path, record_));
  path = "C:\\FTP\\x.txt";
  rights_.FtpServer1ValidateDele(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  path = "C:\\FTP\\y.txt";
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
}

TEST_F(DirectoryRightsTest, GrantDependsOnEntryOrder) {
  // A later entry that does not cover the directory clears the verdict...
  EXPECT_FALSE(DirectoryRights::Grants(Make({{"C:\\ftp", "RS"}, {"C:\\other", "R"}}), 'R',
                                       "C:\\ftp\\sub\\"));
  EXPECT_TRUE(DirectoryRights::Grants(Make({{"C:\\other", "R"}, {"C:\\ftp", "RS"}}), 'R',
                                      "C:\\ftp\\sub\\"));
  // ...and an entry equal to the directory ends the walk.
  const Entries nested = Make({{"C:\\ftp", "RLS"}, {"C:\\ftp\\in", "WS"}});
  EXPECT_FALSE(DirectoryRights::Grants(nested, 'R', "C:\\ftp\\sub\\"));
  EXPECT_TRUE(DirectoryRights::Grants(nested, 'R', "C:\\ftp\\"));
  EXPECT_TRUE(DirectoryRights::Grants(nested, 'R', "C:\\ftp\\in\\"));  // granted above, kept
  EXPECT_TRUE(DirectoryRights::Grants(nested, 'W', "C:\\ftp\\in\\"));
  // An exact entry without S decides alone, whatever came before.
  EXPECT_FALSE(DirectoryRights::Grants(Make({{"C:\\ftp", "RS"}, {"C:\\ftp\\sub", "L"}}), 'R',
                                       "C:\\ftp\\sub\\"));
}

TEST_F(DirectoryRightsTest, EntryAfterAnEmptyOneCountsOnlyForAnExactChangeOfDirectory) {
  const Entries gap = Make({{"C:\\other", "RL"}, {"", ""}, {"C:\\ftp", "RWDMLS"}});
  EXPECT_TRUE(DirectoryRights::DirAllowed(gap, "C:\\ftp\\"));
  EXPECT_FALSE(DirectoryRights::DirAllowed(gap, "C:\\ftp\\sub\\"));
  EXPECT_FALSE(DirectoryRights::Grants(gap, 'R', "C:\\ftp\\"));
  EXPECT_FALSE(DirectoryRights::PutAllowed(gap, "C:\\ftp\\new.txt", true));
}

TEST_F(DirectoryRightsTest, WriteWithoutDeleteCreatesNewFilesOnly) {
  const Entries dirs = Make({{"C:\\ftp", "R---L-"}, {"C:\\ftp", "RW--S"}});
  for (bool replaces : {false, true}) {
    EXPECT_TRUE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\new.txt", replaces));
    EXPECT_TRUE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\sub\\new.txt", replaces));
    EXPECT_FALSE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\a.txt", replaces));
    EXPECT_FALSE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\nowhere\\new.txt", replaces));
  }
}

// Overwriting, APPE and resumed STOR were refused even to an account that could delete the file
// and upload it anew, so today's clients failed to resume or sync. Classic keeps W for new files.
TEST_F(DirectoryRightsTest, WriteWithDeleteInTheSameEntryReplacesUnlessClassic) {
  EXPECT_TRUE(DirectoryRights::PutAllowed(Make({{"C:\\ftp", "RWD-LS"}}), "C:\\ftp\\a.txt", true));
  EXPECT_FALSE(DirectoryRights::PutAllowed(Make({{"C:\\ftp", "RWD-LS"}}), "C:\\ftp\\a.txt", false));
  // W and D from two different entries do not add up.
  EXPECT_FALSE(DirectoryRights::PutAllowed(Make({{"C:\\ftp", "RW-S"}, {"C:\\ftp", "D-S"}}),
                                           "C:\\ftp\\a.txt", true));

  Give({{"C:\\ftp", "RWDLS"}});
  std::string path = "C:\\ftp\\a.txt";
  bool allowed = false;
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  host_.policy = CompatibilityPolicy(true);
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
}

// A nested entry without W and D ends the walk as for every other right: the outer entry's W and
// D must not let an upload replace a file there that DELE may not remove.
TEST_F(DirectoryRightsTest, AttackReplaceAFileUnderANestedEntryWithoutWriteOrDelete) {
  File("ftp/ro/f.txt");
  const Entries dirs = Make({{"C:\\ftp", "RWDMLS"}, {"C:\\ftp\\ro", "R-----"}});
  EXPECT_FALSE(DirectoryRights::Grants(dirs, 'D', "C:\\ftp\\ro\\"));
  EXPECT_FALSE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\ro\\f.txt", true));
  EXPECT_TRUE(DirectoryRights::PutAllowed(dirs, "C:\\ftp\\a.txt", true));
  // A nested entry that holds W and D replaces, though the outer one has neither.
  const Entries inner = Make({{"C:\\ftp", "R-----S"}, {"C:\\ftp\\ro", "RWD---"}});
  EXPECT_TRUE(DirectoryRights::PutAllowed(inner, "C:\\ftp\\ro\\f.txt", true));
  EXPECT_FALSE(DirectoryRights::PutAllowed(inner, "C:\\ftp\\a.txt", true));
}

// Under the rules as written the upload check took "C:\ftp" as a bare text prefix, so W on
// C:\ftp with S allowed uploads into C:\ftpdata\.
TEST_F(DirectoryRightsTest, AttackUploadIntoASiblingWithTheSamePrefix) {
  Give({{"C:\\ftp", "RWS"}});
  std::string path = "C:\\ftpdata\\x.bin";
  bool allowed = true;
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_TRUE(
      host_.Logged(5, "bob (127.0.0.9) asked to upload C:\\ftpdata\\x.bin --> Access denied"));

  path = "C:\\ftp\\sub\\x.bin";
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(host_.log.size(), 1u);  // a granted upload is not logged here
}

// --- Resolution of "." and ".." --------------------------------------------------------------

// The engine leaves ".." in the path; the check must judge, and hand back, the real target.
TEST_F(DirectoryRightsTest, AttackDotDotOutOfTheReadableTree) {
  Give({{"C:\\ftp", "RLS"}});
  std::string path = "C:\\ftp\\sub\\..\\..\\etc\\passwd";
  EXPECT_FALSE(rights_.ValidateGetRights(session_, path, record_));
  EXPECT_EQ(path, "C:\\etc\\passwd");
  EXPECT_TRUE(
      host_.Logged(7, "bob (127.0.0.9) asked to download C:\\etc\\passwd --> Access denied"));

  path = "C:\\ftp\\sub\\..\\a.txt";
  EXPECT_TRUE(rights_.ValidateGetRights(session_, path, record_));
  EXPECT_EQ(path, "C:\\ftp\\a.txt");

  // The same for every other path the engine hands over.
  path = "C:\\ftp\\..\\etc\\new";
  bool allowed = true;
  Give({{"C:\\ftp", "RWDMLS"}});
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_EQ(path, "C:\\etc\\new");
  path = "C:\\ftp\\.\\..\\etc\\passwd";
  rights_.FtpServer1ValidateDele(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_EQ(path, "C:\\etc\\passwd");
  path = "C:\\ftp\\..\\..\\etc\\passwd";
  EXPECT_FALSE(rights_.CheckSize(session_, record_, path));
  EXPECT_EQ(path, "C:\\etc\\passwd");
}

// With a trailing backslash the directory part of "C:\ftp\sub\" is the directory itself, so
// RMD "sub/" was judged by the D right of sub instead of the directory that holds it.
TEST_F(DirectoryRightsTest, AttackTrailingSlashRemovesADirectoryByItsOwnRight) {
  Give({{"C:\\ftp", "RLS"}, {"C:\\ftp\\sub", "RWDS"}});
  std::string path = "C:\\ftp\\sub\\";
  bool allowed = true;
  rights_.FtpServer1ValidateDele(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_EQ(path, "C:\\ftp\\sub");
  EXPECT_TRUE(host_.Logged(10, "bob (127.0.0.9) asked to delete C:\\ftp\\sub --> Access denied"));

  path = "C:\\ftp\\sub\\b.txt";
  rights_.FtpServer1ValidateDele(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_TRUE(
      host_.Logged(10, "bob (127.0.0.9) asked to delete C:\\ftp\\sub\\b.txt --> Access allowed"));
}

// --- Make directory and rename ---------------------------------------------------------------

// The rules as written judged MKD by the current directory, wherever the new directory goes.
TEST_F(DirectoryRightsTest, AttackMakeDirectoryElsewhereThanTheCurrentDirectory) {
  Give({{"C:\\ftp", "RLS"}, {"C:\\ftp\\up", "RLMS"}});
  session_.SetDirectory("C:\\ftp\\up\\");
  std::string path = "C:\\ftp\\ro\\new";
  bool allowed = true;
  rights_.FtpServer1MakeDirectory(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_TRUE(
      host_.Logged(4, "bob (127.0.0.9) asked to create dir C:\\ftp\\ro\\new --> Access denied"));

  path = "C:\\ftp\\up\\..\\up\\new\\";
  rights_.FtpServer1MakeDirectory(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(path, "C:\\ftp\\up\\new");

  // And the other way round: M on a directory is enough from anywhere.
  session_.SetDirectory("C:\\ftp\\");
  path = "C:\\ftp\\up\\other";
  rights_.FtpServer1MakeDirectory(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
}

TEST_F(DirectoryRightsTest, DirectoryMadeIsLoggedRelativeToWhereItWasMade) {
  session_.SetDirectory("C:\\ftp\\up\\");
  std::string path = "C:\\ftp\\up\\new";
  rights_.FtpServer1DirMade(session_, path, true, record_);
  EXPECT_TRUE(host_.Logged(4, "bob (127.0.0.9) made directory \"new\" in C:\\ftp\\up\\"));
  path = "C:\\other\\x";
  rights_.FtpServer1DirMade(session_, path, true, record_);
  EXPECT_TRUE(host_.Logged(4, "bob (127.0.0.9) made directory \"x\" in C:\\other\\"));
  rights_.FtpServer1DirMade(session_, path, false, record_);
  EXPECT_EQ(host_.log.size(), 2u);
}

// RNTO asks the upload check for its target: renaming into a directory without W, or onto an
// existing file, is refused as an upload there would be.
TEST_F(DirectoryRightsTest, AttackRenameIntoADirectoryWithoutWrite) {
  Give({{"C:\\ftp", "RDLS"}, {"C:\\ftp\\sub", "RWS"}});
  std::string path = "C:\\ftp\\ro\\moved.txt";
  bool allowed = true;
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  // Over an existing file the upload follows DELE: sub holds D through C:\ftp's S entry, so
  // the account could delete b.txt and upload it anew.
  path = "C:\\ftp\\sub\\b.txt";
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_TRUE(rights_.CheckDele(record_, path));
  path = "C:\\ftp\\sub\\moved.txt";
  rights_.FtpServer1ValidatePut(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
}

// --- Change of directory and virtual links ---------------------------------------------------

// lftp walks from "/" to its target one CWD at a time ("CWD /home", "CWD user"), so a mirror
// failed at the first directory above the account's own. Passing through is all it may do.
TEST_F(DirectoryRightsTest, DirectoriesAboveAnEntryCanBeEnteredUnlessClassic) {
  Give({{"C:\\ftp\\sub", "RWDMLS"}});
  EXPECT_TRUE(rights_.CheckDir(record_, "C:\\"));
  EXPECT_TRUE(rights_.CheckDir(record_, "C:\\ftp\\"));
  EXPECT_FALSE(rights_.CheckDir(record_, "C:\\ftpx\\"));     // a sibling sharing a prefix
  EXPECT_FALSE(rights_.CheckDir(record_, "C:\\ftp\\in\\"));  // beside the entry
  EXPECT_FALSE(rights_.CheckListing(record_, "C:\\ftp\\"));
  EXPECT_FALSE(rights_.CheckDele(record_, "C:\\ftp\\a.txt"));

  host_.policy = CompatibilityPolicy(true);
  EXPECT_FALSE(rights_.CheckDir(record_, "C:\\"));
  EXPECT_FALSE(rights_.CheckDir(record_, "C:\\ftp\\"));
  EXPECT_TRUE(rights_.CheckDir(record_, "C:\\ftp\\sub\\"));
}

TEST_F(DirectoryRightsTest, ChangeOfDirectoryIsLoggedAndShown) {
  Give({{"C:\\ftp", "RL"}});
  bool allowed = true;
  session_.SetDirectory("C:\\ftp\\");
  record_.Idle = 7;
  rights_.FtpServer1ChangeDirectory(session_, "C:\\ftp\\", allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(record_.Idle, 0);
  ASSERT_EQ(host_.log.size(), 1u);
  EXPECT_EQ(host_.log[0].category, 9);
  EXPECT_EQ(host_.log[0].screen,
            "bob (127.0.0.9) asked to change directory : C:\\ftp\\ --> Access allowed");
  EXPECT_EQ(host_.log[0].file,
            "bob (127.0.0.9) asked to change directory C:\\ftp\\ --> Access allowed");
  EXPECT_EQ(record_.Status, "Current Directory C:\\ftp\\");
  EXPECT_EQ(host_.statuses.size(), 1u);

  session_.SetDirectory("C:\\ftp\\sub\\");
  rights_.FtpServer1ChangeDirectory(session_, "C:\\ftp\\sub\\", allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_TRUE(host_.Logged(
      9, "bob (127.0.0.9) asked to change directory C:\\ftp\\sub\\ --> Access denied"));
  EXPECT_EQ(record_.Status, "Current Directory C:\\ftp\\");
}

TEST_F(DirectoryRightsTest, LinksAreListedThenFollowedByChangeOfDirectory) {
  File("links.txt",
       "pub??C:\\Public?ignored\r\nbad\n?x\nsec?C:\\ftp\\..\\secret\nunc?\\\\srv\\sh\n");
  record_.Links = "C:\\links.txt";
  Give({{"C:\\ftp", "RLS"}, {"C:\\public", "RL"}});

  // Before any listing there are no links to follow.
  session_.SetDirectory("C:\\ftp\\sub\\");
  bool allowed = true;
  EXPECT_EQ(DirectoryRights::CheckLink(session_, record_), "C:\\ftp\\sub\\");

  std::string stream;
  rights_.FtpServer1AddLinks(session_, stream, record_);
  EXPECT_EQ(stream,
            "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 pub -> \r\n"
            "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 bad -> \r\n"
            "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980  -> \r\n"
            "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 sec -> \r\n"
            "lrwxr-xr-x   1 ftp      ftp            0 Jan  1  1980 unc -> \r\n");
  EXPECT_EQ(record_.LinkTable[0].Target, "C:\\Public");
  EXPECT_EQ(record_.LinkTable[1].Target, "");
  EXPECT_EQ(record_.LinkTable[2].Target, "x");

  // Any directory whose path holds "pub" in any case lands in the link's target.
  session_.SetDirectory("C:\\ftp\\rePUBlic\\");
  rights_.FtpServer1ChangeDirectory(session_, session_.Directory(), allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(session_.Directory(), "C:\\PUBLIC\\");
  EXPECT_TRUE(host_.Logged(
      9, "bob (127.0.0.9) asked to change directory : C:\\ftp\\rePUBlic\\ --> Access allowed"));

  // A target must itself be admitted; its dots are resolved before it is judged.
  session_.SetDirectory("C:\\ftp\\sec\\");
  rights_.FtpServer1ChangeDirectory(session_, session_.Directory(), allowed, record_);
  EXPECT_EQ(session_.Directory(), "C:\\SECRET\\");
  EXPECT_FALSE(allowed);
  EXPECT_TRUE(host_.Logged(
      9, "bob (127.0.0.9) asked to change directory C:\\ftp\\sec\\ --> Access denied"));

  // A target the directory rule refuses is a refused change, not an error.
  session_.SetDirectory("C:\\ftp\\unc\\");
  rights_.FtpServer1ChangeDirectory(session_, session_.Directory(), allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_EQ(session_.Directory(), "C:\\ftp\\unc\\");
}

TEST_F(DirectoryRightsTest, LinkLinesPastTheTableAreListedButNotStored) {
  std::string text;
  for (int i = 0; i < 105; ++i)
    text += "l" + std::to_string(i) + "?C:\\t" + std::to_string(i) + "\n";
  File("links.txt", text);
  record_.Links = "C:\\links.txt";
  std::string stream;
  rights_.FtpServer1AddLinks(session_, stream, record_);
  EXPECT_NE(stream.find(" l104 -> \r\n"), std::string::npos);
  EXPECT_EQ(record_.LinkTable[100].Name, "l100");

  record_.Links = "C:\\missing.txt";
  stream.clear();
  rights_.FtpServer1AddLinks(session_, stream, record_);
  EXPECT_TRUE(stream.empty());
}

// --- Listings --------------------------------------------------------------------------------

// The rules as written checked only the session's directory, so "LIST ../secret" in a listable
// directory listed a directory without the L right.
TEST_F(DirectoryRightsTest, AttackListingAnotherDirectoryByArgument) {
  Give({{"C:\\secret", "R"}, {"C:\\ftp", "RLS"}});
  bool allowed = false;
  rights_.FtpServer1ValidateListingDir(session_, allowed, record_);
  EXPECT_TRUE(allowed);

  for (std::string argument : {"..\\secret\\", "C:\\secret\\", "\\secret\\*.*", "..\\secret"}) {
    try {
      rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
      ADD_FAILURE() << argument << " was listed";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Permission denied");
    }
  }
  std::string argument = "sub\\..\\sub\\";
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\sub\\");
  argument = "*.txt";
  rights_.FtpServer1AlterDirectory(session_, argument, false, record_);
  EXPECT_EQ(argument, "C:\\ftp\\*.txt");
}

TEST_F(DirectoryRightsTest, OptionWordsBeforeThePathAreDropped) {
  for (std::string argument : {"-l", "-a", "-la", "-al", " -l -a ", "-R", "-"}) {
    rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
    EXPECT_EQ(argument, "");
  }
  // ncftpget -R asks "LIST -a sub dir"; the path keeps its blanks.
  EXPECT_EQ(DirectoryRights::WithoutListingOptions("-a sub dir"), "sub dir");
  EXPECT_EQ(DirectoryRights::WithoutListingOptions("-l -a x"), "x");
  EXPECT_EQ(DirectoryRights::WithoutListingOptions("x -l"), "x -l");
  EXPECT_EQ(DirectoryRights::WithoutListingOptions(""), "");
}

// rclone, lftp "ls dir", tnftp and curl --ftp-method nocwd list "LIST dir" and expect the
// directory's contents; classic lists the directory's own entry.
TEST_F(DirectoryRightsTest, NamedDirectoryListsItsContentsUnlessClassic) {
  Give({{"C:\\ftp\\ro", "R"}, {"C:\\ftp", "RLS"}});
  std::string argument = "sub";
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\sub\\");
  argument = "-la /ftp/sub";
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\sub\\");
  argument = "a.txt";  // a file stays a file
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\a.txt");
  argument = "su?";  // a wildcard matches entries of the parent
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\su?");
  // The directory itself must grant L, as for a listing from inside it.
  argument = "ro";
  EXPECT_THROW(rights_.FtpServer1AlterDirectory(session_, argument, true, record_),
               std::runtime_error);

  host_.policy = CompatibilityPolicy(true);
  argument = "sub";
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\sub");
  // Classic drops an argument only when it is made entirely of option words.
  argument = "-la";
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "");
  argument = "-a ro";
  rights_.FtpServer1AlterDirectory(session_, argument, true, record_);
  EXPECT_EQ(argument, "C:\\ftp\\-a ro");
}

// DELE, RNFR, RMD and MKD without an argument asked about an entry of the parent named like the
// current directory, so an account with every right on its own directory got a refusal.
TEST_F(DirectoryRightsTest, CommandWithoutArgumentIsJudgedByTheCurrentDirectory) {
  Give({{"C:\\ftp", "RL"}, {"C:\\ftp\\up", "RWDMLS"}});
  session_.SetDirectory("C:\\ftp\\up\\");
  session_.CurCmdWithoutArgument = true;
  std::string path = session_.Directory();
  bool allowed = false;
  rights_.FtpServer1ValidateDele(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(path, "C:\\ftp\\up\\");
  path = session_.Directory();
  allowed = false;
  rights_.FtpServer1MakeDirectory(session_, path, allowed, record_);
  EXPECT_TRUE(allowed);
  EXPECT_EQ(path, "C:\\ftp\\up\\");
}

// An argument naming the current directory with a closing slash ("RMD /ftp/up/" from /ftp/up)
// resolved to the same text as no argument and was judged by the directory's own D right, so an
// account could remove or rename the root of its own entry.
TEST_F(DirectoryRightsTest, AttackArgumentNamingTheCurrentDirectoryIsJudgedByItsParent) {
  Give({{"C:\\ftp", "RL"}, {"C:\\ftp\\up", "RWDMLS"}});
  session_.SetDirectory("C:\\ftp\\up\\");
  session_.CurCmdWithoutArgument = false;
  std::string path = session_.Directory();
  bool allowed = true;
  rights_.FtpServer1ValidateDele(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
  EXPECT_EQ(path, "C:\\ftp\\up");
  path = session_.Directory();
  allowed = true;
  rights_.FtpServer1MakeDirectory(session_, path, allowed, record_);
  EXPECT_FALSE(allowed);
}

// SIZE used to tell the size of any file, whatever the rights of its directory.
TEST_F(DirectoryRightsTest, AttackSizeOfAFileWithoutTheReadRight) {
  Give({{"C:\\ftp", "L"}, {"C:\\ftp\\sub", "R"}});
  std::string path = "C:\\ftp\\a.txt";
  EXPECT_FALSE(rights_.CheckSize(session_, record_, path));
  path = "C:\\ftp\\sub\\b.txt";
  EXPECT_TRUE(rights_.CheckSize(session_, record_, path));
  EXPECT_TRUE(host_.log.empty());
}

}  // namespace
}  // namespace orvane
