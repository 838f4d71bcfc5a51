// tevo get/set/call, scpi, info and sessions as a user runs them: the installed program
// against the emulator, with the exact messages the emulator received, the printed results,
// and the exit status of driver and usage errors.
#include <gtest/gtest.h>

#include "testing/installed_tevo.h"

namespace tevo::cli {
namespace {

using namespace tevo::cli::testing;

class Members : public InstalledTevo {
  protected:
    // Runs a subcommand on the emulator and expects success; returns its standard output.
    std::string Ok(const std::string& command, const std::vector<std::string>& args) {
        const ProgramResult run = OnEmulator(command, args);
        EXPECT_EQ(run.exit_code, 0) << command << ": " << run.err;
        EXPECT_EQ(run.err, "") << command;
        return run.out;
    }
    // Sets `path` to `value`, expecting exactly `sent`, and reads it back as `shown`.
    void RoundTrip(const std::string& path, const std::string& value, const std::string& sent,
                   const std::string& shown) {
        Received();
        EXPECT_EQ(Ok("set", {path, value}), "") << path;
        EXPECT_EQ(ReceivedAfterInitialize(), std::vector<std::string>{sent}) << path;
        EXPECT_EQ(Ok("get", {path}), shown + "\n") << path;
    }
};

TEST_F(Members, PropertiesOfSeveralInterfacesRoundTrip) {
    RoundTrip("Frequency.Start", "1GHz", "SENS1:FREQ:STAR 1000000000.000000", "1000000000");
    RoundTrip("Level.Reference", "-10dBm", "DISP:WIND1:TRAC:Y:RLEV -10.000000", "-10");
    RoundTrip("SweepCoupling.ResolutionBandwidth", "100k", "SENS1:BAND 100000.000000", "100000");
    RoundTrip("Level.AttenuationAuto", "off", "INP1:ATT:AUTO OFF", "false");
    // Names in any letter case.
    EXPECT_EQ(Ok("get", {"frequency.START"}), "1000000000\n");
}

TEST_F(Members, TheClassCompliantViewReachesTheSameSettings) {
    RoundTrip("IviSpecAn.Frequency.Stop", "2.5 GHz", "SENS1:FREQ:STOP 2500000000.000000",
              "2500000000");
    EXPECT_EQ(Ok("get", {"Frequency.Stop"}), "2500000000\n");
    RoundTrip("IviSpecAn.Level.Reference", "-20", "DISP:WIND1:TRAC:Y:RLEV -20.000000", "-20");
}

TEST_F(Members, EnumerationsByNameOrNumber) {
    RoundTrip("Acquisition.DetectorType", "MaxPeak", "SENS1:DET MAX", "TevoDetectorTypeMaxPeak");
    RoundTrip("Acquisition.DetectorType", "tevodetectortypesample", "SENS1:DET SAMP",
              "TevoDetectorTypeSample");
    RoundTrip("Acquisition.DetectorType", "6", "SENS1:DET RMS", "TevoDetectorTypeRMS");
    RoundTrip("Traces.Item(Trace2).Type", "MaxHold", "DISP:WIND1:TRAC2:MODE MAXH",
              "TevoTraceTypeMaxHold");
    const ProgramResult bad = OnEmulator("set", {"Acquisition.DetectorType", "Loudest"});
    EXPECT_EQ(bad.exit_code, 2);
    EXPECT_NE(bad.err.find("'Loudest' is not a member of TevoDetectorTypeEnum"), std::string::npos)
        << bad.err;
    EXPECT_NE(bad.err.find("TevoDetectorTypeMaxPeak (3)"), std::string::npos);
}

TEST_F(Members, MethodsTakeArgumentsAndPrintTheirOutputs) {
    Received();
    EXPECT_EQ(Ok("call", {"Frequency.ConfigureCenterSpan", "1GHz", "100MHz"}), "");
    EXPECT_EQ(ReceivedAfterInitialize(),
              std::vector<std::string>{"SENS1:FREQ:CENT 1000000000.000000;SPAN 100000000.000000"});
    ASSERT_EQ(emulator_.Execute("INIT;*OPC?"), "1");  // a sweep to search in
    Ok("call", {"Marker.ConfigureEnabled", "true", "Trace1"});
    EXPECT_EQ(ReceivedAfterInitialize(), std::vector<std::string>{"CALC1:MARK1 ON;TRAC Trace1"});
    Ok("call", {"Marker.Search", "Highest"});
    EXPECT_EQ(ReceivedAfterInitialize(), std::vector<std::string>{"CALC:MARK:MAX"});
    const std::string outputs = Ok("call", {"marker.query"});
    EXPECT_EQ(outputs.rfind("MarkerPosition: ", 0), 0u) << outputs;
    const double position = std::stod(outputs.substr(outputs.find(": ") + 2));
    EXPECT_NEAR(position, 1e9, 100e6 / 500);
    EXPECT_NE(outputs.find("\nMarkerAmplitude: -3"), std::string::npos) << outputs;
    // An indexed property with its argument in parentheses.
    EXPECT_EQ(Ok("get", {"Marker.Name(1)"}), "M1\n");
}

TEST_F(Members, JsonOutput) {
    Ok("set", {"Frequency.Start", "1.5GHz"});
    EXPECT_EQ(Ok("get", {"--json", "Frequency.Start"}),
              "{\"path\": \"Frequency.Start\", \"value\": 1500000000}\n");
    Ok("set", {"Acquisition.DetectorType", "Average"});
    EXPECT_EQ(Ok("get", {"Acquisition.DetectorType", "--json"}),
              "{\"path\": \"Acquisition.DetectorType\", \"value\": {\"value\": 2, \"name\": "
              "\"TevoDetectorTypeAverage\"}}\n");
    EXPECT_EQ(Ok("get", {"--json", "Level.AttenuationAuto"}),
              "{\"path\": \"Level.AttenuationAuto\", \"value\": true}\n");
    EXPECT_EQ(Ok("set", {"--json", "Frequency.Stop", "2GHz"}),
              "{\"path\": \"Frequency.Stop\", \"ok\": true}\n");
    EXPECT_EQ(Ok("get", {"--json", "Marker.Name(1)"}),
              "{\"path\": \"Marker.Name(1)\", \"value\": \"M1\"}\n");
    const std::string trace = Ok("call", {"--json", "Traces.Item(Trace1).ReadY", "5000"});
    EXPECT_EQ(trace.rfind("{\"path\": \"Traces.Item(Trace1).ReadY\", \"result\": null, "
                          "\"outputs\": {\"Amplitude\": [",
                          0),
              0u)
        << trace.substr(0, 200);
    EXPECT_EQ(std::count(trace.begin(), trace.end(), ','), 501 + 1);  // 501 values
}

TEST_F(Members, DriverErrorsExitWithOneAndTheDriversDescription) {
    // A value the instrument refuses, reported through its status.
    const ProgramResult refused =
        OnEmulator("set", {"--options", "QueryInstrStatus=true", "Level.Attenuation", "1000"});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_EQ(refused.err.rfind("tevo: Level.Attenuation: Tevo: Instrument status error.", 0), 0u)
        << refused.err;
    // A trace name the driver does not know.
    const ProgramResult unknown = OnEmulator("get", {"Traces.Item(Trace9).Type"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_NE(unknown.err.find("Tevo: Invalid value"), std::string::npos) << unknown.err;
    EXPECT_NE(unknown.err.find("Trace9"), std::string::npos) << unknown.err;
    // A query the instrument never answers.
    emulator_.InjectFault(tevo::emulator::Fault::NoReply("SENS1:FREQ:STAR?"));
    const ProgramResult timed_out =
        OnEmulator("get", {"--options", "DriverTimeout=300", "Frequency.Start"});
    EXPECT_EQ(timed_out.exit_code, 1);
    EXPECT_NE(timed_out.err.find("tevo: Frequency.Start: Tevo: "), std::string::npos)
        << timed_out.err;
    EXPECT_EQ(timed_out.out, "");
    // No analyzer at the address.
    const ProgramResult nobody = Tevo({"info", "--resource", "TCPIP::127.0.0.1::1::SOCKET"});
    EXPECT_EQ(nobody.exit_code, 1);
    EXPECT_NE(nobody.err.find("tevo: Initialize(\"TCPIP::127.0.0.1::1::SOCKET\"): Tevo: "),
              std::string::npos)
        << nobody.err;
}

TEST_F(Members, UsageErrorsExitWithTwoAndSendNothing) {
    const std::vector<std::vector<std::string>> misuses = {
        {},
        {"frobnicate"},
        {"get"},
        {"get", "--bogus", "Frequency.Start"},
        {"get", "--resource", resource_, "Frequency.Bogus"},
        {"get", "--resource", resource_, "Frequency..Start"},
        {"get", "--resource", resource_, "Frequency.Start.Value"},
        {"get", "--resource", resource_, "Marker.Search"},
        {"set", "--resource", resource_, "Frequency.Start"},
        {"set", "--resource", resource_, "Frequency.Start", "fast"},
        {"set", "--resource", resource_, "Level.AttenuationAuto", "maybe"},
        {"set", "--resource", resource_, "Marker.Count", "3"},
        {"call", "--resource", resource_, "Marker.Search"},
        {"call", "--resource", resource_, "Marker.Search", "1", "2"},
        {"call", "--resource", resource_, "Frequency.Start"},
        {"measure", "--resource", resource_, "--center", "1GHz"},
        {"measure", "--resource", resource_, "--rbw", "10dBm"},
        {"measure", "--resource", resource_, "--detector", "loud"},
        {"measure", "--resource", resource_, "--logical-name", "Tevo"},
        {"measure", "--peaks", "many"},
        {"scpi"},
        {"scpi", "--resource", resource_, " "},
    };
    for (const std::vector<std::string>& args : misuses) {
        const ProgramResult run = Tevo(args);
        std::string line;
        for (const std::string& arg : args) {
            line += arg + " ";
        }
        EXPECT_EQ(run.exit_code, 2) << line << "\n" << run.err;
        EXPECT_EQ(run.err.rfind("tevo: ", 0), 0u) << line << "\n" << run.err;
        EXPECT_EQ(run.out, "") << line;
    }
    // Nothing but the identity query of Initialize reached the instrument.
    for (const std::string& message : Received()) {
        EXPECT_EQ(message, "*IDN?");
    }
}

TEST_F(Members, HelpOnTheProgramAndOnEverySubcommand) {
    const ProgramResult help = Tevo({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    for (const char* command : {"measure", "get", "set", "call", "scpi", "info", "sessions"}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
        const ProgramResult sub = Tevo({command, "--help"});
        EXPECT_EQ(sub.exit_code, 0) << command;
        EXPECT_NE(sub.out.find(std::string("Usage: tevo ") + command), std::string::npos)
            << sub.out;
    }
    EXPECT_EQ(emulator_.ConnectionCount(), 0u);
}

TEST_F(Members, ScpiQueriesPrintRepliesAndCommandsAreSentAsTyped) {
    Received();
    const std::string out = Ok("scpi", {"*IDN?", "FREQ:CENT 2GHZ", " FREQ:CENT? "});
    EXPECT_EQ(out, "Valdacor,KLC,100482,3.12\n2E+09\n");
    EXPECT_EQ(ReceivedAfterInitialize(),
              (std::vector<std::string>{"*IDN?", "FREQ:CENT 2GHZ", "FREQ:CENT?"}));
    // An instrument error does not stop raw I/O; the error queue tells it.
    EXPECT_EQ(Ok("scpi", {"FREQ:CENT 99THZ", "SYST:ERR?"}), "-222,\"Data out of range\"\n");
}

TEST_F(Members, InfoShowsTheInstrumentAndTheDriver) {
    const std::string out = Ok("info", {});
    EXPECT_NE(out.find("Resource:          " + resource_ + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Manufacturer:      Valdacor\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Model:             KLC\n"), std::string::npos);
    EXPECT_NE(out.find("Firmware:          3.12\n"), std::string::npos);
    EXPECT_NE(out.find("Options:           "), std::string::npos);
    EXPECT_NE(out.find("Driver:            Tevo\n"), std::string::npos);
    EXPECT_NE(out.find("Driver revision:   "), std::string::npos);
    EXPECT_NE(out.find("Supported models:  KLA,KLBR,KLC,KLD,KLF\n"), std::string::npos);
    const std::vector<std::string> received = Received();
    EXPECT_NE(std::find(received.begin(), received.end(), "*OPT?"), received.end());

    const ProgramResult simulated = Tevo({"info", "--simulate", "--json"});
    EXPECT_EQ(simulated.exit_code, 0) << simulated.err;
    EXPECT_EQ(simulated.out.rfind("{\"Resource\": ", 0), 0u) << simulated.out;
    EXPECT_NE(simulated.out.find("\"Supported models\": \"KLA,KLBR,KLC,KLD,KLF\""),
              std::string::npos);
    EXPECT_EQ(emulator_.ConnectionCount(), 1u);  // only the first info connected
}

TEST_F(Members, SessionsListsTheStoresLogicalNamesAndDriverSessions) {
    AddBenchLogicalName();
    const ProgramResult run = Tevo({"sessions"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.out.find("Logical names:\n  Tevo -> Tevo.DriverSession\n  Bench -> BenchSession\n"
                           "Driver sessions:\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  Tevo.DriverSession\n    software module: Tevo.Software\n"
                           "    hardware asset:  Tevo.Hardware\n    resource:        "
                           "GPIB0::20::INSTR\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  BenchSession\n    software module: Tevo.Software\n"
                           "    hardware asset:  BenchAnalyzer\n    resource:        " +
                           resource_ + "\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(emulator_.ConnectionCount(), 0u);  // the store only, no instrument
    const ProgramResult json = Tevo({"sessions", "--json"});
    ASSERT_EQ(json.exit_code, 0) << json.err;
    EXPECT_NE(json.out.find("{\"name\": \"Bench\", \"session\": \"BenchSession\"}"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("{\"name\": \"BenchSession\", \"software_module\": \"Tevo.Software\", "
                            "\"hardware_asset\": \"BenchAnalyzer\", \"resource\": \"" +
                            resource_ + "\"}"),
              std::string::npos)
        << json.out;
}

TEST(UnregisteredDriver, SaysHowToRegisterIt) {
    ASSERT_TRUE(std::filesystem::exists(SdkProgram("tevo")));
    const ProgramResult run = RunChild(SdkProgram("tevo"), {"info", "--simulate"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("the Tevo driver is not registered"), std::string::npos) << run.err;
    EXPECT_NE(
        run.err.find(SdkProgram("regsvr") + " " + (SdkPrefix() / "lib" / "libtevo.so").string()),
        std::string::npos)
        << run.err;
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace tevo::cli
