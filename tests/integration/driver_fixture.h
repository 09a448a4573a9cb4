// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "harness.h"

namespace nalvexa::it {

// A status word and the data after it.
inline Bytes Reply(uint32_t status, const Bytes& data = {}) { return Word(status) + data; }

// The driver, headless on a temporary ini file, and a simulated drive on a pseudo-terminal.
class DriverFixture : public ::testing::Test {
protected:
    void SetUp() override { dir = TempDirectory(); }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // The simulator with its options; returns its device path.
    std::string StartSim(const std::string& drive, std::vector<std::string> options = {})
    {
        // The old driver goes first: it saves its settings as it ends.
        driver.reset();
        sim.reset();
        std::vector<std::string> argv = {NALVEXA_SIM_BIN, drive};
        argv.insert(argv.end(), options.begin(), options.end());
        sim = std::make_unique<Process>(argv);
        std::string line = sim->WaitForLine("device ");
        EXPECT_FALSE(line.empty()) << sim->err();
        return line.substr(7);
    }

    // The driver on an ini file of that text; returns the port it listens on.
    uint16_t StartDriver(const std::string& ini, std::vector<std::string> args = {})
    {
        driver.reset();
        iniPath = dir + "/Nalvexa.ini";
        WriteFile(iniPath, ini);
        std::vector<std::string> argv = {DriverProgram(), "--headless", "--ini", iniPath};
        argv.insert(argv.end(), args.begin(), args.end());
        driver = std::make_unique<Process>(argv);
        std::string line = driver->WaitForLine("listening on port ");
        EXPECT_FALSE(line.empty()) << driver->err();
        return line.empty() ? 0 : static_cast<uint16_t>(std::stoi(line.substr(18)));
    }

    // Both, the driver's serial port on the simulator; `keyword` selects the adapter.
    uint16_t StartWithSim(const std::string& drive, std::vector<std::string> simOptions = {},
                          const std::string& moreIni = "", const std::string& keyword = "")
    {
        std::string device = StartSim(drive, simOptions);
        std::vector<std::string> args;
        if (!keyword.empty()) args.push_back(keyword);
        return StartDriver("[TR7100]\nSerialPort=" + device + "\n" + moreIni + "[SocketServer]\nSocketPort=0\n", args);
    }

    std::string dir, iniPath;
    std::unique_ptr<Process> sim, driver;
};

}  // namespace nalvexa::it
