#include <gtest/gtest.h>

#include "access/PasswordHash.h"

namespace orvane {
namespace {

TEST(PasswordHashTest, HashesAreYescryptWithTheirOwnSaltAndCheckOnlyTheirPassword) {
  const std::string first = PasswordHash::Hash("s3cret pass");
  const std::string second = PasswordHash::Hash("s3cret pass");
  ASSERT_EQ(first.rfind("$y$", 0), 0u) << first;
  EXPECT_NE(first, second);  // a fresh salt each time
  EXPECT_EQ(first.find("s3cret"), std::string::npos);
  EXPECT_TRUE(PasswordHash::Verify("s3cret pass", first));
  EXPECT_TRUE(PasswordHash::Verify("s3cret pass", second));
  EXPECT_FALSE(PasswordHash::Verify("s3cret pas", first));
  EXPECT_FALSE(PasswordHash::Verify("", first));
  // A hash made elsewhere by the same library (SHA-512 crypt of "pw", as in /etc/shadow).
  EXPECT_TRUE(PasswordHash::Verify(
      "pw",
      "$6$salt$AkOOBO38SQQ8T8Q46KuCONe.8zg41nvCDKDq7pVQd2n2hy8sf8aR3G89VY.57up0eSIa/69odCC"
      "cLT4hx7FpW/"));
}

TEST(PasswordHashTest, MalformedHashesAndClearPasswordsCostOneHashAndMatchRightly) {
  for (const std::string& bad : {std::string(), std::string("pw"), std::string("$y$"),
                                 std::string("$y$junk$"), std::string("*0")}) {
    const long before = PasswordHash::Computations();
    EXPECT_FALSE(PasswordHash::Verify(bad, bad)) << bad;
    EXPECT_EQ(PasswordHash::Computations() - before, 1) << bad;
  }
  const long before = PasswordHash::Computations();
  EXPECT_TRUE(PasswordHash::VerifyClear("pw", "pw"));
  EXPECT_FALSE(PasswordHash::VerifyClear("pw", "pW"));
  EXPECT_FALSE(PasswordHash::VerifyClear("pw", "pw "));
  EXPECT_EQ(PasswordHash::Computations() - before, 3);
  EXPECT_TRUE(PasswordHash::LooksLikeHash("$y$j9T$abc$def"));
  EXPECT_FALSE(PasswordHash::LooksLikeHash("secret"));
}

}  // namespace
}  // namespace orvane
