// Every setting the driver's properties reach, exactly as the driver formats its messages:
// the command template completed with the window suffix ("1" or "2"), the token or the
// value ("%f" with six decimals), then the query read back on each screen. Each command
// must leave the error queue empty and each reply must be in the form the driver parses
// (NR1, NR3, 0/1, or the complete reply token of its table).
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "client/connected_emulator.h"

using tevo::emulator::ConnectedEmulator;

namespace {

constexpr const char* kNoError = "0,\"No error\"";

// Fills the printf directives of a template ("%s", "%d", "%f") in order with the texts.
std::string Expand(std::string_view pattern, const std::vector<std::string>& arguments) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            out += next < arguments.size() ? arguments[next] : std::string("<missing>");
            ++next;
            ++i;
            continue;
        }
        out.push_back(pattern[i]);
    }
    return out;
}

// A double as the driver's "%f" writes it.
std::string Fixed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

bool IsNr1(const std::string& text) {
    return std::regex_match(text, std::regex(R"([+-]?\d+)"));
}
bool IsNr3(const std::string& text) {
    return std::regex_match(text, std::regex(R"([+-]?\d(\.\d+)?E[+-]\d+)"));
}

enum class Reply { kNr1, kNr3, kToken };

// One property: its query and command templates; the value set on screen 1 and on screen 2
// (as the driver fills the last directive) and what each screen's query then answers.
struct Row {
    const char* query;
    const char* command;
    std::string value1;
    const char* reply1;
    std::string value2;
    const char* reply2;
    Reply form;
};

// Sets value1 on screen 1 and value2 on screen 2, then reads both back. A command that
// ignored the window suffix would let the second set overwrite the first.
void CheckRow(ConnectedEmulator& e, const Row& row) {
    SCOPED_TRACE(row.command);
    ASSERT_TRUE(e.Send("*RST;*CLS"));
    const std::string set1 = Expand(row.command, {"1", row.value1});
    const std::string set2 = Expand(row.command, {"2", row.value2});
    ASSERT_TRUE(e.Send(set1));
    EXPECT_EQ(e.NextError(), kNoError) << set1;
    ASSERT_TRUE(e.Send(set2));
    EXPECT_EQ(e.NextError(), kNoError) << set2;
    const std::string reply1 = e.Query(Expand(row.query, {"1"}));
    const std::string reply2 = e.Query(Expand(row.query, {"2"}));
    EXPECT_EQ(reply1, row.reply1);
    EXPECT_EQ(reply2, row.reply2);
    for (const std::string& reply : {reply1, reply2}) {
        if (row.form == Reply::kNr1) {
            EXPECT_TRUE(IsNr1(reply)) << reply;
        }
        if (row.form == Reply::kNr3) {
            EXPECT_TRUE(IsNr3(reply)) << reply;
        }
    }
    EXPECT_EQ(e.NextError(), kNoError);
}

// The numeric and Boolean properties. Boolean commands end in "O%s", completed with the
// token "N" or "FF".
std::vector<Row> NumericAndBooleanRows() {
    const Reply r = Reply::kNr3;
    const Reply b = Reply::kNr1;  // 0 or 1
    const Reply t = Reply::kToken;
    return {
        // Acquisition.
        {"SENS%s:DET:AUTO?", "SENS%s:DET:AUTO O%s", "FF", "0", "N", "1", b},
        {"SENS%s:SWE:COUN?", "SENS%s:SWE:COUN %d", "7", "7", "12", "12", Reply::kNr1},
        {"INIT%s:CONT?", "INIT%s:CONT O%s", "FF", "0", "N", "1", b},
        // Frequency.
        {"SENS%s:FREQ:OFFS?", "SENS%s:FREQ:OFFS %f", Fixed(1e6), "1E+06", Fixed(-2.5e3), "-2.5E+03",
         r},
        {"SENS%s:FREQ:STAR?", "SENS%s:FREQ:STAR %f", Fixed(1e9), "1E+09", Fixed(2.5e9), "2.5E+09",
         r},
        {"SENS%s:FREQ:STOP?", "SENS%s:FREQ:STOP %f", Fixed(4e9), "4E+09", Fixed(6e9), "6E+09", r},
        // Level.
        {"INP%s:ATT?", "INP%s:ATT %f", Fixed(30), "3E+01", Fixed(45), "4.5E+01", r},
        {"INP%s:ATT:AUTO?", "INP%s:ATT:AUTO O%s", "FF", "0", "N", "1", b},
        {"INP%s:EATT?", "INP%s:EATT %f", Fixed(15), "1.5E+01", Fixed(5), "5E+00", r},
        {"INP%s:EATT:AUTO?", "INP%s:EATT:AUTO O%s", "FF", "OFF", "N", "ON", t},
        {"INP%s:EATT:STAT?", "INP%s:EATT:STAT O%s", "N", "ON", "FF", "OFF", t},
        {"INP%s:IMP?", "INP%s:IMP %f", Fixed(75), "7.5E+01", Fixed(50), "5E+01", r},
        {"DISP:WIND%s:TRAC:Y:RLEV?", "DISP:WIND%s:TRAC:Y:RLEV %f", Fixed(-30), "-3E+01", Fixed(5),
         "5E+00", r},
        {"DISP:WIND%s:TRAC:Y:RLEV:OFFS?", "DISP:WIND%s:TRAC:Y:RLEV:OFFS %f", Fixed(10), "1E+01",
         Fixed(-3.5), "-3.5E+00", r},
        {"INP%s:GAIN:STAT?", "INP%s:GAIN:STAT O%s", "N", "ON", "FF", "OFF", t},
        // Markers: the position switches marker 1 on.
        {"CALC%s:MARK:X?", "CALC%s:MARK:X %f", Fixed(1e9), "1E+09", Fixed(2.4e9), "2.4E+09", r},
        {"CALC%s:MARK:FUNC:STR?", "CALC%s:MARK:FUNC:STR O%s", "N", "1", "FF", "0", b},
        {"CALC%s:MARK:COUN?", "CALC%s:MARK:COUN O%s", "N", "1", "FF", "0", b},
        {"CALC%s:MARK:COUN:RES?", "CALC%s:MARK:COUN:RES %f", Fixed(10), "1E+01", Fixed(0.1),
         "1E-01", r},
        // Service.
        {"DIAG%s:SERV:NSO?", "DIAG%s:SERV:NSO O%s", "N", "1", "FF", "0", b},
        // Sweep coupling.
        {"SENS%s:BAND?", "SENS%s:BAND %f", Fixed(1e4), "1E+04", Fixed(3e5), "3E+05", r},
        {"SENS%s:BAND:AUTO?", "SENS%s:BAND:AUTO O%s", "FF", "0", "N", "1", b},
        {"SENS%s:SWE:TIME?", "SENS%s:SWE:TIME %f", Fixed(0.1), "1E-01", Fixed(2.5), "2.5E+00", r},
        {"SENS%s:SWE:TIME:AUTO?", "SENS%s:SWE:TIME:AUTO O%s", "FF", "0", "N", "1", b},
        {"SENS%s:BAND:VID?", "SENS%s:BAND:VID %f", Fixed(1e3), "1E+03", Fixed(300), "3E+02", r},
        {"SENS%s:BAND:VID:AUTO?", "SENS%s:BAND:VID:AUTO O%s", "FF", "0", "N", "1", b},
        // Trigger levels.
        {"TRIG%s:LEV:IFP?", "TRIG%s:LEV:IFP %f", Fixed(-10), "-1E+01", Fixed(-35.5), "-3.55E+01",
         r},
        {"TRIG%s:LEV:RFP?", "TRIG%s:LEV:RFP %f", Fixed(0), "0E+00", Fixed(-40), "-4E+01", r},
        // The video level query carries no suffix: it reads screen 1 whichever was set.
        {"TRIG:LEV:VID?", "TRIG%s:LEV:VID %f", Fixed(-20), "-2E+01", Fixed(-60), "-2E+01", r},
        {"TRIG%s:LEV:VID?", "TRIG%s:LEV:VID %f", Fixed(-20), "-2E+01", Fixed(-60), "-6E+01", r},
    };
}

// An enumeration: the command template and every forward token with the reply token the
// reverse table expects for it.
struct EnumerationRow {
    const char* query;
    const char* command;
    std::vector<std::pair<const char*, const char*>> tokens;
};

const std::vector<EnumerationRow> kEnumerations = {
    {"SENS%s:DET?",
     "SENS%s:DET %s",
     {{"APE", "APE"},
      {"AVER", "AVER"},
      {"MAX", "MAX"},
      {"MIN", "MIN"},
      {"SAMP", "SAMP"},
      {"RMS", "RMS"}}},
    {"DISP:WIND%s:TRAC:Y:SPAC?", "DISP:WIND%s:TRAC:Y:SPAC L%s", {{"IN", "LIN"}, {"OG", "LOG"}}},
    {"UNIT%s:POW?",
     "UNIT%s:POW %s",
     {{"DBM", "DBM"}, {"DBMV", "DBMV"}, {"DBUV", "DBUV"}, {"V", "V"}, {"W", "W"}}},
    {"TRIG%s:SOUR?",
     "TRIG%s:SOUR %s",
     {{"EXT", "EXT"},
      {"IMM", "IMM"},
      {"VID", "VID"},
      {"TV", "TV"},
      {"IFP", "IFP"},
      {"RFP", "RFP"}}},
    {"TRIG%s:SLOP?", "TRIG%s:SLOP %s", {{"POS", "POS"}, {"NEG", "NEG"}}},
    {"DIAG%s:SERV:INP?", "DIAG%s:SERV:INP %s", {{"RF", "RF"}, {"CAL", "CAL"}}},
};

}  // namespace

TEST(DriverMessages, NumericAndBooleanSettingsRoundTripOnBothScreens) {
    ConnectedEmulator e;
    for (const Row& row : NumericAndBooleanRows())
        CheckRow(e, row);
}

TEST(DriverMessages, EveryEnumerationTokenIsAcceptedAndAnsweredWithItsReplyToken) {
    ConnectedEmulator e;
    for (const EnumerationRow& row : kEnumerations) {
        for (const int window : {1, 2}) {
            const std::string suffix = std::to_string(window);
            const std::string other = std::to_string(3 - window);
            for (const auto& [token, reply] : row.tokens) {
                const std::string command = Expand(row.command, {suffix, token});
                SCOPED_TRACE(command);
                ASSERT_TRUE(e.Send("*RST;*CLS"));
                const std::string untouched = e.Query(Expand(row.query, {other}));
                ASSERT_TRUE(e.Send(command));
                EXPECT_EQ(e.NextError(), kNoError);
                EXPECT_EQ(e.Query(Expand(row.query, {suffix})), reply);
                EXPECT_EQ(e.Query(Expand(row.query, {other})), untouched);
            }
        }
    }
}

TEST(DriverMessages, ExternalAndVideoSlopeAreOneSetting) {
    ConnectedEmulator e;
    // The video trigger's combined command sets the slope that the external slope reads.
    ASSERT_TRUE(e.Send("TRIG2:SLOP NEG;LEV:VID -30.000000"));
    EXPECT_EQ(e.NextError(), kNoError);
    EXPECT_EQ(e.Query("TRIG2:SLOP?;:TRIG2:LEV:VID?"), "NEG;-3E+01");
    EXPECT_EQ(e.Query("TRIG1:SLOP?"), "POS");
}

TEST(DriverMessages, InstrumentWideSettingsWithoutSuffix) {
    ConnectedEmulator e;
    for (const auto& [token, reply] :
         std::vector<std::pair<const char*, const char*>>{{"PL", "SPL"}, {"ING", "SING"}}) {
        ASSERT_TRUE(e.Send(Expand("DISP:FORM S%s", {token})));
        EXPECT_EQ(e.NextError(), kNoError);
        EXPECT_EQ(e.Query("DISP:FORM?"), reply);
    }
    for (const auto& [token, reply] :
         std::vector<std::pair<const char*, const char*>>{{"N", "1"}, {"FF", "0"}}) {
        ASSERT_TRUE(e.Send(Expand(":SYST:DISP:UPD O%s", {token})));
        EXPECT_EQ(e.NextError(), kNoError);
        EXPECT_EQ(e.Query(":SYST:DISP:UPD?"), reply);
    }
    // Trace size: the point count, the same for every trace.
    EXPECT_EQ(e.Query("SENS:SWE:POIN?"), "501");
    ASSERT_TRUE(e.Send("SENS:SWE:POIN 1001"));
    EXPECT_EQ(e.Query("SENS:SWE:POIN?"), "1001");
    // The active screen's select command: "DISP:WIND" completed with "1:SEL" or "2:SEL".
    for (const char* token : {"2:SEL", "1:SEL"}) {
        ASSERT_TRUE(e.Send(Expand("DISP:WIND%s", {token})));
        EXPECT_EQ(e.NextError(), kNoError) << token;
    }
}

TEST(DriverMessages, MarkerStateTypeAndAmplitudeOnBothScreens) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.Send("INIT:CONT OFF;:INIT2:CONT OFF"));
    ASSERT_EQ(e.Query("INIT;*OPC?;:INIT2;*OPC?"), "1;1");
    for (const int window : {1, 2}) {
        const std::string w = std::to_string(window);
        const std::string other = std::to_string(3 - window);
        for (int marker = 1; marker <= 4; ++marker) {
            const std::string m = std::to_string(marker);
            SCOPED_TRACE(Expand("screen %s marker %d", {w, m}));
            ASSERT_TRUE(e.Send(Expand("CALC%s:MARK%d O%s", {w, m, "N"})));
            EXPECT_EQ(e.NextError(), kNoError);
            EXPECT_EQ(e.Query(Expand("CALC%s:MARK%d?", {w, m})), "1");
            EXPECT_EQ(e.Query(Expand("CALC%s:MARK%d?", {other, m})), "0");
            ASSERT_TRUE(e.Send(Expand("CALC%s:MARK%d O%s", {w, m, "FF"})));
            EXPECT_EQ(e.Query(Expand("CALC%s:MARK%d?", {w, m})), "0");
        }
        // Marker type: the delta state of marker 1.
        ASSERT_TRUE(e.Send(Expand("CALC%s:DELT1 ON", {w})));
        EXPECT_EQ(e.Query(Expand("CALC%s:DELT?", {w})), "1");
        EXPECT_EQ(e.Query(Expand("CALC%s:DELT?", {other})), "0");
        ASSERT_TRUE(e.Send(Expand("CALC%s:MARK1 ON", {w})));
        EXPECT_EQ(e.Query(Expand("CALC%s:DELT?", {w})), "0");
        // Amplitude: a level in NR3 at the carrier that the marker sits on (-30 dBm).
        ASSERT_TRUE(e.Send(Expand("CALC%s:MARK:X %f", {w, Fixed(1e9)})));
        const std::string amplitude = e.Query(Expand("CALC%s:MARK:Y?", {w}));
        EXPECT_TRUE(IsNr3(amplitude)) << amplitude;
        EXPECT_NEAR(std::stod(amplitude), -30, 0.5);
        ASSERT_TRUE(e.Send(Expand("CALC%s:MARK:AOFF", {w})));
        EXPECT_EQ(e.Query(Expand("CALC%s:MARK1?", {w})), "0");
        EXPECT_EQ(e.NextError(), kNoError);
    }
}

TEST(DriverMessages, ServicePasswordAndInputSelection) {
    ConnectedEmulator e;
    // Without the service level the service functions are protected.
    ASSERT_TRUE(e.Send("DIAG:SERV:SFUN '2.0.2.1'"));
    EXPECT_EQ(e.NextError(), "-203,\"Command protected\"");
    ASSERT_TRUE(e.Send(Expand("SYST:PASS '%s'", {"573018"})));
    EXPECT_EQ(e.NextError(), kNoError);
    ASSERT_TRUE(e.Send("DIAG:SERV:SFUN '2.0.2.1'"));
    EXPECT_EQ(e.NextError(), kNoError);
    EXPECT_EQ(e.Query("DIAG:SERV:SFUN:LAST?"), "\"2.0.2.1\"");
    ASSERT_TRUE(e.Send(Expand("SYST:PASS '%s'", {"0"})));
    EXPECT_EQ(e.NextError(), kNoError);
    ASSERT_TRUE(e.Send("DIAG:SERV:SFUN '1.1'"));
    EXPECT_EQ(e.NextError(), "-203,\"Command protected\"");
    EXPECT_EQ(e.Query("DIAG:SERV:SFUN:LAST?"), "\"2.0.2.1\"");
}

// The combined commands of the configure operations, on each screen, and what they set.
TEST(DriverMessages, ConfigureCommandsSetEverySettingTheyCarryOnTheirScreen) {
    ConnectedEmulator e;
    for (const int window : {1, 2}) {
        const std::string w = std::to_string(window);
        const std::string other = std::to_string(3 - window);
        SCOPED_TRACE(w);
        const auto send = [&](const std::string& message) {
            ASSERT_TRUE(e.Send(message));
            EXPECT_EQ(e.NextError(), kNoError) << message;
        };
        ASSERT_TRUE(e.Send("*RST;*CLS"));
        send(Expand("SENS%s:FREQ:CENT %f;SPAN %f", {w, Fixed(1e9), Fixed(2e6)}));
        EXPECT_EQ(e.Query(Expand("SENS%s:FREQ:STAR?;STOP?", {w})), "9.99E+08;1.001E+09");
        send(Expand("SENS%s:FREQ:STAR %f;STOP %f", {w, Fixed(1e8), Fixed(2e8)}));
        EXPECT_EQ(e.Query(Expand("SENS%s:FREQ:CENT?;SPAN?", {w})), "1.5E+08;1E+08");
        EXPECT_EQ(e.Query(Expand("SENS%s:FREQ:STAR?;STOP?", {other})), "0E+00;1.36E+10");

        // Level: attenuation set explicitly, then the shape that couples it again.
        const std::string level =
            "UNIT%s:POW %s;:INP%s:IMP %f;:DISP:WIND%s:TRAC:Y:RLEV %f;"
            ":DISP:WIND%s:TRAC:Y:RLEV:OFFS %f;:INP%s:ATT %f";
        send(Expand(level, {w, "DBMV", w, Fixed(75), w, Fixed(40), w, Fixed(0), w, Fixed(20)}));
        EXPECT_EQ(e.Query(Expand("UNIT%s:POW?;:INP%s:IMP?;:DISP:WIND%s:TRAC:Y:RLEV?;"
                                 ":INP%s:ATT?;ATT:AUTO?",
                                 {w, w, w, w})),
                  "DBMV;7.5E+01;4E+01;2E+01;0");
        const std::string level_auto =
            "UNIT%s:POW %s;:INP%s:IMP %f;:DISP:WIND%s:TRAC:Y:RLEV %f;"
            ":DISP:WIND%s:TRAC:Y:RLEV:OFFS %f;:INP%s:ATT:AUTO ON";
        send(Expand(level_auto, {w, "DBM", w, Fixed(50), w, Fixed(-10), w, Fixed(0), w}));
        EXPECT_EQ(e.Query(Expand("UNIT%s:POW?;:INP%s:IMP?;:DISP:WIND%s:TRAC:Y:RLEV?;"
                                 ":INP%s:ATT:AUTO?",
                                 {w, w, w, w})),
                  "DBM;5E+01;-1E+01;1");
        EXPECT_EQ(e.Query(Expand("UNIT%s:POW?;:INP%s:ATT:AUTO?", {other, other})), "DBM;1");

        // Video trigger: slope and level in one command.
        send(Expand("TRIG%s:SLOP NEG;LEV:VID %f", {w, Fixed(-25)}));
        EXPECT_EQ(e.Query(Expand("TRIG%s:SLOP?;LEV:VID?", {w})), "NEG;-2.5E+01");
        send(Expand("TRIG%s:SLOP POS;LEV:VID %f", {w, Fixed(-35)}));
        EXPECT_EQ(e.Query(Expand("TRIG%s:SLOP?;LEV:VID?", {w})), "POS;-3.5E+01");
        EXPECT_EQ(e.Query(Expand("TRIG%s:LEV:VID?", {other})), "-5E+01");

        // Delta and normal marker of the active marker number.
        send(Expand("CALC%s:DELT%d ON", {w, "3"}));
        EXPECT_EQ(e.Query(Expand("CALC%s:DELT3?;:CALC%s:MARK3?", {w, w})), "1;0");
        send(Expand("CALC%s:MARK%d ON", {w, "3"}));
        EXPECT_EQ(e.Query(Expand("CALC%s:DELT3?;:CALC%s:MARK3?", {w, w})), "0;1");
        EXPECT_EQ(e.Query(Expand("CALC%s:MARK3?", {other})), "0");
    }
}

// The operations without a window suffix work on screen 1 whichever screen is active.
TEST(DriverMessages, MarkerAndTraceOperationsWithoutSuffixWorkOnScreenOne) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.Send("DISP:WIND2:SEL;:FORM REAL,32;:INIT:CONT OFF;:INIT2:CONT OFF"));
    ASSERT_EQ(e.Query("INIT;*OPC?;:INIT2;*OPC?"), "1;1");
    const std::vector<std::string> commands = {
        "CALC:MARK:MAX",
        "CALC:MARK:MAX:NEXT",
        "CALC:MARK:MAX:LEFT",
        "CALC:MARK:MAX:RIGHT",
        "CALC:MARK:MIN",
        "CALC:MARK:FUNC:CENT",
        "CALC:MARK:FUNC:REF",
        "CALC:MARK:COUN ON;RES 10.000000",
        "CALC:MARK:COUN OFF;RES 100.000000",
    };
    for (const std::string& command : commands) {
        ASSERT_TRUE(e.Send(command));
        EXPECT_EQ(e.NextError(), kNoError) << command;
    }
    EXPECT_EQ(e.Query("CALC1:MARK1?;:CALC2:MARK1?"), "1;0");
    EXPECT_EQ(e.Query("CALC1:MARK:COUN:RES?;:CALC2:MARK:COUN:RES?"), "1E+02;1E+03");
    EXPECT_EQ(e.Query("SENS2:FREQ:CENT?"), "6.8E+09");
    ASSERT_TRUE(e.Send("CALC:MARK:AOFF"));
    EXPECT_EQ(e.Query("CALC1:MARK1?"), "0");
    // Every trace of the driver's item lists answers with a block.
    for (int trace = 1; trace <= 6; ++trace) {
        ASSERT_TRUE(e.Send("TRAC? TRACE" + std::to_string(trace)));
        const std::optional<std::string> block = e.client.ReadBlock();
        ASSERT_TRUE(block.has_value()) << trace;
        EXPECT_EQ(block->size(), 501u * 4) << trace;
    }
    EXPECT_EQ(e.NextError(), kNoError);
}
