// `hu mcu-flash` as people run it: a separate process against the simulated MCU of a head
// unit; exit 0 and the image in the MCU, or exit 1 with one line saying why.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mcu_test_rig.h"

namespace mcutest {
namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

Outcome huMcuFlash(const McuRig& rig, const std::string& arguments) {
    auto out = rig.root() / "log" / "test-out.txt";
    auto err = rig.root() / "log" / "test-err.txt";
    std::string command = std::string(HU_BIN_DIR) + "/hu mcu-flash " + rig.root().string() + " " + arguments + " >" +
                          out.string() + " 2>" + err.string();
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

TEST(HuMcuFlash, ProgramsAHostFileAndSaysSo) {
    McuRig rig;
    auto options = smallMcu();
    rig.startSimulator(options);
    Bytes image = pattern(options.flashSize(), 21);
    auto file = rig.root() / "firmware.bin";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    Outcome o = huMcuFlash(rig, "--file " + file.string());
    EXPECT_EQ(o.exitCode, 0) << o.err;
    EXPECT_NE(o.out.find("mcu: writing\n"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("mcu: programmed from \\Host\\"), std::string::npos) << o.out;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(rig.mcu().flashContents(), image);
}

TEST(HuMcuFlash, AFailureIsOneLineThatSaysWhatWentWrong) {
    McuRig rig;
    auto options = smallMcu();
    options.vendorCode = 0x33;
    rig.startSimulator(options);
    rig.writeImage(pattern(options.flashSize(), 1));

    Outcome o = huMcuFlash(rig, "");
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_EQ(o.err.rfind("hu mcu-flash: the MCU's signature is not one the library knows (is --chip right?): the MCU's "
                          "flash was not touched",
                          0),
              0u)
        << o.err;
}

}  // namespace
}  // namespace mcutest
