// The command set over TCP: every setting family on both screens, the messages exactly
// as the driver sends them, header forms, combined messages, *RST defaults and ranges.
#include "instrument/command_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "client/connected_emulator.h"

using tevo::emulator::ConnectedEmulator;
using tevo::emulator::EmulatorOptions;

namespace {

constexpr const char* kNoError = "0,\"No error\"";

// A header with "{w}" where the window suffix goes.
std::string ForWindow(std::string text, int window) {
    for (size_t at = text.find("{w}"); at != std::string::npos; at = text.find("{w}"))
        text.replace(at, 3, std::to_string(window));
    return text;
}

struct RoundTrip {
    const char* header;
    const char* value1;  // set on screen 1 (differs from the default)
    const char* reply1;
    const char* value2;  // set on screen 2 afterwards
    const char* reply2;
};

// Each setting: set on screen 1, then on screen 2, then both queried back. A command
// that ignored its window suffix would let the second set overwrite the first.
const std::vector<RoundTrip> kScreenSettings = {
    {"SENS{w}:FREQ:STAR", "1 GHZ", "1E+09", "2.5e9", "2.5E+09"},
    {"SENS{w}:FREQ:STOP", "4000000000.000000", "4E+09", "5 GHz", "5E+09"},
    {"SENS{w}:FREQ:CENT", "1e9", "1E+09", "2E9", "2E+09"},
    {"SENS{w}:FREQ:SPAN", "10 MHZ", "1E+07", "1e6", "1E+06"},
    {"SENS{w}:FREQ:OFFS", "1 MHZ", "1E+06", "-5e3", "-5E+03"},
    {"SENS{w}:BAND", "100 KHZ", "1E+05", "3000000.000000", "3E+06"},
    {"SENS{w}:BAND:AUTO", "OFF", "0", "ON", "1"},
    {"SENS{w}:BAND:VID", "1 KHZ", "1E+03", "300", "3E+02"},
    {"SENS{w}:BAND:VID:AUTO", "0", "0", "1", "1"},
    {"SENS{w}:SWE:TIME", "100 MS", "1E-01", "2.5", "2.5E+00"},
    {"SENS{w}:SWE:TIME:AUTO", "OFF", "0", "ON", "1"},
    {"SENS{w}:SWE:COUN", "10", "10", "0", "0"},
    {"SENS{w}:SWE:POIN", "1001", "1001", "501", "501"},
    {"SENS{w}:DET", "RMS", "RMS", "SAMPLE", "SAMP"},
    {"SENS{w}:DET:AUTO", "OFF", "0", "ON", "1"},
    {"INIT{w}:CONT", "OFF", "0", "ON", "1"},
    {"DISP:WIND{w}:TRAC:Y:SPAC", "LIN", "LIN", "LOGARITHMIC", "LOG"},
    {"UNIT{w}:POW", "DBMV", "DBMV", "DBM", "DBM"},
    {"INP{w}:IMP", "75", "7.5E+01", "50 OHM", "5E+01"},
    {"DISP:WIND{w}:TRAC:Y:RLEV", "-30.000000", "-3E+01", "5", "5E+00"},
    {"DISP:WIND{w}:TRAC:Y:RLEV:OFFS", "10", "1E+01", "-3.5", "-3.5E+00"},
    {"INP{w}:ATT", "30", "3E+01", "45 DB", "4.5E+01"},
    {"INP{w}:ATT:AUTO", "OFF", "0", "ON", "1"},
    {"INP{w}:EATT", "15", "1.5E+01", "5", "5E+00"},
    {"INP{w}:EATT:AUTO", "OFF", "OFF", "ON", "ON"},
    {"INP{w}:EATT:STAT", "ON", "ON", "OFF", "OFF"},
    {"INP{w}:GAIN:STAT", "ON", "ON", "OFF", "OFF"},
    {"TRIG{w}:SOUR", "IFP", "IFP", "TV", "TV"},
    {"TRIG{w}:SLOP", "NEG", "NEG", "POSITIVE", "POS"},
    {"TRIG{w}:LEV:IFP", "-10", "-1E+01", "-35.5", "-3.55E+01"},
    {"TRIG{w}:LEV:RFP", "0", "0E+00", "-40", "-4E+01"},
    {"TRIG{w}:LEV:VID", "-20", "-2E+01", "-60", "-6E+01"},
    {"CALC{w}:MARK:FUNC:STR", "ON", "1", "OFF", "0"},
    {"CALC{w}:MARK:COUN", "ON", "1", "OFF", "0"},
    {"CALC{w}:MARK:COUN:RES", "10", "1E+01", "0.1", "1E-01"},
    {"CALC{w}:MARK:PEXC", "10", "1E+01", "3", "3E+00"},
    {"CALC{w}:THR", "-70", "-7E+01", "-90", "-9E+01"},
    {"CALC{w}:THR:STAT", "ON", "1", "OFF", "0"},
    {"CALC{w}:MARK2:TRAC", "3", "3", "TRACE5", "5"},
    {"DISP:WIND{w}:TRAC3:MODE", "MAXH", "MAXH", "VIEW", "VIEW"},
    {"DIAG{w}:SERV:INP", "CAL", "CAL", "RF", "RF"},
    {"DIAG{w}:SERV:NSO", "ON", "1", "OFF", "0"},
};

}  // namespace

TEST(CommandSet, EverySettingFamilyRoundTripsOnBothScreensIndependently) {
    ConnectedEmulator e;
    for (const RoundTrip& row : kScreenSettings) {
        SCOPED_TRACE(row.header);
        ASSERT_TRUE(e.Send("*RST"));
        ASSERT_TRUE(e.Send(ForWindow(row.header, 1) + " " + row.value1));
        ASSERT_TRUE(e.Send(ForWindow(row.header, 2) + " " + row.value2));
        EXPECT_EQ(e.Query(ForWindow(row.header, 1) + "?"), row.reply1);
        EXPECT_EQ(e.Query(ForWindow(row.header, 2) + "?"), row.reply2);
        EXPECT_EQ(e.NextError(), kNoError);
    }
    // Settings of the whole instrument.
    ASSERT_TRUE(e.Send("DISP:FORM SPL;:SYST:DISP:UPD ON;:FORM:BORD NORM"));
    EXPECT_EQ(e.Query("DISP:FORM?;:SYST:DISP:UPD?;:FORM:BORD?"), "SPL;1;NORM");
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(CommandSet, MessagesAsTheDriverSendsThemRaiseNoError) {
    ConnectedEmulator e;
    const std::vector<std::string> commands = {
        "SENS1:FREQ:STAR 1000000.000000",
        "SENS1:FREQ:STOP 3000000000.000000",
        "SENS2:FREQ:OFFS 0.000000",
        "SENS1:FREQ:CENT 1000000000.000000;SPAN 2000000.000000",
        "SENS2:FREQ:STAR 100000000.000000;STOP 200000000.000000",
        std::string("UNIT1:POW DBM;:INP1:IMP 50.000000;:DISP:WIND1:TRAC:Y:RLEV -10.000000;") +
            ":DISP:WIND1:TRAC:Y:RLEV:OFFS 0.000000;:INP1:ATT:AUTO ON",
        std::string("UNIT2:POW DBMV;:INP2:IMP 75.000000;:DISP:WIND2:TRAC:Y:RLEV 40.000000;") +
            ":DISP:WIND2:TRAC:Y:RLEV:OFFS 2.000000;:INP2:ATT 10.000000",
        "SENS1:DET APE",
        "SENS1:DET:AUTO ON",
        "SENS1:SWE:COUN 3",
        "SENS1:SWE:TIME 0.010000",
        "SENS1:SWE:TIME:AUTO OFF",
        "SENS1:BAND 10000.000000",
        "SENS1:BAND:VID:AUTO ON",
        "INIT1:CONT OFF",
        "DISP:WIND1:TRAC:Y:SPAC LOG",
        "DISP:WIND2:SEL",
        "DISP:WIND1:SEL",
        "DISP:FORM SPL",
        ":SYST:DISP:UPD ON",
        "INP1:EATT 10.000000",
        "INP1:EATT:AUTO OFF",
        "INP1:EATT:STAT ON",
        "INP1:GAIN:STAT OFF",
        "CALC1:MARK2 ON",
        "CALC1:MARK:X 1000000000.000000",
        "CALC1:MARK:FUNC:STR OFF",
        "CALC:MARK:MAX",
        "CALC:MARK:COUN ON;RES 10.000000",
        "CALC1:DELT2 ON",
        "CALC1:MARK2 ON",
        "CALC:MARK:FUNC:CENT",
        "CALC:MARK:FUNC:REF",
        "CALC:MARK:COUN OFF;RES 100.000000",
        "CALC:MARK:AOFF",
        "TRIG1:SOUR IFP",
        "TRIG1:SLOP NEG;LEV:VID -20.000000",
        "TRIG1:LEV:IFP -10.000000",
        "TRIG1:LEV:RFP -10.000000",
        "SYST:PASS '573018'",
        "DIAG:SERV:SFUN '2.0.2.1'",
        "SYST:PASS '0'",
        "DIAG1:SERV:INP CAL",
        "DIAG1:SERV:INP RF",
        "DIAG1:SERV:NSO ON",
        "FORM REAL,32",
        "INIT:CONT OFF",
        "INIT;*WAI",
        "ABOR",
        "*TRG",
        "TRAC:COPY TRACE2,TRACE1",
        "TRAC:COPY TRACE3,TRACE1;COPY TRACE1,TRACE2;COPY TRACE2,TRACE3",
        "CALC:MATH (TRACE1 + TRACE2)",
    };
    ASSERT_EQ(e.EventStatus(), 128);
    for (const std::string& command : commands) {
        ASSERT_TRUE(e.Send(command));
        EXPECT_EQ(e.EventStatus(), 0) << command << ": " << e.NextError();
    }
    // What the combined messages did.
    EXPECT_EQ(e.Query("SENS1:FREQ:SPAN?"), "2E+06");
    EXPECT_EQ(e.Query("SENS2:FREQ:STAR?;STOP?"), "1E+08;2E+08");
    EXPECT_EQ(e.Query("UNIT2:POW?;:INP2:IMP?;:DISP:WIND2:TRAC:Y:RLEV?;:INP2:ATT:AUTO?"),
              "DBMV;7.5E+01;4.2E+01;0");  // the offset moves the reference level
    EXPECT_EQ(e.Query("CALC1:MARK:COUN:RES?;:CALC1:MARK:COUN?"), "1E+02;0");
    EXPECT_EQ(e.Query("TRIG1:SLOP?;:TRIG1:LEV:VID?"), "NEG;-2E+01");
    EXPECT_EQ(e.Query("DIAG:SERV:SFUN:LAST?"), "\"2.0.2.1\"");
    // The queries the driver sends.
    EXPECT_EQ(e.Query("*IDN?"), "Valdacor,KLC,100482,3.12");
    EXPECT_EQ(e.Query("*TST?"), "0");
    EXPECT_EQ(e.Query("SYST:ERR?"), kNoError);
    EXPECT_EQ(e.Query("INIT;*OPC?"), "1");
    EXPECT_EQ(e.Query("SENS:SWE:POIN?"), "501");
    EXPECT_EQ(e.Query("TRIG:LEV:VID?"), "-2E+01");  // no suffix: screen 1
    EXPECT_EQ(e.Query("DISP:FORM?"), "SPL");
    EXPECT_EQ(e.Query(":SYST:DISP:UPD?"), "1");
    EXPECT_EQ(e.Query("CALC1:DELT?"), "0");
    EXPECT_EQ(e.Query("CALC1:MARK2?"), "0");  // all markers off after AOFF
    EXPECT_EQ(e.Query("*CAL?"), "0");
    EXPECT_EQ(e.Query("CAL:RES?"), "\"PASSED\"");
    EXPECT_EQ(e.Query("STAT:OPER:COND?"), "8");  // screen 2 still sweeps continuously
    EXPECT_EQ(e.EventStatus(), 0);
}

TEST(CommandSet, ShortLongAndMixedCaseHeaders) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.Send("sense2:frequency:start 2 mhz"));
    EXPECT_EQ(e.Query("SENS2:FREQ:STAR?"), "2E+06");
    EXPECT_EQ(e.Query(":SeNsE2:fReQ:sTaRt?"), "2E+06");
    EXPECT_EQ(e.Query("SENSE2:FREQUENCY:START?"), "2E+06");
    EXPECT_EQ(e.Query("FREQ:STAR?"), "0E+00");  // SENSe left out: screen 1
    EXPECT_EQ(e.Query("*idn?"), "Valdacor,KLC,100482,3.12");
    EXPECT_EQ(e.Query("system:error:next?"), kNoError);
    // A form between short and long is no mnemonic: no reply, an error instead.
    ASSERT_TRUE(e.Send("SENS2:FREQU:STAR?"));
    EXPECT_EQ(e.NextError(), "-113,\"Undefined header\"");
    EXPECT_EQ(e.Query("DISPLAY:WINDOW2:TRACE:Y:SCALE:RLEVEL?"), "-2E+01");
}

TEST(CommandSet, CombinedMessagesFollowThePathRules) {
    ConnectedEmulator e;
    // ";" continues in the same subsystem, window suffix included.
    ASSERT_TRUE(e.Send("SENS2:FREQ:STAR 1e6;STOP 2e6"));
    EXPECT_EQ(e.Query("SENS2:FREQ:STAR?;STOP?"), "1E+06;2E+06");
    // ";:" starts again at the root: FREQ:STOP without SENSe is screen 1.
    ASSERT_TRUE(e.Send("SENS2:FREQ:STAR 3e6;:FREQ:STOP 3e9"));
    // (screen 2's stop follows its start up to 3 MHz)
    EXPECT_EQ(e.Query("SENS2:FREQ:STAR?;STOP?;:SENS1:FREQ:STOP?"), "3E+06;3E+06;3E+09");
    // A common command in between leaves the path alone.
    ASSERT_TRUE(e.Send("SENS2:FREQ:STAR 5e6;*WAI;STOP 6e6"));
    EXPECT_EQ(e.Query("SENS2:FREQ:STOP?"), "6E+06");
    // Responses of several queries are joined with ';'.
    EXPECT_EQ(e.Query("SENS2:FREQ:STAR?;:INP2:ATT?;*OPC?;:SYST:ERR?"),
              "5E+06;1E+01;1;0,\"No error\"");
    // A relative header that does not exist under the path is a command error; nothing
    // after it runs.
    ASSERT_TRUE(e.Send("SENS:FREQ:STAR 1e6;BAND 3e6;:SENS:FREQ:STOP 7e9"));
    EXPECT_EQ(e.NextError(), "-113,\"Undefined header\"");
    EXPECT_EQ(e.Query("SENS:FREQ:STAR?;STOP?"), "1E+06;3E+09");
    // An execution error does not stop the rest of the message.
    EXPECT_EQ(e.Query("INP:ATT 99;:INP:ATT:AUTO?"), "1");
    EXPECT_EQ(e.NextError(), "-222,\"Data out of range\"");
    // CR LF, and several messages in one write.
    ASSERT_TRUE(e.client.SendRaw("SENS2:FREQ:STAR?\r\n*OPC?\n"));
    EXPECT_EQ(e.client.ReadLine(), "5E+06");
    EXPECT_EQ(e.client.ReadLine(), "1");
}

TEST(CommandSet, ResetRestoresTheDefaultsOfBothScreens) {
    ConnectedEmulator e;
    for (const int w : {1, 2}) {
        ASSERT_TRUE(e.Send(ForWindow(
            "SENS{w}:FREQ:CENT 1e9;SPAN 1e6;:SENS{w}:BAND 1e3;:SENS{w}:SWE:POIN 101;COUN 4;"
            ":SENS{w}:DET RMS;:INIT{w}:CONT OFF;:DISP:WIND{w}:TRAC:Y:RLEV "
            "0;:DISP:WIND{w}:TRAC:Y:SPAC LIN",
            w)));
        ASSERT_TRUE(e.Send(ForWindow(
            "UNIT{w}:POW W;:INP{w}:ATT 40;EATT:STAT ON;:INP{w}:GAIN:STAT ON;:TRIG{w}:SOUR EXT;"
            "SLOP NEG;:CALC{w}:MARK3 ON;:DISP:WIND{w}:TRAC2:MODE WRIT;:DIAG{w}:SERV:INP CAL",
            w)));
    }
    ASSERT_TRUE(e.Send("FORM REAL,64;BORD NORM;:DISP:FORM SPL;*ESE 36"));
    ASSERT_EQ(e.NextError(), kNoError);  // also: every message above has run
    e.emulator.PushError(-222);
    ASSERT_TRUE(e.Send("*RST"));
    for (const int w : {1, 2}) {
        SCOPED_TRACE(w);
        EXPECT_EQ(
            e.Query(ForWindow("SENS{w}:FREQ:STAR?;STOP?;:SENS{w}:BAND?;:SENS{w}:BAND:AUTO?", w)),
            "0E+00;1.36E+10;1E+07;1");
        EXPECT_EQ(e.Query(ForWindow(
                      "SENS{w}:SWE:POIN?;COUN?;TIME:AUTO?;:SENS{w}:DET?;:SENS{w}:DET:AUTO?", w)),
                  "501;0;1;APE;1");
        EXPECT_EQ(e.Query(ForWindow("INIT{w}:CONT?;:DISP:WIND{w}:TRAC:Y:RLEV?;RLEV:OFFS?", w)),
                  "1;-2E+01;0E+00");
        EXPECT_EQ(
            e.Query(ForWindow("DISP:WIND{w}:TRAC:Y:SPAC?;:UNIT{w}:POW?;:INP{w}:ATT?;ATT:AUTO?", w)),
            "LOG;DBM;1E+01;1");
        EXPECT_EQ(e.Query(ForWindow("INP{w}:EATT:STAT?;:INP{w}:GAIN:STAT?;:INP{w}:IMP?", w)),
                  "OFF;OFF;5E+01");
        EXPECT_EQ(e.Query(ForWindow("TRIG{w}:SOUR?;SLOP?;:CALC{w}:MARK3?;:DIAG{w}:SERV:INP?", w)),
                  "IMM;POS;0;RF");
        EXPECT_EQ(e.Query(ForWindow("DISP:WIND{w}:TRAC1:MODE?;:DISP:WIND{w}:TRAC2:MODE?", w)),
                  "WRIT;BLAN");
    }
    EXPECT_EQ(e.Query("FORM?;BORD?;:DISP:FORM?"), "ASC,0;SWAP;SING");
    // The status registers and the error queue are not settings: *RST keeps them.
    EXPECT_EQ(e.Query("*ESE?"), "36");
    EXPECT_EQ(e.NextError(), "-222,\"Data out of range\"");
}

TEST(CommandSet, OutOfRangeValuesAreRejectedOrSnappedToTheirSteps) {
    ConnectedEmulator e;
    const auto expect_error = [&](const std::string& message, const std::string& error) {
        ASSERT_TRUE(e.Send(message));
        EXPECT_EQ(e.NextError(), error) << message;
    };
    expect_error("INP:ATT 80", "-222,\"Data out of range\"");
    EXPECT_EQ(e.Query("INP:ATT?;ATT:AUTO?"), "1E+01;1");  // unchanged
    ASSERT_TRUE(e.Send("INP:ATT 12"));
    EXPECT_EQ(e.Query("INP:ATT?;ATT:AUTO?"), "1E+01;0");  // 5 dB steps; auto off
    ASSERT_TRUE(e.Send("INP:ATT MAX"));
    EXPECT_EQ(e.Query("INP:ATT?"), "7E+01");
    ASSERT_TRUE(e.Send("SENS:BAND 4e6"));
    EXPECT_EQ(e.Query("SENS:BAND?"), "3E+06");  // 1-3 steps
    expect_error("SENS:BAND 5", "-222,\"Data out of range\"");
    expect_error("SENS:SWE:POIN 100", "-222,\"Data out of range\"");
    ASSERT_TRUE(e.Send("SENS:SWE:POIN 500.6"));
    EXPECT_EQ(e.Query("SENS:SWE:POIN?"), "501");  // numbers are rounded
    expect_error("DISP:WIND:TRAC:Y:RLEV 31", "-222,\"Data out of range\"");
    // The range moves with the offset.
    ASSERT_TRUE(e.Send("DISP:WIND:TRAC:Y:RLEV:OFFS 10;:DISP:WIND:TRAC:Y:RLEV 35"));
    EXPECT_EQ(e.Query("DISP:WIND:TRAC:Y:RLEV?"), "3.5E+01");
    expect_error("SENS:FREQ:STOP 20 GHZ", "-222,\"Data out of range\"");
    EXPECT_EQ(e.Query("SENS:FREQ:STAR? MAX;SPAN? MIN;:INP:ATT? DEF"), "1.36E+10;0E+00;1E+01");
    // Headers and parameters that are wrong in kind.
    expect_error("SENS3:FREQ:STAR?", "-114,\"Header suffix out of range\"");
    expect_error("CALC:MARK5 ON", "-114,\"Header suffix out of range\"");
    expect_error("SENS:DET FOO", "-141,\"Invalid character data\"");
    expect_error("SENS:DET 3", "-128,\"Numeric data not allowed\"");
    expect_error("INP:ATT ON", "-141,\"Invalid character data\"");
    expect_error("INP:ATT 'x'", "-158,\"String data not allowed\"");
    expect_error("INP:ATT 10 HZ", "-131,\"Invalid suffix\"");
    expect_error("SENS:SWE:COUN 5 DB", "-138,\"Suffix not allowed\"");
    expect_error("INP:ATT", "-109,\"Missing parameter\"");
    expect_error("INP:ATT 1,2", "-108,\"Parameter not allowed\"");
    expect_error("SENS:FREQ:STAR? 5", "-108,\"Parameter not allowed\"");
    expect_error("*IDN", "-113,\"Undefined header\"");   // query only
    expect_error("INIT?", "-113,\"Undefined header\"");  // command only
    expect_error("CALC:MARK:Y -3", "-113,\"Undefined header\"");
    EXPECT_EQ(e.NextError(), kNoError);
}

TEST(CommandSet, LevelsFollowTheAmplitudeUnitAndImpedance) {
    ConnectedEmulator e;
    ASSERT_TRUE(e.Send("UNIT:POW DBMV"));
    EXPECT_NEAR(std::strtod(e.Query("DISP:WIND:TRAC:Y:RLEV?").c_str(), nullptr), 26.9897, 1e-4);
    ASSERT_TRUE(e.Send("DISP:WIND:TRAC:Y:RLEV -30 DBM"));  // a unit suffix wins
    EXPECT_NEAR(std::strtod(e.Query("DISP:WIND:TRAC:Y:RLEV?").c_str(), nullptr), 16.9897, 1e-4);
    ASSERT_TRUE(e.Send("INP:IMP 75"));
    EXPECT_NEAR(std::strtod(e.Query("DISP:WIND:TRAC:Y:RLEV?").c_str(), nullptr), 18.7506, 1e-4);
    ASSERT_TRUE(e.Send("UNIT:POW V;:INP:IMP 50;:DISP:WIND:TRAC:Y:RLEV 100 MV"));
    EXPECT_NEAR(std::strtod(e.Query("DISP:WIND:TRAC:Y:RLEV?").c_str(), nullptr), 0.1, 1e-12);
    ASSERT_TRUE(e.Send("DISP:WIND:TRAC:Y:RLEV -1"));
    EXPECT_EQ(e.NextError(), "-222,\"Data out of range\"");
    ASSERT_TRUE(e.Send("UNIT:POW DBM"));  // 100 mV at 50 ohm
    EXPECT_NEAR(std::strtod(e.Query("DISP:WIND:TRAC:Y:RLEV?").c_str(), nullptr), -6.9897, 1e-4);
}

TEST(CommandSet, ModelsAndIdentity) {
    EmulatorOptions options = tevo::emulator::InstantOptions();
    options.model = "KLA";
    options.serial = "A-1";
    options.firmware = "0.9";
    ConnectedEmulator e(options);
    EXPECT_EQ(e.Query("*IDN?"), "Valdacor,KLA,A-1,0.9");
    EXPECT_EQ(e.Query("SENS:FREQ:STOP?"), "3E+09");
    EXPECT_EQ(e.Query("SYST:VERS?;*OPT?"), "1999.0;0");
    options.model = "KLX";
    EXPECT_THROW(tevo::emulator::Emulator{options}, std::invalid_argument);
    options.model = "KLC";
    options.time_scale = -1;
    EXPECT_THROW(tevo::emulator::Emulator{options}, std::invalid_argument);
}

TEST(CommandTable, EveryPatternIsWellFormedAndUnique) {
    const auto& table = tevo::emulator::CommandTable::Instance();
    std::vector<std::string> seen;
    for (const auto& entry : table.entries()) {
        const std::string pattern(entry.pattern);
        for (const std::string& other : seen)
            EXPECT_NE(pattern, other);
        seen.push_back(pattern);
        if (entry.kind == tevo::emulator::SettingKind::kAction) {
            EXPECT_NE(entry.action, nullptr) << pattern;
        }
        if (entry.kind == tevo::emulator::SettingKind::kEnum) {
            EXPECT_FALSE(entry.items.empty()) << pattern;
        }
    }
    EXPECT_GT(seen.size(), 90u);
}
