#include "base/errors.h"
#include "base/random.h"

#include <gtest/gtest.h>

#include "support/quit_requests.h"

#include <climits>

#include "base/safe_containers.h"
#include "platform/messages.h"
#include "support/sandbox.h"

namespace {

struct Record76 {
  int32_t words[19] = {};
};
struct Record12 {
  int32_t a = 0, b = 0, c = 0;
};

// A bad access logs and asks the game to end; the quit requests are counted.
class CheckedAccessTest : public ::testing::Test {
 protected:
  Sandbox sandbox_;
  QuitRequests quits_;
};

TEST_F(CheckedAccessTest, BadVectorIndexLogsPostsCloseAndHandsBackElementZero) {
  cSafeVector<Record76> v(3);
  v[0].words[0] = 11;
  v[2].words[0] = 33;
  EXPECT_EQ(v.At(2).words[0], 33);
  EXPECT_EQ(v.At(3).words[0], 11);
  EXPECT_EQ(v.At(-1).words[0], 11);
  EXPECT_EQ(sandbox_.Report(), "err V[3] ( 3 , 76 )\nerr V[-1] ( 3 , 76 )\n");
  EXPECT_EQ(sandbox_.ErrorCheckLog(), sandbox_.Report());
  EXPECT_EQ(quits_.Take(), 2);
}

TEST_F(CheckedAccessTest, EmptyVectorHandsBackAFreshDefaultElement) {
  cSafeVector<Record12> v;
  Record12& r = v.At(0);
  EXPECT_EQ(r.a, 0);
  r.a = 99;  // a caller writing into it must not leave a trace for the next one
  EXPECT_EQ(v.At(5).a, 0);
  EXPECT_EQ(sandbox_.Report(), "err V[0] ( 0 , 12 )\nerr V[5] ( 0 , 12 )\n");
  EXPECT_EQ(quits_.Take(), 2);
}

TEST_F(CheckedAccessTest, BadListIndexReturnsTheSameZeroedDummy) {
  cSafeList<int32_t> l{5, 6, 7};
  EXPECT_EQ(l.At(2), 7);
  int32_t& d1 = l.At(3);
  EXPECT_EQ(d1, 0);
  int32_t& d2 = l.At(-2);
  EXPECT_EQ(&d1, &d2);
  EXPECT_EQ(sandbox_.Report(), "err L[3] ( 3 , 4 )\nerr L[-2] ( 3 , 4 )\n");
  EXPECT_EQ(quits_.Take(), 2);
}

TEST(RandomTest, GeneratorIsTheGamesOwnAndPerThread) {
  SRand(1);
  for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(Rand(), expected);
  // A fresh thread starts from state 1, whatever this thread did.
  int first = 0;
  std::thread([&first] { first = Rand(); }).join();
  EXPECT_EQ(first, 41);
}

TEST(RandomTest, RangeCoversBothEndsWhicheverWayRound) {
  SRand(12345);
  bool seen[4] = {};
  for (int i = 0; i < 400; ++i) {
    int32_t v = RandomRange(5, 2);
    ASSERT_GE(v, 2);
    ASSERT_LE(v, 5);
    seen[v - 2] = true;
  }
  for (bool s : seen) EXPECT_TRUE(s);
  EXPECT_EQ(RandomRange(7, 7), 7);
  // Spans the generator cannot cover must not divide by zero or overflow.
  EXPECT_EQ(RandomRange(INT_MIN, INT_MAX), INT_MIN);
  int32_t wide = RandomRange(-2000000000, 2000000000);
  EXPECT_GE(wide, -2000000000);
  EXPECT_LE(wide, -2000000000 + 32767);
}

TEST(FormatStringTest, GrowsPastThe5120ByteBufferOfOld) {
  std::string out;
  std::string big(9000, 'a');
  FormatString(out, "[%s]%d", big.c_str(), 42);
  EXPECT_EQ(out.size(), 9000u + 4u);
  EXPECT_EQ(out.substr(out.size() - 3), "]42");
}

}  // namespace
