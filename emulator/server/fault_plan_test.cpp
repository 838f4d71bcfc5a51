#include "server/fault_plan.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tevo::emulator::Fault;
using tevo::emulator::FaultPlan;

TEST(FaultPlan, MatchingFaultsCombineAndAreUsedUp) {
    FaultPlan plan;
    plan.Add(Fault::DelayReply("TRAC? TRACE1", 50ms));
    plan.Add(Fault::CutReply("TRAC? TRACE1", 10));
    plan.Add(Fault::CutReply("", 4));
    FaultPlan::Decision d = plan.OnMessage("TRAC? TRACE1");
    EXPECT_EQ(d.delay, 50ms);
    EXPECT_EQ(d.keep_bytes, 4u);  // the shorter cut wins
    EXPECT_FALSE(d.close_connection);
    EXPECT_EQ(d.Apply("#210abcdefghij\n"), "#210");
    EXPECT_EQ(d.Apply("ab"), "ab");
    d = plan.OnMessage("TRAC? TRACE1");  // each fault fired once
    EXPECT_EQ(d.delay, 0ms);
    EXPECT_FALSE(d.keep_bytes.has_value());
    EXPECT_EQ(d.Apply("x\n"), "x\n");

    Fault always = Fault::NoReply("*OPC?");
    always.times = Fault::kEveryTime;
    plan.Add(always);
    plan.Add(Fault::ReplaceReply("*OPC?", "bad\n"));
    d = plan.OnMessage("*OPC?");
    EXPECT_EQ(d.Apply("1\n"), "bad\n");  // a replacement is sent even where the reply is dropped
    EXPECT_EQ(plan.OnMessage("*OPC?").Apply("1\n"), "");
    EXPECT_EQ(plan.OnMessage("*OPC?").Apply("1\n"), "");
    EXPECT_EQ(plan.OnMessage("*IDN?").Apply("id\n"), "id\n");
    plan.Add(Fault::CloseConnection("*RST"));
    EXPECT_TRUE(plan.OnMessage("*RST").close_connection);
    plan.Clear();
    EXPECT_EQ(plan.OnMessage("*OPC?").Apply("1\n"), "1\n");
    Fault never = Fault::NoReply("");
    never.times = 0;  // a fault for no message is not kept
    plan.Add(never);
    EXPECT_EQ(plan.OnMessage("*OPC?").Apply("1\n"), "1\n");
}

TEST(FaultPlan, ScriptRepliesInOrderAndListsProblems) {
    FaultPlan plan;
    EXPECT_FALSE(plan.OnScript("*IDN?").has_value());  // no script: nothing to check
    EXPECT_TRUE(plan.VerifyScript().empty());
    plan.ExpectQuery("*IDN?", "X,Y,Z,W");
    plan.ExpectCommand("*RST");
    EXPECT_EQ(plan.OnScript("*IDN?"), "X,Y,Z,W\n");
    EXPECT_FALSE(plan.OnScript("*CLS").has_value());
    EXPECT_FALSE(plan.OnScript("*RST").has_value());
    EXPECT_FALSE(plan.OnScript("*RST").has_value());
    EXPECT_EQ(plan.VerifyScript(), (std::vector<std::string>{
                                       "unexpected message \"*CLS\" (expected \"*RST\")",
                                       "unexpected message \"*RST\" after the end of the script"}));
    plan.ClearScript();
    EXPECT_TRUE(plan.VerifyScript().empty());
}
